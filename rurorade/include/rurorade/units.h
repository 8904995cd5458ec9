#pragma once
#include <string_view>

namespace rurorade {

// A unit the host knows: a base unit of its family, or a display unit with
// base = display * factor + offset.
struct UnitDef {
    std::string_view name;
    std::string_view family;
    std::string_view baseName;  // base unit of the family ("" for dimensionless)
    double factor;
    double offset;
    bool IsBase() const { return name == baseName; }
};

// Finds a unit by exact name; "°C" is also accepted as the Windows-1252 byte pair 0xB0 'C'.
const UnitDef* FindUnit(std::string_view name);
// The dimensionless unit "".
const UnitDef& Dimensionless();
// Every unit the host knows, families together, base unit first in each family.
const UnitDef* AllUnits(std::size_t& count);

}  // namespace rurorade
