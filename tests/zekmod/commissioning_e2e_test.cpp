// Commissioning tests end to end against the simulated drive: the identifications must recover
// the model's true values, and every failure must leave the setup as it was.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>

#include "commissioning/my_test_dlg.h"
#include "commissioning/rl_identification.h"
#include "commissioning/vdc_detection.h"
#include "drivesim/simulated_drive.h"
#include "script_session.h"

namespace {

std::unique_ptr<CMC_Setup> SampleWithConnection(double phaseConnection = 0)
{
    auto json = zektest::SampleJson();
    json["parameters"]["MotorPhaseConnectionType"]["value"] = phaseConnection;
    return zektest::SetupFromJson(json);
}

class EndToEnd : public zektest::DialogTest {
protected:
    // Runs a test dialog with a script; returns its modal result.
    template <class Test>
    int Run(CMC_Setup* setup, const drivesim::MotorModel& motor, drivesim::Fault fault, const std::string& script)
    {
        drivesim::SimulatedDrive drive(setup, motor, clock);
        drive.SetFault(fault);
        return zektest::PlayScript(script, trace, [&] {
            return RunWithSinusoidalMode([&] { return Test(setup, nullptr).DoModal(); });
        });
    }
    std::ostringstream trace;
};

// Start, let the run end, close and keep the new values.
const char* const kRunAndKeep = "click 10000\nwait 5000\nanswer yes\ncancel\n";

TEST_F(EndToEnd, ResistanceAndInductanceAreRecoveredForStarAndDelta)
{
    struct Motor {
        double r, l, vdc;
    } motors[] = {{1.12, 1.45e-3, 46.3}, {0.35, 0.4e-3, 24.0}, {4.7, 12e-3, 80.0}, {0.9, 1.2e-3, 48.0}};
    for (const Motor& m : motors) {
        for (double connection : {0.0, 1.0}) {
            drivesim::MotorModel motor = drivesim::DefaultMotor();
            motor.resistance = m.r;
            motor.inductance = m.l;
            motor.vdc = m.vdc;
            auto setup = SampleWithConnection(connection);
            const double vdcBefore = setup->GetParameterValueInBaseUnit("Vdc");
            Run<CTestRL>(setup.get(), motor, drivesim::Fault::None, kRunAndKeep);
            const double k = connection == 1.0 ? 3.0 : 1.0;
            const double r = setup->GetParameterValueInBaseUnit("R"), l = setup->GetParameterValueInBaseUnit("L");
            EXPECT_NEAR(r, m.r * k, m.r * k * 0.01) << "R " << m.r << " connection " << connection;
            EXPECT_NEAR(l, m.l * k, m.l * k * 0.02) << "L " << m.l << " connection " << connection;
            EXPECT_EQ(setup->GetParameterValueInBaseUnit("Vdc"), vdcBefore);
        }
    }
    EXPECT_EQ(g_bKufSinusoidalMode, 0);
}

// The drive averages its noisy 12-bit bus converter (one step is 27 mV here). A bus beyond the
// parameter's limits (9 to 90 V) fails the run and leaves the setup's value.
TEST_F(EndToEnd, VdcDetectionRecoversTheBusVoltage)
{
    for (double vdc : {12.0, 24.0, 46.3, 48.0, 89.9, 90.5}) {
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.vdc = vdc;
        auto setup = SampleWithConnection();
        const bool within = vdc <= 90;
        Run<CTestVdcDetection>(setup.get(), motor, drivesim::Fault::None,
                               within ? kRunAndKeep
                                      : "click 10000\nwait 1000\nclick 10003\nexpect-message \"The measured DC bus voltage, "
                                        "90.4996 V, lies outside the limits of \\\"Vdc\\\" (9 to 90 V). The setup keeps its value.\"\ncancel\n");
        EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Vdc"), within ? vdc : 48.0, 0.002 * vdc) << vdc;
    }
}

// Faults fail the run and leave the setup unchanged. The bus measurement checks only for a short
// circuit: with ENABLE off it keeps waiting for the program (the session's script bounds the
// wait), and it does not need the motor phases.
TEST_F(EndToEnd, FaultsFailTheRunAndLeaveTheSetupUnchanged)
{
    const std::string details = "expect-visible 10003\nclick 10003\nexpect-message ";
    struct Case {
        bool vdc;  // the bus measurement, else the resistance and inductance test
        drivesim::Fault fault;
        std::string checks;
    } cases[] = {
        {false, drivesim::Fault::ShortCircuit, details + "\"Drive / Motor shortcircuit protection triggered.\"\n"},
        {false, drivesim::Fault::EnableOff, details + "\"Drive / Motor ENABLE input is in DISABLED state.\"\n"},
        {false, drivesim::Fault::OpenPhase, "expect-visible 10003\nclick 10003\n"},
        {false, drivesim::Fault::DeadLink, "expect-visible 10003\nclick 10003\n"},
        {true, drivesim::Fault::ShortCircuit, details + "\"Drive / Motor shortcircuit protection triggered.\"\n"},
        {true, drivesim::Fault::DeadLink, "expect-visible 10003\nexpect-text 10001 \"Test failed\"\n"},
        {true, drivesim::Fault::EnableOff, "expect-hidden 10003\nexpect-text 10001 \"Running test\"\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(drivesim::FaultName(c.fault)) + (c.vdc ? " vdc" : " rl"));
        auto setup = SampleWithConnection();
        const std::string before = rurorade::SaveSetupText(*setup);
        const std::string script = "click 10000\nwait 5000\n" + c.checks + "cancel\n";
        EXPECT_EQ(c.vdc ? Run<CTestVdcDetection>(setup.get(), drivesim::DefaultMotor(), c.fault, script)
                        : Run<CTestRL>(setup.get(), drivesim::DefaultMotor(), c.fault, script),
                  rurorade::IDCANCEL);
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before);
    }
}

TEST_F(EndToEnd, AnsweringNoKeepsTheOldValuesAndTheFlagIsRestored)
{
    auto setup = SampleWithConnection();
    const std::string before = rurorade::SaveSetupText(*setup);
    g_bKufSinusoidalMode = 7;
    Run<CTestRL>(setup.get(), drivesim::DefaultMotor(), drivesim::Fault::None,
                 "click 10000\nwait 5000\nanswer no\ncancel\n");
    EXPECT_EQ(g_bKufSinusoidalMode, 7);
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before);
}

}  // namespace
