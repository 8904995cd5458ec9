#pragma once
// The drive programs the simulated drive can run, each a small state machine on the drive's
// firmware: it reads its user variables, switches the power stage, sets the servo mode and the
// references once per current-loop period, starts the data logger when its data is worth logging,
// and publishes its results as drive and user variables when it ends.
#include <cstdint>
#include <limits>
#include <map>
#include <memory>
#include <string>

#include "drivesim/drive_core.h"

namespace drivesim {

using Variables = std::map<std::string, double>;

// What a program sees of the drive while it runs.
class ProgramContext {
public:
    ProgramContext(DriveCore& drive, Variables& user) : drive(drive), user(user) {}
    DriveCore& drive;
    Variables& user;            // the program image's user variables
    std::int64_t period = 0;    // periods since the start

    double Input(const char* name) const;
    // Periods in `ms` milliseconds of drive time (at least 1).
    std::int64_t Periods(double ms) const;
    // The logger records from now on; LogFull once it holds every point asked for (at once when
    // nothing is being logged).
    void StartLogging() { logRequested = true; }
    bool LogFull() const { return logFull; }

    bool logRequested = false;  // set by the program, read by the drive
    bool logFull = true;        // kept by the drive
    // Set by a program in a period after which it only waits, up to this period (exclusive), as
    // long as the power stage stays off, the shaft rests and nothing comes through the link: the
    // drive may let those periods pass in one go. Cleared before every period.
    std::int64_t waitsUntil = 0;
    static constexpr std::int64_t kForever = std::numeric_limits<std::int64_t>::max();
};

class DriveProgram {
public:
    virtual ~DriveProgram() = default;
    // One current-loop period, between the drive's sensing and its control. False once the
    // program has ended (the drive then switches the power stage off).
    virtual bool Period(ProgramContext& context) = 0;
};

bool IsKnownProgram(const std::string& section);
// A new run of `section`; null for a program the drive does not have.
std::unique_ptr<DriveProgram> MakeProgram(const std::string& section);

}  // namespace drivesim
