#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <limits>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "engine/encode_drive_config.h"
#include "engine_fixture.h"

namespace {

using Values = std::vector<std::pair<std::string, double>>;
using Names = std::vector<std::string>;

struct Entry {
    const char* name;
    double value;
    const char* unit = "";
};

// Scales of the drive below: 65520 / (2 * 20 A) = 1638 counts/A, 65520 / 100 V = 655.2 counts/V.
constexpr double kCS = 1638, kVS = 655.2;

const std::vector<Entry> kDrive = {
    {"DSP_freq", 60e6, "Hz"}, {"PWM_freq", 20000, "Hz"}, {"PWMPER", 1500}, {"CLPER", 1}, {"SLPER", 10},
    {"Ts_S", 0.0005, "s"}, {"ImaxPS", 20, "A"}, {"VdcMaxMeasurable", 100, "V "}, {"Vdc", 48, "V "}, {"InPS", 10, "A"},
    {"In", 5, "A"}, {"No_encoder_lines", 2500}, {"pp", 4}, {"Motor_transmission", 1}, {"Load_transmission", 1},
    {"Temp_2", 80}, {"DriveTempSensorGain", 0.01}, {"DriveTempOutputAt0oC", 0.5}, {"ADCrange", 3.3},
    {"UMAX_PROT", 80.001, "V "}, {"UMIN_PROT", 12.001, "V "}, {"I_I2t_D", 20, "A"}, {"t_I2t_D", 4},
    {"Imax_Prot", 15, "A"}, {"time_Imax_Prot", 0.02}, {"I_I2t_M", 15, "A"}, {"t_I2t_M", 8}, {"Vbrake", 60.5, "V "},
    {"MotorBrake_output", 3}, {"isMotorBrake", 1}, {"MotorBrake_applytime", 0.05}, {"MotorBrake_releasetime", 0.1},
    // Selectors and flags, all 0.
    {"Motor_TempSensor_Type", 0}, {"Axis_ID_list", 0}, {"CommutationMethod", 0}, {"isMotorTemperatureSensor", 0},
    {"isDriveTemperatureSensor", 0}, {"isBrakeResistor", 0}, {"StartMode", 0}, {"isOverCurrent", 0}, {"isMotori2t", 0},
    {"isMotorOverTemp", 0}, {"isDriveOverTemp", 0}, {"isOverVoltage", 0}, {"isUnderVoltage", 0}, {"isDriveI2t", 0},
    {"isAutoActivatedAfterPowerOn", 0}, {"ExternalReference", 0}, {"isAnalogueReference", 0},
    {"DigitalReferenceType", 0}, {"ControlMode", 0}, {"PositionControlType", 0}, {"isLimitMaximum", 0},
    {"EnablePolarity", 0}, {"LSNPolarity", 0}, {"LSPPolarity", 0},
    // Registers: configuration words from 0, the others from a value no step would write.
    {"SCR", 0}, {"OSR", 0}, {"ASR", 0}, {"PCR", 0}, {"ACR", 0}, {"UPGRADE", 0}, {"DIGIN_ACTIVE_LEVEL", 0},
    {"II2TPROT_D", -7, "A"}, {"MECRESL", -7}, {"ENC2THL", -7}, {"ELRESL", -7}, {"MTSTYPE", -7}, {"AAR_table", -7},
    {"T2MAXPROT", -7}, {"UMAXPROT", -7}, {"UMINPROT", -7}, {"SFI2T_D", -7}, {"I2TINTLIM_D", -7}, {"IMAXPROT", -7},
    {"TIMAXPROT", -7}, {"II2TPROT_M", -7}, {"SFI2T_M", -7}, {"I2TINTLIM_M", -7}, {"BRAKELIM", -7},
};

// The drive above with `extra` set (added dimensionless when new), minus `without`.
std::unique_ptr<CMC_Setup> Drive(const Values& extra = {}, const Names& without = {}, const std::string& options = "",
                                 const std::string& variables = "")
{
    std::map<std::string, std::pair<double, std::string>> parameters;
    for (const Entry& e : kDrive) parameters[e.name] = {e.value, e.unit};
    for (const auto& [name, value] : extra) parameters[name].first = value;
    for (const auto& name : without) parameters.erase(name);
    std::string json;
    for (const auto& [name, p] : parameters) {
        char value[40];
        std::snprintf(value, sizeof value, "%.17g", p.first);
        json += (json.empty() ? "\"" : ",\"") + name + R"(":{"value":)" + value + R"(,"unit":")" + p.second + "\"}";
    }
    return zektest::SetupFromJson(zektest::Doc(json, variables, options));
}

double Value(CMC_Setup* s, const char* name) { return s->GetParameterValueInBaseUnit(name); }

// Names the host reported as missing, in the order of the lookups (a whole message when it quotes none).
Names Missing()
{
    Names names;
    for (const std::string& m : rurorade::ErrorSink().reported) {
        const auto open = m.find('"'), close = m.find('"', open + 1);
        names.push_back(close == std::string::npos ? m : m.substr(open + 1, close - open - 1));
    }
    return names;
}

using EncodeDriveConfig = zektest::EngineTest;

#define STEP(name) #name, encode::name

// ---- Formula steps ----

TEST_F(EncodeDriveConfig, FormulaStepsGiveHandComputedValues)
{
    // Each register starts at -7; optional ones are created so.
    const double inf = std::numeric_limits<double>::infinity();
    const struct { const char* reg; EncodeStep step; Values extra; double expected; } cases[] = {
        {STEP(PWMPER), {}, 1500}, {STEP(PWMPER), {{"PWM_freq", 0}}, inf}, {STEP(MECRESL), {}, 10000},
        {STEP(ENC2THL), {}, 1717986.9184}, {STEP(ENC2THL), {{"No_encoder_lines", 0}}, inf}, {STEP(ELRESL), {}, 2500},
        {STEP(ABSTART_MINMOVE), {{"No_encoder_lines", 1000}}, 200},  // default 60 %
        {STEP(ABSTART_MINMOVE), {{"ABSTART_MINMOVE_PERCENT", 30}}, 250},
        {STEP(COUNTINGDIR), {{"ReverseCounting", 1.9}}, 1}, {STEP(COUNTINGDIR), {{"ReverseCounting", 2}}, 0},
        {STEP(TRANSMISSION), {}, 1}, {STEP(TRANSMISSION), {{"Motor_transmission", -3}}, -1},
        {STEP(MTSTYPE), {{"Motor_TempSensor_Type", 1.7}}, 1}, {STEP(MTSTYPE), {{"Motor_TempSensor_Type", 2}}, 0},
        {STEP(AAR_table), {{"Axis_ID_list", 5}}, 261}, {STEP(AAR_table), {{"Axis_ID_list", 0.5}}, 0},
        {STEP(T2MAXPROT), {}, 25810.909090909092}, {STEP(T2MAXPROT), {{"ADCrange", 0}}, inf},
        {STEP(UMAXPROT), {}, 52416},  // truncated
        {STEP(UMINPROT), {}, 12.001 * kVS}, {STEP(SFI2T_D), {}, 8388.608}, {STEP(SFI2T_D), {{"t_I2t_D", 0}}, inf},
        {STEP(I2TINTLIM_D), {}, 50307075}, {STEP(II2TWARLIM_D), {}, 25153537.5}, {STEP(IMAXPROT), {}, 24570},
        {STEP(TIMAXPROT), {}, 40}, {STEP(T1MAXPROT), {}, 32767}, {STEP(II2TPROT_M), {}, 8190},
        {STEP(SFI2T_M), {}, 4194.304}, {STEP(I2TINTLIM_M), {}, 33538050}, {STEP(I2TWARLIM_M), {}, 25153537.5},
        {STEP(BRAKELIM), {}, 39639.6}, {STEP(BRAKEAPPLYDELAY), {}, 100}, {STEP(BRAKERELEASEDELAY), {}, 200},
        {STEP(BRAKERELEASEDELAY), {{"Ts_S", 0}}, inf},
    };
    for (const auto& c : cases) {
        Values extra = c.extra;
        extra.insert(extra.begin(), {c.reg, -7});
        auto s = Drive(extra);
        EXPECT_EQ(c.step(s.get()), 1) << c.reg << testing::PrintToString(c.extra);
        EXPECT_DOUBLE_EQ(Value(s.get(), c.reg), c.expected) << c.reg << testing::PrintToString(c.extra);
        EXPECT_EQ(FindEncodeStep(c.reg), c.step) << c.reg;
    }
    EXPECT_TRUE(Reported().empty());

    // The drive I2t current is written in counts; the register's unit is amperes.
    auto s = Drive();
    ASSERT_EQ(encode::II2TPROT_D(s.get()), 1);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInInternalUnit("II2TPROT_D"), 10 * kCS);
    EXPECT_DOUBLE_EQ(Value(s.get(), "II2TPROT_D"), 10);
    EXPECT_EQ(FindEncodeStep("II2TPROT_D"), encode::II2TPROT_D);
    // T1MAXPROT is written only when present, and its absence is not reported.
    EXPECT_EQ(encode::T1MAXPROT(s.get()), 0);
    EXPECT_TRUE(Reported().empty());
}

// ---- Configuration words ----

TEST_F(EncodeDriveConfig, ConfigurationWordBits)
{
    const std::string negative = R"("hasNegTransmission":"1")", wire = R"("hasEncoderBrokenWireProtection":"2")",
                      halls = R"("PMSMStartwithHalls":"1")";
    const Values allProtections = {{"isOverCurrent", 1},   {"isMotori2t", 1},     {"isMotorOverTemp", 1},
                                   {"isDriveOverTemp", 1}, {"isOverVoltage", 1},  {"isUnderVoltage", 1},
                                   {"isDriveI2t", 1},      {"isHallsensors", 1}};
    // The register starts at `start`; `extra` sets the flags.
    struct Row { const char* reg; EncodeStep step; double start; Values extra; double expected; std::string opt = ""; };
    const Row cases[] = {
        {STEP(SCR), 0x7FFFF, {}, 0x8E7F},  // mask 0x8FFF, unlisted bits kept, sensor bits cleared
        {STEP(SCR), -1, {}, 0x8E7F},
        {STEP(SCR), 0, {{"isMotorTemperatureSensor", 1}, {"isDriveTemperatureSensor", 1.5}, {"CommutationMethod", 1.9}},
         0x2180},
        {STEP(SCR), 0, {{"isMotorTemperatureSensor", 2}, {"isDriveTemperatureSensor", 2}, {"CommutationMethod", 2}}, 0},
        {STEP(SCR), 0x0028, {}, 0x0028},  // no speed estimator: bits 3-5 kept
        {STEP(SCR), 0x0008, {{"isSpeedEstimator", 1}}, 0x0030}, {STEP(SCR), 0x0038, {{"isSpeedEstimator", 0}}, 0},
        {STEP(OSR), 0x1FDFF, {{"isBrakeResistor", 1}}, 0xFFE7},  // bit 9 set, bits 2-4 and 16 cleared
        {STEP(OSR), 0x1FFFF, {{"StartMode", 1}}, 0xFDEB},  // and bit 9 cleared
        // Start mode in bits 2-4: 0 and unknown 001, 1 and 3 010, 2 101, 4 111.
        {STEP(OSR), 0, {}, 0x0004}, {STEP(OSR), 0, {{"StartMode", 1}}, 0x0008},
        {STEP(OSR), 0, {{"StartMode", 2}}, 0x0014}, {STEP(OSR), 0, {{"StartMode", 3}}, 0x0008},
        {STEP(OSR), 0, {{"StartMode", 4}}, 0x001C}, {STEP(OSR), 0, {{"StartMode", 4.9}}, 0x001C},
        {STEP(OSR), 0, {{"StartMode", 9}}, 0x0004}, {STEP(OSR), 0, {{"StartMode", -1}}, 0x0004},
        {STEP(ASR), 0x1FFFF, {}, 0x1FF7F},  // no probes: only bit 7 cleared, nothing masked
        {STEP(ASR), 0, {{"isSWLS", 1}}, 0x1000}, {STEP(ASR), 0x1000, {{"isSWLS", 0}}, 0},
        {STEP(ASR), 0, {{"InputsPolarityType", 0}}, 0x0004}, {STEP(ASR), 4, {{"InputsPolarityType", 1}}, 0},
        {STEP(ASR), 0, {{"InputsPolarityType", 2}}, 0x0004},
        {STEP(ASR), 0, {{"Motor_transmission", -1}, {"Load_transmission", 2}}, 0x0080, negative},
        {STEP(ASR), 0x0080, {{"Motor_transmission", -1}, {"Load_transmission", -2}}, 0, negative},
        {STEP(ASR), 0x0080, {{"Motor_transmission", -1}}, 0},  // negative, but without the option
        {STEP(PCR), 0xFFFFFF, {}, 0xFF00},  // low byte rebuilt, bits above 15 cleared
        {STEP(PCR), 0, allProtections, 0xFF, wire},
        {STEP(PCR), 0, allProtections, 0xBF},  // the broken wire bit needs the option
        {STEP(PCR), 0, {{"isOverCurrent", 1}, {"isHallsensors", 0}}, 0x01, wire},
        {STEP(PCR), 0, {{"isMotori2t", 1}}, 0x02}, {STEP(PCR), 0, {{"isMotorOverTemp", 1}}, 0x04},
        {STEP(PCR), 0, {{"isDriveOverTemp", 1}}, 0x08}, {STEP(PCR), 0, {{"isOverVoltage", 1}}, 0x10},
        {STEP(PCR), 0, {{"isUnderVoltage", 1}}, 0x20}, {STEP(PCR), 0, {{"isHallsensors", 1}}, 0x40, wire},
        {STEP(PCR), 0, {{"isDriveI2t", 1}}, 0x80},
        // Position type 1 sets bits 8-10, keeps the others, masks bits above 15.
        {STEP(ACR), 0x110C6, {{"PositionControlType", 1}}, 0x1704},
        {STEP(ACR), 0x0080, {{"isAutoActivatedAfterPowerOn", 1}, {"ExternalReference", 1}, {"isAnalogueReference", 1}},
         0x0542},
        // Digital reference type 1; position type 0 clears bit 9. Type 0 (pulse-direction) in speed mode.
        {STEP(ACR), 0x0246, {{"ExternalReference", 1}, {"DigitalReferenceType", 1}}, 0x0580},
        {STEP(ACR), 0x0044, {{"ExternalReference", 1}, {"ControlMode", 1}}, 0x0384},
        {STEP(ACR), 0x0700, {{"ControlMode", 2}}, 0x0100},
        {STEP(ACR), 0x1E00, {{"ControlMode", 1}}, 0x1B00},  // bits 11 and 12 kept
        {STEP(ACR), 0, {{"SpeedForward", 1}}, 0x4500}, {STEP(ACR), 0x4000, {{"SpeedForward", 1.5}}, 0x0500},
        {STEP(ACR), 0x4000, {}, 0x0500},  // no speed feedforward parameter
        {STEP(ACR), 0, {{"POSOKLIM_FC", 0}, {"TONPOSOK_FC", 0}, {"isFreezeControl", 1}}, 0x0510},
        {STEP(ACR), 0x10, {{"POSOKLIM_FC", 0}, {"TONPOSOK_FC", 0}, {"isFreezeControl", 0.5}}, 0x0500},
        {STEP(ACR), 0x10, {{"POSOKLIM_FC", 0}}, 0x0510},  // no freeze control: bit 4 kept
        {STEP(ACR), 0, {{"StartMode", 3}}, 0x8500, halls}, {STEP(ACR), 0x8000, {{"StartMode", 4}}, 0x0500, halls},
        {STEP(ACR), 0x8000, {{"StartMode", 1}}, 0x8500},  // hall start option off: bit 15 kept
        {STEP(UPGRADE), 0x1FFFF, {}, 0x7FFB},  // mask 0x7FFF, limit bit 2 cleared
        {STEP(UPGRADE), 0x0200, {{"isLimitMaximum", 1}, {"PosSpd_in_FastLoop", 1}}, 0x0244},  // bit 9 kept
        {STEP(UPGRADE), 0x0040, {{"PosSpd_in_FastLoop", 0}}, 0},
        {STEP(UPGRADE), 0x0040, {}, 0x0040},  // no fast loop parameter: bit 6 kept
        {STEP(DIGIN_ACTIVE_LEVEL), 0xFFFF, {}, 0x1FFF},
        {STEP(DIGIN_ACTIVE_LEVEL), 0x1FFF, {{"EnablePolarity", 1}, {"LSNPolarity", 1}, {"LSPPolarity", 1}}, 0xFFFF},
        {STEP(DIGIN_ACTIVE_LEVEL), 0x1FFF, {{"EnablePolarity", 1}}, 0x9FFF},
        {STEP(DIGIN_ACTIVE_LEVEL), 0x1FFF, {{"LSNPolarity", 1}}, 0x5FFF},
        {STEP(DIGIN_ACTIVE_LEVEL), 0x1FFF, {{"LSPPolarity", 1}}, 0x3FFF},
        // Communication settings that are not stored.
        {STEP(LSS_Active), 0xFF0, {{"save_axis_id", 1}, {"save_CAN_baudrate", 1}}, 0},
        {STEP(LSS_Active), 0xFF0, {{"save_axis_id", 0}, {"save_CAN_baudrate", 1}}, 1},
        {STEP(LSS_Active), 0xFF0, {{"save_axis_id", 1}, {"save_CAN_baudrate", 0}}, 2},
        {STEP(LSS_Active), 0xFF0, {{"save_axis_id", 0}, {"save_CAN_baudrate", 0}}, 3},
    };
    for (const auto& c : cases) {
        Values extra = c.extra;
        extra.insert(extra.begin(), {c.reg, c.start});
        const std::string label = c.reg + testing::PrintToString(extra) + c.opt;
        auto s = Drive(extra, {}, c.opt);
        EXPECT_EQ(c.step(s.get()), 1) << label;
        EXPECT_EQ(Value(s.get(), c.reg), c.expected)
            << label << ": got 0x" << std::hex << static_cast<long long>(Value(s.get(), c.reg));
        EXPECT_EQ(FindEncodeStep(c.reg), c.step) << c.reg;
    }

    // An unknown control mode fails ACR quietly; a branch not taken needs nothing.
    auto s = Drive({{"ACR", 0x1234}, {"ControlMode", 3}});
    EXPECT_EQ(encode::ACR(s.get()), 0);
    EXPECT_EQ(Value(s.get(), "ACR"), 0x1234);
    EXPECT_TRUE(Reported().empty());
    s = Drive({{"ControlMode", 1}}, {"PositionControlType", "isAnalogueReference", "DigitalReferenceType"});
    EXPECT_EQ(encode::ACR(s.get()), 1);
}

TEST_F(EncodeDriveConfig, EncoderFilterFieldsForEverySetting)
{
    // Prescaler in QUAL_ACT bits 16-23, mode in QUAL_AQ2 bits 8-11, 14, 15; unknown settings clear both.
    struct Row { double setting; std::uint32_t prescaler, mode; };
    const Row rows[] = {{0, 0x000000, 0x4500},  {1, 0x000000, 0x8A00},  {2, 0x010000, 0x8A00}, {3, 0x030000, 0x4500},
                        {4, 0x020000, 0x8A00},  {5, 0x050000, 0x4500},  {6, 0x030000, 0x8A00}, {7, 0x070000, 0x4500},
                        {8, 0x040000, 0x8A00},  {9, 0x090000, 0x4500},  {10, 0x050000, 0x8A00}, {11, 0x0B0000, 0x4500},
                        {12, 0x060000, 0x8A00}, {12.9, 0x060000, 0x8A00}, {13, 0, 0},         {-1, 0, 0}};
    EXPECT_EQ(FindEncodeStep("QUAL"), encode::QUAL);
    for (const Row& r : rows) {
        // Only the two fields change; bit 31 survives (the words are unsigned).
        for (const std::uint32_t in : {0u, 0xFFFFFFFFu}) {
            auto s = Drive({{"QUAL", 0}, {"isFilterEnc", 1}, {"FilterEncValue", r.setting}, {"QUAL_ACT", in},
                            {"QUAL_AQ2", in}});
            ASSERT_EQ(encode::QUAL(s.get()), 1) << r.setting;
            EXPECT_EQ(Value(s.get(), "QUAL"), 1) << r.setting;
            EXPECT_EQ(Value(s.get(), "QUAL_ACT"), static_cast<double>((in & 0xFF00FFFFu) | r.prescaler)) << r.setting;
            EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), static_cast<double>((in & ~0xCF00u) | r.mode)) << r.setting;
        }
    }
    // With the filter off only QUAL is written.
    auto s = Drive({{"QUAL", 1}, {"isFilterEnc", 0}, {"FilterEncValue", 5}, {"QUAL_ACT", 0x12345678},
                    {"QUAL_AQ2", 0xCF00}});
    EXPECT_EQ(encode::QUAL(s.get()), 1);
    EXPECT_EQ(Value(s.get(), "QUAL"), 0);
    EXPECT_EQ(Value(s.get(), "QUAL_ACT"), 0x12345678);
    EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), 0xCF00);
}

