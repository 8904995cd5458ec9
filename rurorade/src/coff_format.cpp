#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>

#include "rurorade/test_dlg.h"

namespace rurorade {

std::string ProgramsDirectory()
{
    const char* dir = std::getenv("ZEK_PROGRAMS_DIR");
    if (dir != nullptr && *dir != '\0') return dir;
    return ZEK_PROGRAMS_DIR;
}

}  // namespace rurorade

int CMC_CoffFormat::ReadCoff(const char* path)
{
    m_program.clear();
    m_userVariables.clear();
    if (path == nullptr) return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    const nlohmann::json root = nlohmann::json::parse(in, nullptr, false);
    if (root.is_discarded() || !root.is_object()) return 0;
    const auto program = root.find("program");
    if (program == root.end() || !program->is_string()) return 0;
    std::vector<std::string> variables;
    if (const auto list = root.find("userVariables"); list != root.end()) {
        if (!list->is_array()) return 0;
        for (const nlohmann::json& v : *list) {
            if (!v.is_string()) return 0;
            variables.push_back(v.get<std::string>());
        }
    }
    std::string name = program->get<std::string>();
    if (name.empty()) return 0;
    m_program = std::move(name);
    m_userVariables = std::move(variables);
    return 1;
}

bool CMC_CoffFormat::HasUserVariable(const std::string& name) const
{
    for (const std::string& v : m_userVariables)
        if (v == name) return true;
    return false;
}
