#include "commissioning/hall_configuration_detection.h"

#include <cstdio>

#include "commissioning/hall_signals_check.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kPositioningProgram = "Initial_Positioning_Test";
const char* const kDetectionProgram = "Hall_Configuration_Detection_Test";
const char* const kSteps[] = {
    "Launching code for the preliminary test",
    "Running the preliminary test",
    "Launching code for the Hall configuration detection test",
    "Running the test",
};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// Step index on the ticks of each phase.
constexpr std::uint16_t kPreliminaryIndex = 2, kLaunchIndex = 3, kDetectionIndex = 4;

const char* const kErrNoCombination =
    "No valid combination was detected. Possibly, Hall signal(s) non functional.\nPlease do the Hall signals "
    "connection test. If the Hall signals connection test is OK, increase the test current and repeat the test.";

// THTST is the drive frame's angle; the phase diagram shows it turned by this much (65536 a turn).
constexpr std::int32_t kPhaseDiagramOffset = 19384;

std::string IntegerText(std::int64_t value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%lld", static_cast<long long>(value));
    return text;
}

}  // namespace

CTestHallConfiguration::CTestHallConfiguration(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_lines(TruncToInt32(setup->GetParameterValueInBaseUnit("No_encoder_lines")))
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
}

CTestHallConfiguration::~CTestHallConfiguration() = default;

std::int64_t CTestHallConfiguration::PositionCounterOf(std::int64_t increment, std::int32_t lines)
{
    if (lines <= 0) return increment;
    return increment % (4 * std::int64_t{lines});
}

double CTestHallConfiguration::PhaseAngleOf(std::int32_t thtst)
{
    return (thtst + kPhaseDiagramOffset) * 2 * kPi / 65536.0;
}

int CTestHallConfiguration::OnInitDialog()
{
    m_encoderDiagram.SubclassDlgItem(kEncoderDiagramId, this);
    m_encoderDiagram.EnableWindow(true);
    m_hallDiagram.SubclassDlgItem(kHallDiagramId, this);
    m_hallDiagram.EnableWindow(true);
    m_phaseDiagram.SubclassDlgItem(kPhaseDiagramId, this);
    m_phaseDiagram.EnableWindow(true);
    LoadProgram(m_detection, kDetectionProgram);
    LoadProgram(m_positioning, kPositioningProgram);
    return CMyTestDlg::OnInitDialog();
}

void CTestHallConfiguration::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    SetChildText(kPositionText, IntegerText(m_positionCounter).c_str());
    SetChildText(kConfigurationText, m_configurationText.c_str());
}

void CTestHallConfiguration::BeginTest()
{
    m_testCurrent = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    StartRun();
    SetChildText(kHallStateText, "");
    m_encoderDiagram.SetAngle(0.0);
    m_phaseDiagram.SetAngle(0.0);
    m_hallDiagram.ResetSlices();
    m_hallDiagram.Invalidate();
    m_positionCounter = 0;
    m_configurationText.clear();
    DoDataExchange(false);
    SetInfoText(kSteps[0]);
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_testCurrent)}}, nullptr, kSteps[1]);
}

void CTestHallConfiguration::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPreliminaryIndex:
        if (WaitForProgram(m_positioning, kErrorMask) == ProgramState::Ended) EndPreliminaryRun();
        return;
    case kLaunchIndex: return LaunchDetection();
    case kDetectionIndex: return WatchDetection();
    default: return Fail(msc_pszErrInternal);
    }
}

void CTestHallConfiguration::EndPreliminaryRun()
{
    double held = 0.0;
    if (!ReadProgramResult(m_positioning, "In1", held)) return;
    if (held == 0.0) return Fail(msc_pszErrInZero);
    if (!ReadDriveVariable("REFTST_V", true, m_reference) || !ReadDriveVariable("RINCTST_V", true, m_increment)) return;
    SetInfoText(kSteps[2]);
    LaunchDetection();
}

void CTestHallConfiguration::LaunchDetection()
{
    LaunchProgram(m_detection, kDetectionProgram,
                  {{"In1", static_cast<double>(m_testCurrent)}, {"RefTest", m_reference}, {"RIncTest", m_increment}},
                  nullptr, kSteps[3]);
}

