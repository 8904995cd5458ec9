// Pole pairs detection against the simulated drive: a person presses Move until the shaft is back
// at its mark (the simulated shaft angle is what the person's eye sees) and the count of moves
// must be the model's pole pairs.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commissioning/pole_pairs_detection.h"
#include "drivesim/simulated_drive.h"
#include "script_session.h"
#include "wiring_link.h"

namespace {

using zektest::Wiring;

class PolePairsDetection : public zektest::DialogTest {
protected:

    // The sample setup lacks the drive variables of the move protocol.
    static std::unique_ptr<CMC_Setup> MoveSetup()
    {
        auto json = zektest::SampleJson();
        json["variables"]["var_i2"] = nlohmann::ordered_json::object();
        json["variables"]["THTST"] = {{"unit", "rad"}};
        return zektest::SetupFromJson(json);
    }

    // Runs the dialog with `script` on `motor`; `rig` may change the wiring. Returns the modal result.
    int Run(const drivesim::MotorModel& motor, const std::string& script, drivesim::Fault fault = drivesim::Fault::None,
            const std::function<void(Wiring&, drivesim::SimulatedDrive&)>& rig = {},
            const std::function<void(drivesim::SimulatedDrive&)>& after = {})
    {
        drivesim::SimulatedDrive drive(setup.get(), motor, clock);
        drive.SetFault(fault);
        Wiring wiring(setup.get(), drive);
        if (rig) rig(wiring, drive);
        const int result = zektest::PlayDialog<CDetectPolePairs>(setup.get(), script, trace);
        if (after) after(drive);
        return result;
    }

    std::unique_ptr<CMC_Setup> setup = MoveSetup();
    std::ostringstream trace;
};

drivesim::MotorModel Motor(int polePairs)
{
    drivesim::MotorModel motor = drivesim::DefaultMotor();
    motor.polePairs = polePairs;
    return motor;
}

const char* const kStart = "click 10000\nwait 1000\nexpect-visible 1021\nexpect-enabled 1021\nexpect-shaft 0 1\n";
const char* const kStopAndSucceed = "click 10000\nexpect-hidden 1021\nwait 200\nexpect-text 10001 \"Test succeeded\"\n";

// Presses Move `moves` times; after each the dialog shows the count, and a moment later, once the
// rotor has caught up with the field, the person sees the shaft one pole pitch on (`direction` is
// where the field takes it).
std::string Moves(int moves, int polePairs, int direction = 1)
{
    std::string script;
    for (int k = 1; k <= moves; ++k) {
        std::ostringstream s;
        s << "click 1021\nexpect-enabled 1021\nexpect-text 3126 \"" << k << "\"\nwait 200\nexpect-shaft "
          << direction * 360.0 * k / polePairs << " 2\n";
        script += s.str();
    }
    return script;
}

const char* const kDetails = "expect-visible 10003\nexpect-text 10001 \"Test failed\"\nclick 10003\n";

TEST_F(PolePairsDetection, CountsTheMovesOfOneMechanicalRevolution)
{
    struct Case {
        int polePairs;
        double testCurrent; // A
        double loadInertia;
        drivesim::Fault fault;
        int direction; // of the shaft: swapped phases turn the field the other way
    } cases[] = {
        {2, 2.5, 0.0, drivesim::Fault::None, 1},
        {4, 1.0, 0.0, drivesim::Fault::None, 1},
        {7, 0.5, 0.0, drivesim::Fault::None, 1},
        {7, 2.5, 5e-4, drivesim::Fault::PhasesSwapped, -1},
    };
    for (const Case& c : cases) {
        setup = MoveSetup();
        drivesim::MotorModel motor = Motor(c.polePairs);
        motor.loadInertia = c.loadInertia;
        int disabledPolls = 0;
        double fieldCurrent = 0; // A, while the field turns
        std::ostringstream start;
        start << "set 1005 \"" << c.testCurrent << "\"\n" << kStart;
        const std::string script = start.str() + Moves(c.polePairs, c.polePairs, c.direction) + kStopAndSucceed +
                                   (c.polePairs != 4 ? "answer yes\n" : "") + "cancel\n";
        const int result = Run(motor, script, c.fault, [&](Wiring& wiring, drivesim::SimulatedDrive& drive) {
            wiring.afterRead = [&](CMC_Variable& v) {
                if (v.GetName() != "THTST") return;
                // Move is greyed out while the drive turns.
                disabledPolls += !rurorade::UiContext::Get().Topmost()->GetControl(1021)->enabled;
                fieldCurrent = std::sqrt(drive.Core().GetPlant().CurrentSquared());
            };
        });
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("pp"), c.polePairs) << c.polePairs;
        EXPECT_EQ(result, c.polePairs != 4 ? rurorade::IDOK : rurorade::IDCANCEL) << c.polePairs;
        EXPECT_GT(disabledPolls, 10 * c.polePairs) << c.polePairs;
        EXPECT_NEAR(fieldCurrent, c.testCurrent, 0.25 * c.testCurrent) << c.polePairs;
    }
}

