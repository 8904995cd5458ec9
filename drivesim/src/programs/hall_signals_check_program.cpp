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
        if (!m_variable) {
            m_variable = &d.Published("var_i2");
            m_bad = &c.user["bad"];
            *m_bad = 0;
            Publish(0);
            c.user["STARTED"] = 1;
        } else if (*m_variable != m_published) {
            return false;  // anything but our own count there: the host has ended the run
        }
        const int state = d.HallInputs();
        if (state == 0 || state == 7) *m_bad = 1;
        else m_states |= 1u << state;
        if (m_last >= 0 && std::popcount(static_cast<unsigned>(state ^ m_last)) > 1) *m_bad = 1;
        m_last = state;
        Publish(std::popcount(m_states));
        c.waitsUntil = ProgramContext::kForever;  // the same again while the shaft rests
        return true;
    }

private:
    void Publish(int count)
    {
        m_published = count;
        *m_variable = count;
    }

    unsigned m_states = 0;  // bit n: state n seen
    int m_last = -1;
    double m_published = 0;
    double* m_variable = nullptr;  // "var_i2"
    double* m_bad = nullptr;       // "bad"
};

}  // namespace

std::unique_ptr<DriveProgram> MakeHallSignals() { return std::make_unique<HallSignals>(); }

}  // namespace drivesim::programs
