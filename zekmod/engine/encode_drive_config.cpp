#include "engine/encode_drive_config.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <iterator>
#include <string_view>
#include <tuple>

#include "engine/encode_control_loops.h"
#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

// Parameters a step needs, all looked up with the ordinary lookup so the host reports every
// missing name; the step goes on only when all were found.
template <std::size_t N>
struct Needed {
    std::array<CMC_Parameter*, N> p{};
    bool found = true;
    explicit operator bool() const { return found; }
    CMC_Parameter* operator[](std::size_t i) const { return p[i]; }
};

template <class... Names>
Needed<sizeof...(Names)> Need(CMC_Setup* s, Names... names)
{
    Needed<sizeof...(Names)> n;
    std::size_t i = 0;
    ((n.p[i] = s->FindParameter(names), n.found = n.found && n.p[i] != nullptr, ++i), ...);
    return n;
}

enum class Unit { Base, Internal };

// Register = formula(inputs in base unit), written in the given unit.
template <Unit unit = Unit::Base, class F, class... Names>
int Write(CMC_Setup* s, const char* reg, F formula, Names... inputs)
{
    const auto n = Need(s, reg, inputs...);
    if (!n) return 0;
    std::array<double, sizeof...(Names)> v{};
    for (std::size_t i = 0; i < v.size(); ++i) v[i] = n[i + 1]->GetValueInBaseUnit();
    const double value = std::apply(formula, v);
    if constexpr (unit == Unit::Internal)
        n[0]->SetValueInInternalUnit(value);
    else
        n[0]->SetValueInBaseUnit(value);
    return 1;
}

std::int32_t Trunc(const CMC_Parameter* p) { return TruncToInt32(p->GetValueInBaseUnit()); }
bool IsSet(const CMC_Parameter* p) { return Trunc(p) == 1; }
std::int32_t SetBits(std::int32_t word, std::int32_t bits, bool on) { return on ? (word | bits) : (word & ~bits); }
void Store(CMC_Parameter* p, std::int32_t word) { p->SetValueInBaseUnit(static_cast<double>(word)); }

// A 32-bit register word as its bit pattern: words at or above 2^31 are read unsigned, so
// bit 31 survives a rewrite instead of saturating.
std::uint32_t Word32(double x)
{
    if (x >= 2147483648.0) return TruncToUInt32(x);
    return static_cast<std::uint32_t>(TruncToInt32(x));
}

double Squared(double x) { return x * x; }

// Brake output port <-> controller pin, through the host's I/O map.
int IOPinFromPort(CMC_Setup* setup, int port) { return setup->GetIOPinFromPort(port); }

}  // namespace

