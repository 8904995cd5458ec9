#pragma once
// What a tuning test's logged response shows, beside what the tuning asked for: the step or
// profile figures of the drive's loop, and the natural frequency and damping of the
// continuous-time loop that fits it best.
#include <string>

#include "drivesim/motor_model.h"
#include "rurorade/setup.h"
#include "rurorade/test_dlg.h"

namespace zekhost {

// Prints the report of the tuning test `name` ("current", "speed") for the data `logged`.
void PrintTuningReport(const std::string& name, const CGraphDocument& logged, CMC_Setup& setup,
                       const drivesim::MotorModel& motor);
// Writes the logged data as CSV (`path`, ".csv" added when missing) and the curves as a picture
// (`plotPath`, ".svg"); false with a message on stderr when a file cannot be written.
bool WriteTuningFiles(CGraphDocument& logged, const std::string& csvPath, const std::string& plotPath);

}  // namespace zekhost
