#pragma once
// Commissioning dialogs run by a script against the simulated drive.
#include <functional>
#include <sstream>
#include <string>

#include "drivesim/simulated_drive.h"
#include "script_session.h"

namespace zektest {

class BenchDialogTest : public DialogTest {
protected:
    // Runs a `Dialog` on `setup` with `script` (played to its end) against a drive with `motor` and
    // `fault`; `inspect` sees the dialog and the drive after the modal run.
    template <class Dialog>
    int Run(CMC_Setup* setup, const drivesim::MotorModel& motor, drivesim::Fault fault, const std::string& script,
            const std::function<void(Dialog&, drivesim::SimulatedDrive&)>& inspect = nullptr)
    {
        drivesim::SimulatedDrive drive(setup, motor, clock);
        drive.SetFault(fault);
        return PlayScript(
            script, trace,
            [&] {
                Dialog test(setup, nullptr);
                const int result = test.DoModal();
                if (inspect) inspect(test, drive);
                return result;
            },
            true);
    }
    // Message boxes of the last run.
    int Messages() const
    {
        int n = 0;
        const std::string text = trace.str();
        for (auto at = text.find("message \""); at != std::string::npos; at = text.find("message \"", at + 1)) ++n;
        return n;
    }
    std::ostringstream trace;
};

// A Hall state (Hall1, Hall2, Hall3 at bit values 4, 2, 1) as the dialogs write it.
inline std::string HallText(int state)
{
    return std::string{char('0' + (state >> 2 & 1)), char('0' + (state >> 1 & 1)), char('0' + (state & 1))};
}

}  // namespace zektest
