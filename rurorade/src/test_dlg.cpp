#include "rurorade/test_dlg.h"

#include <cmath>

using rurorade::ControlKind;
using rurorade::DriveLink;
using rurorade::UiContext;

const char* const CMC_TestDlg::msc_pszErrInternal =
    "An internal error occurred while running the test. Check the drive connection and try again.";
const char* const CMC_TestDlg::msc_pszErrInZero =
    "The preliminary test did not find a valid result. Check the motor connections and try again.";

namespace {

const char* const kNoDrive = "No drive is connected.";

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The link's own reason, or `fallback` when it gave none.
std::string LinkReason(const DriveLink& link, const std::string& fallback)
{
    std::string reason = link.GetLastErrorText();
    return reason.empty() ? fallback : reason;
}

}  // namespace

// ---- graph window ----

int CGraphWindow::SubclassDlgItem(int id, CMC_EditSetupDlg* parent)
{
    m_controlId = id;
    if (parent == nullptr || parent->GetControl(id) == nullptr) return 0;
    parent->RegisterDrawing({id, this});
    return 1;
}

// ---- test dialog ----

CMC_TestDlg::CMC_TestDlg(CMC_Setup* setup, int templateId, int flag, void* parent)
    : CMC_EditSetupDlg(setup, templateId, flag, nullptr, parent)
{
    auto frame = [&](int id, ControlKind kind, const char* text) {
        if (GetControl(id) != nullptr) return;
        SetChildText(id, text);
        GetControl(id)->kind = kind;
    };
    frame(kStartStopId, ControlKind::Button, "Start");
    frame(kStatusId, ControlKind::Static, "");
    frame(kResultIconId, ControlKind::Image, "");
    frame(kDetailsId, ControlKind::Button, "Details");
    frame(rurorade::IDCANCEL, ControlKind::Button, "Close");
    UpdateFrame();
}

CMC_TestDlg::~CMC_TestDlg() = default;

int CMC_TestDlg::OnInitDialog()
{
    const int result = CMC_EditSetupDlg::OnInitDialog();
    UpdateFrame();
    return result;
}

void CMC_TestDlg::UpdateFrame()
{
    SetChildText(kStartStopId, m_bTestRunning ? "Stop" : "Start");
    SetButtonImage(kResultIconId, m_resultImage.c_str());
    // "Details" belongs to the run's page: never shown on the parameters page.
    const bool onParametersPage = !m_pages.empty() && m_page == 0;
    ShowChild(kDetailsId, m_bShowDetails && !onParametersPage ? 1 : 0);
}

void CMC_TestDlg::SetStatus(const std::string& text, bool notify)
{
    SetChildText(kStatusId, text.c_str());
    if (!notify) return;
    if (rurorade::UiDriver* driver = UiContext::Get().Driver()) driver->StatusChanged(*this, text);
}

// ---- run ----

void CMC_TestDlg::OnBtnStartStop()
{
    if (m_bTestRunning) {
        StopTest();
    } else {
        m_strError.clear();
        m_bStopRequest = false;
        m_bShowDetails = false;
        m_resultImage.clear();
        SetStatus("", false);
        UpdateFrame();
        BeginTest();
    }
    UpdateFrame();
}

void CMC_TestDlg::BeginTest()
{
    m_bTestRunning = true;
    m_bStopRequest = false;
    m_nResult = -1;
    m_nStepIndex = 0;
    UpdateFrame();
}

void CMC_TestDlg::StopTest()
{
    m_bStopRequest = true;
    if (m_bContinuousRun || m_nStopRequestKind == 1) {
        UpdateFrame();
        return;
    }
    m_bTestRunning = false;
    KillTimer(kTestTimerId);
    if (DriveLink* link = GetDriveLink()) link->StopProgram();  // halts the drive too
    SetStatus("Test stopped", true);
    UpdateFrame();
}

void CMC_TestDlg::AbortRun()
{
    if (!m_bTestRunning) return;
    m_bTestRunning = false;
    m_bContinuousRun = false;
    m_bStopRequest = true;
    KillTimer(kTestTimerId);
    if (DriveLink* link = GetDriveLink()) link->StopProgram();
    UpdateFrame();
}

void CMC_TestDlg::SetInfoText(const char* text)
{
    SetStatus(text ? text : "", true);
    ++m_nStepIndex;
    UpdateFrame();
}

