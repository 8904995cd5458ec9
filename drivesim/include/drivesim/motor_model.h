#pragma once
// The true values of the simulated motor and its supply, and the faults that can be injected.
#include <optional>
#include <string>

namespace drivesim {

// SI units throughout. R and L are what the drive sees between the phases it drives, i.e. the
// values an identification must recover before any correction for a delta connection (a setup
// that declares delta multiplies the measured values by 3 itself). The star/delta choice is the
// setup's business, not the motor model's.
struct MotorModel {
    double resistance = 1.12;        // Ohm
    double inductance = 1.45e-3;     // H
    double torqueConstant = 0.1;     // Nm/A
    double inertia = 6e-5;           // kg m^2
    double viscousFriction = 1e-5;   // Nm s/rad
    double coulombFriction = 5e-3;   // Nm
    int polePairs = 4;
    int encoderLines = 2500;         // lines per revolution (4 counts each)
    int encoderDirection = 1;        // +1, or -1 for an encoder counting against the motor
    int hallConfiguration = 0;       // index of the Hall sequence
    double hallShift = 0.0;          // electrical degrees between Hall edges and the rotor
    double vdc = 46.3;               // V, DC bus
    double analogueInput = 0.0;      // V at the analogue reference input
};

// The motor used when nothing else is given: deliberately off the default setup's
// 0.9 Ohm, 1.2 mH and 48 V, so that an identification on that setup finds new values.
MotorModel DefaultMotor();

// A motor from JSON text: an object with any of the struct's field names; the others keep the
// defaults. Unknown fields, non-numbers, non-integers for whole-number fields and values out of
// physical range are refused with a message naming `source` and the field.
std::optional<MotorModel> MotorFromJson(const std::string& text, const std::string& source, std::string& error);
std::optional<MotorModel> LoadMotor(const std::string& path, std::string& error);

enum class Fault { None, ShortCircuit, EnableOff, OpenPhase, DeadLink };

// "none", "short-circuit", "enable-off", "open-phase", "dead-link"; empty for any other name.
std::optional<Fault> ParseFault(const std::string& name);
const char* FaultName(Fault fault);

}  // namespace drivesim
