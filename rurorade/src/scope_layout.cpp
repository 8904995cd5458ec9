// The scope's layout as JSON: trigger, channels and the first graph filter with its curves.
#include <cmath>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "rurorade/scope_logger.h"
#include "rurorade/setup.h"

using nlohmann::ordered_json;

namespace {

constexpr const char* kSchema = "zekscope-1";

bool FiniteNumber(const ordered_json& j) { return j.is_number() && std::isfinite(j.get<double>()); }

}  // namespace

std::string CMC_ScopeLogger::LayoutJson() const
{
    ordered_json j;
    j["schema"] = kSchema;
    j["trigger"] = {{"span", m_span}, {"mode", m_mode},   {"slope", m_slope},
                    {"variable", m_triggerName}, {"level", m_level}, {"preTrigger", m_preTrigger}};
    ordered_json channels = ordered_json::array();
    for (const Channel& c : m_channels)
        channels.push_back({{"name", c.name}, {"unit", c.unit}, {"scale", c.scale}, {"offset", c.offset}});
    j["channels"] = std::move(channels);
    // GetAt is not const; the filter is only read here.
    CGraphFilter* filter = const_cast<CGraphDocument&>(m_document).GetAt(0);
    ordered_json curves = ordered_json::array();
    for (const CXYCurve& c : filter->Curves())
        curves.push_back({{"x", c.xChannel}, {"y", c.yChannel}, {"group", c.group}, {"colour", c.colour}, {"width", c.width}});
    j["filter"] = {{"colour", filter->colour}, {"floats", filter->floats}, {"curves", std::move(curves)}};
    return j.dump();
}

int CMC_ScopeLogger::SetLayoutJson(const std::string& text)
{
    const ordered_json j = ordered_json::parse(text, nullptr, false);
    if (j.is_discarded() || !j.is_object() || j.value("schema", "") != kSchema) return 0;
    const auto* trigger = j.contains("trigger") ? &j["trigger"] : nullptr;
    const auto* channels = j.contains("channels") ? &j["channels"] : nullptr;
    const auto* filter = j.contains("filter") ? &j["filter"] : nullptr;
    if (!trigger || !trigger->is_object() || !channels || !channels->is_array() || !filter || !filter->is_object()) return 0;
    for (const char* key : {"span", "level", "preTrigger"})
        if (!trigger->contains(key) || !FiniteNumber((*trigger)[key])) return 0;
    for (const char* key : {"mode", "slope"})
        if (!trigger->contains(key) || !(*trigger)[key].is_number_integer()) return 0;
    if (!trigger->contains("variable") || !(*trigger)["variable"].is_string()) return 0;
    for (const ordered_json& c : *channels)
        if (!c.is_object() || !c.contains("name") || !c["name"].is_string() || !c.contains("unit") || !c["unit"].is_string() ||
            !c.contains("scale") || !FiniteNumber(c["scale"]) || !c.contains("offset") || !FiniteNumber(c["offset"]))
            return 0;
    if (!filter->contains("colour") || !(*filter)["colour"].is_number_integer() || !filter->contains("floats") ||
        !(*filter)["floats"].is_array() || !filter->contains("curves") || !(*filter)["curves"].is_array())
        return 0;
    for (const ordered_json& f : (*filter)["floats"])
        if (!FiniteNumber(f)) return 0;
    for (const ordered_json& c : (*filter)["curves"]) {
        if (!c.is_object()) return 0;
        for (const char* key : {"x", "y", "group", "colour", "width"})
            if (!c.contains(key) || !c[key].is_number_integer()) return 0;
        const auto y = c["y"].get<std::int64_t>(), x = c["x"].get<std::int64_t>();
        const auto n = static_cast<std::int64_t>(channels->size());
        if (x < 0 || x > n || y < 0 || y > n) return 0;
    }

    // Applied to a copy first, so a layout naming a variable the setup lacks changes nothing.
    CMC_ScopeLogger loaded(m_setup, m_coff);
    if (!loaded.ChangeSettings((*trigger)["span"].get<double>(), (*trigger)["mode"].get<int>(),
                               (*trigger)["slope"].get<int>(), (*trigger)["variable"].get<std::string>().c_str(),
                               (*trigger)["level"].get<double>(), (*trigger)["preTrigger"].get<double>()))
        return 0;
    for (const ordered_json& c : *channels) {
        const std::string name = c["name"].get<std::string>();
        if (!loaded.AddVariable(name.c_str(), 1)) return 0;
        if (!loaded.RescaleVariable(name.c_str(), c["unit"].get<std::string>().c_str(), c["scale"].get<double>(),
                                    c["offset"].get<double>()))
            return 0;
    }
    EndUploadData();
    CMC_Logger::Reset();
    m_request.variables = loaded.m_request.variables;
    m_channels = loaded.m_channels;
    ChangeSettings(loaded.m_span, loaded.m_mode, loaded.m_slope, loaded.m_triggerName.c_str(), loaded.m_level,
                   loaded.m_preTrigger);
    CGraphFilter* f = m_document.GetAt(0);
    f->RemoveAll();
    f->colour = (*filter)["colour"].get<int>();
    f->floats = (*filter)["floats"].get<std::vector<double>>();
    for (const ordered_json& c : (*filter)["curves"])
        f->Add({c["x"].get<int>(), c["y"].get<int>(), c["group"].get<int>(), c["colour"].get<int>(), c["width"].get<int>()});
    return 1;
}

int CMC_ScopeLogger::Save(const char* path)
{
    if (path == nullptr || *path == '\0') return 0;
    return rurorade::WriteFileAtomically(path, LayoutJson() + "\n") ? 1 : 0;
}

int CMC_ScopeLogger::Load(const char* path)
{
    if (path == nullptr) return 0;
    std::ifstream in(path, std::ios::binary);
    if (!in) return 0;
    std::ostringstream text;
    text << in.rdbuf();
    return SetLayoutJson(text.str());
}

int CMC_ScopeLogger::SaveSettingsToSetupOption(const char* name)
{
    if (m_setup == nullptr || name == nullptr) return 0;
    m_setup->SetOption(name, LayoutJson().c_str());
    return 1;
}

int CMC_ScopeLogger::LoadSettingsFromSetupOption(const char* name)
{
    if (m_setup == nullptr || name == nullptr) return 0;
    const std::string text = m_setup->GetOptionNoError(name);
    return text.empty() ? 0 : SetLayoutJson(text);
}
