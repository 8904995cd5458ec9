#include "engine/derived_quantities.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/unit_scaling.h"
#include "zekmod/engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

// One parameter entry; every range starts at [-1000, 1000] so untouched ranges are visible.
std::string P(const std::string& name, double value, const std::string& unit = "")
{
    char number[64];
    std::snprintf(number, sizeof number, "%.17g", value);
    return ",\"" + name + "\":{\"value\":" + number + ",\"unit\":\"" + unit + "\",\"min\":-1000,\"max\":1000}";
}

bool WasReported(const std::vector<std::string>& reported, const std::string& name)
{
    return std::any_of(reported.begin(), reported.end(), [&](const std::string& r) { return r.find("\"" + name + "\"") != std::string::npos; });
}

struct Range {
    double min, max;
};
constexpr Range kUntouched{-1000, 1000};

struct ParameterState {
    double value, min, max;
    bool operator==(const ParameterState&) const = default;
};

std::map<std::string, ParameterState> StateOf(const CMC_Setup& s)
{
    std::map<std::string, ParameterState> state;
    for (const auto& p : s.Parameters()) state[p->GetName()] = {p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()};
    return state;
}

// The sample drive: a 1 ms speed loop (Ts_S 1e-3 s from SLPER 20) and 10000 counts per revolution,
// through a 0.2*pi transmission: 1000 counts per radian and 1 count per rad/s per speed period.
const std::string kDrive = R"("DSP_freq":{"value":60000000,"unit":"MHz"},"PWMPER":{"value":1500},"SLPER":{"value":20},)"
                           R"("MECRESL":{"value":10000},"No_encoder_lines":{"value":2500},"ImaxPS":{"value":20,"unit":"A"})";

// Every parameter the range rules read or write.
const struct {
    const char* name;
    double value;
    const char* unit;
} kParams[] = {
    {"Load_transmission", 1, "rot"}, {"Motor_transmission", 0.2 * kPi, ""}, {"ERR_speed", 1, ""}, {"ERR_position", 1, ""},
    {"time_ERR_spd", 1, "s"}, {"time_ERR_pos", 1, "s"}, {"PB_C", 2000, "Hz"}, {"PB_C_minim", 100, "Hz"}, {"PB_C_maxim", 5000, "Hz"},
    {"PB_S", 200, "Hz"}, {"PB_S_minim", 10, "Hz"}, {"PB_S_maxim", 1000, "Hz"}, {"PB_P", 20, "Hz"}, {"PB_P_minim", 1, "Hz"},
    {"PB_P_maxim", 200, "Hz"}, {"TPP", 0.1, "s"}, {"TNP", 0.1, "s"}, {"TaPP", 0.1, "s"}, {"TaNP", 0.05, "s"}, {"TPS", 0.1, "s"},
    {"TNS", 0.1, "s"}, {"TaPS", 0.1, "s"}, {"TaNS", 0.1, "s"}, {"TestPosition", 1, "rot"}, {"TestSpeed", 10, "rpm"},
    {"Limit_Speed", 100, "rad/s"}, {"MAX_CURRENT", 1, "A"}, {"In", 5, "A"}, {"InPS", 3, "A"}, {"KPTHT", 100, ""},
    {"CADIN", 0, ""}, {"filter", 50, "Hz"}, {"AnalogueInputsRange", 10, "V"}, {"DeadBand_Point", 1, "V"},
    {"DeadBand_Range", 0.5, "V"}, {"POS_max", 5, "rot"}, {"POS_min", -3, "rot"}, {"SPD_max", 50, "rpm"}, {"SPD_min", -40, "rpm"},
    {"CRT_max", 8, "A"}, {"CRT_min", -6, "A"}, {"ImaxM", 15, "A"}, {"IQREF_BQ_INI", 0, ""}, {"BQFilterF11", 100, "Hz"},
    {"BQFilterF21", 200, "Hz"}, {"BQFilterF12", 100, "Hz"}, {"BQFilterF22", 200, "Hz"}, {"BQFilterF13", 100, "Hz"},
    {"BQFilterF23", 200, "Hz"},
};

