#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "auto_test_driver.h"
#include "tuning_report.h"
#include "commands.h"
#include "drivesim/simulated_drive.h"
#include "module/engine_api.h"
#include "rurorade/dialog_template.h"
#include "rurorade/host_errors.h"
#include "rurorade/script_driver.h"

namespace zekhost {
namespace {

// Drive time after which a run without a script is stopped (ms).
constexpr std::int64_t kDriveTimeLimitMs = 60000;

double Value(CMC_Setup& setup, const char* name)
{
    const int saved = g_bShowErrors;
    g_bShowErrors = 0;
    CMC_Parameter* p = setup.FindParameter(name);
    g_bShowErrors = saved;
    return p ? p->GetValueInBaseUnit() : std::nan("");
}

void Compare(const char* label, const char* unitName, double before, double measured, double truth, bool kept)
{
    const std::string unit = *unitName ? std::string(" ") + unitName : std::string();
    auto text = [&](double v) { return FormatNumber(v) + unit; };
    if (!kept) {
        std::printf("%-4s setup %s (unchanged), true %s\n", label, text(before).c_str(), text(truth).c_str());
        return;
    }
    char error[64];
    if (truth != 0) std::snprintf(error, sizeof error, "error %+.3f %%", (measured - truth) / truth * 100);
    else std::snprintf(error, sizeof error, "difference %s", text(measured - truth).c_str());
    std::printf("%-4s setup %s, measured %s, true %s (%s)\n", label, text(before).c_str(), text(measured).c_str(),
                text(truth).c_str(), error);
}

// What each value a test finds is, in the setup, and its truth on the bench.
struct Finding {
    const char* label;
    const char* parameter;
    const char* unit;
    double (*truth)(const drivesim::MotorModel& motor, double connection);  // connection: 3 for delta, else 1
};

// A test by name: what the person does during its run and what it finds.
struct TestEntry {
    const char* name;
    std::vector<PersonAction> plan;
    std::vector<Finding> findings;
    // A tuning test: what the person does before Start, and the run is closed with OK.
    std::vector<PersonAction> prelude = {};
    bool tuning = false;
};

using A = PersonAction;

const std::vector<TestEntry>& Tests()
{
    static const std::vector<TestEntry> tests = {
        {"vdc", {{A::WaitForEnd}}, {{"Vdc", "Vdc", "V", [](const auto& m, double) { return m.vdc; }}}},
        {"rl",
         {{A::WaitForEnd}},
         {{"R", "R", "Ohm", [](const auto& m, double k) { return m.resistance * k; }},
          {"L", "L", "H", [](const auto& m, double k) { return m.inductance * k; }}}},
        {"inertia",
         {{A::WaitForEnd}},
         {{"Jt", "Jt", "kg m^2", [](const auto& m, double) { return m.TotalInertia(); }}}},
        {"phase", {{A::WaitForEnd}}, {}},
        // Move until the shaft is back at its mark, then Stop.
        {"pole-pairs",
         {{A::Wait, 0, 1000}, {A::PressUntilBack, 0, 0, 1021}, {A::Click, 0, 0, 10000}, {A::Wait, 0, 200}},
         {{"pp", "pp", "", [](const auto& m, double) { return double(m.polePairs); }}}},
        // One slow revolution by hand, then Stop.
        {"hall-signals", {{A::Wait, 0, 100}, {A::Turn, 360, 2000}, {A::Wait, 0, 100}, {A::Click, 0, 0, 10000}}, {}},
        {"hall-config",
         {{A::Release}, {A::WaitForEnd}},
         {{"HALLCASE", "HALLCASE", "", [](const auto& m, double) { return double(m.hallCase); }},
          {"HALL30", "HALL30", "deg", [](const auto& m, double) { return m.hallShift; }}}},
        // A quarter turn and a whole revolution (past the index) by hand, then Stop.
        {"encoder",
         {{A::Wait, 0, 100}, {A::Turn, 90, 400}, {A::Turn, 360, 1000}, {A::Wait, 0, 100}, {A::Click, 0, 0, 10000}},
         {}},
        {"encoder-resolution",
         {{A::Release}, {A::WaitForEnd}},
         {{"lines", "No_encoder_lines", "", [](const auto& m, double) { return double(m.encoderLines); }}}},
        // The potentiometer from one end to the other while the drive reads it, then Stop.
        {"analogue",
         {{A::Analogue, 0}, {A::Wait, 0, 200}, {A::Analogue, 5}, {A::Wait, 0, 200}, {A::Analogue, 10},
          {A::Wait, 0, 200}, {A::Click, 0, 0, 10000}},
         {}},
        // The "Test" page, "Tune", then one run.
        {"current", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}, {A::Click, 0, 0, 3149}}, true},
        {"speed", {{A::WaitForEnd}}, {}, {{A::Select, 1, 0, 1300}, {A::Click, 0, 0, 1390}}, true},
    };
    return tests;
}

