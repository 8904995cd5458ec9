// "Hall_Signals_Connection_Test".
#include "program_steps.h"

namespace drivesim::programs {

std::unique_ptr<DriveProgram> MakeHallSignals() { return nullptr; }

}  // namespace drivesim::programs
