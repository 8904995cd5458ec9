#include "editor/drive_setup_dlg.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "commissioning/current_tuning.h"
#include "commissioning/speed_tuning.h"
#include "commissioning/position_tuning.h"
#include "commissioning/angle_tuning.h"
#include "commissioning/vdc_detection.h"
#include "editor/advanced_dlg.h"
#include "editor/analog_reference_dlg.h"
#include "editor/drive_info_dlg.h"
#include "editor/motor_setup_dlg.h"
#include "engine/decode_control_loops.h"
#include "engine/decode_drive_config.h"
#include "engine/derived_quantities.h"
#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"
#include "resources/drive_setup_ids.h"

using namespace drive_setup;

namespace {

const char* const kGuideSteps[] = {
    "Step 1.\tIn the <<Control mode>> group box, select what do you want to control: position, speed or torque.  In the <<Commutation method>> group box, choose sinusoidal or trapezoidal mode. The trapezoidal mode is possible only if your motor is equipped with digital Hall sensors.",
    "Step 2.\tIn the <<External reference>> group box, select <<Yes>> if your drive gets a position, speed or torque reference from an external device. Press the <<Setup>> button to select the reference type: analogue or pulse & direction or incremental encoder and its parameters.",
    "Step 3.\tIn the <<Drive operation parameters>> group box, set the value of the DC voltage power supply. Use the <<Detect>> button to measure its actual value as applied to the drive. Also set the <<Current limit>> parameter, e.g. the maximum current value used by the drive to control the motor.",
    "Step 4.\tIn the <<Current controller>> group box, set the current controller parameters Kp (proportional) and Ki (integral). Use the <<Tune & Test>> button to automatically compute the current controller parameters and to test the current loop behavior.",
    "Step 5.\tIn the <<Speed Controller>> group box, set the speed controller parameters Kp (proportional), Ki (integral), Integral limit (saturation limit for the integral term of the controller) and the acceleration Feedforward. Use the <<Tune & Test>> button to automatically compute the speed controller parameters and to test the speed loop response. Before tuning the speed controller, make sure to set the right value for the ratio load inertia /motor inertia or to identify the total inertia. Note that the controller tuning does not include the acceleration feedforward. Set initially this value to 0, and then establish the other controller parameters. Finally increase gradually the acceleration feedforward and check the speed loop response.",
    "Step 6.\tIn the <<Position Controller>> group box, set the position controller parameters Kp (proportional), Ki (integral), Kd (derivative), Kd filter (filtering coefficient for the derivative term), Integral limit (saturation limit for the integral term of the controller), Speed limit (saturation limit for the position controller output, seen as a speed reference value), acceleration and speed feedforward. Use the <<Tune & Test>> button to automatically compute the position controller parameters and to test the position loop behavior. Before tuning the position controller, make sure to set the right value for the ratio load inertia /motor inertia or to identify the total inertia. Note that the controller tuning does not include the acceleration and speed feedforward. Set initially these values to 0, and then establish the other controller parameters. Finally increase gradually the acceleration and speed feedforward and check the speed loop behavior.",
    "Step 7.\tIn the <<Protections>> group box, select and parameterize the protections that you want to activate.",
    "Step 8. In the <<External brake resistor>> group box, check <<Connected>> if you have a brake resistor connected to the drive. Set the voltage level at which the drive starts to clamp the supply via the brake resistor.",
    "Step 9. In the <<Inputs polarity>> check box, select the active levels for the Enable and the two limit switch inputs.",
    "Step 10. For sinusoidal commutation, the <<Start mode>> group box is active. If your motor is equipped with digital Hall sensors, select the start method to be used. For the method <<Move till aligned with phase A>>, set up the current value to use during the motor start and the time needed to align the motor first on phase B and then on phase A. For the method <<Motionless start (encoder only)>>, use the <<Tune & Test>> button to set the electric angle controller parameters and to test the motionless start.",
    nullptr,
};

const char* const kCanOpenAxisWarning =
    "If your drive is set in CANopen mode, the axis ID values must be in the range 1-127. Any value over 127 will set the "
    "drive as non-configured and further CANopen communication will be disabled until a valid Axis ID will be set in the "
    "drive. Leave the drive with a non-configured axis ID only if you intend to set the Axis ID later via a CANopen master "
    "using CiA305 LSS protocol.";

constexpr int kHelpContext = 262406;

// Radios and checks whose clicks re-run the show/enable rules.
constexpr int kRuleClicks[] = {kModePosition, kModeSpeed,   kModeTorque,          kExtRefNo,          kExtRefYes,
                               kStartAlign,   kStartBldcHalls, kStartPmsmHalls,   kTrapezoidal,       kSinusoidal,
                               kOverCurrent,  kPositionControlError, kSpeedControlError, kI2t, kBrakeResistor,
                               kSwls,         kSaveBaudRate, kSaveAxisId};

double QuietValue(CMC_Setup* setup, const char* name)
{
    CMC_Parameter* p = QuietFindParameter(setup, name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

}  // namespace

CDriveSetupDlg::CDriveSetupDlg(CMC_Setup* setup, void* parent) : CMySetupDlg(setup, kTemplateId, 1, kGuideSteps, parent)
{
    DecodeRegisters(m_setup);
    ComputeParameterLimits(m_setup);
    if (HasSpeedForward(m_setup)) ForceSpeedFeedforward(m_setup);

    AddParameterControls("Vdc", kVdc, kVdcUnit);
    AddParameterControls("IlimPS", kIlimPS, kIlimPSUnit);
    AddParameterControls("Kp_C_scl", kKpC, 0);
    AddParameterControls("Ki_C_scl", kKiC, 0);
    AddParameterControls("Kp_S_scl", kKpS, 0);
    AddParameterControls("Ki_S_scl", kKiS, 0);
    AddParameterControls("IPSatS", kIPSatS, kIPSatSUnit);
    AddParameterControls("KFFA_scl", kKffaS, 0);
    AddParameterControls("KFFS_scl", kKffsS, 0);
    AddParameterControls("Kp_P_scl", kKpP, 0);
    AddParameterControls("Ki_P_scl", kKiP, 0);
    AddParameterControls("Kd_P_scl", kKdP, 0);
    AddParameterControls("filter_D", kFilterD, 0);
    AddParameterControls("IPSatP", kIPSatP, kIPSatPUnit);
    AddParameterControls("KFFS_scl", kKffsP, 0);
    AddParameterControls("KFFA_scl", kKffaP, 0);
    AddParameterControls("Limit_Speed", kLimitSpeed, kLimitSpeedUnit);
    AddSwitchParameterControls("ControlMode", kModePosition, kModeTorque);
    AddSwitchParameterControls("ExternalReference", kExtRefNo, kExtRefYes);
    AddCheckParameterControls("isAutoActivatedAfterPowerOn", kAutoActivated);
    AddSwitchParameterControls("isAnalogueReference", kAnalogueRadio, kDigitalRadio);
    AddSwitchParameterControls("CommutationMethod", kTrapezoidal, kSinusoidal);
    AddCheckParameterControls("isOverCurrent", kOverCurrent);
    AddParameterControls("Imax_Prot", kImaxProt, kImaxProtUnit);
    AddParameterControls("time_Imax_Prot", kTimeImaxProt, kTimeImaxProtUnit);
    AddCheckParameterControls("isPositionControlError", kPositionControlError);
    AddParameterControls("ERR_position", kErrPosition, kErrPositionUnit);
    AddParameterControls("time_ERR_pos", kTimeErrPos, kTimeErrPosUnit);
    AddCheckParameterControls("isSpeedControlError", kSpeedControlError);
    AddParameterControls("ERR_speed", kErrSpeed, kErrSpeedUnit);
    AddParameterControls("time_ERR_spd", kTimeErrSpd, kTimeErrSpdUnit);
    AddCheckParameterControls("isMotorOverTemp", kMotorOverTemp);
    AddCheckParameterControls("isMotori2t", kI2t);
    AddParameterControls("I_I2t_M", kI2tCurrent, kI2tCurrentUnit);
    AddParameterControls("t_I2t_M", kI2tTime, kI2tTimeUnit);
    AddCheckParameterControls("isBrakeResistor", kBrakeResistor);
    AddParameterControls("Vbrake", kVbrake, kVbrakeUnit);
    if (!HideEnablePolarity(m_setup)) AddSwitchParameterControls("EnablePolarity", kEnableHigh, kEnableLow);
    AddSwitchParameterControls("LSPPolarity", kLspHigh, kLspLow);
    AddSwitchParameterControls("LSNPolarity", kLsnHigh, kLsnLow);
    if (HasInputsPolarityType(m_setup)) AddSwitchParameterControls("InputsPolarityType", kSourceType, kSinkType);
    if (HasSoftwareLimitSwitches(m_setup)) {
        AddCheckParameterControls("isSWLS", kSwls);
        AddParameterControls("Negative_SWLS", kNegativeSwls, kNegativeSwlsUnit);
        AddParameterControls("Positive_SWLS", kPositiveSwls, kPositiveSwlsUnit);
    }
    AddSwitchParameterControls("StartMode", kStartAlign, kStartAbsolute);
    AddParameterControls("StartCurrent", kStartCurrent, kStartCurrentUnit);
    AddParameterControls("time_AB", kTimeAB, kTimeABUnit);
    if (HasCanSettings(m_setup)) {
        AddCheckParameterControls("save_CAN_baudrate", kSaveBaudRate);
        AddCheckParameterControls("save_axis_id", kSaveAxisId);
    }
    EnableCANSettings();
}

int CDriveSetupDlg::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();

    if (IsIntelligentMotor(m_setup)) {
        ShowIds({kStartBldcHalls, kStartPmsmHalls, kStartMotionless, kTuneStart}, false);
        ShowChild(kStartAbsolute, 1);
        EnableIds({kGroupBrakeResistor, kBrakeResistor, kLabelVbrake, kVbrake, kVbrakeUnit}, false);
    } else {
        ShowChild(kStartAbsolute, 0);
    }
    SetButtonImage(kMotorSetup, "TO_MOTORSETUP");
    EnableChild(kLabelAnalogue, HasAnalogueReferenceInput(m_setup));

    ResetItems(kAxisIdList);
    for (int id = 1; id <= 255; ++id) AddItem(kAxisIdList, std::to_string(id), id);
    AddItem(kAxisIdList, "H/W", 0);
    const int axisId = TruncToInt32(Value("Axis_ID_list"));
    SetSelection(kAxisIdList, axisId == 0 ? 255 : (axisId >= 1 && axisId <= 255 ? axisId - 1 : -1));

    SetDigitalReferenceLabel();

    const bool hasType = HasInputsPolarityType(m_setup) != 0;
    const int programmable = InputsTypeProgrammable(m_setup);
    EnableIds({kSourceType, kSinkType}, hasType && programmable == 1);
    bool sink;
    if (programmable == -1) {
        sink = m_setup->GetDescription().find("QV") != std::string::npos;
        CheckRadioButton(kSourceType, kSinkType, sink ? kSinkType : kSourceType);
    } else if (!hasType) {
        sink = (TruncToInt32(Value("ASR")) & 4) == 0;
        CheckRadioButton(kSourceType, kSinkType, sink ? kSinkType : kSourceType);
    } else {
        sink = Value("InputsPolarityType") == 1.0;
    }
    SetInputHeaders(sink);

    DoDataExchange(false);
    return 1;
}

void CDriveSetupDlg::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (!saveAndValidate) ApplyRules();
}

