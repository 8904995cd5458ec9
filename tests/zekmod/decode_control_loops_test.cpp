#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <iterator>
#include <limits>
#include <map>
#include <span>
#include <sstream>
#include <string>
#include <vector>

#include "engine/decode_control_loops.h"
#include "engine/decode_drive_config.h"
#include "engine/unit_scaling.h"
#include "engine_fixture.h"

namespace {

// Sample drive: Ts_C 50 us, Ts_S 500 us, 1638 counts/A, 10000 counts/rev, sinusoidal commutation,
// dead time 72 clocks at 60 MHz, PWM 20 kHz.
constexpr double kTs = 5e-4, kCs = 1638;
const double kLps = 10000 / (2 * kPi), kLss = kTs * 10000 / (2 * kPi), kLas = 2500 * 2 * kTs * kTs / kPi;
const double kKuf = 65534 / (1.1 * 48), kDeadTime = 72 * 1.0 / 60e6;
constexpr double kInf = std::numeric_limits<double>::infinity();

// Value and range every decoded parameter starts with, so that "unchanged" is visible.
constexpr double kOld = 7.25, kOldMin = -1000, kOldMax = 1000;

// Every step: the parameter it writes, its unit, and what it looks up on the sample drive.
// The first ten are the gains from a mantissa and a shift register.
const struct StepRow {
    const char* name;
    const char* unit;
    const char* reads;
} kSteps[] = {
    {"Kp_C_scl", "", "KPI SFTKPI"}, {"Ki_C_scl", "", "KII SFTKII"}, {"Kp_S_scl", "", "KPS SFTKPS"},
    {"Ki_S_scl", "", "KIS SFTKIS"}, {"Kp_P_scl", "", "KPP SFTKPP"}, {"Ki_P_scl", "", "KIP SFTKIP"},
    {"Kd_P_scl", "", "KDP SFTKDP"}, {"Kp_T_scl", "", "KPTHT SFTKPTHT"}, {"Ki_T_scl", "", "KITHT SFTKITHT"},
    {"KFFS_scl", "", "KFFS SFTSFFW"}, {"KFFA_scl", "", "KFFA SFTKFF SFTAFFW"}, {"filter_D", "", "KDFP"},
    {"isCompensateGravitationalLoads", "", "FFL"}, {"OffsetCurrent", "A", "FFL In"}, {"Jload_over_J", "", "Jt Jm"},
    {"isUseFilterOnCrtCtrlOutput", "", "FILTERQ"},
    {"FilterOnCurrentControllerOutput", "rad/s", "FILTERQ DSP_freq CLPER PWMPER"},
    {"IlimPS", "A", "ACR ImaxPS ImaxM"}, {"IPSatS", "%", "IMAXS SATS"}, {"IPSatP", "%", "IMAXP SATP"},
    {"TestLimitCurrent", "A", "SATS SATP ACR ImaxPS ImaxM"},
    {"Limit_Speed", "rad/s", "PositionControlType ControlMode SATP Vdc K"}, {"TestMaxSpeed", "rad/s", "Vdc K"},
    {"StartCurrent", "%", "REFTST R In DSP_freq PWMPER Vdc MotorPhaseConnectionType"},
    {"TestStartCurrent", "%", "REFTST R In DSP_freq PWMPER Vdc MotorPhaseConnectionType"},
    {"isPositionControlError", "", "TERRMAX"}, {"ERR_position", "rad", "ERRMAX"},
    {"time_ERR_pos", "s", "TERRMAX SLPER PWMPER DSP_freq"}, {"isSpeedControlError", "", "TSERRMAX"},
    {"ERR_speed", "rad/s", "SERRMAX"}, {"time_ERR_spd", "s", "TSERRMAX SLPER PWMPER DSP_freq"},
    {"FreezeControl_errband", "rad", "POSOKLIM_FC"}, {"FreezeControl_time", "s", "TONPOSOK_FC Ts_S"},
    {"Negative_SWLS", "rad", "SWPOSLS SWNEGLS"}, {"Positive_SWLS", "rad", "SWPOSLS SWNEGLS"},
    {"ErefMaxSpeed", "rad/s", "CSPD"}, {"ErefMaxAcceleration", "rad/s^2", "CACC"}, {"time_AB", "s", "UPGRADE T1ONA"},
    {"DeadBand_Point", "V", "LEVEL_AD5 AnalogueInputsRange"}, {"DeadBand_Range", "V", "E_LEVEL_AD5 AnalogueInputsRange"},
    {"UseFilter", "", "FILTER1"}, {"filter", "rad/s", "FILTER1 DSP_freq SLPER PWMPER UseFilter"},
    {"POS_min", "rad", "AD5OFF"}, {"SPD_min", "rad/s", "AD5OFF"}, {"CRT_min", "A", "AD5OFF"},
    {"POS_max", "rad", "CADIN SFTADIN AD5OFF"}, {"SPD_max", "rad/s", "CADIN SFTADIN AD5OFF"},
    {"CRT_max", "A", "CADIN SFTADIN AD5OFF"},
};

std::vector<std::string> Words(const std::string& text)
{
    std::istringstream in(text);
    return {std::istream_iterator<std::string>(in), std::istream_iterator<std::string>()};
}

struct Entry {
    double value;
    std::string unit = "";
    bool ranged = false;
};

std::map<std::string, Entry> SampleParameters()
{
    std::map<std::string, Entry> m = {
        {"DSP_freq", {60e6, "Hz"}}, {"PWMPER", {1500}}, {"CLPER", {1}}, {"SLPER", {10}}, {"Ts_S", {5e-4, "s"}},
        {"ImaxPS", {20, "A"}}, {"ImaxM", {15, "A"}}, {"In", {5, "A"}}, {"Vdc", {48, "V "}},
        {"VdcMaxMeasurable", {111.8, "V "}}, {"CommutationMethod", {1}}, {"MECRESL", {10000}},
        {"No_encoder_lines", {2500}}, {"Motor_transmission", {1, "rot"}}, {"Load_transmission", {1, "rot"}},
        {"DBT", {18504}}, {"DBTPC", {100, "%"}}, {"R", {0.9, "Ohm"}}, {"MotorPhaseConnectionType", {0}},
        {"K", {0.1, "Nm/A"}}, {"Jt", {1.2e-4, "kg*m^2"}}, {"Jm", {6e-5, "kg*m^2"}}, {"ControlMode", {0}},
        {"PositionControlType", {1}}, {"ACR", {0}}, {"AnalogueInputsRange", {10, "V"}}, {"UPGRADE", {512}},
        // Registers.
        {"KFFA", {16383.5}}, {"SFTKFF", {0}}, {"SFTAFFW", {0}}, {"KDFP", {3276.7}}, {"FFL", {0}},
        {"FILTERQ", {32767}}, {"SATS", {16387}}, {"SATP", {24577}}, {"IMAXS", {18025}}, {"IMAXP", {24577}},
        {"REFTST", {4000}}, {"TERRMAX", {200}}, {"ERRMAX", {1000}}, {"TSERRMAX", {400}}, {"SERRMAX", {40}},
        {"POSOKLIM_FC", {10}}, {"TONPOSOK_FC", {20}}, {"SWPOSLS", {1e5}}, {"SWNEGLS", {-1e5}}, {"CSPD", {250}},
        {"CACC", {4}}, {"T1ONA", {100}}, {"LEVEL_AD5", {0}}, {"E_LEVEL_AD5", {655.2}}, {"FILTER1", {32767}},
        {"CADIN", {25000}}, {"SFTADIN", {2}}, {"AD5OFF", {-100000}},
    };
    for (const char* reg : {"KPI", "KII", "KPS", "KIS", "KPP", "KIP", "KDP", "KPTHT", "KITHT", "KFFS"})
        m[reg] = {16383.5};
    for (const char* reg : {"SFTKPI", "SFTKII", "SFTKPS", "SFTKIS", "SFTKPP", "SFTKIP", "SFTKDP", "SFTKPTHT",
                            "SFTKITHT", "SFTSFFW"})
        m[reg] = {0};
    for (const StepRow& step : kSteps) m[step.name] = {kOld, step.unit, true};
    return m;
}

using Inputs = std::vector<std::pair<std::string, double>>;

// Runs a step found by the name of the parameter it writes.
int Decode(CMC_Setup* s, const std::string& name)
{
    const DecodeStep step = FindDecodeStep(name.c_str());
    if (step == nullptr) ADD_FAILURE() << "no step " << name;
    return step ? step(s) : -1;
}

class DecodeControlLoops : public zektest::EngineTest {
protected:
    std::map<std::string, Entry> params;
    std::string options;
    unsigned adcMax = 65520;

