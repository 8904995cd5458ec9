#include "commissioning/tuning_test_dlg.h"

#include <algorithm>
#include <cmath>

#include "engine/parameter_access.h"

CTuningTestDlg::CTuningTestDlg(CMC_Setup* setup, int templateId, int flag, void* parent)
    : CMyTestDlg(setup, templateId, flag, parent)
{
}

void CTuningTestDlg::AddTunedSlider(const char* name, int slider, int edit, int unitCombo, int spinLow, int spinHigh)
{
    double min = std::nan(""), max = std::nan("");
    CMC_Parameter* p = m_setup->FindParameter(name);
    if (p) {
        const double value = p->GetValueInBaseUnit();
        // A value of 0 or less would give an empty or reversed range: the limits stay.
        if (value > 0 && std::isfinite(value)) {
            min = std::max(p->GetMinInBaseUnit(), 0.5 * value);
            max = std::min(p->GetMaxInBaseUnit(), 1.5 * value);
            if (!(max > min)) min = max = std::nan("");
        }
    }
    AddSliderParameterControls(name, slider, edit, unitCombo, spinLow, spinHigh, min, max);
}

void CTuningTestDlg::AddTuningPages(const std::vector<int>& parameterPage, std::vector<int> testPage)
{
    for (int id : {kStartStopId, kStatusId, kResultIconId, kSavePlotsId}) testPage.push_back(id);
    AddTabPage("Test Parameters", parameterPage);
    AddTabPage("Test", testPage);
    SelectTabPage(0);
}

bool CTuningTestDlg::WriteRegisters(std::initializer_list<const char*> names)
{
    if (!m_bTestRunning) return true;
    for (const char* name : names) {
        CMC_Parameter* p = m_setup->FindParameter(name);
        if (p == nullptr || !p->WriteToChip()) return false;
    }
    return true;
}

bool CTuningTestDlg::Has(const char* name) const
{
    return QuietFindParameter(m_setup, name) != nullptr;
}

double CTuningTestDlg::Base(const char* name) const { return m_setup->GetParameterValueInBaseUnit(name); }

bool CTuningTestDlg::OnTabPageChanging(int from, int to)
{
    if (!CMyTestDlg::OnTabPageChanging(from, to)) return false;
    if (to == 1 && !CanShowTestPage()) {
        SelectTabPage(0);
        OnTabPageChanged(0);
        return false;
    }
    return true;
}

void CTuningTestDlg::OnTabPageChanged(int page)
{
    if (page == 1) m_graph.Invalidate();
    CMyTestDlg::OnTabPageChanged(page);
}
