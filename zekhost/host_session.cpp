#include "host_session.h"

#include <charconv>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <unistd.h>

#include "default_setup.h"
#include "rurorade/host_errors.h"
#include "rurorade/setup_document.h"

namespace zekhost {
namespace {

std::string FindModule(const std::string& requested)
{
    if (!requested.empty()) return requested;
    if (const char* env = std::getenv("ZEKMOD_MODULE"); env && *env) return env;
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec) {
        for (const char* rel : {"libzekmod.so", "../zekmod/libzekmod.so", "../lib/libzekmod.so"}) {
            const auto candidate = exe.parent_path() / rel;
            if (std::filesystem::exists(candidate, ec)) return candidate.string();
        }
    }
    return ZEKMOD_BUILD_PATH;
}

std::pair<std::string, std::string> SplitAssignment(const std::string& text, const char* flag)
{
    const auto eq = text.find('=');
    if (eq == std::string::npos || eq == 0)
        throw CommandError{kUsage, std::string(flag) + " expects NAME=VALUE, got \"" + text + "\""};
    return {text.substr(0, eq), text.substr(eq + 1)};
}

}  // namespace

std::string FormatNumber(double v)
{
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, v);
    return std::string(buf, r.ptr);
}

void OpenSession(HostSession& session, const std::string& setupArg, const CommonOptions& common)
{
    rurorade::ErrorSink().echo = [](const std::string& m) { std::cerr << "zekhost: " << m << "\n"; };

    std::string error;
    if (!session.module.Load(FindModule(common.modulePath), error)) throw CommandError{kFailure, error};

    session.setup = setupArg == "default" ? rurorade::LoadSetupText(DefaultSetupText(), "default", error)
                                          : rurorade::LoadSetupFile(setupArg, error);
    if (!session.setup) throw CommandError{kFailure, error};

    for (const std::string& s : common.sets) {
        const auto [name, text] = SplitAssignment(s, "--set");
        double value = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            throw CommandError{kUsage, "--set " + name + ": \"" + text + "\" is not a number"};
        CMC_Parameter* p = nullptr;
        {
            const int saved = g_bShowErrors;
            g_bShowErrors = 0;
            p = session.setup->FindParameter(name.c_str());
            g_bShowErrors = saved;
        }
        if (p == nullptr) throw CommandError{kUsage, "--set: the setup has no parameter \"" + name + "\""};
        p->SetValueInBaseUnit(value);
    }
    for (const std::string& o : common.options) {
        const auto [name, text] = SplitAssignment(o, "--option");
        session.setup->SetOption(name.c_str(), text.c_str());
    }
    if (common.sinusoidalMode) *session.module.g_bKufSinusoidalMode = 1;
}

void WriteSetup(const CMC_Setup& setup, const std::string& out)
{
    if (out.empty() || out == "-") {
        std::cout << rurorade::SaveSetupText(setup);
        return;
    }
    std::string error;
    if (!rurorade::SaveSetupFile(setup, out, error)) throw CommandError{kFailure, error};
}

}  // namespace zekhost