namespace encode {

// ---- PWM time base and position feedback ----

int PWMPER(CMC_Setup* s)
{
    return Write(s, "PWMPER", [](double clock, double pwm) { return clock * 0.5 / pwm; }, "DSP_freq", "PWM_freq");
}

int MECRESL(CMC_Setup* s)
{
    return Write(s, "MECRESL", [](double lines) { return lines * 4; }, "No_encoder_lines");
}

// Electrical angle per encoder count, 2^-32 of an electrical turn.
int ENC2THL(CMC_Setup* s)
{
    return Write(s, "ENC2THL", [](double pp, double lines) { return pp * 1073741824 / lines; },  // 2^30
                 "pp", "No_encoder_lines");
}

int ELRESL(CMC_Setup* s)
{
    return Write(s, "ELRESL", [](double lines, double pp) { return lines * 4 / pp; }, "No_encoder_lines", "pp");
}

// A third of an electrical turn in counts, scaled by the start move percentage.
int ABSTART_MINMOVE(CMC_Setup* s)
{
    const auto n = Need(s, "ABSTART_MINMOVE", "No_encoder_lines", "pp");
    if (!n) return 0;
    const double percent = StartMinMovePercent(s);
    n[0]->SetValueInBaseUnit(n[1]->GetValueInBaseUnit() * 4 / n[2]->GetValueInBaseUnit() / 3 * percent / 100);
    return 1;
}

int COUNTINGDIR(CMC_Setup* s)
{
    const auto n = Need(s, "COUNTINGDIR", "ReverseCounting");
    if (!n) return 0;
    n[0]->SetValueInBaseUnit(IsSet(n[1]) ? 1.0 : 0.0);
    return 1;
}

int TRANSMISSION(CMC_Setup* s)
{
    return Write(s, "TRANSMISSION", [](double motor, double load) { return motor / load < 0 ? -1.0 : 1.0; },
                 "Motor_transmission", "Load_transmission");
}

int MTSTYPE(CMC_Setup* s)
{
    return Write(s, "MTSTYPE", [](double type) { return TruncToInt32(type) == 1 ? 1.0 : 0.0; },
                 "Motor_TempSensor_Type");
}

// A non-zero axis list is flagged with bit 8.
int AAR_table(CMC_Setup* s)
{
    return Write(s, "AAR_table", [](double list) { return TruncToInt32(list) != 0 ? list + 256 : 0.0; },
                 "Axis_ID_list");
}

// ---- Protections ----

// Converter counts of the drive temperature sensor at the trip temperature.
int T2MAXPROT(CMC_Setup* s)
{
    return Write(
        s, "T2MAXPROT",
        [s](double temp, double gain, double atZero, double range) {
            return (gain * temp + atZero) * ADCmax(s) / range;
        },
        "Temp_2", "DriveTempSensorGain", "DriveTempOutputAt0oC", "ADCrange");
}

int UMAXPROT(CMC_Setup* s)
{
    return Write(s, "UMAXPROT", [s](double u) { return static_cast<double>(TruncToInt32(u * VoltageScale(s))); },
                 "UMAX_PROT");
}

int UMINPROT(CMC_Setup* s)
{
    return Write(s, "UMINPROT", [s](double u) { return u * VoltageScale(s); }, "UMIN_PROT");
}

int II2TPROT_D(CMC_Setup* s)
{
    return Write<Unit::Internal>(s, "II2TPROT_D", [s](double in) { return in * CurrentScale(s); }, "InPS");
}

namespace {

// 2^26 times the speed loop period over the I2t time.
double I2tTimeScale(double ts, double t) { return ts * 67108864 / t; }

// (I^2 - In^2) in counts^2, divided by 16.
double I2tIntegralLimit(CMC_Setup* s, double i, double in) { return (i * i - in * in) * Squared(CurrentScale(s)) * 0.0625; }

// The warning level of the same integral, for an I2t time of t seconds.
double I2tWarningLimit(CMC_Setup* s, double i, double t, double in)
{
    return (i * i - in * in) * (1 - 2 / t) * Squared(CurrentScale(s)) * 0.0625;
}

}  // namespace

int SFI2T_D(CMC_Setup* s) { return Write(s, "SFI2T_D", I2tTimeScale, "Ts_S", "t_I2t_D"); }

int I2TINTLIM_D(CMC_Setup* s)
{
    return Write(s, "I2TINTLIM_D", [s](double i, double in) { return I2tIntegralLimit(s, i, in); }, "I_I2t_D", "InPS");
}

int II2TWARLIM_D(CMC_Setup* s)
{
    return Write(
        s, "II2TWARLIM_D", [s](double i, double t, double in) { return I2tWarningLimit(s, i, t, in); }, "I_I2t_D",
        "t_I2t_D", "InPS");
}

int IMAXPROT(CMC_Setup* s)
{
    return Write(s, "IMAXPROT", [s](double i) { return i * CurrentScale(s); }, "Imax_Prot");
}

int TIMAXPROT(CMC_Setup* s)
{
    return Write(s, "TIMAXPROT", [](double t, double ts) { return t / ts; }, "time_Imax_Prot", "Ts_S");
}

// Fixed at full scale on drives that have it.
int T1MAXPROT(CMC_Setup* s)
{
    CMC_Parameter* p = QuietFindParameter(s, "T1MAXPROT");
    if (!p) return 0;
    p->SetValueInBaseUnit(32767);
    return 1;
}

int II2TPROT_M(CMC_Setup* s)
{
    return Write(s, "II2TPROT_M", [s](double in) { return in * CurrentScale(s); }, "In");
}

int SFI2T_M(CMC_Setup* s) { return Write(s, "SFI2T_M", I2tTimeScale, "Ts_S", "t_I2t_M"); }

int I2TINTLIM_M(CMC_Setup* s)
{
    return Write(s, "I2TINTLIM_M", [s](double i, double in) { return I2tIntegralLimit(s, i, in); }, "I_I2t_M", "In");
}

int I2TWARLIM_M(CMC_Setup* s)
{
    return Write(
        s, "I2TWARLIM_M", [s](double t, double i, double in) { return I2tWarningLimit(s, i, t, in); }, "t_I2t_M",
        "I_I2t_M", "In");
}

int BRAKELIM(CMC_Setup* s)
{
    return Write(s, "BRAKELIM", [s](double v) { return v * VoltageScale(s); }, "Vbrake");
}

// ---- Configuration words ----

int SCR(CMC_Setup* s)
{
    const auto n = Need(s, "SCR", "isMotorTemperatureSensor", "isDriveTemperatureSensor", "CommutationMethod");
    if (!n) return 0;
    std::int32_t w = Trunc(n[0]) & 0x8FFF;
    if (CMC_Parameter* estimator = QuietFindParameter(s, "isSpeedEstimator")) {
        w &= ~0x0008;
        w = IsSet(estimator) ? (w | 0x0030) : (w & ~0x0038);
    }
    w = SetBits(w, 0x0080, IsSet(n[1]));
    w = SetBits(w, 0x0100, IsSet(n[2]));
    if (Trunc(n[3]) == 1) w |= 0x2000;  // sinusoidal commutation
    Store(n[0], w);
    return 1;
}

int OSR(CMC_Setup* s)
{
    const auto n = Need(s, "OSR", "isBrakeResistor", "StartMode");
    if (!n) return 0;
    std::int32_t w = Trunc(n[0]);
    w = IsSet(n[1]) ? ((w & 0xFFE3) | 0x0200) : (w & 0xFDE3);
    switch (Trunc(n[2])) {
    case 1:
    case 3: w |= 0x0008; break;
    case 2: w |= 0x0014; break;
    case 4: w |= 0x001C; break;
    default: w |= 0x0004; break;
    }
    Store(n[0], w);
    return 1;
}

int ASR(CMC_Setup* s)
{
    const auto n = Need(s, "ASR");
    if (!n) return 0;
    bool negative = false;
    if (HasNegativeTransmission(s)) {
        const auto t = Need(s, "Motor_transmission", "Load_transmission");
        if (!t) return 0;
        negative = t[0]->GetValueInBaseUnit() / t[1]->GetValueInBaseUnit() < 0;
    }
    std::int32_t w = Trunc(n[0]);
    if (CMC_Parameter* swls = QuietFindParameter(s, "isSWLS")) w = SetBits(w, 0x1000, IsSet(swls));
    if (CMC_Parameter* polarity = QuietFindParameter(s, "InputsPolarityType"))
        w = SetBits(w, 0x0004, Trunc(polarity) != 1);
    w = SetBits(w, 0x0080, negative);
    Store(n[0], w);
    return 1;
}

int PCR(CMC_Setup* s)
{
    const auto n = Need(s, "PCR", "isOverCurrent", "isMotori2t", "isMotorOverTemp", "isDriveOverTemp", "isOverVoltage",
                        "isUnderVoltage", "isDriveI2t");
    if (!n) return 0;
    bool brokenWire = false;
    if (s->GetIntOption("hasEncoderBrokenWireProtection") != 0) {
        const auto halls = Need(s, "isHallsensors");
        if (!halls) return 0;
        brokenWire = IsSet(halls[0]);
    }
    std::int32_t w = Trunc(n[0]) & 0xFF00;
    for (std::size_t bit = 0; bit < 6; ++bit) w = SetBits(w, static_cast<std::int32_t>(1) << bit, IsSet(n[bit + 1]));
    w = SetBits(w, 0x0040, brokenWire);
    w = SetBits(w, 0x0080, IsSet(n[7]));
    Store(n[0], w);
    return 1;
}

int ACR(CMC_Setup* s)
{
    const auto n = Need(s, "ACR", "isAutoActivatedAfterPowerOn", "ExternalReference", "ControlMode");
    if (!n) return 0;
    std::int32_t w = Trunc(n[0]);
    w = IsSet(n[1]) ? (w | 0x0002) : (w & 0xFFFD);

    // Reference source: internal, analogue or digital (pulse-direction when the type is 0).
    if (!IsSet(n[2])) {
        w &= 0xFF3F;
    } else {
        const auto analogue = Need(s, "isAnalogueReference");
        if (!analogue) return 0;
        if (IsSet(analogue[0])) {
            w = (w & 0xFF3F) | 0x0040;
        } else {
            const auto digital = Need(s, "DigitalReferenceType");
            if (!digital) return 0;
            w &= 0xFF3B;
            w |= Trunc(digital[0]) != 0 ? 0x0080 : 0x0084;
        }
    }

    switch (Trunc(n[3])) {
    case 0: {
        const auto type = Need(s, "PositionControlType");
        if (!type) return 0;
        w = Trunc(type[0]) == 1 ? (w | 0x0700) : ((w | 0x0500) & ~0x0200);
        break;
    }
    case 1: w = (w & 0xF8FF) | 0x0300; break;
    case 2: w = (w & 0xF8FF) | 0x0100; break;
    default: return 0;
    }

    CMC_Parameter* speedForward = QuietFindParameter(s, "SpeedForward");
    w = SetBits(w, 0x4000, speedForward && speedForward->GetValueInInternalUnit() == 1.0);

    if (HasFreezeControl(s)) {
        const auto freeze = Need(s, "isFreezeControl");
        if (!freeze) return 0;
        w = SetBits(w, 0x0010, freeze[0]->GetValueInInternalUnit() == 1.0);
    }
    if (IsPmsmStartWithHalls(s)) {
        const auto start = Need(s, "StartMode");
        if (!start) return 0;
        w = SetBits(w, 0x8000, start[0]->GetValueInInternalUnit() == 3.0);
    }
    Store(n[0], w);
    return 1;
}

// Bit 9 (time base of T1ONA/T1ONB) is carried through.
int UPGRADE(CMC_Setup* s)
{
    const auto n = Need(s, "UPGRADE", "isLimitMaximum");
    if (!n) return 0;
    std::int32_t w = Trunc(n[0]) & 0x7FFF;
    w = SetBits(w, 0x0004, IsSet(n[1]));
    if (CMC_Parameter* fastLoop = QuietFindParameter(s, "PosSpd_in_FastLoop")) w = SetBits(w, 0x0040, IsSet(fastLoop));
    Store(n[0], w);
    return 1;
}

int DIGIN_ACTIVE_LEVEL(CMC_Setup* s)
{
    const auto n = Need(s, "DIGIN_ACTIVE_LEVEL", "EnablePolarity", "LSNPolarity", "LSPPolarity");
    if (!n) return 0;
    std::int32_t w = Trunc(n[0]);
    w = IsSet(n[1]) ? (w | 0x8000) : (w & 0x7FFF);
    w = IsSet(n[2]) ? (w | 0x4000) : (w & 0xBFFF);
    w = IsSet(n[3]) ? (w | 0x2000) : (w & 0xDFFF);
    Store(n[0], w);
    return 1;
}

// Bits of the communication settings that are not stored in the drive.
int LSS_Active(CMC_Setup* s)
{
    const auto n = Need(s, "LSS_Active", "save_axis_id", "save_CAN_baudrate");
    if (!n) return 0;
    std::int32_t w = 0;
    if (!IsSet(n[1])) w |= 0x0001;
    if (!IsSet(n[2])) w |= 0x0002;
    Store(n[0], w);
    return 1;
}

// Encoder input qualification: sampling prescaler (QUAL_ACT bits 16..23) and qualification
// mode fields (QUAL_AQ2 bits 8..11, 14, 15) for each filter setting.
int QUAL(CMC_Setup* s)
{
    static constexpr std::uint32_t kPrescaler[] = {0x000000, 0x000000, 0x010000, 0x030000, 0x020000, 0x050000, 0x030000,
                                                   0x070000, 0x040000, 0x090000, 0x050000, 0x0B0000, 0x060000};
    static constexpr std::uint32_t kMode[] = {0x4500, 0x8A00, 0x8A00, 0x4500, 0x8A00, 0x4500, 0x8A00,
                                              0x4500, 0x8A00, 0x4500, 0x8A00, 0x4500, 0x8A00};
    static_assert(std::size(kPrescaler) == std::size(kMode));

    const auto n = Need(s, "QUAL", "isFilterEnc", "FilterEncValue", "QUAL_ACT", "QUAL_AQ2");
    if (!n) return 0;
    const bool on = IsSet(n[1]);
    n[0]->SetValueInBaseUnit(on ? 1.0 : 0.0);
    if (!on) return 1;

    const std::int32_t setting = Trunc(n[2]);
    const bool known = setting >= 0 && setting < static_cast<std::int32_t>(std::size(kPrescaler));
    const std::uint32_t prescaler = known ? kPrescaler[setting] : 0;
    const std::uint32_t mode = known ? kMode[setting] : 0;
    const std::uint32_t act = (Word32(n[3]->GetValueInBaseUnit()) & ~0x00FF0000u) | prescaler;
    const std::uint32_t aq2 = (Word32(n[4]->GetValueInBaseUnit()) & ~0xCF00u) | mode;
    n[3]->SetValueInBaseUnit(static_cast<double>(act));
    n[4]->SetValueInBaseUnit(static_cast<double>(aq2));
    return 1;
}

// ---- Brake ----

// Controller pin of the brake output in the high byte, brake enable in bit 0.
int BRAKECFG(CMC_Setup* s)
{
    const auto n = Need(s, "BRAKECFG", "MotorBrake_output", "isMotorBrake");
    if (!n) return 0;
    const int pin = IOPinFromPort(s, TruncToInt32(n[1]->GetValueInInternalUnit()));
    const std::uint32_t enabled = n[2]->GetValueInInternalUnit() != 0.0 ? 1u : 0u;
    n[0]->SetValueInInternalUnit(static_cast<double>((static_cast<std::uint32_t>(pin) << 8) | enabled));
    return 1;
}

int BRAKEAPPLYDELAY(CMC_Setup* s)
{
    return Write(s, "BRAKEAPPLYDELAY", [](double t, double ts) { return t / ts; }, "MotorBrake_applytime", "Ts_S");
}

int BRAKERELEASEDELAY(CMC_Setup* s)
{
    return Write(s, "BRAKERELEASEDELAY", [](double t, double ts) { return t / ts; }, "MotorBrake_releasetime", "Ts_S");
}

}  // namespace encode

