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

#include "engine/encode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;
using Values = std::vector<std::pair<std::string, double>>;
using Names = std::vector<std::string>;

// Scales of the drive below: 65520 / (2 * 20 A) = 1638 counts/A, 65520 / 100 V = 655.2 counts/V.
constexpr double kCS = 1638, kVS = 655.2;

std::map<std::string, std::string> BaseParameters()
{
    return {
        {"DSP_freq", R"({"value":60e6,"unit":"Hz"})"}, {"PWM_freq", R"({"value":20000,"unit":"Hz"})"},
        {"PWMPER", R"({"value":1500})"}, {"CLPER", R"({"value":1})"}, {"SLPER", R"({"value":10})"},
        {"Ts_S", R"({"value":0.0005,"unit":"s"})"}, {"ImaxPS", R"({"value":20,"unit":"A"})"},
        {"VdcMaxMeasurable", R"({"value":100,"unit":"V "})"}, {"Vdc", R"({"value":48,"unit":"V "})"},
        {"InPS", R"({"value":10,"unit":"A"})"}, {"In", R"({"value":5,"unit":"A"})"},
        {"No_encoder_lines", R"({"value":2500})"}, {"pp", R"({"value":4})"},
        {"Motor_transmission", R"({"value":1})"}, {"Load_transmission", R"({"value":1})"},
        {"Temp_2", R"({"value":80})"}, {"DriveTempSensorGain", R"({"value":0.01})"},
        {"DriveTempOutputAt0oC", R"({"value":0.5})"}, {"ADCrange", R"({"value":3.3})"},
        {"UMAX_PROT", R"({"value":80.001,"unit":"V "})"}, {"UMIN_PROT", R"({"value":12.001,"unit":"V "})"},
        {"I_I2t_D", R"({"value":20,"unit":"A"})"}, {"t_I2t_D", R"({"value":4})"},
        {"Imax_Prot", R"({"value":15,"unit":"A"})"}, {"time_Imax_Prot", R"({"value":0.02})"},
        {"I_I2t_M", R"({"value":15,"unit":"A"})"}, {"t_I2t_M", R"({"value":8})"},
        {"Vbrake", R"({"value":60.5,"unit":"V "})"}, {"Motor_TempSensor_Type", R"({"value":0})"},
        {"Axis_ID_list", R"({"value":0})"}, {"CommutationMethod", R"({"value":0})"},
        {"isMotorTemperatureSensor", R"({"value":0})"}, {"isDriveTemperatureSensor", R"({"value":0})"},
        {"isBrakeResistor", R"({"value":0})"}, {"StartMode", R"({"value":0})"},
        {"isOverCurrent", R"({"value":0})"}, {"isMotori2t", R"({"value":0})"}, {"isMotorOverTemp", R"({"value":0})"},
        {"isDriveOverTemp", R"({"value":0})"}, {"isOverVoltage", R"({"value":0})"},
        {"isUnderVoltage", R"({"value":0})"}, {"isDriveI2t", R"({"value":0})"},
        {"isAutoActivatedAfterPowerOn", R"({"value":0})"}, {"ExternalReference", R"({"value":0})"},
        {"isAnalogueReference", R"({"value":0})"}, {"DigitalReferenceType", R"({"value":0})"},
        {"ControlMode", R"({"value":0})"}, {"PositionControlType", R"({"value":0})"},
        {"isLimitMaximum", R"({"value":0})"}, {"EnablePolarity", R"({"value":0})"},
        {"LSNPolarity", R"({"value":0})"}, {"LSPPolarity", R"({"value":0})"},
        {"MotorBrake_output", R"({"value":3})"}, {"isMotorBrake", R"({"value":1})"},
        {"MotorBrake_applytime", R"({"value":0.05})"}, {"MotorBrake_releasetime", R"({"value":0.1})"},
        // Registers, all starting from a value no step would write.
        {"MECRESL", R"({"value":-7})"}, {"ENC2THL", R"({"value":-7})"}, {"ELRESL", R"({"value":-7})"},
        {"MTSTYPE", R"({"value":-7})"}, {"AAR_table", R"({"value":-7})"}, {"T2MAXPROT", R"({"value":-7})"},
        {"UMAXPROT", R"({"value":-7})"}, {"UMINPROT", R"({"value":-7})"},
        {"II2TPROT_D", R"({"value":-7,"unit":"A"})"}, {"SFI2T_D", R"({"value":-7})"},
        {"I2TINTLIM_D", R"({"value":-7})"}, {"IMAXPROT", R"({"value":-7})"}, {"TIMAXPROT", R"({"value":-7})"},
        {"II2TPROT_M", R"({"value":-7})"}, {"SFI2T_M", R"({"value":-7})"}, {"I2TINTLIM_M", R"({"value":-7})"},
        {"BRAKELIM", R"({"value":-7})"}, {"SCR", R"({"value":0})"}, {"OSR", R"({"value":0})"},
        {"ASR", R"({"value":0})"}, {"PCR", R"({"value":0})"}, {"ACR", R"({"value":0})"},
        {"UPGRADE", R"({"value":0})"}, {"DIGIN_ACTIVE_LEVEL", R"({"value":0})"},
    };
}

