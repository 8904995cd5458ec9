#pragma once
// The drive's firmware around the plant and its sensors: one call of Sense then Act is one
// current-loop period. Sense samples the converters, the encoder and the Halls and turns the
// phase currents into the drive's (d, q) frame; a drive program then sets what the drive is to do
// (servo mode, references, frame angle); Act runs the loops (the slow ones every SLPER/CLPER
// periods), feeds the inverter, advances the plant by one period and applies the protections.
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "drivesim/control_loops.h"
#include "drivesim/motor_model.h"
#include "drivesim/plant.h"
#include "drivesim/sensors.h"

class CMC_Setup;

namespace drivesim {

// The drive's hardware constants as its setup configures them.
struct DriveHardware {
    ConverterRanges ranges;
    double imaxPS = 20;          // A at the current converter's full scale (range +-ImaxPS)
    double dspFreq = 60e6;       // Hz
    double pwmPer = 1500;        // clock ticks per half PWM period
    double clPer = 1;            // PWM periods per current loop period
    double slPer = 10;           // PWM periods per speed/position loop period
    double deadTime = 0;         // s, PWM dead time

    double LoopPeriod() const { return clPer * 2 * pwmPer / dspFreq; }  // s
    double PwmFrequency() const { return dspFreq / (2 * pwmPer); }      // Hz
    int SlowRatio() const;                                              // current-loop periods per slow one
};

// Reads the constants from `setup` (base units); false with `error` when one is missing or unusable.
bool ReadHardware(CMC_Setup* setup, DriveHardware& hardware, std::string& error);

// Volts of the inverter's output per voltage command unit on a bus of `vdc` volts: the drive's
// sinusoidal modulation puts 32767 at 0.55 Vdc (used whatever the setup's commutation).
inline double VoltsPerCommand(double vdc) { return 1.1 * vdc / 65534; }

// What the firmware does with the power stage on.
enum class Servo {
    Voltage,   // the program's voltage commands, open loop
    Current,   // current loops on the program's references
    Speed,     // speed loop (reference from the program or the profile), then the current loops
    Position,  // position loop, through the speed loop or straight to the current loops
};

// MER bits.
constexpr std::uint16_t kMerShortCircuit = 0x0002;
constexpr std::uint16_t kMerControlError = 0x0008;
constexpr std::uint16_t kMerHallMissing = 0x0020;
constexpr std::uint16_t kMerPositiveLimit = 0x0040;
constexpr std::uint16_t kMerNegativeLimit = 0x0080;
constexpr std::uint16_t kMerEnable = 0x8000;

class DriveCore {
public:
    DriveCore(const MotorModel& motor, std::uint64_t seed);

    void Configure(const DriveHardware& hardware);
    const DriveHardware& Hardware() const { return m_hw; }
    LoopRegisters& Registers() { return m_regs; }
    Plant& GetPlant() { return m_plant; }
    const Plant& GetPlant() const { return m_plant; }
    Sensors& GetSensors() { return m_sensors; }
    void SetFault(Fault fault);
    Fault GetFault() const { return m_fault; }

    // One current-loop period in two halves, with the program's decisions in between.
    void Sense();
    bool Act();  // false when the model cannot go on (Problem())
    const std::string& Problem() const { return m_plant.Problem(); }
    // Brings the encoder up to the shaft's present position (a hand may have moved it).
    void TrackShaft();
    // Lets `periods` pass with nothing to do: power stage off and the shaft at rest.
    void Idle(std::int64_t periods);
    // The same for a program that waits meanwhile: exactly what as many periods of Sense and Act
    // would do with the power stage off and the shaft at rest.
    void Rest(std::int64_t periods);
    double Period() const { return m_ts; }
    std::int64_t Periods() const { return m_periods; }
    bool SlowSample() const { return m_slowPhase == 0; }  // the slow loops run in this period

    // The power stage. PowerOn fails (and latches the short-circuit bit) when it trips at once.
    bool PowerOn();
    void PowerOff();
    bool AxisOn() const { return m_on; }

