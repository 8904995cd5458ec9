#include "drivesim/control_loops.h"

#include <cmath>
#include <cstdlib>

#include "rurorade/host_errors.h"
#include "rurorade/setup.h"

namespace drivesim {

namespace {

enum class Kind { Mantissa, Shift, Word, Unsigned32, Flag };

struct Field {
    const char* name;
    Kind kind;
    std::int32_t* word;   // Mantissa, Word, Flag
    int* shift;           // Shift
    std::uint32_t* wide;  // Unsigned32
};

template <class F>
void ForEachField(LoopRegisters& r, F f)
{
    const Field fields[] = {
        {"KPI", Kind::Mantissa, &r.kpi.mantissa, nullptr, nullptr},   {"SFTKPI", Kind::Shift, nullptr, &r.kpi.shift, nullptr},
        {"KII", Kind::Mantissa, &r.kii.mantissa, nullptr, nullptr},   {"SFTKII", Kind::Shift, nullptr, &r.kii.shift, nullptr},
        {"KPS", Kind::Mantissa, &r.kps.mantissa, nullptr, nullptr},   {"SFTKPS", Kind::Shift, nullptr, &r.kps.shift, nullptr},
        {"KIS", Kind::Mantissa, &r.kis.mantissa, nullptr, nullptr},   {"SFTKIS", Kind::Shift, nullptr, &r.kis.shift, nullptr},
        {"KPP", Kind::Mantissa, &r.kpp.mantissa, nullptr, nullptr},   {"SFTKPP", Kind::Shift, nullptr, &r.kpp.shift, nullptr},
        {"KIP", Kind::Mantissa, &r.kip.mantissa, nullptr, nullptr},   {"SFTKIP", Kind::Shift, nullptr, &r.kip.shift, nullptr},
        {"KDP", Kind::Mantissa, &r.kdp.mantissa, nullptr, nullptr},   {"SFTKDP", Kind::Shift, nullptr, &r.kdp.shift, nullptr},
        {"KFFS", Kind::Mantissa, &r.kffs.mantissa, nullptr, nullptr}, {"SFTSFFW", Kind::Shift, nullptr, &r.kffs.shift, nullptr},
        {"KPTHT", Kind::Mantissa, &r.kptht.mantissa, nullptr, nullptr}, {"SFTKPTHT", Kind::Shift, nullptr, &r.kptht.shift, nullptr},
        {"KITHT", Kind::Mantissa, &r.kitht.mantissa, nullptr, nullptr}, {"SFTKITHT", Kind::Shift, nullptr, &r.kitht.shift, nullptr},
        {"KFFA", Kind::Mantissa, &r.kffa, nullptr, nullptr},          {"SFTAFFW", Kind::Shift, nullptr, &r.sftaffw, nullptr},
        {"SFTKFF", Kind::Shift, nullptr, &r.sftkff, nullptr},          {"FILTERQ", Kind::Mantissa, &r.filterq, nullptr, nullptr},
        {"FFL", Kind::Word, &r.ffl, nullptr, nullptr},                 {"IMAXS", Kind::Mantissa, &r.imaxs, nullptr, nullptr},
        {"SATS", Kind::Mantissa, &r.sats, nullptr, nullptr},           {"IMAXP", Kind::Mantissa, &r.imaxp, nullptr, nullptr},
        {"SATP", Kind::Mantissa, &r.satp, nullptr, nullptr},           {"KDFP", Kind::Mantissa, &r.kdfp, nullptr, nullptr},
        {"ERRMAX", Kind::Mantissa, &r.errmax, nullptr, nullptr},       {"TERRMAX", Kind::Word, &r.terrmax, nullptr, nullptr},
        {"SERRMAX", Kind::Mantissa, &r.serrmax, nullptr, nullptr},     {"TSERRMAX", Kind::Word, &r.tserrmax, nullptr, nullptr},
        {"ENC2THL", Kind::Unsigned32, nullptr, nullptr, &r.enc2thl},
        {"PositionControlType", Kind::Flag, &r.positionOutputsSpeed, nullptr, nullptr},
    };
    for (const Field& field : fields) f(field);
}

void Store(const Field& f, double value)
{
    switch (f.kind) {
    case Kind::Mantissa: *f.word = fx::Word(value, 0, 32767); break;   // a 16-bit magnitude
    case Kind::Shift: *f.shift = fx::Word(value, 0, 15); break;
    case Kind::Word: *f.word = fx::Word(value, -32768, 65535); break;
    case Kind::Flag: *f.word = value == 1.0 ? 1 : 0; break;
    case Kind::Unsigned32:
        *f.wide = value == value && value > 0 ? static_cast<std::uint32_t>(std::fmin(std::floor(value + 0.5), 4294967295.0)) : 0;
        break;
    }
}

std::int64_t Limit(std::int32_t saturationRegister) { return 32767 - saturationRegister; }

std::int64_t Filter(std::int64_t& state, std::int64_t input, std::int32_t coefficient)
{
    if (coefficient >= 32767) return state = input;
    state += ((input - state) * coefficient) >> 15;
    return state;
}

}  // namespace

void LoopRegisters::Load(CMC_Setup* setup)
{
    if (setup == nullptr) return;
    const rurorade::QuietLookups quiet;
    ForEachField(*this, [&](const Field& f) {
        if (CMC_Parameter* p = setup->FindParameter(f.name)) Store(f, p->GetValueInBaseUnit());
    });
}

bool LoopRegisters::Set(std::string_view name, double value)
{
    bool found = false;
    ForEachField(*this, [&](const Field& f) {
        if (!found && name == f.name) {
            Store(f, value);
            found = true;
        }
    });
    return found;
}

void CurrentLoop::Reset()
{
    m_d.Reset();
    m_q.Reset();
    m_filterD = m_filterQ = 0;
}

void CurrentLoop::Step(std::int32_t refD, std::int32_t refQ, std::int32_t measD, std::int32_t measQ,
                       const LoopRegisters& r, std::int32_t& vd, std::int32_t& vq)
{
    std::int64_t d = m_d.Step(std::int64_t{refD} - measD, r.kpi, r.kii, 32767, 32767);
    std::int64_t q = m_q.Step(std::int64_t{refQ} + r.ffl - measQ, r.kpi, r.kii, 32767, 32767);
    d = Filter(m_filterD, d, r.filterq);
    q = Filter(m_filterQ, q, r.filterq);
    const double square = static_cast<double>(d) * d + static_cast<double>(q) * q;
    if (square > 32767.0 * 32767.0) {
        const double magnitude = std::sqrt(square);
        d = static_cast<std::int64_t>(d * 32767 / magnitude);
        q = static_cast<std::int64_t>(q * 32767 / magnitude);
    }
    vd = static_cast<std::int32_t>(d);
    vq = static_cast<std::int32_t>(q);
}

void PositionLoop::Reset()
{
    m_integral = 0;
    m_lastError = 0;
    m_derivative = 0;
    m_first = true;
}

std::int32_t PositionLoop::Step(std::int64_t error, const LoopRegisters& r)
{
    const std::int32_t e = fx::Sat16(error);
    const std::int64_t change = m_first ? 0 : std::int64_t{e} - m_lastError;
    m_first = false;
    m_lastError = e;
    Filter(m_derivative, change << 15, r.kdfp);
    const std::int64_t limit = Limit(r.imaxp) << 15;
    m_integral = fx::Clamp(m_integral + std::int64_t{e} * r.kip.mantissa * (std::int64_t{1} << r.kip.shift), limit);
    const std::int64_t out = r.kpp.Apply(e) + (m_integral >> 15) + r.kdp.Apply(m_derivative >> 15);
    return static_cast<std::int32_t>(fx::Clamp(out, Limit(r.satp)));
}

void ProfileGenerator::Load(const std::array<std::int32_t, 6>& counts, const std::array<std::int64_t, 6>& slopes,
                            bool cyclic)
{
    m_counts = counts;
    m_slopes = slopes;
    m_cyclic = cyclic;
    Reset();
}

void ProfileGenerator::Reset(std::int64_t start)
{
    m_value = start * 65536;
    m_segment = 0;
    m_left = m_counts[0];
    m_slope = 0;
    m_cycles = 0;
    m_done = false;
}

std::int64_t ProfileGenerator::Step()
{
    while (!m_done && m_left <= 0) {
        if (++m_segment == 6) {
            ++m_cycles;
            if (!m_cyclic) {
                m_done = true;
                break;
            }
            m_segment = 0;
        }
        m_left = m_counts[m_segment];
        if (m_cyclic && m_segment == 0 && m_cycles > 0 && m_left <= 0 &&
            m_counts[1] + m_counts[2] + m_counts[3] + m_counts[4] + m_counts[5] <= 0) {
            m_done = true;  // a cyclic profile of no samples at all
        }
    }
    if (m_done) {
        m_slope = 0;
        return Value();
    }
    m_slope = m_slopes[m_segment];
    m_value += m_slope;
    --m_left;
    return Value();
}

}  // namespace drivesim
