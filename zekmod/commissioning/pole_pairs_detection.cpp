#include "commissioning/pole_pairs_detection.h"

#include <cstdio>
#include <string>

#include "rurorade/numeric.h"

namespace {

const char* const kTestProgram = "Motor_Pole_Pairs_Detection_Test";
const char* const kPositioningProgram = "Initial_Positioning_Test";

const char* const kSteps[] = {
    "Launching the application for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching the application for test",
    "Waiting for user input",
    "Running test",
};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Step index of each tick: the preliminary run ending, a launch of the detection program alone,
// waiting for it to switch the motor on, and waiting for it to end after Stop.
constexpr std::uint16_t kPositioningEnd = 2, kTestLaunch = 3, kTestStart = 4, kTestEnd = 5;
// Poll of "Stop": the first look comes at once.
constexpr std::int64_t kStopTickMs = 1;

const char* const kErrProgramStopped = "The drive program stopped before the motor had made the electrical revolution.";
const char* const kErrRevolutionTimeout =
    "The drive did not complete the electrical revolution within 10 s. Check the motor connections and repeat the "
    "test.";

}  // namespace

CDetectPolePairs::CDetectPolePairs(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_oldPolePairs(TruncToInt32(setup->GetParameterValueInBaseUnit("pp")))
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
}

CDetectPolePairs::~CDetectPolePairs() = default;

int CDetectPolePairs::OnInitDialog()
{
    LoadProgram(m_test, kTestProgram);
    LoadProgram(m_positioning, kPositioningProgram);
    return CMyTestDlg::OnInitDialog();
}

void CDetectPolePairs::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (!m_bTestRunning) m_moveShown = m_moveShownWaiting = false;
    ShowChild(kMoveButton, m_moveShown ? 1 : 0);
    EnableChild(kMoveButton, m_moveEnabled ? 1 : 0);
}

void CDetectPolePairs::BeginTest()
{
    StartRun();
    // A run that failed during a move must not leave its flags to this one.
    m_moved = false;
    m_moveEnabled = true;
    SetInfoText(kSteps[m_nStepIndex]);
    SetChildText(kPolePairsEdit, "");
    m_in1 = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_in1)}}, nullptr,
                  kSteps[m_nStepIndex]);
}

void CDetectPolePairs::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPositioningEnd:
        if (WaitForProgram(m_positioning, kErrorMask) == ProgramState::Ended) EndPreliminaryRun();
        return;
    case kTestLaunch: return LaunchTest();
    case kTestStart: return WaitForStart();
    case kTestEnd:
        if (WaitForProgram(m_test, kErrorMask) == ProgramState::Ended) EndRun();
        return;
    default: return Fail(msc_pszErrInternal);
    }
}

void CDetectPolePairs::EndPreliminaryRun()
{
    if (!EndPositioning(m_positioning, m_reference, m_increment)) return;
    SetInfoText(kSteps[m_nStepIndex]);
    LaunchTest();
}

void CDetectPolePairs::LaunchTest()
{
    if (!LaunchProgram(m_test, kTestProgram, {{"RefTest", m_reference}, {"RIncTest", m_increment}}, nullptr,
                       kSteps[m_nStepIndex]))
        return;
    // The first look at the program is taken at once, as on a tick.
    KillTimer(kTestTimer);
    WaitForStart();
}

void CDetectPolePairs::WaitForStart()
{
    double started = 0.0;
    bool on = false;
    // A drive that cannot tell whether the program runs has lost its connection (the host has no
    // reset of its drive connection to offer yet).
    if (!GetUserVariableValue(&m_test, "STARTED", started, m_strError) || started == kUnreadableValue ||
        (started != 0.0 && !GetAxisOn(on)))
        return Fail(msc_pszErrInternal);
    if (started == 0.0 || !on) {
        if (!CheckDriveErrors(kErrorMask, 1)) return;
        SetTimer(kTestTimer, kTickMs);
        return;
    }
    m_moveShown = m_moveShownWaiting = true;
    DoDataExchange(false);
}

int CDetectPolePairs::WriteRequest(double value)
{
    CMC_Variable* request = m_setup->FindVariable("var_i2", 1);
    if (request == nullptr) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    request->SetValueInBaseUnit(value);
    if (!request->WriteToChip()) {
        const rurorade::DriveLink* link = m_setup->GetDriveLink();
        const std::string text = link ? link->GetLastErrorText() : "";
        Fail(text.empty() ? std::string(msc_pszErrInternal) : text);
        return 0;
    }
    return 1;
}

