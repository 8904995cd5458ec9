// The drive's loops closed around the motor model. Gains from the tuning rules for the true motor
// must give the closed-loop bandwidth (-3 dB) of the loop those rules design: a plant
// m dx/dt = u - a x under a PI controller, with the delays any sampled loop has (half a period
// for the hold of the output; half a period more for a speed measured as the mean over the last
// period) and, for the speed loop, the current loop inside it. Much higher integral gains must
// overshoot a step.
#include <gtest/gtest.h>

#include <cmath>
#include <array>
#include <complex>
#include <functional>
#include <vector>

#include "drivesim/drive_core.h"
#include "engine/encode_control_loops.h"
#include "engine/unit_scaling.h"
#include "zekmod/engine_fixture.h"

namespace {

using Complex = std::complex<double>;

// Closed loop L / (1 + L) of L(s) = (kp + ki/s) / (m s + a) * exp(-s delay) * inner(s).
Complex Designed(double w, double m, double a, double kp, double ki, double delay,
                 const std::function<Complex(Complex)>& inner)
{
    const Complex s(0, w);
    const Complex open = (kp + ki / s) / (m * s + a) * std::exp(-s * delay) * (inner ? inner(s) : Complex(1));
    return open / (1.0 + open);
}

// -3 dB frequency of that loop, above its peak.
double IdealBandwidth(double m, double a, double kp, double ki, double delay = 0,
                      const std::function<Complex(Complex)>& inner = {})
{
    auto gain = [&](double w) { return std::abs(Designed(w, m, a, kp, ki, delay, inner)); };
    double lo = std::sqrt(ki / m), hi = 100 * lo;
    for (int i = 0; i < 100; ++i) (gain(0.5 * (lo + hi)) > std::sqrt(0.5) ? lo : hi) = 0.5 * (lo + hi);
    return lo;
}

class ClosedLoop : public zektest::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        setup = zektest::SampleSetup("default.json");
        setup->SetParameterValueInBaseUnit("Vdc", motor.vdc);  // as the bus detection found it
    }
    // Current-loop gains of the tuning rule for the true motor (passband w, damping zeta), the
    // integral gain times k.
    void TuneCurrent(double w, double zeta, double k = 1)
    {
        CMC_Setup* s = setup.get();
        const double tau = motor.inductance / motor.resistance, ts = CurrentLoopPeriod(s);
        const double scale = motor.resistance * VoltageCommandScale(s) / CurrentScale(s);
        s->SetParameterValueInBaseUnit("Kp_C_scl", (2 * zeta * w * tau - 1) * scale);
        s->SetParameterValueInBaseUnit("Ki_C_scl", k * w * w * tau * ts * scale);
        encode::SFTKPI(s), encode::KPI(s), encode::SFTKII(s), encode::KII(s);
    }
    void TuneSpeed(double w, double zeta, double k = 1)
    {
        CMC_Setup* s = setup.get();
        const double j = motor.TotalInertia(), ts = SpeedLoopPeriod(s);
        const double scale = j * CurrentScale(s) / MotorSpeedScale(s) / motor.torqueConstant;
        s->SetParameterValueInBaseUnit("Kp_S_scl", 2 * w * zeta * scale);
        s->SetParameterValueInBaseUnit("Ki_S_scl", k * w * w * ts * scale);
        encode::SFTKPS(s), encode::KPS(s), encode::SFTKIS(s), encode::KIS(s);
    }
    // Runs the drive, its frame on the encoder aligned to the rotor; `reference(core, t)` sets the
    // reference before each period and `output(core)` is recorded after it.
    std::vector<double> Run(drivesim::Servo servo, double seconds, const std::function<void(drivesim::DriveCore&, double)>& reference,
                            const std::function<double(drivesim::DriveCore&)>& output)
    {
        drivesim::DriveCore core(motor, 7);
        drivesim::DriveHardware hw;
        std::string error;
        EXPECT_TRUE(drivesim::ReadHardware(setup.get(), hw, error)) << error;
        core.Configure(hw);
        core.Registers().Load(setup.get());
        core.encoderFrame = true;
        core.AlignEncoder(0);
        EXPECT_TRUE(core.PowerOn());
        core.servo = servo;
        std::vector<double> y;
        const auto periods = static_cast<int>(seconds / core.Period());
        for (int k = 0; k < periods; ++k) {
            reference(core, k * core.Period());
            core.Sense();
            EXPECT_TRUE(core.Act()) << core.Problem();
            y.push_back(output(core));
        }
        return y;
    }
    // Gain of the loop at `w` rad/s: a sine of `amplitude` on `bias`, the response fitted over
    // whole turns after three turns of settling.
    double Gain(drivesim::Servo servo, double w, double bias, double amplitude,
                const std::function<void(drivesim::DriveCore&, double)>& set,
                const std::function<double(drivesim::DriveCore&)>& output)
    {
        const double turn = 2 * kPi / w, ts = CurrentLoopPeriod(setup.get());
        const std::vector<double> y =
            Run(servo, 9 * turn, [&](drivesim::DriveCore& c, double t) { set(c, bias + amplitude * std::sin(w * t)); }, output);
        double ss = 0, sc = 0, s1 = 0, css = 0, ccc = 0, csc = 0, cs1 = 0, cc1 = 0, n = 0;
        for (std::size_t k = static_cast<std::size_t>(3 * turn / ts); k < y.size(); ++k) {
            const double t = (k + 1) * ts, s = std::sin(w * t), c = std::cos(w * t);
            ss += y[k] * s, sc += y[k] * c, s1 += y[k];
            css += s * s, ccc += c * c, csc += s * c, cs1 += s, cc1 += c, n += 1;
        }
        // Least squares y = A sin + B cos + C over the window (3x3 normal equations).
        const double m[3][3] = {{css, csc, cs1}, {csc, ccc, cc1}, {cs1, cc1, n}};
        const double r[3] = {ss, sc, s1};
        auto det = [](const double a[3][3]) {
            return a[0][0] * (a[1][1] * a[2][2] - a[1][2] * a[2][1]) - a[0][1] * (a[1][0] * a[2][2] - a[1][2] * a[2][0]) +
                   a[0][2] * (a[1][0] * a[2][1] - a[1][1] * a[2][0]);
        };
        double coef[2];
        for (int i = 0; i < 2; ++i) {
            double a[3][3];
            for (int row = 0; row < 3; ++row)
                for (int col = 0; col < 3; ++col) a[row][col] = col == i ? r[row] : m[row][col];
            coef[i] = det(a) / det(m);
        }
        return std::hypot(coef[0], coef[1]) / amplitude;
    }
    // -3 dB frequency of the simulated loop, by bisection above `from`.
    double Bandwidth(double from, const std::function<double(double)>& gain)
    {
        double lo = from, hi = 10 * from;
        for (int i = 0; i < 12; ++i) (gain(0.5 * (lo + hi)) > std::sqrt(0.5) ? lo : hi) = 0.5 * (lo + hi);
        return lo;
    }
    static double Overshoot(const std::vector<double>& y, double final)
    {
        double peak = 0;
        for (double v : y) peak = std::max(peak, v);
        return peak / final - 1;
    }

    static constexpr double kPi = 3.141592653589793;
    drivesim::MotorModel motor = drivesim::DefaultMotor();
    std::unique_ptr<CMC_Setup> setup;
};