// The drive above plus `extra` (added or overriding, dimensionless), minus `without`.
std::unique_ptr<CMC_Setup> Drive(const Values& extra = {}, const Names& without = {}, const std::string& options = "",
                                 const std::string& variables = "")
{
    auto parameters = BaseParameters();
    for (const auto& [name, value] : extra) {
        char buf[64];
        std::snprintf(buf, sizeof buf, R"({"value":%.17g})", value);
        parameters[name] = buf;
    }
    for (const auto& name : without) parameters.erase(name);
    std::string json;
    for (const auto& [name, value] : parameters) json += (json.empty() ? "\"" : ",\"") + name + "\":" + value;
    return SetupFromJson(Doc(json, variables, options));
}

double Value(CMC_Setup* s, const char* name) { return s->GetParameterValueInBaseUnit(name); }

class EncodeDriveConfig : public zektest::EngineTest {
protected:
    // Names the host reported as missing, in the order of the lookups.
    std::vector<std::string> Missing() const
    {
        std::vector<std::string> names;
        for (const std::string& message : Reported()) {
            const auto open = message.find('"');
            const auto close = message.find('"', open + 1);
            names.push_back(open == std::string::npos || close == std::string::npos
                                ? message
                                : message.substr(open + 1, close - open - 1));
        }
        return names;
    }
};

// ---- Formula steps ----

struct FormulaCase {
    const char* label;
    EncodeStep step;
    const char* reg;
    Values extra;
    double expected;
};

