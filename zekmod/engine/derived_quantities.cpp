#include "engine/derived_quantities.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

#include "engine/parameter_access.h"
#include "engine/unit_scaling.h"
#include "rurorade/numeric.h"

namespace {

template <std::size_t N>
using Params = std::array<CMC_Parameter*, N>;


void SetRange(CMC_Parameter* p, double min, double max)
{
    p->SetMinInBaseUnit(min);
    p->SetMaxInBaseUnit(max);
}

double Value(const CMC_Parameter* p) { return p->GetValueInBaseUnit(); }

// Counts per speed period and counts per position unit, as magnitudes.
double AbsLss(CMC_Setup* s) { return std::fabs(LoadSpeedScale(s)); }
double AbsLps(CMC_Setup* s) { return std::fabs(LoadPositionScale(s)); }

// Error checks count speed-loop periods in a 16-bit word.
void ErrorTimeRange(CMC_Setup* s, const char* name)
{
    CMC_Parameter* p = s->FindParameter(name);
    if (!p) return;
    p->SetMaxInBaseUnit(32767 * SpeedLoopPeriod(s));
}

// Motion times: `periods` speed-loop periods up to a full 16-bit count of periods.
void MotionTimeRange(CMC_Setup* s, const char* name, double periods)
{
    CMC_Parameter* p = s->FindParameter(name);
    if (!p) return;
    const double ts = SpeedLoopPeriod(s);
    SetRange(p, periods * ts, 65535 * ts);
}

// Bandwidth between the values of its _minim and _maxim companions.
void BandwidthRange(CMC_Setup* s, const char* name, const char* minName, const char* maxName)
{
    Params<3> p;
    if (!FindAll(s, p, name, minName, maxName)) return;
    SetRange(p[0], Value(p[1]), Value(p[2]));
}

double SmallerCurrentLimit(const CMC_Parameter* imaxPS, const CMC_Parameter* imaxM)
{
    return std::min(Value(imaxPS), Value(imaxM));
}

}  // namespace

namespace limits {

void ERR_speed(CMC_Setup* s)
{
    CMC_Parameter* p = s->FindParameter("ERR_speed");
    if (!p) return;
    p->SetMaxInBaseUnit(32767 / AbsLss(s));
}

void ERR_position(CMC_Setup* s)
{
    CMC_Parameter* p = s->FindParameter("ERR_position");
    if (!p) return;
    p->SetMaxInBaseUnit(32767 / AbsLps(s));
}

void time_ERR_spd(CMC_Setup* s) { ErrorTimeRange(s, "time_ERR_spd"); }
void time_ERR_pos(CMC_Setup* s) { ErrorTimeRange(s, "time_ERR_pos"); }

void PB_C(CMC_Setup* s) { BandwidthRange(s, "PB_C", "PB_C_minim", "PB_C_maxim"); }
void PB_S(CMC_Setup* s) { BandwidthRange(s, "PB_S", "PB_S_minim", "PB_S_maxim"); }
void PB_P(CMC_Setup* s) { BandwidthRange(s, "PB_P", "PB_P_minim", "PB_P_maxim"); }

void TPP(CMC_Setup* s) { MotionTimeRange(s, "TPP", 1); }
void TNP(CMC_Setup* s) { MotionTimeRange(s, "TNP", 1); }
void TaPP(CMC_Setup* s) { MotionTimeRange(s, "TaPP", 2); }
void TaNP(CMC_Setup* s) { MotionTimeRange(s, "TaNP", 2); }
void TPS(CMC_Setup* s) { MotionTimeRange(s, "TPS", 1); }
void TNS(CMC_Setup* s) { MotionTimeRange(s, "TNS", 1); }
void TaPS(CMC_Setup* s) { MotionTimeRange(s, "TaPS", 1); }
void TaNS(CMC_Setup* s) { MotionTimeRange(s, "TaNS", 1); }

void TestPosition(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "TestPosition", "TaPP", "TaNP")) return;
    const double ts = SpeedLoopPeriod(s);
    const double lps = AbsLps(s);
    // Farthest the test may go within either acceleration time.
    const double m = std::min(Value(p[1]) / ts * 32767 / lps, Value(p[2]) / ts * 32767 / lps);
    SetRange(p[0], -m, m);
}

