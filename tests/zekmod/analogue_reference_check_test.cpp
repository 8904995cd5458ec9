// Analogue reference test against the simulated drive: the input set on the bench comes back
// through the drive's converter as a voltage and as a command at both ends of its range.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>
#include <tuple>

#include "commissioning/analogue_reference_check.h"
#include "drivesim/simulated_drive.h"
#include "rurorade/dialog_template.h"
#include "script_session.h"

namespace {

using drivesim::Fault;
using T = CTestAnalogueRef;

class AnalogueReference : public zektest::DialogTest {
protected:
    // The default sample with its analogue input range and control mode set.
    static std::unique_ptr<CMC_Setup> MakeSetup(double range, double controlMode,
                                                const std::map<std::string, double>& values = {}, bool withAd5 = true)
    {
        auto json = zektest::SampleJson();
        if (!withAd5) json["variables"].erase("AD5");
        json["parameters"]["AnalogueInputsRange"]["value"] = range;
        json["parameters"]["ControlMode"]["value"] = controlMode;
        for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
        return zektest::SetupFromJson(json);
    }

    // Runs the test with `script` on a noiseless converter; afterwards `axisOn` tells whether the
    // drive's power stage was left on.
    int Run(CMC_Setup* setup, const std::string& script, Fault fault = Fault::None)
    {
        drivesim::SimulatedDrive drive(setup, drivesim::DefaultMotor(), clock);
        drive.SetNoise(0);
        drive.SetFault(fault);
        const int result = zektest::PlayScript(script, trace, [&] {
            test = std::make_unique<T>(setup, nullptr);
            return test->DoModal();
        });
        axisOn = true;
        drive.SetFault(Fault::None);
        EXPECT_TRUE(drive.GetAxisOn(axisOn));
        return result;
    }

    std::ostringstream trace;
    std::unique_ptr<T> test;
    bool axisOn = true;
};

// 10-bit codes 0 and 1023 read 0 and 65472: the lower and upper limits of both scales. A range of
// 10 V (neither 20 nor 5) gives the 0 to 3.3 V scale; the converter sees 0 to 10 V.
TEST_F(AnalogueReference, BothEndsOfTheInputGiveTheLimits)
{
    const struct {
        double range, mode, volts;
        const char *voltage, *command, *name, *unit;
    } cases[] = {
        {20, 2, -10, "-10.00", "-10.00", "Current command", "A"},
        {20, 2, 10, "10.00", "10.00", "Current command", "A"},
        {5, 0, 0, "0.00", "-3.00", "Position command", "rot"},  // +-18.85 rad in turns
        {5, 0, 5, "5.00", "3.00", "Position command", "rot"},
        {10, 1, 0, "0.00", "-3000.00", "Speed command", "rpm"},  // +-314.16 rad/s
        {10, 1, 10, "3.30", "3000.00", "Speed command", "rpm"},
        {5, 2, 2.5, "2.50", "0.01", "Current command", "A"},  // code 512: 32768 counts
        {20, 3, 10, "10.00", "10.00", "Current command", "A"},  // other modes scale like the drive: current
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup(c.range, c.mode);
        const std::string before = rurorade::SaveSetupText(*setup);
        char script[600];
        std::snprintf(script, sizeof script,
                      "analogue %g\nclick 10000\nexpect-text 10001 \"Running test\"\nwait 100\n"
                      "expect-text 1010 \"%s\"\nexpect-text 1011 \"%s\"\nexpect-text 4051 \"%s\"\n"
                      "expect-text 1016 \"V\"\nexpect-text 1017 \"%s\"\nclick 10000\nwait 40\n"
                      "expect-text 10001 \"Test succeeded\"\ncancel\n",
                      c.volts, c.voltage, c.command, c.name, c.unit);
        EXPECT_EQ(Run(setup.get(), script), rurorade::IDCANCEL);
        EXPECT_EQ(test->VoltageBar().Value(), std::stod(c.voltage)) << c.volts;
        EXPECT_EQ(test->CommandBar().Value(), std::stod(c.command)) << c.volts;
        EXPECT_FALSE(axisOn) << "the monitoring program is stopped with the run";
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before);
    }
}