void CDriveSetupDlg::ApplyRules()
{
    const double mode = Value("ControlMode");
    const bool P = mode == 0.0, S = mode == 1.0;
    const int pct = TruncToInt32(Value("PositionControlType"));
    const bool speedLoop = S || (P && pct == 1);
    const double fastLoop = QuietValue(m_setup, "PosSpd_in_FastLoop");
    const bool sin = TruncToInt32(Value("CommutationMethod")) == 1;

    EnableIds({kGroupSpeed, kTuneSpeed, kLabelKpS, kKpS, kLabelKiS, kKiS, kLabelIntLimitS, kIPSatS, kIPSatSUnit}, speedLoop);
    ShowIds({kLabelFeedforwardS, kLabelAccS, kKffaS}, S);
    EnableIds({kGroupPosition, kTunePosition, kLabelKpP, kKpP, kLabelKiP, kKiP, kLabelKdP, kKdP, kLabelKdFilter, kFilterD,
               kLabelIntLimitP, kIPSatP, kIPSatPUnit},
              P);
    ShowIds({kLabelFeedforwardP, kLabelSpeedP, kKffsP, kLabelAccP, kKffaP}, P);
    EnableIds({kLabelSpeedP, kKffsP}, P && speedLoop);
    EnableIds({kLabelFeedforwardP, kLabelAccP, kKffaP}, !(P && !speedLoop && fastLoop == 1.0));
    ShowIds({kLabelLoadSpeedLimit, kLimitSpeed, kLimitSpeedUnit}, P && speedLoop);

    if (HasSpeedForward(m_setup)) {
        const std::initializer_list<int> speedSet = {kLabelFeedforwardS, kLabelAccS, kLabelSpeedS, kKffaS, kKffsS};
        const std::initializer_list<int> positionRow = {kLabelFeedforwardP, kLabelSpeedP, kKffsP, kLabelAccP, kKffaP};
        if (S && fastLoop == 0.0) {
            ShowIds(speedSet, true);
            EnableIds(speedSet, true);
            ShowIds(positionRow, false);
        } else if (P && (pct == 0 || pct == 1) && fastLoop == 0.0) {
            ShowIds(positionRow, true);
            EnableIds(positionRow, true);
            ShowIds(speedSet, false);
        } else {
            ShowIds(speedSet, false);
            ShowIds(positionRow, false);
        }
    } else {
        ShowIds({kLabelSpeedS, kKffsS}, false);
    }

    EnableIds({kLabelMotorCurrent, kImaxProt, kImaxProtUnit, kLabelForMoreThanI, kTimeImaxProt, kTimeImaxProtUnit},
              Value("isOverCurrent") == 1.0);
    EnableIds({kLabelI2tCurrent, kI2tCurrent, kI2tCurrentUnit, kLabelI2tFor, kI2tTime, kI2tTimeUnit}, Value("isMotori2t") == 1.0);

    EnableChild(kPositionControlError, P);
    EnableIds({kLabelPositionError, kErrPosition, kErrPositionUnit, kLabelForMoreThanP, kTimeErrPos, kTimeErrPosUnit},
              P && TruncToInt32(Value("isPositionControlError")) != 0);
    EnableChild(kSpeedControlError, S);
    EnableIds({kLabelSpeedError, kErrSpeed, kErrSpeedUnit, kLabelForMoreThanS, kTimeErrSpd, kTimeErrSpdUnit},
              S && TruncToInt32(Value("isSpeedControlError")) != 0);

    const bool halls = TruncToInt32(Value("isHallsensors")) != 0;
    EnableChild(kTrapezoidal, halls);

    const bool angle = HasAngleController(m_setup) != 0;
    const int startMode = TruncToInt32(Value("StartMode"));
    EnableIds({kGroupStartMode, kStartAlign}, sin);
    EnableChild(kStartBldcHalls, sin && halls);
    EnableChild(kStartPmsmHalls, sin && halls && IsPmsmStartWithHalls(m_setup));
    EnableChild(kStartMotionless, sin && angle);
    EnableIds({kLabelStartCurrent, kStartCurrent, kStartCurrentUnit, kLabelTimeAB, kTimeAB, kTimeABUnit}, sin && startMode == 0);
    EnableChild(kTuneStart, sin && startMode == 2 && angle);

    EnableChild(kMotorOverTemp, m_setup->GetIntOption("DisableMotorTemperature") == 0 && Value("isMotorTemperatureSensor") == 1.0);
    EnableIds({kLabelVbrake, kVbrake, kVbrakeUnit}, !IsIntelligentMotor(m_setup) && TruncToInt32(Value("isBrakeResistor")) == 1);
    ShowIds({kLabelEnable, kEnableHigh, kEnableLow}, !HideEnablePolarity(m_setup));

    const bool hasSwls = HasSoftwareLimitSwitches(m_setup) != 0;
    EnableIds({kGroupSwls, kSwls}, hasSwls);
    EnableIds({kLabelNegativeSwls, kNegativeSwls, kNegativeSwlsUnit, kLabelPositiveSwls, kPositiveSwls, kPositiveSwlsUnit},
              hasSwls && TruncToInt32(Value("isSWLS")) == 1);

    EnableIds({kExtRefSetup, kAutoActivated}, TruncToInt32(Value("ExternalReference")) == 1);

    if (HasCanSettings(m_setup)) {
        EnableIds({kLabelBaudRate, rurorade::kCanBaudRateId}, Value("save_CAN_baudrate") == 1.0);
        EnableIds({kLabelAxisId, kAxisIdList}, Value("save_axis_id") == 1.0);
    } else {
        ShowIds({kSaveBaudRate, kSaveAxisId}, false);
    }
    SetDigitalReferenceLabel();
    RefreshAllParameters(0);
}

