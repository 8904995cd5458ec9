#include "commissioning/my_test_dlg.h"

#include <cstdio>

#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

struct DriveFault {
    std::int32_t bit;
    const char* text;
};

// Checked in this order; the first bit set wins.
const DriveFault kDriveFaults[] = {
    {0x0002, "Drive / Motor shortcircuit protection triggered."},
    {0x0008, "Drive / Motor control error protection triggered."},
    {0x0020, "Hall sensor is missing."},
    {0x0040, "Drive / Motor stopped due to positive limit switch input triggered."},
    {0x0080, "Drive / Motor stopped due to negative limit switch input triggered."},
    {0x8000, "Drive / Motor ENABLE input is in DISABLED state."},
};

const char* const kQuestionHead = "A different value than specified has been detected for the following parameter(s):\r\n\r\n";
const char* const kQuestionTail = "\r\nDo you want to save the new value(s)? (Recommended)";

}  // namespace

std::string FormatValue(double value, bool upperCase)
{
    char text[64];
    std::snprintf(text, sizeof text, upperCase ? "%G" : "%g", value);
    return text;
}

int RunWithSinusoidalMode(const std::function<int()>& showModal)
{
    const int saved = g_bKufSinusoidalMode;
    g_bKufSinusoidalMode = 1;
    const int result = showModal ? showModal() : rurorade::IDCANCEL;
    g_bKufSinusoidalMode = saved;
    return result;
}

CMyTestDlg::CMyTestDlg(CMC_Setup* setup, int templateId, int flag, void* parent)
    : CMC_TestDlg(setup, templateId, flag, parent)
{
    if ((templateId == kSpeedTuningTemplate || templateId == kPositionTuningTemplate) && HasStartMinMove(setup))
        setup->SetParameterValueInBaseUnit("ABSTART_MINMOVE", 0.0);
}

CMyTestDlg::~CMyTestDlg() = default;

int CMyTestDlg::CheckDriveErrors(std::uint16_t mask, int failNow)
{
    std::string text;
    CMC_Variable* mer = m_setup->FindVariable("MER", 1);
    if (mer == nullptr) {
        text = msc_pszErrInternal;
    } else if (!mer->ReadFromChip()) {
        const rurorade::DriveLink* link = m_setup->GetDriveLink();
        text = link ? link->GetLastErrorText() : "";
        if (text.empty()) text = msc_pszErrInternal;
    } else {
        const std::int32_t bits = TruncToInt32(mer->GetValueInBaseUnit()) & static_cast<std::int32_t>(mask);
        for (const DriveFault& fault : kDriveFaults) {
            if ((bits & fault.bit) == 0) continue;
            text = fault.text;
            break;
        }
        if (text.empty()) return 1;
    }
    m_strError = text;
    if (failNow) TestFailed(1);
    return 0;
}

bool CMyTestDlg::BeginTestTick(int id)
{
    if (id != kTestTimer || !m_bTestRunning) return false;
    KillTimer(kTestTimer);
    return true;
}

void CMyTestDlg::StartRun()
{
    m_strError.clear();
    m_bTestRunning = true;
    m_nResult = -1;
    m_nStepIndex = 0;
}

int CMyTestDlg::LaunchProgram(CMC_CoffFormat& coff, const char* section, std::initializer_list<UserInput> inputs,
                              CMC_Logger* logger, const char* runningText)
{
    for (const UserInput& input : inputs) {
        if (!SetUserVariableValue(&coff, input.name, input.value, m_strError)) {
            FailWithHostReason();
            return 0;
        }
    }
    if (!ExecuteCode(section, &coff, logger)) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    SetInfoText(runningText);
    SetTimer(kTestTimer, kTickMs);
    return 1;
}

CMyTestDlg::ProgramState CMyTestDlg::WaitForProgram(CMC_CoffFormat& coff, std::uint16_t mask)
{
    double started = 0.0;
    if (!ReadProgramResult(coff, "STARTED", started)) return ProgramState::Failed;
    if (started == 0.0) {
        if (!CheckDriveErrors(mask, 1)) return ProgramState::Failed;
        SetTimer(kTestTimer, kTickMs);
        return ProgramState::Waiting;
    }
    bool on = false;
    if (!GetAxisOn(on)) {
        FailWithHostReason();
        return ProgramState::Failed;
    }
    if (on) {
        SetTimer(kTestTimer, kTickMs);
        return ProgramState::Waiting;
    }
    if (!CheckDriveErrors(mask, 1)) return ProgramState::Failed;
    return ProgramState::Ended;
}

