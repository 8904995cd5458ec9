#include "engine/biquad_designer.h"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "zekmod/engine_fixture.h"

namespace {

constexpr double kQ31 = 2147483648.0;
const char* const kSlotSuffixes[6] = {"B0", "B1", "B2", "A1", "A2", "SF"};

struct Filter {
    double on, type, f1, f2, q, location;
};
const Filter kOff{0, 1, 100, 200, 0.7071, 0};

std::string Num(double v)
{
    std::ostringstream s;
    s.precision(17);
    s << v;
    return s.str();
}

std::string Param(const std::string& name, double value, const char* unit = "")
{
    return "\"" + name + "\": {\"value\": " + Num(value) + ", \"unit\": \"" + unit + "\"},";
}

// Ts_S, three filters, and every register preset to 7 so that writes of 0 show.
std::string FilterDoc(double tsS, const Filter (&f)[3], const std::vector<std::string>& without = {})
{
    std::vector<std::pair<std::string, std::string>> params;
    auto add = [&](const std::string& name, double v, const char* unit = "") { params.emplace_back(name, Param(name, v, unit)); };
    add("Ts_S", tsS, "ms");
    for (int n = 1; n <= 3; ++n) {
        const std::string i = std::to_string(n);
        add("BQFilter" + i, f[n - 1].on);
        add("BQFilterType" + i, f[n - 1].type);
        add("BQFilterF1" + i, f[n - 1].f1, "Hz");
        add("BQFilterF2" + i, f[n - 1].f2, "Hz");
        add("BQFilterQ" + i, f[n - 1].q);
        add("BQFilterLocation" + i, f[n - 1].location);
    }
    for (const char* count : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"}) add(count, 7);
    for (int s = 1; s <= 3; ++s)
        for (const char* r : kSlotSuffixes) add("BQ" + std::to_string(s) + r, 7);
    std::string inner;
    for (const auto& [name, text] : params) {
        bool skip = false;
        for (const auto& w : without) skip = skip || w == name;
        if (!skip) inner += text;
    }
    inner.pop_back();
    return zektest::Doc(inner);
}

std::vector<double> Slot(CMC_Setup* setup, int slot)
{
    std::vector<double> v;
    for (const char* r : kSlotSuffixes) v.push_back(setup->GetParameterValueInBaseUnit(("BQ" + std::to_string(slot) + r).c_str()));
    return v;
}

std::vector<double> Counts(CMC_Setup* setup)
{
    return {setup->GetParameterValueInBaseUnit("SPDREF_BQ_INI"), setup->GetParameterValueInBaseUnit("IQREF_BQ_INI"),
            setup->GetParameterValueInBaseUnit("ASPD_BQ_INI")};
}

// What filter n alone yields in a slot.
std::vector<double> Alone(double tsS, const Filter (&f)[3], int n)
{
    auto setup = zektest::SetupFromJson(FilterDoc(tsS, f));
    BiquadDesigner().ComputeFilter(setup.get(), n, 1);
    return Slot(setup.get(), 1);
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
    EXPECT_EQ(d.TypeName(5), "Peak");
    EXPECT_EQ(d.TypeName(6), "Low Shelf");
    EXPECT_EQ(d.TypeName(7), "High Shelf");
    EXPECT_EQ(d.TypeName(10), "");
    EXPECT_FALSE(d.IsOffered(5));
}

TEST_F(BiquadDesignerTest, WorkedLowPassExampleToTheCount)
{
    BiquadDesigner d;
    d.DesignSection(1, 100 * 125e-6, 0.7071, 0.0);
    EXPECT_NEAR(d.b0, 0.00146031557, 1e-11);
    EXPECT_NEAR(d.b1, 0.00292063114, 1e-11);
    EXPECT_EQ(d.b2, d.b0);
    EXPECT_NEAR(d.a1, -1.88903212716, 1e-11);
    EXPECT_NEAR(d.a2, 0.89487338944, 1e-11);
    d.QuantiseSection();
    EXPECT_EQ(std::vector<double>({d.b0, d.b1, d.b2, d.a1, d.a2, d.SF}),
              std::vector<double>({1568002, 3136004, 1568002, -2028332802, 960862985, 2}));

    const Filter f[3] = {{1, 1, 100, 0, 0.7071, 1}, kOff, kOff};
    auto setup = zektest::SetupFromJson(FilterDoc(125e-6, f));
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Slot(setup.get(), 1), std::vector<double>({1568001, 3136004, 1568002, -2028332802, 960862985, 2}));
    EXPECT_EQ(Counts(setup.get()), std::vector<double>({0, 1, 0}));
    EXPECT_TRUE(Reported().empty());
}

// The quantised section of every unity-gain type keeps exactly unity gain at 0 Hz.
TEST_F(BiquadDesignerTest, TrimGivesExactUnityGainAtZeroFrequency)
{
    const double tsS = 500e-6;
    const Filter f[3] = {kOff, kOff, kOff};
    auto setup = zektest::SetupFromJson(FilterDoc(tsS, f));
    std::vector<double> freqs;
    for (int i = 0; i < 20; ++i) freqs.push_back(std::pow(999.0, i / 19.0));  // 1 Hz .. 999 Hz, Nyquist 1000 Hz
    for (int type : {0, 1, 2, 5, 6, 7, 8, 9}) {
        for (double f1 : freqs) {
            for (double qOrF2 : {0.3, 0.7071, 2.0, 10.0, 150.0, 800.0}) {
                const bool leadLag = type >= 8;
                setup->SetParameterValueInBaseUnit("BQFilterType1", type);
                setup->SetParameterValueInBaseUnit("BQFilterF11", f1);
                setup->SetParameterValueInBaseUnit(leadLag ? "BQFilterF21" : "BQFilterQ1", qOrF2);
                BiquadDesigner d;
                d.ComputeFilter(setup.get(), 1, 1);
                const auto s = Slot(setup.get(), 1);
                SCOPED_TRACE("type " + std::to_string(type) + " f1 " + Num(f1) + " q/f2 " + Num(qOrF2));
                // Exact, unless B0 had to be clamped one count below 2^31.
                const double gap = s[0] == 2147483647.0 ? 1.0 : 0.0;
                EXPECT_EQ(s[0] + s[1] + s[2] - s[3] - s[4], kQ31 / s[5] - gap);
                for (int i = 0; i < 5; ++i) {
                    EXPECT_EQ(s[i], std::floor(s[i]));
                    EXPECT_LE(std::fabs(s[i]), kQ31);
                }
                // The trim corrects rounding only: a few counts at most.
                BiquadDesigner r;
                r.DesignSection(type, f1 * tsS, leadLag ? qOrF2 * tsS : qOrF2, 0.0);
                r.QuantiseSection();
                EXPECT_LE(std::fabs(s[0] - r.b0), 3.0);
                EXPECT_EQ(std::vector<double>(s.begin() + 1, s.end()), std::vector<double>({r.b1, r.b2, r.a1, r.a2, r.SF}));
            }
        }
    }
}

TEST_F(BiquadDesignerTest, HighPassAndBandPassKeepRoundedB0)
{
    const double tsS = 500e-6;
    for (int type : {3, 4}) {
        for (double f1 : {5.0, 120.0, 700.0}) {
            const Filter f[3] = {{1, static_cast<double>(type), f1, 0, 0.9, 0}, kOff, kOff};
            const auto s = Alone(tsS, f, 1);
            BiquadDesigner r;
            r.DesignSection(type, f1 * tsS, 0.9, 0.0);
            r.QuantiseSection();
            EXPECT_EQ(s, std::vector<double>({r.b0, r.b1, r.b2, r.a1, r.a2, r.SF})) << type << " " << f1;
            EXPECT_LE(std::fabs(s[0] + s[1] + s[2]), 2.0);  // no gain at 0 Hz
        }
    }
}

TEST_F(BiquadDesignerTest, ScaleFactorFromLargestMagnitude)
{
    struct Case {
        double b0, a1, sf;
    };
    const Case cases[] = {
        {0.0, 0.0, 1},      {0.999999, 0.5, 1}, {1.0, 0.5, 2},   {0.5, -1.0, 2}, {1.0000001, 0.0, 2},
        {0.5, -1.9, 2},     {3.0, 0.0, 4},      {0.2, -4.5, 8},  {NAN, 0.1, 1},
    };
    for (const Case& c : cases) {
        BiquadDesigner d;
        d.b0 = c.b0;
        d.b1 = d.b2 = d.a2 = 0.25;
        d.a1 = c.a1;
        d.QuantiseSection();
        EXPECT_EQ(d.SF, c.sf) << c.b0 << " " << c.a1;
    }
    BiquadDesigner d;
    d.b0 = 1.0;
    d.b1 = -0.75;
    d.b2 = d.a1 = d.a2 = 0.0;
    d.QuantiseSection();
    EXPECT_EQ(d.SF, 2);
    EXPECT_EQ(d.b0, 1073741824);
    EXPECT_EQ(d.b1, -805306368);
}

TEST_F(BiquadDesignerTest, RoundsHalfUpwardAlsoBelowZero)
{
    BiquadDesigner d;
    d.b0 = 0.5;
    d.b1 = 2.5 / kQ31;   // 2.5 counts -> 3
    d.b2 = -2.5 / kQ31;  // -2.5 counts -> -2
    d.a1 = -2.6 / kQ31;  // -> -3
    d.a2 = 0.0;
    d.QuantiseSection();
    EXPECT_EQ(std::vector<double>({d.b0, d.b1, d.b2, d.a1, d.a2, d.SF}), std::vector<double>({1073741824, 3, -2, -3, 0, 1}));
}

// A coefficient equal to +SF would be 2^31, one above the register range.
TEST_F(BiquadDesignerTest, CoefficientAtPlusScaleFactorIsClampedToWordMaximum)
{
    BiquadDesigner d;
    d.b0 = 2.0;
    d.b1 = -2.0;
    d.b2 = 1.0;
    d.a1 = d.a2 = 0.0;
    d.QuantiseSection();
    EXPECT_EQ(d.SF, 2);
    EXPECT_EQ(d.b0, 2147483647.0);
    EXPECT_EQ(d.b1, -2147483648.0);
    EXPECT_EQ(d.b2, 1073741824.0);
}

// The 0 dB peak and shelves have b0 = 1 give or take an ulp; just below 1 gives SF 1 and B0 2^31.
TEST_F(BiquadDesignerTest, TrimmedB0IsClampedToWordMaximum)
{
    const Filter f[3] = {kOff, kOff, kOff};
    auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f));
    int clamped = 0;
    for (int type : {5, 6, 7}) {
        for (int i = 1; i < 200; ++i) {
            setup->SetParameterValueInBaseUnit("BQFilterType1", type);
            setup->SetParameterValueInBaseUnit("BQFilterF11", i * 5.0);
            setup->SetParameterValueInBaseUnit("BQFilterQ1", 150);
            BiquadDesigner().ComputeFilter(setup.get(), 1, 1);
            const auto s = Slot(setup.get(), 1);
            EXPECT_LE(s[0], 2147483647.0) << type << " " << i;
            if (s[5] == 1.0) {
                EXPECT_EQ(s[0], 2147483647.0) << type << " " << i;
                ++clamped;
            }
        }
    }
    EXPECT_GT(clamped, 0);
}

