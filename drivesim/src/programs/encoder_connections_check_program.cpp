// "Encoder_Connection_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeEncoderConnection() { return nullptr; }

}  // namespace drivesim::programs
