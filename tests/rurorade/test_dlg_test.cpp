// The host's test dialog: frame controls, run state, drive programs and user variables through a
// scripted fake drive, loggers, CSV export and tab pages.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <limits>
#include <map>
#include <sstream>
#include <unistd.h>

#include "rurorade/host_errors.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"
#include "rurorade/test_dlg.h"

namespace {

using rurorade::ControlKind;
using rurorade::UiContext;

constexpr int kTemplate = 9950;          // a test without the frame controls
constexpr int kFramedTemplate = 9951;    // a test whose template already has some of them
constexpr const char* kProgram = "Initial_Positioning_Test";

void RegisterTemplates()
{
    rurorade::RegisterDialogTemplate({kTemplate,
                                      "Probe Test",
                                      {{1, ControlKind::Button, "OK", ""},
                                       {1002, ControlKind::Edit, "", ""},
                                       {1361, ControlKind::Static, "Graph", ""},
                                       {1377, ControlKind::Static, "Procedure", ""}}});
    rurorade::RegisterDialogTemplate({kFramedTemplate,
                                      "Framed Test",
                                      {{2, ControlKind::Button, "Cancel", ""}, {10001, ControlKind::Edit, "Ready", ""}}});
}

// A drive whose programs behave as scripted: after a start "STARTED" reads 0 for `startDelayMs`,
// then 1 with the axis on for `runMs`; afterwards the axis is off and `results` have been stored.
class FakeLink : public rurorade::DriveLink {
public:
    explicit FakeLink(const rurorade::Clock& clock) : m_clock(clock) {}

    struct Start {
        std::string program, section;
        bool logged = false;
        rurorade::LoggerRequest request;
    };

    bool WriteParameter(const CMC_Parameter&) override { return true; }
    bool ReadVariable(CMC_Variable& variable) override
    {
        auto it = driveVariables.find(variable.GetName());
        if (it == driveVariables.end()) return Fail("Variable not on the drive.");
        variable.SetValueInInternalUnit(it->second);
        return true;
    }
    bool WriteVariable(const CMC_Variable&) override { return true; }

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
        const std::int64_t now = m_clock.NowMs();
        if (program == m_running && now >= m_startedAt + startDelayMs + runMs) {
            for (const auto& [n, v] : results) userVariables[program][n] = v;
            results.clear();
        }
        if (name == "STARTED" && program == m_running) {
            value = now >= m_startedAt + startDelayMs ? 1.0 : 0.0;
            return true;
        }
        auto it = userVariables[program].find(name);
        if (it == userVariables[program].end()) return Fail("Unknown user variable.");
        value = it->second;
        return true;
    }
    bool StartProgram(const std::string& program, const std::string& section, const rurorade::LoggerRequest* logger) override
    {
        if (refuseStart) return Fail(startError);
        starts.push_back({program, section, logger != nullptr, logger ? *logger : rurorade::LoggerRequest{}});
        m_running = program;
        m_startedAt = m_clock.NowMs();
        return true;
    }
    bool GetAxisOn(bool& on) override
    {
        if (refuseAxis) return Fail("No answer to the axis query.");
        const std::int64_t now = m_clock.NowMs();
        on = !m_running.empty() && now >= m_startedAt + startDelayMs && now < m_startedAt + startDelayMs + runMs;
        return true;
    }
    bool UploadLog(std::vector<std::vector<double>>& points) override
    {
        if (refuseUpload) return Fail("Upload failed.");
        points = log;
        return true;
    }
    bool ExecuteString(const std::string&) override { return true; }
    std::string GetLastErrorText() const override { return m_lastError; }

    std::int64_t startDelayMs = 40, runMs = 100;
    std::map<std::string, double> results;
    std::map<std::string, double> driveVariables;
    std::map<std::string, std::map<std::string, double>> userVariables;
    std::vector<std::vector<double>> log;
    std::vector<std::string> writes;
    std::vector<Start> starts;
    bool refuseWrites = false, refuseReads = false, refuseStart = false, refuseAxis = false, refuseUpload = false;
    std::string startError = "Program download failed.";

private:
    bool Fail(const std::string& text)
    {
        m_lastError = text;
        return false;
    }
    const rurorade::Clock& m_clock;
    std::string m_running;
    std::int64_t m_startedAt = 0;
    std::string m_lastError;
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
    std::vector<std::string> messages, statuses;
    std::vector<int> types;
};