TEST_F(BiquadDesignerTest, LeadLagSections)
{
    BiquadDesigner d;
    d.DesignSection(8, 0.02, 0.02, 0.0);
    EXPECT_EQ(d.b0, 1.0);
    EXPECT_EQ(d.b1, d.a1);
    EXPECT_EQ(d.b2, 0.0);
    EXPECT_EQ(d.a2, 0.0);

    // The 2nd-order section is the 1st-order one squared.
    BiquadDesigner one, two;
    one.DesignSection(8, 0.01, 0.08, 0.0);
    two.DesignSection(9, 0.01, 0.08, 0.0);
    EXPECT_NEAR(two.b0, one.b0 * one.b0, 1e-12);
    EXPECT_NEAR(two.b1, 2 * one.b0 * one.b1, 1e-12);
    EXPECT_NEAR(two.b2, one.b1 * one.b1, 1e-12);
    EXPECT_NEAR(two.a1, 2 * one.a1, 1e-12);
    EXPECT_NEAR(two.a2, one.a1 * one.a1, 1e-12);
    // A lead below its lag lifts the gain at Nyquist to K2/K1.
    EXPECT_NEAR(std::abs(Response(one, 0.5)), std::tan(3.141592653589793 * 0.08) / std::tan(3.141592653589793 * 0.01), 1e-9);
}

