// Whole-engine properties on the sample setups: the samples are fixed points of encoding,
// decoding and ComputeAllOptions, and encoding then decoding gives back random engineering values.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>

#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"
#include "engine_fixture.h"

namespace {

using zektest::SampleSetup;

std::map<std::string, double> Values(const CMC_Setup& setup)
{
    std::map<std::string, double> values;
    for (const auto& p : setup.Parameters()) values[p->GetName()] = p->GetValueInBaseUnit();
    return values;
}

// Parameters whose value changes when one input changes and `operation` runs.
std::set<std::string> Written(CMC_Setup& setup, void (*operation)(CMC_Setup*))
{
    std::set<std::string> written;
    for (const auto& p : setup.Parameters()) {
        const double saved = p->GetValueInBaseUnit();
        p->SetValueInBaseUnit(std::nan(""));
        operation(&setup);
        if (!std::isnan(p->GetValueInBaseUnit())) written.insert(p->GetName());
        p->SetValueInBaseUnit(saved);
    }
    operation(&setup);
    return written;
}

bool Close(double a, double b)
{
    if (a == b) return true;
    return std::fabs(a - b) <= 1e-12 * std::max(std::fabs(a), std::fabs(b));
}

class SampleSetups : public zektest::EngineTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SampleSetups, AreFixedPointsOfEncodeDecodeAndComputeAllOptions)
{
    auto setup = SampleSetup(GetParam());
    const std::string original = rurorade::SaveSetupText(*setup);
    EncodeRegisters(setup.get());
    EXPECT_EQ(rurorade::SaveSetupText(*setup), original) << "encoding changed a register";
    DecodeRegisters(setup.get());
    EXPECT_EQ(rurorade::SaveSetupText(*setup), original) << "decoding changed an engineering value or range";
    ComputeAllOptions(setup.get());
    EncodeRegisters(setup.get());
    EXPECT_EQ(rurorade::SaveSetupText(*setup), original) << "compute then encode is not stable";
    EXPECT_TRUE(Reported().empty()) << Reported().front();
}

// Engineering parameters that do not come back by design: the overvoltage level is stored
// truncated to converter counts, the test current is reset on every decoding, and the loop
// periods follow the PWM time base registers (other registers are encoded from them).
const std::set<std::string> kNotRoundTripping = {"UMAX_PROT", "TestCurrent", "Ts_S", "Ts_C"};

TEST_P(SampleSetups, EncodeThenDecodeGivesBackRandomEngineeringValues)
{
    auto setup = SampleSetup(GetParam());
    const std::set<std::string> decoded = Written(*setup, DecodeRegisters);
    // Keep what decoding writes and encoding reads; selectors and flags stay as in the sample
    // (their bit layouts have tests of their own), counts that the drive truncates too.
    std::vector<CMC_Parameter*> continuous;
    for (const auto& p : setup->Parameters()) {
        const std::string& name = p->GetName();
        if (!decoded.count(name) || kNotRoundTripping.count(name)) continue;
        const double saved = p->GetValueInBaseUnit();
        p->SetValueInBaseUnit(saved * 1.37 + 0.11);
        const auto before = Values(*setup);
        EncodeRegisters(setup.get());
        const bool encoded = Values(*setup) != before;
        p->SetValueInBaseUnit(saved);
        EncodeRegisters(setup.get());
        const double min = p->GetMinInBaseUnit(), max = p->GetMaxInBaseUnit();
        const bool wholeNumbers = saved == std::trunc(saved) && min == std::trunc(min) && max == std::trunc(max);
        if (encoded && !(wholeNumbers && (max - min <= 16 || name == "No_encoder_lines" || name == "pp")))
            continuous.push_back(p.get());
    }
    ASSERT_GT(continuous.size(), 25u);

    // The PWM frequency sets the period that the time registers are encoded with (through the
    // decoded Ts_S), so it varies in trials of its own.
    const std::set<std::string> timeBase = {"PWM_freq"};

    std::mt19937_64 random(20261206);
    const auto sample = Values(*setup);
    for (int trial = 0; trial < 60; ++trial) {
        for (const auto& [name, value] : sample) setup->FindParameter(name.c_str())->SetValueInBaseUnit(value);
        std::map<std::string, double> chosen;
        for (CMC_Parameter* p : continuous) {
            if ((timeBase.count(p->GetName()) != 0) != (trial % 4 == 3) || random() % 3 != 0) continue;
            double lo = p->GetMinInBaseUnit(), hi = p->GetMaxInBaseUnit();
            const double v0 = p->GetValueInBaseUnit();
            if (!std::isfinite(lo) || !std::isfinite(hi) || hi - lo > 1e6 * std::max(1.0, std::fabs(v0))) {
                lo = v0 * 0.5;
                hi = v0 * 1.5;
            }
            const double v = std::uniform_real_distribution<double>(std::min(lo, hi), std::max(lo, hi))(random);
            p->SetValueInBaseUnit(v);
            chosen[p->GetName()] = v;
        }
        EncodeRegisters(setup.get());
        DecodeRegisters(setup.get());
        for (const auto& [name, v] : chosen) {
            const double back = setup->GetParameterValueInBaseUnit(name.c_str());
            EXPECT_TRUE(Close(back, v)) << GetParam() << " trial " << trial << ": " << name << " " << v << " came back as " << back;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Engine, SampleSetups, ::testing::Values("default.json", "full.json"));

TEST(ComputeAllOptionsExport, IgnoresANullSetup) { ComputeAllOptions(nullptr); }

}  // namespace
