#include "editor/motor_setup_dlg.h"

#include <algorithm>
#include <cmath>

#include "commissioning/encoder_connections_check.h"
#include "commissioning/encoder_resolution_detection.h"
#include "commissioning/hall_configuration_detection.h"
#include "commissioning/hall_signals_check.h"
#include "commissioning/my_test_dlg.h"
#include "commissioning/phase_connection_check.h"
#include "commissioning/pole_pairs_detection.h"
#include "commissioning/rl_identification.h"
#include "engine/decode_drive_config.h"
#include "engine/derived_quantities.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"
#include "resources/motor_setup_ids.h"
#include "rurorade/numeric.h"

using namespace motor_setup;

namespace {

const char* const kGuideSteps[] = {
    "Step 1. Select your motor from a database. If your motor does not exist in any database, proceed through all the "
    "next steps in order to define your motor and sensors data. In either case, use the tests from the next steps to "
    "verify/detect the motor and sensors parameters and operation.",
    "Step 2. Check the values for nominal and peak currents. Press the <<Test Phase Connections>> button to verify "
    "that your motor phases are well connected to the drive.",
    "Step 3. Check the number of motor pole pairs. Press the <<Detect Number of Pole Pairs>> button to autodetect this "
    "value.",
    "Step 4. Check the torque constant value.",
    "Step 5. Check the resistance and inductance values. Press the <<Identify Resistance and Inductance>> button to "
    "autodetect these parameters.",
    "Step 6. Check the value of the motor inertia. If you don't know this value, check the <<Motor inertia is "
    "unknown>> checkbox.",
    "Step 7. Use the <<Test Connections>> button in order to verify the operation of the A and B encoder signals. "
    "Check the value of the <<No. of lines/rev>> parameter giving the encoder resolution. Press the <<Detect Number "
    "of Lines>> button to automatically detect this value.",
    "Step 8.\tCheck the <<Hall Sensors>> checkbox if Hall sensors are mounted on your motor. Use the <<Test "
    "Connections>> button in order to verify the operation of the 3 Hall sensor inputs. Press the <<Detect Hall "
    "Configuration>> button to automatically detect the commutation sequence (Hall Configuration).",
    "Step 9. In <<Transmission to load>> select the transmission type and the ratio by setting the correspondance "
    "between the motor and load displacements.",
    "Step 10. If you want to save your motor data, select the USER database, and then press the <<Save As>> button.",
    nullptr,
};

const char* const kLimitSwitchAdvice =
    "When there is only a position sensor on the motor and the load moves in opposite direction (i.e. transmission "
    "is negative), the h/w limit switches connections need to be reversed. \n\nConnect positive limit switch sensor "
    "to drive's LSN input and negative limit switch sensor to drive's LSP input.";

constexpr int kHelpContext = 262407;
constexpr double kOneTurn = 6.283185307179586;  // rad

const char* const kEncoderFilters[] = {"1/3", "1/6", "1/12", "1/18", "1/24", "1/30", "1/36",
                                       "1/42", "1/48", "1/54", "1/60", "1/66", "1/72"};

// Controls enabled exactly when the motor data may be edited.
constexpr int kMotorDataControls[] = {
    kDatabase, kMotor, kSaveMotor, kDeleteMotor, kMotorEditorOk, kDetectPolePairs, kIdentifyRL, kDetectLines,
    kNominalCurrent, kNominalCurrentUnit, kPeakCurrent, kPeakCurrentUnit, kPolePairs, kTorqueConstant,
    kTorqueConstantUnit, kResistance, kResistanceUnit, kInductance, kInductanceUnit, kInertiaUnknown, kStar, kDelta,
    kEncoderLines, kEncoderLinesUnit, kHallSensors, kTemperature};
constexpr int kBrakeControls[] = {kBrakeOutput, kBrakeText, kBrakeReleaseLabel, kBrakeRelease, kBrakeReleaseUnit,
                                  kBrakeApplyLabel, kBrakeApply, kBrakeApplyUnit};
constexpr const char* kRuleParameters[] = {"isMotorInertiaUnknown", "isMotorTemperatureSensor", "isHallsensors",
                                           "isFilterEnc", "isMotorBrake", "ReverseCounting", "MotorBrake_output",
                                           "Motor_transmission", "Load_transmission"};

}  // namespace