TEST_F(BiquadDesignerTest, SectionResponses)
{
    BiquadDesigner d;
    const double fTs = 0.05;
    d.DesignSection(0, fTs, 0.7, 0.0);
    EXPECT_NEAR(std::abs(Response(d, 0.0)), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(Response(d, fTs)), std::sqrt(0.5), 1e-12);  // -3 dB at the corner (prewarped)
    EXPECT_NEAR(std::abs(Response(d, 0.5)), 0.0, 1e-12);
    d.DesignSection(1, fTs, 0.7, 0.0);
    EXPECT_NEAR(std::abs(Response(d, fTs)), 0.7, 1e-12);  // |H| = Q at the corner
    EXPECT_NEAR(std::abs(Response(d, 0.5)), 0.0, 1e-12);
    d.DesignSection(2, fTs, 2.0, 0.0);
    EXPECT_NEAR(std::abs(Response(d, fTs)), 0.0, 1e-12);
    EXPECT_NEAR(std::abs(Response(d, 0.0)), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(Response(d, 0.5)), 1.0, 1e-12);
    d.DesignSection(3, fTs, 0.7, 0.0);
    EXPECT_NEAR(std::abs(Response(d, 0.0)), 0.0, 1e-12);
    EXPECT_NEAR(std::abs(Response(d, 0.5)), 1.0, 1e-12);
    d.DesignSection(4, fTs, 3.0, 0.0);
    EXPECT_NEAR(std::abs(Response(d, fTs)), 1.0, 1e-12);
    EXPECT_NEAR(std::abs(Response(d, 0.0)), 0.0, 1e-12);
    for (int type : {5, 6, 7}) {  // at 0 dB these pass their input unchanged
        d.DesignSection(type, fTs, 2.0, 0.0);
        EXPECT_NEAR(d.b0, 1.0, 1e-15) << type;
        EXPECT_NEAR(d.b1, d.a1, 1e-15) << type;
        EXPECT_NEAR(d.b2, d.a2, 1e-15) << type;
    }
    d.DesignSection(5, fTs, 2.0, 6.0);  // a real peak: 6 dB at the centre
    EXPECT_NEAR(std::abs(Response(d, fTs)), std::pow(10.0, 6.0 / 20.0), 1e-12);
}