// The ranges computed for the sample; every other range stays untouched.
const std::map<std::string, Range> kSampleRanges = {
    {"ERR_speed", {-1000, 32767}}, {"ERR_position", {-1000, 32.767}},  // only the maximum is set
    {"time_ERR_spd", {-1000, 32.767}}, {"time_ERR_pos", {-1000, 32.767}},  // 32767 speed periods
    {"PB_C", {100, 5000}}, {"PB_S", {10, 1000}}, {"PB_P", {1, 200}},  // the companions' values
    {"TPP", {0.001, 65.535}}, {"TNP", {0.001, 65.535}}, {"TaPP", {0.002, 65.535}}, {"TaNP", {0.002, 65.535}},
    {"TPS", {0.001, 65.535}}, {"TNS", {0.001, 65.535}}, {"TaPS", {0.001, 65.535}}, {"TaNS", {0.001, 65.535}},
    {"TestPosition", {-1638.35, 1638.35}},  // within the shorter acceleration time, TaNP
    {"TestSpeed", {-100, 100}}, {"MAX_CURRENT", {0, 3}}, {"filter", {-1000, 500}},
    {"DeadBand_Point", {0, 3.3}}, {"DeadBand_Range", {0, 1}},  // min(1 - 0, 3.3 - 1)
    {"POS_max", {-3, 32.767}}, {"POS_min", {-32.767, 5}}, {"SPD_max", {-40, 100}}, {"SPD_min", {-100, 50}},
    {"CRT_max", {-6, 15}}, {"CRT_min", {-15, 8}}, {"BQFilterF11", {-1000, 500}}, {"BQFilterF21", {-1000, 500}},
    {"BQFilterF12", {-1000, 500}}, {"BQFilterF22", {-1000, 500}}, {"BQFilterF13", {-1000, 500}}, {"BQFilterF23", {-1000, 500}},
};

struct Variant {
    std::vector<std::pair<std::string, double>> set = {};  // new values; NaN leaves the parameter out
    std::map<std::string, Range> ranges = {};               // expected other than the sample's
    std::vector<std::string> untouched = {};
    std::vector<std::string> reported = {};  // the missing names, once per report
    std::string variables = R"("CADIN":{})";  // with a CADIN parameter: the analogue reference input
    std::string options = R"("NewDeadBand":"0")";
};

std::unique_ptr<CMC_Setup> Sample(const Variant& v)
{
    std::string params = kDrive;
    for (auto p : kParams) {
        for (const auto& [name, value] : v.set)
            if (name == p.name) p.value = value;
        if (!std::isnan(p.value)) params += P(p.name, p.value, p.unit);
    }
    return SetupFromJson(Doc(params, v.variables, v.options));
}

class DerivedLimits : public zektest::EngineTest {};
class DerivedOptions : public zektest::EngineTest {};
class DerivedUnits : public zektest::EngineTest {};