TEST_F(EncodeDriveConfig, FormulaStepsGiveHandComputedValues)
{
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<FormulaCase> cases = {
        {"PWMPER", encode::PWMPER, "PWMPER", {}, 1500},
        {"PWMPER zero frequency", encode::PWMPER, "PWMPER", {{"PWM_freq", 0}}, inf},
        {"MECRESL", encode::MECRESL, "MECRESL", {}, 10000},
        {"ENC2THL", encode::ENC2THL, "ENC2THL", {}, 1717986.9184},
        {"ENC2THL zero lines", encode::ENC2THL, "ENC2THL", {{"No_encoder_lines", 0}}, inf},
        {"ELRESL", encode::ELRESL, "ELRESL", {}, 2500},
        {"ABSTART_MINMOVE default 60 %", encode::ABSTART_MINMOVE, "ABSTART_MINMOVE",
         {{"ABSTART_MINMOVE", 0}, {"No_encoder_lines", 1000}}, 200},
        {"ABSTART_MINMOVE 30 %", encode::ABSTART_MINMOVE, "ABSTART_MINMOVE",
         {{"ABSTART_MINMOVE", 0}, {"ABSTART_MINMOVE_PERCENT", 30}}, 250},
        {"COUNTINGDIR set", encode::COUNTINGDIR, "COUNTINGDIR", {{"COUNTINGDIR", 5}, {"ReverseCounting", 1.9}}, 1},
        {"COUNTINGDIR not set", encode::COUNTINGDIR, "COUNTINGDIR", {{"COUNTINGDIR", 5}, {"ReverseCounting", 2}}, 0},
        {"TRANSMISSION positive", encode::TRANSMISSION, "TRANSMISSION", {{"TRANSMISSION", 0}}, 1},
        {"TRANSMISSION negative", encode::TRANSMISSION, "TRANSMISSION",
         {{"TRANSMISSION", 0}, {"Motor_transmission", -3}}, -1},
        {"MTSTYPE 1", encode::MTSTYPE, "MTSTYPE", {{"Motor_TempSensor_Type", 1.7}}, 1},
        {"MTSTYPE 2", encode::MTSTYPE, "MTSTYPE", {{"Motor_TempSensor_Type", 2}}, 0},
        {"AAR_table 0", encode::AAR_table, "AAR_table", {{"Axis_ID_list", 0}}, 0},
        {"AAR_table 5", encode::AAR_table, "AAR_table", {{"Axis_ID_list", 5}}, 261},
        {"AAR_table below 1", encode::AAR_table, "AAR_table", {{"Axis_ID_list", 0.5}}, 0},
        {"T2MAXPROT", encode::T2MAXPROT, "T2MAXPROT", {}, 25810.909090909092},
        {"T2MAXPROT zero range", encode::T2MAXPROT, "T2MAXPROT", {{"ADCrange", 0}}, inf},
        {"UMAXPROT truncated", encode::UMAXPROT, "UMAXPROT", {}, 52416},
        {"UMINPROT keeps fraction", encode::UMINPROT, "UMINPROT", {}, 12.001 * kVS},
        {"SFI2T_D", encode::SFI2T_D, "SFI2T_D", {}, 8388.608},
        {"SFI2T_D zero time", encode::SFI2T_D, "SFI2T_D", {{"t_I2t_D", 0}}, inf},
        {"I2TINTLIM_D", encode::I2TINTLIM_D, "I2TINTLIM_D", {}, 50307075},
        {"II2TWARLIM_D", encode::II2TWARLIM_D, "II2TWARLIM_D", {{"II2TWARLIM_D", 0}}, 25153537.5},
        {"IMAXPROT", encode::IMAXPROT, "IMAXPROT", {}, 24570},
        {"TIMAXPROT", encode::TIMAXPROT, "TIMAXPROT", {}, 40},
        {"T1MAXPROT", encode::T1MAXPROT, "T1MAXPROT", {{"T1MAXPROT", 0}}, 32767},
        {"II2TPROT_M", encode::II2TPROT_M, "II2TPROT_M", {}, 8190},
        {"SFI2T_M", encode::SFI2T_M, "SFI2T_M", {}, 4194.304},
        {"I2TINTLIM_M", encode::I2TINTLIM_M, "I2TINTLIM_M", {}, 33538050},
        {"I2TWARLIM_M", encode::I2TWARLIM_M, "I2TWARLIM_M", {{"I2TWARLIM_M", 0}}, 25153537.5},
        {"BRAKELIM keeps fraction", encode::BRAKELIM, "BRAKELIM", {}, 39639.6},
        {"BRAKEAPPLYDELAY", encode::BRAKEAPPLYDELAY, "BRAKEAPPLYDELAY", {{"BRAKEAPPLYDELAY", 0}}, 100},
        {"BRAKERELEASEDELAY", encode::BRAKERELEASEDELAY, "BRAKERELEASEDELAY", {{"BRAKERELEASEDELAY", 0}}, 200},
        {"BRAKERELEASEDELAY zero period", encode::BRAKERELEASEDELAY, "BRAKERELEASEDELAY",
         {{"BRAKERELEASEDELAY", 0}, {"Ts_S", 0}}, inf},
    };
    for (const auto& c : cases) {
        auto s = Drive(c.extra);
        EXPECT_EQ(c.step(s.get()), 1) << c.label;
        EXPECT_DOUBLE_EQ(Value(s.get(), c.reg), c.expected) << c.label;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(EncodeDriveConfig, DriveI2tCurrentIsWrittenInCounts)
{
    auto s = Drive();
    ASSERT_EQ(encode::II2TPROT_D(s.get()), 1);
    EXPECT_DOUBLE_EQ(s->GetParameterValueInInternalUnit("II2TPROT_D"), 10 * kCS);
    EXPECT_DOUBLE_EQ(Value(s.get(), "II2TPROT_D"), 10);  // the register's unit is amperes
}

TEST_F(EncodeDriveConfig, T1MaxProtIsWrittenOnlyWhenPresentAndQuietly)
{
    auto s = Drive();
    EXPECT_EQ(encode::T1MAXPROT(s.get()), 0);
    EXPECT_TRUE(Reported().empty());
}

// ---- Configuration words ----

struct WordCase {
    const char* label;
    Values extra;  // the register's start value and the flags
    double expected;
    std::string options = "";
};

void CheckWords(EncodeStep step, const char* reg, const std::vector<WordCase>& cases)
{
    for (const auto& c : cases) {
        auto s = Drive(c.extra, {}, c.options);
        EXPECT_EQ(step(s.get()), 1) << reg << ": " << c.label;
        EXPECT_EQ(Value(s.get(), reg), c.expected) << reg << ": " << c.label << " got 0x" << std::hex
                                                   << static_cast<long long>(Value(s.get(), reg));
    }
}

TEST_F(EncodeDriveConfig, ScrBits)
{
    CheckWords(encode::SCR, "SCR",
               {
                   {"mask 0x8FFF, unlisted kept, sensors cleared", {{"SCR", 0x7FFFF}}, 0x8E7F},
                   {"negative start", {{"SCR", -1}}, 0x8E7F},
                   {"sensors and sinusoidal set", {{"isMotorTemperatureSensor", 1}, {"isDriveTemperatureSensor", 1.5},
                                                   {"CommutationMethod", 1.9}}, 0x2180},
                   {"flag 2 is not set", {{"isMotorTemperatureSensor", 2}, {"CommutationMethod", 2}}, 0},
                   {"no estimator: bits 3-5 kept", {{"SCR", 0x0028}}, 0x0028},
                   {"estimator set", {{"SCR", 0x0008}, {"isSpeedEstimator", 1}}, 0x0030},
                   {"estimator not set", {{"SCR", 0x0038}, {"isSpeedEstimator", 0}}, 0},
               });
}

TEST_F(EncodeDriveConfig, OsrBitsAndStartModes)
{
    CheckWords(encode::OSR, "OSR",
               {
                   {"brake resistor, mode 0", {{"OSR", 0xFFFF}, {"isBrakeResistor", 1}}, 0xFFE7},
                   {"no brake resistor, high bits cleared", {{"OSR", 0x1FFFF}, {"StartMode", 1}}, 0xFDEB},
                   {"mode 0: 001", {}, 0x0004},
                   {"mode 1: 010", {{"StartMode", 1}}, 0x0008},
                   {"mode 2: 101", {{"StartMode", 2}}, 0x0014},
                   {"mode 3: 010", {{"StartMode", 3}}, 0x0008},
                   {"mode 4: 111", {{"StartMode", 4}}, 0x001C},
                   {"mode 4.9 truncates", {{"StartMode", 4.9}}, 0x001C},
                   {"unknown mode", {{"StartMode", 9}}, 0x0004},
                   {"negative mode", {{"StartMode", -1}}, 0x0004},
               });
}

TEST_F(EncodeDriveConfig, AsrBits)
{
    CheckWords(encode::ASR, "ASR",
               {
                   {"no probes: only bit 7 cleared, nothing masked", {{"ASR", 0x1FFFF}}, 0x1FF7F},
                   {"limit switches on", {{"isSWLS", 1}}, 0x1000},
                   {"limit switches off", {{"ASR", 0x1000}, {"isSWLS", 0}}, 0},
                   {"polarity type 0", {{"InputsPolarityType", 0}}, 0x0004},
                   {"polarity type 1", {{"ASR", 0x0004}, {"InputsPolarityType", 1}}, 0},
                   {"polarity type 2", {{"InputsPolarityType", 2}}, 0x0004},
                   {"negative transmission", {{"Motor_transmission", -1}, {"Load_transmission", 2}}, 0x0080,
                    R"("hasNegTransmission":"1")"},
                   {"positive transmission", {{"ASR", 0x0080}}, 0, R"("hasNegTransmission":"1")"},
                   {"negative without the option", {{"ASR", 0x0080}, {"Motor_transmission", -1}}, 0},
               });
}

TEST_F(EncodeDriveConfig, PcrBits)
{
    const Values all = {{"isOverCurrent", 1}, {"isMotori2t", 1}, {"isMotorOverTemp", 1}, {"isDriveOverTemp", 1},
                        {"isOverVoltage", 1}, {"isUnderVoltage", 1}, {"isDriveI2t", 1}, {"isHallsensors", 1}};
    auto with = [&](Values v, double pcr) {
        v.emplace_back("PCR", pcr);
        return v;
    };
    const std::string wire = R"("hasEncoderBrokenWireProtection":"2")";
    CheckWords(encode::PCR, "PCR",
               {
                   {"low byte rebuilt, high bits cleared", {{"PCR", 0xFFFFFF}}, 0xFF00},
                   {"all on with broken wire", with(all, 0), 0xFF, wire},
                   {"broken wire needs the option", with(all, 0), 0xBF},
                   {"over-current", {{"isOverCurrent", 1}}, 0x01},
                   {"motor i2t", {{"isMotori2t", 1}}, 0x02},
                   {"motor over-temperature", {{"isMotorOverTemp", 1}}, 0x04},
                   {"drive over-temperature", {{"isDriveOverTemp", 1}}, 0x08},
                   {"over-voltage", {{"isOverVoltage", 1}}, 0x10},
                   {"under-voltage", {{"isUnderVoltage", 1}}, 0x20},
                   {"broken wire", {{"isHallsensors", 1}}, 0x40, wire},
                   {"drive i2t", {{"isDriveI2t", 1}}, 0x80},
               });
}

TEST_F(EncodeDriveConfig, PcrFailsWhenBrokenWireProtectionLacksHallFlag)
{
    auto s = Drive({{"PCR", 0x1234}}, {}, R"("hasEncoderBrokenWireProtection":"1")");
    EXPECT_EQ(encode::PCR(s.get()), 0);
    EXPECT_EQ(Value(s.get(), "PCR"), 0x1234);
    EXPECT_EQ(Missing(), std::vector<std::string>{"isHallsensors"});
}

TEST_F(EncodeDriveConfig, AcrBits)
{
    const std::string halls = R"("PMSMStartwithHalls":"1")";
    CheckWords(encode::ACR, "ACR",
               {
                   {"position type 1 sets 8-10, keeps others, masks high bits",
                    {{"ACR", 0x110C6}, {"PositionControlType", 1}}, 0x1704},
                   {"auto-activation, analogue reference",
                    {{"isAutoActivatedAfterPowerOn", 1}, {"ExternalReference", 1}, {"isAnalogueReference", 1}}, 0x0542},
                   {"digital reference type 1, bit 9 cleared in position type 0",
                    {{"ACR", 0x0246}, {"ExternalReference", 1}, {"DigitalReferenceType", 1}}, 0x0580},
                   {"digital reference type 0, speed mode",
                    {{"ACR", 0x0044}, {"ExternalReference", 1}, {"ControlMode", 1}}, 0x0384},
                   {"current mode", {{"ACR", 0x0700}, {"ControlMode", 2}}, 0x0100},
                   {"speed mode keeps unlisted bit 12", {{"ACR", 0x1600}, {"ControlMode", 1}}, 0x1300},
                   {"speed feedforward on", {{"SpeedForward", 1}}, 0x4500},
                   {"speed feedforward not exactly 1", {{"ACR", 0x4000}, {"SpeedForward", 1.5}}, 0x0500},
                   {"no speed feedforward parameter", {{"ACR", 0x4000}}, 0x0500},
                   {"freeze control on", {{"POSOKLIM_FC", 0}, {"TONPOSOK_FC", 0}, {"isFreezeControl", 1}}, 0x0510},
                   {"freeze control off",
                    {{"ACR", 0x10}, {"POSOKLIM_FC", 0}, {"TONPOSOK_FC", 0}, {"isFreezeControl", 0.5}}, 0x0500},
                   {"no freeze control: bit 4 kept", {{"ACR", 0x10}, {"POSOKLIM_FC", 0}}, 0x0510},
                   {"hall start", {{"StartMode", 3}}, 0x8500, halls},
                   {"other start with the option", {{"ACR", 0x8000}, {"StartMode", 1}}, 0x0500, halls},
                   {"hall start without the option: bit 15 kept", {{"ACR", 0x8000}, {"StartMode", 1}}, 0x8500},
               });
}

TEST_F(EncodeDriveConfig, AcrFailsForUnknownControlModeOrMissingBranchParameter)
{
    auto s = Drive({{"ACR", 0x1234}, {"ControlMode", 3}});
    EXPECT_EQ(encode::ACR(s.get()), 0);
    EXPECT_EQ(Value(s.get(), "ACR"), 0x1234);
    EXPECT_TRUE(Reported().empty());

    s = Drive({{"ACR", 0x1234}, {"ExternalReference", 1}}, {"isAnalogueReference"});
    EXPECT_EQ(encode::ACR(s.get()), 0);
    EXPECT_EQ(Value(s.get(), "ACR"), 0x1234);
    EXPECT_EQ(Missing(), std::vector<std::string>{"isAnalogueReference"});

    // A branch not taken needs nothing.
    s = Drive({{"ControlMode", 1}}, {"PositionControlType", "isAnalogueReference", "DigitalReferenceType"});
    EXPECT_EQ(encode::ACR(s.get()), 1);
}

TEST_F(EncodeDriveConfig, UpgradeBits)
{
    CheckWords(encode::UPGRADE, "UPGRADE",
               {
                   {"mask 0x7FFF, limit cleared", {{"UPGRADE", 0x1FFFF}}, 0x7FFB},
                   {"limit and fast loop set, bit 9 kept", {{"UPGRADE", 0x0200}, {"isLimitMaximum", 1},
                                                           {"PosSpd_in_FastLoop", 1}}, 0x0244},
                   {"fast loop cleared", {{"UPGRADE", 0x0040}, {"PosSpd_in_FastLoop", 0}}, 0},
                   {"no fast loop parameter: bit 6 kept", {{"UPGRADE", 0x0040}}, 0x0040},
               });
}

TEST_F(EncodeDriveConfig, DigitalInputActiveLevelBits)
{
    CheckWords(encode::DIGIN_ACTIVE_LEVEL, "DIGIN_ACTIVE_LEVEL",
               {
                   {"all set", {{"DIGIN_ACTIVE_LEVEL", 0x1FFF}, {"EnablePolarity", 1}, {"LSNPolarity", 1},
                                {"LSPPolarity", 1}}, 0xFFFF},
                   {"all cleared", {{"DIGIN_ACTIVE_LEVEL", 0xFFFF}}, 0x1FFF},
                   {"enable", {{"DIGIN_ACTIVE_LEVEL", 0x1FFF}, {"EnablePolarity", 1}}, 0x9FFF},
                   {"negative limit", {{"DIGIN_ACTIVE_LEVEL", 0x1FFF}, {"LSNPolarity", 1}}, 0x5FFF},
                   {"positive limit", {{"DIGIN_ACTIVE_LEVEL", 0x1FFF}, {"LSPPolarity", 1}}, 0x3FFF},
               });
}

TEST_F(EncodeDriveConfig, LssActiveBits)
{
    CheckWords(encode::LSS_Active, "LSS_Active",
               {
                   {"both stored", {{"LSS_Active", 0xFF0}, {"save_axis_id", 1}, {"save_CAN_baudrate", 1}}, 0},
                   {"axis id not stored", {{"LSS_Active", 0xFF0}, {"save_axis_id", 0}, {"save_CAN_baudrate", 1}}, 1},
                   {"baud rate not stored", {{"LSS_Active", 0xFF0}, {"save_axis_id", 1}, {"save_CAN_baudrate", 0}}, 2},
                   {"neither stored", {{"LSS_Active", 0xFF0}, {"save_axis_id", 0}, {"save_CAN_baudrate", 0}}, 3},
               });
}

TEST_F(EncodeDriveConfig, EncoderFilterFieldsForEverySetting)
{
    struct Row {
        double setting;
        std::uint32_t prescaler, mode;
    };
    const Row rows[] = {{0, 0x000000, 0x4500},  {1, 0x000000, 0x8A00},  {2, 0x010000, 0x8A00}, {3, 0x030000, 0x4500},
                        {4, 0x020000, 0x8A00},  {5, 0x050000, 0x4500},  {6, 0x030000, 0x8A00}, {7, 0x070000, 0x4500},
                        {8, 0x040000, 0x8A00},  {9, 0x090000, 0x4500},  {10, 0x050000, 0x8A00}, {11, 0x0B0000, 0x4500},
                        {12, 0x060000, 0x8A00}, {12.9, 0x060000, 0x8A00}, {13, 0, 0},         {-1, 0, 0}};
    for (const Row& r : rows) {
        // Every bit set going in: only the two fields change, bit 31 survives (unsigned words).
        auto s = Drive({{"QUAL", 0}, {"isFilterEnc", 1}, {"FilterEncValue", r.setting}, {"QUAL_ACT", 4294967295.0},
                        {"QUAL_AQ2", 4294967295.0}});
        ASSERT_EQ(encode::QUAL(s.get()), 1) << r.setting;
        EXPECT_EQ(Value(s.get(), "QUAL"), 1) << r.setting;
        EXPECT_EQ(Value(s.get(), "QUAL_ACT"), static_cast<double>(0xFF00FFFFu | r.prescaler)) << r.setting;
        EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), static_cast<double>(0xFFFF30FFu | r.mode)) << r.setting;

        // And nothing set going in.
        s = Drive({{"QUAL", 0}, {"isFilterEnc", 1}, {"FilterEncValue", r.setting}, {"QUAL_ACT", 0}, {"QUAL_AQ2", 0}});
        ASSERT_EQ(encode::QUAL(s.get()), 1);
        EXPECT_EQ(Value(s.get(), "QUAL_ACT"), r.prescaler) << r.setting;
        EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), r.mode) << r.setting;
    }
}

