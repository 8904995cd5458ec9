#pragma once
// The Brushless Motor Setup dialog (template 108). For now a minimal dialog with OK and Cancel,
// opened automatically for an ordinary motor and from the "Motor setup" button.
#include "editor/my_setup_dlg.h"

class CMotorSetupDialog : public CMySetupDlg {
public:
    explicit CMotorSetupDialog(CMC_Setup* setup) : CMySetupDlg(setup, 108, 1, nullptr, nullptr) {}
};
