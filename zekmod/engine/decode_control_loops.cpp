#include "engine/decode_control_loops.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "engine/derived_quantities.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

template <std::size_t N>
using Params = std::array<CMC_Parameter*, N>;


double Value(const CMC_Parameter* p) { return p->GetValueInBaseUnit(); }
double Internal(const CMC_Parameter* p) { return p->GetValueInInternalUnit(); }

int Bit(const CMC_Parameter* word, int n)
{
    return static_cast<int>((static_cast<std::uint32_t>(TruncToInt32(Value(word))) >> n) & 1u);
}

// Range first; a refused range changes nothing. The value is written as computed, unclamped.
int LimitAndWrite(CMC_Parameter* p, double min, double max, double value)
{
    if (!SetParameterLimits(p, min, max)) return 0;
    p->SetValueInBaseUnit(value);
    return 1;
}

int WriteFlag(CMC_Parameter* p, bool set) { return LimitAndWrite(p, 0, 1, set ? 1.0 : 0.0); }

// Speed-loop period from the registers, s.
double LoopPeriod(const CMC_Parameter* per, const CMC_Parameter* pwmper, const CMC_Parameter* dspFreq)
{
    return Value(per) * 2 * Value(pwmper) / Value(dspFreq);
}

int ScaledGain(CMC_Setup* s, const char* gain, const char* mantissa, const char* shift)
{
    Params<3> p;
    if (!FindAll(s, p, gain, mantissa, shift)) return 0;
    return LimitAndWrite(p[0], 0, 16384, decode::GainFromMantissaShift(Value(p[1]), Value(p[2])));
}

// A register in counts divided by a load-side scale; the range is the 16-bit word.
int CountsOverScale(CMC_Setup* s, const char* name, const char* reg, double min, double (*scale)(CMC_Setup*))
{
    Params<2> p;
    if (!FindAll(s, p, name, reg)) return 0;
    const double absScale = std::fabs(scale(s));
    return LimitAndWrite(p[0], min, 32767 / absScale, Value(p[1]) / absScale);
}

// Error-check time: a count of speed-loop periods (65535 switches the check off).
int ErrorTime(CMC_Setup* s, const char* name, const char* reg)
{
    Params<5> p;
    if (!FindAll(s, p, name, reg, "SLPER", "PWMPER", "DSP_freq")) return 0;
    const double t = LoopPeriod(p[2], p[3], p[4]);
    return LimitAndWrite(p[0], 0.001, 32767 * t, Value(p[1]) * t);
}

// Integral saturation as a percentage of the current (or speed) limit.
int SaturationPercent(CMC_Setup* s, const char* name, const char* imax, const char* sat)
{
    Params<3> p;
    if (!FindAll(s, p, name, imax, sat)) return 0;
    return LimitAndWrite(p[0], 0, 100, (32767 - Value(p[1])) * 100 / (32767 - Value(p[2])));
}

// Start current in percent of In: the start voltage less the dead-time loss, over In * R'.
int StartCurrentPercent(CMC_Setup* s, const char* name)
{
    Params<8> p;
    if (!FindAll(s, p, "REFTST", "R", "In", name, "DSP_freq", "PWMPER", "Vdc", "MotorPhaseConnectionType"))
        return 0;
    const double refTst = Value(p[0]);
    const double r = Value(p[7]) == 1 ? Value(p[1]) / 3 : Value(p[1]);  // delta winding: phase R / 3
    const double pwmFreq = Value(p[4]) / (Value(p[5]) * 2);
    const double kuf = VoltageCommandScale(s);
    const double value = (refTst - kuf * DeadTime(s) * pwmFreq * Value(p[6])) * 100 / (kuf * Value(p[2]) * r);
    return LimitAndWrite(p[3], 0, 300, value);
}

// The drive's limit words hold the load's limits swapped when the position scale is not positive.
int SoftwareLimit(CMC_Setup* s, const char* name, const char* sameSide, const char* otherSide)
{
    Params<3> p;
    if (!FindAll(s, p, name, sameSide, otherSide)) return 0;
    const double scale = LoadPositionScale(s);
    const double absScale = std::fabs(scale);
    const double counts = scale > 0 ? Value(p[1]) : Value(p[2]);
    return LimitAndWrite(p[0], -2147483648.0 / absScale, 2147483647.0 / absScale, counts / scale);
}

