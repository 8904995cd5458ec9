#pragma once
#include <cmath>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "rurorade/host_errors.h"
#include "rurorade/module_loader.h"
#include "rurorade/setup.h"

namespace zekhost {

// Exit codes of the command line.
enum Exit { kOk = 0, kFailure = 1, kUsage = 2, kExpectationFailed = 3 };

// Raised for a failure that ends the command with one line on stderr.
struct CommandError {
    int exitCode;
    std::string message;
};

// Options shared by every command.
struct CommonOptions {
    std::vector<std::string> sets;     // NAME=VALUE, base unit, in order
    std::vector<std::string> options;  // NAME=TEXT
    bool sinusoidalMode = false;
    std::string modulePath;
};

// A loaded module and a loaded setup with the common options applied.
struct HostSession {
    rurorade::ModuleLoader module;
    std::unique_ptr<CMC_Setup> setup;
    std::string inputPath;  // the setup document's file; empty for the built-in default
};

// Loads the module and the setup ("default" or a path), then applies --set, --option and
// --sinusoidal-mode. Throws CommandError.
void OpenSession(HostSession& session, const std::string& setupArg, const CommonOptions& common);

// Shortest text that reads back as the same double.
std::string FormatNumber(double v);

// A parameter's value in its base unit, NaN when the setup lacks it (nothing is reported).
inline double QuietValue(CMC_Setup* setup, const char* name)
{
    const rurorade::QuietLookups quiet;
    CMC_Parameter* p = setup != nullptr ? setup->FindParameter(name) : nullptr;
    return p != nullptr ? p->GetValueInBaseUnit() : std::nan("");
}

// Writes the setup to `out` ("" or "-" for stdout) without ever leaving a half-written file; a
// new file takes the mode of `modeFrom` (the document it came from) when given.
void WriteSetup(const CMC_Setup& setup, const std::string& out, const std::string& modeFrom = {});

// Runs an engine operation on the setup; the names the setup lacks, which the host would report
// one line each, make one CommandError instead.
void RunNeedingParameters(HostSession& session, const char* what, const std::function<void()>& operation);

// Valid UTF-8 without NUL: text that can be kept in a setup document exactly.
bool IsDocumentText(const std::string& text);

}  // namespace zekhost
