#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <map>
#include <string>
#include <vector>

#include "engine/decode_control_loops.h"
#include "engine/unit_scaling.h"
#include "engine_fixture.h"

namespace {

// Sample drive: Ts_C 50 us, Ts_S 500 us, 1638 counts/A, 10000 counts/rev, sinusoidal commutation,
// dead time 72 clocks at 60 MHz, PWM 20 kHz.
constexpr double kTs = 5e-4;
constexpr double kCs = 1638;
const double kLps = 10000 / (2 * kPi);
const double kLss = kTs * 10000 / (2 * kPi);
const double kLas = 2500 * 2 * kTs * kTs / kPi;
const double kKuf = 65534 / (1.1 * 48);
const double kDeadTime = 72 * 1.0 / 60e6;

// Value, range and unit every decoded parameter starts with, so that "unchanged" is visible.
constexpr double kOld = 7.25, kOldMin = -1000, kOldMax = 1000;

using Step = int (*)(CMC_Setup*);

struct Entry {
    double value;
    std::string unit;
    bool ranged = false;
};

std::map<std::string, Entry> SampleParameters()
{
    std::map<std::string, Entry> m = {
        {"DSP_freq", {60e6, "Hz"}}, {"PWMPER", {1500, ""}}, {"CLPER", {1, ""}}, {"SLPER", {10, ""}},
        {"Ts_S", {5e-4, "s"}}, {"ImaxPS", {20, "A"}}, {"ImaxM", {15, "A"}}, {"In", {5, "A"}},
        {"Vdc", {48, "V "}}, {"VdcMaxMeasurable", {111.8, "V "}}, {"CommutationMethod", {1, ""}},
        {"MECRESL", {10000, ""}}, {"No_encoder_lines", {2500, ""}}, {"Motor_transmission", {1, "rot"}},
        {"Load_transmission", {1, "rot"}}, {"DBT", {18504, ""}}, {"DBTPC", {100, "%"}}, {"R", {0.9, "Ohm"}},
        {"MotorPhaseConnectionType", {0, ""}}, {"K", {0.1, "Nm/A"}}, {"Jt", {1.2e-4, "kg*m^2"}},
        {"Jm", {6e-5, "kg*m^2"}}, {"ControlMode", {0, ""}}, {"PositionControlType", {1, ""}}, {"ACR", {0, ""}},
        {"AnalogueInputsRange", {10, "V"}}, {"UPGRADE", {512, ""}},
        // Registers.
        {"KFFA", {16383.5, ""}}, {"SFTKFF", {0, ""}}, {"SFTAFFW", {0, ""}}, {"KDFP", {3276.7, ""}},
        {"FFL", {0, ""}}, {"FILTERQ", {32767, ""}}, {"SATS", {16387, ""}}, {"SATP", {24577, ""}},
        {"IMAXS", {18025, ""}}, {"IMAXP", {24577, ""}}, {"REFTST", {4000, ""}}, {"TERRMAX", {200, ""}},
        {"ERRMAX", {1000, ""}}, {"TSERRMAX", {400, ""}}, {"SERRMAX", {40, ""}}, {"POSOKLIM_FC", {10, ""}},
        {"TONPOSOK_FC", {20, ""}}, {"SWPOSLS", {1e5, ""}}, {"SWNEGLS", {-1e5, ""}}, {"CSPD", {250, ""}},
        {"CACC", {4, ""}}, {"T1ONA", {100, ""}}, {"LEVEL_AD5", {0, ""}}, {"E_LEVEL_AD5", {655.2, ""}},
        {"FILTER1", {32767, ""}}, {"CADIN", {25000, ""}}, {"SFTADIN", {2, ""}}, {"AD5OFF", {-100000, ""}},
    };
    for (const char* reg : {"KPI", "KII", "KPS", "KIS", "KPP", "KIP", "KDP", "KPTHT", "KITHT", "KFFS"})
        m[reg] = {16383.5, ""};
    for (const char* reg : {"SFTKPI", "SFTKII", "SFTKPS", "SFTKIS", "SFTKPP", "SFTKIP", "SFTKDP", "SFTKPTHT",
                            "SFTKITHT", "SFTSFFW"})
        m[reg] = {0, ""};
    const std::map<std::string, std::string> decoded = {
        {"Kp_C_scl", ""}, {"Ki_C_scl", ""}, {"Kp_S_scl", ""}, {"Ki_S_scl", ""}, {"Kp_P_scl", ""},
        {"Ki_P_scl", ""}, {"Kd_P_scl", ""}, {"Kp_T_scl", ""}, {"Ki_T_scl", ""}, {"KFFS_scl", ""},
        {"KFFA_scl", ""}, {"filter_D", ""}, {"isCompensateGravitationalLoads", ""}, {"OffsetCurrent", "A"},
        {"Jload_over_J", ""}, {"isUseFilterOnCrtCtrlOutput", ""}, {"FilterOnCurrentControllerOutput", "rad/s"},
        {"IlimPS", "A"}, {"IPSatS", "%"}, {"IPSatP", "%"}, {"TestLimitCurrent", "A"}, {"Limit_Speed", "rad/s"},
        {"TestMaxSpeed", "rad/s"}, {"StartCurrent", "%"}, {"TestStartCurrent", "%"},
        {"isPositionControlError", ""}, {"ERR_position", "rad"}, {"time_ERR_pos", "s"},
        {"isSpeedControlError", ""}, {"ERR_speed", "rad/s"}, {"time_ERR_spd", "s"},
        {"FreezeControl_errband", "rad"}, {"FreezeControl_time", "s"}, {"Negative_SWLS", "rad"},
        {"Positive_SWLS", "rad"}, {"ErefMaxSpeed", "rad/s"}, {"ErefMaxAcceleration", "rad/s^2"},
        {"time_AB", "s"}, {"DeadBand_Point", "V"}, {"DeadBand_Range", "V"}, {"UseFilter", ""},
        {"filter", "rad/s"}, {"POS_min", "rad"}, {"POS_max", "rad"}, {"SPD_min", "rad/s"},
        {"SPD_max", "rad/s"}, {"CRT_min", "A"}, {"CRT_max", "A"},
    };
    for (const auto& [name, unit] : decoded) m[name] = {kOld, unit, true};
    return m;
}

class DecodeControlLoops : public zektest::EngineTest {
protected:
    std::map<std::string, Entry> params = SampleParameters();
    std::string options;
    unsigned adcMax = 65520;

