// The test framework and the VDC detection and resistance/inductance tests, driven by scripts
// against a scripted fake drive on a virtual clock. Whole runs against the simulated drive (value
// recovery, fault injection, "No", the mode flag) are in commissioning_e2e_test.cpp.
#include <gtest/gtest.h>

#include <cstdio>
#include <deque>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>
#include <tuple>

#include "commissioning/my_test_dlg.h"
#include "commissioning/rl_identification.h"
#include "commissioning/vdc_detection.h"
#include "engine/unit_scaling.h"
#include "rurorade/dialog_template.h"
#include "script_session.h"

namespace {

using Write = std::tuple<std::string, std::string, double>;

// A drive whose every answer is scripted: each program start takes the next scripted run.
class FakeLink : public rurorade::DriveLink {
public:
    struct Run {
        std::string section;
        std::int64_t startAfterMs = 40, onForMs = 100;  // "STARTED" reads 0 until then, then the axis is on
        std::map<std::string, double> variables, endVariables;  // from the start on / once the axis is off (internal)
        std::map<std::string, double> results;                  // user variables read back ("STARTED" overrides)
        std::map<std::string, std::vector<double>> log;         // logged values per variable
        bool startFails = false;
    };
    explicit FakeLink(rurorade::Clock& clock) : m_clock(clock) {}
    Run& Add(const char* section)
    {
        runs.emplace_back().section = section;
        return runs.back();
    }

    std::deque<Run> runs;
    std::map<std::string, double> variables{{"MER", 0.0}}, user;
    std::set<std::string> unreadable;
    bool uploadFails = false;
    // What the host asked for; `calls` counts every call a timer tick could make.
    std::vector<std::string> started;
    std::vector<Write> writes;
    std::vector<rurorade::LoggerRequest> loggerRequests;
    int calls = 0;

    bool WriteParameter(const CMC_Parameter&) override { return true; }
    bool WriteVariable(const CMC_Variable&) override { return true; }
    bool ExecuteString(const std::string&) override { return true; }
    bool StopProgram() override { return ++stops, true; }
    int stops = 0;
    std::string GetLastErrorText() const override { return m_error; }
    bool ReadVariable(CMC_Variable& variable) override
    {
        ++calls;
        if (m_current && Now() >= m_offMs)
            for (const auto& [n, v] : m_current->endVariables) variables[n] = v;
        const std::string& name = variable.GetName();
        if (unreadable.count(name) || !variables.count(name)) return Error("Timeout while reading " + name + ".");
        variable.SetValueInInternalUnit(variables[name]);
        return true;
    }
    bool SetUserVariable(const std::string& program, const std::string& name, double value) override
    {
        writes.emplace_back(program, name, value);
        return ++calls, user[name] = value, true;
    }
    bool GetUserVariable(const std::string& program, const std::string& name, double& value) override
    {
        ++calls;
        const bool current = m_current && m_current->section == program;
        if (current && m_current->results.count(name))
            value = m_current->results.at(name);
        else if (name == "STARTED")
            value = current && Now() >= m_onMs ? 1.0 : 0.0;
        else if (user.count(name))
            value = user[name];
        else
            return Error("Unknown user variable " + name + ".");
        return true;
    }
    bool StartProgram(const std::string& program, const std::string& section, const rurorade::LoggerRequest* logger) override
    {
        ++calls;
        started.push_back(section);
        if (runs.empty()) return Error("No run scripted for " + section + ".");
        m_run = runs.front();
        runs.pop_front();
        EXPECT_EQ(m_run.section, section);
        EXPECT_EQ(program, section);
        if (m_run.startFails) return Error("The drive refused the start.");
        m_current = &m_run;
        m_onMs = Now() + m_run.startAfterMs;
        m_offMs = m_onMs + m_run.onForMs;
        for (const auto& [name, value] : m_run.variables) variables[name] = value;
        m_logged.clear();
        if (!logger) return true;
        loggerRequests.push_back(*logger);
        // As many points as the first variable has; a variable without values logs 0.
        for (std::size_t i = 0; i < m_run.log[logger->variables.at(0)].size(); ++i) {
            m_logged.push_back({0.001 * static_cast<double>(i)});
            for (const std::string& name : logger->variables)
                m_logged.back().push_back(i < m_run.log[name].size() ? m_run.log[name][i] : 0.0);
        }
        return true;
    }
    bool GetAxisOn(bool& on) override
    {
        on = m_current && Now() >= m_onMs && Now() < m_offMs;
        return ++calls, true;
    }
    bool UploadLog(std::vector<std::vector<double>>& points) override
    {
        ++calls;
        if (uploadFails) return Error("Upload failed.");
        points = m_logged;
        return true;
    }

private:
    std::int64_t Now() const { return m_clock.NowMs(); }
    bool Error(const std::string& text) { return m_error = text, false; }

