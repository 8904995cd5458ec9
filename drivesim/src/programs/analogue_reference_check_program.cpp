// "Analogue_Reference_Test": keeps the drive enabled with its outputs at zero while the host
// watches the analogue reference input. Each read of "AD5" is a fresh conversion of the input
// by the drive's converter (10 bits in the upper bits of a 16-bit word). Runs until stopped.
#include "program_steps.h"

namespace drivesim::programs {

namespace {

class AnalogueReference : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        c.drive.servo = Servo::Voltage;
        c.drive.vdCommand = c.drive.vqCommand = 0;
        return true;
    }

private:
    StartUp m_start;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeAnalogueReference() { return std::make_unique<AnalogueReference>(); }

}  // namespace drivesim::programs
