#include "engine/decode_drive_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <iomanip>
#include <limits>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/decode_control_loops.h"
#include "engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN(), kKeep = kNaN;  // kKeep: limits left as stored
constexpr double kInf = std::numeric_limits<double>::infinity(), kRefused = -kInf;  // kRefused: range refused
// Every target starts with this value and range.
constexpr double kOldValue = 12345.5, kOldMin = -1e9, kOldMax = 1e9;

using Reads = std::vector<std::pair<std::string, double>>;
Reads operator+(Reads a, const Reads& b)
{
    a.insert(a.end(), b.begin(), b.end());
    return a;
}
const Reads kPeriod = {{"SLPER", 10}, {"PWMPER", 1500}, {"DSP_freq", 60e6}};  // speed loop: 0.5 ms
// Sample drive quantities that the scale helpers read without a lookup of the step's own.
const Reads kDrive = kPeriod + Reads{{"CLPER", 1}, {"VdcMaxMeasurable", 111.8}, {"ImaxPS", 20}, {"InPS", 10},
                                     {"In", 5}, {"ImaxM", 15}, {"Ts_S", 0.0005}};
const std::map<std::string, std::string> kUnits = {
    {"DSP_freq", "MHz"}, {"VdcMaxMeasurable", "V "}, {"Vdc", "V "}, {"ImaxPS", "A"}, {"InPS", "A"}, {"In", "A"},
    {"ImaxM", "A"}, {"Ts_S", "ms"}, {"ADCrange", "V"}, {"DriveTempOutputAt0oC", "V"}, {"DriveTempSensorGain", "V"}};

// Parameters as JSON, in their units; the first entry of a name counts, the `skip` names are left out.
std::string Json(const Reads& params, std::set<std::string> skip = {})
{
    std::ostringstream out;
    out << std::setprecision(17);
    for (const auto& [name, value] : params) {
        if (!skip.insert(name).second) continue;
        const auto unit = kUnits.find(name);
        out << (out.tellp() > 0 ? "," : "") << '"' << name << R"(":{"value":)" << value << R"(,"unit":")"
            << (unit == kUnits.end() ? "" : unit->second) << "\"}";
    }
    return out.str();
}

// The target with its old value and range, the step's reads but `skip`, and the drive quantities.
std::string Params(const std::string& target, const Reads& reads, const std::string& skip = "")
{
    const std::string json = Json(reads + kDrive, {target, skip});
    return target == skip ? json : json + ",\"" + target + R"(":{"value":12345.5,"min":-1e9,"max":1e9})";
}

int Decode(CMC_Setup* s, const std::string& name)
{
    const DecodeStep step = FindDecodeStep(name.c_str());
    if (step == nullptr) ADD_FAILURE() << "no step " << name;
    return step ? step(s) : -1;
}

void ExpectUnchanged(CMC_Parameter* p, const std::string& label)
{
    EXPECT_EQ((std::array{p->GetValueInBaseUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()}),
              (std::array{kOldValue, kOldMin, kOldMax}))
        << label;
}

// Whether the host reported a lookup of exactly this name.
bool Contains(const std::vector<std::string>& reported, const std::string& name)
{
    return std::ranges::any_of(reported, [&](const std::string& r) { return r.find('"' + name + '"') != r.npos; });
}

struct Case {
    const char* target;
    Reads reads;  // every parameter the step looks up besides its target
    double value;
    double min = kKeep;
    double max = kKeep;
    std::string options = "";
    std::string variables = "";

    std::string Label() const
    {
        std::ostringstream out;
        out << target;
        for (const auto& [name, value] : reads) out << ' ' << name << '=' << value;
        return out.str();
    }
};

