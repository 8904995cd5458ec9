#pragma once
// The commissioning report: one self-contained HTML page (inline CSS, no scripts) with the drive and
// motor, every step of the journey with what it found, and the pictures of the tuning responses
// written beside it.
#include <string>
#include <vector>

namespace zekhost {

// A value a step found or set.
struct ReportRow {
    std::string label, unit;
    double before;  // the setup's value when the step began (NaN: none, e.g. a fitted figure)
    double after;   // the value in the commissioned setup, or the figure measured
    double truth;   // the motor's true value, or what the tuning asked for (NaN: none)
};

struct ReportStep {
    std::string test, title;
    std::string status;   // "passed", "skipped"
    std::string note;
    std::string picture;  // file name beside the page, "" for none
    std::vector<ReportRow> rows;
};

struct CommissionSummary {
    std::string description, firmwareId, motor, fault;
    std::vector<ReportStep> steps;
    std::string filterPicture;  // the commissioned setup's filters, beside the page ("" for none)
    std::string filterNote;     // why there is no filter picture
    double driveSeconds = 0, wallSeconds = 0;
};

// "+0.123 %": the error of `value` against `truth`; "" when there is no truth or either is NaN.
std::string ErrorPercent(double value, double truth);

// Writes `dir`/index.html (the folder must exist); false with `error` set when it cannot.
bool WriteCommissionReport(const CommissionSummary& summary, const std::string& dir, std::string& error);

}  // namespace zekhost
