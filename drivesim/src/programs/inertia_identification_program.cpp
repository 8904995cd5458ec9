// "Total_Inertia_Identification_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeTotalInertia() { return nullptr; }

}  // namespace drivesim::programs
