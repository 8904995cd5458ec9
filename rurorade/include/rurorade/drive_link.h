#pragma once
// The connection to a drive: parameters and variables, drive programs with their user
// variables, the axis state, the data logger and command lines. Implemented by the simulated
// drive (drivesim) and, later, a serial link. Every call answers at once (no blocking): a
// simulated drive works out its state at the host clock's present time.
#include <cstdint>
#include <string>
#include <vector>

class CMC_Parameter;
class CMC_Variable;

namespace rurorade {

// What a logger asks the drive to record while a program runs.
struct LoggerRequest {
    std::vector<std::string> variables;  // drive variable names, in order ("IQ", "ID" ...)
    int points = 0;                      // number of points to record
    int logType = 0;
    int sampling = 1;                    // record every `sampling`-th control period
};

// What a scope asks the drive to stream while a program runs: every `sampling`-th current-loop
// period one sample of the variables, sent `pointsPerFrame` samples at a time as unsolicited scope
// frames (layout in rurorade/drive_comm.h).
struct ScopeRequest {
    std::vector<std::string> variables;  // drive variable names, in channel order
    int sampling = 1;                    // current-loop periods per sample
    int pointsPerFrame = 1;              // samples per frame
};

// The bench around a simulated drive: what a person's hand can do to the motor and the inputs.
class Bench {
public:
    virtual ~Bench() = default;
    // Turns the shaft by `degrees` (mechanical, positive in the motor's positive direction) at a
    // steady speed over `ms` of drive time, against whatever torque the motor makes; the hand then
    // holds the shaft where it ended until ReleaseShaft.
    virtual void TurnShaft(double degrees, std::int64_t ms) = 0;
    // Takes the hand off the shaft.
    virtual void ReleaseShaft() = 0;
    // Sets the voltage at the analogue reference input.
    virtual void SetAnalogueInput(double volts) = 0;
    // Mechanical shaft angle in degrees since the drive was attached.
    virtual double ShaftDegrees() = 0;
};

class DriveLink {
public:
    virtual ~DriveLink() = default;

    // Parameters and variables. Values cross the link in the drive's internal units:
    // ReadVariable sets the variable with SetValueInInternalUnit.
    virtual bool WriteParameter(const CMC_Parameter& parameter) = 0;
    virtual bool ReadVariable(CMC_Variable& variable) = 0;
    virtual bool WriteVariable(const CMC_Variable& variable) = 0;

    // Drive programs, named by their program image and section ("VDC_Detection_Test" ...).
    // User variables are written before a start and read while or after it runs.
    virtual bool SetUserVariable(const std::string& program, const std::string& name, double value) = 0;
    virtual bool GetUserVariable(const std::string& program, const std::string& name, double& value) = 0;
    // Starts a section; with a logger request the drive records those variables during the run.
    virtual bool StartProgram(const std::string& program, const std::string& section, const LoggerRequest* logger) = 0;
    // Whether the power stage is on; false when the drive cannot be asked.
    virtual bool GetAxisOn(bool& on) = 0;
    // The points recorded by the last logged run: each point is {time in s, variable 1, variable 2 ...},
    // values in internal units. False when nothing can be uploaded.
    virtual bool UploadLog(std::vector<std::vector<double>>& points) = 0;
    // A line of drive commands ("!CAP;ENCAPI1;").
    virtual bool ExecuteString(const std::string& commands) = 0;
    // Halts the running program: the power stage goes off and the program's results are not written.
    virtual bool StopProgram() = 0;
    // Text of the last communication error.
    virtual std::string GetLastErrorText() const = 0;
    // The scope channel: armed until StopScope, it streams frames while programs run. A link
    // without one refuses.
    virtual bool StartScope(const ScopeRequest& /*request*/) { return false; }
    virtual bool StopScope() { return false; }
    // Takes the oldest message the drive sent unasked (word 0 payload length in words, word 1
    // sender, word 2 kind, then the payload); false when none is pending.
    virtual bool PollUnsolicited(std::vector<std::uint16_t>& /*message*/) { return false; }
    // Resets the drive: any program stops, the power stage goes off and MER is cleared.
    virtual bool ResetDrive() { return false; }
    // The bench of a simulated drive; null for a real one.
    virtual Bench* GetBench() { return nullptr; }
};

}  // namespace rurorade