void CDriveSetupDlg::SetDigitalReferenceLabel()
{
    SetChildText(kLabelDigital, Value("DigitalReferenceType") == 0.0 ? "Pulse && Direction" : "Incremental Encoder");
}

void CDriveSetupDlg::SetInputHeaders(bool sink)
{
    SetChildText(kHeaderHigh, sink ? "Active high (Connected to +Vlog)" : "Active high (Open/No connection)");
    SetChildText(kHeaderLow, sink ? "Active low (Open/No connection)" : "Active low (Connected to GND)");
}

void CDriveSetupDlg::EnableIds(std::initializer_list<int> ids, bool enable)
{
    for (int id : ids) EnableChild(id, enable ? 1 : 0, 0);
}

void CDriveSetupDlg::ShowIds(std::initializer_list<int> ids, bool show)
{
    for (int id : ids) ShowChild(id, show ? 1 : 0);
}

void CDriveSetupDlg::OnChangedParameterValue(const char* name)
{
    if (SameName(name, "ControlMode")) {
        if (HasSpeedForward(m_setup)) ForceSpeedFeedforward(m_setup);
        if (TruncToInt32(Value("ControlMode")) != 0) {
            m_setup->SetParameterValueInBaseUnit("GEARMASTER", 1);
            m_setup->SetParameterValueInBaseUnit("GEARSLAVE", 1);
            m_setup->SetParameterValueInBaseUnit("isAnalogueReference", 1);
            RefreshAllParameters(0);
        }
    } else if (SameName(name, "StartMode")) {
        ApplyShowEnableRules();
    } else if (SameName(name, "ExternalReference")) {
        if (Value("ExternalReference") == 0.0) {
            m_setup->SetParameterValueInBaseUnit("isAutoActivatedAfterPowerOn", 0);
            RefreshParameterControls("isAutoActivatedAfterPowerOn");
        }
    } else if (SameName(name, "Negative_SWLS")) {
        if (Value("Negative_SWLS") > Value("Positive_SWLS"))
            m_setup->SetParameterValueInBaseUnit("Negative_SWLS", Value("Positive_SWLS"));
    } else if (SameName(name, "Positive_SWLS")) {
        if (Value("Negative_SWLS") > Value("Positive_SWLS"))
            m_setup->SetParameterValueInBaseUnit("Positive_SWLS", Value("Negative_SWLS"));
    }
    CMySetupDlg::OnChangedParameterValue(name);
}

