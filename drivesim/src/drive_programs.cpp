#include "drivesim/drive_programs.h"

#include <algorithm>
#include <cmath>

#include "rurorade/host_errors.h"
#include "rurorade/numeric.h"
#include "rurorade/setup.h"

namespace drivesim {

namespace {

constexpr double kPi = 3.141592653589793;

// Timeline of every program, ms after the start: the power stage comes on, then the program
// flags that it runs; a measuring program lets the current settle before it logs.
constexpr std::int64_t kAxisOnMs = 30;
constexpr std::int64_t kStartedMs = 40;
constexpr std::int64_t kVdcStartedMs = 20;
constexpr std::int64_t kVdcRunMs = 200;
constexpr std::int64_t kPositioningRunMs = 400;
constexpr std::int64_t kSettleMs = 200;
constexpr std::int64_t kMinLogMs = 20;
constexpr double kMaxRampPeriods = 20000;

// Looks a parameter up without the host reporting a missing name.
CMC_Parameter* QuietFind(CMC_Setup* setup, const char* name)
{
    const int saved = g_bShowErrors;
    g_bShowErrors = 0;
    CMC_Parameter* p = setup->FindParameter(name);
    g_bShowErrors = saved;
    return p;
}

bool ReadPositive(CMC_Setup* setup, const char* name, double& value, std::string& error)
{
    CMC_Parameter* p = QuietFind(setup, name);
    if (p == nullptr) {
        error = std::string("The drive configuration lacks \"") + name + "\".";
        return false;
    }
    value = p->GetValueInBaseUnit();
    if (!(value > 0) || !std::isfinite(value)) {
        error = std::string("The drive configuration has an unusable \"") + name + "\".";
        return false;
    }
    return true;
}

// Dead time of the PWM from the DBT register (two byte-wide counts, the larger applies) scaled by DBTPC %.
double DeadTimeOf(CMC_Setup* setup, double dspFreq)
{
    CMC_Parameter* dbt = QuietFind(setup, "DBT");
    if (dbt == nullptr) return 0.0;
    const std::int32_t d = TruncToInt32(dbt->GetValueInBaseUnit());
    if (d == 0) return 1e-6;
    CMC_Parameter* dbtpc = QuietFind(setup, "DBTPC");
    const double k = dbtpc ? dbtpc->GetValueInBaseUnit() / 100.0 : 0.5;
    return std::max(d & 0xFF, (d >> 8) & 0xFF) * k / dspFreq;
}

double Sign(double x) { return x > 0 ? 1.0 : (x < 0 ? -1.0 : 0.0); }

std::int64_t Ms(double seconds) { return TruncToInt32(std::ceil(seconds * 1000)); }

double Get(const Variables& v, const char* name)
{
    const auto it = v.find(name);
    return it == v.end() ? 0.0 : it->second;
}

// Bus voltage as the drive's converter reads it, counts.
double BusCounts(const MotorModel& motor, const DriveHardware& hw)
{
    return std::clamp<double>(TG_Round(motor.vdc * hw.BusScale()), 0.0, hw.adcMax);
}

// Voltage lost to the dead time, V, opposing the current whenever one flows.
double DeadTimeVoltage(const MotorModel& motor, const DriveHardware& hw)
{
    return motor.vdc * hw.PwmFrequency() * hw.deadTime;
}

void PlanVdc(const MotorModel& motor, const DriveHardware& hw, std::int64_t logMs, ProgramPlan& plan)
{
    plan.axisOnMs = kVdcStartedMs;
    plan.startedMs = kVdcStartedMs;
    plan.logStartMs = kVdcStartedMs;
    plan.endMs = kVdcStartedMs + std::max(kVdcRunMs, logMs);
    plan.driveResults["var_u2"] = BusCounts(motor, hw);
}

// Aligns the rotor with a DC current of In1 counts and hands the resistance run its voltage ramp.
void PlanPositioning(const Variables& in, const MotorModel& motor, Fault fault, const DriveHardware& hw,
                     std::int64_t logMs, ProgramPlan& plan)
{
    const double in1 = Get(in, "In1");
    const bool flows = fault != Fault::OpenPhase && in1 != 0;
    const double kv = CommandScale(motor.vdc);
    plan.axisOnMs = kAxisOnMs;
    plan.startedMs = kStartedMs;
    plan.logStartMs = kStartedMs;
    plan.endMs = kStartedMs + std::max(kPositioningRunMs, logMs);
    plan.currents["IQ"] = flows ? in1 : 0.0;
    plan.userResults["In1"] = flows ? in1 : 0.0;
    plan.driveResults["REFTST_V"] = TG_Round(kv * DeadTimeVoltage(motor, hw));
    const double rampTarget = kv * motor.resistance * std::fabs(in1) / hw.CurrentScale();
    plan.driveResults["RINCTST_V"] = std::max(1, TG_Round(rampTarget / 100));
}

// Ramps the voltage command from RefTest by RIncTest per loop period until the current reaches
// In1 counts, holds it there with the current loop, then logs the steady current. Only the
// steady part is logged: the running mean of the log must be the current of the held command.
void PlanResistance(const Variables& in, const MotorModel& motor, Fault fault, const DriveHardware& hw,
                    std::int64_t logMs, ProgramPlan& plan)
{
    const double in1 = Get(in, "In1");
    const double cs = hw.CurrentScale();
    const double kv = CommandScale(motor.vdc);
    const double vdt = DeadTimeVoltage(motor, hw);
    const bool open = fault == Fault::OpenPhase;
    // An open phase lets the loop wind up to the command limit.
    const double wanted = open ? Sign(in1) * kMaxCommand : kv * (motor.resistance * in1 / cs + Sign(in1) * vdt);
    const double command = TG_Round(std::clamp(wanted, -kMaxCommand, kMaxCommand));
    const double volts = command / kv;
    const double amps = (open || std::fabs(volts) <= vdt) ? 0.0 : (volts - Sign(volts) * vdt) / motor.resistance;

    const double increment = std::max(1.0, Get(in, "RIncTest"));
    const double periods = std::clamp((std::fabs(command) - Get(in, "RefTest")) / increment, 0.0, kMaxRampPeriods);
    plan.axisOnMs = kAxisOnMs;
    plan.startedMs = kStartedMs;
    plan.logStartMs = kStartedMs + Ms(periods * hw.LoopPeriod()) + kSettleMs;
    plan.endMs = plan.logStartMs + std::max(kMinLogMs, logMs);
    plan.currents["IQ"] = amps * cs;
    plan.currents["ID"] = 0.0;
    plan.driveResults["var_i1"] = command;
    plan.driveResults["var_u2"] = BusCounts(motor, hw);
}

// Applies a voltage vector of constant amplitude rotating at about kInductanceRunFrequency and
// logs the steady current in the voltage's frame: IQ in phase with it, ID lagging by 90 degrees.
// With the dead-time drop Vdt along the current, V = I (R + Vdt/|I| + jwL): the extra real part
// changes the current but not Im(V/I) = wL, which the identification uses.
void PlanInductance(const Variables& in, const MotorModel& motor, Fault fault, const DriveHardware& hw,
                    std::int64_t logMs, ProgramPlan& plan)
{
    const double ts = hw.LoopPeriod();
    const double theta = std::max(1, TG_Round(kInductanceRunFrequency * 65535 * ts));  // 65535 = one turn
    const double omega = theta * 2 * kPi / (65535 * ts);                                // rad/s
    const double cs = hw.CurrentScale();
    const double kv = CommandScale(motor.vdc);
    const double vdt = DeadTimeVoltage(motor, hw);
    const double r = motor.resistance;
    const double x = omega * motor.inductance;

    const double target = std::fabs(Get(in, "In1")) / cs;  // A, amplitude
    const double needed = target > 0 ? std::hypot(target * r + vdt, target * x) : 0.0;
    const double command = TG_Round(std::min(kv * needed, kMaxCommand));
    const double volts = command / kv;

    // |I| from V^2 = (|I| R + Vdt)^2 + (|I| wL)^2.
    double amps = 0.0;
    if (fault != Fault::OpenPhase && volts > vdt) {
        const double a = r * r + x * x;
        const double b = 2 * r * vdt;
        const double c = vdt * vdt - volts * volts;
        amps = (-b + std::sqrt(b * b - 4 * a * c)) / (2 * a);
    }
    const double lag = amps > 0 ? std::atan2(x, r + vdt / amps) : 0.0;

    plan.axisOnMs = kAxisOnMs;
    plan.startedMs = kStartedMs;
    plan.logStartMs = kStartedMs + kSettleMs;
    plan.endMs = plan.logStartMs + std::max(kMinLogMs, logMs);
    plan.currents["IQ"] = amps * std::cos(lag) * cs;
    plan.currents["ID"] = amps * std::sin(lag) * cs;
    plan.driveResults["var_i1"] = command;
    plan.driveResults["TINCTST"] = theta;
    plan.driveResults["var_u2"] = BusCounts(motor, hw);
}

}  // namespace

bool ReadHardware(CMC_Setup* setup, DriveHardware& hw, std::string& error)
{
    if (setup == nullptr) {
        error = "The drive has no configuration.";
        return false;
    }
    hw.adcMax = static_cast<double>(Compute_ADCMaxValue(setup));
    if (!(hw.adcMax > 0)) {
        error = "The drive configuration has no converter range.";
        return false;
    }
    if (!ReadPositive(setup, "ImaxPS", hw.imaxPS, error) ||
        !ReadPositive(setup, "VdcMaxMeasurable", hw.vdcMaxMeasurable, error) ||
        !ReadPositive(setup, "DSP_freq", hw.dspFreq, error) || !ReadPositive(setup, "PWMPER", hw.pwmPer, error) ||
        !ReadPositive(setup, "CLPER", hw.clPer, error))
        return false;
    hw.deadTime = DeadTimeOf(setup, hw.dspFreq);
    return true;
}

bool IsKnownProgram(const std::string& section)
{
    return section == "VDC_Detection_Test" || section == "Initial_Positioning_Test" || section == "Ident_R_or_Rs" ||
           section == "Ident_L_or_Tau_el";
}

bool PlanProgram(const std::string& section, const Variables& inputs, const MotorModel& motor, Fault fault,
                 const DriveHardware& hardware, std::int64_t logMs, ProgramPlan& plan, std::string& error)
{
    if (!IsKnownProgram(section)) {
        error = "The drive has no program \"" + section + "\".";
        return false;
    }
    plan = ProgramPlan{};
    if (fault == Fault::EnableOff) return true;  // waits for ENABLE for ever: never starts
    if (fault == Fault::ShortCircuit) {          // trips as the power stage comes on
        plan.merBits = 0x0002;
        plan.endMs = 0;
        return true;
    }
    if (section == "VDC_Detection_Test") PlanVdc(motor, hardware, logMs, plan);
    else if (section == "Initial_Positioning_Test") PlanPositioning(inputs, motor, fault, hardware, logMs, plan);
    else if (section == "Ident_R_or_Rs") PlanResistance(inputs, motor, fault, hardware, logMs, plan);
    else PlanInductance(inputs, motor, fault, hardware, logMs, plan);
    return true;
}

}  // namespace drivesim