// A minimal test following the common protocol: writes "In1", runs the positioning program with
// the logger, polls "STARTED" and the axis on timer 1, then stores the program's "In1" in R.
class ProbeTest : public CMC_TestDlg {
public:
    explicit ProbeTest(CMC_Setup* setup, int templateId = kTemplate) : CMC_TestDlg(setup, templateId, 1, nullptr)
    {
        m_nStepCount = 3;
        AddParameterControls("R", 1002, 0);
    }
    int OnInitDialog() override
    {
        const int result = CMC_TestDlg::OnInitDialog();
        coff.ReadCoff(GetOutPathName(kProgram).c_str());
        logger = std::make_unique<CMC_SingleAxisLogger>(m_setup, &coff);
        logger->ChangeSettings(400, 1, 1);
        logger->AddVariable("IQ", 1);
        graph.SubclassDlgItem(1361, this);
        return result;
    }
    void BeginTest() override
    {
        CMC_TestDlg::BeginTest();
        SetInfoText(kSteps[0]);
        if (!SetUserVariableValue(&coff, "In1", input, m_strError)) return TestFailed(1);
        if (!ExecuteCode(kProgram, &coff, logger.get())) {
            m_strError = msc_pszErrInternal;
            return TestFailed(1);
        }
        SetInfoText(kSteps[1]);
        SetTimer(kTestTimerId, 20);
    }
    void OnTimer(int id) override
    {
        if (id != kTestTimerId || !m_bTestRunning) return CMC_TestDlg::OnTimer(id);
        KillTimer(id);
        ++ticks;
        if (m_nStepIndex != 2) {
            m_strError = msc_pszErrInternal;
            return TestFailed(1);
        }
        double started = 0;
        if (!GetUserVariableValue(&coff, "STARTED", started, m_strError)) return TestFailed(1);
        bool on = false;
        if (started == 0 || (GetAxisOn(on) && on)) return SetTimer(kTestTimerId, 20);
        if (!GetAxisOn(on)) return TestFailed(1);
        double result = 0;
        if (!GetUserVariableValue(&coff, "In1", result, m_strError)) return TestFailed(1);
        if (result <= 0) {
            m_strError = msc_pszErrInZero;
            return TestFailed(1);
        }
        m_setup->SetParameterValueInBaseUnit("R", result);
        RefreshParameterControls("R");
        SetInfoText(kSteps[2]);
        TestSucceeded(1);
    }

    static constexpr const char* kSteps[] = {"Launching test", "Running test", "Test finished"};
    CMC_CoffFormat coff;
    std::unique_ptr<CMC_SingleAxisLogger> logger;
    CGraphWindow graph{2, 0};
    double input = 7;
    int ticks = 0;
};

// Sets an environment variable for the life of the object and puts the old value back.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name)) m_old = old, m_had = true;
        if (value)
            setenv(name, value, 1);
        else
            unsetenv(name);
    }
    ~ScopedEnv()
    {
        if (m_had)
            setenv(m_name.c_str(), m_old.c_str(), 1);
        else
            unsetenv(m_name.c_str());
    }

private:
    std::string m_name, m_old;
    bool m_had = false;
};

std::string ReadFile(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

class TestDlgTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterTemplates();
        UiContext::Get().SetClock(&clock);
        UiContext::Get().SetDriver(&recorder);
        m_savedShow = g_bShowErrors;
        g_bShowErrors = 1;
        rurorade::ErrorSink().Clear();
        std::string error;
        setup = rurorade::LoadSetupText(R"({"schema":"zeksetup-1","parameters":{
            "R":{"value":0.9,"min":0,"max":100}},
            "variables":{"IQ":{},"ID":{},"MER":{}}})", "test", error);
        ASSERT_TRUE(setup) << error;
        setup->SetDriveLink(&link);
    }
    void TearDown() override
    {
        UiContext::Get().SetDriver(nullptr);
        UiContext::Get().SetClock(nullptr);
        g_bShowErrors = m_savedShow;
    }
    // Opens the dialog as the host does before the modal loop takes over.
    static void Open(ProbeTest& dlg)
    {
        ScopedEnv env("ZEK_PROGRAMS_DIR", nullptr);
        dlg.OnInitDialog();
    }
    rurorade::VirtualClock clock;
    RecordingDriver recorder;
    FakeLink link{clock};
    std::unique_ptr<CMC_Setup> setup;
    int m_savedShow = 1;
};

// ---- frame ----

TEST_F(TestDlgTest, FrameControlsAreAddedWhenTheTemplateLacksThem)
{
    ProbeTest dlg(setup.get());
    const CMC_Control* start = dlg.GetControl(CMC_TestDlg::kStartStopId);
    ASSERT_NE(start, nullptr);
    EXPECT_EQ(start->kind, ControlKind::Button);
    EXPECT_EQ(start->text, "Start");
    ASSERT_NE(dlg.GetControl(CMC_TestDlg::kStatusId), nullptr);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kStatusId)->text, "");
    ASSERT_NE(dlg.GetControl(CMC_TestDlg::kResultIconId), nullptr);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->kind, ControlKind::Image);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->image, "");
    const CMC_Control* details = dlg.GetControl(CMC_TestDlg::kDetailsId);
    ASSERT_NE(details, nullptr);
    EXPECT_EQ(details->text, "Details");
    EXPECT_FALSE(details->visible);
    const CMC_Control* close = dlg.GetControl(rurorade::IDCANCEL);
    ASSERT_NE(close, nullptr);
    EXPECT_EQ(close->text, "Close");
    EXPECT_EQ(close->kind, ControlKind::Button);
    EXPECT_EQ(dlg.GuideStepCount(), 0);
}

