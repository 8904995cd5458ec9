#include "tuning_report.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "response_analysis.h"
#include "rurorade/plot_renderer.h"

namespace zekhost {
namespace {

double Value(CMC_Setup& setup, const char* name)
{
    CMC_Parameter* p = setup.FindParameter(name);
    return p ? p->GetValueInBaseUnit() : std::nan("");
}

std::vector<double> Column(const CGraphDocument& logged, std::size_t channel)
{
    std::vector<double> column;
    column.reserve(logged.points.size());
    for (const auto& point : logged.points) column.push_back(channel < point.size() ? point[channel] : std::nan(""));
    return column;
}

double Percent(double measured, double asked) { return (measured - asked) / asked * 100; }

void PrintGain(CMC_Setup& setup, const char* scaled, const char* mantissa, const char* shift)
{
    std::printf("  %s = %.6g (%s %.6g, %s %.0f)\n", scaled, Value(setup, scaled), mantissa, Value(setup, mantissa), shift,
                Value(setup, shift));
}

void PrintFit(const FitResult& fit, double omega, double zeta)
{
    if (!fit.ok) {
        std::printf("measured: the logged data do not fit a loop\n");
        return;
    }
    std::printf("measured: natural frequency %.1f rad/s (%+.1f %%), damping %.3f (%+.1f %%); fit residual %.2f %%, delay %d "
                "sample(s)\n",
                fit.omega, Percent(fit.omega, omega), fit.zeta, Percent(fit.zeta, zeta), fit.rms * 100,
                fit.delaySamples);
}

void ReportCurrent(const CGraphDocument& logged, CMC_Setup& setup, const drivesim::MotorModel& motor)
{
    const double omega = Value(setup, "PB_C"), zeta = Value(setup, "Dump_C");
    std::printf("gains:\n");
    PrintGain(setup, "Kp_C_scl", "KPI", "SFTKPI");
    PrintGain(setup, "Ki_C_scl", "KII", "SFTKII");
    std::printf("asked: passband %.1f rad/s, damping %.3f\n", omega, zeta);
    const auto t = Column(logged, 0), reference = Column(logged, 1), current = Column(logged, 2);
    std::size_t step = 1;
    while (step < reference.size() && reference[step] == reference[0]) ++step;
    if (step >= reference.size()) {
        std::printf("measured: no current step in the logged data\n");
        return;
    }
    // The loop sees the winding between two phases as one R-L in the drive's frame.
    const PlantTruth truth{motor.resistance, motor.Lq()};
    // The rule's continuous PI was made for the setup's R and L; on the motor's own it has another
    // natural frequency and damping.
    const double l = Value(setup, "L"), r = Value(setup, "R") / (Value(setup, "MotorPhaseConnectionType") == 1 ? 3 : 1);
    if (std::fabs(l - truth.L) > 0.01 * truth.L || std::fabs(r - truth.R) > 0.01 * truth.R) {
        const double kp = 2 * zeta * omega * l - r, ki = omega * omega * l;
        const double w = std::sqrt(ki / truth.L), z = (truth.R + kp) / (2 * w * truth.L);
        std::printf("note: the setup's R %.4g ohm, L %.4g H are not the motor's %.4g ohm, %.4g H: on this motor the "
                    "rule's loop has a natural frequency of %.1f rad/s and a damping of %.3f\n",
                    r, l, truth.R, truth.L, w, z);
    }
    PrintFit(FitTuningLog("current", logged, setup, motor).fit, omega, zeta);
    const double before = reference[step - 1], after = reference.back();
    const StepFigures seen = MeasureStep(t, current, t[step], before, after);
    const StepFigures ideal = MeasureStep(t, SimulateLoop(LoopModel::CurrentPi, truth, omega, zeta, t, reference), t[step],
                                          before, after);
    if (seen.valid && ideal.valid)
        std::printf("step: rise time %.3f ms (ideal %.3f ms), overshoot %.1f %% (ideal %.1f %%), settling %.3f ms "
                    "(ideal %.3f ms)\n",
                    seen.riseTime * 1e3, ideal.riseTime * 1e3, seen.overshootPercent, ideal.overshootPercent,
                    seen.settlingTime * 1e3, ideal.settlingTime * 1e3);
}

// The speed PI was made for the setup's Jt; on the motor's own inertia it has another natural
// frequency and damping (Kp and Ki scale with J: w ~ sqrt(Jt/J), zeta ~ sqrt(Jt/J)).
void NoteInertia(CMC_Setup& setup, const drivesim::MotorModel& motor, double omega, double zeta)
{
    const double jt = Value(setup, "Jt"), j = motor.TotalInertia();
    if (!(j > 0) || std::fabs(jt - j) <= 0.01 * j) return;
    const double ratio = std::sqrt(jt / j);
    std::printf("note: the setup's Jt %.4g kg m^2 is not the motor's %.4g kg m^2: on this motor the rule's loop has a "
                "natural frequency of %.1f rad/s and a damping of %.3f\n",
                jt, j, omega * ratio, zeta * ratio);
    const double ffa = Value(setup, "KFFA_scl"), ffs = Value(setup, "KFFS_scl");
    if (ffa != 0 || ffs != 0)
        std::printf("note: the feed-forwards (KFFS_scl %.4g, KFFA_scl %.4g) carry the profile too, which the fit's loop "
                    "does not have\n",
                    ffs, ffa);
}

void ReportSpeed(const CGraphDocument& logged, CMC_Setup& setup, const drivesim::MotorModel& motor)
{
    const double omega = Value(setup, "PB_S"), zeta = Value(setup, "Dump_S");
    std::printf("gains:\n");
    PrintGain(setup, "Kp_S_scl", "KPS", "SFTKPS");
    PrintGain(setup, "Ki_S_scl", "KIS", "SFTKIS");
    std::printf("asked: passband %.1f rad/s, damping %.3f (total inertia %.6g kg m^2)\n", omega, zeta, Value(setup, "Jt"));
    const auto t = Column(logged, 0), reference = Column(logged, 1), speed = Column(logged, 2);
    if (t.size() < 10) {
        std::printf("measured: too few logged points\n");
        return;
    }
    NoteInertia(setup, motor, omega, zeta);
    PrintFit(FitTuningLog("speed", logged, setup, {}).fit, omega, zeta);
    const TrackingFigures seen = MeasureTracking(reference, speed);
    const TrackingFigures ideal = MeasureTracking(reference, SimulateLoop(LoopModel::SecondOrder, {}, omega, zeta, t, reference));
    double span = 0;
    for (double r : reference) span = std::fmax(span, std::fabs(r));
    if (span > 0)
        std::printf("tracking error: peak %.2f %% of the test speed (ideal loop %.2f %%), rms %.2f %% (ideal %.2f %%)\n",
                    seen.peak / span * 100, ideal.peak / span * 100, seen.rms / span * 100, ideal.rms / span * 100);
}

void ReportPosition(const CGraphDocument& logged, CMC_Setup& setup)
{
    const double omega = Value(setup, "PB_P"), zeta = Value(setup, "Dump_P");
    const bool speedLoop = Value(setup, "PositionControlType") == 1;
    std::printf("gains (position loop %s):\n", speedLoop ? "through the speed loop" : "straight to the current loop");
    PrintGain(setup, "Kp_P_scl", "KPP", "SFTKPP");
    PrintGain(setup, "Ki_P_scl", "KIP", "SFTKIP");
    PrintGain(setup, "Kd_P_scl", "KDP", "SFTKDP");
    std::printf("asked: passband %.1f rad/s, damping %.3f (total inertia %.6g kg m^2)\n", omega, zeta, Value(setup, "Jt"));
    // The model is feedback only: feed-forwards make the drive follow closer than it.
    std::printf("feed-forward: speed %.6g, acceleration %.6g\n", Value(setup, "KFFS_scl"), Value(setup, "KFFA_scl"));
    const auto t = Column(logged, 0), reference = Column(logged, 1), position = Column(logged, 2);
    if (t.size() < 10) {
        std::printf("measured: too few logged points\n");
        return;
    }
    const LoopModel model = speedLoop ? LoopModel::SecondOrder : LoopModel::PositionPid;
    PrintFit(FitTuningLog("position", logged, setup, {}).fit, omega, zeta);
    const TrackingFigures seen = MeasureTracking(reference, position);
    const TrackingFigures ideal = MeasureTracking(reference, SimulateLoop(model, {}, omega, zeta, t, reference));
    double span = 0;
    for (double r : reference) span = std::fmax(span, std::fabs(r - reference.front()));
    if (span > 0)
        std::printf("tracking error: peak %.2f %% of the test position (ideal loop %.2f %%), rms %.2f %% (ideal %.2f %%), "
                    "at the end %.6g counts\n",
                    seen.peak / span * 100, ideal.peak / span * 100, seen.rms / span * 100, ideal.rms / span * 100,
                    reference.back() - position.back());
}

// A run that reaches the report has ended with test_flag 1: the angle settled within its tolerance.
void ReportAngle(const CGraphDocument& logged, CMC_Setup& setup)
{
    std::printf("gains:\n");
    PrintGain(setup, "Kp_T_scl", "KPTHT", "SFTKPTHT");
    PrintGain(setup, "Ki_T_scl", "KITHT", "SFTKITHT");
    std::printf("result: test_flag 1, the electric angle settled\n");
    const auto angle = Column(logged, 2);
    // 65536 angle units are one electrical turn.
    if (!angle.empty())
        std::printf("electric angle at the end of the log: %.17g (%.6g electrical degrees)\n", angle.back(),
                    angle.back() * 360 / 65536);
}

std::string WithoutExtension(const std::string& path, const char* extension)
{
    const std::string ext(extension);
    if (path.size() > ext.size() && path.compare(path.size() - ext.size(), ext.size(), ext) == 0)
        return path.substr(0, path.size() - ext.size());
    return path;
}

}  // namespace

void PrintTuningReport(const std::string& name, const CGraphDocument& logged, CMC_Setup& setup,
                       const drivesim::MotorModel& motor)
{
    if (logged.points.empty()) {
        std::printf("no logged data\n");
        return;
    }
    if (name == "current") ReportCurrent(logged, setup, motor);
    if (name == "speed") ReportSpeed(logged, setup, motor);
    if (name == "position") ReportPosition(logged, setup);
    if (name == "angle") ReportAngle(logged, setup);
}

bool WriteTuningFiles(CGraphDocument& logged, const std::string& csvPath, const std::string& plotPath)
{
    bool ok = true;
    if (!csvPath.empty() && !logged.GetAt(0)->ExportToASCII(WithoutExtension(csvPath, ".csv").c_str())) {
        std::cerr << "zekhost: cannot write " << csvPath << "\n";
        ok = false;
    }
    if (!plotPath.empty()) {
        const rurorade::PlotRenderer& render = rurorade::GetPlotRenderer();
        std::string error = "cannot write " + plotPath + ": no picture renderer";
        if (!render || !render(logged, plotPath, &error)) {
            std::cerr << "zekhost: " << error << "\n";
            ok = false;
        }
    }
    return ok;
}

TuningFit FitTuningLog(const std::string& name, const CGraphDocument& logged, CMC_Setup& setup,
                       const drivesim::MotorModel& motor)
{
    const char* passband = name == "current" ? "PB_C" : name == "speed" ? "PB_S" : "PB_P";
    const char* damping = name == "current" ? "Dump_C" : name == "speed" ? "Dump_S" : "Dump_P";
    TuningFit result{Value(setup, passband), Value(setup, damping), {std::nan(""), std::nan(""), std::nan(""), 0, false}};
    LoopModel model = LoopModel::SecondOrder;
    PlantTruth truth;
    if (name == "current") {
        model = LoopModel::CurrentPi;
        // The loop sees the winding between two phases as one R-L in the drive's frame.
        truth = {motor.resistance, motor.Lq()};
    } else if (name == "position") {
        if (Value(setup, "PositionControlType") != 1) model = LoopModel::PositionPid;
    } else if (name != "speed") {
        return result;
    }
    result.fit = FitLoop(model, truth, Column(logged, 0), Column(logged, 1), Column(logged, 2), result.askedOmega,
                         result.askedZeta);
    return result;
}

}  // namespace zekhost
