#include "engine/decode_drive_config.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <iomanip>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "engine/decode_control_loops.h"
#include "engine/encode_drive_config.h"
#include "engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

constexpr double kKeep = std::numeric_limits<double>::quiet_NaN();  // limits left as stored
constexpr double kInf = std::numeric_limits<double>::infinity();
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Every target starts with this value and range.
constexpr double kOldValue = 12345.5;
constexpr double kOldMin = -1e9;
constexpr double kOldMax = 1e9;
const std::string kTargetBody = R"({"value": 12345.5, "min": -1e9, "max": 1e9})";

struct P {
    std::string name;
    std::string body;
};

// Sample drive quantities that the scale helpers read without a lookup of the step's own.
const std::vector<P> kDrive = {
    {"DSP_freq", R"({"value": 60000000, "unit": "MHz"})"},
    {"PWMPER", R"({"value": 1500})"},
    {"CLPER", R"({"value": 1})"},
    {"SLPER", R"({"value": 10})"},
    {"VdcMaxMeasurable", R"({"value": 111.8, "unit": "V "})"},
    {"ImaxPS", R"({"value": 20, "unit": "A"})"},
    {"InPS", R"({"value": 10, "unit": "A"})"},
    {"In", R"({"value": 5, "unit": "A"})"},
    {"ImaxM", R"({"value": 15, "unit": "A"})"},
    {"Ts_S", R"({"value": 0.0005, "unit": "ms"})"},
};

bool Has(const std::vector<P>& ps, const std::string& name)
{
    return std::any_of(ps.begin(), ps.end(), [&](const P& p) { return p.name == name; });
}

// Target, the step's reads (but `skip`) and the drive quantities the reads do not override.
std::string Params(const std::string& target, const std::vector<P>& reads, const std::string& skip = "")
{
    std::string out;
    auto add = [&](const std::string& name, const std::string& body) {
        if (name == skip) return;
        if (!out.empty()) out += ",";
        out += "\"" + name + "\":" + body;
    };
    add(target, kTargetBody);
    for (const P& p : reads) add(p.name, p.body);
    for (const P& p : kDrive)
        if (!Has(reads, p.name) && p.name != target) add(p.name, p.body);
    return out;
}

std::string V(double value)
{
    std::ostringstream out;
    out << std::setprecision(17) << R"({"value": )" << value << "}";
    return out.str();
}
std::string Hex(int value) { return R"({"value": )" + std::to_string(value) + "}"; }

void ExpectSame(double expected, double actual, const std::string& label)
{
    if (std::isnan(expected))
        EXPECT_TRUE(std::isnan(actual)) << label << ": " << actual;
    else
        EXPECT_DOUBLE_EQ(expected, actual) << label;
}

void ExpectUnchanged(CMC_Parameter* p, const std::string& label)
{
    EXPECT_EQ(kOldValue, p->GetValueInBaseUnit()) << label;
    EXPECT_EQ(kOldMin, p->GetMinInBaseUnit()) << label;
    EXPECT_EQ(kOldMax, p->GetMaxInBaseUnit()) << label;
}

// Whether the host reported a lookup of exactly this name.
bool Contains(const std::vector<std::string>& reported, const std::string& name)
{
    const std::string quoted = "\"" + name + "\"";
    return std::any_of(reported.begin(), reported.end(),
                       [&](const std::string& r) { return r.find(quoted) != std::string::npos; });
}

// Port the host maps a controller pin to (ports numbered like pins without such a service).
template <class Setup>
double HostPort(Setup* s, int pin)
{
    if constexpr (requires { s->GetIOPortFromPin(pin); })
        return static_cast<double>(s->GetIOPortFromPin(pin));
    else
        return static_cast<double>(pin);
}

struct Case {
    const char* label;
    DecodeStep step;
    const char* target;
    std::vector<P> reads;  // every parameter the step looks up besides its target
    double value;
    double min = kKeep;
    double max = kKeep;
    std::string options = "";
    std::string variables = "";
};