TEST_F(EncodeDriveConfig, EncoderFilterOffWritesOnlyQual)
{
    auto s = Drive({{"QUAL", 1}, {"isFilterEnc", 0}, {"FilterEncValue", 5}, {"QUAL_ACT", 0x12345678},
                    {"QUAL_AQ2", 0xCF00}});
    EXPECT_EQ(encode::QUAL(s.get()), 1);
    EXPECT_EQ(Value(s.get(), "QUAL"), 0);
    EXPECT_EQ(Value(s.get(), "QUAL_ACT"), 0x12345678);
    EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), 0xCF00);
}

// Expected brake pin: the host's I/O map where it has one, else the port number itself.
template <class Setup>
int ExpectedPin(Setup* s, int port)
{
    if constexpr (requires { s->GetIOPinFromPort(port); })
        return static_cast<int>(s->GetIOPinFromPort(port));
    else
        return port;
}

TEST_F(EncodeDriveConfig, BrakeConfigurationWord)
{
    struct Row {
        double enabled, expectedBit;
    };
    for (const Row r : {Row{1, 1}, Row{0.5, 1}, Row{-1, 1}, Row{0, 0}}) {
        auto s = Drive({{"BRAKECFG", 0xFFFF}, {"isMotorBrake", r.enabled}, {"MotorBrake_output", 3.7}});
        ASSERT_EQ(encode::BRAKECFG(s.get()), 1);
        const double expected = static_cast<double>((static_cast<std::uint32_t>(ExpectedPin(s.get(), 3)) << 8) |
                                                    static_cast<std::uint32_t>(r.expectedBit));
        EXPECT_EQ(s->GetParameterValueInInternalUnit("BRAKECFG"), expected) << r.enabled;
        EXPECT_GE(Value(s.get(), "BRAKECFG"), 0);
    }
}