    // Program settings.
    Servo servo = Servo::Voltage;
    bool encoderFrame = false;         // the (d, q) frame follows the encoder; else the test angle
    std::uint16_t testAngle = 0;       // electrical angle, 65536 per turn
    std::int32_t angleStep = 0;        // added to the test angle each period
    std::int32_t vdCommand = 0, vqCommand = 0;        // Voltage, command units
    std::int32_t idReference = 0, iqReference = 0;    // Current, counts (iq also the slow loops' output)
    std::int64_t speedReference = 0;   // counts per slow sample
    std::int64_t positionReference = 0;  // counts
    enum class ProfileTarget { None, Speed, Position } profileTarget = ProfileTarget::None;
    ProfileGenerator profile;
    std::int32_t currentTrip = 0;      // counts of phase current that stop the power stage; 0: none
    bool tripped = false;              // the trip above has acted
    bool hallCommutation = false;      // the program needs the Halls: 0 or 7 latches "Hall missing"
    double analogueVolts = 0;          // V at the analogue reference input

    // Resets the loops' memories (integrals, filters) for a new run.
    void ResetLoops();
    // Makes the encoder frame's angle `angle` at the present position.
    void AlignEncoder(std::uint16_t angle);
    std::uint16_t DriveAngle() const;

    // Measurements of the last Sense, drive units.
    std::int32_t ia = 0, ib = 0, id = 0, iq = 0;   // current counts
    std::int32_t vd = 0, vq = 0;                   // voltage commands applied
    std::int64_t apos = 0;                         // encoder counts
    std::int64_t speed = 0;                        // counts per slow sample, at the last slow sample
    int hall = 0;

    std::uint16_t Mer() const;
    void LatchMer(std::uint16_t bits) { m_mer |= bits; }
    void WriteMer(std::uint16_t value) { m_mer = value; }

    // Drive variables: the measurements and references above by their names, and the values the
    // programs publish ("var_i1", "REFTST_V" ...).
    bool Read(std::string_view name, double& value) const;
    void Publish(std::string_view name, double value) { Published(name) = value; }
    // A published variable's place, made (at 0) when new, for a program that reads or writes it
    // every period: the name is looked up once. The reference lasts as long as the core.
    double& Published(std::string_view name);
    bool Write(const std::string& name, double value);
    // Logging reads the same variables; a name resolves once to a probe, which lasts as long as
    // the core.
    struct Probe {
        int quantity = -1;              // a measurement or reference, else
        const double* value = nullptr;  // a published variable
    };
    bool Resolve(std::string_view name, Probe& probe) const;
    double Value(const Probe& probe) const
    {
        if (probe.quantity >= 0) return Quantity(probe.quantity);
        return probe.value ? *probe.value : 0.0;
    }
    // The Hall inputs as the drive reads them now (4C + 2B + A).
    int HallInputs() const { return m_sensors.Hall(m_plant.ElectricalAngle()); }

private:
    double Quantity(int quantity) const;
    void Control();
    void Protect();

    MotorModel m_motor;
    DriveHardware m_hw;
    LoopRegisters m_regs;
    Plant m_plant;
    mutable Sensors m_sensors;  // reading a converter draws its noise
    double m_voltsPerUnit;      // V of the inverter per command unit of a Q15 product
    Fault m_fault = Fault::None;
    double m_ts = 50e-6;
    int m_slowRatio = 10;
    int m_slowPhase = 0;  // periods since the last slow sample
    std::int64_t m_periods = 0;
    bool m_on = false;
    std::uint16_t m_mer = 0;

    CurrentLoop m_currentLoop;
    PiLoop m_speedLoop;
    PositionLoop m_positionLoop;
    std::int64_t m_lastSlowPosition = 0;
    std::int64_t m_lastSpeedReference = 0;
    std::int64_t m_lastPositionReference = 0;
    std::int64_t m_encoderOffset = 0;
    int m_positionErrorTime = 0, m_speedErrorTime = 0;
    std::map<std::string, double, std::less<>> m_published;  // nodes stay put: probes point into it
};

}  // namespace drivesim
