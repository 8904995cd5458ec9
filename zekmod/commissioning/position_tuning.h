#pragma once
// Position controller tuning (template 103): PID gains of the position loop from a passband, the
// damping and the total inertia, for a loop that drives either the speed loop (no derivative term)
// or the current loop, trimmed with sliders and checked on the drive with a six-segment position
// profile.
#include <string>

#include "commissioning/profile_tuning_test.h"

class CTestPositionTuning : public CProfileTuningTest {
public:
    static constexpr int kTemplateId = 103;
    static constexpr int kPurposeText = 1375;
    static constexpr int kTestPositionLabel = 1500, kTestPositionEdit = 1501, kTestPositionUnit = 1502;
    static constexpr int kKdLabel = 1507, kKdEdit = 1508, kKdSpinLow = 1509, kKdSlider = 1510, kKdSpinHigh = 1511;
    static constexpr int kFilterLabel = 1512, kFilterEdit = 1513;
    static constexpr int kSpeedLimitGroup = 1041, kSpeedLimitLabel = 1042, kSpeedLimitEdit = 1043,
                         kSpeedLimitUnit = 1044;
    static constexpr int kIdentifyId = 3305;
    static constexpr int kReferenceLabel = 1517, kReferenceValue = 1518, kMeasuredLabel = 1519, kMeasuredValue = 1520;
    static constexpr int kHelpTopic = 0x40103;

    CTestPositionTuning(CMC_Setup* setup, int flag, void* parent);

    int OnInitDialog() override;
    bool Tune() override;

protected:
    const char* ProgramName() const override { return m_program.c_str(); }
    const char* CurrentLimitPicture(bool commutation) const override { return commutation ? "309" : "310"; }
    bool WriteInputsBeforeProfile() override;
    bool WriteInputsAfterProfile() override;
    void RescaleScopeChannels(const char* name) override;
    std::array<const char*, 4> LoggedVariables() const override;
    const char* LimitAboveProtectionText() const override
    {
        return "Over current protection must be greater than Drive current limit. Recommended value for Drive "
               "current limit is maximum 90% of Over current protection.";
    }
    void ApplyTestRules() override;
    void OnGainChanged(const char* name) override;
    void WriteGainLive(const char* name) override;

private:
    // The position loop's output is a speed reference (PositionControlType 1).
    bool ThroughSpeedLoop() const;

    std::string m_program;  // chosen once when the dialog opens
};