// Each variant runs ComputeParameterLimits on the sample: the ranges come out as expected, values are
// never changed, missing names are reported, and running twice equals once.
TEST_F(DerivedLimits, VariantsOfTheSample)
{
    const std::vector<std::string> analogue = {"filter",  "DeadBand_Point", "DeadBand_Range", "POS_max", "POS_min",
                                               "SPD_max", "SPD_min",        "CRT_max",        "CRT_min"};
    const Variant variants[] = {
        {},
        {.set = {{"Motor_transmission", -0.2 * kPi}}},  // the scales count as magnitudes
        // Limit_Speed beyond the speed word; a motor stronger than the drive's 20 A (under 32767 / CS = 20.004 A).
        {.set = {{"Limit_Speed", 1e6}, {"ImaxM", 25}},
         .ranges = {{"TestSpeed", {-32767, 32767}}, {"SPD_max", {-40, 32767}}, {"SPD_min", {-32767, 50}},
                    {"CRT_max", {-6, 20}}, {"CRT_min", {-20, 8}}}},
        {.set = {{"POS_min", 33.767}}, .ranges = {{"POS_max", {33.767, 32.767}}}},  // inverted, written as computed
        // The point's range follows the input range (+-10 V, 0..5 V, else 0..3.3 V) just set; the old dead
        // band is symmetric around the point inside it, the new one (option "1" only) spans it.
        {.set = {{"AnalogueInputsRange", 5}, {"DeadBand_Point", 4}}, .ranges = {{"DeadBand_Point", {0, 5}}, {"DeadBand_Range", {0, 1}}}},
        {.set = {{"AnalogueInputsRange", 19.99}}},
        {.set = {{"AnalogueInputsRange", 5.01}}},
        {.ranges = {{"DeadBand_Range", {0, 3.3}}}, .options = R"("NewDeadBand":"1")"},
        {.set = {{"AnalogueInputsRange", 20}, {"DeadBand_Point", 2}},
         .ranges = {{"DeadBand_Point", {-10, 10}}, {"DeadBand_Range", {0, 20}}},
         .options = R"("NewDeadBand":"1")"},
        {.set = {{"AnalogueInputsRange", 20}, {"DeadBand_Point", 2}},
         .ranges = {{"DeadBand_Point", {-10, 10}}, {"DeadBand_Range", {0, 8}}},
         .options = R"("NewDeadBand":"2")"},
        // Without their feature rules do nothing, and the probes are quiet.
        {.set = {{"KPTHT", NAN}}, .untouched = {"MAX_CURRENT"}},
        {.set = {{"IQREF_BQ_INI", NAN}},
         .untouched = {"BQFilterF11", "BQFilterF21", "BQFilterF12", "BQFilterF22", "BQFilterF13", "BQFilterF23"}},
        {.set = {{"CADIN", NAN}}, .untouched = analogue},
        {.untouched = analogue, .variables = ""},
        // A missing parameter skips only the rows that read it, each reporting it.
        {.set = {{"PB_S_maxim", NAN}}, .untouched = {"PB_S"}, .reported = {"PB_S_maxim"}},
        {.set = {{"TaPP", NAN}}, .untouched = {"TestPosition"}, .reported = {"TaPP", "TaPP"}},
        {.set = {{"DeadBand_Point", NAN}}, .untouched = {"DeadBand_Range"}, .reported = {"DeadBand_Point", "DeadBand_Point"}},
        {.set = {{"BQFilterF13", NAN}}, .reported = {"BQFilterF13"}},
    };
    for (std::size_t i = 0; i < std::size(variants); ++i) {
        const Variant& v = variants[i];
        SCOPED_TRACE("variant " + std::to_string(i));
        auto s = Sample(v);
        rurorade::ErrorSink().Clear();
        const auto before = StateOf(*s);
        ComputeParameterLimits(s.get());
        const auto once = StateOf(*s);
        auto expected = kSampleRanges;
        for (const auto& [name, range] : v.ranges) expected[name] = range;
        for (const auto& name : v.untouched) expected[name] = kUntouched;
        for (const auto& [name, state] : once) {
            if (!expected.count(name) && state.min == -HUGE_VAL) continue;  // the drive's own, without a range
            const Range want = expected.count(name) ? expected[name] : kUntouched;
            EXPECT_NEAR(state.min, want.min, 1e-12 * std::max(1.0, std::fabs(want.min))) << name;
            EXPECT_NEAR(state.max, want.max, 1e-12 * std::max(1.0, std::fabs(want.max))) << name;
            EXPECT_EQ(state.value, before.at(name).value) << name;
        }
        EXPECT_EQ(Reported().size(), v.reported.size());
        for (const auto& name : v.reported) EXPECT_TRUE(WasReported(Reported(), name)) << name;
        ComputeParameterLimits(s.get());
        EXPECT_EQ(StateOf(*s), once);
    }
}

