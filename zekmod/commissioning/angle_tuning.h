#pragma once
// Electric angle controller tuning (template 3059): the PI gains of the controller that finds the
// rotor's electrical angle at a motionless start are set by hand and checked on the drive, which
// logs the test current and the estimated angle and reports whether the angle settled.
#include <memory>

#include "commissioning/tuning_test_dlg.h"

class CTestAngle : public CTuningTestDlg {
public:
    static constexpr int kTemplateId = 3059;
    static constexpr int kPurposeText = 1375;
    static constexpr int kTestCurrentLabel = 3070, kTestCurrentEdit = 3071, kTestCurrentUnit = 3072;
    static constexpr int kIncrementLabel = 3073, kIncrementEdit = 3074, kIncrementUnit = 3075;
    static constexpr int kStabiliseLabel = 3076, kStabiliseEdit = 3077, kStabiliseUnit = 3078;
    static constexpr int kAcquisitionsLabel = 3079, kAcquisitionsEdit = 3080;
    static constexpr int kSamplingLabel = 3081, kSamplingEdit = 3082, kSamplingTail = 3083;
    static constexpr int kKpLabel = 3084, kKpSlider = 3085, kKpEdit = 3086, kKpSpinLow = 3087, kKpSpinHigh = 3088;
    static constexpr int kKiLabel = 3089, kKiSlider = 3090, kKiEdit = 3091, kKiSpinLow = 3092, kKiSpinHigh = 3093;
    static constexpr int kHelpTopic = 0x40112;

    static const char* const kProtectionTripped;
    static const char* const kNotStabilised;
    static const char* const kCurrentOrAngle;  // %s: the angle expected
    static const char* const kCurrentTooSmall;

    CTestAngle(CMC_Setup* setup, int flag, void* parent);
    ~CTestAngle() override;

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void BeginTest() override;
    void OnTimer(int id) override;
    void OnCommand(int id) override;
    void OnChangedParameterValue(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;

    CMC_SingleAxisLogger* Logger() const { return m_logger.get(); }

private:
    // Points, sampling and variables of the logger, from the acquisition settings as they are now.
    void SetUpLogger();
    void UploadAndJudge(const char* uploadingText);
    void Judge();
    double Acquisition(const char* name, const std::unique_ptr<CMC_Parameter>& own) const;

    CMC_CoffFormat m_program;
    std::unique_ptr<CMC_SingleAxisLogger> m_logger;
    // The dialog's own acquisition settings, for a setup that has none.
    std::unique_ptr<CMC_Parameter> m_acquisitions;
    std::unique_ptr<CMC_Parameter> m_sampling;
};