void TestSpeed(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "TestSpeed", "Limit_Speed")) return;
    const double m = std::min(32767 / AbsLss(s), Value(p[1]));
    SetRange(p[0], -m, m);
}

void MAX_CURRENT(CMC_Setup* s)
{
    if (!HasAngleController(s)) return;
    Params<3> p;
    if (!FindAll(s, p, "MAX_CURRENT", "In", "InPS")) return;
    SetRange(p[0], 0, std::min(Value(p[1]), Value(p[2])));
}

void filter(CMC_Setup* s)
{
    CMC_Parameter* p = s->FindParameter("filter");
    if (!p) return;
    // Nyquist frequency of the speed loop, Hz.
    p->SetMaxInBaseUnit(1 / (2 * SpeedLoopPeriod(s)));
}

void DeadBand_Point(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "DeadBand_Point", "AnalogueInputsRange")) return;
    // Input ranges: +-10 V, 0..5 V, else the converter's own 0..3.3 V.
    const double range = Value(p[1]);
    const double min = range == 20 ? -10 : 0;
    const double max = range == 20 ? 10 : (range == 5 ? 5 : 3.3);
    SetRange(p[0], min, max);
}

void DeadBand_Range(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "DeadBand_Range", "DeadBand_Point")) return;
    const CMC_Parameter* point = p[1];
    const double lo = point->GetMinInBaseUnit();
    const double hi = point->GetMaxInBaseUnit();
    // The old dead band is symmetric around its point and must stay inside the input range.
    const double max =
        HasNewDeadBand(s) ? hi - lo : std::min(Value(point) - lo, hi - Value(point));
    SetRange(p[0], 0, max);
}

void POS_max(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "POS_max", "POS_min")) return;
    SetRange(p[0], Value(p[1]), 32767 / AbsLps(s));
}

void POS_min(CMC_Setup* s)
{
    Params<2> p;
    if (!FindAll(s, p, "POS_min", "POS_max")) return;
    SetRange(p[0], -32767 / AbsLps(s), Value(p[1]));
}

void SPD_max(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "SPD_max", "SPD_min", "Limit_Speed")) return;
    SetRange(p[0], Value(p[1]), std::min(32767 / AbsLss(s), Value(p[2])));
}

void SPD_min(CMC_Setup* s)
{
    Params<3> p;
    if (!FindAll(s, p, "SPD_min", "SPD_max", "Limit_Speed")) return;
    SetRange(p[0], std::max(-Value(p[2]), -32767 / AbsLss(s)), Value(p[1]));
}

void CRT_max(CMC_Setup* s)
{
    Params<4> p;
    if (!FindAll(s, p, "CRT_max", "CRT_min", "ImaxPS", "ImaxM")) return;
    SetRange(p[0], Value(p[1]), std::min(32767 / CurrentScale(s), SmallerCurrentLimit(p[2], p[3])));
}

void CRT_min(CMC_Setup* s)
{
    Params<4> p;
    if (!FindAll(s, p, "CRT_min", "CRT_max", "ImaxPS", "ImaxM")) return;
    SetRange(p[0], std::max(-SmallerCurrentLimit(p[2], p[3]), -32767 / CurrentScale(s)), Value(p[1]));
}

