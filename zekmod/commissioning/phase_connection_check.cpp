#include "commissioning/phase_connection_check.h"

#include <cmath>
#include <cstdio>

#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kTestProgram = "Motor_Phase_Connection_Test";
const char* const kPositioningProgram = "Initial_Positioning_Test";

const char* const kSteps[] = {
    "Launching the application for preliminary test",
    "Waiting preliminary test to be finished",
    "Launching the application for test",
    "Running test",
    "Finished test",
};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Step index on the tick that sees each run end, and that of a launch of the test program alone.
constexpr std::uint16_t kPositioningEnd = 2, kTestLaunch = 3, kTestEnd = 4;

const char* const kErrConnection =
    "Possible causes of failure:\n\t- one of the motor phases is disconnected\n\t- the motor phases are unbalanced "
    "(they do not have the same resistance)\n\t- the test current isn't high enough.\nPlease check the motor phase "
    "connections to the drive and repeat the test. If the test fails and the connections are OK, increase the test "
    "current value.";

// The bars show up to half as much again as the test current either way.
constexpr double kBarSpan = 1.5;

std::string Format3G(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.3G", value);
    return text;
}

}  // namespace

CTestPhaseConnections::CTestPhaseConnections(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_in1(TruncToInt32(setup->GetParameterValueInInternalUnit("TestCurrent")))
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
}

CTestPhaseConnections::~CTestPhaseConnections() = default;

double CTestPhaseConnections::TestCurrent() const { return m_in1 / CurrentScale(m_setup); }

void CTestPhaseConnections::SetBars(double ia, double ib)
{
    const double itest = TestCurrent();
    m_barA.SetRange(-kBarSpan * itest, kBarSpan * itest);
    m_barB.SetRange(-kBarSpan * itest, kBarSpan * itest);
    ShowBars(ia, ib);
}

void CTestPhaseConnections::ShowBars(double ia, double ib)
{
    m_barA.SetValue(ia);
    m_barB.SetValue(ib);
    m_barA.Repaint();
    m_barB.Repaint();
}

int CTestPhaseConnections::OnInitDialog()
{
    m_barA.SubclassDlgItem(kIABar, this);
    m_barB.SubclassDlgItem(kIBBar, this);
    SetBars(m_ia, m_ib);
    LoadProgram(m_test, kTestProgram);
    LoadProgram(m_positioning, kPositioningProgram);
    return CMyTestDlg::OnInitDialog();
}

void CTestPhaseConnections::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    m_barA.SetValue(m_ia);
    m_barB.SetValue(m_ib);
}

void CTestPhaseConnections::OnChangedParameterValue(const char* name)
{
    if (name != nullptr && std::string(name) == "TestCurrent")
        m_in1 = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestPhaseConnections::BeginTest()
{
    m_ia = m_ib = 0.0;
    SetChildText(kIAEdit, "");
    SetChildText(kIBEdit, "");
    SetBars(0.0, 0.0);
    StartRun();
    SetInfoText(kSteps[m_nStepIndex]);
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_in1)}}, nullptr,
                  kSteps[m_nStepIndex]);
}

void CTestPhaseConnections::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPositioningEnd:
        if (WaitForProgram(m_positioning, kErrorMask) == ProgramState::Ended) EndPreliminaryRun();
        return;
    case kTestLaunch: return LaunchTest();
    case kTestEnd:
        if (WaitForProgram(m_test, kErrorMask) == ProgramState::Ended) EndTestRun();
        return;
    default: return Fail(msc_pszErrInternal);
    }
}

void CTestPhaseConnections::EndPreliminaryRun()
{
    if (!EndPositioning(m_positioning, m_reference, m_increment)) return;
    SetInfoText(kSteps[m_nStepIndex]);
    LaunchTest();
}

void CTestPhaseConnections::LaunchTest()
{
    LaunchProgram(m_test, kTestProgram, {{"RefTest", m_reference}, {"RIncTest", m_increment}}, nullptr,
                  kSteps[m_nStepIndex]);
}

void CTestPhaseConnections::EndTestRun()
{
    double i1 = 0.0, i2 = 0.0;
    if (!ReadDriveVariable("var_i1", true, i1) || !ReadDriveVariable("var_i2", true, i2)) return;
    const double cs = CurrentScale(m_setup);
    m_ia = RoundDecimalValue(i1 / cs, 2);
    m_ib = RoundDecimalValue(i2 / cs, 2);
    SetChildText(kIAEdit, Format3G(m_ia).c_str());
    SetChildText(kIBEdit, Format3G(m_ib).c_str());
    SetInfoText(kSteps[m_nStepIndex]);
    if (!PhaseCurrentsPass(m_ia, m_ib, TestCurrent())) return Fail(kErrConnection);
    ShowBars(m_ia, m_ib);
    TestSucceeded(1);
}

bool CTestPhaseConnections::PhaseCurrentsPass(double ia, double ib, double itest)
{
    // IB is looked at first so that a dead phase B never divides by zero.
    if (ib == 0.0) return false;
    const double ratio = std::fabs(ia / ib);
    return ratio > 1.5 && ratio < 2.5 && ia > 0.6 * itest && ia < 1.4 * itest && ia > 0.0 && ib < 0.0;
}

void CTestPhaseConnections::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
