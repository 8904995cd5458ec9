// The test framework and the VDC detection and resistance/inductance tests, driven by scripts
// against a scripted fake drive on a virtual clock.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>
#include <unistd.h>

#include "commissioning/my_test_dlg.h"
#include "commissioning/test_rl.h"
#include "commissioning/test_vdc_detection.h"
#include "engine/unit_scaling.h"
#include "engine_fixture.h"
#include "rurorade/dialog_template.h"
#include "rurorade/script_driver.h"

namespace {

// A drive whose every answer is scripted: each program start takes the next scripted run.
class FakeLink : public rurorade::DriveLink {
public:
    struct Run {
        std::string section;             // expected section
        std::int64_t startAfterMs = 40;  // "STARTED" reads 0 until then
        std::int64_t onForMs = 100;      // then the axis is on for this long
        std::map<std::string, double> variables;  // drive variables from the start on (internal)
        std::map<std::string, double> endVariables;  // drive variables once the axis is off again
        std::map<std::string, double> results;    // user variables read back ("STARTED" overrides)
        std::map<std::string, std::vector<double>> log;  // logged values per variable
        bool startFails = false;
    };

    explicit FakeLink(rurorade::Clock& clock) : m_clock(clock) {}

    std::deque<Run> runs;
    std::map<std::string, double> variables{{"MER", 0.0}};
    std::set<std::string> unreadable;
    bool uploadFails = false;

    // What the host asked for.
    std::vector<std::string> started;
    std::vector<std::tuple<std::string, std::string, double>> writes;
    std::vector<rurorade::LoggerRequest> loggerRequests;
    int calls = 0;

    bool WriteParameter(const CMC_Parameter&) override { return ++calls, true; }
    bool WriteVariable(const CMC_Variable&) override { return ++calls, true; }
    bool ExecuteString(const std::string&) override { return ++calls, true; }
    std::string GetLastErrorText() const override { return m_error; }

    bool ReadVariable(CMC_Variable& variable) override
    {
        ++calls;
        if (m_current && Now() >= m_startMs + m_current->startAfterMs + m_current->onForMs)
            for (const auto& [n, v] : m_current->endVariables) variables[n] = v;
        const std::string& name = variable.GetName();
        auto it = variables.find(name);
        if (unreadable.count(name) || it == variables.end()) {
            m_error = "Timeout while reading " + name + ".";
            return false;
        }
        variable.SetValueInInternalUnit(it->second);
        return true;
    }

    bool SetUserVariable(const std::string& program, const std::string& name, double value) override
    {
        ++calls;
        writes.emplace_back(program, name, value);
        m_user[program][name] = value;
        return true;
    }

    bool GetUserVariable(const std::string& program, const std::string& name, double& value) override
    {
        ++calls;
        if (m_current && m_current->section == program) {
            auto it = m_current->results.find(name);
            if (it != m_current->results.end()) {
                value = it->second;
                return true;
            }
        }
        if (name == "STARTED") {
            value = m_current && m_current->section == program && Now() >= m_startMs + m_current->startAfterMs ? 1.0 : 0.0;
            return true;
        }
        auto program_it = m_user.find(program);
        if (program_it == m_user.end() || !program_it->second.count(name)) {
            m_error = "Unknown user variable " + name + ".";
            return false;
        }
        value = program_it->second[name];
        return true;
    }

    bool StartProgram(const std::string& program, const std::string& section, const rurorade::LoggerRequest* logger) override
    {
        ++calls;
        started.push_back(section);
        if (runs.empty()) {
            m_error = "No run scripted for " + section + ".";
            return false;
        }
        m_run = runs.front();
        runs.pop_front();
        EXPECT_EQ(m_run.section, section);
        EXPECT_EQ(program, section);
        if (m_run.startFails) {
            m_error = "The drive refused the start.";
            return false;
        }
        m_current = &m_run;
        m_startMs = Now();
        for (const auto& [name, value] : m_run.variables) variables[name] = value;
        m_logged.clear();
        if (logger) {
            loggerRequests.push_back(*logger);
            std::size_t count = 0;
            for (const auto& [name, values] : m_run.log) count = std::max(count, values.size());
            for (std::size_t i = 0; i < count; ++i) {
                std::vector<double> point{0.001 * static_cast<double>(i)};
                for (const std::string& name : logger->variables) {
                    auto it = m_run.log.find(name);
                    point.push_back(it != m_run.log.end() && i < it->second.size() ? it->second[i] : 0.0);
                }
                m_logged.push_back(point);
            }
        }
        return true;
    }

    bool GetAxisOn(bool& on) override
    {
        ++calls;
        on = m_current && Now() >= m_startMs + m_current->startAfterMs &&
             Now() < m_startMs + m_current->startAfterMs + m_current->onForMs;
        return true;
    }

    bool UploadLog(std::vector<std::vector<double>>& points) override
    {
        ++calls;
        if (uploadFails) {
            m_error = "Upload failed.";
            return false;
        }
        points = m_logged;
        return true;
    }

private:
    std::int64_t Now() const { return m_clock.NowMs(); }