void CDriveSetupDlg::OnRefreshParameterValue(const char* name)
{
    if (HasSpeedForward(m_setup)) ForceSpeedFeedforward(m_setup);
    if (SameName(name, "Vdc") || SameName(name, "Limit_Speed")) {
        encode::SATP(m_setup);
        decode::Limit_Speed(m_setup);
        ComputeParameterLimits(m_setup);
        RefreshAllParameters(0);
    } else if (SameName(name, "InputsPolarityType")) {
        // Inverting keeps the electrical level each input reacts to when the input type changes.
        for (const char* polarity : {"EnablePolarity", "LSNPolarity", "LSPPolarity"})
            if (CMC_Parameter* p = m_setup->FindParameter(polarity)) p->SetValueInBaseUnit(p->GetValueInBaseUnit() == 0.0 ? 1.0 : 0.0);
        SetInputHeaders(Value("InputsPolarityType") == 1.0);
        RefreshAllParameters(0);
    } else if (SameName(name, "StartCurrent")) {
        encode::REFTST(m_setup);
        encode::RINCTST(m_setup);
        decode::StartCurrent(m_setup);
        RefreshParameterControls("StartCurrent");
        if (Value("StartCurrent") > 100) {
            char text[400];
            std::snprintf(text, sizeof text,
                          "You have set a start current bigger than the nominal current! The start current will be applied "
                          "for %.2f s.\n\nThe motor must withstand this over current condition or it may be damaged.",
                          2 * Value("time_AB"));
            MessageBox(text, GetTitle(), rurorade::MB_OK);
        }
    }
    CMySetupDlg::OnRefreshParameterValue(name);
}

