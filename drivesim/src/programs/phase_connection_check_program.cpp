// "Motor_Phase_Connection_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakePhaseConnection() { return nullptr; }

}  // namespace drivesim::programs