// The d-axis current (no torque: the rotor stays put) around 2 A, so that the dead-time loss stays
// constant; a 2 A step for the overshoot.
TEST_F(ClosedLoop, CurrentLoopMeetsTheRequestedBandwidth)
{
    const double w = 2000, zeta = 1, cs = CurrentScale(setup.get());
    auto set = [&](drivesim::DriveCore& c, double amps) { c.idReference = static_cast<std::int32_t>(std::lround(amps * cs)); };
    auto id = [](drivesim::DriveCore& c) { return c.GetPlant().Id(); };
    TuneCurrent(w, zeta);
    const double l = motor.inductance, r = motor.resistance;
    const double ideal = IdealBandwidth(l, r, 2 * zeta * w * l - r, w * w * l, CurrentLoopPeriod(setup.get()) / 2);
    const double simulated = Bandwidth(w, [&](double f) { return Gain(drivesim::Servo::Current, f, 2, 0.5, set, id); });
    EXPECT_NEAR(simulated, ideal, 0.15 * ideal) << "ideal " << ideal << " rad/s";

    for (const auto& [k, low, high] : {std::tuple{1.0, 0.0, 0.2}, {8.0, 0.2, 1.0}}) {
        TuneCurrent(w, zeta, k);
        const double overshoot = Overshoot(Run(drivesim::Servo::Current, 0.02, [&](auto& c, double) { set(c, 2); }, id), 2);
        EXPECT_GT(overshoot, low) << "integral gain x" << k;
        EXPECT_LT(overshoot, high) << "integral gain x" << k;
    }
}