TEST_F(AnalogueReference, BarsAreDrawnFromZeroOrTheLowerLimit)
{
    const struct {
        double range, min, max;
        double voltageLower, voltageUpper, voltageReference, commandReference;
    } cases[] = {
        {20, 0, 100, -10, 10, 0, 0},
        {5, 10, 100, 0, 5, 0, 10},
        {3, -50, 50, 0, 3.3, 0, 0},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup(c.range, 2, {{"CRT_min", c.min}, {"CRT_max", c.max}});
        Run(setup.get(), "expect-text 1010 \"\"\nexpect-text 1011 \"\"\ncancel\n");
        const rurorade::CBarGraph &voltage = test->VoltageBar(), &command = test->CommandBar();
        EXPECT_EQ(std::tuple(voltage.Min(), voltage.Max(), voltage.Reference(), voltage.ControlId()),
                  std::tuple(c.voltageLower, c.voltageUpper, c.voltageReference, 1014));
        EXPECT_EQ(std::tuple(command.Min(), command.Max(), command.Reference(), command.ControlId()),
                  std::tuple(c.min, c.max, c.commandReference, 1015));
    }
}

// Only a short circuit stops the monitoring; the reading itself must reach the drive.
TEST_F(AnalogueReference, Failures)
{
    const struct {
        Fault fault;
        bool withAd5;
        const char* checks;
    } cases[] = {
        {Fault::ShortCircuit, true,
         "expect-text 10001 \"Test failed\"\nclick 10003\nexpect-message \"Drive / Motor shortcircuit protection triggered.\"\n"},
        {Fault::EnableOff, true, "expect-text 10001 \"Running test\"\nexpect-text 1010 \"10.00\"\nclick 10000\nwait 40\n"
                                 "expect-text 10001 \"Test succeeded\"\n"},
        {Fault::DeadLink, true, "expect-text 10001 \"Test failed\"\n"},
        {Fault::None, false, "expect-text 10001 \"Test failed\"\n"},
    };
    for (const auto& c : cases) {
        auto setup = MakeSetup(20, 2, {}, c.withAd5);
        Run(setup.get(), std::string("analogue 10\nclick 10000\nwait 100\n") + c.checks + "cancel\n", c.fault);
        EXPECT_FALSE(axisOn) << drivesim::FaultName(c.fault);
    }
    EXPECT_EQ(test->m_strError, CMC_TestDlg::msc_pszErrInternal) << "without the AD5 variable";
}

TEST_F(AnalogueReference, TemplateAndHelp)
{
    const rurorade::DialogTemplate* t = rurorade::FindDialogTemplate(104);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, "Analogue Reference Test");
    EXPECT_EQ(t->controls.front().text,
              "Checks the operation of the analogue reference signal, and its signifiance, as correlated to the control "
              "type and limits.");
    for (int id : {1010, 1011, 1014, 1015, 1016, 1017, 1377, 4050, 4051, 10024})
        EXPECT_TRUE(std::any_of(t->controls.begin(), t->controls.end(), [&](const auto& c) { return c.id == id; })) << id;
    auto setup = MakeSetup(20, 2);
    Run(setup.get(), "click 10024\ncancel\n");
    EXPECT_NE(trace.str().find("context " + std::to_string(0x40104)), std::string::npos) << trace.str();
}

// The widget's painted bar: from the reference to the value, clipped to the range.
TEST(BarGraph, PaintedShares)
{
    const struct {
        double min, max, value;
        double reference, start, end;
    } cases[] = {
        {-10, 10, 5, 0, 0.5, 0.75}, {10, 100, 55, 10, 0, 0.5},  {-50, 50, -75, 0, 0.5, 0},
        {0, 5, 9, 0, 0, 1},         {3, 3, 3, 3, 0, 0},         {-1, 1, std::nan(""), 0, 0.5, 0.5},
    };
    for (const auto& c : cases) {
        rurorade::CBarGraph bar;
        bar.SetRange(c.min, c.max);
        bar.SetValue(c.value);
        EXPECT_EQ(std::tuple(bar.Reference(), bar.StartShare(), bar.EndShare()), std::tuple(c.reference, c.start, c.end))
            << c.min << " " << c.max << " " << c.value;
    }
}

}  // namespace
