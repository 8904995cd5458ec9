#include "engine/decode_drive_config.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <optional>
#include <string_view>

#include "engine/decode_control_loops.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

double Base(const CMC_Parameter* p) { return p->GetValueInBaseUnit(); }
double Internal(const CMC_Parameter* p) { return p->GetValueInInternalUnit(); }
double Square(double x) { return x * x; }


enum class Unit { kBase, kInternal };

int Write(CMC_Parameter* target, double value, Unit unit = Unit::kBase)
{
    if (unit == Unit::kInternal)
        target->SetValueInInternalUnit(value);
    else
        target->SetValueInBaseUnit(value);
    return 1;
}

// Sets the range (base unit), then computes and writes the value unclamped.
// A reversed range changes nothing and the value is not computed.
// The `value` lambdas copy the structured bindings they use: clang before 16 cannot capture a binding.
template <class Value>
int WriteLimited(CMC_Parameter* target, double min, double max, Value value, Unit unit = Unit::kBase)
{
    if (SetParameterLimits(target, min, max) == 0) return 0;
    return Write(target, value(), unit);
}

int Bit(double word, int n) { return (TruncToInt32(word) >> n) & 1; }

// Speed loop period in s from the registers.
double SpeedPeriod(const CMC_Parameter* slper, const CMC_Parameter* pwmper, const CMC_Parameter* dspFreq)
{
    return Base(slper) * 2 * Base(pwmper) / Base(dspFreq);
}

enum class Sense { kSet, kCleared };

// A flag from one bit of a configuration word: 1 when the bit is set (kSet) or clear (kCleared).
int FlagFromBit(CMC_Setup* s, const char* flag, const char* word, int n, Sense sense = Sense::kSet, double max = 1)
{
    auto f = FindAll(s, flag, word);
    if (!f) return 0;
    auto [target, reg] = *f;
    return WriteLimited(target, 0, max, [&, reg = reg] {
        const int bit = Bit(Base(reg), n);
        return sense == Sense::kSet ? double(bit) : double(1 - bit);
    });
}

// Brake output port <-> controller pin, through the host's I/O map.
double IoPortFromPin(CMC_Setup* s, int pin) { return static_cast<double>(s->GetIOPortFromPin(pin)); }

// Current from an I2t integral limit (counts^2 / 16) and a nominal current (A).
double I2tCurrent(double intLimit, double nominal, double currentScale)
{
    return std::sqrt(16 * intLimit + Square(nominal * currentScale)) / currentScale;
}

// ENC2THL holds pp * 2^30 / lines rounded, so multiplying back rounds a second time and a whole
// pole-pair count can come out an ulp off (3 over 2500 lines gives 2.9999999999999996). Two roundings
// are at most about one epsilon relative; four leave margin and still keep any value that is not whole.
double WholeIfWithinUlps(double x)
{
    const double whole = TG_FRound(x);
    return std::fabs(x - whole) <= 4 * std::numeric_limits<double>::epsilon() * std::fabs(whole) ? whole : x;
}

}  // namespace

