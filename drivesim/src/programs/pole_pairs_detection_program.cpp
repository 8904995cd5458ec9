// "Motor_Pole_Pairs_Detection_Test": holds a field of the test current on the rotor, which the
// preliminary run has aligned with phase A, and turns it by one electrical revolution each time
// the host writes 0 into "var_i2"; the rotor follows. "STARTED" is 1 once the field holds.
// Between revolutions the field rests at the test angle -16383 (q axis on phase A), so "THTST" is
// back there when a revolution ends. "poles_pairs" counts the revolutions made. When the host
// writes 1 into "var_i2", the program ends after the revolution in hand and leaves the count in
// "var_i2".
#include <algorithm>
#include <cmath>
#include <optional>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr std::uint16_t kRestAngle = static_cast<std::uint16_t>(-16383);
constexpr std::int32_t kTurn = 65536;      // test angle units per electrical revolution
constexpr double kRevolutionMs = 800;      // slow enough for any rotor to follow
constexpr double kNoRequest = -1;          // "var_i2" once a request has been taken

class PolePairsDetection : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_request) m_request = &c.drive.Published("var_i2");
        if (!m_start.Done(c, ended)) {
            // A request left over from an earlier run must not turn the motor.
            *m_request = kNoRequest;
            return !ended;
        }
        DriveCore& d = c.drive;
        if (!m_ramp) {
            m_ramp.emplace(c.Input("RefTest"), c.Input("RIncTest"));
            UsePhaseAFrame(d, 0);
            d.testAngle = kRestAngle;
            const double periods = static_cast<double>(c.Periods(kRevolutionMs));
            m_step = std::max<std::int32_t>(1, static_cast<std::int32_t>(std::ceil(kTurn / periods)));
            c.user["poles_pairs"] = 0;
            m_started = &c.user["STARTED"];
        }
        const bool holding = m_ramp->Step(d.iq);
        d.vqCommand = m_ramp->Command();
        // Moves are asked for once the program has started, so it starts when the field holds.
        *m_started = holding ? 1 : 0;
        if (!holding) return true;
        if (m_left > 0) {
            d.angleStep = std::min(m_step, m_left);
            m_left -= d.angleStep;
            if (m_left == 0) c.user["poles_pairs"] = ++m_count;  // the angle is at rest again after this period
            return true;
        }
        d.angleStep = 0;
        const double request = *m_request;
        if (request == 0) {
            *m_request = kNoRequest;
            m_left = kTurn;
        } else if (request == 1) {
            *m_request = m_count;
            return false;
        }
        return true;
    }

private:
    StartUp m_start;
    std::optional<TestCurrentRamp> m_ramp;
    std::int32_t m_step = 1;  // test angle units per period while turning
    std::int32_t m_left = 0;  // of the revolution in hand
    int m_count = 0;
    double* m_request = nullptr;  // "var_i2"
    double* m_started = nullptr;  // "STARTED"
};

}  // namespace

std::unique_ptr<DriveProgram> MakePolePairs() { return std::make_unique<PolePairsDetection>(); }

}  // namespace drivesim::programs