const std::vector<Case>& ValueCases()
{
    static const std::vector<Case> cases = {
        // Time base and feedback.
        {"pp", decode::pp, "pp", {{"ENC2THL", V(1073741824)}, {"MECRESL", V(16)}}, 4},
        {"lines truncated", decode::No_encoder_lines, "No_encoder_lines", {{"MECRESL", V(4002)}}, 1000, 2, 1073741823},
        {"lines below range, unclamped", decode::No_encoder_lines, "No_encoder_lines", {{"MECRESL", V(4)}}, 1, 2, 1073741823},
        {"PWM_freq", decode::PWM_freq, "PWM_freq", {{"DSP_freq", V(60e6)}, {"PWMPER", V(1500)}}, 20000},
        {"PWM_freq zero period", decode::PWM_freq, "PWM_freq", {{"DSP_freq", V(60e6)}, {"PWMPER", V(0)}}, kInf},
        {"PWMperiod", decode::PWMperiod, "PWMperiod", {{"DSP_freq", V(60e6)}, {"PWMPER", V(1500)}}, 5e-5},
        {"Ts_C", decode::Ts_C, "Ts_C", {{"CLPER", V(2)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}, 1e-4},
        {"Ts_S", decode::Ts_S, "Ts_S", {{"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}, 5e-4},
        {"sensor type truncated", decode::Motor_TempSensor_Type, "Motor_TempSensor_Type", {{"MTSTYPE", V(1.7)}}, 1, 0, 1},
        {"axis id", decode::Axis_ID_list, "Axis_ID_list", {{"AAR_table", V(300)}}, 44, 0, 511},
        {"axis id none", decode::Axis_ID_list, "Axis_ID_list", {{"AAR_table", V(0)}}, 0, 0, 511},
        {"counting dir 1", decode::ReverseCounting, "ReverseCounting", {{"COUNTINGDIR", V(1)}}, 1, 0, 1},
        {"counting dir not exactly 1", decode::ReverseCounting, "ReverseCounting", {{"COUNTINGDIR", V(1.5)}}, 0, 0, 1},
        {"encoder filter on", decode::isFilterEnc, "isFilterEnc", {{"QUAL", V(1)}}, 1, 0, 1},
        {"encoder filter not exactly 1", decode::isFilterEnc, "isFilterEnc", {{"QUAL", V(1.5)}}, 0, 0, 1},
        // Protections: 586.0465 bus counts per V, 1638 current counts per A, T = 0.5 ms.
        {"UMAX_PROT", decode::UMAX_PROT, "UMAX_PROT", {{"UMAXPROT", V(32760)}}, 55.9, 1, 2000},
        {"UMAX_PROT above range, unclamped", decode::UMAX_PROT, "UMAX_PROT", {{"UMAXPROT", V(1465116.28)}}, 1465116.28 * 111.8 / 65520, 1, 2000},
        {"UMIN_PROT", decode::UMIN_PROT, "UMIN_PROT", {{"UMINPROT", V(16380)}}, 27.95, 1, 2000},
        {"Temp_2", decode::Temp_2, "Temp_2",
         {{"T2MAXPROT", V(19656)}, {"DriveTempOutputAt0oC", V(0.5)}, {"DriveTempSensorGain", V(0.01)}, {"ADCrange", V(3.3)}},
         49, -100, 1000},
        {"I_I2t_D", decode::I_I2t_D, "I_I2t_D", {{"I2TINTLIM_D", V(20961281.25)}, {"InPS", V(10)}, {"ImaxPS", V(20)}}, 15, 10, 20},
        {"I_I2t_D negative root", decode::I_I2t_D, "I_I2t_D", {{"I2TINTLIM_D", V(-1e12)}, {"InPS", V(10)}, {"ImaxPS", V(20)}}, kNaN, 10, 20},
        {"t_I2t_D", decode::t_I2t_D, "t_I2t_D",
         {{"Ts_S", V(0.0005)}, {"SFI2T_D", V(1024)}, {"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}},
         32.768, 1.024, 33554.432},
        {"t_I2t_D zero scale", decode::t_I2t_D, "t_I2t_D",
         {{"Ts_S", V(0.0005)}, {"SFI2T_D", V(0)}, {"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}},
         kInf, 1.024, 33554.432},
        {"TestCurrent motor smaller", decode::TestCurrent, "TestCurrent", {{"In", V(5)}, {"InPS", V(10)}}, 2.5, 0.001, 4.5},
        {"TestCurrent drive smaller", decode::TestCurrent, "TestCurrent", {{"In", V(30)}, {"InPS", V(10)}}, 5, 0.001, 9},
        {"TestProtectionCurrent", decode::TestProtectionCurrent, "TestProtectionCurrent",
         {{"IMAXPROT", V(16380)}, {"ImaxM", V(15)}, {"ImaxPS", V(20)}}, 10, 0, 15},
        {"TestProtectionCurrent above range, unclamped", decode::TestProtectionCurrent, "TestProtectionCurrent",
         {{"IMAXPROT", V(32760)}, {"ImaxM", V(12)}, {"ImaxPS", V(20)}}, 20, 0, 12},
        {"Imax_Prot", decode::Imax_Prot, "Imax_Prot", {{"IMAXPROT", V(16380)}, {"ImaxM", V(15)}, {"ImaxPS", V(20)}}, 10, 0.001, 15},
        {"time_Imax_Prot", decode::time_Imax_Prot, "time_Imax_Prot",
         {{"TIMAXPROT", V(2000)}, {"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}, 1, 0.001, 16.3835},
        {"time_Imax_Prot above range, unclamped", decode::time_Imax_Prot, "time_Imax_Prot",
         {{"TIMAXPROT", V(65535)}, {"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}, 32.7675, 0.001, 16.3835},
        {"I_I2t_M", decode::I_I2t_M, "I_I2t_M", {{"I2TINTLIM_M", V(5240320.3125)}, {"In", V(5)}, {"ImaxM", V(15)}}, 7.5, 5.5, 15},
        {"t_I2t_M", decode::t_I2t_M, "t_I2t_M",
         {{"SLPER", V(10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}, {"SFI2T_M", V(2048)}}, 16.384, 1.024, 33554.432},
        {"Vbrake", decode::Vbrake, "Vbrake", {{"BRAKELIM", V(49140)}, {"VdcMaxMeasurable", R"({"value": 111.8, "unit": "V "})"}},
         83.85, 1, 111.8},
        // Configuration words beyond single bits.
        {"estimator field 110", decode::isSpeedEstimator, "isSpeedEstimator", {{"SCR", Hex(0x30)}}, 1, 0, 1},
        {"estimator field 110, other bits set", decode::isSpeedEstimator, "isSpeedEstimator", {{"SCR", Hex(0xFFF7)}}, 1, 0, 1},
        {"estimator field 111", decode::isSpeedEstimator, "isSpeedEstimator", {{"SCR", Hex(0x38)}}, 0, 0, 1},
        {"estimator field 010", decode::isSpeedEstimator, "isSpeedEstimator", {{"SCR", Hex(0x10)}}, 0, 0, 1},
        {"analogue reference", decode::ExternalReference, "ExternalReference", {{"ACR", Hex(0x40)}}, 1, 0, 1},
        {"digital reference", decode::ExternalReference, "ExternalReference", {{"ACR", Hex(0x80)}}, 1, 0, 1},
        {"no external reference", decode::ExternalReference, "ExternalReference", {{"ACR", Hex(0xFF3F)}}, 0, 0, 1},
        {"position mode, bits 9 and 10", decode::ControlMode, "ControlMode", {{"ACR", Hex(0x0600)}}, 0, 0, 2},
        {"position mode", decode::ControlMode, "ControlMode", {{"ACR", Hex(0x0500)}}, 0, 0, 2},
        {"speed mode", decode::ControlMode, "ControlMode", {{"ACR", Hex(0x0300)}}, 1, 0, 2},
        {"current mode", decode::ControlMode, "ControlMode", {{"ACR", Hex(0xF9FF)}}, 2, 0, 2},
        {"speed feedforward on", decode::SpeedForward, "SpeedForward", {{"ACR", Hex(0x4000)}}, 1},
        {"speed feedforward off", decode::SpeedForward, "SpeedForward", {{"ACR", Hex(0xBFFF)}}, 0},
        {"freeze in position mode", decode::isFreezeControl, "isFreezeControl", {{"ACR", Hex(0x10)}, {"ControlMode", V(0)}}, 1, 0, 1},
        {"freeze, mode truncated to 0", decode::isFreezeControl, "isFreezeControl", {{"ACR", Hex(0x10)}, {"ControlMode", V(0.9)}}, 1, 0, 1},
        {"freeze in speed mode", decode::isFreezeControl, "isFreezeControl", {{"ACR", Hex(0x10)}, {"ControlMode", V(1)}}, 0, 0, 1},
        {"freeze in current mode", decode::isFreezeControl, "isFreezeControl", {{"ACR", Hex(0x10)}, {"ControlMode", V(2)}}, 0, 0, 1},
        {"freeze bit clear", decode::isFreezeControl, "isFreezeControl", {{"ACR", Hex(0xFFEF)}, {"ControlMode", V(0)}}, 0, 0, 1},
        {"motor over-temperature disabled", decode::isMotorOverTemp, "isMotorOverTemp", {{"PCR", Hex(0x04)}}, 1, 0, 0,
         R"("DisableMotorTemperature": "1")"},
        {"analogue input present", decode::isAnalogueReference, "isAnalogueReference", {{"ACR", Hex(0x40)}, {"CADIN", V(1000)}},
         1, 0, 1, "", R"("CADIN": {"unit": ""})"},
        // Start mode: bit 4 decides alone; bit 3 alone with ACR bit 15 and the option.
        {"start mode 4", decode::StartMode, "StartMode", {{"OSR", Hex(0x18)}}, 4, 0, 4},
        {"start mode 2", decode::StartMode, "StartMode", {{"OSR", Hex(0x14)}}, 2, 0, 4},
        {"start mode 1", decode::StartMode, "StartMode", {{"OSR", Hex(0x08)}, {"ACR", Hex(0x8000)}}, 1, 0, 4},
        {"start mode 3", decode::StartMode, "StartMode", {{"OSR", Hex(0x08)}, {"ACR", Hex(0x8000)}}, 3, 0, 4,
         R"("PMSMStartwithHalls": "1")"},
        {"start mode 1 with option, bit 15 clear", decode::StartMode, "StartMode", {{"OSR", Hex(0x08)}, {"ACR", Hex(0x7FFF)}}, 1, 0,
         4, R"("PMSMStartwithHalls": "1")"},
        {"start mode 0 whatever bit 2", decode::StartMode, "StartMode", {{"OSR", Hex(0xFFE7)}}, 0, 0, 4},
        {"start mode 0", decode::StartMode, "StartMode", {{"OSR", Hex(0)}}, 0, 0, 4},
        // Brake.
        {"brake on", decode::isMotorBrake, "isMotorBrake", {{"BRAKECFG", Hex(0x0301)}}, 1, 0, 1},
        {"brake off", decode::isMotorBrake, "isMotorBrake", {{"BRAKECFG", Hex(0xFFFE)}}, 0, 0, 1},
        {"brake release time", decode::MotorBrake_releasetime, "MotorBrake_releasetime",
         {{"Ts_S", V(0.0005)}, {"BRAKERELEASEDELAY", V(200)}}, 0.1},
        {"brake apply time", decode::MotorBrake_applytime, "MotorBrake_applytime", {{"Ts_S", V(0.0005)}, {"BRAKEAPPLYDELAY", V(100)}},
         0.05},
    };
    return cases;
}

enum class Sense { kSet, kCleared };

struct FlagCase {
    DecodeStep step;
    const char* flag;
    const char* word;
    int bit;
    Sense sense = Sense::kSet;
    double max = 1;
};

const std::vector<FlagCase>& FlagCases()
{
    static const std::vector<FlagCase> cases = {
        {decode::isMotorTemperatureSensor, "isMotorTemperatureSensor", "SCR", 7},
        {decode::isDriveTemperatureSensor, "isDriveTemperatureSensor", "SCR", 8},
        {decode::CommutationMethod, "CommutationMethod", "SCR", 13},
        {decode::isBrakeResistor, "isBrakeResistor", "OSR", 9},
        {decode::isSWLS, "isSWLS", "ASR", 12},
        {decode::InputsPolarityType, "InputsPolarityType", "ASR", 2, Sense::kCleared},
        {decode::isOverCurrent, "isOverCurrent", "PCR", 0},
        {decode::isMotori2t, "isMotori2t", "PCR", 1},
        {decode::isMotorOverTemp, "isMotorOverTemp", "PCR", 2},
        {decode::isDriveOverTemp, "isDriveOverTemp", "PCR", 3},
        {decode::isOverVoltage, "isOverVoltage", "PCR", 4},
        {decode::isUnderVoltage, "isUnderVoltage", "PCR", 5},
        {decode::isDriveI2t, "isDriveI2t", "PCR", 7},
        {decode::isAutoActivatedAfterPowerOn, "isAutoActivatedAfterPowerOn", "ACR", 1},
        // Without the analogue input the flag can only be off.
        {decode::isAnalogueReference, "isAnalogueReference", "ACR", 6, Sense::kSet, 0},
        {decode::DigitalReferenceType, "DigitalReferenceType", "ACR", 2, Sense::kCleared},
        {decode::isLimitMaximum, "isLimitMaximum", "UPGRADE", 2},
        {decode::PosSpd_in_FastLoop, "PosSpd_in_FastLoop", "UPGRADE", 6},
        {decode::EnablePolarity, "EnablePolarity", "DIGIN_ACTIVE_LEVEL", 15},
        {decode::LSNPolarity, "LSNPolarity", "DIGIN_ACTIVE_LEVEL", 14},
        {decode::LSPPolarity, "LSPPolarity", "DIGIN_ACTIVE_LEVEL", 13},
        {decode::save_CAN_baudrate, "save_CAN_baudrate", "LSS_Active", 1, Sense::kCleared},
        {decode::save_axis_id, "save_axis_id", "LSS_Active", 0, Sense::kCleared},
    };
    return cases;
}

class DecodeDriveConfig : public zektest::EngineTest {};

TEST_F(DecodeDriveConfig, StepsGiveHandComputedValuesAndRanges)
{
    for (const Case& c : ValueCases()) {
        auto setup = SetupFromJson(Doc(Params(c.target, c.reads), c.variables, c.options));
        ASSERT_TRUE(setup) << c.label;
        EXPECT_EQ(1, c.step(setup.get())) << c.label;
        CMC_Parameter* p = setup->FindParameter(c.target);
        ExpectSame(c.value, p->GetValueInBaseUnit(), c.label);
        EXPECT_EQ(std::isnan(c.min) ? kOldMin : c.min, p->GetMinInBaseUnit()) << c.label;
        EXPECT_DOUBLE_EQ(std::isnan(c.max) ? kOldMax : c.max, p->GetMaxInBaseUnit()) << c.label;
        EXPECT_TRUE(Reported().empty()) << c.label;
    }
}

TEST_F(DecodeDriveConfig, MissingParameterWritesNothingAndIsReported)
{
    for (const Case& c : ValueCases()) {
        std::vector<std::string> names = {c.target};
        for (const P& p : c.reads)
            if (p.name != "CADIN") names.push_back(p.name);  // CADIN only widens a range
        for (const std::string& missing : names) {
            const std::string label = std::string(c.label) + " without " + missing;
            rurorade::ErrorSink().Clear();
            auto setup = SetupFromJson(Doc(Params(c.target, c.reads, missing), c.variables, c.options));
            ASSERT_TRUE(setup) << label;
            EXPECT_EQ(0, c.step(setup.get())) << label;
            EXPECT_TRUE(Contains(Reported(), missing)) << label;
            if (missing != c.target) ExpectUnchanged(setup->FindParameter(c.target), label);
        }
    }
}

TEST_F(DecodeDriveConfig, FlagsFollowTheirBitAlone)
{
    for (const FlagCase& c : FlagCases()) {
        const double on = c.sense == Sense::kSet ? 1 : 0;
        const int mask = 1 << c.bit;
        // The bit alone, every other bit with it clear, and a fraction that truncation drops.
        const std::pair<double, double> words[] = {
            {mask, on}, {0xFFFF ^ mask, 1 - on}, {mask + 0.75, on}, {0x10000 | mask, on}, {0, 1 - on}};
        for (const auto& [word, expected] : words) {
            const std::string label = std::string(c.flag) + " from " + c.word + " " + std::to_string(word);
            auto setup = SetupFromJson(Doc(Params(c.flag, {{c.word, V(word)}})));
            EXPECT_EQ(1, c.step(setup.get())) << label;
            CMC_Parameter* p = setup->FindParameter(c.flag);
            EXPECT_EQ(expected, p->GetValueInBaseUnit()) << label;
            EXPECT_EQ(0, p->GetMinInBaseUnit()) << label;
            EXPECT_EQ(c.max, p->GetMaxInBaseUnit()) << label;
        }
    }
}

TEST_F(DecodeDriveConfig, FlagWithoutItsWordWritesNothing)
{
    for (const FlagCase& c : FlagCases()) {
        rurorade::ErrorSink().Clear();
        auto setup = SetupFromJson(Doc(Params(c.flag, {})));
        EXPECT_EQ(0, c.step(setup.get())) << c.flag;
        ExpectUnchanged(setup->FindParameter(c.flag), c.flag);
        EXPECT_TRUE(Contains(Reported(), c.word)) << c.flag;
    }
}

TEST_F(DecodeDriveConfig, FastLoopFlagIsOptional)
{
    // No report and success even though UPGRADE is missing too.
    auto setup = SetupFromJson(Doc(R"("DSP_freq": {"value": 60000000})"));
    EXPECT_EQ(1, decode::PosSpd_in_FastLoop(setup.get()));
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeDriveConfig, StartModeLooksUpAcrOnlyForBit3Alone)
{
    auto setup = SetupFromJson(Doc(Params("StartMode", {{"OSR", Hex(0x10)}})));
    EXPECT_EQ(1, decode::StartMode(setup.get()));
    EXPECT_EQ(2, setup->GetParameterValueInBaseUnit("StartMode"));
    EXPECT_TRUE(Reported().empty());

    // Option set, bit 15 of ACR set, but bit 4 wins.
    setup = SetupFromJson(Doc(Params("StartMode", {{"OSR", Hex(0x10)}, {"ACR", Hex(0x8000)}}), "", R"("PMSMStartwithHalls": "1")"));
    EXPECT_EQ(1, decode::StartMode(setup.get()));
    EXPECT_EQ(2, setup->GetParameterValueInBaseUnit("StartMode"));
}

TEST_F(DecodeDriveConfig, RefusedRangeChangesNothing)
{
    struct Refused {
        const char* label;
        DecodeStep step;
        const char* target;
        std::vector<P> reads;
    };
    const Refused cases[] = {
        {"drive I2t, nominal above peak", decode::I_I2t_D, "I_I2t_D", {{"I2TINTLIM_D", V(1000)}, {"InPS", V(25)}, {"ImaxPS", V(20)}}},
        {"motor I2t, 1.1 x nominal above peak", decode::I_I2t_M, "I_I2t_M", {{"I2TINTLIM_M", V(1000)}, {"In", V(14)}, {"ImaxM", V(15)}}},
        {"Imax_Prot, peak below 1 mA", decode::Imax_Prot, "Imax_Prot", {{"IMAXPROT", V(100)}, {"ImaxM", V(0.0005)}, {"ImaxPS", V(20)}}},
        {"TestProtectionCurrent, negative peak", decode::TestProtectionCurrent, "TestProtectionCurrent",
         {{"IMAXPROT", V(100)}, {"ImaxM", V(-1)}, {"ImaxPS", V(20)}}},
        {"TestCurrent, zero nominal", decode::TestCurrent, "TestCurrent", {{"In", V(0)}, {"InPS", V(10)}}},
        {"Vbrake, bus below 1 V", decode::Vbrake, "Vbrake", {{"BRAKELIM", V(100)}, {"VdcMaxMeasurable", V(0.5)}}},
        {"t_I2t_D, negative period", decode::t_I2t_D, "t_I2t_D",
         {{"Ts_S", V(0.0005)}, {"SFI2T_D", V(1024)}, {"SLPER", V(-10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}},
        {"t_I2t_M, negative period", decode::t_I2t_M, "t_I2t_M",
         {{"SLPER", V(-10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}, {"SFI2T_M", V(2048)}}},
        {"time_Imax_Prot, negative period", decode::time_Imax_Prot, "time_Imax_Prot",
         {{"TIMAXPROT", V(2000)}, {"SLPER", V(-10)}, {"PWMPER", V(1500)}, {"DSP_freq", V(60e6)}}},
    };
    for (const Refused& c : cases) {
        auto setup = SetupFromJson(Doc(Params(c.target, c.reads)));
        EXPECT_EQ(0, c.step(setup.get())) << c.label;
        ExpectUnchanged(setup->FindParameter(c.target), c.label);
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(DecodeDriveConfig, BrakeOutputIsThePortOfThePinInBits8To15)
{
    auto setup = SetupFromJson(Doc(Params("MotorBrake_output", {{"BRAKECFG", Hex(0x10305)}})));
    EXPECT_EQ(1, decode::MotorBrake_output(setup.get()));
    CMC_Parameter* p = setup->FindParameter("MotorBrake_output");
    EXPECT_EQ(HostPort(setup.get(), 3), p->GetValueInInternalUnit());
    EXPECT_EQ(kOldMin, p->GetMinInBaseUnit());
    EXPECT_EQ(kOldMax, p->GetMaxInBaseUnit());
}

TEST_F(DecodeDriveConfig, TruncatedLineCountEncodesBackToWholeLines)
{
    auto setup = SetupFromJson(Doc(Params("No_encoder_lines", {{"MECRESL", V(4002)}})));
    decode::No_encoder_lines(setup.get());
    encode::MECRESL(setup.get());
    EXPECT_EQ(4000, setup->GetParameterValueInBaseUnit("MECRESL"));
}

// ---- DecodeRegisters ------------------------------------------------------------------------

// The registers of this area for the sample drive, with stale engineering parameters.
std::string SampleParams(const std::string& extra = "")
{
    std::string out = R"(
        "DSP_freq": {"value": 60000000}, "PWMPER": {"value": 1500}, "CLPER": {"value": 1}, "SLPER": {"value": 10},
        "VdcMaxMeasurable": {"value": 111.8, "unit": "V "}, "Vdc": {"value": 48, "unit": "V "},
        "ImaxPS": {"value": 20, "unit": "A"}, "InPS": {"value": 10, "unit": "A"}, "In": {"value": 5, "unit": "A"},
        "ImaxM": {"value": 15, "unit": "A"}, "ADCrange": {"value": 3.3, "unit": "V"},
        "DriveTempOutputAt0oC": {"value": 0.5, "unit": "V"}, "DriveTempSensorGain": {"value": 0.01, "unit": "V"},
        "MECRESL": {"value": 10000}, "ENC2THL": {"value": 1717986.9184},
        "SCR": {"value": 8448}, "OSR": {"value": 8}, "ASR": {"value": 0}, "PCR": {"value": 187},
        "ACR": {"value": 1296}, "UPGRADE": {"value": 0}, "DIGIN_ACTIVE_LEVEL": {"value": 57344},
        "UMAXPROT": {"value": 32760}, "UMINPROT": {"value": 16380}, "T2MAXPROT": {"value": 19656},
        "I2TINTLIM_D": {"value": 20961281.25}, "SFI2T_D": {"value": 1024}, "IMAXPROT": {"value": 16380},
        "TIMAXPROT": {"value": 2000}, "I2TINTLIM_M": {"value": 5240320.3125}, "SFI2T_M": {"value": 2048},
        "BRAKELIM": {"value": 49140}, "AAR_table": {"value": 257}, "MTSTYPE": {"value": 0},
        "pp": {"value": 0}, "No_encoder_lines": {"value": 0}, "PWM_freq": {"value": 0}, "PWMperiod": {"value": 0},
        "Ts_C": {"value": 0}, "Ts_S": {"value": 1}, "ControlMode": {"value": 1}, "t_I2t_D": {"value": 0},
        "CommutationMethod": {"value": 0}, "isOverVoltage": {"value": 0}, "StartMode": {"value": 0},
        "EnablePolarity": {"value": 0})";
    if (!extra.empty()) out += "," + extra;
    return out;
}

TEST_F(DecodeDriveConfig, DecodeRegistersRunsTheStepsInOrder)
{
    auto setup = SetupFromJson(Doc(SampleParams(
        R"("isFreezeControl": {"value": 0}, "POSOKLIM_FC": {"value": 10}, "TONPOSOK_FC": {"value": 20},
           "isMotorBrake": {"value": 0}, "BRAKECFG": {"value": 0}, "MotorBrake_applytime": {"value": 0},
           "BRAKEAPPLYDELAY": {"value": 100})")));
    DecodeRegisters(setup.get());
    auto value = [&](const char* name) { return setup->GetParameterValueInBaseUnit(name); };
    EXPECT_DOUBLE_EQ(4, value("pp"));
    EXPECT_EQ(2500, value("No_encoder_lines"));
    EXPECT_DOUBLE_EQ(20000, value("PWM_freq"));
    EXPECT_DOUBLE_EQ(5e-5, value("Ts_C"));
    // Ts_S and ControlMode are decoded before the steps that read them.
    EXPECT_DOUBLE_EQ(5e-4, value("Ts_S"));
    EXPECT_DOUBLE_EQ(32.768, value("t_I2t_D"));
    EXPECT_EQ(0, value("ControlMode"));
    EXPECT_EQ(1, value("isFreezeControl"));
    EXPECT_DOUBLE_EQ(0.05, value("MotorBrake_applytime"));
    EXPECT_EQ(1, value("CommutationMethod"));
    EXPECT_EQ(1, value("isOverVoltage"));
    EXPECT_EQ(1, value("StartMode"));
    EXPECT_EQ(1, value("EnablePolarity"));
}

TEST_F(DecodeDriveConfig, DecodeRegistersGoesOnAfterAFailedStep)
{
    std::string params = SampleParams();
    params.replace(params.find(R"("MECRESL": {"value": 10000}, )"), 29, "");
    auto setup = SetupFromJson(Doc(params));
    DecodeRegisters(setup.get());
    EXPECT_TRUE(Contains(Reported(), "MECRESL"));
    EXPECT_EQ(0, setup->GetParameterValueInBaseUnit("pp"));
    EXPECT_EQ(0, setup->GetParameterValueInBaseUnit("No_encoder_lines"));
    EXPECT_DOUBLE_EQ(20000, setup->GetParameterValueInBaseUnit("PWM_freq"));
    EXPECT_EQ(1, setup->GetParameterValueInBaseUnit("EnablePolarity"));
}

TEST_F(DecodeDriveConfig, GatesSkipWholeGroupsQuietly)
{
    // Every optional feature is half present: each probe fails.
    auto setup = SetupFromJson(Doc(SampleParams(
                                       R"("save_axis_id": {"value": 5}, "LSS_Active": {"value": 0},
           "isFilterEnc": {"value": 5}, "QUAL": {"value": 1},
           "isMotorBrake": {"value": 5}, "BRAKEAPPLYDELAY": {"value": 100},
           "isFreezeControl": {"value": 5}, "POSOKLIM_FC": {"value": 10},
           "SWPOSLS": {"value": 100}, "CADIN": {"value": 100}, "SFTKPTHT": {"value": 1})"),
                                   ""));
    g_bShowErrors = 7;
    DecodeRegisters(setup.get());
    EXPECT_EQ(7, g_bShowErrors);
    for (const char* name : {"save_axis_id", "isFilterEnc", "isMotorBrake", "isFreezeControl"})
        EXPECT_EQ(5, setup->GetParameterValueInBaseUnit(name)) << name;
    EXPECT_EQ(100, setup->GetParameterValueInBaseUnit("CADIN"));
    // Neither the probes nor the steps they gate asked for these.
    for (const char* name : {"KPTHT", "Kp_T_scl", "isSWLS", "Negative_SWLS", "isSpeedEstimator", "LEVEL_AD5", "DeadBand_Point",
                             "CRT_min", "save_CAN_baudrate", "ReverseCounting", "COUNTINGDIR", "FilterEncValue", "BRAKECFG",
                             "MotorBrake_output", "SpeedForward", "TONPOSOK_FC", "FreezeControl_time", "InputsPolarityType",
                             "PosSpd_in_FastLoop"})
        EXPECT_FALSE(Contains(Reported(), name)) << name;
}

TEST_F(DecodeDriveConfig, GatesOpenForPresentFeatures)
{
    auto setup = SetupFromJson(Doc(SampleParams(
        R"("isSWLS": {"value": 1}, "isSpeedEstimator": {"value": 1},
           "save_CAN_baudrate": {"value": 0}, "save_axis_id": {"value": 0}, "LSS_Active": {"value": 0},
           "ReverseCounting": {"value": 0}, "COUNTINGDIR": {"value": 1},
           "isFilterEnc": {"value": 0}, "FilterEncValue": {"value": 3}, "QUAL": {"value": 1},
           "isMotorBrake": {"value": 0}, "BRAKECFG": {"value": 769}, "MotorBrake_output": {"value": 0},
           "MotorBrake_releasetime": {"value": 0}, "BRAKERELEASEDELAY": {"value": 200},
           "SpeedForward": {"value": 0},
           "isFreezeControl": {"value": 0}, "POSOKLIM_FC": {"value": 10}, "TONPOSOK_FC": {"value": 20},
           "InputsPolarityType": {"value": 0})")));
    auto& sp = *setup;
    sp.SetParameterValueInBaseUnit("ACR", 0x4510);  // position mode, freeze and speed feedforward
    sp.SetParameterValueInBaseUnit("SCR", 0x2130);  // speed estimator field 110
    DecodeRegisters(setup.get());
    auto value = [&](const char* name) { return sp.GetParameterValueInBaseUnit(name); };
    EXPECT_EQ(0, value("isSWLS"));
    EXPECT_EQ(1, value("isSpeedEstimator"));
    EXPECT_EQ(1, value("save_CAN_baudrate"));
    EXPECT_EQ(1, value("save_axis_id"));
    EXPECT_EQ(1, value("ReverseCounting"));
    EXPECT_EQ(1, value("isFilterEnc"));
    EXPECT_EQ(1, value("isMotorBrake"));
    EXPECT_EQ(HostPort(setup.get(), 3), sp.FindParameter("MotorBrake_output")->GetValueInInternalUnit());
    EXPECT_DOUBLE_EQ(0.1, value("MotorBrake_releasetime"));
    EXPECT_EQ(1, value("SpeedForward"));
    EXPECT_EQ(1, value("isFreezeControl"));
    EXPECT_EQ(1, value("InputsPolarityType"));
}

TEST_F(DecodeDriveConfig, FindDecodeStepKnowsEveryStepByItsExactName)
{
    const char* names[] = {
        "pp", "No_encoder_lines", "isMotorTemperatureSensor", "Motor_TempSensor_Type", "PWM_freq", "PWMperiod", "Ts_C", "Ts_S",
        "PosSpd_in_FastLoop", "isDriveTemperatureSensor", "isOverVoltage", "isUnderVoltage", "isDriveOverTemp", "isDriveI2t",
        "UMAX_PROT", "UMIN_PROT", "Temp_2", "I_I2t_D", "t_I2t_D", "ControlMode", "ExternalReference",
        "isAutoActivatedAfterPowerOn", "Axis_ID_list", "CommutationMethod", "IlimPS", "Kp_C_scl", "Ki_C_scl", "TestCurrent",
        "TestProtectionCurrent", "isUseFilterOnCrtCtrlOutput", "FilterOnCurrentControllerOutput",
        "isCompensateGravitationalLoads", "OffsetCurrent", "Kp_S_scl", "Ki_S_scl", "IPSatS", "KFFA_scl", "TestLimitCurrent",
        "TestStartCurrent", "Jload_over_J", "Kp_P_scl", "Ki_P_scl", "Kd_P_scl", "Kp_T_scl", "Ki_T_scl", "filter_D", "IPSatP",
        "Limit_Speed", "TestMaxSpeed", "KFFS_scl", "isOverCurrent", "Imax_Prot", "time_Imax_Prot", "isPositionControlError",
        "ERR_position", "time_ERR_pos", "isSpeedControlError", "ERR_speed", "time_ERR_spd", "isMotorOverTemp", "isMotori2t",
        "I_I2t_M", "t_I2t_M", "isBrakeResistor", "Vbrake", "EnablePolarity", "LSPPolarity", "LSNPolarity", "isSWLS",
        "Negative_SWLS", "Positive_SWLS", "isSpeedEstimator", "StartMode", "StartCurrent", "time_AB", "isAnalogueReference",
        "DigitalReferenceType", "isLimitMaximum", "ErefMaxSpeed", "ErefMaxAcceleration", "DeadBand_Point", "DeadBand_Range",
        "UseFilter", "filter", "POS_min", "POS_max", "SPD_min", "SPD_max", "CRT_min", "CRT_max", "save_CAN_baudrate",
        "save_axis_id", "ReverseCounting", "isFilterEnc", "isMotorBrake", "MotorBrake_output", "MotorBrake_releasetime",
        "MotorBrake_applytime", "SpeedForward", "isFreezeControl", "FreezeControl_errband", "FreezeControl_time",
        "InputsPolarityType"};
    std::set<DecodeStep> steps;
    for (const char* name : names) {
        const DecodeStep step = FindDecodeStep(name);
        EXPECT_NE(nullptr, step) << name;
        steps.insert(step);
    }
    EXPECT_EQ(std::size(names), steps.size());  // no two names share a step
    EXPECT_EQ(&decode::pp, FindDecodeStep("pp"));
    EXPECT_EQ(&decode::isOverVoltage, FindDecodeStep("isOverVoltage"));
    EXPECT_EQ(&decode::Limit_Speed, FindDecodeStep("Limit_Speed"));
    EXPECT_EQ(&decode::CRT_max, FindDecodeStep("CRT_max"));
    for (const char* unknown : {"PP", "pwm_freq", "PWMPER", "Ts_S ", "", "DecodeRegisters"})
        EXPECT_EQ(nullptr, FindDecodeStep(unknown)) << unknown;
    EXPECT_EQ(nullptr, FindDecodeStep(nullptr));
}

}  // namespace
