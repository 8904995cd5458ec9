#include "drivesim/simulated_drive.h"

#include <algorithm>
#include <cmath>

#include "rurorade/drive_comm.h"
#include "rurorade/numeric.h"
#include "rurorade/setup.h"

namespace drivesim {

namespace {

constexpr const char* kNoAnswer = "The drive does not answer.";
constexpr int kMaxLogPoints = 100000;  // the drive's log buffer
constexpr double kTimeTolerance = 1e-9;  // s
constexpr std::size_t kMaxUnsolicited = 256;  // messages the drive's send queue holds
constexpr int kMaxFrameWords = 1024;          // payload words of one scope frame at most

}  // namespace

SimulatedDrive::SimulatedDrive(CMC_Setup* setup, MotorModel motor, rurorade::Clock& clock, std::uint64_t seed)
    : m_setup(setup), m_motor(motor), m_clock(clock), m_originMs(clock.NowMs()), m_core(motor, seed)
{
    // What the programs publish reads 0 until one has run.
    for (const char* name : {"var_u2", "var_i1", "var_i2", "var_lf_long", "POSINC", "REFTST_V", "RINCTST_V", "TINCTST"})
        m_core.Publish(name, 0.0);
    DriveHardware hw;
    std::string error;
    if (ReadHardware(m_setup, hw, error)) m_core.Configure(hw);  // else the defaults, until a program starts
    m_core.Registers().Load(m_setup);
    if (m_setup) m_setup->SetDriveLink(this);
}

SimulatedDrive::~SimulatedDrive()
{
    if (m_setup && m_setup->GetDriveLink() == this) m_setup->SetDriveLink(nullptr);
}

void SimulatedDrive::SetFault(Fault fault)
{
    Update();
    m_fault = fault;
    m_core.SetFault(fault);
}

void SimulatedDrive::SetNoise(double sigmaSteps) { m_core.GetSensors().SetNoise(sigmaSteps > 0 ? sigmaSteps : 0.0); }

void SimulatedDrive::SetSeed(std::uint64_t seed) { m_core.GetSensors().Seed(seed); }

DriveCore& SimulatedDrive::Core()
{
    Update();
    return m_core;
}

std::optional<double> SimulatedDrive::WrittenParameter(const std::string& name) const
{
    const auto it = m_parameters.find(name);
    if (it == m_parameters.end()) return std::nullopt;
    return it->second;
}

bool SimulatedDrive::Fail(const std::string& text)
{
    m_lastError = text;
    return false;
}

bool SimulatedDrive::Answering()
{
    if (m_fault == Fault::DeadLink) return Fail(kNoAnswer);
    Update();
    if (!m_failure.empty()) return Fail(m_failure);
    return true;
}

void SimulatedDrive::Update()
{
    const double target = (m_clock.NowMs() - m_originMs) * 1e-3;
    const double ts = m_core.Period();
    m_core.TrackShaft();
    bool stepped = false;  // in this call: nothing from the link came after the last period
    auto left = [&] { return static_cast<std::int64_t>(std::floor((target - m_time) / ts + kTimeTolerance)); };
    while (m_time + ts <= target + kTimeTolerance) {
        if (!m_run && !m_core.AxisOn() && m_core.GetPlant().AtRest()) {
            // Nothing can change: let the time pass in one go.
            const std::int64_t n = left();
            m_core.Idle(n);
            m_time += n * ts;
            break;
        }
        if (const std::int64_t waiting = stepped ? WaitingPeriods() : 0; waiting > 0 && left() > 0) {
            // The program only waits and nothing moves: the same periods, in one go.
            const std::int64_t n = std::min(waiting, left());
            m_core.Rest(n);
            m_run->context->period += n;
            for (std::int64_t k = 0; k < n; ++k) m_time += ts;  // the same sum as period by period
            continue;
        }
        StepPeriod();
        m_time += ts;
        stepped = true;
    }
}

std::int64_t SimulatedDrive::WaitingPeriods() const
{
    if (!m_run || m_core.AxisOn() || !m_core.GetPlant().AtRest() || m_scope) return 0;
    if (m_log && m_log->started && !m_log->closed) return 0;
    const ProgramContext& c = *m_run->context;
    return c.waitsUntil > c.period ? c.waitsUntil - c.period : 0;
}

void SimulatedDrive::StepPeriod()
{
    m_core.Sense();
    if (m_run) {
        ProgramContext& c = *m_run->context;
        c.logFull = !m_log || m_log->closed || m_log->data.size() >= m_log->points;
        c.waitsUntil = 0;
        const bool more = m_run->code->Period(c);
        if (c.logRequested && m_log && !m_log->started) {
            m_log->started = true;
            m_log->firstPeriod = m_core.Periods();
            c.logFull = m_log->points == 0;
        }
        if (m_core.AxisOn()) m_run->powered = true;
        ++c.period;
        if (!more) EndRun(true);
        else if (m_run->powered && !m_core.AxisOn()) EndRun(false);  // a protection stopped it
    }
    if (m_log) m_log->slowPeriod = m_core.SlowSample();
    if (!m_core.Act()) {
        m_failure = "The simulated drive stopped: " + m_core.Problem() + ".";
        if (m_run) EndRun(false);
        m_core.GetPlant().Halt();
    }
    Sample();
    SampleScope();
}

void SimulatedDrive::EndRun(bool finished)
{
    if (!finished && m_run) {
        // Aborted by a protection: the program reports that the test did not pass.
        m_userVariables[m_run->program]["test_flag"] = 0;
    }
    m_core.PowerOff();
    if (m_log && m_log->started) m_log->closed = true;
    m_run.reset();
}

void SimulatedDrive::Sample()
{
    if (!m_log || !m_log->started || m_log->closed) return;
    const std::int64_t k = m_core.Periods() - 1 - m_log->firstPeriod;
    if (k < 0) return;
    if (m_log->slow) {
        if (!m_log->slowPeriod || m_log->slowSamples++ % m_log->sampling != 0) return;
    } else if (k % m_log->sampling != 0) {
        return;
    }
    if (m_log->data.size() >= m_log->points) {
        m_log->closed = true;
        return;
    }
    std::vector<double> point;
    point.reserve(m_log->probes.size() + 1);
    point.push_back(static_cast<double>(k) * m_core.Period());
    for (const DriveCore::Probe& probe : m_log->probes) point.push_back(m_core.Value(probe));
    m_log->data.push_back(std::move(point));
}

bool SimulatedDrive::WriteParameter(const CMC_Parameter& parameter)
{
    if (!Answering()) return false;
    const double value = parameter.GetValueInInternalUnit();
    m_parameters[parameter.GetName()] = value;
    m_core.Registers().Set(parameter.GetName(), value);
    return true;
}

bool SimulatedDrive::ReadVariable(CMC_Variable& variable)
{
    if (!Answering()) return false;
    const std::string& name = variable.GetName();
    auto it = m_probes.find(name);
    if (it == m_probes.end()) {
        DriveCore::Probe probe;
        if (!m_core.Resolve(name, probe)) return Fail("The drive has no variable \"" + name + "\".");
        it = m_probes.emplace(name, probe).first;  // a name that resolves always will
    }
    variable.SetValueInInternalUnit(m_core.Value(it->second));
    return true;
}

bool SimulatedDrive::WriteVariable(const CMC_Variable& variable)
{
    if (!Answering()) return false;
    if (!m_core.Write(variable.GetName(), variable.GetValueInInternalUnit()))
        return Fail("The drive variable \"" + variable.GetName() + "\" is a measurement and cannot be written.");
    return true;
}

bool SimulatedDrive::SetUserVariable(const std::string& program, const std::string& name, double value)
{
    if (!Answering()) return false;
    m_userVariables[program][name] = value;
    return true;
}

bool SimulatedDrive::GetUserVariable(const std::string& program, const std::string& name, double& value)
{
    if (!Answering()) return false;
    const auto p = m_userVariables.find(program);
    if (p != m_userVariables.end()) {
        const auto it = p->second.find(name);
        if (it != p->second.end()) {
            value = it->second;
            return true;
        }
    }
    if (name == "STARTED") {  // 0 in a program image that never ran
        value = 0.0;
        return true;
    }
    return Fail("The program \"" + program + "\" has no user variable \"" + name + "\".");
}

bool SimulatedDrive::StartProgram(const std::string& program, const std::string& section,
                                  const rurorade::LoggerRequest* logger)
{
    if (m_fault == Fault::DeadLink) return Fail(kNoAnswer);
    Update();
    m_failure.clear();
    const std::string& name = section.empty() ? program : section;
    std::unique_ptr<DriveProgram> code = MakeProgram(name);
    if (!code) return Fail("The drive has no program \"" + name + "\".");
    DriveHardware hw;
    std::string error;
    if (!ReadHardware(m_setup, hw, error)) return Fail(error);

    Log log;
    if (logger) {
        log.points = static_cast<std::size_t>(std::clamp(logger->points, 0, kMaxLogPoints));
        log.sampling = std::max(1, logger->sampling);
        log.slow = logger->logType == 1;
        for (const std::string& v : logger->variables) {
            DriveCore::Probe probe;
            if (!m_core.Resolve(v, probe)) return Fail("The drive cannot log \"" + v + "\": it has no such variable.");
            log.probes.push_back(probe);
        }
    }

    if (m_run) EndRun(true);  // a program already running is aborted; its results are never written
    m_core.PowerOff();
    m_core.Configure(hw);
    m_core.Registers().Load(m_setup);
    for (const auto& [register_, value] : m_parameters) m_core.Registers().Set(register_, value);
    m_core.servo = Servo::Voltage;
    m_core.encoderFrame = false;
    m_core.angleStep = 0;
    m_core.vdCommand = m_core.vqCommand = 0;
    m_core.idReference = m_core.iqReference = 0;
    m_core.profileTarget = DriveCore::ProfileTarget::None;
    m_core.currentTrip = 0;
    m_core.hallCommutation = false;
    m_core.ResetLoops();

    Variables& user = m_userVariables[program];
    user["STARTED"] = 0;
    m_run = Run{program, std::move(code), std::make_unique<ProgramContext>(m_core, user), false};
    if (logger) m_log = std::move(log);
    else m_log.reset();
    return true;
}

bool SimulatedDrive::StopProgram()
{
    if (!Answering()) return false;
    if (m_run) {
        m_core.PowerOff();
        if (m_log && m_log->started) m_log->closed = true;
        m_run.reset();
    }
    return true;
}

bool SimulatedDrive::GetAxisOn(bool& on)
{
    if (!Answering()) return false;
    on = m_core.AxisOn();
    return true;
}

bool SimulatedDrive::UploadLog(std::vector<std::vector<double>>& points)
{
    if (!Answering()) return false;
    if (!m_log) return Fail("No data has been logged.");
    points = m_log->data;
    return true;
}

bool SimulatedDrive::ExecuteString(const std::string& commands)
{
    if (!Answering()) return false;
    m_commands.push_back(commands);
    if (commands.find("ENCAPI1") != std::string::npos) m_core.GetSensors().ArmCapture();
    return true;
}

void SimulatedDrive::TurnShaft(double degrees, std::int64_t ms)
{
    Update();
    m_core.GetPlant().HandTurn(degrees * kPi / 180, ms * 1e-3);
}

void SimulatedDrive::ReleaseShaft()
{
    Update();
    m_core.GetPlant().HandRelease();
}

void SimulatedDrive::SetAnalogueInput(double volts)
{
    Update();
    m_core.analogueVolts = volts;
}

double SimulatedDrive::ShaftDegrees()
{
    Update();
    return m_core.GetPlant().MechanicalAngle() * 180 / kPi;
}

bool SimulatedDrive::StartScope(const rurorade::ScopeRequest& request)
{
    if (!Answering()) return false;
    if (request.variables.empty()) return Fail("The scope has no variables to sample.");
    Scope scope;
    for (const std::string& v : request.variables) {
        DriveCore::Probe probe;
        if (!m_core.Resolve(v, probe)) return Fail("The scope cannot sample \"" + v + "\": the drive has no such variable.");
        scope.probes.push_back(probe);
    }
    const int channels = static_cast<int>(scope.probes.size());
    if (rurorade::kScopeFrameHeaderWords + 2 * channels > kMaxFrameWords)
        return Fail("The scope cannot sample that many variables.");
    scope.sampling = std::max(1, request.sampling);
    const int fits = (kMaxFrameWords - rurorade::kScopeFrameHeaderWords) / (2 * channels);
    scope.perFrame = std::clamp(request.pointsPerFrame, 1, fits);
    m_scope = std::move(scope);
    m_unsolicited.clear();
    return true;
}

bool SimulatedDrive::StopScope()
{
    if (!Answering()) return false;
    m_scope.reset();
    return true;
}

bool SimulatedDrive::PollUnsolicited(std::vector<std::uint16_t>& message)
{
    if (!Answering() || m_unsolicited.empty()) return false;
    message = std::move(m_unsolicited.front());
    m_unsolicited.pop_front();
    return true;
}

bool SimulatedDrive::ResetDrive()
{
    if (!Answering()) return false;
    if (m_log && m_log->started) m_log->closed = true;
    m_run.reset();
    m_core.PowerOff();
    m_core.WriteMer(0);
    m_scope.reset();
    m_unsolicited.clear();
    return true;
}

void SimulatedDrive::SampleScope()
{
    if (!m_scope) return;
    Scope& s = *m_scope;
    if (!m_run) {  // the run ended in this period: what is left goes out as a shorter frame
        if (!s.pending.empty()) SendScopeFrame();
        return;
    }
    if (s.periods++ % s.sampling != 0) return;
    for (const DriveCore::Probe& probe : s.probes) s.pending.push_back(TruncToInt32(TG_FRound(m_core.Value(probe))));
    if (s.pending.size() >= s.probes.size() * static_cast<std::size_t>(s.perFrame)) SendScopeFrame();
}

void SimulatedDrive::SendScopeFrame()
{
    Scope& s = *m_scope;
    if (m_unsolicited.size() >= kMaxUnsolicited) {  // nobody drains the link: the oldest goes
        m_unsolicited.pop_front();
        ++m_droppedMessages;
    }
    m_unsolicited.push_back(rurorade::MakeScopeFrameMessage(s.frames++, static_cast<int>(s.probes.size()), s.pending));
    s.pending.clear();
}

}  // namespace drivesim