// Upper end of an analogue reference range, internal unit:
// AD5OFF + ADCmax * CADIN * 2 * s * 2^-16 * 2^SFTADIN.
int AnalogueMaximum(CMC_Setup* s, const char* name, void (*range)(CMC_Setup*))
{
    Params<4> p;
    if (!FindAll(s, p, name, "CADIN", "SFTADIN", "AD5OFF")) return 0;
    range(s);
    const double sign = LoadPositionScale(s) > 0 ? 1.0 : -1.0;
    p[0]->SetValueInInternalUnit(Internal(p[3]) + ADCmax(s) * Internal(p[1]) * 2 * sign * 1.52587890625e-5 *
                                                      std::pow(2.0, Internal(p[2])));
    return 1;
}

// Lower end of an analogue reference range: the offset itself, internal unit.
int AnalogueMinimum(CMC_Setup* s, const char* name, void (*range)(CMC_Setup*))
{
    Params<2> p;
    if (!FindAll(s, p, name, "AD5OFF")) return 0;
    if (range) range(s);
    p[0]->SetValueInInternalUnit(Internal(p[1]));
    return 1;
}

}  // namespace

namespace decode {

double GainFromMantissaShift(double mantissa, double shift) { return mantissa * std::pow(2.0, shift) / 32767; }

int Kp_C_scl(CMC_Setup* s) { return ScaledGain(s, "Kp_C_scl", "KPI", "SFTKPI"); }
int Ki_C_scl(CMC_Setup* s) { return ScaledGain(s, "Ki_C_scl", "KII", "SFTKII"); }
int Kp_S_scl(CMC_Setup* s) { return ScaledGain(s, "Kp_S_scl", "KPS", "SFTKPS"); }
int Ki_S_scl(CMC_Setup* s) { return ScaledGain(s, "Ki_S_scl", "KIS", "SFTKIS"); }
int Kp_P_scl(CMC_Setup* s) { return ScaledGain(s, "Kp_P_scl", "KPP", "SFTKPP"); }
int Ki_P_scl(CMC_Setup* s) { return ScaledGain(s, "Ki_P_scl", "KIP", "SFTKIP"); }
int Kd_P_scl(CMC_Setup* s) { return ScaledGain(s, "Kd_P_scl", "KDP", "SFTKDP"); }
int Kp_T_scl(CMC_Setup* s) { return ScaledGain(s, "Kp_T_scl", "KPTHT", "SFTKPTHT"); }
int Ki_T_scl(CMC_Setup* s) { return ScaledGain(s, "Ki_T_scl", "KITHT", "SFTKITHT"); }
int KFFS_scl(CMC_Setup* s) { return ScaledGain(s, "KFFS_scl", "KFFS", "SFTSFFW"); }

int KFFA_scl(CMC_Setup* s)
{
    // The acceleration feedforward shift is spread over two registers.
    Params<4> p;
    if (!FindAll(s, p, "KFFA_scl", "KFFA", "SFTKFF", "SFTAFFW")) return 0;
    return LimitAndWrite(p[0], 0, 4194304, GainFromMantissaShift(Value(p[1]), Value(p[2]) + Value(p[3])));
}

int filter_D(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "filter_D", "KDFP")) return 0;
    return LimitAndWrite(p[0], 0, 1, Value(p[1]) / 32767);
}

int isCompensateGravitationalLoads(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "isCompensateGravitationalLoads", "FFL")) return 0;
    return WriteFlag(p[0], Value(p[1]) != 0);
}

int OffsetCurrent(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "OffsetCurrent", "FFL", "In")) return 0;
    const double in = Value(p[2]);
    return LimitAndWrite(p[0], -in, in, Value(p[1]) / CurrentScale(s));
}

int Jload_over_J(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "Jload_over_J", "Jt", "Jm")) return 0;
    return LimitAndWrite(p[0], 0, 100, Value(p[1]) / Value(p[2]) - 1);
}

