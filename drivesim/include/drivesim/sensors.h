#pragma once
// The drive's view of the motor: current and bus converters in counts (quantised, with an offset
// and seeded Gaussian noise), the incremental encoder with its index and capture, the three Hall
// sensors and the analogue reference input.
#include <array>
#include <cstdint>

#include "drivesim/motor_model.h"
#include "drivesim/plant.h"

namespace drivesim {

// Repeatable pseudo-random numbers: xorshift64*, the same sequence on every platform.
class NoiseSource {
public:
    explicit NoiseSource(std::uint64_t seed = 1) { Seed(seed); }
    void Seed(std::uint64_t seed) { m_state = seed * 0x9E3779B97F4A7C15ULL + 0x2545F4914F6CDD1DULL; if (!m_state) m_state = 1; }
    std::uint64_t Next()
    {
        m_state ^= m_state >> 12;
        m_state ^= m_state << 25;
        m_state ^= m_state >> 27;
        return m_state * 2685821657736338717ULL;
    }
    // Standard normal, by inverse-CDF sampling from a table of 4096 quantiles (tails cut at 3.5 sigma).
    double Gaussian();

private:
    std::uint64_t m_state = 1;
};

// Converter ranges as the setup configures them.
struct ConverterRanges {
    double adcMax = 65520;          // full-scale count
    double step = 16;               // counts per converter step (16 for 12 bits left-aligned in 16)
    double currentScale = 1638;     // counts per A (range +-ImaxPS)
    double busScale = 586;          // counts per V
    double analogueRange = 20;      // V; 20 means -10..+10 V, any other value 0..range
};

// Counts per step of a converter whose full scale is `adcMax`: a 16-bit word holding fewer bits
// left-aligned (65536 - adcMax a power of two), or right-aligned whole counts.
double ConverterStep(double adcMax);

class Sensors {
public:
    Sensors(const MotorModel& motor, std::uint64_t seed);

    void SetRanges(const ConverterRanges& ranges)
    {
        m_ranges = ranges;
        m_perStep = 1 / ranges.step;
        m_halfScale = ranges.adcMax / 2;
    }
    const ConverterRanges& Ranges() const { return m_ranges; }
    void SetFault(Fault fault) { m_fault = fault; }
    void SetNoise(double sigmaSteps) { m_noise = sigmaSteps; }
    void Seed(std::uint64_t seed) { m_random.Seed(seed); }

    // Phase A and B current converters, counts around the calibrated zero.
    void MeasureCurrents(const PhaseCurrents& i, std::int32_t& a, std::int32_t& b);
    // Bus voltage converter, counts.
    std::int32_t MeasureBus(double volts);
    // Analogue reference: the 10-bit reading in the upper bits of a 16-bit word.
    std::int32_t MeasureAnalogue(double volts);

    // Follows the shaft to `mechanicalAngle` (rad, not wrapped), decoding every encoder edge.
    void TrackEncoder(double mechanicalAngle);
    std::int64_t EncoderCount() const { return m_count; }
    // Capture of the count at the next index pulse.
    void ArmCapture() { m_captureArmed = true; }
    bool Captured() const { return m_captured; }
    std::int64_t CapturedCount() const { return m_capture; }
    // Hall state (4C + 2B + A) at `electricalAngle` (rad).
    int Hall(double electricalAngle) const;

private:
    void Edge(std::int64_t position);
    void Capture(std::int64_t count);

    MotorModel m_motor;
    ConverterRanges m_ranges;
    double m_perStep = 1.0 / 16, m_halfScale = 65520.0 / 2;  // of the ranges, for every period
    Fault m_fault = Fault::None;
    double m_noise;
    NoiseSource m_random;
    double m_countsPerRadian;

    std::int64_t m_position = 0;   // the encoder disc's position, counts in its own direction
    std::int64_t m_count = 0;      // what the decoder counted
    int m_lastState = 0;           // last decoded A/B state
    bool m_captureArmed = false, m_captured = false;
    std::int64_t m_capture = 0;
};

}  // namespace drivesim