TEST_F(TestDlgTest, FrameControlsOfTheTemplateAreKept)
{
    ProbeTest dlg(setup.get(), kFramedTemplate);
    EXPECT_EQ(dlg.GetControl(rurorade::IDCANCEL)->text, "Cancel");
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kStatusId)->kind, ControlKind::Edit);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kStatusId)->text, "Ready");
    EXPECT_EQ(dlg.GetTitle(), "Framed Test");
}

// ---- a whole run ----

TEST_F(TestDlgTest, StartRunsTheProgramPollsItAndSucceeds)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    link.results["In1"] = 1.5;
    dlg.Click(CMC_TestDlg::kStartStopId);

    EXPECT_TRUE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, -1);
    EXPECT_EQ(dlg.m_nStepIndex, 2);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStartStopId), "Stop");
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Running test");
    ASSERT_EQ(link.writes, std::vector<std::string>{"Initial_Positioning_Test.In1"});
    EXPECT_EQ(link.userVariables[kProgram]["In1"], 7);
    ASSERT_EQ(link.starts.size(), 1u);
    EXPECT_EQ(link.starts[0].program, kProgram);
    EXPECT_EQ(link.starts[0].section, kProgram);
    ASSERT_TRUE(link.starts[0].logged);
    EXPECT_EQ(link.starts[0].request.variables, std::vector<std::string>{"IQ"});
    EXPECT_EQ(link.starts[0].request.points, 400);

    UiContext::Get().RunFor(100);  // started at 40 ms, axis on until 140 ms
    EXPECT_TRUE(dlg.m_bTestRunning);
    UiContext::Get().RunFor(100);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, 1);
    EXPECT_EQ(dlg.ticks, 7);  // every 20 ms from 20 to 140 ms
    EXPECT_EQ(dlg.m_nStepIndex, 3);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test succeeded");
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStartStopId), "Start");
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->image, "TEST_OK");
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 1.5);
    EXPECT_EQ(dlg.GetChildText(1002), "1.5");
    EXPECT_FALSE(UiContext::Get().HasTimers());
    EXPECT_EQ(recorder.statuses,
              (std::vector<std::string>{"Launching test", "Running test", "Test finished", "Test succeeded"}));
}

TEST_F(TestDlgTest, APreliminaryResultOfZeroFailsWithTheZeroTextAndDetailsShowIt)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    link.results["In1"] = 0;
    dlg.Click(CMC_TestDlg::kStartStopId);
    UiContext::Get().RunFor(300);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, 0);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInZero);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test failed");
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->image, "TEST_FAILED");
    EXPECT_TRUE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);

    dlg.Click(CMC_TestDlg::kDetailsId);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0], CMC_TestDlg::msc_pszErrInZero);
    EXPECT_EQ(recorder.types[0], rurorade::MB_OK);

    // A new run forgets the failure until it ends.
    link.results["In1"] = 2;
    dlg.Click(CMC_TestDlg::kStartStopId);
    EXPECT_EQ(dlg.m_strError, "");
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->image, "");
    UiContext::Get().RunFor(300);
    EXPECT_EQ(dlg.m_nResult, 1);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 2);
}

TEST_F(TestDlgTest, AProgramThatCannotStartFailsWithTheInternalText)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    link.refuseStart = true;
    dlg.Click(CMC_TestDlg::kStartStopId);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInternal);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStartStopId), "Start");
    EXPECT_FALSE(UiContext::Get().HasTimers());
}

TEST_F(TestDlgTest, AStepIndexOutsideTheRangeFailsTheTest)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    dlg.Click(CMC_TestDlg::kStartStopId);
    dlg.m_nStepIndex = 9;
    UiContext::Get().RunFor(20);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInternal);
}

// ---- stop ----

TEST_F(TestDlgTest, StopEndsARunningTest)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    dlg.Click(CMC_TestDlg::kStartStopId);
    UiContext::Get().RunFor(50);
    const int ticks = dlg.ticks;
    dlg.Click(CMC_TestDlg::kStartStopId);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_TRUE(dlg.m_bStopRequest);
    EXPECT_EQ(dlg.m_nResult, -1);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test stopped");
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStartStopId), "Start");
    EXPECT_FALSE(UiContext::Get().HasTimers());
    UiContext::Get().RunFor(200);
    EXPECT_EQ(dlg.ticks, ticks);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);
    // Start again clears the stop request.
    dlg.Click(CMC_TestDlg::kStartStopId);
    EXPECT_TRUE(dlg.m_bTestRunning);
    EXPECT_FALSE(dlg.m_bStopRequest);
}

