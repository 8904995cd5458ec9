// The host's test dialog: frame controls, run state, drive programs and user variables through a
// scripted fake drive, program images, loggers, CSV export, tab pages and modal runs.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>
#include <map>
#include <optional>
#include <sstream>
#include <tuple>
#include <type_traits>
#include <unistd.h>
#include <utility>

#include "rurorade/host_errors.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"
#include "rurorade/test_dlg.h"

namespace {

using enum rurorade::ControlKind;
using rurorade::UiContext;
using Texts = std::vector<std::string>;

constexpr int kTemplate = 9950;        // a test without the frame controls
constexpr int kFramedTemplate = 9951;  // a test whose template already has some of them
constexpr const char* kProgram = "Initial_Positioning_Test";
constexpr int kStart = CMC_TestDlg::kStartStopId, kStatus = CMC_TestDlg::kStatusId, kDetails = CMC_TestDlg::kDetailsId,
              kTab = CMC_TestDlg::kTabId;

// A drive whose programs run with the axis on for 100 ms after a start; a finished run has stored
// `results` in its user variables.
class FakeLink : public rurorade::DriveLink {
public:
    explicit FakeLink(const rurorade::Clock& clock) : m_clock(clock) {}
    bool WriteParameter(const CMC_Parameter&) override { return true; }
    bool ReadVariable(CMC_Variable&) override { return false; }
    bool WriteVariable(const CMC_Variable&) override { return true; }
    bool ExecuteString(const std::string&) override { return true; }
    bool StopProgram() override { return ++stops, true; }
    int stops = 0;
    std::string GetLastErrorText() const override { return m_lastError; }
    bool SetUserVariable(const std::string& program, const std::string& name, double value) override
    {
        if (refuseWrites) return Fail("Checksum error on the link.");
        userVariables[program][name] = value;
        writes.push_back(program + "." + name);
        return true;
    }
    bool GetUserVariable(const std::string& program, const std::string& name, double& value) override
    {
        if (refuseReads) return Fail("Timeout while reading from the drive.");
        if (program == m_running && !AxisOn())
            for (const auto& [n, v] : results) userVariables[program][n] = v;
        value = userVariables[program][name];
        return true;
    }
    bool StartProgram(const std::string& program, const std::string& section, const rurorade::LoggerRequest* logger) override
    {
        if (refuseStart) return Fail(startError);
        starts.push_back(program + "/" + section + (logger ? " logging" : ""));
        for (const std::string& v : logger ? logger->variables : Texts{}) starts.back() += " " + v;
        m_running = program;
        m_startedAt = m_clock.NowMs();
        return true;
    }
    // These two fill their out-parameter even when they fail.
    bool GetAxisOn(bool& on) override { on = AxisOn(); return !refuseAxis || Fail("No answer to the axis query."); }
    bool UploadLog(std::vector<std::vector<double>>& points) override { points = log; return !refuseUpload || Fail("Upload failed."); }

