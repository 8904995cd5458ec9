#pragma once
// A drive and motor behind the host's drive link. Time is the host clock's: every call works out
// the state at clock.NowMs(), so a test advances a virtual clock and nothing sleeps or runs aside.
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "drivesim/drive_programs.h"
#include "drivesim/motor_model.h"
#include "rurorade/drive_link.h"
#include "rurorade/ui.h"

namespace drivesim {

class SimulatedDrive : public rurorade::DriveLink {
public:
    // Attaches itself as `setup`'s drive link (and detaches when destroyed, if still attached).
    // The hardware constants (converter range, ImaxPS, VdcMaxMeasurable, DSP_freq, PWMPER, CLPER,
    // DBT, DBTPC) are read from `setup` whenever a program starts.
    SimulatedDrive(CMC_Setup* setup, MotorModel motor, rurorade::Clock& clock);
    ~SimulatedDrive() override;
    SimulatedDrive(const SimulatedDrive&) = delete;
    SimulatedDrive& operator=(const SimulatedDrive&) = delete;

    // A fault applies to the programs started afterwards; ENABLE off and a dead link also act at once.
    void SetFault(Fault fault) { m_fault = fault; }
    Fault GetFault() const { return m_fault; }
    const MotorModel& Motor() const { return m_motor; }
    // Peak of the uniform noise on logged currents, counts (0: none).
    void SetNoise(double counts) { m_noise = counts; }
    // Command lines received, in order.
    const std::vector<std::string>& Commands() const { return m_commands; }
    // Last value written to a drive parameter, internal unit.
    std::optional<double> WrittenParameter(const std::string& name) const;

    bool WriteParameter(const CMC_Parameter& parameter) override;
    bool ReadVariable(CMC_Variable& variable) override;
    bool WriteVariable(const CMC_Variable& variable) override;
    bool SetUserVariable(const std::string& program, const std::string& name, double value) override;
    bool GetUserVariable(const std::string& program, const std::string& name, double& value) override;
    bool StartProgram(const std::string& program, const std::string& section,
                      const rurorade::LoggerRequest* logger) override;
    bool GetAxisOn(bool& on) override;
    bool UploadLog(std::vector<std::vector<double>>& points) override;
    bool ExecuteString(const std::string& commands) override;
    std::string GetLastErrorText() const override { return m_lastError; }

private:
    struct Run {
        std::string program;
        std::int64_t startMs = 0;  // clock time of the start
        ProgramPlan plan;
        bool ended = false;
    };
    struct Log {
        std::int64_t startMs = 0;  // clock time of the first point
        std::int64_t endMs = 0;    // clock time after which nothing more is recorded
        std::vector<std::vector<double>> points;
    };

    bool Answering();                      // false, with the error text, on a dead link
    bool Fail(const std::string& text);    // sets the error text, returns false
    void Update();                         // applies what has happened up to now
    bool AxisOn() const;
    std::uint32_t Mer() const;
    bool DriveValue(const std::string& name, double& value) const;
    double Noise();                        // uniform in [-m_noise, m_noise]

    CMC_Setup* m_setup;
    MotorModel m_motor;
    rurorade::Clock& m_clock;
    Fault m_fault = Fault::None;
    double m_noise = 1.0;
    std::uint64_t m_random = 0x9E3779B97F4A7C15ULL;  // fixed seed: runs repeat exactly
    std::uint32_t m_mer = 0;                         // latched error bits
    std::map<std::string, Variables> m_userVariables;  // per program
    Variables m_variables;                             // drive variables, internal units
    Variables m_parameters;
    std::optional<Run> m_run;
    std::optional<Log> m_log;
    std::vector<std::string> m_commands;
    std::string m_lastError;
};

}  // namespace drivesim
