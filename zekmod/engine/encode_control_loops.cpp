#include "engine/encode_control_loops.h"

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>

#include "engine/biquad_designer.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace encode {

namespace {

constexpr double kFullScale = 32767;  // 16-bit fixed-point full scale
constexpr double kErrorCheckOff = 65535;

// Ordinary lookups that stop at the first missing name (the host reports it).
class Lookup {
public:
    explicit Lookup(CMC_Setup* setup) : m_setup(setup) {}
    CMC_Parameter* operator()(const char* name)
    {
        if (!m_ok) return nullptr;
        CMC_Parameter* p = m_setup->FindParameter(name);
        if (p == nullptr) m_ok = false;
        return p;
    }
    bool ok() const { return m_ok; }

private:
    CMC_Setup* m_setup;
    bool m_ok = true;
};

// Saturation registers carry the range [0, 32767]; a refused range fails the step.
int WriteSaturation(CMC_Parameter* reg, double value)
{
    if (SetParameterLimits(reg, 0, kFullScale) == 0) return 0;
    reg->SetValueInBaseUnit(value);
    return 1;
}

// The common shape: find the register and its inputs, then write formula(input values in base unit).
template <std::size_t N, class F>
int Encode(CMC_Setup* setup, const char* reg, const char* const (&inputs)[N], F formula, bool saturation = false)
{
    Lookup find(setup);
    CMC_Parameter* out = find(reg);
    std::array<double, N> v{};
    for (std::size_t i = 0; i < N; ++i) {
        CMC_Parameter* p = find(inputs[i]);
        if (p == nullptr) return 0;
        v[i] = p->GetValueInBaseUnit();
    }
    if (!find.ok()) return 0;
    const double value = formula(v);
    if (saturation) return WriteSaturation(out, value);
    out->SetValueInBaseUnit(value);
    return 1;
}

int ShiftStep(CMC_Setup* setup, const char* reg, const char* gain)
{
    return Encode(setup, reg, {gain}, [](const auto& v) { return SplitGain(v[0]).shift; });
}

int MantissaStep(CMC_Setup* setup, const char* reg, const char* gain)
{
    return Encode(setup, reg, {gain}, [](const auto& v) { return SplitGain(v[0]).mantissa; });
}

bool BitSet(double word, int bit) { return (static_cast<std::uint32_t>(TruncToInt32(word)) >> bit & 1u) != 0; }

// Position mode with the position loop feeding the speed loop: the position saturation is a speed.
bool PositionThroughSpeedLoop(double controlMode, double positionControlType)
{
    return positionControlType == 1.0 && controlMode == 0.0;
}

// Register copied from SATPWM, written only on drives that have both.
int CopySatPwm(CMC_Setup* setup, const char* reg)
{
    CMC_Parameter* out;
    CMC_Parameter* satpwm;
    {
        QuietLookups quiet;
        out = setup->FindParameter(reg);
        satpwm = setup->FindParameter("SATPWM");
    }
    if (out == nullptr || satpwm == nullptr) return 0;
    out->SetValueInBaseUnit(satpwm->GetValueInBaseUnit());
    return 1;
}

// Analogue reference shift: the scale is halved until it fits 16 bits (never for a negative scale).
double AnalogueShift(double a) { return a <= kFullScale ? 0.0 : std::ceil(std::log(a / kFullScale) / std::log(2.0)); }

// One load-side limit switch: a negative scale swaps the drive's negative and positive registers.
int SoftwareLimit(CMC_Setup* setup, bool negativeLimit, const char* limit)
{
    Lookup find(setup);
    CMC_Parameter* swneg = find("SWNEGLS");
    CMC_Parameter* swpos = find("SWPOSLS");
    CMC_Parameter* lim = find(limit);
    if (!find.ok()) return 0;
    const double p = LoadPositionScale(setup);
    const bool intoNegative = (p > 0) == negativeLimit;
    (intoNegative ? swneg : swpos)->SetValueInBaseUnit(lim->GetValueInBaseUnit() * p);
    return 1;
}

int PulseTime(CMC_Setup* setup, const char* reg)
{
    return Encode(setup, reg, {"time_AB", "UPGRADE"},
                  [](const auto& v) { return BitSet(v[1], 9) ? v[0] * 100 : v[0] * 65535; });
}

// Start-up voltage command: the start current through the winding plus the dead-time loss.
int StartVoltage(CMC_Setup* setup, const char* reg)
{
    return Encode(setup, reg, {"StartCurrent", "In", "R", "MotorPhaseConnectionType", "Vdc", "PWM_freq"},
                  [setup](const auto& v) {
                      const double vcs = VoltageCommandScale(setup);
                      const double r = v[3] == 1.0 ? v[2] / 3 : v[2];  // delta winding
                      return vcs * v[0] * v[1] * r / 100 + vcs * v[4] * v[5] * DeadTime(setup);
                  });
}

}  // namespace

