// "Hall_Configuration_Detection_Test": drags the rotor one electrical turn and a sector forward and
// back again with a DC current vector of "In1" counts (the voltage ramped up from "RefTest" by
// "RIncTest" a period, as in the resistance run) and watches the Hall inputs and the encoder.
//
// The rotor lines up with the measured current vector, late by the friction's pull, by the same
// angle either way: a straight line through (encoder count, current angle) over both sweeps gives
// the rotor's electrical angle for every count, whatever the setup says about pole pairs and
// lines. The Hall edges are then placed by the count at which they switch, and the state in each
// sector is the one seen across its middle. Without a usable encoder the current angle itself is
// taken, friction's lag and all.
//
// Publishes "HALLCASE" (the drive's numbering, 0 when what was seen matches no configuration),
// "POSINC" (encoder counts moved), the user variable "delta_el_pos" (whole electrical degrees by
// which the Hall edges lag their ideal places, -30 to 29) and, all along, "H123" (the Hall state).
#include <algorithm>
#include <array>
#include <cmath>
#include <vector>

#include "drivesim/hall_table.h"
#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kSettleMs = 200;
constexpr std::int32_t kSweepStep = 4;              // 65536 a turn: 0.82 s a turn at 50 us
constexpr std::int64_t kSweep = 65536 + 65536 / 6;  // one electrical turn and a sector
constexpr double kUnitsPerDegree = 65536.0 / 360.0;
// The line is fitted where both sweeps run steadily, away from the turns.
constexpr double kFitFrom = 60, kFitTo = 360;       // electrical degrees of the field
constexpr double kUsableFitRms = 30;                // degrees
// Only the middle of a sector votes for its state; nearly all of its votes must agree.
constexpr double kSectorMargin = 10;                // degrees from either edge
constexpr double kAgreement = 0.9;

struct Sample {
    double count;    // encoder counts from the program's start
    double current;  // electrical angle of the measured current vector, degrees, unwrapped
    double field;    // electrical angle of the field, degrees, unwrapped
    int state;
};

class HallConfiguration : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        DriveCore& d = c.drive;
        if (c.period == 0) {
            // A run that ends early must not leave an earlier run's answer behind.
            d.Publish("HALLCASE", 0);
            d.Publish("POSINC", 0);
            c.user["delta_el_pos"] = 0;
            m_startCount = d.apos;
            m_hall = &c.user["H123"];
        }
        const int state = d.HallInputs();
        *m_hall = state;
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        if (!m_begun) {
            m_begun = true;
            m_target = std::fabs(c.Input("In1"));
            m_sign = c.Input("In1") < 0 ? -1 : 1;
            m_command = std::min(32767.0, std::fabs(c.Input("RefTest")));
            m_increment = std::max(1.0, std::fabs(c.Input("RIncTest")));
            UsePhaseAFrame(d, 0);
        }
        m_mean.Add(m_sign * d.iq);
        m_alpha.Add(m_sign * d.ia);
        m_beta.Add(m_sign * (d.ia + 2.0 * d.ib) / std::sqrt(3.0));
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
            if (c.period >= m_until) m_phase = Phase::Forward;
            break;
        case Phase::Forward:
        case Phase::Backward:
            Record(d, state);
            if (m_phase == Phase::Forward && m_field >= kSweep) m_phase = Phase::Backward;
            else if (m_phase == Phase::Backward && m_field <= 0) return Finish(c);
            break;
        }
        const std::int32_t step = m_phase == Phase::Forward ? kSweepStep : m_phase == Phase::Backward ? -kSweepStep : 0;
        d.angleStep = step;
        m_field += step;
        m_lastStep = step;
        d.vqCommand = static_cast<std::int32_t>(m_sign * std::round(m_command));
        return true;
    }