    rurorade::Clock& m_clock;
    Run m_run;
    const Run* m_current = nullptr;
    std::int64_t m_startMs = 0;
    std::map<std::string, std::map<std::string, double>> m_user;
    std::vector<std::vector<double>> m_logged;
    std::string m_error;
};

const char* const kPositioning = "Initial_Positioning_Test";
const char* const kResistance = "Ident_R_or_Rs";
const char* const kInductance = "Ident_L_or_Tau_el";
const char* const kVdcProgram = "VDC_Detection_Test";

std::string Question(const std::string& lines)
{
    return "A different value than specified has been detected for the following parameter(s):\r\n\r\n" + lines +
           "\r\nDo you want to save the new value(s)? (Recommended)";
}

std::string Printed(const char* format, double value)
{
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

class Commissioning : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        zektest::EngineTest::SetUp();
        rurorade::UiContext::Get().SetClock(&clock);
        // Program images of this test only, in a folder of its own.
        const char* previous = std::getenv("ZEK_PROGRAMS_DIR");
        m_hadPrograms = previous != nullptr;
        if (previous) m_previousPrograms = previous;
        m_programs = std::filesystem::temp_directory_path() / ("zek_commissioning_" + std::to_string(::getpid()));
        std::filesystem::create_directories(m_programs);
        setenv("ZEK_PROGRAMS_DIR", m_programs.c_str(), 1);
        WriteProgram(kPositioning, {"In1", "STARTED"});
        WriteProgram(kResistance, {"RefTest", "RIncTest", "In1", "STARTED"});
        WriteProgram(kInductance, {"In1", "STARTED"});
        WriteProgram(kVdcProgram, {"STARTED"});
    }
    void TearDown() override
    {
        rurorade::UiContext::Get().SetDriver(nullptr);
        rurorade::UiContext::Get().SetClock(nullptr);
        if (m_hadPrograms)
            setenv("ZEK_PROGRAMS_DIR", m_previousPrograms.c_str(), 1);
        else
            unsetenv("ZEK_PROGRAMS_DIR");
        std::error_code ignored;
        std::filesystem::remove_all(m_programs, ignored);
        zektest::EngineTest::TearDown();
    }

    void WriteProgram(const char* name, const std::vector<std::string>& userVariables)
    {
        nlohmann::json descriptor{{"program", name}, {"userVariables", userVariables}};
        std::ofstream(CMC_TestDlg::GetOutPathName(name)) << descriptor.dump();
    }

    // The default sample with the drive variables of these tests (all in counts) and the fake drive.
    std::unique_ptr<CMC_Setup> MakeSetup(const std::vector<std::pair<std::string, double>>& values = {},
                                         const std::vector<std::string>& without = {},
                                         const std::vector<std::string>& withoutVariables = {})
    {
        auto base = zektest::SampleSetup("default.json");
        auto json = nlohmann::ordered_json::parse(rurorade::SaveSetupText(*base));
        for (const char* name : {"var_u2", "var_i1", "REFTST_V", "RINCTST_V", "TINCTST", "IQ", "ID"})
            json["variables"][name] = nlohmann::ordered_json::object();
        for (const std::string& name : withoutVariables) json["variables"].erase(name);
        for (const std::string& name : without) json["parameters"].erase(name);
        for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
        auto setup = zektest::SetupFromJson(json.dump());
        setup->SetDriveLink(&link);
        return setup;
    }

    int Run(CMC_EditSetupDlg& dlg, const std::string& script)
    {
        trace.str("");
        driver = std::make_unique<rurorade::ScriptDriver>(trace);
        std::string error;
        EXPECT_TRUE(driver->LoadText(script, "script", error)) << error;
        rurorade::UiContext::Get().SetDriver(driver.get());
        const int result = dlg.DoModal();
        EXPECT_EQ(driver->Failure(), "") << trace.str();
        rurorade::UiContext::Get().SetDriver(nullptr);
        return result;
    }

    bool Asked() const { return trace.str().find("message ") != std::string::npos; }
    // Status texts in the order they were shown.
    std::vector<std::string> Statuses() const
    {
        std::vector<std::string> out;
        std::istringstream in(trace.str());
        for (std::string line; std::getline(in, line);)
            if (line.rfind("status \"", 0) == 0) out.push_back(line.substr(8, line.size() - 9));
        return out;
    }

    rurorade::VirtualClock clock;
    FakeLink link{clock};
    std::ostringstream trace;
    std::unique_ptr<rurorade::ScriptDriver> driver;

private:
    std::filesystem::path m_programs;
    bool m_hadPrograms = false;
    std::string m_previousPrograms;
};

// ---------------------------------------------------------------- framework

// Exposes the protocol pieces of the base for direct tests.
class ProbeDlg : public CMyTestDlg {
public:
    ProbeDlg(CMC_Setup* setup, int templateId) : CMyTestDlg(setup, templateId, 1, nullptr) {}
    using CMyTestDlg::ReadProgramResult;
    using CMyTestDlg::UploadResults;
};

using CommissioningFramework = Commissioning;

TEST_F(CommissioningFramework, CheckDriveErrorsReportsTheFirstBitInTableOrder)
{
    auto setup = MakeSetup();
    const std::pair<int, const char*> table[] = {
        {0x0002, "Drive / Motor shortcircuit protection triggered."},
        {0x0008, "Drive / Motor control error protection triggered."},
        {0x0020, "Hall sensor is missing."},
        {0x0040, "Drive / Motor stopped due to positive limit switch input triggered."},
        {0x0080, "Drive / Motor stopped due to negative limit switch input triggered."},
        {0x8000, "Drive / Motor ENABLE input is in DISABLED state."},
    };
    for (const auto& [bit, text] : table) {
        ProbeDlg dlg(setup.get(), 105);
        link.variables["MER"] = bit;
        EXPECT_EQ(dlg.CheckDriveErrors(0xFFFF, 0), 0);
        EXPECT_EQ(dlg.m_strError, text);
        EXPECT_EQ(dlg.m_nResult, 0) << "fail-now clear: no TestFailed";
    }
    ProbeDlg dlg(setup.get(), 105);
    link.variables["MER"] = 0x8002;
    EXPECT_EQ(dlg.CheckDriveErrors(0xFFFF, 0), 0);
    EXPECT_EQ(dlg.m_strError, "Drive / Motor shortcircuit protection triggered.");
    link.variables["MER"] = 0x80E8;
    EXPECT_EQ(dlg.CheckDriveErrors(0xFFFF, 0), 0);
    EXPECT_EQ(dlg.m_strError, "Drive / Motor control error protection triggered.");
    // Bits outside the table are no fault.
    link.variables["MER"] = 0x7F15;
    EXPECT_EQ(dlg.CheckDriveErrors(0x7F15, 0), 1);
}