int isUseFilterOnCrtCtrlOutput(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "isUseFilterOnCrtCtrlOutput", "FILTERQ")) return 0;
    return WriteFlag(p[0], Value(p[1]) != 32767);  // 32767: no filter
}

int FilterOnCurrentControllerOutput(CMC_Setup* s)
{
    Params<5> p;
    if (!FindAll(s, p, "FilterOnCurrentControllerOutput", "FILTERQ", "DSP_freq", "CLPER", "PWMPER")) return 0;
    const double filterQ = Value(p[1]);
    const double dspFreq = Value(p[2]);
    const double clper = Value(p[3]);
    const double pwmper = Value(p[4]);
    // Bandwidth in rad/s of the first-order filter coefficient, up to 0.5 / Ts_C.
    const double value =
        filterQ == 32767 ? 5000 : std::log(1 - filterQ / 32767) * dspFreq / clper * (-0.5) / pwmper;
    return LimitAndWrite(p[0], 0, dspFreq * 0.25 / clper / pwmper, value);
}

int IlimPS(CMC_Setup* s)
{
    Params<4> p;
    if (!FindAll(s, p, "IlimPS", "ACR", "ImaxPS", "ImaxM")) return 0;
    if (!SetParameterLimits(p[0], 0.001, std::min(Value(p[2]), Value(p[3])))) return 0;
    // Speed loop closed (bit 9): the limit is the speed controller's output saturation.
    CMC_Parameter* sat = s->FindParameter(Bit(p[1], 9) ? "SATS" : "SATP");
    if (!sat) return 0;
    p[0]->SetValueInBaseUnit((32767 - Value(sat)) / CurrentScale(s));
    return 1;
}

int IPSatS(CMC_Setup* s) { return SaturationPercent(s, "IPSatS", "IMAXS", "SATS"); }
int IPSatP(CMC_Setup* s) { return SaturationPercent(s, "IPSatP", "IMAXP", "SATP"); }

int TestLimitCurrent(CMC_Setup* s)
{
    Params<6> p;
    if (!FindAll(s, p, "TestLimitCurrent", "SATS", "SATP", "ACR", "ImaxPS", "ImaxM")) return 0;
    const double sat = Bit(p[3], 9) ? Value(p[1]) : Value(p[2]);
    return LimitAndWrite(p[0], 0, std::min(Value(p[4]), Value(p[5])), (32767 - sat) / CurrentScale(s));
}

int Limit_Speed(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "Limit_Speed", "PositionControlType", "ControlMode")) return 0;
    // Only position control through the speed loop saturates the position loop at a speed.
    if (!(Value(p[1]) == 1 && Value(p[2]) == 0)) return 1;
    Params<3> q;
    if (!FindAll(s, q, "SATP", "Vdc", "K")) return 0;
    return LimitAndWrite(p[0], 0, Value(q[1]) / Value(q[2]), (32767 - Value(q[0])) / std::fabs(LoadSpeedScale(s)));
}

int TestMaxSpeed(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "TestMaxSpeed", "Vdc", "K")) return 0;
    const double noLoadSpeed = Value(p[1]) / Value(p[2]);  // rad/s
    return LimitAndWrite(p[0], 0, noLoadSpeed, noLoadSpeed / 3);
}

int StartCurrent(CMC_Setup* s) { return StartCurrentPercent(s, "StartCurrent"); }
int TestStartCurrent(CMC_Setup* s) { return StartCurrentPercent(s, "TestStartCurrent"); }

int isPositionControlError(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "isPositionControlError", "TERRMAX")) return 0;
    return WriteFlag(p[0], Value(p[1]) != 65535);  // 65535: check off
}

int ERR_position(CMC_Setup* s) { return CountsOverScale(s, "ERR_position", "ERRMAX", 0, &LoadPositionScale); }
int time_ERR_pos(CMC_Setup* s) { return ErrorTime(s, "time_ERR_pos", "TERRMAX"); }