GainSplit SplitGain(double gain)
{
    if (gain > 1) {
        const double shift = std::ceil(std::log(gain) / std::log(2.0));
        return {shift, gain * kFullScale / std::pow(2.0, shift)};
    }
    return {0.0, gain * kFullScale};
}

// Saturations.
int SATPWM(CMC_Setup* setup)
{
    return Encode(setup, "SATPWM", {"CurrentMeasurementType", "PWM_freq"},
                  [](const auto& v) { return v[0] == 0.0 ? 0.0 : v[1] * 0.13107; });
}
int SATID(CMC_Setup* setup) { return CopySatPwm(setup, "SATID"); }
int SATIQ(CMC_Setup* setup) { return CopySatPwm(setup, "SATIQ"); }

// Current loop.
int SFTKPI(CMC_Setup* setup) { return ShiftStep(setup, "SFTKPI", "Kp_C_scl"); }
int KPI(CMC_Setup* setup) { return MantissaStep(setup, "KPI", "Kp_C_scl"); }
int SFTKII(CMC_Setup* setup) { return ShiftStep(setup, "SFTKII", "Ki_C_scl"); }
int KII(CMC_Setup* setup) { return MantissaStep(setup, "KII", "Ki_C_scl"); }

int FILTERQ(CMC_Setup* setup)
{
    return Encode(setup, "FILTERQ", {"isUseFilterOnCrtCtrlOutput", "FilterOnCurrentControllerOutput"},
                  [setup](const auto& v) {
                      if (v[0] == 0.0) return kFullScale;
                      return static_cast<double>(
                          TruncToInt32((1 - std::exp(-v[1] * CurrentLoopPeriod(setup))) * kFullScale));
                  });
}

int FFL(CMC_Setup* setup)
{
    return Encode(setup, "FFL", {"isCompensateGravitationalLoads", "OffsetCurrent"},
                  [setup](const auto& v) { return TruncToInt32(v[0]) != 0 ? v[1] * CurrentScale(setup) : 0.0; });
}

int KFFL(CMC_Setup* setup)
{
    CMC_Parameter* reg = QuietFindParameter(setup, "KFFL");
    if (reg == nullptr) return 0;
    reg->SetValueInBaseUnit(kFullScale);
    return 1;
}

// Speed loop.
int SFTKPS(CMC_Setup* setup) { return ShiftStep(setup, "SFTKPS", "Kp_S_scl"); }
int KPS(CMC_Setup* setup) { return MantissaStep(setup, "KPS", "Kp_S_scl"); }
int SFTKIS(CMC_Setup* setup) { return ShiftStep(setup, "SFTKIS", "Ki_S_scl"); }
int KIS(CMC_Setup* setup) { return MantissaStep(setup, "KIS", "Ki_S_scl"); }

int IMAXS(CMC_Setup* setup)
{
    return Encode(
        setup, "IMAXS", {"IPSatS", "IlimPS"},
        [setup](const auto& v) { return kFullScale - v[1] * (v[0] / 100) * CurrentScale(setup); }, true);
}

int SATS(CMC_Setup* setup)
{
    return Encode(
        setup, "SATS", {"IlimPS"}, [setup](const auto& v) { return kFullScale - v[0] * CurrentScale(setup); },
        true);
}

// Position loop.
int SFTKPP(CMC_Setup* setup) { return ShiftStep(setup, "SFTKPP", "Kp_P_scl"); }
int KPP(CMC_Setup* setup) { return MantissaStep(setup, "KPP", "Kp_P_scl"); }
int SFTKIP(CMC_Setup* setup) { return ShiftStep(setup, "SFTKIP", "Ki_P_scl"); }
int KIP(CMC_Setup* setup) { return MantissaStep(setup, "KIP", "Ki_P_scl"); }
int SFTKDP(CMC_Setup* setup) { return ShiftStep(setup, "SFTKDP", "Kd_P_scl"); }
int KDP(CMC_Setup* setup) { return MantissaStep(setup, "KDP", "Kd_P_scl"); }

