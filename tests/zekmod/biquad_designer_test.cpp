#include "engine/biquad_designer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include <nlohmann/json.hpp>

#include "zekmod/engine_fixture.h"

namespace {

using V = std::vector<double>;
constexpr double kQ31 = 2147483648.0;
constexpr double kWordMax = 2147483647.0;
const char* const kSlotSuffixes[6] = {"B0", "B1", "B2", "A1", "A2", "SF"};

struct Filter {
    double on, type, f1, f2, q, location;
};
const Filter kOff{0, 1, 100, 200, 0.7071, 0};

// Ts_S, three filters, and every register preset to 7 so that writes of 0 show; `without` names left out.
std::unique_ptr<CMC_Setup> FilterSetup(double tsS, const Filter (&f)[3], const std::vector<std::string>& without = {})
{
    nlohmann::ordered_json p;
    auto add = [&](const std::string& name, double v, const char* unit = "") { p[name] = {{"value", v}, {"unit", unit}}; };
    add("Ts_S", tsS, "ms");
    for (int n = 1; n <= 3; ++n) {
        const std::string i = std::to_string(n);
        const Filter& g = f[n - 1];
        for (const auto& [name, v, unit] : {std::tuple{"BQFilter", g.on, ""}, {"BQFilterType", g.type, ""}, {"BQFilterF1", g.f1, "Hz"},
                                            {"BQFilterF2", g.f2, "Hz"}, {"BQFilterQ", g.q, ""}, {"BQFilterLocation", g.location, ""}})
            add(name + i, v, unit);
        for (const char* r : kSlotSuffixes) add("BQ" + i + r, 7);
    }
    for (const char* count : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"}) add(count, 7);
    for (const std::string& name : without) p.erase(name);
    const std::string text = p.dump();
    return zektest::SetupFromJson(zektest::Doc(text.substr(1, text.size() - 2)));
}

V Slot(CMC_Setup* setup, int slot)
{
    V v;
    for (const char* r : kSlotSuffixes) v.push_back(setup->GetParameterValueInBaseUnit(("BQ" + std::to_string(slot) + r).c_str()));
    return v;
}

V Counts(CMC_Setup* setup)
{
    return {setup->GetParameterValueInBaseUnit("SPDREF_BQ_INI"), setup->GetParameterValueInBaseUnit("IQREF_BQ_INI"),
            setup->GetParameterValueInBaseUnit("ASPD_BQ_INI")};
}

// What filter n alone yields in a slot.
V Alone(double tsS, const Filter (&f)[3], int n)
{
    auto setup = FilterSetup(tsS, f);
    BiquadDesigner().ComputeFilter(setup.get(), n, 1);
    return Slot(setup.get(), 1);
}

V Coefficients(const BiquadDesigner& d) { return {d.b0, d.b1, d.b2, d.a1, d.a2, d.SF}; }

// A designed (and, with `quantise`, quantised) section.
BiquadDesigner Designed(int type, double f1Ts, double second, double gainDb = 0, bool quantise = false)
{
    BiquadDesigner d;
    d.DesignSection(type, f1Ts, second, gainDb);
    if (quantise) d.QuantiseSection();
    return d;
}

V Quantised(double b0, double b1, double b2, double a1, double a2)
{
    BiquadDesigner d;
    std::tie(d.b0, d.b1, d.b2, d.a1, d.a2) = std::tie(b0, b1, b2, a1, a2);
    d.QuantiseSection();
    return Coefficients(d);
}

std::complex<double> Response(const BiquadDesigner& d, double fTs)
{
    const std::complex<double> z1 = std::polar(1.0, -2.0 * 3.141592653589793 * fTs);
    return (d.b0 + d.b1 * z1 + d.b2 * z1 * z1) / (1.0 + d.a1 * z1 + d.a2 * z1 * z1);
}

class BiquadDesignerTest : public zektest::EngineTest {};

TEST_F(BiquadDesignerTest, OffersSevenTypesWithTheirNames)
{
    BiquadDesigner d;
    std::vector<std::string> names{"stale"};
    std::vector<int> types{42};
    d.GetOfferedTypes(names, types);
    EXPECT_EQ(types, (std::vector<int>{0, 1, 2, 3, 4, 8, 9}));
    EXPECT_EQ(names, (std::vector<std::string>{"Low Pass 1st order", "Low Pass 2nd order", "Notch", "High Pass", "Band Pass",
                                               "Lead-lag 1st order", "Lead-lag 2nd order"}));
    EXPECT_EQ(std::vector<std::string>({d.TypeName(5), d.TypeName(6), d.TypeName(7), d.TypeName(10), d.TypeName(-1)}),
              std::vector<std::string>({"Peak", "Low Shelf", "High Shelf", "", ""}));
    EXPECT_FALSE(d.IsOffered(5));
}

TEST_F(BiquadDesignerTest, WorkedLowPassExampleToTheCount)
{
    // b0 = b2 = 0.00146031557, b1 = 0.00292063114, a1 = -1.88903212716, a2 = 0.89487338944 before quantising.
    EXPECT_EQ(Coefficients(Designed(1, 100 * 125e-6, 0.7071, 0, true)), V({1568002, 3136004, 1568002, -2028332802, 960862985, 2}));
    // In the slot B0 is trimmed one count down for exact unity gain at 0 Hz.
    const Filter f[3] = {{1, 1, 100, 0, 0.7071, 1}, kOff, kOff};
    auto setup = FilterSetup(125e-6, f);
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Slot(setup.get(), 1), V({1568001, 3136004, 1568002, -2028332802, 960862985, 2}));
    EXPECT_EQ(Counts(setup.get()), V({0, 1, 0}));
    EXPECT_TRUE(Reported().empty());
}

// Filter 2 (type x.7 truncated to x) into slot 3: the slot holds the quantised section of the filter's
// F1 * Ts and Q, or for the lead-lag types its F2 * Ts. Every type but high and band pass has B0 trimmed
// to exactly unity gain at 0 Hz; the trim corrects rounding only. High and band pass keep the rounded B0
// (no gain at 0 Hz). A 0 dB peak or shelf has b0 = 1 give or take an ulp: just below 1 it gets SF 1 and
// its trimmed B0 would be 2^31, so it is clamped one count below.
TEST_F(BiquadDesignerTest, TrimGivesExactUnityGainAtZeroFrequency)
{
    const double tsS = 500e-6;
    const Filter f[3] = {kOff, kOff, kOff};
    auto setup = FilterSetup(tsS, f);
    int clamped = 0;
    for (int type = 0; type <= 9; ++type)
        for (int i = 0; i < 20; ++i)
            for (double qOrF2 : {0.3, 0.7071, 2.0, 10.0, 150.0, 800.0}) {
                const double f1 = std::pow(999.0, i / 19.0);  // 1 Hz .. 999 Hz, Nyquist 1000 Hz
                const bool leadLag = type >= 8;
                setup->SetParameterValueInBaseUnit("BQFilterType2", type + 0.7);
                setup->SetParameterValueInBaseUnit("BQFilterF12", f1);
                setup->SetParameterValueInBaseUnit(leadLag ? "BQFilterF22" : "BQFilterQ2", qOrF2);
                BiquadDesigner().ComputeFilter(setup.get(), 2, 3);
                const V s = Slot(setup.get(), 3);
                SCOPED_TRACE("type " + std::to_string(type) + " f1 " + std::to_string(f1) + " q/f2 " + std::to_string(qOrF2));
                const V r = Coefficients(Designed(type, f1 * tsS, leadLag ? qOrF2 * tsS : qOrF2, 0, true));
                EXPECT_EQ(V(s.begin() + 1, s.end()), V(r.begin() + 1, r.end()));
                for (int k = 0; k < 5; ++k) EXPECT_TRUE(s[k] == std::floor(s[k]) && s[k] >= -kQ31 && s[k] <= kWordMax) << k;
                if (type == 3 || type == 4) {
                    EXPECT_EQ(s[0], r[0]);
                    EXPECT_LE(std::fabs(s[0] + s[1] + s[2]), 2.0);
                    continue;
                }
                const bool clamp = s[0] == kWordMax;
                clamped += clamp;
                EXPECT_TRUE(clamp || type < 5 || type > 7 || s[5] != 1);
                EXPECT_EQ(s[0] + s[1] + s[2] - s[3] - s[4], kQ31 / s[5] - (clamp ? 1 : 0));
                EXPECT_LE(std::fabs(s[0] - r[0]), 3.0);
            }
    EXPECT_GT(clamped, 0);
}

TEST_F(BiquadDesignerTest, QuantiseScalesRoundsHalfUpAndClamps)
{
    // SF: 1 below magnitude 1, 2 from exactly 1, then the power of two at or above; NaN does not count.
    const double sf[][3] = {{0, 0, 1},         {0.999999, 0.5, 1}, {1, 0.5, 2},   {0.5, -1, 2},  {1.0000001, 0, 2},
                            {0.5, -1.9, 2},    {3, 0, 4},          {0.2, -4.5, 8}, {NAN, 0.1, 1}};
    for (const auto& c : sf) EXPECT_EQ(Quantised(c[0], 0.25, 0.25, c[1], 0.25)[5], c[2]) << c[0] << " " << c[1];
    EXPECT_EQ(Quantised(1, -0.75, 0, 0, 0), V({1073741824, -805306368, 0, 0, 0, 2}));
    // Half a count rounds upward, also below zero: 2.5 -> 3, -2.5 -> -2, -2.6 -> -3.
    EXPECT_EQ(Quantised(0.5, 2.5 / kQ31, -2.5 / kQ31, -2.6 / kQ31, 0), V({1073741824, 3, -2, -3, 0, 1}));
    // A coefficient equal to +SF would be 2^31, one above the signed 32-bit register.
    EXPECT_EQ(Quantised(2, -2, 1, 0, 0), V({kWordMax, -kQ31, 1073741824, 0, 0, 2}));
}

TEST_F(BiquadDesignerTest, SectionResponses)
{
    const double lift = std::tan(3.141592653589793 * 0.08) / std::tan(3.141592653589793 * 0.01);
    const struct {
        int type;
        double f1Ts, second, gainDb, at, magnitude;
    } cases[] = {
        {0, 0.05, 0.7, 0, 0, 1},    {0, 0.05, 0.7, 0, 0.05, std::sqrt(0.5)},  // -3 dB at the (prewarped) corner
        {0, 0.05, 0.7, 0, 0.5, 0},  {1, 0.05, 0.7, 0, 0.05, 0.7},  // |H| = Q at the corner
        {1, 0.05, 0.7, 0, 0.5, 0},  {2, 0.05, 2, 0, 0.05, 0},  {2, 0.05, 2, 0, 0, 1},   {2, 0.05, 2, 0, 0.5, 1},
        {3, 0.05, 0.7, 0, 0, 0},    {3, 0.05, 0.7, 0, 0.5, 1}, {4, 0.05, 3, 0, 0.05, 1}, {4, 0.05, 3, 0, 0, 0},
        {5, 0.05, 2, 6, 0.05, std::pow(10.0, 6.0 / 20.0)},  // a real peak: 6 dB at the centre
        {8, 0.01, 0.08, 0, 0.5, lift},                      // a lead below its lag lifts Nyquist by K2/K1
    };
    for (const auto& c : cases)
        EXPECT_NEAR(std::abs(Response(Designed(c.type, c.f1Ts, c.second, c.gainDb), c.at)), c.magnitude, 1e-12)
            << c.type << " at " << c.at;
    // At 0 dB the peak and shelves, and a lead-lag with lead = lag, pass their input unchanged.
    for (const auto& [type, second] : {std::pair{5, 2.0}, {6, 2.0}, {7, 2.0}, {8, 0.05}}) {
        const BiquadDesigner d = Designed(type, 0.05, second);
        EXPECT_NEAR(d.b0, 1.0, 1e-15) << type;
        EXPECT_NEAR(d.b1, d.a1, 1e-15) << type;
        EXPECT_NEAR(d.b2, d.a2, 1e-15) << type;
    }
    // The 2nd-order lead-lag is the 1st-order one squared.
    const BiquadDesigner one = Designed(8, 0.01, 0.08), two = Designed(9, 0.01, 0.08);
    EXPECT_EQ(one.b2, 0.0);
    EXPECT_EQ(one.a2, 0.0);
    const V squared{one.b0 * one.b0, 2 * one.b0 * one.b1, one.b1 * one.b1, 2 * one.a1, one.a1 * one.a1};
    for (int k = 0; k < 5; ++k) EXPECT_NEAR(Coefficients(two)[k], squared[k], 1e-12) << k;
}

TEST_F(BiquadDesignerTest, UnknownTypeLeavesSectionAndSlotPassesInput)
{
    BiquadDesigner d;
    std::tie(d.b0, d.b1, d.b2, d.a1, d.a2) = std::tuple(0.1, 0.2, 0.3, 0.4, 0.5);
    for (int type : {-1, 10}) d.DesignSection(type, 0.1, 0.7, 0.0);
    EXPECT_EQ(Coefficients(d), V({0.1, 0.2, 0.3, 0.4, 0.5, 1}));
    const Filter f[3] = {{1, 12, 100, 0, 0.7, 0}, kOff, kOff};
    EXPECT_EQ(Alone(500e-6, f, 1), V({1073741824, 0, 0, 0, 0, 2}));
}

TEST_F(BiquadDesignerTest, LagFrequencyReadOnlyForLeadLagTypes)
{
    for (double type : {1.0, 8.0}) {
        const Filter f[3] = {{1, type, 100, 300, 0.7, 0}, kOff, kOff};
        auto setup = FilterSetup(500e-6, f, {"BQFilterF21"});
        rurorade::ErrorSink().Clear();
        BiquadDesigner().ComputeFilter(setup.get(), 1, 2);
        EXPECT_EQ(Reported().size(), type == 8.0 ? 1u : 0u) << type;
    }
}

// Slots are filled by location, then filter number; unused slots are zeroed.
TEST_F(BiquadDesignerTest, SlotsFilledByLocationThenFilterNumber)
{
    const double tsS = 500e-6;
    const Filter a{1, 1, 800, 0, 0.707, 2};  // Speed Feedback
    const Filter b{1, 2, 350, 0, 2, 0};      // Position Controller Output
    const Filter c{0.5, 0, 40, 0, 1, 1.9};   // Speed Controller Output (truncated), on
    const Filter d{1, 0, 40, 0, 1, 3};       // nowhere
    const Filter e{1, 3, 60, 0, 0.5, 1};
    const Filter off1{0, 1, 100, 0, 0.7, 0}, off2{-0.0, 2, 100, 0, 2, 1}, off3{0, 0, 10, 0, 1, 2};
    const struct {
        Filter f[3];
        std::vector<int> slots;  // filter number per used slot
        V counts;
    } cases[] = {
        {{a, b, kOff}, {2, 1}, {1, 0, 1}}, {{a, b, c}, {2, 3, 1}, {1, 1, 1}}, {{e, c, b}, {3, 1, 2}, {1, 2, 0}},
        {{d, e, kOff}, {2}, {0, 1, 0}},    {{a, d, a}, {1, 3}, {0, 0, 2}},    {{off1, off2, off3}, {}, {0, 0, 0}},
    };
    for (const auto& k : cases) {
        auto setup = FilterSetup(tsS, k.f);
        BiquadDesigner().ComputeAllFilters(setup.get());
        for (int slot = 1; slot <= 3; ++slot)
            EXPECT_EQ(Slot(setup.get(), slot), slot <= int(k.slots.size()) ? Alone(tsS, k.f, k.slots[slot - 1]) : V(6, 0.0))
                << "slot " << slot;
        EXPECT_EQ(Counts(setup.get()), k.counts);
    }
}

// The sample drive: a 800 Hz low pass on the speed feedback and a 350 Hz notch on the speed controller output.
TEST_F(BiquadDesignerTest, SampleDriveFilters)
{
    const Filter f[3] = {{1, 1, 800, 1000, 0.707, 2}, {1, 2, 350, 1000, 2, 1}, {0, 0, 100, 1000, 0.707, 0}};
    auto setup = FilterSetup(500e-6, f);
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Slot(setup.get(), 1), V({1756271342, -1594661008, 1756271342, -1594661008, 1365059036, 1}));
    EXPECT_EQ(Slot(setup.get(), 2), V({686032112, 1372064225, 686032113, 1227211551, 443175075, 2}));
    EXPECT_EQ(Slot(setup.get(), 3), V(6, 0.0));
    EXPECT_EQ(Counts(setup.get()), V({0, 1, 1}));
    setup->SetParameterValueInBaseUnit("BQFilter3", NAN);  // a switch that is not a number counts as on
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Counts(setup.get()), V({1, 1, 1}));
}