CMotorSetupDialog::CMotorSetupDialog(CMC_Setup* setup, void* parent)
    : CMySetupDlg(setup, 108, 1, kGuideSteps, parent), m_editable(!IsIntelligentMotor(setup))
{
    AddParameterControls("In", kNominalCurrent, kNominalCurrentUnit);
    AddParameterControls("ImaxM", kPeakCurrent, kPeakCurrentUnit);
    AddParameterControls("pp", kPolePairs, 0);
    AddParameterControls("K", kTorqueConstant, kTorqueConstantUnit);
    AddParameterControls("R", kResistance, kResistanceUnit);
    AddParameterControls("L", kInductance, kInductanceUnit);
    AddParameterControls("Jm", kInertia, kInertiaUnit);
    AddCheckParameterControls("isMotorInertiaUnknown", kInertiaUnknown);
    AddSwitchParameterControls("MotorPhaseConnectionType", kStar, kDelta);
    AddParameterControls("No_encoder_lines", kEncoderLines, kEncoderLinesUnit);
    AddSwitchParameterControls("HALLCASE", kHallCase);
    AddCheckParameterControls("isHallsensors", kHallSensors);
    AddCheckParameterControls("isMotorTemperatureSensor", kTemperature);
    AddSwitchParameterControls("Motor_TempSensor_Type", kNtc, kPtc);
    if (HasEncoderFilter(setup)) {
        AddSwitchParameterControls("FilterEncValue", kEncoderFilter);
        AddCheckParameterControls("isFilterEnc", kUseEncoderFilter);
    }
    if (HasReverseCounting(setup)) AddCheckParameterControls("ReverseCounting", kReverseCounting);
    AddSwitchParameterControls("TransmissionType", kRotaryToRotary, kRotaryToLinear);
    AddParameterControls("Motor_transmission", kMotorTransmission, kMotorTransmissionUnit);
    AddParameterControls("Load_transmission", kLoadTransmission, kLoadTransmissionUnit);
    if (HasMotorBrake(setup)) {
        AddCheckParameterControls("isMotorBrake", kBrake);
        AddSwitchParameterControls("MotorBrake_output", kBrakeOutput);
        AddParameterControls("MotorBrake_releasetime", kBrakeRelease, kBrakeReleaseUnit);
        AddParameterControls("MotorBrake_applytime", kBrakeApply, kBrakeApplyUnit);
    }
    InitializeMotorEditor();
}

bool CMotorSetupDialog::MayEdit() const { return !IsIntelligentMotor(m_setup) || m_editable; }

