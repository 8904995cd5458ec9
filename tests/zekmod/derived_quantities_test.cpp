#include "engine/derived_quantities.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/unit_scaling.h"
#include "zekmod/engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

std::string Num(double v)
{
    char text[64];
    std::snprintf(text, sizeof text, "%.17g", v);
    return text;
}

// One parameter entry; every range starts at [-1000, 1000] so untouched ranges are visible.
std::string P(const std::string& name, double value, const std::string& unit = "")
{
    return ",\"" + name + "\":{\"value\":" + Num(value) + ",\"unit\":\"" + unit + "\",\"min\":-1000,\"max\":1000}";
}

// Sample drive with a 1 ms speed loop (SLPER 20): Ts_S 1e-3 s, 10000 counts per revolution.
std::string Drive(double motorTransmission = 1)
{
    return R"("DSP_freq":{"value":60000000,"unit":"MHz"},"PWMPER":{"value":1500},"SLPER":{"value":20},)"
           R"("MECRESL":{"value":10000},"No_encoder_lines":{"value":2500},"ImaxPS":{"value":20,"unit":"A"},)"
           R"("Load_transmission":{"value":1,"unit":"rot"},"Motor_transmission":{"value":)" +
           Num(motorTransmission) + "}";
}

// The analogue reference input is recognised by a parameter and a variable both named CADIN.
const std::string kCadinParameter = P("CADIN", 0);
const std::string kCadinVariable = R"("CADIN":{})";

struct Range {
    double min;
    double max;
};

Range RangeOf(CMC_Setup& s, const char* name)
{
    CMC_Parameter* p = s.FindParameter(name);
    EXPECT_NE(p, nullptr) << name;
    return p ? Range{p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()} : Range{NAN, NAN};
}

#define EXPECT_RANGE(setup, name, lo, hi)                          \
    do {                                                           \
        const Range r_ = RangeOf(setup, name);                     \
        EXPECT_DOUBLE_EQ(r_.min, (lo)) << name << " minimum";      \
        EXPECT_DOUBLE_EQ(r_.max, (hi)) << name << " maximum";      \
    } while (0)

#define EXPECT_UNTOUCHED(setup, name) EXPECT_RANGE(setup, name, -1000, 1000)

bool WasReported(const std::vector<std::string>& reported, const std::string& name)
{
    for (const std::string& r : reported)
        if (r.find("\"" + name + "\"") != std::string::npos) return true;
    return false;
}

std::string UnitOf(CMC_Setup& s, const char* name) { return std::string(s.FindParameter(name)->GetUnit().name); }

class DerivedLimits : public zektest::EngineTest {};
class DerivedOptions : public zektest::EngineTest {};
class DerivedUnits : public zektest::EngineTest {};

constexpr double kTs = 1e-3;
// Counts per radian and counts per (rad/s) per speed period for a 1:1 transmission.
const double kLps = 10000 / (2 * kPi);
const double kLss = kTs * 10000 / (2 * kPi);

TEST_F(DerivedLimits, ScaleRowsSetOnlyTheMaximumAndUseMagnitudes)
{
    // A negative transmission must still give positive maxima.
    for (double transmission : {1.0, -1.0}) {
        auto s = SetupFromJson(Doc(Drive(transmission) + P("ERR_speed", 1) + P("ERR_position", 1) +
                                   P("time_ERR_spd", 1, "s") + P("time_ERR_pos", 1, "s") + P("filter", 50, "Hz") +
                                   kCadinParameter,
                                   kCadinVariable));
        ComputeParameterLimits(s.get());
        EXPECT_RANGE(*s, "ERR_speed", -1000, 32767 / kLss);
        EXPECT_RANGE(*s, "ERR_position", -1000, 32767 / kLps);
        EXPECT_RANGE(*s, "time_ERR_spd", -1000, 32767 * kTs);
        EXPECT_RANGE(*s, "time_ERR_pos", -1000, 32767 * kTs);
        EXPECT_RANGE(*s, "filter", -1000, 500);
    }
}

