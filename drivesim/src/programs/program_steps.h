#pragma once
// Pieces the drive programs share: the start-up every program goes through and the small filters
// with which they watch a measurement.
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

}  // namespace drivesim::programs

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeVdcDetection();
std::unique_ptr<DriveProgram> MakeInitialPositioning();
std::unique_ptr<DriveProgram> MakeResistanceRun();
std::unique_ptr<DriveProgram> MakeInductanceRun();

}  // namespace drivesim::programs