    // The sample drive with some inputs changed and some parameters left out.
    std::unique_ptr<CMC_Setup> With(const Inputs& inputs, const std::vector<std::string>& without = {})
    {
        params = SampleParameters();
        for (const auto& [name, value] : inputs) params[name].value = value;
        for (const std::string& name : without) params.erase(name);
        std::ostringstream body;
        body << std::setprecision(17);
        const char* sep = "";
        for (const auto& [name, e] : params) {
            body << sep << '"' << name << R"(":{"value":)" << e.value << R"(,"unit":")" << e.unit << '"';
            if (e.ranged) body << R"(,"min":)" << kOldMin << R"(,"max":)" << kOldMax;
            body << '}';
            sep = ",";
        }
        return zektest::SetupFromJson(zektest::Doc(body.str(), R"("CADIN":{"unit":""})", options, adcMax));
    }

    static double Value(CMC_Setup* s, const std::string& n) { return s->FindParameter(n.c_str())->GetValueInBaseUnit(); }
    static double Min(CMC_Setup* s, const std::string& n) { return s->FindParameter(n.c_str())->GetMinInBaseUnit(); }
    static double Max(CMC_Setup* s, const std::string& n) { return s->FindParameter(n.c_str())->GetMaxInBaseUnit(); }

    static void ExpectUnchanged(CMC_Setup* s, const std::string& n, const std::string& label)
    {
        EXPECT_EQ((std::array{Value(s, n), Min(s, n), Max(s, n)}), (std::array{kOld, kOldMin, kOldMax})) << label;
    }
    bool WasReported(const std::string& name) const
    {
        return std::ranges::any_of(Reported(), [&](const std::string& m) { return m.find('"' + name + '"') != m.npos; });
    }

    // One decoding on the sample drive with some inputs changed: the range and the value it must give.
    // A refused range (or a step that does not apply) returns 0 (1) and changes nothing.
    static constexpr double kRefused = -kInf, kNotApplied = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        const char* target;
        Inputs inputs;
        double min, max, value;
        std::vector<std::string> without = {};
    };
    void Check(const std::vector<Case>& cases)
    {
        for (const Case& c : cases) {
            std::ostringstream label;
            label << c.target;
            for (const auto& [name, value] : c.inputs) label << ' ' << name << '=' << value;
            auto s = With(c.inputs, c.without);
            EXPECT_EQ(Decode(s.get(), c.target), c.value == kRefused ? 0 : 1) << label.str();
            if (c.value == kRefused || std::isnan(c.value)) {
                ExpectUnchanged(s.get(), c.target, label.str());
                continue;
            }
            EXPECT_DOUBLE_EQ(Min(s.get(), c.target), c.min) << label.str();
            EXPECT_DOUBLE_EQ(Max(s.get(), c.target), c.max) << label.str();
            EXPECT_DOUBLE_EQ(Value(s.get(), c.target), c.value) << label.str();
        }
        EXPECT_TRUE(Reported().empty());
    }
};

TEST_F(DecodeControlLoops, FlagsGainsControllerParametersAndLimits)
{
    // 32767: no filter; 65535: check off; any other value, however small, sets the flag.
    Check({
        {"isCompensateGravitationalLoads", {{"FFL", 0}}, 0, 1, 0},
        {"isCompensateGravitationalLoads", {{"FFL", -3}}, 0, 1, 1},
        {"isCompensateGravitationalLoads", {{"FFL", 1e-300}}, 0, 1, 1},
        {"isUseFilterOnCrtCtrlOutput", {{"FILTERQ", 32767}}, 0, 1, 0}, {"UseFilter", {{"FILTER1", 32767}}, 0, 1, 0},
        {"isUseFilterOnCrtCtrlOutput", {{"FILTERQ", 32766.5}}, 0, 1, 1}, {"UseFilter", {{"FILTER1", 16383.5}}, 0, 1, 1},
        {"isPositionControlError", {{"TERRMAX", 65535}}, 0, 1, 0}, {"isSpeedControlError", {{"TSERRMAX", 65535}}, 0, 1, 0},
        {"isPositionControlError", {{"TERRMAX", 65534}}, 0, 1, 1}, {"isSpeedControlError", {}, 0, 1, 1},
    });
    // Every other gain register holds 0.5; only the step's own pair gives 1.5.
    for (const StepRow& g : std::span(kSteps, 10))
        Check({{g.name, {{Words(g.reads)[0], 24575.25}, {Words(g.reads)[1], 1}}, 0, 16384, 1.5}});
    const double nyquistC = 60e6 * 0.25 / 2 / 1500;  // 0.5 / Ts_C at CLPER 2
    // SATS 16387 is 10 A, SATP 24577 is 5 A (ACR bit 9 selects SATS); the smaller current limit is ImaxM 15 A.
    Check({
        {"KFFA_scl", {{"KFFA", 19999.3896484375}, {"SFTAFFW", 11}, {"SFTKFF", 2}}, 0, 4194304, 5000},  // shift summed
        {"filter_D", {}, 0, 1, 3276.7 / 32767}, {"Jload_over_J", {}, 0, 100, 1.2e-4 / 6e-5 - 1},
        {"OffsetCurrent", {{"FFL", 819}}, -5, 5, 0.5},
        {"IPSatS", {}, 0, 100, 90}, {"IPSatP", {{"IMAXP", 28672}}, 0, 100, 50},
        {"FilterOnCurrentControllerOutput", {{"FILTERQ", 32767}, {"CLPER", 2}}, 0, nyquistC, 5000},
        {"FilterOnCurrentControllerOutput", {{"FILTERQ", 16383}, {"CLPER", 2}}, 0, nyquistC,
         std::log(1 - 16383 / 32767.0) * 60e6 / 2 * (-0.5) / 1500},
        {"IlimPS", {{"ACR", 512}}, 0.001, 15, 10}, {"IlimPS", {{"ACR", 0xFDFF}}, 0.001, 15, 5},
        {"IlimPS", {{"ImaxPS", 12}}, 0.001, 12, 8190 / (65520 / 24.0)},
        {"TestLimitCurrent", {{"ACR", 0x0200}}, 0, 15, 10}, {"TestLimitCurrent", {{"ACR", 0x0100}}, 0, 15, 5},
        {"TestMaxSpeed", {}, 0, 48 / 0.1, 48 / 0.1 / 3}, {"Limit_Speed", {}, 0, 48 / 0.1, 8190 / kLss},
        // Only position control (exactly 1) through the speed loop (mode exactly 0) has a speed limit; otherwise
        // its registers are not even looked up.
        {"Limit_Speed", {{"PositionControlType", 0}}, 0, 0, kNotApplied, {"SATP", "K"}},
        {"Limit_Speed", {{"PositionControlType", 0.999999}}, 0, 0, kNotApplied, {"SATP", "K"}},
        {"Limit_Speed", {{"ControlMode", 1}}, 0, 0, kNotApplied, {"SATP", "K"}},
        {"Limit_Speed", {{"ControlMode", 0.5}}, 0, 0, kNotApplied, {"SATP", "K"}},
    });
}

TEST_F(DecodeControlLoops, ErrorsReferencesSoftwareLimitsAndUnclampedValues)
{
    // Ts_S 1 ms differs from the register period (500 us), which the error times use.
    // UPGRADE bit 9: time_AB counts hundredths of a second, else fractions of 65535 s.
    // A negative scale: the encoding put -10 into SWPOSLS (10 |P|) and 20 into SWNEGLS (-20 |P|).
    const Inputs negative = {{"Motor_transmission", -1}, {"SWPOSLS", 10 * kLps}, {"SWNEGLS", -20 * kLps}};
    const double swMin = -2147483648.0 / kLps, swMax = 2147483647.0 / kLps;
    Check({
        {"ERR_position", {}, 0, 32767 / kLps, 1000 / kLps}, {"ERR_speed", {}, 0.001, 32767 / kLss, 40 / kLss},
        {"ERR_position", {{"Motor_transmission", -2}}, 0, 32767 / (2 * kLps), 1000 / (2 * kLps)},  // magnitudes
        {"time_ERR_pos", {{"Ts_S", 1e-3}}, 0.001, 32767 * kTs, 200 * kTs},
        {"time_ERR_spd", {{"Ts_S", 1e-3}}, 0.001, 32767 * kTs, 400 * kTs},
        {"FreezeControl_errband", {}, 0, 32767 / kLps, 10 / kLps},
        {"FreezeControl_time", {{"Ts_S", 1e-3}}, 0, 1e-3 * 65535, 1e-3 * 20},
        {"ErefMaxSpeed", {}, 0, 32767 / kLss, 250 / kLss}, {"ErefMaxAcceleration", {}, 0, 32767 / kLas, 4 / kLas},
        {"time_AB", {{"UPGRADE", 0x204}, {"T1ONA", 50}}, 0.01, 655.35, 0.5},
        {"time_AB", {{"UPGRADE", 0xFDFF}, {"T1ONA", 6553.5}}, 0.01, 1.0, 0.1},
        {"Negative_SWLS", {}, swMin, swMax, -1e5 / kLps}, {"Positive_SWLS", {}, swMin, swMax, 1e5 / kLps},
        {"Negative_SWLS", negative, swMin, swMax, -10}, {"Positive_SWLS", negative, swMin, swMax, 20},
        // Values outside the new range are written unclamped, and divisions are not guarded.
        {"Kp_C_scl", {{"KPI", 32767}, {"SFTKPI", 15}}, 0, 16384, 32768}, {"OffsetCurrent", {{"FFL", 16380}}, -5, 5, 10},
        {"IPSatS", {{"IMAXS", 0}}, 0, 100, 32767.0 * 100 / 16380}, {"IlimPS", {{"SATP", 0}}, 0.001, 15, 32767 / kCs},
        {"ErefMaxSpeed", {{"CSPD", 40000}}, 0, 32767 / kLss, 40000 / kLss},
        {"time_ERR_pos", {{"TERRMAX", 65535}}, 0.001, 32767 * kTs, 65535 * kTs},
        {"time_AB", {{"UPGRADE", 0}, {"T1ONA", 0}}, 0.01, 1, 0},
        {"time_AB", {{"UPGRADE", 0}, {"T1ONA", 131070}}, 0.01, 1, 2},
        {"Jload_over_J", {{"Jt", 3e-5}}, 0, 100, 3e-5 / 6e-5 - 1}, {"Jload_over_J", {{"Jm", 0}}, 0, 100, kInf},
        {"TestMaxSpeed", {{"K", 0}}, 0, kInf, kInf}, {"IPSatS", {{"SATS", 32767}}, 0, 100, kInf},
        {"ERR_position", {{"MECRESL", 0}}, 0, kInf, kInf},
        {"filter", {{"SLPER", 0}, {"FILTER1", 16383.5}}, 0, kInf, kInf},
    });
}

TEST_F(DecodeControlLoops, AnalogueInputFilterDeadBandAndNegativeScale)
{
    adcMax = 65536;
    // The encoding keeps a negative scale unsplit: CADIN = A < 0, SFTADIN 0; s = -1.
    const Inputs negative = {{"Motor_transmission", -1}, {"CADIN", -50000}, {"SFTADIN", 0}, {"AD5OFF", 100000}};
    Check({
        {"filter", {{"FILTER1", 32767}}, 0, 0.5 / kTs, 50},
        {"filter", {{"FILTER1", 16383.5}, {"Ts_S", 1e-3}}, 0, 0.5 / kTs, -std::log(0.5) / kTs},  // register period
        {"DeadBand_Point", {{"AnalogueInputsRange", 20}, {"LEVEL_AD5", 0}}, -10, 10, -10},  // +-10 V from -10 V
        {"DeadBand_Point", {{"LEVEL_AD5", 6553.6}}, 0, 3.3, 1.0},
        {"DeadBand_Point", {{"AnalogueInputsRange", 5}, {"LEVEL_AD5", 65536}}, 0, 5, 5},
        // 20.5 V: the value offset (range truncated), the range not.
        {"DeadBand_Point", {{"AnalogueInputsRange", 20.5}, {"LEVEL_AD5", 32768}}, 0, 3.3, 20.5 * 32768 / 65536 - 10},
        {"POS_max", negative, kOld, 32767 / kLps, 200000 / kLps}, {"SPD_max", negative, kOld, kOld, 200000 / kLss},
    });
}

TEST_F(DecodeControlLoops, IlimPSLooksUpOnlyTheSelectedSaturationAfterItsRange)
{
    auto s = With({{"ACR", 0}}, {"SATS"});
    EXPECT_EQ(decode::IlimPS(s.get()), 1);  // SATP selected: SATS not needed
    EXPECT_TRUE(Reported().empty());

    s = With({{"ACR", 512}}, {"SATS"});
    EXPECT_EQ(decode::IlimPS(s.get()), 0);
    EXPECT_TRUE(WasReported("SATS"));
    EXPECT_EQ(Value(s.get(), "IlimPS"), kOld);
    EXPECT_EQ(Min(s.get(), "IlimPS"), 0.001);  // the range was set before the lookup
    EXPECT_EQ(Max(s.get(), "IlimPS"), 15);
}

TEST_F(DecodeControlLoops, StartCurrentsInvertTheStartVoltage)
{
    // Star; delta divides R by 3; 0.5 is not delta; the trapezoidal command scale.
    const struct {
        double connection, commutation, rPrime, kuf;
    } rows[] = {{0, 1, 0.9, kKuf}, {1, 1, 0.3, kKuf}, {0.5, 1, 0.9, kKuf}, {0, 0, 0.9, 32767 / 48.0}};
    for (const auto& r : rows) {
        // 50 % of In through R', plus the dead-time loss at 20 kHz.
        auto s = With({{"MotorPhaseConnectionType", r.connection}, {"CommutationMethod", r.commutation},
                       {"REFTST", r.kuf * 50 * 5 * r.rPrime / 100 + r.kuf * 48 * 20000 * kDeadTime}});
        for (const char* name : {"StartCurrent", "TestStartCurrent"}) {
            EXPECT_EQ(Decode(s.get(), name), 1);
            EXPECT_NEAR(Value(s.get(), name), 50, 1e-9) << name << " connection " << r.connection;
            EXPECT_EQ(Min(s.get(), name), 0);
            EXPECT_EQ(Max(s.get(), name), 300);
        }
    }
}

TEST_F(DecodeControlLoops, DeadBandRangeTakesItsRangeFromTheDecodedPoint)
{
    adcMax = 65536;
    for (const char* option : {"", R"("NewDeadBand":"1")"}) {
        options = option;
        auto s = With({{"LEVEL_AD5", 6553.6}, {"E_LEVEL_AD5", 655.36}});  // point 1.0 V within [0, 3.3]
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
    // Minimum rows see the partner's old value, maximum rows the minimum just decoded; SPD_min is bounded
    // by Limit_Speed; CRT_min has no range of its own.
    const struct {
        const char* name;
        double value, min, max;
    } rows[] = {
        {"POS_min", -100000 / kLps, -32767 / kLps, kOld},   {"POS_max", 100000 / kLps, -100000 / kLps, 32767 / kLps},
        {"SPD_min", -100000 / kLss, -kOld, kOld},           {"SPD_max", 100000 / kLss, -100000 / kLss, kOld},
        {"CRT_min", -100000 / cs, kOldMin, kOldMax},        {"CRT_max", 100000 / cs, -100000 / cs, 15},
    };
    for (double mode : {0.0, 1.0, 2.0}) {
        auto s = With({{"ControlMode", mode}});
        for (const auto& r : rows) EXPECT_EQ(Decode(s.get(), r.name), 1);
        for (const auto& r : rows) {
            EXPECT_DOUBLE_EQ(Value(s.get(), r.name), r.value) << r.name << " mode " << mode;
            EXPECT_DOUBLE_EQ(Min(s.get(), r.name), r.min) << r.name << " mode " << mode;
            EXPECT_DOUBLE_EQ(Max(s.get(), r.name), r.max) << r.name << " mode " << mode;
        }
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeControlLoops, EveryStepDecodesTheSampleDriveAndAMissingParameterEndsItWithNothingWritten)
{
    auto sample = With({});
    for (const StepRow& step : kSteps) EXPECT_EQ(Decode(sample.get(), step.name), 1) << step.name;
    EXPECT_TRUE(Reported().empty());

    for (const StepRow& step : kSteps) {
        for (const std::string& missing : Words(std::string(step.name) + " " + step.reads)) {
            const std::string label = std::string(step.name) + " without " + missing;
            auto s = With({}, {missing});
            rurorade::ErrorSink().Clear();
            EXPECT_EQ(Decode(s.get(), step.name), 0) << label;
            EXPECT_TRUE(WasReported(missing)) << label;
            EXPECT_EQ(Reported().size(), 1u) << label;
            if (missing != step.name) ExpectUnchanged(s.get(), step.name, label);
        }
    }
}

TEST_F(DecodeControlLoops, ARefusedRangeChangesNothing)
{
    Check({
        {"OffsetCurrent", {{"In", -5}}, 0, 0, kRefused}, {"IlimPS", {{"ImaxM", 0.0005}}, 0, 0, kRefused},
        {"TestLimitCurrent", {{"ImaxPS", -1}}, 0, 0, kRefused}, {"Limit_Speed", {{"K", -0.1}}, 0, 0, kRefused},
        {"TestMaxSpeed", {{"K", -0.1}}, 0, 0, kRefused}, {"ERR_speed", {{"Motor_transmission", 1e8}}, 0, 0, kRefused},
        {"time_ERR_pos", {{"SLPER", 0}}, 0, 0, kRefused}, {"time_ERR_spd", {{"SLPER", 0}}, 0, 0, kRefused},
        {"FreezeControl_time", {{"Ts_S", -1e-3}}, 0, 0, kRefused}, {"filter", {{"PWMPER", -1}}, 0, 0, kRefused},
        {"FilterOnCurrentControllerOutput", {{"CLPER", -1}}, 0, 0, kRefused},
    });
}

}  // namespace
