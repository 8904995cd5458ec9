// "Ident_L_or_Tau_el": applies a voltage vector turning at about 1 kHz electrical (fast enough that
// the rotor, pushed back and forth by the turning current, hardly moves), its amplitude ramped
// until the current's amplitude reaches "In1" counts, then held while the current settles, and
// logs the current in the voltage's frame: "IQ" along the voltage, "ID" lagging it by 90 degrees.
// Publishes the amplitude as "var_i1", the angle step per period as "TINCTST" (65536 a turn) and
// the mean bus count as "var_u2".
#include <algorithm>
#include <cmath>
#include <optional>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kFrequency = 1000;  // Hz, electrical
constexpr double kMinPeriodsPerTurn = 16;
constexpr double kRampStep = 4;      // command units per period

class InductanceRun : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_course) {
            m_target = std::fabs(c.Input("In1"));
            m_step = std::max(1L, std::lround(std::min(kFrequency * d.Period(), 1 / kMinPeriodsPerTurn) * 65536));
            m_course.emplace(0.0, kRampStep);
            UsePhaseAFrame(d, static_cast<std::int32_t>(m_step));
        }
        // Amplitude of the current, smoothed over about a tenth of a turn of the voltage.
        m_amplitude += (std::sqrt(double(d.iq) * d.iq + double(d.id) * d.id) - m_amplitude) / 32;
        if (!m_course->Step(c, m_amplitude >= m_target)) {
            d.Publish("var_i1", m_course->Command());
            d.Publish("TINCTST", static_cast<double>(m_step));
            d.Publish("var_u2", m_course->MeanBus());
            return false;
        }
        d.vqCommand = static_cast<std::int32_t>(m_course->Command());
        return true;
    }

private:
    StartUp m_start;
    std::optional<RampSettleLog> m_course;
    double m_target = 0, m_amplitude = 0;
    long m_step = 1;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeInductanceRun() { return std::make_unique<InductanceRun>(); }

}  // namespace drivesim::programs
