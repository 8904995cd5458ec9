#include "commissioning/inertia_identification.h"

#include <cmath>
#include <string>

#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kPositioningProgram = "Initial_Positioning_Test";
const char* const kIdentificationProgram = "Total_Inertia_Identification_Test";

const char* const kSteps[] = {"Launching code for preliminary test", "Waiting preliminary test to be finished",
                              "Launching code for J test", "Waiting J test to be finished"};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Step index on the tick that sees each run end, and on a tick that only has to launch.
constexpr std::uint16_t kPositioningEnd = 2, kLaunchIndex = 3, kIdentificationEnd = 4;

const char* const kProtectionBelowTest = "I protection must be greater or equal to Test current.";

// Codes of "delta_time" that tell why no time was measured.
constexpr double kNegativeSpeed = -1, kZeroSpeed = -2;

}  // namespace

const char* const CTotalInertiaTest::kNegativeSpeedText =
    "When a POSITIVE torque level is applied to the motor, the measured speed is NEGATIVE.\n"
    "Possible causes of failure:\n"
    "\t\tThe current controller is not tuned;\n"
    "\t\tThe encoder signals are reversed;\n"
    "\t\tCheck the current controller tuning;\n"
    "\t\tUse the test <<Detect number of lines>> to verify the encoder counting direction;\n"
    "\t\tCheck if the motor nominal current was correctly set.";
const char* const CTotalInertiaTest::kZeroSpeedText =
    "When trying to apply POSITIVE torque to the motor, the measured speed is ZERO, or the reference torque cannot be "
    "reached!\n"
    "Possible causes of failure:\n"
    "\t\tThe current controller is not tuned;\n"
    "\t\tThe encoder signals are missing;\n"
    "\t\tThe DC voltage level is not high enough;\n"
    "\t\tCheck the current controller tuning;\n"
    "\t\tUse the encoder <<Test connections>> to verify presence of the encoder signals\n"
    "\t\tCheck if the motor nominal current was correctly set.\n"
    "\t\tTry to decrease the test current.";
const char* const CTotalInertiaTest::kSpeedNotReachedText =
    "The motor does not reach the programmed speed level!\n"
    "You may have a problem with the encoder or the initial positioning is not performed correctly. Check the "
    "encoder and motor connections. If these are OK, try to increase the test current.";

CTotalInertiaTest::CTotalInertiaTest(CMC_Setup* setup, void* parent) : CMyTestDlg(setup, kTemplateId, 1, parent)
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestMaxSpeed", kMaxSpeedEdit, kMaxSpeedUnit);
    AddParameterControls("Jt", kJtEdit, kJtUnit);
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
    AddParameterControls("TestProtectionCurrent", kProtectionEdit, kProtectionUnit);
}

CTotalInertiaTest::~CTotalInertiaTest() = default;

int CTotalInertiaTest::OnInitDialog()
{
    const int result = CMyTestDlg::OnInitDialog();
    SetChildText(kJtEdit, "");
    SetChildText(kJtUnit, "");
    LoadProgram(m_positioning, kPositioningProgram);
    LoadProgram(m_identification, kIdentificationProgram);
    m_jtAtOpening = m_setup->GetParameterValueInBaseUnit("Jt");
    return result;
}

void CTotalInertiaTest::BeginTest()
{
    RefreshAllParameters(0);
    SetChildText(kJtEdit, "");
    SetChildText(kJtUnit, "");
    m_in1 = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    StartRun();
    SetInfoText(kSteps[0]);
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_in1)}}, nullptr, kSteps[1]);
}

void CTotalInertiaTest::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPositioningEnd:
        if (WaitForProgram(m_positioning, kPositioningMask) == ProgramState::Ended) EndPositioningRun();
        return;
    case kLaunchIndex: return LaunchIdentification();
    case kIdentificationEnd:
        if (WaitForProgram(m_identification, kIdentificationMask) == ProgramState::Ended) Evaluate();
        return;
    default:
        // A run in no known step would otherwise wait for ever with its timer gone.
        return Fail(msc_pszErrInternal);
    }
}

