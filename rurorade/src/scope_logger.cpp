#include "rurorade/scope_logger.h"

#include <algorithm>
#include <cmath>

#include "rurorade/drive_comm.h"
#include "rurorade/host_errors.h"
#include "rurorade/numeric.h"
#include "rurorade/setup.h"

namespace {

constexpr double kFrameSeconds = 0.01;  // a frame carries about this much of the stream
constexpr int kMaxFrameSamples = 127;   // what fits a drive frame with four channels
constexpr double kMinScale = 1e-9, kMaxScale = 1e9;

// Base value of a parameter without reporting a missing one; 0 when absent.
double QuietBase(CMC_Setup* setup, const char* name)
{
    const rurorade::QuietLookups quiet;
    CMC_Parameter* p = setup->FindParameter(name);
    return p ? p->GetValueInBaseUnit() : 0.0;
}

// Seconds of one current-loop period, from the drive's clock, PWM period and loop divider.
double CurrentLoopPeriod(CMC_Setup* setup)
{
    const double clock = QuietBase(setup, "DSP_freq");
    const double period = QuietBase(setup, "CLPER") * 2 * QuietBase(setup, "PWMPER") / clock;
    return std::isfinite(period) && period > 0 ? period : 0.0;
}

bool Finite(double x) { return std::isfinite(x); }

}  // namespace

CMC_ScopeLogger::CMC_ScopeLogger(CMC_Setup* setup, CMC_CoffFormat* coff) : CMC_Logger(setup, coff) {}

CMC_ScopeLogger::~CMC_ScopeLogger() { EndUploadData(); }

double CMC_ScopeLogger::ScaleAtLeast(double x)
{
    if (!(x > 0) || !Finite(x)) return 1;
    const double e = std::ceil(std::log10(x));
    const double d = e >= 0 ? std::pow(10.0, e) : 1 / std::pow(10.0, -e);
    if (d / 5 >= x) return d / 5;
    if (d / 2 >= x) return d / 2;
    return d;
}

int CMC_ScopeLogger::ChangeSettings(double span, int mode, int slope, const char* variable, double level,
                                    double preTriggerPercent)
{
    if (!Finite(span) || span <= 0 || (mode != kFreeRun && mode != kNormal && mode != kSingle) || !Finite(level) ||
        !Finite(preTriggerPercent) || preTriggerPercent < 0 || preTriggerPercent > 100)
        return 0;
    m_span = span;
    m_mode = mode;
    m_slope = slope ? 1 : 0;
    m_triggerName = variable ? variable : "";
    m_level = level;
    m_preTrigger = preTriggerPercent;
    return 1;
}

int CMC_ScopeLogger::AddVariable(const char* name, int flag)
{
    if (!CMC_Logger::AddVariable(name, flag)) return 0;
    const CMC_Variable* v = m_setup->FindVariable(name, 1);
    m_channels.push_back({name, std::string(v->GetUnit().name), 1, 0});
    return 1;
}

void CMC_ScopeLogger::Reset()
{
    EndUploadData();
    CMC_Logger::Reset();
    m_channels.clear();
}

bool CMC_ScopeLogger::ChannelConversion(const std::string& name, Conversion& conversion) const
{
    const CMC_Variable* v = m_setup ? m_setup->FindVariable(name.c_str(), 1) : nullptr;
    if (v == nullptr) return false;
    // The module's scaling is linear: two points give it.
    CMC_Variable probe(*v);
    probe.SetValueInInternalUnit(0);
    conversion.base0 = probe.GetValueInBaseUnit();
    probe.SetValueInInternalUnit(1);
    conversion.perUnit = probe.GetValueInBaseUnit() - conversion.base0;
    conversion.unit = &v->GetUnit();
    return Finite(conversion.base0) && Finite(conversion.perUnit);
}

