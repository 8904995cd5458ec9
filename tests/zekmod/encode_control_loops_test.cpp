#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine_fixture.h"

namespace {

using Step = int (*)(CMC_Setup*);
using Overrides = std::map<std::string, double>;

struct Entry {
    const char* name;
    double value;
    const char* unit = "";
};

// Sample drive ZEK-4810 in position control: current scale 1638 counts/A, load position scale
// 10000 / 2pi counts/rad, speed loop 500 us, dead time 1.2 us.
const std::vector<Entry> kDrive = {
    {"DSP_freq", 60e6, "MHz"}, {"PWM_freq", 20000, "kHz"}, {"PWMPER", 1500}, {"CLPER", 1}, {"SLPER", 10},
    {"Ts_S", 0.0005, "ms"}, {"DBT", 18504}, {"DBTPC", 100, "%"}, {"Vdc", 48, "V "}, {"VdcMaxMeasurable", 111.8, "V "},
    {"ImaxPS", 20, "A"}, {"CommutationMethod", 1}, {"MECRESL", 10000}, {"No_encoder_lines", 2500}, {"pp", 4},
    {"Motor_transmission", 1, "rot"}, {"Load_transmission", 1, "rot"}, {"In", 5, "A"}, {"R", 0.9, "Ohm"},
    {"ControlMode", 0}, {"PositionControlType", 0}, {"AnalogueInputsRange", 10, "V"},
    // Analogue range bounds, dimensionless (internal = base) but for SPD_min.
    {"POS_max", 1}, {"POS_min", -1}, {"SPD_max", 2}, {"SPD_min", -2, "rad/s"}, {"CRT_max", 3}, {"CRT_min", -3},
    // Engineering parameters.
    {"Kp_C_scl", 0.8}, {"Ki_C_scl", 0.05}, {"Kp_S_scl", 3.5}, {"Ki_S_scl", 0.02}, {"Kp_P_scl", 0.6},
    {"Ki_P_scl", 0.001}, {"Kd_P_scl", 4}, {"Kp_T_scl", 0.5}, {"Ki_T_scl", 0.01}, {"KFFS_scl", 1}, {"KFFA_scl", 0.5},
    {"filter_D", 0.5}, {"OffsetCurrent", 2, "A"}, {"isCompensateGravitationalLoads", 0}, {"CurrentMeasurementType", 1},
    {"IPSatS", 50, "%"}, {"IlimPS", 12, "A"}, {"IPSatP", 30, "%"}, {"Limit_Speed", 300, "rad/s"},
    {"isUseFilterOnCrtCtrlOutput", 0}, {"FilterOnCurrentControllerOutput", 5000, "rad/s"}, {"UseFilter", 0},
    {"filter", 50, "rad/s"}, {"ERR_position", 6.283185307179586, "rot"}, {"time_ERR_pos", 0.1, "s"},
    {"isPositionControlError", 1}, {"ERR_speed", 100, "rad/s"}, {"time_ERR_spd", 0.2, "s"}, {"isSpeedControlError", 1},
    {"isSWLS", 1}, {"Negative_SWLS", -10, "rot"}, {"Positive_SWLS", 20, "rot"},
    {"ErefMaxAcceleration", 1000, "rad/s^2"}, {"ErefMaxSpeed", 100, "rad/s"}, {"DeadBand_Point", 1, "V"},
    {"DeadBand_Range", 0.5, "V"}, {"GEARMASTER", 2}, {"GEARSLAVE", 3}, {"time_AB", 0.5, "s"}, {"UPGRADE", 0},
    {"StartCurrent", 50, "%"}, {"MotorPhaseConnectionType", 0}, {"FreezeControl_errband", 0.1, "rot"},
    {"FreezeControl_time", 0.05, "s"},
};

// Every step, named after the register it writes, with the parameters it looks up besides that
// register. A quiet step skips a missing register without a report (optional registers).
struct StepSpec {
    const char* name;
    Step step;
    std::vector<const char*> inputs;
    bool quiet = false;
};
#define STEP(name) #name, encode::name
const std::vector<StepSpec> kSteps = {
    {STEP(SATPWM), {"CurrentMeasurementType", "PWM_freq"}}, {STEP(SATID), {}, true}, {STEP(SATIQ), {}, true},
    {STEP(KFFL), {}, true}, {STEP(SFTKPI), {"Kp_C_scl"}}, {STEP(KPI), {"Kp_C_scl"}}, {STEP(SFTKII), {"Ki_C_scl"}},
    {STEP(KII), {"Ki_C_scl"}}, {STEP(FILTERQ), {"isUseFilterOnCrtCtrlOutput", "FilterOnCurrentControllerOutput"}},
    {STEP(FFL), {"isCompensateGravitationalLoads", "OffsetCurrent"}}, {STEP(SFTKPS), {"Kp_S_scl"}},
    {STEP(KPS), {"Kp_S_scl"}}, {STEP(SFTKIS), {"Ki_S_scl"}}, {STEP(KIS), {"Ki_S_scl"}},
    {STEP(IMAXS), {"IPSatS", "IlimPS"}}, {STEP(SATS), {"IlimPS"}}, {STEP(SFTKPP), {"Kp_P_scl"}},
    {STEP(KPP), {"Kp_P_scl"}}, {STEP(SFTKIP), {"Ki_P_scl"}}, {STEP(KIP), {"Ki_P_scl"}}, {STEP(SFTKDP), {"Kd_P_scl"}},
    {STEP(KDP), {"Kd_P_scl"}}, {STEP(KDFP), {"filter_D"}}, {STEP(SFTKPTHT), {"Kp_T_scl"}},
    {STEP(KPTHT), {"Kp_T_scl"}, true}, {STEP(SFTKITHT), {"Ki_T_scl"}}, {STEP(KITHT), {"Ki_T_scl"}},
    {STEP(IMAXP), {"ControlMode", "PositionControlType", "IPSatP", "IlimPS"}},
    {STEP(SATP), {"ControlMode", "PositionControlType", "Limit_Speed", "IlimPS"}}, {STEP(SFTSFFW), {"KFFS_scl"}},
    {STEP(KFFS), {"KFFS_scl"}}, {STEP(SFTAFFW), {"KFFA_scl"}}, {STEP(SFTKFF), {"KFFA_scl"}}, {STEP(KFFA), {"KFFA_scl"}},
    {STEP(ERRMAX), {"ERR_position"}}, {STEP(TERRMAX), {"isPositionControlError", "time_ERR_pos", "Ts_S"}},
    {STEP(SERRMAX), {"ERR_speed"}}, {STEP(TSERRMAX), {"isSpeedControlError", "time_ERR_spd", "Ts_S"}},
    {STEP(SWNEGLS), {"SWPOSLS", "Negative_SWLS"}}, {STEP(SWPOSLS), {"SWNEGLS", "Positive_SWLS"}},
    {STEP(CACC), {"ErefMaxAcceleration"}}, {STEP(CSPD), {"ErefMaxSpeed"}}, {STEP(CADIN), {}}, {STEP(SFTADIN), {}},
    {STEP(AD5OFF), {"ControlMode", "POS_min", "SPD_min", "CRT_min"}}, {STEP(FILTER1), {"UseFilter", "filter", "Ts_S"}},
    {STEP(LEVEL_AD5), {"DeadBand_Point", "AnalogueInputsRange"}},
    {STEP(E_LEVEL_AD5), {"DeadBand_Range", "AnalogueInputsRange"}}, {STEP(GEAR), {"GEARSLAVE", "GEARMASTER"}},
    {STEP(T1ONA), {"time_AB", "UPGRADE"}}, {STEP(T1ONB), {"time_AB", "UPGRADE"}},
    {STEP(REFTST), {"StartCurrent", "In", "R", "MotorPhaseConnectionType", "Vdc", "PWM_freq"}},
    {STEP(RINCTST), {"StartCurrent", "In", "R", "MotorPhaseConnectionType", "Vdc", "PWM_freq"}},
    {STEP(POSOKLIM_FC), {"FreezeControl_errband"}}, {STEP(TONPOSOK_FC), {"FreezeControl_time", "Ts_S"}},
};
#undef STEP

constexpr double kUntouched = 12345.678;  // start value of every register, so that a write shows

std::unique_ptr<CMC_Setup> Drive(const Overrides& overrides = {}, const std::set<std::string>& removed = {},
                                 unsigned adcMax = 65520)
{
    std::vector<Entry> entries = kDrive;
    for (const StepSpec& st : kSteps) entries.push_back({st.name, kUntouched});
    std::string params;
    for (const Entry& e : entries) {
        if (removed.count(e.name) != 0) continue;
        const auto it = overrides.find(e.name);
        char value[40];
        std::snprintf(value, sizeof value, "%.17g", it != overrides.end() ? it->second : e.value);
        params += std::string(params.empty() ? "\"" : ",\"") + e.name + "\":{\"value\":" + value + ",\"unit\":\"" +
                  e.unit + "\"}";
    }
    return zektest::SetupFromJson(zektest::Doc(params, R"("CADIN": {"unit": ""})", "", adcMax));
}

double Value(CMC_Setup* s, const char* name) { return s->FindParameter(name)->GetValueInBaseUnit(); }

// Value and range of every parameter, as text so that NaN equals NaN.
std::map<std::string, std::string> State(CMC_Setup* s)
{
    std::map<std::string, std::string> out;
    for (const auto& p : s->Parameters()) {
        char buf[80];
        std::snprintf(buf, sizeof buf, "%.17g %.17g %.17g", p->GetValueInBaseUnit(), p->GetMinInBaseUnit(),
                      p->GetMaxInBaseUnit());
        out[p->GetName()] = buf;
    }
    return out;
}

std::string NameOf(Step step)
{
    for (const StepSpec& st : kSteps)
        if (st.step == step) return st.name;
    return "?";
}

bool WasReported(const std::string& name)
{
    for (const std::string& r : rurorade::ErrorSink().reported)
        if (r.find("\"" + name + "\"") != std::string::npos) return true;
    return false;
}

using EncodeControlLoops = zektest::EngineTest;

TEST_F(EncodeControlLoops, SplitGain)
{
    const double justAbove1 = std::nextafter(1.0, 2.0);
    struct Case { double g, shift, mantissa; } const cases[] = {
        {0.5, 0, 16383.5}, {1, 0, 32767}, {justAbove1, 1, justAbove1 * 32767 / 2}, {1.5, 1, 24575.25},
        {2, 1, 32767},     {1000, 10, 1000.0 * 32767 / 1024}, {1048576, 20, 32767}, {-2, 0, -65534},
    };
    for (const Case& c : cases) {
        const encode::GainSplit s = encode::SplitGain(c.g);
        EXPECT_EQ(s.shift, c.shift) << c.g;
        EXPECT_EQ(s.mantissa, c.mantissa) << c.g;
    }
    // Above 1 the mantissa always lies in the upper half of the range.
    for (int k = 1; k <= 1000; ++k) {
        const double g = std::exp(k * 0.0137);
        const encode::GainSplit s = encode::SplitGain(g);
        EXPECT_TRUE(s.mantissa > 16383.5 && s.mantissa <= 32767) << g << ": " << s.mantissa;
        EXPECT_DOUBLE_EQ(s.mantissa * std::pow(2.0, s.shift) / 32767, g);
    }
    const encode::GainSplit nan = encode::SplitGain(std::nan(""));
    EXPECT_EQ(nan.shift, 0);
    EXPECT_TRUE(std::isnan(nan.mantissa));
}

TEST_F(EncodeControlLoops, OptionalRegistersAreSkippedQuietly)
{
    // The angle loop needs KPTHT; SATID and SATIQ copy SATPWM and are independent of each other.
    const struct { const char* absent; std::vector<Step> skipped, stillWritten; } cases[] = {
        {"KPTHT", {encode::SFTKPTHT, encode::KPTHT, encode::SFTKITHT, encode::KITHT}, {}},
        {"SATPWM", {encode::SATID, encode::SATIQ}, {}}, {"KFFL", {encode::KFFL}, {}},
        {"SATID", {encode::SATID}, {encode::SATIQ}},    {"SATIQ", {encode::SATIQ}, {encode::SATID}},
    };
    for (const auto& c : cases) {
        auto s = Drive({}, {c.absent});
        const auto before = State(s.get());
        for (Step step : c.skipped) EXPECT_EQ(step(s.get()), 0) << c.absent;
        EXPECT_EQ(State(s.get()), before) << c.absent;
        for (Step step : c.stillWritten) EXPECT_EQ(step(s.get()), 1) << c.absent;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, FormulasOnTheSampleDrive)
{
    using namespace encode;
    const double ln2 = std::log(2.0), inf = INFINITY, turn = 6.283185307179586;
    const double imaxpSpeed = 32695.380275608648, satpSpeed = 32528.26758536216;
    const double speed = 79.57747154594767, acceleration = 0.3978873577297384;
    const double star = 4222.4747727272725, delta = 2360.713409090909;
    const std::pair<const char*, double> negative = {"Motor_transmission", -1}, speedLoop = {"PositionControlType", 1};
    const auto gain = [](const char* name) { return Overrides{{name, 1.5}}; };
    const auto kffa = [](double value) { return Overrides{{"KFFA_scl", value}}; };
    const struct { Step step; Overrides overrides; double expected; } cases[] = {
        // Current loop. Flags compare exactly to 0, except FFL's, which is truncated first.
        {SATPWM, {{"CurrentMeasurementType", 0}}, 0}, {SATPWM, {{"CurrentMeasurementType", 0.5}}, 2621.4},
        {SATID, {{"SATPWM", 2621.4}}, 2621.4}, {SATIQ, {{"SATPWM", 2621.4}}, 2621.4},
        {FILTERQ, {{"isUseFilterOnCrtCtrlOutput", 0}}, 32767},
        {FILTERQ, {{"isUseFilterOnCrtCtrlOutput", 0.5}, {"FilterOnCurrentControllerOutput", ln2 / 5e-5}}, 16383},
        {FFL, {{"isCompensateGravitationalLoads", 0.9}}, 0}, {FFL, {{"isCompensateGravitationalLoads", -1}}, 3276},
        {KFFL, {}, 32767}, {KDFP, {}, 16383.5}, {FILTER1, {{"UseFilter", 0}}, 32767},
        {FILTER1, {{"UseFilter", 0.25}, {"filter", 2 * ln2}, {"Ts_S", 0.5}}, 16383.5},  // not truncated
        // Saturations; the position loop feeds the speed loop only for type exactly 1 in mode exactly 0.
        {IMAXS, {}, 22939}, {IMAXP, {}, 26870.2}, {IMAXP, {speedLoop}, imaxpSpeed},
        {IMAXP, {speedLoop, negative}, imaxpSpeed}, {IMAXP, {speedLoop, {"ControlMode", 1}}, 26870.2},
        {IMAXP, {{"PositionControlType", 1.5}}, 26870.2}, {IMAXP, {speedLoop, {"ControlMode", 0.5}}, 26870.2},
        {SATP, {speedLoop}, satpSpeed}, {SATP, {speedLoop, negative}, satpSpeed},
        // Gains split into shift and mantissa: 1.5 = 24575.25 / 32767 * 2^1.
        {SFTKPI, gain("Kp_C_scl"), 1}, {KPI, gain("Kp_C_scl"), 24575.25}, {SFTKII, gain("Ki_C_scl"), 1},
        {KII, gain("Ki_C_scl"), 24575.25}, {SFTKPS, gain("Kp_S_scl"), 1}, {KPS, gain("Kp_S_scl"), 24575.25},
        {SFTKIS, gain("Ki_S_scl"), 1}, {KIS, gain("Ki_S_scl"), 24575.25}, {SFTKPP, gain("Kp_P_scl"), 1},
        {KPP, gain("Kp_P_scl"), 24575.25}, {SFTKIP, gain("Ki_P_scl"), 1}, {KIP, gain("Ki_P_scl"), 24575.25},
        {SFTKDP, gain("Kd_P_scl"), 1}, {KDP, gain("Kd_P_scl"), 24575.25}, {SFTKPTHT, gain("Kp_T_scl"), 1},
        {KPTHT, gain("Kp_T_scl"), 24575.25}, {SFTKITHT, gain("Ki_T_scl"), 1}, {KITHT, gain("Ki_T_scl"), 24575.25},
        {SFTSFFW, gain("KFFS_scl"), 1}, {KFFS, gain("KFFS_scl"), 24575.25},
        // The acceleration feedforward shift goes to SFTAFFW up to 11, the rest to SFTKFF.
        {SFTAFFW, kffa(0.5), 0}, {SFTKFF, kffa(0.5), 0}, {KFFA, kffa(0.5), 16383.5}, {SFTAFFW, kffa(2048), 11},
        {SFTKFF, kffa(2048), 0}, {KFFA, kffa(2048), 32767}, {SFTAFFW, kffa(2049), 11}, {SFTKFF, kffa(2049), 1},
        {KFFA, kffa(2049), 16391.499755859375}, {SFTAFFW, kffa(5000), 11}, {SFTKFF, kffa(5000), 2},
        {KFFA, kffa(5000), 19999.3896484375},
        // Error windows and times (65535 = check off unless the flag is exactly 1), reference limits.
        {ERRMAX, {}, 10000}, {ERRMAX, {negative}, 10000}, {TERRMAX, {}, 200},
        {TERRMAX, {{"isPositionControlError", 0.5}}, 65535},
        {TERRMAX, {{"isPositionControlError", 2}, {"time_ERR_pos", 7}}, 65535}, {TERRMAX, {{"Ts_S", 0}}, inf},
        {SERRMAX, {}, speed}, {SERRMAX, {negative}, speed}, {TSERRMAX, {}, 400},
        {TSERRMAX, {{"isSpeedControlError", 0.5}}, 65535}, {CACC, {}, acceleration}, {CACC, {negative}, acceleration},
        {CSPD, {}, speed}, {CSPD, {negative}, speed}, {POSOKLIM_FC, {{"FreezeControl_errband", turn}}, 10000},
        {POSOKLIM_FC, {{"FreezeControl_errband", turn}, negative}, 10000}, {TONPOSOK_FC, {}, 100},
        {TONPOSOK_FC, {{"Ts_S", 0}}, inf},
        // Dead band in converter counts; a range of (truncated) 20 is +-10 V.
        {LEVEL_AD5, {{"AnalogueInputsRange", 5}}, 13104},
        {LEVEL_AD5, {{"AnalogueInputsRange", 20}, {"DeadBand_Point", 0}}, 32760},
        {LEVEL_AD5, {{"AnalogueInputsRange", 20.5}, {"DeadBand_Point", 0}}, 65520 * 10 / 20.5},
        {E_LEVEL_AD5, {{"AnalogueInputsRange", 5}}, 6552},
        // Gearing; pulse times in units of 100 when UPGRADE bit 9 is set; start voltage for star/delta.
        {GEAR, {}, 1.5}, {GEAR, {{"GEARMASTER", 0}}, inf}, {T1ONA, {}, 32767.5}, {T1ONA, {{"UPGRADE", 1023}}, 50},
        {T1ONA, {{"UPGRADE", 1280}}, 32767.5}, {T1ONA, {{"UPGRADE", 512.9}}, 50}, {T1ONB, {{"UPGRADE", 512}}, 50},
        {REFTST, {}, star}, {REFTST, {{"MotorPhaseConnectionType", 1}}, delta},
        {REFTST, {{"MotorPhaseConnectionType", 1.5}}, star}, {RINCTST, {{"MotorPhaseConnectionType", 1}}, delta},
    };
    for (const auto& c : cases) {
        const std::string label = NameOf(c.step) + testing::PrintToString(c.overrides);
        auto s = Drive(c.overrides);
        EXPECT_EQ(c.step(s.get()), 1) << label;
        const double v = Value(s.get(), NameOf(c.step).c_str());
        if (std::isinf(c.expected) || c.expected == std::trunc(c.expected))
            EXPECT_EQ(v, c.expected) << label;
        else
            EXPECT_NEAR(v, c.expected, std::fabs(c.expected) * 1e-13) << label;
    }
}

TEST_F(EncodeControlLoops, SaturationRangeSetEvenWhenValueFallsOutside)
{
    for (Step step : {encode::IMAXS, encode::SATS, encode::IMAXP, encode::SATP}) {
        auto s = Drive({{"IlimPS", 30}, {"IPSatS", 100}, {"IPSatP", 100}});
        EXPECT_EQ(step(s.get()), 1) << NameOf(step);
        CMC_Parameter* p = s->FindParameter(NameOf(step).c_str());
        EXPECT_EQ(p->GetMinInBaseUnit(), 0) << NameOf(step);
        EXPECT_EQ(p->GetMaxInBaseUnit(), 32767) << NameOf(step);
        EXPECT_EQ(p->GetValueInBaseUnit(), 32767 - 30 * 1638.0) << NameOf(step);
    }
}

TEST_F(EncodeControlLoops, ImaxpLooksUpOnlyItsBranchLimit)
{
    auto speed = Drive({{"PositionControlType", 1}}, {"IlimPS"});
    EXPECT_EQ(encode::IMAXP(speed.get()), 1);
    auto current = Drive({}, {"Limit_Speed"});
    EXPECT_EQ(encode::IMAXP(current.get()), 1);
    EXPECT_TRUE(Reported().empty());

    auto missing = Drive({{"PositionControlType", 1}}, {"Limit_Speed"});
    const auto before = State(missing.get());
    EXPECT_EQ(encode::IMAXP(missing.get()), 0);
    EXPECT_EQ(State(missing.get()), before);
    EXPECT_TRUE(WasReported("Limit_Speed"));
}

TEST_F(EncodeControlLoops, SoftwareLimitSwitchesFollowTheScaleSign)
{
    // A negative scale swaps the registers; a zero scale counts as negative.
    const double p = 1591.5494309189535;  // counts per rad
    const struct { double transmission; Step step; const char *written, *kept; double expected; } cases[] = {
        {1, encode::SWNEGLS, "SWNEGLS", "SWPOSLS", -10 * p}, {1, encode::SWPOSLS, "SWPOSLS", "SWNEGLS", 20 * p},
        {-1, encode::SWNEGLS, "SWPOSLS", "SWNEGLS", 10 * p}, {-1, encode::SWPOSLS, "SWNEGLS", "SWPOSLS", -20 * p},
        {0, encode::SWNEGLS, "SWPOSLS", "SWNEGLS", 0},
    };
    for (const auto& c : cases) {
        auto s = Drive({{"Motor_transmission", c.transmission}});
        EXPECT_EQ(c.step(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(s.get(), c.written), c.expected) << c.transmission << " " << c.written;
        EXPECT_EQ(Value(s.get(), c.kept), kUntouched) << c.transmission << " " << c.written;
    }
}

TEST_F(EncodeControlLoops, AnalogueScaleSplitIntoMantissaAndShift)
{
    // adcMax 65536 makes the scale (CRT_max - CRT_min) / 2 in current mode.
    struct Case { double halfRange, transmission, cadin, sftadin; } const cases[] = {
        {1000, 1, 1000, 0}, {32767, 1, 32767, 0}, {100000, 1, 25000, 2}, {100000, -1, -100000, 0}};
    for (const Case& c : cases) {
        auto s = Drive({{"ControlMode", 2}, {"CRT_max", c.halfRange}, {"CRT_min", -c.halfRange},
                        {"Motor_transmission", c.transmission}},
                       {}, 65536);
        EXPECT_EQ(encode::CADIN(s.get()) + encode::SFTADIN(s.get()), 2);
        EXPECT_EQ(s->FindParameter("CADIN")->GetValueInInternalUnit(), c.cadin) << c.halfRange;
        EXPECT_EQ(s->FindParameter("SFTADIN")->GetValueInInternalUnit(), c.sftadin) << c.halfRange;
    }
}

TEST_F(EncodeControlLoops, Ad5offTakesTheLowerBoundOfTheControlMode)
{
    const double spdMin = -1.5915494309189535;  // -2 rad/s in internal unit: the bound is copied in that unit
    struct Case { double mode; int result; double expected; } const cases[] = {
        {0, 1, -1}, {1, 1, spdMin}, {2, 1, -3}, {1.9, 1, spdMin}, {3, 0, kUntouched}, {-1, 0, kUntouched}};
    for (const Case& c : cases) {
        auto s = Drive({{"ControlMode", c.mode}});
        EXPECT_EQ(encode::AD5OFF(s.get()), c.result) << c.mode;
        EXPECT_DOUBLE_EQ(Value(s.get(), "AD5OFF"), c.expected) << c.mode;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, EveryStepWritesOnlyItsRegisterAndNeedsNoOther)
{
    for (const StepSpec& st : kSteps) {
        auto s = Drive({{"SATPWM", 1}});
        const auto before = State(s.get());
        EXPECT_EQ(st.step(s.get()), 1) << st.name;
        EXPECT_NE(Value(s.get(), st.name), kUntouched) << st.name;
        auto after = State(s.get());
        after[st.name] = before.at(st.name);
        EXPECT_EQ(after, before) << st.name << " wrote more than its register";
        EXPECT_EQ(FindEncodeStep(st.name), st.step) << st.name;

        // Without the other registers but its inputs, SATPWM (copied) and KPTHT (the angle loop's mark).
        std::set<std::string> others;
        for (const StepSpec& o : kSteps) others.insert(o.name);
        for (const char* kept : {st.name, "SATPWM", "KPTHT"}) others.erase(kept);
        for (const char* input : st.inputs) others.erase(input);
        EXPECT_EQ(st.step(Drive({}, others).get()), 1) << st.name << " alone";
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, MissingParameterMakesTheStepWriteNothing)
{
    for (const StepSpec& st : kSteps) {
        std::vector<const char*> needs = st.inputs;
        if (!st.quiet) needs.insert(needs.begin(), st.name);
        for (const char* missing : needs) {
            rurorade::ErrorSink().Clear();
            auto s = Drive({}, {missing});
            const auto before = State(s.get());
            EXPECT_EQ(st.step(s.get()), 0) << st.name << " without " << missing;
            EXPECT_EQ(State(s.get()), before) << st.name << " without " << missing;
            EXPECT_TRUE(WasReported(missing)) << st.name << " without " << missing;
        }
    }
}

TEST_F(EncodeControlLoops, BiquadFiltersRuns)
{
    auto s = Drive();
    EXPECT_EQ(encode::BiquadFilters(s.get()), 1);
    EXPECT_EQ(FindEncodeStep("BiquadFilters"), encode::BiquadFilters);
}

}  // namespace