void CTotalInertiaTest::EndPositioningRun()
{
    if (!EndPositioning(m_positioning, m_reference, m_increment)) return;
    SetInfoText(kSteps[2]);
    LaunchIdentification();
}

void CTotalInertiaTest::LaunchIdentification()
{
    const double limitSpeed = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestMaxSpeed"));
    const double protection = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestProtectionCurrent"));
    LaunchProgram(m_identification, kIdentificationProgram,
                  {{"RefTest", m_reference},
                   {"RIncTest", m_increment},
                   {"In1", static_cast<double>(m_in1)},
                   {"LimitSpeedMax", limitSpeed},
                   {"Imax_Prot_Test", protection}},
                  nullptr, kSteps[3]);
}

void CTotalInertiaTest::Evaluate()
{
    double flag = 0.0, samples = 0.0, speedChange = 0.0;
    if (!ReadProgramResult(m_identification, "test_flag", flag) ||
        !ReadProgramResult(m_identification, "delta_time", samples) ||
        !ReadProgramResult(m_identification, "delta_speed", speedChange))
        return;
    if (flag <= 0) {
        const std::string text = kNegativeSpeedText;
        return Fail(text.substr(0, text.size() - 1));
    }
    if (samples == kNegativeSpeed) return Fail(kNegativeSpeedText);
    if (samples == kZeroSpeed) return Fail(kZeroSpeedText);
    // No speed change means no acceleration to divide by: the speed level was never reached.
    if (!(samples > 0) || speedChange == 0) return Fail(kSpeedNotReachedText);

    CMC_Parameter* torqueConstant = m_setup->FindParameter("K");
    CMC_Parameter* jt = m_setup->FindParameter("Jt");
    if (torqueConstant == nullptr || jt == nullptr) return Fail(msc_pszErrInternal);
    // J = torque * time / speed change: K * I (A) * samples * Ts_S (s) / (speed change / MotorSpeedScale) (rad/s).
    const double j = MotorSpeedScale(m_setup) / CurrentScale(m_setup) * samples * SpeedLoopPeriod(m_setup) *
                     torqueConstant->GetValueInBaseUnit() / speedChange * m_in1;
    if (!(j > 0) || !std::isfinite(j)) return Fail(kSpeedNotReachedText);
    if (!MeasuredWithinLimits(*jt, "total inertia", j)) return;
    jt->SetValueInBaseUnit(j);
    m_identified = jt->GetValueInBaseUnit();
    RefreshAllParameters(0);
    TestSucceeded(1);
}

void CTotalInertiaTest::OnOK()
{
    CMyTestDlg::OnOK();
    CMC_Parameter* protection = m_setup->FindParameter("TestProtectionCurrent");
    CMC_Parameter* level = m_setup->FindParameter("Imax_Prot");
    if (protection && level) level->SetValueInBaseUnit(protection->GetValueInBaseUnit());
}

void CTotalInertiaTest::OnCancel()
{
    const std::string oldText = FormatValue(m_jtAtOpening);
    const std::string newText = FormatValue(m_identified);
    if (oldText != newText && m_nResult == 1) {
        switch (AskToSaveNewValues(ChangedValueLine("Total inertia", oldText, newText))) {
        case rurorade::IDYES: return OnOK();
        case rurorade::IDCANCEL: return;
        default: m_setup->SetParameterValueInBaseUnit("Jt", m_jtAtOpening); break;
        }
    }
    CMyTestDlg::OnCancel();
}

void CTotalInertiaTest::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    if (id == kStartStopId && !m_bTestRunning &&
        m_setup->GetParameterValueInBaseUnit("TestCurrent") > m_setup->GetParameterValueInBaseUnit("TestProtectionCurrent")) {
        MessageBox(kProtectionBelowTest, GetTitle(), rurorade::MB_OK);
        return;
    }
    CMyTestDlg::OnCommand(id);
}
