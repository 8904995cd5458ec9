// "Motor_Phase_Connection_Test": drives the test current into phase A (and out of B and C) and
// publishes the phase currents its converters measure, in current counts: "var_i1" phase A,
// "var_i2" phase B.
#include <algorithm>
#include <cmath>
#include <optional>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kSettleMs = 100;  // several time constants of any winding
constexpr double kMeasureMs = 20;

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
                m_command = std::min(m_reference, m_command + kTenthRampStep);
                return false;
            }
            m_target = 10 * m_mean.Value();
        }
        m_reached = m_mean.Value() >= m_target || m_command >= 32767;
        if (!m_reached) m_command = std::min(32767.0, m_command + m_increment);
        return m_reached;
    }
    std::int32_t Command() const { return static_cast<std::int32_t>(std::lround(m_command)); }

private:
    double m_reference, m_increment;
    double m_command = 0;   // command units
    double m_target = -1;   // current counts, once known
    bool m_reached = false;
    MovingMean m_mean{3};   // as the preliminary run watches its current
};

class PhaseConnection : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_ramp) {
            m_ramp.emplace(c.Input("RefTest"), c.Input("RIncTest"));
            UsePhaseAFrame(d, 0);
        }
        if (!m_ramp->Step(d.iq)) {
            m_until = c.period + c.Periods(kSettleMs);
        } else if (c.period >= m_until) {
            m_sumA += d.ia;
            m_sumB += d.ib;
            ++m_samples;
            if (m_samples >= c.Periods(kMeasureMs)) {
                d.Publish("var_i1", std::round(m_sumA / m_samples));
                d.Publish("var_i2", std::round(m_sumB / m_samples));
                return false;
            }
        }
        d.vqCommand = m_ramp->Command();
        return true;
    }

private:
    StartUp m_start;
    std::optional<TestCurrentRamp> m_ramp;
    std::int64_t m_until = 0;  // end of the settling
    double m_sumA = 0, m_sumB = 0;
    std::int64_t m_samples = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakePhaseConnection() { return std::make_unique<PhaseConnection>(); }

}  // namespace drivesim::programs
