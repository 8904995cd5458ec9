#pragma once
// Tuning rules of the current, speed and position controllers and the default scope layout of
// the speed and position tuning tests. Gains are in the scaled (floating) form of the *_scl
// parameters; each rule returns false and leaves `out` alone when an input it uses is not finite
// or one of its divisors is 0.

struct PiGains {
    double kp, ki;
};
struct PidGains {
    double kp, ki, kd;
};

// Current PI from the winding: L in H, R in ohm, ts in s, kv = VoltageCommandScale,
// kiCnt = CurrentScale, omega in rad/s. A delta winding is tuned on R/3.
bool CurrentLoopGains(double L, double R, bool deltaConnection, double ts, double kv, double kiCnt, double omega,
                      double zeta, PiGains& out);

// Speed PI: ts in s, kc = CurrentScale, kw = MotorSpeedScale, omega in rad/s, j in kg m^2, kt in Nm/A.
bool SpeedLoopGains(double ts, double kc, double kw, double omega, double zeta, double j, double kt, PiGains& out);

// Position PID, kx = MotorPositionScale; through the speed loop (PositionControlType 1) it has no
// derivative term and needs neither j, kt nor kc.
bool PositionLoopGains(bool throughSpeedLoop, double ts, double kc, double kw, double kx, double omega, double zeta,
                       double j, double kt, PidGains& out);

// Coefficient of the first-order filter on the current controller's output (1/32767 units),
// omega in rad/s, ts = current loop period in s; 32767 (transparent) when off.
double CurrentOutputFilterCoefficient(bool on, double omega, double ts);

// Scale per division on the 1-2-5 ladder for a span x (display unit): the smallest of d/5, d/2, d
// that covers x, with d = 10^ceil(log10 x) (1 when x <= 0 or not finite).
double ScopeScale125(double x);

// Trigger of the default scope layout. span in s; mode, the host's: 4 for a single run, 2 for a
// cyclic one, 1 without a test value; slope 1 rising, 0 falling; level in the test value's unit;
// preTrigger in percent of the span (0 for a span that is not positive).
struct ScopeTrigger {
    double span;
    int mode;
    int slope;
    bool useVariable;
    double level;
    double preTrigger;
};
// Without a test value the scope runs over the whole profile, untriggered; without the
// reference type parameter the profile is positive.
ScopeTrigger ComputeScopeTrigger(bool hasTestValue, bool hasReferenceType, int referenceType, double testValue,
                                 double ta, double t, double tan, double tn, bool cyclic);
