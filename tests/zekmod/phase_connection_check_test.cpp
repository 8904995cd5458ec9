// Motor phase connection test against the simulated drive: a sound star winding carries the test
// current in phase A and minus half of it in phase B; wiring faults fail the run.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commissioning/phase_connection_check.h"
#include "drivesim/simulated_drive.h"
#include "script_session.h"
#include "wiring_link.h"

namespace {

using zektest::Wiring;

class PhaseConnection : public zektest::DialogTest {
protected:

    // The sample setup lacks the drive variable of phase B's current.
    static std::unique_ptr<CMC_Setup> PhaseSetup()
    {
        auto json = zektest::SampleJson();
        json["variables"]["var_i2"] = nlohmann::ordered_json::object();
        return zektest::SetupFromJson(json);
    }

    // Runs the dialog with `script`; `inspect` sees the dialog after it has closed.
    void Run(const drivesim::MotorModel& motor, drivesim::Fault fault, const std::string& script,
             const std::function<void(CTestPhaseConnections&)>& inspect = {},
             const std::function<void(CMC_Variable&)>& afterRead = {})
    {
        drivesim::SimulatedDrive drive(setup.get(), motor, clock);
        drive.SetFault(fault);
        Wiring wiring(setup.get(), drive);
        wiring.afterRead = afterRead;
        zektest::PlayScript(script, trace, [&] {
            CTestPhaseConnections test(setup.get(), nullptr);
            EXPECT_EQ(test.DoModal(), rurorade::IDCANCEL);
            if (inspect) inspect(test);
            return 0;
        });
    }

