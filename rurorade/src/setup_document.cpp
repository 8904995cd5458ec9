#include "rurorade/setup_document.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <limits>
#include <sstream>
#include <algorithm>
#include <string_view>

#include <nlohmann/json.hpp>

namespace rurorade {
namespace {

using Json = nlohmann::ordered_json;

constexpr const char* kSchema = "zeksetup-1";
constexpr std::size_t kMaxDepth = 64;                  // nesting of arrays and objects
constexpr std::size_t kMaxDocumentBytes = 256u << 20;  // 256 MiB

struct LoadError {
    std::string where;
    std::string what;
};

// Builds an order-keeping JSON value in one pass: members are appended (the order-keeping object
// would search its keys on every insertion), duplicate keys and nesting beyond kMaxDepth are
// refused with the place they are at.
class DocumentBuilder : public nlohmann::json_sax<Json> {
public:
    Json root;
    std::string error;  // set when parsing stopped

    bool null() override { return Put(nullptr); }
    bool boolean(bool v) override { return Put(v); }
    bool number_integer(number_integer_t v) override { return Put(v); }
    bool number_unsigned(number_unsigned_t v) override { return Put(v); }
    bool number_float(number_float_t v, const string_t&) override { return Put(v); }
    bool string(string_t& v) override { return Put(std::move(v)); }
    bool binary(binary_t&) override { return Fail("binary values are not JSON"); }
    bool start_object(std::size_t) override { return Open(Json::object()); }
    bool start_array(std::size_t) override { return Open(Json::array()); }
    bool end_object() override { return Close(); }
    bool end_array() override { return Close(); }
    bool key(string_t& k) override
    {
        m_key = std::move(k);
        return true;
    }
    bool parse_error(std::size_t position, const std::string&, const nlohmann::detail::exception& e) override
    {
        const bool inObject = !m_levels.empty() && m_levels.back().value->is_object();
        error = Where(inObject) + "not valid JSON at byte " + std::to_string(position) + ": " + e.what();
        return false;
    }

private:
    struct Level {
        Json* value;
        std::string name;  // the member or element this value is, for messages
        std::size_t elements = 0;
    };

    bool Fail(const std::string& what, bool atKey = false)
    {
        error = Where(atKey) + what;
        return false;
    }
    // "parameters.Vdc.value: " for the place being read.
    std::string Where(bool withKey = false) const
    {
        std::string path;
        for (std::size_t i = 1; i < m_levels.size(); ++i) path += m_levels[i].name;
        if (withKey && !m_levels.empty()) path += (path.empty() ? "" : ".") + m_key;
        if (!path.empty() && path[0] == '.') path.erase(0, 1);
        return path.empty() ? std::string() : path + ": ";
    }
    std::string ChildName()
    {
        Level& level = m_levels.back();
        if (level.value->is_array()) return "[" + std::to_string(level.elements++) + "]";
        return "." + m_key;
    }
    // Appends to the open container; returns where the value now lives.
    Json* Append(Json&& v)
    {
        if (m_levels.empty()) {
            root = std::move(v);
            return &root;
        }
        Json& parent = *m_levels.back().value;
        if (parent.is_array()) {
            auto& a = parent.get_ref<Json::array_t&>();
            a.push_back(std::move(v));
            return &a.back();
        }
        auto& o = parent.get_ref<Json::object_t&>();
        o.Json::object_t::Container::emplace_back(m_key, std::move(v));
        return &o.back().second;
    }
    template <class V>
    bool Put(V&& v)
    {
        if (!m_levels.empty() && m_levels.back().value->is_array()) ++m_levels.back().elements;
        Append(Json(std::forward<V>(v)));
        return true;
    }
    bool Open(Json&& container)
    {
        if (m_levels.size() >= kMaxDepth)
            return Fail("nested deeper than " + std::to_string(kMaxDepth) + " levels");
        std::string name = m_levels.empty() ? std::string() : ChildName();
        Json* where = Append(std::move(container));
        m_levels.push_back(Level{where, std::move(name), 0});
        return true;
    }
    bool Close()
    {
        // Duplicates are looked for once an object is complete: sorting its keys keeps to one pass
        // over memory, where a set filled key by key would not.
        const Json& closed = *m_levels.back().value;
        if (closed.is_object() && closed.size() > 1) {
            std::vector<std::string_view> keys;
            keys.reserve(closed.size());
            for (const auto& member : closed.get_ref<const Json::object_t&>()) keys.emplace_back(member.first);
            std::sort(keys.begin(), keys.end());
            const auto twice = std::adjacent_find(keys.begin(), keys.end());
            if (twice != keys.end()) {
                m_key = std::string(*twice);
                return Fail("duplicate member \"" + m_key + "\"", true);
            }
        }
        m_levels.pop_back();
        return true;
    }

