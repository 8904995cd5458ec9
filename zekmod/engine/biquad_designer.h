#pragma once
// Designs the speed-loop biquad sections (prewarped bilinear transform), quantises them to
// the drive's fixed point and packs the enabled filters into the three drive slots.
#include <string>
#include <vector>

#include "rurorade/setup.h"

// A section as real coefficients: H(z) = (b0 + b1 z^-1 + b2 z^-2) / (1 + a1 z^-1 + a2 z^-2).
struct BiquadCoefficients {
    double b0 = 1, b1 = 0, b2 = 0, a1 = 0, a2 = 0;
};

// Gain (dB) and phase (degrees, -180..180) of a section at one frequency.
struct BiquadResponse {
    double magnitudeDb = 0, phaseDeg = 0;
};

// Response of `section` at `frequencyHz` when it runs every `sampleTimeS` seconds.
BiquadResponse BiquadFrequencyResponse(const BiquadCoefficients& section, double frequencyHz, double sampleTimeS);

// The real coefficients of a quantised section: each register times SF / 2^31.
BiquadCoefficients FromQuantised(double b0, double b1, double b2, double a1, double a2, double SF);

class BiquadDesigner {
public:
    static constexpr int kTypeCount = 10;
    static constexpr int kFilterCount = 3;  // user filters and drive slots alike

    BiquadDesigner();

    // Names and numbers of the types a user may choose, in table order.
    void GetOfferedTypes(std::vector<std::string>& names, std::vector<int>& types) const;
    // One section into the working coefficients; f1Ts and `second` are fractions of the sampling rate
    // (or Q). A type outside 0..9 leaves the working section unchanged.
    void DesignSection(int type, double f1Ts, double second, double gainDb);
    // Scale factor and integer coefficients of the working section.
    void QuantiseSection();
    // Filter `filter` (1..3) of the setup into the working section: as designed, or with `quantise`
    // quantised and trimmed as the drive gets it. Nothing is written to the setup.
    void DesignFilter(CMC_Setup* setup, int filter, bool quantise);
    // Filter `filter` (1..3) designed, quantised and trimmed into the registers of slot `slot` (1..3).
    void ComputeFilter(CMC_Setup* setup, int filter, int slot);
    // The working section as real coefficients (a quantised one through FromQuantised).
    BiquadCoefficients Section(bool quantised) const;
    // Enabled filters into slots ordered by location; unused slots zeroed; the three counts.
    void ComputeAllFilters(CMC_Setup* setup);
    // Counts and slot registers to the drive; a register the setup lacks is skipped.
    void WriteFiltersToDrive(CMC_Setup* setup);

    // Empty for a number outside 0..9.
    const std::string& TypeName(int type) const;
    bool IsOffered(int type) const { return type >= 0 && type < kTypeCount && m_offered[type] != 0; }

    // Working section (after QuantiseSection the coefficients hold integers).
    double b0 = 0, b1 = 0, b2 = 0, a1 = 0, a2 = 0, SF = 1;

private:
    std::string m_names[kTypeCount];
    unsigned char m_offered[kTypeCount];
};
