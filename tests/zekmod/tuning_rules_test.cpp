#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "commissioning/reference_profile.h"
#include "commissioning/tuning_rules.h"
#include "rurorade/numeric.h"

namespace {

using Segments = std::array<ProfileSegment, 6>;
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kInf = std::numeric_limits<double>::infinity();
constexpr ProfileKind kSpeed = ProfileKind::Speed, kPos = ProfileKind::Position;
constexpr ProfileError kOk = ProfileError::None, kCount = ProfileError::Count, kSlope = ProfileError::Slope;

// Times in s at a 1 ms loop. By hand: 10 units in 3 samples is floor(10 / 3 * 65536 + 0.5), etc.
struct ProfileCase {
    ProfileKind kind;
    int type;
    std::int64_t target;
    double ta, t, tan, tn;
    ProfileError error;
    Segments expected;
};
const ProfileCase kProfiles[] = {
    {kSpeed, 0, 10, .003, .005, .004, .002, kOk,
     {{{2, 218453}, {1, 218454}, {5, 0}, {3, -163840}, {1, -163840}, {2, 0}}}},
    {kSpeed, 0, 5, .001, 0, .001, 0, kOk, {{{1, 327680}, {1, 0}, {0, 0}, {1, -327680}, {1, 0}, {0, 0}}}},
    {kPos, 0, 5, .001, 0, .001, 0, kOk, {{{0, 327680}, {1, 327680}, {0, 0}, {0, -327680}, {1, -327680}, {0, 0}}}},
    {kSpeed, 2, 10, .003, .002, .003, .001, kOk, {{{3, 218453}, {2, 0}, {6, -218453}, {1, 0}, {2, 327680}, {1, -1}}}},
    {kSpeed, 1, 32767, .001, 0, .001, 0, kOk,  // the largest slope
     {{{1, -32767 * 65536LL}, {1, 0}, {0, 0}, {1, 32767 * 65536LL}, {1, 0}, {0, 0}}}},
    {kSpeed, 0, 32768, .001, 0, .1, 0, kSlope, {}},
    {kSpeed, 0, 10, .0004, 0, .003, 0, kSlope, {}},         // 0-sample speed ramp
    {kPos, 1, 10, .0004, 0, .003, 0, kCount, {{{-1, 0}}}},  // 0-sample position ramp
    {kSpeed, 0, 10, .003, 0, .003, 32.768, kCount, {}},
    {kSpeed, 0, 40000, .001, 0, .003, 40, kSlope, {}},      // segment 0 fails before segment 5
    {kPos, 2, 10, .003, kNaN, .003, kInf, kCount, {}},
};

TEST(ReferenceProfile, HandWorkedProfilesAndFailures)
{
    for (const auto& c : kProfiles) {
        Segments s{};
        const auto line = &c - kProfiles;
        ASSERT_EQ(BuildReferenceProfile(c.kind, c.type, c.target, c.ta, c.t, c.tan, c.tn, 0.001, s), c.error) << line;
        for (int i = 0; i < 6 && c.error == kOk; ++i) {
            EXPECT_TRUE(s[i].count == c.expected[i].count && s[i].slope == c.expected[i].slope) << line << ':' << i;
        }
        if (c.error == kCount && c.expected[0].count) {
            EXPECT_EQ(s[0].count, -1);
        }
    }
    EXPECT_EQ(std::string(kProfileCountError),
              "Distances between consecutive points on X axis must be greater than 0 and below 32768.");
    EXPECT_EQ(std::string(kProfileSlopeError),
              "Reference variation between two consecutive points is too big (slope overflow).");
}

// Played out (linear within a segment, so its ends bound it), every profile lands exactly on its
// targets and overshoots by less than one unit, whatever the rounding of its times.
TEST(ReferenceProfile, PlayedOutProfileLandsExactly)
{
    std::mt19937 rng(20240611);
    const auto uniform = [&rng](double lo, double hi) { return lo + (hi - lo) * (rng() / 4294967296.0); };
    for (int run = 0; run < 3000; ++run) {
        const double ts = std::array{1e-4, 2.5e-4, 1e-3 / 3}[run % 3];
        const auto time = [&](double min) { return (std::floor(uniform(min, 5000)) + uniform(-.49, .49)) * ts; };
        const std::int64_t v = (run % 2 ? -1 : 1) * (run % 7 ? TruncToInt32(uniform(1, 16000)) : 1 + run % 3);
        const int type = run % 4 % 3;
        const double ta = time(1), t = time(0), tan = time(1), tn = time(0);
        Segments s{};
        ASSERT_EQ(BuildReferenceProfile(run % 5 < 2 ? kSpeed : kPos, type, v, ta, t, tan, tn, ts, s), kOk);
        const std::int64_t one = 65536, peak = v * one * (type == 1 ? -1 : 1);
        std::int64_t reference = 0;
        for (int i = 0; i < 6; ++i) {
            reference += s[i].count * s[i].slope;
            EXPECT_LE(std::llabs(reference), std::llabs(peak) + one) << run;
            if (type != 2 && (i == 1 || i == 4)) {
                EXPECT_EQ(reference, i == 1 ? peak : 0) << run;
            }
        }
        EXPECT_EQ(reference, 0) << run;
    }
    for (const auto& [value, scale, whole] : {std::array{2.44, 10., 2.4}, {-.03, 10., -.1}, {0., 4., .25}})
        EXPECT_DOUBLE_EQ(QuantiseTestValue(value, scale), whole);
}

TEST(TuningRules, HandComputedGains)
{
    const auto near = [](double a, double b) { return std::abs(a - b) <= 1e-12 * std::abs(b); };
    PiGains g{}, delta{};
    // tau = 2 ms > 4 Ts: Kp = (2 * 1000 * 0.002 - 1) * 2 / 4, Ki = 1000^2 * 0.002 * 1e-4 * 2 / 4.
    ASSERT_TRUE(CurrentLoopGains(2e-3, 1, false, 1e-4, 2, 4, 1000, 1, g));
    ASSERT_TRUE(CurrentLoopGains(2e-3, 1, true, 1e-4, 2, 4, 1000, 1, delta));
    EXPECT_TRUE(near(g.kp, 1.5) && near(g.ki, .1) && near(delta.kp, .5) && near(delta.ki, .1 / 3));
    // tau = 4 Ts exactly: the short rule, Kp = 1 / (2 sqrt2 * 0.25) - 1, Ki = 8 * 0.25.
    ASSERT_TRUE(CurrentLoopGains(1, 1, false, .25, 1, 1, 8, 1, g));
    EXPECT_TRUE(near(g.kp, std::sqrt(2.0) - 1) && near(g.ki, 2));
    EXPECT_FALSE(CurrentLoopGains(kNaN, 1, false, 1e-4, 2, 4, 1000, 1, g));
    // Speed: Ki = 100^2 * 1e-3 * 0.01 * 2 / 4 / 0.5, Kp = 2 * 100 * 0.5 * 0.01 * 2 / 4 / 0.5.
    ASSERT_TRUE(SpeedLoopGains(1e-3, 2, 4, 100, .5, .01, .5, g));
    EXPECT_TRUE(near(g.ki, .1) && near(g.kp, 1));
    EXPECT_FALSE(SpeedLoopGains(1e-3, 2, 4, 100, .5, .01, 0, g));

    PidGains p{};
    ASSERT_TRUE(PositionLoopGains(true, 1e-3, kNaN, 4, 2, 10, 1, kNaN, 0, p));  // Kc, J, Kt unused
    EXPECT_TRUE(near(p.ki, .2) && near(p.kp, 40) && p.kd == 0.0);
    // w = 3 * 10: Ki = 10^3 * 1e-3 * 0.5 * 2 / 4 / 0.25, Kp = 30 * 10 * 1, Kd = 30 * 1 / 1e-3.
    ASSERT_TRUE(PositionLoopGains(false, 1e-3, 2, kNaN, 4, 10, 1, .5, .25, p));
    EXPECT_TRUE(near(p.ki, 1) && near(p.kp, 300) && near(p.kd, 30000));

    EXPECT_EQ(CurrentOutputFilterCoefficient(false, 5000, 1e-4), 32767);
    EXPECT_EQ(CurrentOutputFilterCoefficient(true, std::log(2.0), 1), 16383);  // 32767 / 2, truncated
}

TEST(ScopeLayout, ScaleAndTrigger)
{
    for (const auto& [x, scale] : {std::array{1., 1.}, {1000., 1000.}, {.001, .001}, {2., 2.}, {2.5, 5.},
                                   {5.5, 10.}, {.15, .2}, {1001., 2000.}, {0., .2}, {-3., .2}, {kNaN, 1.}})
        EXPECT_EQ(ScopeScale125(x), scale) << x;

    // 0.2 s up, 0.5 s hold, 0.1 s down, 0.3 s rest. Columns: test value?, type parameter?, type, value, cyclic.
    struct Case { bool value, typed; int type; double v; bool cyclic; ScopeTrigger e; };
    const double oneWay = .2 + .5 + .1 + .1, both = .4 + .5 + .2 + .3;
    for (const auto& c : {Case{true, true, 0, -100, true, {oneWay, 2, 0, true, -95, 23}},
                          Case{true, true, 1, 100, false, {oneWay, 4, 0, true, -95, 23}},
                          Case{true, true, 2, 100, false, {both, 4, 1, true, 90, 15}},
                          Case{true, false, 2, -100, false, {oneWay, 4, 1, true, -95, 23}},
                          Case{false, true, 0, 100, true, {1.1, 1, 1, false, 0, 0}}}) {
        const auto t = ComputeScopeTrigger(c.value, c.typed, c.type, c.v, .2, .5, .1, .3, c.cyclic);
        EXPECT_TRUE(std::abs(t.span - c.e.span) < 1e-12 && t.mode == c.e.mode && t.slope == c.e.slope &&
                    t.useVariable == c.e.useVariable && t.level == c.e.level && t.preTrigger == c.e.preTrigger)
            << c.type << ' ' << c.v;
    }
}

}  // namespace
