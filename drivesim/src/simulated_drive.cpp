#include "drivesim/simulated_drive.h"

#include <algorithm>
#include <cmath>

#include "rurorade/numeric.h"
#include "rurorade/setup.h"

namespace drivesim {

namespace {

constexpr const char* kNoAnswer = "The drive does not answer.";
constexpr int kMaxLogPoints = 100000;  // the drive's log buffer
constexpr std::int64_t kNever = ProgramPlan::kNever;

std::int64_t At(std::int64_t startMs, std::int64_t offsetMs) { return offsetMs == kNever ? kNever : startMs + offsetMs; }

bool IsCurrent(const std::string& name) { return name == "IQ" || name == "ID"; }

}  // namespace

SimulatedDrive::SimulatedDrive(CMC_Setup* setup, MotorModel motor, rurorade::Clock& clock)
    : m_setup(setup), m_motor(motor), m_clock(clock)
{
    for (const char* name : {"var_u2", "var_i1", "REFTST_V", "RINCTST_V", "TINCTST"}) m_variables[name] = 0.0;
    if (m_setup) m_setup->SetDriveLink(this);
}

SimulatedDrive::~SimulatedDrive()
{
    if (m_setup && m_setup->GetDriveLink() == this) m_setup->SetDriveLink(nullptr);
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
    return true;
}

void SimulatedDrive::Update()
{
    if (!m_run || m_run->ended) return;
    const std::int64_t elapsed = m_clock.NowMs() - m_run->startMs;
    const ProgramPlan& plan = m_run->plan;
    Variables& user = m_userVariables[m_run->program];
    if (elapsed >= plan.startedMs) user["STARTED"] = 1;
    if (elapsed < plan.endMs) return;
    for (const auto& [name, value] : plan.userResults) user[name] = value;
    for (const auto& [name, value] : plan.driveResults) m_variables[name] = value;
    m_run->ended = true;
}

bool SimulatedDrive::AxisOn() const
{
    if (!m_run || m_run->ended) return false;
    return m_clock.NowMs() - m_run->startMs >= m_run->plan.axisOnMs;
}

std::uint32_t SimulatedDrive::Mer() const { return m_mer | (m_fault == Fault::EnableOff ? 0x8000u : 0u); }

bool SimulatedDrive::DriveValue(const std::string& name, double& value) const
{
    if (name == "MER") {
        value = Mer();
        return true;
    }
    if (IsCurrent(name)) {
        value = 0.0;
        if (AxisOn()) {
            const auto it = m_run->plan.currents.find(name);
            if (it != m_run->plan.currents.end()) value = it->second;
        }
        return true;
    }
    const auto it = m_variables.find(name);
    if (it == m_variables.end()) return false;
    value = it->second;
    return true;
}

double SimulatedDrive::Noise()
{
    // xorshift64*: the same sequence on every platform.
    m_random ^= m_random >> 12;
    m_random ^= m_random << 25;
    m_random ^= m_random >> 27;
    const std::uint64_t r = m_random * 2685821657736338717ULL;
    const double unit = static_cast<double>(r >> 11) / 9007199254740992.0;  // [0, 1)
    return m_noise * (2 * unit - 1);
}

bool SimulatedDrive::WriteParameter(const CMC_Parameter& parameter)
{
    if (!Answering()) return false;
    m_parameters[parameter.GetName()] = parameter.GetValueInInternalUnit();
    return true;
}

bool SimulatedDrive::ReadVariable(CMC_Variable& variable)
{
    if (!Answering()) return false;
    double raw = 0.0;
    if (!DriveValue(variable.GetName(), raw)) return Fail("The drive has no variable \"" + variable.GetName() + "\".");
    variable.SetValueInInternalUnit(raw);
    return true;
}

bool SimulatedDrive::WriteVariable(const CMC_Variable& variable)
{
    if (!Answering()) return false;
    const double value = variable.GetValueInInternalUnit();
    if (variable.GetName() == "MER") m_mer = TruncToUInt32(value) & 0xFFFFu;  // writing clears latched bits
    else m_variables[variable.GetName()] = value;
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
    if (!Answering()) return false;
    const std::string& name = section.empty() ? program : section;
    if (!IsKnownProgram(name)) return Fail("The drive has no program \"" + name + "\".");
    DriveHardware hw;
    std::string error;
    if (!ReadHardware(m_setup, hw, error)) return Fail(error);

    int points = 0;
    int sampling = 1;
    if (logger) {
        points = std::clamp(logger->points, 0, kMaxLogPoints);
        sampling = std::max(1, logger->sampling);
        double unused = 0.0;
        for (const std::string& v : logger->variables)
            if (!DriveValue(v, unused)) return Fail("The drive cannot log \"" + v + "\": it has no such variable.");
    }
    const double step = sampling * hw.LoopPeriod();  // s between logged points
    const std::int64_t logMs = TruncToInt32(std::ceil(points * step * 1000));

    const auto inputs = m_userVariables.find(program);
    ProgramPlan plan;
    if (!PlanProgram(name, inputs == m_userVariables.end() ? Variables{} : inputs->second, m_motor, m_fault, hw,
                     logMs, plan, error))
        return Fail(error);

    // A program already running is aborted without results.
    const std::int64_t now = m_clock.NowMs();
    m_run = Run{program, now, plan, false};
    m_userVariables[program]["STARTED"] = 0;
    m_mer |= plan.merBits;

    if (logger) {
        Log log;
        log.startMs = At(now, plan.logStartMs);
        log.endMs = At(now, plan.endMs);
        for (int k = 0; k < points; ++k) {
            std::vector<double> point{k * step};
            for (const std::string& v : logger->variables) {
                double value = 0.0;
                if (IsCurrent(v)) {
                    const auto it = plan.currents.find(v);
                    value = TG_Round((it == plan.currents.end() ? 0.0 : it->second) + Noise());
                } else {
                    DriveValue(v, value);
                }
                point.push_back(value);
            }
            log.points.push_back(std::move(point));
        }
        m_log = std::move(log);
    }
    Update();
    return true;
}

bool SimulatedDrive::GetAxisOn(bool& on)
{
    if (!Answering()) return false;
    on = AxisOn();
    return true;
}

bool SimulatedDrive::UploadLog(std::vector<std::vector<double>>& points)
{
    if (!Answering()) return false;
    if (!m_log) return Fail("No data has been logged.");
    points.clear();
    if (m_log->startMs == kNever) return true;
    // Only what has been recorded by now, and nothing after the program ended.
    const double last = static_cast<double>(std::min(m_clock.NowMs(), m_log->endMs) - m_log->startMs);  // ms
    for (const auto& point : m_log->points) {
        if (point[0] * 1000 > last) break;
        points.push_back(point);
    }
    return true;
}

bool SimulatedDrive::ExecuteString(const std::string& commands)
{
    if (!Answering()) return false;
    m_commands.push_back(commands);
    return true;
}

}  // namespace drivesim
