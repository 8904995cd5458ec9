#pragma once
#include <string>

class CMC_Setup;

namespace rurorade {

// Loads a setup module by path and binds its five undecorated exports.
class ModuleLoader {
public:
    using EditSetupFn = int (*)(CMC_Setup*);
    using ComputeAllOptionsFn = void (*)(CMC_Setup*);
    using GetScaleFactorFn = double (*)(CMC_Setup*, const char*, const char*);
    using GetScaleOffsetFn = double (*)(CMC_Setup*, const char*);

    ModuleLoader() = default;
    ModuleLoader(const ModuleLoader&) = delete;
    ModuleLoader& operator=(const ModuleLoader&) = delete;
    ~ModuleLoader();

    // False with `error` set when the file cannot be loaded or an export is missing.
    // On success the module's scale exports become the host's scale provider.
    bool Load(const std::string& path, std::string& error);
    bool IsLoaded() const { return m_handle != nullptr; }
    // Any other symbol of the loaded module, or null.
    void* FindSymbol(const char* name) const;

    EditSetupFn EditSetup = nullptr;
    ComputeAllOptionsFn ComputeAllOptions = nullptr;
    GetScaleFactorFn GetScaleFactor = nullptr;
    GetScaleOffsetFn GetScaleOffset = nullptr;
    int* g_bKufSinusoidalMode = nullptr;

private:
    void* m_handle = nullptr;
};

}  // namespace rurorade
