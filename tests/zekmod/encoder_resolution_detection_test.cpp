// Encoder resolution and direction test against the simulated drive: the drive turns the motor by
// one revolution and the dialog must find the model's encoder lines, or fail on a reversed count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <nlohmann/json.hpp>

#include "commissioning/encoder_resolution_detection.h"
#include "bench_dialog.h"
#include "rurorade/resolution.h"

namespace {

using drivesim::Fault;
using T = CDetectEncoderResolution;

// The sample setup with what this test binds or reads and the sample lacks ("var_lf_long" and
// "THTST" as plain drive counts).
std::unique_ptr<CMC_Setup> SetupWith(int lines, int polePairs)
{
    auto json = zektest::SampleJson();
    json["parameters"]["No_encoder_lines"]["value"] = lines;
    json["parameters"]["pp"]["value"] = polePairs;
    json["variables"]["var_lf_long"] = nlohmann::ordered_json::object();
    json["variables"]["THTST"] = nlohmann::ordered_json::object();
    return zektest::SetupFromJson(json);
}

drivesim::MotorModel Motor(int lines, int polePairs, int direction = 1)
{
    drivesim::MotorModel motor = drivesim::DefaultMotor();
    motor.encoderLines = lines;
    motor.polePairs = polePairs;
    motor.encoderDirection = direction;
    return motor;
}

using EncoderResolution = zektest::BenchDialogTest;

std::string Question(int oldLines, int newLines)
{
    return "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
           "Encoder resolution:\tOld = " + std::to_string(oldLines) + "\tNew = " + std::to_string(newLines) +
           "\r\n\r\nDo you want to save the new value(s)? (Recommended)";
}

// The lines of several encoders on motors with different pole pairs; kept with Yes.
TEST_F(EncoderResolution, FindsTheEncoderLinesOfTheModel)
{
    const struct {
        int lines, polePairs;
    } motors[] = {{500, 2}, {2500, 4}, {1024, 7}, {4096, 5}, {10000, 3}, {360, 4}};
    for (const auto& m : motors) {
        auto setup = SetupWith(2500, m.polePairs);
        const int result = Run<T>(setup.get(), Motor(m.lines, m.polePairs), Fault::None,
                               "click 10000\nwait 5000\nexpect-text 10001 \"Test succeeded\"\nexpect-text 1021 \"" +
                                   std::to_string(m.lines) + "\"\nanswer yes\ncancel\n",
                               [&](T& test, drivesim::SimulatedDrive& drive) {
                                   // The phase diagram shows the rotor's electrical angle.
                                   const double electrical = drive.ShaftDegrees() * m.polePairs * drivesim::kPi / 180;
                                   const double off = test.PhaseDiagram().GetAngle() - electrical;
                                   EXPECT_NEAR(std::remainder(off, 2 * drivesim::kPi), 0, 0.1);
                                   for (int slice = 0; slice < CHallDiagram::kSlices; ++slice)
                                       EXPECT_NE(test.HallDiagram().GetSliceState(slice), CHallDiagram::NotVisited);
                               });
        EXPECT_EQ(result, rurorade::IDOK) << m.lines;
        EXPECT_NE(trace.str().find("status \"Launching code for the preliminary test\"\nstatus \"Running preliminary "
                                   "test\"\nstatus \"Launching code for the encoder resolution and direction test\"\n"
                                   "status \"Waiting for the test to complete\"\nstatus \"Processing test results\"\n"
                                   "status \"Test finished\"\nstatus \"Test succeeded\"\n"),
                  std::string::npos)
            << trace.str();
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("No_encoder_lines"), m.lines);
        // The same value as the setup's closes without a question.
        EXPECT_EQ(Messages(), m.lines == 2500 ? 0 : 1) << m.lines;
        if (m.lines != 2500) {
            EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), Question(2500, m.lines));
        }
    }
}