namespace {

void Run(CMC_Setup* s, std::initializer_list<EncodeStep> steps)
{
    for (EncodeStep step : steps) step(s);
}

struct NamedStep {
    std::string_view name;
    EncodeStep step;
};

// Sorted by name (byte order) for a binary search.
constexpr NamedStep kSteps[] = {
    {"AAR_table", encode::AAR_table}, {"ABSTART_MINMOVE", encode::ABSTART_MINMOVE}, {"ACR", encode::ACR},
    {"AD5OFF", encode::AD5OFF}, {"ASR", encode::ASR}, {"BRAKEAPPLYDELAY", encode::BRAKEAPPLYDELAY},
    {"BRAKECFG", encode::BRAKECFG}, {"BRAKELIM", encode::BRAKELIM},
    {"BRAKERELEASEDELAY", encode::BRAKERELEASEDELAY}, {"BiquadFilters", encode::BiquadFilters},
    {"CACC", encode::CACC}, {"CADIN", encode::CADIN}, {"COUNTINGDIR", encode::COUNTINGDIR}, {"CSPD", encode::CSPD},
    {"DIGIN_ACTIVE_LEVEL", encode::DIGIN_ACTIVE_LEVEL}, {"ELRESL", encode::ELRESL}, {"ENC2THL", encode::ENC2THL},
    {"ERRMAX", encode::ERRMAX}, {"E_LEVEL_AD5", encode::E_LEVEL_AD5}, {"FFL", encode::FFL},
    {"FILTER1", encode::FILTER1}, {"FILTERQ", encode::FILTERQ}, {"GEAR", encode::GEAR},
    {"I2TINTLIM_D", encode::I2TINTLIM_D}, {"I2TINTLIM_M", encode::I2TINTLIM_M},
    {"I2TWARLIM_M", encode::I2TWARLIM_M}, {"II2TPROT_D", encode::II2TPROT_D}, {"II2TPROT_M", encode::II2TPROT_M},
    {"II2TWARLIM_D", encode::II2TWARLIM_D}, {"IMAXP", encode::IMAXP}, {"IMAXPROT", encode::IMAXPROT},
    {"IMAXS", encode::IMAXS}, {"KDFP", encode::KDFP}, {"KDP", encode::KDP}, {"KFFA", encode::KFFA},
    {"KFFL", encode::KFFL}, {"KFFS", encode::KFFS}, {"KII", encode::KII}, {"KIP", encode::KIP},
    {"KIS", encode::KIS}, {"KITHT", encode::KITHT}, {"KPI", encode::KPI}, {"KPP", encode::KPP},
    {"KPS", encode::KPS}, {"KPTHT", encode::KPTHT}, {"LEVEL_AD5", encode::LEVEL_AD5},
    {"LSS_Active", encode::LSS_Active}, {"MECRESL", encode::MECRESL}, {"MTSTYPE", encode::MTSTYPE},
    {"OSR", encode::OSR}, {"PCR", encode::PCR}, {"POSOKLIM_FC", encode::POSOKLIM_FC}, {"PWMPER", encode::PWMPER},
    {"QUAL", encode::QUAL}, {"REFTST", encode::REFTST}, {"RINCTST", encode::RINCTST}, {"SATID", encode::SATID},
    {"SATIQ", encode::SATIQ}, {"SATP", encode::SATP}, {"SATPWM", encode::SATPWM}, {"SATS", encode::SATS},
    {"SCR", encode::SCR}, {"SERRMAX", encode::SERRMAX}, {"SFI2T_D", encode::SFI2T_D}, {"SFI2T_M", encode::SFI2T_M},
    {"SFTADIN", encode::SFTADIN}, {"SFTAFFW", encode::SFTAFFW}, {"SFTKDP", encode::SFTKDP},
    {"SFTKFF", encode::SFTKFF}, {"SFTKII", encode::SFTKII}, {"SFTKIP", encode::SFTKIP}, {"SFTKIS", encode::SFTKIS},
    {"SFTKITHT", encode::SFTKITHT}, {"SFTKPI", encode::SFTKPI}, {"SFTKPP", encode::SFTKPP},
    {"SFTKPS", encode::SFTKPS}, {"SFTKPTHT", encode::SFTKPTHT}, {"SFTSFFW", encode::SFTSFFW},
    {"SWNEGLS", encode::SWNEGLS}, {"SWPOSLS", encode::SWPOSLS}, {"T1MAXPROT", encode::T1MAXPROT},
    {"T1ONA", encode::T1ONA}, {"T1ONB", encode::T1ONB}, {"T2MAXPROT", encode::T2MAXPROT},
    {"TERRMAX", encode::TERRMAX}, {"TIMAXPROT", encode::TIMAXPROT}, {"TONPOSOK_FC", encode::TONPOSOK_FC},
    {"TRANSMISSION", encode::TRANSMISSION}, {"TSERRMAX", encode::TSERRMAX}, {"UMAXPROT", encode::UMAXPROT},
    {"UMINPROT", encode::UMINPROT}, {"UPGRADE", encode::UPGRADE},
};

constexpr bool ByName(const NamedStep& a, const NamedStep& b) { return a.name < b.name; }
static_assert(std::is_sorted(std::begin(kSteps), std::end(kSteps), ByName));
static_assert(std::adjacent_find(std::begin(kSteps), std::end(kSteps),
                                 [](const NamedStep& a, const NamedStep& b) { return a.name == b.name; }) ==
              std::end(kSteps));

}  // namespace