double CMotorSetupDialog::Value(const char* name) const
{
    CMC_Parameter* p = QuietFindParameter(m_setup, name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

int CMotorSetupDialog::OnInitDialog()
{
    CMySetupDlg::OnInitDialog();
    SetButtonImage(rurorade::IDOK, "TO_DRIVESETUP");
    SetButtonImage(kSwitchLimitSwitches, "WARN_SWITCH_HW_LS");
    ShowChild(kSwitchLimitSwitches, 0);
    FillHallList();
    const bool filter = HasEncoderFilter(m_setup) != 0;
    EnableChild(kUseEncoderFilter, filter);
    EnableChild(kEncoderFilter, filter && Value("isFilterEnc") == 1.0);
    EnableChild(kSingleEndedNote, filter && MayEdit());
    EnableChild(kBandwidthNote, filter && MayEdit());
    if (filter) FillEncoderFilterList();
    EnableChild(kReverseCounting, HasReverseCounting(m_setup));
    SetUpBrake();
    SetButtonImage(kPicture, "3066");
    DoDataExchange(false);
    return 1;
}

void CMotorSetupDialog::FillHallList()
{
    CMC_Parameter* hallCase = QuietFindParameter(m_setup, "HALLCASE");
    if (hallCase == nullptr) return;
    ResetItems(kHallCase);
    // The drive knows configurations 2 to 13; limits beyond that offer no more.
    const int first = std::max(2, TruncToInt32(hallCase->GetMinInBaseUnit()));
    const int last = std::min(13, TruncToInt32(hallCase->GetMaxInBaseUnit()));
    for (int n = first; n <= last; ++n) AddItem(kHallCase, std::to_string(n), n);
    RefreshParameterControls("HALLCASE");
}

void CMotorSetupDialog::FillEncoderFilterList()
{
    ResetItems(kEncoderFilter);
    for (int i = 0; i < 13; ++i) AddItem(kEncoderFilter, kEncoderFilters[i], i);
    RefreshParameterControls("FilterEncValue");
}

void CMotorSetupDialog::SetUpBrake()
{
    const bool usable = HasMotorBrake(m_setup) && m_setup->GetNumberOfBrakeOutputs() > 0;
    EnableChild(kBrakeBox, usable);
    EnableChild(kBrake, usable);
    for (int id : kBrakeControls) EnableChild(id, usable);
    if (!HasMotorBrake(m_setup)) return;
    m_setup->FillIOBrakeCombo(*this, kBrakeOutput, usable ? TruncToInt32(Value("MotorBrake_output")) : 0);
    RefreshParameterControls("MotorBrake_output");
}

void CMotorSetupDialog::ShowBrakeText()
{
    CMC_Parameter* output = QuietFindParameter(m_setup, "MotorBrake_output");
    const int port = output ? TruncToInt32(output->GetValueInInternalUnit()) : 0;
    const bool npn = (m_setup->IsBrakePortEnable(port) & 0x30) == 0x10;
    const bool inverted = m_setup->IsIOMC3PortInverted(port) != 0;
    std::string text = "Motor brake is applied when ";
    text += npn == inverted ? "NPN (sink) output is connected to GND." : "PNP (source) output is connected to +Vlog.";
    SetChildText(kBrakeText, text.c_str());
}

void CMotorSetupDialog::DoDataExchange(bool saveAndValidate)
{
    CMySetupDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    const bool m = MayEdit();
    for (int id : kMotorDataControls) EnableChild(id, m);
    const bool inertiaKnown = TruncToInt32(Value("isMotorInertiaUnknown")) == 0;
    EnableChild(kInertia, m && inertiaKnown);
    EnableChild(kInertiaUnit, m && inertiaKnown);
    EnableChild(kInertiaLabel, inertiaKnown);
    const bool hall = TruncToInt32(Value("isHallsensors")) == 1;
    for (int id : {kHallCase, kTestHalls, kDetectHallCase}) EnableChild(id, m && hall);
    EnableChild(kHallCaseLabel, hall);
    const bool temperature = TruncToInt32(Value("isMotorTemperatureSensor")) == 1;
    EnableChild(kSensorTypeLabel, temperature);
    EnableChild(kNtc, m && temperature);
    EnableChild(kPtc, m && temperature);
    const bool filter = HasEncoderFilter(m_setup) != 0;
    if (filter) {
        EnableChild(kEncoderFilter, m && Value("isFilterEnc") == 1.0);
        EnableChild(kUseEncoderFilter, m);
    }
    EnableChild(kSingleEndedNote, m && filter);
    EnableChild(kBandwidthNote, m && filter);
    EnableChild(kReverseCounting, m && HasReverseCounting(m_setup));
    if (HasMotorBrake(m_setup)) {
        const bool on = Value("isMotorBrake") == 1.0;
        for (int id : kBrakeControls) EnableChild(id, on);
        ShowBrakeText();
    }
    if (!HasNegativeTransmission(m_setup)) {
        const double ratio = Value("Motor_transmission") / Value("Load_transmission");
        ShowChild(kSwitchLimitSwitches, ratio < 0);
    }
}

void CMotorSetupDialog::OnChangedParameterValue(const char* name)
{
    CMySetupDlg::OnChangedParameterValue(name);
    for (const char* rule : kRuleParameters)
        if (SameName(name, rule)) return DoDataExchange(false);
    if (SameName(name, "TransmissionType")) {
        ApplyTransmissionUnits(m_setup);
        RefreshParameterControls("Load_transmission");
    }
}

void CMotorSetupDialog::OnRefreshParameterValue(const char* name)
{
    CMySetupDlg::OnRefreshParameterValue(name);
    for (const char* transmission : {"Motor_transmission", "Load_transmission"}) {
        if (!SameName(name, transmission)) continue;
        CMC_Parameter* p = QuietFindParameter(m_setup, transmission);
        if (p == nullptr || p->GetValueInBaseUnit() != 0.0) return;
        // A zero transmission would divide every load quantity by zero: one revolution instead.
        p->SetValueInBaseUnit(kOneTurn);
        RefreshParameterControls(transmission);
        DoDataExchange(false);
        return;
    }
}

void CMotorSetupDialog::OnOK()
{
    if (CMC_Parameter* sensor = QuietFindParameter(m_setup, "isMotorTemperatureSensor");
        sensor && sensor->GetValueInBaseUnit() == 0.0)
        if (CMC_Parameter* overTemp = QuietFindParameter(m_setup, "isMotorOverTemp")) overTemp->SetValueInBaseUnit(0);
    if (TruncToInt32(Value("isHallsensors")) == 0) {
        // Without Halls the drive can neither commutate trapezoidally nor start on them.
        CMC_Parameter* commutation = QuietFindParameter(m_setup, "CommutationMethod");
        if (commutation && TruncToInt32(commutation->GetValueInBaseUnit()) == 0) commutation->SetValueInBaseUnit(1);
        CMC_Parameter* start = QuietFindParameter(m_setup, "StartMode");
        if (start && (TruncToInt32(start->GetValueInBaseUnit()) == 1 || TruncToInt32(start->GetValueInBaseUnit()) == 3))
            start->SetValueInBaseUnit(0);
    }
    CMySetupDlg::OnOK();
}

void CMotorSetupDialog::OnKeyChord()
{
    m_editable = !m_editable;
    DoDataExchange(false);
}

void CMotorSetupDialog::OnCommand(int id)
{
    switch (id) {
    case kSwitchLimitSwitches: MessageBox(kLimitSwitchAdvice, GetTitle(), rurorade::MB_OK); break;
    case kHelp: {
        const std::string file = GetHelpFileOfGUI(m_setup);
        if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, kHelpContext);
        break;
    }
    case kMotorEditorOk: OnOK(); break;
    case kIdentifyRL: OpenRlIdentification(); break;
    case kTestPhases: OpenTest<CTestPhaseConnections>(); break;
    case kTestEncoder: OpenTest<CTestEncoderConnections>(); break;
    case kTestHalls: OpenTest<CTestHallSignals>(); break;
    case kDetectHallCase: OpenTest<CTestHallConfiguration>(); break;
    case kDetectPolePairs:
        OpenTest<CDetectPolePairs>([&] {
            EncodeRegisters(m_setup);
            DecodeRegisters(m_setup);
            OnRefreshParameterValue("pp");
            RefreshParameterControls("pp");
        });
        break;
    case kDetectLines: OpenLinesDetection(); break;
    default: CMySetupDlg::OnCommand(id); break;
    }
}

template <class Test>
void CMotorSetupDialog::OpenTest(const std::function<void()>& onOk)
{
    RunChildDialog(
        [&] {
            Test test(m_setup, nullptr);
            return test.DoModal();
        },
        {}, onOk);
}

void CMotorSetupDialog::OpenLinesDetection()
{
    int reverseChoice = -1;
    const int result = RunChildDialog(
        [&] {
            CDetectEncoderResolution test(m_setup, nullptr);
            const int r = test.DoModal();
            reverseChoice = test.ReverseCountingChoice();
            return r;
        },
        {},
        [&] {
            if (QuietFindParameter(m_setup, "ReverseCounting")) RefreshParameterControls("ReverseCounting");
            EncodeRegisters(m_setup);
            DecodeRegisters(m_setup);
            OnRefreshParameterValue("No_encoder_lines");
            RefreshParameterControls("No_encoder_lines");
        });
    // A counting direction chosen inside the test is kept even when the test ends with Cancel.
    CMC_Parameter* reverse = QuietFindParameter(m_setup, "ReverseCounting");
    if (result != rurorade::IDOK && reverse && reverseChoice >= 0) {
        reverse->SetValueInBaseUnit(reverseChoice);
        RefreshParameterControls("ReverseCounting");
    }
}

void CMotorSetupDialog::OpenRlIdentification()
{
    RunChildDialog(
        [&] {
            // The voltage command scale takes its sinusoidal form while the test is open.
            return RunWithSinusoidalMode([&] {
                CTestRL test(m_setup, nullptr);
                return test.DoModal();
            });
        },
        {},
        [&] {
            EncodeRegisters(m_setup);
            DecodeRegisters(m_setup);
            for (const char* name : {"R", "L"}) {
                OnRefreshParameterValue(name);
                RefreshParameterControls(name);
            }
        });
}