    rurorade::Clock& m_clock;
    Run m_run;
    const Run* m_current = nullptr;
    std::int64_t m_onMs = 0, m_offMs = 0;
    std::vector<std::vector<double>> m_logged;
    std::string m_error;
};

const char* const kPositioning = "Initial_Positioning_Test";
const char* const kResistance = "Ident_R_or_Rs";
const char* const kInductance = "Ident_L_or_Tau_el";
const char* const kVdcProgram = "VDC_Detection_Test";
const char* const kInternal = CMC_TestDlg::msc_pszErrInternal;
const char* const kShortCircuit = "Drive / Motor shortcircuit protection triggered.";
const char* const kEnableOff = "Drive / Motor ENABLE input is in DISABLED state.";
const char* const kControlError = "Drive / Motor control error protection triggered.";

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

// Runs on the host's own program images.
class Commissioning : public zektest::DialogTest {
protected:
    // The default sample with the drive variables of these tests (all in counts), on the fake drive;
    // `without` names parameters or variables to leave out.
    std::unique_ptr<CMC_Setup> MakeSetup(const std::vector<std::pair<std::string, double>>& values = {},
                                         const std::vector<std::string>& without = {})
    {
        auto json = zektest::SampleJson();
        for (const char* name : {"var_u2", "var_i1", "REFTST_V", "RINCTST_V", "TINCTST", "IQ", "ID"})
            json["variables"][name] = nlohmann::ordered_json::object();
        for (const std::string& name : without) {
            json["parameters"].erase(name);
            json["variables"].erase(name);
        }
        for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
        auto setup = zektest::SetupFromJson(json);
        setup->SetDriveLink(&link);
        return setup;
    }

