#include <chrono>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sstream>
#include <string>

#include "commands.h"
#include "commission_driver.h"
#include "commission_report.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/host_errors.h"
#include "rurorade/plot_renderer.h"
#include "tuning_report.h"

namespace zekhost {
namespace {

// Drive time after which one test run is stopped (ms).
constexpr std::int64_t kDriveTimeLimitMs = 60000;

// What a finished step found: read from the commissioned setup when the journey ended with OK
// (`final`), else as its test left them.
ReportStep Results(const StepRecord& record, CMC_Setup& setup, const drivesim::MotorModel& motor, bool final)
{
    ReportStep step{record.step->test, record.step->title,
                    record.status == StepRecord::Passed ? "passed" : "skipped", record.note, "", {}};
    if (record.status != StepRecord::Passed) return step;
    // A delta-connected setup stores three times what the drive sees between its phases.
    const double k = QuietValue(&setup, "MotorPhaseConnectionType") == 1.0 ? 3.0 : 1.0;
    std::size_t i = 0;
    auto now = [&](const char* name) { return final ? QuietValue(&setup, name) : record.after[i]; };
    for (const Finding& f : record.entry->findings) {
        step.rows.push_back({f.label, f.unit, record.before[i], now(f.parameter), f.truth(motor, k)});
        ++i;
    }
    for (const char* gain : record.step->gains) {
        step.rows.push_back({gain, "", record.before[i], now(gain), std::nan("")});
        ++i;
    }
    if (record.entry->tuning && !record.logged.points.empty()) {
        const TuningFit fit = FitTuningLog(record.step->test, record.logged, setup, motor);
        if (fit.fit.ok) {
            step.rows.push_back({"natural frequency (fit)", "rad/s", std::nan(""), fit.fit.omega, fit.askedOmega});
            step.rows.push_back({"damping (fit)", "", std::nan(""), fit.fit.zeta, fit.askedZeta});
        } else {
            step.note = "the logged response does not fit a loop";
        }
        if (rurorade::GetPlotRenderer()) step.picture = std::string(record.step->test) + ".svg";
    }
    return step;
}

// A test's error text on one line: its line breaks and tabs become single spaces.
std::string OneLine(const std::string& text)
{
    std::string line;
    for (char c : text) {
        const bool space = c == '\n' || c == '\r' || c == '\t' || c == ' ';
        if (!space) line += c;
        else if (!line.empty() && line.back() != ' ') line += ' ';
    }
    while (!line.empty() && line.back() == ' ') line.pop_back();
    return line;
}

void PrintStep(const ReportStep& step)
{
    std::printf("%-20s %s", step.test.c_str(), step.status.c_str());
    if (!step.note.empty()) std::printf(": %s", step.note.c_str());
    const char* separator = " ";
    for (const ReportRow& row : step.rows) {
        const std::string unit = row.unit.empty() ? "" : " " + row.unit;
        std::printf("%s %s", separator, row.label.c_str());
        if (!std::isnan(row.before)) std::printf(" %s ->", FormatNumber(row.before).c_str());
        std::printf(" %s%s", FormatNumber(row.after).c_str(), unit.c_str());
        if (!std::isnan(row.truth))
            std::printf(" (%s %s, %s)", std::isnan(row.before) ? "asked" : "true", FormatNumber(row.truth).c_str(),
                        ErrorPercent(row.after, row.truth).c_str());
        separator = ";";
    }
    std::printf("\n");
}

void WriteReport(CommissionSummary& summary, const std::vector<StepRecord>& records, CMC_Setup& setup,
                 const CommissionOptions& options)
{
    const std::string& dir = options.reportDir;
    std::error_code ec;
    std::filesystem::create_directories(dir, ec);
    if (ec) throw CommandError{kFailure, "cannot make the report folder " + dir + ": " + ec.message()};
    for (std::size_t i = 0; i < records.size(); ++i) {
        if (summary.steps[i].picture.empty()) continue;
        CGraphDocument logged = records[i].logged;
        if (!WriteTuningFiles(logged, "", dir + "/" + summary.steps[i].picture))
            throw CommandError{kFailure, "cannot write the report's pictures in " + dir};
    }
    if (options.filterPicture) {
        const std::string why = options.filterPicture(setup, dir + "/filters.svg");
        if (why.empty()) summary.filterPicture = "filters.svg";
        else summary.filterNote = why;
    }
    std::string error;
    if (!WriteCommissionReport(summary, dir, error)) throw CommandError{kFailure, error};
}

}  // namespace

int RunCommission(HostSession& session, const CommissionOptions& options)
{
    CMC_Setup& setup = *session.setup;
    rurorade::VirtualClock clock;
    std::unique_ptr<drivesim::SimulatedDrive> drive = AttachSimulatedDrive(session, options.simulation, clock);
    const drivesim::MotorModel motor = drive->Motor();
    const drivesim::Fault fault = drive->GetFault();

    std::ostringstream quiet;
    CommissionDriver driver(options.trace ? static_cast<std::ostream&>(std::cout) : quiet, kDriveTimeLimitMs);
    rurorade::UiContext& ui = rurorade::UiContext::Get();
    ui.SetClock(&clock);
    ui.SetDriver(&driver);
    const auto wallStart = std::chrono::steady_clock::now();
    const int edited = session.module.EditSetup(&setup);
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - wallStart;
    ui.SetDriver(nullptr);
    ui.SetClock(nullptr);
    setup.SetDriveLink(nullptr);
    drive.reset();

    CommissionSummary summary;
    summary.description = setup.GetDescription();
    summary.firmwareId = setup.Info().firmwareId;
    summary.motor = options.simulation.motorPath.empty() ? "built-in default motor" : options.simulation.motorPath;
    summary.fault = fault == drivesim::Fault::None ? "none" : drivesim::FaultName(fault);
    summary.driveSeconds = static_cast<double>(clock.NowMs()) / 1000;
    summary.wallSeconds = wall.count();
    const bool done = edited == 1 && driver.Failure() == nullptr;
    for (const StepRecord& record : driver.Records()) {
        if (record.status == StepRecord::Pending || record.status == StepRecord::Failed) break;
        summary.steps.push_back(Results(record, setup, motor, done));
        PrintStep(summary.steps.back());
    }
    if (const StepRecord* failed = driver.Failure()) {
        const std::string error = OneLine(failed->note);
        std::printf("%-20s failed: %s\n", failed->step->test, error.c_str());
        throw CommandError{kFailure, std::string("commissioning stopped at \"") + failed->step->title + "\": " + error};
    }
    if (edited != 1) throw CommandError{kFailure, "the setup editor closed before the journey ended"};
    std::printf("drive time %s s, wall time %.3g s (%.0fx the drive's pace)\n", FormatNumber(summary.driveSeconds).c_str(),
                summary.wallSeconds, summary.wallSeconds > 0 ? summary.driveSeconds / summary.wallSeconds : 0.0);

    WriteSetup(setup, options.out, session.inputPath);
    if (!options.reportDir.empty()) WriteReport(summary, driver.Records(), setup, options);
    return kOk;
}

}  // namespace zekhost
