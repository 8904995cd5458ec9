#pragma once
// The drive programs the simulated drive knows, worked out in one go when a program starts:
// its timeline, the currents while it runs and the results it leaves.
#include <cstdint>
#include <limits>
#include <map>
#include <string>

#include "drivesim/motor_model.h"

class CMC_Setup;

namespace drivesim {

// The drive's hardware constants as its setup configures them.
struct DriveHardware {
    double adcMax = 65520;            // converter full scale, counts
    double imaxPS = 20;               // A at the current converter's full scale (range +-ImaxPS)
    double vdcMaxMeasurable = 111.8;  // V at the bus converter's full scale
    double dspFreq = 60e6;            // Hz
    double pwmPer = 1500;             // clock ticks per half PWM period
    double clPer = 1;                 // PWM periods per current loop period
    double deadTime = 0;              // s, PWM dead time

    double CurrentScale() const { return adcMax / (2 * imaxPS); }       // counts per A
    double BusScale() const { return adcMax / vdcMaxMeasurable; }       // counts per V
    double LoopPeriod() const { return clPer * 2 * pwmPer / dspFreq; }  // s
    double PwmFrequency() const { return dspFreq / (2 * pwmPer); }      // Hz
};

// Reads the constants from `setup` (base units); false with `error` when one is missing or unusable.
bool ReadHardware(CMC_Setup* setup, DriveHardware& hardware, std::string& error);

// Voltage command units per volt of the sinusoidal command on a bus of `vdc` volts.
inline double CommandScale(double vdc) { return 65534 / (1.1 * vdc); }
// Largest voltage command (16-bit signed).
constexpr double kMaxCommand = 32767;
// Electrical frequency of the inductance run's rotating voltage, Hz.
constexpr double kInductanceRunFrequency = 200;

using Variables = std::map<std::string, double>;

// One run of a program. Times in ms after the start; kNever for never.
struct ProgramPlan {
    static constexpr std::int64_t kNever = std::numeric_limits<std::int64_t>::max();
    std::int64_t axisOnMs = kNever;
    std::int64_t startedMs = kNever;  // "STARTED" becomes 1
    std::int64_t endMs = kNever;      // axis off, results written
    std::int64_t logStartMs = kNever; // first logged point
    std::uint16_t merBits = 0;        // error bits raised at the start
    Variables userResults;            // program user variables written at the end
    Variables driveResults;           // drive variables written at the end
    Variables currents;               // "IQ", "ID" in counts while the axis is on
};

bool IsKnownProgram(const std::string& section);

// Plans `section` with the user variables `inputs` of its program; `logMs` is how long the
// requested log lasts. False with `error` for a program the drive does not have.
bool PlanProgram(const std::string& section, const Variables& inputs, const MotorModel& motor, Fault fault,
                 const DriveHardware& hardware, std::int64_t logMs, ProgramPlan& plan, std::string& error);

}  // namespace drivesim
