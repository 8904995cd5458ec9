#include "commissioning/encoder_resolution_detection.h"

#include <cstdlib>

#include "commissioning/encoder_connections_check.h"
#include "editor/my_setup_dlg.h"
#include "engine/encode_drive_config.h"
#include "engine/parameter_access.h"
#include "rurorade/numeric.h"

namespace {

const char* const kSteps[] = {
    "Launching code for the preliminary test",
    "Running preliminary test",
    "Launching code for the encoder resolution and direction test",
    "Waiting for the test to complete",
    "Processing test results",
    "Test finished",
};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Step index on the ticks of each phase.
constexpr std::uint16_t kPreliminaryIndex = 2, kLaunchIndex = 3, kTurningIndex = 4, kEvaluationIndex = 5;
// Polling while the motor turns, ms.
constexpr std::int64_t kTurningTickMs = 10;

// The text of the step about to be shown.
const char* StepText(std::uint16_t index) { return index < kStepCount ? kSteps[index] : ""; }

}  // namespace

using namespace encoder_test;

CDetectEncoderResolution::CDetectEncoderResolution(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_lines(TruncToInt32(setup->GetParameterValueInBaseUnit("No_encoder_lines")))
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
    AddParameterControls("pp", kPolePairsEdit, 0);
    if (HasReverseCounting(setup)) AddCheckParameterControls("ReverseCounting", kReverseCountingCheck);
}

CDetectEncoderResolution::~CDetectEncoderResolution() = default;

CDetectEncoderResolution::Outcome CDetectEncoderResolution::Evaluate(std::int32_t v, std::int64_t remainder,
                                                                     int smallestResolution)
{
    // A count below the smallest standard resolution is the jitter of a dead channel, not a turn.
    if (v > 0) return v < smallestResolution ? Outcome::NoMovement : Outcome::Success;
    if (remainder < smallestResolution || v == 0) return Outcome::NoMovement;
    return Outcome::WrongDirection;
}

int CDetectEncoderResolution::OnInitDialog()
{
    LoadProgram(m_program, kProgram);
    LoadProgram(m_positioning, kPositioningProgram);
    EnableChild(kReverseCountingCheck, HasReverseCounting(m_setup));
    const int result = CMyTestDlg::OnInitDialog();
    m_encoder.SubclassDlgItem(kEncoderDiagramId, this);
    m_halls.SubclassDlgItem(kHallDiagramId, this);
    m_phase.SubclassDlgItem(kPhaseDiagramId, this);
    m_encoder.EnableWindow(true);
    m_halls.EnableWindow(true);
    m_phase.EnableWindow(true);
    return result;
}

void CDetectEncoderResolution::BeginTest()
{
    for (int id : {kDetectedLinesEdit, kHallStateEdit, kPositionEdit}) SetChildText(id, "");
    m_encoder.SetAngle(0.0);
    m_halls.ResetSlices();
    m_halls.Invalidate();
    m_lastHall = -1;  // the state at the start is shown too
    m_testCurrent = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    StartRun();
    m_captureSent = false;
    // The remainder is taken modulo one revolution of the setup's encoder.
    if (m_lines < 1) return Fail(kErrNoLines);
    SetInfoText(StepText(0));
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_testCurrent)}}, nullptr,
                  StepText(1));
}

void CDetectEncoderResolution::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    // The check box may change during the run: the register follows it.
    if (HasReverseCounting(m_setup)) encode::COUNTINGDIR(m_setup);
    switch (m_nStepIndex) {
    case kPreliminaryIndex: return EndPreliminaryRun();
    case kLaunchIndex: return Launch();
    case kTurningIndex: return WatchTurningMotor();
    case kEvaluationIndex: return EvaluateRun();
    default: return Fail(msc_pszErrInternal);
    }
}

void CDetectEncoderResolution::EndPreliminaryRun()
{
    if (WaitForProgram(m_positioning, kErrorMask) != ProgramState::Ended) return;
    double result = 0.0;
    if (!ReadProgramResult(m_positioning, "In1", result)) return;
    if (result == 0.0) return Fail(msc_pszErrInZero);
    if (!ReadDriveVariable("REFTST_V", true, m_reference)) return;
    SetInfoText(StepText(m_nStepIndex));
    Launch();
}