TEST_F(DerivedLimits, MotionTimesStartAtOneOrTwoSpeedPeriods)
{
    const char* single[] = {"TPP", "TNP", "TPS", "TNS", "TaPS", "TaNS"};
    const char* twice[] = {"TaPP", "TaNP"};
    std::string params = Drive();
    for (const char* n : single) params += P(n, 0.1, "s");
    for (const char* n : twice) params += P(n, 0.1, "s");
    auto s = SetupFromJson(Doc(params));
    ComputeParameterLimits(s.get());
    for (const char* n : single) EXPECT_RANGE(*s, n, kTs, 65535 * kTs);
    for (const char* n : twice) EXPECT_RANGE(*s, n, 2 * kTs, 65535 * kTs);
}

TEST_F(DerivedLimits, BandwidthsFollowTheirCompanionValues)
{
    auto s = SetupFromJson(Doc(Drive() + P("PB_C", 2000, "Hz") + P("PB_C_minim", 100, "Hz") +
                               P("PB_C_maxim", 5000, "Hz") + P("PB_S", 200, "Hz") + P("PB_S_minim", 10, "Hz") +
                               P("PB_P", 20, "Hz") + P("PB_P_minim", 1, "Hz") + P("PB_P_maxim", 200, "Hz")));
    ComputeParameterLimits(s.get());
    EXPECT_RANGE(*s, "PB_C", 100, 5000);
    EXPECT_UNTOUCHED(*s, "PB_S");  // PB_S_maxim is missing
    EXPECT_RANGE(*s, "PB_P", 1, 200);
    EXPECT_TRUE(WasReported(Reported(), "PB_S_maxim"));
}

TEST_F(DerivedLimits, TestPositionUsesTheShorterAccelerationTime)
{
    // abs(LPS) of 1000 counts per radian: 10000 counts per revolution through a 0.2*pi transmission.
    auto s = SetupFromJson(Doc(Drive(2 * kPi * 1000 / 10000) + P("TestPosition", 1, "rot") + P("TaPP", 0.1, "s") +
                               P("TaNP", 0.05, "s")));
    ComputeParameterLimits(s.get());
    const Range r = RangeOf(*s, "TestPosition");
    EXPECT_NEAR(r.min, -1638.35, 1e-9);
    EXPECT_NEAR(r.max, 1638.35, 1e-9);
}

TEST_F(DerivedLimits, TestSpeedIsTheSmallerOfScaleAndLimitSpeed)
{
    const double scaleLimit = 32767 / kLss;
    for (double limitSpeed : {100.0, 1e6}) {
        auto s = SetupFromJson(Doc(Drive() + P("TestSpeed", 10, "rpm") + P("Limit_Speed", limitSpeed, "rad/s")));
        ComputeParameterLimits(s.get());
        const double m = std::min(scaleLimit, limitSpeed);
        EXPECT_RANGE(*s, "TestSpeed", -m, m);
    }
}

TEST_F(DerivedLimits, MaxCurrentOnlyWithAngleController)
{
    const std::string params = Drive() + P("MAX_CURRENT", 1, "A") + P("In", 5, "A") + P("InPS", 3, "A");
    auto with = SetupFromJson(Doc(params + P("KPTHT", 100)));
    ComputeParameterLimits(with.get());
    EXPECT_RANGE(*with, "MAX_CURRENT", 0, 3);

    auto without = SetupFromJson(Doc(params));
    ComputeParameterLimits(without.get());
    EXPECT_UNTOUCHED(*without, "MAX_CURRENT");
    EXPECT_FALSE(WasReported(Reported(), "KPTHT"));  // the probe is quiet
}

TEST_F(DerivedLimits, AnalogueRowsNeedBothCadinParameterAndVariable)
{
    const std::string params = Drive() + P("filter", 50, "Hz") + P("POS_max", 1) + P("POS_min", -1);
    for (bool withVariable : {false, true}) {
        auto s = SetupFromJson(Doc(params + (withVariable ? "" : kCadinParameter), withVariable ? kCadinVariable : ""));
        ComputeParameterLimits(s.get());
        EXPECT_UNTOUCHED(*s, "filter");
        EXPECT_UNTOUCHED(*s, "POS_max");
    }
    EXPECT_FALSE(WasReported(Reported(), "CADIN"));
}