// ---- Failure rule ----

TEST_F(EncodeDriveConfig, MissingParameterMakesExactlyItsStepWriteNothing)
{
    struct Row {
        EncodeStep step;
        const char* reg;
        const char* missing;
        Values extra;
    };
    const std::vector<Row> rows = {
        {encode::PWMPER, "PWMPER", "PWM_freq", {}},
        {encode::MECRESL, "MECRESL", "MECRESL", {}},
        {encode::ABSTART_MINMOVE, "ABSTART_MINMOVE", "pp", {{"ABSTART_MINMOVE", -7}}},
        {encode::T2MAXPROT, "T2MAXPROT", "Temp_2", {}},
        {encode::UMAXPROT, "UMAXPROT", "UMAX_PROT", {}},
        {encode::II2TPROT_D, "II2TPROT_D", "InPS", {}},
        {encode::I2TWARLIM_M, "I2TWARLIM_M", "t_I2t_M", {{"I2TWARLIM_M", -7}}},
        {encode::TIMAXPROT, "TIMAXPROT", "Ts_S", {}},
        {encode::SCR, "SCR", "isDriveTemperatureSensor", {{"SCR", 0x1234}}},
        {encode::OSR, "OSR", "StartMode", {{"OSR", 0x1234}}},
        {encode::PCR, "PCR", "isDriveI2t", {{"PCR", 0x1234}}},
        {encode::ACR, "ACR", "ControlMode", {{"ACR", 0x1234}}},
        {encode::ACR, "ACR", "StartMode", {{"ACR", 0x1234}}},  // hall start asks for it
        {encode::UPGRADE, "UPGRADE", "isLimitMaximum", {{"UPGRADE", 0x1234}}},
        {encode::DIGIN_ACTIVE_LEVEL, "DIGIN_ACTIVE_LEVEL", "LSPPolarity", {{"DIGIN_ACTIVE_LEVEL", 0x1234}}},
        {encode::LSS_Active, "LSS_Active", "save_axis_id", {{"LSS_Active", 7}, {"save_CAN_baudrate", 0}}},
        {encode::QUAL, "QUAL", "QUAL_AQ2", {{"QUAL", 7}, {"isFilterEnc", 1}, {"FilterEncValue", 0}, {"QUAL_ACT", 7}}},
        {encode::BRAKECFG, "BRAKECFG", "MotorBrake_output", {{"BRAKECFG", 7}}},
        {encode::TRANSMISSION, "TRANSMISSION", "Load_transmission", {{"TRANSMISSION", 7}}},
    };
    for (const Row& r : rows) {
        auto s = Drive(r.extra, {r.missing}, R"("PMSMStartwithHalls":"1")");
        const double before = Value(s.get(), r.reg);
        rurorade::ErrorSink().Clear();
        EXPECT_EQ(r.step(s.get()), 0) << r.reg << " without " << r.missing;
        if (std::string(r.reg) != r.missing) {
            EXPECT_EQ(Value(s.get(), r.reg), before) << r.reg;
        }
        EXPECT_EQ(Missing(), std::vector<std::string>{r.missing}) << r.reg;
    }
}

