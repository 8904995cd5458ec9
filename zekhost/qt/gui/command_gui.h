#pragma once
// `zekhost gui`: the setup editor in real windows.
#include <QTimer>

#include <memory>
#include <string>

#include "commands.h"

namespace zekqt {

struct GuiOptions {
    bool simulate = false;
    zekhost::SimulationOptions simulation;
    double speed = 1.0;          // drive milliseconds per wall millisecond with --simulate
    std::string scriptPath;      // play this editor script through the widgets (offscreen)
    std::string screenshotPath;  // with a script: the top window as PNG when it ends
    std::string out;             // where OK saves (default: the setup's own file)
};

// Opens the editor on the session's setup. A person: OK saves (asking for a file for the built-in
// default), Cancel with changes asks first; exit 0. A script: exit codes as `zekhost edit`.
int RunGui(zekhost::HostSession& session, const GuiOptions& options);

// Steps the simulated drive every `ms` of wall time while the event loop runs, so that a person
// who comes back after a long pause does not wait for all of it to be stepped at once.
std::unique_ptr<QTimer> PaceDrive(drivesim::SimulatedDrive& drive, int ms = 50);

}  // namespace zekqt
