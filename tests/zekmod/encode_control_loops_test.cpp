#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "engine/encode_control_loops.h"
#include "engine_fixture.h"

namespace {

using Step = int (*)(CMC_Setup*);

struct Entry {
    const char* name;
    double value;
    const char* unit;
};

// Sample drive ZEK-4810 in position control: current scale 1638 counts/A, load position scale
// 10000 / 2pi counts/rad, speed loop 500 us, dead time 1.2 us.
const std::vector<Entry> kDrive = {
    {"DSP_freq", 60e6, "MHz"}, {"PWM_freq", 20000, "kHz"}, {"PWMPER", 1500, ""}, {"CLPER", 1, ""},
    {"SLPER", 10, ""}, {"Ts_S", 0.0005, "ms"}, {"DBT", 18504, ""}, {"DBTPC", 100, "%"}, {"Vdc", 48, "V "},
    {"VdcMaxMeasurable", 111.8, "V "}, {"ImaxPS", 20, "A"}, {"CommutationMethod", 1, ""}, {"MECRESL", 10000, ""},
    {"No_encoder_lines", 2500, ""}, {"pp", 4, ""}, {"Motor_transmission", 1, "rot"},
    {"Load_transmission", 1, "rot"}, {"In", 5, "A"}, {"R", 0.9, "Ohm"}, {"ControlMode", 0, ""},
    {"PositionControlType", 0, ""}, {"AnalogueInputsRange", 10, "V"},
    // Analogue range bounds, dimensionless so that internal and base values agree.
    {"POS_max", 1, ""}, {"POS_min", -1, ""}, {"SPD_max", 2, ""}, {"SPD_min", -2, ""}, {"CRT_max", 3, ""},
    {"CRT_min", -3, ""},
    // Engineering parameters.
    {"Kp_C_scl", 0.8, ""}, {"Ki_C_scl", 0.05, ""}, {"Kp_S_scl", 3.5, ""}, {"Ki_S_scl", 0.02, ""},
    {"Kp_P_scl", 0.6, ""}, {"Ki_P_scl", 0.001, ""}, {"Kd_P_scl", 4, ""}, {"Kp_T_scl", 0.5, ""},
    {"Ki_T_scl", 0.01, ""}, {"KFFS_scl", 1, ""}, {"KFFA_scl", 0.5, ""}, {"filter_D", 0.5, ""},
    {"OffsetCurrent", 2, "A"}, {"isCompensateGravitationalLoads", 0, ""}, {"CurrentMeasurementType", 1, ""},
    {"IPSatS", 50, "%"}, {"IlimPS", 12, "A"}, {"IPSatP", 30, "%"}, {"Limit_Speed", 300, "rad/s"},
    {"isUseFilterOnCrtCtrlOutput", 0, ""}, {"FilterOnCurrentControllerOutput", 5000, "rad/s"},
    {"UseFilter", 0, ""}, {"filter", 50, "rad/s"}, {"ERR_position", 6.283185307179586, "rot"},
    {"time_ERR_pos", 0.1, "s"}, {"isPositionControlError", 1, ""}, {"ERR_speed", 100, "rad/s"},
    {"time_ERR_spd", 0.2, "s"}, {"isSpeedControlError", 1, ""}, {"isSWLS", 1, ""},
    {"Negative_SWLS", -10, "rot"}, {"Positive_SWLS", 20, "rot"}, {"ErefMaxAcceleration", 1000, "rad/s^2"},
    {"ErefMaxSpeed", 100, "rad/s"}, {"DeadBand_Point", 1, "V"}, {"DeadBand_Range", 0.5, "V"},
    {"GEARMASTER", 2, ""}, {"GEARSLAVE", 3, ""}, {"time_AB", 0.5, "s"}, {"UPGRADE", 0, ""},
    {"StartCurrent", 50, "%"}, {"MotorPhaseConnectionType", 0, ""}, {"FreezeControl_errband", 0.1, "rot"},
    {"FreezeControl_time", 0.05, "s"},
};

constexpr double kUntouched = 12345.678;

// Registers, all starting at kUntouched so that a write shows.
const char* const kRegisters[] = {
    "SATPWM", "SATID", "SATIQ", "SFTKPI", "KPI", "SFTKII", "KII", "FILTERQ", "FFL", "KFFL", "SFTKPS", "KPS",
    "SFTKIS", "KIS", "IMAXS", "SATS", "SFTKPP", "KPP", "SFTKIP", "KIP", "SFTKDP", "KDP", "KDFP", "SFTKPTHT",
    "KPTHT", "SFTKITHT", "KITHT", "IMAXP", "SATP", "SFTSFFW", "KFFS", "SFTAFFW", "SFTKFF", "KFFA", "ERRMAX",
    "TERRMAX", "SERRMAX", "TSERRMAX", "SWNEGLS", "SWPOSLS", "CACC", "CSPD", "CADIN", "SFTADIN", "AD5OFF",
    "FILTER1", "LEVEL_AD5", "E_LEVEL_AD5", "GEAR", "T1ONA", "T1ONB", "REFTST", "RINCTST", "POSOKLIM_FC",
    "TONPOSOK_FC"
};

std::string Number(double v)
{
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.17g", v);
    return buf;
}

std::unique_ptr<CMC_Setup> Drive(const std::map<std::string, double>& overrides = {},
                                 const std::set<std::string>& removed = {}, unsigned adcMax = 65520)
{
    std::vector<Entry> entries = kDrive;
    for (const char* r : kRegisters) entries.push_back({r, kUntouched, ""});
    std::string params;
    for (const Entry& e : entries) {
        if (removed.count(e.name) != 0) continue;
        auto it = overrides.find(e.name);
        const double value = it != overrides.end() ? it->second : e.value;
        if (!params.empty()) params += ",";
        params += "\"" + std::string(e.name) + "\":{\"value\":" + Number(value) + ",\"unit\":\"" + e.unit + "\"}";
    }
    return zektest::SetupFromJson(zektest::Doc(params, R"("CADIN": {"unit": ""})", "", adcMax));
}

double Value(CMC_Setup* s, const char* name) { return s->FindParameter(name)->GetValueInBaseUnit(); }

struct Snap {
    std::string name;
    double value, min, max;
};

std::vector<Snap> Snapshot(CMC_Setup* s)
{
    std::vector<Snap> out;
    for (const auto& p : s->Parameters())
        out.push_back({p->GetName(), p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()});
    return out;
}

// Names whose value or range differ (NaN compares equal to NaN).
std::set<std::string> Changed(const std::vector<Snap>& a, const std::vector<Snap>& b)
{
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    std::set<std::string> out;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (!same(a[i].value, b[i].value) || !same(a[i].min, b[i].min) || !same(a[i].max, b[i].max))
            out.insert(a[i].name);
    return out;
}

class EncodeControlLoops : public zektest::EngineTest {
protected:
    bool WasReported(const std::string& name) const
    {
        for (const std::string& r : Reported())
            if (r.find("\"" + name + "\"") != std::string::npos) return true;
        return false;
    }
};

// ---------------------------------------------------------------------------------------------
// Gain split

TEST_F(EncodeControlLoops, SplitGainTable)
{
    struct Case {
        double g, shift, mantissa;
    } const cases[] = {
        {0, 0, 0},
        {0.5, 0, 16383.5},
        {1, 0, 32767},
        {std::nextafter(1.0, 2.0), 1, std::nextafter(1.0, 2.0) * 32767 / 2},
        {1.5, 1, 24575.25},
        {2, 1, 32767},
        {3, 2, 24575.25},
        {4, 2, 32767},
        {1024, 10, 32767},
        {1000, 10, 1000.0 * 32767 / 1024},
        {5000, 13, 5000.0 * 32767 / 8192},
        {1048576, 20, 32767},
        {-2, 0, -65534},
    };
    for (const Case& c : cases) {
        const encode::GainSplit s = encode::SplitGain(c.g);
        EXPECT_EQ(s.shift, c.shift) << c.g;
        EXPECT_EQ(s.mantissa, c.mantissa) << c.g;
    }
}

TEST_F(EncodeControlLoops, SplitGainAboveOneKeepsMantissaInUpperHalfAndInverts)
{
    for (int k = 1; k <= 1000; ++k) {
        const double g = std::exp(k * 0.0137);
        const encode::GainSplit s = encode::SplitGain(g);
        EXPECT_GT(s.mantissa, 16383.5) << g;
        EXPECT_LE(s.mantissa, 32767) << g;
        EXPECT_DOUBLE_EQ(s.mantissa * std::pow(2.0, s.shift) / 32767, g);
    }
}

TEST_F(EncodeControlLoops, SplitGainNaNPassesThrough)
{
    const encode::GainSplit s = encode::SplitGain(std::nan(""));
    EXPECT_EQ(s.shift, 0);
    EXPECT_TRUE(std::isnan(s.mantissa));
}

struct GainPair {
    Step shiftStep, mantissaStep;
    const char *shift, *mantissa, *gain;
};
const GainPair kPairs[] = {
    {encode::SFTKPI, encode::KPI, "SFTKPI", "KPI", "Kp_C_scl"},
    {encode::SFTKII, encode::KII, "SFTKII", "KII", "Ki_C_scl"},
    {encode::SFTKPS, encode::KPS, "SFTKPS", "KPS", "Kp_S_scl"},
    {encode::SFTKIS, encode::KIS, "SFTKIS", "KIS", "Ki_S_scl"},
    {encode::SFTKPP, encode::KPP, "SFTKPP", "KPP", "Kp_P_scl"},
    {encode::SFTKIP, encode::KIP, "SFTKIP", "KIP", "Ki_P_scl"},
    {encode::SFTKDP, encode::KDP, "SFTKDP", "KDP", "Kd_P_scl"},
    {encode::SFTKPTHT, encode::KPTHT, "SFTKPTHT", "KPTHT", "Kp_T_scl"},
    {encode::SFTKITHT, encode::KITHT, "SFTKITHT", "KITHT", "Ki_T_scl"},
    {encode::SFTSFFW, encode::KFFS, "SFTSFFW", "KFFS", "KFFS_scl"},
};

TEST_F(EncodeControlLoops, EveryGainPairWritesShiftAndMantissa)
{
    for (const GainPair& p : kPairs) {
        auto s = Drive({{p.gain, 1.5}});
        EXPECT_EQ(p.shiftStep(s.get()), 1) << p.shift;
        EXPECT_EQ(Value(s.get(), p.shift), 1) << p.shift;
        EXPECT_EQ(Value(s.get(), p.mantissa), kUntouched) << p.shift;
        EXPECT_EQ(p.mantissaStep(s.get()), 1) << p.mantissa;
        EXPECT_EQ(Value(s.get(), p.mantissa), 24575.25) << p.mantissa;
    }
}

TEST_F(EncodeControlLoops, ShiftStepNeedsOnlyItsRegisterAndGain)
{
    for (const GainPair& p : kPairs) {
        if (std::string(p.mantissa) == "KPTHT") continue;  // KPTHT is also the angle loop's presence mark
        auto s = Drive({{p.gain, 4}}, {p.mantissa});
        EXPECT_EQ(p.shiftStep(s.get()), 1) << p.shift;
        EXPECT_EQ(Value(s.get(), p.shift), 2) << p.shift;
        auto t = Drive({{p.gain, 4}}, {p.shift});
        EXPECT_EQ(p.mantissaStep(t.get()), 1) << p.mantissa;
        EXPECT_EQ(Value(t.get(), p.mantissa), 32767) << p.mantissa;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, AngleGainsNeedKptht)
{
    auto s = Drive({}, {"KPTHT"});
    const auto before = Snapshot(s.get());
    for (Step step : {encode::SFTKPTHT, encode::KPTHT, encode::SFTKITHT, encode::KITHT}) EXPECT_EQ(step(s.get()), 0);
    EXPECT_TRUE(Changed(before, Snapshot(s.get())).empty());
    EXPECT_TRUE(Reported().empty());
}

// ---------------------------------------------------------------------------------------------
// Acceleration feedforward

TEST_F(EncodeControlLoops, AccelerationFeedforwardShiftSpreadOverTwoRegisters)
{
    struct Case {
        double kffa, sftaffw, sftkff, mantissa;
    } const cases[] = {
        {0.5, 0, 0, 16383.5},
        {1, 0, 0, 32767},
        {2048, 11, 0, 32767},
        {2049, 11, 1, 16391.499755859375},
        {5000, 11, 2, 19999.3896484375},
    };
    for (const Case& c : cases) {
        auto s = Drive({{"KFFA_scl", c.kffa}});
        EXPECT_EQ(encode::SFTAFFW(s.get()), 1);
        EXPECT_EQ(encode::SFTKFF(s.get()), 1);
        EXPECT_EQ(encode::KFFA(s.get()), 1);
        EXPECT_EQ(Value(s.get(), "SFTAFFW"), c.sftaffw) << c.kffa;
        EXPECT_EQ(Value(s.get(), "SFTKFF"), c.sftkff) << c.kffa;
        EXPECT_EQ(Value(s.get(), "KFFA"), c.mantissa) << c.kffa;
    }
}

// ---------------------------------------------------------------------------------------------
// Formulas on the sample drive

struct FormulaCase {
    const char* label;
    Step step;
    const char* reg;
    std::map<std::string, double> overrides;
    double expected;
};

void CheckFormulas(const std::vector<FormulaCase>& cases)
{
    for (const FormulaCase& c : cases) {
        auto s = Drive(c.overrides);
        EXPECT_EQ(c.step(s.get()), 1) << c.label;
        const double v = Value(s.get(), c.reg);
        if (std::isinf(c.expected) || c.expected == 0 || c.expected == std::trunc(c.expected))
            EXPECT_EQ(v, c.expected) << c.label;
        else
            EXPECT_NEAR(v, c.expected, std::fabs(c.expected) * 1e-13) << c.label;
    }
}

TEST_F(EncodeControlLoops, CurrentLoopFormulas)
{
    const double ln2 = std::log(2.0);
    CheckFormulas({
        {"SATPWM off for measurement type 0", encode::SATPWM, "SATPWM", {{"CurrentMeasurementType", 0}}, 0},
        {"SATPWM", encode::SATPWM, "SATPWM", {{"CurrentMeasurementType", 1}}, 2621.4},
        {"SATPWM type not exactly 0", encode::SATPWM, "SATPWM", {{"CurrentMeasurementType", 0.5}}, 2621.4},
        {"FILTERQ off", encode::FILTERQ, "FILTERQ", {{"isUseFilterOnCrtCtrlOutput", 0}}, 32767},
        {"FILTERQ 5000 rad/s", encode::FILTERQ, "FILTERQ", {{"isUseFilterOnCrtCtrlOutput", 1}}, 7248},
        {"FILTERQ flag not exactly 0", encode::FILTERQ, "FILTERQ", {{"isUseFilterOnCrtCtrlOutput", 0.5}}, 7248},
        {"FILTERQ ln 2 truncated",
         encode::FILTERQ,
         "FILTERQ",
         {{"isUseFilterOnCrtCtrlOutput", 1}, {"FilterOnCurrentControllerOutput", ln2 / 5e-5}},
         16383},
        {"FFL off", encode::FFL, "FFL", {{"isCompensateGravitationalLoads", 0}}, 0},
        {"FFL flag 0.9 truncates to off", encode::FFL, "FFL", {{"isCompensateGravitationalLoads", 0.9}}, 0},
        {"FFL on", encode::FFL, "FFL", {{"isCompensateGravitationalLoads", 1}}, 3276},
        {"FFL flag -1 counts as on", encode::FFL, "FFL", {{"isCompensateGravitationalLoads", -1}}, 3276},
        {"KDFP", encode::KDFP, "KDFP", {{"filter_D", 0.5}}, 16383.5},
    });
}

TEST_F(EncodeControlLoops, SaturationFormulas)
{
    CheckFormulas({
        {"IMAXS", encode::IMAXS, "IMAXS", {}, 22939},
        {"SATS", encode::SATS, "SATS", {}, 13111},
        {"IMAXP current output", encode::IMAXP, "IMAXP", {}, 26870.2},
        {"IMAXP speed output", encode::IMAXP, "IMAXP", {{"PositionControlType", 1}}, 32695.380275608648},
        {"IMAXP speed output, negative transmission",
         encode::IMAXP,
         "IMAXP",
         {{"PositionControlType", 1}, {"Motor_transmission", -1}},
         32695.380275608648},
        {"IMAXP speed mode reads current", encode::IMAXP, "IMAXP",
         {{"PositionControlType", 1}, {"ControlMode", 1}}, 26870.2},
        {"IMAXP type 1.5 is not 1", encode::IMAXP, "IMAXP", {{"PositionControlType", 1.5}}, 26870.2},
        {"IMAXP mode 0.5 is not 0", encode::IMAXP, "IMAXP", {{"PositionControlType", 1}, {"ControlMode", 0.5}},
         26870.2},
        {"SATP current output", encode::SATP, "SATP", {}, 13111},
        {"SATP speed output", encode::SATP, "SATP", {{"PositionControlType", 1}}, 32528.26758536216},
        {"SATP speed output, negative transmission",
         encode::SATP,
         "SATP",
         {{"PositionControlType", 1}, {"Motor_transmission", -1}},
         32528.26758536216},
    });
}

TEST_F(EncodeControlLoops, SaturationRangeSetEvenWhenValueFallsOutside)
{
    struct Sat {
        Step step;
        const char* reg;
    } const sats[] = {{encode::IMAXS, "IMAXS"}, {encode::SATS, "SATS"}, {encode::IMAXP, "IMAXP"}, {encode::SATP, "SATP"}};
    for (auto [step, reg] : sats) {
        auto s = Drive({{"IlimPS", 30}, {"IPSatS", 100}, {"IPSatP", 100}});
        EXPECT_EQ(step(s.get()), 1) << reg;
        CMC_Parameter* p = s->FindParameter(reg);
        EXPECT_EQ(p->GetMinInBaseUnit(), 0) << reg;
        EXPECT_EQ(p->GetMaxInBaseUnit(), 32767) << reg;
        EXPECT_EQ(p->GetValueInBaseUnit(), 32767 - 30 * 1638.0) << reg;
    }
}

TEST_F(EncodeControlLoops, ImaxpLooksUpOnlyItsBranchLimit)
{
    auto speed = Drive({{"PositionControlType", 1}}, {"IlimPS"});
    EXPECT_EQ(encode::IMAXP(speed.get()), 1);
    EXPECT_FALSE(WasReported("IlimPS"));

    auto current = Drive({}, {"Limit_Speed"});
    EXPECT_EQ(encode::IMAXP(current.get()), 1);
    EXPECT_FALSE(WasReported("Limit_Speed"));

    auto missing = Drive({{"PositionControlType", 1}}, {"Limit_Speed"});
    const auto before = Snapshot(missing.get());
    EXPECT_EQ(encode::IMAXP(missing.get()), 0);
    EXPECT_TRUE(Changed(before, Snapshot(missing.get())).empty());
    EXPECT_TRUE(WasReported("Limit_Speed"));
}

TEST_F(EncodeControlLoops, SatidAndSatiqFollowSatpwmOnlyWhenBothExist)
{
    auto s = Drive({{"SATPWM", 2621.4}});
    EXPECT_EQ(encode::SATID(s.get()), 1);
    EXPECT_EQ(encode::SATIQ(s.get()), 1);
    EXPECT_EQ(Value(s.get(), "SATID"), 2621.4);
    EXPECT_EQ(Value(s.get(), "SATIQ"), 2621.4);

    for (const char* absent : {"SATID", "SATIQ", "SATPWM"}) {
        auto t = Drive({}, {absent});
        const auto before = Snapshot(t.get());
        const int written = encode::SATID(t.get()) + encode::SATIQ(t.get());
        EXPECT_EQ(written, std::string(absent) == "SATPWM" ? 0 : 1) << absent;
        if (std::string(absent) == "SATPWM") {
            EXPECT_TRUE(Changed(before, Snapshot(t.get())).empty());
        }
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, KfflWrittenOnlyWhenPresent)
{
    auto s = Drive();
    EXPECT_EQ(encode::KFFL(s.get()), 1);
    EXPECT_EQ(Value(s.get(), "KFFL"), 32767);
    auto t = Drive({}, {"KFFL"});
    EXPECT_EQ(encode::KFFL(t.get()), 0);
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, ErrorWindowAndReferenceFormulas)
{
    CheckFormulas({
        {"ERRMAX one turn", encode::ERRMAX, "ERRMAX", {}, 10000},
        {"ERRMAX negative transmission", encode::ERRMAX, "ERRMAX", {{"Motor_transmission", -1}}, 10000},
        {"TERRMAX on", encode::TERRMAX, "TERRMAX", {}, 200},
        {"TERRMAX off", encode::TERRMAX, "TERRMAX", {{"isPositionControlError", 0}, {"time_ERR_pos", 7}}, 65535},
        {"TERRMAX flag 0.5 is off", encode::TERRMAX, "TERRMAX", {{"isPositionControlError", 0.5}}, 65535},
        {"TERRMAX flag 2 is off", encode::TERRMAX, "TERRMAX", {{"isPositionControlError", 2}}, 65535},
        {"TERRMAX zero Ts_S", encode::TERRMAX, "TERRMAX", {{"Ts_S", 0}}, INFINITY},
        {"SERRMAX", encode::SERRMAX, "SERRMAX", {}, 79.57747154594767},
        {"SERRMAX negative transmission", encode::SERRMAX, "SERRMAX", {{"Motor_transmission", -1}},
         79.57747154594767},
        {"TSERRMAX on", encode::TSERRMAX, "TSERRMAX", {}, 400},
        {"TSERRMAX off", encode::TSERRMAX, "TSERRMAX", {{"isSpeedControlError", 0}}, 65535},
        {"CACC", encode::CACC, "CACC", {}, 0.3978873577297384},
        {"CACC negative transmission", encode::CACC, "CACC", {{"Motor_transmission", -1}}, 0.3978873577297384},
        {"CSPD", encode::CSPD, "CSPD", {}, 79.57747154594767},
        {"CSPD negative transmission", encode::CSPD, "CSPD", {{"Motor_transmission", -1}}, 79.57747154594767},
        {"POSOKLIM_FC", encode::POSOKLIM_FC, "POSOKLIM_FC", {{"FreezeControl_errband", 6.283185307179586}}, 10000},
        {"POSOKLIM_FC negative transmission", encode::POSOKLIM_FC, "POSOKLIM_FC",
         {{"FreezeControl_errband", 6.283185307179586}, {"Motor_transmission", -1}}, 10000},
        {"TONPOSOK_FC", encode::TONPOSOK_FC, "TONPOSOK_FC", {}, 100},
        {"TONPOSOK_FC zero Ts_S", encode::TONPOSOK_FC, "TONPOSOK_FC", {{"Ts_S", 0}}, INFINITY},
    });
}

TEST_F(EncodeControlLoops, GearingPulseTimingAndStartVoltage)
{
    const double star = 4222.4747727272725, delta = 2360.713409090909;
    CheckFormulas({
        {"GEAR", encode::GEAR, "GEAR", {}, 1.5},
        {"GEAR zero master", encode::GEAR, "GEAR", {{"GEARMASTER", 0}}, INFINITY},
        {"T1ONA bit 9 clear", encode::T1ONA, "T1ONA", {}, 32767.5},
        {"T1ONA bit 9 set", encode::T1ONA, "T1ONA", {{"UPGRADE", 512}}, 50},
        {"T1ONA other bits kept", encode::T1ONA, "T1ONA", {{"UPGRADE", 1023}}, 50},
        {"T1ONA only bit 10", encode::T1ONA, "T1ONA", {{"UPGRADE", 1024}}, 32767.5},
        {"T1ONA fractional word", encode::T1ONA, "T1ONA", {{"UPGRADE", 512.9}}, 50},
        {"T1ONB same as T1ONA", encode::T1ONB, "T1ONB", {{"UPGRADE", 512}}, 50},
        {"REFTST star", encode::REFTST, "REFTST", {}, star},
        {"REFTST delta", encode::REFTST, "REFTST", {{"MotorPhaseConnectionType", 1}}, delta},
        {"REFTST type 1.5 is not delta", encode::REFTST, "REFTST", {{"MotorPhaseConnectionType", 1.5}}, star},
        {"RINCTST delta", encode::RINCTST, "RINCTST", {{"MotorPhaseConnectionType", 1}}, delta},
    });
}

// ---------------------------------------------------------------------------------------------
// Controller output filters

TEST_F(EncodeControlLoops, Filter1NotTruncated)
{
    const double ln2 = std::log(2.0);
    CheckFormulas({
        {"FILTER1 off", encode::FILTER1, "FILTER1", {{"UseFilter", 0}}, 32767},
        {"FILTER1 ln 2", encode::FILTER1, "FILTER1", {{"UseFilter", 1}, {"filter", 2 * ln2}, {"Ts_S", 0.5}}, 16383.5},
        {"FILTER1 flag not exactly 0", encode::FILTER1, "FILTER1",
         {{"UseFilter", 0.25}, {"filter", 2 * ln2}, {"Ts_S", 0.5}}, 16383.5},
    });
}

// ---------------------------------------------------------------------------------------------
// Software limit switches

TEST_F(EncodeControlLoops, SoftwareLimitSwitchesFollowTheScaleSign)
{
    const double p = 1591.5494309189535;
    auto pos = Drive();
    EXPECT_EQ(encode::SWNEGLS(pos.get()), 1);
    EXPECT_EQ(Value(pos.get(), "SWPOSLS"), kUntouched);
    EXPECT_DOUBLE_EQ(Value(pos.get(), "SWNEGLS"), -10 * p);
    EXPECT_EQ(encode::SWPOSLS(pos.get()), 1);
    EXPECT_DOUBLE_EQ(Value(pos.get(), "SWPOSLS"), 20 * p);

    auto neg = Drive({{"Motor_transmission", -1}});
    EXPECT_EQ(encode::SWNEGLS(neg.get()), 1);
    EXPECT_EQ(Value(neg.get(), "SWNEGLS"), kUntouched);
    EXPECT_DOUBLE_EQ(Value(neg.get(), "SWPOSLS"), 10 * p);
    EXPECT_EQ(encode::SWPOSLS(neg.get()), 1);
    EXPECT_DOUBLE_EQ(Value(neg.get(), "SWNEGLS"), -20 * p);

    // A zero scale counts as negative.
    auto zero = Drive({{"Motor_transmission", 0}});
    EXPECT_EQ(encode::SWNEGLS(zero.get()), 1);
    EXPECT_EQ(Value(zero.get(), "SWNEGLS"), kUntouched);
    EXPECT_EQ(Value(zero.get(), "SWPOSLS"), 0);
}

// ---------------------------------------------------------------------------------------------
// External analogue reference

TEST_F(EncodeControlLoops, AnalogueScaleSplitIntoMantissaAndShift)
{
    // adcMax 65536 makes the scale (CRT_max - CRT_min) / 2 in current mode.
    struct Case {
        const char* label;
        double halfRange, transmission, cadin, sftadin;
    } const cases[] = {
        {"fits", 1000, 1, 1000, 0},
        {"exactly full scale", 32767, 1, 32767, 0},
        {"100000", 100000, 1, 25000, 2},
        {"negative scale never split", 100000, -1, -100000, 0},
    };
    for (const Case& c : cases) {
        auto s = Drive({{"ControlMode", 2}, {"CRT_max", c.halfRange}, {"CRT_min", -c.halfRange},
                        {"Motor_transmission", c.transmission}},
                       {}, 65536);
        EXPECT_EQ(encode::CADIN(s.get()), 1);
        EXPECT_EQ(encode::SFTADIN(s.get()), 1);
        EXPECT_EQ(s->FindParameter("CADIN")->GetValueInInternalUnit(), c.cadin) << c.label;
        EXPECT_EQ(s->FindParameter("SFTADIN")->GetValueInInternalUnit(), c.sftadin) << c.label;
    }
}

TEST_F(EncodeControlLoops, Ad5offTakesTheLowerBoundOfTheControlMode)
{
    struct Case {
        double mode;
        int result;
        double expected;
    } const cases[] = {{0, 1, -1}, {1, 1, -2}, {2, 1, -3}, {1.9, 1, -2}, {3, 0, kUntouched}, {-1, 0, kUntouched}};
    for (const Case& c : cases) {
        auto s = Drive({{"ControlMode", c.mode}});
        EXPECT_EQ(encode::AD5OFF(s.get()), c.result) << c.mode;
        EXPECT_EQ(Value(s.get(), "AD5OFF"), c.expected) << c.mode;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, Ad5offUsesInternalUnit)
{
    const std::string params =
        R"("DSP_freq":{"value":6e7},"PWMPER":{"value":1500},"SLPER":{"value":10},"MECRESL":{"value":10000},)"
        R"("Motor_transmission":{"value":1},"Load_transmission":{"value":1},"ImaxPS":{"value":20,"unit":"A"},)"
        R"("ControlMode":{"value":2},"POS_min":{"value":0},"SPD_min":{"value":0},)"
        R"("CRT_min":{"value":-5,"unit":"A"},"AD5OFF":{"value":0})";
    auto s = zektest::SetupFromJson(zektest::Doc(params));
    EXPECT_EQ(encode::AD5OFF(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(s.get(), "AD5OFF"), -5 * 1638.0);
}

TEST_F(EncodeControlLoops, DeadBandLevels)
{
    CheckFormulas({
        {"LEVEL_AD5 10 V", encode::LEVEL_AD5, "LEVEL_AD5", {}, 6552},
        {"LEVEL_AD5 +-10 V", encode::LEVEL_AD5, "LEVEL_AD5", {{"AnalogueInputsRange", 20}, {"DeadBand_Point", -10}}, 0},
        {"LEVEL_AD5 +-10 V centre", encode::LEVEL_AD5, "LEVEL_AD5",
         {{"AnalogueInputsRange", 20}, {"DeadBand_Point", 0}}, 32760},
        {"LEVEL_AD5 range 20.5 truncates to 20", encode::LEVEL_AD5, "LEVEL_AD5",
         {{"AnalogueInputsRange", 20.5}, {"DeadBand_Point", 0}}, 65520 * 10 / 20.5},
        {"LEVEL_AD5 5 V", encode::LEVEL_AD5, "LEVEL_AD5", {{"AnalogueInputsRange", 5}}, 13104},
        {"E_LEVEL_AD5", encode::E_LEVEL_AD5, "E_LEVEL_AD5", {}, 3276},
    });
}

// ---------------------------------------------------------------------------------------------
// Failure rule and write footprint of every step

struct StepSpec {
    const char* name;
    Step step;
    std::vector<const char*> needs;   // ordinary lookups; the first is the register written
    std::vector<const char*> writes;  // registers changed on success
};

const std::vector<StepSpec>& Steps()
{
    static const std::vector<StepSpec> steps = {
        {"SATPWM", encode::SATPWM, {"SATPWM", "CurrentMeasurementType", "PWM_freq"}, {"SATPWM"}},
        {"SFTKPI", encode::SFTKPI, {"SFTKPI", "Kp_C_scl"}, {"SFTKPI"}},
        {"KPI", encode::KPI, {"KPI", "Kp_C_scl"}, {"KPI"}},
        {"SFTKII", encode::SFTKII, {"SFTKII", "Ki_C_scl"}, {"SFTKII"}},
        {"KII", encode::KII, {"KII", "Ki_C_scl"}, {"KII"}},
        {"FILTERQ", encode::FILTERQ, {"FILTERQ", "isUseFilterOnCrtCtrlOutput", "FilterOnCurrentControllerOutput"},
         {"FILTERQ"}},
        {"FFL", encode::FFL, {"FFL", "isCompensateGravitationalLoads", "OffsetCurrent"}, {"FFL"}},
        {"SFTKPS", encode::SFTKPS, {"SFTKPS", "Kp_S_scl"}, {"SFTKPS"}},
        {"KPS", encode::KPS, {"KPS", "Kp_S_scl"}, {"KPS"}},
        {"SFTKIS", encode::SFTKIS, {"SFTKIS", "Ki_S_scl"}, {"SFTKIS"}},
        {"KIS", encode::KIS, {"KIS", "Ki_S_scl"}, {"KIS"}},
        {"IMAXS", encode::IMAXS, {"IMAXS", "IPSatS", "IlimPS"}, {"IMAXS"}},
        {"SATS", encode::SATS, {"SATS", "IlimPS"}, {"SATS"}},
        {"SFTKPP", encode::SFTKPP, {"SFTKPP", "Kp_P_scl"}, {"SFTKPP"}},
        {"KPP", encode::KPP, {"KPP", "Kp_P_scl"}, {"KPP"}},
        {"SFTKIP", encode::SFTKIP, {"SFTKIP", "Ki_P_scl"}, {"SFTKIP"}},
        {"KIP", encode::KIP, {"KIP", "Ki_P_scl"}, {"KIP"}},
        {"SFTKDP", encode::SFTKDP, {"SFTKDP", "Kd_P_scl"}, {"SFTKDP"}},
        {"KDP", encode::KDP, {"KDP", "Kd_P_scl"}, {"KDP"}},
        {"KDFP", encode::KDFP, {"KDFP", "filter_D"}, {"KDFP"}},
        {"SFTKPTHT", encode::SFTKPTHT, {"SFTKPTHT", "Kp_T_scl"}, {"SFTKPTHT"}},
        {"KPTHT", encode::KPTHT, {"Kp_T_scl"}, {"KPTHT"}},
        {"SFTKITHT", encode::SFTKITHT, {"SFTKITHT", "Ki_T_scl"}, {"SFTKITHT"}},
        {"KITHT", encode::KITHT, {"KITHT", "Ki_T_scl"}, {"KITHT"}},
        {"IMAXP", encode::IMAXP, {"IMAXP", "ControlMode", "PositionControlType", "IPSatP", "IlimPS"}, {"IMAXP"}},
        {"SATP", encode::SATP, {"SATP", "ControlMode", "PositionControlType", "Limit_Speed", "IlimPS"}, {"SATP"}},
        {"SFTSFFW", encode::SFTSFFW, {"SFTSFFW", "KFFS_scl"}, {"SFTSFFW"}},
        {"KFFS", encode::KFFS, {"KFFS", "KFFS_scl"}, {"KFFS"}},
        {"SFTAFFW", encode::SFTAFFW, {"SFTAFFW", "KFFA_scl"}, {"SFTAFFW"}},
        {"SFTKFF", encode::SFTKFF, {"SFTKFF", "KFFA_scl"}, {"SFTKFF"}},
        {"KFFA", encode::KFFA, {"KFFA", "KFFA_scl"}, {"KFFA"}},
        {"ERRMAX", encode::ERRMAX, {"ERRMAX", "ERR_position"}, {"ERRMAX"}},
        {"TERRMAX", encode::TERRMAX, {"TERRMAX", "isPositionControlError", "time_ERR_pos", "Ts_S"}, {"TERRMAX"}},
        {"SERRMAX", encode::SERRMAX, {"SERRMAX", "ERR_speed"}, {"SERRMAX"}},
        {"TSERRMAX", encode::TSERRMAX, {"TSERRMAX", "isSpeedControlError", "time_ERR_spd", "Ts_S"}, {"TSERRMAX"}},
        {"SWNEGLS", encode::SWNEGLS, {"SWNEGLS", "SWPOSLS", "Negative_SWLS"}, {"SWNEGLS"}},
        {"SWPOSLS", encode::SWPOSLS, {"SWPOSLS", "SWNEGLS", "Positive_SWLS"}, {"SWPOSLS"}},
        {"CACC", encode::CACC, {"CACC", "ErefMaxAcceleration"}, {"CACC"}},
        {"CSPD", encode::CSPD, {"CSPD", "ErefMaxSpeed"}, {"CSPD"}},
        {"CADIN", encode::CADIN, {"CADIN"}, {"CADIN"}},
        {"SFTADIN", encode::SFTADIN, {"SFTADIN"}, {"SFTADIN"}},
        {"AD5OFF", encode::AD5OFF, {"AD5OFF", "ControlMode", "POS_min", "SPD_min", "CRT_min"}, {"AD5OFF"}},
        {"FILTER1", encode::FILTER1, {"FILTER1", "UseFilter", "filter", "Ts_S"}, {"FILTER1"}},
        {"LEVEL_AD5", encode::LEVEL_AD5, {"LEVEL_AD5", "DeadBand_Point", "AnalogueInputsRange"}, {"LEVEL_AD5"}},
        {"E_LEVEL_AD5", encode::E_LEVEL_AD5, {"E_LEVEL_AD5", "DeadBand_Range", "AnalogueInputsRange"},
         {"E_LEVEL_AD5"}},
        {"GEAR", encode::GEAR, {"GEAR", "GEARSLAVE", "GEARMASTER"}, {"GEAR"}},
        {"T1ONA", encode::T1ONA, {"T1ONA", "time_AB", "UPGRADE"}, {"T1ONA"}},
        {"T1ONB", encode::T1ONB, {"T1ONB", "time_AB", "UPGRADE"}, {"T1ONB"}},
        {"REFTST", encode::REFTST,
         {"REFTST", "StartCurrent", "In", "R", "MotorPhaseConnectionType", "Vdc", "PWM_freq"}, {"REFTST"}},
        {"RINCTST", encode::RINCTST,
         {"RINCTST", "StartCurrent", "In", "R", "MotorPhaseConnectionType", "Vdc", "PWM_freq"}, {"RINCTST"}},
        {"POSOKLIM_FC", encode::POSOKLIM_FC, {"POSOKLIM_FC", "FreezeControl_errband"}, {"POSOKLIM_FC"}},
        {"TONPOSOK_FC", encode::TONPOSOK_FC, {"TONPOSOK_FC", "FreezeControl_time", "Ts_S"}, {"TONPOSOK_FC"}},
        {"SATID", encode::SATID, {}, {"SATID"}},
        {"SATIQ", encode::SATIQ, {}, {"SATIQ"}},
        {"KFFL", encode::KFFL, {}, {"KFFL"}},
    };
    return steps;
}

TEST_F(EncodeControlLoops, EveryStepWritesOnlyItsRegister)
{
    for (const StepSpec& st : Steps()) {
        auto s = Drive({{"SATPWM", 1}});
        const auto before = Snapshot(s.get());
        EXPECT_EQ(st.step(s.get()), 1) << st.name;
        const std::set<std::string> allowed(st.writes.begin(), st.writes.end());
        for (const std::string& n : Changed(before, Snapshot(s.get()))) EXPECT_TRUE(allowed.count(n)) << st.name << " wrote " << n;
        for (const char* w : st.writes) EXPECT_NE(Value(s.get(), w), kUntouched) << st.name;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeControlLoops, MissingParameterMakesTheStepWriteNothing)
{
    for (const StepSpec& st : Steps()) {
        for (const char* missing : st.needs) {
            rurorade::ErrorSink().Clear();
            auto s = Drive({}, {missing});
            const auto before = Snapshot(s.get());
            EXPECT_EQ(st.step(s.get()), 0) << st.name << " without " << missing;
            EXPECT_TRUE(Changed(before, Snapshot(s.get())).empty()) << st.name << " without " << missing;
            EXPECT_TRUE(WasReported(missing)) << st.name << " without " << missing;
        }
    }
}

TEST_F(EncodeControlLoops, BiquadFiltersRuns)
{
    auto s = Drive();
    EXPECT_EQ(encode::BiquadFilters(s.get()), 1);
}

}  // namespace