    std::map<std::string, double> results;
    std::map<std::string, std::map<std::string, double>> userVariables;
    std::vector<std::vector<double>> log;
    Texts writes;
    Texts starts;  // "program/section", then " logging" and the logged variables
    bool refuseWrites = false, refuseReads = false, refuseStart = false, refuseAxis = false, refuseUpload = false;
    std::string startError = "Program download failed.";

private:
    bool Fail(const std::string& text) { m_lastError = text; return false; }
    bool AxisOn() const { return !m_running.empty() && m_clock.NowMs() - m_startedAt < 100; }
    const rurorade::Clock& m_clock;
    std::string m_running, m_lastError;
    std::int64_t m_startedAt = 0;
};

// Records status texts and message boxes; used where a test calls the dialog directly.
class RecordingDriver : public rurorade::UiDriver {
public:
    rurorade::UiEvent NextEvent(CMC_EditSetupDlg&) override { return rurorade::UiEvent::Of(rurorade::UiEvent::Quit); }
    int AnswerMessageBox(const std::string& text, const std::string&, int type) override
    {
        messages.push_back(text);
        types.push_back(type);
        return rurorade::IDOK;
    }
    void StatusChanged(CMC_EditSetupDlg&, const std::string& text) override { statuses.push_back(text); }
    Texts messages, statuses;
    std::vector<int> types;
};

// A minimal test following the common protocol: writes "In1", runs the positioning program with
// the logger, polls the axis on timer 1 and, once it is off, stores the program's "In1" in R.
class ProbeTest : public CMC_TestDlg {
public:
    explicit ProbeTest(CMC_Setup* setup, int templateId = kTemplate) : CMC_TestDlg(setup, templateId, 1, nullptr)
    {
        AddParameterControls("R", 1002, 0);
        logger.AddVariable("IQ", 1);
    }
    int OnInitDialog() override { coff.ReadCoff(GetOutPathName(kProgram).c_str()); return CMC_TestDlg::OnInitDialog(); }
    void BeginTest() override
    {
        CMC_TestDlg::BeginTest();
        SetInfoText("Launching test");
        if (!SetUserVariableValue(&coff, "In1", 7, m_strError) || !ExecuteCode(kProgram, &coff, &logger)) return TestFailed(1);
        SetInfoText("Running test");
        SetTimer(kTestTimerId, 20);
    }
    void OnTimer(int id) override  // the result calls end the run and kill the timer
    {
        if (id != kTestTimerId || !m_bTestRunning) return CMC_TestDlg::OnTimer(id);
        bool on = false;
        double result = 0;
        if (!GetAxisOn(on) || (!on && !GetUserVariableValue(&coff, "In1", result, m_strError))) return TestFailed(1);
        if (on) return;
        if (result <= 0) {
            m_strError = msc_pszErrInZero;
            return TestFailed(1);
        }
        m_setup->SetParameterValueInBaseUnit("R", result);
        RefreshParameterControls("R");
        SetInfoText("Test finished");
        TestSucceeded(1);
    }

    CMC_CoffFormat coff;
    CMC_SingleAxisLogger logger{m_setup, &coff};
};

// "running"/"idle" and the result | Start/Stop text | status | result icon | "Details" when shown.
std::string State(CMC_TestDlg& dlg)
{
    return (dlg.m_bTestRunning ? "running " : "idle ") + std::to_string(dlg.m_nResult) + "|" + dlg.GetChildText(kStart) +
           "|" + dlg.GetChildText(kStatus) + "|" + dlg.GetControl(CMC_TestDlg::kResultIconId)->image + "|" +
           (dlg.GetControl(kDetails)->visible ? "Details" : "");
}

class TestDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        rurorade::RegisterDialogTemplate({kTemplate, "Probe Test", {{1, Button, "OK", ""}, {1002, Edit, "", ""},
                                          {1361, Static, "Graph", ""}, {1377, Static, "Procedure", ""}}});
        rurorade::RegisterDialogTemplate({kFramedTemplate, "Framed Test", {{2, Button, "Cancel", ""}, {10001, Edit, "Ready", ""}}});
        UiContext::Get().SetClock(&clock);
        UiContext::Get().SetDriver(&recorder);
        m_savedShow = std::exchange(g_bShowErrors, 1);
        rurorade::ErrorSink().Clear();
        if (const char* programs = std::getenv("ZEK_PROGRAMS_DIR")) m_savedPrograms = programs;
        unsetenv("ZEK_PROGRAMS_DIR");  // the shipped program images
        std::filesystem::create_directories(dir);
        std::string error;
        setup = rurorade::LoadSetupText(R"({"schema":"zeksetup-1","parameters":{"R":{"value":0.9,"min":0,"max":100}},
            "variables":{"IQ":{},"ID":{},"MER":{}}})", "test", error);
        ASSERT_TRUE(setup) << error;
        setup->SetDriveLink(&link);
    }
    void TearDown() override
    {
        UiContext::Get().SetDriver(nullptr);
        UiContext::Get().SetClock(nullptr);
        g_bShowErrors = m_savedShow;
        if (m_savedPrograms) setenv("ZEK_PROGRAMS_DIR", m_savedPrograms->c_str(), 1);
        else unsetenv("ZEK_PROGRAMS_DIR");
        std::filesystem::remove_all(dir);
    }
    // A new dialog, opened as the host does before the modal loop takes over.
    ProbeTest& Open()
    {
        dialog = std::make_unique<ProbeTest>(setup.get());
        dialog->OnInitDialog();
        return *dialog;
    }
    double R() const { return setup->GetParameterValueInBaseUnit("R"); }

    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zek-test-dlg-" + std::to_string(::getpid()));
    rurorade::VirtualClock clock;
    RecordingDriver recorder;
    FakeLink link{clock};
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<ProbeTest> dialog;
    int m_savedShow = 1;
    std::optional<std::string> m_savedPrograms;
};

