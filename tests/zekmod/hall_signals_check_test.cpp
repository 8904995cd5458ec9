// Hall signals connection test against the simulated drive: a hand turns the shaft while the
// dialog polls the Hall inputs; Stop judges what the dialog and the drive program saw.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "commissioning/hall_signals_check.h"
#include "drivesim/hall_table.h"
#include "bench_dialog.h"

namespace {

using drivesim::Fault;

const char* const kNoTransitions =
    "No transitions detected on one or more HALL signals. Check HALL sensor connectors and power supply.";
const char* const kMissedLevels = "The test did not detect all three HALL transitions.";

// The default setup with the drive variables the test reads.
std::unique_ptr<CMC_Setup> MakeSetup()
{
    auto json = zektest::SampleJson();
    json["variables"]["HALL"] = nlohmann::ordered_json::object();
    json["variables"]["var_i2"] = nlohmann::ordered_json::object();
    return zektest::SetupFromJson(json);
}

using HallSignals = zektest::BenchDialogTest;
using T = CTestHallSignals;

TEST_F(HallSignals, AFullTurnByHandPasses)
{
    struct Motor {
        int polePairs, hallCase;
        double shift;
    } motors[] = {{2, 2, 0}, {4, 5, 12}, {7, 11, -7}, {4, 8, 25}, {5, 13, 40}};
    for (const Motor& m : motors) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.polePairs = m.polePairs;
        motor.hallCase = m.hallCase;
        motor.hallShift = m.shift;
        auto setup = MakeSetup();
        // One turn in two seconds: a sector lasts far longer than a poll even at 7 pole pairs.
        const std::string finalText = zektest::HallText(drivesim::HallState(m.hallCase, 360.0 * m.polePairs, m.shift));
        const std::string script = "expect-disabled 1025\nclick 10000\nwait 100\nexpect-text 10001 \"Running test\"\nturn 360 2000\nwait 100\nclick 10000\n"
                                   "expect-text 10001 \"Test succeeded\"\nexpect-text 1029 \"OK\"\nexpect-text 1030 \"OK\"\n"
                                   "expect-text 1031 \"OK\"\nexpect-text 3130 \"" + finalText + "\"\nturn 90 500\ncancel\n";
        Run<T>(setup.get(), motor, Fault::None, script, [&](T& test, drivesim::SimulatedDrive& drive) {
            int visited = 0, current = 0;
            for (int slice = 0; slice < CHallDiagram::kSlices; ++slice) {
                visited += test.HallDiagram().GetSliceState(slice) == CHallDiagram::Visited;
                current += test.HallDiagram().GetSliceState(slice) == CHallDiagram::Current;
            }
            EXPECT_EQ(visited, 5) << m.polePairs;
            EXPECT_EQ(current, 1) << m.polePairs;
            // The shaft came back to where it started: 360 degrees after 10000 counts a turn.
            EXPECT_NEAR(test.EncoderDiagram().GetAngle(), 2 * drivesim::kPi, 1e-9) << m.polePairs;
            // The success was written to the drive and ended its program: turning on changes nothing.
            double written = 0;
            EXPECT_TRUE(drive.Core().Read("var_i2", written));
            EXPECT_EQ(written, 1.0) << m.polePairs;
        });
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == rurorade::SaveSetupText(*MakeSetup()));
    }
}

TEST_F(HallSignals, StopJudgesWhatWasSeen)
{
    struct Case {
        const char* name;
        Fault fault;
        const char* turn;         // the hand's part of the script
        const char* error;        // null: the run passes
        const char* statuses[3];  // Hall1, Hall2, Hall3
        const char* stateText;    // control 3130
    } cases[] = {
        {"not turned", Fault::None, "wait 2000\n", kNoTransitions, {"Bad", "Bad", "Bad"}, "001"},
        {"no Hall supply", Fault::HallSupply, "turn 360 2000\n", kNoTransitions, {"Bad", "Bad", "Bad"}, ""},
        // Hall2 is bit value 2: stuck low, it is seen low only.
        {"Hall2 stuck", Fault::HallStuck, "turn 360 2000\n", kNoTransitions, {"OK", "Bad", "OK"}, "001"},
        // One electrical turn per poll: every poll sees the same state while the drive sees all six.
        {"turned too fast", Fault::None, "turn 1800 400\n", kMissedLevels, {"Bad", "Bad", "Bad"}, "001"},
        // Only a short circuit stops this test.
        {"ENABLE off", Fault::EnableOff, "turn 360 2000\n", nullptr, {"OK", "OK", "OK"}, "001"},
    };
    for (const Case& c : cases) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.hallCase = 2;
        motor.hallShift = 20;  // the shaft at rest sits mid-sector: state 1 ("001")
        auto setup = MakeSetup();
        std::string script = std::string("click 10000\nwait 100\n") + c.turn + "click 10000\n";
        script += c.error ? std::string("click 10003\nexpect-message \"") + c.error + "\"\n" : "expect-text 10001 \"Test succeeded\"\n";
        for (int i = 0; i < 3; ++i) script += "expect-text " + std::to_string(1029 + i) + " \"" + c.statuses[i] + "\"\n";
        script += std::string("expect-text 3130 \"") + c.stateText + "\"\ncancel\n";
        Run<T>(setup.get(), motor, c.fault, script, [&](T& test, drivesim::SimulatedDrive&) {
            if (c.fault == Fault::HallSupply) {
                for (int slice = 0; slice < CHallDiagram::kSlices; ++slice)
                    EXPECT_EQ(test.HallDiagram().GetSliceState(slice), CHallDiagram::NotVisited) << slice;
            }
            // Reset at Start and the state at rest once: a state that repeats is not repainted.
            if (c.turn[0] == 'w') {
                EXPECT_EQ(test.HallDiagram().repaints, 2) << c.name;
            }
        });
    }
}

// A second run shows the state at rest again and starts its judgement afresh.
TEST_F(HallSignals, ASecondRunStartsAfresh)
{
    drivesim::MotorModel motor = drivesim::DefaultMotor();
    motor.hallShift = 20;
    auto setup = MakeSetup();
    Run<T>(setup.get(), motor, Fault::None,
        "click 10000\nwait 100\nturn 360 2000\nclick 10000\nexpect-text 10001 \"Test succeeded\"\n"
        "click 10000\nexpect-text 1029 \"\"\nexpect-text 3130 \"\"\nwait 100\nexpect-text 3130 \"001\"\n"
        "click 10000\nclick 10003\nexpect-message \"" + std::string(kNoTransitions) + "\"\nexpect-text 1029 \"Bad\"\ncancel\n");
}

TEST(HallDiagram, SlicesKeepTheirStates)
{
    CHallDiagram diagram;
    diagram.SetSliceState(1, CHallDiagram::Visited);
    diagram.SetSliceState(4, CHallDiagram::Current);
    diagram.SetSliceState(6, CHallDiagram::Current);   // no such slice
    diagram.SetSliceState(-1, CHallDiagram::Current);
    diagram.SetSliceState(2, 3);                       // no such state
    EXPECT_EQ(diagram.SliceStates(), (std::array<int, 6>{0, 1, 0, 0, 2, 0}));
    diagram.DemoteCurrentSlices();
    EXPECT_EQ(diagram.SliceStates(), (std::array<int, 6>{0, 1, 0, 0, 1, 0}));
    EXPECT_EQ(diagram.GetSliceState(6), CHallDiagram::NotVisited);
    diagram.ResetSlices();
    EXPECT_EQ(diagram.SliceStates(), (std::array<int, 6>{}));
}

}  // namespace
