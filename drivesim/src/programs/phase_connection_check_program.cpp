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
