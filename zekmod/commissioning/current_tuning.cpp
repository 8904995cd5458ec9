#include "commissioning/current_tuning.h"

#include <cstring>

#include "commissioning/tuning_rules.h"
#include "engine/decode_control_loops.h"
#include "engine/encode_control_loops.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kPositioningProgram = "Initial_Positioning_Test";
const char* const kTuningProgram = "Current_Controller_Tuning_Test";

const char* const kSteps[] = {
    "Launching the application for preliminary test", "Waiting preliminary test to be finished",
    "Launching the application for test",             "Running test",
    "Uploading results",
};
constexpr std::uint16_t kStepCount = 5;
// Step index on the tick that sees each phase.
constexpr std::uint16_t kPositioningEnd = 2, kLaunch = 3, kTuningEnd = 4;

const char* const kProcedure =
    "1. Check/setup the test parameters below\r\n2. Go to the \"Test\" tab and press the \"Tune\" button\r\n"
    "3. Set the desired passband and tune the controller\r\n4. Press the \"Start\" button\r\n"
    "5. Wait until the test ends and displays the results\r\n"
    "6. If needed, change the controller parameters during the test, until you get satisfactory results";

bool Is(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

}  // namespace

const char* const CTestCurrent::kProtectionBelowTest = "Over current protection must be greater or equal to Test current.";
const char* const CTestCurrent::kProtectionTripped = "Test failed!\nCurrent protection triggered during test!";

CTestCurrent::CTestCurrent(CMC_Setup* setup, int flag, void* parent) : CTuningTestDlg(setup, kTemplateId, flag, parent)
{
    m_nStepCount = kStepCount;
    AddParameterControls("TestProtectionCurrent", kProtectionEdit, kProtectionUnit);
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
    AddParameterControls("OffsetCurrent", kOffsetEdit, kOffsetUnit);
    AddParameterControls("FilterOnCurrentControllerOutput", kFilterEdit, kFilterUnit);
    AddCheckParameterControls("isUseFilterOnCrtCtrlOutput", kFilterCheck);
    AddCheckParameterControls("isCompensateGravitationalLoads", kOffsetCheck);
    AddTunedSlider("Kp_C_scl", kKpSlider, kKpEdit, 0, kKpSpinLow, kKpSpinHigh);
    AddTunedSlider("Ki_C_scl", kKiSlider, kKiEdit, 0, kKiSpinLow, kKiSpinHigh);
    AddTunedSlider("PB_C", kPassbandSlider, kPassbandEdit, kPassbandUnit, kPassbandSpinLow, kPassbandSpinHigh);
}

CTestCurrent::~CTestCurrent() = default;

int CTestCurrent::OnInitDialog()
{
    CMyTestDlg::OnInitDialog();
    RefreshAllParameters(0);
    LoadProgram(m_positioning, kPositioningProgram);
    LoadProgram(m_tuning, kTuningProgram);
    m_logger = std::make_unique<CMC_SingleAxisLogger>(m_setup, &m_tuning);
    m_logger->ChangeSettings(100, 2, 1);
    m_logger->AddVariable("Current_Reference", 1);
    m_logger->AddVariable("Motor_Current", 1);
    m_logger->AddVariable("Voltage_Reference", 1);
    CGraphFilter* filter = m_logger->GetDocument().GetAt(0);
    filter->Add({0, 1, 1, 2, 2});
    filter->Add({0, 3, 2, 8, 2});
    filter->Add({0, 2, 1, 5, 2});
    m_graph.SubclassDlgItem(kGraphId, this);
    m_graph.SetDocument(&m_logger->GetDocument());
    m_graph.RefreshGraph();
    SetPlots(m_logger.get(), "CurrentTuning");
    SetChildText(kProcedureId, kProcedure);
    SetButtonImage(kPictureId, "3015");
    AddTuningPages({kPurposeText, kTestCurrentLabel, kTestCurrentEdit, kTestCurrentUnit, kProtectionLabel, kProtectionEdit,
                    kProtectionUnit, kProcedureId, kPictureId},
                   {kKpLabel, kKpSlider, kKpEdit, kKpSpinLow, kKpSpinHigh, kKiLabel, kKiSlider, kKiEdit, kKiSpinLow,
                    kKiSpinHigh, kPassbandLabel, kPassbandSlider, kPassbandEdit, kPassbandUnit, kPassbandSpinLow,
                    kPassbandSpinHigh, kTuneButton, kFilterCheck, kFilterEdit, kFilterUnit, kFilterLabel, kOffsetCheck,
                    kOffsetEdit, kOffsetUnit, kOffsetLabel, kGraphId});
    DoDataExchange(false);
    return 1;
}

