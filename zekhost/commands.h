#pragma once
#include <cstdint>
#include <memory>
#include <functional>
#include <string>

#include "drivesim/motor_model.h"
#include "drivesim/simulated_drive.h"

#include "host_session.h"
#include "rurorade/script_driver.h"

namespace zekhost {

// Prints the setup as a table (name, value, unit, min, max in the parameter's unit), then its options.
int RunShow(HostSession& session);
// Prints "FACTOR OFFSET" of the module's scale exports for a unit and a quantity name.
int RunScale(HostSession& session, const std::string& unit, const std::string& name);

// Run ComputeAllOptions / EncodeRegisters / DecodeRegisters and write the setup to `out` (stdout when empty).
int RunCompute(HostSession& session, const std::string& out);
int RunEncode(HostSession& session, const std::string& out);
int RunDecode(HostSession& session, const std::string& out);
// Designs the biquad filters and prints the 18 slot registers and the 3 location counts.
int RunBiquad(HostSession& session);

// How the simulated drive is attached: its motor, fault, converter noise and seed.
struct SimulationOptions {
    std::string motorPath;   // motor model JSON; empty: the built-in default motor
    std::string fault;       // injected fault; empty: none
    double noise = -1;       // converter noise in converter steps; negative: the motor's
    std::uint64_t seed = 1;
    bool Requested() const { return !motorPath.empty() || !fault.empty() || noise >= 0 || seed != 1; }
};
// The motor model of a --motor option (empty: the built-in default motor). Throws CommandError.
drivesim::MotorModel MotorFromOption(const std::string& path);
// A simulated drive attached to the session's setup as `options` describe. Throws CommandError.
std::unique_ptr<drivesim::SimulatedDrive> AttachSimulatedDrive(HostSession& session, const SimulationOptions& options,
                                                               rurorade::Clock& clock);

// Opens the setup editor with a scripted driver, with the simulated drive attached when `simulate`
// (or any simulation option is given); writes the setup to `out` when given. Exit 0 when the
// script ran with every expectation met, 3 when one failed.
int RunEdit(HostSession& session, const std::string& scriptPath, const std::string& out, bool simulate,
            const SimulationOptions& simulation);
// The end of a scripted editor session, shared by `edit` and `gui --script`: prints EditSetup's
// result, writes the setup to `out` (when given) and says whether the script's checks held.
int EndScriptedEdit(HostSession& session, int result, const rurorade::ScriptDriver& script,
                    const std::string& scriptPath, const std::string& out);

struct TestOptions {
    std::string name;        // "vdc" or "rl"
    SimulationOptions simulation;
    std::string scriptPath;  // empty: press Start, run to the end, answer Yes on closing
    std::string out;
    std::string plotPath;    // tuning tests: picture of the logged curves
    std::string csvPath;     // tuning tests: the logged data
};
// Runs a commissioning test against the simulated drive and prints what was measured beside the truth.
int RunTest(HostSession& session, const TestOptions& options);

struct CommissionOptions {
    SimulationOptions simulation;
    std::string out;        // the commissioned setup
    std::string reportDir;  // empty: no report
    bool trace = false;     // print the dialogs and the tests' steps as they go
    // Writes a picture of the commissioned setup's filters at `path`: "" when written, else why not.
    // Unset: the report has no filter picture.
    std::function<std::string(CMC_Setup& setup, const std::string& path)> filterPicture;
};
// Commissions the motor through the setup editor against the simulated drive: every test in turn,
// each kept; prints one line per step and the drive and wall times, writes the setup and the report.
// Nothing is written when a step fails (exit 1, the step's error text on stderr).
int RunCommission(HostSession& session, const CommissionOptions& options);

}  // namespace zekhost
