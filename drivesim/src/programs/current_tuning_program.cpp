// "Current_Controller_Tuning_Test": the drive's own current loops (KPI/SFTKPI, KII/SFTKII,
// FILTERQ, FFL) answer a step of "In1" counts. The frame is held with its q axis on phase A, where
// the preliminary positioning left the rotor's d axis, so the stepped q current makes no torque
// and the rotor stays where it is. The logger starts a few periods before the step and the program
// ends once it is full. "RefTest" and "RIncTest" are not needed: the loop finds its own voltage.
#include <algorithm>
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kQuietMs = 5;       // at zero current before the logger starts
constexpr std::int64_t kPreStep = 5; // logged periods before the step
constexpr double kMinHoldMs = 5;     // the step is held at least this long, logger or not

class CurrentTuning : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        DriveCore& d = c.drive;
        if (m_began < 0) {
            m_began = c.period;
            d.servo = Servo::Current;
            d.encoderFrame = false;
            d.testAngle = kPhaseAFrame;
            d.angleStep = 0;
            d.idReference = d.iqReference = 0;
            m_step = static_cast<std::int32_t>(std::clamp(std::trunc(c.Input("In1")), -32767.0, 32767.0));
        }
        const std::int64_t since = c.period - m_began;
        const std::int64_t quiet = c.Periods(kQuietMs);
        if (since == quiet) c.StartLogging();
        if (since == quiet + kPreStep) d.iqReference = m_step;
        return since < quiet + kPreStep + c.Periods(kMinHoldMs) || !c.LogFull();
    }

private:
    StartUp m_start;
    std::int64_t m_began = -1;  // period the power stage was up
    std::int32_t m_step = 0;    // current counts
};

}  // namespace

std::unique_ptr<DriveProgram> MakeCurrentTuning() { return std::make_unique<CurrentTuning>(); }

}  // namespace drivesim::programs