TEST_F(TestDlgTest, StopOnlyRequestsTheEndOfAContinuousRunOrWhenTheTestPollsTheRequest)
{
    for (int kind : {0, 1}) {
        ProbeTest dlg(setup.get());
        Open(dlg);
        dlg.m_nStopRequestKind = kind;
        dlg.Click(CMC_TestDlg::kStartStopId);
        dlg.m_bContinuousRun = kind == 0;
        dlg.Click(CMC_TestDlg::kStartStopId);
        EXPECT_TRUE(dlg.m_bTestRunning) << kind;
        EXPECT_TRUE(dlg.m_bStopRequest) << kind;
        EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Running test") << kind;
        EXPECT_TRUE(UiContext::Get().HasTimers()) << kind;
    }
}

TEST_F(TestDlgTest, ClosingDuringARunEndsIt)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    dlg.Click(CMC_TestDlg::kStartStopId);
    dlg.OnCancel();
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_FALSE(UiContext::Get().HasTimers());
}

TEST_F(TestDlgTest, TimerOneWithoutARunningTestIsKilled)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    dlg.SetTimer(CMC_TestDlg::kTestTimerId, 20);
    UiContext::Get().RunFor(20);
    EXPECT_EQ(dlg.ticks, 0);
    EXPECT_FALSE(UiContext::Get().HasTimers());
}

// ---- step texts and results ----

TEST_F(TestDlgTest, SetInfoTextShowsTheTextAndAdvancesTheStepIndex)
{
    ProbeTest dlg(setup.get());
    dlg.m_nStepIndex = 0;
    dlg.SetInfoText("one");
    dlg.SetInfoText("two");
    dlg.SetInfoText(nullptr);
    EXPECT_EQ(dlg.m_nStepIndex, 3);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "");
    EXPECT_EQ(recorder.statuses, (std::vector<std::string>{"one", "two", ""}));
    dlg.m_nStepIndex = 0xFFFF;  // 16-bit: wraps
    dlg.SetInfoText("three");
    EXPECT_EQ(dlg.m_nStepIndex, 0);
}

TEST_F(TestDlgTest, TheStoredResultIsShownAgainWithoutEndingAnything)
{
    ProbeTest dlg(setup.get());
    dlg.m_strError = "Hall sensor is missing.";
    dlg.TestFailed(1);
    EXPECT_EQ(dlg.m_nResult, 0);
    dlg.SetChildText(CMC_TestDlg::kStatusId, "something else");
    dlg.ShowChild(CMC_TestDlg::kDetailsId, 0);
    dlg.m_bTestRunning = true;  // re-showing leaves the run state alone
    dlg.TestFailed(0);
    EXPECT_TRUE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, 0);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test failed");
    EXPECT_TRUE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_EQ(dlg.m_strError, "Hall sensor is missing.");

    dlg.m_nResult = 1;
    dlg.TestSucceeded(0);
    EXPECT_TRUE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test succeeded");
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kResultIconId)->image, "TEST_OK");
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    dlg.TestSucceeded(1);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, 1);
}

TEST_F(TestDlgTest, AFailureWithoutAReasonGetsTheInternalText)
{
    ProbeTest dlg(setup.get());
    dlg.TestFailed(1);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInternal);
    dlg.Click(CMC_TestDlg::kDetailsId);
    ASSERT_EQ(recorder.messages.size(), 1u);
    EXPECT_EQ(recorder.messages[0], CMC_TestDlg::msc_pszErrInternal);
}

TEST_F(TestDlgTest, HiddenDetailsCannotBeClicked)
{
    ProbeTest dlg(setup.get());
    dlg.Click(CMC_TestDlg::kDetailsId);
    EXPECT_TRUE(recorder.messages.empty());
}

// ---- user variables, programs, axis ----

TEST_F(TestDlgTest, UserVariablesAreWrittenAndReadThroughTheLink)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    std::string error;
    ASSERT_TRUE(dlg.coff.IsLoaded());
    EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, "In1", -3, error), 1);
    double value = 0;
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 1);
    EXPECT_EQ(value, -3);
    link.userVariables[kProgram]["In1"] = 1.2345e100;  // the unreadable marker passes to the test
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 1);
    EXPECT_EQ(value, 1.2345e100);
    EXPECT_EQ(error, "");
}

TEST_F(TestDlgTest, AVariableTheProgramLacksIsNamedInTheErrorText)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    std::string error;
    EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, "Imax_Prot_Test", 1, error), 0);
    EXPECT_EQ(error, "The drive program \"Initial_Positioning_Test\" has no user variable \"Imax_Prot_Test\".");
    double value = 42;
    error.clear();
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "test_flag", value, error), 0);
    EXPECT_EQ(error, "The drive program \"Initial_Positioning_Test\" has no user variable \"test_flag\".");
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(link.writes.empty());
}