EncodeStep FindEncodeStep(const char* name)
{
    if (name == nullptr) return nullptr;
    const NamedStep key{name, nullptr};
    const auto it = std::lower_bound(std::begin(kSteps), std::end(kSteps), key, ByName);
    return it != std::end(kSteps) && it->name == key.name ? it->step : nullptr;
}

void EncodeRegisters(CMC_Setup* s)
{
    using namespace encode;
    if (s == nullptr) return;
    Run(s, {PWMPER, T2MAXPROT, UMAXPROT, UMINPROT, II2TPROT_D, SFI2T_D, I2TINTLIM_D});
    if (HasI2tWarningLimits(s)) II2TWARLIM_D(s);
    Run(s, {SATPWM, MECRESL, ENC2THL, MTSTYPE, AAR_table, SCR, OSR, ASR, PCR, ACR});
    Run(s, {SFTKPI, KPI, SFTKII, KII, SATID, SATIQ, FILTERQ, FFL, KFFL});
    Run(s, {SFTKPS, KPS, SFTKIS, KIS, IMAXS, SATS, SFTKPP, KPP, SFTKIP, KIP, SFTKDP, KDP, KDFP});
    if (HasAngleController(s)) Run(s, {SFTKPTHT, KPTHT, SFTKITHT, KITHT});
    Run(s, {IMAXP, SATP, SFTSFFW, KFFS, SFTAFFW, SFTKFF, KFFA});
    Run(s, {IMAXPROT, TIMAXPROT, ERRMAX, TERRMAX, SERRMAX, TSERRMAX, T1MAXPROT, II2TPROT_M, SFI2T_M, I2TINTLIM_M});
    if (HasI2tWarningLimits(s)) I2TWARLIM_M(s);
    if (HasSoftwareLimitSwitches(s)) Run(s, {SWNEGLS, SWPOSLS});
    Run(s, {CACC, CSPD});
    if (HasAnalogueReferenceInput(s)) Run(s, {CADIN, SFTADIN, AD5OFF, FILTER1, LEVEL_AD5, E_LEVEL_AD5});
    Run(s, {GEAR, T1ONA, T1ONB, REFTST, RINCTST, ELRESL, BRAKELIM, DIGIN_ACTIVE_LEVEL, UPGRADE});
    if (HasCanSettings(s)) LSS_Active(s);
    if (HasReverseCounting(s)) COUNTINGDIR(s);
    if (HasEncoderFilter(s)) QUAL(s);
    if (HasMotorBrake(s)) Run(s, {BRAKECFG, BRAKEAPPLYDELAY, BRAKERELEASEDELAY});
    if (HasFreezeControl(s)) Run(s, {POSOKLIM_FC, TONPOSOK_FC});
    if (HasTransmissionRegister(s)) TRANSMISSION(s);
    if (HasBiquadFilters(s)) BiquadFilters(s);
    if (HasStartMinMove(s)) ABSTART_MINMOVE(s);
}
