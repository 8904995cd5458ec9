#include "response_analysis.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstddef>
#include <limits>
#include <optional>

#include "rurorade/numeric.h"

namespace zekhost {
namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr std::size_t kMinStepSamples = 4;  // at or after the step
constexpr std::size_t kMinFitSamples = 10;
constexpr int kMaxDelay = 3;                // samples
constexpr double kZetaMin = 0.05, kZetaMax = 5, kOmegaRange = 4;

using State = std::array<double, 3>;

// N(s)/D(s) with D = s^n + a[n-1] s^(n-1) + ... + a[0] and N = b[n-1] s^(n-1) + ... + b[0], simulated in
// controllable canonical form: x[i]' = x[i+1], x[n-1]' = u - sum a[i] x[i], y = sum b[i] x[i].
struct TransferFunction {
    int n = 0;
    State a{}, b{};
    double fastest = 0;  // magnitude of the fastest pole, rad/s: sets the RK4 sub-step
};

std::optional<TransferFunction> Loop(LoopModel model, const PlantTruth& plant, double omega, double zeta)
{
    if (!(omega > 0) || !(zeta > 0) || !std::isfinite(omega) || !std::isfinite(zeta)) return std::nullopt;
    const double w2 = omega * omega;
    TransferFunction tf;
    tf.n = 2;
    tf.a = {w2, 2 * zeta * omega, 0};
    tf.b = {w2, 2 * zeta * omega, 0};
    // Every model's poles are ω or those of s² + 2ζωs + ω²; the faster of these is ω(ζ + √(ζ² − 1)) at ζ > 1.
    tf.fastest = omega * (zeta > 1 ? zeta + std::sqrt(zeta * zeta - 1) : 1.0);
    switch (model) {
    case LoopModel::CurrentPi:
        if (!(plant.L > 0) || !std::isfinite(plant.L) || !std::isfinite(plant.R)) return std::nullopt;
        tf.b[1] = 2 * zeta * omega - plant.R / plant.L;  // Kp / L
        break;
    case LoopModel::SecondOrder:
        break;
    case LoopModel::PositionPid: {
        const double w = (2 * zeta + 1) * omega;
        tf.n = 3;
        tf.a = {w2 * omega, w * omega, w};
        tf.b = tf.a;
        break;
    }
    }
    return tf;
}

State Derivative(const TransferFunction& tf, const State& x, double u)
{
    State d{};
    double last = u;
    for (int i = 0; i < tf.n; ++i) {
        last -= tf.a[i] * x[i];
        if (i + 1 < tf.n) d[i] = x[i + 1];
    }
    d[tf.n - 1] = last;
    return d;
}

State Plus(const State& x, double k, const State& d)
{
    return {x[0] + k * d[0], x[1] + k * d[1], x[2] + k * d[2]};
}

// RK4 over one sample of length h in `steps` sub-steps, u going linearly from u0 to u1.
State Propagate(const TransferFunction& tf, State x, double u0, double u1, double h, int steps)
{
    const double dt = h / steps;
    for (int s = 0; s < steps; ++s) {
        auto u = [&](double at) { return u0 + (u1 - u0) * (s + at) / steps; };
        const State k1 = Derivative(tf, x, u(0));
        const State k2 = Derivative(tf, Plus(x, dt / 2, k1), u(0.5));
        const State k3 = Derivative(tf, Plus(x, dt / 2, k2), u(0.5));
        const State k4 = Derivative(tf, Plus(x, dt, k3), u(1));
        for (int i = 0; i < tf.n; ++i) x[i] += dt / 6 * (k1[i] + 2 * k2[i] + 2 * k3[i] + k4[i]);
    }
    return x;
}

// The RK4 sub-steps over a sample are linear in the state and in the two input samples, so they are built
// once per sample length into x1 = Φ x0 + g0 u0 + g1 u1 and applied to every sample.
struct SampleMap {
    std::array<State, 3> phiColumns{};
    State g0{}, g1{};
};

SampleMap BuildMap(const TransferFunction& tf, double h)
{
    constexpr double kPoleTimesSubStep = 0.05;
    constexpr int kMaxSubSteps = 100000;
    const int steps = std::clamp(TruncToInt32(std::ceil(tf.fastest * h / kPoleTimesSubStep)), 1, kMaxSubSteps);
    SampleMap map;
    for (int j = 0; j < tf.n; ++j) {
        State e{};
        e[j] = 1;
        map.phiColumns[j] = Propagate(tf, e, 0, 0, h, steps);
    }
    map.g0 = Propagate(tf, State{}, 1, 0, h, steps);
    map.g1 = Propagate(tf, State{}, 0, 1, h, steps);
    return map;
}

// Simulates deviations from reference[0] so that an offset costs no precision. Inputs already checked.
// Unused states stay zero, so every model runs as three states.
void Simulate(const TransferFunction& tf, const std::vector<double>& t, const std::vector<double>& reference,
              std::vector<double>& y)
{
    const double rest = reference[0];
    const State b = tf.b;
    y.resize(t.size());
    y[0] = rest;
    State x{};
    SampleMap map;
    double mapH = kNaN;
    for (std::size_t k = 1; k < t.size(); ++k) {
        const double h = t[k] - t[k - 1];
        if (!(std::abs(h - mapH) <= 1e-6 * mapH)) {  // logged times jitter in their last digits
            map = BuildMap(tf, h);
            mapH = h;
        }
        const double u0 = reference[k - 1] - rest, u1 = reference[k] - rest;
        const auto& p = map.phiColumns;
        const double x0 = p[0][0] * x[0] + p[1][0] * x[1] + p[2][0] * x[2] + (map.g0[0] * u0 + map.g1[0] * u1);
        const double x1 = p[0][1] * x[0] + p[1][1] * x[1] + p[2][1] * x[2] + (map.g0[1] * u0 + map.g1[1] * u1);
        const double x2 = p[0][2] * x[0] + p[1][2] * x[1] + p[2][2] * x[2] + (map.g0[2] * u0 + map.g1[2] * u1);
        x = {x0, x1, x2};
        y[k] = rest + (b[0] * x0 + b[1] * x1 + b[2] * x2);
    }
}

bool AllFinite(const std::vector<double>& v)
{
    return std::all_of(v.begin(), v.end(), [](double x) { return std::isfinite(x); });
}

bool Increasing(const std::vector<double>& t)
{
    if (!AllFinite(t)) return false;
    for (std::size_t k = 1; k < t.size(); ++k)
        if (!(t[k] > t[k - 1])) return false;
    return true;
}

// The fit's data and one simulation's scratch; parameters are (ln ω, ln ζ), so the grid is log-spaced and
// a step means the same at every scale.
using Params = std::array<double, 2>;
class LoopFit {
public:
    LoopFit(LoopModel model, const PlantTruth& plant, const std::vector<double>& t,
            const std::vector<double>& reference, const std::vector<double>& response)
        : m_model(model), m_plant(plant), m_t(t), m_reference(reference), m_response(response)
    {
    }

