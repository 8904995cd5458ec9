#include "rurorade/setup.h"

#include <cstdlib>

#include "rurorade/edit_setup_dlg.h"
#include "rurorade/host_errors.h"

namespace rurorade {
namespace {
ScaleProvider& Provider()
{
    static ScaleProvider provider;
    return provider;
}
}  // namespace

void SetScaleProvider(const ScaleProvider& provider) { Provider() = provider; }
const ScaleProvider& GetScaleProvider() { return Provider(); }

}  // namespace rurorade

// ---- quantities ----

double CMC_Quantity::GetValueInInternalUnit() const
{
    const auto& provider = rurorade::GetScaleProvider();
    if (m_unit->baseName.empty() || provider.factor == nullptr) return m_value;
    const char* base = m_unit->baseName.data();  // the table's names are literals, so terminated
    const double factor = provider.factor(m_setup, base, m_name.c_str());
    const double offset = provider.offset ? provider.offset(m_setup, base) : 0.0;
    return m_value / factor - offset;
}

void CMC_Quantity::SetValueInInternalUnit(double v)
{
    const auto& provider = rurorade::GetScaleProvider();
    if (m_unit->baseName.empty() || provider.factor == nullptr) {
        m_value = v;
        return;
    }
    const char* base = m_unit->baseName.data();
    const double factor = provider.factor(m_setup, base, m_name.c_str());
    const double offset = provider.offset ? provider.offset(m_setup, base) : 0.0;
    m_value = (v + offset) * factor;
}

int CMC_Quantity::ChangeUnitType(const char* unitName)
{
    const rurorade::UnitDef* unit = unitName ? rurorade::FindUnit(unitName) : nullptr;
    if (unit == nullptr) {
        rurorade::SetLastErrorText(std::string("Unknown unit \"") + (unitName ? unitName : "") + "\" for " + m_name + ".");
        return 0;
    }
    m_unit = unit;
    return 1;
}

namespace {
// The setup's drive link; without one the call fails with "No drive is connected."
rurorade::DriveLink* LinkOf(CMC_Setup* setup)
{
    rurorade::DriveLink* link = setup ? setup->GetDriveLink() : nullptr;
    if (link == nullptr) rurorade::SetLastErrorText("No drive is connected.");
    return link;
}
}  // namespace

int CMC_Parameter::WriteToChip()
{
    rurorade::DriveLink* link = LinkOf(m_setup);
    return link && link->WriteParameter(*this) ? 1 : 0;
}

int CMC_Variable::ReadFromChip()
{
    rurorade::DriveLink* link = LinkOf(m_setup);
    return link && link->ReadVariable(*this) ? 1 : 0;
}

int CMC_Variable::WriteToChip()
{
    rurorade::DriveLink* link = LinkOf(m_setup);
    return link && link->WriteVariable(*this) ? 1 : 0;
}

// ---- setup ----

CMC_Parameter* CMC_Setup::FindParameter(const char* name)
{
    ++m_lookupCount;
    if (m_trace) m_trace->emplace_back(name ? name : "");
    if (name != nullptr) {
        auto it = m_parameterIndex.find(std::string_view(name));
        if (it != m_parameterIndex.end()) return m_parameters[it->second].get();
    }
    rurorade::ReportLookupError(std::string("Parameter \"") + (name ? name : "") + "\" not found in the setup.");
    return nullptr;
}

CMC_Variable* CMC_Setup::FindVariable(const char* name, int reportErrors)
{
    ++m_lookupCount;
    if (m_trace) m_trace->push_back(std::string("variable ") + (name ? name : ""));
    if (name != nullptr) {
        auto it = m_variableIndex.find(std::string_view(name));
        if (it != m_variableIndex.end()) return m_variables[it->second].get();
    }
    if (reportErrors != 0)
        rurorade::ReportLookupError(std::string("Variable \"") + (name ? name : "") + "\" not found in the setup.");
    return nullptr;
}

