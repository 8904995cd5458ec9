#include "engine/unit_scaling.h"

#include <cmath>
#include <string_view>

#include "rurorade/numeric.h"

extern "C" {
__attribute__((visibility("default"))) int g_bKufSinusoidalMode = 0;
}

namespace {

double Base(CMC_Setup* s, const char* name) { return s->GetParameterValueInBaseUnit(name); }
double Internal(CMC_Setup* s, const char* name) { return s->GetParameterValueInInternalUnit(name); }

double Transmission(CMC_Setup* s) { return Base(s, "Motor_transmission") / Base(s, "Load_transmission"); }

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// Whole-string comparison ignoring the case of ASCII letters.
bool Same(const char* a, std::string_view b)
{
    std::size_t i = 0;
    for (; a[i] != '\0'; ++i)
        if (i >= b.size() || Lower(a[i]) != Lower(b[i])) return false;
    return i == b.size();
}

template <std::size_t N>
bool OneOf(const char* name, const std::string_view (&names)[N])
{
    for (std::string_view n : names)
        if (Same(name, n)) return true;
    return false;
}

bool IsTemperature(const char* unit)
{
    // Windows-1252 degree sign from a Windows host, UTF-8 from a Linux host.
    return Same(unit, "\xB0" "C") || Same(unit, "\xC2\xB0" "C");
}

constexpr std::string_view kAnalogueInputNames[] = {"DeadBand_Point", "DeadBand_Range", "AD2", "AD2FIL_VAL", "AD5"};
constexpr std::string_view kMotorPositionNames[] = {"Motor_Position", "APOS_MT"};
constexpr std::string_view kPositionMagnitudeNames[] = {"ERR_position", "FreezeControl_errband", "TestPosition", "POS_max", "POS_min"};
constexpr std::string_view kMotorSpeedNames[] = {"Motor_Speed", "ASPD", "ASPD_MT", "TestMaxSpeed", "SPDREF", "SPDREFL", "Motor_Speed_Reference"};
constexpr std::string_view kSpeedMagnitudeNames[] = {"ERR_speed", "Limit_Speed", "ErefMaxSpeed", "TestSpeed", "SPD_max", "SPD_min"};

}  // namespace

double ADCmax(CMC_Setup* setup) { return static_cast<double>(Compute_ADCMaxValue(setup)); }

double EncoderCounts(CMC_Setup* setup)
{
    const std::int32_t q = TruncToInt32(Base(setup, "MECRESL")) / 4;
    return 4.0 * q;
}

double CurrentLoopPeriod(CMC_Setup* s) { return Base(s, "CLPER") * 2 * Base(s, "PWMPER") / Base(s, "DSP_freq"); }
double SpeedLoopPeriod(CMC_Setup* s) { return Base(s, "SLPER") * 2 * Base(s, "PWMPER") / Base(s, "DSP_freq"); }
double CurrentScale(CMC_Setup* s) { return ADCmax(s) / (2 * Base(s, "ImaxPS")); }
double VoltageScale(CMC_Setup* s) { return ADCmax(s) / Base(s, "VdcMaxMeasurable"); }

double VoltageCommandScale(CMC_Setup* s)
{
    if (Base(s, "CommutationMethod") == 0.0 && g_bKufSinusoidalMode == 0) return 32767 / Base(s, "Vdc");
    return 65534 / (1.1 * Base(s, "Vdc"));
}

double MotorPositionScale(CMC_Setup* s) { return EncoderCounts(s) / (2 * kPi); }
double LoadPositionScale(CMC_Setup* s) { return EncoderCounts(s) / (2 * kPi) * Transmission(s); }
double MotorSpeedScale(CMC_Setup* s) { return SpeedLoopPeriod(s) * EncoderCounts(s) / (2 * kPi); }
double LoadSpeedScale(CMC_Setup* s) { return SpeedLoopPeriod(s) * EncoderCounts(s) / (2 * kPi) * Transmission(s); }

double LoadAccelerationScale(CMC_Setup* s)
{
    const double ts = SpeedLoopPeriod(s);
    return Base(s, "No_encoder_lines") * 2 * ts * ts / kPi * Transmission(s);
}

