#include <cmath>
#include <cstdio>
#include <iostream>

#include "auto_test_driver.h"
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

void Compare(const char* label, const char* unit, double before, double measured, double truth, bool kept)
{
    if (!kept) {
        std::printf("%-4s setup %s %s (unchanged), true %s %s\n", label, FormatNumber(before).c_str(), unit,
                    FormatNumber(truth).c_str(), unit);
        return;
    }
    const double error = (measured - truth) / truth * 100;
    std::printf("%-4s setup %s %s, measured %s %s, true %s %s (error %+.3f %%)\n", label, FormatNumber(before).c_str(), unit,
                FormatNumber(measured).c_str(), unit, FormatNumber(truth).c_str(), unit, error);
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
    if (options.name != "vdc" && options.name != "rl")
        throw CommandError{kUsage, "unknown test \"" + options.name + "\" (available: vdc, rl)"};

    std::string error;
    CMC_Setup& setup = *session.setup;
    const double vdcBefore = Value(setup, "Vdc"), rBefore = Value(setup, "R"), lBefore = Value(setup, "L");
    rurorade::VirtualClock clock;
    const std::unique_ptr<drivesim::SimulatedDrive> drive = AttachSimulatedDrive(session, options.simulation, clock);
    const drivesim::MotorModel& motor = drive->Motor();
    const drivesim::Fault fault = drive->GetFault();

    rurorade::ScriptDriver scriptDriver(std::cout);
    AutoTestDriver autoDriver(std::cout, kDriveTimeLimitMs);
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
        if (options.name == "vdc") {
            Compare("Vdc", "V", vdcBefore, Value(setup, "Vdc"), motor.vdc, kept);
        } else {
            // A delta-connected setup stores three times what the drive sees between its phases.
            const double k = Value(setup, "MotorPhaseConnectionType") == 1.0 ? 3.0 : 1.0;
            Compare("R", "Ohm", rBefore, Value(setup, "R"), motor.resistance * k, kept);
            Compare("L", "H", lBefore, Value(setup, "L"), motor.inductance * k, kept);
        }
        std::printf("(%s, %s)\n", kept ? "kept in the setup" : "setup unchanged",
                    fault == drivesim::Fault::None ? "no fault injected" : drivesim::FaultName(fault));
    }
    if (!options.out.empty()) WriteSetup(setup, options.out, session.inputPath);

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