void BQFilterFrequencies(CMC_Setup* s)
{
    if (!HasBiquadFilters(s)) return;
    char name[32];
    for (int i = 1; i <= 3; ++i) {
        for (const char* format : {"BQFilterF1%d", "BQFilterF2%d"}) {
            std::snprintf(name, sizeof name, format, i);
            CMC_Parameter* p = s->FindParameter(name);
            if (!p) continue;
            // Nyquist frequency of the speed loop, Hz.
            p->SetMaxInBaseUnit(0.5 / SpeedLoopPeriod(s));
        }
    }
}

}  // namespace limits

void ComputeParameterLimits(CMC_Setup* s)
{
    limits::ERR_speed(s);
    limits::ERR_position(s);
    limits::time_ERR_spd(s);
    limits::time_ERR_pos(s);
    limits::PB_C(s);
    limits::PB_S(s);
    limits::PB_P(s);
    limits::TPP(s);
    limits::TNP(s);
    limits::TaPP(s);
    limits::TaNP(s);
    limits::TPS(s);
    limits::TNS(s);
    limits::TaPS(s);
    limits::TaNS(s);
    limits::TestPosition(s);
    limits::TestSpeed(s);
    limits::MAX_CURRENT(s);
    if (HasAnalogueReferenceInput(s)) {
        limits::filter(s);
        limits::DeadBand_Point(s);
        limits::DeadBand_Range(s);
        limits::POS_max(s);
        limits::POS_min(s);
        limits::SPD_max(s);
        limits::SPD_min(s);
        limits::CRT_max(s);
        limits::CRT_min(s);
    }
    limits::BQFilterFrequencies(s);
}

namespace {

int WriteClosedLoops(CMC_Setup* s, const char* position, const char* speed, const char* current)
{
    s->SetOption("IsClosedPosition", position);
    s->SetOption("IsClosedSpeed", speed);
    s->SetOption("IsClosedCurrent", current);
    return 1;
}

}  // namespace

int SetControlStructureOptions(CMC_Setup* s)
{
    s->SetOption("IsStepMotor", "0");
    s->SetOption("IsStepperOpenLoop", "0");
    s->SetOption("isPositionFeedbackOnLoad", "0");
    s->SetOption("isPositionFeedbackOnMotor", "1");
    s->SetOption("isSpeedFeedback", "0");
    s->SetOption("isIndex", "1");

    CMC_Parameter* controlMode = s->FindParameter("ControlMode");
    if (!controlMode) return 0;
    switch (TruncToInt32(controlMode->GetValueInBaseUnit())) {
    case 0: {
        CMC_Parameter* positionControlType = s->FindParameter("PositionControlType");
        if (!positionControlType) return 0;
        switch (TruncToInt32(positionControlType->GetValueInBaseUnit())) {
        case 0: return WriteClosedLoops(s, "1", "0", "1");  // position loop drives the current loop
        case 1: return WriteClosedLoops(s, "1", "1", "1");  // position loop through the speed loop
        default: return 0;
        }
    }
    case 1: return WriteClosedLoops(s, "0", "1", "1");
    case 2: return WriteClosedLoops(s, "0", "0", "1");
    default: return 0;
    }
}

