// "Position_Controller_Tuning_Test_with_SpdCtrl" and "..._without_SpdCtrl": the drive's position
// loop (KPP, KIP, KDP with their shifts, KDFP, IMAXP, KFFS, KFFA, as loaded or written while it
// runs) in the encoder frame follows the reference generator loaded with the host's six segments
// (position counts per speed-loop sample), starting where the shaft stands. With the speed loop
// the position loop's output is a speed reference limited to "LimitSpeed_Test" (speed units);
// without, it is the current reference, limited to "IlimPS_Test" (current counts). Runs end as
// those of the speed tuning program do.
#include <algorithm>
#include <cmath>

#include "program_steps.h"
#include "rurorade/numeric.h"

namespace drivesim::programs {

namespace {

constexpr double kSettleMs = 200;  // after the profile, for the position to settle

class PositionTuning : public DriveProgram {
public:
    explicit PositionTuning(bool throughSpeedLoop) : m_throughSpeedLoop(throughSpeedLoop) {}

    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (!m_begun) {
            m_begun = true;
            LoopRegisters& r = d.Registers();
            r.positionOutputsSpeed = m_throughSpeedLoop ? 1 : 0;
            const double limit = std::trunc(c.Input(m_throughSpeedLoop ? "LimitSpeed_Test" : "IlimPS_Test"));
            if (limit > 0) r.satp = 32767 - TruncToInt32(std::min(limit, 32767.0));
            d.servo = Servo::Position;
            d.encoderFrame = true;
            d.idReference = d.iqReference = 0;
            d.speedReference = 0;
            d.positionReference = d.apos;
            d.ResetLoops();
            m_cyclic = LoadUserProfile(c, d.apos);
            d.profileTarget = DriveCore::ProfileTarget::Position;
            c.StartLogging();
        }
        if (m_cyclic || !d.profile.Done()) return true;
        if (m_doneAt < 0) m_doneAt = c.period;
        return !c.LogFull() && c.period - m_doneAt < c.Periods(kSettleMs);
    }

private:
    bool m_throughSpeedLoop;
    StartUp m_start;
    bool m_begun = false;
    bool m_cyclic = false;
    std::int64_t m_doneAt = -1;  // period the profile had played
};

}  // namespace

std::unique_ptr<DriveProgram> MakePositionTuningWithSpeedLoop() { return std::make_unique<PositionTuning>(true); }
std::unique_ptr<DriveProgram> MakePositionTuningWithoutSpeedLoop() { return std::make_unique<PositionTuning>(false); }

}  // namespace drivesim::programs
