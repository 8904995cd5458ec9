// Hall configuration detection against the simulated drive: the configuration and the shift of
// the model's Hall sensors must come back exactly, and faulty Halls must fail the run.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "commissioning/hall_configuration_detection.h"
#include "drivesim/hall_table.h"
#include "bench_dialog.h"

namespace {

using drivesim::Fault;

const char* const kNoCombination =
    "No valid combination was detected. Possibly, Hall signal(s) non functional.\\nPlease do the Hall signals "
    "connection test. If the Hall signals connection test is OK, increase the test current and repeat the test.";

// The same sensors named with the shift between -30 and 30: a configuration started one sector
// later is the same sensors with edges 60 degrees further on.
std::pair<int, int> Canonical(int hallCase, int shift)
{
    const int first = hallCase <= 7 ? 2 : 8;
    int index = hallCase - first;
    while (shift >= 30) shift -= 60, index = (index + 5) % 6;
    while (shift < -30) shift += 60, index = (index + 1) % 6;
    return {first + index, shift};
}

class HallConfiguration : public zektest::BenchDialogTest {
protected:
    // The default setup with what the test reads from the drive and keeps in the setup.
    static std::unique_ptr<CMC_Setup> MakeSetup(int polePairs, int lines, const char* hall30 = R"({"value": 0, "min": -30, "max": 30})")
    {
        auto json = zektest::SampleJson();
        json["parameters"]["pp"]["value"] = polePairs;
        json["parameters"]["No_encoder_lines"]["value"] = lines;
        if (hall30 != nullptr) json["parameters"]["HALL30"] = nlohmann::ordered_json::parse(hall30);
        else json["parameters"].erase("HALL30");
        json["variables"]["THTST"] = {{"unit", "rad"}};
        json["variables"]["POSINC"] = {{"unit", "rot"}};
        json["variables"]["HALLCASE"] = nlohmann::ordered_json::object();
        return zektest::SetupFromJson(json);
    }
};

using T = CTestHallConfiguration;
const char* const kRunAndKeep = "click 10000\nwait 4000\nexpect-text 10001 \"Test succeeded\"\nanswer yes\ncancel\n";

TEST_F(HallConfiguration, RecoversTheModelsConfigurationAndShift)
{
    struct Motor {
        int polePairs, lines, direction, hallCase, shift;
        double torqueConstant, inertia, loadInertia;
    } motors[] = {
        {4, 2500, 1, 2, 0, 0.1, 6e-5, 0},
        {2, 1000, -1, 5, 12, 0.2, 6e-5, 2.4e-4},
        {7, 4096, 1, 11, -7, 0.05, 1.5e-5, 3e-5},
        {4, 2500, -1, 8, 25, 0.1, 6e-5, 0},
        {3, 2048, 1, 13, -29, 0.1, 6e-5, 0},
        {4, 2500, 1, 7, 17, 0.1, 6e-5, 1e-4},
        {5, 500, 1, 10, -18, 0.1, 6e-5, 0},
        // Beyond half a sector the same sensors are the next configuration with the edges 60 degrees back.
        {4, 2500, 1, 3, 45, 0.1, 6e-5, 0},
    };
    for (const Motor& m : motors) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.polePairs = m.polePairs;
        motor.encoderLines = m.lines;
        motor.encoderDirection = m.direction;
        motor.hallCase = m.hallCase;
        motor.hallShift = m.shift;
        motor.torqueConstant = m.torqueConstant;
        motor.inertia = m.inertia;
        motor.loadInertia = m.loadInertia;
        auto setup = MakeSetup(m.polePairs, m.lines);
        setup->SetParameterValueInBaseUnit("HALL30", 1);  // different from every shift below
        const auto [hallCase, shift] = Canonical(m.hallCase, m.shift);
        const int result = Run<T>(setup.get(), motor, Fault::None, kRunAndKeep, [&](T& test, drivesim::SimulatedDrive&) {
            EXPECT_EQ(test.DetectedConfiguration(), hallCase);
            EXPECT_EQ(test.DetectedShift(), shift);
            // Dragged through a whole electrical turn, the rotor showed every state.
            for (int slice = 0; slice < CHallDiagram::kSlices; ++slice)
                EXPECT_EQ(test.HallDiagram().GetSliceState(slice), CHallDiagram::Current) << slice;
        });
        EXPECT_EQ(result, rurorade::IDOK);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("HALLCASE"), hallCase) << m.hallCase << " " << m.shift;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("HALL30"), shift) << m.hallCase << " " << m.shift;
    }
}