namespace decode {

// ---- PWM time base and position feedback -------------------------------------------------

int pp(CMC_Setup* s)
{
    auto f = FindAll(s, "pp", "ENC2THL", "MECRESL");
    if (!f) return 0;
    auto [target, enc2thl, mecresl] = *f;
    const double polePairs = Base(mecresl) * Base(enc2thl) * 2.3283064365386963e-10;  // 2^-32 turn per unit
    return Write(target, WholeIfWithinUlps(polePairs));
}

int No_encoder_lines(CMC_Setup* s)
{
    auto f = FindAll(s, "No_encoder_lines", "MECRESL");
    if (!f) return 0;
    auto [target, mecresl] = *f;
    return WriteLimited(target, 2, 1073741823,
                        [&, mecresl = mecresl] { return double(TruncToInt32(Base(mecresl) * 0.25)); });
}

int PWM_freq(CMC_Setup* s)
{
    auto f = FindAll(s, "PWM_freq", "DSP_freq", "PWMPER");
    if (!f) return 0;
    auto [target, dspFreq, pwmper] = *f;
    return Write(target, Base(dspFreq) * 0.5 / Base(pwmper));
}

int PWMperiod(CMC_Setup* s)
{
    auto f = FindAll(s, "PWMperiod", "DSP_freq", "PWMPER");
    if (!f) return 0;
    auto [target, dspFreq, pwmper] = *f;
    return Write(target, Base(pwmper) * 2 / Base(dspFreq));
}

int Ts_C(CMC_Setup* s)
{
    auto f = FindAll(s, "Ts_C", "CLPER", "PWMPER", "DSP_freq");
    if (!f) return 0;
    auto [target, clper, pwmper, dspFreq] = *f;
    return Write(target, Base(clper) * 2 * Base(pwmper) / Base(dspFreq));
}

int Ts_S(CMC_Setup* s)
{
    auto f = FindAll(s, "Ts_S", "SLPER", "PWMPER", "DSP_freq");
    if (!f) return 0;
    auto [target, slper, pwmper, dspFreq] = *f;
    return Write(target, SpeedPeriod(slper, pwmper, dspFreq));
}

int Motor_TempSensor_Type(CMC_Setup* s)
{
    auto f = FindAll(s, "Motor_TempSensor_Type", "MTSTYPE");
    if (!f) return 0;
    auto [target, mtstype] = *f;
    return WriteLimited(target, 0, 1, [&, mtstype = mtstype] { return double(TruncToInt32(Base(mtstype))); });
}

int Axis_ID_list(CMC_Setup* s)
{
    auto f = FindAll(s, "Axis_ID_list", "AAR_table");
    if (!f) return 0;
    auto [target, aar] = *f;
    // A stored axis id carries 256 as its "valid" mark.
    return WriteLimited(target, 0, 511, [&, aar = aar] { return Base(aar) != 0.0 ? Base(aar) - 256 : 0.0; });
}

int ReverseCounting(CMC_Setup* s)
{
    auto f = FindAll(s, "ReverseCounting", "COUNTINGDIR");
    if (!f) return 0;
    auto [target, dir] = *f;
    return WriteLimited(target, 0, 1, [&, dir = dir] { return Base(dir) == 1.0 ? 1.0 : 0.0; });
}

int isFilterEnc(CMC_Setup* s)
{
    auto f = FindAll(s, "isFilterEnc", "QUAL");
    if (!f) return 0;
    auto [target, qual] = *f;
    return WriteLimited(target, 0, 1, [&, qual = qual] { return Base(qual) == 1.0 ? 1.0 : 0.0; });
}

// ---- Protections --------------------------------------------------------------------------

int UMAX_PROT(CMC_Setup* s)
{
    auto f = FindAll(s, "UMAX_PROT", "UMAXPROT");
    if (!f) return 0;
    auto [target, reg] = *f;
    return WriteLimited(target, 1, 2000, [&, reg = reg] { return Base(reg) / VoltageScale(s); });
}

int UMIN_PROT(CMC_Setup* s)
{
    auto f = FindAll(s, "UMIN_PROT", "UMINPROT");
    if (!f) return 0;
    auto [target, reg] = *f;
    return WriteLimited(target, 1, 2000, [&, reg = reg] { return Base(reg) / VoltageScale(s); });
}

int Temp_2(CMC_Setup* s)
{
    auto f = FindAll(s, "Temp_2", "T2MAXPROT", "DriveTempOutputAt0oC", "DriveTempSensorGain", "ADCrange");
    if (!f) return 0;
    auto [target, reg, at0, gain, adcRange] = *f;
    // Converter counts -> sensor volts -> degrees C.
    return WriteLimited(target, -100, 1000,
                        [&, adcRange = adcRange, reg = reg, at0 = at0, gain = gain] {
                            return (Base(adcRange) * Base(reg) / ADCmax(s) - Base(at0)) / Base(gain);
                        });
}

int I_I2t_D(CMC_Setup* s)
{
    auto f = FindAll(s, "I_I2t_D", "I2TINTLIM_D", "InPS", "ImaxPS");
    if (!f) return 0;
    auto [target, reg, inps, imaxps] = *f;
    return WriteLimited(target, Base(inps), Base(imaxps),
                        [&, reg = reg, inps = inps] { return I2tCurrent(Internal(reg), Base(inps), CurrentScale(s)); });
}

int t_I2t_D(CMC_Setup* s)
{
    auto f = FindAll(s, "t_I2t_D", "Ts_S", "SFI2T_D", "SLPER", "PWMPER", "DSP_freq");
    if (!f) return 0;
    auto [target, tsS, sfi2t, slper, pwmper, dspFreq] = *f;
    const double t = SpeedPeriod(slper, pwmper, dspFreq);
    // SFI2T between 1 and 32768.
    return WriteLimited(target, t * 2048, t * 67108864,
                        [&, tsS = tsS, sfi2t = sfi2t] { return Base(tsS) * 67108864 / Base(sfi2t); });
}

int TestCurrent(CMC_Setup* s)
{
    auto f = FindAll(s, "TestCurrent", "In", "InPS");
    if (!f) return 0;
    auto [target, in, inps] = *f;
    const double c = std::min(Base(in) * 0.5, Base(inps) * 0.5);
    return WriteLimited(target, 0.001, 1.8 * c, [&] { return c; });
}

int TestProtectionCurrent(CMC_Setup* s)
{
    auto f = FindAll(s, "TestProtectionCurrent", "IMAXPROT", "ImaxM", "ImaxPS");
    if (!f) return 0;
    auto [target, reg, imaxm, imaxps] = *f;
    return WriteLimited(target, 0, std::min(Base(imaxm), Base(imaxps)),
                        [&, reg = reg] { return Base(reg) / CurrentScale(s); });
}

int Imax_Prot(CMC_Setup* s)
{
    auto f = FindAll(s, "Imax_Prot", "IMAXPROT", "ImaxM", "ImaxPS");
    if (!f) return 0;
    auto [target, reg, imaxm, imaxps] = *f;
    return WriteLimited(target, 0.001, std::min(Base(imaxm), Base(imaxps)),
                        [&, reg = reg] { return Base(reg) / CurrentScale(s); });
}

int time_Imax_Prot(CMC_Setup* s)
{
    auto f = FindAll(s, "time_Imax_Prot", "TIMAXPROT", "SLPER", "PWMPER", "DSP_freq");
    if (!f) return 0;
    auto [target, reg, slper, pwmper, dspFreq] = *f;
    const double t = SpeedPeriod(slper, pwmper, dspFreq);
    return WriteLimited(target, 0.001, 32767 * t, [&, reg = reg] { return Base(reg) * t; });
}

int I_I2t_M(CMC_Setup* s)
{
    auto f = FindAll(s, "I_I2t_M", "I2TINTLIM_M", "In", "ImaxM");
    if (!f) return 0;
    auto [target, reg, in, imaxm] = *f;
    return WriteLimited(target, Base(in) * 1.1, Base(imaxm),
                        [&, reg = reg, in = in] { return I2tCurrent(Base(reg), Base(in), CurrentScale(s)); });
}

int t_I2t_M(CMC_Setup* s)
{
    auto f = FindAll(s, "t_I2t_M", "SLPER", "PWMPER", "DSP_freq", "SFI2T_M");
    if (!f) return 0;
    auto [target, slper, pwmper, dspFreq, sfi2t] = *f;
    const double t = SpeedLoopPeriod(s);
    // 134217728 = 2 * 2^26: the factor 2 of the PWM period.
    return WriteLimited(target, t * 2048, t * 67108864,
                        [&, slper = slper, pwmper = pwmper, dspFreq = dspFreq, sfi2t = sfi2t] {
                            return Base(slper) * 134217728 * Base(pwmper) / Base(dspFreq) / Base(sfi2t);
                        });
}

int Vbrake(CMC_Setup* s)
{
    auto f = FindAll(s, "Vbrake", "BRAKELIM", "VdcMaxMeasurable");
    if (!f) return 0;
    auto [target, reg, vdcMax] = *f;
    return WriteLimited(target, 1, Base(vdcMax), [&, reg = reg] { return Base(reg) / VoltageScale(s); });
}

// ---- Configuration words ------------------------------------------------------------------

int isMotorTemperatureSensor(CMC_Setup* s) { return FlagFromBit(s, "isMotorTemperatureSensor", "SCR", 7); }
int isDriveTemperatureSensor(CMC_Setup* s) { return FlagFromBit(s, "isDriveTemperatureSensor", "SCR", 8); }
int CommutationMethod(CMC_Setup* s) { return FlagFromBit(s, "CommutationMethod", "SCR", 13); }

int isSpeedEstimator(CMC_Setup* s)
{
    auto f = FindAll(s, "isSpeedEstimator", "SCR");
    if (!f) return 0;
    auto [target, scr] = *f;
    // Estimator field (bits 3 to 5) reads 110.
    return WriteLimited(target, 0, 1, [&, scr = scr] { return (TruncToInt32(Base(scr)) & 0x38) == 0x30 ? 1.0 : 0.0; });
}

int isBrakeResistor(CMC_Setup* s) { return FlagFromBit(s, "isBrakeResistor", "OSR", 9); }

int StartMode(CMC_Setup* s)
{
    auto f = FindAll(s, "StartMode", "OSR");
    if (!f) return 0;
    auto [target, osr] = *f;
    const double w = Base(osr);
    double mode = 0;
    if (Bit(w, 4)) {
        mode = Bit(w, 3) ? 4 : 2;
    } else if (Bit(w, 3)) {
        // Start with Hall sensors is told apart from mode 1 only by ACR bit 15.
        CMC_Parameter* acr = s->FindParameter("ACR");
        if (acr == nullptr) return 0;
        mode = IsPmsmStartWithHalls(s) && Bit(Base(acr), 15) ? 3 : 1;
    }
    return WriteLimited(target, 0, 4, [&] { return mode; });
}

int isSWLS(CMC_Setup* s) { return FlagFromBit(s, "isSWLS", "ASR", 12); }
int InputsPolarityType(CMC_Setup* s) { return FlagFromBit(s, "InputsPolarityType", "ASR", 2, Sense::kCleared); }

int isOverCurrent(CMC_Setup* s) { return FlagFromBit(s, "isOverCurrent", "PCR", 0); }
int isMotori2t(CMC_Setup* s) { return FlagFromBit(s, "isMotori2t", "PCR", 1); }

int isMotorOverTemp(CMC_Setup* s)
{
    // A drive that cannot watch the motor temperature offers the protection only as "off".
    const double max = s->GetIntOption("DisableMotorTemperature") != 0 ? 0 : 1;
    return FlagFromBit(s, "isMotorOverTemp", "PCR", 2, Sense::kSet, max);
}

int isDriveOverTemp(CMC_Setup* s) { return FlagFromBit(s, "isDriveOverTemp", "PCR", 3); }
int isOverVoltage(CMC_Setup* s) { return FlagFromBit(s, "isOverVoltage", "PCR", 4); }
int isUnderVoltage(CMC_Setup* s) { return FlagFromBit(s, "isUnderVoltage", "PCR", 5); }
int isDriveI2t(CMC_Setup* s) { return FlagFromBit(s, "isDriveI2t", "PCR", 7); }

int isAutoActivatedAfterPowerOn(CMC_Setup* s) { return FlagFromBit(s, "isAutoActivatedAfterPowerOn", "ACR", 1); }

int ExternalReference(CMC_Setup* s)
{
    auto f = FindAll(s, "ExternalReference", "ACR");
    if (!f) return 0;
    auto [target, acr] = *f;
    // Analogue (bit 6) or digital (bit 7) reference.
    return WriteLimited(target, 0, 1, [&, acr = acr] { return Bit(Base(acr), 6) || Bit(Base(acr), 7) ? 1.0 : 0.0; });
}

int isAnalogueReference(CMC_Setup* s)
{
    const double max = HasAnalogueReferenceInput(s) ? 1 : 0;
    return FlagFromBit(s, "isAnalogueReference", "ACR", 6, Sense::kSet, max);
}

int DigitalReferenceType(CMC_Setup* s) { return FlagFromBit(s, "DigitalReferenceType", "ACR", 2, Sense::kCleared); }

int ControlMode(CMC_Setup* s)
{
    auto f = FindAll(s, "ControlMode", "ACR");
    if (!f) return 0;
    auto [target, acr] = *f;
    // 0 position (bit 10), 1 speed (bit 9), 2 current.
    return WriteLimited(target, 0, 2, [&, acr = acr] {
        const double w = Base(acr);
        return Bit(w, 10) ? 0.0 : Bit(w, 9) ? 1.0 : 2.0;
    });
}

int SpeedForward(CMC_Setup* s)
{
    auto f = FindAll(s, "SpeedForward", "ACR");
    if (!f) return 0;
    auto [target, acr] = *f;
    return Write(target, Bit(Base(acr), 14), Unit::kInternal);
}

int isFreezeControl(CMC_Setup* s)
{
    auto f = FindAll(s, "isFreezeControl", "ACR", "ControlMode");
    if (!f) return 0;
    auto [target, acr, mode] = *f;
    // Freeze control acts in position mode only.
    return WriteLimited(
        target, 0, 1,
        [&, acr = acr, mode = mode] { return Bit(Internal(acr), 4) && TruncToInt32(Internal(mode)) == 0 ? 1.0 : 0.0; },
        Unit::kInternal);
}

int isLimitMaximum(CMC_Setup* s) { return FlagFromBit(s, "isLimitMaximum", "UPGRADE", 2); }

int PosSpd_in_FastLoop(CMC_Setup* s)
{
    if (QuietFindParameter(s, "PosSpd_in_FastLoop") == nullptr) return 1;
    return FlagFromBit(s, "PosSpd_in_FastLoop", "UPGRADE", 6);
}

int EnablePolarity(CMC_Setup* s) { return FlagFromBit(s, "EnablePolarity", "DIGIN_ACTIVE_LEVEL", 15); }
int LSNPolarity(CMC_Setup* s) { return FlagFromBit(s, "LSNPolarity", "DIGIN_ACTIVE_LEVEL", 14); }
int LSPPolarity(CMC_Setup* s) { return FlagFromBit(s, "LSPPolarity", "DIGIN_ACTIVE_LEVEL", 13); }

// LSS_Active marks the settings that are not to be stored.
int save_CAN_baudrate(CMC_Setup* s) { return FlagFromBit(s, "save_CAN_baudrate", "LSS_Active", 1, Sense::kCleared); }
int save_axis_id(CMC_Setup* s) { return FlagFromBit(s, "save_axis_id", "LSS_Active", 0, Sense::kCleared); }

// ---- Motor brake --------------------------------------------------------------------------

int isMotorBrake(CMC_Setup* s)
{
    auto f = FindAll(s, "isMotorBrake", "BRAKECFG");
    if (!f) return 0;
    auto [target, cfg] = *f;
    return WriteLimited(target, 0, 1, [&, cfg = cfg] { return double(Bit(Internal(cfg), 0)); }, Unit::kInternal);
}

int MotorBrake_output(CMC_Setup* s)
{
    auto f = FindAll(s, "MotorBrake_output", "BRAKECFG");
    if (!f) return 0;
    auto [target, cfg] = *f;
    // Output pin in bits 8 to 15.
    const int pin = (TruncToInt32(Internal(cfg)) >> 8) & 255;
    return Write(target, IoPortFromPin(s, pin), Unit::kInternal);
}

int MotorBrake_releasetime(CMC_Setup* s)
{
    auto f = FindAll(s, "MotorBrake_releasetime", "Ts_S", "BRAKERELEASEDELAY");
    if (!f) return 0;
    auto [target, tsS, delay] = *f;
    return Write(target, Base(tsS) * Base(delay));  // s
}

int MotorBrake_applytime(CMC_Setup* s)
{
    auto f = FindAll(s, "MotorBrake_applytime", "Ts_S", "BRAKEAPPLYDELAY");
    if (!f) return 0;
    auto [target, tsS, delay] = *f;
    return Write(target, Base(tsS) * Base(delay));  // s
}

}  // namespace decode