int CMC_ScopeLogger::LocateItems()
{
    if (!CMC_Logger::LocateItems()) return 0;
    const double ts = CurrentLoopPeriod(m_setup);
    if (ts <= 0) {
        rurorade::SetLastErrorText("The scope cannot work out the drive's loop period.");
        return 0;
    }
    m_sampling = std::max(1, TruncToInt32(std::ceil(m_span / (ts * kMaxScopePoints))));
    m_dt = ts * m_sampling;
    m_points = std::clamp(TG_Round(m_span / m_dt), 2, kMaxScopePoints);
    m_perFrame = std::clamp(TG_Round(kFrameSeconds / m_dt), 1, kMaxFrameSamples);
    m_pre = std::clamp(TG_Round(m_points * m_preTrigger / 100), 0, m_points - 1);
    m_triggerChannel = -1;
    for (std::size_t i = 0; i < m_channels.size(); ++i)
        if (m_channels[i].name == m_triggerName) m_triggerChannel = static_cast<int>(i);
    if (m_triggerChannel >= 0) {
        Conversion c;
        if (!ChannelConversion(m_triggerName, c) || c.perUnit == 0) return 0;
        m_levelInternal = (m_level - c.base0) / c.perUnit;
        m_risingInternal = (m_slope == 1) == (c.perUnit > 0);  // a negative scale turns the edge round
    }
    // A host that also hands this request to a program start gets one screen logged the same way.
    m_request.points = m_points;
    m_request.sampling = m_sampling;
    return 1;
}

void CMC_ScopeLogger::Restart()
{
    m_state = m_mode == kFreeRun ? State::Filling : State::Waiting;
    m_done = false;
    m_next = 0;
    m_history.clear();
    m_havePrevious = false;
    m_expectedFrame = 0;
    m_lost = 0;
    m_drawFirst = m_drawCount = 0;
}

int CMC_ScopeLogger::BeginOrContinueUploadData()
{
    if (m_uploading) return 1;
    rurorade::DriveLink* link = m_setup ? m_setup->GetDriveLink() : nullptr;
    if (link == nullptr || !LocateItems()) return 0;
    rurorade::ScopeRequest request{m_request.variables, m_sampling, m_perFrame};
    if (!link->StartScope(request)) return 0;
    m_document.channelNames.assign(1, "t");
    for (const Channel& c : m_channels) m_document.channelNames.push_back(c.name);
    m_document.points.clear();
    Restart();
    m_uploading = true;
    return 1;
}

void CMC_ScopeLogger::EndUploadData()
{
    if (!m_uploading) return;
    m_uploading = false;
    if (rurorade::DriveLink* link = m_setup ? m_setup->GetDriveLink() : nullptr) link->StopScope();
}

int CMC_ScopeLogger::OnFrameReceive(const std::uint16_t* payload, int bytes)
{
    rurorade::ScopeFrame frame;
    if (!m_uploading || !rurorade::ParseScopeFrame(payload, bytes, frame)) return 0;
    if (frame.channels != static_cast<int>(m_channels.size())) return 0;
    if (frame.counter != m_expectedFrame) {
        // Frames were lost (or the drive's scope started over): the screen cannot join across
        // the gap, so a trigger starts over.
        if (frame.counter > m_expectedFrame) m_lost += frame.counter - m_expectedFrame;
        m_havePrevious = false;
        m_history.clear();
        if (m_state == State::Filling && m_mode != kFreeRun) m_state = State::Waiting;
    }
    m_expectedFrame = frame.counter + 1;
    m_drawFirst = m_next;
    m_drawCount = 0;
    for (int k = 0; k < frame.samples; ++k) Take(&frame.values[static_cast<std::size_t>(k) * frame.channels]);
    if (m_drawCount > m_points) {
        m_drawFirst = (m_drawFirst + m_drawCount - m_points) % m_points;
        m_drawCount = m_points;
    }
    return 1;
}

void CMC_ScopeLogger::Take(const std::int32_t* sample)
{
    const double value = m_triggerChannel >= 0 ? sample[m_triggerChannel] : 0.0;
    switch (m_state) {
    case State::Done:
        break;
    case State::Waiting: {
        bool fire = m_triggerChannel < 0;
        if (!fire && m_havePrevious)
            fire = m_risingInternal ? m_previous < m_levelInternal && value >= m_levelInternal
                           : m_previous > m_levelInternal && value <= m_levelInternal;
        if (!fire) {
            m_history.emplace_back(sample, sample + m_channels.size());
            if (static_cast<int>(m_history.size()) > m_pre) m_history.pop_front();
            break;
        }
        if (m_drawCount == 0) m_drawFirst = 0;
        m_next = 0;
        for (const std::vector<std::int32_t>& h : m_history) Write(m_next++, h.data());
        m_history.clear();
        m_state = State::Filling;
        [[fallthrough]];
    }
    case State::Filling:
        Write(m_next, sample);
        m_next = (m_next + 1) % m_points;
        if (m_next == 0 && m_mode != kFreeRun) {
            m_state = m_mode == kSingle ? State::Done : State::Waiting;
            m_done = m_mode == kSingle;
        }
        break;
    }
    m_previous = value;
    m_havePrevious = true;
}