    // Changes a value and keeps the unit.
    void Set(const std::string& name, double value) { params[name].value = value; }

    std::unique_ptr<CMC_Setup> Build()
    {
        std::string body;
        char buf[256];
        for (const auto& [name, e] : params) {
            if (e.ranged)
                std::snprintf(buf, sizeof buf, R"("%s":{"value":%.17g,"unit":"%s","min":%.17g,"max":%.17g},)",
                              name.c_str(), e.value, e.unit.c_str(), kOldMin, kOldMax);
            else
                std::snprintf(buf, sizeof buf, R"("%s":{"value":%.17g,"unit":"%s"},)", name.c_str(), e.value,
                              e.unit.c_str());
            body += buf;
        }
        body.pop_back();
        return zektest::SetupFromJson(zektest::Doc(body, R"("CADIN":{"unit":""})", options, adcMax));
    }

    static double Value(CMC_Setup* s, const char* name) { return s->FindParameter(name)->GetValueInBaseUnit(); }
    static double Min(CMC_Setup* s, const char* name) { return s->FindParameter(name)->GetMinInBaseUnit(); }
    static double Max(CMC_Setup* s, const char* name) { return s->FindParameter(name)->GetMaxInBaseUnit(); }

    static void ExpectUnchanged(CMC_Setup* s, const char* name)
    {
        EXPECT_EQ(Value(s, name), kOld) << name;
        EXPECT_EQ(Min(s, name), kOldMin) << name;
        EXPECT_EQ(Max(s, name), kOldMax) << name;
    }

    bool WasReported(const std::string& name) const
    {
        for (const std::string& message : Reported())
            if (message.find('"' + name + '"') != std::string::npos) return true;
        return false;
    }
};

using Inputs = std::vector<std::pair<const char*, double>>;

// One decoding on the sample drive with some inputs changed: the range and the value it must give.
struct Case {
    const char* label;
    Step step;
    const char* target;
    Inputs inputs;
    double min, max, value;
};

class DecodeSteps : public DecodeControlLoops {
protected:
    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            params = SampleParameters();
            for (const auto& [name, value] : c.inputs) Set(name, value);
            auto s = Build();
            EXPECT_EQ(c.step(s.get()), 1) << c.label;
            EXPECT_DOUBLE_EQ(Min(s.get(), c.target), c.min) << c.label;
            EXPECT_DOUBLE_EQ(Max(s.get(), c.target), c.max) << c.label;
            EXPECT_DOUBLE_EQ(Value(s.get(), c.target), c.value) << c.label;
        }
        EXPECT_TRUE(Reported().empty());
    }
};

TEST(DecodeGain, InverseOfTheMantissaShiftSplit)
{
    EXPECT_EQ(decode::GainFromMantissaShift(32767, 0), 1.0);
    EXPECT_EQ(decode::GainFromMantissaShift(24575.25, 1), 1.5);
    EXPECT_EQ(decode::GainFromMantissaShift(32767, 2), 4.0);
    EXPECT_EQ(decode::GainFromMantissaShift(16383.5, 0), 0.5);
    EXPECT_EQ(decode::GainFromMantissaShift(0, 5), 0.0);
    EXPECT_EQ(decode::GainFromMantissaShift(5000 * 32767 / 8192.0, 13), 5000.0);
}