void DecodeRegisters(CMC_Setup* s)
{
    if (s == nullptr) return;
    using namespace decode;
    // Later steps read Ts_S and ControlMode as decoded here.
    pp(s);
    No_encoder_lines(s);
    isMotorTemperatureSensor(s);
    Motor_TempSensor_Type(s);
    PWM_freq(s);
    PWMperiod(s);
    Ts_C(s);
    Ts_S(s);
    PosSpd_in_FastLoop(s);
    isDriveTemperatureSensor(s);
    isOverVoltage(s);
    isUnderVoltage(s);
    isDriveOverTemp(s);
    isDriveI2t(s);
    UMAX_PROT(s);
    UMIN_PROT(s);
    Temp_2(s);
    I_I2t_D(s);
    t_I2t_D(s);
    ControlMode(s);
    ExternalReference(s);
    isAutoActivatedAfterPowerOn(s);
    Axis_ID_list(s);
    CommutationMethod(s);

    IlimPS(s);
    Kp_C_scl(s);
    Ki_C_scl(s);

    TestCurrent(s);
    TestProtectionCurrent(s);

    isUseFilterOnCrtCtrlOutput(s);
    FilterOnCurrentControllerOutput(s);
    isCompensateGravitationalLoads(s);
    OffsetCurrent(s);
    Kp_S_scl(s);
    Ki_S_scl(s);
    IPSatS(s);
    KFFA_scl(s);
    TestLimitCurrent(s);
    TestStartCurrent(s);
    Jload_over_J(s);
    Kp_P_scl(s);
    Ki_P_scl(s);
    Kd_P_scl(s);

    if (HasAngleController(s)) {
        Kp_T_scl(s);
        Ki_T_scl(s);
    }

    filter_D(s);
    IPSatP(s);
    Limit_Speed(s);
    TestMaxSpeed(s);
    KFFS_scl(s);

    isOverCurrent(s);
    Imax_Prot(s);
    time_Imax_Prot(s);

    isPositionControlError(s);
    ERR_position(s);
    time_ERR_pos(s);
    isSpeedControlError(s);
    ERR_speed(s);
    time_ERR_spd(s);

    isMotorOverTemp(s);
    isMotori2t(s);
    I_I2t_M(s);
    t_I2t_M(s);
    isBrakeResistor(s);
    Vbrake(s);
    EnablePolarity(s);
    LSPPolarity(s);
    LSNPolarity(s);

    if (HasSoftwareLimitSwitches(s)) {
        isSWLS(s);
        Negative_SWLS(s);
        Positive_SWLS(s);
    }
    if (HasSpeedEstimator(s)) isSpeedEstimator(s);

    StartMode(s);
    StartCurrent(s);
    time_AB(s);

    isAnalogueReference(s);
    DigitalReferenceType(s);
    isLimitMaximum(s);

    ErefMaxSpeed(s);
    ErefMaxAcceleration(s);

    if (HasAnalogueReferenceInput(s)) {
        DeadBand_Point(s);
        DeadBand_Range(s);
        UseFilter(s);
        filter(s);
        POS_min(s);
        POS_max(s);
        SPD_min(s);
        SPD_max(s);
        CRT_min(s);
        CRT_max(s);
    }
    if (HasCanSettings(s)) {
        save_CAN_baudrate(s);
        save_axis_id(s);
    }
    if (HasReverseCounting(s)) ReverseCounting(s);
    if (HasEncoderFilter(s)) isFilterEnc(s);
    if (HasMotorBrake(s)) {
        isMotorBrake(s);
        MotorBrake_output(s);
        MotorBrake_releasetime(s);
        MotorBrake_applytime(s);
    }
    if (HasSpeedForward(s)) SpeedForward(s);
    if (HasFreezeControl(s)) {
        isFreezeControl(s);
        FreezeControl_errband(s);
        FreezeControl_time(s);
    }
    if (HasInputsPolarityType(s)) InputsPolarityType(s);
}

