#include "commissioning/tuning_rules.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>

#include "rurorade/numeric.h"

namespace {

constexpr double kFullScale = 32767.0;

bool AllFinite(std::initializer_list<double> values)
{
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

}  // namespace

bool CurrentLoopGains(double L, double R, bool deltaConnection, double ts, double kv, double kiCnt, double omega,
                      double zeta, PiGains& out)
{
    if (!AllFinite({L, R, ts, kv, kiCnt, omega, zeta}) || R == 0 || kiCnt == 0) return false;
    const double tau = L / R;  // electrical time constant, s
    const double r = deltaConnection ? R / 3 : R;
    if (tau > 4 * ts) {
        out.kp = (2 * zeta * omega * tau - 1) * r * kv / kiCnt;
        out.ki = omega * omega * tau * r * ts * kv / kiCnt;
        return true;
    }
    // Too short to cancel the winding pole within a few samples: the rule goes by the loop period.
    if (ts == 0) return false;
    out.kp = (tau / (2 * std::sqrt(2.0) * ts) - 1) * r * kv / kiCnt;
    out.ki = omega * r * ts * kv / kiCnt;
    return true;
}

bool SpeedLoopGains(double ts, double kc, double kw, double omega, double zeta, double j, double kt, PiGains& out)
{
    if (!AllFinite({ts, kc, kw, omega, zeta, j, kt}) || kw == 0 || kt == 0) return false;
    out.ki = omega * omega * ts * j * kc / kw / kt;
    out.kp = 2 * omega * zeta * j * kc / kw / kt;
    return true;
}

bool PositionLoopGains(bool throughSpeedLoop, double ts, double kc, double kw, double kx, double omega, double zeta,
                       double j, double kt, PidGains& out)
{
    if (throughSpeedLoop) {
        // The speed loop closes around the inertia: a PI on speed references is enough.
        if (!AllFinite({ts, kw, kx, omega, zeta}) || kx == 0) return false;
        out.ki = omega * omega * ts * kw / kx;
        out.kp = 2 * omega * zeta * kw / kx;
        out.kd = 0;
        return true;
    }
    if (!AllFinite({ts, kc, kx, omega, zeta, j, kt}) || kx == 0 || kt == 0 || ts == 0) return false;
    const double w = (2 * zeta + 1) * omega;  // rad/s
    out.ki = omega * omega * omega * ts * j * kc / kx / kt;
    out.kp = w * omega * j * kc / kx / kt;
    out.kd = w * j * kc / kx / kt / ts;
    return true;
}

double CurrentOutputFilterCoefficient(bool on, double omega, double ts)
{
    if (!on) return kFullScale;
    return TruncToInt32((1 - std::exp(-omega * ts)) * kFullScale);
}

double ScopeScale125(double x)
{
    const double d = (x > 0 && std::isfinite(x)) ? std::pow(10.0, std::ceil(std::log10(x))) : 1.0;
    if (d / 5 >= x) return d / 5;
    if (d / 2 >= x) return d / 2;
    return d;
}

ScopeTrigger ComputeScopeTrigger(bool hasTestValue, bool hasReferenceType, int referenceType, double testValue,
                                 double ta, double t, double tan, double tn, bool cyclic)
{
    const int type = hasReferenceType && (referenceType == 1 || referenceType == 2) ? referenceType : 0;
    const double fullSpan = 2 * ta + t + 2 * tan + tn;  // bidirectional: both ramps twice
    if (!hasTestValue) return {type == 2 ? fullSpan : ta + t + tan + tn, 1, 1, false, 0, 0};

    ScopeTrigger trigger{};
    // One way: up to the plateau, hold, back down, plus a short tail.
    trigger.span = type == 2 ? fullSpan : ta + t + tan + std::min(ta, tan);
    trigger.mode = cyclic ? 2 : 4;
    trigger.useVariable = true;
    if (type == 1) {
        trigger.level = -0.95 * testValue;
        trigger.slope = testValue < 0 ? 1 : 0;
    } else {
        trigger.level = (type == 2 ? 0.9 : 0.95) * testValue;
        trigger.slope = (!hasReferenceType || testValue >= 0) ? 1 : 0;
    }
    trigger.preTrigger =
        trigger.span > 0 && std::isfinite(trigger.span) ? std::ceil(100 * ta / trigger.span) : 0;
    return trigger;
}