// The closing question: Yes keeps the count, No puts the old value back, Cancel keeps the dialog
// open, and a count equal to the setup's asks nothing.
TEST_F(PolePairsDetection, ClosingQuestion)
{
    const std::string question =
        "A different value than specified has been detected for the following parameter(s):\r\n\r\nPole Pairs:\tOld = "
        "4\tNew = 2\r\n\r\nDo you want to save the new value(s)? (Recommended)";
    struct Case {
        const char* answers;
        int result;
        double pp;
    } cases[] = {
        {"answer yes\ncancel\n", rurorade::IDOK, 2},
        {"answer no\ncancel\n", rurorade::IDCANCEL, 4},
        {"answer cancel\ncancel\nexpect-dialog 289\nexpect-param pp 2\nanswer no\ncancel\n", rurorade::IDCANCEL, 4},
    };
    for (const Case& c : cases) {
        setup = MoveSetup();
        EXPECT_EQ(Run(Motor(2), kStart + Moves(2, 2) + kStopAndSucceed + c.answers), c.result) << c.answers;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("pp"), c.pp) << c.answers;
        EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), question) << c.answers;
    }
    // The same count as the setup's: closing asks nothing (a question would be answered Yes: OK).
    setup = MoveSetup();
    EXPECT_EQ(Run(Motor(4), kStart + Moves(4, 4) + kStopAndSucceed + "cancel\n"), rurorade::IDCANCEL);
    EXPECT_EQ(trace.str().find("message"), std::string::npos) << trace.str();
}

// Stop before any Move ends the run the host's way and leaves `pp` alone.
TEST_F(PolePairsDetection, StopBeforeAnyMove)
{
    setup = MoveSetup();
    EXPECT_EQ(Run(Motor(2), std::string(kStart) +
                                "click 10000\nexpect-text 10001 \"Test stopped\"\nexpect-hidden 1021\n"
                                "wait 500\nexpect-shaft 0 1\ncancel\n"),
              rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("pp"), 4);
    EXPECT_EQ(trace.str().find("message"), std::string::npos) << trace.str();
}

// A drive that does not take the request stays at the end angle: Move ends at once with the count
// it has, and Move can be pressed again.
TEST_F(PolePairsDetection, ADriveAlreadyAtTheEndAngleEndsTheMoveAtOnce)
{
    setup = MoveSetup();
    Run(Motor(4),
        std::string(kStart) + "click 1021\nexpect-text 3126 \"0\"\nexpect-enabled 1021\nexpect-shaft 0 1\n"
                              "expect-text 10001 \"Waiting for user input\"\ncancel\n",
        drivesim::Fault::None, [](Wiring& wiring, drivesim::SimulatedDrive&) {
            wiring.letWrite = [](const CMC_Variable& v) {
                return !(v.GetName() == "var_i2" && v.GetValueInBaseUnit() == 0);
            };
        });
}

// The count the program leaves after Stop: below 1 and beyond the limits of `pp` fail and keep
// the setup's value; a whole count is stored.
TEST_F(PolePairsDetection, FinalCount)
{
    const std::string limits = "The measured number of pole pairs, 65, lies outside the limits of \\\"pp\\\" (1 to 64). "
                               "The setup keeps its value.";
    struct Case {
        double count;
        const char* checks;
        double pp;
    } cases[] = {
        {0.5,
         "expect-message \"An internal error occurred while running the test. Check the drive connection and try "
         "again.\"\n",
         4},
        {65, nullptr, 4},
        {3.0, "expect-text 10001 \"Test succeeded\"\nanswer yes\n", 3},
    };
    for (const Case& c : cases) {
        setup = MoveSetup();
        const std::string checks = c.checks ? c.checks : "expect-message \"" + limits + "\"\n";
        Run(Motor(4),
            kStart + Moves(1, 4) + "click 10000\nwait 200\n" + (c.pp == 4 ? kDetails : "") + checks + "cancel\n",
            drivesim::Fault::None, [&](Wiring& wiring, drivesim::SimulatedDrive&) {
                wiring.afterRead = [&](CMC_Variable& v) {
                    if (v.GetName() == "var_i2") v.SetValueInBaseUnit(c.count);
                };
            });
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("pp"), c.pp) << c.count;
    }
}