void CDetectEncoderResolution::Launch()
{
    LaunchProgram(m_program, kProgram,
                  {{"RefTest", m_reference}, {"PolesPairs", m_setup->GetParameterValueInBaseUnit("pp")}}, nullptr,
                  StepText(m_nStepIndex));
}

void CDetectEncoderResolution::WatchTurningMotor()
{
    double value = 0.0;
    if (!ReadProgramResult(m_program, "STARTED", value)) return;
    if (value == 0.0) {
        if (CheckDriveErrors(kErrorMask, 1)) SetTimer(kTestTimer, kTickMs);
        return;
    }
    bool on = false;
    if (!GetAxisOn(on)) return Fail(msc_pszErrInternal);
    if (!on) {
        if (!CheckDriveErrors(kErrorMask, 1)) return;
        SetInfoText(StepText(m_nStepIndex));
        return SetTimer(kTestTimer, kTickMs);
    }
    double hall = 0.0;
    if (!ReadProgramResult(m_program, "H123", hall)) return;
    if (m_moved && !m_captureSent) {
        m_captureSent = true;
        std::string error;
        if (!ExecuteString(m_setup, kArmIndexCapture, error)) return Fail(error);
    }
    if (!ReadDriveVariable("CAPPOS", true, value)) return;
    SetChildText(kIndexEdit, IndexPositionText(TruncToInt32(value)).c_str());

    if (!ReadDriveVariable("var_lf_long", false, value)) return;
    const std::int32_t x = TruncToInt32(value);
    m_remainder = std::llabs(x % (4LL * m_lines));
    m_detectedLines = std::abs(m_resolution.FindBestResolution(x / 4));
    if (x != 0) m_moved = true;
    m_encoder.SetAngle(EncoderAngle(x, m_lines));
    SetChildText(kPositionEdit, std::to_string(x).c_str());

    if (!ReadDriveVariable("THTST", true, value)) return;
    m_phase.SetAngle((value + 16384) * 2 * kPi / 65536);

    UpdateHallDisplay(*this, m_halls, m_lastHall, TruncToInt32(hall), kHallStateEdit);
    SetTimer(kTestTimer, kTurningTickMs);
}

void CDetectEncoderResolution::EvaluateRun()
{
    SetInfoText(StepText(m_nStepIndex));
    double value = 0.0, hall = 0.0;
    if (!ReadDriveVariable("var_lf_long", true, value)) return;
    if (!GetUserVariableValue(&m_program, "H123", hall, m_strError)) return Fail(msc_pszErrInternal);
    const std::int32_t v = TruncToInt32(value);
    switch (Evaluate(v, m_remainder, m_resolution.GetResolution(0))) {
    case Outcome::NoMovement: return Fail(kErrNoMovement);
    case Outcome::WrongDirection: return Fail(kErrWrongDirection);
    case Outcome::Success: break;
    }
    CMC_Parameter* lines = m_setup->FindParameter("No_encoder_lines");
    if (lines == nullptr) return Fail(msc_pszErrInternal);
    if (!MeasuredWithinLimits(*lines, "encoder resolution", m_detectedLines)) return;
    SetChildText(kDetectedLinesEdit, std::to_string(m_detectedLines).c_str());
    TestSucceeded(1);
}

void CDetectEncoderResolution::OnCancel()
{
    const std::string oldText = std::to_string(TruncToInt32(m_setup->GetParameterValueInBaseUnit("No_encoder_lines")));
    const std::string newText = std::to_string(m_detectedLines);
    if (oldText == newText) return m_nResult == 1 ? CMyTestDlg::OnOK() : CMyTestDlg::OnCancel();
    if (m_nResult != 1) return CMyTestDlg::OnCancel();
    switch (AskToSaveNewValues(ChangedValueLine("Encoder resolution", oldText, newText))) {
    case rurorade::IDYES:
        m_setup->SetParameterValueInBaseUnit("No_encoder_lines", m_detectedLines);
        return CMyTestDlg::OnOK();
    case rurorade::IDNO: return CMyTestDlg::OnOK();
    default: return;  // stays open
    }
}

void CDetectEncoderResolution::OnChangedParameterValue(const char* name)
{
    CMyTestDlg::OnChangedParameterValue(name);
    if (SameName(name, "ReverseCounting") && HasReverseCounting(m_setup))
        m_reverseCounting = TruncToInt32(m_setup->GetParameterValueInInternalUnit("ReverseCounting"));
}

void CDetectEncoderResolution::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