// Flags from one bit of a configuration word.
const struct Flag {
    const char* flag;
    const char* word;
    int bit;
    bool cleared = false;  // the flag is on when the bit is clear
    double max = 1;
} kFlags[] = {
    {"isMotorTemperatureSensor", "SCR", 7}, {"isDriveTemperatureSensor", "SCR", 8}, {"CommutationMethod", "SCR", 13},
    {"isBrakeResistor", "OSR", 9}, {"isSWLS", "ASR", 12}, {"InputsPolarityType", "ASR", 2, true},
    {"isOverCurrent", "PCR", 0}, {"isMotori2t", "PCR", 1}, {"isMotorOverTemp", "PCR", 2}, {"isDriveOverTemp", "PCR", 3},
    {"isOverVoltage", "PCR", 4}, {"isUnderVoltage", "PCR", 5}, {"isDriveI2t", "PCR", 7},
    {"isAutoActivatedAfterPowerOn", "ACR", 1},
    {"isAnalogueReference", "ACR", 6, false, 0},  // without the analogue input the flag can only be off
    {"DigitalReferenceType", "ACR", 2, true}, {"isLimitMaximum", "UPGRADE", 2}, {"PosSpd_in_FastLoop", "UPGRADE", 6},
    {"EnablePolarity", "DIGIN_ACTIVE_LEVEL", 15}, {"LSNPolarity", "DIGIN_ACTIVE_LEVEL", 14},
    {"LSPPolarity", "DIGIN_ACTIVE_LEVEL", 13}, {"save_CAN_baudrate", "LSS_Active", 1, true},
    {"save_axis_id", "LSS_Active", 0, true},
};