    // Sum of squared residuals for each delay, from one simulation; infinite when the model cannot be built.
    std::array<double, kMaxDelay + 1> Costs(const Params& p)
    {
        std::array<double, kMaxDelay + 1> costs;
        costs.fill(std::numeric_limits<double>::infinity());
        if (!Run(p)) return costs;
        for (int d = 0; d <= kMaxDelay; ++d) {
            double sum = 0;
            for (std::size_t k = 0; k < m_t.size(); ++k) sum += Square(Residual(k, d));
            costs[d] = sum;
        }
        return costs;
    }

    // Residuals for one delay into r; returns their sum of squares.
    double Residuals(const Params& p, int delay, std::vector<double>& r)
    {
        r.resize(m_t.size());
        if (!Run(p)) return std::numeric_limits<double>::infinity();
        double sum = 0;
        for (std::size_t k = 0; k < m_t.size(); ++k) sum += Square(r[k] = Residual(k, delay));
        return sum;
    }

private:
    static double Square(double x) { return x * x; }
    bool Run(const Params& p)
    {
        const auto tf = Loop(m_model, m_plant, std::exp(p[0]), std::exp(p[1]));
        if (tf) Simulate(*tf, m_t, m_reference, m_y);
        return tf.has_value();
    }
    // The response `delay` samples late: at rest before.
    double Residual(std::size_t k, int delay) const
    {
        const std::size_t d = std::size_t(delay);
        return m_response[k] - (k >= d ? m_y[k - d] : m_reference[0]);
    }

