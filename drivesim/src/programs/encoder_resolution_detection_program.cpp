// "Encoder_Resolution_And_Direction_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeEncoderResolution() { return nullptr; }

}  // namespace drivesim::programs