struct GainRow {
    Step step;
    const char* gain;
    const char* mantissa;
    const char* shift;
};
const GainRow kGains[] = {
    {decode::Kp_C_scl, "Kp_C_scl", "KPI", "SFTKPI"},     {decode::Ki_C_scl, "Ki_C_scl", "KII", "SFTKII"},
    {decode::Kp_S_scl, "Kp_S_scl", "KPS", "SFTKPS"},     {decode::Ki_S_scl, "Ki_S_scl", "KIS", "SFTKIS"},
    {decode::Kp_P_scl, "Kp_P_scl", "KPP", "SFTKPP"},     {decode::Ki_P_scl, "Ki_P_scl", "KIP", "SFTKIP"},
    {decode::Kd_P_scl, "Kd_P_scl", "KDP", "SFTKDP"},     {decode::Kp_T_scl, "Kp_T_scl", "KPTHT", "SFTKPTHT"},
    {decode::Ki_T_scl, "Ki_T_scl", "KITHT", "SFTKITHT"}, {decode::KFFS_scl, "KFFS_scl", "KFFS", "SFTSFFW"},
};

TEST_F(DecodeSteps, EachScaledGainFromItsOwnMantissaAndShift)
{
    for (const GainRow& g : kGains) {
        // Every other gain register holds 0.5; only this pair gives 1.5 and 5.
        Check({{g.gain, g.step, g.gain, {{g.mantissa, 24575.25}, {g.shift, 1}}, 0, 16384, 1.5},
               {g.gain, g.step, g.gain, {{g.mantissa, 20479.375}, {g.shift, 3}}, 0, 16384, 5}});
    }
}

TEST_F(DecodeSteps, EdgeCaseGains)
{
    Check({{"KPI 24575.25, SFTKPI 1", decode::Kp_C_scl, "Kp_C_scl", {{"KPI", 24575.25}, {"SFTKPI", 1}}, 0, 16384, 1.5},
           {"KFFA split shift 11 + 2", decode::KFFA_scl, "KFFA_scl",
            {{"KFFA", 19999.3896484375}, {"SFTAFFW", 11}, {"SFTKFF", 2}}, 0, 4194304, 5000},
           {"KFFA without shift", decode::KFFA_scl, "KFFA_scl", {}, 0, 4194304, 0.5}});
}

TEST_F(DecodeSteps, ControllerParameters)
{
    const double nyquistC = 60e6 * 0.25 / 1 / 1500;  // 0.5 / Ts_C
    Check({
        {"filter_D", decode::filter_D, "filter_D", {{"KDFP", 3276.7}}, 0, 1, 3276.7 / 32767},
        {"FFL 0: no gravity compensation", decode::isCompensateGravitationalLoads, "isCompensateGravitationalLoads",
         {{"FFL", 0}}, 0, 1, 0},
        {"FFL negative", decode::isCompensateGravitationalLoads, "isCompensateGravitationalLoads", {{"FFL", -3}}, 0,
         1, 1},
        {"FFL tiny", decode::isCompensateGravitationalLoads, "isCompensateGravitationalLoads", {{"FFL", 1e-300}}, 0,
         1, 1},
        {"OffsetCurrent", decode::OffsetCurrent, "OffsetCurrent", {{"FFL", 819}}, -5, 5, 0.5},
        {"Jload_over_J", decode::Jload_over_J, "Jload_over_J", {}, 0, 100, 1.2e-4 / 6e-5 - 1},
        {"FILTERQ 32767: filter off", decode::isUseFilterOnCrtCtrlOutput, "isUseFilterOnCrtCtrlOutput",
         {{"FILTERQ", 32767}}, 0, 1, 0},
        {"FILTERQ 32766.5: filter on", decode::isUseFilterOnCrtCtrlOutput, "isUseFilterOnCrtCtrlOutput",
         {{"FILTERQ", 32766.5}}, 0, 1, 1},
        {"FILTERQ 32767: 5000", decode::FilterOnCurrentControllerOutput, "FilterOnCurrentControllerOutput",
         {{"FILTERQ", 32767}}, 0, nyquistC, 5000},
        {"FILTERQ 16383", decode::FilterOnCurrentControllerOutput, "FilterOnCurrentControllerOutput",
         {{"FILTERQ", 16383}}, 0, nyquistC, std::log(1 - 16383 / 32767.0) * 60e6 / 1 * (-0.5) / 1500},
        {"FILTERQ at CLPER 2", decode::FilterOnCurrentControllerOutput, "FilterOnCurrentControllerOutput",
         {{"FILTERQ", 16383}, {"CLPER", 2}}, 0, nyquistC / 2, std::log(1 - 16383 / 32767.0) * 60e6 / 2 * (-0.5) / 1500},
    });
}

