#include <gtest/gtest.h>

#include <cmath>

#include "engine/unit_scaling.h"
#include "engine_fixture.h"

namespace {

using zektest::Doc;
using zektest::SetupFromJson;

// Chosen so that every scale quantity is a distinct, hand-checkable number:
// Ts_C 50 us, Ts_S 500 us, 1638 counts/A, 655.2 counts/V, N 4000 (MECRESL 4002), G = 2.
std::string Params(double motorTransmission = 2, double commutation = 0, double mecresl = 4002, double controlMode = 0)
{
    char buf[2048];
    std::snprintf(buf, sizeof buf, R"(
      "DSP_freq":{"value":60e6,"unit":"Hz"}, "PWMPER":{"value":1500}, "CLPER":{"value":1}, "SLPER":{"value":10},
      "ImaxPS":{"value":20,"unit":"A"}, "VdcMaxMeasurable":{"value":100,"unit":"V "}, "Vdc":{"value":48,"unit":"V "},
      "CommutationMethod":{"value":%.17g}, "MECRESL":{"value":%.17g}, "ENC2THL":{"value":4294967.296},
      "Motor_transmission":{"value":%.17g,"unit":"rot"}, "Load_transmission":{"value":1,"unit":"rot"},
      "No_encoder_lines":{"value":1000}, "AnalogueInputsRange":{"value":10,"unit":"V"},
      "ADCrange":{"value":3.3,"unit":"V"}, "DriveTempSensorGain":{"value":0.01,"unit":"V"},
      "DriveTempOutputAt0oC":{"value":0.5,"unit":"V"}, "ControlMode":{"value":%.17g},
      "POS_max":{"value":2,"unit":"rad"}, "POS_min":{"value":-1,"unit":"rad"},
      "SPD_max":{"value":30,"unit":"rad/s"}, "SPD_min":{"value":-10,"unit":"rad/s"},
      "CRT_max":{"value":10,"unit":"A"}, "CRT_min":{"value":-5,"unit":"A"}, "KFFA_scl":{"value":1})",
                  commutation, mecresl, motorTransmission, controlMode);
    return buf;
}

constexpr double kTsC = 5e-5, kTsS = 5e-4, kCS = 1638, kVS = 655.2, kN = 4000, kG = 2;
const double kMotorPos = kN / (2 * kPi), kLoadPos = kN / (2 * kPi) * kG;
const double kMotorSpd = kTsS * kN / (2 * kPi), kLoadSpd = kTsS * kN / (2 * kPi) * kG;
const double kLoadAcc = 1000 * 2 * kTsS * kTsS / kPi * kG, kLoadJerk = 1000 * 2 * kTsS * kTsS * kTsS / kPi * kG;
const double kCommand = 32767 / 48.0;

class UnitScaling : public zektest::EngineTest {};

