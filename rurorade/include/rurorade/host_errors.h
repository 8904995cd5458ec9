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

// Holds g_bShowErrors at 0 while it lives: for lookups of names a setup may lack on purpose.
class QuietLookups {
public:
    QuietLookups() : m_saved(g_bShowErrors) { g_bShowErrors = 0; }
    ~QuietLookups() { g_bShowErrors = m_saved; }
    QuietLookups(const QuietLookups&) = delete;
    QuietLookups& operator=(const QuietLookups&) = delete;

private:
    int m_saved;
};

// Records a message as the last error; reports it to the sink while g_bShowErrors is nonzero.
void ReportLookupError(const std::string& message);
void SetLastErrorText(const std::string& message);

}  // namespace rurorade
