#include "commissioning/reference_profile.h"

#include <cmath>

#include "rurorade/numeric.h"

const char* const kProfileCountError =
    "Distances between consecutive points on X axis must be greater than 0 and below 32768.";
const char* const kProfileSlopeError =
    "Reference variation between two consecutive points is too big (slope overflow).";

namespace {

constexpr double kOne = 65536.0;      // 1.0 in 16.16
constexpr double kMaxWord = 32767.0;  // counts and whole slope units are 16-bit words on the drive

// Doubles throughout: a 0-sample ramp divides by zero, and nothing is an integer until checked.
struct Segment {
    double count;
    double slope;
};
using Segments = std::array<Segment, 6>;

// Samples of a time span (NaN for a NaN or infinite time).
double Samples(double t, double ts) { return TG_FRound(t / ts); }

// 16.16 slope that covers a change d (internal units) in n samples; infinite for n = 0.
double Ramp(double d, double n) { return std::floor(d / n * kOne + 0.5); }

// Slope of the one sample that completes the change `to` after `count` samples of `slope`.
double Landing(double to, double slope, double count)
{
    return std::floor((to - std::ldexp(slope, -16) * count) * kOne + 0.5);
}

// Types 0 and 1: ramp to v, land, hold, ramp back, land, rest.
Segments OneWay(ProfileKind kind, double v, double ta, double t, double tan, double tn, double ts)
{
    // The landing sample stands in for the ramp's last one; the speed test keeps a 1-sample ramp whole.
    const auto rampCount = [kind](double n) { return (kind == ProfileKind::Position || n > 1) ? n - 1 : n; };
    const double n0 = Samples(ta, ts);
    const double c0 = rampCount(n0);
    const double a0 = Ramp(v, n0);
    const double n3 = Samples(tan, ts);
    const double c3 = rampCount(n3);
    const double a3 = Ramp(-v, n3);
    return {{{c0, a0},
             {1, Landing(v, a0, c0)},
             {Samples(t, ts), 0},
             {c3, a3},
             {1, Landing(-v, a3, c3)},
             {Samples(tn, ts), 0}}};
}

// Type 2: up to v, hold, down to -v over twice the ramp time, hold, back up, land on 0.
Segments Bidirectional(double v, double ta, double t, double tan, double tn, double ts)
{
    const double n0 = Samples(ta, ts);
    const double a0 = Ramp(v, n0);
    const double c2 = Samples(2 * tan, ts);
    const double a2 = std::floor(-((std::ldexp(a0, -16) * n0 + v) / c2) * kOne + 0.5);
    double c4 = Samples(tan, ts) - 1;
    double a4 = 0;
    if (c4 == 0)
        c4 = 1;  // hold one sample at -v; the last sample does the whole way back
    else
        a4 = Ramp(v, c4);
    // Whole 16.16 values: the sum is exact, so the reference ends on exactly 0.
    const double a5 = -std::trunc(a0 * n0 + a2 * c2 + a4 * c4);
    return {{{n0, a0}, {Samples(t, ts), 0}, {c2, a2}, {Samples(tn, ts), 0}, {c4, a4}, {1, a5}}};
}

// The drive takes a count as a 16-bit word, so a negative one reads as a huge unsigned count.
bool CountFits(double c) { return c >= 0 && c <= kMaxWord; }
bool SlopeFits(double a) { return std::fabs(TG_FRound(a / kOne)) <= kMaxWord; }

}  // namespace

ProfileError BuildReferenceProfile(ProfileKind kind, int referenceType, std::int64_t target, double ta, double t,
                                   double tan, double tn, double ts, std::array<ProfileSegment, 6>& segments)
{
    const double v = static_cast<double>(target);
    const Segments s = referenceType == 2 ? Bidirectional(v, ta, t, tan, tn, ts)
                       : referenceType == 1 ? OneWay(kind, -v, ta, t, tan, tn, ts)
                                            : OneWay(kind, v, ta, t, tan, tn, ts);
    ProfileError error = ProfileError::None;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (error == ProfileError::None && !CountFits(s[i].count)) error = ProfileError::Count;
        if (error == ProfileError::None && !SlopeFits(s[i].slope)) error = ProfileError::Slope;
        // Exact for every value that passed: |slope| < 32767.5 * 65536 < 2^31.
        segments[i] = {TruncToInt32(s[i].count), TruncToInt32(s[i].slope)};
    }
    return error;
}

double QuantiseTestValue(double value, double scale)
{
    const double product = value * scale;
    if (scale == 0 || !std::isfinite(product)) return value;
    double n = TG_FRound(product);
    if (n == 0) n = product >= 0 ? 1 : -1;
    return n / scale;
}