TEST_F(DecodeSteps, CurrentLimitsAndSaturations)
{
    // SATS 16387 is 10 A, SATP 24577 is 5 A; the smaller current limit is ImaxM 15 A.
    Check({
        {"ACR bit 9: SATS", decode::IlimPS, "IlimPS", {{"ACR", 512}}, 0.001, 15, 10},
        {"ACR bit 9 clear: SATP", decode::IlimPS, "IlimPS", {{"ACR", 0xFDFF}}, 0.001, 15, 5},
        {"ACR 512.9 truncated", decode::IlimPS, "IlimPS", {{"ACR", 512.9}}, 0.001, 15, 10},
        {"drive limit smaller", decode::IlimPS, "IlimPS", {{"ImaxPS", 12}, {"ACR", 0}}, 0.001, 12, 8190 / (65520 / 24.0)},
        {"test limit, bit 9", decode::TestLimitCurrent, "TestLimitCurrent", {{"ACR", 0x0200}}, 0, 15, 10},
        {"test limit, bit 9 clear", decode::TestLimitCurrent, "TestLimitCurrent", {{"ACR", 0x0100}}, 0, 15, 5},
        {"IPSatS", decode::IPSatS, "IPSatS", {{"IMAXS", 18025}, {"SATS", 16387}}, 0, 100, 90},
        {"IPSatP", decode::IPSatP, "IPSatP", {{"IMAXP", 28672}, {"SATP", 24577}}, 0, 100, 50},
        {"TestMaxSpeed", decode::TestMaxSpeed, "TestMaxSpeed", {}, 0, 48 / 0.1, 48 / 0.1 / 3},
        {"Limit_Speed in position type 1", decode::Limit_Speed, "Limit_Speed", {{"SATP", 24577}}, 0, 48 / 0.1,
         8190 / kLss},
    });
}