double LoadJerkScale(CMC_Setup* s)
{
    const double ts = SpeedLoopPeriod(s);
    return Base(s, "No_encoder_lines") * 2 * ts * ts * ts / kPi * Transmission(s);
}

double AnalogueReferenceScale(CMC_Setup* s)
{
    double max, min;
    switch (TruncToInt32(Base(s, "ControlMode"))) {
    case 0:
        max = Internal(s, "POS_max");
        min = Internal(s, "POS_min");
        break;
    case 1:
        max = Internal(s, "SPD_max");
        min = Internal(s, "SPD_min");
        break;
    default:
        max = Internal(s, "CRT_max");
        min = Internal(s, "CRT_min");
        break;
    }
    const double sign = LoadPositionScale(s) > 0 ? 1.0 : -1.0;
    return (max - min) * 0.5 * 65536 / ADCmax(s) * sign;
}

double AccelerationFeedforwardShift(CMC_Setup* s)
{
    const double k = Base(s, "KFFA_scl");
    if (k <= 1) return 0;
    return std::ceil(std::log(k) / std::log(2.0));
}

double ScaleFactorFor(CMC_Setup* s, const char* unit, const char* name)
{
    if (s == nullptr || unit == nullptr || name == nullptr) return 1.0;

    if (Same(unit, "V ")) return 1 / VoltageScale(s);
    if (Same(unit, "V")) {
        if (Same(name, "AnalogueInputsRange")) return 1.0;
        if (OneOf(name, kAnalogueInputNames)) return Base(s, "AnalogueInputsRange") / ADCmax(s);
        return 1 / VoltageCommandScale(s);
    }
    if (Same(unit, "A")) return 1 / CurrentScale(s);
    if (Same(unit, "s")) return Same(name, "Ts_C") ? CurrentLoopPeriod(s) : SpeedLoopPeriod(s);
    if (Same(unit, "rad")) {
        if (OneOf(name, kMotorPositionNames)) return 1 / MotorPositionScale(s);
        if (Same(name, "THTST")) return kPi / 32767;
        if (OneOf(name, kPositionMagnitudeNames)) return 1 / std::fabs(LoadPositionScale(s));
        return 1 / LoadPositionScale(s);
    }
    if (Same(unit, "m")) {
        if (OneOf(name, kPositionMagnitudeNames)) return 1 / std::fabs(LoadPositionScale(s));
        return 1 / LoadPositionScale(s);
    }
    if (Same(unit, "rad/s")) {
        if (OneOf(name, kMotorSpeedNames)) return 1 / MotorSpeedScale(s);
        if (Same(name, "TINCTST")) {
            const double polePairs = RoundDecimalValue(Internal(s, "MECRESL") * Internal(s, "ENC2THL") * 2.3283064365386963e-10, 0);
            return (kPi / 32767 / CurrentLoopPeriod(s)) / polePairs;
        }
        if (OneOf(name, kSpeedMagnitudeNames)) return 1 / std::fabs(LoadSpeedScale(s));
        return 1 / LoadSpeedScale(s);
    }
    if (Same(unit, "m/s")) {
        if (OneOf(name, kSpeedMagnitudeNames)) return 1 / std::fabs(LoadSpeedScale(s));
        return 1 / LoadSpeedScale(s);
    }
    if (Same(unit, "rad/s^2") || Same(unit, "m/s^2")) return 1 / LoadAccelerationScale(s);
    if (Same(unit, "rad/s^3") || Same(unit, "m/s^3")) return 1 / LoadJerkScale(s);
    if (IsTemperature(unit)) return 1 / (ADCmax(s) * Base(s, "DriveTempSensorGain") / Base(s, "ADCrange"));
    if (Same(unit, "V/s")) return 1 / VoltageCommandScale(s) / SpeedLoopPeriod(s);
    if (Same(unit, "A/s")) return 1 / CurrentScale(s) / SpeedLoopPeriod(s);
    return 1.0;
}

double ScaleOffsetFor(CMC_Setup* s, const char* unit)
{
    if (s == nullptr || unit == nullptr || !IsTemperature(unit)) return 0.0;
    return -(ADCmax(s) * Base(s, "DriveTempOutputAt0oC") / Base(s, "ADCrange"));
}
