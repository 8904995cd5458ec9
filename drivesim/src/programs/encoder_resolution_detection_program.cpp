// "Encoder_Resolution_And_Direction_Test": turns the motor by one mechanical revolution in the
// positive direction with a rotating voltage vector ("PolesPairs" electrical turns) and counts the
// encoder edges on the way. The rotor sits on phase A after the preliminary positioning; the
// vector starts there at "RefTest" (where a tenth of the positioning current flowed), measures
// that current and rises until ten times it flows: the current the positioning held. The vector
// then turns smoothly (no jerk at either end) and holds still at the end while the rotor settles.
// Published while it runs: "var_lf_long" (edges counted since the turn began, signed) and the
// user variable "H123" (the Hall inputs).
#include <algorithm>
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kMeasureMs = 20;
constexpr std::int32_t kRampStep = 3;  // command units per period
constexpr double kAlignMs = 200;       // for the rotor to settle on the vector
constexpr double kTurnMs = 2000;       // one mechanical revolution
constexpr double kSettleMs = 300;
constexpr double kTwoPi = 2 * kPi;

class EncoderResolution : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) Begin(c);
        *m_hall = d.HallInputs();
        // Amplitude of the current, counts: wanted only until the vector turns.
        auto current = [&d] { return std::hypot(static_cast<double>(d.id), static_cast<double>(d.iq)); };
        d.angleStep = 0;
        switch (m_phase) {
        case Phase::Measure:
            m_sum += current();
            ++m_samples;
            if (c.period >= m_until) {
                m_target = 10 * m_sum / m_samples;
                m_phase = Phase::Ramp;
            }
            break;
        case Phase::Ramp:
            m_mean.Add(current());
            if (m_mean.Value() >= m_target || m_command >= 32767) {
                m_phase = Phase::Align;
                m_until = c.period + c.Periods(kAlignMs);
            } else {
                m_command = std::min(32767, m_command + kRampStep);
            }
            break;
        case Phase::Align:
            if (c.period >= m_until) {
                m_phase = Phase::Turn;
                m_startCount = d.apos;
                m_turnPeriods = c.Periods(kTurnMs);
                m_step = 0;
            }
            break;
        case Phase::Turn: {
            // Cycloidal course: s - sin(2 pi s) / (2 pi) of the whole angle, s from 0 to 1.
            ++m_step;
            const double s = static_cast<double>(m_step) / m_turnPeriods;
            const auto wanted = static_cast<std::int64_t>(std::llround(m_total * (s - std::sin(kTwoPi * s) / kTwoPi)));
            d.angleStep = static_cast<std::int32_t>(wanted - m_turned);
            m_turned = wanted;
            if (m_step >= m_turnPeriods) {
                m_phase = Phase::Settle;
                m_until = c.period + c.Periods(kSettleMs);
            }
            break;
        }
        case Phase::Settle:
            if (c.period >= m_until) {
                Publish(d);
                return false;
            }
            break;
        }
        d.vqCommand = m_command;
        Publish(d);
        return true;
    }

private:
    enum class Phase { Measure, Ramp, Align, Turn, Settle };

    void Begin(ProgramContext& c)
    {
        m_begun = true;
        m_command = static_cast<std::int32_t>(std::clamp(std::round(c.Input("RefTest")), 0.0, 32767.0));
        const double pairs = std::clamp(std::round(c.Input("PolesPairs")), 1.0, 1000.0);
        m_total = static_cast<std::int64_t>(pairs) * 65536;  // electrical angle of one revolution
        UsePhaseAFrame(c.drive, 0);
        m_startCount = c.drive.apos;
        m_until = c.period + c.Periods(kMeasureMs);
        m_hall = &c.user["H123"];
        m_counted = &c.drive.Published("var_lf_long");
    }

    void Publish(const DriveCore& d) const
    {
        const bool counting = m_phase == Phase::Turn || m_phase == Phase::Settle;
        *m_counted = counting ? static_cast<double>(d.apos - m_startCount) : 0.0;
    }

    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Measure;
    std::int32_t m_command = 0;
    std::int64_t m_until = 0;
    double m_sum = 0, m_target = 0;
    std::int64_t m_samples = 0;
    MovingMean m_mean{3};
    std::int64_t m_startCount = 0;
    std::int64_t m_total = 65536;
    std::int64_t m_turned = 0;
    std::int64_t m_turnPeriods = 1, m_step = 0;
    double* m_hall = nullptr;     // "H123"
    double* m_counted = nullptr;  // "var_lf_long"
};

}  // namespace

std::unique_ptr<DriveProgram> MakeEncoderResolution() { return std::make_unique<EncoderResolution>(); }

}  // namespace drivesim::programs
