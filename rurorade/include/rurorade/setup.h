#pragma once
#include <cstdint>
#include <limits>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

#include "rurorade/drive_link.h"
#include "rurorade/units.h"

class CMC_Setup;
class CMC_Parameter;
class CMC_Variable;
class CMC_EditSetupDlg;

namespace rurorade {

// The loaded module's conversion between internal and base units:
// base = (internal + offset) * factor.
struct ScaleProvider {
    double (*factor)(CMC_Setup* setup, const char* unit, const char* name) = nullptr;
    double (*offset)(CMC_Setup* setup, const char* unit) = nullptr;
};
// Process-wide provider (the module loader installs the loaded module's exports).
void SetScaleProvider(const ScaleProvider& provider);
const ScaleProvider& GetScaleProvider();

// Transparent string hashing so lookups by const char* allocate nothing.
struct NameHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view s) const noexcept { return std::hash<std::string_view>{}(s); }
};
struct NameEq {
    using is_transparent = void;
    bool operator()(std::string_view a, std::string_view b) const noexcept { return a == b; }
};

// Header fields of a setup document that the host keeps and writes back.
struct SetupInfo {
    std::string description;
    std::string firmwareId;
    std::string productId;
    std::string userAppId;
    double e2romWords = 0;
    std::uint32_t adcMax = 65520;
    std::string extraJson;  // other top-level members ("io" ...), kept verbatim as JSON text
    // Drive outputs usable for a motor brake, from "io": {"brakeOutputs": [{"port": P, "pin": N}]}.
    struct BrakeOutput {
        int port;
        int pin;
        bool inverted = false;  // the output's logic is inverted
        int bits = 0;           // description bits of the output (bit 4: NPN sink, bit 5: PNP source)
    };
    std::vector<BrakeOutput> brakeOutputs;
};

}  // namespace rurorade

// A quantity with a unit: base-unit value, unit (display or base) and, through the module, internal unit.
class CMC_Quantity {
public:
    CMC_Quantity(CMC_Setup* setup, std::string name, const rurorade::UnitDef* unit)
        : m_setup(setup), m_name(std::move(name)), m_unit(unit) {}

    const std::string& GetName() const { return m_name; }
    double GetValueInBaseUnit() const { return m_value; }
    void SetValueInBaseUnit(double v) { m_value = v; }
    double GetValueInInternalUnit() const;
    void SetValueInInternalUnit(double v);
    // Value in the quantity's own (display) unit.
    double GetValueInDisplayUnit() const { return ToDisplay(m_value); }
    void SetValueInDisplayUnit(double v) { m_value = FromDisplay(v); }
    double ToDisplay(double base) const { return (base - m_unit->offset) / m_unit->factor; }
    double FromDisplay(double display) const { return display * m_unit->factor + m_unit->offset; }

    const rurorade::UnitDef& GetUnit() const { return *m_unit; }
    // Switches to another unit by name ("rot", "mm", "rpm", "m/s" ...). The base-unit
    // value is kept. Returns 1, or 0 for a name the host does not know.
    int ChangeUnitType(const char* unitName);
    void SetUnit(const rurorade::UnitDef* unit) { m_unit = unit; }
    CMC_Setup* GetSetup() const { return m_setup; }

protected:
    CMC_Setup* m_setup;
    std::string m_name;
    const rurorade::UnitDef* m_unit;
    double m_value = 0.0;
};

class CMC_Parameter : public CMC_Quantity {
public:
    using CMC_Quantity::CMC_Quantity;
    double GetMinInBaseUnit() const { return m_min; }
    void SetMinInBaseUnit(double v) { m_min = v; }
    double GetMaxInBaseUnit() const { return m_max; }
    void SetMaxInBaseUnit(double v) { m_max = v; }
    int GetType() const { return m_type; }
    void SetType(int t) { m_type = t; }
    // Writes the value to the drive through the drive link; nonzero on success.
    int WriteToChip();

private:
    double m_min = -std::numeric_limits<double>::infinity();
    double m_max = std::numeric_limits<double>::infinity();
    int m_type = 0;
};

class CMC_Variable : public CMC_Quantity {
public:
    using CMC_Quantity::CMC_Quantity;
    // Read from / write to the drive through the drive link; nonzero on success.
    int ReadFromChip();
    int WriteToChip();
};