TEST_F(HallConfiguration, ClosingQuestion)
{
    struct Case {
        const char* name;
        double hallCase, hall30;  // in the setup before the run
        const char* script;
        int result;
        double keptCase, keptShift;
    } cases[] = {
        {"No keeps the setup", 2, 0, "click 10000\nwait 4000\nanswer no\ncancel\n", rurorade::IDCANCEL, 2, 0},
        {"Cancel stays open", 2, 0,
         "click 10000\nwait 4000\nanswer cancel\ncancel\nexpect-dialog 294\nanswer yes\ncancel\n", rurorade::IDOK, 9, -13},
        {"a different shift alone asks", 9, 0, kRunAndKeep, rurorade::IDOK, 9, -13},
        {"equal values ask nothing", 9, -13, "click 10000\nwait 4000\ncancel\n", rurorade::IDCANCEL, 9, -13},
    };
    for (const Case& c : cases) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.hallCase = 9;
        motor.hallShift = -13;
        auto setup = MakeSetup(4, 2500);
        setup->SetParameterValueInBaseUnit("HALLCASE", c.hallCase);
        setup->SetParameterValueInBaseUnit("HALL30", c.hall30);
        EXPECT_EQ(Run<T>(setup.get(), motor, Fault::None, c.script), c.result) << c.name;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("HALLCASE"), c.keptCase) << c.name;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("HALL30"), c.keptShift) << c.name;
        if (c.hallCase == 9 && c.hall30 == -13) {
            EXPECT_EQ(trace.str().find("message"), std::string::npos) << c.name;
        } else if (c.hallCase == 2) {
            EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
                      "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
                      "Hall configuration:\tOld = 2\tNew = 9\r\nHall sensors shift:\tOld = 0\tNew = -13\r\n\r\n"
                      "Do you want to save the new value(s)? (Recommended)")
                << c.name;
        }
    }
}

// Every failure reaches the person through "Details"; closing then asks nothing and keeps the setup.
TEST_F(HallConfiguration, FailuresLeaveTheSetupUnchanged)
{
    struct Case {
        Fault fault;
        const char* hall30;  // the setup's HALL30, null: none
        const char* text;
    } cases[] = {
        {Fault::HallSupply, R"({"value": 0, "min": -30, "max": 30})", kNoCombination},
        {Fault::HallStuck, R"({"value": 0, "min": -30, "max": 30})", kNoCombination},
        {Fault::LockedRotor, R"({"value": 0, "min": -30, "max": 30})", kNoCombination},
        {Fault::ShortCircuit, R"({"value": 0, "min": -30, "max": 30})", "Drive / Motor shortcircuit protection triggered."},
        {Fault::EnableOff, R"({"value": 0, "min": -30, "max": 30})", "Drive / Motor ENABLE input is in DISABLED state."},
        {Fault::None, nullptr, "The setup has no parameter \\\"HALL30\\\" to keep the detected value in."},
        {Fault::None, R"({"value": 0, "min": -10, "max": 10})",
         "The measured Hall sensors shift, -13, lies outside the limits of \\\"HALL30\\\" (-10 to 10). The setup keeps its value."},
    };
    for (const Case& c : cases) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.hallCase = 9;
        motor.hallShift = -13;
        auto setup = MakeSetup(4, 2500, c.hall30);
        const std::string before = rurorade::SaveSetupText(*setup);
        const std::string script = std::string("click 10000\nwait 4000\nexpect-visible 10003\nclick 10003\nexpect-message \"") +
                                   c.text + "\"\ncancel\n";
        EXPECT_EQ(Run<T>(setup.get(), motor, c.fault, script), rurorade::IDCANCEL) << drivesim::FaultName(c.fault);
        EXPECT_EQ(trace.str().find("A different value"), std::string::npos) << drivesim::FaultName(c.fault);
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << drivesim::FaultName(c.fault);
    }
}

TEST(HallConfigurationDisplay, PositionCounterAndPhaseAngle)
{
    struct Case {
        std::int64_t increment;
        std::int32_t lines;
        std::int64_t counter;
    } cases[] = {{10001, 2500, 1}, {-10001, 2500, -1}, {-5, 2500, -5}, {-20000, 2500, 0}, {7, 0, 7}};
    for (const Case& c : cases)
        EXPECT_EQ(T::PositionCounterOf(c.increment, c.lines), c.counter) << c.increment;
    EXPECT_EQ(T::PhaseAngleOf(-19384), 0.0);
    EXPECT_DOUBLE_EQ(T::PhaseAngleOf(-19384 + 16384), drivesim::kPi / 2);
}

}  // namespace