void CDetectPolePairs::Move()
{
    if (!m_bTestRunning || !m_moveShown || !m_moveEnabled) return;
    if (!WriteRequest(0.0)) return;
    m_moved = true;
    CMC_Variable* angle = m_setup->FindVariable("THTST", 1);
    if (angle == nullptr) return Fail(msc_pszErrInternal);
    m_moveEnabled = false;
    DoDataExchange(false);
    const bool ended = WaitForRevolution(*angle);
    // A failed revolution must not leave the motor powered by a program nobody watches.
    if (!ended && m_nResult == 0)
        if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
    // Also after a failure: the next run must find Move usable.
    m_moveEnabled = true;
    DoDataExchange(false);
    if (!ended) return;
    double count = 0.0;
    if (!ReadProgramResult(m_test, "poles_pairs", count)) return;
    char text[16];
    std::snprintf(text, sizeof text, "%d", TruncToInt32(count));
    SetChildText(kPolePairsEdit, text);
}

bool CDetectPolePairs::WaitForRevolution(CMC_Variable& angle)
{
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    const std::int64_t deadline = ui.GetClock().NowMs() + kRevolutionTimeoutMs;
    for (;;) {
        // Pending messages and one poll interval first: a drive that answers at once has had no
        // time yet to begin the revolution.
        ui.RunFor(kTickMs);
        PumpMessages();
        // Stopped, failed or closed meanwhile.
        if (!m_bTestRunning || !m_moved || !IsOpen() || IsEnding()) return false;
        if (!angle.ReadFromChip()) {
            Fail(msc_pszErrInternal);
            return false;
        }
        // A program that has stopped leaves the angle where it was, maybe at the end angle.
        bool on = false;
        if (!GetAxisOn(on)) {
            FailWithHostReason();
            return false;
        }
        if (!on) {
            if (CheckDriveErrors(kErrorMask, 1)) Fail(kErrProgramStopped);
            return false;
        }
        // The angle is the drive's integer word; its conversion to and from radians is not exact.
        if (TG_Round(angle.GetValueInInternalUnit()) == kRevolutionEnd) return true;
        if (ui.GetClock().NowMs() >= deadline) {
            Fail(kErrRevolutionTimeout);
            return false;
        }
    }
}

void CDetectPolePairs::Stop()
{
    m_moveShown = m_moveShownWaiting = false;
    m_moved = false;
    DoDataExchange(false);
    if (!WriteRequest(1.0)) return;
    SetInfoText(kSteps[m_nStepIndex]);
    SetTimer(kTestTimer, kStopTickMs);
}

void CDetectPolePairs::EndRun()
{
    double count = 0.0;
    if (!ReadDriveVariable("var_i2", false, count)) return;
    // Written as "not at least" so that a NaN fails too.
    if (!(count >= 1.0)) return Fail(msc_pszErrInternal);
    CMC_Parameter* pp = m_setup->FindParameter("pp");
    if (pp == nullptr) return Fail(msc_pszErrInternal);
    // Pole pairs are a whole number.
    const double polePairs = TruncToInt32(count);
    if (!MeasuredWithinLimits(*pp, "number of pole pairs", polePairs)) return;
    pp->SetValueInBaseUnit(polePairs);
    m_moveShown = m_moveShownWaiting = false;
    m_moved = false;
    TestSucceeded(1);
}

void CDetectPolePairs::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    if (id == kMoveButton) return Move();
    if (id == kStartStopId) {
        if (m_bTestRunning && m_moved) return Stop();
        OnBtnStartStop();
        DoDataExchange(false);
        return;
    }
    CMyTestDlg::OnCommand(id);
}

void CDetectPolePairs::OnCancel()
{
    const std::int32_t polePairs = TruncToInt32(m_setup->GetParameterValueInBaseUnit("pp"));
    if (m_nResult == 1 && polePairs != m_oldPolePairs) {
        switch (AskToSaveNewValues(
            ChangedValueLine("Pole Pairs", std::to_string(m_oldPolePairs), std::to_string(polePairs)))) {
        case rurorade::IDYES: return CMyTestDlg::OnOK();
        case rurorade::IDCANCEL: return;
        default: m_setup->SetParameterValueInBaseUnit("pp", m_oldPolePairs); break;
        }
    }
    CMyTestDlg::OnCancel();
}
