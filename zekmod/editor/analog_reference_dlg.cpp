#include "editor/analog_reference_dlg.h"

#include "commissioning/analogue_reference_check.h"

#include <string>

#include "engine/decode_drive_config.h"
#include "engine/derived_quantities.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"

using namespace analog_reference;

namespace {

const char* const kLimitSpeedText = "Limit maximum speed at";
const char* const kLimitAccelerationText = "Limit maximum acceleration at";

// The scale pairs: the minimum always shows the unit of the maximum.
struct ScalePair {
    const char* maximum;
    const char* minimum;
    void (*maximumLimits)(CMC_Setup*);
    void (*minimumLimits)(CMC_Setup*);
};

const ScalePair kScales[] = {
    {"POS_max", "POS_min", limits::POS_max, limits::POS_min},
    {"SPD_max", "SPD_min", limits::SPD_max, limits::SPD_min},
    {"CRT_max", "CRT_min", limits::CRT_max, limits::CRT_min},
};

// Gives `follower` the unit of `leader`.
void FollowUnit(CMC_Setup* setup, const char* leader, const char* follower)
{
    CMC_Parameter* a = setup->FindParameter(leader);
    CMC_Parameter* b = setup->FindParameter(follower);
    if (a && b) b->ChangeUnitType(std::string(a->GetUnit().name).c_str());
}

}  // namespace

CAnalogReferenceDlg::CAnalogReferenceDlg(CMC_Setup* setup, void* parent)
    : CMySetupDlg(setup, kTemplateId, 1, nullptr, parent), m_hasAnalogueInput(HasAnalogueReferenceInput(setup) != 0)
{
    const int cm = TruncToInt32(Value("ControlMode"));
    if (m_hasAnalogueInput && cm >= 0 && cm <= 2) {
        const ScalePair& scale = kScales[cm];
        AddParameterControls(scale.maximum, kMaximum, kMaximumUnit);
        AddParameterControls(scale.minimum, kMinimum, 0);
        FollowUnit(m_setup, scale.maximum, scale.minimum);
    }
    if (cm == 0) {
        AddCheckParameterControls("isLimitMaximum", kLimitCheck);
        AddParameterControls("ErefMaxSpeed", kLimitValue, kLimitUnit);
        AddParameterControls("ErefMaxAcceleration", kLimitAltValue, kLimitAltUnit);
    } else if (cm == 1) {
        AddCheckParameterControls("isLimitMaximum", kLimitCheck);
        AddParameterControls("ErefMaxAcceleration", kLimitValue, kLimitUnit);
        // A speed-mode setup that still holds a digital reference shows the other limit field;
        // it carries the same acceleration limit rather than staying empty.
        AddParameterControls("ErefMaxAcceleration", kLimitAltValue, kLimitAltUnit);
    }
    if (m_hasAnalogueInput) {
        AddParameterControls("DeadBand_Point", kDeadBandPoint, kDeadBandPointUnit);
        AddParameterControls("DeadBand_Range", kDeadBandRange, 0);
        FollowUnit(m_setup, "DeadBand_Point", "DeadBand_Range");
    }
    AddSwitchParameterControls("isAnalogueReference", kDigital, kAnalogue);
    AddSwitchParameterControls("DigitalReferenceType", kPulseDirection, kIncrementalEncoder);
    AddParameterControls("GEARMASTER", kGearMaster, 0);
    AddParameterControls("GEARSLAVE", kGearSlave, 0);
    if (m_hasAnalogueInput) {
        AddCheckParameterControls("UseFilter", kUseFilter);
        AddParameterControls("filter", kFilter, kFilterUnit);
    }
}

int CAnalogReferenceDlg::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();

    // Input range in volts: ±10 V, 0..5 V, or the converter's own 0..3.3 V.
    const double range = Value("AnalogueInputsRange");
    SetChildText(kVoltageLow, range == 20.0 ? "-10" : "0");
    SetChildText(kVoltageHigh, range == 20.0 ? "10" : (range == 5.0 ? "5" : "3.3"));
    EnableIds({kVoltageLow, kVoltageHigh}, false);

    switch (TruncToInt32(Value("ControlMode"))) {
    case 0:
        SetChildText(kLabelMaximum, "Maximum Position");
        SetChildText(kLabelMinimum, "Minimum Position");
        SetLimitCheckText();
        SetButtonImage(kPicture, "3003");
        break;
    case 1:
        SetChildText(kLabelMaximum, "Maximum Speed");
        SetChildText(kLabelMinimum, "Minimum Speed");
        SetChildText(kLimitCheck, kLimitAccelerationText);
        SetButtonImage(kPicture, "3044");
        break;
    case 2:
        SetChildText(kLabelMaximum, "Maximum Current");
        SetChildText(kLabelMinimum, "Minimum Current");
        SetButtonImage(kPicture, "3002");
        ShowIds({kLimitCheck, kLimitValue, kLimitUnit}, false);
        break;
    default: break;
    }
    EnableChild(kAnalogue, m_hasAnalogueInput);

    ApplyShowEnableRules();
    return 1;
}

