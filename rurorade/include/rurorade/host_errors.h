#pragma once
#include <functional>
#include <string>
#include <vector>

// Host flag: nonzero lets the host report lookups of names the setup does not have.
extern "C" int g_bShowErrors;

// Text of the last error the host reported.
const char* GetLastErrorText();

namespace rurorade {

// Where the host reports errors. Tests read `reported`; a front end sets `echo`.
struct HostErrorSink {
    std::vector<std::string> reported;
    std::function<void(const std::string&)> echo;
    void Clear() { reported.clear(); }
};
HostErrorSink& ErrorSink();

// Records a message as the last error; reports it to the sink while g_bShowErrors is nonzero.
void ReportLookupError(const std::string& message);
void SetLastErrorText(const std::string& message);

}  // namespace rurorade