TEST_F(CommissioningFramework, CheckDriveErrorsIgnoresMaskedBits)
{
    auto setup = MakeSetup();
    ProbeDlg dlg(setup.get(), 105);
    link.variables["MER"] = 0x0008;
    EXPECT_EQ(dlg.CheckDriveErrors(0x8002, 1), 1);
    EXPECT_EQ(dlg.m_strError, "");
    link.variables["MER"] = 0x0008 | 0x8000;
    EXPECT_EQ(dlg.CheckDriveErrors(0x8002, 0), 0);
    EXPECT_EQ(dlg.m_strError, "Drive / Motor ENABLE input is in DISABLED state.");
    // The value is truncated before the mask applies: 2.9 is bit 0x0002.
    link.variables["MER"] = 2.9;
    EXPECT_EQ(dlg.CheckDriveErrors(0x0002, 0), 0);
}

TEST_F(CommissioningFramework, CheckDriveErrorsWithMissingOrUnreadableRegister)
{
    auto missing = MakeSetup({}, {}, {"MER"});
    ProbeDlg a(missing.get(), 105);
    EXPECT_EQ(a.CheckDriveErrors(0xFFFF, 0), 0);
    EXPECT_EQ(a.m_strError, CMC_TestDlg::msc_pszErrInternal);

    auto setup = MakeSetup();
    link.unreadable.insert("MER");
    ProbeDlg b(setup.get(), 105);
    EXPECT_EQ(b.CheckDriveErrors(0xFFFF, 1), 0);
    EXPECT_EQ(b.m_strError, "Timeout while reading MER.");
    EXPECT_EQ(b.m_nResult, 0);
    EXPECT_EQ(b.GetChildText(CMC_TestDlg::kStatusId), "Test failed");
}

TEST_F(CommissioningFramework, FailNowEndsTheRun)
{
    auto setup = MakeSetup();
    ProbeDlg dlg(setup.get(), 105);
    dlg.m_bTestRunning = true;
    dlg.m_nResult = -1;
    link.variables["MER"] = 0x0002;
    EXPECT_EQ(dlg.CheckDriveErrors(0x0002, 1), 0);
    EXPECT_FALSE(dlg.m_bTestRunning);
    EXPECT_EQ(dlg.m_nResult, 0);
}

TEST_F(CommissioningFramework, TuningTemplatesClearTheStartMinimumMove)
{
    for (int templateId : {102, 103}) {
        auto setup = MakeSetup();
        ASSERT_EQ(setup->GetParameterValueInBaseUnit("ABSTART_MINMOVE"), 500.0);
        ProbeDlg dlg(setup.get(), templateId);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("ABSTART_MINMOVE"), 0.0) << templateId;
    }
    auto other = MakeSetup();
    ProbeDlg vdc(other.get(), 105);
    EXPECT_EQ(other->GetParameterValueInBaseUnit("ABSTART_MINMOVE"), 500.0);

    auto without = MakeSetup({}, {"ABSTART_MINMOVE"});
    rurorade::ErrorSink().Clear();
    ProbeDlg speed(without.get(), 102);
    EXPECT_TRUE(Reported().empty()) << "the probe asks quietly";
}

TEST_F(CommissioningFramework, UnreadableMarkerAndZeroRule)
{
    auto setup = MakeSetup();
    ProbeDlg dlg(setup.get(), 290);
    CMC_CoffFormat coff;
    ASSERT_TRUE(coff.ReadCoff(CMC_TestDlg::GetOutPathName(kPositioning).c_str()));
    link.SetUserVariable(kPositioning, "In1", 1.2345e100);
    double value = 0;
    EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value, CMC_TestDlg::msc_pszErrInZero), 0);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInternal);
    link.SetUserVariable(kPositioning, "In1", 0.0);
    EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value, CMC_TestDlg::msc_pszErrInZero), 0);
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInZero);
    link.SetUserVariable(kPositioning, "In1", -2.0);
    EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value, "own message"), 0);
    EXPECT_EQ(dlg.m_strError, "own message");
    dlg.m_strError.clear();
    EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value), 1) << "no zero rule without a message";
    EXPECT_EQ(value, -2.0);
    link.SetUserVariable(kPositioning, "In1", 0.5);
    EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value, CMC_TestDlg::msc_pszErrInZero), 1);
    EXPECT_EQ(value, 0.5);
}

TEST_F(CommissioningFramework, UploadResultsDrawsEveryPointAndSucceeds)
{
    auto setup = MakeSetup();
    ProbeDlg dlg(setup.get(), 290);
    CMC_SingleAxisLogger logger(setup.get(), nullptr);
    logger.ChangeSettings(3, 1, 1);
    ASSERT_TRUE(logger.AddVariable("IQ", 1));
    CMC_CoffFormat coff;
    ASSERT_TRUE(coff.ReadCoff(CMC_TestDlg::GetOutPathName(kResistance).c_str()));
    FakeLink::Run run;
    run.section = kResistance;
    run.log = {{"IQ", {1, 2, 3}}};
    link.runs.push_back(run);
    ASSERT_TRUE(dlg.ExecuteCode(kResistance, &coff, &logger));
    CGraphWindow graph(2, 0);
    dlg.m_bTestRunning = true;
    dlg.UploadResults(&logger, &graph, "Uploading results");
    EXPECT_EQ(graph.pointsDrawn, 3);
    EXPECT_EQ(graph.zoomOuts, 2);
    EXPECT_EQ(dlg.m_nResult, 1);
    EXPECT_EQ(logger.GetDocument().points.size(), 3u);

    ProbeDlg none(setup.get(), 290);
    none.m_bTestRunning = true;
    none.UploadResults(nullptr, &graph, "Uploading results");
    EXPECT_EQ(none.m_nResult, 0);
    EXPECT_EQ(none.m_strError, CMC_TestDlg::msc_pszErrInternal);
}