const std::vector<Case>& ValueCases()
{
    static const std::vector<Case> cases = [] {
        std::vector<Case> v = {
            // Time base and feedback.
            {"pp", {{"ENC2THL", 1073741824}, {"MECRESL", 16}}, 4},
            {"No_encoder_lines", {{"MECRESL", 4002}}, 1000, 2, 1073741823},  // truncated
            {"No_encoder_lines", {{"MECRESL", 4}}, 1, 2, 1073741823},     // below the range, unclamped
            {"PWM_freq", {{"DSP_freq", 60e6}, {"PWMPER", 1500}}, 20000},
            {"PWM_freq", {{"DSP_freq", 60e6}, {"PWMPER", 0}}, kInf},
            {"PWMperiod", {{"DSP_freq", 60e6}, {"PWMPER", 1500}}, 5e-5},
            {"Ts_C", {{"CLPER", 2}, {"PWMPER", 1500}, {"DSP_freq", 60e6}}, 1e-4},
            {"Ts_S", kPeriod, 5e-4},
            {"Motor_TempSensor_Type", {{"MTSTYPE", 1.7}}, 1, 0, 1},  // truncated
            {"Axis_ID_list", {{"AAR_table", 300}}, 44, 0, 511}, {"Axis_ID_list", {{"AAR_table", 0}}, 0, 0, 511},
            {"ReverseCounting", {{"COUNTINGDIR", 1}}, 1, 0, 1}, {"ReverseCounting", {{"COUNTINGDIR", 1.5}}, 0, 0, 1},
            {"isFilterEnc", {{"QUAL", 1}}, 1, 0, 1}, {"isFilterEnc", {{"QUAL", 1.5}}, 0, 0, 1},
            // Protections: 586.0465 bus counts per V, 1638 current counts per A; unclamped above the range.
            {"UMAX_PROT", {{"UMAXPROT", 1465116.28}}, 1465116.28 * 111.8 / 65520, 1, 2000},
            {"UMIN_PROT", {{"UMINPROT", 16380}}, 27.95, 1, 2000},
            {"Temp_2",
             {{"T2MAXPROT", 19656}, {"DriveTempOutputAt0oC", 0.5}, {"DriveTempSensorGain", 0.01}, {"ADCrange", 3.3}},
             49, -100, 1000},
            {"I_I2t_D", {{"I2TINTLIM_D", 20961281.25}, {"InPS", 10}, {"ImaxPS", 20}}, 15, 10, 20},
            {"I_I2t_D", {{"I2TINTLIM_D", -1e12}, {"InPS", 10}, {"ImaxPS", 20}}, kNaN, 10, 20},  // negative root
            {"t_I2t_D", kPeriod + Reads{{"Ts_S", 0.001}, {"SFI2T_D", 1024}}, 65.536, 1.024, 33554.432},  // Ts_S 1 ms
            {"t_I2t_D", kPeriod + Reads{{"Ts_S", 0.0005}, {"SFI2T_D", 0}}, kInf, 1.024, 33554.432},
            {"TestCurrent", {{"In", 5}, {"InPS", 10}}, 2.5, 0.001, 4.5},
            {"TestCurrent", {{"In", 30}, {"InPS", 10}}, 5, 0.001, 9},
            {"TestProtectionCurrent", {{"IMAXPROT", 32760}, {"ImaxM", 12}, {"ImaxPS", 20}}, 20, 0, 12},
            {"Imax_Prot", {{"IMAXPROT", 16380}, {"ImaxM", 15}, {"ImaxPS", 20}}, 10, 0.001, 15},
            {"time_Imax_Prot", kPeriod + Reads{{"TIMAXPROT", 65535}}, 32.7675, 0.001, 16.3835},
            {"I_I2t_M", {{"I2TINTLIM_M", 5240320.3125}, {"In", 5}, {"ImaxM", 15}}, 7.5, 5.5, 15},
            {"t_I2t_M", kPeriod + Reads{{"SFI2T_M", 2048}}, 16.384, 1.024, 33554.432},
            {"Vbrake", {{"BRAKELIM", 49140}, {"VdcMaxMeasurable", 111.8}}, 83.85, 1, 111.8},
            // Configuration words beyond single bits: the estimator field (bits 3 to 5) reads 110; analogue (bit 6)
            // or digital (bit 7) reference; control mode from bit 10 (position) before bit 9 (speed).
            {"isSpeedEstimator", {{"SCR", 0xFFF7}}, 1, 0, 1}, {"isSpeedEstimator", {{"SCR", 0x38}}, 0, 0, 1},
            {"isSpeedEstimator", {{"SCR", 0x10}}, 0, 0, 1},
            {"ExternalReference", {{"ACR", 0x40}}, 1, 0, 1}, {"ExternalReference", {{"ACR", 0x80}}, 1, 0, 1},
            {"ExternalReference", {{"ACR", 0xFF3F}}, 0, 0, 1},
            {"ControlMode", {{"ACR", 0x0600}}, 0, 0, 2}, {"ControlMode", {{"ACR", 0x0300}}, 1, 0, 2},
            {"ControlMode", {{"ACR", 0xF9FF}}, 2, 0, 2},
            {"SpeedForward", {{"ACR", 0x4000}}, 1}, {"SpeedForward", {{"ACR", 0xBFFF}}, 0},
            {"isFreezeControl", {{"ACR", 0x10}, {"ControlMode", 0.9}}, 1, 0, 1},  // mode truncated to 0
            {"isFreezeControl", {{"ACR", 0x10}, {"ControlMode", 1}}, 0, 0, 1},
            {"isFreezeControl", {{"ACR", 0x10}, {"ControlMode", 2}}, 0, 0, 1},
            {"isFreezeControl", {{"ACR", 0xFFEF}, {"ControlMode", 0}}, 0, 0, 1},
            {"isMotorOverTemp", {{"PCR", 0x04}}, 1, 0, 0, R"("DisableMotorTemperature": "1")"},
            {"isAnalogueReference", {{"ACR", 0x40}, {"CADIN", 1000}}, 1, 0, 1, "", R"("CADIN": {"unit": ""})"},
            // Start mode: bit 4 decides alone; bit 3 alone with ACR bit 15 and the option.
            {"StartMode", {{"OSR", 0x18}}, 4, 0, 4}, {"StartMode", {{"OSR", 0x14}}, 2, 0, 4},
            {"StartMode", {{"OSR", 0x08}, {"ACR", 0x8000}}, 1, 0, 4},
            {"StartMode", {{"OSR", 0x08}, {"ACR", 0x8000}}, 3, 0, 4, R"("PMSMStartwithHalls": "1")"},
            {"StartMode", {{"OSR", 0x08}, {"ACR", 0x7FFF}}, 1, 0, 4, R"("PMSMStartwithHalls": "1")"},
            {"StartMode", {{"OSR", 0xFFE7}}, 0, 0, 4},
            {"StartMode", {{"OSR", 0x10}}, 2, 0, 4, R"("PMSMStartwithHalls": "1")"},  // bit 4 wins; ACR not looked up
            // Brake.
            {"isMotorBrake", {{"BRAKECFG", 0x0301}}, 1, 0, 1}, {"isMotorBrake", {{"BRAKECFG", 0xFFFE}}, 0, 0, 1},
            {"MotorBrake_releasetime", {{"Ts_S", 0.0005}, {"BRAKERELEASEDELAY", 200}}, 0.1},
            {"MotorBrake_applytime", {{"Ts_S", 0.0005}, {"BRAKEAPPLYDELAY", 100}}, 0.05},
            // Refused ranges: nominal above peak (1.1 x for the motor), peak below 1 mA or negative, zero nominal,
            // bus below 1 V, a negative period.
            {"I_I2t_D", {{"I2TINTLIM_D", 1000}, {"InPS", 25}, {"ImaxPS", 20}}, kRefused},
            {"I_I2t_M", {{"I2TINTLIM_M", 1000}, {"In", 14}, {"ImaxM", 15}}, kRefused},
            {"Imax_Prot", {{"IMAXPROT", 100}, {"ImaxM", 0.0005}, {"ImaxPS", 20}}, kRefused},
            {"TestProtectionCurrent", {{"IMAXPROT", 100}, {"ImaxM", -1}, {"ImaxPS", 20}}, kRefused},
            {"TestCurrent", {{"In", 0}, {"InPS", 10}}, kRefused},
            {"Vbrake", {{"BRAKELIM", 100}, {"VdcMaxMeasurable", 0.5}}, kRefused},
            {"t_I2t_D", Reads{{"SLPER", -10}, {"Ts_S", 0.0005}, {"SFI2T_D", 1024}} + kPeriod, kRefused},
            {"t_I2t_M", Reads{{"SLPER", -10}, {"SFI2T_M", 2048}} + kPeriod, kRefused},
            {"time_Imax_Prot", Reads{{"SLPER", -10}, {"TIMAXPROT", 2000}} + kPeriod, kRefused},
        };
        // Flags follow their bit alone: the bit, every other bit with it clear, a fraction that truncation drops.
        for (const Flag& f : kFlags) {
            const double on = f.cleared ? 0 : 1, mask = 1 << f.bit;
            for (const auto& [word, value] : {std::pair{mask, on}, {0xFFFF - mask, 1 - on}, {mask + 0.75, on},
                                              {0x10000 + mask, on}, {0.0, 1 - on}})
                v.push_back({f.flag, {{f.word, word}}, value, 0, f.max});
        }
        return v;
    }();
    return cases;
}