    std::unique_ptr<CMC_Setup> setup = PhaseSetup();
    std::ostringstream trace;
};

std::string TestCurrentScript(double amperes, const std::string& checks)
{
    std::ostringstream s;
    s << "set 1005 \"" << amperes << "\"\nclick 10000\nwait 3000\n" << checks << "cancel\n";
    return s.str();
}

// `text` as a quoted word of a script.
std::string Quoted(const std::string& text)
{
    std::string out = "\"";
    for (char ch : text) {
        if (ch == '\n')
            out += "\\n";
        else if (ch == '\t')
            out += "\\t";
        else if (ch == '"' || ch == '\\')
            out += std::string("\\") + ch;
        else
            out += ch;
    }
    return out + "\"";
}

const char* const kFailedDetails = "expect-text 10001 \"Test failed\"\nclick 10003\n";
const char* const kEvaluationFailure =
    "Possible causes of failure:\n\t- one of the motor phases is disconnected\n\t- the motor phases are unbalanced "
    "(they do not have the same resistance)\n\t- the test current isn't high enough.\nPlease check the motor phase "
    "connections to the drive and repeat the test. If the test fails and the connections are OK, increase the test "
    "current value.";

// Swapping phases B and C cannot show here: a current along phase A divides equally into B and C
// whichever way round they are connected.
TEST_F(PhaseConnection, SoundWindingsCarryTheTestCurrentInAAndMinusHalfOfItInB)
{
    struct Case {
        double r, l, vdc, testCurrent;
        drivesim::Fault fault;
    } cases[] = {
        {1.12, 1.45e-3, 46.3, 2.5, drivesim::Fault::None},
        {0.35, 0.4e-3, 24.0, 4.0, drivesim::Fault::None},
        {4.7, 12e-3, 80.0, 1.0, drivesim::Fault::None},
        {0.9, 1.2e-3, 48.0, 2.0, drivesim::Fault::None},
        {1.12, 1.45e-3, 46.3, 2.0, drivesim::Fault::PhasesSwapped},
    };
    for (const Case& c : cases) {
        setup = PhaseSetup();
        const std::string before = rurorade::SaveSetupText(*setup);
        drivesim::MotorModel motor = drivesim::DefaultMotor();
        motor.resistance = c.r;
        motor.inductance = c.l;
        motor.vdc = c.vdc;
        Run(motor, c.fault, TestCurrentScript(c.testCurrent, "expect-text 10001 \"Test succeeded\"\n"),
            [&](CTestPhaseConnections& test) {
                const double ia = test.MeasuredIA(), ib = test.MeasuredIB();
                // The drive finds the test current again from the preliminary run's reference, the
                // command at which a tenth of it flowed; the converters' noise limits that.
                EXPECT_NEAR(ia, c.testCurrent, 0.15 * c.testCurrent) << c.r;
                EXPECT_NEAR(ib, -ia / 2, 0.03 * ia + 0.01) << c.r;
                char text[32];
                std::snprintf(text, sizeof text, "%.3G", ia);
                EXPECT_EQ(test.GetChildText(CTestPhaseConnections::kIAEdit), text);
                std::snprintf(text, sizeof text, "%.3G", ib);
                EXPECT_EQ(test.GetChildText(CTestPhaseConnections::kIBEdit), text);
                // The bars span half as much again as the test current the drive was given.
                const double itest = std::trunc(c.testCurrent * 1638) / 1638;
                EXPECT_DOUBLE_EQ(test.BarA().Max(), 1.5 * itest);
                EXPECT_DOUBLE_EQ(test.BarB().Min(), -1.5 * itest);
                EXPECT_EQ(test.BarA().Value(), ia);
                EXPECT_EQ(test.BarB().Value(), ib);
                EXPECT_EQ(test.BarB().ControlId(), CTestPhaseConnections::kIBBar);
            });
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << "the test writes nothing";
    }
}

TEST_F(PhaseConnection, FaultsFail)
{
    struct Case {
        drivesim::Fault fault;
        const char* checks;
    } cases[] = {
        // No current flows along phase A, so the preliminary run finds nothing.
        {drivesim::Fault::OpenPhase, "expect-message \"The preliminary test did not find a valid result. Check the "
                                     "motor connections and try again.\"\n"},
        {drivesim::Fault::ShortCircuit, "expect-message \"Drive / Motor shortcircuit protection triggered.\"\n"},
        {drivesim::Fault::DeadLink, "expect-message \"Cannot write the user variable \\\"In1\\\" of the drive program "
                                    "\\\"Initial_Positioning_Test\\\": The drive does not answer.\"\n"},
        {drivesim::Fault::EnableOff, "expect-message \"Drive / Motor ENABLE input is in DISABLED state.\"\n"},
    };
    for (const Case& c : cases) {
        setup = PhaseSetup();
        Run(drivesim::DefaultMotor(), c.fault, TestCurrentScript(2.0, std::string(kFailedDetails) + c.checks));
    }
}

// Hand-worked limits of the pass conditions, with a test current of 2 A.
TEST_F(PhaseConnection, PassConditions)
{
    struct Case {
        double ia, ib;
        bool pass;
    } cases[] = {
        {2.0, -1.0, true},  {2.0, -0.8, false}, // ratio exactly 2.5
        {1.2, -0.6, false},                     // IA exactly 0.6 Itest
        {2.9, -1.5, false},                     // above 1.4 Itest
        {2.0, 0.0, false},  {2.0, -0.0, false}, // no current in B: no division
        {-2.0, 1.0, false},                     // ratio 2, signs wrong
        {2.7, -1.35, true}, {1.3, -0.6, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(CTestPhaseConnections::PhaseCurrentsPass(c.ia, c.ib, 2.0), c.pass) << c.ia << " " << c.ib;
}

// The drive's counts are rounded to two decimals of an ampere before the checks.
TEST_F(PhaseConnection, MeasuredCurrentsAreRoundedBeforeTheChecks)
{
    struct Case {
        double ia, ib; // what the drive reports, A
        const char* iaText;
        const char* ibText;
    } cases[] = {
        {1.2049, -0.6, "1.2", "-0.6"}, // 1.2 is not above 0.6 Itest
        {2.0, 0.004, "2", "0"},        // IB rounds to 0
    };
    for (const Case& c : cases) {
        setup = PhaseSetup();
        Run(drivesim::DefaultMotor(), drivesim::Fault::None,
            TestCurrentScript(2.0, std::string(kFailedDetails) + "expect-message " + Quoted(kEvaluationFailure) +
                                       "\nexpect-text 1020 \"" + c.iaText + "\"\nexpect-text 1022 \"" + c.ibText +
                                       "\"\n"),
            {}, [&](CMC_Variable& v) {
                if (v.GetName() == "var_i1") v.SetValueInInternalUnit(c.ia * 1638);
                if (v.GetName() == "var_i2") v.SetValueInInternalUnit(c.ib * 1638);
            });
    }
}

} // namespace