void CDriveSetupDlg::OnCommand(int id)
{
    for (int ruleId : kRuleClicks)
        if (ruleId == id) return ApplyShowEnableRules();
    switch (id) {
    case kHelp: {
        const std::string file = GetHelpFileOfGUI(m_setup);
        if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, kHelpContext);
        break;
    }
    case kMotorSetup:
        RunChildDialog([&] {
            CMotorSetupDialog dlg(m_setup);
            return dlg.DoModal();
        });
        break;
    case kDetect:
        RunChildDialog([&] {
            CTestVdcDetection test(m_setup, nullptr);
            return test.DoModal();
        });
        break;
    case kTuneCurrent:
        RunChildDialog([&] {
            return RunWithSinusoidalMode([&] {
                CTestCurrent test(m_setup, 1, nullptr);
                return test.DoModal();
            });
        });
        break;
    case kTuneSpeed:
        RunChildDialog(
            [&] {
                CTestSpeedTuning test(m_setup, 1, nullptr);
                return test.DoModal();
            },
            [&] { ComputeParameterLimits(m_setup); });
        break;
    case kTunePosition:
        RunChildDialog([&] {
            CTestPositionTuning test(m_setup, 1, nullptr);
            return test.DoModal();
        });
        break;
    case kTuneStart:
        RunChildDialog([&] {
            CTestAngle test(m_setup, 1, nullptr);
            return test.DoModal();
        });
        break;
    case kExtRefSetup:
        RunChildDialog(
            [&] {
                CAnalogReferenceDlg dlg(m_setup, nullptr);
                return dlg.DoModal();
            },
            [&] { ComputeParameterLimits(m_setup); });
        break;
    case kAdvanced:
        RunChildDialog(
            [&] {
                CAdvancedDialog dlg(m_setup, nullptr);
                return dlg.DoModal();
            },
            {},
            [&] {
                CAdvancedDialog::ClearUnusedFeedforward(m_setup);
                EncodeRegisters(m_setup);
                DecodeRegisters(m_setup);
                ApplyShowEnableRules();
            });
        break;
    case kDriveInfo:
        RunChildDialog(
            [&] {
                CDriveInfo dlg(m_setup, nullptr);
                return dlg.DoModal();
            },
            {},
            [&] {
                EncodeRegisters(m_setup);
                DecodeRegisters(m_setup);
                RefreshAllParameters(0);
            });
        break;
    default: break;
    }
}

