#pragma once
// The Drive Setup dialog (template 106): the root of the setup editor.
#include "editor/my_setup_dlg.h"

class CDriveSetupDlg : public CMySetupDlg {
public:
    CDriveSetupDlg(CMC_Setup* setup, void* parent);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnOK() override;
    void OnCancel() override;
    void OnShowWindow() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;
    void OnSelChange(int id) override;

    // Timer that opens the Motor Setup dialog once, shortly after the dialog is shown (ms).
    static constexpr int kMotorSetupTimer = 2;
    static constexpr int kMotorSetupDelayMs = 100;

private:
    void ApplyRules();
    void SetInputHeaders(bool sink);
    void SetDigitalReferenceLabel();
    void EnableIds(std::initializer_list<int> ids, bool enable);
    void ShowIds(std::initializer_list<int> ids, bool show);
    double Value(const char* name) { return m_setup->GetParameterValueInBaseUnit(name); }
};
