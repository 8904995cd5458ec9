#pragma once
// VDC detection test (template 105): measures the DC bus voltage and stores it in `Vdc`.
#include "commissioning/my_test_dlg.h"

class CTestVdcDetection : public CMyTestDlg {
public:
    static constexpr int kTemplateId = 105;
    static constexpr int kVdcEdit = 1012;
    static constexpr int kVdcUnit = 1013;
    static constexpr int kPurposeText = 1376;
    static constexpr int kProcedureText = 1377;
    static constexpr int kHelpTopic = 0x40105;
    // Only a short circuit stops this test.
    static constexpr std::uint16_t kErrorMask = 0x0002;

    CTestVdcDetection(CMC_Setup* setup, void* parent);
    ~CTestVdcDetection() override;

    int OnInitDialog() override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCancel() override;
    void OnCommand(int id) override;

private:
    CMC_CoffFormat m_program;
    [[maybe_unused]] double m_vdcMaxMeasurable;  // V, at construction
    double m_vdcAtStart;        // V, at construction: the old value of the closing question
};