class DecodeDriveConfig : public zektest::EngineTest {};

TEST_F(DecodeDriveConfig, StepsGiveHandComputedValuesAndRangesAndNothingWithoutAParameter)
{
    for (const Case& c : ValueCases()) {
        auto setup = SetupFromJson(Doc(Params(c.target, c.reads), c.variables, c.options));
        ASSERT_TRUE(setup) << c.Label();
        CMC_Parameter* p = setup->FindParameter(c.target);
        const bool refused = c.value == kRefused;  // then nothing changes
        EXPECT_EQ(refused ? 0 : 1, Decode(setup.get(), c.target)) << c.Label();
        if (refused) {
            ExpectUnchanged(p, c.Label());
        } else {
            if (std::isnan(c.value))
                EXPECT_TRUE(std::isnan(p->GetValueInBaseUnit())) << c.Label();
            else
                EXPECT_DOUBLE_EQ(c.value, p->GetValueInBaseUnit()) << c.Label();
            EXPECT_EQ(std::isnan(c.min) ? kOldMin : c.min, p->GetMinInBaseUnit()) << c.Label();
            EXPECT_DOUBLE_EQ(std::isnan(c.max) ? kOldMax : c.max, p->GetMaxInBaseUnit()) << c.Label();
        }
        EXPECT_TRUE(Reported().empty()) << c.Label();

        std::vector<std::string> names;
        if (c.target != std::string("PosSpd_in_FastLoop")) names.push_back(c.target);  // optional: see below
        for (const auto& [name, value] : c.reads)
            if (name != "CADIN") names.push_back(name);  // CADIN only widens a range
        for (const std::string& missing : names) {
            const std::string label = c.Label() + " without " + missing;
            setup = SetupFromJson(Doc(Params(c.target, c.reads, missing), c.variables, c.options));
            ASSERT_TRUE(setup) << label;
            EXPECT_EQ(0, Decode(setup.get(), c.target)) << label;
            EXPECT_TRUE(Contains(Reported(), missing)) << label;
            if (missing != c.target) ExpectUnchanged(setup->FindParameter(c.target), label);
            rurorade::ErrorSink().Clear();
        }
    }
}