TEST_F(EncodeDriveConfig, BrakeConfigurationWord)
{
    // The host's pin of output port 3 (truncated from 3.7) in the high byte; enabled for any non-zero value.
    EXPECT_EQ(FindEncodeStep("BRAKECFG"), encode::BRAKECFG);
    for (const auto& [enabled, bit] : {std::pair{0.5, 1u}, {-1.0, 1u}, {0.0, 0u}}) {
        auto s = Drive({{"BRAKECFG", 0xFFFF}, {"isMotorBrake", enabled}, {"MotorBrake_output", 3.7}});
        s->Info().brakeOutputs.push_back({3, 17});
        ASSERT_EQ(encode::BRAKECFG(s.get()), 1);
        EXPECT_EQ(s->GetParameterValueInInternalUnit("BRAKECFG"), (17u << 8) | bit) << enabled;
        EXPECT_GE(Value(s.get(), "BRAKECFG"), 0);
    }
}

// ---- Failure rule ----

TEST_F(EncodeDriveConfig, MissingParameterMakesExactlyItsStepWriteNothing)
{
    const struct { const char* reg; EncodeStep step; const char* missing; Values extra; } rows[] = {
        {STEP(MECRESL), "MECRESL", {}}, {STEP(ABSTART_MINMOVE), "pp", {{"ABSTART_MINMOVE", -7}}},
        {STEP(II2TPROT_D), "InPS", {}}, {STEP(TIMAXPROT), "Ts_S", {}},
        {STEP(SCR), "isDriveTemperatureSensor", {{"SCR", 0x1234}}}, {STEP(OSR), "StartMode", {{"OSR", 0x1234}}},
        {STEP(PCR), "isDriveI2t", {{"PCR", 0x1234}}},
        {STEP(PCR), "isHallsensors", {{"PCR", 0x1234}}},  // the broken wire option asks for it
        {STEP(ACR), "ControlMode", {{"ACR", 0x1234}}},
        {STEP(ACR), "isAnalogueReference", {{"ACR", 0x1234}, {"ExternalReference", 1}}},
        {STEP(ACR), "StartMode", {{"ACR", 0x1234}}},  // the hall start option asks for it
        {STEP(UPGRADE), "isLimitMaximum", {{"UPGRADE", 0x1234}}},
        {STEP(DIGIN_ACTIVE_LEVEL), "LSPPolarity", {{"DIGIN_ACTIVE_LEVEL", 0x1234}}},
        {STEP(LSS_Active), "save_axis_id", {{"LSS_Active", 7}, {"save_CAN_baudrate", 0}}},
        {STEP(QUAL), "QUAL_AQ2", {{"QUAL", 7}, {"isFilterEnc", 1}, {"FilterEncValue", 0}, {"QUAL_ACT", 7}}},
        {STEP(QUAL), "QUAL_AQ2", {{"QUAL", 7}, {"isFilterEnc", 0}, {"FilterEncValue", 0}, {"QUAL_ACT", 7}}},
        {STEP(BRAKECFG), "MotorBrake_output", {{"BRAKECFG", 7}}},
    };
    for (const auto& r : rows) {
        auto s = Drive(r.extra, {r.missing}, R"("PMSMStartwithHalls":"1","hasEncoderBrokenWireProtection":"1")");
        const double before = Value(s.get(), r.reg);
        rurorade::ErrorSink().Clear();
        EXPECT_EQ(r.step(s.get()), 0) << r.reg << " without " << r.missing;
        if (std::string(r.reg) != r.missing) {
            EXPECT_EQ(Value(s.get(), r.reg), before) << r.reg;
        }
        EXPECT_EQ(Missing(), Names{r.missing}) << r.reg;
    }

    // Every missing name of a step is reported.
    rurorade::ErrorSink().Clear();
    auto s = Drive({}, {"DSP_freq", "PWM_freq"});
    EXPECT_EQ(encode::PWMPER(s.get()), 0);
    EXPECT_EQ(Missing(), (Names{"DSP_freq", "PWM_freq"}));
    EXPECT_EQ(Value(s.get(), "PWMPER"), 1500);
}