TEST_F(EncodeDriveConfig, QualWithFilterOffStillNeedsItsRegisters)
{
    auto s = Drive({{"QUAL", 7}, {"isFilterEnc", 0}, {"FilterEncValue", 0}, {"QUAL_ACT", 7}});
    EXPECT_EQ(encode::QUAL(s.get()), 0);
    EXPECT_EQ(Value(s.get(), "QUAL"), 7);
}

TEST_F(EncodeDriveConfig, EveryMissingNameOfAStepIsReported)
{
    auto s = Drive({}, {"DSP_freq", "PWM_freq"});
    EXPECT_EQ(encode::PWMPER(s.get()), 0);
    EXPECT_EQ(Missing(), (std::vector<std::string>{"DSP_freq", "PWM_freq"}));
    EXPECT_EQ(Value(s.get(), "PWMPER"), 1500);
}

// ---- The whole sequence ----

bool Has(const std::vector<std::string>& names, const std::string& name)
{
    return std::find(names.begin(), names.end(), name) != names.end();
}

TEST_F(EncodeDriveConfig, EncodeRegistersGoesOnAfterAFailedStep)
{
    auto s = Drive({{"PWMPER", 0}, {"DIGIN_ACTIVE_LEVEL", 0x1FFF}, {"EnablePolarity", 1}}, {"Temp_2"});
    EncodeRegisters(s.get());
    EXPECT_TRUE(Has(Missing(), "Temp_2"));
    EXPECT_EQ(Value(s.get(), "T2MAXPROT"), -7);  // kept from before
    EXPECT_EQ(Value(s.get(), "PWMPER"), 1500);
    EXPECT_EQ(Value(s.get(), "UMAXPROT"), 52416);
    EXPECT_EQ(Value(s.get(), "MECRESL"), 10000);
    EXPECT_EQ(Value(s.get(), "ACR"), 0x0500);
    EXPECT_DOUBLE_EQ(Value(s.get(), "I2TINTLIM_M"), 33538050);
    EXPECT_DOUBLE_EQ(Value(s.get(), "BRAKELIM"), 39639.6);
    EXPECT_EQ(Value(s.get(), "DIGIN_ACTIVE_LEVEL"), 0x9FFF);
    EXPECT_EQ(Value(s.get(), "UPGRADE"), 0);
}