TEST_F(DecodeDriveConfig, FastLoopFlagIsOptional)
{
    // No report and success even though UPGRADE is missing too.
    auto setup = SetupFromJson(Doc(R"("DSP_freq": {"value": 60000000})"));
    EXPECT_EQ(1, decode::PosSpd_in_FastLoop(setup.get()));
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeDriveConfig, BrakeOutputIsThePortOfThePinInBits8To15)
{
    auto setup = SetupFromJson(Doc(Params("MotorBrake_output", {{"BRAKECFG", 0x10305}})));
    setup->Info().brakeOutputs = {{7, 3}, {8, 1}};  // port 7 on pin 3
    EXPECT_EQ(1, Decode(setup.get(), "MotorBrake_output"));
    CMC_Parameter* p = setup->FindParameter("MotorBrake_output");
    EXPECT_EQ((std::array{7.0, kOldMin, kOldMax}),
              (std::array{p->GetValueInInternalUnit(), p->GetMinInBaseUnit(), p->GetMaxInBaseUnit()}));
}

TEST_F(DecodeDriveConfig, PolePairsOfTheEncodedRegistersComeBackWhole)
{
    // ENC2THL as encoded, pp * 2^30 / lines; the multiplication back is inexact for these pairs.
    // A count that is not whole is kept as the product gives it.
    const struct {
        double enc2thl, mecresl, pp;
    } cases[] = {{3.0 * 1073741824 / 2500, 10000, 3}, {6.0 * 1073741824 / 5000, 20000, 6},
                 {7.0 * 1073741824 / 400, 1600, 7}, {3.0 * 1073741824 / 1250, 5000, 3},
                 {1288490.5, 10000, 3 + 3112.0 / 4294967296}};  // 10000 x 1288490.5 = 3 x 2^32 + 3112
    for (const auto& c : cases) {
        auto setup = SetupFromJson(Doc(Json({{"ENC2THL", c.enc2thl}, {"MECRESL", c.mecresl}, {"pp", 0}})));
        ASSERT_EQ(1, Decode(setup.get(), "pp"));
        EXPECT_EQ(c.pp, setup->GetParameterValueInBaseUnit("pp")) << c.enc2thl << " x " << c.mecresl;
    }
}

// ---- DecodeRegisters ------------------------------------------------------------------------

// The registers of this area for the sample drive, with stale engineering parameters (Ts_S and ControlMode 1).
const Reads kSample = Reads{
    {"Ts_S", 1}, {"Vdc", 48}, {"ADCrange", 3.3}, {"DriveTempOutputAt0oC", 0.5}, {"DriveTempSensorGain", 0.01},
    {"MECRESL", 10000}, {"ENC2THL", 1717986.9184}, {"SCR", 8448}, {"OSR", 8}, {"ASR", 0}, {"PCR", 187}, {"ACR", 1296},
    {"UPGRADE", 0}, {"DIGIN_ACTIVE_LEVEL", 57344}, {"UMAXPROT", 32760}, {"UMINPROT", 16380}, {"T2MAXPROT", 19656},
    {"I2TINTLIM_D", 20961281.25}, {"SFI2T_D", 1024}, {"IMAXPROT", 16380}, {"TIMAXPROT", 2000},
    {"I2TINTLIM_M", 5240320.3125}, {"SFI2T_M", 2048}, {"BRAKELIM", 49140}, {"AAR_table", 257}, {"MTSTYPE", 0},
    {"pp", 0}, {"No_encoder_lines", 0}, {"PWM_freq", 0}, {"PWMperiod", 0}, {"Ts_C", 0}, {"ControlMode", 1},
    {"t_I2t_D", 0}, {"CommutationMethod", 0}, {"isOverVoltage", 0}, {"StartMode", 0}, {"EnablePolarity", 0},
} + kDrive;

// Decodes the sample with `extra` parameters (which win over the sample's) and checks values.
void Decoded(const Reads& extra, const Reads& expected, std::set<std::string> skip = {})
{
    auto setup = SetupFromJson(Doc(Json(extra + kSample, std::move(skip))));
    DecodeRegisters(setup.get());
    for (const auto& [name, value] : expected)
        EXPECT_DOUBLE_EQ(value, setup->GetParameterValueInBaseUnit(name.c_str())) << name;
}

TEST_F(DecodeDriveConfig, DecodeRegistersRunsTheStepsInOrder)
{
    // Ts_S and ControlMode are decoded before the steps that read them.
    Decoded({{"isFreezeControl", 0}, {"POSOKLIM_FC", 10}, {"TONPOSOK_FC", 20}, {"isMotorBrake", 0}, {"BRAKECFG", 0},
             {"MotorBrake_applytime", 0}, {"BRAKEAPPLYDELAY", 100}},
            {{"pp", 4}, {"No_encoder_lines", 2500}, {"PWM_freq", 20000}, {"Ts_C", 5e-5}, {"Ts_S", 5e-4},
             {"t_I2t_D", 32.768}, {"ControlMode", 0}, {"isFreezeControl", 1}, {"MotorBrake_applytime", 0.05},
             {"CommutationMethod", 1}, {"isOverVoltage", 1}, {"StartMode", 1}, {"EnablePolarity", 1}});
}

