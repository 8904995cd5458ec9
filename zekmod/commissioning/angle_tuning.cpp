#include "commissioning/angle_tuning.h"

#include <cstring>
#include <string>

#include "engine/encode_control_loops.h"
#include "engine/parameter_access.h"
#include "rurorade/numeric.h"
#include "rurorade/units.h"

namespace {

const char* const kProgram = "Angle_Controller_Tuning_Test";
const char* const kSteps[] = {"Launching the application for test", "Running test", "Uploading results"};
constexpr std::uint16_t kStepCount = 3;
// Step index on the tick that sees each phase.
constexpr std::uint16_t kRunEnd = 2, kUpload = 3;

const char* const kProcedure =
    "1. Check/setup the test parameters below\r\n2. Go to the \"Test\" tab and tune the angle controller\r\n"
    "3. Press the \"Start\" button\r\n4. Wait until the test ends and displays the results\r\n"
    "5. The test is successful it at the end of the Stabilize time, the Electric_Angle graph is smooth and reaches "
    "final values with a tolerance of +/- 1820 (10 electrical degrees)\r\n"
    "6. If needed, change the controller parameters until you get results that satisfy point 5 above";

bool Is(const char* a, const char* b) { return a && std::strcmp(a, b) == 0; }

// A dimensionless whole-number setting of the dialog's own.
std::unique_ptr<CMC_Parameter> OwnSetting(CMC_Setup* setup, const char* name, double value, double min, double max)
{
    auto p = std::make_unique<CMC_Parameter>(setup, name, &rurorade::Dimensionless());
    p->SetValueInBaseUnit(value);
    p->SetMinInBaseUnit(min);
    p->SetMaxInBaseUnit(max);
    return p;
}

}  // namespace

const char* const CTestAngle::kProtectionTripped = "Test failed!\nCurrent protection triggered during test!";
const char* const CTestAngle::kNotStabilised =
    "Test failed!\nAngle not stabilized.\nIf the Electric_Angle graph is a flat line, please increase Kp and/or Ki "
    "parameters.\n\nIf the Electric_Angle graph oscillates too much, please decrease Kp and/or Ki parameters.\n\nIf "
    "the Electric_Angle graph does not oscillate, but it does not stabilize to a value between\n-18204 and -14564 "
    "(that means -16384 with a tolerance of +/- 1820, equivalent to\n+/- 10 electrical degrees), you have to fine "
    "tune the Kp and/or Ki parameters until it does.";
const char* const CTestAngle::kCurrentOrAngle =
    "Test failed!\n\nIf the Test current doesn\u2019t decreases to zero, increase/decrease Kp and/or Ki parameters.\n"
    "If the Test current decreases to zero but the Electric_Angle graph does not stabilize to a value close to %s "
    "with a tolerance of +/- 1820 (equivalent to +/- 10 electrical degrees), you have to fine tune the Kp and/or Ki "
    "parameters until it does.\nSee Electric Angle Controller Tuning Help for details";
const char* const CTestAngle::kCurrentTooSmall =
    "Test failed!\nTest current may not be enough. Please increase test current.";

CTestAngle::CTestAngle(CMC_Setup* setup, int flag, void* parent) : CTuningTestDlg(setup, kTemplateId, flag, parent)
{
    m_nStepCount = kStepCount;
    AddParameterControls("MAX_CURRENT", kTestCurrentEdit, kTestCurrentUnit);
    AddParameterControls("REF_INC", kIncrementEdit, kIncrementUnit);
    AddParameterControls("TIME_LIMIT", kStabiliseEdit, kStabiliseUnit);
    if (HasAcquisitionCount(setup)) {
        AddParameterControls("AquisitionsNo", kAcquisitionsEdit, 0);
    } else {
        m_acquisitions = OwnSetting(setup, "AquisitionsNo", 2000, 10, 5000);
        AddUserParameterControls(m_acquisitions.get(), kAcquisitionsEdit, 0);
    }
    if (HasSamplingRate(setup)) {
        AddParameterControls("SamplingRate", kSamplingEdit, 0);
    } else {
        m_sampling = OwnSetting(setup, "SamplingRate", 2, 1, 200);
        AddUserParameterControls(m_sampling.get(), kSamplingEdit, 0);
    }
    AddTunedSlider("Kp_T_scl", kKpSlider, kKpEdit, 0, kKpSpinLow, kKpSpinHigh);
    AddTunedSlider("Ki_T_scl", kKiSlider, kKiEdit, 0, kKiSpinLow, kKiSpinHigh);
}

CTestAngle::~CTestAngle() = default;

int CTestAngle::OnInitDialog()
{
    CMyTestDlg::OnInitDialog();
    RefreshAllParameters(0);
    AddTuningPages({kPurposeText, kTestCurrentLabel, kTestCurrentEdit, kTestCurrentUnit, kIncrementLabel, kIncrementEdit,
                    kIncrementUnit, kStabiliseLabel, kStabiliseEdit, kStabiliseUnit, kProcedureId, kPictureId},
                   {kAcquisitionsLabel, kAcquisitionsEdit, kSamplingLabel, kSamplingEdit, kSamplingTail, kKpLabel,
                    kKpSlider, kKpEdit, kKpSpinLow, kKpSpinHigh, kKiLabel, kKiSlider, kKiEdit, kKiSpinLow, kKiSpinHigh,
                    kGraphId});
    SetChildText(kProcedureId, kProcedure);
    SetButtonImage(kPictureId, "3063");
    LoadProgram(m_program, kProgram);
    m_logger = std::make_unique<CMC_SingleAxisLogger>(m_setup, &m_program);
    SetUpLogger();
    m_graph.SubclassDlgItem(kGraphId, this);
    m_graph.SetDocument(&m_logger->GetDocument());
    m_graph.RefreshGraph();
    SetPlots(m_logger.get(), "");
    DoDataExchange(false);
    return 1;
}