int KDFP(CMC_Setup* setup)
{
    return Encode(setup, "KDFP", {"filter_D"}, [](const auto& v) { return v[0] * kFullScale; });
}

int IMAXP(CMC_Setup* setup)
{
    Lookup find(setup);
    CMC_Parameter* reg = find("IMAXP");
    CMC_Parameter* mode = find("ControlMode");
    CMC_Parameter* type = find("PositionControlType");
    CMC_Parameter* percent = find("IPSatP");
    if (!find.ok()) return 0;
    const bool speedOutput = PositionThroughSpeedLoop(mode->GetValueInBaseUnit(), type->GetValueInBaseUnit());
    CMC_Parameter* limit = find(speedOutput ? "Limit_Speed" : "IlimPS");
    if (!find.ok()) return 0;
    const double scale = speedOutput ? std::fabs(LoadSpeedScale(setup)) : std::fabs(CurrentScale(setup));
    return WriteSaturation(reg,
                           kFullScale - limit->GetValueInBaseUnit() * (percent->GetValueInBaseUnit() / 100) * scale);
}

int SATP(CMC_Setup* setup)
{
    return Encode(
        setup, "SATP", {"ControlMode", "PositionControlType", "Limit_Speed", "IlimPS"},
        [setup](const auto& v) {
            if (PositionThroughSpeedLoop(v[0], v[1])) return kFullScale - v[2] * std::fabs(LoadSpeedScale(setup));
            return kFullScale - v[3] * CurrentScale(setup);
        },
        true);
}

// Electric angle loop: only on drives with KPTHT.
int SFTKPTHT(CMC_Setup* setup) { return HasAngleController(setup) ? ShiftStep(setup, "SFTKPTHT", "Kp_T_scl") : 0; }
int KPTHT(CMC_Setup* setup) { return HasAngleController(setup) ? MantissaStep(setup, "KPTHT", "Kp_T_scl") : 0; }
int SFTKITHT(CMC_Setup* setup) { return HasAngleController(setup) ? ShiftStep(setup, "SFTKITHT", "Ki_T_scl") : 0; }
int KITHT(CMC_Setup* setup) { return HasAngleController(setup) ? MantissaStep(setup, "KITHT", "Ki_T_scl") : 0; }

// Feedforward. The acceleration shift is spread over SFTAFFW (at most 11) and SFTKFF.
int SFTSFFW(CMC_Setup* setup) { return ShiftStep(setup, "SFTSFFW", "KFFS_scl"); }
int KFFS(CMC_Setup* setup) { return MantissaStep(setup, "KFFS", "KFFS_scl"); }

int SFTAFFW(CMC_Setup* setup)
{
    return Encode(setup, "SFTAFFW", {"KFFA_scl"}, [setup](const auto&) {
        const double x = AccelerationFeedforwardShift(setup);
        return x <= 11 ? x : 11.0;
    });
}

int SFTKFF(CMC_Setup* setup)
{
    return Encode(setup, "SFTKFF", {"KFFA_scl"}, [setup](const auto&) {
        const double x = AccelerationFeedforwardShift(setup);
        return x > 11 ? x - 11 : 0.0;
    });
}

int KFFA(CMC_Setup* setup)
{
    return Encode(setup, "KFFA", {"KFFA_scl"}, [setup](const auto& v) {
        return v[0] * kFullScale / std::pow(2.0, AccelerationFeedforwardShift(setup));
    });
}

// Following errors: windows in counts, times in speed-loop periods (65535 switches the check off).
int ERRMAX(CMC_Setup* setup)
{
    return Encode(setup, "ERRMAX", {"ERR_position"},
                  [setup](const auto& v) { return v[0] * std::fabs(LoadPositionScale(setup)); });
}

int TERRMAX(CMC_Setup* setup)
{
    return Encode(setup, "TERRMAX", {"isPositionControlError", "time_ERR_pos", "Ts_S"},
                  [](const auto& v) { return v[0] == 1.0 ? v[1] / v[2] : kErrorCheckOff; });
}

int SERRMAX(CMC_Setup* setup)
{
    return Encode(setup, "SERRMAX", {"ERR_speed"},
                  [setup](const auto& v) { return v[0] * std::fabs(LoadSpeedScale(setup)); });
}

int TSERRMAX(CMC_Setup* setup)
{
    return Encode(setup, "TSERRMAX", {"isSpeedControlError", "time_ERR_spd", "Ts_S"},
                  [](const auto& v) { return v[0] == 1.0 ? v[1] / v[2] : kErrorCheckOff; });
}

