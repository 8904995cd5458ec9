#pragma once
// A drive and motor behind the host's drive link, with the bench around them. Time is the host
// clock's: every call first steps the drive, one current-loop period at a time, up to
// clock.NowMs(), so a test advances a virtual clock and nothing sleeps or runs aside. Periods in
// which nothing can change (power stage off, shaft at rest, no program) are skipped in one go.
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <vector>

#include "drivesim/drive_core.h"
#include "drivesim/drive_program.h"
#include "drivesim/motor_model.h"
#include "rurorade/drive_link.h"
#include "rurorade/ui.h"

namespace drivesim {

class SimulatedDrive : public rurorade::DriveLink, public rurorade::Bench {
public:
    // Attaches itself as `setup`'s drive link (and detaches when destroyed, if still attached).
    // The hardware constants (converter range, ImaxPS, VdcMaxMeasurable, DSP_freq, PWMPER, CLPER,
    // SLPER, DBT, DBTPC, AnalogueInputsRange) and the loop registers are read from `setup`
    // whenever a program starts; registers written through the link act at once.
    SimulatedDrive(CMC_Setup* setup, MotorModel motor, rurorade::Clock& clock, std::uint64_t seed = 1);
    ~SimulatedDrive() override;
    SimulatedDrive(const SimulatedDrive&) = delete;
    SimulatedDrive& operator=(const SimulatedDrive&) = delete;

    // A fault acts from now on (a program already running meets it too).
    void SetFault(Fault fault);
    Fault GetFault() const { return m_fault; }
    const MotorModel& Motor() const { return m_motor; }
    // Converter noise, standard deviation in converter steps (0: none); the motor's by default.
    void SetNoise(double sigmaSteps);
    // Seed of the noise; the same seed repeats a run exactly.
    void SetSeed(std::uint64_t seed);
    // Command lines received, in order.
    const std::vector<std::string>& Commands() const { return m_commands; }
    // Last value written to a drive parameter, internal unit.
    std::optional<double> WrittenParameter(const std::string& name) const;
    // The drive itself, stepped up to the clock's present time.
    DriveCore& Core();
    // Steps the drive up to the clock's present time. A host that idles on a wall clock calls it
    // now and then, so that its next call does not wait for all the time since to be stepped.
    void CatchUp() { Update(); }
    // Drive seconds stepped so far, without stepping.
    double SteppedSeconds() const { return m_time; }

    bool WriteParameter(const CMC_Parameter& parameter) override;
    bool ReadVariable(CMC_Variable& variable) override;
    bool WriteVariable(const CMC_Variable& variable) override;
    bool SetUserVariable(const std::string& program, const std::string& name, double value) override;
    bool GetUserVariable(const std::string& program, const std::string& name, double& value) override;
    bool StartProgram(const std::string& program, const std::string& section,
                      const rurorade::LoggerRequest* logger) override;
    bool StopProgram() override;
    bool GetAxisOn(bool& on) override;
    bool UploadLog(std::vector<std::vector<double>>& points) override;
    bool ExecuteString(const std::string& commands) override;
    std::string GetLastErrorText() const override { return m_lastError; }
    rurorade::Bench* GetBench() override { return this; }
    bool StartScope(const rurorade::ScopeRequest& request) override;
    bool StopScope() override;
    bool PollUnsolicited(std::vector<std::uint16_t>& message) override;
    bool ResetDrive() override;
    // Unsolicited messages the full queue pushed out, oldest first, since the drive was attached.
    std::uint64_t DroppedMessages() const { return m_droppedMessages; }

    void TurnShaft(double degrees, std::int64_t ms) override;
    void ReleaseShaft() override;
    void SetAnalogueInput(double volts) override;
    double ShaftDegrees() override;

private:
    struct Run {
        std::string program;
        std::unique_ptr<DriveProgram> code;
        std::unique_ptr<ProgramContext> context;
        bool powered = false;  // the power stage has been on
    };
    struct Log {
        std::vector<DriveCore::Probe> probes;
        std::size_t points = 0;
        int sampling = 1;
        bool slow = false;             // log type 1: the speed loop's samples; else every period
        bool slowPeriod = false;       // the period being stepped runs the slow loops
        std::int64_t slowSamples = 0;  // slow samples since the log started
        bool started = false;
        bool closed = false;
        std::int64_t firstPeriod = 0;
        std::vector<std::vector<double>> data;
    };

    struct Scope {
        std::vector<DriveCore::Probe> probes;
        int sampling = 1;
        int perFrame = 1;
        std::int64_t periods = 0;          // program periods seen since armed
        std::uint32_t frames = 0;          // frames sent since armed
        std::vector<std::int32_t> pending; // samples not sent yet
    };

    bool Answering();                      // false, with the error text, on a dead link or a failed model
    bool Fail(const std::string& text);    // sets the error text, returns false
    void Update();                         // steps the drive up to now
    std::int64_t WaitingPeriods() const;   // periods that may pass in one go after the last one
    void StepPeriod();
    void EndRun(bool finished);
    void Sample();
    void SampleScope();                    // after Sample: the scope's share of the period
    void SendScopeFrame();

    CMC_Setup* m_setup;
    MotorModel m_motor;
    rurorade::Clock& m_clock;
    std::int64_t m_originMs;
    double m_time = 0;                     // s of drive time stepped since the origin
    DriveCore m_core;
    Fault m_fault = Fault::None;
    std::map<std::string, Variables> m_userVariables;  // per program image
    std::map<std::string, double> m_parameters;        // written through the link
    std::optional<Run> m_run;
    std::optional<Log> m_log;
    std::vector<std::string> m_commands;
    std::string m_failure;                 // the model could not go on
    std::string m_lastError;
    std::optional<Scope> m_scope;
    std::deque<std::vector<std::uint16_t>> m_unsolicited;
    std::uint64_t m_droppedMessages = 0;
    std::unordered_map<std::string, DriveCore::Probe> m_probes;  // variables the host has read
};

}  // namespace drivesim
