#include <algorithm>
#include <cmath>
#include <string_view>

#include "program_steps.h"

namespace drivesim {

namespace {

struct Entry {
    std::string_view section;
    std::unique_ptr<DriveProgram> (*make)();
};

constexpr Entry kPrograms[] = {
    {"VDC_Detection_Test", programs::MakeVdcDetection},
    {"Initial_Positioning_Test", programs::MakeInitialPositioning},
    {"Ident_R_or_Rs", programs::MakeResistanceRun},
    {"Ident_L_or_Tau_el", programs::MakeInductanceRun},
    {"Encoder_Resolution_And_Direction_Test", programs::MakeEncoderResolution},
    {"Encoder_Connection_Test", programs::MakeEncoderConnection},
    {"Hall_Configuration_Detection_Test", programs::MakeHallConfiguration},
    {"Hall_Signals_Connection_Test", programs::MakeHallSignals},
    {"Motor_Pole_Pairs_Detection_Test", programs::MakePolePairs},
    {"Motor_Phase_Connection_Test", programs::MakePhaseConnection},
    {"Analogue_Reference_Test", programs::MakeAnalogueReference},
    {"Total_Inertia_Identification_Test", programs::MakeTotalInertia},
    {"Current_Controller_Tuning_Test", programs::MakeCurrentTuning},
    {"Speed_Controller_Tuning_Test", programs::MakeSpeedTuning},
    {"Position_Controller_Tuning_Test_with_SpdCtrl", programs::MakePositionTuningWithSpeedLoop},
    {"Position_Controller_Tuning_Test_without_SpdCtrl", programs::MakePositionTuningWithoutSpeedLoop},
    {"Angle_Controller_Tuning_Test", programs::MakeAngleTuning},
};

}  // namespace

double ProgramContext::Input(const char* name) const
{
    const auto it = user.find(name);
    return it == user.end() || !std::isfinite(it->second) ? 0.0 : it->second;
}

std::int64_t ProgramContext::Periods(double ms) const
{
    const double n = std::ceil(ms * 1e-3 / drive.Period() - 1e-9);
    return n < 1 ? 1 : static_cast<std::int64_t>(n);
}

bool IsKnownProgram(const std::string& section)
{
    for (const Entry& e : kPrograms)
        if (e.section == section) return true;
    return false;
}

std::unique_ptr<DriveProgram> MakeProgram(const std::string& section)
{
    for (const Entry& e : kPrograms)
        if (e.section == section) return e.make();
    return nullptr;
}

namespace programs {

bool StartUp::Done(ProgramContext& c, bool& ended)
{
    ended = false;
    if (m_done) return true;
    if (c.drive.GetFault() == Fault::EnableOff) {  // waits for ENABLE
        c.waitsUntil = ProgramContext::kForever;
        return false;
    }
    if (const std::int64_t powerUp = c.Periods(kPowerUpMs); c.period < powerUp) {
        c.waitsUntil = powerUp;
        return false;
    }
    if (!c.drive.PowerOn()) {
        ended = true;
        return false;
    }
    // Every program guards its test with the over-current level it is given; a trip stops it
    // and clears "test_flag".
    const double protection = c.Input("Imax_Prot_Test");
    c.drive.currentTrip = protection > 0 ? static_cast<std::int32_t>(std::min(protection, 1e9)) : 0;
    c.user["test_flag"] = 1;
    c.user["STARTED"] = 1;
    m_done = true;
    return true;
}

void UsePhaseAFrame(DriveCore& drive, std::int32_t angleStep)
{
    drive.servo = Servo::Voltage;
    drive.encoderFrame = false;
    drive.testAngle = kPhaseAFrame;
    drive.angleStep = angleStep;
    drive.vdCommand = 0;
}

bool RampSettleLog::Step(ProgramContext& c, bool reached)
{
    constexpr double kSettleMs = 100;   // several time constants of any winding
    constexpr double kMaxLogMs = 2000;  // a run without a logger ends after this
    switch (m_phase) {
    case Phase::Ramp:
        if (reached || m_command >= 32767) {
            m_phase = Phase::Settle;
            m_until = c.period + c.Periods(kSettleMs);
        } else {
            m_command = std::min(32767.0, m_command + m_increment);
        }
        break;
    case Phase::Settle:
        if (c.period >= m_until) {
            m_phase = Phase::Log;
            m_until = c.period + c.Periods(kMaxLogMs);
            c.StartLogging();
        }
        break;
    case Phase::Log:
        m_bus += c.drive.GetSensors().MeasureBus(c.drive.GetPlant().Motor().vdc);
        ++m_busSamples;
        if (c.LogFull() || c.period >= m_until) return false;
        break;
    }
    return true;
}

void MovingMean::Add(double x)
{
    const int size = 1 << m_bits;
    if (m_count == size) m_sum -= m_samples[m_next];
    else ++m_count;
    m_samples[m_next] = x;
    m_sum += x;
    m_next = (m_next + 1) & (size - 1);
}

}  // namespace programs

}  // namespace drivesim