// The speed around 20 counts per speed-loop period (25 rad/s), inside the current limit, so that
// the friction stays constant; a step of 20 counts for the overshoot.
TEST_F(ClosedLoop, SpeedLoopMeetsTheRequestedBandwidth)
{
    TuneCurrent(2000, 1);
    const double w = 200, zeta = 1, j = motor.TotalInertia();
    auto set = [](drivesim::DriveCore& c, double counts) { c.speedReference = std::lround(counts); };
    const double kw = MotorSpeedScale(setup.get());  // counts per speed-loop period per rad/s
    auto speed = [&](drivesim::DriveCore& c) { return c.GetPlant().MechanicalSpeed() * kw; };
    TuneSpeed(w, zeta);
    const double l = motor.inductance, r = motor.resistance, tsc = CurrentLoopPeriod(setup.get());
    auto currentLoop = [&](Complex s) {
        const double kp = 2 * 2000 * l - r, ki = 2000.0 * 2000 * l;
        const Complex open = (kp + ki / s) / (l * s + r) * std::exp(-s * tsc / 2.0);
        return open / (1.0 + open);
    };
    const double ideal = IdealBandwidth(j, 0, 2 * zeta * w * j, w * w * j, SpeedLoopPeriod(setup.get()), currentLoop);
    const double simulated = Bandwidth(w, [&](double f) { return Gain(drivesim::Servo::Speed, f, 20, 5, set, speed); });
    EXPECT_NEAR(simulated, ideal, 0.15 * ideal) << "ideal " << ideal << " rad/s";

    const double target = 20;
    for (const auto& [k, low, high] : {std::tuple{1.0, 0.0, 0.3}, {10.0, 0.4, 2.0}}) {
        TuneSpeed(w, zeta, k);
        const double overshoot = Overshoot(Run(drivesim::Servo::Speed, 0.2, [&](auto& c, double) { set(c, 20); }, speed), target);
        EXPECT_GT(overshoot, low) << "integral gain x" << k;
        EXPECT_LT(overshoot, high) << "integral gain x" << k;
    }
}

}  // namespace

namespace {

// A hand-worked profile: up to 7 counts in three samples, hold two, down in three, rest two. The
// slopes are 16.16 increments; the one-sample segments land the ramps exactly on their targets.
TEST(ProfileGenerator, PlaysSegmentsOnceOrCyclically)
{
    const std::array<std::int32_t, 6> counts{2, 1, 2, 2, 1, 2};
    const std::array<std::int64_t, 6> slopes{152917, 152918, 0, -152917, -152918, 0};
    const std::vector<std::int64_t> cycle{2, 5, 7, 7, 7, 5, 2, 0, 0, 0};
    for (bool cyclic : {false, true}) {
        drivesim::ProfileGenerator profile;
        profile.Load(counts, slopes, cyclic);
        std::vector<std::int64_t> played;
        for (int k = 0; k < 25; ++k) played.push_back(profile.Step());
        for (int k = 0; k < 25; ++k) {
            const std::int64_t expected = cyclic || k < 10 ? cycle[k % 10] : 0;
            EXPECT_EQ(played[k], expected) << (cyclic ? "cyclic " : "once ") << k;
        }
        EXPECT_EQ(profile.Done(), !cyclic);
    }
}

// The position loop reaches a step of 1000 counts, straight to the current loop (the default
// setup's gains, whose small integral takes a while to overcome the friction) and through a tuned
// speed loop (position control type 1).
TEST_F(ClosedLoop, PositionLoopReachesAStep)
{
    TuneCurrent(2000, 1);
    TuneSpeed(200, 1);
    for (int throughSpeed : {0, 1}) {
        CMC_Setup* s = setup.get();
        if (throughSpeed) {
            s->SetParameterValueInBaseUnit("KPP", 8000), s->SetParameterValueInBaseUnit("SFTKPP", 0);
            s->SetParameterValueInBaseUnit("KIP", 0), s->SetParameterValueInBaseUnit("KDP", 0);
            s->SetParameterValueInBaseUnit("SATP", 32767 - 200);  // 200 counts per speed period at most
        }
        s->SetParameterValueInBaseUnit("PositionControlType", throughSpeed);
        std::vector<double> position = Run(
            drivesim::Servo::Position, 3.0, [](drivesim::DriveCore& c, double) { c.positionReference = 1000; },
            [](drivesim::DriveCore& c) { return static_cast<double>(c.apos); });
        EXPECT_NEAR(position.back(), 1000, 2) << "through the speed loop: " << throughSpeed;
    }
}

}  // namespace