    int Run(CMC_EditSetupDlg& dlg, const std::string& script)
    {
        return zektest::PlayScript(script, trace, [&] { return dlg.DoModal(); }, true);
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

    FakeLink link{clock};
    std::ostringstream trace;
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

TEST_F(CommissioningFramework, CheckDriveErrorsReportsTheFirstUnmaskedFault)
{
    // MER, mask, failNow, the error text (null: no fault).
    const std::tuple<double, std::uint16_t, int, const char*> cases[] = {
        {0x0002, 0xFFFF, 0, kShortCircuit},
        {0x0008, 0xFFFF, 0, kControlError},
        {0x0020, 0xFFFF, 0, "Hall sensor is missing."},
        {0x0040, 0xFFFF, 0, "Drive / Motor stopped due to positive limit switch input triggered."},
        {0x0080, 0xFFFF, 0, "Drive / Motor stopped due to negative limit switch input triggered."},
        {0x8000, 0xFFFF, 1, kEnableOff},
        {0x8002, 0xFFFF, 0, kShortCircuit},  // several bits: the first in the order above wins
        {0x80E8, 0xFFFF, 1, kControlError},
        {0x0008, 0x8002, 1, nullptr},  // masked bits and bits outside the table are no fault
        {0x8008, 0x8002, 0, kEnableOff},
        {0x7F15, 0x7F15, 1, nullptr},
        {2.9, 0x0002, 0, kShortCircuit},  // the value is truncated before the mask applies
        {1.9, 0x0002, 1, nullptr},
    };
    auto setup = MakeSetup();
    for (const auto& [mer, mask, failNow, text] : cases) {
        ProbeDlg dlg(setup.get(), 105);
        dlg.m_bTestRunning = true;
        dlg.m_nResult = -1;
        link.variables["MER"] = mer;
        EXPECT_EQ(dlg.CheckDriveErrors(mask, failNow), text ? 0 : 1) << mer;
        EXPECT_EQ(dlg.m_strError, text ? text : "") << mer;
        const bool ended = text && failNow;  // only a fault with failNow ends the run
        EXPECT_EQ(std::pair(dlg.m_bTestRunning, dlg.m_nResult), std::pair(!ended, ended ? 0 : -1)) << mer;
    }
}

TEST_F(CommissioningFramework, OnlyTuningTemplatesClearTheStartMinimumMove)
{
    for (const auto& [templateId, after] : {std::pair{102, 0.0}, std::pair{103, 0.0}, std::pair{105, 500.0}}) {
        auto setup = MakeSetup();
        ProbeDlg dlg(setup.get(), templateId);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("ABSTART_MINMOVE"), after) << templateId;
    }
    auto without = MakeSetup({}, {"ABSTART_MINMOVE"});
    rurorade::ErrorSink().Clear();
    ProbeDlg speed(without.get(), 102);
    EXPECT_TRUE(Reported().empty()) << "the probe asks quietly";
}

TEST_F(CommissioningFramework, ReadProgramResultRejectsTheMarkerAndValuesNotAboveZero)
{
    auto setup = MakeSetup();
    CMC_CoffFormat coff;
    ASSERT_TRUE(coff.ReadCoff(CMC_TestDlg::GetOutPathName(kPositioning).c_str()));
    const char* const inZero = CMC_TestDlg::msc_pszErrInZero;
    // The value, the text for values not above 0 (null: no such rule), the error text (null: read).
    const std::tuple<double, const char*, const char*> cases[] = {
        {1.2345e100, nullptr, kInternal}, {0.0, inZero, inZero}, {-2.0, "own message", "own message"},
        {-2.0, nullptr, nullptr}, {0.5, inZero, nullptr}};
    for (const auto& [given, zeroText, error] : cases) {
        ProbeDlg dlg(setup.get(), 290);
        link.user["In1"] = given;
        double value = 0;
        EXPECT_EQ(dlg.ReadProgramResult(coff, "In1", value, zeroText), error ? 0 : 1) << given;
        EXPECT_EQ(dlg.m_strError, error ? error : "") << given;
        EXPECT_EQ(value, error ? value : given);
    }
}

// Ticks of other timers or without a run are ignored; a step index where no program ends fails.
TEST_F(CommissioningFramework, TimerTicks)
{
    auto setup = MakeSetup();
    CTestVdcDetection vdc(setup.get(), nullptr);
    CTestRL rl(setup.get(), nullptr);
    const std::pair<CMyTestDlg*, std::vector<int>> cases[] = {{&vdc, {0, 1, 3, 9}}, {&rl, {0, 1, 3, 5, 7, 9, 11}}};
    for (const auto& [dlg, badIndices] : cases) {
        dlg->m_nStepIndex = 2;
        dlg->OnTimer(1);  // not running
        dlg->m_bTestRunning = true;
        dlg->m_nResult = -1;
        dlg->OnTimer(5);  // another timer
        EXPECT_EQ(std::tuple(dlg->m_bTestRunning, dlg->m_nResult, dlg->m_nStepIndex, dlg->m_strError),
                  std::tuple(true, -1, 2, ""));
        for (int index : badIndices) {
            dlg->m_bTestRunning = true;
            dlg->m_nResult = -1;
            dlg->m_strError.clear();
            dlg->m_nStepIndex = static_cast<std::uint16_t>(index);
            dlg->OnTimer(1);
            EXPECT_EQ(std::tuple(dlg->m_bTestRunning, dlg->m_nResult, dlg->m_strError), std::tuple(false, 0, kInternal))
                << index;
        }
    }
    EXPECT_EQ(link.calls, 0);
}

TEST_F(CommissioningFramework, TemplatesHoldTheNamedControls)
{
    auto text = [](int templateId, int id) -> std::string {
        for (const rurorade::ControlTemplate& c : rurorade::FindDialogTemplate(templateId)->controls)
            if (c.id == id) return c.text;
        return "<no control>";
    };
    ASSERT_TRUE(rurorade::FindDialogTemplate(105) && rurorade::FindDialogTemplate(290));
    EXPECT_EQ(rurorade::FindDialogTemplate(105)->title, "VDC Detection Test");
    EXPECT_EQ(rurorade::FindDialogTemplate(290)->title, "Total Resistance and Inductance Identification Test");
    const std::tuple<int, int, const char*> controls[] = {
        {105, 1376, "Identifies the VDC voltage."},
        {105, 1377, "1. Press the Start button\r\n2. Wait until the test ends and displays the results"},
        {290, 1376, "Identifies total resistance and inductance."}, {290, 3700, "R = "}, {290, 3701, "L = "},
        {290, 3702, "Test current"}, {290, 3703, "- Current value used during the test"},
        {105, 1012, ""}, {105, 1013, ""}, {290, 1002, ""}, {290, 1003, ""}, {290, 1005, ""}, {290, 3128, ""},
        {290, 3129, ""}, {290, 1017, ""}, {105, 10024, "Help"}, {290, 10024, "Help"},
        // The only closing button is the frame's "Close".
        {105, rurorade::IDOK, "<no control>"}, {290, rurorade::IDOK, "<no control>"}};
    for (const auto& [t, id, expected] : controls) EXPECT_EQ(text(t, id), expected) << t << "/" << id;
}

TEST_F(CommissioningFramework, HelpOpensTheTopicOfEachTest)
{
    auto setup = MakeSetup();
    CTestVdcDetection vdc(setup.get(), nullptr);
    CTestRL rl(setup.get(), nullptr);
    const std::string file = GetGUIDirectory() + "/" + GetHelpFileOfGUI(setup.get());
    const std::pair<CMC_EditSetupDlg*, int> cases[] = {{&vdc, 0x40105}, {&rl, 0x4010C}};
    for (const auto& [dlg, topic] : cases) {
        Run(*dlg, "click 10024\n");
        EXPECT_NE(trace.str().find("help \"" + file + "\" context " + std::to_string(topic)), std::string::npos)
            << trace.str();
    }
}

// ---------------------------------------------------------------- VDC detection

class CommissioningVdc : public Commissioning {
protected:
    // One run of the program; the drive reports `counts` in var_u2.
    FakeLink::Run& ScriptRun(double counts)
    {
        FakeLink::Run& run = link.Add(kVdcProgram);
        run.variables = {{"var_u2", counts}, {"MER", 0.0}};
        return run;
    }
    static double Measured(CMC_Setup* setup, double counts) { return counts / VoltageScale(setup); }
};

// Yes keeps the value (commissioning_e2e_test.cpp); Cancel in the question keeps the dialog open,
// No closes it with the old value.
TEST_F(CommissioningVdc, MeasuresTheVoltageAndAsksToKeepIt)
{
    auto setup = MakeSetup();
    ScriptRun(30000);  // 30000 * 111.8 / 65520 V
    CTestVdcDetection dlg(setup.get(), nullptr);
    const int result = Run(dlg, R"S(
        click 10000
        expect-text 10001 "Running test"
        wait 300
        expect-text 10001 "Test succeeded"
        expect-text 1012 "51.19047619"
        answer cancel
        cancel
        expect-dialog 105
        expect-param Vdc 51.19047619047619
        answer no
        cancel
    )S");
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
    EXPECT_EQ(Statuses(), (std::vector<std::string>{"Launching test", "Running test", "Test succeeded"}));
    EXPECT_EQ(link.started, std::vector<std::string>{kVdcProgram});
    EXPECT_TRUE(link.writes.empty()) << "no user variables are written";
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              Question("Power supply:\tOld = 48\tNew = " + Printed("%G", Measured(setup.get(), 30000)) + "\r\n"));
}

// The question compares, as printed with %G, the value at opening with the last measured one.
TEST_F(CommissioningVdc, ValuesThatPrintAlikeCloseWithoutAQuestion)
{
    auto setup = MakeSetup();
    const double counts = 28130.233;  // 48.0000008 V
    ASSERT_NE(Measured(setup.get(), counts), 48.0);
    ASSERT_EQ(Printed("%G", Measured(setup.get(), counts)), "48");
    ScriptRun(30000);
    ScriptRun(counts);
    CTestVdcDetection dlg(setup.get(), nullptr);
    EXPECT_EQ(Run(dlg, "click 10000\nwait 300\nclick 10000\nwait 300\nexpect-text 10001 \"Test succeeded\"\ncancel\n"),
              rurorade::IDCANCEL);
    EXPECT_FALSE(Asked()) << trace.str();
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

// Only a short circuit stops the test, and only one seen before the start or at the end; every
// failure leaves the voltage unchanged and asks nothing.
TEST_F(CommissioningVdc, FaultsAndFailures)
{
    using R = FakeLink::Run;
    const std::string noVdc = "The DC bus voltage could not be computed: the drive measured no valid voltage.";
    const struct {
        const char* name;
        void (*arrange)(FakeLink&, R&);
        std::string error;  // empty: the test succeeds
        const char* without = nullptr;
    } cases[] = {
        {"short circuit", [](FakeLink&, R& r) { r.variables["MER"] = 0x0002; }, kShortCircuit},
        {"other faults", [](FakeLink&, R& r) { r.variables["MER"] = 0x80E8; }, ""},
        {"short circuit at the end", [](FakeLink&, R& r) { r.endVariables["MER"] = 0x0002; }, kShortCircuit},
        {"short circuit only while on",
         [](FakeLink&, R& r) { r.variables["MER"] = 0x0002, r.startAfterMs = 0, r.endVariables["MER"] = 0; }, ""},
        {"MER missing", nullptr, kInternal, "MER"},
        {"MER unreadable", [](FakeLink& l, R&) { l.unreadable.insert("MER"); }, "Timeout while reading MER."},
        {"start refused", [](FakeLink&, R& r) { r.startFails = true; }, kInternal},
        {"var_u2 missing", nullptr, kInternal, "var_u2"},
        {"var_u2 unreadable", [](FakeLink& l, R&) { l.unreadable.insert("var_u2"); }, "Timeout while reading var_u2."},
        {"STARTED unreadable", [](FakeLink&, R& r) { r.results["STARTED"] = 1.2345e100; }, kInternal},
        {"no bus voltage", [](FakeLink&, R& r) { r.variables["var_u2"] = 0; }, noVdc},
        {"negative bus voltage", [](FakeLink&, R& r) { r.variables["var_u2"] = -100; }, noVdc},
    };
    for (const auto& [name, arrange, error, without] : cases) {
        link.unreadable.clear();
        link.runs.clear();
        auto setup = without ? MakeSetup({}, {without}) : MakeSetup();
        R& run = ScriptRun(30000);
        if (arrange) arrange(link, run);
        CTestVdcDetection dlg(setup.get(), nullptr);
        Run(dlg, "click 10000\nwait 300\n" + std::string(error.empty() ? "expect-text 10001 \"Test succeeded\"\n"
                                                                      : "expect-text 10001 \"Test failed\"\n"
                                                                        "expect-param Vdc 48\ncancel\n"));
        EXPECT_EQ(dlg.m_strError, error) << name;
        EXPECT_FALSE(Asked()) << name;
    }
}

// ---------------------------------------------------------------- resistance and inductance

struct RlScript {
    double prelim1 = 1, prelim2 = 1;          // result "In1" of the positioning runs
    double reference = 1200, increment = 30;  // REFTST_V, RINCTST_V
    double u1 = 30;
    std::vector<double> iq1 = {5, 7, 9};  // mean 8: the first of several points is skipped
    double u2 = 27, n = 32760;            // var_u2: half the converter range
    std::vector<double> iq2 = {3};        // mean 3: a single point is taken
    double u = 200, theta = 100;
    std::vector<double> iq3 = {0, 3, 6}, id3 = {1, 4, 8};  // mean ID 6, mean IQ²+ID² 62.5
    double mer = 0;
};

class CommissioningRl : public Commissioning {
protected:
    void Script(const RlScript& s)
    {
        auto run = [&](const char* section, std::map<std::string, double> variables) {
            FakeLink::Run& r = link.Add(section);
            r.variables = std::move(variables);
            r.variables["MER"] = s.mer;
            return &r;
        };
        run(kPositioning, {{"REFTST_V", s.reference}, {"RINCTST_V", s.increment}})->results["In1"] = s.prelim1;
        run(kResistance, {{"var_i1", s.u1}})->log["IQ"] = s.iq1;
        run(kPositioning, {{"REFTST_V", s.reference / 2}, {"RINCTST_V", s.increment / 2}})->results["In1"] = s.prelim2;
        run(kResistance, {{"var_i1", s.u2}, {"var_u2", s.n}})->log["IQ"] = s.iq2;
        run(kInductance, {{"var_i1", s.u}, {"TINCTST", s.theta}})->log = {{"IQ", s.iq3}, {"ID", s.id3}};
    }

    // Scripts `runs`, opens the test on `setup` and runs `script`; keeps the test's error text.
    int RunRl(CMC_Setup* setup, const std::string& script, const std::vector<RlScript>& runs = {RlScript{}})
    {
        for (const RlScript& s : runs) Script(s);
        CTestRL dlg(setup, nullptr);
        const int result = Run(dlg, script);
        error = dlg.m_strError;
        return result;
    }

    // Each logger request as {points, logType, sampling, variables}.
    using Logger = std::tuple<int, int, int, std::vector<std::string>>;
    std::vector<Logger> Loggers() const
    {
        std::vector<Logger> out;
        for (const rurorade::LoggerRequest& r : link.loggerRequests)
            out.emplace_back(r.points, r.logType, r.sampling, r.variables);
        return out;
    }

    // The hand-computed results for the default script with the default sample (sinusoidal scale).
    static constexpr double kMeasuredVdc = 111.8 * 32760 / 65520;  // 55.9 V
    static double Kv() { return 65534 / (1.1 * kMeasuredVdc); }
    static constexpr double kCs = 65520 / (2 * 20.0);  // 1638 counts per A
    static double R(double u1, double u2, double i1, double i2) { return (u1 - u2) / (i1 - i2) / Kv() * kCs; }
    static double ExpectedR() { return R(30, 27, 8, 3); }
    static double ExpectedL()
    {
        const double omega = 100 * 2 * kPi / (65535 * 50e-6);
        return 6.0 * 200 * kCs / (omega * 62.5 * Kv());
    }
    // The lines of the closing question; no resistance line for r = 0.
    static std::string Lines(double r, double l)
    {
        return (r ? "Phase resistance:\tOld = 0.9\tNew = " + Printed("%g", r) + "\r\n" : "") +
               "Phase inductance:\tOld = 0.0012\tNew = " + Printed("%g", l) + "\r\n";
    }

    static constexpr const char* kRunToEnd = "click 10000\nwait 2000\nexpect-text 10001 \"Test succeeded\"\n";
    std::string error;
};

TEST_F(CommissioningRl, OnlyChangedValuesAreListed)
{
    auto setup = MakeSetup({{"R", ExpectedR()}});  // R as the test will find it: only the inductance line
    RunRl(setup.get(), std::string(kRunToEnd) + "answer yes\ncancel\n");
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), Question(Lines(0, ExpectedL())));

