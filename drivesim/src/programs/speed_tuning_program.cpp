// "Speed_Controller_Tuning_Test": the drive's speed loop (KPS/SFTKPS, KIS/SFTKIS, IMAXS, KFFS,
// KFFA, as loaded or written while it runs) in the encoder frame follows the reference generator
// loaded with the host's six segments. "IlimPS_Test" (current counts) limits the loop's output for
// the run. A single run ends a little after the profile has played (at once when the logger is
// full by then); a cyclic one ("MultiC" 1) plays until the host stops the program. The encoder
// frame was aligned before (preliminary positioning or the setup's commutation): "RefTest" and
// "RIncTest" are not needed.
#include <algorithm>
#include <array>
#include <cmath>

#include "program_steps.h"
#include "rurorade/numeric.h"

namespace drivesim::programs {

namespace {

constexpr double kSettleMs = 100;          // after the profile, for the speed to come to rest
constexpr double kMaxSlope = 2147483647;   // 16.16 per sample: what the host lets through

class SpeedTuning : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) {
            m_begun = true;
            const double limit = std::trunc(c.Input("IlimPS_Test"));
            if (limit > 0) d.Registers().sats = 32767 - TruncToInt32(std::min(limit, 32767.0));
            d.servo = Servo::Speed;
            d.encoderFrame = true;
            d.idReference = d.iqReference = 0;
            d.speedReference = 0;
            d.ResetLoops();
            m_cyclic = LoadUserProfile(c, 0);
            d.profileTarget = DriveCore::ProfileTarget::Speed;
            c.StartLogging();
        }
        if (m_cyclic || !d.profile.Done()) return true;
        if (m_doneAt < 0) m_doneAt = c.period;
        return !c.LogFull() && c.period - m_doneAt < c.Periods(kSettleMs);
    }

private:
    StartUp m_start;
    bool m_begun = false;
    bool m_cyclic = false;
    std::int64_t m_doneAt = -1;  // period the profile had played
};

}  // namespace

bool LoadUserProfile(ProgramContext& c, std::int64_t start)
{
    static constexpr const char* kCounts[] = {"a0", "a1", "a2", "a3", "a4", "a5"};
    static constexpr const char* kSlopes[] = {"b0", "b1", "b2", "b3", "b4", "b5"};
    std::array<std::int32_t, 6> counts{};
    std::array<std::int64_t, 6> slopes{};
    for (std::size_t i = 0; i < 6; ++i) {
        counts[i] = std::max(0, TruncToInt32(c.Input(kCounts[i])));
        // Whole 16.16 units; clamped first so that the conversion is exact.
        const double slope = std::clamp(TG_FRound(c.Input(kSlopes[i]) * 65536), -kMaxSlope, kMaxSlope);
        slopes[i] = TruncToInt32(slope);
    }
    const bool cyclic = c.Input("MultiC") != 0;
    c.drive.profile.Load(counts, slopes, cyclic);
    c.drive.profile.Reset(start);
    return cyclic;
}

std::unique_ptr<DriveProgram> MakeSpeedTuning() { return std::make_unique<SpeedTuning>(); }

}  // namespace drivesim::programs
