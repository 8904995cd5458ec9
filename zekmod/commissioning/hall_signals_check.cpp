#include "commissioning/hall_signals_check.h"

#include <cstdio>

#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kProgram = "Hall_Signals_Connection_Test";
const char* const kSteps[] = {"Launching code for test", "Running test", "Test finished"};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// Step index while the program runs (texts 0 and 1 shown).
constexpr std::uint16_t kRunningIndex = 2;
// What the drive program reports once it has seen every state.
constexpr double kAllStates = 6.0;

const char* const kErrNoTransitions =
    "No transitions detected on one or more HALL signals. Check HALL sensor connectors and power supply.";
const char* const kErrMissedLevels = "The test did not detect all three HALL transitions.";

const HallStateView kViews[] = {
    {1, "001", 0}, {2, "010", 2}, {3, "011", 1}, {4, "100", 4}, {5, "101", 5}, {6, "110", 3},
};

}  // namespace

const HallStateView* FindHallStateView(int state)
{
    for (const HallStateView& view : kViews)
        if (view.state == state) return &view;
    return nullptr;
}

CTestHallSignals::CTestHallSignals(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_lines(TruncToInt32(setup->GetParameterValueInBaseUnit("No_encoder_lines")))
{
    m_nStepCount = kStepCount;
}

CTestHallSignals::~CTestHallSignals() = default;

int CTestHallSignals::OnInitDialog()
{
    m_encoderDiagram.SubclassDlgItem(kEncoderDiagramId, this);
    m_encoderDiagram.EnableWindow(true);
    m_hallDiagram.SubclassDlgItem(kHallDiagramId, this);
    m_hallDiagram.EnableWindow(true);
    m_phaseDiagram.SubclassDlgItem(kPhaseDiagramId, this);
    m_phaseDiagram.EnableWindow(false);
    LoadProgram(m_program, kProgram);
    return CMyTestDlg::OnInitDialog();
}

void CTestHallSignals::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    const int edits[] = {kHall1Edit, kHall2Edit, kHall3Edit};
    for (std::size_t i = 0; i < m_status.size(); ++i) SetChildText(edits[i], m_status[i].c_str());
}

void CTestHallSignals::BeginTest()
{
    StartRun();
    for (std::string& status : m_status) status.clear();
    m_seen.fill(0);
    // The state at rest is shown (and its levels counted) on the first poll of every run.
    m_lastHall = -1;
    m_hallDiagram.ResetSlices();
    m_hallDiagram.Invalidate();
    SetChildText(kHallStateText, "");
    m_encoderDiagram.SetAngle(0.0);
    DoDataExchange(false);
    SetInfoText(kSteps[0]);
    LaunchProgram(m_program, kProgram, {}, nullptr, kSteps[1]);
}

void CTestHallSignals::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    if (m_nStepIndex != kRunningIndex) return Fail(msc_pszErrInternal);
    Poll();
}

void CTestHallSignals::Poll()
{
    if (!CheckDriveErrors(kErrorMask, 1)) return;
    double position = 0.0, hall = 0.0;
    if (!ReadDriveVariable("APOS", true, position)) return;
    const std::int32_t counts = TruncToInt32(position);
    char text[32];
    std::snprintf(text, sizeof text, "%d", counts);
    SetChildText(kPositionText, text);
    // Four counts per encoder line; a setup without lines leaves the diagram where it is.
    if (m_lines > 0) m_encoderDiagram.SetAngle(counts * kPi / m_lines * 0.5);
    if (!ReadDriveVariable("HALL", true, hall)) return;
    ShowHallState(TruncToInt32(hall));
    SetTimer(kTestTimer, kTickMs);
}

void CTestHallSignals::ShowHallState(int state)
{
    if (state == m_lastHall) return;
    m_lastHall = state;
    m_hallDiagram.DemoteCurrentSlices();
    if (const HallStateView* view = FindHallStateView(state)) {
        // Hall1 is bit value 4, Hall3 bit value 1.
        for (int i = 0; i < 3; ++i) m_seen[static_cast<std::size_t>(i)] |= (state >> (2 - i)) & 1 ? 2 : 1;
        m_hallDiagram.SetSliceState(view->slice, CHallDiagram::Current);
        SetChildText(kHallStateText, view->text);
    }
    m_hallDiagram.Invalidate();
}

void CTestHallSignals::StopTest()
{
    KillTimer(kTestTimer);
    double states = 0.0, bad = 0.0;
    if (!ReadDriveVariable("var_i2", true, states)) return;
    if (!ReadProgramResult(m_program, "bad", bad)) return;
    bool missed = false;
    for (std::size_t i = 0; i < m_status.size(); ++i) {
        m_status[i] = m_seen[i] == 3 ? "OK" : "Bad";
        missed = missed || m_seen[i] != 3;
    }
    DoDataExchange(false);
    if (bad != 0.0 || states != kAllStates) return Fail(kErrNoTransitions);
    if (missed) return Fail(kErrMissedLevels);
    SetInfoText(m_nStepIndex < kStepCount ? kSteps[m_nStepIndex] : "");
    TestSucceeded(1);
    // Tells the drive program that the run is over.
    CMC_Variable* variable = m_setup->FindVariable("var_i2", 1);
    if (variable == nullptr) return Fail(msc_pszErrInternal);
    variable->SetValueInBaseUnit(1.0);
    if (!variable->WriteToChip()) {
        const rurorade::DriveLink* link = m_setup->GetDriveLink();
        const std::string reason = link ? link->GetLastErrorText() : "";
        Fail(reason.empty() ? std::string(msc_pszErrInternal) : reason);
    }
}

void CTestHallSignals::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
