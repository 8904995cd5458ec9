#include "rurorade/units.h"

#include <numbers>

namespace rurorade {
namespace {

constexpr double kPi = std::numbers::pi;

// Families in order; the first unit of each family is its base unit.
constexpr UnitDef kUnits[] = {
    {"", "dimensionless", "", 1.0, 0.0},
    {"%", "percent", "%", 1.0, 0.0},
    {"A", "current", "A", 1.0, 0.0},
    {"mA", "current", "A", 1e-3, 0.0},
    {"V", "voltage", "V", 1.0, 0.0},
    {"mV", "voltage", "V", 1e-3, 0.0},
    // DC bus voltage: measured by its own converter channel, so a family of its own.
    {"V ", "bus voltage", "V ", 1.0, 0.0},
    {"s", "time", "s", 1.0, 0.0},
    {"ms", "time", "s", 1e-3, 0.0},
    {"us", "time", "s", 1e-6, 0.0},
    {"Hz", "frequency", "Hz", 1.0, 0.0},
    {"kHz", "frequency", "Hz", 1e3, 0.0},
    {"MHz", "frequency", "Hz", 1e6, 0.0},
    {"rad", "angle", "rad", 1.0, 0.0},
    {"rot", "angle", "rad", 2.0 * kPi, 0.0},
    {"deg", "angle", "rad", kPi / 180.0, 0.0},
    {"m", "length", "m", 1.0, 0.0},
    {"mm", "length", "m", 1e-3, 0.0},
    {"um", "length", "m", 1e-6, 0.0},
    {"rad/s", "angular speed", "rad/s", 1.0, 0.0},
    {"rpm", "angular speed", "rad/s", 2.0 * kPi / 60.0, 0.0},
    {"rps", "angular speed", "rad/s", 2.0 * kPi, 0.0},
    {"m/s", "linear speed", "m/s", 1.0, 0.0},
    {"mm/s", "linear speed", "m/s", 1e-3, 0.0},
    {"rad/s^2", "angular acceleration", "rad/s^2", 1.0, 0.0},
    {"rpm/s", "angular acceleration", "rad/s^2", 2.0 * kPi / 60.0, 0.0},
    {"m/s^2", "linear acceleration", "m/s^2", 1.0, 0.0},
    {"rad/s^3", "angular jerk", "rad/s^3", 1.0, 0.0},
    {"m/s^3", "linear jerk", "m/s^3", 1.0, 0.0},
    {"\xC2\xB0" "C", "temperature", "\xC2\xB0" "C", 1.0, 0.0},
    {"K", "temperature", "\xC2\xB0" "C", 1.0, -273.15},
    {"V/s", "voltage rate", "V/s", 1.0, 0.0},
    {"A/s", "current rate", "A/s", 1.0, 0.0},
    {"Ohm", "resistance", "Ohm", 1.0, 0.0},
    {"mOhm", "resistance", "Ohm", 1e-3, 0.0},
    {"H", "inductance", "H", 1.0, 0.0},
    {"mH", "inductance", "H", 1e-3, 0.0},
    {"uH", "inductance", "H", 1e-6, 0.0},
    {"Nm", "torque", "Nm", 1.0, 0.0},
    {"Nm/A", "torque constant", "Nm/A", 1.0, 0.0},
    {"kg*m^2", "inertia", "kg*m^2", 1.0, 0.0},
    {"kg*cm^2", "inertia", "kg*m^2", 1e-4, 0.0},
    {"Nm*s/rad", "viscous friction", "Nm*s/rad", 1.0, 0.0},
};

}  // namespace

const UnitDef* FindUnit(std::string_view name)
{
    if (name == "\xB0" "C") name = "\xC2\xB0" "C";  // Windows-1252 degree sign
    for (const UnitDef& u : kUnits)
        if (u.name == name) return &u;
    return nullptr;
}

const UnitDef& Dimensionless() { return kUnits[0]; }

const UnitDef* AllUnits(std::size_t& count)
{
    count = std::size(kUnits);
    return kUnits;
}

}  // namespace rurorade
