// "Hall_Signals_Connection_Test": watches the three Hall inputs while a hand turns the shaft; the
// power stage stays off. Publishes "var_i2", the number of different valid Hall states seen so
// far, and sets the user variable "bad" to 1 once the inputs showed something healthy sensors
// never show: state 0 or 7, or two signals changing at once. Ends when the host writes "var_i2".
#include <bit>

#include "program_steps.h"

namespace drivesim::programs {

namespace {

class HallSignals : public DriveProgram {
public:
    bool Period(ProgramContext& c) override
    {
        DriveCore& d = c.drive;
        if (c.period == 0) {
            c.user["bad"] = 0;
            Publish(d, 0);
            c.user["STARTED"] = 1;
        } else {
            double seen = 0;
            // Anything but our own count there: the host has ended the run.
            if (d.Read("var_i2", seen) && seen != m_published) return false;
        }
        const int state = d.GetSensors().Hall(d.GetPlant().ElectricalAngle());
        if (state == 0 || state == 7) c.user["bad"] = 1;
        else m_states |= 1u << state;
        if (m_last >= 0 && std::popcount(static_cast<unsigned>(state ^ m_last)) > 1) c.user["bad"] = 1;
        m_last = state;
        Publish(d, std::popcount(m_states));
        return true;
    }

private:
    void Publish(DriveCore& d, int count)
    {
        m_published = count;
        d.Publish("var_i2", count);
    }

    unsigned m_states = 0;  // bit n: state n seen
    int m_last = -1;
    double m_published = 0;
};

}  // namespace

std::unique_ptr<DriveProgram> MakeHallSignals() { return std::make_unique<HallSignals>(); }

}  // namespace drivesim::programs
