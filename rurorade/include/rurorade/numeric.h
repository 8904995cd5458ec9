#pragma once
#include <cstdint>

// The one conversion from double to a drive integer. Truncates toward zero;
// NaN gives 0 and values outside the int32 range saturate, so no cast is undefined.
std::int32_t TruncToInt32(double x);

// Same rule for unsigned 32-bit words (negative values and NaN give 0).
std::uint32_t TruncToUInt32(double x);

// Rounds x to `digits` decimals (half away from zero).
double RoundDecimalValue(double x, short digits);
// Rounds to the nearest integer (half away from zero), saturating like TruncToInt32.
int TG_Round(double x);
// Rounds to a whole-valued double (half away from zero); NaN and infinities pass through.
double TG_FRound(double x);
