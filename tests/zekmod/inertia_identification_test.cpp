// Total inertia identification against the simulated drive: `Jt` must come out as the model's
// motor plus load inertia with friction on; faults and unusable reports fail with the test's
// texts and leave `Jt` as it was.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commissioning/inertia_identification.h"
#include "drivesim/simulated_drive.h"
#include "engine/encode_drive_config.h"
#include "engine/unit_scaling.h"
#include "rurorade/dialog_template.h"
#include "script_session.h"
#include "wiring_link.h"

namespace {

using drivesim::Fault;
using drivesim::MotorModel;
using T = CTotalInertiaTest;

const char* const kIdentification = "Total_Inertia_Identification_Test";
const char* const kRunAndKeep = "click 10000\nwait 5000\nexpect-text 10001 \"Test succeeded\"\nanswer yes\ncancel\n";

// A motor on the bench and the setup that describes it.
struct Bench {
    double inertia, loadInertia, torqueConstant, resistance, inductance;
    int polePairs, encoderLines;
    double testCurrent, maxSpeed;  // A, rad/s
    double coulombFriction = 5e-3, viscousFriction = 1e-5;

    MotorModel Motor() const
    {
        MotorModel m = drivesim::DefaultMotor();
        m.inertia = inertia, m.loadInertia = loadInertia, m.torqueConstant = torqueConstant;
        m.resistance = resistance, m.inductance = inductance, m.polePairs = polePairs, m.encoderLines = encoderLines;
        m.coulombFriction = coulombFriction, m.viscousFriction = viscousFriction;
        return m;
    }
};

const Bench kDefaultBench{6e-5, 0, 0.1, 1.12, 1.45e-3, 4, 2500, 2.5, 160};

class TotalInertia : public zektest::DialogTest {
protected:

    // The default sample describing the bench's motor, its registers encoded.
    static std::unique_ptr<CMC_Setup> SetupFor(const Bench& b, const std::map<std::string, double>& values = {})
    {
        auto json = zektest::SampleJson();
        auto& p = json["parameters"];
        p["pp"]["value"] = b.polePairs;
        p["No_encoder_lines"]["value"] = b.encoderLines;
        p["K"]["value"] = b.torqueConstant;
        p["R"]["value"] = b.resistance;
        p["L"]["value"] = b.inductance;
        p["TestCurrent"]["value"] = b.testCurrent;
        p["TestMaxSpeed"]["value"] = b.maxSpeed;
        for (const auto& [name, value] : values) p[name]["value"] = value;
        auto setup = zektest::SetupFromJson(json);
        EncodeRegisters(setup.get());
        return setup;
    }

    // Runs the test on `setup` with the bench's motor; `reported` replaces what the program reports.
    int Run(CMC_Setup* setup, const Bench& bench, const std::string& script, Fault fault = Fault::None,
            const std::map<std::string, double>& reported = {})
    {
        drivesim::SimulatedDrive drive(setup, bench.Motor(), clock);
        drive.SetFault(fault);
        zektest::Wiring link(setup, drive);  // the identification program reports `reported`
        link.afterUserRead = [&](const std::string& program, const std::string& name, double& value) {
            if (program == kIdentification && reported.count(name)) value = reported.at(name);
        };
        const int result = zektest::PlayScript(script, trace, [&] {
            T test(setup, nullptr);
            const int modal = test.DoModal();
            errorText = test.m_strError;
            return modal;
        });
        return result;
    }
    bool Asked() const { return trace.str().find("message ") != std::string::npos; }

    std::ostringstream trace;
    std::string errorText;
};

// Pole pairs 2 to 7, several encoders, load inertia up to four times the rotor's, default
// friction (5 mNm Coulomb, 1e-5 Nm s/rad viscous). Accelerating alone, friction would make J
// too large by Tf / (K I - Tf), 2.3 % on the default motor; accelerating and braking over the same
// speed band leaves (Tf / K I)^2, below 0.5 % here.
TEST_F(TotalInertia, RecoversMotorPlusLoadInertia)
{
    const Bench benches[] = {
        kDefaultBench,
        {6e-5, 0, 0.1, 1.12, 1.45e-3, 4, 2500, 1.0, 160},
        {6e-5, 2.4e-4, 0.2, 0.6, 2.5e-3, 2, 1000, 3, 120},
        {2e-5, 0, 0.05, 0.35, 0.4e-3, 5, 2048, 4, 300},
        {1.5e-5, 3e-5, 0.05, 2.5, 3e-3, 7, 4096, 2, 250},
    };
    for (const Bench& b : benches) {
        auto setup = SetupFor(b);
        EXPECT_EQ(Run(setup.get(), b, kRunAndKeep), rurorade::IDOK);
        const double truth = b.Motor().TotalInertia();
        EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Jt"), truth, 0.02 * truth) << b.polePairs << " pole pairs";
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("Imax_Prot"), setup->GetParameterValueInBaseUnit("TestProtectionCurrent"));
    }
}

