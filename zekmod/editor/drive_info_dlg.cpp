#include "editor/drive_info_dlg.h"

#include <cstdio>

#include "engine/encode_drive_config.h"
#include "rurorade/numeric.h"

using namespace drive_info;

namespace {

// The leading whole number of `text` (blanks and a plus sign before it allowed), or -1 when
// there is none, it is negative, or it is far beyond any E2ROM.
long LeadingWholeNumber(const std::string& text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
    if (i < text.size() && text[i] == '+') ++i;
    if (i == text.size() || text[i] < '0' || text[i] > '9') return -1;
    long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > 1000000) return -1;
    }
    return value;
}

// The first `count` characters of UTF-8 `text`, never cutting a character in two.
std::string FirstCharacters(const std::string& text, std::size_t count)
{
    std::size_t chars = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const bool lead = (static_cast<unsigned char>(text[i]) & 0xC0) != 0x80;
        if (lead && chars++ == count) return text.substr(0, i);
    }
    return text;
}

}  // namespace

CDriveInfo::CDriveInfo(CMC_Setup* setup, void* parent) : CMySetupDlg(setup, kTemplateId, 1, nullptr, parent)
{
    AddParameterControls("VMOT_min", kVmotMin, kVmotMinUnit);
    AddParameterControls("VMOT_max", kVmotMax, kVmotMaxUnit);
    AddParameterControls("VLOG_min", kVlogMin, kVlogMinUnit);
    AddParameterControls("VLOG_max", kVlogMax, kVlogMaxUnit);
    AddParameterControls("InPS", kInPS, kInPSUnit);
    AddParameterControls("ImaxPS", kImaxPS, kImaxPSUnit);
    AddParameterControls("VdcMaxMeasurable", kVdcMax, kVdcMaxUnit);
    AddCheckParameterControls("isDriveTemperatureSensor", kTempSensor);
    AddParameterControls("DriveTempSensorGain", kSensorGain, kSensorGainUnit);
    AddParameterControls("DriveTempOutputAt0oC", kSensorOutput, kSensorOutputUnit);
    AddParameterControls("Temp_2", kTemp2, kTemp2Unit);
    AddCheckParameterControls("isDriveOverTemp", kOverTemp);
    AddCheckParameterControls("isOverVoltage", kOverVoltage);
    AddParameterControls("UMAX_PROT", kUmax, kUmaxUnit);
    AddCheckParameterControls("isUnderVoltage", kUnderVoltage);
    AddParameterControls("UMIN_PROT", kUmin, kUminUnit);
    AddCheckParameterControls("isDriveI2t", kI2t);
    AddParameterControls("I_I2t_D", kI2tCurrent, kI2tCurrentUnit);
    AddParameterControls("t_I2t_D", kI2tTime, kI2tTimeUnit);
    AddParameterControls("AnalogueInputsRange", kInputsRange, kInputsRangeUnit);
}

// The drive reports its firmware as "F", three decimal digits of the version and one capital
// letter of the revision ("F900H"); nothing else names a firmware of this family.
bool CDriveInfo::IsValidFirmwareId(const std::string& id)
{
    if (id.size() != 5 || id[0] != 'F') return false;
    for (std::size_t i = 1; i <= 3; ++i)
        if (id[i] < '0' || id[i] > '9') return false;
    return id[4] >= 'A' && id[4] <= 'Z';
}

int CDriveInfo::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();

    const rurorade::SetupInfo& info = m_setup->Info();
    char kwords[16];
    std::snprintf(kwords, sizeof kwords, "%d", TruncToInt32(info.e2romWords) >> 10);  // words to Kwords
    m_shownE2rom = kwords;
    SetChildText(kE2rom, kwords);
    SetChildText(kFirmwareId, info.firmwareId.c_str());
    SetChildText(kProductId, info.productId.c_str());
    SetChildText(kDriveName, info.description.c_str());
    SetChildText(kAppId, info.userAppId.c_str());

    ApplyShowEnableRules();
    return 1;
}

