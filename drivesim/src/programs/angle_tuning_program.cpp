// "Angle_Controller_Tuning_Test": the motionless start. The rotor's electrical angle is unknown;
// the drive takes it for 0 and drives a q current that ramps by "ReferenceIncrement" counts a
// current-loop period up to "In1" counts. Whatever torque that current makes turns the rotor, and
// a PI on the rotor's speed, whose integral is the movement since the start, turns the estimated
// frame against the movement (KPTHT/SFTKPTHT, KITHT/SFTKITHT). The rotor feels no torque once the
// frame's q axis, where the current flows, lies on the rotor's d axis: the estimate then settles a
// quarter turn (-16384) behind the rotor's electrical angle, if the rotor has stayed put.
// After "TimeLimit" speed-loop samples (the unit the host gives the stabilise time in) at the full
// current the run is judged and the current ramps down again:
//   -1 the power stage tripped;
//   -3 the rotor never moved: the current was too small to find the angle;
//   -2 over the last half of the stabilise time the estimate did not stay within +-1820 of its final
//      value, or that value is more than 1820 from a quarter turn behind the rotor: "theta_1" is the
//      angle the estimate should have settled at (the rotor's electrical angle at the start - 16384);
//    1 otherwise.
// Gains: Kp in electrical turns per encoder count per current-loop period of speed, Ki in electrical
// turns per encoder count of movement (value = mantissa * 2^shift / 32768).
#include <algorithm>
#include <cmath>
#include <vector>

#include "program_steps.h"
#include "rurorade/numeric.h"

namespace drivesim::programs {

namespace {

constexpr std::int32_t kTolerance = 1820;   // 10 electrical degrees
constexpr std::int32_t kQuarterTurn = 16384;
constexpr std::int64_t kMinMove = 2;        // encoder counts: the rotor has felt the current
constexpr double kMaxTimeLimit = 1e7;       // speed-loop samples

enum Result : int { kGood = 1, kTripped = -1, kNotSettled = -2, kNoMotion = -3 };

// Difference of two 16-bit angles, -32768..32767.
std::int32_t AngleDiff(std::int32_t a, std::int32_t b)
{
    return static_cast<std::int16_t>(static_cast<std::uint16_t>(a - b));
}

class AngleTuning : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) Begin(c);
        if (d.tripped || !d.AxisOn()) return Finish(c, kTripped);
        if (d.SlowSample()) Estimate(d);
        switch (m_phase) {
        case Phase::Ramp:
            m_current = std::min(m_target, m_current + m_increment);
            if (m_current >= m_target) {
                m_phase = Phase::Stabilise;
                m_until = c.period + m_stabilise;
            }
            break;
        case Phase::Stabilise:
            if (d.SlowSample() && c.period >= m_until - m_stabilise / 2) m_settling.push_back(d.testAngle);
            if (c.period >= m_until) {
                m_result = Judge();
                m_phase = Phase::RampDown;
            }
            break;
        case Phase::RampDown:
            m_current = std::max(0.0, m_current - m_increment);
            if (m_current <= 0) return Finish(c, m_result);
            break;
        }
        d.iqReference = TruncToInt32(std::round(m_current));
        return true;
    }

private:
    enum class Phase { Ramp, Stabilise, RampDown };

    void Begin(ProgramContext& c)
    {
        DriveCore& d = c.drive;
        m_begun = true;
        m_target = std::clamp(std::trunc(c.Input("In1")), 0.0, 32767.0);
        m_increment = std::fabs(c.Input("ReferenceIncrement"));
        if (!(m_increment > 0)) m_increment = std::max(1.0, m_target);
        const double samples = std::clamp(std::trunc(c.Input("TimeLimit")), 1.0, kMaxTimeLimit);
        m_stabilise = TruncToInt32(samples) * std::int64_t{d.Hardware().SlowRatio()};
        // The bench knows where the rotor is; the drive does not.
        const double turns = d.GetPlant().ElectricalAngle() / (2 * kPi);
        const std::int32_t rotor = TruncToInt32(TG_FRound((turns - std::floor(turns)) * 65536));
        m_expected = AngleDiff(rotor, kQuarterTurn);
        c.user["theta_1"] = 0;
        m_origin = d.apos;
        d.servo = Servo::Current;
        d.encoderFrame = false;
        d.testAngle = 0;
        d.angleStep = 0;
        d.idReference = d.iqReference = 0;
        d.ResetLoops();
        c.StartLogging();
    }

    // One speed-loop sample of the angle controller, on a 32-bit angle (2^32 an electrical turn)
    // that wraps like the drive's: unsigned arithmetic, modulo 2^64, of which 32 bits count.
    void Estimate(DriveCore& d)
    {
        const LoopRegisters& r = d.Registers();
        const std::int64_t moved = d.apos - m_origin;
        m_maxMove = std::max(m_maxMove, moved < 0 ? -moved : moved);
        const std::int64_t speed = fx::Clamp(d.speed, 4096);  // counts per sample; 2^59 at most below
        const std::int64_t proportional =
            speed * r.kptht.mantissa * (std::int64_t{1} << (r.kptht.shift + 17)) / d.Hardware().SlowRatio();
        const std::uint64_t integral = static_cast<std::uint64_t>(moved) * static_cast<std::uint64_t>(r.kitht.mantissa)
                                       << (r.kitht.shift + 17);
        const std::uint64_t angle = 0 - (static_cast<std::uint64_t>(proportional) + integral);
        d.testAngle = static_cast<std::uint16_t>(angle >> 16);
    }

    Result Judge() const
    {
        if (m_maxMove < kMinMove) return kNoMotion;
        if (m_settling.empty()) return kNotSettled;
        const std::int32_t last = m_settling.back();
        for (std::uint16_t a : m_settling)
            if (std::abs(AngleDiff(a, last)) > kTolerance) return kNotSettled;
        return std::abs(AngleDiff(last, m_expected)) > kTolerance ? kNotSettled : kGood;
    }

    bool Finish(ProgramContext& c, Result result)
    {
        c.drive.iqReference = 0;
        c.user["test_flag"] = result;
        if (result == kNotSettled) c.user["theta_1"] = m_expected;
        return false;
    }

    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Ramp;
    double m_target = 0, m_current = 0, m_increment = 0;  // current counts (per period)
    std::int64_t m_stabilise = 0;  // current-loop periods
    std::int64_t m_until = 0;
    std::int64_t m_origin = 0;     // encoder counts at the start
    std::int64_t m_maxMove = 0;    // counts
    std::int32_t m_expected = 0;   // 16-bit angle, signed
    std::vector<std::uint16_t> m_settling;
    Result m_result = kGood;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeAngleTuning() { return std::make_unique<AngleTuning>(); }

}  // namespace drivesim::programs