TEST_F(DecodeDriveConfig, DecodeRegistersGoesOnAfterAFailedStep)
{
    Decoded({}, {{"pp", 0}, {"No_encoder_lines", 0}, {"PWM_freq", 20000}, {"EnablePolarity", 1}}, {"MECRESL"});
    EXPECT_TRUE(Contains(Reported(), "MECRESL"));
}

TEST_F(DecodeDriveConfig, GatesSkipWholeGroupsQuietly)
{
    // Every optional feature is half present: each probe fails.
    g_bShowErrors = 7;
    Decoded({{"save_axis_id", 5}, {"LSS_Active", 0}, {"isFilterEnc", 5}, {"QUAL", 1}, {"isMotorBrake", 5},
             {"BRAKEAPPLYDELAY", 100}, {"isFreezeControl", 5}, {"POSOKLIM_FC", 10}, {"SWPOSLS", 100}, {"CADIN", 100},
             {"SFTKPTHT", 1}},
            {{"save_axis_id", 5}, {"isFilterEnc", 5}, {"isMotorBrake", 5}, {"isFreezeControl", 5}, {"CADIN", 100}});
    EXPECT_EQ(7, g_bShowErrors);
    // Neither the probes nor the steps they gate asked for these.
    for (const char* name :
         {"KPTHT", "Kp_T_scl", "isSWLS", "Negative_SWLS", "isSpeedEstimator", "LEVEL_AD5", "DeadBand_Point", "CRT_min",
          "save_CAN_baudrate", "ReverseCounting", "COUNTINGDIR", "FilterEncValue", "BRAKECFG", "MotorBrake_output",
          "SpeedForward", "TONPOSOK_FC", "FreezeControl_time", "InputsPolarityType", "PosSpd_in_FastLoop"})
        EXPECT_FALSE(Contains(Reported(), name)) << name;
}

TEST_F(DecodeDriveConfig, GatesOpenForPresentFeatures)
{
    // ACR: position mode, freeze and speed feedforward; SCR: speed estimator field 110.
    Decoded({{"ACR", 0x4510}, {"SCR", 0x2130}, {"isSWLS", 1}, {"isSpeedEstimator", 1}, {"save_CAN_baudrate", 0},
             {"save_axis_id", 0}, {"LSS_Active", 0}, {"ReverseCounting", 0}, {"COUNTINGDIR", 1}, {"isFilterEnc", 0},
             {"FilterEncValue", 3}, {"QUAL", 1}, {"isMotorBrake", 0}, {"BRAKECFG", 769}, {"MotorBrake_output", 0},
             {"MotorBrake_releasetime", 0}, {"BRAKERELEASEDELAY", 200}, {"SpeedForward", 0}, {"isFreezeControl", 0},
             {"POSOKLIM_FC", 10}, {"TONPOSOK_FC", 20}, {"InputsPolarityType", 0}},
            {{"isSWLS", 0}, {"isSpeedEstimator", 1}, {"save_CAN_baudrate", 1}, {"save_axis_id", 1},
             {"ReverseCounting", 1}, {"isFilterEnc", 1}, {"isMotorBrake", 1}, {"MotorBrake_output", 3},
             {"MotorBrake_releasetime", 0.1}, {"SpeedForward", 1}, {"isFreezeControl", 1}, {"InputsPolarityType", 1}});
}

TEST_F(DecodeDriveConfig, FindDecodeStepKnowsStepsOnlyByTheirExactName)
{
    // Every step of both areas is reached through FindDecodeStep in these tests.
    EXPECT_EQ(&decode::pp, FindDecodeStep("pp"));
    EXPECT_EQ(&decode::CRT_max, FindDecodeStep("CRT_max"));
    for (const char* unknown : {"PP", "pwm_freq", "PWMPER", "Ts_S ", "", "DecodeRegisters"})
        EXPECT_EQ(nullptr, FindDecodeStep(unknown)) << unknown;
    EXPECT_EQ(nullptr, FindDecodeStep(nullptr));
}

}  // namespace