namespace {

enum class Kind { Position, SpeedRev, SpeedRad, Acceleration, Jerk };

struct Quantity {
    const char* name;
    Kind kind;
};

const char* UnitFor(Kind kind, bool rotary)
{
    switch (kind) {
    case Kind::Position: return rotary ? "rot" : "mm";
    case Kind::SpeedRev: return rotary ? "rpm" : "m/s";
    case Kind::SpeedRad: return rotary ? "rad/s" : "m/s";
    case Kind::Acceleration: return rotary ? "rad/s^2" : "m/s^2";
    case Kind::Jerk: return rotary ? "rad/s^3" : "m/s^3";
    }
    return "";
}

template <std::size_t N>
void ChangeParameterUnits(CMC_Setup* s, const Quantity (&list)[N], bool rotary)
{
    for (const Quantity& q : list)
        if (CMC_Parameter* p = s->FindParameter(q.name)) p->ChangeUnitType(UnitFor(q.kind, rotary));
}

constexpr Quantity kLoadParameters[] = {
    {"Load_transmission", Kind::Position}, {"TestSpeed", Kind::SpeedRev},    {"Limit_Speed", Kind::SpeedRad},
    {"TestPosition", Kind::Position},      {"ERR_position", Kind::Position}, {"ERR_speed", Kind::SpeedRad},
};
constexpr Quantity kAnalogueReferenceParameters[] = {
    {"POS_max", Kind::Position}, {"POS_min", Kind::Position}, {"SPD_max", Kind::SpeedRev}, {"SPD_min", Kind::SpeedRev},
};
constexpr Quantity kExternalReferenceParameters[] = {
    {"ErefMaxSpeed", Kind::SpeedRev}, {"ErefMaxAcceleration", Kind::Acceleration},
};
constexpr Quantity kFreezeControlParameters[] = {{"FreezeControl_errband", Kind::Position}};
constexpr Quantity kLimitSwitchParameters[] = {{"Negative_SWLS", Kind::Position}, {"Positive_SWLS", Kind::Position}};

constexpr Quantity kLoadVariables[] = {
    {"Load_Position", Kind::Position},
    {"Load_Speed", Kind::SpeedRev},
    {"Target_Position", Kind::Position},
    {"Target_Speed", Kind::SpeedRev},
    {"Speed_Reference", Kind::SpeedRev},
    {"Position_Error", Kind::Position},
    {"Speed_Error", Kind::SpeedRev},
    {"Pulse_Dir_Input_Speed", Kind::SpeedRev},
    {"Pulse_Dir_Input_Position", Kind::Position},
    {"APOS", Kind::Position},
    {"APOS_LD", Kind::Position},
    {"ASPD_LD", Kind::SpeedRev},
    {"CACC", Kind::Acceleration},
    {"CAPPOS", Kind::Position},
    {"CDEC", Kind::Acceleration},
    {"CPOS", Kind::Position},
    {"CSPD", Kind::SpeedRev},
    {"EREFP", Kind::Position},
    {"EREFS", Kind::SpeedRev},
    {"ERRMAX", Kind::Position},
    {"HOMEPOS", Kind::Position},
    {"HOMESPD", Kind::SpeedRev},
    {"JERK", Kind::Jerk},
    {"POSERR", Kind::Position},
    {"POSINIT", Kind::Position},
    {"POSOKLIM", Kind::Position},
    {"POSTRIGG1", Kind::Position},
    {"POSTRIGG2", Kind::Position},
    {"POSTRIGG3", Kind::Position},
    {"POSTRIGG4", Kind::Position},
    {"SERRMAX", Kind::SpeedRev},
    {"SPDERR", Kind::SpeedRev},
    {"SPDREF", Kind::SpeedRev},
    {"TACC", Kind::Acceleration},
    {"TPOS", Kind::Position},
    {"TPOSFAST", Kind::Position},
    {"TSPD", Kind::SpeedRev},
};

}  // namespace

int ApplyTransmissionUnits(CMC_Setup* s)
{
    const bool rotary = s->GetParameterValueInBaseUnit("TransmissionType") == 0;
    ChangeParameterUnits(s, kLoadParameters, rotary);
    if (HasAnalogueReferenceInput(s)) ChangeParameterUnits(s, kAnalogueReferenceParameters, rotary);
    ChangeParameterUnits(s, kExternalReferenceParameters, rotary);
    if (HasFreezeControl(s)) ChangeParameterUnits(s, kFreezeControlParameters, rotary);
    if (HasSoftwareLimitSwitches(s)) ChangeParameterUnits(s, kLimitSwitchParameters, rotary);
    for (const Quantity& q : kLoadVariables)
        if (CMC_Variable* v = s->FindVariable(q.name, 1)) v->ChangeUnitType(UnitFor(q.kind, rotary));
    return 1;
}