int isSpeedControlError(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "isSpeedControlError", "TSERRMAX")) return 0;
    return WriteFlag(p[0], Value(p[1]) != 65535);
}

int ERR_speed(CMC_Setup* s) { return CountsOverScale(s, "ERR_speed", "SERRMAX", 0.001, &LoadSpeedScale); }
int time_ERR_spd(CMC_Setup* s) { return ErrorTime(s, "time_ERR_spd", "TSERRMAX"); }

int FreezeControl_errband(CMC_Setup* s)
{
    return CountsOverScale(s, "FreezeControl_errband", "POSOKLIM_FC", 0, &LoadPositionScale);
}

int FreezeControl_time(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "FreezeControl_time", "TONPOSOK_FC", "Ts_S")) return 0;
    const double ts = Value(p[2]);
    return LimitAndWrite(p[0], 0, ts * 65535, ts * Value(p[1]));
}

int Negative_SWLS(CMC_Setup* s) { return SoftwareLimit(s, "Negative_SWLS", "SWNEGLS", "SWPOSLS"); }
int Positive_SWLS(CMC_Setup* s) { return SoftwareLimit(s, "Positive_SWLS", "SWPOSLS", "SWNEGLS"); }

int ErefMaxSpeed(CMC_Setup* s) { return CountsOverScale(s, "ErefMaxSpeed", "CSPD", 0, &LoadSpeedScale); }

int ErefMaxAcceleration(CMC_Setup* s)
{
    return CountsOverScale(s, "ErefMaxAcceleration", "CACC", 0, &LoadAccelerationScale);
}

int time_AB(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "time_AB", "UPGRADE", "T1ONA")) return 0;
    // Bit 9: the alignment time counts hundredths of a second, else fractions of 65535 s.
    if (Bit(p[1], 9)) return LimitAndWrite(p[0], 0.01, 655.35, Value(p[2]) / 100);
    return LimitAndWrite(p[0], 0.01, 1.0, Value(p[2]) / 65535);
}

int DeadBand_Point(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "DeadBand_Point", "LEVEL_AD5", "AnalogueInputsRange")) return 0;
    limits::DeadBand_Point(s);
    const double range = Value(p[2]);
    const double volts = range * Value(p[1]) / ADCmax(s);
    // A +-10 V input (20 V span) counts from -10 V.
    p[0]->SetValueInBaseUnit(TruncToInt32(range) == 20 ? volts - 10 : volts);
    return 1;
}

int DeadBand_Range(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "DeadBand_Range", "E_LEVEL_AD5", "AnalogueInputsRange")) return 0;
    limits::DeadBand_Range(s);
    p[0]->SetValueInBaseUnit(Value(p[2]) * Value(p[1]) / ADCmax(s));
    return 1;
}

int UseFilter(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "UseFilter", "FILTER1")) return 0;
    return WriteFlag(p[0], Value(p[1]) != 32767);  // 32767: no filter
}

int filter(CMC_Setup* s)
{
    Params<6> p;
    if (!FindAll(s, p, "filter", "FILTER1", "DSP_freq", "SLPER", "PWMPER", "UseFilter")) return 0;
    const double filter1 = Value(p[1]);
    const double t = LoopPeriod(p[3], p[4], p[2]);
    return LimitAndWrite(p[0], 0, 0.5 / t, filter1 == 32767 ? 50 : -std::log(1 - filter1 / 32767) / t);
}

int POS_min(CMC_Setup* s) { return AnalogueMinimum(s, "POS_min", &limits::POS_min); }
int POS_max(CMC_Setup* s) { return AnalogueMaximum(s, "POS_max", &limits::POS_max); }
int SPD_min(CMC_Setup* s) { return AnalogueMinimum(s, "SPD_min", &limits::SPD_min); }
int SPD_max(CMC_Setup* s) { return AnalogueMaximum(s, "SPD_max", &limits::SPD_max); }
int CRT_min(CMC_Setup* s) { return AnalogueMinimum(s, "CRT_min", nullptr); }
int CRT_max(CMC_Setup* s) { return AnalogueMaximum(s, "CRT_max", &limits::CRT_max); }

}  // namespace decode
