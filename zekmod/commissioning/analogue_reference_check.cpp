#include "commissioning/analogue_reference_check.h"

#include <cstdio>

#include "rurorade/numeric.h"

namespace {

const char* const kProgram = "Analogue_Reference_Test";
const char* const kSteps[] = {"Launching test", "Running test"};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];
// Step index while the monitoring runs (both texts shown).
constexpr std::uint16_t kRunningIndex = 2;

struct CommandRange {
    const char* min;
    const char* max;
    const char* name;
};

// By trunc(`ControlMode`): position, speed, and current for the rest (as the drive scales it).
CommandRange CommandRangeOf(int controlMode)
{
    switch (controlMode) {
    case 0: return {"POS_min", "POS_max", "Position command"};
    case 1: return {"SPD_min", "SPD_max", "Speed command"};
    default: return {"CRT_min", "CRT_max", "Current command"};
    }
}

}  // namespace

CTestAnalogueRef::CTestAnalogueRef(CMC_Setup* setup, void* parent) : CMyTestDlg(setup, kTemplateId, 1, parent)
{
    m_nStepCount = kStepCount;
    m_nStopRequestKind = 1;
    m_voltage.text = kVoltageText;
    m_command.text = kCommandText;
}

CTestAnalogueRef::~CTestAnalogueRef() = default;

int CTestAnalogueRef::OnInitDialog()
{
    const int result = CMyTestDlg::OnInitDialog();
    m_voltage.graph.SubclassDlgItem(kVoltageBar, this);
    m_command.graph.SubclassDlgItem(kCommandBar, this);

    CMC_Parameter* range = m_setup->FindParameter("AnalogueInputsRange");
    const double volts = range ? range->GetValueInBaseUnit() : 0.0;
    m_voltage.lower = volts == 20 ? -10.0 : 0.0;
    m_voltage.upper = volts == 20 ? 10.0 : volts == 5 ? 5.0 : 3.3;
    SetChildText(kVoltageUnit, range ? std::string(range->GetUnit().name).c_str() : "");

    const CommandRange command = CommandRangeOf(TruncToInt32(m_setup->GetParameterValueInBaseUnit("ControlMode")));
    CMC_Parameter* min = m_setup->FindParameter(command.min);
    CMC_Parameter* max = m_setup->FindParameter(command.max);
    m_command.lower = min ? min->GetValueInDisplayUnit() : 0.0;
    m_command.upper = max ? max->GetValueInDisplayUnit() : 0.0;
    m_commandName = command.name;
    SetChildText(kCommandLabel, m_commandName.c_str());
    SetChildText(kCommandUnit, max ? std::string(max->GetUnit().name).c_str() : "");

    for (Bar* bar : {&m_voltage, &m_command}) {
        bar->graph.SetRange(bar->lower, bar->upper);
        bar->graph.SetReference(rurorade::CBarGraph::DefaultReference(bar->lower, bar->upper));
        bar->graph.SetValue(bar->graph.Reference());
        bar->graph.Repaint();
        SetChildText(bar->text, "");
    }
    return result;
}

void CTestAnalogueRef::BeginTest()
{
    StartRun();
    SetChildText(kVoltageText, "");
    SetChildText(kCommandText, "");
    for (Bar* bar : {&m_voltage, &m_command}) bar->graph.SetValue(bar->graph.Reference());
    DoDataExchange(false);
    m_voltage.graph.Repaint();
    m_command.graph.Repaint();
    SetInfoText(kSteps[0]);
    if (!ExecuteCode(kProgram, nullptr, nullptr)) return Fail(msc_pszErrInternal);
    SetInfoText(kSteps[1]);
    SetTimer(kTestTimer, kTickMs);
}

void CTestAnalogueRef::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    if (m_nStepIndex != kRunningIndex) {
        StopMonitoring();
        return Fail(msc_pszErrInternal);
    }
    if (m_bStopRequest) {
        m_bStopRequest = false;
        StopMonitoring();
        return TestSucceeded(1);
    }
    double counts = 0.0;
    if (!CheckDriveErrors(kErrorMask, 1) || !ReadDriveVariable("AD5", true, counts)) return StopMonitoring();
    ShowReading(m_voltage, counts);
    ShowReading(m_command, counts);
    PumpMessages();
    if (m_bTestRunning) SetTimer(kTestTimer, kTickMs);
}

void CTestAnalogueRef::ShowReading(Bar& bar, double counts)
{
    // + 0.0 so that a reading just below zero does not show as "-0.00".
    const double value = RoundDecimalValue((bar.upper - bar.lower) * counts / kFullScale + bar.lower, 2) + 0.0;
    char text[64];
    std::snprintf(text, sizeof text, "%.2f", value);
    SetChildText(bar.text, text);
    bar.graph.SetRange(bar.lower, bar.upper);
    bar.graph.SetValue(value);
    bar.graph.SetReference(rurorade::CBarGraph::DefaultReference(bar.lower, bar.upper));
    bar.graph.Repaint();
}

void CTestAnalogueRef::StopMonitoring()
{
    if (rurorade::DriveLink* link = GetDriveLink()) link->StopProgram();
}

void CTestAnalogueRef::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
