#include <cmath>
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "auto_test_driver.h"
#include "test_plans.h"
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
    const TestEntry* entry = FindTest(options.name);
    if (entry == nullptr) throw CommandError{kUsage, "unknown test \"" + options.name + "\" (available: " + TestNames() + ")"};

    std::string error;
    CMC_Setup& setup = *session.setup;
    std::vector<double> before;
    for (const Finding& f : entry->findings) before.push_back(QuietValue(&setup, f.parameter));
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
        const double k = QuietValue(&setup, "MotorPhaseConnectionType") == 1.0 ? 3.0 : 1.0;
        for (std::size_t i = 0; i < entry->findings.size(); ++i) {
            const Finding& f = entry->findings[i];
            Compare(f.label, f.unit, before[i], QuietValue(&setup, f.parameter), f.truth(motor, k), kept);
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
