#include "drivesim/sensors.h"

#include <algorithm>
#include <cmath>

#include "drivesim/hall_table.h"

namespace drivesim {

namespace {

constexpr int kQuantiles = 4096;

// Standard normal quantile of p in (0, 1): Acklam's rational approximation (relative error below
// 1.2e-9), good enough for converter noise.
double NormalQuantile(double p)
{
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02, -2.759285104469687e+02,
                                   1.383577518672690e+02, -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02, -1.556989798598866e+02,
                                   6.680131188771972e+01, -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01, -2.400758277161838e+00,
                                   -2.549732539343734e+00, 4.374664141464968e+00, 2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01, 2.445134137142996e+00,
                                   3.754408661907416e+00};
    const double low = 0.02425;
    if (p < low || p > 1 - low) {
        const double q = std::sqrt(-2 * std::log(p < low ? p : 1 - p));
        const double x = (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
                         ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1);
        return p < low ? x : -x;
    }
    const double q = p - 0.5, r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1);
}

// Quantiles at (k + 0.5) / 4096, made when the program starts.
struct QuantileTable {
    double q[kQuantiles];
    QuantileTable()
    {
        for (int k = 0; k < kQuantiles; ++k) q[k] = NormalQuantile((k + 0.5) / kQuantiles);
    }
};
const QuantileTable kQuantileTable;

bool IsPowerOfTwo(double x) { return x >= 1 && x == std::ldexp(1.0, std::ilogb(x)); }

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) { return a >= 0 ? a / b : -((-a + b - 1) / b); }

// Quadrature state (A + 2B) at each position modulo 4, counting up: 00, 10, 11, 01.
constexpr int kQuadrature[4] = {0, 1, 3, 2};
constexpr int kSequenceIndex[4] = {0, 1, 3, 2};  // state -> place in the sequence

}  // namespace

double NoiseSource::Gaussian() { return kQuantileTable.q[Next() >> 52]; }

double ConverterStep(double adcMax)
{
    if (IsPowerOfTwo(adcMax + 1)) return 1;
    const double gap = 65536 - adcMax;
    return adcMax < 65536 && IsPowerOfTwo(gap) ? gap : 1;
}

Sensors::Sensors(const MotorModel& motor, std::uint64_t seed)
    : m_motor(motor), m_noise(motor.noise), m_random(seed), m_countsPerRadian(4.0 * motor.encoderLines / (2 * kPi))
{
}

void Sensors::MeasureCurrents(const PhaseCurrents& i, std::int32_t& a, std::int32_t& b)
{
    const double step = m_ranges.step, perStep = m_perStep, half = m_halfScale;
    auto convert = [&](double amps) {
        double counts = amps * m_ranges.currentScale;
        if (m_noise > 0) counts += m_noise * step * m_random.Gaussian();
        counts = std::clamp(std::floor(counts * perStep + 0.5) * step, -half, half);
        return static_cast<std::int32_t>(counts);
    };
    a = convert(i.a + m_motor.currentOffset);
    b = convert(i.b - 0.6 * m_motor.currentOffset);
}

std::int32_t Sensors::MeasureBus(double volts)
{
    const double step = m_ranges.step;
    double counts = volts * m_ranges.busScale;
    if (m_noise > 0) counts += m_noise * step * m_random.Gaussian();
    return static_cast<std::int32_t>(std::clamp(std::round(counts / step) * step, 0.0, m_ranges.adcMax));
}

std::int32_t Sensors::MeasureAnalogue(double volts)
{
    const double range = m_ranges.analogueRange;
    double u = std::trunc(range) == 20 ? (volts + 10) / 20 : volts / range;
    double code = u * 1023;
    if (m_noise > 0) code += 0.25 * m_noise * m_random.Gaussian();  // a 10-bit step is four 12-bit ones
    code = std::clamp(std::round(code), 0.0, 1023.0);
    return static_cast<std::int32_t>(code) << 6;
}

void Sensors::TrackEncoder(double mechanicalAngle)
{
    const std::int64_t target =
        m_motor.encoderDirection * static_cast<std::int64_t>(std::floor(mechanicalAngle * m_countsPerRadian));
    if (target == m_position) return;
    const bool wired = m_fault != Fault::EncoderAMissing && m_fault != Fault::EncoderBMissing &&
                       m_fault != Fault::EncoderSwapped;
    if (wired) {
        // Every edge decodes cleanly: the count follows the disc.
        const std::int64_t turn = 4LL * m_motor.encoderLines;
        if (m_captureArmed && m_motor.encoderIndex) {
            // The index sits at each whole turn of the disc.
            const bool up = target > m_position;
            const std::int64_t index = (FloorDiv(m_position, turn) + (up ? 1 : 0)) * turn;
            if (up ? index <= target : index > target) Capture(m_count + (index - m_position));
        }
        m_count += target - m_position;
        m_position = target;
        m_lastState = kQuadrature[((m_position % 4) + 4) % 4];
        return;
    }
    const std::int64_t direction = target > m_position ? 1 : -1;
    while (m_position != target) Edge(m_position + direction);
}

void Sensors::Capture(std::int64_t count)
{
    m_capture = count;
    m_captured = true;
    m_captureArmed = false;
}

void Sensors::Edge(std::int64_t position)
{
    const std::int64_t turn = 4LL * m_motor.encoderLines;
    const bool up = position > m_position;
    const bool index = m_captureArmed && m_motor.encoderIndex;
    if (index && !up && m_position % turn == 0) Capture(m_count);  // leaving the index downwards
    int state = kQuadrature[((position % 4) + 4) % 4];
    if (m_fault == Fault::EncoderAMissing) state &= ~1;
    if (m_fault == Fault::EncoderBMissing) state &= ~2;
    if (m_fault == Fault::EncoderSwapped) state = ((state & 1) << 1) | ((state >> 1) & 1);
    const int step = (kSequenceIndex[state] - kSequenceIndex[m_lastState] + 4) % 4;
    if (step == 1) ++m_count;
    if (step == 3) --m_count;  // 2 would be a skipped state: no count
    m_lastState = state;
    if (index && up && position % turn == 0) Capture(m_count);
    m_position = position;
}

int Sensors::Hall(double electricalAngle) const
{
    if (m_fault == Fault::HallSupply) return 7;  // open inputs with pull-ups
    int state = HallState(m_motor.hallCase, electricalAngle * 180 / kPi, m_motor.hallShift);
    if (m_fault == Fault::HallStuck) state &= ~2;
    return state;
}

}  // namespace drivesim
