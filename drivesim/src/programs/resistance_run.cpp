// "Ident_R_or_Rs": ramps the voltage along phase A from "RefTest" by "RIncTest" per period until
// the measured current reaches "In1" counts, holds that command open loop while the current
// settles, then logs the current. Publishes the held command as "var_i1" and the mean bus count
// as "var_u2".
#include <algorithm>
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kSettleMs = 100;
constexpr double kMaxLogMs = 2000;  // a run without a logger ends after this

class ResistanceRun : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) {
            m_begun = true;
            m_target = std::fabs(c.Input("In1"));
            m_sign = c.Input("In1") < 0 ? -1 : 1;
            m_increment = std::max(1.0, std::fabs(c.Input("RIncTest")));
            m_command = std::clamp(std::fabs(c.Input("RefTest")), 0.0, 32767.0);
            d.servo = Servo::Voltage;
            d.encoderFrame = false;
            d.testAngle = kPhaseAFrame;
            d.angleStep = 0;
            d.vdCommand = 0;
        }
        m_mean.Add(m_sign * d.iq);
        switch (m_phase) {
        case Phase::Ramp:
            if (m_mean.Value() >= m_target || m_command >= 32767) {
                m_phase = Phase::Settle;
                m_until = c.period + c.Periods(kSettleMs);
            } else {
                m_command = std::min(32767.0, m_command + m_increment);
            }
            break;
        case Phase::Settle:
            if (c.period >= m_until) {
                m_phase = Phase::Log;
                m_until = c.period + c.Periods(kMaxLogMs);
                c.StartLogging();
            }
            break;
        case Phase::Log:
            m_bus += d.GetSensors().MeasureBus(d.GetPlant().Motor().vdc);
            ++m_busSamples;
            if (c.LogFull() || c.period >= m_until) {
                d.Publish("var_i1", m_sign * std::round(m_command));
                d.Publish("var_u2", std::round(m_bus / m_busSamples));
                return false;
            }
            break;
        }
        d.vqCommand = static_cast<std::int32_t>(m_sign * std::round(m_command));
        return true;
    }

private:
    enum class Phase { Ramp, Settle, Log };
    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Ramp;
    double m_target = 0, m_increment = 1, m_command = 0;
    int m_sign = 1;
    std::int64_t m_until = 0;
    MovingMean m_mean{3};
    double m_bus = 0;
    std::int64_t m_busSamples = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeResistanceRun() { return std::make_unique<ResistanceRun>(); }

}  // namespace drivesim::programs