TEST_F(DerivedLimits, DeadBandPointRangeFollowsInputRange)
{
    struct Case {
        double inputRange;
        Range expected;
    } cases[] = {{20, {-10, 10}}, {5, {0, 5}}, {10, {0, 3.3}}, {19.99, {0, 3.3}}, {5.01, {0, 3.3}}};
    for (const Case& c : cases) {
        auto s = SetupFromJson(Doc(Drive() + P("AnalogueInputsRange", c.inputRange, "V") + P("DeadBand_Point", 0, "V") +
                                       kCadinParameter,
                                   kCadinVariable));
        SCOPED_TRACE(c.inputRange);
        limits::DeadBand_Point(s.get());
        EXPECT_RANGE(*s, "DeadBand_Point", c.expected.min, c.expected.max);
    }
}

TEST_F(DerivedLimits, DeadBandRangeReadsThePointRangeJustSet)
{
    struct Case {
        double inputRange;
        double point;
        const char* newDeadBand;
        double expectedMax;
    } cases[] = {
        {10, 1.0, "0", 1.0},   // min(1 - 0, 3.3 - 1)
        {10, 1.0, "1", 3.3},   // full width of [0, 3.3]
        {5, 4.0, "0", 1.0},    // min(4 - 0, 5 - 4) with the [0, 5] just set
        {20, 2.0, "1", 20.0},  // [-10, 10]
        {20, 2.0, "2", 8.0},   // only "1" selects the new dead band
    };
    for (const Case& c : cases) {
        // The point starts with a range the rows must not read.
        auto s = SetupFromJson(Doc(Drive() + P("AnalogueInputsRange", c.inputRange, "V") +
                                       P("DeadBand_Point", c.point, "V") + P("DeadBand_Range", 0.5, "V") + kCadinParameter,
                                   kCadinVariable, std::string(R"("NewDeadBand":")") + c.newDeadBand + "\""));
        SCOPED_TRACE(std::to_string(c.inputRange) + " " + std::to_string(c.point) + " " + c.newDeadBand);
        ComputeParameterLimits(s.get());
        EXPECT_RANGE(*s, "DeadBand_Range", 0, c.expectedMax);
        EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("DeadBand_Range"), 0.5);
    }
}

TEST_F(DerivedLimits, DeadBandRangeSkippedWithoutPoint)
{
    auto s = SetupFromJson(Doc(Drive() + P("AnalogueInputsRange", 10, "V") + P("DeadBand_Range", 0.5, "V") + kCadinParameter,
                               kCadinVariable));
    ComputeParameterLimits(s.get());
    EXPECT_UNTOUCHED(*s, "DeadBand_Range");
    EXPECT_TRUE(WasReported(Reported(), "DeadBand_Point"));
}

// Reference ranges: partner's value on the inner side, the scale or physical limit outside.
std::string ReferenceParams(double posMin, double limitSpeed, double imaxM)
{
    return Drive() + P("POS_max", 5, "rot") + P("POS_min", posMin, "rot") + P("SPD_max", 50, "rpm") +
           P("SPD_min", -40, "rpm") + P("Limit_Speed", limitSpeed, "rad/s") + P("CRT_max", 8, "A") +
           P("CRT_min", -6, "A") + P("ImaxM", imaxM, "A") + kCadinParameter;
}

TEST_F(DerivedLimits, ReferenceRangesUsePartnerValues)
{
    auto s = SetupFromJson(Doc(ReferenceParams(-3, 100, 15), kCadinVariable));
    ComputeParameterLimits(s.get());
    EXPECT_RANGE(*s, "POS_max", -3, 32767 / kLps);
    EXPECT_RANGE(*s, "POS_min", -32767 / kLps, 5);
    EXPECT_RANGE(*s, "SPD_max", -40, 100);
    EXPECT_RANGE(*s, "SPD_min", -100, 50);
    EXPECT_RANGE(*s, "CRT_max", -6, 15);
    EXPECT_RANGE(*s, "CRT_min", -15, 8);
    // Values are never changed here.
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("POS_max"), 5);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("CRT_min"), -6);
}