// Counts, then the slots register by register; a register the setup lacks is skipped (and reported).
TEST_F(BiquadDesignerTest, WritesCountsThenSlotsSkippingMissingRegisters)
{
    const Filter f[3] = {{1, 1, 100, 0, 0.7071, 1}, kOff, kOff};
    auto setup = FilterSetup(500e-6, f, {"IQREF_BQ_INI", "BQ2A1"});
    setup->SetParameterValueInBaseUnit("BQ1B1", 1234);
    zektest::RecordingLink link;
    setup->SetDriveLink(&link);
    rurorade::ErrorSink().Clear();
    BiquadDesigner().WriteFiltersToDrive(setup.get());
    std::vector<std::pair<std::string, double>> expected{{"SPDREF_BQ_INI", 7}, {"ASPD_BQ_INI", 7}};
    for (int s = 1; s <= 3; ++s)
        for (const char* r : kSlotSuffixes)
            if (!(s == 2 && std::string(r) == "A1")) expected.emplace_back("BQ" + std::to_string(s) + r, 7);
    expected[3].second = 1234;  // BQ1B1: the setup's value goes out
    EXPECT_EQ(link.written, expected);
    EXPECT_EQ(Reported().size(), 2u);
}

}  // namespace

// Hand-worked points: at 0 Hz z = 1 (gain sum(b) / sum(a)), at Nyquist z = -1 (alternating sums), and
// the first-order low pass with K = tan(pi / 4) = 1, i.e. H = (1 + z^-1) / 2, at its corner fs / 4:
// (1 - j) / 2, -3.0103 dB and -45 degrees.
TEST_F(BiquadDesignerTest, FrequencyResponseAtHandWorkedPoints)
{
    struct Case {
        BiquadCoefficients section;
        double hz, ts, db, deg;
    } cases[] = {
        {{1, 2, 3, 0.5, 0.25}, 0, 1e-3, 10.702264, 0},      // 6 / 1.75
        {{1, 2, 3, 0.5, 0.25}, 500, 1e-3, 8.519374, 0},     // 2 / 0.75
        {{1, 3, 1, 0.5, 0.25}, 2000, 250e-6, 2.498775, 180}, // -1 / 0.75
        {{0.5, 0.5, 0, 0, 0}, 250, 1e-3, -3.0103, -45},
        {{0.5, 0.5, 0, 0, 0}, 1000, 250e-6, -3.0103, -45},
    };
    for (const Case& c : cases) {
        const BiquadResponse r = BiquadFrequencyResponse(c.section, c.hz, c.ts);
        EXPECT_NEAR(r.magnitudeDb, c.db, 1e-4) << c.hz;
        EXPECT_NEAR(std::fabs(r.phaseDeg), std::fabs(c.deg), 1e-6) << c.hz;
        if (c.deg < 0) {
            EXPECT_LT(r.phaseDeg, 0) << c.hz;
        }
    }
}