TEST_F(CommissioningFramework, SinusoidalModeIsRestoredAfterTheModalCall)
{
    for (int previous : {0, 1, 7}) {
        g_bKufSinusoidalMode = previous;
        int inside = -1;
        const int result = RunWithSinusoidalMode([&] {
            inside = g_bKufSinusoidalMode;
            return rurorade::IDNO;
        });
        EXPECT_EQ(inside, 1);
        EXPECT_EQ(result, rurorade::IDNO);
        EXPECT_EQ(g_bKufSinusoidalMode, previous);
    }
}

TEST_F(CommissioningFramework, TicksOfOtherTimersOrWithoutARunAreIgnored)
{
    auto setup = MakeSetup();
    CTestVdcDetection vdc(setup.get(), nullptr);
    CTestRL rl(setup.get(), nullptr);
    for (CMyTestDlg* dlg : {static_cast<CMyTestDlg*>(&vdc), static_cast<CMyTestDlg*>(&rl)}) {
        dlg->m_nStepIndex = 2;
        dlg->OnTimer(1);  // not running
        dlg->m_bTestRunning = true;
        dlg->m_nResult = -1;
        dlg->OnTimer(5);  // another timer
        EXPECT_TRUE(dlg->m_bTestRunning);
        EXPECT_EQ(dlg->m_nResult, -1);
        EXPECT_EQ(dlg->m_strError, "");
        EXPECT_EQ(dlg->m_nStepIndex, 2);
    }
    EXPECT_EQ(link.calls, 0);
}

TEST_F(CommissioningFramework, StepIndexOutsideTheRangeFails)
{
    auto setup = MakeSetup();
    CTestVdcDetection vdc(setup.get(), nullptr);
    CTestRL rl(setup.get(), nullptr);
    const std::pair<CMyTestDlg*, std::vector<int>> cases[] = {{&vdc, {0, 1, 3, 9}}, {&rl, {0, 1, 3, 5, 7, 9, 11}}};
    for (const auto& [dlg, indices] : cases) {
        for (int index : indices) {
            dlg->m_bTestRunning = true;
            dlg->m_nResult = -1;
            dlg->m_strError.clear();
            dlg->m_nStepIndex = static_cast<std::uint16_t>(index);
            dlg->OnTimer(1);
            EXPECT_FALSE(dlg->m_bTestRunning) << index;
            EXPECT_EQ(dlg->m_nResult, 0) << index;
            EXPECT_EQ(dlg->m_strError, CMC_TestDlg::msc_pszErrInternal) << index;
        }
    }
    EXPECT_EQ(link.calls, 0);
}

TEST_F(CommissioningFramework, TemplatesHoldTheNamedControls)
{
    auto text = [](int templateId, int id) -> std::string {
        const rurorade::DialogTemplate* t = rurorade::FindDialogTemplate(templateId);
        if (t == nullptr) return "<no template>";
        for (const rurorade::ControlTemplate& c : t->controls)
            if (c.id == id) return c.text;
        return "<no control>";
    };
    ASSERT_NE(rurorade::FindDialogTemplate(105), nullptr);
    EXPECT_EQ(rurorade::FindDialogTemplate(105)->title, "VDC Detection Test");
    EXPECT_EQ(text(105, 1376), "Identifies the VDC voltage.");
    EXPECT_EQ(text(105, 1377), "1. Press the Start button\r\n2. Wait until the test ends and displays the results");
    EXPECT_EQ(text(105, 1012), "");
    EXPECT_EQ(text(105, 1013), "");
    ASSERT_NE(rurorade::FindDialogTemplate(290), nullptr);
    EXPECT_EQ(rurorade::FindDialogTemplate(290)->title, "Total Resistance and Inductance Identification Test");
    EXPECT_EQ(text(290, 1376), "Identifies total resistance and inductance.");
    EXPECT_EQ(text(290, 3700), "R = ");
    EXPECT_EQ(text(290, 3701), "L = ");
    EXPECT_EQ(text(290, 3702), "Test current");
    EXPECT_EQ(text(290, 3703), "- Current value used during the test");
    for (int id : {1002, 1003, 1005, 3128, 3129, 1017}) EXPECT_EQ(text(290, id), "") << id;
    for (int t : {105, 290}) {
        EXPECT_EQ(text(t, 10024), "Help");
        EXPECT_EQ(text(t, rurorade::IDOK), "<no control>");  // the only closing button is "Close"
    }
}

TEST_F(CommissioningFramework, HelpOpensTheTopicOfEachTest)
{
    auto setup = MakeSetup();
    {
        CTestVdcDetection dlg(setup.get(), nullptr);
        Run(dlg, "click 10024\n");
        EXPECT_NE(trace.str().find("help \"" + GetGUIDirectory() + "/" + GetHelpFileOfGUI(setup.get()) + "\" context " +
                                   std::to_string(0x40105)),
                  std::string::npos)
            << trace.str();
    }
    {
        CTestRL dlg(setup.get(), nullptr);
        Run(dlg, "click 10024\n");
        EXPECT_NE(trace.str().find("context " + std::to_string(0x4010C)), std::string::npos) << trace.str();
    }
}

// ---------------------------------------------------------------- VDC detection

class CommissioningVdc : public Commissioning {
protected:
    // One run of the program; the drive reports `counts` in var_u2.
    void ScriptRun(double counts, double mer = 0.0)
    {
        FakeLink::Run run;
        run.section = kVdcProgram;
        run.variables = {{"var_u2", counts}, {"MER", mer}};
        link.runs.push_back(run);
    }
    static double Measured(CMC_Setup* setup, double counts) { return counts / VoltageScale(setup); }
};

