#pragma once
// The Brushless Motor Setup dialog (template 108). For now it offers the resistance and inductance
// identification; it opens by itself for an ordinary motor and from the "Motor setup" button.
#include "editor/my_setup_dlg.h"

class CMotorSetupDialog : public CMySetupDlg {
public:
    static constexpr int kIdentifyRL = 1177;

    explicit CMotorSetupDialog(CMC_Setup* setup) : CMySetupDlg(setup, 108, 1, nullptr, nullptr) {}
    void OnCommand(int id) override;
};
