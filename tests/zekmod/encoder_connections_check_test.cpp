// Encoder connections test against the simulated drive: a hand turns the shaft, the dialog must
// show what the model's encoder, index and Halls give, and wiring faults must fail the run.
#include <gtest/gtest.h>

#include <cmath>
#include <nlohmann/json.hpp>

#include "commissioning/encoder_connections_check.h"
#include "commissioning/encoder_resolution_detection.h"
#include "drivesim/hall_table.h"
#include "bench_dialog.h"

namespace {

using drivesim::Fault;
using T = CTestEncoderConnections;

// The sample setup with the drive variables this test reads that it lacks ("HALL", "var_i2").
std::unique_ptr<CMC_Setup> SetupWithLines(int lines)
{
    auto json = zektest::SampleJson();
    json["parameters"]["No_encoder_lines"]["value"] = lines;
    json["variables"]["HALL"] = nlohmann::ordered_json::object();
    json["variables"]["var_i2"] = nlohmann::ordered_json::object();
    return zektest::SetupFromJson(json);
}

using EncoderConnections = zektest::BenchDialogTest;

// Counter, encoder angle, index capture and Hall state follow the shaft for several encoders
// and Hall configurations; the capture command goes out once.
TEST_F(EncoderConnections, ShowsWhatTheEncoderAndHallsOfTheModelGive)
{
    struct Motor {
        int lines, direction, polePairs, hallCase;
        double hallShift;
    } motors[] = {{500, 1, 2, 3, 0}, {2500, -1, 4, 9, 15}, {1024, 1, 7, 12, 30}};
    for (const Motor& m : motors) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.encoderLines = m.lines;
        motor.encoderDirection = m.direction;
        motor.polePairs = m.polePairs;
        motor.hallCase = m.hallCase;
        motor.hallShift = m.hallShift;
        auto setup = SetupWithLines(m.lines);
        const std::string before = rurorade::SaveSetupText(*setup);
        // A quarter turn stays short of the index at the next whole turn; 360 degrees more pass it.
        const int turn = 4 * m.lines;
        const std::string script = "click 10000\nwait 100\nturn 90 400\nwait 100\nexpect-text 3132 \"not detected\"\n"
                                   "turn 360 1000\nwait 100\nexpect-text 3132 \"" +
                                   std::to_string(m.direction * turn) +
                                   "\"\nclick 10000\nexpect-text 10001 \"Test succeeded\"\ncancel\n";
        Run<T>(setup.get(), motor, Fault::None, script, [&](T& test, drivesim::SimulatedDrive& drive) {
            const double degrees = drive.ShaftDegrees();
            const double counts = m.direction * degrees / 360 * turn;
            EXPECT_NEAR(std::stoi(test.GetChildText(T::kPositionEdit)), counts, 1.0) << m.lines;
            EXPECT_NEAR(test.EncoderDiagram().GetAngle(), m.direction * degrees * kPi / 180, 2 * kPi / turn) << m.lines;
            const int hall = drivesim::HallState(m.hallCase, degrees * m.polePairs, m.hallShift);
            EXPECT_EQ(test.GetChildText(T::kHallStateEdit), zektest::HallText(hall)) << m.lines;
            // Slices in rotation order 1, 3, 2, 6, 4, 5: all visited, the last state's the current one.
            const int order[] = {1, 3, 2, 6, 4, 5};
            for (int slice = 0; slice < CHallDiagram::kSlices; ++slice)
                EXPECT_EQ(test.HallDiagram().GetSliceState(slice),
                          order[slice] == hall ? CHallDiagram::Current : CHallDiagram::Visited) << slice;
            EXPECT_EQ(drive.Commands(), std::vector<std::string>{"!CAP;ENCAPI1;"});
            double done = 0;
            EXPECT_TRUE(drive.Core().Read("var_i2", done));
            EXPECT_EQ(done, 1.0);
            EXPECT_FALSE(test.GetControl(T::kPhaseDiagramId)->enabled);
        });
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << "the test writes nothing";
        EXPECT_NE(trace.str().find("status \"Launching code for test\"\nstatus \"Running test\"\nstatus \"Test "
                                   "finished\"\nstatus \"Test succeeded\"\n"),
                  std::string::npos)
            << trace.str();
    }
}