private:
    enum class Phase { Ramp, Settle, Forward, Backward };

    void Record(const DriveCore& d, int state)
    {
        // The field held during the last period sat half a step back from where it is now.
        const double field = (m_field - m_lastStep / 2.0) / kUnitsPerDegree;
        const double current = std::atan2(m_beta.Value(), m_alpha.Value()) * 180 / kPi;
        if (state == 0 || state == 7) m_broken = true;
        if (!m_samples.empty() && state != m_samples.back().state) m_edges.push_back(m_samples.size());
        m_samples.push_back({static_cast<double>(d.apos - m_startCount), field + std::remainder(current - field, 360.0),
                             field, state});
    }

    bool Finish(ProgramContext& c)
    {
        DriveCore& d = c.drive;
        d.angleStep = 0;
        int shift = 0;
        const int hallCase = Evaluate(shift);
        d.Publish("HALLCASE", hallCase);
        c.user["delta_el_pos"] = hallCase ? shift : 0;
        d.Publish("POSINC", static_cast<double>(d.apos - m_startCount));
        return false;
    }

    // Electrical angle of the rotor at each sample, degrees.
    std::vector<double> RotorAngles() const
    {
        double n = 0, sx = 0, sy = 0, sxx = 0, sxy = 0, syy = 0;
        for (const Sample& s : m_samples) {
            if (s.field < kFitFrom || s.field > kFitTo) continue;
            n += 1;
            sx += s.count;
            sy += s.current;
            sxx += s.count * s.count;
            sxy += s.count * s.current;
            syy += s.current * s.current;
        }
        std::vector<double> angles;
        angles.reserve(m_samples.size());
        const double vx = n * sxx - sx * sx;
        if (n > 2 && vx > 0) {
            const double slope = (n * sxy - sx * sy) / vx;
            const double intercept = (sy - slope * sx) / n;
            const double residual = (syy - intercept * sy - slope * sxy) / n;  // mean squared
            if (residual >= 0 && residual < kUsableFitRms * kUsableFitRms) {
                for (const Sample& s : m_samples) angles.push_back(slope * s.count + intercept);
                return angles;
            }
        }
        for (const Sample& s : m_samples) angles.push_back(s.current);
        return angles;
    }

    // The configuration whose states fit what was seen, and the edges' lag in whole degrees.
    int Evaluate(int& shift) const
    {
        if (m_broken || m_edges.size() < 6) return 0;
        const std::vector<double> angles = RotorAngles();
        // The edges repeat every 60 degrees: their mean place within a sector, on a circle.
        double ex = 0, ey = 0;
        for (std::size_t k : m_edges) {
            // Between the samples before and after the switch.
            const double a = 6 * (angles[k - 1] + angles[k]) / 2 * kPi / 180;
            ex += std::cos(a);
            ey += std::sin(a);
        }
        shift = static_cast<int>(std::lround(std::atan2(ey, ex) * 180 / kPi / 6));
        if (shift >= 30) shift -= 60;  // one place for the boundary

        std::array<std::array<int, 8>, 6> votes{};
        for (std::size_t k = 0; k < m_samples.size(); ++k) {
            const double u = angles[k] - shift;
            const double within = u - 60 * std::floor(u / 60);
            if (within < kSectorMargin || within > 60 - kSectorMargin) continue;
            const long sector = (static_cast<long>(std::floor(u / 60)) % 6 + 6) % 6;
            ++votes[static_cast<std::size_t>(sector)][static_cast<std::size_t>(m_samples[k].state)];
        }
        std::array<int, 6> states{};
        for (std::size_t sector = 0; sector < 6; ++sector) {
            const auto& v = votes[sector];
            const auto best = std::max_element(v.begin(), v.end());
            int total = 0;
            for (int n : v) total += n;
            if (*best == 0 || *best < kAgreement * total) return 0;
            states[sector] = static_cast<int>(best - v.begin());
        }
        for (int hallCase = kFirstHallCase; hallCase <= kLastHallCase; ++hallCase) {
            if (std::equal(states.begin(), states.end(), kHallTable[static_cast<std::size_t>(hallCase - kFirstHallCase)].begin()))
                return hallCase;
        }
        return 0;
    }

    StartUp m_start;
    bool m_begun = false;
    Phase m_phase = Phase::Ramp;
    double m_target = 0, m_command = 0, m_increment = 1;
    int m_sign = 1;
    std::int64_t m_until = 0;
    MovingMean m_mean{3};
    MovingMean m_alpha{3}, m_beta{3};  // current vector in the stator frame, counts
    std::int64_t m_field = 0;          // field angle from phase A, 65536 a turn, unwrapped
    std::int32_t m_lastStep = 0;
    bool m_broken = false;             // 0 or 7 seen: a sensor without supply, or stuck
    std::vector<Sample> m_samples;
    std::vector<std::size_t> m_edges;  // samples at which the state changed
    std::int64_t m_startCount = 0;
    double* m_hall = nullptr;  // "H123"
};

}  // namespace

std::unique_ptr<DriveProgram> MakeHallConfiguration() { return std::make_unique<HallConfiguration>(); }

}  // namespace drivesim::programs