    auto same = MakeSetup({{"R", ExpectedR()}, {"L", ExpectedL()}});  // both as found: no question at all
    EXPECT_EQ(RunRl(same.get(), std::string(kRunToEnd) + "cancel\n"), rurorade::IDCANCEL);
    EXPECT_FALSE(Asked()) << trace.str();
    EXPECT_EQ(same->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

// The second run logs no point in its second resistance run, so its current is the voltage read
// (I2 = U2 = 2); it also meets faults outside the mask, which do not stop it.
TEST_F(CommissioningRl, SecondStartOffersTheValuesFromOpening)
{
    auto setup = MakeSetup();
    RlScript second;
    second.iq2 = {};
    second.u2 = 2;
    second.mer = 0x0008 | 0x0020 | 0x0040 | 0x0080;
    RunRl(setup.get(), std::string(kRunToEnd) + kRunToEnd + "answer yes\ncancel\n", {RlScript{}, second});
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), R(30, 2, 8, 2));
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), Question(Lines(R(30, 2, 8, 2), ExpectedL())));
    // The first resistance run adds to the logger's variables without a reset.
    EXPECT_EQ(Loggers(), (std::vector<Logger>{{400, 1, 1, {"IQ"}}, {400, 2, 1, {"IQ"}}, {400, 2, 1, {"IQ", "ID"}},
                                              {400, 1, 1, {"IQ", "ID", "IQ"}}, {400, 2, 1, {"IQ"}},
                                              {400, 2, 1, {"IQ", "ID"}}}));
}

