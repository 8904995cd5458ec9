// The current and speed tuning tests on the simulated drive: after "Tune" the loops the drive runs
// with the module's registers have the natural frequency and damping that were asked for (checked
// against the continuous-time loop of the motor model's own R, L and inertia), gains written
// during a run reach the drive in order, and the pages, the profile and the scope behave.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

#include "commissioning/current_tuning.h"
#include "commissioning/speed_tuning.h"
#include "drivesim/simulated_drive.h"
#include "script_session.h"
#include "wiring_link.h"
#include "zekhost/response_analysis.h"

namespace {

using zekhost::FitLoop;
using zekhost::LoopModel;

class ControllerTuning : public zektest::DialogTest {
protected:
    // The default sample with the motor's true R, L, bus voltage and inertia, as the
    // identification tests leave it, and `values` (base units) on top.
    std::unique_ptr<CMC_Setup> MakeSetup(const std::map<std::string, double>& values,
                                         const std::map<std::string, std::string>& options = {})
    {
        auto json = zektest::SampleJson();
        const drivesim::MotorModel m = drivesim::DefaultMotor();
        std::map<std::string, double> all = {{"R", m.resistance}, {"L", m.inductance}, {"Vdc", m.vdc},
                                             {"Jt", m.TotalInertia()}, {"K", m.torqueConstant}};
        for (const auto& [name, value] : values) all[name] = value;
        for (const auto& [name, value] : all) json["parameters"][name]["value"] = value;
        for (const auto& [name, text] : options) json["options"][name] = text;
        return zektest::SetupFromJson(json);
    }

    // Opens `Test` on `setup` with the drive attached and runs `script`; the logged points of the
    // run come back in `logged`.
    template <class Test>
    int Run(CMC_Setup* setup, const std::string& script, CGraphDocument* logged = nullptr,
            const std::function<void(zektest::Wiring&)>& wire = {})
    {
        drivesim::SimulatedDrive drive(setup, drivesim::DefaultMotor(), clock);
        zektest::Wiring wiring(setup, drive);
        if (wire) wire(wiring);
        return zektest::PlayScript(script, trace, [&] {
            Test test(setup, 1, nullptr);
            const int result = test.DoModal();
            if (logged && test.PlotLogger()) *logged = test.PlotLogger()->GetDocument();
            written = wiring.written;
            return result;
        });
    }

    static std::vector<double> Column(const CGraphDocument& d, std::size_t channel)
    {
        std::vector<double> c;
        for (const auto& p : d.points) c.push_back(p[channel]);
        return c;
    }

    std::ostringstream trace;
    std::vector<std::string> written;
};

const char* const kTuneAndRun = "select 1300 1\nclick 3149\nclick 10000\nwait 2000\nexpect-text 10001 \"Test succeeded\"\n";

TEST_F(ControllerTuning, CurrentLoopHasThePassbandAndDampingAskedFor)
{
    const drivesim::MotorModel m = drivesim::DefaultMotor();
    for (double passband : {1000.0, 2000.0, 4000.0}) {
        auto setup = MakeSetup({{"PB_C", passband}});
        CGraphDocument logged;
        g_bKufSinusoidalMode = 1;
        Run<CTestCurrent>(setup.get(), std::string(kTuneAndRun) + "ok\n", &logged);
        g_bKufSinusoidalMode = 0;
        ASSERT_GE(logged.points.size(), 50u) << passband;
        const auto fit = FitLoop(LoopModel::CurrentPi, {m.resistance, m.inductance}, Column(logged, 0),
                                 Column(logged, 1), Column(logged, 2), passband, std::sqrt(0.5));
        ASSERT_TRUE(fit.ok);
        EXPECT_NEAR(fit.omega, passband, 0.15 * passband);
        // The inverter's dead time adds damping the rule does not know of.
        EXPECT_NEAR(fit.zeta, std::sqrt(0.5), 0.25 * std::sqrt(0.5)) << passband;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("Imax_Prot"), setup->GetParameterValueInBaseUnit("TestProtectionCurrent"));
    }
}