TEST_F(TestDlgTest, UserVariableFailuresGiveTheirReason)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    std::string error;
    double value = 5;

    link.refuseWrites = true;
    EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, "In1", 1, error), 0);
    EXPECT_EQ(error, "Cannot write the user variable \"In1\" of the drive program \"Initial_Positioning_Test\": "
                     "Checksum error on the link.");
    link.refuseReads = true;
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 0);
    EXPECT_EQ(error, "Cannot read the user variable \"In1\" of the drive program \"Initial_Positioning_Test\": "
                     "Timeout while reading from the drive.");
    link.refuseWrites = link.refuseReads = false;

    // Non-finite numbers never cross the link in either direction.
    EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, "In1", std::numeric_limits<double>::quiet_NaN(), error), 0);
    EXPECT_EQ(error, "The value for the user variable \"In1\" is not a finite number.");
    EXPECT_TRUE(link.writes.empty());
    link.userVariables[kProgram]["In1"] = std::numeric_limits<double>::infinity();
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 0);
    EXPECT_EQ(error, "The drive program \"Initial_Positioning_Test\" delivered no valid value for the user variable \"In1\".");
    EXPECT_EQ(value, 5);

    CMC_CoffFormat unloaded;
    EXPECT_EQ(dlg.SetUserVariableValue(&unloaded, "In1", 1, error), 0);
    EXPECT_EQ(error, "The drive program for the user variable \"In1\" is not loaded.");
    EXPECT_EQ(dlg.GetUserVariableValue(nullptr, "In1", value, error), 0);
    EXPECT_EQ(error, "The drive program for the user variable \"In1\" is not loaded.");

    setup->SetDriveLink(nullptr);
    EXPECT_EQ(dlg.SetUserVariableValue(&dlg.coff, "In1", 1, error), 0);
    EXPECT_EQ(error, "No drive is connected.");
    EXPECT_EQ(dlg.GetUserVariableValue(&dlg.coff, "In1", value, error), 0);
    EXPECT_EQ(error, "No drive is connected.");
}

TEST_F(TestDlgTest, ExecuteCodeFailuresGiveTheirReason)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    link.refuseStart = true;
    EXPECT_EQ(dlg.ExecuteCode(kProgram, &dlg.coff, nullptr), 0);
    EXPECT_EQ(dlg.m_strError, "Program download failed.");
    link.startError = "";
    EXPECT_EQ(dlg.ExecuteCode(kProgram, &dlg.coff, nullptr), 0);
    EXPECT_EQ(dlg.m_strError, "The drive program \"Initial_Positioning_Test\" could not be started.");
    link.refuseStart = false;

    CMC_CoffFormat unloaded;
    EXPECT_EQ(dlg.ExecuteCode("Ident_R_or_Rs", &unloaded, nullptr), 0);
    EXPECT_EQ(dlg.m_strError, "The drive program for \"Ident_R_or_Rs\" is not loaded.");
    EXPECT_EQ(dlg.ExecuteCode(nullptr, &dlg.coff, nullptr), 0);
    EXPECT_EQ(dlg.m_strError, "No drive program section was given.");

    setup->SetDriveLink(nullptr);
    EXPECT_EQ(dlg.ExecuteCode(kProgram, &dlg.coff, nullptr), 0);
    EXPECT_EQ(dlg.m_strError, "No drive is connected.");
    EXPECT_TRUE(link.starts.empty());
}

TEST_F(TestDlgTest, ExecuteCodeRunsByNameWithoutAProgramAndReportsProgress)
{
    ProbeTest dlg(setup.get());
    struct Progress {
        std::vector<int> percents;
        bool allow = true;
    } progress;
    auto callback = [](int percent, const char*, float, void* context) {
        auto* p = static_cast<Progress*>(context);
        p->percents.push_back(percent);
        return p->allow;
    };
    EXPECT_EQ(dlg.ExecuteCode("Analogue_Reference_Test", nullptr, nullptr, callback, &progress), 1);
    ASSERT_EQ(link.starts.size(), 1u);
    EXPECT_EQ(link.starts[0].program, "Analogue_Reference_Test");
    EXPECT_FALSE(link.starts[0].logged);
    EXPECT_EQ(progress.percents, (std::vector<int>{0, 100}));

    progress.allow = false;
    EXPECT_EQ(dlg.ExecuteCode("Analogue_Reference_Test", nullptr, nullptr, callback, &progress), 0);
    EXPECT_EQ(dlg.m_strError, "The start of the drive program \"Analogue_Reference_Test\" was cancelled.");
    EXPECT_EQ(link.starts.size(), 1u);
}

TEST_F(TestDlgTest, GetAxisOnAsksTheLink)
{
    ProbeTest dlg(setup.get());
    bool on = true;
    EXPECT_EQ(dlg.GetAxisOn(on), 1);
    EXPECT_FALSE(on);
    link.refuseAxis = true;
    on = true;
    EXPECT_EQ(dlg.GetAxisOn(on), 0);
    EXPECT_TRUE(on);
    EXPECT_EQ(dlg.m_strError, "No answer to the axis query.");
    setup->SetDriveLink(nullptr);
    EXPECT_EQ(dlg.GetAxisOn(on), 0);
    EXPECT_EQ(dlg.m_strError, "No drive is connected.");
}

// ---- program images ----

