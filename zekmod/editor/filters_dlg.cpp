#include "editor/filters_dlg.h"

#include <string>
#include <vector>

#include "rurorade/numeric.h"

using filters::FilterControls;
using filters::kFilter;

namespace {

constexpr int kFilterCount = 3;

std::string Name(const char* prefix, int filter) { return prefix + std::to_string(filter); }

bool IsLeadLag(int type) { return type == 8 || type == 9; }

// Location list items, numbered as the designer reads `BQFilterLocation%d`.
const char* const kLocations[] = {"Position Controller Output", "Speed Controller Output", "Speed Feedback"};

}  // namespace

CFiltersDialog::CFiltersDialog(CMC_Setup* setup, int locked, void* parent)
    : CMySetupDlg(setup, filters::kTemplateId, 1, nullptr, parent), m_locked(locked)
{
    for (int n = 1; n <= kFilterCount; ++n)
        AddSwitchParameterControls(Name("BQFilterLocation", n).c_str(), kFilter[n - 1].location);
    for (int n = 1; n <= kFilterCount; ++n) AddCheckParameterControls(Name("BQFilter", n).c_str(), kFilter[n - 1].toggle);
    for (int n = 1; n <= kFilterCount; ++n)
        AddSwitchParameterControls(Name("BQFilterType", n).c_str(), kFilter[n - 1].type);
    for (int n = 1; n <= kFilterCount; ++n) AddParameterControls(Name("BQFilterQ", n).c_str(), kFilter[n - 1].q, 0);
    for (int n = 1; n <= kFilterCount; ++n)
        AddParameterControls(Name("BQFilterF1", n).c_str(), kFilter[n - 1].frequency, kFilter[n - 1].frequencyUnit);
    for (int n = 1; n <= kFilterCount; ++n)
        AddParameterControls(Name("BQFilterF2", n).c_str(), kFilter[n - 1].lag, kFilter[n - 1].lagUnit);
}

int CFiltersDialog::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();

    std::vector<std::string> names;
    std::vector<int> types;
    m_designer.GetOfferedTypes(names, types);
    for (const FilterControls& c : kFilter) {
        ResetItems(c.type);
        for (std::size_t i = 0; i < names.size(); ++i) AddItem(c.type, names[i], types[i]);
        ResetItems(c.location);
        for (int location = 0; location < 3; ++location) AddItem(c.location, kLocations[location], location);
    }
    for (int n = 1; n <= kFilterCount; ++n) {
        RefreshParameterControls(Name("BQFilterType", n).c_str());
        RefreshParameterControls(Name("BQFilterLocation", n).c_str());
    }
    RefreshAllParameters(0);
    ApplyShowEnableRules();
    return 1;
}

void CFiltersDialog::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (!saveAndValidate) ApplyRules();
}

void CFiltersDialog::ApplyRules()
{
    for (int n = 1; n <= kFilterCount; ++n) {
        const FilterControls& c = kFilter[n - 1];
        const bool on = TruncToInt32(m_setup->GetParameterValueInBaseUnit(Name("BQFilter", n).c_str())) != 0;
        const int type = TruncToInt32(m_setup->GetParameterValueInBaseUnit(Name("BQFilterType", n).c_str()));
        const bool leadLag = IsLeadLag(type);

        RefreshParameterControls(Name("BQFilterQ", n).c_str());
        for (int id : {c.group, c.typeLabel, c.type, c.frequencyLabel, c.frequency, c.frequencyUnit, c.lag, c.lagUnit})
            EnableChild(id, on, 0);
        EnableChild(c.locationLabel, on && !m_locked, 0);
        EnableChild(c.location, on && !m_locked, 0);
        // A first-order low pass has no Q.
        EnableChild(c.qLabel, on && type != 0, 0);
        EnableChild(c.q, on && type != 0, type == 0 ? 1 : 0);
        EnableChild(c.toggle, !m_locked, 0);
        SetChildText(c.toggle, on ? "On" : "Off");
        SetChildText(c.qLabel, leadLag ? "Lag Frequency" : "Q");
        SetChildText(c.frequencyLabel, leadLag ? "Lead Frequency" : "Frequency");
        ShowChild(c.lag, leadLag);
        ShowChild(c.lagUnit, leadLag);
        ShowChild(c.q, !leadLag);
    }
}

void CFiltersDialog::OnChangedParameterValue(const char* name)
{
    CMySetupDlg::OnChangedParameterValue(name);
    // A selection in a bound list reaches the dialog as the change of its parameter.
    for (int n = 1; n <= kFilterCount; ++n) {
        if (SameName(name, Name("BQFilterType", n).c_str()) || SameName(name, Name("BQFilterLocation", n).c_str()))
            return ApplyShowEnableRules();
    }
}

void CFiltersDialog::OnCommand(int id)
{
    for (const FilterControls& c : kFilter)
        if (id == c.toggle) return ApplyShowEnableRules();
}

bool CFiltersDialog::FiltersCanBeDesigned()
{
    // Zero (or less) would divide by zero in the design, block the speed loop or put the poles
    // on the unit circle; the drive must never get such a section, least of all while running.
    for (int n = 1; n <= kFilterCount; ++n) {
        if (m_setup->GetParameterValueInBaseUnit(Name("BQFilter", n).c_str()) == 0.0) continue;
        const int type = TruncToInt32(m_setup->GetParameterValueInBaseUnit(Name("BQFilterType", n).c_str()));
        const std::string filter = "Filter " + std::to_string(n) + ": ";
        std::string fault;
        if (!(m_setup->GetParameterValueInBaseUnit(Name("BQFilterF1", n).c_str()) > 0.0))
            fault = IsLeadLag(type) ? "the lead frequency must be greater than 0 Hz." : "the frequency must be greater than 0 Hz.";
        else if (IsLeadLag(type) && !(m_setup->GetParameterValueInBaseUnit(Name("BQFilterF2", n).c_str()) > 0.0))
            fault = "the lag frequency must be greater than 0 Hz.";
        else if (type >= 1 && type <= 7 && !(m_setup->GetParameterValueInBaseUnit(Name("BQFilterQ", n).c_str()) > 0.0))
            fault = "Q must be greater than 0.";
        if (fault.empty()) continue;
        MessageBox(filter + fault, GetTitle(), rurorade::MB_OK);
        return false;
    }
    return true;
}

void CFiltersDialog::OnOK()
{
    if (FiltersCanBeDesigned()) CMySetupDlg::OnOK();
}
