#include "commissioning/rl_identification.h"

#include <cmath>

#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

const char* const kPositioningProgram = "Initial_Positioning_Test";
const char* const kResistanceProgram = "Ident_R_or_Rs";
const char* const kInductanceProgram = "Ident_L_or_Tau_el";

const char* const kSteps[] = {
    "Launching code for preliminary test (1)", "Waiting preliminary test to be finished (1)",
    "Launching code for R test (1)",           "Waiting R test to be finished (1)",
    "Launching code for preliminary test (2)", "Waiting preliminary test to be finished (2)",
    "Launching code for R test (2)",           "Waiting R test to be finished (2)",
    "Launching code for L test",               "Waiting L test to be finished",
};
constexpr std::uint16_t kStepCount = sizeof kSteps / sizeof kSteps[0];

// Step index on the tick that sees each run end.
constexpr std::uint16_t kFirstPositioningEnd = 2, kFirstResistanceEnd = 4, kSecondPositioningEnd = 6,
                        kSecondResistanceEnd = 8, kInductanceEnd = 10;

constexpr int kLogPoints = 400;

const char* const kErrNoFirstCurrent =
    "The resistance could not be computed: the first resistance test logged no current.";
const char* const kErrSameCurrents =
    "The resistance could not be computed: both test currents gave the same measured current.";
const char* const kErrBadResistance = "The resistance could not be computed: the measured value is not a positive number.";
const char* const kErrNoFrequency =
    "The inductance could not be computed: the frequency of the applied voltage is zero.";
const char* const kErrNoCurrent = "The inductance could not be computed: no current was measured.";
const char* const kErrBadInductance = "The inductance could not be computed: the measured value is not a positive number.";

bool PositiveFinite(double x) { return x > 0.0 && std::isfinite(x); }

}  // namespace

CTestRL::CTestRL(CMC_Setup* setup, void* parent)
    : CMyTestDlg(setup, kTemplateId, 1, parent), m_logger(std::make_unique<CMC_SingleAxisLogger>(setup, nullptr))
{
    m_nStepCount = kStepCount;
    AddParameterControls("R", kREdit, kRUnit);
    AddParameterControls("L", kLEdit, kLUnit);
    AddParameterControls("TestCurrent", kTestCurrentEdit, kTestCurrentUnit);
}

CTestRL::~CTestRL()
{
    m_logger.reset();
    if (m_saved) m_setup->SetParameterValueInBaseUnit("Vdc", m_savedVdc);
}

const char* CTestRL::Step() const { return m_nStepIndex < kStepCount ? kSteps[m_nStepIndex] : ""; }

int CTestRL::OnInitDialog()
{
    m_savedVdc = m_setup->GetParameterValueInBaseUnit("Vdc");
    m_savedR = m_setup->GetParameterValueInBaseUnit("R");
    m_savedL = m_setup->GetParameterValueInBaseUnit("L");
    m_saved = true;
    for (int id : {kREdit, kLEdit, kRUnit, kLUnit}) SetChildText(id, "");
    LoadProgram(m_positioning, kPositioningProgram);
    LoadProgram(m_resistance, kResistanceProgram);
    LoadProgram(m_inductance, kInductanceProgram);
    return CMyTestDlg::OnInitDialog();
}

void CTestRL::BeginTest()
{
    for (int id : {kREdit, kLEdit, kRUnit, kLUnit}) SetChildText(id, "");
    StartRun();
    m_in1 = TruncToInt32(m_setup->GetParameterValueInInternalUnit("TestCurrent"));
    SetInfoText(Step());
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_in1)}}, nullptr, Step());
}

void CTestRL::OnTimer(int id)
{
    if (!BeginTestTick(id)) return CMyTestDlg::OnTimer(id);
    CMC_CoffFormat* program = nullptr;
    switch (m_nStepIndex) {
    case kFirstPositioningEnd:
    case kSecondPositioningEnd: program = &m_positioning; break;
    case kFirstResistanceEnd:
    case kSecondResistanceEnd: program = &m_resistance; break;
    case kInductanceEnd: program = &m_inductance; break;
    default: return Fail(msc_pszErrInternal);
    }
    if (WaitForProgram(*program, kErrorMask) != ProgramState::Ended) return;
    switch (m_nStepIndex) {
    case kFirstPositioningEnd: return EndPreliminaryRun(false);
    case kFirstResistanceEnd: return EndFirstResistanceRun();
    case kSecondPositioningEnd: return EndPreliminaryRun(true);
    case kSecondResistanceEnd: return EndSecondResistanceRun();
    default: return EndInductanceRun();
    }
}

int CTestRL::PrepareLogger(bool reset, int logType, bool withD)
{
    if (reset) m_logger->Reset();
    m_logger->ChangeSettings(kLogPoints, logType, 1);
    if (!m_logger->AddVariable("IQ", 0) || (withD && !m_logger->AddVariable("ID", 0)) || !m_logger->LocateItems()) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    return 1;
}

void CTestRL::EndPreliminaryRun(bool halfCurrent)
{
    double reference = 0.0, increment = 0.0;
    if (!EndPositioning(m_positioning, reference, increment)) return;
    SetInfoText(Step());
    // The first resistance run keeps the logger's earlier variables; the second starts afresh.
    if (!PrepareLogger(halfCurrent, halfCurrent ? 2 : 1, false)) return;
    const double current = halfCurrent ? m_in1 / 2 : m_in1;
    LaunchProgram(m_resistance, kResistanceProgram, {{"RefTest", reference}, {"RIncTest", increment}, {"In1", current}},
                  m_logger.get(), Step());
}