TEST_F(DerivedLimits, ReferenceRangesCappedByDriveScale)
{
    // Limit_Speed above the speed word and a motor stronger than the drive's measurable current.
    auto s = SetupFromJson(Doc(ReferenceParams(-3, 1e6, 25), kCadinVariable));
    ComputeParameterLimits(s.get());
    const double cs = 65520 / (2 * 20.0);
    EXPECT_RANGE(*s, "SPD_max", -40, 32767 / kLss);
    EXPECT_RANGE(*s, "SPD_min", -32767 / kLss, 50);
    EXPECT_RANGE(*s, "CRT_max", -6, 20);  // 20 A is below 32767 / CS = 20.004 A
    EXPECT_RANGE(*s, "CRT_min", -20, 8);
    EXPECT_GT(32767 / cs, 20);
}

TEST_F(DerivedLimits, InvertedRangeIsWrittenAsComputed)
{
    // POS_min's value lies above the largest position the drive can hold.
    const double tooFar = 32767 / kLps + 1;
    auto s = SetupFromJson(Doc(ReferenceParams(tooFar, 100, 15), kCadinVariable));
    limits::POS_max(s.get());
    EXPECT_RANGE(*s, "POS_max", tooFar, 32767 / kLps);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("POS_max"), 5);
}

TEST_F(DerivedLimits, SingleRulesTouchOnlyTheirParameter)
{
    auto s = SetupFromJson(Doc(ReferenceParams(-3, 100, 15), kCadinVariable));
    limits::SPD_min(s.get());
    EXPECT_RANGE(*s, "SPD_min", -100, 50);
    for (const char* other : {"POS_max", "POS_min", "SPD_max", "CRT_max", "CRT_min"}) EXPECT_UNTOUCHED(*s, other);
}

TEST_F(DerivedLimits, BiquadFrequenciesOnlyWithBiquadRegister)
{
    const char* names[] = {"BQFilterF11", "BQFilterF21", "BQFilterF12", "BQFilterF22", "BQFilterF13", "BQFilterF23"};
    std::string params = Drive();
    for (const char* n : names) params += P(n, 100, "Hz");

    auto without = SetupFromJson(Doc(params));
    ComputeParameterLimits(without.get());
    for (const char* n : names) EXPECT_UNTOUCHED(*without, n);
    EXPECT_FALSE(WasReported(Reported(), "IQREF_BQ_INI"));

    auto with = SetupFromJson(Doc(params + P("IQREF_BQ_INI", 0)));
    ComputeParameterLimits(with.get());
    for (const char* n : names) EXPECT_RANGE(*with, n, -1000, 500);
}

TEST_F(DerivedLimits, MissingBiquadFrequencyIsReportedAndSkipped)
{
    std::string params = Drive() + P("IQREF_BQ_INI", 0);
    for (const char* n : {"BQFilterF11", "BQFilterF21", "BQFilterF12", "BQFilterF22", "BQFilterF23"}) params += P(n, 100, "Hz");
    auto s = SetupFromJson(Doc(params));
    ComputeParameterLimits(s.get());
    EXPECT_TRUE(WasReported(Reported(), "BQFilterF13"));
    EXPECT_RANGE(*s, "BQFilterF23", -1000, 500);
}

// Every parameter of every row, for the sample drive.
std::string FullSetup()
{
    std::string params = ReferenceParams(-3, 100, 15) + P("ERR_speed", 1) + P("ERR_position", 1) +
                         P("time_ERR_spd", 1, "s") + P("time_ERR_pos", 1, "s") + P("PB_C", 2000, "Hz") +
                         P("PB_C_minim", 100, "Hz") + P("PB_C_maxim", 5000, "Hz") + P("PB_S", 200, "Hz") +
                         P("PB_S_minim", 10, "Hz") + P("PB_S_maxim", 1000, "Hz") + P("PB_P", 20, "Hz") +
                         P("PB_P_minim", 1, "Hz") + P("PB_P_maxim", 200, "Hz") + P("TestPosition", 1, "rot") +
                         P("TestSpeed", 10, "rpm") + P("MAX_CURRENT", 1, "A") + P("In", 5, "A") + P("InPS", 10, "A") +
                         P("KPTHT", 100) + P("filter", 50, "Hz") + P("AnalogueInputsRange", 10, "V") +
                         P("DeadBand_Point", 1, "V") + P("DeadBand_Range", 0.5, "V") + P("IQREF_BQ_INI", 0);
    for (const char* n : {"TPP", "TNP", "TaPP", "TaNP", "TPS", "TNS", "TaPS", "TaNS"}) params += P(n, 0.1, "s");
    for (int i = 1; i <= 3; ++i) params += P("BQFilterF1" + std::to_string(i), 100, "Hz") + P("BQFilterF2" + std::to_string(i), 200, "Hz");
    return Doc(params, kCadinVariable, R"("NewDeadBand":"0")");
}