TEST_F(CommissioningVdc, MeasuresAndKeepsTheVoltageOnYes)
{
    auto setup = MakeSetup();
    ScriptRun(30000);
    const double expected = 30000 * 111.8 / 65520;  // V
    ASSERT_DOUBLE_EQ(Measured(setup.get(), 30000), expected);
    CTestVdcDetection dlg(setup.get(), nullptr);
    const int result = Run(dlg, R"S(
        click 10000
        expect-text 10001 "Running test"
        wait 300
        expect-text 10001 "Test succeeded"
        expect-text 1012 "51.19047619"
        answer yes
        cancel
    )S");
    EXPECT_EQ(result, rurorade::IDOK);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), Measured(setup.get(), 30000));
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"Launching test", "Running test", "Test succeeded"}));
    EXPECT_EQ(link.started, std::vector<std::string>{kVdcProgram});
    EXPECT_TRUE(link.writes.empty()) << "no user variables are written";
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Power supply:\tOld = 48\tNew = " + Printed("%G", Measured(setup.get(), 30000)) + "\r\n"));
}

TEST_F(CommissioningVdc, NoRestoresAndCancelStaysOpen)
{
    auto setup = MakeSetup();
    ScriptRun(30000);
    CTestVdcDetection dlg(setup.get(), nullptr);
    const int result = Run(dlg, R"S(
        click 10000
        wait 300
        answer cancel
        cancel
        expect-dialog 105
        expect-param Vdc 51.19047619047619
        answer no
        cancel
    )S");
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
    EXPECT_TRUE(driver->RanToEnd());
}

TEST_F(CommissioningVdc, ValuesThatPrintAlikeCloseWithoutAQuestion)
{
    auto setup = MakeSetup();
    const double counts = 28130.233;  // 48.0000008 V
    ASSERT_NE(Measured(setup.get(), counts), 48.0);
    ASSERT_EQ(Printed("%G", Measured(setup.get(), counts)), "48");
    ScriptRun(counts);
    CTestVdcDetection dlg(setup.get(), nullptr);
    const int result = Run(dlg, "click 10000\nwait 300\nexpect-text 10001 \"Test succeeded\"\ncancel\n");
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_FALSE(Asked()) << trace.str();
}

TEST_F(CommissioningVdc, SecondRunOffersTheValueFromBeforeTheFirst)
{
    auto setup = MakeSetup();
    ScriptRun(30000);
    ScriptRun(20000);
    CTestVdcDetection dlg(setup.get(), nullptr);
    Run(dlg, "click 10000\nwait 300\nclick 10000\nwait 300\nexpect-text 10001 \"Test succeeded\"\nanswer no\ncancel\n");
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Power supply:\tOld = 48\tNew = " + Printed("%G", Measured(setup.get(), 20000)) + "\r\n"));
}

TEST_F(CommissioningVdc, ShortCircuitFailsAndOtherFaultsAreIgnored)
{
    for (double mer : {2.0, 2.0 + 0x8000}) {
        auto setup = MakeSetup();
        link.variables["MER"] = mer;  // before the start already
        ScriptRun(30000, mer);
        CTestVdcDetection dlg(setup.get(), nullptr);
        Run(dlg, R"S(
            click 10000
            wait 300
            expect-text 10001 "Test failed"
            expect-param Vdc 48
            cancel
        )S");
        EXPECT_EQ(dlg.m_strError, "Drive / Motor shortcircuit protection triggered.");
        EXPECT_FALSE(Asked());
    }
    auto setup = MakeSetup();
    ScriptRun(30000, 0x8000 | 0x0008 | 0x0020 | 0x0040 | 0x0080);
    CTestVdcDetection dlg(setup.get(), nullptr);
    Run(dlg, "click 10000\nwait 300\nexpect-text 10001 \"Test succeeded\"\n");
}

TEST_F(CommissioningVdc, ErrorsAreCheckedBeforeTheStartAndAtTheEndOnly)
{
    // A short circuit that appears when the axis switches off.
    auto setup = MakeSetup();
    ScriptRun(30000);
    link.runs.back().endVariables["MER"] = 0x0002;
    CTestVdcDetection dlg(setup.get(), nullptr);
    Run(dlg, R"S(
        click 10000
        wait 300
        expect-text 10001 "Test failed"
        expect-param Vdc 48
    )S");
    EXPECT_EQ(dlg.m_strError, "Drive / Motor shortcircuit protection triggered.");

    // One that is there only while the axis is on goes unseen.
    auto second = MakeSetup();
    ScriptRun(30000, 0x0002);
    link.runs.back().startAfterMs = 0;
    link.runs.back().endVariables["MER"] = 0;
    CTestVdcDetection dlg2(second.get(), nullptr);
    Run(dlg2, "click 10000\nwait 300\nexpect-text 10001 \"Test succeeded\"\n");
}

TEST_F(CommissioningVdc, FailuresLeaveTheVoltageUnchanged)
{
    struct Case {
        const char* name;
        std::function<void(FakeLink&)> arrange;
        std::vector<std::string> withoutVariables;
        std::string error;
    };
    const std::vector<Case> cases = {
        {"start refused", [](FakeLink& l) { l.runs.back().startFails = true; }, {}, CMC_TestDlg::msc_pszErrInternal},
        {"var_u2 missing", [](FakeLink&) {}, {"var_u2"}, CMC_TestDlg::msc_pszErrInternal},
        {"var_u2 unreadable", [](FakeLink& l) { l.unreadable.insert("var_u2"); }, {}, "Timeout while reading var_u2."},
        {"STARTED unreadable", [](FakeLink& l) { l.runs.back().results["STARTED"] = 1.2345e100; }, {},
         CMC_TestDlg::msc_pszErrInternal},
        {"no bus voltage", [](FakeLink& l) { l.runs.back().variables["var_u2"] = 0; }, {},
         "The DC bus voltage could not be computed: the drive measured no valid voltage."},
    };
    for (const Case& c : cases) {
        link.unreadable.clear();
        auto setup = MakeSetup({}, {}, c.withoutVariables);
        ScriptRun(30000);
        c.arrange(link);
        CTestVdcDetection dlg(setup.get(), nullptr);
        Run(dlg, R"S(
            click 10000
            wait 300
            expect-text 10001 "Test failed"
            expect-param Vdc 48
            cancel
        )S");
        EXPECT_EQ(dlg.m_strError, c.error) << c.name;
        EXPECT_FALSE(Asked()) << c.name;
        link.runs.clear();
    }
}

