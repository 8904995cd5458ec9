#pragma once
// The drive's controllers in its own integer arithmetic (fixed_point.h): the current PI loops
// with their output filter, the speed PI loop with its feed-forwards, the position PID loop, and
// the reference generator of six ramp-and-hold segments. Gains and limits come from the register
// parameters the module writes; a register written while a program runs takes effect at the next
// sample.
//
// Integer semantics: a PI controller keeps its integral in a 64-bit accumulator scaled by 2^15;
// each sample adds error * mantissa * 2^shift to it and clamps it to +-(integral limit * 2^15).
// The output is the proportional product (error * mantissa * 2^shift, arithmetic shift right by
// 15) plus the integral shifted right by 15, clamped to +-(output limit). Errors are saturated to
// 16 bits first. A first-order filter coefficient F updates y += (u - y) * F >> 15; F = 32767 is no
// filter at all.
#include <array>
#include <cstdint>
#include <string_view>

#include "drivesim/fixed_point.h"

class CMC_Setup;

namespace drivesim {

struct LoopRegisters {
    fx::Gain kpi, kii;              // current PI (KPI/SFTKPI, KII/SFTKII)
    fx::Gain kps, kis;              // speed PI
    fx::Gain kpp, kip, kdp;         // position PID
    fx::Gain kffs;                  // speed feed-forward (KFFS/SFTSFFW)
    fx::Gain kptht, kitht;          // electric angle controller (KPTHT/SFTKPTHT, KITHT/SFTKITHT)
    std::int32_t kffa = 0;          // acceleration feed-forward mantissa
    int sftaffw = 0, sftkff = 0;    // its shift, spread over two registers
    std::int32_t filterq = 32767;   // current controller output filter
    std::int32_t ffl = 0;           // current offset, counts (gravity compensation)
    std::int32_t imaxs = 32767, sats = 32767;  // speed loop: 32767 - integral limit, 32767 - output limit
    std::int32_t imaxp = 32767, satp = 32767;  // position loop, the same
    std::int32_t kdfp = 32767;      // position loop derivative filter
    std::int32_t errmax = 32767, terrmax = 65535;   // position error band (counts) and time (slow samples); 65535: off
    std::int32_t serrmax = 32767, tserrmax = 65535; // speed error band and time
    std::uint32_t enc2thl = 0;      // electrical angle per encoder count, 2^32 per electrical turn
    int positionOutputsSpeed = 0;   // 1: the position loop drives the speed loop (PositionControlType 1)

    // Reads every register the setup has; the others keep their values.
    void Load(CMC_Setup* setup);
    // A register written to the drive; false for a name that is not a loop register.
    bool Set(std::string_view name, double value);
};

class PiLoop {
public:
    void Reset() { m_integral = 0; }
    std::int32_t Step(std::int64_t error, const fx::Gain& kp, const fx::Gain& ki, std::int32_t integralLimit,
                      std::int32_t outputLimit);
    std::int64_t Integral() const { return m_integral >> 15; }

private:
    std::int64_t m_integral = 0;
};

class CurrentLoop {
public:
    void Reset();
    // Voltage commands (d, q) from current references and measurements, all in counts; the vector
    // is limited to 32767.
    void Step(std::int32_t refD, std::int32_t refQ, std::int32_t measD, std::int32_t measQ, const LoopRegisters& r,
              std::int32_t& vd, std::int32_t& vq);

private:
    PiLoop m_d, m_q;
    std::int64_t m_filterD = 0, m_filterQ = 0;
};

class PositionLoop {
public:
    void Reset();
    // Output (a current or a speed reference) from the position error in counts.
    std::int32_t Step(std::int64_t error, const LoopRegisters& r);

private:
    std::int64_t m_integral = 0;
    std::int32_t m_lastError = 0;
    std::int64_t m_derivative = 0;  // filtered error change, scaled by 2^15
    bool m_first = true;
};

// Six segments, each a number of samples and a slope in 16.16 fixed point per sample; played once
// (the reference then holds its last value) or over and over.
class ProfileGenerator {
public:
    void Load(const std::array<std::int32_t, 6>& counts, const std::array<std::int64_t, 6>& slopes, bool cyclic);
    void Reset(std::int64_t start = 0);
    // One sample: advances and returns the reference (16.16 rounded to a whole number).
    std::int64_t Step();
    std::int64_t Value() const { return (m_value + 32768) >> 16; }
    std::int64_t Slope() const { return m_slope; }  // 16.16 per sample of the last step
    bool Done() const { return m_done; }
    int Cycles() const { return m_cycles; }

private:
    std::array<std::int32_t, 6> m_counts{};
    std::array<std::int64_t, 6> m_slopes{};
    bool m_cyclic = false;
    int m_segment = 0;
    std::int64_t m_left = 0;
    std::int64_t m_value = 0;  // 16.16
    std::int64_t m_slope = 0;
    bool m_done = true;
    int m_cycles = 0;
};

inline std::int32_t PiLoop::Step(std::int64_t error, const fx::Gain& kp, const fx::Gain& ki, std::int32_t integralLimit,
                          std::int32_t outputLimit)
{
    const std::int64_t e = fx::Sat16(error);
    const std::int64_t limit = std::int64_t{integralLimit < 0 ? 0 : integralLimit} << 15;
    m_integral = fx::Clamp(m_integral + e * ki.mantissa * (std::int64_t{1} << ki.shift), limit);
    const std::int64_t out = kp.Apply(e) + (m_integral >> 15);
    return static_cast<std::int32_t>(fx::Clamp(out, outputLimit < 0 ? 0 : outputLimit));
}

}  // namespace drivesim