void CMC_TestDlg::TestSucceeded(int final)
{
    if (final) {
        m_bTestRunning = false;
        m_nResult = 1;
        KillTimer(kTestTimerId);
    }
    const bool changed = GetChildText(kStatusId) != "Test succeeded";
    m_bShowDetails = false;
    m_resultImage = "TEST_OK";
    SetStatus("Test succeeded", final != 0 || changed);
    UpdateFrame();
}

void CMC_TestDlg::TestFailed(int final)
{
    if (final) {
        m_bTestRunning = false;
        m_nResult = 0;
        KillTimer(kTestTimerId);
        // "Details" must have something to tell.
        if (m_strError.empty()) m_strError = msc_pszErrInternal;
    }
    const bool changed = GetChildText(kStatusId) != "Test failed";
    m_bShowDetails = true;
    m_resultImage = "TEST_FAILED";
    SetStatus("Test failed", final != 0 || changed);
    UpdateFrame();
}

void CMC_TestDlg::OnDetails()
{
    const int help = m_nDetailsHelpTopic != 0 ? rurorade::MB_HELP : 0;
    const int answer =
        MessageBox(m_strError.empty() ? std::string("The test did not report a reason for its failure.") : m_strError,
                   GetTitle(), rurorade::MB_OK | rurorade::MB_ICONERROR | help);
    if (help && answer == rurorade::IDHELP) {
        const std::string file = GetHelpFileOfGUI(m_setup);
        if (!file.empty()) rurorade::UiContext::Get().ShowHelp(GetGUIDirectory() + "/" + file, m_nDetailsHelpTopic);
    }
}

// ---- drive programs ----

rurorade::DriveLink* CMC_TestDlg::GetDriveLink() const { return m_setup ? m_setup->GetDriveLink() : nullptr; }

std::string CMC_TestDlg::GetOutPathName(const char* name)
{
    return rurorade::ProgramsDirectory() + "/" + (name ? name : "") + ".coff";
}

int CMC_TestDlg::ExecuteCode(const char* name, CMC_CoffFormat* coff, CMC_Logger* logger,
                             bool (*progress)(int, const char*, float, void*), void* context)
{
    if (name == nullptr || *name == '\0') {
        m_strError = "No drive program section was given.";
        return 0;
    }
    if (coff != nullptr && !coff->IsLoaded()) {
        m_strError = "The drive program for " + Quoted(name) + " is not loaded.";
        return 0;
    }
    DriveLink* link = GetDriveLink();
    if (link == nullptr) {
        m_strError = kNoDrive;
        return 0;
    }
    if (progress != nullptr && !progress(0, name, 0.0f, context)) {
        m_strError = "The start of the drive program " + Quoted(name) + " was cancelled.";
        return 0;
    }
    const std::string program = coff != nullptr ? coff->ProgramName() : std::string(name);
    if (!link->StartProgram(program, name, logger != nullptr ? &logger->Request() : nullptr)) {
        m_strError = LinkReason(*link, "The drive program " + Quoted(name) + " could not be started.");
        return 0;
    }
    if (progress != nullptr) progress(100, name, 1.0f, context);
    return 1;
}

namespace {

// The reasons a user variable cannot be reached before the drive is asked; empty when it can.
std::string UserVariableProblem(const CMC_CoffFormat* coff, const char* name, const DriveLink* link)
{
    if (name == nullptr || *name == '\0') return "No user variable name was given.";
    if (coff == nullptr || !coff->IsLoaded()) return "The drive program for the user variable " + Quoted(name) + " is not loaded.";
    if (!coff->HasUserVariable(name))
        return "The drive program " + Quoted(coff->ProgramName()) + " has no user variable " + Quoted(name) + ".";
    if (link == nullptr) return kNoDrive;
    return "";
}

}  // namespace

int CMC_TestDlg::SetUserVariableValue(CMC_CoffFormat* coff, const char* name, double value, std::string& errorText)
{
    DriveLink* link = GetDriveLink();
    std::string problem = UserVariableProblem(coff, name, link);
    if (problem.empty() && !std::isfinite(value))
        problem = "The value for the user variable " + Quoted(name) + " is not a finite number.";
    if (!problem.empty()) {
        errorText = problem;
        return 0;
    }
    if (!link->SetUserVariable(coff->ProgramName(), name, value)) {
        errorText = "Cannot write the user variable " + Quoted(name) + " of the drive program " +
                    Quoted(coff->ProgramName()) + ": " + LinkReason(*link, "the drive refused it.");
        return 0;
    }
    return 1;
}

