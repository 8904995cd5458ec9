#pragma once
// The Filters dialog (template 3072): the three biquad filters of the speed loop.
#include "editor/my_setup_dlg.h"
#include "engine/biquad_designer.h"

// Control ids of the Filters dialog.
namespace filters {

constexpr int kTemplateId = 3072;

// The controls of one filter; the lag frequency sits where the Q value is.
struct FilterControls {
    int group, toggle, locationLabel, location, typeLabel, type, qLabel, q, frequencyLabel, frequency, frequencyUnit,
        lag, lagUnit;
};

constexpr FilterControls kFilter[3] = {
    {3484, 3485, 3503, 3502, 3486, 3487, 3488, 3489, 3490, 3491, 3508, 3504, 3510},
    {3492, 3493, 3501, 3500, 3494, 3495, 3496, 3497, 3498, 3499, 3509, 3505, 3511},
    {3517, 3518, 3527, 3526, 3520, 3519, 3521, 3523, 3522, 3524, 3525, 3506, 3512},
};

}  // namespace filters

class CFiltersDialog : public CMySetupDlg {
public:
    // `locked` is the opening tuning test's running flag: while it is set the filters cannot be
    // switched on or off nor moved, since that would change the slots of the running program.
    CFiltersDialog(CMC_Setup* setup, int locked, void* parent);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnChangedParameterValue(const char* name) override;
    void OnCommand(int id) override;
    void OnOK() override;

    // For the opening test after OK (and after it has encoded the registers): the new filters go
    // to the running drive at once.
    BiquadDesigner& Designer() { return m_designer; }
    void WriteFiltersToDrive() { m_designer.WriteFiltersToDrive(m_setup); }

private:
    void ApplyRules();
    bool FiltersCanBeDesigned();

    BiquadDesigner m_designer;
    int m_locked;
};