TEST_F(TestDlgTest, FrameControlsAreAddedUnlessTheTemplateHasThem)
{
    ProbeTest dlg(setup.get());
    const std::tuple<int, rurorade::ControlKind, std::string> frame[] = {{kStart, Button, "Start"}, {kStatus, Static, ""},
        {CMC_TestDlg::kResultIconId, Image, ""}, {kDetails, Button, "Details"}, {rurorade::IDCANCEL, Button, "Close"}};
    for (const auto& [id, kind, text] : frame) {
        ASSERT_NE(dlg.GetControl(id), nullptr) << id;
        EXPECT_EQ(std::tie(dlg.GetControl(id)->kind, dlg.GetControl(id)->text), std::tie(kind, text)) << id;
    }
    EXPECT_EQ(State(dlg), "idle 0|Start|||");
    EXPECT_EQ(dlg.GuideStepCount(), 0);
    ProbeTest framed(setup.get(), kFramedTemplate);
    EXPECT_EQ(framed.GetTitle() + "|" + framed.GetChildText(rurorade::IDCANCEL) + "|" + framed.GetChildText(kStatus),
              "Framed Test|Cancel|Ready");
    EXPECT_EQ(framed.GetControl(kStatus)->kind, Edit);

    // A graph window draws onto a static control of the dialog; it keeps the id even when there is none.
    CGraphWindow graph(2, 0), scope(4, 0);
    EXPECT_EQ(graph.SubclassDlgItem(1361, &dlg), 1);
    EXPECT_EQ(scope.SubclassDlgItem(1362, &dlg), 0);
    EXPECT_EQ(graph.ControlId(), 1361);
    EXPECT_EQ(scope.ControlId(), 1362);
}

TEST_F(TestDlgTest, AFailedRunShowsItsReasonUntilANewRunStarts)
{
    ProbeTest& dlg = Open();
    link.results["In1"] = 0;
    dlg.Click(kStart);
    UiContext::Get().RunFor(300);
    EXPECT_EQ(State(dlg), "idle 0|Start|Test failed|TEST_FAILED|Details");
    EXPECT_EQ(R(), 0.9);
    dlg.Click(kDetails);
    EXPECT_EQ(recorder.messages, Texts{CMC_TestDlg::msc_pszErrInZero});
    EXPECT_EQ(recorder.types, std::vector<int>{rurorade::MB_OK | rurorade::MB_ICONERROR});

    link.results["In1"] = 2;
    dlg.Click(kStart);
    EXPECT_EQ(dlg.m_strError, "");
    EXPECT_EQ(dlg.m_nStepIndex, 2);  // counted from 0 again
    EXPECT_EQ(State(dlg), "running -1|Stop|Running test||");
    UiContext::Get().RunFor(300);
    EXPECT_EQ(State(dlg), "idle 1|Start|Test succeeded|TEST_OK|");

    link.refuseStart = true;  // a failure while starting ends the run at once
    dlg.Click(kStart);
    EXPECT_EQ(State(dlg), "idle 0|Start|Test failed|TEST_FAILED|Details");
    EXPECT_EQ(dlg.m_strError, "Program download failed.");
}

