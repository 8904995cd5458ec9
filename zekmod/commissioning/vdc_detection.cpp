#include "commissioning/vdc_detection.h"

#include <cmath>

#include "engine/unit_scaling.h"

namespace {

const char* const kProgram = "VDC_Detection_Test";
const char* const kSteps[] = {"Launching test", "Running test"};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// Step index while the program runs (both texts shown).
constexpr std::uint16_t kRunningIndex = 2;
const char* const kErrNoVdc = "The DC bus voltage could not be computed: the drive measured no valid voltage.";

}  // namespace

CTestVdcDetection::CTestVdcDetection(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent),
      m_vdcMaxMeasurable(setup->GetParameterValueInBaseUnit("VdcMaxMeasurable")),
      m_vdcAtStart(setup->GetParameterValueInBaseUnit("Vdc"))
{
    m_nStepCount = kStepCount;
    AddParameterControls("Vdc", kVdcEdit, kVdcUnit);
}

CTestVdcDetection::~CTestVdcDetection() = default;

int CTestVdcDetection::OnInitDialog()
{
    const int result = CMyTestDlg::OnInitDialog();
    LoadProgram(m_program, kProgram);
    return result;
}

void CTestVdcDetection::BeginTest()
{
    SetChildText(kVdcEdit, "");
    SetChildText(kVdcUnit, "");
    StartRun();
    SetInfoText(kSteps[0]);
    LaunchProgram(m_program, kProgram, {}, nullptr, kSteps[1]);
}

void CTestVdcDetection::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    if (m_nStepIndex != kRunningIndex) return Fail(msc_pszErrInternal);
    if (WaitForProgram(m_program, kErrorMask) != ProgramState::Ended) return;
    double counts = 0.0;
    if (!ReadDriveVariable("var_u2", false, counts)) return;
    const double vdc = counts / VoltageScale(m_setup);
    // A bus voltage of zero or an undefined one would break every voltage scale of the setup.
    if (!(vdc > 0.0) || !std::isfinite(vdc)) return Fail(kErrNoVdc);
    CMC_Parameter* parameter = m_setup->FindParameter("Vdc");
    if (parameter == nullptr) return Fail(msc_pszErrInternal);
    if (!MeasuredWithinLimits(*parameter, "DC bus voltage", vdc)) return;
    parameter->SetValueInBaseUnit(vdc);
    RefreshParameterControls("Vdc");
    TestSucceeded(1);
}

void CTestVdcDetection::OnCancel()
{
    const std::string oldText = FormatValue(m_vdcAtStart, true);
    const std::string newText = FormatValue(m_setup->GetParameterValueInBaseUnit("Vdc"), true);
    if (oldText != newText && m_nResult == 1) {
        switch (AskToSaveNewValues(ChangedValueLine("Power supply", oldText, newText))) {
        case rurorade::IDYES: return CMyTestDlg::OnOK();
        case rurorade::IDCANCEL: return;
        default: break;
        }
    }
    CMyTestDlg::OnCancel();
}

void CTestVdcDetection::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