TEST_F(DerivedLimits, ASingleRuleTouchesOnlyItsParameter)
{
    auto s = Sample({});
    auto expected = StateOf(*s);
    expected["SPD_min"].min = -100;
    expected["SPD_min"].max = 50;
    limits::SPD_min(s.get());
    EXPECT_TRUE(StateOf(*s) == expected);
}

std::vector<std::string> Options(const CMC_Setup& s, std::initializer_list<const char*> names)
{
    std::vector<std::string> values;
    for (const char* n : names) values.push_back(s.GetOptionNoError(n));
    return values;
}

// PositionControlType is read only in position control (NaN: left out, reported when read).
TEST_F(DerivedOptions, ClosedLoopsFollowControlMode)
{
    const struct {
        double controlMode, positionControlType;
        int result;
        std::vector<std::string> closed;  // position, speed, current; "x" = left as it was
    } cases[] = {
        {0, 0, 1, {"1", "0", "1"}},   {0.7, 0, 1, {"1", "0", "1"}}, {0, 1, 1, {"1", "1", "1"}}, {0, 1.9, 1, {"1", "1", "1"}},
        {0, 2, 0, {"x", "x", "x"}},   {0, -1, 0, {"x", "x", "x"}},  {1, 7, 1, {"0", "1", "1"}}, {2, 0, 1, {"0", "0", "1"}},
        {2.5, 0, 1, {"0", "0", "1"}}, {3, 0, 0, {"x", "x", "x"}},   {-1, 0, 0, {"x", "x", "x"}}, {1, NAN, 1, {"0", "1", "1"}},
        {0, NAN, 0, {"x", "x", "x"}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::to_string(c.controlMode) + "/" + std::to_string(c.positionControlType));
        rurorade::ErrorSink().Clear();
        const std::string pct = std::isnan(c.positionControlType) ? "" : P("PositionControlType", c.positionControlType);
        auto s = SetupFromJson(Doc(P("ControlMode", c.controlMode).substr(1) + pct, "",
                                   R"("IsClosedPosition":"x","IsClosedSpeed":"x","IsClosedCurrent":"x","IsStepMotor":"1","isIndex":"0")"));
        EXPECT_EQ(SetControlStructureOptions(s.get()), c.result);
        EXPECT_EQ(Options(*s, {"IsClosedPosition", "IsClosedSpeed", "IsClosedCurrent"}), c.closed);
        EXPECT_EQ(Options(*s, {"IsStepMotor", "IsStepperOpenLoop", "isPositionFeedbackOnLoad", "isPositionFeedbackOnMotor",
                               "isSpeedFeedback", "isIndex"}),
                  (std::vector<std::string>{"0", "0", "0", "1", "0", "1"}));
        const bool readsMissing = pct.empty() && c.controlMode == 0;
        EXPECT_EQ(Reported().size(), readsMissing ? 1u : 0u);
        EXPECT_EQ(WasReported(Reported(), "PositionControlType"), readsMissing);
    }
}

// Load-side parameters and variables by unit family: position, speed in rpm, speed in rad/s, acceleration, jerk.
const std::vector<std::string> kParameterFamilies[5] = {
    {"Load_transmission", "TestPosition", "ERR_position", "POS_max", "POS_min", "FreezeControl_errband", "Negative_SWLS",
     "Positive_SWLS"},
    {"TestSpeed", "SPD_max", "SPD_min", "ErefMaxSpeed"},
    {"Limit_Speed", "ERR_speed"},
    {"ErefMaxAcceleration"},
    {}};
