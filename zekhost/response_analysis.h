#pragma once
// Figures of a control loop's response measured from logged data (a reference and a response, sampled
// at times in s), and a least-squares fit of the natural frequency and damping the response shows.
// Pure functions: no state, no output.
#include <vector>

namespace zekhost {

// Figures of a step from `initial` to `target` (y sampled at times t, s): 10-90 % rise time (s),
// overshoot in % of the step (0 when none), 2 % settling time (s, band around `target`) from the first
// sample at or after `stepTime`, and the mean of the last 10 % of the samples. A figure the data do not
// show (the response never reaches 90 %, or is still outside the band at the end) is NaN.
// valid = false when the data cannot say (no step, too few samples, times not increasing, NaN data).
struct StepFigures {
    double riseTime, overshootPercent, settlingTime, finalValue;
    bool valid;
};
StepFigures MeasureStep(const std::vector<double>& t, const std::vector<double>& y, double stepTime, double initial,
                        double target);

// Closed loops as tuned for a natural frequency ω (rad/s) and a damping ζ, all with unit gain at DC:
//   CurrentPi    PI on 1/(L s + R):          (Kp s + Ki)/(L s² + (R + Kp) s + Ki), Kp = 2ζωL − R, Ki = ω²L
//   SecondOrder  PI on 1/(J s), or position
//                through an ideal speed loop: (2ζω s + ω²)/(s² + 2ζω s + ω²)
//   PositionPid  PID on 1/(J s²), w = (2ζ+1)ω: (w s² + wω s + ω³)/(s³ + w s² + wω s + ω³)
enum class LoopModel { CurrentPi, SecondOrder, PositionPid };
struct PlantTruth {
    double R = 0, L = 0;  // only CurrentPi needs them (ohm, H)
};

// Simulates the model's continuous closed loop driven by `reference` (piecewise linear between the samples),
// starting at rest at reference[0]; returns the response at the sample times. Returns an empty vector when
// it cannot (sizes differ, times not increasing, ω or ζ not positive, CurrentPi without L > 0).
std::vector<double> SimulateLoop(LoopModel model, const PlantTruth& plant, double omega, double zeta,
                                 const std::vector<double>& t, const std::vector<double>& reference);

// Least-squares fit of (omega, zeta) and of a response delay of 0..3 samples (a discrete drive answers a sample
// late) so that SimulateLoop matches `response`: a coarse log-spaced grid, then a local refinement, omega within
// [guess/4, guess*4], zeta within [0.05, 5]. rms is the residual's RMS divided by the reference's span.
// ok = false when the data are unusable (no change in the reference, too few samples, NaN, bad guesses).
struct FitResult {
    double omega, zeta, rms;
    int delaySamples;
    bool ok;
};
FitResult FitLoop(LoopModel model, const PlantTruth& plant, const std::vector<double>& t,
                  const std::vector<double>& reference, const std::vector<double>& response, double omegaGuess,
                  double zetaGuess);

// Largest |reference - response| and RMS of reference - response over all samples (tracking error of a
// profile); both NaN when the sizes differ or there are no samples.
struct TrackingFigures {
    double peak, rms;
};
TrackingFigures MeasureTracking(const std::vector<double>& reference, const std::vector<double>& response);

}  // namespace zekhost
