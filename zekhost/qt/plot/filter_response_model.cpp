#include "filter_response_model.h"

#include <cmath>
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
        for (bool quantised : {false, true}) {
            designer.DesignFilter(setup, n, quantised);
            const BiquadCoefficients section = designer.Section(quantised);
            ResponseCurve curve{n, quantised, {}};
            curve.points.reserve(kPoints);
            for (int i = 0; i < kPoints; ++i) {
                const double hz = m_lowHz * std::pow(m_highHz / m_lowHz, i / (kPoints - 1.0));
                const BiquadResponse r = BiquadFrequencyResponse(section, hz, ts);
                if (std::isfinite(r.magnitudeDb) && std::isfinite(r.phaseDeg)) curve.points.push_back({hz, r.magnitudeDb, r.phaseDeg});
            }
            m_curves.push_back(std::move(curve));
        }
    }
    if (m_curves.empty()) m_message = "No filter is on.";
}

}  // namespace zekqt