TEST_F(BiquadDesignerTest, UnknownTypeLeavesSectionAndSlotPassesInput)
{
    BiquadDesigner d;
    d.b0 = 0.1;
    d.b1 = 0.2;
    d.b2 = 0.3;
    d.a1 = 0.4;
    d.a2 = 0.5;
    for (int type : {-1, 10}) d.DesignSection(type, 0.1, 0.7, 0.0);
    EXPECT_EQ(std::vector<double>({d.b0, d.b1, d.b2, d.a1, d.a2}), std::vector<double>({0.1, 0.2, 0.3, 0.4, 0.5}));

    const Filter f[3] = {{1, 12, 100, 0, 0.7, 0}, kOff, kOff};
    EXPECT_EQ(Alone(500e-6, f, 1), std::vector<double>({1073741824, 0, 0, 0, 0, 2}));
}

TEST_F(BiquadDesignerTest, LeadLagSecondValueIsLagFrequencyTimesTs)
{
    const double tsS = 250e-6;
    const Filter f[3] = {kOff, {1, 9.7, 30, 300, 55, 0}, kOff};  // type truncated to 9
    BiquadDesigner r;
    r.DesignSection(9, 30 * tsS, 300 * tsS, 0.0);
    r.QuantiseSection();
    const auto s = Alone(tsS, f, 2);
    EXPECT_EQ(std::vector<double>(s.begin() + 1, s.end()), std::vector<double>({r.b1, r.b2, r.a1, r.a2, r.SF}));
}

TEST_F(BiquadDesignerTest, LagFrequencyReadOnlyForLeadLagTypes)
{
    for (double type : {1.0, 8.0}) {
        const Filter f[3] = {{1, type, 100, 300, 0.7, 0}, kOff, kOff};
        auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f, {"BQFilterF21"}));
        rurorade::ErrorSink().Clear();
        BiquadDesigner().ComputeFilter(setup.get(), 1, 2);
        EXPECT_EQ(Reported().size(), type == 8.0 ? 1u : 0u) << type;
    }
}

TEST_F(BiquadDesignerTest, AllFiltersOffZeroEverySlot)
{
    const Filter f[3] = {{0, 1, 100, 0, 0.7, 0}, {-0.0, 2, 100, 0, 2, 1}, {0, 0, 10, 0, 1, 2}};
    auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f));
    BiquadDesigner().ComputeAllFilters(setup.get());
    for (int s = 1; s <= 3; ++s) EXPECT_EQ(Slot(setup.get(), s), std::vector<double>(6, 0.0)) << s;
    EXPECT_EQ(Counts(setup.get()), std::vector<double>({0, 0, 0}));
}

