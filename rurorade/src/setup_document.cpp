#include "rurorade/setup_document.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <limits>
#include <sstream>

#include <nlohmann/json.hpp>

namespace rurorade {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSchema = "zeksetup-1";

struct LoadError {
    std::string where;
    std::string what;
};

// A number, or one of the strings that stand for a non-finite value.
bool ReadNumber(const Json& j, double& out)
{
    if (j.is_number()) {
        out = j.get<double>();
        return true;
    }
    if (j.is_string()) {
        const auto& s = j.get_ref<const std::string&>();
        if (s == "NaN") { out = std::numeric_limits<double>::quiet_NaN(); return true; }
        if (s == "Infinity") { out = std::numeric_limits<double>::infinity(); return true; }
        if (s == "-Infinity") { out = -std::numeric_limits<double>::infinity(); return true; }
    }
    return false;
}

Json WriteNumber(double v)
{
    if (std::isnan(v)) return "NaN";
    if (std::isinf(v)) return v > 0 ? "Infinity" : "-Infinity";
    // Whole numbers print without a fraction; the rest in shortest round-trip form.
    if (v == std::trunc(v) && std::fabs(v) < 9007199254740992.0 && !(v == 0.0 && std::signbit(v)))
        return static_cast<std::int64_t>(v);
    return v;
}

const UnitDef* ReadUnit(const Json& entry, const std::string& where)
{
    if (!entry.contains("unit")) return &Dimensionless();
    const Json& u = entry["unit"];
    if (!u.is_string()) throw LoadError{where + ".unit", "unit must be a string"};
    const UnitDef* unit = FindUnit(u.get<std::string>());
    if (unit == nullptr) throw LoadError{where + ".unit", "unknown unit \"" + u.get<std::string>() + "\""};
    return unit;
}

std::string ReadString(const Json& root, const char* key)
{
    if (!root.contains(key)) return {};
    if (!root[key].is_string()) throw LoadError{key, "must be a string"};
    return root[key].get<std::string>();
}

std::unique_ptr<CMC_Setup> Build(const Json& root)
{
    if (!root.is_object()) throw LoadError{"document", "top level must be a JSON object"};
    if (!root.contains("schema") || root["schema"] != kSchema)
        throw LoadError{"schema", std::string("expected \"") + kSchema + "\""};

    auto setup = std::make_unique<CMC_Setup>();
    SetupInfo& info = setup->Info();
    info.description = ReadString(root, "description");
    info.firmwareId = ReadString(root, "firmwareId");
    info.productId = ReadString(root, "productId");
    info.userAppId = ReadString(root, "userAppId");
    if (root.contains("e2romWords") && !ReadNumber(root["e2romWords"], info.e2romWords))
        throw LoadError{"e2romWords", "must be a number"};
    if (root.contains("adcMax")) {
        const Json& a = root["adcMax"];
        if (!a.is_number_integer() || a.get<std::int64_t>() <= 0 || a.get<std::int64_t>() > 4294967295LL)
            throw LoadError{"adcMax", "must be a whole number from 1 to 4294967295"};
        info.adcMax = static_cast<std::uint32_t>(a.get<std::int64_t>());
    }

    if (root.contains("options")) {
        const Json& opts = root["options"];
        if (!opts.is_object()) throw LoadError{"options", "must be an object"};
        for (auto it = opts.begin(); it != opts.end(); ++it) {
            if (!it.value().is_string()) throw LoadError{"options." + it.key(), "option values must be strings"};
            setup->SetOption(it.key().c_str(), it.value().get<std::string>().c_str());
        }
    }

    if (root.contains("parameters")) {
        const Json& params = root["parameters"];
        if (!params.is_object()) throw LoadError{"parameters", "must be an object"};
        for (auto it = params.begin(); it != params.end(); ++it) {
            const std::string where = "parameters." + it.key();
            const Json& e = it.value();
            if (!e.is_object()) throw LoadError{where, "must be an object"};
            double value = 0, min = -std::numeric_limits<double>::infinity(), max = std::numeric_limits<double>::infinity();
            if (!e.contains("value") || !ReadNumber(e["value"], value)) throw LoadError{where + ".value", "must be a number"};
            if (e.contains("min") && !ReadNumber(e["min"], min)) throw LoadError{where + ".min", "must be a number"};
            if (e.contains("max") && !ReadNumber(e["max"], max)) throw LoadError{where + ".max", "must be a number"};
            if (min > max) throw LoadError{where, "min is above max"};
            int type = 0;
            if (e.contains("type")) {
                if (!e["type"].is_number_integer()) throw LoadError{where + ".type", "must be a whole number"};
                type = e["type"].get<int>();
            }
            CMC_Parameter& p = setup->AddParameter(it.key(), ReadUnit(e, where));
            p.SetValueInBaseUnit(value);
            p.SetMinInBaseUnit(min);
            p.SetMaxInBaseUnit(max);
            p.SetType(type);
        }
    }

    if (root.contains("variables")) {
        const Json& vars = root["variables"];
        if (!vars.is_object()) throw LoadError{"variables", "must be an object"};
        for (auto it = vars.begin(); it != vars.end(); ++it) {
            const std::string where = "variables." + it.key();
            const Json& e = it.value();
            if (!e.is_object()) throw LoadError{where, "must be an object"};
            double value = 0;
            if (e.contains("value") && !ReadNumber(e["value"], value)) throw LoadError{where + ".value", "must be a number"};
            setup->AddVariable(it.key(), ReadUnit(e, where)).SetValueInBaseUnit(value);
        }
    }

    Json extra = Json::object();
    for (auto it = root.begin(); it != root.end(); ++it) {
        static const char* known[] = {"schema", "description", "firmwareId", "productId", "userAppId",
                                      "e2romWords", "adcMax", "options", "parameters", "variables"};
        bool isKnown = false;
        for (const char* k : known) isKnown = isKnown || it.key() == k;
        if (!isKnown) extra[it.key()] = it.value();
    }
    if (!extra.empty()) info.extraJson = extra.dump();
    if (extra.contains("io") && extra["io"].is_object() && extra["io"].contains("brakeOutputs")) {
        const Json& outputs = extra["io"]["brakeOutputs"];
        if (!outputs.is_array()) throw LoadError{"io.brakeOutputs", "must be an array"};
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            const Json& o = outputs[i];
            const std::string where = "io.brakeOutputs[" + std::to_string(i) + "]";
            if (!o.is_object() || !o.contains("port") || !o.contains("pin") || !o["port"].is_number_integer() ||
                !o["pin"].is_number_integer())
                throw LoadError{where, "must be {\"port\": N, \"pin\": N} with whole numbers"};
            info.brakeOutputs.push_back({o["port"].get<int>(), o["pin"].get<int>()});
        }
    }
    return setup;
}

}  // namespace

