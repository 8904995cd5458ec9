#pragma once
// The true values of the simulated motor, its supply and its sensors, and the faults a bench can have.
#include <optional>
#include <string>

namespace drivesim {

// SI units throughout. Resistance and inductances are per phase of the equivalent star: what the
// drive sees on each of its outputs, and what an identification recovers before any correction for
// a delta connection (a setup that declares delta multiplies the measured values by 3 itself).
// The torque constant is per ampere of phase current amplitude (the drive's q current).
struct MotorModel {
    double resistance = 1.12;        // Ohm
    double inductance = 1.45e-3;     // H; Ld and Lq when those are 0
    double ld = 0;                   // H, d-axis inductance (0: inductance)
    double lq = 0;                   // H, q-axis inductance (0: inductance)
    double torqueConstant = 0.1;     // Nm/A
    double inertia = 6e-5;           // kg m^2, rotor
    double loadInertia = 0;          // kg m^2, coupled to the shaft
    double viscousFriction = 1e-5;   // Nm s/rad
    double coulombFriction = 5e-3;   // Nm
    double loadTorque = 0;           // Nm, constant (a hanging load), against positive rotation
    int polePairs = 4;
    int encoderLines = 2500;         // lines per revolution (4 counts each)
    int encoderDirection = 1;        // +1, or -1 for an encoder counting against the motor
    int encoderIndex = 1;            // 1: one index pulse per revolution, 0: none
    int hallCase = 2;                // Hall configuration in the drive's numbering, 2..13 (hall_table.h)
    double hallShift = 0.0;          // electrical degrees the Hall edges lag their ideal places
    double vdc = 46.3;               // V, DC bus
    double analogueInput = 0.0;      // V at the analogue reference input
    double currentOffset = 0.004;    // A, measurement offset of phase A (phase B has -0.6 times it)
    double noise = 1.0;              // converter noise, standard deviation in converter steps (0: none)

    double Ld() const { return ld > 0 ? ld : inductance; }
    double Lq() const { return lq > 0 ? lq : inductance; }
    double TotalInertia() const { return inertia + loadInertia; }
};

// The motor used when nothing else is given: deliberately off the default setup's
// 0.9 Ohm, 1.2 mH and 48 V, so that an identification on that setup finds new values.
MotorModel DefaultMotor();

// A motor from JSON text: an object with any of the struct's field names; the others keep the
// defaults. Unknown fields, non-numbers, non-integers for whole-number fields and values out of
// physical range are refused with a message naming `source` and the field.
std::optional<MotorModel> MotorFromJson(const std::string& text, const std::string& source, std::string& error);
std::optional<MotorModel> LoadMotor(const std::string& path, std::string& error);

// Wiring and hardware faults of a bench.
enum class Fault {
    None,
    ShortCircuit,     // the power stage trips as it comes on
    EnableOff,        // the ENABLE input is off: programs wait for it for ever
    OpenPhase,        // motor phase A is not connected
    DeadLink,         // the drive does not answer
    HallSupply,       // no Hall supply: the pulled-up inputs read 7
    HallStuck,        // Hall signal B stuck low
    EncoderAMissing,  // encoder channel A not connected (reads low)
    EncoderBMissing,  // encoder channel B not connected (reads low)
    EncoderSwapped,   // encoder channels A and B swapped
    PhasesSwapped,    // motor phases B and C swapped
    LockedRotor,      // the shaft cannot turn
    LimitPositive,    // the positive limit switch input is active
    LimitNegative,    // the negative limit switch input is active
};

// "none", "short-circuit", "enable-off", "open-phase", "dead-link", "hall-supply", "hall-stuck",
// "encoder-a-missing", "encoder-b-missing", "encoder-swapped", "phases-swapped", "locked-rotor",
// "limit-positive", "limit-negative"; empty for any other name.
std::optional<Fault> ParseFault(const std::string& name);
const char* FaultName(Fault fault);
// Every fault name, comma separated, for messages.
std::string FaultNames();

}  // namespace drivesim