void CTestHallConfiguration::ShowHallState(int state)
{
    if (const HallStateView* view = FindHallStateView(state)) {
        m_hallDiagram.SetSliceState(view->slice, CHallDiagram::Current);
        SetChildText(kHallStateText, view->text);
    }
    m_hallDiagram.Invalidate();
}

void CTestHallConfiguration::WatchDetection()
{
    double started = 0.0;
    if (!ReadProgramResult(m_detection, "STARTED", started)) return;
    if (started == 0.0) {
        if (CheckDriveErrors(kErrorMask, 1)) SetTimer(kTestTimer, kTickMs);
        return;
    }
    bool on = false;
    if (!GetAxisOn(on)) return FailWithHostReason();
    double state = 0.0;
    std::string reason;
    if (!GetUserVariableValue(&m_detection, "H123", state, reason) || state == kUnreadableValue)
        return Fail(msc_pszErrInternal);
    ShowHallState(TruncToInt32(state));
    if (on) return SetTimer(kTestTimer, kTickMs);
    EndDetection();
}

void CTestHallConfiguration::EndDetection()
{
    if (!CheckDriveErrors(kErrorMask, 1)) return;
    double increment = 0.0, thtst = 0.0, configuration = 0.0;
    if (!ReadDriveVariable("POSINC", true, increment) || !ReadDriveVariable("THTST", true, thtst) ||
        !ReadDriveVariable("HALLCASE", true, configuration))
        return;
    m_configuration = TruncToInt32(configuration);
    m_configurationText = IntegerText(m_configuration);
    m_positionCounter = PositionCounterOf(TruncToInt32(increment), m_lines);
    if (m_lines > 0) m_encoderDiagram.SetAngle(static_cast<double>(m_positionCounter) * kPi * 0.5 / m_lines);
    m_phaseDiagram.SetAngle(PhaseAngleOf(TruncToInt32(thtst)));
    DoDataExchange(false);
    if (m_configuration < kFirstConfiguration || m_configuration >= kConfigurationsEnd) return Fail(kErrNoCombination);

    double shift = 0.0;
    std::string reason;
    if (!GetUserVariableValue(&m_detection, "delta_el_pos", shift, reason) || shift == kUnreadableValue)
        return Fail(msc_pszErrInternal);
    m_shift = TruncToInt32(shift);
    // Only values the setup can keep are offered for saving.
    for (const char* name : {"HALLCASE", "HALL30"}) {
        if (m_setup->FindParameter(name) == nullptr)
            return Fail(std::string("The setup has no parameter \"") + name + "\" to keep the detected value in.");
    }
    if (!MeasuredWithinLimits(*m_setup->FindParameter("HALLCASE"), "Hall configuration", m_configuration) ||
        !MeasuredWithinLimits(*m_setup->FindParameter("HALL30"), "Hall sensors shift", m_shift))
        return;
    TestSucceeded(1);
}

void CTestHallConfiguration::OnCancel()
{
    if (m_nResult != 1) return CMyTestDlg::OnCancel();
    const double oldConfiguration = m_setup->GetParameterValueInBaseUnit("HALLCASE");
    const double oldShift = m_setup->GetParameterValueInBaseUnit("HALL30");
    if (oldConfiguration == m_configuration && oldShift == m_shift) return CMyTestDlg::OnCancel();
    const std::string lines =
        ChangedValueLine("Hall configuration", IntegerText(TruncToInt32(oldConfiguration)), IntegerText(m_configuration)) +
        ChangedValueLine("Hall sensors shift", IntegerText(TruncToInt32(oldShift)), IntegerText(m_shift));
    switch (AskToSaveNewValues(lines)) {
    case rurorade::IDYES:
        m_setup->SetParameterValueInBaseUnit("HALLCASE", m_configuration);
        m_setup->SetParameterValueInBaseUnit("HALL30", m_shift);
        return CMyTestDlg::OnOK();
    case rurorade::IDCANCEL: return;
    default: return CMyTestDlg::OnCancel();
    }
}

void CTestHallConfiguration::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
