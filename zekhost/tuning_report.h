#pragma once
// What a tuning test's logged response shows, beside what the tuning asked for: the step or
// profile figures of the drive's loop, and the natural frequency and damping of the
// continuous-time loop that fits it best.
#include <string>

#include "drivesim/motor_model.h"
#include "response_analysis.h"
#include "rurorade/setup.h"
#include "rurorade/test_dlg.h"

namespace zekhost {

// Prints the report of the tuning test `name` ("current", "speed", "position", "angle") for the data `logged`.
void PrintTuningReport(const std::string& name, const CGraphDocument& logged, CMC_Setup& setup,
                       const drivesim::MotorModel& motor);
// Writes the logged data as CSV (`path`, ".csv" added when missing) and the curves as a picture
// (`plotPath`, .svg or .png, through the installed plot renderer); false with a message on stderr
// when a file cannot be written.
bool WriteTuningFiles(CGraphDocument& logged, const std::string& csvPath, const std::string& plotPath);

// The loop a tuning test's log shows: the passband (rad/s) and damping the tuning asked for, and the
// fit of the logged response ("current", "speed", "position"; fit.ok false for others or unusable data).
// `motor` gives the current loop its plant; the other loops do not need it.
struct TuningFit {
    double askedOmega, askedZeta;
    FitResult fit;
};
TuningFit FitTuningLog(const std::string& name, const CGraphDocument& logged, CMC_Setup& setup,
                       const drivesim::MotorModel& motor);

}  // namespace zekhost
