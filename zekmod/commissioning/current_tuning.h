#pragma once
// Current controller tuning (template 101): PI gains of the current loop from a passband, the
// damping and the motor's R and L, trimmed with sliders and checked on the drive by current
// steps with the rotor held on phase A. Also edits the controller's output filter and the
// constant current offset that compensates a gravitational load.
#include <cstdint>
#include <memory>

#include "commissioning/tuning_test_dlg.h"

class CTestCurrent : public CTuningTestDlg {
public:
    static constexpr int kTemplateId = 101;
    static constexpr int kPurposeText = 1375;
    static constexpr int kTestCurrentLabel = 3130, kTestCurrentEdit = 1005, kTestCurrentUnit = 1017;
    static constexpr int kProtectionLabel = 3131, kProtectionEdit = 3265, kProtectionUnit = 3266;
    static constexpr int kKpLabel = 3132, kKpSlider = 3140, kKpEdit = 3141, kKpSpinLow = 3142, kKpSpinHigh = 3143;
    static constexpr int kKiLabel = 3133, kKiSlider = 3144, kKiEdit = 3145, kKiSpinLow = 3146, kKiSpinHigh = 3147;
    static constexpr int kPassbandLabel = 3134, kPassbandSlider = 3150, kPassbandEdit = 3151, kPassbandUnit = 3152,
                         kPassbandSpinLow = 3153, kPassbandSpinHigh = 3154;
    static constexpr int kTuneButton = 3149;
    static constexpr int kFilterCheck = 3155, kFilterEdit = 3156, kFilterUnit = 3157, kFilterLabel = 3158;
    static constexpr int kOffsetCheck = 3160, kOffsetEdit = 3161, kOffsetUnit = 3162, kOffsetLabel = 3163;
    static constexpr int kHelpTopic = 0x40108;

    static const char* const kProtectionBelowTest;
    static const char* const kProtectionTripped;

    CTestCurrent(CMC_Setup* setup, int flag, void* parent);
    ~CTestCurrent() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnOK() override;
    void OnCommand(int id) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    CMC_SingleAxisLogger* Logger() const { return m_logger.get(); }
    // The "Tune" rule; false when a parameter it needs is missing (nothing changes then).
    bool Tune();

protected:
    bool CanShowTestPage() override;

private:
    void RecomputeFilterAndOffset();
    void EndPositioningRun();
    void LaunchTuningRun();

    CMC_CoffFormat m_positioning;
    CMC_CoffFormat m_tuning;
    std::unique_ptr<CMC_SingleAxisLogger> m_logger;
    double m_reference = 0.0, m_increment = 0.0;  // "REFTST_V", "RINCTST_V" of the positioning run
    std::int32_t m_testCurrent = 0;               // internal unit
};