struct ParameterState {
    double value, min, max;
    bool operator==(const ParameterState&) const = default;
};

std::vector<ParameterState> StateOf(const CMC_Setup& s)
{
    std::vector<ParameterState> state;
    for (const auto& p : s.Parameters()) state.push_back({p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()});
    return state;
}

TEST_F(DerivedLimits, RunningTwiceEqualsOnceAndKeepsValues)
{
    auto s = SetupFromJson(FullSetup());
    const auto before = StateOf(*s);
    ComputeParameterLimits(s.get());
    const auto once = StateOf(*s);
    ComputeParameterLimits(s.get());
    EXPECT_EQ(StateOf(*s), once);
    ASSERT_EQ(before.size(), once.size());
    for (std::size_t i = 0; i < once.size(); ++i) EXPECT_EQ(once[i].value, before[i].value);
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DerivedLimits, MissingParameterSkipsOnlyItsRows)
{
    // Without TaPP its own row and TestPosition's are skipped; everything else still runs.
    std::string doc = FullSetup();
    const std::string tapp = P("TaPP", 0.1, "s");
    doc.erase(doc.find(tapp), tapp.size());
    auto s = SetupFromJson(doc);
    ComputeParameterLimits(s.get());
    EXPECT_UNTOUCHED(*s, "TestPosition");
    EXPECT_RANGE(*s, "TaNP", 2 * kTs, 65535 * kTs);
    EXPECT_RANGE(*s, "TestSpeed", -100, 100);
    EXPECT_RANGE(*s, "CRT_min", -15, 8);
    EXPECT_RANGE(*s, "BQFilterF23", -1000, 500);
    ASSERT_EQ(Reported().size(), 2u);  // by TaPP's row and by TestPosition's
    EXPECT_TRUE(WasReported(Reported(), "TaPP"));
}

struct ModeCase {
    double controlMode;
    double positionControlType;
    int result;
    const char* closed[3];  // position, speed, current; "x" = left as it was
};

TEST_F(DerivedOptions, ClosedLoopsFollowControlMode)
{
    const ModeCase cases[] = {
        {0, 0, 1, {"1", "0", "1"}},   {0.7, 0, 1, {"1", "0", "1"}}, {0, 1, 1, {"1", "1", "1"}},
        {0, 1.9, 1, {"1", "1", "1"}}, {0, 2, 0, {"x", "x", "x"}},   {0, -1, 0, {"x", "x", "x"}},
        {1, 7, 1, {"0", "1", "1"}},   {2, 0, 1, {"0", "0", "1"}},   {2.5, 0, 1, {"0", "0", "1"}},
        {3, 0, 0, {"x", "x", "x"}},   {-1, 0, 0, {"x", "x", "x"}},
    };
    const char* fixed[][2] = {{"IsStepMotor", "0"},     {"IsStepperOpenLoop", "0"}, {"isPositionFeedbackOnLoad", "0"},
                              {"isPositionFeedbackOnMotor", "1"}, {"isSpeedFeedback", "0"}, {"isIndex", "1"}};
    for (const ModeCase& c : cases) {
        auto s = SetupFromJson(Doc(P("ControlMode", c.controlMode).substr(1) + P("PositionControlType", c.positionControlType), "",
                                   R"("IsClosedPosition":"x","IsClosedSpeed":"x","IsClosedCurrent":"x","IsStepMotor":"1","isIndex":"0")"));
        EXPECT_EQ(SetControlStructureOptions(s.get()), c.result) << c.controlMode << "/" << c.positionControlType;
        EXPECT_EQ(s->GetOptionNoError("IsClosedPosition"), c.closed[0]) << c.controlMode << "/" << c.positionControlType;
        EXPECT_EQ(s->GetOptionNoError("IsClosedSpeed"), c.closed[1]) << c.controlMode << "/" << c.positionControlType;
        EXPECT_EQ(s->GetOptionNoError("IsClosedCurrent"), c.closed[2]) << c.controlMode << "/" << c.positionControlType;
        for (const auto& f : fixed) EXPECT_EQ(s->GetOptionNoError(f[0]), f[1]) << f[0];
    }
}

