// How much faster than real time the simulated drive runs: drive seconds per wall-clock second
// ("drive_s_per_s"), for the programs of the resistance and inductance identification, for a
// closed speed loop, and for the whole commissioning journey through the setup editor.
#include <benchmark/benchmark.h>

#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>

#include "commission_driver.h"
#include "drivesim/simulated_drive.h"
#include "editor/drive_setup_dlg.h"
#include "module/exports.h"
#include "rurorade/numeric.h"
#include "rurorade/setup_document.h"

namespace {

std::unique_ptr<CMC_Setup> DefaultSetup()
{
    rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
    std::string error;
    auto s = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/default.json", error);
    if (!s) throw std::runtime_error(error);
    return s;
}

// Starts `section` and lets 1 ms pass at a time until its power stage is off again.
double RunProgram(drivesim::SimulatedDrive& drive, rurorade::VirtualClock& clock, const char* section,
                  const rurorade::LoggerRequest* log)
{
    const std::int64_t start = clock.NowMs();
    drive.StartProgram(section, section, log);
    bool on = false;
    double started = 0;
    for (int ms = 0; ms < 10000; ++ms) {
        clock.Advance(1);
        drive.GetAxisOn(on);
        drive.GetUserVariable(section, "STARTED", started);
        if (started != 0 && !on) break;
    }
    return (clock.NowMs() - start) * 1e-3;
}

void ResistanceAndInductanceRuns(benchmark::State& state)
{
    auto setup = DefaultSetup();
    const rurorade::LoggerRequest iq{{"IQ"}, 400, 1, 1}, iqid{{"IQ", "ID"}, 400, 2, 1};
    double driveSeconds = 0;
    for (auto _ : state) {
        rurorade::VirtualClock clock;
        drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
        for (double current : {4095.0, 2047.0}) {
            drive.SetUserVariable("Initial_Positioning_Test", "In1", current);
            driveSeconds += RunProgram(drive, clock, "Initial_Positioning_Test", nullptr);
            drive.SetUserVariable("Ident_R_or_Rs", "In1", current);
            drive.SetUserVariable("Ident_R_or_Rs", "RefTest", 1400);
            drive.SetUserVariable("Ident_R_or_Rs", "RIncTest", 20);
            driveSeconds += RunProgram(drive, clock, "Ident_R_or_Rs", &iq);
        }
        drive.SetUserVariable("Ident_L_or_Tau_el", "In1", 4095);
        driveSeconds += RunProgram(drive, clock, "Ident_L_or_Tau_el", &iqid);
    }
    state.counters["drive_s_per_s"] = benchmark::Counter(driveSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(ResistanceAndInductanceRuns)->Unit(benchmark::kMillisecond);

// Two seconds of a speed step under the default setup's speed and current loops.
void SpeedLoopTwoSeconds(benchmark::State& state)
{
    auto setup = DefaultSetup();
    double driveSeconds = 0;
    for (auto _ : state) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.noise = state.range(0);
        drivesim::DriveCore core(motor, 1);
        drivesim::DriveHardware hw;
        std::string error;
        if (!drivesim::ReadHardware(setup.get(), hw, error)) throw std::runtime_error(error);
        core.Configure(hw);
        core.Registers().Load(setup.get());
        core.encoderFrame = true;
        core.AlignEncoder(0);
        core.PowerOn();
        core.servo = drivesim::Servo::Speed;
        core.speedReference = 100;  // counts per speed period: 1200 rpm
        const auto periods = static_cast<std::int64_t>(2.0 / core.Period());
        for (std::int64_t k = 0; k < periods; ++k) {
            core.Sense();
            core.Act();
        }
        benchmark::DoNotOptimize(core.speed);
        driveSeconds += periods * core.Period();
    }
    state.counters["drive_s_per_s"] = benchmark::Counter(driveSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(SpeedLoopTwoSeconds)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

// `zekhost commission default`: every test from the Drive Setup dialog on, on a fresh setup each time.
void CommissioningJourney(benchmark::State& state)
{
    double driveSeconds = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto setup = DefaultSetup();
        state.ResumeTiming();
        rurorade::VirtualClock clock;
        drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
        std::ostream nowhere(nullptr);  // the trace is not wanted
        zekhost::CommissionDriver driver(nowhere, 60000);
        rurorade::UiContext& ui = rurorade::UiContext::Get();
        ui.SetClock(&clock);
        ui.SetDriver(&driver);
        CDriveSetupDlg dlg(setup.get(), nullptr);
        const int result = dlg.DoModal();
        ui.SetDriver(nullptr);
        ui.SetClock(nullptr);
        if (result != rurorade::IDOK || driver.Failure()) throw std::runtime_error("the journey did not end with OK");
        driveSeconds += clock.NowMs() * 1e-3;
    }
    state.counters["drive_s_per_s"] = benchmark::Counter(driveSeconds, benchmark::Counter::kIsRate);
}
BENCHMARK(CommissioningJourney)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