// A 300 rpm step of the speed reference, well inside the current limit, with a passband far below
// the current loop's, so the continuous-time rule holds.
TEST_F(ControllerTuning, SpeedStepOvershootFollowsTheDampingAndTheInertia)
{
    const double truth = drivesim::DefaultMotor().TotalInertia();
    const std::map<std::string, double> step = {{"PB_S", 50},        {"KFFA_scl", 0},  {"KFFS_scl", 0},
                                                {"TestSpeed", 10 * M_PI}, {"TaPS", 5e-4}, {"TaNS", 5e-4},
                                                {"TPS", 0.3},       {"TNS", 0.1}, {"isMotorInertiaUnknown", 1}};
    auto overshoot = [&](double jt, double& ideal) {
        auto values = step;
        values["Jt"] = jt;
        auto setup = MakeSetup(values);
        CGraphDocument logged;
        Run<CTestSpeedTuning>(setup.get(), "select 1300 1\nclick 1390\nclick 10000\nwait 3000\n"
                                           "expect-text 10001 \"Test succeeded\"\nclick 10064\nok\n", &logged);
        const auto t = Column(logged, 0), speed = Column(logged, 2);
        auto reference = Column(logged, 1);
        const double target = reference[1];
        reference[0] = 0;  // at rest before the step
        double peak = 0;
        for (std::size_t k = 0; k < t.size() && t[k] < 0.3; ++k) peak = std::fmax(peak, speed[k]);
        // The continuous loop on the true inertia, with the gains the rule made for `jt`.
        const double w = 50 * std::sqrt(jt / truth), z = std::sqrt(0.5) * std::sqrt(jt / truth);
        const auto model = zekhost::SimulateLoop(LoopModel::SecondOrder, {}, w, z, t, reference);
        ideal = zekhost::MeasureStep(t, model, t[0], 0, target).overshootPercent;
        return (peak - target) / target * 100;
    };
    double idealTrue = 0, idealHalf = 0;
    const double atTruth = overshoot(truth, idealTrue), atHalf = overshoot(truth / 2, idealHalf);
    // Speeds are whole encoder counts per sample: 1 count is 4 % of this step.
    EXPECT_NEAR(atTruth, idealTrue, 6);
    EXPECT_NEAR(atHalf, idealHalf, 8);
    EXPECT_GT(atHalf, atTruth + 4);
}

TEST_F(ControllerTuning, GainsWrittenDuringARunReachTheDriveInOrderAndStopAtAFailure)
{
    // The gains are live on the on-line plot of a cyclic run.
    auto setup = MakeSetup({{"MultiCycleS", 1}, {"OnlinePlotS", 1}});
    const std::string during = "select 1300 1\nclick 10000\nwait 200\nset 1349 \"" +
                               FormatDisplayValue(setup->GetParameterValueInBaseUnit("Kp_S_scl") * 1.2) +
                               "\"\nclick 1390\nwait 100\nclick 10000\nwait 500\ncancel\n";
    Run<CTestSpeedTuning>(setup.get(), during);
    EXPECT_EQ(written, (std::vector<std::string>{"SFTKPS", "KPS", "SFTKPS", "KPS", "SFTKIS", "KIS"}));

    setup = MakeSetup({{"MultiCycleS", 1}, {"OnlinePlotS", 1}});
    Run<CTestSpeedTuning>(setup.get(), "select 1300 1\nclick 10000\nwait 200\nclick 1390\nwait 100\nclick 10000\nwait 500\ncancel\n",
                          nullptr, [](zektest::Wiring& w) { w.failingWrite = "KPS"; });
    EXPECT_EQ(written, (std::vector<std::string>{"SFTKPS", "KPS"})) << "nothing after the failed write";

    // Nothing is written while no test runs.
    setup = MakeSetup({});
    Run<CTestCurrent>(setup.get(), "select 1300 1\nclick 3149\ncancel\n");
    EXPECT_TRUE(written.empty());
}