TEST_F(BiquadDesignerTest, SlotsFilledByLocationThenFilterNumber)
{
    const double tsS = 500e-6;
    const Filter a{1, 1, 800, 0, 0.707, 2};  // Speed Feedback
    const Filter b{1, 2, 350, 0, 2, 0};      // Position Controller Output
    const Filter c{0.5, 0, 40, 0, 1, 1.9};   // Speed Controller Output (truncated), on
    const Filter d{1, 0, 40, 0, 1, 3};       // nowhere
    const Filter e{1, 3, 60, 0, 0.5, 1};

    struct Case {
        Filter f[3];
        std::vector<int> slots;  // filter number per used slot
        std::vector<double> counts;
    };
    const Case cases[] = {
        {{a, b, kOff}, {2, 1}, {1, 0, 1}},
        {{a, b, c}, {2, 3, 1}, {1, 1, 1}},
        {{e, c, b}, {3, 1, 2}, {1, 2, 0}},
        {{d, e, kOff}, {2}, {0, 1, 0}},
        {{a, d, a}, {1, 3}, {0, 0, 2}},
    };
    for (const Case& k : cases) {
        auto setup = zektest::SetupFromJson(FilterDoc(tsS, k.f));
        BiquadDesigner().ComputeAllFilters(setup.get());
        int slot = 1;
        for (int n : k.slots) EXPECT_EQ(Slot(setup.get(), slot++), Alone(tsS, k.f, n)) << "slot " << slot - 1;
        for (; slot <= 3; ++slot) EXPECT_EQ(Slot(setup.get(), slot), std::vector<double>(6, 0.0)) << "slot " << slot;
        EXPECT_EQ(Counts(setup.get()), k.counts);
    }
}

// The sample drive: a 800 Hz low pass on the speed feedback and a 350 Hz notch on the speed controller output.
TEST_F(BiquadDesignerTest, SampleDriveFilters)
{
    const Filter f[3] = {{1, 1, 800, 1000, 0.707, 2}, {1, 2, 350, 1000, 2, 1}, {0, 0, 100, 1000, 0.707, 0}};
    auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f));
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Slot(setup.get(), 1), std::vector<double>({1756271342, -1594661008, 1756271342, -1594661008, 1365059036, 1}));
    EXPECT_EQ(Slot(setup.get(), 2), std::vector<double>({686032112, 1372064225, 686032113, 1227211551, 443175075, 2}));
    EXPECT_EQ(Slot(setup.get(), 3), std::vector<double>(6, 0.0));
    EXPECT_EQ(Counts(setup.get()), std::vector<double>({0, 1, 1}));
}

TEST_F(BiquadDesignerTest, NotANumberSwitchCountsAsOn)
{
    const Filter f[3] = {kOff, kOff, {1, 0, 40, 0, 1, 1}};
    auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f));
    setup->SetParameterValueInBaseUnit("BQFilter3", NAN);
    BiquadDesigner().ComputeAllFilters(setup.get());
    EXPECT_EQ(Counts(setup.get()), std::vector<double>({0, 1, 0}));
}

class RecordingLink : public rurorade::DriveLink {
public:
    std::vector<std::pair<std::string, double>> writes;
    bool WriteParameter(const CMC_Parameter& p) override
    {
        writes.emplace_back(p.GetName(), p.GetValueInBaseUnit());
        return true;
    }
    bool ReadVariable(CMC_Variable&) override { return false; }
    bool WriteVariable(const CMC_Variable&) override { return false; }
    bool SetUserVariable(const std::string&, const std::string&, double) override { return false; }
    bool GetUserVariable(const std::string&, const std::string&, double&) override { return false; }
    bool StartProgram(const std::string&, const std::string&, const rurorade::LoggerRequest*) override { return false; }
    bool GetAxisOn(bool&) override { return false; }
    bool UploadLog(std::vector<std::vector<double>>&) override { return false; }
    bool ExecuteString(const std::string&) override { return false; }
    std::string GetLastErrorText() const override { return "offline"; }
};

TEST_F(BiquadDesignerTest, WritesCountsThenSlotsSkippingMissingRegisters)
{
    const Filter f[3] = {{1, 1, 100, 0, 0.7071, 1}, kOff, kOff};
    auto setup = zektest::SetupFromJson(FilterDoc(500e-6, f, {"IQREF_BQ_INI", "BQ2A1"}));
    setup->SetParameterValueInBaseUnit("BQ1B1", 1234);
    RecordingLink link;
    setup->SetDriveLink(&link);
    rurorade::ErrorSink().Clear();
    BiquadDesigner().WriteFiltersToDrive(setup.get());

    std::vector<std::string> expected{"SPDREF_BQ_INI", "ASPD_BQ_INI"};
    for (int s = 1; s <= 3; ++s)
        for (const char* r : kSlotSuffixes)
            if (!(s == 2 && std::string(r) == "A1")) expected.push_back("BQ" + std::to_string(s) + r);
    std::vector<std::string> written;
    for (const auto& w : link.writes) written.push_back(w.first);
    EXPECT_EQ(written, expected);
    EXPECT_EQ(link.writes[3].second, 1234);
    EXPECT_EQ(Reported().size(), 2u);
}

}  // namespace
