#include "host_session.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdint>
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
    if (setupArg != "default") session.inputPath = setupArg;

    for (const std::string& s : common.sets) {
        const auto [name, text] = SplitAssignment(s, "--set");
        double value = 0;
        const auto r = std::from_chars(text.data(), text.data() + text.size(), value);
        if (r.ec != std::errc() || r.ptr != text.data() + text.size())
            throw CommandError{kUsage, "--set " + name + ": \"" + text + "\" is not a number"};
        CMC_Parameter* p = nullptr;
        {
            const rurorade::QuietLookups quiet;
            p = session.setup->FindParameter(name.c_str());
        }
        if (p == nullptr) throw CommandError{kUsage, "--set: the setup has no parameter \"" + name + "\""};
        p->SetValueInBaseUnit(value);
    }
    for (const std::string& o : common.options) {
        const auto [name, text] = SplitAssignment(o, "--option");
        if (!IsDocumentText(name) || !IsDocumentText(text))
            throw CommandError{kUsage, "--option: \"" + o + "\" is not valid UTF-8 text, which a setup document cannot keep"};
        session.setup->SetOption(name.c_str(), text.c_str());
    }
    if (common.sinusoidalMode) *session.module.g_bKufSinusoidalMode = 1;
}

void WriteSetup(const CMC_Setup& setup, const std::string& out, const std::string& modeFrom)
{
    if (out.empty() || out == "-") {
        std::cout << rurorade::SaveSetupText(setup);
        return;
    }
    std::string error;
    if (!rurorade::WriteFileAtomically(out, rurorade::SaveSetupText(setup), error, modeFrom))
        throw CommandError{kFailure, error};
}

void RunNeedingParameters(HostSession& session, const char* what, const std::function<void()>& operation)
{
    rurorade::HostErrorSink& sink = rurorade::ErrorSink();
    const std::size_t before = sink.reported.size();
    auto echo = std::move(sink.echo);
    sink.echo = nullptr;
    operation();
    sink.echo = std::move(echo);
    std::vector<std::string> names;
    for (std::size_t i = before; i < sink.reported.size(); ++i) {
        const std::string& m = sink.reported[i];
        const auto open = m.find('"'), close = m.find('"', open + 1);
        const std::string name = open == std::string::npos || close == std::string::npos ? m : m.substr(open + 1, close - open - 1);
        if (std::find(names.begin(), names.end(), name) == names.end()) names.push_back(name);
    }
    (void)session;
    if (names.empty()) return;
    std::string list;
    for (std::size_t i = 0; i < names.size() && i < 8; ++i) list += (i ? ", " : "") + names[i];
    if (names.size() > 8) list += ", ... (" + std::to_string(names.size() - 8) + " more)";
    throw CommandError{kFailure, std::string(what) + ": the setup lacks " + std::to_string(names.size()) +
                                     (names.size() == 1 ? " name" : " names") + " it needs: " + list};
}

bool IsDocumentText(const std::string& text)
{
    const auto* p = reinterpret_cast<const unsigned char*>(text.data());
    const std::size_t n = text.size();
    for (std::size_t i = 0; i < n;) {
        const unsigned char c = p[i];
        if (c == 0) return false;
        std::size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > n) return false;
        std::uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (std::size_t k = 1; k < length; ++k) {
            if ((p[i + k] & 0xC0) != 0x80) return false;
            code = (code << 6) | (p[i + k] & 0x3F);
        }
        // Overlong forms, surrogates and code points beyond U+10FFFF are not UTF-8.
        static constexpr std::uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < kLeast[length] || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF) return false;
        i += length;
    }
    return true;
}

}  // namespace zekhost