TEST_F(UnitScaling, EveryRowOfTheUnitTable)
{
    auto setup = SetupFromJson(Doc(Params()));
    struct Row {
        const char* unit;
        const char* name;
        double factor;
    } rows[] = {
        {"V ", "Vdc", 1 / kVS},
        {"v ", "anything", 1 / kVS},
        {"V", "AnalogueInputsRange", 1.0},
        {"V", "analogueinputsrange", 1.0},
        {"V", "DeadBand_Point", 10 / 65520.0},
        {"V", "DeadBand_Range", 10 / 65520.0},
        {"V", "AD2", 10 / 65520.0},
        {"V", "ad2fil_val", 10 / 65520.0},
        {"V", "AD5", 10 / 65520.0},
        {"V", "UQREF", 1 / kCommand},
        {"A", "IQ", 1 / kCS},
        {"a", "IQ", 1 / kCS},
        {"s", "Ts_C", kTsC},
        {"S", "TS_c", kTsC},
        {"s", "Ts_S", kTsS},
        {"rad", "Motor_Position", 1 / kMotorPos},
        {"rad", "APOS_MT", 1 / kMotorPos},
        {"rad", "THTST", 9.587672516830327e-5},
        {"RAD", "thtst", 9.587672516830327e-5},
        {"rad", "ERR_position", 1 / kLoadPos},
        {"rad", "FreezeControl_errband", 1 / kLoadPos},
        {"rad", "TestPosition", 1 / kLoadPos},
        {"rad", "POS_max", 1 / kLoadPos},
        {"rad", "POS_min", 1 / kLoadPos},
        {"rad", "Load_Position", 1 / kLoadPos},
        {"m", "POS_max", 1 / kLoadPos},
        {"m", "Load_Position", 1 / kLoadPos},
        {"m", "Motor_Position", 1 / kLoadPos},  // motor names are not special for linear units
        {"rad/s", "Motor_Speed", 1 / kMotorSpd},
        {"rad/s", "ASPD", 1 / kMotorSpd},
        {"rad/s", "ASPD_MT", 1 / kMotorSpd},
        {"rad/s", "TestMaxSpeed", 1 / kMotorSpd},
        {"rad/s", "SPDREF", 1 / kMotorSpd},
        {"rad/s", "SPDREFL", 1 / kMotorSpd},
        {"rad/s", "Motor_Speed_Reference", 1 / kMotorSpd},
        {"rad/s", "TINCTST", (kPi / 32767 / kTsC) / 4},
        {"rad/s", "ERR_speed", 1 / kLoadSpd},
        {"rad/s", "Limit_Speed", 1 / kLoadSpd},
        {"rad/s", "ErefMaxSpeed", 1 / kLoadSpd},
        {"rad/s", "TestSpeed", 1 / kLoadSpd},
        {"rad/s", "SPD_max", 1 / kLoadSpd},
        {"rad/s", "SPD_min", 1 / kLoadSpd},
        {"rad/s", "Load_Speed", 1 / kLoadSpd},
        {"m/s", "SPD_max", 1 / kLoadSpd},
        {"m/s", "Load_Speed", 1 / kLoadSpd},
        {"rad/s^2", "CACC", 1 / kLoadAcc},
        {"m/s^2", "CACC", 1 / kLoadAcc},
        {"rad/s^3", "JERK", 1 / kLoadJerk},
        {"m/s^3", "JERK", 1 / kLoadJerk},
        {"\xB0" "C", "T", 3.3 / (65520 * 0.01)},
        {"\xC2\xB0" "C", "T", 3.3 / (65520 * 0.01)},
        {"\xC2\xB0" "c", "T", 3.3 / (65520 * 0.01)},
        {"V/s", "x", 1 / kCommand / kTsS},
        {"A/s", "x", 1 / kCS / kTsS},
        {"rpm", "Motor_Speed", 1.0},
        {"rot", "Load_Position", 1.0},
        {"mm", "x", 1.0},
        {"", "x", 1.0},
        {"Hz", "x", 1.0},
        {"V  ", "x", 1.0},
        {" V", "x", 1.0},
    };
    for (const Row& r : rows) {
        const double f = ScaleFactorFor(setup.get(), r.unit, r.name);
        EXPECT_NEAR(f, r.factor, std::fabs(r.factor) * 1e-14) << "unit \"" << r.unit << "\" name " << r.name;
    }
    EXPECT_TRUE(Reported().empty());
}

TEST_F(UnitScaling, NegativeTransmissionKeepsLimitNamesPositive)
{
    auto setup = SetupFromJson(Doc(Params(-1)));
    for (const char* unit : {"rad", "m"}) {
        EXPECT_GT(ScaleFactorFor(setup.get(), unit, "POS_max"), 0) << unit;
        EXPECT_LT(ScaleFactorFor(setup.get(), unit, "Load_Position"), 0) << unit;
    }
    for (const char* unit : {"rad/s", "m/s"}) {
        EXPECT_GT(ScaleFactorFor(setup.get(), unit, "TestSpeed"), 0) << unit;
        EXPECT_LT(ScaleFactorFor(setup.get(), unit, "Load_Speed"), 0) << unit;
    }
    EXPECT_GT(ScaleFactorFor(setup.get(), "rad", "Motor_Position"), 0);
    EXPECT_LT(ScaleFactorFor(setup.get(), "rad/s^2", "x"), 0);
}

TEST_F(UnitScaling, VoltageCommandForms)
{
    auto trapezoidal = SetupFromJson(Doc(Params(2, 0)));
    auto sinusoidal = SetupFromJson(Doc(Params(2, 1)));
    EXPECT_DOUBLE_EQ(ScaleFactorFor(trapezoidal.get(), "V", "x"), 48 / 32767.0);
    EXPECT_DOUBLE_EQ(ScaleFactorFor(sinusoidal.get(), "V", "x"), 52.8 / 65534.0);
    g_bKufSinusoidalMode = 1;
    EXPECT_DOUBLE_EQ(ScaleFactorFor(trapezoidal.get(), "V", "x"), 52.8 / 65534.0);
    // The analogue-input names and the bus voltage do not depend on the flag.
    EXPECT_DOUBLE_EQ(ScaleFactorFor(trapezoidal.get(), "V", "AD5"), 10 / 65520.0);
    EXPECT_DOUBLE_EQ(ScaleFactorFor(trapezoidal.get(), "V ", "x"), 1 / kVS);
}

