#pragma once
// The host's motor databases: named motors with the values of their motor-data parameters (base
// units). The standard database ships with the host and is only read; the user database is the
// person's own file, written through a temporary file and a rename.
#include <optional>
#include <string>
#include <utility>
#include <vector>

class CMC_Setup;

namespace rurorade {

struct MotorRecord {
    std::string name;
    std::vector<std::pair<std::string, double>> values;  // parameter name, value in base unit
};

class MotorDatabase {
public:
    // An absent file is an empty database; a malformed one is refused with the file and the place.
    bool Load(const std::string& path, std::string& error);
    bool Save(const std::string& path, std::string& error) const;

    const std::vector<MotorRecord>& Motors() const { return m_motors; }
    const MotorRecord* Find(const std::string& name) const;
    // Adds the motor, or replaces the one of the same name.
    void Put(MotorRecord motor);
    bool Remove(const std::string& name);

private:
    std::vector<MotorRecord> m_motors;
};

// The parameters a motor record holds, in the order they are shown.
const std::vector<const char*>& MotorDataNames();
// The motor data of `setup` (the names it has) as a record called `name`.
MotorRecord MotorFromSetup(CMC_Setup& setup, const std::string& name);
// Writes a record's values into `setup`; names the setup lacks are left out. Returns the names written.
std::vector<std::string> ApplyMotor(const MotorRecord& motor, CMC_Setup& setup);

// Where the host keeps its databases: $ZEK_MOTOR_DATABASE or the shipped file; $ZEK_USER_MOTOR_DATABASE
// or ~/.config/zekmod/user_motors.json.
std::string StandardMotorDatabasePath();
std::string UserMotorDatabasePath();

}  // namespace rurorade