std::string TestNames()
{
    std::string names;
    for (const TestEntry& t : Tests()) names += std::string(names.empty() ? "" : ", ") + t.name;
    return names;
}

}  // namespace

drivesim::MotorModel MotorFromOption(const std::string& path)
{
    if (path.empty()) return drivesim::DefaultMotor();
    std::string error;
    auto loaded = drivesim::LoadMotor(path, error);
    if (!loaded) throw CommandError{kFailure, error};
    return *loaded;
}

std::unique_ptr<drivesim::SimulatedDrive> AttachSimulatedDrive(HostSession& session, const SimulationOptions& options,
                                                               rurorade::Clock& clock)
{
    drivesim::Fault fault = drivesim::Fault::None;
    if (!options.fault.empty()) {
        auto parsed = drivesim::ParseFault(options.fault);
        if (!parsed)
            throw CommandError{kUsage, "unknown fault \"" + options.fault + "\" (available: " + drivesim::FaultNames() + ")"};
        fault = *parsed;
    }
    auto drive = std::make_unique<drivesim::SimulatedDrive>(session.setup.get(), MotorFromOption(options.motorPath),
                                                            clock, options.seed);
    drive->SetFault(fault);
    if (options.noise >= 0) drive->SetNoise(options.noise);
    return drive;
}

int RunTest(HostSession& session, const TestOptions& options)
{
    using GetApi = const zekmod::EngineApi* (*)();
    auto get = reinterpret_cast<GetApi>(session.module.FindSymbol(zekmod::kEngineApiSymbol));
    const zekmod::EngineApi* api = get ? get() : nullptr;
    if (api == nullptr || api->version < 2) throw CommandError{kFailure, "the loaded module cannot run commissioning tests"};
    const TestEntry* entry = nullptr;
    for (const TestEntry& t : Tests())
        if (options.name == t.name) entry = &t;
    if (entry == nullptr) throw CommandError{kUsage, "unknown test \"" + options.name + "\" (available: " + TestNames() + ")"};

    std::string error;
    CMC_Setup& setup = *session.setup;
    std::vector<double> before;
    for (const Finding& f : entry->findings) before.push_back(Value(setup, f.parameter));
    rurorade::VirtualClock clock;
    const std::unique_ptr<drivesim::SimulatedDrive> drive = AttachSimulatedDrive(session, options.simulation, clock);
    const drivesim::MotorModel& motor = drive->Motor();
    const drivesim::Fault fault = drive->GetFault();

    rurorade::ScriptDriver scriptDriver(std::cout);
    AutoTestDriver autoDriver(std::cout, kDriveTimeLimitMs, entry->plan, entry->prelude,
                              entry->tuning ? rurorade::IDOK : rurorade::IDCANCEL);
    rurorade::UiDriver* driver = &autoDriver;
    if (!options.scriptPath.empty()) {
        if (!scriptDriver.LoadFile(options.scriptPath, error)) throw CommandError{kUsage, error};
        driver = &scriptDriver;
    }
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    ui.SetClock(&clock);
    ui.SetDriver(driver);
    const int result = api->RunCommissioningTest(&setup, options.name.c_str());
    ui.SetDriver(nullptr);
    ui.SetClock(nullptr);
    setup.SetDriveLink(nullptr);

    if (options.scriptPath.empty()) {
        const bool kept = result == rurorade::IDOK;
        // A delta-connected setup stores three times what the drive sees between its phases.
        const double k = Value(setup, "MotorPhaseConnectionType") == 1.0 ? 3.0 : 1.0;
        for (std::size_t i = 0; i < entry->findings.size(); ++i) {
            const Finding& f = entry->findings[i];
            Compare(f.label, f.unit, before[i], Value(setup, f.parameter), f.truth(motor, k), kept);
        }
        if (entry->tuning && autoDriver.Succeeded()) PrintTuningReport(entry->name, autoDriver.Logged(), setup, motor);
        std::printf("(%s, %s)\n", kept ? "kept in the setup" : "setup unchanged",
                    fault == drivesim::Fault::None ? "no fault injected" : drivesim::FaultName(fault));
    }
    if (!options.out.empty()) WriteSetup(setup, options.out, session.inputPath);
    if (!options.csvPath.empty() || !options.plotPath.empty()) {
        CGraphDocument logged = autoDriver.Logged();
        if (!WriteTuningFiles(logged, options.csvPath, options.plotPath)) return kFailure;
    }

    if (!options.scriptPath.empty()) {
        if (!scriptDriver.Failure().empty()) {
            std::cerr << "zekhost: " << options.scriptPath << ": " << scriptDriver.Failure() << "\n";
            return kExpectationFailed;
        }
        return kOk;
    }
    if (autoDriver.TimedOut()) {
        std::cerr << "zekhost: the test did not end within " << kDriveTimeLimitMs / 1000 << " s of drive time\n";
        return kFailure;
    }
    if (!autoDriver.Succeeded()) {
        std::cerr << "zekhost: the test failed: " << autoDriver.ErrorText() << "\n";
        return kFailure;
    }
    return kOk;
}

}  // namespace zekhost
