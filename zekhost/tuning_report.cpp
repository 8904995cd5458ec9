#include "tuning_report.h"

#include <cmath>
#include <cstdio>
#include <iostream>

#include "response_analysis.h"

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
    PrintFit(FitLoop(LoopModel::CurrentPi, truth, t, reference, current, omega, zeta), omega, zeta);
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

void ReportSpeed(const CGraphDocument& logged, CMC_Setup& setup)
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
    PrintFit(FitLoop(LoopModel::SecondOrder, {}, t, reference, speed, omega, zeta), omega, zeta);
    const TrackingFigures seen = MeasureTracking(reference, speed);
    const TrackingFigures ideal = MeasureTracking(reference, SimulateLoop(LoopModel::SecondOrder, {}, omega, zeta, t, reference));
    double span = 0;
    for (double r : reference) span = std::fmax(span, std::fabs(r));
    if (span > 0)
        std::printf("tracking error: peak %.2f %% of the test speed (ideal loop %.2f %%), rms %.2f %% (ideal %.2f %%)\n",
                    seen.peak / span * 100, ideal.peak / span * 100, seen.rms / span * 100, ideal.rms / span * 100);
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
    if (name == "speed") ReportSpeed(logged, setup);
}

bool WriteTuningFiles(CGraphDocument& logged, const std::string& csvPath, const std::string& plotPath)
{
    bool ok = true;
    if (!csvPath.empty() && !logged.GetAt(0)->ExportToASCII(WithoutExtension(csvPath, ".csv").c_str())) {
        std::cerr << "zekhost: cannot write " << csvPath << "\n";
        ok = false;
    }
    if (!plotPath.empty()) {
        CGraphWindow window(2, 0);
        window.SetDocument(&logged);
        if (!window.CreateWMF(WithoutExtension(plotPath, ".svg").c_str())) {
            std::cerr << "zekhost: cannot write " << plotPath << "\n";
            ok = false;
        }
    }
    return ok;
}

}  // namespace zekhost
