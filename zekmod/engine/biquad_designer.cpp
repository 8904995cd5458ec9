#include "engine/biquad_designer.h"

#include <cmath>
#include <complex>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

constexpr double kQ31 = 2147483648.0;  // 2^31: one unit of a coefficient
constexpr double kWordMax = 2147483647.0;

// Registers of one slot, in the order they are stored.
const char* const kSlotRegisters[6] = {"B0", "B1", "B2", "A1", "A2", "SF"};
// Slot counts by location 0 (position controller output), 1 (speed controller output), 2 (speed feedback).
const char* const kCountRegisters[3] = {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"};

std::string Indexed(const char* prefix, int n, const char* suffix = "")
{
    return prefix + std::to_string(n) + suffix;
}

double Read(CMC_Setup* setup, const std::string& name) { return setup->GetParameterValueInBaseUnit(name.c_str()); }

void StoreSlot(CMC_Setup* setup, int slot, const double (&values)[6])
{
    for (int i = 0; i < 6; ++i) setup->SetParameterValueInBaseUnit(Indexed("BQ", slot, kSlotRegisters[i]).c_str(), values[i]);
}

// The registers are signed 32-bit: a coefficient equal to +SF would quantise to 2^31. NaN passes.
double SaturateToWord(double x)
{
    if (x > kWordMax) return kWordMax;
    if (x < -kQ31) return -kQ31;
    return x;
}

// 2^e by repeated squaring (e >= 0).
double PowerOfTwo(int e)
{
    double result = 1.0;
    double base = 2.0;
    for (unsigned n = static_cast<unsigned>(e); n != 0; n >>= 1) {
        if (n & 1U) result *= base;
        base *= base;
    }
    return result;
}

}  // namespace

BiquadDesigner::BiquadDesigner()
{
    static const char* const kNames[kTypeCount] = {
        "Low Pass 1st order", "Low Pass 2nd order", "Notch",     "High Pass",          "Band Pass",
        "Peak",               "Low Shelf",          "High Shelf", "Lead-lag 1st order", "Lead-lag 2nd order"};
    static const unsigned char kOffered[kTypeCount] = {1, 1, 1, 1, 1, 0, 0, 0, 1, 1};
    for (int i = 0; i < kTypeCount; ++i) {
        m_names[i] = kNames[i];
        m_offered[i] = kOffered[i];
    }
}

const std::string& BiquadDesigner::TypeName(int type) const
{
    static const std::string kNone;
    return type >= 0 && type < kTypeCount ? m_names[type] : kNone;
}

void BiquadDesigner::GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& types) const
{
    names.clear();
    types.clear();
    for (int i = 0; i < kTypeCount; ++i) {
        if (m_offered[i] == 0) continue;
        names.push_back(m_names[i]);
        types.push_back(i);
    }
}

void BiquadDesigner::DesignSection(int type, double f1Ts, double second, double gainDb)
{
    const double K = std::tan(kPi * f1Ts);
    const double V = std::pow(10.0, std::fabs(gainDb) / 20.0);
    const double Q = second;
    const double sqrt2 = std::sqrt(2.0);
    const double sqrt2V = std::sqrt(2.0 * V);
    double norm = 0.0;
    switch (type) {
    case 0:  // Low Pass 1st order
        norm = 1.0 / (1.0 + K);
        b0 = K * norm;
        b1 = K * norm;
        b2 = 0.0;
        a1 = (K - 1.0) * norm;
        a2 = 0.0;
        break;
    case 1:  // Low Pass 2nd order
        norm = 1.0 / (1.0 + K / Q + K * K);
        b0 = K * K * norm;
        b1 = 2.0 * K * K * norm;
        b2 = K * K * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - K / Q + K * K) * norm;
        break;
    case 2:  // Notch
        norm = 1.0 / (1.0 + K / Q + K * K);
        b0 = (1.0 + K * K) * norm;
        b1 = 2.0 * (K * K - 1.0) * norm;
        b2 = (1.0 + K * K) * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - K / Q + K * K) * norm;
        break;
    case 3:  // High Pass
        norm = 1.0 / (1.0 + K / Q + K * K);
        b0 = norm;
        b1 = -2.0 * norm;
        b2 = norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - K / Q + K * K) * norm;
        break;
    case 4:  // Band Pass
        norm = 1.0 / (1.0 + K / Q + K * K);
        b0 = K / Q * norm;
        b1 = 0.0;
        b2 = -(K / Q) * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - K / Q + K * K) * norm;
        break;
    case 5:  // Peak
        norm = 1.0 / (1.0 + K / Q + K * K);
        b0 = (1.0 + V / Q * K + K * K) * norm;
        b1 = 2.0 * (K * K - 1.0) * norm;
        b2 = (1.0 - V / Q * K + K * K) * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - K / Q + K * K) * norm;
        break;
    case 6:  // Low Shelf
        norm = 1.0 / (1.0 + sqrt2 * K + K * K);
        b0 = (1.0 + sqrt2V * K + V * K * K) * norm;
        b1 = 2.0 * (V * K * K - 1.0) * norm;
        b2 = (1.0 - sqrt2V * K + V * K * K) * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - sqrt2 * K + K * K) * norm;
        break;
    case 7:  // High Shelf
        norm = 1.0 / (1.0 + sqrt2 * K + K * K);
        b0 = (V + sqrt2V * K + K * K) * norm;
        b1 = 2.0 * (K * K - V) * norm;
        b2 = (V - sqrt2V * K + K * K) * norm;
        a1 = 2.0 * (K * K - 1.0) * norm;
        a2 = (1.0 - sqrt2 * K + K * K) * norm;
        break;
    case 8:    // Lead-lag 1st order: lead zero at K1, lag pole at K2
    case 9: {  // Lead-lag 2nd order: the 1st-order section squared
        const double K1 = K;
        const double K2 = std::tan(kPi * second);
        const double r = K2 / K1;
        const double lead = (K1 + 1.0) * r / (K2 + 1.0);
        const double trail = (K1 - 1.0) * r / (K2 + 1.0);
        const double pole = (K2 - 1.0) / (K2 + 1.0);
        if (type == 8) {
            b0 = lead;
            b1 = trail;
            b2 = 0.0;
            a1 = pole;
            a2 = 0.0;
        } else {
            b0 = lead * lead;
            b1 = 2.0 * r * r * (K1 * K1 - 1.0) / ((K2 + 1.0) * (K2 + 1.0));
            b2 = trail * trail;
            a1 = 2.0 * (K2 - 1.0) / (K2 + 1.0);
            a2 = pole * pole;
        }
        break;
    }
    default:
        break;
    }
}

