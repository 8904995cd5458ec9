// "VDC_Detection_Test": measures the DC bus with the drive's converter, averaging out its noise,
// and publishes the mean count as "var_u2".
#include <cmath>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

constexpr double kMeasureMs = 100;

class VdcDetection : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        bool ended = false;
        if (!m_start.Done(c, ended)) return !ended;
        c.drive.servo = Servo::Voltage;
        c.drive.vdCommand = c.drive.vqCommand = 0;
        if (m_samples == 0) m_measureEnd = c.period + c.Periods(kMeasureMs);
        m_sum += c.drive.GetSensors().MeasureBus(c.drive.GetPlant().Motor().vdc);
        ++m_samples;
        if (c.period < m_measureEnd) return true;
        c.drive.Publish("var_u2", std::round(m_sum / m_samples));
        return false;
    }

private:
    StartUp m_start;
    double m_sum = 0;
    std::int64_t m_samples = 0, m_measureEnd = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeVdcDetection() { return std::make_unique<VdcDetection>(); }

}  // namespace drivesim::programs