void CTestCurrent::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    const bool testPage = GetTabPage() == 1;
    const bool filter = testPage && Base("isUseFilterOnCrtCtrlOutput") != 0;
    const bool offset = testPage && Base("isCompensateGravitationalLoads") != 0;
    for (int id : {kFilterEdit, kFilterUnit, kFilterLabel}) ShowChild(id, filter);
    for (int id : {kOffsetEdit, kOffsetUnit, kOffsetLabel}) ShowChild(id, offset);
    ShowChild(kGraphId, testPage);
    const bool idle = !m_bTestRunning;
    for (int id : {rurorade::IDOK, kKpSlider, kKpEdit, kKpSpinLow, kKpSpinHigh, kKiSlider, kKiEdit, kKiSpinLow, kKiSpinHigh})
        EnableChild(id, idle);
}

bool CTestCurrent::CanShowTestPage()
{
    if (Base("TestCurrent") <= Base("TestProtectionCurrent")) return true;
    MessageBox(kProtectionBelowTest, GetTitle(), rurorade::MB_OK);
    return false;
}

void CTestCurrent::RecomputeFilterAndOffset()
{
    encode::FILTERQ(m_setup);
    encode::FFL(m_setup);
    decode::OffsetCurrent(m_setup);  // limits +-In; clears the offset when the compensation is off
}

bool CTestCurrent::Tune()
{
    if (!Has("L") || !Has("R") || !Has("PB_C") || !Has("Dump_C") || !Has("Kp_C_scl") || !Has("Ki_C_scl")) return false;
    PiGains gains{};
    const bool delta = Has("MotorPhaseConnectionType") && Base("MotorPhaseConnectionType") == 1;
    if (!CurrentLoopGains(Base("L"), Base("R"), delta, CurrentLoopPeriod(m_setup), VoltageCommandScale(m_setup),
                          CurrentScale(m_setup), Base("PB_C"), Base("Dump_C"), gains))
        return false;
    m_setup->SetParameterValueInBaseUnit("Kp_C_scl", gains.kp);
    m_setup->SetParameterValueInBaseUnit("Ki_C_scl", gains.ki);
    encode::KPI(m_setup);
    encode::KII(m_setup);
    encode::SFTKPI(m_setup);
    encode::SFTKII(m_setup);
    decode::Ki_C_scl(m_setup);
    decode::Kp_C_scl(m_setup);
    WriteRegisters({"SFTKPI", "KPI", "SFTKII", "KII"});
    RefreshAllParameters(0);
    return true;
}

void CTestCurrent::OnChangedParameterValue(const char* name)
{
    if (Is(name, "Kp_C_scl")) {
        encode::SFTKPI(m_setup);
        encode::KPI(m_setup);
    } else if (Is(name, "Ki_C_scl")) {
        encode::SFTKII(m_setup);
        encode::KII(m_setup);
    } else if (Is(name, "FilterOnCurrentControllerOutput") || Is(name, "OffsetCurrent") ||
               Is(name, "isUseFilterOnCrtCtrlOutput") || Is(name, "isCompensateGravitationalLoads")) {
        RecomputeFilterAndOffset();
        RefreshParameterControls("OffsetCurrent");
        DoDataExchange(false);
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestCurrent::OnRefreshParameterValue(const char* name)
{
    if (m_bTestRunning) {
        if (Is(name, "Kp_C_scl")) WriteRegisters({"SFTKPI", "KPI"});
        if (Is(name, "Ki_C_scl")) WriteRegisters({"SFTKII", "KII"});
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

void CTestCurrent::OnCommand(int id)
{
    if (id == kTuneButton) {
        Tune();
        return;
    }
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}

void CTestCurrent::BeginTest()
{
    RefreshAllParameters(0);
    RecomputeFilterAndOffset();
    m_testCurrent = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    StartRun();
    DoDataExchange(false);
    SetInfoText(kSteps[0]);
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_testCurrent)}}, nullptr, kSteps[1]);
}

void CTestCurrent::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kPositioningEnd:
        if (WaitForProgram(m_positioning, kRunMask) == ProgramState::Ended) EndPositioningRun();
        return;
    case kLaunch: return LaunchTuningRun();
    case kTuningEnd: {
        if (WaitForProgram(m_tuning, kRunMask) != ProgramState::Ended) return;
        double flag = 0;
        if (!ReadProgramResult(m_tuning, "test_flag", flag, kProtectionTripped)) return;
        UploadResults(m_logger.get(), &m_graph, kSteps[4]);
        DoDataExchange(false);
        return;
    }
    default: return Fail(msc_pszErrInternal);
    }
}

void CTestCurrent::EndPositioningRun()
{
    if (!EndPositioning(m_positioning, m_reference, m_increment)) return;
    SetInfoText(kSteps[2]);
    LaunchTuningRun();
}

void CTestCurrent::LaunchTuningRun()
{
    const double in1 = static_cast<std::int16_t>(TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent")));
    const double protection =
        static_cast<std::int16_t>(TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestProtectionCurrent")));
    LaunchProgram(m_tuning, kTuningProgram,
                  {{"RefTest", m_reference}, {"RIncTest", m_increment}, {"In1", in1}, {"Imax_Prot_Test", protection}},
                  m_logger.get(), kSteps[3]);
}

void CTestCurrent::OnOK()
{
    CMyTestDlg::OnOK();
    m_setup->SetParameterValueInBaseUnit("Imax_Prot", Base("TestProtectionCurrent"));
}
