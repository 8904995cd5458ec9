// "Motor_Pole_Pairs_Detection_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakePolePairs() { return nullptr; }

}  // namespace drivesim::programs
