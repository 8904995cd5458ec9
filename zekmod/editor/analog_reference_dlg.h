#pragma once
// The External Reference Setup dialog (template 111): analogue or digital reference, its scale
// in the units of the control mode, dead band, input filter and the reference's speed or
// acceleration limit.
#include <initializer_list>

#include "editor/my_setup_dlg.h"

namespace analog_reference {

constexpr int kTemplateId = 111;

// Scale of the analogue reference (position, speed or current by control mode)
constexpr int kMaximum = 1006, kMaximumUnit = 1015, kMinimum = 1008, kLabelMaximum = 3800, kLabelMinimum = 3801;
constexpr int kPicture = 1014;
// Reference limit
constexpr int kLimitCheck = 3116, kLimitValue = 3302, kLimitUnit = 3136, kLimitAltValue = 3304, kLimitAltUnit = 3137;
// Dead band
constexpr int kDeadBandPoint = 1010, kDeadBandPointUnit = 1016, kDeadBandRange = 1012;
constexpr int kLabelDeadBandPoint = 3802, kLabelDeadBandRange = 3803;
// Reference source
constexpr int kDigital = 3289, kAnalogue = 3290, kPulseDirection = 3291, kIncrementalEncoder = 3292;
// Gear ratio of the digital reference
constexpr int kGearMaster = 3296, kGearSlave = 3295, kLabelMaster = 3804, kLabelReference = 3805, kLabelSlave = 3806;
constexpr int kLabelYourMotor = 3807, kLabelGearRatio = 3808;
// Input filter
constexpr int kUseFilter = 1001, kLabelFilter = 3809, kFilter = 1003, kFilterUnit = 1004;
// Input voltage range (display only)
constexpr int kVoltageLow = 3328, kVoltageHigh = 3327;
// Buttons
constexpr int kTest = 1000, kHelp = 10024;

}  // namespace analog_reference

class CAnalogReferenceDlg : public CMySetupDlg {
public:
    CAnalogReferenceDlg(CMC_Setup* setup, void* parent);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnChangedParameterValue(const char* name) override;
    void OnChangedParameterUnit(const char* name) override;
    void OnRefreshParameterValue(const char* name) override;
    void OnCommand(int id) override;

    static constexpr int kHelpContext = 262401;

private:
    void ApplyRules();
    void SetLimitCheckText();
    void EnableIds(std::initializer_list<int> ids, bool enable);
    void ShowIds(std::initializer_list<int> ids, bool show);
    double Value(const char* name) { return m_setup->GetParameterValueInBaseUnit(name); }

    bool m_hasAnalogueInput;  // the drive has an analogue reference input
};