// Registers of optional features, each present with -7 (I2TWARLIM_M added where the feature is on),
// and the names of the features' probes.
const Values kFeatureRegisters = {{"II2TWARLIM_D", -7}, {"SFTKPTHT", -7}, {"SWNEGLS", -7},
                                  {"SWPOSLS", -7},      {"CADIN", -7},       {"LSS_Active", -7}, {"COUNTINGDIR", -7},
                                  {"QUAL", -7},         {"QUAL_ACT", -7},    {"QUAL_AQ2", -7},  {"BRAKECFG", -7},
                                  {"BRAKEAPPLYDELAY", -7}, {"BRAKERELEASEDELAY", -7}, {"POSOKLIM_FC", -7}};
const Names kProbeNames = {"II2TWARLIM_D", "I2TWARLIM_M", "KPTHT", "isSWLS", "CADIN", "save_CAN_baudrate",
                           "save_axis_id", "ReverseCounting", "isFilterEnc", "FilterEncValue", "BRAKECFG",
                           "isMotorBrake", "POSOKLIM_FC", "TONPOSOK_FC", "TRANSMISSION", "IQREF_BQ_INI",
                           "ABSTART_MINMOVE", "T1MAXPROT", "isSpeedEstimator", "InputsPolarityType",
                           "PosSpd_in_FastLoop", "SpeedForward"};
// Missing names of gated control-loop steps: reported only when their group runs.
const Names kGatedInputs = {"Kp_T_scl", "Negative_SWLS", "FILTER1", "FreezeControl_errband"};

TEST_F(EncodeDriveConfig, GatesSkipWholeGroupsQuietly)
{
    // Each feature lacks (one of) its probe names.
    Values extra = kFeatureRegisters;
    extra.insert(extra.end(), {{"save_axis_id", 1}, {"isFilterEnc", 1}});
    auto s = Drive(extra, {"isMotorBrake"});
    EncodeRegisters(s.get());
    for (const auto& [name, value] : kFeatureRegisters) EXPECT_EQ(Value(s.get(), name.c_str()), value) << name;
    const auto missing = Missing();
    for (const auto& name : kProbeNames) EXPECT_FALSE(Has(missing, name)) << name;
    for (const auto& name : kGatedInputs) EXPECT_FALSE(Has(missing, name)) << name;
}

