// "Total_Inertia_Identification_Test": drives a q current of "In1" counts in the encoder frame
// (which the preliminary positioning has aligned) and lets it accelerate the shaft up to
// "LimitSpeedMax" (counts per speed-loop sample), then brakes it with the opposite current. Both
// runs are timed in speed-loop samples over the band from a tenth to nine tenths of the limit,
// each once the current has settled: "delta_time" is the number of samples spent under the full
// current, "delta_speed" the speed change they produced (counts per sample, both runs added).
// Friction holds the shaft back while it accelerates and helps it while it brakes, so its part
// cancels in the sum.
// A run that cannot be timed says why in "delta_time" (with "delta_speed" 0): -1 when the speed
// goes negative under the positive current, -2 when the shaft does not move or the current does
// not settle before the speed band is crossed, 0 when the speed limit is not reached in time.
#include <algorithm>
#include <cmath>
#include <deque>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kTrackingShare = 0.9;    // of the test current: the current has risen
constexpr double kSettledShare = 0.02;    // of the test current: the mean current is on target
constexpr double kCorrectionGain = 1.0 / 32;  // per period: 625 rad/s at 50 us, below the current loop's bandwidth
constexpr double kReachMs = 200;          // to reach half of the test current
constexpr double kMoveMs = 2000;          // to start timing the acceleration
constexpr double kLimitMs = 10000;        // to reach the speed limit, and again to brake
constexpr std::size_t kSpan = 8;          // speed-loop samples a speed is measured over
constexpr std::int64_t kNegativeCounts = 2;  // per sample: clearly turning backwards

enum Result : int { kNegativeSpeed = -1, kNoMotion = -2, kLimitNotReached = 0 };

class TotalInertia : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        if (c.period == 0) {
            // Nothing from an earlier run may pass for this one's result.
            c.user["delta_time"] = 0;
            c.user["delta_speed"] = 0;
        }
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun && !Begin(c)) return false;
        m_current.Add(d.iq);
        Regulate(c);
        const std::int64_t elapsed = c.period - m_phaseStart;
        if (m_phase == Phase::Accelerate) return Accelerate(c, elapsed);
        return Brake(c, elapsed);
    }