void CTestRL::EndFirstResistanceRun()
{
    if (!ReadDriveVariable("var_i1", true, m_u1)) return;
    std::vector<std::vector<double>> points;
    if (!UploadLoggedPoints(m_logger.get(), points)) return;
    RunningMean current;
    for (const std::vector<double>& point : points) current.Add(point[1]);
    // Without a current from this run the two runs cannot be compared.
    if (current.Empty()) return Fail(kErrNoFirstCurrent);
    m_i1 = current.Value();
    SetInfoText(Step());
    LaunchProgram(m_positioning, kPositioningProgram, {{"In1", static_cast<double>(m_in1 / 2)}}, nullptr, Step());
}

void CTestRL::EndSecondResistanceRun()
{
    double u2 = 0.0, n = 0.0;
    if (!ReadDriveVariable("var_i1", true, u2) || !ReadDriveVariable("var_u2", true, n)) return;
    std::vector<std::vector<double>> points;
    if (!UploadLoggedPoints(m_logger.get(), points)) return;
    RunningMean current;
    for (const std::vector<double>& point : points) current.Add(point[1]);
    const double i2 = current.Empty() ? u2 : current.Value();

    // The DC bus voltage the drive measured (V).
    m_setup->SetParameterValueInBaseUnit("Vdc", m_setup->GetParameterValueInBaseUnit("VdcMaxMeasurable") * n / ADCmax(m_setup));
    m_cs = CurrentScale(m_setup);
    m_kv = VoltageCommandScale(m_setup);
    if (m_i1 == i2) return Fail(kErrSameCurrents);
    m_resultR = (m_u1 - u2) / (m_i1 - i2) / m_kv * m_cs;
    if (!PositiveFinite(m_resultR)) return Fail(kErrBadResistance);

    SetInfoText(Step());
    if (!PrepareLogger(true, 2, true)) return;
    LaunchProgram(m_inductance, kInductanceProgram, {{"In1", static_cast<double>(m_in1)}}, m_logger.get(), Step());
}

void CTestRL::EndInductanceRun()
{
    double u = 0.0, theta = 0.0;
    if (!ReadDriveVariable("var_i1", true, u) || !ReadDriveVariable("TINCTST", true, theta)) return;
    std::vector<std::vector<double>> points;
    if (!UploadLoggedPoints(m_logger.get(), points)) return;
    RunningMean meanD, meanSquare;
    for (const std::vector<double>& point : points) {
        const double iq = point[1], id = point[2];
        meanD.Add(id);
        meanSquare.Add(iq * iq + id * id);
    }
    const double mD = meanD.Empty() ? theta : meanD.Value();
    const double mS = meanSquare.Empty() ? theta : meanSquare.Value();

    // Electrical angular frequency of the applied voltage (rad/s).
    const double omega = theta * 2 * kPi / (65535 * CurrentLoopPeriod(m_setup));
    if (omega == 0.0) return Fail(kErrNoFrequency);
    if (mS == 0.0) return Fail(kErrNoCurrent);
    m_resultL = mD * u * m_cs / (omega * mS * m_kv);
    if (!PositiveFinite(m_resultL)) return Fail(kErrBadInductance);

    if (m_setup->GetParameterValueInBaseUnit("MotorPhaseConnectionType") == 1.0) {
        m_resultR *= 3;
        m_resultL *= 3;
    }
    // Both are looked up before either is written, so a failure writes nothing.
    CMC_Parameter* l = m_setup->FindParameter("L");
    CMC_Parameter* r = m_setup->FindParameter("R");
    if (l == nullptr || r == nullptr) return Fail(msc_pszErrInternal);
    if (!MeasuredWithinLimits(*r, "phase resistance", m_resultR) || !MeasuredWithinLimits(*l, "phase inductance", m_resultL))
        return;
    l->SetValueInBaseUnit(m_resultL);
    m_resultL = l->GetValueInBaseUnit();
    r->SetValueInBaseUnit(m_resultR);
    m_resultR = r->GetValueInBaseUnit();
    RefreshParameterControls("R");
    RefreshParameterControls("L");
    TestSucceeded(1);
}

void CTestRL::OnCancel()
{
    if (m_saved) m_setup->SetParameterValueInBaseUnit("Vdc", m_savedVdc);
    if (m_nResult == 1) {
        std::string lines;
        if (m_savedR != m_resultR) lines += ChangedValueLine("Phase resistance", FormatValue(m_savedR), FormatValue(m_resultR));
        if (m_savedL != m_resultL) lines += ChangedValueLine("Phase inductance", FormatValue(m_savedL), FormatValue(m_resultL));
        if (!lines.empty()) {
            switch (AskToSaveNewValues(lines)) {
            case rurorade::IDYES: return CMyTestDlg::OnOK();
            case rurorade::IDCANCEL: return;
            default: break;
            }
        }
    }
    CMyTestDlg::OnCancel();
}

void CTestRL::OnCommand(int id)
{
    if (id == kHelpId) return ShowHelp(kHelpTopic);
    CMyTestDlg::OnCommand(id);
}
