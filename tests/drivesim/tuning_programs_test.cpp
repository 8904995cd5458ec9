// The controller tuning programs on the simulated drive: the responses come out of the drive's
// loops and the motor model and are checked against loops designed by hand for that motor. Gains
// are per sample in drive units: Kc counts per ampere, Kx counts per radian, Kw = Ts Kx.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "drivesim/simulated_drive.h"
#include "zekmod/engine_fixture.h"

namespace {

using Points = std::vector<std::vector<double>>;
using Inputs = std::vector<std::pair<std::string, double>>;

const drivesim::MotorModel kMotor = drivesim::DefaultMotor();
constexpr double kTs = 50e-6, kSlowTs = 500e-6;  // s: the sample setups' loop periods
constexpr double kKc = 65520.0 / 40;             // converter range over +-ImaxPS (20 A)
constexpr double kKx = 10000 / 6.283185307179586;  // MECRESL 10000
const double kJ = kMotor.inertia / kMotor.torqueConstant * kKc;  // current counts per rad/s^2

// A reference of `peak` reached in `ramp` samples, held, back to 0 and held; the last sample of
// each ramp lands it exactly despite the 16.16 rounding of the slope.
Inputs Trapezoid(double peak, int ramp, int hold, bool cyclic = false)
{
    const double slope = std::round(peak / ramp * 65536) / 65536, last = peak - (ramp - 1) * slope;
    return {{"a0", ramp - 1}, {"b0", slope}, {"a1", 1}, {"b1", last},  {"a2", hold}, {"b2", 0}, {"a3", ramp - 1},
            {"b3", -slope},   {"a4", 1},     {"b4", -last}, {"a5", hold}, {"b5", 0},  {"MultiC", cyclic ? 1.0 : 0.0}};
}

class TuningPrograms : public zektest::EngineTest {
protected:
    void SetUp() override { EngineTest::SetUp(), Attach("default.json"); }
    void Attach(const char* file)
    {
        drive.reset();
        setup = zektest::SampleSetup(file);
        drive = std::make_unique<drivesim::SimulatedDrive>(setup.get(), kMotor, clock);
    }
    double User(const std::string& program, const char* name)
    {
        double value = -1e9;
        EXPECT_TRUE(drive->GetUserVariable(program, name, value));
        return value;
    }
    bool Axis()
    {
        bool on = false;
        return drive->GetAxisOn(on) && on;
    }
    // Runs `program` to its end and returns its log.
    Points Run(const std::string& program, const Inputs& inputs, const rurorade::LoggerRequest* log)
    {
        for (const auto& [name, value] : inputs) EXPECT_TRUE(drive->SetUserVariable(program, name, value));
        EXPECT_TRUE(drive->StartProgram(program, program, log)) << drive->GetLastErrorText();
        for (int ms = 0; log && ms < 10000 && (User(program, "STARTED") == 0 || Axis()); ++ms) clock.Advance(1);
        Points points;
        EXPECT_TRUE(!log || drive->UploadLog(points));
        return points;
    }
    void Set(const char* name, double value) { setup->SetParameterValueInBaseUnit(name, value); }
    // A register pair: gain = mantissa * 2^shift / 32768.
    void SetGain(const char* mantissa, const char* shift, double gain)
    {
        const double s = gain > 1 ? std::ceil(std::log2(gain)) : 0;
        Set(shift, s), Set(mantissa, gain / std::exp2(s) * 32768);
    }
    // Speed PI with both poles at -w: kp = 2 w J / Kt, ki = w^2 J Ts / Kt.
    void TuneSpeedLoop(double w)
    {
        SetGain("KPS", "SFTKPS", 2 * w * kJ / (kSlowTs * kKx)), SetGain("KIS", "SFTKIS", w * w * kJ / kKx);
    }