// With heavy Coulomb friction the sum of both runs still holds K I (t1 + t2) = 2 J dw * (K I)^2 /
// ((K I)^2 - Tf^2): J comes out too large by exactly that second-order factor, not by Tf / (K I - Tf).
TEST_F(TotalInertia, FrictionLeavesASecondOrderBias)
{
    Bench b = kDefaultBench;
    b.coulombFriction = 0.075, b.viscousFriction = 0;  // 30 % of K I
    auto setup = SetupFor(b);
    Run(setup.get(), b, kRunAndKeep);
    const double expected = b.Motor().TotalInertia() / (1 - 0.3 * 0.3);
    EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Jt"), expected, 0.02 * expected);
}

// What the program reports, and what the test makes of it: `Jt` keeps its value on every failure.
TEST_F(TotalInertia, EvaluationOfTheReports)
{
    const std::string negative = T::kNegativeSpeedText;
    const struct {
        double flag, samples, change;
        std::string error;  // empty: J is stored
    } cases[] = {
        {0, 100, 50, negative.substr(0, negative.size() - 1)},  // the protection stopped the run
        {-1, -1, 0, negative.substr(0, negative.size() - 1)},
        {1, -1, 0, negative},
        {1, -2, 0, T::kZeroSpeedText},
        {1, 0, 0, T::kSpeedNotReachedText},
        {1, -3, 0, T::kSpeedNotReachedText},
        {1, 100, 0, T::kSpeedNotReachedText},   // no speed change: nothing to divide by
        {1, 100, -50, T::kSpeedNotReachedText},  // a negative inertia
        {1, 100, 0.005, "The measured total inertia, 1.98944 kg*m^2, lies outside the limits of \"Jt\" (0 to 1 kg*m^2). The setup keeps its value."},
        {1, 100, 50, ""},
    };
    for (const auto& c : cases) {
        auto setup = SetupFor(kDefaultBench);
        Run(setup.get(), kDefaultBench, "click 10000\nwait 5000\ncancel\n", Fault::None,
            {{"test_flag", c.flag}, {"delta_time", c.samples}, {"delta_speed", c.change}});
        EXPECT_EQ(errorText, c.error) << c.samples << " " << c.change;
        if (c.error.empty()) {
            // 2.5 A * 0.1 Nm/A for 100 * 0.5 ms gave 50 counts per 0.5 ms, 62.83 rad/s at 10000 counts a turn.
            EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Jt"), 0.25 * 0.05 / (50 * 2000 * 2 * kPi / 10000), 1e-9);
        } else {
            EXPECT_EQ(setup->GetParameterValueInBaseUnit("Jt"), 0.00012) << c.error;
            EXPECT_FALSE(Asked()) << c.error;
        }
    }
}

// Wiring faults reach the test's texts through the same evaluation as a good run.
TEST_F(TotalInertia, FaultsFailWithTheirTexts)
{
    const std::string negative = T::kNegativeSpeedText;
    const struct {
        Fault fault;
        std::string error;
        double protection = 18;  // A
        double maxSpeed = 160;   // rad/s
    } cases[] = {
        {Fault::EncoderSwapped, negative},
        {Fault::PhasesSwapped, negative},
        {Fault::LockedRotor, T::kZeroSpeedText},
        {Fault::EncoderAMissing, T::kZeroSpeedText},
        {Fault::None, T::kSpeedNotReachedText, 18, 600},  // beyond what the bus allows against the back-EMF
        {Fault::None, T::kZeroSpeedText, 18, 30},  // the limit comes before the current has settled
        {Fault::None, negative.substr(0, negative.size() - 1), 2.5},  // the over-current protection trips
        {Fault::ShortCircuit, "Drive / Motor shortcircuit protection triggered."},
        {Fault::EnableOff, "Drive / Motor ENABLE input is in DISABLED state."},
        {Fault::LimitPositive, "Drive / Motor stopped due to positive limit switch input triggered."},
        {Fault::OpenPhase, CMC_TestDlg::msc_pszErrInZero},
        {Fault::DeadLink, "Cannot write the user variable \"In1\" of the drive program \"Initial_Positioning_Test\": The drive does not answer."},
    };
    for (const auto& c : cases) {
        auto setup = SetupFor(kDefaultBench, {{"TestProtectionCurrent", c.protection}, {"TestMaxSpeed", c.maxSpeed}});
        EXPECT_EQ(Run(setup.get(), kDefaultBench, "click 10000\nwait 15000\nexpect-text 10001 \"Test failed\"\ncancel\n", c.fault),
                  rurorade::IDCANCEL);
        EXPECT_EQ(errorText, c.error) << drivesim::FaultName(c.fault);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("Jt"), 0.00012);
        EXPECT_FALSE(Asked());
    }
}

