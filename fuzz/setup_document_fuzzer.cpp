// Setup documents: whatever loads must save, load again and save to the same text.
#include <cstddef>
#include <cstdint>
#include <string>

#include "module/exports.h"
#include "rurorade/host_errors.h"
#include "rurorade/setup_document.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Units are converted through the module, as in the host.
    static const bool installed = (rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset}), true);
    (void)installed;
    rurorade::ErrorSink().Clear();

    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string error;
    auto setup = rurorade::LoadSetupText(text, "fuzz", error);
    if (!setup) return 0;
    const std::string first = rurorade::SaveSetupText(*setup);
    auto again = rurorade::LoadSetupText(first, "fuzz", error);
    if (!again) __builtin_trap();  // our own output refused
    if (rurorade::SaveSetupText(*again) != first) __builtin_trap();
    return 0;
}
