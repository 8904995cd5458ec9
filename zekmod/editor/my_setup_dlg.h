#pragma once
// Base of every setup dialog of the module: the host's setup dialog plus the gain
// re-quantisation that shows each controller gain as the drive will really use it.
#include <functional>

#include "rurorade/edit_setup_dlg.h"

class CMySetupDlg : public CMC_EditSetupDlg {
public:
    CMySetupDlg(CMC_Setup* setup, int templateId, int flag, const char* const* guideSteps, void* parent)
        : CMC_EditSetupDlg(setup, templateId, flag, guideSteps, parent)
    {
    }

    void OnChangedParameterValue(const char* name) override;

    // The child-dialog cycle: encode and decode, `beforeOpen`, show the child modally; on OK encode,
    // decode, reload every bound control and run the show/enable rules, or run `onOk` instead when
    // given. Returns the child's modal result.
    int RunChildDialog(const std::function<int()>& showModal, const std::function<void()>& beforeOpen = {},
                       const std::function<void()>& onOk = {});

protected:
    // Re-runs the dialog's show/enable rules (the data exchange in loading direction).
    void ApplyShowEnableRules() { DoDataExchange(false); }
};

// Case-insensitive comparison of parameter names as the notification handlers need it.
bool SameName(const char* a, const char* b);