TEST_F(DecodeControlLoops, LimitSpeedOnlyInPositionControlThroughTheSpeedLoop)
{
    const Inputs others[] = {{{"PositionControlType", 0}},
                             {{"ControlMode", 1}},
                             {{"ControlMode", 0.5}},
                             {{"PositionControlType", 0.999999}}};
    for (const Inputs& inputs : others) {
        params = SampleParameters();
        for (const auto& [name, value] : inputs) Set(name, value);
        // The registers of the speed limit are not even looked up.
        params.erase("SATP");
        params.erase("K");
        auto s = Build();
        EXPECT_EQ(decode::Limit_Speed(s.get()), 1);
        ExpectUnchanged(s.get(), "Limit_Speed");
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeControlLoops, IlimPSLooksUpOnlyTheSelectedSaturationAfterItsRange)
{
    params.erase("SATS");
    Set("ACR", 0);
    auto s = Build();
    EXPECT_EQ(decode::IlimPS(s.get()), 1);  // SATP selected: SATS not needed
    EXPECT_DOUBLE_EQ(Value(s.get(), "IlimPS"), 5);
    EXPECT_TRUE(Reported().empty());

    Set("ACR", 512);
    s = Build();
    EXPECT_EQ(decode::IlimPS(s.get()), 0);
    EXPECT_TRUE(WasReported("SATS"));
    EXPECT_EQ(Value(s.get(), "IlimPS"), kOld);
    EXPECT_EQ(Min(s.get(), "IlimPS"), 0.001);  // the range was set before the lookup
    EXPECT_EQ(Max(s.get(), "IlimPS"), 15);

    // The test limit needs both saturations whatever ACR selects.
    EXPECT_EQ(decode::TestLimitCurrent(s.get()), 0);
    ExpectUnchanged(s.get(), "TestLimitCurrent");
}

TEST_F(DecodeControlLoops, StartCurrentsInvertTheStartVoltage)
{
    struct Row {
        const char* label;
        double connection, commutation, rPrime, kuf;
    } rows[] = {
        {"star", 0, 1, 0.9, kKuf},
        {"delta divides R by 3", 1, 1, 0.3, kKuf},
        {"0.5 is not delta", 0.5, 1, 0.9, kKuf},
        {"trapezoidal command scale", 0, 0, 0.9, 32767 / 48.0},
    };
    for (const Row& r : rows) {
        for (const auto& [step, name] : {std::pair{&decode::StartCurrent, "StartCurrent"},
                                         std::pair{&decode::TestStartCurrent, "TestStartCurrent"}}) {
            params = SampleParameters();
            Set("MotorPhaseConnectionType", r.connection);
            Set("CommutationMethod", r.commutation);
            // 50 % of In through R', plus the dead-time loss at 20 kHz.
            Set("REFTST", r.kuf * 50 * 5 * r.rPrime / 100 + r.kuf * 48 * 20000 * kDeadTime);
            auto s = Build();
            EXPECT_EQ(step(s.get()), 1) << r.label;
            EXPECT_NEAR(Value(s.get(), name), 50, 1e-9) << r.label << " " << name;
            EXPECT_EQ(Min(s.get(), name), 0);
            EXPECT_EQ(Max(s.get(), name), 300);
        }
    }
    // Only the dead-time loss: exactly 0 %.
    params = SampleParameters();
    Set("REFTST", kKuf * kDeadTime * 20000 * 48);
    auto s = Build();
    EXPECT_EQ(decode::StartCurrent(s.get()), 1);
    EXPECT_EQ(Value(s.get(), "StartCurrent"), 0);
}

TEST_F(DecodeSteps, FollowingErrorsAndFreezeControl)
{
    // Ts_S 1 ms differs from the register period (500 us) where the register period is used.
    Check({
        {"TERRMAX 65535: check off", decode::isPositionControlError, "isPositionControlError", {{"TERRMAX", 65535}},
         0, 1, 0},
        {"TERRMAX 65534: check on", decode::isPositionControlError, "isPositionControlError", {{"TERRMAX", 65534}},
         0, 1, 1},
        {"ERR_position", decode::ERR_position, "ERR_position", {}, 0, 32767 / kLps, 1000 / kLps},
        {"time_ERR_pos", decode::time_ERR_pos, "time_ERR_pos", {{"Ts_S", 1e-3}}, 0.001, 32767 * kTs, 200 * kTs},
        {"TERRMAX 65535 above the range", decode::time_ERR_pos, "time_ERR_pos", {{"TERRMAX", 65535}}, 0.001,
         32767 * kTs, 65535 * kTs},
        {"TSERRMAX 65535: check off", decode::isSpeedControlError, "isSpeedControlError", {{"TSERRMAX", 65535}}, 0,
         1, 0},
        {"TSERRMAX 400: check on", decode::isSpeedControlError, "isSpeedControlError", {}, 0, 1, 1},
        {"ERR_speed", decode::ERR_speed, "ERR_speed", {}, 0.001, 32767 / kLss, 40 / kLss},
        {"time_ERR_spd", decode::time_ERR_spd, "time_ERR_spd", {{"Ts_S", 1e-3}}, 0.001, 32767 * kTs, 400 * kTs},
        {"FreezeControl_errband", decode::FreezeControl_errband, "FreezeControl_errband", {}, 0, 32767 / kLps,
         10 / kLps},
        {"FreezeControl_time uses Ts_S", decode::FreezeControl_time, "FreezeControl_time", {{"Ts_S", 1e-3}}, 0,
         1e-3 * 65535, 1e-3 * 20},
        {"negative transmission: magnitudes", decode::ERR_position, "ERR_position", {{"Motor_transmission", -2}}, 0,
         32767 / (2 * kLps), 1000 / (2 * kLps)},
    });
}

TEST_F(DecodeSteps, ReferenceGeneratorAndAlignmentTime)
{
    Check({
        {"ErefMaxSpeed", decode::ErefMaxSpeed, "ErefMaxSpeed", {}, 0, 32767 / kLss, 250 / kLss},
        {"ErefMaxAcceleration", decode::ErefMaxAcceleration, "ErefMaxAcceleration", {}, 0, 32767 / kLas, 4 / kLas},
        {"ErefMaxSpeed negative transmission", decode::ErefMaxSpeed, "ErefMaxSpeed", {{"Motor_transmission", -1}}, 0,
         32767 / kLss, 250 / kLss},
        {"UPGRADE bit 9: hundredths", decode::time_AB, "time_AB", {{"UPGRADE", 512}, {"T1ONA", 100}}, 0.01, 655.35, 1},
        {"bit 9 with others", decode::time_AB, "time_AB", {{"UPGRADE", 0x204}, {"T1ONA", 50}}, 0.01, 655.35, 0.5},
        {"bit 9 clear: T1ONA 65535 is 1 s", decode::time_AB, "time_AB", {{"UPGRADE", 0}, {"T1ONA", 65535}}, 0.01,
         1.0, 1.0},
        {"every bit but 9", decode::time_AB, "time_AB", {{"UPGRADE", 0xFDFF}, {"T1ONA", 6553.5}}, 0.01, 1.0, 0.1},
    });
}

TEST_F(DecodeControlLoops, SoftwareLimitSwitchesFollowTheSignOfThePositionScale)
{
    auto s = Build();
    EXPECT_EQ(decode::Negative_SWLS(s.get()), 1);
    EXPECT_EQ(decode::Positive_SWLS(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(s.get(), "Negative_SWLS"), -1e5 / kLps);
    EXPECT_DOUBLE_EQ(Value(s.get(), "Positive_SWLS"), 1e5 / kLps);
    EXPECT_DOUBLE_EQ(Min(s.get(), "Positive_SWLS"), -2147483648.0 / kLps);
    EXPECT_DOUBLE_EQ(Max(s.get(), "Positive_SWLS"), 2147483647.0 / kLps);

    // Negative scale: the encoding put -10 into SWPOSLS (10 |P|) and 20 into SWNEGLS (-20 |P|).
    Set("Motor_transmission", -1);
    Set("SWPOSLS", -10 * -kLps);
    Set("SWNEGLS", 20 * -kLps);
    s = Build();
    EXPECT_EQ(decode::Negative_SWLS(s.get()), 1);
    EXPECT_EQ(decode::Positive_SWLS(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(s.get(), "Negative_SWLS"), -10);
    EXPECT_DOUBLE_EQ(Value(s.get(), "Positive_SWLS"), 20);
    EXPECT_DOUBLE_EQ(Min(s.get(), "Negative_SWLS"), -2147483648.0 / kLps);
    EXPECT_DOUBLE_EQ(Max(s.get(), "Negative_SWLS"), 2147483647.0 / kLps);
}

TEST_F(DecodeSteps, AnalogueInputFilterAndDeadBand)
{
    adcMax = 65536;
    Check({
        {"FILTER1 32767: filter off", decode::UseFilter, "UseFilter", {{"FILTER1", 32767}}, 0, 1, 0},
        {"FILTER1 16383.5: filter on", decode::UseFilter, "UseFilter", {{"FILTER1", 16383.5}}, 0, 1, 1},
        {"FILTER1 32767: 50", decode::filter, "filter", {{"FILTER1", 32767}}, 0, 0.5 / kTs, 50},
        {"FILTER1 16383.5 at the register period", decode::filter, "filter", {{"FILTER1", 16383.5}, {"Ts_S", 1e-3}},
         0, 0.5 / kTs, -std::log(0.5) / kTs},
        {"+-10 V input, level 0", decode::DeadBand_Point, "DeadBand_Point",
         {{"AnalogueInputsRange", 20}, {"LEVEL_AD5", 0}}, -10, 10, -10},
        {"0..10 V input", decode::DeadBand_Point, "DeadBand_Point", {{"LEVEL_AD5", 6553.6}}, 0, 3.3, 1.0},
        {"0..5 V input", decode::DeadBand_Point, "DeadBand_Point",
         {{"AnalogueInputsRange", 5}, {"LEVEL_AD5", 65536}}, 0, 5, 5},
        {"range 20.5: value offset (truncated), range not", decode::DeadBand_Point, "DeadBand_Point",
         {{"AnalogueInputsRange", 20.5}, {"LEVEL_AD5", 32768}}, 0, 3.3, 20.5 * 32768 / 65536 - 10},
    });
}

TEST_F(DecodeControlLoops, DeadBandRangeTakesItsRangeFromTheDecodedPoint)
{
    adcMax = 65536;
    Set("LEVEL_AD5", 6553.6);  // point 1.0 V within [0, 3.3]
    Set("E_LEVEL_AD5", 655.36);
    for (const char* option : {"", R"("NewDeadBand":"1")"}) {
        options = option;
        auto s = Build();
        ASSERT_EQ(decode::DeadBand_Point(s.get()), 1);
        EXPECT_EQ(decode::DeadBand_Range(s.get()), 1);
        EXPECT_DOUBLE_EQ(Value(s.get(), "DeadBand_Range"), 0.1);
        EXPECT_EQ(Min(s.get(), "DeadBand_Range"), 0);
        EXPECT_DOUBLE_EQ(Max(s.get(), "DeadBand_Range"), options.empty() ? 1.0 : 3.3) << option;
    }
}

TEST_F(DecodeControlLoops, AnalogueReferenceRangesOfAllModesFromOneScaling)
{
    // adcMax 2^16: POS_max = AD5OFF + 2 * CADIN * 2^SFTADIN = -100000 + 200000 counts.
    adcMax = 65536;
    const double cs = 65536 / 40.0;
    for (double mode : {0.0, 1.0, 2.0}) {
        Set("ControlMode", mode);
        auto s = Build();
        CMC_Setup* p = s.get();
        for (Step step : {decode::POS_min, decode::POS_max, decode::SPD_min, decode::SPD_max, decode::CRT_min,
                          decode::CRT_max})
            EXPECT_EQ(step(p), 1);
        EXPECT_DOUBLE_EQ(Value(p, "POS_min"), -100000 / kLps);
        EXPECT_DOUBLE_EQ(Value(p, "POS_max"), 100000 / kLps);
        EXPECT_DOUBLE_EQ(Value(p, "SPD_min"), -100000 / kLss);
        EXPECT_DOUBLE_EQ(Value(p, "SPD_max"), 100000 / kLss);
        EXPECT_DOUBLE_EQ(Value(p, "CRT_min"), -100000 / cs);
        EXPECT_DOUBLE_EQ(Value(p, "CRT_max"), 100000 / cs);
        // Minimum rows see the partner's old value, maximum rows the minimum just decoded.
        EXPECT_DOUBLE_EQ(Min(p, "POS_min"), -32767 / kLps);
        EXPECT_EQ(Max(p, "POS_min"), kOld);
        EXPECT_DOUBLE_EQ(Min(p, "POS_max"), -100000 / kLps);
        EXPECT_DOUBLE_EQ(Max(p, "POS_max"), 32767 / kLps);
        EXPECT_EQ(Min(p, "SPD_min"), -kOld);  // Limit_Speed is the tighter bound
        EXPECT_DOUBLE_EQ(Min(p, "SPD_max"), -100000 / kLss);
        EXPECT_EQ(Max(p, "SPD_max"), kOld);
        EXPECT_EQ(Min(p, "CRT_min"), kOldMin);  // no range of its own
        EXPECT_EQ(Max(p, "CRT_min"), kOldMax);
        EXPECT_DOUBLE_EQ(Min(p, "CRT_max"), -100000 / cs);
        EXPECT_EQ(Max(p, "CRT_max"), 15);
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeControlLoops, AnalogueReferenceWithANegativeScale)
{
    // The encoding keeps a negative scale unsplit: CADIN = A < 0, SFTADIN 0; s = -1.
    adcMax = 65536;
    Set("Motor_transmission", -1);
    Set("CADIN", -50000);
    Set("SFTADIN", 0);
    Set("AD5OFF", 100000);
    auto s = Build();
    EXPECT_EQ(decode::POS_max(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(s.get(), "POS_max"), 200000 / kLps);
    EXPECT_EQ(decode::SPD_max(s.get()), 1);
    EXPECT_DOUBLE_EQ(Value(s.get(), "SPD_max"), 200000 / kLss);
}

struct Needs {
    Step step;
    const char* target;
    std::vector<const char*> names;
};

std::vector<Needs> AllSteps()
{
    std::vector<Needs> steps;
    for (const GainRow& g : kGains) steps.push_back({g.step, g.gain, {g.mantissa, g.shift}});
    const std::vector<Needs> others = {
        {decode::KFFA_scl, "KFFA_scl", {"KFFA", "SFTKFF", "SFTAFFW"}},
        {decode::filter_D, "filter_D", {"KDFP"}},
        {decode::isCompensateGravitationalLoads, "isCompensateGravitationalLoads", {"FFL"}},
        {decode::OffsetCurrent, "OffsetCurrent", {"FFL", "In"}},
        {decode::Jload_over_J, "Jload_over_J", {"Jt", "Jm"}},
        {decode::isUseFilterOnCrtCtrlOutput, "isUseFilterOnCrtCtrlOutput", {"FILTERQ"}},
        {decode::FilterOnCurrentControllerOutput, "FilterOnCurrentControllerOutput",
         {"FILTERQ", "DSP_freq", "CLPER", "PWMPER"}},
        {decode::IlimPS, "IlimPS", {"ACR", "ImaxPS", "ImaxM"}},
        {decode::IPSatS, "IPSatS", {"IMAXS", "SATS"}},
        {decode::IPSatP, "IPSatP", {"IMAXP", "SATP"}},
        {decode::TestLimitCurrent, "TestLimitCurrent", {"SATS", "SATP", "ACR", "ImaxPS", "ImaxM"}},
        {decode::Limit_Speed, "Limit_Speed", {"PositionControlType", "ControlMode", "SATP", "Vdc", "K"}},
        {decode::TestMaxSpeed, "TestMaxSpeed", {"Vdc", "K"}},
        {decode::StartCurrent, "StartCurrent",
         {"REFTST", "R", "In", "DSP_freq", "PWMPER", "Vdc", "MotorPhaseConnectionType"}},
        {decode::TestStartCurrent, "TestStartCurrent",
         {"REFTST", "R", "In", "DSP_freq", "PWMPER", "Vdc", "MotorPhaseConnectionType"}},
        {decode::isPositionControlError, "isPositionControlError", {"TERRMAX"}},
        {decode::ERR_position, "ERR_position", {"ERRMAX"}},
        {decode::time_ERR_pos, "time_ERR_pos", {"TERRMAX", "SLPER", "PWMPER", "DSP_freq"}},
        {decode::isSpeedControlError, "isSpeedControlError", {"TSERRMAX"}},
        {decode::ERR_speed, "ERR_speed", {"SERRMAX"}},
        {decode::time_ERR_spd, "time_ERR_spd", {"TSERRMAX", "SLPER", "PWMPER", "DSP_freq"}},
        {decode::FreezeControl_errband, "FreezeControl_errband", {"POSOKLIM_FC"}},
        {decode::FreezeControl_time, "FreezeControl_time", {"TONPOSOK_FC", "Ts_S"}},
        {decode::Negative_SWLS, "Negative_SWLS", {"SWPOSLS", "SWNEGLS"}},
        {decode::Positive_SWLS, "Positive_SWLS", {"SWPOSLS", "SWNEGLS"}},
        {decode::ErefMaxSpeed, "ErefMaxSpeed", {"CSPD"}},
        {decode::ErefMaxAcceleration, "ErefMaxAcceleration", {"CACC"}},
        {decode::time_AB, "time_AB", {"UPGRADE", "T1ONA"}},
        {decode::DeadBand_Point, "DeadBand_Point", {"LEVEL_AD5", "AnalogueInputsRange"}},
        {decode::DeadBand_Range, "DeadBand_Range", {"E_LEVEL_AD5", "AnalogueInputsRange"}},
        {decode::UseFilter, "UseFilter", {"FILTER1"}},
        {decode::filter, "filter", {"FILTER1", "DSP_freq", "SLPER", "PWMPER", "UseFilter"}},
        {decode::POS_min, "POS_min", {"AD5OFF"}},
        {decode::POS_max, "POS_max", {"CADIN", "SFTADIN", "AD5OFF"}},
        {decode::SPD_min, "SPD_min", {"AD5OFF"}},
        {decode::SPD_max, "SPD_max", {"CADIN", "SFTADIN", "AD5OFF"}},
        {decode::CRT_min, "CRT_min", {"AD5OFF"}},
        {decode::CRT_max, "CRT_max", {"CADIN", "SFTADIN", "AD5OFF"}},
    };
    steps.insert(steps.end(), others.begin(), others.end());
    return steps;
}

TEST_F(DecodeControlLoops, EveryStepDecodesTheSampleDrive)
{
    auto s = Build();
    for (const Needs& n : AllSteps()) EXPECT_EQ(n.step(s.get()), 1) << n.target;
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeControlLoops, AMissingParameterEndsTheStepWithNothingWritten)
{
    for (const Needs& n : AllSteps()) {
        std::vector<const char*> names = n.names;
        names.push_back(n.target);
        for (const char* missing : names) {
            params = SampleParameters();
            params.erase(missing);
            auto s = Build();
            rurorade::ErrorSink().Clear();
            EXPECT_EQ(n.step(s.get()), 0) << n.target << " without " << missing;
            EXPECT_TRUE(WasReported(missing)) << n.target << " without " << missing;
            EXPECT_EQ(Reported().size(), 1u) << n.target << " without " << missing;
            if (std::string(missing) != n.target) ExpectUnchanged(s.get(), n.target);
        }
    }
}

TEST_F(DecodeControlLoops, ARefusedRangeChangesNothing)
{
    const struct {
        Step step;
        const char* target;
        Inputs inputs;
    } rows[] = {
        {decode::OffsetCurrent, "OffsetCurrent", {{"In", -5}}},
        {decode::IlimPS, "IlimPS", {{"ImaxM", 0.0005}}},
        {decode::TestLimitCurrent, "TestLimitCurrent", {{"ImaxPS", -1}}},
        {decode::Limit_Speed, "Limit_Speed", {{"K", -0.1}}},
        {decode::TestMaxSpeed, "TestMaxSpeed", {{"K", -0.1}}},
        {decode::ERR_speed, "ERR_speed", {{"Motor_transmission", 1e8}}},
        {decode::time_ERR_pos, "time_ERR_pos", {{"SLPER", 0}}},
        {decode::time_ERR_spd, "time_ERR_spd", {{"SLPER", 0}}},
        {decode::FreezeControl_time, "FreezeControl_time", {{"Ts_S", -1e-3}}},
        {decode::FilterOnCurrentControllerOutput, "FilterOnCurrentControllerOutput", {{"CLPER", -1}}},
        {decode::filter, "filter", {{"PWMPER", -1}}},
    };
    for (const auto& r : rows) {
        params = SampleParameters();
        for (const auto& [name, value] : r.inputs) Set(name, value);
        auto s = Build();
        EXPECT_EQ(r.step(s.get()), 0) << r.target;
        ExpectUnchanged(s.get(), r.target);
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeSteps, ValuesOutsideTheNewRangeAreWrittenUnclamped)
{
    Check({
        {"gain above 16384", decode::Kp_C_scl, "Kp_C_scl", {{"KPI", 32767}, {"SFTKPI", 15}}, 0, 16384, 32768},
        {"IPSatS above 100", decode::IPSatS, "IPSatS", {{"IMAXS", 0}}, 0, 100, 32767.0 * 100 / 16380},
        {"offset above In", decode::OffsetCurrent, "OffsetCurrent", {{"FFL", 16380}}, -5, 5, 10},
        {"IlimPS above ImaxM", decode::IlimPS, "IlimPS", {{"SATP", 0}}, 0.001, 15, 32767 / kCs},
        {"ErefMaxSpeed above 16 bits", decode::ErefMaxSpeed, "ErefMaxSpeed", {{"CSPD", 40000}}, 0, 32767 / kLss,
         40000 / kLss},
        {"time_AB below 0.01", decode::time_AB, "time_AB", {{"UPGRADE", 0}, {"T1ONA", 0}}, 0.01, 1, 0},
        {"time_AB above 1", decode::time_AB, "time_AB", {{"UPGRADE", 0}, {"T1ONA", 131070}}, 0.01, 1, 2},
        {"Jt below Jm", decode::Jload_over_J, "Jload_over_J", {{"Jt", 3e-5}}, 0, 100, 3e-5 / 6e-5 - 1},
    });
}

TEST_F(DecodeControlLoops, DivisionsAreNotGuarded)
{
    Set("Jm", 0);
    Set("K", 0);
    Set("SATS", 32767);
    Set("MECRESL", 0);
    auto s = Build();
    CMC_Setup* p = s.get();
    EXPECT_EQ(decode::Jload_over_J(p), 1);
    EXPECT_EQ(Value(p, "Jload_over_J"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(decode::TestMaxSpeed(p), 1);
    EXPECT_EQ(Max(p, "TestMaxSpeed"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Value(p, "TestMaxSpeed"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(decode::IPSatS(p), 1);
    EXPECT_FALSE(std::isfinite(Value(p, "IPSatS")));
    EXPECT_EQ(decode::ERR_position(p), 1);
    EXPECT_FALSE(std::isfinite(Value(p, "ERR_position")));

    Set("SLPER", 0);
    Set("FILTER1", 16383.5);
    s = Build();
    EXPECT_EQ(decode::filter(s.get()), 1);
    EXPECT_EQ(Max(s.get(), "filter"), std::numeric_limits<double>::infinity());
    EXPECT_EQ(Value(s.get(), "filter"), std::numeric_limits<double>::infinity());
}

}  // namespace
