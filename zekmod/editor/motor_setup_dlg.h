#pragma once
// The Brushless Motor Setup dialog (template 108): motor data, sensors, brake and transmission,
// the host's motor databases, and the buttons of the motor-side commissioning tests. It opens by
// itself for an ordinary motor and from the "Motor setup" button of the Drive Setup dialog.
#include <functional>

#include "editor/my_setup_dlg.h"

class CMotorSetupDialog : public CMySetupDlg {
public:
    explicit CMotorSetupDialog(CMC_Setup* setup, void* parent = nullptr);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnOK() override;
    void OnCommand(int id) override;
    // Ctrl+Alt+Shift+E: the motor data of an intelligent motor becomes editable, or read-only again.
    void OnKeyChord() override;

    bool Editable() const { return m_editable; }

private:
    bool MayEdit() const;
    double Value(const char* name) const;
    void FillHallList();
    void FillEncoderFilterList();
    void SetUpBrake();
    void ShowBrakeText();
    void OpenRlIdentification();
    void OpenLinesDetection();
    // Runs a motor-side test through the child-dialog cycle; `onOk` replaces the plain reload.
    template <class Test>
    void OpenTest(const std::function<void()>& onOk = {});

    bool m_editable;
};