namespace {

struct NamedStep {
    std::string_view name;
    DecodeStep step;
};

#define ZEK_STEP(name) NamedStep{#name, &decode::name}
constexpr NamedStep kSteps[] = {
    // Time base, feedback, protections and configuration words.
    ZEK_STEP(pp), ZEK_STEP(No_encoder_lines), ZEK_STEP(PWM_freq), ZEK_STEP(PWMperiod), ZEK_STEP(Ts_C),
    ZEK_STEP(Ts_S), ZEK_STEP(Motor_TempSensor_Type), ZEK_STEP(Axis_ID_list), ZEK_STEP(ReverseCounting),
    ZEK_STEP(isFilterEnc), ZEK_STEP(UMAX_PROT), ZEK_STEP(UMIN_PROT), ZEK_STEP(Temp_2), ZEK_STEP(I_I2t_D),
    ZEK_STEP(t_I2t_D), ZEK_STEP(TestCurrent), ZEK_STEP(TestProtectionCurrent), ZEK_STEP(Imax_Prot),
    ZEK_STEP(time_Imax_Prot), ZEK_STEP(I_I2t_M), ZEK_STEP(t_I2t_M), ZEK_STEP(Vbrake),
    ZEK_STEP(isMotorTemperatureSensor), ZEK_STEP(isDriveTemperatureSensor), ZEK_STEP(CommutationMethod),
    ZEK_STEP(isSpeedEstimator), ZEK_STEP(isBrakeResistor), ZEK_STEP(StartMode), ZEK_STEP(isSWLS),
    ZEK_STEP(InputsPolarityType), ZEK_STEP(isOverCurrent), ZEK_STEP(isMotori2t), ZEK_STEP(isMotorOverTemp),
    ZEK_STEP(isDriveOverTemp), ZEK_STEP(isOverVoltage), ZEK_STEP(isUnderVoltage), ZEK_STEP(isDriveI2t),
    ZEK_STEP(isAutoActivatedAfterPowerOn), ZEK_STEP(ExternalReference), ZEK_STEP(isAnalogueReference),
    ZEK_STEP(DigitalReferenceType), ZEK_STEP(ControlMode), ZEK_STEP(SpeedForward), ZEK_STEP(isFreezeControl),
    ZEK_STEP(isLimitMaximum), ZEK_STEP(PosSpd_in_FastLoop), ZEK_STEP(EnablePolarity), ZEK_STEP(LSNPolarity),
    ZEK_STEP(LSPPolarity), ZEK_STEP(save_CAN_baudrate), ZEK_STEP(save_axis_id), ZEK_STEP(isMotorBrake),
    ZEK_STEP(MotorBrake_output), ZEK_STEP(MotorBrake_releasetime), ZEK_STEP(MotorBrake_applytime),
    // Control loops, limits and references.
    ZEK_STEP(Kp_C_scl), ZEK_STEP(Ki_C_scl), ZEK_STEP(Kp_S_scl), ZEK_STEP(Ki_S_scl), ZEK_STEP(Kp_P_scl),
    ZEK_STEP(Ki_P_scl), ZEK_STEP(Kd_P_scl), ZEK_STEP(Kp_T_scl), ZEK_STEP(Ki_T_scl), ZEK_STEP(KFFS_scl),
    ZEK_STEP(KFFA_scl), ZEK_STEP(filter_D), ZEK_STEP(isCompensateGravitationalLoads), ZEK_STEP(OffsetCurrent),
    ZEK_STEP(Jload_over_J), ZEK_STEP(isUseFilterOnCrtCtrlOutput), ZEK_STEP(FilterOnCurrentControllerOutput),
    ZEK_STEP(IlimPS), ZEK_STEP(IPSatS), ZEK_STEP(IPSatP), ZEK_STEP(TestLimitCurrent), ZEK_STEP(Limit_Speed),
    ZEK_STEP(TestMaxSpeed), ZEK_STEP(StartCurrent), ZEK_STEP(TestStartCurrent), ZEK_STEP(isPositionControlError),
    ZEK_STEP(ERR_position), ZEK_STEP(time_ERR_pos), ZEK_STEP(isSpeedControlError), ZEK_STEP(ERR_speed),
    ZEK_STEP(time_ERR_spd), ZEK_STEP(FreezeControl_errband), ZEK_STEP(FreezeControl_time),
    ZEK_STEP(Negative_SWLS), ZEK_STEP(Positive_SWLS), ZEK_STEP(ErefMaxSpeed), ZEK_STEP(ErefMaxAcceleration),
    ZEK_STEP(time_AB), ZEK_STEP(DeadBand_Point), ZEK_STEP(DeadBand_Range), ZEK_STEP(UseFilter),
    ZEK_STEP(filter), ZEK_STEP(POS_min), ZEK_STEP(POS_max), ZEK_STEP(SPD_min), ZEK_STEP(SPD_max),
    ZEK_STEP(CRT_min), ZEK_STEP(CRT_max),
};
#undef ZEK_STEP

}  // namespace

DecodeStep FindDecodeStep(const char* name)
{
    if (name == nullptr) return nullptr;
    const std::string_view wanted(name);
    for (const NamedStep& entry : kSteps)
        if (entry.name == wanted) return entry.step;
    return nullptr;
}