TEST_F(EncodeDriveConfig, GatesRunTheirGroupsWhenTheFeatureIsThere)
{
    Values extra = kFeatureRegisters;
    extra.insert(extra.end(), {{"I2TWARLIM_M", -7}, {"KPTHT", -7}, {"isSWLS", 0}, {"TONPOSOK_FC", -7},
                               {"isFreezeControl", 0}, {"save_axis_id", 0}, {"save_CAN_baudrate", 1},
                               {"ReverseCounting", 1}, {"isFilterEnc", 1}, {"FilterEncValue", 2},
                               {"TRANSMISSION", -7}, {"ABSTART_MINMOVE", -7}, {"T1MAXPROT", -7}});
    auto s = Drive(extra, {}, "", R"("CADIN":{})");
    EncodeRegisters(s.get());
    EXPECT_DOUBLE_EQ(Value(s.get(), "II2TWARLIM_D"), 25153537.5);
    EXPECT_DOUBLE_EQ(Value(s.get(), "I2TWARLIM_M"), 25153537.5);
    EXPECT_EQ(Value(s.get(), "T1MAXPROT"), 32767);
    EXPECT_EQ(Value(s.get(), "LSS_Active"), 1);
    EXPECT_EQ(Value(s.get(), "COUNTINGDIR"), 1);
    EXPECT_EQ(Value(s.get(), "QUAL"), 1);
    EXPECT_EQ(Value(s.get(), "QUAL_AQ2"), static_cast<double>((0xFFFFFFF9u & ~0xCF00u) | 0x8A00u));
    EXPECT_EQ(s->GetParameterValueInInternalUnit("BRAKECFG"), (ExpectedPin(s.get(), 3) << 8) | 1);
    EXPECT_EQ(Value(s.get(), "BRAKEAPPLYDELAY"), 100);
    EXPECT_EQ(Value(s.get(), "BRAKERELEASEDELAY"), 200);
    EXPECT_EQ(Value(s.get(), "TRANSMISSION"), 1);
    EXPECT_EQ(Value(s.get(), "ABSTART_MINMOVE"), 500);
    const auto missing = Missing();
    for (const auto& name : kProbeNames) EXPECT_FALSE(Has(missing, name)) << name;
    for (const auto& name : kGatedInputs) EXPECT_TRUE(Has(missing, name)) << name;
}

TEST_F(EncodeDriveConfig, NullSetupIsIgnored) { EncodeRegisters(nullptr); }

// ---- Steps by name ----

#define STEP(name) {#name, encode::name}

TEST_F(EncodeDriveConfig, EveryStepIsFoundByItsExactName)
{
    const std::vector<std::pair<const char*, EncodeStep>> steps = {
        STEP(PWMPER), STEP(T2MAXPROT), STEP(UMAXPROT), STEP(UMINPROT), STEP(II2TPROT_D), STEP(SFI2T_D),
        STEP(I2TINTLIM_D), STEP(II2TWARLIM_D), STEP(SATPWM), STEP(MECRESL), STEP(ENC2THL), STEP(MTSTYPE),
        STEP(AAR_table), STEP(SCR), STEP(OSR), STEP(ASR), STEP(PCR), STEP(ACR), STEP(SFTKPI), STEP(KPI),
        STEP(SFTKII), STEP(KII), STEP(SATID), STEP(SATIQ), STEP(FILTERQ), STEP(FFL), STEP(KFFL), STEP(SFTKPS),
        STEP(KPS), STEP(SFTKIS), STEP(KIS), STEP(IMAXS), STEP(SATS), STEP(SFTKPP), STEP(KPP), STEP(SFTKIP),
        STEP(KIP), STEP(SFTKDP), STEP(KDP), STEP(KDFP), STEP(SFTKPTHT), STEP(KPTHT), STEP(SFTKITHT), STEP(KITHT),
        STEP(IMAXP), STEP(SATP), STEP(SFTSFFW), STEP(KFFS), STEP(SFTAFFW), STEP(SFTKFF), STEP(KFFA),
        STEP(IMAXPROT), STEP(TIMAXPROT), STEP(ERRMAX), STEP(TERRMAX), STEP(SERRMAX), STEP(TSERRMAX),
        STEP(T1MAXPROT), STEP(II2TPROT_M), STEP(SFI2T_M), STEP(I2TINTLIM_M), STEP(I2TWARLIM_M), STEP(SWNEGLS),
        STEP(SWPOSLS), STEP(CACC), STEP(CSPD), STEP(CADIN), STEP(SFTADIN), STEP(AD5OFF), STEP(FILTER1),
        STEP(LEVEL_AD5), STEP(E_LEVEL_AD5), STEP(GEAR), STEP(T1ONA), STEP(T1ONB), STEP(REFTST), STEP(RINCTST),
        STEP(ELRESL), STEP(BRAKELIM), STEP(DIGIN_ACTIVE_LEVEL), STEP(UPGRADE), STEP(LSS_Active), STEP(COUNTINGDIR),
        STEP(QUAL), STEP(BRAKECFG), STEP(BRAKEAPPLYDELAY), STEP(BRAKERELEASEDELAY), STEP(POSOKLIM_FC),
        STEP(TONPOSOK_FC), STEP(TRANSMISSION), STEP(BiquadFilters), STEP(ABSTART_MINMOVE),
    };
    EXPECT_EQ(steps.size(), 92u);
    for (const auto& [name, step] : steps) EXPECT_EQ(FindEncodeStep(name), step) << name;
}

#undef STEP

TEST_F(EncodeDriveConfig, StepLookupIsExact)
{
    for (const char* name : {"pwmper", "Pwmper", "PWMPER ", "", "QUAL_ACT", "BIQUADFILTERS", "lss_active", "ZZZ", "A"})
        EXPECT_EQ(FindEncodeStep(name), nullptr) << '"' << name << '"';
    EXPECT_EQ(FindEncodeStep(nullptr), nullptr);
}

}  // namespace
