#include "rurorade/host_errors.h"

extern "C" {
int g_bShowErrors = 1;
}

namespace rurorade {
namespace {
std::string& LastError()
{
    static std::string text;
    return text;
}
}  // namespace

HostErrorSink& ErrorSink()
{
    static HostErrorSink sink;
    return sink;
}

void SetLastErrorText(const std::string& message) { LastError() = message; }

void ReportLookupError(const std::string& message)
{
    SetLastErrorText(message);
    if (g_bShowErrors == 0) return;
    HostErrorSink& sink = ErrorSink();
    sink.reported.push_back(message);
    if (sink.echo) sink.echo(message);
}

}  // namespace rurorade

const char* GetLastErrorText() { return rurorade::LastError().c_str(); }