TEST_F(TestDlgTest, StopEndsARunUnlessTheTestEndsItselfOnTheRequestAndClosingAlwaysDoes)
{
    ProbeTest& dlg = Open();
    dlg.Click(kStart);
    UiContext::Get().RunFor(50);
    dlg.Click(kStart);
    EXPECT_EQ(State(dlg), "idle -1|Start|Test stopped||");
    EXPECT_TRUE(dlg.m_bStopRequest);
    EXPECT_FALSE(UiContext::Get().HasTimers());
    dlg.SetTimer(CMC_TestDlg::kTestTimerId, 20);  // timer 1 without a running test is killed
    UiContext::Get().RunFor(20);
    EXPECT_FALSE(UiContext::Get().HasTimers());

    for (int kind : {0, 1}) {  // 0: a continuous run; 1: the test polls the request
        dlg.Click(kStart);
        EXPECT_FALSE(dlg.m_bStopRequest) << kind;
        dlg.m_nStopRequestKind = kind;
        dlg.m_bContinuousRun = kind == 0;
        dlg.Click(kStart);
        EXPECT_TRUE(dlg.m_bStopRequest) << kind;
        EXPECT_EQ(State(dlg), "running -1|Stop|Running test||") << kind;
        EXPECT_TRUE(UiContext::Get().HasTimers()) << kind;
        dlg.OnCancel();
        EXPECT_FALSE(dlg.m_bTestRunning || dlg.m_bContinuousRun || UiContext::Get().HasTimers()) << kind;
    }
}

TEST_F(TestDlgTest, StepTextsAndResultsAreShownAndAFailureAlwaysHasAReason)
{
    static_assert(std::is_same_v<decltype(CMC_TestDlg::m_nStepIndex), std::uint16_t>);  // wraps at 16 bits
    ProbeTest dlg(setup.get());
    dlg.SetInfoText("one");
    dlg.SetInfoText(nullptr);
    EXPECT_EQ(dlg.m_nStepIndex, 2);
    EXPECT_EQ(recorder.statuses, (Texts{"one", ""}));

    dlg.Click(kDetails);  // hidden
    EXPECT_TRUE(recorder.messages.empty());
    dlg.TestFailed(1);
    dlg.Click(kDetails);
    EXPECT_EQ(recorder.messages, Texts{CMC_TestDlg::msc_pszErrInternal});
    dlg.TestSucceeded(0);  // shows a result without storing one
    EXPECT_EQ(State(dlg), "idle 0|Start|Test succeeded|TEST_OK|");
}

TEST_F(TestDlgTest, UserVariablesCrossTheLinkOrFailWithTheirReason)
{
    ProbeTest& dlg = Open();
    std::string error;
    double value = 0;
    ASSERT_EQ(dlg.SetUserVariableValue(&dlg.coff, "In1", -3, error), 1) << error;
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 1);
    EXPECT_EQ(value, -3);
    link.userVariables[kProgram]["In1"] = 1.2345e100;  // the unreadable marker passes to the test
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 1);
    EXPECT_EQ(value, 1.2345e100);
    EXPECT_EQ(error, "");

    // A failure returns 0 and the reason, and leaves the value alone.
    const auto set = [&](CMC_CoffFormat* coff, const char* name, double v) {
        std::string e;
        return dlg.SetUserVariableValue(coff, name, v, e) == 0 ? e : "(written)";
    };
    const auto get = [&](CMC_CoffFormat* coff, const char* name) {
        std::string e;
        double v = 5;
        return dlg.GetUserVariableValue(coff, name, v, e) == 0 && v == 5 ? e : "(read or changed the value)";
    };
    const std::string program = "the drive program \"Initial_Positioning_Test\"";
    link.writes.clear();
    EXPECT_EQ(get(&dlg.coff, ""), "No user variable name was given.");
    EXPECT_EQ(set(&dlg.coff, "Imax_Prot_Test", 1), "The drive program \"Initial_Positioning_Test\" has no user variable \"Imax_Prot_Test\".");
    EXPECT_EQ(get(&dlg.coff, "test_flag"), "The drive program \"Initial_Positioning_Test\" has no user variable \"test_flag\".");
    CMC_CoffFormat unloaded;
    EXPECT_EQ(set(&unloaded, "In1", 1), "The drive program for the user variable \"In1\" is not loaded.");
    EXPECT_EQ(get(nullptr, "In1"), "The drive program for the user variable \"In1\" is not loaded.");
    EXPECT_EQ(set(&dlg.coff, "In1", std::numeric_limits<double>::quiet_NaN()),
              "The value for the user variable \"In1\" is not a finite number.");
    EXPECT_TRUE(link.writes.empty());  // nothing crossed the link so far
    link.userVariables[kProgram]["In1"] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(get(&dlg.coff, "In1"),
              "The drive program \"Initial_Positioning_Test\" delivered no valid value for the user variable \"In1\".");
    link.refuseWrites = link.refuseReads = true;
    EXPECT_EQ(set(&dlg.coff, "In1", 1), "Cannot write the user variable \"In1\" of " + program + ": Checksum error on the link.");
    EXPECT_EQ(get(&dlg.coff, "In1"), "Cannot read the user variable \"In1\" of " + program + ": Timeout while reading from the drive.");
    setup->SetDriveLink(nullptr);
    EXPECT_EQ(set(&dlg.coff, "In1", 1), "No drive is connected.");
    EXPECT_EQ(get(&dlg.coff, "In1"), "No drive is connected.");
}