    LoopModel m_model;
    PlantTruth m_plant;
    const std::vector<double>& m_t;
    const std::vector<double>& m_reference;
    const std::vector<double>& m_response;
    std::vector<double> m_y;
};

struct Candidate {
    Params p;
    double cost;
};

// Levenberg-Marquardt from `c` within [lo, hi], forward-difference Jacobian. Stops when an iteration lowers
// the cost by less than `tolerance` of it.
Candidate Refine(LoopFit& fit, int delay, Candidate c, const Params& lo, const Params& hi, double tolerance)
{
    constexpr double kDiff = 1e-6;
    constexpr int kMaxIterations = 40, kMaxTries = 10;
    auto clamp = [&](Params q) {
        for (int i = 0; i < 2; ++i) q[i] = std::clamp(q[i], lo[i], hi[i]);
        return q;
    };
    std::vector<double> r, trial, jac[2];
    c.cost = fit.Residuals(c.p, delay, r);
    double lambda = 1e-3;
    for (int it = 0; it < kMaxIterations && c.cost > 0; ++it) {
        for (int i = 0; i < 2; ++i) {
            Params q = c.p;
            const double step = q[i] + kDiff <= hi[i] ? kDiff : -kDiff;
            q[i] += step;
            fit.Residuals(q, delay, jac[i]);
            for (std::size_t k = 0; k < r.size(); ++k) jac[i][k] = (jac[i][k] - r[k]) / step;
        }
        double jj[2][2] = {}, jr[2] = {};
        for (std::size_t k = 0; k < r.size(); ++k) {
            for (int i = 0; i < 2; ++i) {
                jr[i] += jac[i][k] * r[k];
                for (int j = 0; j < 2; ++j) jj[i][j] += jac[i][k] * jac[j][k];
            }
        }
        // A parameter held at its bound by the descent stays there: the other one moves alone.
        for (int i = 0; i < 2; ++i) {
            if ((c.p[i] <= lo[i] && jr[i] > 0) || (c.p[i] >= hi[i] && jr[i] < 0)) {
                jr[i] = 0;
                jj[i][1 - i] = jj[1 - i][i] = 0;
            }
        }
        bool improved = false, converged = false;
        for (int tries = 0; tries < kMaxTries && !improved; ++tries) {
            const double a = jj[0][0] * (1 + lambda), d = jj[1][1] * (1 + lambda), b = jj[0][1];
            const double det = a * d - b * b;
            const Params q = clamp({c.p[0] - (d * jr[0] - b * jr[1]) / det, c.p[1] - (a * jr[1] - b * jr[0]) / det});
            const double cost = det > 0 ? fit.Residuals(q, delay, trial) : kNaN;
            if (cost < c.cost) {
                improved = true;
                converged = c.cost - cost <= tolerance * c.cost;
                c = {q, cost};
                r.swap(trial);
                lambda /= 10;
            } else {
                lambda *= 10;
            }
        }
        if (!improved || converged) break;
    }
    return c;
}

}  // namespace

StepFigures MeasureStep(const std::vector<double>& t, const std::vector<double>& y, double stepTime, double initial,
                        double target)
{
    StepFigures f{kNaN, kNaN, kNaN, kNaN, false};
    const double step = target - initial;
    if (t.size() != y.size() || !std::isfinite(step) || step == 0 || !std::isfinite(stepTime) || !Increasing(t) ||
        !AllFinite(y))
        return f;
    const std::size_t n = y.size();
    const std::size_t k0 = std::lower_bound(t.begin(), t.end(), stepTime) - t.begin();
    if (n - k0 < kMinStepSamples) return f;
    f.valid = true;
    const std::size_t tail = std::max<std::size_t>(1, n / 10);
    double sum = 0;
    for (std::size_t k = n - tail; k < n; ++k) sum += y[k];
    f.finalValue = sum / double(tail);

    // Normalised response: 0 at `initial`, 1 at `target`, whichever way the step goes.
    auto z = [&](std::size_t k) { return (y[k] - initial) / step; };
    double peak = z(k0);
    for (std::size_t k = k0; k < n; ++k) peak = std::max(peak, z(k));
    f.overshootPercent = std::max(0.0, (peak - 1) * 100);

    // Time at which z first reaches `level` at or after sample `from`, interpolated between samples.
    auto reach = [&](double level, std::size_t from, std::size_t& at) {
        for (at = from; at < n; ++at) {
            if (z(at) < level) continue;
            if (at == 0 || z(at - 1) >= level) return t[at];
            return t[at - 1] + (level - z(at - 1)) / (z(at) - z(at - 1)) * (t[at] - t[at - 1]);
        }
        return kNaN;
    };
    std::size_t at10 = 0, at90 = 0;
    const double t10 = reach(0.1, k0, at10);
    if (at10 < n) f.riseTime = reach(0.9, at10, at90) - t10;

    constexpr double kBand = 0.02;
    std::size_t last = n;  // the last sample outside the band
    for (std::size_t k = k0; k < n; ++k)
        if (std::abs(z(k) - 1) > kBand) last = k;
    if (last == n) {
        f.settlingTime = 0;
    } else if (last + 1 < n) {
        const double edge = z(last) > 1 ? 1 + kBand : 1 - kBand;
        const double frac = (z(last) - edge) / (z(last) - z(last + 1));
        f.settlingTime = t[last] + frac * (t[last + 1] - t[last]) - t[k0];
    }
    return f;
}

