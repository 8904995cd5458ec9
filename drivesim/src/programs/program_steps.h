#pragma once
// Pieces the drive programs share: the start-up every program goes through and the small filters
// with which they watch a measurement.
#include <algorithm>
#include <cmath>
#include <cstdint>

#include "drivesim/drive_program.h"

namespace drivesim::programs {

// Electrical test angle that puts the q axis of the drive's frame on phase A: a voltage along q
// then drives current into phase A and out of B and C, and pulls the rotor's d axis to phase A.
constexpr std::uint16_t kPhaseAFrame = 49152;  // -90 degrees
constexpr double kPowerUpMs = 10;            // from the start to the power stage on

// The start every program makes: waits for ENABLE, switches the power stage on after kPowerUpMs,
// arms the over-current trip at "Imax_Prot_Test" counts when given, sets "test_flag" and flags
// "STARTED". Returns true once that is done; a short circuit ends the program (`ended`).
class StartUp {
public:
    bool Done(ProgramContext& c, bool& ended);

private:
    bool m_done = false;
};

// Puts the drive's frame with its q axis on phase A, turning by `angleStep` a period (65536 a
// turn), for voltage commands along q.
void UsePhaseAFrame(DriveCore& drive, std::int32_t angleStep);

// The course of a measuring run: the command ramps up by `increment` a period (to 32767 at most)
// until the current is reached, is held while the current settles, then the logger records; the
// bus voltage is averaged meanwhile. Step returns false once the logger is full.
class RampSettleLog {
public:
    RampSettleLog(double start, double increment) : m_command(std::fmin(start, 32767.0)), m_increment(increment) {}
    bool Step(ProgramContext& c, bool reached);
    double Command() const { return m_command; }
    double MeanBus() const { return m_busSamples ? std::round(m_bus / m_busSamples) : 0.0; }

private:
    enum class Phase { Ramp, Settle, Log };
    Phase m_phase = Phase::Ramp;
    double m_command, m_increment;
    std::int64_t m_until = 0;
    double m_bus = 0;
    std::int64_t m_busSamples = 0;
};

// Mean of the last 2^bits samples.
class MovingMean {
public:
    explicit MovingMean(int bits) : m_bits(bits) {}
    void Add(double x);
    double Value() const { return m_count ? m_sum / m_count : 0.0; }
    bool Full() const { return m_count == (1 << m_bits); }

private:
    int m_bits;
    double m_samples[256] = {};
    int m_next = 0, m_count = 0;
    double m_sum = 0;
};

// Brings the current along phase A up to the test current knowing only what the preliminary run
// handed on: its ramp first carried a tenth of the current at the command "RefTest", so the same
// ramp is made up to RefTest, ten times the current seen there is the target, and the command then
// rises by "RIncTest" a period until that current flows. The converters' noise at a tenth of the
// current limits how well the target is met (a few per cent above 1 A).
class TestCurrentRamp {
public:
    TestCurrentRamp(double reference, double increment)
        : m_reference(std::clamp(reference, 0.0, 32767.0)), m_increment(std::max(1.0, std::fabs(increment)))
    {
    }
    // One period with the current along phase A measured (counts); true once the current is reached.
    bool Step(double current)
    {
        constexpr double kTenthRampStep = 3;  // command units per period, as the preliminary run ramps
        m_mean.Add(current);
        if (m_reached) return true;
        if (m_target < 0) {
            if (m_command < m_reference) {
                SetCommand(std::min(m_reference, m_command + kTenthRampStep));
                return false;
            }
            m_target = 10 * m_mean.Value();
        }
        m_reached = m_mean.Value() >= m_target || m_command >= 32767;
        if (!m_reached) SetCommand(std::min(32767.0, m_command + m_increment));
        return m_reached;
    }
    std::int32_t Command() const { return m_word; }

private:
    // The command and the whole number the drive is given (asked every period, so rounded once).
    void SetCommand(double command)
    {
        m_command = command;
        m_word = static_cast<std::int32_t>(std::lround(command));
    }

    double m_reference, m_increment;
    double m_command = 0;   // command units
    double m_target = -1;   // current counts, once known
    bool m_reached = false;
    MovingMean m_mean{3};   // as the preliminary run watches its current
    std::int32_t m_word = 0;
};

}  // namespace drivesim::programs

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeVdcDetection();
std::unique_ptr<DriveProgram> MakeInitialPositioning();
std::unique_ptr<DriveProgram> MakeResistanceRun();
std::unique_ptr<DriveProgram> MakeInductanceRun();
std::unique_ptr<DriveProgram> MakeEncoderResolution();
std::unique_ptr<DriveProgram> MakeEncoderConnection();
std::unique_ptr<DriveProgram> MakeHallConfiguration();
std::unique_ptr<DriveProgram> MakeHallSignals();
std::unique_ptr<DriveProgram> MakePolePairs();
std::unique_ptr<DriveProgram> MakePhaseConnection();
std::unique_ptr<DriveProgram> MakeAnalogueReference();
std::unique_ptr<DriveProgram> MakeTotalInertia();
std::unique_ptr<DriveProgram> MakeCurrentTuning();
std::unique_ptr<DriveProgram> MakeSpeedTuning();
std::unique_ptr<DriveProgram> MakePositionTuningWithSpeedLoop();
std::unique_ptr<DriveProgram> MakePositionTuningWithoutSpeedLoop();
std::unique_ptr<DriveProgram> MakeAngleTuning();

// Loads the drive's reference generator with the six segments the host gives: "a0".."a5" samples
// and "b0".."b5" slopes in units per speed-loop sample, once or over and over. The
// reference starts at `start`. Returns whether the profile is cyclic ("MultiC" nonzero).
bool LoadUserProfile(ProgramContext& c, std::int64_t start);

}  // namespace drivesim::programs