TEST_F(DerivedOptions, PositionControlTypeReadOnlyForPositionControl)
{
    auto speed = SetupFromJson(Doc(P("ControlMode", 1).substr(1)));
    EXPECT_EQ(SetControlStructureOptions(speed.get()), 1);
    EXPECT_TRUE(Reported().empty());

    auto position = SetupFromJson(Doc(P("ControlMode", 0).substr(1)));
    EXPECT_EQ(SetControlStructureOptions(position.get()), 0);
    EXPECT_TRUE(WasReported(Reported(), "PositionControlType"));
    EXPECT_EQ(position->GetOptionNoError("IsClosedPosition"), "");
    EXPECT_EQ(position->GetOptionNoError("isIndex"), "1");
}

const char* kLoadVariables[] = {
    "Load_Position", "Load_Speed", "Target_Position", "Target_Speed", "Speed_Reference", "Position_Error",
    "Speed_Error", "Pulse_Dir_Input_Speed", "Pulse_Dir_Input_Position", "APOS", "APOS_LD", "ASPD_LD", "CACC",
    "CAPPOS", "CDEC", "CPOS", "CSPD", "EREFP", "EREFS", "ERRMAX", "HOMEPOS", "HOMESPD", "JERK", "POSERR",
    "POSINIT", "POSOKLIM", "POSTRIGG1", "POSTRIGG2", "POSTRIGG3", "POSTRIGG4", "SERRMAX", "SPDERR", "SPDREF",
    "TACC", "TPOS", "TPOSFAST", "TSPD"};

std::string UnitsSetup(double transmissionType, bool features, const char* skipVariable = "")
{
    std::string params = P("TransmissionType", transmissionType).substr(1) + P("Load_transmission", 1, "rot") +
                         P("TestSpeed", 1, "rpm") + P("Limit_Speed", 1, "rpm") + P("TestPosition", 1, "rot") +
                         P("ERR_position", 1, "rot") + P("ERR_speed", 1, "rpm") + P("POS_max", 1, "rot") +
                         P("POS_min", 1, "rot") + P("SPD_max", 1, "rpm") + P("SPD_min", 1, "rpm") +
                         P("ErefMaxSpeed", 1, "rpm") + P("ErefMaxAcceleration", 1, "rad/s^2") +
                         P("FreezeControl_errband", 1, "rot") + P("Negative_SWLS", 1, "rot") + P("Positive_SWLS", 1, "rot");
    std::string variables = R"("MER":{})";
    if (features) {
        params += kCadinParameter + P("POSOKLIM_FC", 0) + P("TONPOSOK_FC", 0) + P("isSWLS", 0);
        variables += "," + kCadinVariable;
    }
    for (const char* v : kLoadVariables)
        if (std::string(v) != skipVariable) variables += ",\"" + std::string(v) + "\":{}";
    return Doc(params, variables);
}