// ---- The whole sequence ----

bool Has(const Names& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(EncodeDriveConfig, EncodeRegistersRunsEveryStepEvenAfterAFailedOne)
{
    // Every register starting at -7 and every configuration word changes; T2MAXPROT lacks Temp_2.
    const Values words = {{"SCR", 0x10000}, {"OSR", 0x10000}, {"ASR", 0x80}, {"PCR", 0x10000},
                          {"ACR", 0x10000}, {"UPGRADE", 0x10000}, {"DIGIN_ACTIVE_LEVEL", 0xFFFF}};
    Values extra = words;
    extra.emplace_back("PWMPER", 0);
    auto s = Drive(extra, {"Temp_2"});
    EncodeRegisters(s.get());
    EXPECT_TRUE(Has(Missing(), "Temp_2"));
    EXPECT_EQ(Value(s.get(), "T2MAXPROT"), -7);  // kept from before
    EXPECT_EQ(Value(s.get(), "PWMPER"), 1500);
    for (const Entry& e : kDrive) {
        if (e.value != -7 || std::string(e.name) == "T2MAXPROT") continue;
        EXPECT_NE(Value(s.get(), e.name), -7) << e.name;
    }
    for (const auto& [name, before] : words) EXPECT_NE(Value(s.get(), name.c_str()), before) << name;
    EncodeRegisters(nullptr);  // ignored
}

// Registers of optional features, each present with -7, and the names of the features' probes.
const Values kFeatureRegisters = {
    {"II2TWARLIM_D", -7}, {"SFTKPTHT", -7}, {"SWNEGLS", -7}, {"SWPOSLS", -7}, {"CADIN", -7}, {"LSS_Active", -7},
    {"COUNTINGDIR", -7}, {"QUAL", -7}, {"QUAL_ACT", -7}, {"QUAL_AQ2", -7}, {"BRAKECFG", -7}, {"BRAKEAPPLYDELAY", -7},
    {"BRAKERELEASEDELAY", -7}, {"POSOKLIM_FC", -7}};
const Names kProbeNames = {"II2TWARLIM_D", "I2TWARLIM_M", "KPTHT", "isSWLS", "CADIN", "save_CAN_baudrate",
                           "save_axis_id", "ReverseCounting", "isFilterEnc", "FilterEncValue", "BRAKECFG",
                           "isMotorBrake", "POSOKLIM_FC", "TONPOSOK_FC", "TRANSMISSION", "IQREF_BQ_INI",
                           "ABSTART_MINMOVE", "T1MAXPROT", "isSpeedEstimator", "InputsPolarityType",
                           "PosSpd_in_FastLoop", "SpeedForward"};
// Missing names of gated control-loop steps: reported only when their group runs.
const Names kGatedInputs = {"Kp_T_scl", "Negative_SWLS", "FILTER1", "FreezeControl_errband"};

TEST_F(EncodeDriveConfig, GatesSkipWholeGroupsQuietlyAndRunThemWhenTheFeatureIsThere)
{
    // Skipped: each feature lacks (one of) its probe names.
    Values extra = kFeatureRegisters;
    extra.insert(extra.end(), {{"save_axis_id", 1}, {"isFilterEnc", 1}});
    auto s = Drive(extra, {"isMotorBrake"});
    EncodeRegisters(s.get());
    for (const auto& [name, value] : kFeatureRegisters) EXPECT_EQ(Value(s.get(), name.c_str()), value) << name;
    for (const auto& name : kGatedInputs) EXPECT_FALSE(Has(Missing(), name)) << name;

    extra = kFeatureRegisters;
    extra.insert(extra.end(), {{"I2TWARLIM_M", -7}, {"KPTHT", -7}, {"isSWLS", 0}, {"TONPOSOK_FC", -7},
                               {"isFreezeControl", 0}, {"save_axis_id", 0}, {"save_CAN_baudrate", 1},
                               {"ReverseCounting", 1}, {"isFilterEnc", 1}, {"FilterEncValue", 2},
                               {"TRANSMISSION", -7}, {"ABSTART_MINMOVE", -7}, {"T1MAXPROT", -7}});
    s = Drive(extra, {}, "", R"("CADIN":{})");
    EncodeRegisters(s.get());
    const Values expected = {{"II2TWARLIM_D", 25153537.5}, {"I2TWARLIM_M", 25153537.5}, {"T1MAXPROT", 32767},
                             {"LSS_Active", 1}, {"COUNTINGDIR", 1}, {"QUAL", 1},
                             {"QUAL_AQ2", (0xFFFFFFF9u & ~0xCF00u) | 0x8A00u}, {"BRAKEAPPLYDELAY", 100},
                             {"BRAKERELEASEDELAY", 200}, {"TRANSMISSION", 1}, {"ABSTART_MINMOVE", 500}};
    for (const auto& [name, value] : expected) EXPECT_DOUBLE_EQ(Value(s.get(), name.c_str()), value) << name;
    EXPECT_EQ(s->GetParameterValueInInternalUnit("BRAKECFG"), (3 << 8) | 1);
    for (const auto& name : kGatedInputs) EXPECT_TRUE(Has(Missing(), name)) << name;
    for (const auto& name : kProbeNames) EXPECT_FALSE(Has(Missing(), name)) << name;  // in neither drive
}

// ---- Steps by name (each step is checked against its name where its formula is) ----

TEST_F(EncodeDriveConfig, StepLookupIsExact)
{
    for (const char* name : {"pwmper", "Pwmper", "PWMPER ", "", "QUAL_ACT", "BIQUADFILTERS", "lss_active", "ZZZ", "A"})
        EXPECT_EQ(FindEncodeStep(name), nullptr) << '"' << name << '"';
    EXPECT_EQ(FindEncodeStep(nullptr), nullptr);
}

#undef STEP

}  // namespace