int CMyTestDlg::ReadProgramResult(CMC_CoffFormat& coff, const char* name, double& value, const char* zeroOrLessText)
{
    if (!GetUserVariableValue(&coff, name, value, m_strError)) {
        FailWithHostReason();
        return 0;
    }
    if (value == kUnreadableValue) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    // Written as "not above" so that a NaN fails too.
    if (zeroOrLessText != nullptr && !(value > 0.0)) {
        Fail(zeroOrLessText);
        return 0;
    }
    return 1;
}

int CMyTestDlg::ReadDriveVariable(const char* name, bool internalUnit, double& value)
{
    CMC_Variable* variable = m_setup->FindVariable(name, 1);
    if (variable == nullptr) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    if (!variable->ReadFromChip()) {
        const rurorade::DriveLink* link = m_setup->GetDriveLink();
        const std::string text = link ? link->GetLastErrorText() : "";
        Fail(text.empty() ? std::string(msc_pszErrInternal) : text);
        return 0;
    }
    value = internalUnit ? variable->GetValueInInternalUnit() : variable->GetValueInBaseUnit();
    return 1;
}

int CMyTestDlg::EndPositioning(CMC_CoffFormat& positioning, double& reference, double& increment)
{
    double result = 0.0;
    return ReadProgramResult(positioning, "In1", result, msc_pszErrInZero) &&
           ReadDriveVariable("REFTST_V", true, reference) && ReadDriveVariable("RINCTST_V", true, increment);
}

int CMyTestDlg::UploadLoggedPoints(CMC_Logger* logger, std::vector<std::vector<double>>& points)
{
    points.clear();
    if (logger == nullptr || !logger->BeginUploadData()) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    // One leading time value, then one value per logged variable.
    std::vector<double> point(logger->Request().variables.size() + 1, 0.0);
    while (logger->ReadPoint(point.data())) points.push_back(point);
    logger->EndUploadData();
    return 1;
}

int CMyTestDlg::UploadResults(CMC_Logger* logger, CGraphWindow* graph, const char* uploadingText, bool succeed)
{
    if (logger == nullptr || !logger->BeginUploadData()) {
        Fail(msc_pszErrInternal);
        return 0;
    }
    if (graph) graph->Invalidate();
    if (uploadingText) SetInfoText(uploadingText);
    if (graph) graph->DoZoomOut();
    while (logger->ReadPoint(nullptr)) {
        if (graph) graph->UpdateLastPoint();
        PumpMessages();
        if (m_bContinuousRun && m_bStopRequest) break;
        if (!m_bTestRunning && !m_bContinuousRun) {
            // Stopped by the user while the data came in: no result.
            if (graph) graph->DoZoomOut();
            logger->EndUploadData();
            return 0;
        }
    }
    logger->EndUploadData();
    if (graph) graph->DoZoomOut();
    if (succeed) TestSucceeded(1);
    return 1;
}

void CMyTestDlg::Fail(const std::string& text)
{
    m_strError = text;
    TestFailed(1);
}

bool CMyTestDlg::MeasuredWithinLimits(CMC_Parameter& parameter, const char* what, double value)
{
    const double min = parameter.GetMinInBaseUnit(), max = parameter.GetMaxInBaseUnit();
    if (value >= min && value <= max) return true;
    std::string unit(parameter.GetUnit().baseName);
    while (!unit.empty() && unit.back() == ' ') unit.pop_back();  // "V " is the bus voltage's family
    if (!unit.empty()) unit.insert(0, " ");
    char text[400];
    std::snprintf(text, sizeof text,
                  "The measured %s, %g%s, lies outside the limits of \"%s\" (%g to %g%s). The setup keeps its value.",
                  what, value, unit.c_str(), parameter.GetName().c_str(), min, max, unit.c_str());
    Fail(text);
    return false;
}

void CMyTestDlg::FailWithHostReason()
{
    if (m_strError.empty()) m_strError = msc_pszErrInternal;
    TestFailed(1);
}

void CMyTestDlg::LoadProgram(CMC_CoffFormat& coff, const char* name)
{
    // A program that cannot be loaded is reported when the test tries to start it.
    coff.ReadCoff(GetOutPathName(name).c_str());
}

void CMyTestDlg::ShowHelp(int topic)
{
    const std::string file = GetHelpFileOfGUI(m_setup);
    if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, topic);
}

std::string CMyTestDlg::ChangedValueLine(const char* label, const std::string& oldText, const std::string& newText)
{
    return std::string(label) + ":\tOld = " + oldText + "\tNew = " + newText + "\r\n";
}

int CMyTestDlg::AskToSaveNewValues(const std::string& lines)
{
    return MessageBox(kQuestionHead + lines + kQuestionTail, GetTitle(), rurorade::MB_YESNOCANCEL | rurorade::MB_ICONQUESTION);
}
