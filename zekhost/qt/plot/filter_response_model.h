#pragma once
// The frequency response of the setup's biquad filters that are on: each as designed, and as the
// drive runs it with its quantised registers, on a logarithmic grid up to the Nyquist frequency of
// the speed loop (Ts_S), made denser around each filter's notches and peaks. Numbers only; the
// filter response view draws them.
#include <string>
#include <vector>

#include "rurorade/setup.h"

namespace zekqt {

struct ResponsePoint {
    double hz = 0, db = 0, deg = 0;
};

struct ResponseCurve {
    int filter = 0;          // 1..3
    bool quantised = false;  // the drive's registers, or the design
    std::vector<ResponsePoint> points;
};

class FilterResponseModel {
public:
    static constexpr int kPoints = 240;  // of the logarithmic grid, before the resonances' points

    // Designs again from the setup's current values.
    void Update(CMC_Setup* setup);
    const std::vector<ResponseCurve>& Curves() const { return m_curves; }
    // Why there is nothing to draw ("" when there is).
    const std::string& Message() const { return m_message; }
    double LowestHz() const { return m_lowHz; }
    double HighestHz() const { return m_highHz; }

private:
    std::vector<ResponseCurve> m_curves;
    std::string m_message;
    double m_lowHz = 1, m_highHz = 1000;
};

}  // namespace zekqt