    rurorade::VirtualClock clock;
    std::unique_ptr<CMC_Setup> setup;
    std::unique_ptr<drivesim::SimulatedDrive> drive;  // after `setup`: destroyed first
};

// A PI that cancels the winding's pole (kp = wc L, ki = wc R Ts, times Kv / Kc with Kv = 65534 /
// (1.1 Vdc) command units per volt) makes i / iref = wc / (s + wc): 63 % after 1 / wc. The frame
// holds the current on the rotor's d axis: no torque, the shaft stays put.
TEST_F(TuningPrograms, CurrentStepRisesWithTheDesignedTimeConstant)
{
    const double wc = 2000, kv = 65534 / (1.1 * kMotor.vdc) / kKc, step = std::round(3 * kKc);
    Set("DBTPC", 0);  // no dead time: the inverter's voltage loss is no part of the design
    SetGain("KPI", "SFTKPI", wc * kMotor.inductance * kv), SetGain("KII", "SFTKII", wc * kMotor.resistance * kTs * kv);
    const rurorade::LoggerRequest request{{"Current_Reference", "Motor_Current", "Voltage_Reference"}, 100, 2, 1};
    const Points log = Run("Current_Controller_Tuning_Test", {{"In1", step}, {"Imax_Prot_Test", 2 * step}}, &request);
    ASSERT_EQ(log.size(), 100u);
    EXPECT_EQ(User("Current_Controller_Tuning_Test", "test_flag"), 1);
    std::size_t first = 0, k = 0;  // the step; the first point at 63 %
    while (first < 10 && log[first][1] != step) ++first;
    for (k = first; k < 99 && log[k][2] < 0.632 * step;) ++k;
    // A point holds the current measured as its period began: the step acts from the next one.
    const double crossing = (k - 1 + (0.632 * step - log[k - 1][2]) / (log[k][2] - log[k - 1][2]) - first) * kTs;
    EXPECT_NEAR(crossing, 1 / wc, 0.15 / wc);
    EXPECT_NEAR(log.back()[2], step, 0.02 * step);
    EXPECT_NEAR(drive->ShaftDegrees(), 0, 0.01);
}

// The reference lands exactly on the peak and on 0, the logger samples every speed-loop period,
// the load speed follows; an over-current level below what the acceleration needs trips the run.
TEST_F(TuningPrograms, SpeedLoopFollowsATrapezoidAndTheTripStopsIt)
{
    TuneSpeedLoop(300);
    const std::string program = "Speed_Controller_Tuning_Test";
    Inputs inputs = Trapezoid(20, 100, 200);
    inputs.push_back({"IlimPS_Test", 10 * kKc});
    const rurorade::LoggerRequest request{{"Speed_Reference", "Load_Speed"}, 2000, 1, 1};
    const Points log = Run(program, inputs, &request);
    EXPECT_EQ(User(program, "test_flag"), 1);
    ASSERT_GT(log.size(), 500u);
    EXPECT_NEAR(log[1][0] - log[0][0], kSlowTs, 1e-12);
    double peak = 0, worst = 0;
    for (const auto& p : log) peak = std::max(peak, p[1]), worst = std::max(worst, std::fabs(p[2] - p[1]));
    EXPECT_EQ(peak, 20);
    EXPECT_EQ(log.back()[1], 0);
    EXPECT_LT(worst, 4);
    EXPECT_LE(std::fabs(log.back()[2]), 1);

    inputs.push_back({"Imax_Prot_Test", 0.05 * kKc});
    Run(program, inputs, &request);
    EXPECT_LE(User(program, "test_flag"), 0);
}

// Through a much faster speed loop (an integrator) a PI with kp = 2 w, ki = w^2 puts both poles at
// -w; straight to the current a PID with kd = 3 w J / Kt, kp = 3 w^2 J / Kt, ki = w^3 J / Kt puts
// all three there. The load settles at both ends of the profile, hunting by a few counts against
// the friction (speeds are whole counts per sample).
TEST_F(TuningPrograms, PositionLoopSettlesAtTheProfilesPositions)
{
    const int ramp = 100, hold = 600;
    for (const std::string variant : {"with", "without"}) {
        Attach("default.json");
        if (variant == "with") {
            const double w = 30;
            TuneSpeedLoop(10 * w), Set("KFFA", 0), SetGain("KDP", "SFTKDP", 0);
            SetGain("KPP", "SFTKPP", 2 * w * kSlowTs), SetGain("KIP", "SFTKIP", w * w * kSlowTs * kSlowTs);
        } else {
            const double w = 100, k = kJ / kKx;
            SetGain("KPP", "SFTKPP", 3 * w * w * k), SetGain("KIP", "SFTKIP", w * w * w * k * kSlowTs);
            SetGain("KDP", "SFTKDP", 3 * w * k / kSlowTs), Set("KDFP", 32767);
        }
        const std::string program = "Position_Controller_Tuning_Test_" + variant + "_SpdCtrl";
        Inputs inputs = Trapezoid(2000, ramp, hold);
        inputs.push_back({variant == "with" ? "LimitSpeed_Test" : "IlimPS_Test", variant == "with" ? 100 : 10 * kKc});
        const rurorade::LoggerRequest request{{"Target_Position", "Load_Position"}, 2000, 1, 1};
        const Points log = Run(program, inputs, &request);
        EXPECT_EQ(User(program, "test_flag"), 1) << program;
        ASSERT_GT(log.size(), 2u * (ramp + hold)) << program;
        for (const auto& [end, target] : {std::pair{std::size_t(ramp + hold), 2000.0}, std::pair{log.size(), 0.0}}) {
            double mean = 0;
            for (std::size_t n = end - 100; n < end; ++n) {
                EXPECT_EQ(log[n][1], target) << program;
                EXPECT_NEAR(log[n][2], target, 20) << program;
                mean += log[n][2] / 100;
            }
            EXPECT_NEAR(mean, target, 3) << program;
        }
    }
}

// The motionless start with the sample setup's gains finds the rotor's electrical angle (4 pole
// pairs) wherever it stands: the estimate settles a quarter turn behind it. A hundredth of those
// gains lets the rotor turn instead, a hundred times them throws the estimate about: -2, with the
// angle expected.
TEST_F(TuningPrograms, AngleControllerSettlesOnlyWithSensibleGains)
{
    const std::string program = "Angle_Controller_Tuning_Test";
    for (const auto& [degrees, factor] : {std::pair{0.0, 1.0}, {30.0, 1.0}, {0.0, 0.01}, {30.0, 0.01}, {0.0, 100.0}}) {
        Attach("full.json");
        drive->TurnShaft(degrees, 100), clock.Advance(200), drive->ReleaseShaft();
        SetGain("KPTHT", "SFTKPTHT", 0.5 * factor), SetGain("KITHT", "SFTKITHT", 0.01 * factor);
        const rurorade::LoggerRequest request{{"Motor_Current", "Electric_Angle"}, 2000, 2, 2};
        const Inputs inputs{{"In1", 5 * kKc}, {"ReferenceIncrement", 0.001 * kKc}, {"TimeLimit", 1000}};
        const Points log = Run(program, inputs, &request);
        const double expected = std::remainder(degrees * 4 / 360 * 65536 - 16384, 65536);
        ASSERT_FALSE(log.empty());
        if (factor == 1) {
            EXPECT_EQ(User(program, "test_flag"), 1) << degrees;
            EXPECT_NEAR(std::remainder(log.back()[2] - expected, 65536), 0, 1820) << degrees;
        } else {
            EXPECT_EQ(User(program, "test_flag"), -2) << degrees << " " << factor;
            EXPECT_NEAR(User(program, "theta_1"), expected, 1) << degrees;
        }
    }
}

// Registers written through the link act on a cyclic run at once: the speed loop without its
// integral and with an eighth of its proportional gain follows much worse. Stop ends the run.
TEST_F(TuningPrograms, GainsWrittenDuringACyclicRunChangeTheResponse)
{
    TuneSpeedLoop(300);
    Run("Speed_Controller_Tuning_Test", Trapezoid(20, 100, 200, true), nullptr);
    auto error = [&] {  // mean |speed error| over a cycle
        double sum = 0;
        for (int ms = 0; ms < 300; ++ms, clock.Advance(1))
            sum += std::fabs(drive->Core().speedReference - drive->Core().speed);
        return sum / 300;
    };
    clock.Advance(500);
    const double tuned = error();
    Set("KIS", 0), Set("SFTKPS", setup->FindParameter("SFTKPS")->GetValueInBaseUnit() - 3);
    for (const char* name : {"KIS", "SFTKPS"}) ASSERT_TRUE(drive->WriteParameter(*setup->FindParameter(name)));
    clock.Advance(250);
    EXPECT_GT(error(), 3 * tuned);
    EXPECT_TRUE(Axis());
    ASSERT_TRUE(drive->StopProgram());
    EXPECT_FALSE(Axis());
    EXPECT_EQ(User("Speed_Controller_Tuning_Test", "test_flag"), 1);
}

}  // namespace
