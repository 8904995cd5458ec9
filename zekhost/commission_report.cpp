#include "commission_report.h"

#include <cmath>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "host_session.h"

namespace zekhost {
namespace {

std::string Escape(const std::string& text)
{
    std::string out;
    for (char c : text) {
        switch (c) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        default: out += c;
        }
    }
    return out;
}

std::string Number(double v) { return std::isnan(v) ? "&ndash;" : FormatNumber(v); }

const char* const kStyle = R"(
body { font: 14px/1.4 sans-serif; margin: 2em; color: #111; }
h1 { font-size: 1.5em; margin-bottom: 0.2em; }
h2 { font-size: 1.15em; margin-top: 1.6em; }
table { border-collapse: collapse; margin: 0.5em 0; }
th, td { border: 1px solid #999; padding: 0.2em 0.6em; text-align: left; vertical-align: top; }
td.n { text-align: right; font-family: monospace; }
tr.skipped td { color: #666; }
dl { display: grid; grid-template-columns: max-content auto; gap: 0.2em 1em; }
dt { font-weight: bold; }
dd { margin: 0; }
figure { margin: 1em 0; page-break-inside: avoid; }
figure img { max-width: 100%; border: 1px solid #ccc; }
@media print { body { margin: 0; } }
)";

}  // namespace

std::string ErrorPercent(double value, double truth)
{
    if (std::isnan(value) || std::isnan(truth)) return "";
    char text[64];
    if (truth != 0) std::snprintf(text, sizeof text, "%+.3f %%", (value - truth) / truth * 100);
    else std::snprintf(text, sizeof text, "%+g", value - truth);
    return text;
}

bool WriteCommissionReport(const CommissionSummary& summary, const std::string& dir, std::string& error)
{
    std::ostringstream page;
    page << "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n<title>Commissioning report</title>\n"
         << "<style>" << kStyle << "</style>\n</head>\n<body>\n<h1>Commissioning report</h1>\n<dl>\n"
         << "<dt>Drive</dt><dd>" << Escape(summary.description) << "</dd>\n"
         << "<dt>Firmware</dt><dd>" << Escape(summary.firmwareId) << "</dd>\n"
         << "<dt>Motor</dt><dd>" << Escape(summary.motor) << "</dd>\n"
         << "<dt>Bench fault</dt><dd>" << Escape(summary.fault) << "</dd>\n"
         << "<dt>Time</dt><dd>" << Number(summary.driveSeconds) << " s of drive time in " << Number(summary.wallSeconds)
         << " s</dd>\n</dl>\n";

    page << "<h2>Steps</h2>\n<table>\n<tr><th>Step</th><th>Result</th><th>Value</th><th>Old</th><th>New</th>"
         << "<th>Truth or asked</th><th>Error</th><th>Unit</th></tr>\n";
    for (const ReportStep& step : summary.steps) {
        const std::size_t span = step.rows.empty() ? 1 : step.rows.size();
        page << "<tr class=\"" << step.status << "\"><td rowspan=\"" << span << "\">" << Escape(step.title)
             << "</td><td rowspan=\"" << span << "\">" << step.status << (step.note.empty() ? "" : ": ")
             << Escape(step.note) << "</td>";
        if (step.rows.empty()) page << "<td colspan=\"6\"></td></tr>\n";
        for (std::size_t i = 0; i < step.rows.size(); ++i) {
            const ReportRow& row = step.rows[i];
            if (i > 0) page << "<tr class=\"" << step.status << "\">";
            page << "<td>" << Escape(row.label) << "</td><td class=\"n\">" << Number(row.before) << "</td><td class=\"n\">"
                 << Number(row.after) << "</td><td class=\"n\">" << Number(row.truth) << "</td><td class=\"n\">"
                 << Escape(ErrorPercent(row.after, row.truth)) << "</td><td>" << Escape(row.unit) << "</td></tr>\n";
        }
    }
    page << "</table>\n";

    bool heading = false;
    for (const ReportStep& step : summary.steps) {
        if (step.picture.empty()) continue;
        if (!heading) page << "<h2>Responses</h2>\n";
        heading = true;
        page << "<figure><img src=\"" << Escape(step.picture) << "\" alt=\"" << Escape(step.title)
             << " response\"><figcaption>" << Escape(step.title) << ": reference and response as logged by the drive"
             << "</figcaption></figure>\n";
    }
    if (!summary.filterPicture.empty() || !summary.filterNote.empty()) {
        page << "<h2>Filters</h2>\n";
        if (summary.filterPicture.empty())
            page << "<p>" << Escape(summary.filterNote) << "</p>\n";
        else
            page << "<figure><img src=\"" << Escape(summary.filterPicture)
                 << "\" alt=\"filter response\"><figcaption>Magnitude and phase of the filters that are on: dashed as "
                    "designed, solid with the drive's rounded registers</figcaption></figure>\n";
    }
    page << "</body>\n</html>\n";

    const std::string path = dir + "/index.html";
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << page.str();
    file.close();
    if (!file) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace zekhost