TEST_F(TestDlgTest, ProgramImagesComeFromTheProgramsFolderOrTheEnvironment)
{
    {
        ScopedEnv env("ZEK_PROGRAMS_DIR", "/tmp/zek-programs");
        EXPECT_EQ(rurorade::ProgramsDirectory(), "/tmp/zek-programs");
        EXPECT_EQ(CMC_TestDlg::GetOutPathName("VDC_Detection_Test"), "/tmp/zek-programs/VDC_Detection_Test.coff");
    }
    ScopedEnv unset("ZEK_PROGRAMS_DIR", nullptr);
    const std::map<std::string, std::vector<std::string>> expected = {
        {"VDC_Detection_Test", {"STARTED"}},
        {"Initial_Positioning_Test", {"STARTED", "In1"}},
        {"Ident_R_or_Rs", {"STARTED", "RefTest", "RIncTest", "In1"}},
        {"Ident_L_or_Tau_el", {"STARTED", "In1"}},
    };
    for (const auto& [name, variables] : expected) {
        CMC_CoffFormat coff;
        const std::string path = CMC_TestDlg::GetOutPathName(name.c_str());
        EXPECT_EQ(path, rurorade::ProgramsDirectory() + "/" + name + ".coff");
        ASSERT_EQ(coff.ReadCoff(path.c_str()), 1) << path;
        EXPECT_EQ(coff.ProgramName(), name);
        EXPECT_EQ(coff.UserVariables(), variables) << name;
        EXPECT_TRUE(coff.HasUserVariable("STARTED"));
        EXPECT_FALSE(coff.HasUserVariable("started"));
    }
}

TEST_F(TestDlgTest, ABadProgramImageIsNotLoaded)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zek-coff-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::vector<std::string> bad = {"not json", R"({"userVariables":["STARTED"]})", R"({"program":""})",
                                          R"({"program":"P","userVariables":"STARTED"})",
                                          R"({"program":"P","userVariables":[1]})", R"(["program"])"};
    std::ofstream(dir / "good.coff") << R"({"program":"Good","userVariables":["STARTED"]})";
    for (std::size_t i = 0; i < bad.size(); ++i) {
        const std::filesystem::path file = dir / ("bad" + std::to_string(i) + ".coff");
        std::ofstream(file) << bad[i];
        CMC_CoffFormat coff;
        ASSERT_EQ(coff.ReadCoff((dir / "good.coff").c_str()), 1);
        EXPECT_EQ(coff.ReadCoff(file.c_str()), 0) << bad[i];  // a failed load forgets the previous one
        EXPECT_FALSE(coff.IsLoaded()) << bad[i];
        EXPECT_TRUE(coff.UserVariables().empty()) << bad[i];
    }
    {
        CMC_CoffFormat coff;
        EXPECT_EQ(coff.ReadCoff((dir / "absent.coff").c_str()), 0);
    }
    CMC_CoffFormat coff;
    EXPECT_EQ(coff.ReadCoff(nullptr), 0);
    std::ofstream(dir / "novars.coff") << R"({"program":"NoVariables"})";
    EXPECT_EQ(coff.ReadCoff((dir / "novars.coff").c_str()), 1);
    EXPECT_TRUE(coff.UserVariables().empty());
    std::filesystem::remove_all(dir);
}

// ---- loggers ----

TEST_F(TestDlgTest, PointsAreClippedToTheLogBuffer)
{
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(-5), 1);
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(0), 1);
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(1), 1);
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(400), 400);
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(4096), 4096);
    EXPECT_EQ(CMC_Logger::CorrectPointsNo(4097), 4096);

    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    EXPECT_EQ(logger.ChangeSettings(100000, 2, 0), 1);
    EXPECT_EQ(logger.Request().points, 4096);
    EXPECT_EQ(logger.Request().logType, 2);
    EXPECT_EQ(logger.Request().sampling, 1);
    logger.ChangeSettings(400, 1, 3);
    EXPECT_EQ(logger.Request().points, 400);
    EXPECT_EQ(logger.Request().sampling, 3);
}

TEST_F(TestDlgTest, OnlyVariablesOfTheSetupCanBeLogged)
{
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    EXPECT_EQ(logger.LocateItems(), 0);
    EXPECT_EQ(logger.AddVariable("IQ", 0), 1);
    EXPECT_EQ(logger.AddVariable("NOPE", 1), 0);
    EXPECT_EQ(rurorade::ErrorSink().reported, std::vector<std::string>{"Variable \"NOPE\" not found in the setup."});
    EXPECT_EQ(logger.AddVariable("ID", 1), 1);
    EXPECT_EQ(logger.Request().variables, (std::vector<std::string>{"IQ", "ID"}));
    EXPECT_EQ(logger.LocateItems(), 1);
    logger.Reset();
    EXPECT_TRUE(logger.Request().variables.empty());
    EXPECT_EQ(logger.LocateItems(), 0);
}

