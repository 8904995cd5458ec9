// "Ident_R_or_Rs": ramps the voltage along phase A from "RefTest" by "RIncTest" per period until
// the measured current reaches "In1" counts, holds that command open loop while the current
// settles, then logs the current. Publishes the held command as "var_i1" and the mean bus count
// as "var_u2".
#include <algorithm>
#include <cmath>
#include <optional>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

class ResistanceRun : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_course) {
            m_target = std::fabs(c.Input("In1"));
            m_sign = c.Input("In1") < 0 ? -1 : 1;
            m_course.emplace(std::fabs(c.Input("RefTest")), std::max(1.0, std::fabs(c.Input("RIncTest"))));
            UsePhaseAFrame(d, 0);
        }
        m_mean.Add(m_sign * d.iq);
        if (!m_course->Step(c, m_mean.Value() >= m_target)) {
            d.Publish("var_i1", m_sign * std::round(m_course->Command()));
            d.Publish("var_u2", m_course->MeanBus());
            return false;
        }
        d.vqCommand = static_cast<std::int32_t>(m_sign * std::round(m_course->Command()));
        return true;
    }

private:
    StartUp m_start;
    std::optional<RampSettleLog> m_course;
    double m_target = 0;
    int m_sign = 1;
    MovingMean m_mean{3};
};

}  // namespace

std::unique_ptr<DriveProgram> MakeResistanceRun() { return std::make_unique<ResistanceRun>(); }

}  // namespace drivesim::programs