// The helper sets the flag to 1 for the modal call only and passes its result on: a trapezoidal
// drive then measures with the sinusoidal voltage command scale. A test current of -3.7 counts
// truncates to -3 (not -4) and halves toward zero to -1 (not -2).
TEST_F(CommissioningRl, SinusoidalScaleThroughTheHelperAndTestCurrentTowardZero)
{
    auto setup = MakeSetup({{"CommutationMethod", 0}});
    setup->SetParameterValueInInternalUnit("TestCurrent", -3.7);
    ASSERT_EQ(setup->GetParameterValueInInternalUnit("TestCurrent"), -3.7);
    g_bKufSinusoidalMode = 3;
    int flagInside = -1;
    const int result = RunWithSinusoidalMode([&] {
        flagInside = g_bKufSinusoidalMode;
        return RunRl(setup.get(), std::string(kRunToEnd) + "answer yes\ncancel\n");
    });
    EXPECT_EQ(flagInside, 1);
    EXPECT_EQ(g_bKufSinusoidalMode, 3);
    EXPECT_EQ(result, rurorade::IDOK);
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("R"), ExpectedR());
    std::vector<double> in1;
    for (const auto& [program, name, value] : link.writes)
        if (name == "In1") in1.push_back(value);
    EXPECT_EQ(in1, (std::vector<double>{-3, -3, -1, -1, -3}));
}