// A count against the positive direction fails; which text depends on how far the count is from a
// whole revolution of the setup's encoder. Wiring faults that stop the count or the motor fail too.
TEST_F(EncoderResolution, WiringFaultsFailTheRunAndLeaveTheSetup)
{
    const std::string noMovement = T::kErrNoMovement, wrongDirection = T::kErrWrongDirection;
    const struct {
        int lines, direction;
        Fault fault;
        std::vector<std::string> texts;  // any of them
    } cases[] = {
        {1000, -1, Fault::None, {wrongDirection}},  // -4000 counts: 4000 from a turn of 2500 lines
        {1000, 1, Fault::EncoderSwapped, {wrongDirection}},
        {1000, 1, Fault::PhasesSwapped, {wrongDirection}},
        {2500, -1, Fault::None, {wrongDirection, noMovement}},  // about -10000: near a whole turn
        {2500, 1, Fault::EncoderAMissing, {noMovement}},
        {2500, 1, Fault::EncoderBMissing, {noMovement}},  // ends at +1: a dead channel, not a turn
        {2500, 1, Fault::LockedRotor, {noMovement}},
        {2500, 1, Fault::OpenPhase, {CMC_TestDlg::msc_pszErrInZero}},
        {2500, 1, Fault::EnableOff, {"Drive / Motor ENABLE input is in DISABLED state."}},
        {2500, 1, Fault::ShortCircuit, {"Drive / Motor shortcircuit protection triggered."}},
    };
    for (const auto& c : cases) {
        auto setup = SetupWith(2500, 4);
        const std::string before = rurorade::SaveSetupText(*setup);
        const int result = Run<T>(setup.get(), Motor(c.lines, 4, c.direction), c.fault,
                               "click 10000\nwait 5000\nexpect-text 10001 \"Test failed\"\ncancel\n",
                               [&](T& test, drivesim::SimulatedDrive&) {
                                   EXPECT_NE(std::find(c.texts.begin(), c.texts.end(), test.m_strError), c.texts.end())
                                       << drivesim::FaultName(c.fault) << " " << c.direction << ": " << test.m_strError;
                                   EXPECT_EQ(test.GetChildText(T::kDetectedLinesEdit), "");
                               });
        EXPECT_EQ(result, rurorade::IDCANCEL);
        EXPECT_EQ(Messages(), 0) << "a failed run asks nothing";
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << drivesim::FaultName(c.fault);
    }
}

TEST_F(EncoderResolution, ClosingQuestion)
{
    const struct {
        const char* answers;
        int lines;  // after closing
    } cases[] = {
        {"answer no\ncancel\n", 2500},  // No still ends with OK
        {"answer cancel\ncancel\nexpect-dialog 292\nanswer yes\ncancel\n", 1000},
    };
    for (const auto& c : cases) {
        auto setup = SetupWith(2500, 4);
        EXPECT_EQ(Run<T>(setup.get(), Motor(1000, 4), Fault::None, std::string("click 10000\nwait 5000\n") + c.answers),
                  rurorade::IDOK);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("No_encoder_lines"), c.lines);
        EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), Question(2500, 1000));
        EXPECT_EQ(Messages(), c.lines == 2500 ? 1 : 2);
    }
}

// The check box drives COUNTINGDIR during the run; the choice outlives the Cancel that closes a
// failed run and restores the setup. Without an index pulse the index field reads "not detected".
TEST_F(EncoderResolution, ReverseCountingChoiceAndIndex)
{
    auto setup = SetupWith(2500, 4);
    drivesim::MotorModel motor = Motor(1000, 4, -1);
    motor.encoderIndex = 0;
    const int result = Run<T>(setup.get(), motor, Fault::None,
                           "click 10000\nwait 600\nclick 3357\nwait 100\nexpect-param COUNTINGDIR 1\nwait 4000\n"
                           "expect-text 10001 \"Test failed\"\nexpect-text 3132 \"not detected\"\ncancel\n",
                           [&](T& test, drivesim::SimulatedDrive&) { EXPECT_EQ(test.ReverseCountingChoice(), 1); });
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("ReverseCounting"), 0);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("COUNTINGDIR"), 0);
}

// Hand-worked cases of the evaluation (smallest standard resolution 100).
TEST(EncoderResolutionEvaluation, FinalCountAndRemainder)
{
    using O = T::Outcome;
    const struct {
        std::int32_t v;
        std::int64_t remainder;
        O outcome;
    } cases[] = {
        {10000, 0, O::Success},     {400, 400, O::Success},     {100, 100, O::Success},
        {1, 1, O::NoMovement},      {99, 99, O::NoMovement},    // the jitter of a dead channel
        {0, 0, O::NoMovement},      {0, 5000, O::NoMovement},   // 0 is no movement either way
        {-99, 99, O::NoMovement},   {-100, 100, O::WrongDirection},
        {-9998, 9998, O::WrongDirection}, {-10002, 2, O::NoMovement},
    };
    for (const auto& c : cases) EXPECT_EQ(T::Evaluate(c.v, c.remainder, 100), c.outcome) << c.v << " " << c.remainder;
}

TEST(Resolution, StandardTableAndNearestEntry)
{
    ASSERT_EQ(CResolution::GetResolution(0), 100);
    EXPECT_EQ(CResolution::GetResolution(CResolution::GetCount() - 1), 10000);
    EXPECT_EQ(CResolution::GetResolution(-1), 0);
    EXPECT_EQ(CResolution::GetResolution(CResolution::GetCount()), 0);
    for (int i = 1; i < CResolution::GetCount(); ++i)
        EXPECT_LT(CResolution::GetResolution(i - 1), CResolution::GetResolution(i));
    const struct {
        int lines, best;
    } cases[] = {{0, 100},      {2498, 2500}, {2503, 2500}, {1012, 1000}, {1013, 1024}, {-2500, -2500},
                 {50000, 10000}, {228, 250},   {-2147483647 - 1, -10000}};
    for (const auto& c : cases) EXPECT_EQ(CResolution::FindBestResolution(c.lines), c.best) << c.lines;
}

}  // namespace