const std::vector<std::string> kVariableFamilies[5] = {
    {"Load_Position", "Target_Position", "Position_Error", "Pulse_Dir_Input_Position", "APOS", "APOS_LD", "CAPPOS", "CPOS",
     "EREFP", "ERRMAX", "HOMEPOS", "POSERR", "POSINIT", "POSOKLIM", "POSTRIGG1", "POSTRIGG2", "POSTRIGG3", "POSTRIGG4", "TPOS",
     "TPOSFAST"},
    {"Load_Speed", "Target_Speed", "Speed_Reference", "Speed_Error", "Pulse_Dir_Input_Speed", "ASPD_LD", "CSPD", "EREFS",
     "HOMESPD", "SERRMAX", "SPDERR", "SPDREF", "TSPD"},
    {},
    {"CACC", "CDEC", "TACC"},
    {"JERK"}};
const char* const kRotary[5] = {"rot", "rpm", "rad/s", "rad/s^2", "rad/s^3"};
const char* const kLinear[5] = {"mm", "m/s", "m/s", "m/s^2", "m/s^3"};
// Switched only with their feature: the analogue reference input, freeze control, software limit switches.
const std::set<std::string> kGated = {"POS_max", "POS_min", "SPD_max", "SPD_min", "FreezeControl_errband", "Negative_SWLS",
                                      "Positive_SWLS"};

// Everything starts in rotary units.
std::string UnitsSetup(double transmissionType, bool features, const std::set<std::string>& without)
{
    std::string params = P("TransmissionType", transmissionType), variables;
    for (int k = 0; k < 5; ++k) {
        for (const std::string& n : kParameterFamilies[k])
            if (!without.count(n)) params += P(n, 1, kRotary[k]);
        for (const std::string& n : kVariableFamilies[k])
            if (!without.count(n)) variables += ",\"" + n + "\":{}";
    }
    if (features) {
        params += P("CADIN", 0) + P("POSOKLIM_FC", 0) + P("TONPOSOK_FC", 0) + P("isSWLS", 0);
        variables += R"(,"CADIN":{})";
    }
    return Doc(params.substr(1), variables.substr(1));
}

template <class T>
std::string_view UnitOf(const T* x)
{
    return x ? x->GetUnit().name : "missing";
}

// Rotary units for TransmissionType 0, linear otherwise; the gated ones only with their feature, and
// the feature probes are quiet. A missing one is reported and skipped. Base values are kept, and a
// second run changes nothing.
TEST_F(DerivedUnits, RotaryOnlyForTransmissionTypeZero)
{
    const struct {
        double type;
        bool features;
        std::set<std::string> missing = {};
    } cases[] = {{0, true}, {1, true}, {2, true}, {0.5, true}, {0, false}, {1, false}, {1, true, {"TestSpeed", "HOMEPOS"}}};
    for (const auto& c : cases) {
        SCOPED_TRACE("type " + std::to_string(c.type) + (c.features ? " with" : " without") + " the features");
        rurorade::ErrorSink().Clear();
        auto s = SetupFromJson(UnitsSetup(c.type, c.features, c.missing));
        EXPECT_EQ(ApplyTransmissionUnits(s.get()), 1);
        EXPECT_EQ(ApplyTransmissionUnits(s.get()), 1);
        EXPECT_EQ(Reported().size(), 2 * c.missing.size());
        for (const auto& n : c.missing) EXPECT_TRUE(WasReported(Reported(), n)) << n;
        EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("TestPosition"), 1);
        const char* const* units = c.type == 0 ? kRotary : kLinear;
        for (int k = 0; k < 5; ++k) {
            for (const std::string& n : kParameterFamilies[k])
                EXPECT_EQ(UnitOf(s->FindParameter(n.c_str())),
                          c.missing.count(n) ? "missing" : c.features || !kGated.count(n) ? units[k] : kRotary[k])
                    << n;
            for (const std::string& n : kVariableFamilies[k])
                EXPECT_EQ(UnitOf(s->FindVariable(n.c_str())), c.missing.count(n) ? "missing" : units[k]) << n;
        }
    }
}

}  // namespace