// The designed filter of a setup, ideal and as the drive gets it (the worked example's slot counts,
// exact unity at 0 Hz: 1568001 + 3136004 + 1568002 = 2^30 - 2028332802 + 960862985); the setup is not written.
TEST_F(BiquadDesignerTest, DesignedFilterAsIdealAndQuantisedSections)
{
    const Filter f[3] = {kOff, {1, 1, 100, 0, 0.7071, 1}, kOff};
    auto setup = FilterSetup(125e-6, f);
    BiquadDesigner d;
    d.DesignFilter(setup.get(), 2, true);
    const BiquadCoefficients q = d.Section(true);
    const double unit = 2.0 / kQ31;
    EXPECT_EQ(V({q.b0, q.b1, q.b2, q.a1, q.a2}),
              V({1568001 * unit, 3136004 * unit, 1568002 * unit, -2028332802 * unit, 960862985 * unit}));
    EXPECT_NEAR(BiquadFrequencyResponse(q, 0, 125e-6).magnitudeDb, 0, 1e-12);
    d.DesignFilter(setup.get(), 2, false);
    const BiquadCoefficients ideal = d.Section(false);
    EXPECT_NEAR(ideal.b1, 0.00292063114, 1e-11);
    EXPECT_NEAR(ideal.a1, -1.88903212716, 1e-11);
    EXPECT_NEAR(ideal.a2, 0.89487338944, 1e-11);
    EXPECT_EQ(Slot(setup.get(), 1), V({7, 7, 7, 7, 7, 7}));
    EXPECT_EQ(Slot(setup.get(), 2), V({7, 7, 7, 7, 7, 7}));
}
