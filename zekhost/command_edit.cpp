#include <iostream>
#include <memory>

#include "commands.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/script_driver.h"
#include "rurorade/ui.h"

namespace zekhost {

int RunEdit(HostSession& session, const std::string& scriptPath, const std::string& out, bool simulate,
            const SimulationOptions& simulation)
{
    rurorade::ScriptDriver driver(std::cout);
    std::string error;
    if (!scriptPath.empty() && !driver.LoadFile(scriptPath, error)) throw CommandError{kUsage, error};

    rurorade::VirtualClock clock;
    std::unique_ptr<drivesim::SimulatedDrive> drive;
    if (simulate || simulation.Requested()) drive = AttachSimulatedDrive(session, simulation, clock);
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    ui.SetClock(&clock);
    ui.SetDriver(&driver);
    const int result = session.module.EditSetup(session.setup.get());
    ui.SetDriver(nullptr);
    ui.SetClock(nullptr);
    drive.reset();
    return EndScriptedEdit(session, result, driver, scriptPath, out);
}

int EndScriptedEdit(HostSession& session, int result, const rurorade::ScriptDriver& script,
                    const std::string& scriptPath, const std::string& out)
{
    std::cout << "EditSetup returned " << result << "\n";
    if (!out.empty()) WriteSetup(*session.setup, out, session.inputPath);
    if (!script.Failure().empty()) {
        std::cerr << "zekhost: " << (scriptPath.empty() ? "script" : scriptPath) << ": " << script.Failure() << "\n";
        return kExpectationFailed;
    }
    return kOk;
}

}  // namespace zekhost
