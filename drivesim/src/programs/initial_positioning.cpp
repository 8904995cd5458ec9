// "Initial_Positioning_Test": aligns the rotor by driving a DC current of "In1" counts into
// phase A. The voltage along phase A ramps up until the measured current reaches In1, turns a
// quarter turn ahead for a while (a rotor left opposite phase A feels no torque from it, and
// friction would keep it there), is held on phase A again while the rotor settles there, and the
// encoder frame is then aligned with the rotor. It reports the current it held as "In1" (0 when
// it could not reach half of it), and hands the resistance run a start command ("REFTST_V": where
// a tenth of the current began to flow, past the dead-time drop) and a ramp increment
// ("RINCTST_V": the rest of the way in about 2000 periods).
#include <algorithm>
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr std::int32_t kRampStep = 3;  // command units per period
constexpr double kQuarterMs = 100;     // long enough to move the rotor off the opposite point
constexpr double kHoldMs = 300;        // for the rotor to settle
constexpr std::uint16_t kQuarterAhead = static_cast<std::uint16_t>(kPhaseAFrame + 16384);  // q at +90 degrees
constexpr double kMeasureMs = 20;
constexpr double kRampPeriods = 2000;  // of the resistance run's ramp: slow beside the current's lag

class InitialPositioning : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) {
            m_begun = true;
            m_target = c.Input("In1");
            m_sign = m_target < 0 ? -1 : 1;
            UsePhaseAFrame(d, 0);
        }
        const double current = m_sign * d.iq;
        m_mean.Add(current);
        const double wanted = std::fabs(m_target);
        switch (m_phase) {
        case Phase::Ramp:
            if (m_reference < 0 && m_mean.Value() >= 0.1 * wanted) m_reference = m_command;
            if (wanted == 0 || m_mean.Value() >= wanted || m_command >= 32767) {
                // Only a current that flows along phase A may be turned: with an open phase the
                // full command would drive the other two alone.
                const bool flows = wanted > 0 && m_mean.Value() >= 0.5 * wanted;
                m_phase = flows ? Phase::Quarter : Phase::Hold;
                m_until = c.period + c.Periods(flows ? kQuarterMs : kHoldMs);
                if (flows) d.testAngle = kQuarterAhead;
                break;
            }
            m_command = std::min(32767, m_command + kRampStep);
            break;
        case Phase::Quarter:
            if (c.period >= m_until) {
                m_phase = Phase::Hold;
                m_until = c.period + c.Periods(kHoldMs);
                d.testAngle = kPhaseAFrame;
            }
            break;
        case Phase::Hold:
            if (c.period >= m_until) {
                m_phase = Phase::Measure;
                m_until = c.period + c.Periods(kMeasureMs);
            }
            break;
        case Phase::Measure:
            m_sum += current;
            ++m_samples;
            if (c.period >= m_until) return Finish(c);
            break;
        }
        d.vqCommand = m_sign * m_command;
        return true;
    }

private:
    enum class Phase { Ramp, Quarter, Hold, Measure };

    bool Finish(ProgramContext& c)
    {
        DriveCore& d = c.drive;
        const double held = m_samples ? m_sum / m_samples : 0.0;
        const bool reached = m_target != 0 && held >= 0.5 * std::fabs(m_target);
        c.user["In1"] = reached ? m_sign * std::round(held) : 0.0;
        d.AlignEncoder(0);  // the rotor's d axis is on phase A: electrical angle 0
        const double reference = m_reference < 0 ? 0 : m_reference;
        d.Publish("REFTST_V", reference);
        d.Publish("RINCTST_V", std::max(1.0, std::round((m_command - reference) / kRampPeriods)));
        return false;
    }

    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Ramp;
    double m_target = 0;
    int m_sign = 1;
    std::int32_t m_command = 0;
    double m_reference = -1;
    std::int64_t m_until = 0;
    MovingMean m_mean{3};
    double m_sum = 0;
    std::int64_t m_samples = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeInitialPositioning() { return std::make_unique<InitialPositioning>(); }

}  // namespace drivesim::programs
