#include "filter_response_model.h"

#include <algorithm>
#include <cmath>
#include <numbers>
#include <string>

#include "engine/biquad_designer.h"
#include "rurorade/host_errors.h"

namespace zekqt {

namespace {

// Every parameter filter `n` is designed from, looked up without reporting a missing one.
bool HasFilter(CMC_Setup* setup, int n)
{
    const rurorade::QuietLookups quiet;
    bool all = true;
    for (const char* prefix : {"BQFilter", "BQFilterType", "BQFilterQ", "BQFilterF1", "BQFilterF2"})
        all = all && setup->FindParameter((prefix + std::to_string(n)).c_str()) != nullptr;
    return all;
}

// Frequencies (Hz) of the section's complex zeros and poles: a notch's depth and a peak's height
// lie there, often narrower than a step of the logarithmic grid.
void AddResonances(const BiquadCoefficients& s, double ts, std::vector<double>& at)
{
    // Roots of c0 z^2 + c1 z + c2, a conjugate pair when c1^2 < 4 c0 c2: their angle.
    auto pair = [&](double c0, double c1, double c2) {
        if (!(c1 * c1 < 4 * c0 * c2)) return;
        const double angle = std::acos(std::clamp(-c1 / (2 * std::sqrt(c0 * c2)), -1.0, 1.0));
        at.push_back(angle / (2 * std::numbers::pi * ts));
    };
    pair(s.b0, s.b1, s.b2);
    pair(1, s.a1, s.a2);
}

// The logarithmic grid from `low` to `high`, with points crowding towards each resonance: within
// 25 % either side, spaced as the cube of the distance, the closest a few millionths away.
std::vector<double> Grid(double low, double high, int points, const std::vector<double>& resonances)
{
    std::vector<double> hz;
    for (int i = 0; i < points; ++i) hz.push_back(low * std::pow(high / low, i / (points - 1.0)));
    constexpr int kSide = 30;
    for (const double f : resonances)
        for (int k = -kSide; k <= kSide; ++k) {
            const double x = static_cast<double>(k) / kSide;
            const double at = f * std::exp(0.25 * x * x * x);
            if (at > low && at < high) hz.push_back(at);
        }
    std::sort(hz.begin(), hz.end());
    hz.erase(std::unique(hz.begin(), hz.end()), hz.end());
    return hz;
}

}  // namespace

void FilterResponseModel::Update(CMC_Setup* setup)
{
    m_curves.clear();
    m_message.clear();
    bool hasTs = false;
    {
        const rurorade::QuietLookups quiet;
        hasTs = setup != nullptr && setup->FindParameter("Ts_S") != nullptr;
    }
    if (!hasTs) {
        m_message = "This drive has no biquad filters.";
        return;
    }
    const double ts = setup->GetParameterValueInBaseUnit("Ts_S");
    if (!(ts > 0)) {
        m_message = "The speed loop sample time is not set.";
        return;
    }
    // From a thousandth of the Nyquist frequency to just below it (s).
    m_highHz = 0.999 * 0.5 / ts;
    m_lowHz = 0.5e-3 / ts;
    BiquadDesigner designer;
    for (int n = 1; n <= BiquadDesigner::kFilterCount; ++n) {
        if (!HasFilter(setup, n) || setup->GetParameterValueInBaseUnit(("BQFilter" + std::to_string(n)).c_str()) == 0.0)
            continue;
        // The design and the drive's registers on one grid, so that they compare point by point.
        BiquadCoefficients sections[2];
        std::vector<double> resonances;
        for (bool quantised : {false, true}) {
            designer.DesignFilter(setup, n, quantised);
            sections[quantised] = designer.Section(quantised);
            AddResonances(sections[quantised], ts, resonances);
        }
        const std::vector<double> grid = Grid(m_lowHz, m_highHz, kPoints, resonances);
        for (bool quantised : {false, true}) {
            ResponseCurve curve{n, quantised, {}};
            curve.points.reserve(grid.size());
            for (const double hz : grid) {
                const BiquadResponse r = BiquadFrequencyResponse(sections[quantised], hz, ts);
                if (std::isfinite(r.magnitudeDb) && std::isfinite(r.phaseDeg)) curve.points.push_back({hz, r.magnitudeDb, r.phaseDeg});
            }
            m_curves.push_back(std::move(curve));
        }
    }
    if (m_curves.empty()) m_message = "No filter is on.";
}

}  // namespace zekqt
