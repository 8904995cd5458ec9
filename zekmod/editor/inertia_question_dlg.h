#pragma once
// The "Motor inertia" question (template 3056), asked by the speed and position tuning tests when
// the motor's inertia exceeds the total inertia set: raise the total, or disregard the motor's.
#include "editor/my_setup_dlg.h"

class CInertiaQuestion : public CMySetupDlg {
public:
    static constexpr int kIncreaseTotal = 3333;
    static constexpr int kDisregardMotor = 3334;

    explicit CInertiaQuestion(CMC_Setup* setup, void* parent = nullptr);
    int OnInitDialog() override;
    void OnCommand(int id) override;
    void OnOK() override;
    int Selection() const { return m_selection; }

private:
    int m_selection = 1;
};