TEST_F(TestDlgTest, UploadDeliversTimeThenEachVariableAndFillsTheDocument)
{
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.AddVariable("IQ", 0);
    logger.AddVariable("ID", 0);
    link.log = {{0, 5, -1}, {5e-05, 7, -2}, {1e-04, 9, -3}};
    EXPECT_EQ(logger.ReadPoint(nullptr), 0);  // nothing uploaded yet
    ASSERT_EQ(logger.BeginUploadData(), 1);
    EXPECT_TRUE(logger.UploadInProgress());
    EXPECT_EQ(logger.GetDocument().channelNames, (std::vector<std::string>{"t", "IQ", "ID"}));
    double values[3] = {};
    ASSERT_EQ(logger.ReadPoint(values), 1);
    EXPECT_EQ(values[0], 0);
    EXPECT_EQ(values[1], 5);
    EXPECT_EQ(values[2], -1);
    ASSERT_EQ(logger.ReadPoint(nullptr), 1);
    ASSERT_EQ(logger.ReadPoint(values), 1);
    EXPECT_EQ(values[0], 1e-04);
    EXPECT_EQ(values[1], 9);
    EXPECT_EQ(logger.ReadPoint(values), 0);
    EXPECT_FALSE(logger.UploadInProgress());
    EXPECT_EQ(logger.GetDocument().points, link.log);
    logger.EndUploadData();
    EXPECT_EQ(logger.GetDocument().points.size(), 3u);  // kept for the graph and SaveGraph

    // A new upload replaces the document's points.
    link.log = {};
    ASSERT_EQ(logger.BeginUploadData(), 1);
    EXPECT_EQ(logger.ReadPoint(values), 0);
    EXPECT_TRUE(logger.GetDocument().points.empty());
}

TEST_F(TestDlgTest, UploadFailsWithoutADriveOrWithPointsOfTheWrongWidth)
{
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.AddVariable("IQ", 0);
    link.refuseUpload = true;
    EXPECT_EQ(logger.BeginUploadData(), 0);
    link.refuseUpload = false;
    link.log = {{0, 1}, {1, 2, 3}};
    EXPECT_EQ(logger.BeginUploadData(), 0);
    EXPECT_FALSE(logger.UploadInProgress());
    double values[2] = {};
    EXPECT_EQ(logger.ReadPoint(values), 0);
    setup->SetDriveLink(nullptr);
    link.log = {{0, 1}};
    EXPECT_EQ(logger.BeginUploadData(), 0);
    CMC_ScopeLogger scope(nullptr, nullptr);
    EXPECT_EQ(scope.BeginOrContinueUploadData(), 0);
    EXPECT_EQ(scope.AddVariable("IQ", 1), 0);
}

