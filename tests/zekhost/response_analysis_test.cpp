#include <gtest/gtest.h>

#include <cmath>
#include <random>
#include <vector>

#include "response_analysis.h"

namespace {

using zekhost::LoopModel;
const double kPi = std::acos(-1.0);

// Unit step of ω²/(s² + 2ζωs + ω²), ζ < 1.
double StandardStep(double w, double z, double t)
{
    const double wd = w * std::sqrt(1 - z * z);
    return 1 - std::exp(-z * w * t) * (std::cos(wd * t) + z * w / wd * std::sin(wd * t));
}

// By hand: 1 - e^(-t) has rise ln 9 and settles (2 %) at ln 50; 1 - cos t rises from acos .9 to acos .1 and
// never settles; ζ = .5 rises in 1.63757 s and settles at 8.07635 s (bisection on the closed form).
struct StepCase {
    double zeta;  // < 0: first order, τ = 1 s
    double stepTime, initial, target, horizon;
    double rise, overshoot, settling;
};
const StepCase kSteps[] = {
    {-1, 0, 0, 1, 10, std::log(9.0), 0, std::log(50.0)},
    {-1, 1, 2, -1, 11, std::log(9.0), 0, std::log(50.0)},  // downwards, a second after the log starts
    {0, 0, 0, 1, 20 * kPi, std::acos(0.1) - std::acos(0.9), 100, NAN},
    {0.5, 0, 0, 1, 20, 1.63757, 100 * std::exp(-kPi * 0.5 / std::sqrt(0.75)), 8.07635},
};

TEST(ResponseAnalysis, StepFiguresOfClosedFormResponses)
{
    for (const StepCase& c : kSteps) {
        std::vector<double> t, y;
        for (int k = 0; k * 1e-3 <= c.horizon; ++k) {
            const double at = k * 1e-3, s = std::max(0.0, at - c.stepTime);
            t.push_back(at);
            const double unit = c.zeta < 0 ? 1 - std::exp(-s) : StandardStep(1, c.zeta, s);
            y.push_back(c.initial + (c.target - c.initial) * unit);
        }
        const auto f = zekhost::MeasureStep(t, y, c.stepTime, c.initial, c.target);
        ASSERT_TRUE(f.valid) << c.zeta;
        EXPECT_NEAR(f.riseTime, c.rise, 1e-4) << c.zeta;
        EXPECT_NEAR(f.overshootPercent, c.overshoot, 1e-3) << c.zeta;
        if (std::isnan(c.settling)) {
            EXPECT_TRUE(std::isnan(f.settlingTime));
        } else {
            EXPECT_NEAR(f.settlingTime, c.settling, 1e-4) << c.zeta;
        }
        EXPECT_NEAR(f.finalValue, c.target, 1e-3 * std::abs(c.target - c.initial)) << c.zeta;
    }
    EXPECT_FALSE(zekhost::MeasureStep({0, 1, 2, 3}, {0, 1, 1, 1}, 0, 1, 1).valid);   // no step
    EXPECT_FALSE(zekhost::MeasureStep({0, 1, 2, 3}, {0, 1, 1, 1}, 1, 0, 1).valid);   // three samples after it
}

// Step error 1 - y of each model, from its poles: A e^(-ωt) + e^(-ζωt) (B cos ωd t + (C - Bζω)/ωd sin ωd t).
// PI loops: 1 - T = s (s + R/L)/D, so A = 0, B = 1, C = R/L. Position PID: 1 - T = s³/((s + ω)(s² + 2ζωs + ω²)),
// partial fractions A = 1/(2 - 2ζ), B = 1 - A, C = -Aω.
struct LoopCase {
    LoopModel model;
    zekhost::PlantTruth plant;
    double omega, zeta;
};
const LoopCase kLoops[] = {
    {LoopModel::SecondOrder, {}, 200, 0.7},
    {LoopModel::CurrentPi, {0, 2e-3}, 200, 0.7},  // R = 0: the same loop
    {LoopModel::CurrentPi, {0.5, 2e-3}, 3000, 0.4},
    {LoopModel::PositionPid, {}, 50, 0.6},
};

TEST(ResponseAnalysis, SimulatedLoopsFollowTheirClosedFormSteps)
{
    for (const LoopCase& c : kLoops) {
        const bool pid = c.model == LoopModel::PositionPid;
        const double w = c.omega, s = c.zeta * w, wd = w * std::sqrt(1 - c.zeta * c.zeta);
        const double a = pid ? 1 / (2 - 2 * c.zeta) : 0, b = 1 - a;
        const double cc = pid ? -a * w : c.plant.L > 0 ? c.plant.R / c.plant.L : 0;
        auto step = [&](double t) {
            const double decay = b * std::cos(wd * t) + (cc - b * s) / wd * std::sin(wd * t);
            return 1 - a * std::exp(-w * t) - std::exp(-s * t) * decay;
        };
        // The reference ramps from 0 to 1 over one short sample: the response is the step's, half a sample late.
        const double h = 0.005 / w;
        std::vector<double> t, r;
        for (int k = 0; k < 2000; ++k) {
            t.push_back(k * h);
            r.push_back(k > 10 ? 1 : 0);
        }
        const auto y = zekhost::SimulateLoop(c.model, c.plant, c.omega, c.zeta, t, r);
        ASSERT_EQ(y.size(), t.size());
        for (int k = 0; k < 2000; ++k) {
            if (k != 11) {
                EXPECT_NEAR(y[k], k > 11 ? step(t[k] - 10.5 * h) : 0, 1e-5) << k;
            }
        }
    }
}

// A square wave through (2ζω s + ω²)/(s² + 2ζω s + ω²): each one-sample ramp answers with
// (Y(t) - Y(t - h))/h, Y(t) = t - e^(-ζωt) sin(ωd t)/ωd being the integral of the step response.
struct FitCase {
    double omega, zeta, omegaGuess, zetaGuess, noise;
    int delay;
};
const FitCase kFits[] = {
    {200, 0.7, 120, 1, 0.01, 1},
    {300, 0.3, 600, 0.7, 0, 0},
    {150, 1.5, 100, 0.7, 0.005, 2},
};

TEST(ResponseAnalysis, FitRecoversFrequencyDampingAndDelay)
{
    for (const FitCase& c : kFits) {
        const double h = 1e-3, wd = c.omega * std::sqrt(std::abs(1 - c.zeta * c.zeta)), s = c.zeta * c.omega;
        auto integral = [&](double t) {
            if (t <= 0) return 0.0;
            const double g = c.zeta < 1 ? std::sin(wd * t) / wd : std::sinh(wd * t) / wd;
            return t - std::exp(-s * t) * g;
        };
        std::mt19937 random(7);
        std::normal_distribution<double> noise;
        std::vector<double> t, r, y;
        for (int k = 0; k < 2000; ++k) {
            t.push_back(k * h);
            r.push_back((k + 100) / 200 % 2 ? 1 : 0);
            double truth = 0;
            for (int edge = 99; edge < k - c.delay; edge += 200) {  // the samples after which r changes
                const double sign = (edge + 101) / 200 % 2 ? 1 : -1;
                const double at = (k - c.delay - edge) * h;
                truth += sign * (integral(at) - integral(at - h)) / h;
            }
            y.push_back(truth + (c.noise > 0 ? c.noise * noise(random) : 0));
        }
        const auto fit = zekhost::FitLoop(LoopModel::SecondOrder, {}, t, r, y, c.omegaGuess, c.zetaGuess);
        ASSERT_TRUE(fit.ok) << c.omega;
        EXPECT_NEAR(fit.omega, c.omega, 0.01 * c.omega);
        EXPECT_NEAR(fit.zeta, c.zeta, 0.01 * c.zeta);
        EXPECT_EQ(fit.delaySamples, c.delay);
        EXPECT_NEAR(fit.rms, c.noise, 0.1 * c.noise + 1e-6);
    }
    const std::vector<double> t = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, flat(10, 1.0);
    EXPECT_FALSE(zekhost::FitLoop(LoopModel::SecondOrder, {}, t, flat, flat, 1, 0.7).ok);
}

TEST(ResponseAnalysis, TrackingErrorByHand)
{
    const auto f = zekhost::MeasureTracking({0, 1, 2, 3}, {0, 1.5, 2, 2});
    EXPECT_DOUBLE_EQ(f.peak, 1);
    EXPECT_DOUBLE_EQ(f.rms, std::sqrt(1.25 / 4));
    EXPECT_TRUE(std::isnan(zekhost::MeasureTracking({0, 1}, {0}).peak));
}

}  // namespace
