#pragma once
// Speed controller tuning (template 102): PI gains of the speed loop from a passband, the damping
// and the total inertia, the integral limit and the feed-forwards on sliders, checked on the drive
// with a six-segment speed profile.
#include "commissioning/profile_tuning_test.h"

class CTestSpeedTuning : public CProfileTuningTest {
public:
    static constexpr int kTemplateId = 102;
    static constexpr int kPurposeText = 1375;
    static constexpr int kTestSpeedLabel = 1319, kTestSpeedEdit = 1320, kTestSpeedUnit = 1321;
    static constexpr int kIdentifyId = 3271;
    static constexpr int kReferenceLabel = 1363, kReferenceValue = 1364, kMeasuredLabel = 1365, kMeasuredValue = 1366;
    static constexpr int kHelpTopic = 0x40102;

    CTestSpeedTuning(CMC_Setup* setup, int flag, void* parent);

    bool Tune() override;

protected:
    const char* ProgramName() const override { return "Speed_Controller_Tuning_Test"; }
    bool WriteInputsBeforeProfile() override;
    void RescaleScopeChannels(const char* name) override;
    std::array<const char*, 4> LoggedVariables() const override
    {
        return {"Speed_Reference", "Load_Speed", "Current_Reference", "Motor_Current"};
    }
    const char* LimitAboveProtectionText() const override
    {
        return "Over current protection must be greater or equal to I limit.";
    }
    void ApplyTestRules() override;
    void OnGainChanged(const char* name) override;
    void WriteGainLive(const char* name) override;
};