TEST_F(TestDlgTest, ProgramsAndTheAxisStateGoThroughTheLinkOrFailWithTheirReason)
{
    ProbeTest& dlg = Open();
    struct Progress { std::vector<int> percents; bool allow = true; } progress;
    const auto callback = [](int percent, const char*, float, void* p) {
        static_cast<Progress*>(p)->percents.push_back(percent);
        return static_cast<Progress*>(p)->allow;
    };
    // Without a program image the section is started as the program; progress comes at 0 and 100 %.
    EXPECT_EQ(dlg.ExecuteCode("Analogue_Reference_Test", nullptr, nullptr, callback, &progress), 1);
    EXPECT_EQ(progress.percents, (std::vector<int>{0, 100}));
    EXPECT_EQ(link.starts, Texts{"Analogue_Reference_Test/Analogue_Reference_Test"});

    const auto fail = [&](const char* name, CMC_CoffFormat* coff) {
        return dlg.ExecuteCode(name, coff, nullptr, callback, &progress) == 0 ? dlg.m_strError : "(started)";
    };
    CMC_CoffFormat unloaded;
    EXPECT_EQ(fail(nullptr, &dlg.coff), "No drive program section was given.");
    EXPECT_EQ(fail("Ident_R_or_Rs", &unloaded), "The drive program for \"Ident_R_or_Rs\" is not loaded.");
    progress.allow = false;
    EXPECT_EQ(fail("Analogue_Reference_Test", nullptr), "The start of the drive program \"Analogue_Reference_Test\" was cancelled.");
    progress.allow = link.refuseStart = true;
    EXPECT_EQ(fail(kProgram, &dlg.coff), "Program download failed.");
    link.startError = "";
    EXPECT_EQ(fail(kProgram, &dlg.coff), "The drive program \"Initial_Positioning_Test\" could not be started.");
    EXPECT_EQ(link.starts.size(), 1u);

    bool on = false;
    EXPECT_EQ(dlg.GetAxisOn(on), 1);
    EXPECT_TRUE(on);  // the program started above runs
    link.refuseAxis = true;
    on = false;
    EXPECT_EQ(dlg.GetAxisOn(on), 0);
    EXPECT_FALSE(on);
    EXPECT_EQ(dlg.m_strError, "No answer to the axis query.");
    setup->SetDriveLink(nullptr);
    EXPECT_EQ(fail(kProgram, &dlg.coff), "No drive is connected.");
    dlg.m_strError.clear();
    EXPECT_EQ(dlg.GetAxisOn(on), 0);
    EXPECT_EQ(dlg.m_strError, "No drive is connected.");
}