// ---------------------------------------------------------------- resistance and inductance

struct RlScript {
    double prelim1 = 1, prelim2 = 1;        // result "In1" of the positioning runs
    double reference = 1200, increment = 30;  // REFTST_V, RINCTST_V
    double u1 = 30;
    std::vector<double> iq1 = {5, 7, 9};      // mean 8
    double u2 = 27, n = 32760;                // var_u2: half the converter range
    std::vector<double> iq2 = {3};            // mean 3
    double u = 200, theta = 100;
    std::vector<double> iq3 = {0, 3, 6}, id3 = {1, 4, 8};  // mean ID 6, mean IQ²+ID² 62.5
    double mer = 0;
};

class CommissioningRl : public Commissioning {
protected:
    void Script(const RlScript& s)
    {
        auto run = [&](const char* section) {
            FakeLink::Run r;
            r.section = section;
            r.variables["MER"] = s.mer;
            return r;
        };
        FakeLink::Run p1 = run(kPositioning);
        p1.results["In1"] = s.prelim1;
        p1.variables["REFTST_V"] = s.reference;
        p1.variables["RINCTST_V"] = s.increment;
        FakeLink::Run q1 = run(kResistance);
        q1.variables["var_i1"] = s.u1;
        q1.log["IQ"] = s.iq1;
        FakeLink::Run p2 = run(kPositioning);
        p2.results["In1"] = s.prelim2;
        p2.variables["REFTST_V"] = s.reference / 2;
        p2.variables["RINCTST_V"] = s.increment / 2;
        FakeLink::Run q2 = run(kResistance);
        q2.variables["var_i1"] = s.u2;
        q2.variables["var_u2"] = s.n;
        q2.log["IQ"] = s.iq2;
        FakeLink::Run w = run(kInductance);
        w.variables["var_i1"] = s.u;
        w.variables["TINCTST"] = s.theta;
        w.log["IQ"] = s.iq3;
        w.log["ID"] = s.id3;
        for (const FakeLink::Run& r : {p1, q1, p2, q2, w}) link.runs.push_back(r);
    }

    // The hand-computed results for the default script with the default sample (sinusoidal scale).
    static constexpr double kMeasuredVdc = 111.8 * 32760 / 65520;  // 55.9 V
    static double Kv() { return 65534 / (1.1 * kMeasuredVdc); }
    static constexpr double kCs = 65520 / (2 * 20.0);  // 1638 counts per A
    static double ExpectedR() { return (30.0 - 27.0) / (8.0 - 3.0) / Kv() * kCs; }
    static double ExpectedL()
    {
        const double omega = 100 * 2 * kPi / (65535 * 50e-6);
        return 6.0 * 200 * kCs / (omega * 62.5 * Kv());
    }

    static constexpr const char* kRunToEnd = R"S(
        click 10000
        wait 2000
        expect-text 10001 "Test succeeded"
    )S";
};

TEST_F(CommissioningRl, ComputesResistanceAndInductanceAndKeepsThemOnYes)
{
    auto setup = MakeSetup();
    Script(RlScript{});
    CTestRL dlg(setup.get(), nullptr);
    const int result = Run(dlg, std::string(kRunToEnd) + R"S(
        expect-param Vdc 55.9
        answer yes
        cancel
    )S");
    EXPECT_EQ(result, rurorade::IDOK);
    // Hand values: Kv = 65534 / (1.1 * 55.9) = 1065.767, R = 3/5 * 1638 / Kv = 0.922153 ohm;
    // omega = 100 * 2pi / (65535 * 50 us) = 191.7505 rad/s, L = 6 * 200 * 1638 / (omega * 62.5 * Kv) = 0.153892 H.
    EXPECT_NEAR(ExpectedR(), 0.922153, 1e-6);
    EXPECT_NEAR(ExpectedL(), 0.153892, 1e-6);
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), ExpectedR());
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("L"), ExpectedL());
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0) << "the measured bus voltage is not kept";

    const std::vector<std::string> steps = {
        "Launching code for preliminary test (1)", "Waiting preliminary test to be finished (1)",
        "Launching code for R test (1)",           "Waiting R test to be finished (1)",
        "Launching code for preliminary test (2)", "Waiting preliminary test to be finished (2)",
        "Launching code for R test (2)",           "Waiting R test to be finished (2)",
        "Launching code for L test",               "Waiting L test to be finished",
        "Test succeeded"};
    EXPECT_EQ(Statuses(), steps);
    EXPECT_EQ(link.started, (std::vector<std::string>{kPositioning, kResistance, kPositioning, kResistance, kInductance}));

    // In1 = trunc(2.5 A * 1638) = 4095; half 2047.
    using W = std::tuple<std::string, std::string, double>;
    EXPECT_EQ(link.writes, (std::vector<W>{{kPositioning, "In1", 4095},
                                           {kResistance, "RefTest", 1200},
                                           {kResistance, "RIncTest", 30},
                                           {kResistance, "In1", 4095},
                                           {kPositioning, "In1", 2047},
                                           {kResistance, "RefTest", 600},
                                           {kResistance, "RIncTest", 15},
                                           {kResistance, "In1", 2047},
                                           {kInductance, "In1", 4095}}));
    ASSERT_EQ(link.loggerRequests.size(), 3u);
    EXPECT_EQ(link.loggerRequests[0].points, 400);
    EXPECT_EQ(link.loggerRequests[0].logType, 1);
    EXPECT_EQ(link.loggerRequests[0].sampling, 1);
    EXPECT_EQ(link.loggerRequests[0].variables, std::vector<std::string>{"IQ"});
    EXPECT_EQ(link.loggerRequests[1].logType, 2);
    EXPECT_EQ(link.loggerRequests[1].variables, std::vector<std::string>{"IQ"});
    EXPECT_EQ(link.loggerRequests[2].logType, 2);
    EXPECT_EQ(link.loggerRequests[2].variables, (std::vector<std::string>{"IQ", "ID"}));

    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Phase resistance:\tOld = 0.9\tNew = " + Printed("%g", ExpectedR()) +
                       "\r\nPhase inductance:\tOld = 0.0012\tNew = " + Printed("%g", ExpectedL()) + "\r\n"));
}