void BiquadDesigner::QuantiseSection()
{
    double M = std::fabs(b0);
    for (double c : {b1, b2, a1, a2})
        if (std::fabs(c) > M) M = std::fabs(c);

    int e = 0;
    if (M == 1.0)
        e = 1;
    else if (M > 1.0)
        e = TruncToInt32(std::ceil(std::log(M) / std::log(2.0)));
    SF = PowerOfTwo(e);

    for (double* c : {&b0, &b1, &b2, &a1, &a2}) *c = SaturateToWord(std::floor(*c / SF * kQ31 + 0.5));
}

BiquadResponse BiquadFrequencyResponse(const BiquadCoefficients& c, double frequencyHz, double sampleTimeS)
{
    // z^-1 on the unit circle at the normalised angle w = 2 pi f Ts.
    const std::complex<double> zInv = std::polar(1.0, -2.0 * kPi * frequencyHz * sampleTimeS);
    const std::complex<double> h = (c.b0 + zInv * (c.b1 + zInv * c.b2)) / (1.0 + zInv * (c.a1 + zInv * c.a2));
    return {20.0 * std::log10(std::abs(h)), std::arg(h) * 180.0 / kPi};
}

BiquadCoefficients FromQuantised(double b0, double b1, double b2, double a1, double a2, double SF)
{
    const double unit = SF / kQ31;
    return {b0 * unit, b1 * unit, b2 * unit, a1 * unit, a2 * unit};
}

BiquadCoefficients BiquadDesigner::Section(bool quantised) const
{
    return quantised ? FromQuantised(b0, b1, b2, a1, a2, SF) : BiquadCoefficients{b0, b1, b2, a1, a2};
}

void BiquadDesigner::DesignFilter(CMC_Setup* setup, int filter, bool quantise)
{
    const double tsS = setup->GetParameterValueInBaseUnit("Ts_S");
    const int type = TruncToInt32(Read(setup, Indexed("BQFilterType", filter)));
    const double q = Read(setup, Indexed("BQFilterQ", filter));
    double second = q;
    if (type == 8 || type == 9) second = Read(setup, Indexed("BQFilterF2", filter)) * tsS;
    const double f1Ts = Read(setup, Indexed("BQFilterF1", filter)) * tsS;

    // An unknown type designs nothing: the slot then passes its input unchanged.
    b0 = 1.0;
    b1 = b2 = a1 = a2 = 0.0;
    SF = 1.0;
    DesignSection(type, f1Ts, second, 0.0);
    if (!quantise) return;
    QuantiseSection();

    // Rounding must not change the gain at 0 Hz; high and band pass have none to keep.
    if (type != 3 && type != 4) b0 = SaturateToWord(std::floor(kQ31 / SF - b1 - b2 + a1 + a2 + 0.5));
}

void BiquadDesigner::ComputeFilter(CMC_Setup* setup, int filter, int slot)
{
    DesignFilter(setup, filter, true);
    StoreSlot(setup, slot, {b0, b1, b2, a1, a2, SF});
}

void BiquadDesigner::ComputeAllFilters(CMC_Setup* setup)
{
    int slot = 1;
    double counts[3] = {0.0, 0.0, 0.0};
    for (int location = 0; location < 3; ++location) {
        for (int filter = 1; filter <= kFilterCount; ++filter) {
            const bool on = Read(setup, Indexed("BQFilter", filter)) != 0.0;
            const int at = TruncToInt32(Read(setup, Indexed("BQFilterLocation", filter)));
            if (!on || at != location) continue;
            ComputeFilter(setup, filter, slot);
            counts[location] += 1.0;
            ++slot;
        }
    }
    for (; slot <= kFilterCount; ++slot) StoreSlot(setup, slot, {0.0, 0.0, 0.0, 0.0, 0.0, 0.0});
    for (int location = 0; location < 3; ++location)
        setup->SetParameterValueInBaseUnit(kCountRegisters[location], counts[location]);
}

void BiquadDesigner::WriteFiltersToDrive(CMC_Setup* setup)
{
    std::vector<std::string> names(kCountRegisters, kCountRegisters + 3);
    for (int slot = 1; slot <= kFilterCount; ++slot)
        for (const char* reg : kSlotRegisters) names.push_back(Indexed("BQ", slot, reg));
    for (const std::string& name : names) {
        CMC_Parameter* parameter = setup->FindParameter(name.c_str());
        if (parameter != nullptr) parameter->WriteToChip();
    }
}