class CMC_Setup {
public:
    CMC_Setup() = default;
    CMC_Setup(const CMC_Setup&) = delete;
    CMC_Setup& operator=(const CMC_Setup&) = delete;

    // Lookups: null when absent; while g_bShowErrors is nonzero the host reports the missing name.
    CMC_Parameter* FindParameter(const char* name);
    CMC_Variable* FindVariable(const char* name, int reportErrors = 1);

    double GetParameterValueInBaseUnit(const char* name);
    double GetParameterValueInInternalUnit(const char* name);
    int SetParameterValueInBaseUnit(const char* name, double value);
    int SetParameterValueInInternalUnit(const char* name, double value);

    // Options are strings; flags are "0" and "1". An absent option reads as 0.
    int GetIntOption(const char* name) const;
    std::string GetOptionNoError(const char* name) const;
    void SetOption(const char* name, const char* text);
    void ClearOption(const char* name);
    bool HasOption(const char* name) const;

    // Host side: building and listing.
    CMC_Parameter& AddParameter(const std::string& name, const rurorade::UnitDef* unit);
    // Room for `n` parameters, before adding many.
    void ReserveParameters(std::size_t n)
    {
        m_parameters.reserve(n);
        m_parameterIndex.reserve(n);
    }
    CMC_Variable& AddVariable(const std::string& name, const rurorade::UnitDef* unit);
    const std::vector<std::unique_ptr<CMC_Parameter>>& Parameters() const { return m_parameters; }
    const std::vector<std::unique_ptr<CMC_Variable>>& Variables() const { return m_variables; }
    const std::vector<std::pair<std::string, std::string>>& Options() const { return m_options; }
    // The drive this setup talks to; null when offline (drive reads and writes then fail).
    void SetDriveLink(rurorade::DriveLink* link) { m_link = link; }
    rurorade::DriveLink* GetDriveLink() const { return m_link; }
    const std::string& GetDescription() const { return m_info.description; }
    // The drive's I/O map between brake output ports and controller pins. A port or pin the map does
    // not list maps to itself, so a setup without a map keeps the number it was given.
    int GetIOPinFromPort(int port) const;
    int GetIOPortFromPin(int pin) const;
    int GetNumberOfBrakeOutputs() const { return static_cast<int>(m_info.brakeOutputs.size()); }
    // Fills a list with the outputs usable for a brake ("OUT2" ..., item data the output's port)
    // and selects `selectedOutput` when it is one of them.
    void FillIOBrakeCombo(CMC_EditSetupDlg& dialog, int combo, int selectedOutput) const;
    // Whether the output's logic is inverted, and its description bits; 0 for an unknown output.
    int IsIOMC3PortInverted(int output) const;
    int IsBrakePortEnable(int output) const;
    rurorade::SetupInfo& Info() { return m_info; }
    const rurorade::SetupInfo& Info() const { return m_info; }

    // Lookup accounting for tests and benchmarks: a count of FindParameter/FindVariable calls
    // and, when a trace is attached, the names asked for ("NAME" or "variable NAME").
    std::uint64_t LookupCount() const { return m_lookupCount; }
    void SetLookupTrace(std::vector<std::string>* trace) { m_trace = trace; }

    // What a dialog restores when it ends with anything but OK: values, limits, units, options.
    struct Snapshot;
    std::shared_ptr<const Snapshot> TakeSnapshot() const;
    void Restore(const Snapshot& snapshot);

private:
    std::vector<std::unique_ptr<CMC_Parameter>> m_parameters;
    std::vector<std::unique_ptr<CMC_Variable>> m_variables;
    std::unordered_map<std::string, std::size_t, rurorade::NameHash, rurorade::NameEq> m_parameterIndex;
    std::unordered_map<std::string, std::size_t, rurorade::NameHash, rurorade::NameEq> m_variableIndex;
    const std::pair<std::string, std::string>* FindOption(const char* name) const;
    void IndexOptions();

    std::vector<std::pair<std::string, std::string>> m_options;  // in the order they were set
    std::unordered_map<std::string, std::size_t, rurorade::NameHash, rurorade::NameEq> m_optionIndex;
    rurorade::SetupInfo m_info;
    rurorade::DriveLink* m_link = nullptr;
    std::uint64_t m_lookupCount = 0;
    std::vector<std::string>* m_trace = nullptr;
};

// Full-scale count of the drive's converters for the setup.
std::uint32_t Compute_ADCMaxValue(CMC_Setup* setup);