std::unique_ptr<CMC_Setup> LoadSetupText(const std::string& text, const std::string& source, std::string& error)
{
    Json root;
    try {
        root = Json::parse(text);
    } catch (const Json::parse_error& e) {
        error = source + ": not valid JSON: " + e.what();
        return nullptr;
    }
    try {
        return Build(root);
    } catch (const LoadError& e) {
        error = source + ": " + e.where + ": " + e.what;
    } catch (const Json::exception& e) {
        error = source + ": " + e.what();
    }
    return nullptr;
}

std::unique_ptr<CMC_Setup> LoadSetupFile(const std::string& path, std::string& error)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return nullptr;
    }
    std::ostringstream text;
    text << in.rdbuf();
    return LoadSetupText(text.str(), path, error);
}

std::string SaveSetupText(const CMC_Setup& setup)
{
    const SetupInfo& info = setup.Info();
    Json root = Json::object();
    root["schema"] = kSchema;
    root["description"] = info.description;
    root["firmwareId"] = info.firmwareId;
    root["productId"] = info.productId;
    root["userAppId"] = info.userAppId;
    root["e2romWords"] = WriteNumber(info.e2romWords);
    root["adcMax"] = info.adcMax;
    Json opts = Json::object();
    for (const auto& [name, text] : setup.Options()) opts[name] = text;
    root["options"] = opts;
    Json params = Json::object();
    for (const auto& p : setup.Parameters()) {
        Json e = Json::object();
        e["value"] = WriteNumber(p->GetValueInBaseUnit());
        if (!p->GetUnit().name.empty()) e["unit"] = std::string(p->GetUnit().name);
        const double min = p->GetMinInBaseUnit(), max = p->GetMaxInBaseUnit();
        if (!(std::isinf(min) && min < 0)) e["min"] = WriteNumber(min);
        if (!(std::isinf(max) && max > 0)) e["max"] = WriteNumber(max);
        if (p->GetType() != 0) e["type"] = p->GetType();
        params[p->GetName()] = e;
    }
    root["parameters"] = params;
    Json vars = Json::object();
    for (const auto& v : setup.Variables()) {
        Json e = Json::object();
        if (!v->GetUnit().name.empty()) e["unit"] = std::string(v->GetUnit().name);
        if (v->GetValueInBaseUnit() != 0.0) e["value"] = WriteNumber(v->GetValueInBaseUnit());
        vars[v->GetName()] = e;
    }
    root["variables"] = vars;
    if (!info.extraJson.empty()) {
        const Json extra = Json::parse(info.extraJson);
        for (auto it = extra.begin(); it != extra.end(); ++it) root[it.key()] = it.value();
    }
    return root.dump(2) + "\n";
}

bool SaveSetupFile(const CMC_Setup& setup, const std::string& path, std::string& error)
{
    const std::string text = SaveSetupText(setup);
    const std::string tmp = path + ".tmp";
    {
        std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
        if (!out) {
            error = path + ": cannot write the file";
            return false;
        }
        out << text;
        out.flush();
        if (!out) {
            error = path + ": write failed";
            std::remove(tmp.c_str());
            return false;
        }
    }
    if (std::rename(tmp.c_str(), path.c_str()) != 0) {
        error = path + ": cannot replace the file";
        std::remove(tmp.c_str());
        return false;
    }
    return true;
}

}  // namespace rurorade
