// Position and electric angle controller tuning dialogs, end to end against the simulated drive.
#include <gtest/gtest.h>

#include <sstream>

#include "commissioning/angle_tuning.h"
#include "commissioning/position_tuning.h"
#include "commissioning/speed_tuning.h"
#include "drivesim/simulated_drive.h"
#include "engine/encode_drive_config.h"
#include "rurorade/numeric.h"
#include "script_session.h"

namespace {

// The sample setups' load: one revolution of a 2500-line encoder, counted on every edge, no gearing.
constexpr double kCountsPerRevolution = 4 * 2500;
constexpr double kSpeedLoopTs = 500e-6, kCurrentLoopTs = 50e-6;  // s

class PositionAngleTuning : public zektest::DialogTest {
protected:
    void Open(const char* file)
    {
        drive.reset();  // it detaches from the setup it was attached to
        setup = zektest::SampleSetup(file);
        drive = std::make_unique<drivesim::SimulatedDrive>(setup.get(), motor, clock);
    }
    void Set(const char* name, double value) { setup->SetParameterValueInBaseUnit(name, value); }
    double Get(const char* name) { return setup->GetParameterValueInBaseUnit(name); }
    int Run(CMC_EditSetupDlg& dialog, const std::string& script)
    {
        return zektest::PlayScript(script, trace, [&] { return dialog.DoModal(); });
    }

    drivesim::MotorModel motor = drivesim::DefaultMotor();
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<drivesim::SimulatedDrive> drive;  // after `setup`: detached first
    std::ostringstream trace;
};

// One revolution out in 0.2 s and back, each plateau held 0.3 s, tuned by "Tune" on the true inertia:
// the load stands on both plateaus at the end of their holds. Through the speed loop the
// tuned position loop has no derivative term at all.
TEST_F(PositionAngleTuning, PositionLoopSettlesOnBothPlateausWithAndWithoutTheSpeedLoop)
{
    for (double type : {1.0, 0.0}) {
        Open("default.json");
        Set("PositionControlType", type);
        Set("Jt", motor.TotalInertia());
        Set("TestPosition", 2 * 3.141592653589793);  // rad
        Set("TaPP", 0.2), Set("TaNP", 0.2), Set("TPP", 0.3), Set("TNP", 0.3);
        Set("PB_P", 40);  // rad/s: keeps the following error within the drive's 1000-count window
        EncodeRegisters(setup.get());
        {
            CTestSpeedTuning speed(setup.get(), 1, nullptr);  // the speed loop is tuned first
            EXPECT_EQ(Run(speed, "select 1300 1\nclick 1390\nok\n"), rurorade::IDOK);
        }
        EncodeRegisters(setup.get());
        CTestPositionTuning test(setup.get(), 1, nullptr);
        EXPECT_EQ(Run(test, "select 1300 1\nclick 1390\nclick 10000\nwait 3000\nok\n"), rurorade::IDOK);
        EXPECT_EQ(test.m_nResult, 1) << test.m_strError;
        const auto& points = test.DataLogger()->GetDocument().points;
        ASSERT_EQ(points.size(), 2000u) << type;
        // Ends of the two holds: 0.2 s ramp + 0.3 s, and the whole profile (1 s, the log's length).
        for (const auto& [seconds, target] : {std::pair{0.5, kCountsPerRevolution}, {1.0, 0.0}}) {
            // The load hunts by a few counts against the friction: whole counts per sample of speed.
            const std::size_t end = TruncToUInt32(seconds / kSpeedLoopTs + 0.5);
            double mean = 0;
            for (std::size_t n = end - 100; n < end; ++n) {
                EXPECT_EQ(points[n][1], target) << type;
                EXPECT_NEAR(points[n][2], target, 50) << type << " at " << points[n][0];
                mean += points[n][2] / 100;
            }
            EXPECT_NEAR(mean, target, 15) << type << " at " << seconds;
        }
        if (type == 1) {
            EXPECT_EQ(Get("Kd_P_scl"), 0);
            EXPECT_EQ(Get("SFTKDP"), 0);
            EXPECT_EQ(Get("KDP"), 0);
        }
    }
}

TEST_F(PositionAngleTuning, FullDerivativeFilterIsTheFullScaleRegister)
{
    Open("default.json");
    CTestPositionTuning test(setup.get(), 1, nullptr);
    EXPECT_EQ(Run(test, "select 1300 1\nset 1513 1\nok\n"), rurorade::IDOK);
    EXPECT_EQ(Get("KDFP"), 32767);
}

// A ramp of 0.2 ms is 0.4 speed-loop samples: no sample at all, and nothing of the profile
// reaches the drive.
TEST_F(PositionAngleTuning, RampShorterThanHalfASampleFailsWithTheCountMessage)
{
    Open("default.json");
    Set("TaPP", 0.2e-3);
    CTestPositionTuning test(setup.get(), 1, nullptr);
    Run(test, "select 1300 1\nclick 10000\nwait 500\nclick 10003\nexpect-message \"Distances between consecutive "
              "points on X axis must be greater than 0 and below 32768.\"\ncancel\n");
    double a0 = 0;
    EXPECT_FALSE(drive->GetUserVariable("Position_Controller_Tuning_Test_without_SpdCtrl", "a0", a0));
}

// The full setup has the angle controller but no acquisition settings: the dialog logs 2000 points,
// one every two current-loop periods. Its gains find the angle; a hundredth of them leave the estimate
// a flat line, and the failure names the angle expected (a quarter turn behind the rotor standing at
// electrical zero) and offers the help topic.
TEST_F(PositionAngleTuning, AngleTestJudgesTheGainsAndOffersHelpAfterAnUnsettledAngle)
{
    for (double factor : {1.0, 0.01}) {
        Open("full.json");
        Set("Kp_T_scl", Get("Kp_T_scl") * factor), Set("Ki_T_scl", Get("Ki_T_scl") * factor);
        EncodeRegisters(setup.get());
        CTestAngle test(setup.get(), 1, nullptr);
        Run(test, std::string("select 1300 1\nclick 10000\nwait 5000\n") +
                      (factor == 1 ? "" : "answer help\nclick 10003\n") + "cancel\n");
        EXPECT_EQ(test.Logger()->Request().points, 2000);
        EXPECT_EQ(test.Logger()->Request().sampling, 2);
        const auto& points = test.Logger()->GetDocument().points;
        ASSERT_EQ(points.size(), 2000u);
        EXPECT_NEAR(points[1][0] - points[0][0], 2 * kCurrentLoopTs, 1e-12);
        if (factor == 1) {
            EXPECT_EQ(test.m_nResult, 1) << test.m_strError;
            EXPECT_EQ(test.m_nDetailsHelpTopic, 0);
        } else {
            EXPECT_EQ(test.m_strError.rfind("Test failed!\n\nIf the Test current doesn\u2019t decreases to zero", 0), 0u)
                << test.m_strError;
            EXPECT_NE(test.m_strError.find("close to -16384 with a tolerance of +/- 1820"), std::string::npos);
            EXPECT_NE(trace.str().find("context 262418"), std::string::npos) << trace.str();
        }
    }
}

}  // namespace