TEST_F(CommissioningRl, NoRestoresTheSetupAndCancelStaysOpen)
{
    auto setup = MakeSetup();
    Script(RlScript{});
    CTestRL dlg(setup.get(), nullptr);
    const int result = Run(dlg, std::string(kRunToEnd) + R"S(
        answer cancel
        cancel
        expect-dialog 290
        expect-param Vdc 48
        expect-text 1002 "0.9221529588"
        answer no
        cancel
    )S");
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_TRUE(driver->RanToEnd());
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("L"), 0.0012);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

TEST_F(CommissioningRl, OnlyChangedValuesAreListed)
{
    // R as the test will find it: only the inductance line.
    auto setup = MakeSetup({{"R", ExpectedR()}});
    Script(RlScript{});
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, std::string(kRunToEnd) + "answer yes\ncancel\n");
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Phase inductance:\tOld = 0.0012\tNew = " + Printed("%g", ExpectedL()) + "\r\n"));

    // Both as found: no question at all.
    auto same = MakeSetup({{"R", ExpectedR()}, {"L", ExpectedL()}});
    Script(RlScript{});
    CTestRL dlg2(same.get(), nullptr);
    const int result = Run(dlg2, std::string(kRunToEnd) + "cancel\n");
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_FALSE(Asked()) << trace.str();
    EXPECT_EQ(same->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

TEST_F(CommissioningRl, SecondStartOffersTheValuesFromOpening)
{
    auto setup = MakeSetup();
    Script(RlScript{});
    RlScript second;
    second.u1 = 33;  // R = 6/5 * 1638 / Kv
    Script(second);
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, std::string(kRunToEnd) + kRunToEnd + "answer yes\ncancel\n");
    const double r2 = (33.0 - 27.0) / (8.0 - 3.0) / Kv() * kCs;
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), r2);
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Phase resistance:\tOld = 0.9\tNew = " + Printed("%g", r2) +
                       "\r\nPhase inductance:\tOld = 0.0012\tNew = " + Printed("%g", ExpectedL()) + "\r\n"));
    // The first resistance run adds to the logger's variables without a reset.
    ASSERT_EQ(link.loggerRequests.size(), 6u);
    EXPECT_EQ(link.loggerRequests[3].variables, (std::vector<std::string>{"IQ", "ID", "IQ"}));
    EXPECT_EQ(link.loggerRequests[4].variables, std::vector<std::string>{"IQ"});
}

TEST_F(CommissioningRl, DeltaConnectionTriplesBoth)
{
    auto setup = MakeSetup({{"MotorPhaseConnectionType", 1}});
    Script(RlScript{});
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, std::string(kRunToEnd) + "answer yes\ncancel\n");
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), ExpectedR() * 3);
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("L"), ExpectedL() * 3);
}

TEST_F(CommissioningRl, RunningMeanSkipsTheFirstOfSeveralPoints)
{
    CTestRL::RunningMean mean;
    EXPECT_TRUE(mean.Empty());
    mean.Add(5);
    EXPECT_EQ(mean.Value(), 5);
    mean.Add(7);
    EXPECT_EQ(mean.Value(), 7);
    mean.Add(9);
    EXPECT_EQ(mean.Value(), 8);

    // A single point 5 in the first run: I1 = 5, so R = 3 / (5 - 3) ...
    auto setup = MakeSetup();
    RlScript s;
    s.iq1 = {5};
    Script(s);
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, std::string(kRunToEnd) + "answer yes\ncancel\n");
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), (30.0 - 27.0) / (5.0 - 3.0) / Kv() * kCs);
}

TEST_F(CommissioningRl, NoPointInTheSecondRunTakesItsVoltage)
{
    auto setup = MakeSetup();
    RlScript s;
    s.iq2 = {};
    s.u2 = 2;  // I2 = U2 = 2
    Script(s);
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, std::string(kRunToEnd) + "answer yes\ncancel\n");
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), (30.0 - 2.0) / (8.0 - 2.0) / Kv() * kCs);
}

TEST_F(CommissioningRl, TestCurrentIsTruncatedAndHalvedTowardZero)
{
    for (const auto& [internal, full, half] : {std::tuple{3.7, 3.0, 1.0}, std::tuple{-3.0, -3.0, -1.0}}) {
        auto setup = MakeSetup();
        setup->SetParameterValueInInternalUnit("TestCurrent", internal);
        ASSERT_EQ(setup->GetParameterValueInInternalUnit("TestCurrent"), internal);
        link.writes.clear();
        Script(RlScript{});
        CTestRL dlg(setup.get(), nullptr);
        Run(dlg, kRunToEnd);
        std::vector<double> in1;
        for (const auto& [program, name, value] : link.writes)
            if (name == "In1") in1.push_back(value);
        EXPECT_EQ(in1, (std::vector<double>{full, full, half, half, full})) << internal;
    }
}