TEST_F(TestDlgTest, SaveGraphWritesCsvWithShortestRoundTripNumbers)
{
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / ("zek-graph-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.AddVariable("IQ", 0);
    logger.AddVariable("ID", 0);
    const std::string base = (dir / "current").string();

    // Before any upload: only the header.
    ASSERT_EQ(logger.SaveGraph(base.c_str()), 1);
    EXPECT_EQ(ReadFile(dir / "current.csv"), "t,IQ,ID\n");

    link.log = {{0, 0.1 + 0.2, -2}, {5e-05, 1.0 / 3.0, 1e21}, {1e-04, -0.0, 1638}};
    ASSERT_EQ(logger.BeginUploadData(), 1);
    while (logger.ReadPoint(nullptr)) {
    }
    logger.EndUploadData();
    ASSERT_EQ(logger.SaveGraph(base.c_str()), 1);
    const std::string text = ReadFile(dir / "current.csv");
    EXPECT_EQ(text,
              "t,IQ,ID\n"
              "0,0.30000000000000004,-2\n"
              "5e-05,0.3333333333333333,1e+21\n"
              "1e-04,-0,1638\n");
    EXPECT_FALSE(std::filesystem::exists(dir / "current.csv.tmp"));
    // Every number reads back to the same double.
    std::istringstream lines(text);
    std::string line;
    std::getline(lines, line);
    for (const std::vector<double>& point : link.log) {
        std::getline(lines, line);
        std::istringstream cells(line);
        std::string cell;
        for (double expected : point) {
            std::getline(cells, cell, ',');
            EXPECT_EQ(std::strtod(cell.c_str(), nullptr), expected);
        }
    }

    EXPECT_EQ(logger.SaveGraph((dir / "missing" / "graph").string().c_str()), 0);
    EXPECT_FALSE(std::filesystem::exists(dir / "missing"));
    std::filesystem::remove_all(dir);
}

TEST_F(TestDlgTest, GraphWindowsRecordTheirControl)
{
    ProbeTest dlg(setup.get());
    CGraphWindow graph(2, 0);
    EXPECT_EQ(graph.SubclassDlgItem(1361, &dlg), 1);
    EXPECT_EQ(graph.ControlId(), 1361);
    CGraphWindow scope(4, 0);
    EXPECT_EQ(scope.SubclassDlgItem(1362, &dlg), 0);  // the template has no oscilloscope static
    EXPECT_EQ(scope.ControlId(), 1362);
    Open(dlg);
    EXPECT_EQ(dlg.graph.ControlId(), 1361);
}

// ---- tab pages ----

TEST_F(TestDlgTest, TabPagesShowTheirControlsAndLeavingTheTestPageDuringARunIsRefused)
{
    ProbeTest dlg(setup.get());
    Open(dlg);
    EXPECT_EQ(dlg.AddTabPage("Test Parameters", {1377}), 0);
    EXPECT_EQ(dlg.AddTabPage("Test", {1002, 1361, CMC_TestDlg::kStartStopId, CMC_TestDlg::kStatusId}), 1);
    dlg.SelectTabPage(0);
    EXPECT_EQ(dlg.GetTabPage(), 0);
    EXPECT_EQ(dlg.GetSelection(CMC_TestDlg::kTabId), 0);
    ASSERT_EQ(dlg.GetControl(CMC_TestDlg::kTabId)->items.size(), 2u);
    EXPECT_EQ(dlg.GetControl(CMC_TestDlg::kTabId)->items[1].first, "Test");
    EXPECT_TRUE(dlg.GetControl(1377)->visible);
    EXPECT_FALSE(dlg.GetControl(1361)->visible);
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kStartStopId)->visible);

    dlg.Select(CMC_TestDlg::kTabId, 1);
    EXPECT_EQ(dlg.GetTabPage(), 1);
    EXPECT_FALSE(dlg.GetControl(1377)->visible);
    EXPECT_TRUE(dlg.GetControl(1361)->visible);

    dlg.Click(CMC_TestDlg::kStartStopId);
    ASSERT_TRUE(dlg.m_bTestRunning);
    EXPECT_FALSE(dlg.OnTabPageChanging(1, 0));
    dlg.Select(CMC_TestDlg::kTabId, 0);
    EXPECT_EQ(dlg.GetTabPage(), 1);
    EXPECT_EQ(dlg.GetSelection(CMC_TestDlg::kTabId), 1);
    EXPECT_TRUE(dlg.GetControl(1361)->visible);

    // A failed run: "Details" is hidden on the parameters page and shown again on the test page.
    dlg.m_strError = "Drive / Motor ENABLE input is in DISABLED state.";
    dlg.TestFailed(1);
    EXPECT_TRUE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_TRUE(dlg.OnTabPageChanging(1, 0));
    dlg.Select(CMC_TestDlg::kTabId, 0);
    EXPECT_EQ(dlg.GetTabPage(), 0);
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    dlg.SetChildText(CMC_TestDlg::kStatusId, "");
    dlg.Select(CMC_TestDlg::kTabId, 1);
    EXPECT_TRUE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test failed");

    // After a success the test page shows it again.
    dlg.Select(CMC_TestDlg::kTabId, 0);
    dlg.m_nResult = 1;
    dlg.SetChildText(CMC_TestDlg::kStatusId, "");
    dlg.Select(CMC_TestDlg::kTabId, 1);
    EXPECT_EQ(dlg.GetChildText(CMC_TestDlg::kStatusId), "Test succeeded");
    EXPECT_FALSE(dlg.GetControl(CMC_TestDlg::kDetailsId)->visible);
}

// ---- modal runs ----

class TestDlgModal : public TestDlgTest {
protected:
    int Run(ProbeTest& dlg, const std::string& script)
    {
        driver = std::make_unique<rurorade::ScriptDriver>(trace);
        std::string error;
        EXPECT_TRUE(driver->LoadText(script, "script", error)) << error;
        UiContext::Get().SetDriver(driver.get());
        ScopedEnv env("ZEK_PROGRAMS_DIR", nullptr);
        const int result = dlg.DoModal();
        EXPECT_EQ(driver->Failure(), "") << trace.str();
        return result;
    }
    std::ostringstream trace;
    std::unique_ptr<rurorade::ScriptDriver> driver;
};

TEST_F(TestDlgModal, CancelRestoresTheSetupAfterASuccessfulRun)
{
    link.results["In1"] = 3.25;
    ProbeTest dlg(setup.get());
    EXPECT_EQ(Run(dlg, R"(
        expect-dialog 9950
        expect-text 10000 "Start"
        expect-hidden 10003
        click 10000
        expect-text 10000 "Stop"
        expect-text 10001 "Running test"
        wait 200
        expect-text 10001 "Test succeeded"
        expect-text 1002 "3.25"
        expect-param R 3.25
        cancel
    )"),
              rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);
}

TEST_F(TestDlgModal, OkKeepsTheMeasuredValue)
{
    link.results["In1"] = 3.25;
    ProbeTest dlg(setup.get());
    EXPECT_EQ(Run(dlg, R"(
        click 10000
        wait 200
        ok
    )"),
              rurorade::IDOK);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 3.25);
}

TEST_F(TestDlgModal, ClosingDuringARunStopsItAndRestoresTheSetup)
{
    ProbeTest dlg(setup.get());
    EXPECT_EQ(Run(dlg, R"(
        click 10000
        wait 60
        cancel
    )"),
              rurorade::IDCANCEL);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_FALSE(UiContext::Get().HasTimers());
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);
}

}  // namespace