TEST_F(DerivedUnits, RotaryOrLinearFamilies)
{
    struct Case {
        double type;
        const char* position;
        const char* revSpeed;
        const char* radSpeed;
        const char* acceleration;
        const char* jerk;
    } cases[] = {{0, "rot", "rpm", "rad/s", "rad/s^2", "rad/s^3"},
                 {1, "mm", "m/s", "m/s", "m/s^2", "m/s^3"},
                 {2, "mm", "m/s", "m/s", "m/s^2", "m/s^3"},
                 {0.5, "mm", "m/s", "m/s", "m/s^2", "m/s^3"}};
    for (const Case& c : cases) {
        auto s = SetupFromJson(UnitsSetup(c.type, true));
        EXPECT_EQ(ApplyTransmissionUnits(s.get()), 1);
        for (const char* n : {"Load_transmission", "TestPosition", "ERR_position", "POS_max", "POS_min",
                              "FreezeControl_errband", "Negative_SWLS", "Positive_SWLS"})
            EXPECT_EQ(UnitOf(*s, n), c.position) << n << " type " << c.type;
        for (const char* n : {"TestSpeed", "SPD_max", "SPD_min", "ErefMaxSpeed"}) EXPECT_EQ(UnitOf(*s, n), c.revSpeed) << n;
        for (const char* n : {"Limit_Speed", "ERR_speed"}) EXPECT_EQ(UnitOf(*s, n), c.radSpeed) << n;
        EXPECT_EQ(UnitOf(*s, "ErefMaxAcceleration"), c.acceleration);
        for (const char* n : {"Load_Position", "CPOS", "POSTRIGG4", "TPOSFAST"})
            EXPECT_EQ(s->FindVariable(n)->GetUnit().name, c.position) << n;
        for (const char* n : {"Load_Speed", "Speed_Error", "SERRMAX", "TSPD"})
            EXPECT_EQ(s->FindVariable(n)->GetUnit().name, c.revSpeed) << n;
        for (const char* n : {"CACC", "CDEC", "TACC"}) EXPECT_EQ(s->FindVariable(n)->GetUnit().name, c.acceleration) << n;
        EXPECT_EQ(s->FindVariable("JERK")->GetUnit().name, c.jerk);
        EXPECT_TRUE(Reported().empty());
    }
}

TEST_F(DerivedUnits, GatedGroupsKeepTheirUnitsWithoutTheFeature)
{
    auto s = SetupFromJson(UnitsSetup(1, false));
    ApplyTransmissionUnits(s.get());
    for (const char* n : {"POS_max", "POS_min", "FreezeControl_errband", "Negative_SWLS", "Positive_SWLS"})
        EXPECT_EQ(UnitOf(*s, n), "rot") << n;
    for (const char* n : {"SPD_max", "SPD_min"}) EXPECT_EQ(UnitOf(*s, n), "rpm") << n;
    EXPECT_EQ(UnitOf(*s, "ErefMaxSpeed"), "m/s");  // not gated
    EXPECT_TRUE(Reported().empty());                 // the probes are quiet
}

TEST_F(DerivedUnits, MissingOnesAreReportedAndSkipped)
{
    std::string doc = UnitsSetup(1, true, "HOMEPOS");
    const std::string testSpeed = P("TestSpeed", 1, "rpm");
    doc.erase(doc.find(testSpeed), testSpeed.size());
    auto s = SetupFromJson(doc);
    EXPECT_EQ(ApplyTransmissionUnits(s.get()), 1);
    EXPECT_TRUE(WasReported(Reported(), "TestSpeed"));
    EXPECT_TRUE(WasReported(Reported(), "HOMEPOS"));
    EXPECT_EQ(Reported().size(), 2u);
    EXPECT_EQ(UnitOf(*s, "Limit_Speed"), "m/s");
    EXPECT_EQ(s->FindVariable("HOMESPD")->GetUnit().name, "m/s");
}

TEST_F(DerivedUnits, KeepsBaseValuesAndRunningTwiceEqualsOnce)
{
    auto s = SetupFromJson(UnitsSetup(1, true));
    ApplyTransmissionUnits(s.get());
    EXPECT_DOUBLE_EQ(s->GetParameterValueInBaseUnit("TestPosition"), 1);
    std::vector<std::string> once;
    for (const auto& p : s->Parameters()) once.emplace_back(p->GetUnit().name);
    ApplyTransmissionUnits(s.get());
    std::vector<std::string> twice;
    for (const auto& p : s->Parameters()) twice.emplace_back(p->GetUnit().name);
    EXPECT_EQ(once, twice);
}

}  // namespace