// Software limit switches.
int SWNEGLS(CMC_Setup* setup) { return SoftwareLimit(setup, true, "Negative_SWLS"); }
int SWPOSLS(CMC_Setup* setup) { return SoftwareLimit(setup, false, "Positive_SWLS"); }

// Reference generator.
int CACC(CMC_Setup* setup)
{
    return Encode(setup, "CACC", {"ErefMaxAcceleration"},
                  [setup](const auto& v) { return v[0] * std::fabs(LoadAccelerationScale(setup)); });
}

int CSPD(CMC_Setup* setup)
{
    return Encode(setup, "CSPD", {"ErefMaxSpeed"},
                  [setup](const auto& v) { return v[0] * std::fabs(LoadSpeedScale(setup)); });
}

// External analogue reference.
int CADIN(CMC_Setup* setup)
{
    CMC_Parameter* reg = setup->FindParameter("CADIN");
    if (reg == nullptr) return 0;
    const double a = AnalogueReferenceScale(setup);
    reg->SetValueInInternalUnit(a <= kFullScale ? a : a / std::pow(2.0, AnalogueShift(a)));
    return 1;
}

int SFTADIN(CMC_Setup* setup)
{
    CMC_Parameter* reg = setup->FindParameter("SFTADIN");
    if (reg == nullptr) return 0;
    reg->SetValueInInternalUnit(AnalogueShift(AnalogueReferenceScale(setup)));
    return 1;
}

// Offset of the analogue range: the lower bound of the selected control mode, in internal unit.
int AD5OFF(CMC_Setup* setup)
{
    Lookup find(setup);
    CMC_Parameter* reg = find("AD5OFF");
    CMC_Parameter* mode = find("ControlMode");
    CMC_Parameter* bounds[3] = {find("POS_min"), find("SPD_min"), find("CRT_min")};
    if (!find.ok()) return 0;
    const std::int32_t m = TruncToInt32(mode->GetValueInBaseUnit());
    if (m < 0 || m > 2) return 0;
    reg->SetValueInInternalUnit(bounds[m]->GetValueInInternalUnit());
    return 1;
}

int FILTER1(CMC_Setup* setup)
{
    return Encode(setup, "FILTER1", {"UseFilter", "filter", "Ts_S"}, [](const auto& v) {
        return v[0] == 0.0 ? kFullScale : (1 - std::exp(-v[1] * v[2])) * kFullScale;
    });
}

// Dead band in converter counts; a +-10 V range is offset by 10 V.
int LEVEL_AD5(CMC_Setup* setup)
{
    return Encode(setup, "LEVEL_AD5", {"DeadBand_Point", "AnalogueInputsRange"}, [setup](const auto& v) {
        const double adc = ADCmax(setup);
        if (TruncToInt32(v[1]) == 20) return adc * (v[0] + 10) / v[1];
        return adc * v[0] / v[1];
    });
}

int E_LEVEL_AD5(CMC_Setup* setup)
{
    return Encode(setup, "E_LEVEL_AD5", {"DeadBand_Range", "AnalogueInputsRange"},
                  [setup](const auto& v) { return v[0] * ADCmax(setup) / v[1]; });
}

// Gearing, pulse timing, start-up voltages.
int GEAR(CMC_Setup* setup)
{
    return Encode(setup, "GEAR", {"GEARSLAVE", "GEARMASTER"}, [](const auto& v) { return v[0] / v[1]; });
}
int T1ONA(CMC_Setup* setup) { return PulseTime(setup, "T1ONA"); }
int T1ONB(CMC_Setup* setup) { return PulseTime(setup, "T1ONB"); }
int REFTST(CMC_Setup* setup) { return StartVoltage(setup, "REFTST"); }
int RINCTST(CMC_Setup* setup) { return StartVoltage(setup, "RINCTST"); }

// Freeze control.
int POSOKLIM_FC(CMC_Setup* setup)
{
    return Encode(setup, "POSOKLIM_FC", {"FreezeControl_errband"},
                  [setup](const auto& v) { return v[0] * std::fabs(LoadPositionScale(setup)); });
}

int TONPOSOK_FC(CMC_Setup* setup)
{
    return Encode(setup, "TONPOSOK_FC", {"FreezeControl_time", "Ts_S"}, [](const auto& v) { return v[0] / v[1]; });
}

// Biquad coefficient registers.
int BiquadFilters(CMC_Setup* setup)
{
    BiquadDesigner designer;
    designer.ComputeAllFilters(setup);
    return 1;
}

}  // namespace encode
