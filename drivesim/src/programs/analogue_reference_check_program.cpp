// "Analogue_Reference_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeAnalogueReference() { return nullptr; }

}  // namespace drivesim::programs
