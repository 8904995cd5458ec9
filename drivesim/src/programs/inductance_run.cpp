// "Ident_L_or_Tau_el": applies a voltage vector turning at about 1 kHz electrical (fast enough that
// the rotor, pushed back and forth by the turning current, hardly moves), its amplitude
// ramped until the current's amplitude reaches "In1" counts, then held while the current settles,
// and logs the current in the voltage's frame: "IQ" along the voltage, "ID" lagging it by 90
// degrees. Publishes the amplitude as "var_i1", the angle step per period as "TINCTST" (65536 a
// turn) and the mean bus count as "var_u2".
#include <algorithm>
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kFrequency = 1000;    // Hz, electrical
constexpr double kMinPeriodsPerTurn = 16;
constexpr std::int32_t kRampStep = 4;  // command units per period
constexpr double kSettleMs = 100;
constexpr double kMaxLogMs = 2000;

class InductanceRun : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) {
            m_begun = true;
            m_target = std::fabs(c.Input("In1"));
            m_step = std::max(1L, std::lround(std::min(kFrequency * d.Period(), 1 / kMinPeriodsPerTurn) * 65536));
            d.servo = Servo::Voltage;
            d.encoderFrame = false;
            d.testAngle = kPhaseAFrame;
            d.angleStep = static_cast<std::int32_t>(m_step);
            d.vdCommand = 0;
        }
        // Amplitude of the current, smoothed over about a tenth of a turn of the voltage.
        m_amplitude += (std::sqrt(double(d.iq) * d.iq + double(d.id) * d.id) - m_amplitude) / 32;
        switch (m_phase) {
        case Phase::Ramp:
            if (m_amplitude >= m_target || m_command >= 32767) {
                m_phase = Phase::Settle;
                m_until = c.period + c.Periods(kSettleMs);
            } else {
                m_command = std::min(32767, m_command + kRampStep);
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
                d.Publish("var_i1", m_command);
                d.Publish("TINCTST", static_cast<double>(m_step));
                d.Publish("var_u2", std::round(m_bus / m_busSamples));
                return false;
            }
            break;
        }
        d.vqCommand = m_command;
        return true;
    }

private:
    enum class Phase { Ramp, Settle, Log };
    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Ramp;
    double m_target = 0, m_amplitude = 0;
    long m_step = 1;
    std::int32_t m_command = 0;
    std::int64_t m_until = 0;
    double m_bus = 0;
    std::int64_t m_busSamples = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeInductanceRun() { return std::make_unique<InductanceRun>(); }

}  // namespace drivesim::programs
