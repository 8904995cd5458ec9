#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "rurorade/numeric.h"

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

TEST(TruncToInt32, DefinedForEveryDouble)
{
    struct Case {
        double in;
        std::int32_t out;
    } cases[] = {
        {0.0, 0},          {-0.0, 0},          {1.9, 1},
        {-1.9, -1},        {2147483647.0, 2147483647},  {2147483647.9, 2147483647},
        {2147483648.0, 2147483647},             {1e300, 2147483647},
        {kInf, 2147483647},                     {-2147483648.0, -2147483647 - 1},
        {-2147483648.9, -2147483647 - 1},       {-1e300, -2147483647 - 1},
        {-kInf, -2147483647 - 1},               {kNaN, 0},
        {-kNaN, 0},        {65535.99999, 65535},
    };
    for (const Case& c : cases) EXPECT_EQ(TruncToInt32(c.in), c.out) << c.in;
}

TEST(TruncToUInt32, DefinedForEveryDouble)
{
    struct Case {
        double in;
        std::uint32_t out;
    } cases[] = {
        {0.0, 0u}, {-5.0, 0u}, {kNaN, 0u}, {3.99, 3u}, {4294967295.0, 4294967295u},
        {4294967296.0, 4294967295u}, {kInf, 4294967295u}, {-kInf, 0u}, {2147483648.5, 2147483648u},
    };
    for (const Case& c : cases) EXPECT_EQ(TruncToUInt32(c.in), c.out) << c.in;
}

TEST(Rounding, HalfAwayFromZero)
{
    EXPECT_EQ(TG_Round(2.5), 3);
    EXPECT_EQ(TG_Round(-2.5), -3);
    EXPECT_EQ(TG_Round(kNaN), 0);
    EXPECT_EQ(TG_Round(1e12), 2147483647);
    EXPECT_EQ(TG_FRound(-0.5), -1.0);
    EXPECT_TRUE(std::isnan(TG_FRound(kNaN)));
    EXPECT_DOUBLE_EQ(RoundDecimalValue(3.14159, 2), 3.14);
    EXPECT_EQ(RoundDecimalValue(3.9999999, 0), 4.0);
    EXPECT_EQ(RoundDecimalValue(-4.5, 0), -5.0);
}

}  // namespace