void CDriveSetupDlg::OnSelChange(int id)
{
    if (id != kAxisIdList) return;
    const int selection = GetSelection(kAxisIdList);
    if (selection >= 127 && selection <= 254) MessageBox(kCanOpenAxisWarning, GetTitle(), rurorade::MB_OK);
}

void CDriveSetupDlg::OnShowWindow()
{
    if (!IsIntelligentMotor(m_setup)) SetTimer(kMotorSetupTimer, kMotorSetupDelayMs);
}

void CDriveSetupDlg::OnTimer(int id)
{
    if (id != kMotorSetupTimer) return;
    KillTimer(kMotorSetupTimer);
    CMotorSetupDialog dlg(m_setup);
    if (dlg.DoModal() != rurorade::IDOK) return;
    EncodeRegisters(m_setup);
    DecodeRegisters(m_setup);
    RefreshAllParameters(0);
    ApplyShowEnableRules();
}

void CDriveSetupDlg::OnOK()
{
    if (CMC_Parameter* axis = QuietFindParameter(m_setup, "Axis_ID_list")) {
        const CMC_Control* list = GetControl(kAxisIdList);
        // With nothing selected there is no text to store; the parameter keeps its value.
        if (list && list->selection >= 0 && list->selection < static_cast<int>(list->items.size())) {
            const std::string& text = list->items[static_cast<std::size_t>(list->selection)].first;
            if (text != std::to_string(TruncToInt32(axis->GetValueInBaseUnit())))
                axis->SetValueInBaseUnit(std::atoi(text.c_str()));
        }
    }
    EncodeRegisters(m_setup);
    SetControlStructureOptions(m_setup);
    EndDialog(rurorade::IDOK);
}

void CDriveSetupDlg::OnCancel() { EndDialog(rurorade::IDCANCEL); }