// Each failure: its text, R and L untouched while the dialog is open, no question, Vdc back after closing.
TEST_F(CommissioningRl, FailuresGiveTheirTextAndLeaveTheSetup)
{
    const std::string badR = "The resistance could not be computed: the measured value is not a positive number.";
    const std::string noFrequency = "The inductance could not be computed: the frequency of the applied voltage is zero.";
    const struct {
        const char* name;
        void (*script)(RlScript&);
        void (*arrange)(FakeLink&);
        std::string error;
    } cases[] = {
        {"zero", [](RlScript& s) { s.prelim1 = 0; }, nullptr, CMC_TestDlg::msc_pszErrInZero},
        {"negative second", [](RlScript& s) { s.prelim2 = -1; }, nullptr, CMC_TestDlg::msc_pszErrInZero},
        {"start refused", nullptr, [](FakeLink& l) { l.runs[1].startFails = true; }, kInternal},
        {"upload", nullptr, [](FakeLink& l) { l.uploadFails = true; }, kInternal},
        {"unreadable var_i1", nullptr, [](FakeLink& l) { l.unreadable.insert("var_i1"); }, "Timeout while reading var_i1."},
        {"same currents", [](RlScript& s) { s.iq2 = {8}; }, nullptr,
         "The resistance could not be computed: both test currents gave the same measured current."},
        {"no first point", [](RlScript& s) { s.iq1 = {}; }, nullptr,
         "The resistance could not be computed: the first resistance test logged no current."},
        {"negative resistance", [](RlScript& s) { s.u2 = 40; }, nullptr, badR},
        {"no bus voltage", [](RlScript& s) { s.n = 0; }, nullptr, badR},  // R comes out 0
        {"zero frequency", [](RlScript& s) { s.theta = 0; }, nullptr, noFrequency},
        {"no current", [](RlScript& s) { s.iq3 = {0, 0}, s.id3 = {0, 0}; }, nullptr,
         "The inductance could not be computed: no current was measured."},
        // The frequency is checked first.
        {"no point and no frequency", [](RlScript& s) { s.iq3 = {}, s.id3 = {}, s.theta = 0; }, nullptr, noFrequency},
        {"negative inductance", [](RlScript& s) { s.id3 = {1, -4, -8}; }, nullptr,
         "The inductance could not be computed: the measured value is not a positive number."},
    };
    for (const auto& [name, script, arrange, text] : cases) {
        SCOPED_TRACE(name);
        link.runs.clear();
        link.unreadable.clear();
        link.uploadFails = false;
        auto setup = MakeSetup();
        RlScript s;
        if (script) script(s);
        Script(s);
        if (arrange) arrange(link);
        CTestRL dlg(setup.get(), nullptr);
        EXPECT_EQ(Run(dlg, "click 10000\nwait 2000\nexpect-text 10001 \"Test failed\"\nexpect-param R 0.9\n"
                           "expect-param L 0.0012\ncancel\n"),
                  rurorade::IDCANCEL);
        EXPECT_EQ(dlg.m_strError, text);
        EXPECT_FALSE(Asked());
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
    }
}

// A late failure: both result parameters are looked up before either is written, and the measured
// bus voltage stays in the setup until the dialog closes.
TEST_F(CommissioningRl, MissingResultParameterWritesNeither)
{
    auto setup = MakeSetup({}, {"R"});
    RunRl(setup.get(), "click 10000\nwait 2000\nexpect-text 10001 \"Test failed\"\nexpect-param L 0.0012\n"
                       "expect-param Vdc 55.9\ncancel\n");
    EXPECT_EQ(error, kInternal);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), 48.0);
}

}  // namespace