TEST_F(TestDlgTest, ProgramImagesAreReadFromTheProgramsFolderAndABadOneIsNotLoaded)
{
    const std::map<std::string, Texts> shipped = {{"VDC_Detection_Test", {"STARTED"}},
                                                  {"Initial_Positioning_Test", {"STARTED", "In1"}},
                                                  {"Ident_R_or_Rs", {"STARTED", "RefTest", "RIncTest", "In1"}},
                                                  {"Ident_L_or_Tau_el", {"STARTED", "In1"}}};
    for (const auto& [name, variables] : shipped) {
        CMC_CoffFormat coff;
        ASSERT_EQ(coff.ReadCoff(CMC_TestDlg::GetOutPathName(name.c_str()).c_str()), 1) << name;
        EXPECT_EQ(coff.ProgramName(), name);
        EXPECT_EQ(coff.UserVariables(), variables) << name;
        EXPECT_TRUE(coff.HasUserVariable("STARTED") && !coff.HasUserVariable("started")) << name;
    }
    setenv("ZEK_PROGRAMS_DIR", "/tmp/zek-programs", 1);
    EXPECT_EQ(CMC_TestDlg::GetOutPathName("VDC_Detection_Test"), "/tmp/zek-programs/VDC_Detection_Test.coff");

    const std::string good = (dir / "good.coff").string(), bad = (dir / "bad.coff").string();
    std::ofstream(good) << R"({"program":"Good","userVariables":["STARTED"]})";
    for (const char* text : {"not json", R"(["program"])", R"({"userVariables":["STARTED"]})", R"({"program":""})",
                             R"({"program":"P","userVariables":"STARTED"})", R"({"program":"P","userVariables":[1]})"}) {
        std::ofstream(bad) << text;
        CMC_CoffFormat coff;
        ASSERT_EQ(coff.ReadCoff(good.c_str()), 1);
        EXPECT_EQ(coff.ReadCoff(bad.c_str()), 0) << text;  // and forgets the image read before
        EXPECT_TRUE(!coff.IsLoaded() && coff.UserVariables().empty()) << text;
    }
    CMC_CoffFormat coff;
    EXPECT_EQ(coff.ReadCoff((dir / "absent.coff").c_str()), 0);
    EXPECT_EQ(coff.ReadCoff(nullptr), 0);
    std::ofstream(bad) << R"({"program":"NoVariables"})";
    ASSERT_EQ(coff.ReadCoff(good.c_str()), 1);
    EXPECT_EQ(coff.ReadCoff(bad.c_str()), 1);
    EXPECT_TRUE(coff.UserVariables().empty());
}

TEST_F(TestDlgTest, LoggerSettingsAreClippedAndOnlyVariablesOfTheSetupCanBeLogged)
{
    for (const auto& [asked, clipped] : std::map<int, int>{{0, 1}, {1, 1}, {4096, 4096}, {4097, 4096}})
        EXPECT_EQ(CMC_Logger::CorrectPointsNo(asked), clipped) << asked;
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    const rurorade::LoggerRequest& request = logger.Request();
    EXPECT_EQ(logger.ChangeSettings(100000, 2, 0), 1);
    EXPECT_EQ(std::tie(request.points, request.logType, request.sampling), std::make_tuple(4096, 2, 1));
    logger.ChangeSettings(400, 1, 3);
    EXPECT_EQ(std::tie(request.points, request.sampling), std::make_tuple(400, 3));

    EXPECT_EQ(logger.LocateItems(), 0);
    EXPECT_EQ(logger.AddVariable("IQ", 0), 1);
    EXPECT_EQ(logger.AddVariable("NOPE", 1), 0);
    EXPECT_EQ(rurorade::ErrorSink().reported, Texts{"Variable \"NOPE\" not found in the setup."});
    EXPECT_EQ(logger.AddVariable("ID", 1), 1);
    EXPECT_EQ(request.variables, (Texts{"IQ", "ID"}));
    EXPECT_EQ(logger.LocateItems(), 1);
    logger.Reset();
    EXPECT_EQ(logger.LocateItems(), 0);  // nothing left to log
}

TEST_F(TestDlgTest, UploadDeliversTimeThenEachVariableIntoTheDocumentOrFails)
{
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.AddVariable("IQ", 0);
    logger.AddVariable("ID", 0);
    link.log = {{0, 5, -1}, {5e-05, 7, -2}, {1e-04, 9, -3}};
    double values[3] = {};
    EXPECT_EQ(logger.ReadPoint(values), 0);  // nothing uploaded yet
    ASSERT_EQ(logger.BeginUploadData(), 1);
    EXPECT_EQ(logger.GetDocument().channelNames, (Texts{"t", "IQ", "ID"}));
    ASSERT_EQ(logger.ReadPoint(nullptr), 1);  // into the document only
    std::vector<std::vector<double>> read;
    while (logger.ReadPoint(values)) read.emplace_back(values, values + 3);
    EXPECT_EQ(read, std::vector(link.log.begin() + 1, link.log.end()));
    EXPECT_FALSE(logger.UploadInProgress());
    logger.EndUploadData();
    EXPECT_EQ(logger.GetDocument().points, link.log);  // kept for the graph and SaveGraph
    link.log = {};  // a new upload replaces the document's points
    ASSERT_EQ(logger.BeginUploadData(), 1);
    EXPECT_TRUE(logger.GetDocument().points.empty());
    EXPECT_TRUE(logger.UploadInProgress());

    link.log = {{0, 1, 2}, {1, 2}};  // every point needs the time and both variables
    EXPECT_EQ(logger.BeginUploadData(), 0);
    EXPECT_FALSE(logger.UploadInProgress());
    EXPECT_EQ(logger.ReadPoint(values), 0);
    link.log = {{0, 1, 2}};  // valid, but refused
    link.refuseUpload = true;
    EXPECT_EQ(logger.BeginUploadData(), 0);
    link.refuseUpload = false;
    setup->SetDriveLink(nullptr);  // valid, but no drive to ask
    EXPECT_EQ(logger.BeginUploadData(), 0);
    CMC_ScopeLogger scope(nullptr, nullptr);
    EXPECT_EQ(scope.BeginOrContinueUploadData(), 0);
    EXPECT_EQ(scope.AddVariable("IQ", 1), 0);
}