private:
    enum class Phase { Accelerate, Brake };

    bool Begin(ProgramContext& c)
    {
        DriveCore& d = c.drive;
        m_begun = true;
        m_phaseStart = c.period;
        m_test = std::min(32767.0, std::trunc(c.Input("In1")));
        const double limit = std::trunc(c.Input("LimitSpeedMax"));
        if (!(m_test > 0)) return Finish(c, kNoMotion, 0);
        if (!(limit >= 2)) return Finish(c, kLimitNotReached, 0);
        m_limit = std::min(limit, 1e9);
        m_low = std::max(1.0, std::round(0.1 * m_limit));
        m_high = std::max(m_low + 1, std::min(m_limit, std::round(0.9 * m_limit)));
        m_spanPeriods = static_cast<std::int64_t>(kSpan) * d.Hardware().SlowRatio();
        d.servo = Servo::Current;
        d.encoderFrame = true;
        d.idReference = 0;
        return true;
    }

    bool Accelerate(ProgramContext& c, std::int64_t elapsed)
    {
        DriveCore& d = c.drive;
        if (!m_tracking && elapsed >= c.Periods(kReachMs) && m_current.Value() < 0.5 * m_test)
            return Finish(c, kNoMotion, 0);
        if (!d.SlowSample()) return true;
        if (d.speed <= -kNegativeCounts) return Finish(c, kNegativeSpeed, 0);
        const double speed = Track(d);
        if (!m_window.open && Steady(c) && speed >= m_low && speed < m_high) m_window.Open(m_samples, speed);
        if (m_window.open && !m_window.closed && speed >= m_high) m_window.Close(m_samples, speed);
        if (static_cast<double>(d.speed) >= m_limit) {
            // Too quick to time under a settled current (a smaller test current runs longer); the
            // limit is never driven past.
            if (!m_window.closed) return Finish(c, kNoMotion, 0);
            // Braking needs the mirrored correction: the current now lags a falling back-EMF.
            m_accelerated = m_window;
            m_window = Window{};
            m_phase = Phase::Brake;
            m_phaseStart = c.period;
            m_correction = -m_correction;
            m_tracking = false;
            m_settledAt = -1;
            return true;
        }
        if (!m_window.open && elapsed >= c.Periods(kMoveMs)) return Finish(c, kNoMotion, 0);
        if (elapsed >= c.Periods(kLimitMs)) return Finish(c, kLimitNotReached, 0);
        return true;
    }

    bool Brake(ProgramContext& c, std::int64_t elapsed)
    {
        DriveCore& d = c.drive;
        if (!d.SlowSample()) return true;
        const double speed = Track(d);
        if (!m_window.open && Steady(c) && speed <= m_high && speed > m_low) m_window.Open(m_samples, speed);
        if (m_window.open && speed <= m_low) {
            m_window.Close(m_samples, speed);
            return Finish(c, static_cast<double>(m_accelerated.Samples() + m_window.Samples()),
                          m_accelerated.Change() - m_window.Change());
        }
        if (speed <= 0) return Finish(c, kNoMotion, 0);  // stopped before the current settled
        if (elapsed >= c.Periods(kLimitMs)) return Finish(c, kLimitNotReached, 0);
        return true;
    }

    // The drive's current loop lags a current that has to rise against a growing back-EMF (and a
    // braking one against a falling back-EMF); an integral on the measured current, slow beside
    // that loop and held while the current is still on its way, makes the mean current the test
    // current all the same.
    void Regulate(ProgramContext& c)
    {
        DriveCore& d = c.drive;
        const double wanted = m_phase == Phase::Accelerate ? m_test : -m_test;
        const double error = wanted - m_current.Value();
        if (!m_tracking && std::fabs(error) <= (1 - kTrackingShare) * m_test) m_tracking = true;
        if (m_tracking) {
            m_correction = std::clamp(m_correction + kCorrectionGain * (wanted - d.iq), -m_test, m_test);
            if (m_settledAt < 0 && std::fabs(error) <= kSettledShare * m_test) m_settledAt = c.period;
        }
        d.iqReference = static_cast<std::int32_t>(std::clamp(std::round(wanted + m_correction), -32767.0, 32767.0));
    }

    // The current has been on target for a whole speed span.
    bool Steady(const ProgramContext& c) const
    {
        return m_settledAt >= 0 && c.period - m_settledAt >= m_spanPeriods && m_positions.size() > kSpan;
    }

    // Speed over the last kSpan samples (counts per sample): enough counts for the encoder's
    // quantisation to hardly show. Under a constant torque it is the speed half a span earlier,
    // at both ends of a timing window alike.
    double Track(const DriveCore& d)
    {
        ++m_samples;
        m_positions.push_back(d.apos);
        if (m_positions.size() > kSpan + 1) m_positions.pop_front();
        if (m_positions.size() <= kSpan) return static_cast<double>(d.speed);
        return static_cast<double>(m_positions.back() - m_positions.front()) / kSpan;
    }

    // Stops driving the shaft and publishes the result; the program then ends.
    bool Finish(ProgramContext& c, double samples, double change)
    {
        c.drive.iqReference = 0;
        c.user["delta_time"] = samples;
        c.user["delta_speed"] = change;
        return false;
    }

    // Samples and speeds where one timed run began and ended.
    struct Window {
        bool open = false, closed = false;
        std::int64_t first = 0, last = 0;
        double from = 0, to = 0;
        void Open(std::int64_t sample, double speed) { open = true, first = sample, from = speed; }
        void Close(std::int64_t sample, double speed) { closed = true, last = sample, to = speed; }
        std::int64_t Samples() const { return closed ? last - first : 0; }
        double Change() const { return closed ? to - from : 0; }
    };

    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Accelerate;
    std::int64_t m_phaseStart = 0;       // period
    double m_test = 0;                   // current counts
    double m_limit = 0, m_low = 0, m_high = 0;  // counts per sample
    MovingMean m_current{5};
    double m_correction = 0;             // counts added to the current reference
    bool m_tracking = false;             // the current has risen: the correction integrates
    std::int64_t m_settledAt = -1;       // period the mean current came on target
    std::int64_t m_spanPeriods = 0;      // current-loop periods in a speed span
    std::deque<std::int64_t> m_positions;  // encoder counts at the last slow samples
    std::int64_t m_samples = 0;          // speed-loop samples since the current was applied
    Window m_window, m_accelerated;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeTotalInertia() { return std::make_unique<TotalInertia>(); }

}  // namespace drivesim::programs