void CMC_ScopeLogger::Write(int index, const std::int32_t* sample)
{
    std::vector<double> point;
    point.reserve(m_channels.size() + 1);
    point.push_back(index * m_dt);
    for (std::size_t i = 0; i < m_channels.size(); ++i) point.push_back(sample[i]);
    std::vector<std::vector<double>>& points = m_document.points;
    if (index < static_cast<int>(points.size())) points[index] = std::move(point);
    else points.push_back(std::move(point));  // the screen fills in order, so index == size
    ++m_drawCount;
}

void CMC_ScopeLogger::GetPointsToBeDrawn(int& first, int& count) const
{
    first = m_drawFirst;
    count = m_drawCount;
}

int CMC_ScopeLogger::RescaleVariable(const char* name, const char* unitName, double scalePerDivision, double offset)
{
    if (name == nullptr || !Finite(scalePerDivision) || scalePerDivision <= 0 || !Finite(offset)) return 0;
    const auto it = std::find_if(m_channels.begin(), m_channels.end(), [&](const Channel& c) { return c.name == name; });
    if (it == m_channels.end()) return 0;
    Conversion c;
    if (!ChannelConversion(it->name, c)) return 0;
    std::string unit = it->unit;
    if (unitName != nullptr) {
        const rurorade::UnitDef* u = rurorade::FindUnit(unitName);
        if (u == nullptr || u->family != c.unit->family) return 0;
        unit = std::string(u->name);
    }
    it->unit = unit;
    it->scale = scalePerDivision;
    it->offset = offset;
    return 1;
}

int CMC_ScopeLogger::ChangeChannelScale(int channel, int step)
{
    if (channel < 1 || channel > static_cast<int>(m_channels.size()) || step == 0) return 0;
    Channel& c = m_channels[static_cast<std::size_t>(channel - 1)];
    double next = 0;
    if (step > 0) {
        next = ScaleAtLeast(c.scale * (1 + 1e-9));
    } else {
        const double below = c.scale * (1 - 1e-9);
        const double e = std::floor(std::log10(below));
        const double d = e >= 0 ? std::pow(10.0, e) : 1 / std::pow(10.0, -e);
        next = 5 * d <= below ? 5 * d : 2 * d <= below ? 2 * d : d;
    }
    if (!Finite(next) || next < kMinScale || next > kMaxScale) return 0;
    c.offset *= next / c.scale;  // the centre line keeps its place among the divisions
    c.scale = next;
    return 1;
}

int CMC_ScopeLogger::Autoscale()
{
    const std::vector<std::vector<double>>& points = m_document.points;
    if (points.empty()) return 0;
    for (std::size_t i = 0; i < m_channels.size(); ++i) {
        Conversion c;
        const rurorade::UnitDef* unit = rurorade::FindUnit(m_channels[i].unit);
        if (!ChannelConversion(m_channels[i].name, c) || unit == nullptr) continue;
        double lo = INFINITY, hi = -INFINITY;
        for (const std::vector<double>& p : points) {
            if (p.size() <= i + 1) continue;
            const double base = c.base0 + p[i + 1] * c.perUnit;
            const double shown = (base - unit->offset) / unit->factor;
            lo = std::min(lo, shown);
            hi = std::max(hi, shown);
        }
        if (!(lo <= hi)) continue;
        const double half = kDivisions / 2.0;
        double scale = ScaleAtLeast(hi > lo ? (hi - lo) / (kDivisions - 1) : std::fabs(hi) / half);
        double offset = TG_FRound((hi + lo) / 2 / scale) * scale;
        while ((hi - offset > half * scale || offset - lo > half * scale) && scale < kMaxScale) {
            scale = ScaleAtLeast(scale * (1 + 1e-9));
            offset = TG_FRound((hi + lo) / 2 / scale) * scale;
        }
        m_channels[i].scale = scale;
        m_channels[i].offset = offset;
    }
    return 1;
}

void CMC_ScopeLogger::SetDefaultValues()
{
    Reset();
    m_span = 1;
    m_mode = kFreeRun;
    m_slope = 1;
    m_triggerName.clear();
    m_level = 0;
    m_preTrigger = 0;
    CGraphFilter* filter = m_document.GetAt(0);
    filter->RemoveAll();
    filter->colour = 0;
    filter->floats.clear();
}

int CMC_ScopeLogger::Edit(CMC_EditSetupDlg* /*dialog*/) { return 0; }
