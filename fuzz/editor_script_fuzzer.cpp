// Editor scripts against the Drive Setup dialog of the default setup, with the simulated drive
// attached, so the fuzzer reaches the child dialogs and the commissioning tests.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "drivesim/simulated_drive.h"
#include "editor/drive_setup_dlg.h"
#include "module/exports.h"
#include "rurorade/host_errors.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"
#include "rurorade/ui.h"

namespace {

constexpr std::size_t kMaxInput = 4096;
// A second of drive time is 20000 current-loop periods: keep one input well under the timeout.
constexpr long long kMaxVirtualMs = 60000;

const std::string& DefaultSetupText()
{
    static const std::string text = [] {
        rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
        std::string error;
        auto setup = rurorade::LoadSetupFile(ZEK_SETUPS_DIR "/default.json", error);
        if (!setup) {
            std::fprintf(stderr, "%s\n", error.c_str());
            std::abort();
        }
        return rurorade::SaveSetupText(*setup);
    }();
    return text;
}

// Virtual time the script lets pass (wait, and turn which waits while it turns), counted
// generously: a word the driver would refuse may count, which only rejects the input.
bool WithinTimeBudget(const std::string& text)
{
    std::istringstream in(text);
    std::string line, why;
    std::vector<std::string> words;
    long long total = 0;
    while (std::getline(in, line)) {
        if (!rurorade::ScriptDriver::SplitWords(line, words, why)) return false;
        const char* ms = nullptr;
        if (words.size() == 2 && words[0] == "wait") ms = words[1].c_str();
        if (words.size() == 3 && words[0] == "turn") ms = words[2].c_str();
        if (ms == nullptr) continue;
        const long long n = std::strtoll(ms, nullptr, 10);
        if (n <= 0) continue;
        if (n > kMaxVirtualMs - total) return false;
        total += n;
    }
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size > kMaxInput) return -1;
    const std::string script(reinterpret_cast<const char*>(data), size);
    if (!WithinTimeBudget(script)) return -1;

    const std::string& base = DefaultSetupText();
    g_bShowErrors = 1;
    g_bKufSinusoidalMode = 0;
    rurorade::ErrorSink().Clear();

    std::string error;
    auto setup = rurorade::LoadSetupText(base, "default", error);
    if (!setup) std::abort();
    rurorade::VirtualClock clock;
    drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
    std::ostream nullStream(nullptr);
    rurorade::ScriptDriver driver(nullStream);
    if (!driver.LoadText(script, "fuzz", error)) return -1;

    rurorade::UiContext& ui = rurorade::UiContext::Get();
    ui.SetClock(&clock);
    ui.SetDriver(&driver);
    {
        CDriveSetupDlg dlg(setup.get(), nullptr);
        dlg.DoModal();
    }
    // A dialog or timer left behind would point into this input's dead objects.
    const bool leftOver = !ui.Dialogs().empty() || ui.HasTimers();
    ui.SetDriver(nullptr);
    ui.SetClock(nullptr);
    if (leftOver) __builtin_trap();
    return 0;
}