TEST_F(TestDlgTest, SaveGraphWritesCsvWithShortestRoundTripNumbers)
{
    const auto csv = [&] {
        std::ifstream in(dir / "current.csv", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.AddVariable("IQ", 0);
    logger.AddVariable("ID", 0);
    const std::string base = (dir / "current").string();
    ASSERT_EQ(logger.SaveGraph(base.c_str()), 1);  // before any upload: only the header
    EXPECT_EQ(csv(), "t,IQ,ID\n");
    link.log = {{0, 0.1 + 0.2, -2}, {5e-05, 1.0 / 3.0, 1e21}, {1e-04, -0.0, 1638}};
    ASSERT_EQ(logger.BeginUploadData(), 1);
    while (logger.ReadPoint(nullptr)) continue;
    ASSERT_EQ(logger.SaveGraph(base.c_str()), 1);
    EXPECT_EQ(csv(), "t,IQ,ID\n0,0.30000000000000004,-2\n5e-05,0.3333333333333333,1e+21\n1e-04,-0,1638\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "current.csv.tmp"));
    EXPECT_EQ(logger.SaveGraph((dir / "missing" / "graph").string().c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));

    // "S&ave Plots" saves the test's plots, but not while a test runs.
    ProbeTest& dlg = Open();
    dlg.SetPlots(&logger, (dir / "plots").string());
    dlg.m_bTestRunning = true;
    dlg.OnCommand(CMC_TestDlg::kSavePlotsId);
    EXPECT_FALSE(std::filesystem::exists(dir / "plots.csv"));
    dlg.m_bTestRunning = false;
    dlg.OnCommand(CMC_TestDlg::kSavePlotsId);
    EXPECT_TRUE(std::filesystem::exists(dir / "plots.csv"));
}

TEST_F(TestDlgTest, ModalRunsKeepTheMeasuredValueOnlyOnOkAndClosingEndsARun)
{
    const std::tuple<const char*, int, double> runs[] = {
        {"expect-text 10000 \"Start\"\nexpect-hidden 10003\nclick 10000\nwait 200\n"
         "expect-text 10001 \"Test succeeded\"\nexpect-text 1002 \"3.25\"\nexpect-param R 3.25\ncancel",
         rurorade::IDCANCEL, 0.9},
        {"click 10000\nwait 200\nok", rurorade::IDOK, 3.25},
        {"click 10000\nwait 60\ncancel", rurorade::IDCANCEL, 0.9},
        {"click 10000\nwait 60\nok", rurorade::IDOK, 0.9}};
    for (const auto& [script, result, r] : runs) {
        setup->SetParameterValueInBaseUnit("R", 0.9);
        link.results["In1"] = 3.25;
        std::ostringstream trace;
        rurorade::ScriptDriver driver(trace);
        std::string error;
        ASSERT_TRUE(driver.LoadText(script, "script", error)) << error;
        UiContext::Get().SetDriver(&driver);
        ProbeTest dlg(setup.get());
        EXPECT_EQ(dlg.DoModal(), result) << script;
        EXPECT_EQ(driver.Failure(), "") << trace.str();
        EXPECT_FALSE(dlg.m_bTestRunning || UiContext::Get().HasTimers()) << script;
        EXPECT_EQ(R(), r) << script;
    }
}

}  // namespace
