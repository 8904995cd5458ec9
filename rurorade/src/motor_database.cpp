#include "rurorade/motor_database.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include <nlohmann/json.hpp>

#include "rurorade/host_errors.h"
#include "rurorade/setup.h"
#include "rurorade/setup_document.h"

namespace rurorade {

namespace {

using Json = nlohmann::ordered_json;
constexpr const char* kSchema = "zekmotors-1";

}  // namespace

const std::vector<const char*>& MotorDataNames()
{
    static const std::vector<const char*> names = {
        "In", "ImaxM", "pp", "K", "R", "L", "Jm", "isMotorInertiaUnknown", "MotorPhaseConnectionType",
        "No_encoder_lines", "isHallsensors", "HALLCASE", "isMotorTemperatureSensor", "Motor_TempSensor_Type"};
    return names;
}

bool MotorDatabase::Load(const std::string& path, std::string& error)
{
    m_motors.clear();
    std::error_code ec;
    if (!std::filesystem::exists(path, ec)) return true;
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    if (!in && !in.eof()) {
        error = path + ": cannot read the motor database";
        return false;
    }
    try {
        const Json root = Json::parse(text.str());
        if (!root.is_object() || root.value("schema", "") != kSchema)
            throw std::runtime_error(std::string("schema: expected \"") + kSchema + "\"");
        const Json& motors = root.at("motors");
        if (!motors.is_array()) throw std::runtime_error("motors: must be an array");
        std::vector<MotorRecord> loaded;
        for (std::size_t i = 0; i < motors.size(); ++i) {
            const Json& m = motors[i];
            const std::string where = "motors[" + std::to_string(i) + "]";
            if (!m.is_object() || !m.contains("name") || !m["name"].is_string() || !m.contains("parameters") ||
                !m["parameters"].is_object())
                throw std::runtime_error(where + ": must be {\"name\": TEXT, \"parameters\": {NAME: NUMBER ...}}");
            MotorRecord record{m["name"].get<std::string>(), {}};
            if (record.name.empty()) throw std::runtime_error(where + ".name: must not be empty");
            for (const auto& [name, value] : m["parameters"].items()) {
                if (!value.is_number() || !std::isfinite(value.get<double>()))
                    throw std::runtime_error(where + ".parameters." + name + ": must be a number");
                record.values.emplace_back(name, value.get<double>());
            }
            loaded.push_back(std::move(record));
        }
        m_motors = std::move(loaded);
        return true;
    } catch (const std::exception& e) {
        error = path + ": " + e.what();
        return false;
    }
}

bool MotorDatabase::Save(const std::string& path, std::string& error) const
{
    Json motors = Json::array();
    for (const MotorRecord& m : m_motors) {
        Json values = Json::object();
        for (const auto& [name, value] : m.values) values[name] = value;
        motors.push_back(Json{{"name", m.name}, {"parameters", values}});
    }
    const Json root{{"schema", kSchema}, {"motors", motors}};
    std::error_code ec;
    const auto folder = std::filesystem::path(path).parent_path();
    if (!folder.empty()) std::filesystem::create_directories(folder, ec);
    return WriteFileAtomically(path, root.dump(2, ' ', false, Json::error_handler_t::replace) + "\n", error);
}

const MotorRecord* MotorDatabase::Find(const std::string& name) const
{
    for (const MotorRecord& m : m_motors)
        if (m.name == name) return &m;
    return nullptr;
}

void MotorDatabase::Put(MotorRecord motor)
{
    for (MotorRecord& m : m_motors)
        if (m.name == motor.name) {
            m = std::move(motor);
            return;
        }
    m_motors.push_back(std::move(motor));
}

bool MotorDatabase::Remove(const std::string& name)
{
    for (auto it = m_motors.begin(); it != m_motors.end(); ++it)
        if (it->name == name) {
            m_motors.erase(it);
            return true;
        }
    return false;
}

MotorRecord MotorFromSetup(CMC_Setup& setup, const std::string& name)
{
    MotorRecord record{name, {}};
    const QuietLookups quiet;
    for (const char* n : MotorDataNames())
        if (CMC_Parameter* p = setup.FindParameter(n)) record.values.emplace_back(n, p->GetValueInBaseUnit());
    return record;
}

std::vector<std::string> ApplyMotor(const MotorRecord& motor, CMC_Setup& setup)
{
    std::vector<std::string> written;
    const QuietLookups quiet;
    for (const auto& [name, value] : motor.values)
        if (CMC_Parameter* p = setup.FindParameter(name.c_str())) {
            p->SetValueInBaseUnit(value);
            written.push_back(name);
        }
    return written;
}

std::string StandardMotorDatabasePath()
{
    if (const char* env = std::getenv("ZEK_MOTOR_DATABASE"); env && *env) return env;
    return ZEK_MOTOR_DATABASE;
}

std::string UserMotorDatabasePath()
{
    if (const char* env = std::getenv("ZEK_USER_MOTOR_DATABASE"); env && *env) return env;
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/zekmod/user_motors.json";
}

}  // namespace rurorade
