#pragma once
// The Hall configurations of the drive's own numbering (its HALLCASE register, 2 to 13) as the
// states the three sensors show while the motor turns in the positive direction, one per 60
// electrical degrees from electrical angle 0 (the rotor's d axis on phase A). A state is
// 4 * C + 2 * B + A, with A, B, C the sensor levels. Cases 2 to 7 are the same sequence started
// one sector later each; cases 8 to 13 are that sequence run backwards (two Hall wires swapped),
// again one sector later each. States 0 and 7 never occur with healthy sensors.
//
//   case | 0-60 60-120 120-180 180-240 240-300 300-360 (electrical degrees)
//   -----+-----------------------------------------------
//     2  |   5    4     6       2       3       1
//     3  |   4    6     2       3       1       5
//     4  |   6    2     3       1       5       4
//     5  |   2    3     1       5       4       6
//     6  |   3    1     5       4       6       2
//     7  |   1    5     4       6       2       3
//     8  |   5    1     3       2       6       4
//     9  |   1    3     2       6       4       5
//    10  |   3    2     6       4       5       1
//    11  |   2    6     4       5       1       3
//    12  |   6    4     5       1       3       2
//    13  |   4    5     1       3       2       6
#include <array>
#include <cmath>

namespace drivesim {

constexpr int kFirstHallCase = 2;
constexpr int kLastHallCase = 13;

constexpr std::array<std::array<int, 6>, 12> kHallTable{{
    {5, 4, 6, 2, 3, 1}, {4, 6, 2, 3, 1, 5}, {6, 2, 3, 1, 5, 4}, {2, 3, 1, 5, 4, 6},
    {3, 1, 5, 4, 6, 2}, {1, 5, 4, 6, 2, 3}, {5, 1, 3, 2, 6, 4}, {1, 3, 2, 6, 4, 5},
    {3, 2, 6, 4, 5, 1}, {2, 6, 4, 5, 1, 3}, {6, 4, 5, 1, 3, 2}, {4, 5, 1, 3, 2, 6},
}};

// x modulo 360, exactly as fmod then adding 360 to a negative remainder gives it (360 itself for
// a tiny negative x), without fmod's cost: it is asked every period while a motor with Halls
// turns. From 360 to 2^50 degrees, q * 360 and x - q * 360 are exact, so a quotient rounded one
// off needs one exact correction; larger angles go to fmod.
inline double WrapDegrees(double x)
{
    if (std::fabs(x) < 360.0) return x < 0 ? x + 360.0 : x;
    if (!(std::fabs(x) < 0x1p50)) {
        const double r = std::fmod(x, 360.0);
        return r < 0 ? r + 360.0 : r;
    }
    double r = x - std::floor(x / 360.0) * 360.0;
    if (r < 0) r += 360.0;
    else if (r >= 360.0) r -= 360.0;
    return r;
}

// The sensors' state for `hallCase` at electrical angle `degrees`, the edges lagging their ideal
// places by `shiftDegrees`. 0 for a case outside 2..13.
inline int HallState(int hallCase, double degrees, double shiftDegrees)
{
    if (hallCase < kFirstHallCase || hallCase > kLastHallCase) return 0;
    double a = WrapDegrees(degrees - shiftDegrees);
    int sector = static_cast<int>(a / 60.0);
    if (sector > 5) sector = 5;  // a just below 360 rounding up
    return kHallTable[hallCase - kFirstHallCase][sector];
}

}  // namespace drivesim