double CTestAngle::Acquisition(const char* name, const std::unique_ptr<CMC_Parameter>& own) const
{
    return own ? own->GetValueInBaseUnit() : Base(name);
}

void CTestAngle::SetUpLogger()
{
    // The drive takes both as 16-bit words.
    const int points = static_cast<std::uint16_t>(TruncToUInt32(Acquisition("AquisitionsNo", m_acquisitions)));
    const int sampling = static_cast<std::uint16_t>(TruncToUInt32(Acquisition("SamplingRate", m_sampling)));
    m_logger->Reset();
    m_logger->ChangeSettings(CMC_Logger::CorrectPointsNo(points), 2, sampling);
    m_logger->AddVariable("Motor_Current", 1);
    m_logger->AddVariable("Electric_Angle", 1);
    CGraphFilter* filter = m_logger->GetDocument().GetAt(0);
    filter->RemoveAll();
    filter->Add({0, 1, 1, 1, 2});
    filter->Add({0, 2, 2, 4, 2});
    m_logger->LocateItems();
}

void CTestAngle::DoDataExchange(bool saveAndValidate)
{
    CMyTestDlg::DoDataExchange(saveAndValidate);
    if (saveAndValidate) return;
    ShowChild(kGraphId, GetTabPage() == 1);
    const bool idle = !m_bTestRunning;
    for (int id : {rurorade::IDOK, kKpSlider, kKpEdit, kKpSpinLow, kKpSpinHigh, kKiSlider, kKiEdit, kKiSpinLow, kKiSpinHigh})
        EnableChild(id, idle);
}

void CTestAngle::OnChangedParameterValue(const char* name)
{
    if (Is(name, "Kp_T_scl")) {
        encode::SFTKPTHT(m_setup);
        encode::KPTHT(m_setup);
    } else if (Is(name, "Ki_T_scl")) {
        encode::SFTKITHT(m_setup);
        encode::KITHT(m_setup);
    }
    CMyTestDlg::OnChangedParameterValue(name);
}

void CTestAngle::OnRefreshParameterValue(const char* name)
{
    if (m_bTestRunning) {
        if (Is(name, "Kp_T_scl")) WriteRegisters({"SFTKPTHT", "KPTHT"});
        if (Is(name, "Ki_T_scl")) WriteRegisters({"SFTKITHT", "KITHT"});
    }
    CMyTestDlg::OnRefreshParameterValue(name);
}

void CTestAngle::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    if (id == kSavePlotsId) {
        if (m_logger) m_logger->SaveGraph(nullptr);
        return;
    }
    CMyTestDlg::OnCommand(id);
}

void CTestAngle::BeginTest()
{
    RefreshAllParameters(0);
    const double current = m_setup->GetParameterValueInInternalUnit("MAX_CURRENT");
    const double increment = m_setup->GetParameterValueInInternalUnit("REF_INC");
    const double time = m_setup->GetParameterValueInInternalUnit("TIME_LIMIT");
    StartRun();
    m_nDetailsHelpTopic = 0;
    DoDataExchange(false);
    SetInfoText(kSteps[0]);
    SetUpLogger();
    LaunchProgram(m_program, kProgram, {{"In1", current}, {"ReferenceIncrement", increment}, {"TimeLimit", time}},
                  m_logger.get(), kSteps[1]);
}

void CTestAngle::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    switch (m_nStepIndex) {
    case kRunEnd:
        if (WaitForProgram(m_program, kRunMask) == ProgramState::Ended) UploadAndJudge(kSteps[2]);
        return;
    case kUpload: return UploadAndJudge(nullptr);
    default: return Fail(msc_pszErrInternal);
    }
}

void CTestAngle::UploadAndJudge(const char* uploadingText)
{
    // Stopped by the user during the upload: no result.
    if (UploadResults(m_logger.get(), &m_graph, uploadingText, false)) Judge();
    DoDataExchange(false);
}

void CTestAngle::Judge()
{
    double flag = 0;
    if (!GetUserVariableValue(&m_program, "test_flag", flag, m_strError)) return FailWithHostReason();
    if (flag == kUnreadableValue) return Fail(msc_pszErrInternal);
    if (flag == -1) return Fail(kProtectionTripped);
    if (flag == -3) return Fail(kCurrentTooSmall);
    if (flag != -2) return TestSucceeded(1);
    // The angle did not settle where it should: the help explains how to tune it.
    m_nDetailsHelpTopic = kHelpTopic;
    double theta = 0;
    std::string error;
    if (!GetUserVariableValue(&m_program, "theta_1", theta, error) || theta == kUnreadableValue)
        return Fail(kNotStabilised);
    std::string text = kCurrentOrAngle;
    text.replace(text.find("%s"), 2, std::to_string(TruncToInt32(theta)));
    Fail(text);
}