void CAnalogReferenceDlg::SetLimitCheckText()
{
    const bool positionFromAnalogue = Value("isAnalogueReference") == 1.0 && TruncToInt32(Value("ControlMode")) == 0;
    SetChildText(kLimitCheck, positionFromAnalogue ? kLimitSpeedText : kLimitAccelerationText);
}

void CAnalogReferenceDlg::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (!saveAndValidate) ApplyRules();
}

void CAnalogReferenceDlg::ApplyRules()
{
    const int cm = TruncToInt32(Value("ControlMode"));
    const bool an = TruncToInt32(Value("isAnalogueReference")) == 1;
    const bool A = m_hasAnalogueInput;

    ShowIds({kLabelFilter, kFilter, kFilterUnit}, A && TruncToInt32(Value("UseFilter")) != 0);

    // Torque control has no reference limit.
    const bool lim = cm < 2 && TruncToInt32(Value("isLimitMaximum")) == 1;
    ShowIds({kLimitValue, kLimitUnit}, lim && an);
    ShowIds({kLimitAltValue, kLimitAltUnit}, lim && !an);

    EnableIds({kLabelMaximum, kMaximum, kMaximumUnit, kLabelMinimum, kMinimum, kLabelDeadBandPoint, kDeadBandPoint,
               kLabelDeadBandRange, kDeadBandRange, kUseFilter, kLabelFilter, kFilter, kFilterUnit, kTest, kVoltageLow,
               kVoltageHigh},
              an);
    EnableIds({kPulseDirection, kIncrementalEncoder, kLabelGearRatio, kLabelMaster, kLabelReference, kLabelSlave,
               kLabelYourMotor, kGearMaster, kGearSlave},
              !an && cm == 0);
    EnableChild(kDigital, cm == 0 && m_setup->GetIntOption("DisableExternalDigitalReference") == 0);
}

void CAnalogReferenceDlg::EnableIds(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids) EnableChild(id, enable ? 1 : 0, 0);
}

void CAnalogReferenceDlg::ShowIds(std::initializer_list<int> ids, bool show)
{
    for (int id : ids) ShowChild(id, show ? 1 : 0);
}

void CAnalogReferenceDlg::OnChangedParameterValue(const char* name)
{
    if (SameName(name, "UseFilter")) {
        ShowIds({kLabelFilter, kFilter, kFilterUnit}, TruncToInt32(Value("UseFilter")) != 0);
    } else if (SameName(name, "isAnalogueReference")) {
        SetLimitCheckText();
        ApplyShowEnableRules();
    } else if (SameName(name, "DeadBand_Range") || SameName(name, "DeadBand_Point")) {
        limits::DeadBand_Point(m_setup);
        limits::DeadBand_Range(m_setup);
        RefreshParameterControls(SameName(name, "DeadBand_Range") ? "DeadBand_Point" : "DeadBand_Range");
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CAnalogReferenceDlg::OnChangedParameterUnit(const char* name)
{
    for (const ScalePair& scale : kScales)
        if (SameName(name, scale.maximum)) {
            FollowUnit(m_setup, scale.maximum, scale.minimum);
            RefreshParameterControls(scale.minimum);
        }
    if (SameName(name, "DeadBand_Point")) {
        FollowUnit(m_setup, "DeadBand_Point", "DeadBand_Range");
        RefreshParameterControls("DeadBand_Range");
    }
    CMySetupDlg::OnChangedParameterUnit(name);
}

void CAnalogReferenceDlg::OnRefreshParameterValue(const char* name)
{
    for (const ScalePair& scale : kScales)
        if (SameName(name, scale.maximum) || SameName(name, scale.minimum)) {
            // Each end of the scale bounds the other.
            scale.minimumLimits(m_setup);
            scale.maximumLimits(m_setup);
            RefreshAllParameters(0);
        }
    CMySetupDlg::OnRefreshParameterValue(name);
}

void CAnalogReferenceDlg::OnCommand(int id)
{
    switch (id) {
    case kLimitCheck:
    case kDigital:
    case kAnalogue: ApplyShowEnableRules(); break;
    case kTest: {
        EncodeRegisters(m_setup);
        DecodeRegisters(m_setup);
        CTestAnalogueRef test(m_setup, nullptr);
        test.DoModal();
        // The registers are made consistent again whatever the test's result.
        EncodeRegisters(m_setup);
        DecodeRegisters(m_setup);
        RefreshAllParameters(0);
        break;
    }
    case kHelp: {
        const std::string file = GetHelpFileOfGUI(m_setup);
        if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, kHelpContext);
        break;
    }
    default: break;
    }
}