TEST_F(UnitScaling, EncoderResolutionIsAMultipleOfFour)
{
    auto a = SetupFromJson(Doc(Params(2, 0, 4003)));
    auto b = SetupFromJson(Doc(Params(2, 0, 4000)));
    for (const char* unit : {"rad", "rad/s", "m"})
        EXPECT_EQ(ScaleFactorFor(a.get(), unit, "Load_X"), ScaleFactorFor(b.get(), unit, "Load_X")) << unit;
    EXPECT_EQ(EncoderCounts(a.get()), 4000);
}

TEST_F(UnitScaling, AnalogueReferenceScaleFollowsTheControlMode)
{
    struct Case {
        double controlMode;
        double span;  // max - min in internal units
    } cases[] = {
        {0, 3 * kLoadPos}, {-0.5, 3 * kLoadPos}, {1, 40 * kLoadSpd}, {1.7, 40 * kLoadSpd}, {2.9, 15 * kCS}, {7, 15 * kCS},
    };
    for (const Case& c : cases) {
        auto setup = SetupFromJson(Doc(Params(2, 0, 4002, c.controlMode)));
        EXPECT_NEAR(AnalogueReferenceScale(setup.get()), c.span * 0.5 * 65536 / 65520, 1e-9) << c.controlMode;
    }
    auto negative = SetupFromJson(Doc(Params(-2, 0, 4002, 2)));
    EXPECT_NEAR(AnalogueReferenceScale(negative.get()), -15 * kCS * 0.5 * 65536 / 65520, 1e-9);
}

TEST_F(UnitScaling, AccelerationFeedforwardShift)
{
    for (auto [gain, shift] : {std::pair{1.0, 0.0}, {0.5, 0.0}, {1.01, 1.0}, {4.1, 3.0}, {2.0, 1.0}, {-3.0, 0.0}}) {
        auto setup = SetupFromJson(Doc(R"("KFFA_scl":{"value":)" + std::to_string(gain) + "}"));
        EXPECT_EQ(AccelerationFeedforwardShift(setup.get()), shift) << gain;
    }
}

TEST_F(UnitScaling, TemperatureOffset)
{
    auto setup = SetupFromJson(Doc(Params(), "", "", 4095));
    EXPECT_NEAR(ScaleOffsetFor(setup.get(), "\xB0" "C"), -620.4545454545454, 1e-9);
    EXPECT_NEAR(ScaleOffsetFor(setup.get(), "\xC2\xB0" "C"), -620.4545454545454, 1e-9);
    for (const char* unit : {"V", "A", "V ", "K", ""}) EXPECT_EQ(ScaleOffsetFor(setup.get(), unit), 0.0) << unit;
}

TEST_F(UnitScaling, NullArgumentsGiveTheIdentity)
{
    auto setup = SetupFromJson(Doc(Params()));
    EXPECT_EQ(GetScaleFactor(nullptr, "A", "x"), 1.0);
    EXPECT_EQ(GetScaleFactor(setup.get(), nullptr, "x"), 1.0);
    EXPECT_EQ(GetScaleFactor(setup.get(), "A", nullptr), 1.0);
    EXPECT_EQ(GetScaleOffset(nullptr, "\xB0" "C"), 0.0);
    EXPECT_EQ(GetScaleOffset(setup.get(), nullptr), 0.0);
}

TEST_F(UnitScaling, MissingInputsAreReportedAndPassThrough)
{
    auto setup = SetupFromJson(Doc(R"("ImaxPS":{"value":0})"));
    EXPECT_EQ(ScaleFactorFor(setup.get(), "A", "x"), 0.0);  // ADCmax / 0 is infinite, its inverse 0
    EXPECT_TRUE(std::isnan(ScaleFactorFor(setup.get(), "s", "x")));  // 0 * 2 * 0 / 0 with nothing present
    EXPECT_FALSE(Reported().empty());
}

TEST_F(UnitScaling, InternalUnitConversionGoesThroughTheModule)
{
    auto setup = SetupFromJson(Doc(Params() + R"(,"Current":{"value":2,"unit":"A"},"Temp":{"value":25,"unit":"°C"})"));
    CMC_Parameter* current = setup->FindParameter("Current");
    EXPECT_DOUBLE_EQ(current->GetValueInInternalUnit(), 2 * kCS);
    current->SetValueInInternalUnit(819);
    EXPECT_DOUBLE_EQ(current->GetValueInBaseUnit(), 0.5);
    CMC_Parameter* temp = setup->FindParameter("Temp");
    const double counts = temp->GetValueInInternalUnit();
    EXPECT_NEAR(counts, (0.5 + 25 * 0.01) / 3.3 * 65520, 1e-9);  // sensor volts as converter counts
    temp->SetValueInInternalUnit(counts);
    EXPECT_NEAR(temp->GetValueInBaseUnit(), 25, 1e-12);
}

}  // namespace
