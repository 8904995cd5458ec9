#pragma once
// The Drive info dialog (template 3018): identity and hardware data of the drive model.
// Read-only until the Ctrl+Alt+Shift+E chord; the application id is always editable.
#include <initializer_list>
#include <string>

#include "editor/my_setup_dlg.h"

namespace drive_info {

constexpr int kTemplateId = 3018;

// Drive data
constexpr int kLabelMotorSupply = 3850, kLabelMotorSupplyMin = 3851, kLabelMotorSupplyMax = 3852;
constexpr int kVmotMin = 3087, kVmotMinUnit = 3088, kVmotMax = 3089, kVmotMaxUnit = 3090;
constexpr int kLabelLogicSupply = 3853, kLabelLogicSupplyMin = 3854, kLabelLogicSupplyMax = 3855;
constexpr int kVlogMin = 3092, kVlogMinUnit = 3093, kVlogMax = 3094, kVlogMaxUnit = 3095;
constexpr int kLabelNominalCurrent = 3856, kInPS = 1159, kInPSUnit = 1160;
constexpr int kLabelPeakCurrent = 3857, kImaxPS = 1161, kImaxPSUnit = 1162;
constexpr int kLabelVdcMax = 3858, kVdcMax = 1163, kVdcMaxUnit = 1164;
constexpr int kTempSensor = 3097;
constexpr int kLabelSensorGain = 3859, kSensorGain = 1165, kSensorGainUnit = 1166;
constexpr int kLabelSensorOutput = 3860, kSensorOutput = 1167, kSensorOutputUnit = 1168;
constexpr int kLabelInputsRange = 3866, kInputsRange = 1179, kInputsRangeUnit = 1180;
// Protections
constexpr int kOverTemp = 3325, kLabelTemp2 = 3861, kTemp2 = 1177, kTemp2Unit = 1178;
constexpr int kOverVoltage = 3103, kLabelUmax = 3862, kUmax = 1169, kUmaxUnit = 1170;
constexpr int kUnderVoltage = 3105, kLabelUmin = 3863, kUmin = 1171, kUminUnit = 1172;
constexpr int kI2t = 3107, kLabelI2tCurrent = 3864, kI2tCurrent = 1173, kI2tCurrentUnit = 1174;
constexpr int kLabelI2tTime = 3865, kI2tTime = 1175, kI2tTimeUnit = 1176;
// Identity
constexpr int kLabelFirmwareId = 3867, kFirmwareId = 3278, kLabelProductId = 3868, kProductId = 3277;
constexpr int kLabelE2rom = 3869, kE2rom = 3276, kLabelKwords = 3870, kLabelDriveName = 3871, kDriveName = 3275;
constexpr int kLabelAppId = 3872, kAppId = 3114;
constexpr int kGroupDriveData = 3873, kGroupProtections = 3874;

}  // namespace drive_info

class CDriveInfo : public CMySetupDlg {
public:
    CDriveInfo(CMC_Setup* setup, void* parent);

    int OnInitDialog() override;
    void DoDataExchange(bool saveAndValidate) override;
    void OnCommand(int id) override;
    void OnKeyChord() override;
    void OnOK() override;

    static constexpr std::size_t kMaxAppIdLength = 40;
    // Largest E2ROM size in Kwords whose word count still fits the drive's 16-bit size word.
    static constexpr int kMaxE2romKwords = 63;

    // Whether the firmware accepts `id` as a firmware identifier (see the .cpp for the rule).
    static bool IsValidFirmwareId(const std::string& id);

private:
    void ApplyRules();
    void EnableIds(std::initializer_list<int> ids, bool enable);
    bool Is(const char* name) { return m_setup->GetParameterValueInBaseUnit(name) == 1.0; }

    bool m_editable = false;
    std::string m_shownE2rom;  // the E2ROM field as it was filled
};
