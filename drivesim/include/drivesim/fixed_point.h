#pragma once
// The drive's integer arithmetic, as its 16-bit DSP does it: 16-bit words, 32-bit accumulators,
// products of a word and a Q15 mantissa shifted right by 15 with the sign kept (rounding toward
// minus infinity), and saturation instead of wrap-around everywhere.
#include <algorithm>
#include <cmath>
#include <cstdint>

namespace drivesim::fx {

// Written with min and max so that the compiler makes them branch-free.
inline std::int32_t Sat16(std::int64_t v) { return static_cast<std::int32_t>(std::max<std::int64_t>(-32768, std::min<std::int64_t>(v, 32767))); }
inline std::int64_t Sat32(std::int64_t v)
{
    constexpr std::int64_t hi = 2147483647, lo = -2147483647 - 1;
    return v > hi ? hi : (v < lo ? lo : v);
}
inline std::int64_t Clamp(std::int64_t v, std::int64_t limit) { return std::max(-limit, std::min(v, limit)); }

// The word a register parameter becomes in the drive: the nearest whole number, saturated to
// [lo, hi]; NaN gives 0.
inline std::int32_t Word(double v, std::int32_t lo = -32768, std::int32_t hi = 65535)
{
    if (!(v == v)) return 0;
    if (v >= hi) return hi;
    if (v <= lo) return lo;
    return static_cast<std::int32_t>(std::floor(v + 0.5));
}

// x * mantissa * 2^shift / 2^15: a gain whose engineering value is mantissa * 2^shift / 32767.
inline std::int64_t MulGain(std::int64_t x, std::int32_t mantissa, int shift)
{
    return (x * mantissa * (std::int64_t{1} << shift)) >> 15;
}

// A gain register pair: mantissa word and shift (0..15).
struct Gain {
    std::int32_t mantissa = 0;
    int shift = 0;
    std::int64_t Apply(std::int64_t x) const { return MulGain(x, mantissa, shift); }
};

}  // namespace drivesim::fx