std::vector<double> SimulateLoop(LoopModel model, const PlantTruth& plant, double omega, double zeta,
                                 const std::vector<double>& t, const std::vector<double>& reference)
{
    const auto tf = Loop(model, plant, omega, zeta);
    std::vector<double> y;
    if (!tf || t.empty() || t.size() != reference.size() || !Increasing(t) || !AllFinite(reference)) return y;
    Simulate(*tf, t, reference, y);
    return y;
}

FitResult FitLoop(LoopModel model, const PlantTruth& plant, const std::vector<double>& t,
                  const std::vector<double>& reference, const std::vector<double>& response, double omegaGuess,
                  double zetaGuess)
{
    FitResult result{kNaN, kNaN, kNaN, 0, false};
    const std::size_t n = t.size();
    if (n < kMinFitSamples || reference.size() != n || response.size() != n || !Increasing(t) ||
        !AllFinite(reference) || !AllFinite(response) || !Loop(model, plant, omegaGuess, zetaGuess))
        return result;
    const auto [minRef, maxRef] = std::minmax_element(reference.begin(), reference.end());
    const double span = *maxRef - *minRef;
    if (!(span > 0)) return result;

    const Params lo = {std::log(omegaGuess / kOmegaRange), std::log(kZetaMin)};
    const Params hi = {std::log(omegaGuess * kOmegaRange), std::log(kZetaMax)};
    LoopFit fit(model, plant, t, reference, response);
    std::array<Candidate, kMaxDelay + 1> best;
    auto consider = [&](const Params& p) {
        const auto costs = fit.Costs(p);
        for (int d = 0; d <= kMaxDelay; ++d)
            if (costs[d] < best[d].cost) best[d] = {p, costs[d]};
    };
    // The guess first, then a coarse grid: 17 frequencies (steps of 19 %), 13 dampings (steps of 47 %).
    const Params guess = {std::log(omegaGuess), std::clamp(std::log(zetaGuess), lo[1], hi[1])};
    best.fill({guess, std::numeric_limits<double>::infinity()});
    consider(guess);
    constexpr int kOmegas = 17, kZetas = 13;
    for (int i = 0; i < kOmegas; ++i)
        for (int j = 0; j < kZetas; ++j)
            consider({lo[0] + (hi[0] - lo[0]) * i / (kOmegas - 1), lo[1] + (hi[1] - lo[1]) * j / (kZetas - 1)});

    // Every delay roughly, then the best one to the end: a wrong delay converges slowly and is of no use.
    Candidate fitted{guess, std::numeric_limits<double>::infinity()};
    for (int d = 0; d <= kMaxDelay; ++d) {
        const Candidate c = Refine(fit, d, best[d], lo, hi, 1e-4);
        if (c.cost < fitted.cost) {
            fitted = c;
            result.delaySamples = d;
        }
    }
    if (std::isfinite(fitted.cost)) fitted = Refine(fit, result.delaySamples, fitted, lo, hi, 1e-12);
    if (!std::isfinite(fitted.cost)) return result;
    result.omega = std::exp(fitted.p[0]);
    result.zeta = std::exp(fitted.p[1]);
    result.rms = std::sqrt(fitted.cost / double(n)) / span;
    result.ok = true;
    return result;
}

TrackingFigures MeasureTracking(const std::vector<double>& reference, const std::vector<double>& response)
{
    if (reference.empty() || reference.size() != response.size()) return {kNaN, kNaN};
    double peak = 0, sum = 0;
    for (std::size_t k = 0; k < reference.size(); ++k) {
        const double e = reference[k] - response[k];
        peak = std::max(peak, std::abs(e));
        sum += e * e;
    }
    // A NaN sample makes both NaN rather than vanishing from the peak.
    if (!std::isfinite(sum)) return {kNaN, kNaN};
    return {peak, std::sqrt(sum / double(reference.size()))};
}

}  // namespace zekhost