// A dead channel leaves the decoder counting one step back and forth; so does a hand that moves
// the shaft by one count. Swapped channels still count, backwards: both signals are there.
TEST_F(EncoderConnections, PassesOnlyWhenTheCounterMovedByMoreThanTwoCounts)
{
    struct Case {
        Fault fault;
        const char* turns;
        bool passes;
    } cases[] = {
        {Fault::EncoderAMissing, "turn 360 800\n", false},
        {Fault::EncoderBMissing, "turn 360 800\n", false},
        {Fault::None, "", false},
        {Fault::None, "turn 0.04 100\nwait 100\nturn -0.04 100\n", false},  // one count is 0.036 degrees
        {Fault::EncoderSwapped, "turn 90 400\n", true},
    };
    for (const Case& c : cases) {
        auto setup = SetupWithLines(2500);
        const std::string script = std::string("click 10000\nwait 100\n") + c.turns + "wait 100\nclick 10000\n" +
                                   (c.passes ? "expect-text 10001 \"Test succeeded\"\n"
                                             : "expect-text 10001 \"Test failed\"\nclick 10003\nexpect-message \"" +
                                                   std::string("No encoder pulses have been detected.\\r\\nCheck the "
                                                               "encoder connection and power supply.\"\n")) +
                                   "cancel\n";
        Run<T>(setup.get(), drivesim::DefaultMotor(), c.fault, script, [&](T& test, drivesim::SimulatedDrive& drive) {
            EXPECT_EQ(drive.Commands().size(), c.passes ? 1u : 0u) << drivesim::FaultName(c.fault);
            if (c.fault == Fault::EncoderSwapped) {
                EXPECT_NEAR(std::stoi(test.GetChildText(T::kPositionEdit)), -2500, 1);
            }
        });
    }
}

// A revolution between two polls leaves the position modulo, and so the angle, where it was.
TEST_F(EncoderConnections, AWholeTurnBetweenPollsKeepsTheAngle)
{
    auto setup = SetupWithLines(2500);
    Run<T>(setup.get(), drivesim::DefaultMotor(), Fault::None,
        "click 10000\nwait 100\nturn 90 400\nwait 100\nturn 360 0\nwait 100\nclick 10000\ncancel\n",
        [&](T& test, drivesim::SimulatedDrive&) {
            const int counter = std::stoi(test.GetChildText(T::kPositionEdit));
            EXPECT_NEAR(counter, 12500, 1);
            EXPECT_DOUBLE_EQ(test.EncoderDiagram().GetAngle(), encoder_test::EncoderAngle(counter - 10000, 2500));
        });
}

TEST(EncoderTestHelpers, PositiveModulo)
{
    const struct {
        std::int64_t value, modulus, expected;
    } modulos[] = {{-1, 2000, 1999}, {0, 2000, 0}, {2000, 2000, 0}, {-2001, 2000, 1999}, {4001, 2000, 1},
                   // 4 x 1073741823 lines is beyond 32 bits
                   {-5, 4294967292LL, 4294967287LL}, {7, 0, 0}};
    for (const auto& m : modulos) EXPECT_EQ(encoder_test::PositiveModulo(m.value, m.modulus), m.expected) << m.value;
}

// Both encoder tests divide a revolution by the setup's line count: 0 lines fail the run at Start.
TEST_F(EncoderConnections, NoLinesFailAtStart)
{
    auto setup = SetupWithLines(0);
    const std::string script =
        std::string("click 10000\nexpect-text 10001 \"Test failed\"\nclick 10003\nexpect-message \"") +
                               encoder_test::kErrNoLines + "\"\ncancel\n";
    EXPECT_EQ(Run<T>(setup.get(), drivesim::DefaultMotor(), Fault::None, script), rurorade::IDCANCEL);
    EXPECT_EQ(Run<CDetectEncoderResolution>(setup.get(), drivesim::DefaultMotor(), Fault::None, script), rurorade::IDCANCEL);
}

}  // namespace