    std::vector<Level> m_levels;
    std::string m_key;
};

// Parses `text` into `root`; false with `error` ("place: what") otherwise.
bool ParseDocument(const std::string& text, Json& root, std::string& error)
{
    DocumentBuilder builder;
    bool ok = false;
    try {
        ok = Json::sax_parse(text, &builder);
    } catch (const Json::exception& e) {
        builder.error = std::string("not valid JSON: ") + e.what();
    }
    if (!ok) {
        error = builder.error.empty() ? "not valid JSON" : builder.error;
        return false;
    }
    root = std::move(builder.root);
    return true;
}

// Names are used as C strings by the drive's software: a NUL would cut them short.
void RefuseNul(const std::string& text, const std::string& where, const char* what)
{
    if (text.find('\0') != std::string::npos) throw LoadError{where, std::string(what) + " contains a NUL character"};
}

int ReadInt(const Json& j, const std::string& where)
{
    if (j.is_number_unsigned() && j.get<std::uint64_t>() <= 2147483647u) return static_cast<int>(j.get<std::uint64_t>());
    if (j.is_number_integer() && !j.is_number_unsigned()) {
        const std::int64_t v = j.get<std::int64_t>();
        if (v >= -2147483647LL - 1 && v <= 2147483647LL) return static_cast<int>(v);
    }
    throw LoadError{where, "must be a whole number from -2147483648 to 2147483647"};
}

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
            const std::string where = "options." + it.key();
            if (!it.value().is_string()) throw LoadError{where, "option values must be strings"};
            RefuseNul(it.key(), where, "the option's name");
            RefuseNul(it.value().get_ref<const std::string&>(), where, "the option's text");
            setup->SetOption(it.key().c_str(), it.value().get_ref<const std::string&>().c_str());
        }
    }

    if (root.contains("parameters")) {
        const Json& params = root["parameters"];
        if (!params.is_object()) throw LoadError{"parameters", "must be an object"};
        setup->ReserveParameters(params.size());
        for (auto it = params.begin(); it != params.end(); ++it) {
            const std::string where = "parameters." + it.key();
            const Json& e = it.value();
            if (!e.is_object()) throw LoadError{where, "must be an object"};
            RefuseNul(it.key(), where, "the parameter's name");
            double value = 0, min = -std::numeric_limits<double>::infinity(), max = std::numeric_limits<double>::infinity();
            if (!e.contains("value") || !ReadNumber(e["value"], value)) throw LoadError{where + ".value", "must be a number"};
            if (e.contains("min") && !ReadNumber(e["min"], min)) throw LoadError{where + ".min", "must be a number"};
            if (e.contains("max") && !ReadNumber(e["max"], max)) throw LoadError{where + ".max", "must be a number"};
            if (min > max) throw LoadError{where, "min is above max"};
            const int type = e.contains("type") ? ReadInt(e["type"], where + ".type") : 0;
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
            RefuseNul(it.key(), where, "the variable's name");
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
        if (!isKnown) extra.get_ref<Json::object_t&>().Json::object_t::Container::emplace_back(it.key(), it.value());
    }
    if (!extra.empty()) info.extraJson = extra.dump();
    if (extra.contains("io") && extra["io"].is_object() && extra["io"].contains("brakeOutputs")) {
        const Json& outputs = extra["io"]["brakeOutputs"];
        if (!outputs.is_array()) throw LoadError{"io.brakeOutputs", "must be an array"};
        for (std::size_t i = 0; i < outputs.size(); ++i) {
            const Json& o = outputs[i];
            const std::string where = "io.brakeOutputs[" + std::to_string(i) + "]";
            if (!o.is_object() || !o.contains("port") || !o.contains("pin"))
                throw LoadError{where, "must be {\"port\": N, \"pin\": N} with whole numbers"};
            SetupInfo::BrakeOutput output{ReadInt(o["port"], where + ".port"), ReadInt(o["pin"], where + ".pin")};
            if (o.contains("inverted")) {
                if (!o["inverted"].is_boolean()) throw LoadError{where + ".inverted", "must be true or false"};
                output.inverted = o["inverted"].get<bool>();
            }
            if (o.contains("bits")) output.bits = ReadInt(o["bits"], where + ".bits");
            info.brakeOutputs.push_back(output);
        }
    }
    return setup;
}

