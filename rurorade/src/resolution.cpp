#include "rurorade/resolution.h"

#include <cstdint>
#include <cstdlib>
#include <iterator>

namespace {

// Standard incremental encoder resolutions, lines per revolution, ascending:
//     100,  125,  200,  250,  256,  300,  360,  400,  500,  512,
//     600,  720,  800,  900, 1000, 1024, 1200, 1250, 1500, 1600,
//    1800, 2000, 2048, 2500, 3000, 3600, 4000, 4096, 5000, 6000,
//    8000, 8192, 10000
// (decimal series of the catalogues and the binary 256 ... 8192).
constexpr int kResolutions[] = {100,  125,  200,  250,  256,  300,  360,  400,  500,  512,  600,
                                720,  800,  900,  1000, 1024, 1200, 1250, 1500, 1600, 1800, 2000,
                                2048, 2500, 3000, 3600, 4000, 4096, 5000, 6000, 8000, 8192, 10000};
constexpr int kCount = static_cast<int>(std::size(kResolutions));

}  // namespace

int CResolution::GetCount() { return kCount; }

int CResolution::GetResolution(int index) { return index >= 0 && index < kCount ? kResolutions[index] : 0; }

int CResolution::FindBestResolution(int lines)
{
    // 64-bit so that the magnitude of INT_MIN exists.
    const std::int64_t wanted = std::llabs(static_cast<std::int64_t>(lines));
    int best = kResolutions[0];
    for (int entry : kResolutions)
        if (std::llabs(entry - wanted) < std::llabs(best - wanted)) best = entry;
    return lines < 0 ? -best : best;
}