double CMC_Setup::GetParameterValueInBaseUnit(const char* name)
{
    CMC_Parameter* p = FindParameter(name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

double CMC_Setup::GetParameterValueInInternalUnit(const char* name)
{
    CMC_Parameter* p = FindParameter(name);
    return p ? p->GetValueInInternalUnit() : 0.0;
}

int CMC_Setup::SetParameterValueInBaseUnit(const char* name, double value)
{
    CMC_Parameter* p = FindParameter(name);
    if (p == nullptr) return 0;
    p->SetValueInBaseUnit(value);
    return 1;
}

int CMC_Setup::SetParameterValueInInternalUnit(const char* name, double value)
{
    CMC_Parameter* p = FindParameter(name);
    if (p == nullptr) return 0;
    p->SetValueInInternalUnit(value);
    return 1;
}

const std::pair<std::string, std::string>* CMC_Setup::FindOption(const char* name) const
{
    if (name == nullptr) return nullptr;
    const auto it = m_optionIndex.find(std::string_view(name));
    return it == m_optionIndex.end() ? nullptr : &m_options[it->second];
}

void CMC_Setup::IndexOptions()
{
    m_optionIndex.clear();
    for (std::size_t i = 0; i < m_options.size(); ++i) m_optionIndex.emplace(m_options[i].first, i);
}

int CMC_Setup::GetIntOption(const char* name) const
{
    const auto* option = FindOption(name);
    if (option == nullptr) return 0;
    return static_cast<int>(std::strtol(option->second.c_str(), nullptr, 10));
}

std::string CMC_Setup::GetOptionNoError(const char* name) const
{
    const auto* option = FindOption(name);
    return option == nullptr ? std::string() : option->second;
}

bool CMC_Setup::HasOption(const char* name) const { return FindOption(name) != nullptr; }

void CMC_Setup::SetOption(const char* name, const char* text)
{
    if (name == nullptr) return;
    const auto it = m_optionIndex.find(std::string_view(name));
    if (it != m_optionIndex.end()) {
        m_options[it->second].second = text ? text : "";
        return;
    }
    m_options.emplace_back(name, text ? text : "");
    m_optionIndex.emplace(name, m_options.size() - 1);
}

void CMC_Setup::ClearOption(const char* name)
{
    if (name == nullptr) return;
    const auto it = m_optionIndex.find(std::string_view(name));
    if (it == m_optionIndex.end()) return;
    m_options.erase(m_options.begin() + static_cast<std::ptrdiff_t>(it->second));
    IndexOptions();
}

CMC_Parameter& CMC_Setup::AddParameter(const std::string& name, const rurorade::UnitDef* unit)
{
    auto it = m_parameterIndex.find(std::string_view(name));
    if (it != m_parameterIndex.end()) return *m_parameters[it->second];
    m_parameters.push_back(std::make_unique<CMC_Parameter>(this, name, unit ? unit : &rurorade::Dimensionless()));
    m_parameterIndex.emplace(name, m_parameters.size() - 1);
    return *m_parameters.back();
}

CMC_Variable& CMC_Setup::AddVariable(const std::string& name, const rurorade::UnitDef* unit)
{
    auto it = m_variableIndex.find(std::string_view(name));
    if (it != m_variableIndex.end()) return *m_variables[it->second];
    m_variables.push_back(std::make_unique<CMC_Variable>(this, name, unit ? unit : &rurorade::Dimensionless()));
    m_variableIndex.emplace(name, m_variables.size() - 1);
    return *m_variables.back();
}

struct CMC_Setup::Snapshot {
    struct Param {
        double value, min, max;
        const rurorade::UnitDef* unit;
        int type;
    };
    struct Var {
        double value;
        const rurorade::UnitDef* unit;
    };
    std::vector<Param> parameters;
    std::vector<Var> variables;
    std::vector<std::pair<std::string, std::string>> options;
};

std::shared_ptr<const CMC_Setup::Snapshot> CMC_Setup::TakeSnapshot() const
{
    auto s = std::make_shared<Snapshot>();
    for (const auto& p : m_parameters)
        s->parameters.push_back({p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit(), &p->GetUnit(), p->GetType()});
    for (const auto& v : m_variables) s->variables.push_back({v->GetValueInBaseUnit(), &v->GetUnit()});
    s->options = m_options;
    return s;
}

void CMC_Setup::Restore(const Snapshot& s)
{
    // Parameters are only ever added by the host, so the snapshot's prefix lines up.
    for (std::size_t i = 0; i < s.parameters.size() && i < m_parameters.size(); ++i) {
        CMC_Parameter& p = *m_parameters[i];
        p.SetValueInBaseUnit(s.parameters[i].value);
        p.SetMinInBaseUnit(s.parameters[i].min);
        p.SetMaxInBaseUnit(s.parameters[i].max);
        p.SetUnit(s.parameters[i].unit);
        p.SetType(s.parameters[i].type);
    }
    for (std::size_t i = 0; i < s.variables.size() && i < m_variables.size(); ++i) {
        m_variables[i]->SetValueInBaseUnit(s.variables[i].value);
        m_variables[i]->SetUnit(s.variables[i].unit);
    }
    m_options = s.options;
    IndexOptions();
}

void CMC_Setup::FillIOBrakeCombo(CMC_EditSetupDlg& dialog, int combo, int selectedOutput) const
{
    dialog.ResetItems(combo);
    for (const auto& o : m_info.brakeOutputs) {
        const int index = dialog.AddItem(combo, "OUT" + std::to_string(o.port), o.port);
        if (o.port == selectedOutput) dialog.SetSelection(combo, index);
    }
}

int CMC_Setup::IsIOMC3PortInverted(int output) const
{
    for (const auto& o : m_info.brakeOutputs)
        if (o.port == output) return o.inverted ? 1 : 0;
    return 0;
}

int CMC_Setup::IsBrakePortEnable(int output) const
{
    for (const auto& o : m_info.brakeOutputs)
        if (o.port == output) return o.bits;
    return 0;
}

int CMC_Setup::GetIOPinFromPort(int port) const
{
    for (const auto& o : m_info.brakeOutputs)
        if (o.port == port) return o.pin;
    return port;
}

int CMC_Setup::GetIOPortFromPin(int pin) const
{
    for (const auto& o : m_info.brakeOutputs)
        if (o.pin == pin) return o.port;
    return pin;
}

std::uint32_t Compute_ADCMaxValue(CMC_Setup* setup) { return setup ? setup->Info().adcMax : 0u; }