TEST_F(CommissioningRl, SinusoidalScaleWhileOpenedThroughTheHelper)
{
    // A trapezoidal drive: the test still uses the sinusoidal voltage command scale.
    auto setup = MakeSetup({{"CommutationMethod", 0}});
    Script(RlScript{});
    g_bKufSinusoidalMode = 3;
    int flagInside = -1;
    const int result = RunWithSinusoidalMode([&] {
        flagInside = g_bKufSinusoidalMode;
        CTestRL dlg(setup.get(), nullptr);
        return Run(dlg, std::string(kRunToEnd) + "answer yes\ncancel\n");
    });
    EXPECT_EQ(flagInside, 1);
    EXPECT_EQ(g_bKufSinusoidalMode, 3);
    EXPECT_EQ(result, rurorade::IDOK);
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), ExpectedR());
}

// Each failure: the error text, R and L untouched while the dialog is open, Vdc back after closing.
struct RlFailure {
    const char* name;
    std::function<void(RlScript&)> script;
    std::function<void(FakeLink&)> link;
    std::string error;
};

class CommissioningRlFailures : public CommissioningRl, public ::testing::WithParamInterface<RlFailure> {};

TEST_P(CommissioningRlFailures, FailWithTheirTextAndLeaveTheSetup)
{
    const RlFailure& f = GetParam();
    auto setup = MakeSetup();
    RlScript s;
    if (f.script) f.script(s);
    Script(s);
    if (f.link) f.link(link);
    CTestRL dlg(setup.get(), nullptr);
    const int result = Run(dlg, R"S(
        click 10000
        wait 2000
        expect-text 10001 "Test failed"
        expect-param R 0.9
        expect-param L 0.0012
        cancel
    )S");
    EXPECT_EQ(dlg.m_strError, f.error);
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_FALSE(Asked());
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("R"), 0.9);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("L"), 0.0012);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, CommissioningRlFailures,
    ::testing::Values(
        RlFailure{"marker", [](RlScript& s) { s.prelim1 = 1.2345e100; }, {}, CMC_TestDlg::msc_pszErrInternal},
        RlFailure{"zero", [](RlScript& s) { s.prelim1 = 0; }, {}, CMC_TestDlg::msc_pszErrInZero},
        RlFailure{"negative second", [](RlScript& s) { s.prelim2 = -1; }, {}, CMC_TestDlg::msc_pszErrInZero},
        RlFailure{"start refused", {}, [](FakeLink& l) { l.runs[1].startFails = true; }, CMC_TestDlg::msc_pszErrInternal},
        RlFailure{"inductance start refused", {}, [](FakeLink& l) { l.runs[4].startFails = true; },
                  CMC_TestDlg::msc_pszErrInternal},
        RlFailure{"enable off", [](RlScript& s) { s.mer = 0x8000; }, {}, "Drive / Motor ENABLE input is in DISABLED state."},
        RlFailure{"short circuit at the end", {}, [](FakeLink& l) { l.runs[4].endVariables["MER"] = 0x0002; },
                  "Drive / Motor shortcircuit protection triggered."},
        RlFailure{"upload", {}, [](FakeLink& l) { l.uploadFails = true; }, CMC_TestDlg::msc_pszErrInternal},
        RlFailure{"unreadable var_i1", {}, [](FakeLink& l) { l.unreadable.insert("var_i1"); }, "Timeout while reading var_i1."},
        RlFailure{"same currents", [](RlScript& s) { s.iq2 = {8}; }, {},
                  "The resistance could not be computed: both test currents gave the same measured current."},
        RlFailure{"no first point", [](RlScript& s) { s.iq1 = {}; }, {},
                  "The resistance could not be computed: the first resistance test logged no current."},
        RlFailure{"negative resistance", [](RlScript& s) { s.u2 = 40; }, {},
                  "The resistance could not be computed: the measured value is not a positive number."},
        RlFailure{"no bus voltage", [](RlScript& s) { s.n = 0; }, {},
                  "The resistance could not be computed: the measured value is not a positive number."},
        RlFailure{"zero frequency", [](RlScript& s) { s.theta = 0; }, {},
                  "The inductance could not be computed: the frequency of the applied voltage is zero."},
        RlFailure{"no current", [](RlScript& s) { s.iq3 = {0, 0}, s.id3 = {0, 0}; }, {},
                  "The inductance could not be computed: no current was measured."},
        RlFailure{"no point and no frequency", [](RlScript& s) { s.iq3 = {}, s.id3 = {}, s.theta = 0; }, {},
                  "The inductance could not be computed: the frequency of the applied voltage is zero."},
        RlFailure{"negative inductance", [](RlScript& s) { s.id3 = {1, -4, -8}; }, {},
                  "The inductance could not be computed: the measured value is not a positive number."}),
    [](const ::testing::TestParamInfo<RlFailure>& info) {
        std::string name;
        for (const char* c = info.param.name; *c; ++c) name += (*c == ' ') ? '_' : *c;
        return name;
    });

TEST_F(CommissioningRl, MaskedFaultsDoNotStopTheTest)
{
    auto setup = MakeSetup();
    RlScript s;
    s.mer = 0x0008 | 0x0020 | 0x0040 | 0x0080;
    Script(s);
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, kRunToEnd);
}

TEST_F(CommissioningRl, MeasuredVdcIsWrittenBackWhenTheRunFailsLate)
{
    auto setup = MakeSetup();
    RlScript s;
    s.theta = 0;
    Script(s);
    CTestRL dlg(setup.get(), nullptr);
    // The measured bus voltage stays in the setup until the dialog closes.
    Run(dlg, R"S(
        click 10000
        wait 2000
        expect-text 10001 "Test failed"
        expect-param Vdc 55.9
        cancel
    )S");
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

TEST_F(CommissioningRl, MissingResultParameterWritesNeither)
{
    auto setup = MakeSetup({}, {"R"});
    Script(RlScript{});
    CTestRL dlg(setup.get(), nullptr);
    Run(dlg, R"S(
        click 10000
        wait 2000
        expect-text 10001 "Test failed"
        expect-param L 0.0012
    )S");
    EXPECT_EQ(dlg.m_strError, CMC_TestDlg::msc_pszErrInternal);
}

}  // namespace