int CMC_TestDlg::GetUserVariableValue(CMC_CoffFormat* coff, const char* name, double& value, std::string& errorText)
{
    DriveLink* link = GetDriveLink();
    const std::string problem = UserVariableProblem(coff, name, link);
    if (!problem.empty()) {
        errorText = problem;
        return 0;
    }
    double read = 0.0;
    if (!link->GetUserVariable(coff->ProgramName(), name, read)) {
        errorText = "Cannot read the user variable " + Quoted(name) + " of the drive program " +
                    Quoted(coff->ProgramName()) + ": " + LinkReason(*link, "the drive did not answer.");
        return 0;
    }
    // A NaN or infinity would slip through every "zero or less" check into the setup.
    if (!std::isfinite(read)) {
        errorText = "The drive program " + Quoted(coff->ProgramName()) + " delivered no valid value for the user variable " +
                    Quoted(name) + ".";
        return 0;
    }
    value = read;
    return 1;
}

int CMC_TestDlg::GetAxisOn(bool& on)
{
    DriveLink* link = GetDriveLink();
    if (link == nullptr) {
        m_strError = kNoDrive;
        return 0;
    }
    bool state = false;
    if (!link->GetAxisOn(state)) {
        m_strError = LinkReason(*link, "The drive did not report whether its power stage is on.");
        return 0;
    }
    on = state;
    return 1;
}

// ---- tab pages ----

int CMC_TestDlg::AddTabPage(const std::string& title, const std::vector<int>& controls)
{
    const bool fromTemplate = GetControl(kTabId) != nullptr;
    AddItem(kTabId, title);
    if (!fromTemplate) GetControl(kTabId)->kind = ControlKind::Combo;
    m_pages.push_back({title, controls});
    // A tabbed test opens on its first page; pages added later stay hidden until chosen.
    SelectTabPage(m_page < 0 ? 0 : m_page);
    return static_cast<int>(m_pages.size()) - 1;
}

void CMC_TestDlg::SelectTabPage(int index)
{
    if (index < 0 || index >= static_cast<int>(m_pages.size())) return;
    for (int i = 0; i < static_cast<int>(m_pages.size()); ++i)
        if (i != index)
            for (int id : m_pages[static_cast<std::size_t>(i)].controls) ShowChild(id, 0);
    // Shown last, so a control listed on several pages stays visible.
    for (int id : m_pages[static_cast<std::size_t>(index)].controls) ShowChild(id, 1);
    m_page = index;
    SetSelection(kTabId, index);
    UpdateFrame();
}

bool CMC_TestDlg::OnTabPageChanging(int from, int /*to*/) { return !(from == 1 && m_bTestRunning); }

void CMC_TestDlg::OnTabPageChanged(int page)
{
    if (page == 1) {
        if (m_nResult == 1)
            TestSucceeded(0);
        else if (!m_strError.empty())
            TestFailed(0);
    }
    DoDataExchange(false);
}

// ---- notifications ----

void CMC_TestDlg::OnCommand(int id)
{
    if (id == kStartStopId) return OnBtnStartStop();
    if (id == kDetailsId) return OnDetails();
    if (id == kSavePlotsId) {
        if (m_plotLogger && !m_bTestRunning) m_plotLogger->SaveGraph(m_plotName.c_str());
        return;
    }
    CMC_EditSetupDlg::OnCommand(id);
}

void CMC_TestDlg::OnSelChange(int id)
{
    if (id != kTabId || m_pages.empty()) return CMC_EditSetupDlg::OnSelChange(id);
    const int to = GetSelection(kTabId);
    const int from = m_page;
    if (to == from) return;
    if (!OnTabPageChanging(from, to)) {
        SetSelection(kTabId, from);
        return;
    }
    SelectTabPage(to);
    OnTabPageChanged(to);
}

void CMC_TestDlg::OnTimer(int id)
{
    if (id == kTestTimerId && !m_bTestRunning) {
        KillTimer(id);
        return;
    }
    CMC_EditSetupDlg::OnTimer(id);
}

void CMC_TestDlg::OnOK()
{
    AbortRun();
    CMC_EditSetupDlg::OnOK();
}

void CMC_TestDlg::OnCancel()
{
    AbortRun();
    CMC_EditSetupDlg::OnCancel();
}
