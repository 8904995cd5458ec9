// zekhost: the command-line host of the setup module.
#include <cstdio>
#include <iostream>

#include <CLI/CLI.hpp>

#include "commands.h"
#include "drivesim/motor_model.h"
#include "command_gui.h"
#include "plot_picture.h"

using namespace zekhost;

namespace {

void AddCommon(CLI::App* cmd, CommonOptions& common)
{
    cmd->add_option("--set", common.sets, "NAME=VALUE: set a parameter (base unit) before the command; repeatable")
        ->take_all()->allow_extra_args(false);
    cmd->add_option("--option", common.options, "NAME=TEXT: set a setup option before the command; repeatable")
        ->allow_extra_args(false);
    cmd->add_flag("--sinusoidal-mode", common.sinusoidalMode, "set g_bKufSinusoidalMode to 1 for the command");
    cmd->add_option("--module", common.modulePath, "path of the module to load (default: the built libzekmod.so)");
}

}  // namespace

int main(int argc, char** argv)
{
    CLI::App app{"zekhost: set up and commission a zek servo drive"};
    app.require_subcommand(1);
    CommonOptions common;
    std::string setupArg, unit, name;

    CLI::App* show = app.add_subcommand("show", "print the parameters and options of a setup");
    show->add_option("SETUP", setupArg, "setup document path, or \"default\"")->required();
    AddCommon(show, common);

    CLI::App* scale = app.add_subcommand("scale", "print FACTOR OFFSET of the internal-unit conversion");
    scale->add_option("SETUP", setupArg, "setup document path, or \"default\"")->required();
    scale->add_option("UNIT", unit, "base unit name (\"A\", \"V \", \"rad/s\", \"°C\" ...)")->required();
    scale->add_option("NAME", name, "parameter or variable name")->required();
    AddCommon(scale, common);

    std::string out;
    auto addSetupCommand = [&](const char* cmdName, const char* help, bool writesSetup) {
        CLI::App* cmd = app.add_subcommand(cmdName, help);
        cmd->add_option("SETUP", setupArg, "setup document path, or \"default\"")->required();
        if (writesSetup) cmd->add_option("-o,--output", out, "write the setup here instead of stdout");
        AddCommon(cmd, common);
        return cmd;
    };
    CLI::App* compute = addSetupCommand("compute", "run ComputeAllOptions and write the setup", true);
    CLI::App* encode = addSetupCommand("encode", "compute the register parameters from the engineering ones", true);
    CLI::App* decode = addSetupCommand("decode", "compute the engineering parameters from the registers", true);
    CLI::App* biquad = addSetupCommand("biquad", "design the biquad filters and print their registers", false);

    std::string script;
    CLI::App* edit = addSetupCommand("edit", "open the setup editor, driven by a script", false);
    edit->add_option("--script", script, "script of actions and checks (none: the editor opens and is cancelled)");
    edit->add_option("-o,--output", out, "write the setup here after the editor closes");
    bool simulate = false;
    edit->add_flag("--simulate", simulate, "attach the simulated drive, so the editor's tests can run");

    TestOptions testOptions;
    SimulationOptions& simulation = testOptions.simulation;
    auto addSimulation = [&](CLI::App* cmd, const char* implies, SimulationOptions& options) {
        cmd->add_option("--motor", options.motorPath, std::string("motor model JSON (default: the built-in motor)") + implies);
        cmd->add_option("--fault", options.fault, std::string("a bench fault: ") + drivesim::FaultNames() + implies);
        cmd->add_option("--noise", options.noise, std::string("converter noise, standard deviation in converter steps (0: none; default: the motor's)") + implies)
            ->check(CLI::NonNegativeNumber);
        cmd->add_option("--seed", options.seed, std::string("seed of the noise (default 1)") + implies);
    };
    addSimulation(edit, " (implies --simulate)", simulation);

    zekqt::GuiOptions guiOptions;
    CLI::App* gui = addSetupCommand("gui", "open the setup editor in windows", false);
    gui->add_option("-o,--output", guiOptions.out, "where OK saves the setup (default: its own file; asked for \"default\")");
    gui->add_flag("--simulate", guiOptions.simulate, "attach the simulated drive, running in real time");
    addSimulation(gui, " (implies --simulate)", guiOptions.simulation);
    gui->add_option("--speed", guiOptions.speed, "drive time per wall time of the simulated drive (default 1)")
        ->check(CLI::PositiveNumber);
    gui->add_option("--script", guiOptions.scriptPath, "play an editor script through the windows, offscreen, on virtual time");
    gui->add_option("--screenshot", guiOptions.screenshotPath, "with --script: a PNG of the top window when the script ends");

    CLI::App* test = app.add_subcommand("test", "run a commissioning test against the simulated drive");
    test->add_option("NAME", testOptions.name,
                     "vdc, rl, inertia, phase, pole-pairs, hall-signals, hall-config, encoder, encoder-resolution, analogue, "
                     "current, speed, position, angle (needs a setup with the electric angle controller, e.g. "
                     "setups/full.json)")
        ->required();
    test->add_option("SETUP", setupArg, "setup document path, or \"default\"")->required();
    addSimulation(test, "", simulation);
    test->add_option("--script", testOptions.scriptPath, "drive the test dialog with a script instead");
    test->add_option("-o,--output", testOptions.out, "write the setup here after the test closes");
    test->add_option("--plot", testOptions.plotPath, "tuning tests: write the logged curves as a picture (FILE.svg or FILE.png)");
    test->add_option("--csv", testOptions.csvPath, "tuning tests: write the logged data as CSV (FILE.csv)");
    AddCommon(test, common);

    CommissionOptions commissionOptions;
    CLI::App* commission =
        app.add_subcommand("commission", "commission the motor through the setup editor against the simulated drive");
    commission->add_option("SETUP", setupArg, "setup document path, or \"default\"")->required();
    addSimulation(commission, "", commissionOptions.simulation);
    commission->add_option("-o,--output", commissionOptions.out, "write the commissioned setup here")->required();
    commission->add_option("--report", commissionOptions.reportDir, "write the report (index.html and pictures) in this folder");
    commission->add_flag("--trace", commissionOptions.trace, "print the dialogs and the tests' steps as they go");
    AddCommon(commission, common);

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp& e) {
        return app.exit(e);
    } catch (const CLI::ParseError& e) {
        std::cerr << "zekhost: " << e.what() << "\n";
        return kUsage;
    }

    // Whatever the command printed must have reached its destination.
    auto flushed = [](int code) {
        std::cout.flush();
        if (!std::cout || std::fflush(stdout) != 0 || std::ferror(stdout)) {
            std::cerr << "zekhost: cannot write to standard output\n";
            return code == kOk ? static_cast<int>(kFailure) : code;
        }
        return code;
    };
    try {
        HostSession session;
        OpenSession(session, setupArg, common);
        if (show->parsed()) return flushed(RunShow(session));
        if (scale->parsed()) return flushed(RunScale(session, unit, name));
        if (compute->parsed()) return flushed(RunCompute(session, out));
        if (encode->parsed()) return flushed(RunEncode(session, out));
        if (decode->parsed()) return flushed(RunDecode(session, out));
        if (biquad->parsed()) return flushed(RunBiquad(session));
        if (gui->parsed()) return flushed(zekqt::RunGui(session, guiOptions));
        zekqt::InstallPlotRenderer();  // plots, "S&ave Plots" pictures and report pictures
        if (edit->parsed()) return flushed(RunEdit(session, script, out, simulate, simulation));
        commissionOptions.filterPicture = [](CMC_Setup& setup, const std::string& path) {
            return zekqt::RenderFilterResponsePicture(&setup, path);
        };
        if (test->parsed()) return flushed(RunTest(session, testOptions));
        if (commission->parsed()) return flushed(RunCommission(session, commissionOptions));
    } catch (const CommandError& e) {
        std::cerr << "zekhost: " << e.message << "\n";
        return flushed(e.exitCode);
    }
    return kUsage;
}