TEST_F(ControllerTuning, TheTestPageNeedsAProtectionAboveTheTestCurrent)
{
    auto setup = MakeSetup({{"TestCurrent", 3}, {"TestProtectionCurrent", 2}});
    Run<CTestCurrent>(setup.get(), "select 1300 1\nexpect-message \"Over current protection must be greater or equal to "
                                   "Test current.\"\nexpect-visible 1005\nexpect-hidden 3149\ncancel\n");
    setup = MakeSetup({{"TestLimitCurrent", 3}, {"TestProtectionCurrent", 2}});
    Run<CTestSpeedTuning>(setup.get(), "select 1300 1\nexpect-message \"Over current protection must be greater or "
                                       "equal to I limit.\"\nexpect-hidden 1390\ncancel\n");
    // Leaving the running test's page is refused.
    setup = MakeSetup({{"MultiCycleS", 1}});
    Run<CTestSpeedTuning>(setup.get(), "select 1300 1\nclick 10000\nwait 100\nselect 1300 0\nexpect-visible 1390\n"
                                       "click 10000\nwait 500\ncancel\n");
}

TEST_F(ControllerTuning, AProfileThatDoesNotFitFailsBeforeAnythingReachesTheDrive)
{
    auto setup = MakeSetup({{"TaPS", 1e-5}});
    Run<CTestSpeedTuning>(setup.get(), "select 1300 1\nclick 10000\nwait 200\nexpect-text 10001 \"Test failed\"\nclick 10003\n"
                                       "expect-message \"Reference variation between two consecutive points is too big "
                                       "(slope overflow).\"\ncancel\n");
}

TEST_F(ControllerTuning, TheScopeDrawsACyclicRunAndItsLayoutIsKeptInTheSetup)
{
    auto setup = MakeSetup({{"MultiCycleS", 1}, {"OnlinePlotS", 1}}, {{"hasOscilloscope", "1"}});
    setup->ClearOption("SpeedTuningOscSettings");
    int drawn = 0;
    {
        drivesim::SimulatedDrive drive(setup.get(), drivesim::DefaultMotor(), clock);
        const int result = zektest::PlayScript("select 1300 1\nclick 10000\nwait 1500\nclick 10000\nwait 100\n"
                                               "expect-text 10001 \"Test succeeded\"\nclick 10064\nok\n",
                                               trace, [&] {
                                                   CTestSpeedTuning test(setup.get(), 1, nullptr);
                                                   const int modal = test.DoModal();
                                                   drawn = test.ScopeLogger()->GetPointsNo();
                                                   EXPECT_GT(test.ScopeLogger()->GetDocument().points.size(), 100u);
                                                   return modal;
                                               });
        EXPECT_EQ(result, rurorade::IDOK) << trace.str();
    }
    EXPECT_GT(drawn, 0);
    const std::string stored = setup->GetOptionNoError("SpeedTuningOscSettings");
    ASSERT_FALSE(stored.empty()) << "autoscaled after the run: the layout is the person's now";
    CMC_ScopeLogger reloaded(setup.get(), nullptr);
    ASSERT_EQ(reloaded.LoadSettingsFromSetupOption("SpeedTuningOscSettings"), 1);
    EXPECT_EQ(reloaded.LayoutJson(), stored);
    // Frames that are not scope frames or claim more than they hold are left alone.
    const std::uint16_t foreign[] = {1, 0, 0x1234, 7};
    const std::uint16_t overlong[] = {40, 0, 0xE900, 0, 0};
    EXPECT_EQ(CProfileTuningTest::OnUnsolicitedMessage(foreign, 4), 0xE900);
    EXPECT_EQ(CProfileTuningTest::OnUnsolicitedMessage(overlong, 5), 0xE900);
}

}  // namespace