void CDriveInfo::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (!saveAndValidate) ApplyRules();
}

void CDriveInfo::ApplyRules()
{
    const bool E = m_editable;
    const bool T = Is("isDriveTemperatureSensor"), OV = Is("isOverVoltage"), UV = Is("isUnderVoltage");
    const bool I = Is("isDriveI2t"), OT = Is("isDriveOverTemp");

    EnableIds({kVmotMin, kVmotMax, kVlogMin, kVlogMax, kInPS, kImaxPS, kVdcMax, kInputsRange, kTempSensor, kOverVoltage,
               kUnderVoltage, kI2t, kFirmwareId, kProductId, kE2rom, kDriveName},
              E);
    EnableIds({kSensorGain, kSensorOutput, kOverTemp}, E && T);
    EnableIds({kLabelSensorGain, kSensorGainUnit, kLabelSensorOutput, kSensorOutputUnit}, T);
    EnableChild(kUmax, E && OV);
    EnableIds({kLabelUmax, kUmaxUnit}, OV);
    EnableChild(kUmin, E && UV);
    EnableIds({kLabelUmin, kUminUnit}, UV);
    EnableIds({kI2tCurrent, kI2tTime}, E && I);
    EnableIds({kLabelI2tCurrent, kI2tCurrentUnit, kLabelI2tTime, kI2tTimeUnit}, I);
    EnableChild(kTemp2, E && OT);
    EnableIds({kLabelTemp2, kTemp2Unit}, OT);
    EnableChild(kAppId, 1);
}

void CDriveInfo::EnableIds(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids) EnableChild(id, enable ? 1 : 0, 0);
}

void CDriveInfo::OnCommand(int id)
{
    if (id != kTempSensor && id != kOverVoltage && id != kUnderVoltage && id != kI2t && id != kOverTemp) return;
    // No drive temperature protection without a sensor to measure it.
    if (m_setup->GetParameterValueInBaseUnit("isDriveTemperatureSensor") == 0.0 && Is("isDriveOverTemp")) {
        m_setup->SetParameterValueInBaseUnit("isDriveOverTemp", 0);
        RefreshParameterControls("isDriveOverTemp");
    }
    ApplyShowEnableRules();
}

void CDriveInfo::OnKeyChord()
{
    m_editable = !m_editable;
    ApplyShowEnableRules();
}

void CDriveInfo::OnOK()
{
    rurorade::SetupInfo& info = m_setup->Info();

    // An untouched field keeps the size as it is, also one that is not a whole number of Kwords.
    double e2romWords = info.e2romWords;
    const std::string e2rom = GetChildText(kE2rom);
    if (e2rom != m_shownE2rom) {
        const long kwords = LeadingWholeNumber(e2rom);
        if (kwords < 0 || kwords > kMaxE2romKwords) {
            char text[100];
            std::snprintf(text, sizeof text, "Please enter an E2ROM size between 0 and %d Kwords.", kMaxE2romKwords);
            MessageBox(text, GetTitle(), rurorade::MB_OK);
            SetChildText(kE2rom, m_shownE2rom.c_str());
            return;
        }
        e2romWords = static_cast<double>(kwords * 1024);
    }
    info.e2romWords = e2romWords;

    const std::string appId = GetChildText(kAppId);
    if (appId != info.userAppId) info.userAppId = FirstCharacters(appId, kMaxAppIdLength);
    info.productId = GetChildText(kProductId);
    info.description = GetChildText(kDriveName);
    // Writing back the id the setup already holds always succeeds.
    const std::string firmwareId = GetChildText(kFirmwareId);
    if (firmwareId != info.firmwareId) {
        if (IsValidFirmwareId(firmwareId))
            info.firmwareId = firmwareId;
        else
            MessageBox("Error setting the firmware ID!", GetTitle(), rurorade::MB_OK);
    }

    EncodeRegisters(m_setup);
    EndDialog(rurorade::IDOK);
}
