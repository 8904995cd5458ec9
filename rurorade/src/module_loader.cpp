#include "rurorade/module_loader.h"

#include <dlfcn.h>

#include "rurorade/setup.h"

namespace rurorade {

ModuleLoader::~ModuleLoader()
{
    if (m_handle == nullptr) return;
    if (GetScaleProvider().factor == GetScaleFactor) SetScaleProvider({});
    dlclose(m_handle);
}

void* ModuleLoader::FindSymbol(const char* name) const { return m_handle ? dlsym(m_handle, name) : nullptr; }

bool ModuleLoader::Load(const std::string& path, std::string& error)
{
    if (m_handle != nullptr) {
        error = path + ": a module is already loaded";
        return false;
    }
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        const char* why = dlerror();
        error = path + ": cannot load the module: " + (why ? why : "unknown error");
        return false;
    }
    auto find = [&](const char* name) -> void* {
        void* sym = dlsym(handle, name);
        if (sym == nullptr && error.empty()) error = path + ": the module does not export \"" + name + "\"";
        return sym;
    };
    error.clear();
    auto edit = reinterpret_cast<EditSetupFn>(find("EditSetup"));
    auto compute = reinterpret_cast<ComputeAllOptionsFn>(find("ComputeAllOptions"));
    auto factor = reinterpret_cast<GetScaleFactorFn>(find("GetScaleFactor"));
    auto offset = reinterpret_cast<GetScaleOffsetFn>(find("GetScaleOffset"));
    auto flag = static_cast<int*>(find("g_bKufSinusoidalMode"));
    if (!error.empty()) {
        dlclose(handle);
        return false;
    }
    m_handle = handle;
    EditSetup = edit;
    ComputeAllOptions = compute;
    GetScaleFactor = factor;
    GetScaleOffset = offset;
    g_bKufSinusoidalMode = flag;
    SetScaleProvider({factor, offset});
    return true;
}

}  // namespace rurorade
