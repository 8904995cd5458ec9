// "Hall_Configuration_Detection_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeHallConfiguration() { return nullptr; }

}  // namespace drivesim::programs