TEST_F(TotalInertia, ATestCurrentAboveTheProtectionDoesNotStart)
{
    auto setup = SetupFor(kDefaultBench, {{"TestProtectionCurrent", 2.4}});
    Run(setup.get(), kDefaultBench, R"S(
        click 10000
        expect-message "I protection must be greater or equal to Test current."
        expect-text 10001 ""
        set 3265 "3.5"
        click 10000
        wait 5000
        expect-text 10001 "Test succeeded"
        answer no
        cancel
    )S");
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Jt"), 0.00012);
}

// Cancel keeps the dialog open, No puts the old value back; values that print alike ask nothing.
TEST_F(TotalInertia, ClosingQuestion)
{
    auto setup = SetupFor(kDefaultBench);
    const std::map<std::string, double> reported = {{"test_flag", 1}, {"delta_time", 100}, {"delta_speed", 50}};
    EXPECT_EQ(Run(setup.get(), kDefaultBench, R"S(
        click 10000
        wait 5000
        answer cancel
        cancel
        expect-dialog 3041
        expect-param Jt 0.000198943678865
        answer no
        cancel
    )S", Fault::None, reported),
              rurorade::IDCANCEL);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Jt"), 0.00012);
    EXPECT_EQ(rurorade::UiContext::Get().LastMessage(),
              "A different value than specified has been detected for the following parameter(s):\r\n\r\n"
              "Total inertia:\tOld = 0.00012\tNew = 0.000198944\r\n\r\nDo you want to save the new value(s)? (Recommended)");
    const std::string steps = "status \"Launching code for preliminary test\"\nstatus \"Waiting preliminary test to be finished\"\n"
                              "status \"Launching code for J test\"\nstatus \"Waiting J test to be finished\"\nstatus \"Test succeeded\"\n";
    EXPECT_NE(trace.str().find(steps), std::string::npos) << trace.str();

    auto same = SetupFor(kDefaultBench, {{"Jt", 0.000198944}});
    EXPECT_EQ(Run(same.get(), kDefaultBench, "click 10000\nwait 5000\nexpect-text 10001 \"Test succeeded\"\ncancel\n",
                  Fault::None, reported),
              rurorade::IDCANCEL);
    EXPECT_FALSE(Asked()) << trace.str();
}

TEST_F(TotalInertia, TemplateAndHelp)
{
    const rurorade::DialogTemplate* t = rurorade::FindDialogTemplate(3041);
    ASSERT_TRUE(t);
    EXPECT_EQ(t->title, "Total inertia test");
    std::map<int, std::string> texts;
    for (const rurorade::ControlTemplate& c : t->controls) texts[c.id] = c.text;
    const std::map<int, std::string> expected = {
        {1376, "Identifies the total inertia (motor + load) seen at the motor shaft"}, {4000, "Test current"},
        {4001, "- Current value used during the test"}, {4002, "I protection"}, {4003, "- Over current protection level"},
        {4004, "Max. speed"}, {4005, "- Maximal motor speed"}, {4006, "J total = "}, {10024, "Help"},
        {1005, ""}, {1017, ""}, {3263, ""}, {3264, ""}, {3265, ""}, {3266, ""}, {3267, ""}, {3268, ""}};
    EXPECT_EQ(texts, expected);
    auto setup = SetupFor(kDefaultBench);
    Run(setup.get(), kDefaultBench, "expect-text 3263 \"\"\nclick 10024\ncancel\n");
    EXPECT_NE(trace.str().find("context " + std::to_string(0x40111)), std::string::npos) << trace.str();
}

}  // namespace
