#pragma once
// Designs the speed-loop biquad sections (prewarped bilinear transform), quantises them to
// the drive's fixed point and packs the enabled filters into the three drive slots.
#include <string>
#include <vector>

#include "rurorade/setup.h"

class BiquadDesigner {
public:
    BiquadDesigner();

    // Names and numbers of the types a user may choose, in table order.
    void GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& types) const;
    // One section into the working coefficients; f1Ts and `second` are fractions of the sampling rate
    // (or Q). A type outside 0..9 leaves the working section unchanged.
    void DesignSection(int type, double f1Ts, double second, double gainDb);
    // Scale factor and integer coefficients of the working section.
    void QuantiseSection();
    void ComputeFilter(CMC_Setup* setup, int filter, int slot);
    void ComputeAllFilters(CMC_Setup* setup);
    void WriteFiltersToDrive(CMC_Setup* setup);

    const std::string& TypeName(int type) const { return m_names[type]; }
    // Working section (after QuantiseSection the coefficients hold integers).
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, SF = 1;

private:
    std::string m_names[10];
    unsigned char m_offered[10];
};
