#include "rurorade/numeric.h"

#include <cmath>
#include <limits>

std::int32_t TruncToInt32(double x)
{
    if (std::isnan(x)) return 0;
    if (x >= 2147483647.0) return std::numeric_limits<std::int32_t>::max();
    if (x <= -2147483648.0) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(x);
}

std::uint32_t TruncToUInt32(double x)
{
    if (std::isnan(x) || x <= 0.0) return 0;
    if (x >= 4294967295.0) return std::numeric_limits<std::uint32_t>::max();
    return static_cast<std::uint32_t>(x);
}

double RoundDecimalValue(double x, short digits)
{
    const double scale = std::pow(10.0, digits);
    return std::round(x * scale) / scale;
}

int TG_Round(double x) { return TruncToInt32(std::round(x)); }

double TG_FRound(double x) { return std::round(x); }