// Control characters of a document's text shown as \u escapes in messages.
std::string Printable(const std::string& text)
{
    std::string out;
    for (const char c : text) {
        if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", static_cast<unsigned>(static_cast<unsigned char>(c)));
            out += escape;
        } else {
            out += c;
        }
    }
    return out;
}

}  // namespace

std::unique_ptr<CMC_Setup> LoadSetupText(const std::string& text, const std::string& source, std::string& error)
{
    Json root;
    std::string problem;
    if (!ParseDocument(text, root, problem)) {
        error = source + ": " + Printable(problem);
        return nullptr;
    }
    try {
        return Build(root);
    } catch (const LoadError& e) {
        error = source + ": " + Printable(e.where + ": " + e.what);
    } catch (const Json::exception& e) {
        error = source + ": " + e.what();
    }
    return nullptr;
}

std::unique_ptr<CMC_Setup> LoadSetupFile(const std::string& path, std::string& error)
{
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) {
        error = path + ": is a folder, not a setup document";
        return nullptr;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error = path + ": cannot open the file";
        return nullptr;
    }
    // Read in pieces up to a bound, so that an endless source (a device, a pipe) cannot hang us.
    std::string text;
    char buffer[1 << 16];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<std::size_t>(in.gcount()));
        if (text.size() > kMaxDocumentBytes) {
            error = path + ": larger than " + std::to_string(kMaxDocumentBytes >> 20) + " MiB, not a setup document";
            return nullptr;
        }
    }
    if (in.bad() || (!in.eof() && in.fail())) {
        error = path + ": cannot read the file";
        return nullptr;
    }
    return LoadSetupText(text, path, error);
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
    auto append = [](Json& object, const std::string& key, Json value) {
        object.get_ref<Json::object_t&>().Json::object_t::Container::emplace_back(key, std::move(value));
    };
    Json opts = Json::object();
    for (const auto& [name, text] : setup.Options()) append(opts, name, text);
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
        append(params, p->GetName(), std::move(e));
    }
    root["parameters"] = params;
    Json vars = Json::object();
    for (const auto& v : setup.Variables()) {
        Json e = Json::object();
        if (!v->GetUnit().name.empty()) e["unit"] = std::string(v->GetUnit().name);
        if (v->GetValueInBaseUnit() != 0.0) e["value"] = WriteNumber(v->GetValueInBaseUnit());
        append(vars, v->GetName(), std::move(e));
    }
    root["variables"] = vars;
    if (!info.extraJson.empty()) {
        Json extra;
        std::string problem;
        if (ParseDocument(info.extraJson, extra, problem) && extra.is_object())
            for (auto it = extra.begin(); it != extra.end(); ++it) append(root, it.key(), it.value());
    }
    // Text that is not UTF-8 (it can only come from outside a document) is written with U+FFFD in
    // its place rather than not at all; the command line refuses such text before it gets here.
    return root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n";
}

bool SaveSetupFile(const CMC_Setup& setup, const std::string& path, std::string& error)
{
    return WriteFileAtomically(path, SaveSetupText(setup), error);
}

bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error, const std::string& modeFrom)
{
    // A fresh file beside the target, made by us alone (never through a link someone placed),
    // written and synced, then renamed over the target: the target is whole or untouched.
    const std::size_t slash = path.find_last_of('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : path.substr(0, slash));
    std::string temporary = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + ".zek-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) {
        error = path + ": cannot write the file (" + std::strerror(errno) + ")";
        return false;
    }
    auto fail = [&](const char* what) {
        error = path + ": " + what + " (" + std::strerror(errno) + ")";
        ::close(fd);
        ::unlink(temporary.c_str());
        return false;
    };
    // The mode of the file being replaced, or of the document it came from, else the usual one.
    struct stat st {};
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    else if (!modeFrom.empty() && ::stat(modeFrom.c_str(), &st) == 0 && S_ISREG(st.st_mode)) mode = st.st_mode & 07777;
    else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    if (::fchmod(fd, mode) != 0) return fail("cannot set the file's mode");
    for (std::size_t done = 0; done < text.size();) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("write failed");
        }
        done += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) return fail("cannot sync the file");
    if (::close(fd) != 0) {
        error = path + ": write failed (" + std::strerror(errno) + ")";
        ::unlink(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path.c_str()) != 0) {
        error = path + ": cannot replace the file (" + std::strerror(errno) + ")";
        ::unlink(temporary.c_str());
        return false;
    }
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);  // the rename itself reaches the disk
        ::close(dir);
    }
    return true;
}

}  // namespace rurorade