// The wait for a revolution ends with a failure when the angle cannot be read, the link dies, the
// program stops, or the end angle never comes; a program still running is halted, and a new run
// can be made.
TEST_F(PolePairsDetection, TheRevolutionWaitAlwaysEnds)
{
    const std::string internal =
        "An internal error occurred while running the test. Check the drive connection and try again.";
    using OnAngle = std::function<void(CMC_Variable&, Wiring&, drivesim::SimulatedDrive&, int reads)>;
    struct Case {
        const char* name;
        OnAngle onAngle;
        std::string text;
        bool restart; // a new run is made (else the program the move ran must have been halted, if it could be)
    } cases[] = {
        {"angle unreadable",
         [](CMC_Variable&, Wiring& w, drivesim::SimulatedDrive&, int n) {
             if (n == 3) w.unreadable = "THTST";
         },
         internal, true},
        {"dead link",
         [](CMC_Variable&, Wiring&, drivesim::SimulatedDrive& d, int n) {
             if (n == 3) d.SetFault(drivesim::Fault::DeadLink);
         },
         "The drive does not answer.", false},
        {"program stopped",
         [](CMC_Variable&, Wiring&, drivesim::SimulatedDrive& d, int n) {
             if (n == 3) d.StopProgram();
         },
         "The drive program stopped before the motor had made the electrical revolution.", true},
        // Stopped before the move began: the angle it leaves is the end angle.
        {"program stopped at rest",
         {},
         "The drive program stopped before the motor had made the electrical revolution.",
         true},
        {"angle never at the end",
         [](CMC_Variable& v, Wiring&, drivesim::SimulatedDrive&, int) {
             v.SetValueInInternalUnit(v.GetValueInInternalUnit() + 1);
         },
         "The drive did not complete the electrical revolution within 10 s. Check the motor connections and repeat the "
         "test.",
         false},
    };
    for (const Case& c : cases) {
        setup = MoveSetup();
        int reads = 0;
        std::int64_t first = -1, last = -1;
        Run(
            Motor(4),
            std::string(kStart) + "click 1021\n" + kDetails + "expect-message \"" + c.text +
                "\"\nexpect-hidden 1021\nexpect-param pp 4\n" +
                (c.restart ? "click 10000\nwait 1000\nexpect-visible 1021\nexpect-enabled 1021\n" : "") + "cancel\n",
            drivesim::Fault::None,
            [&](Wiring& wiring, drivesim::SimulatedDrive& drive) {
                wiring.afterRead = [&](CMC_Variable& v) {
                    if (v.GetName() != "THTST") return;
                    if (first < 0) first = clock.NowMs();
                    last = clock.NowMs();
                    ++reads;
                    if (c.onAngle) c.onAngle(v, wiring, drive, reads);
                };
                if (!c.onAngle)
                    wiring.letWrite = [&](const CMC_Variable& v) {
                        if (v.GetName() == "var_i2" && v.GetValueInBaseUnit() == 0) drive.StopProgram();
                        return true;
                    };
            },
            [&](drivesim::SimulatedDrive& drive) {
                // Nothing but the failed move can have stopped a program still running.
                if (!c.restart && drive.GetFault() != drivesim::Fault::DeadLink) {
                    EXPECT_FALSE(drive.Core().AxisOn()) << c.name;
                }
            });
        EXPECT_LE(last - first, CDetectPolePairs::kRevolutionTimeoutMs) << c.name;
    }
}

TEST_F(PolePairsDetection, PreliminaryRunFaults)
{
    struct Case {
        drivesim::Fault fault;
        const char* text;
    } cases[] = {
        {drivesim::Fault::ShortCircuit, "Drive / Motor shortcircuit protection triggered."},
        {drivesim::Fault::OpenPhase,
         "The preliminary test did not find a valid result. Check the motor connections and try again."},
    };
    for (const Case& c : cases) {
        setup = MoveSetup();
        Run(Motor(4),
            std::string("click 10000\nwait 1000\nexpect-hidden 1021\n") + kDetails + "expect-message \"" + c.text +
                "\"\ncancel\n",
            c.fault);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("pp"), 4) << drivesim::FaultName(c.fault);
    }
}

} // namespace
