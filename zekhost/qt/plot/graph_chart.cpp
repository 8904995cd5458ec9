#include "graph_chart.h"

#include <QList>
#include <QPen>
#include <QPointF>
#include <QStringList>
#include <algorithm>
#include <cmath>
#include <string>

#include "graph_palette.h"

namespace zekqt {

namespace {

bool Has(const std::vector<double>& row, int channel) { return channel >= 0 && channel < static_cast<int>(row.size()); }

QString ChannelName(const std::vector<std::string>& names, int channel)
{
    if (channel >= 0 && channel < static_cast<int>(names.size()))
        return QString::fromStdString(names[static_cast<std::size_t>(channel)]);
    return QStringLiteral("channel %1").arg(channel);
}

int Side(const CXYCurve& curve) { return curve.group == 2 ? 1 : 0; }

// 1, 2 or 5 times a power of ten: about five ticks over `span`.
double TickStep(double span)
{
    const double raw = span / 5;
    const double decade = std::pow(10.0, std::floor(std::log10(raw)));
    for (double m : {1.0, 2.0, 5.0})
        if (m * decade >= raw) return m * decade;
    return 10 * decade;
}

bool SameCurve(const CXYCurve& a, const CXYCurve& b)
{
    return a.xChannel == b.xChannel && a.yChannel == b.yChannel && a.group == b.group && a.colour == b.colour &&
           a.width == b.width;
}

}  // namespace

void GraphChart::Range::Add(double v)
{
    if (!std::isfinite(v)) return;
    lo = std::min(lo, v);
    hi = std::max(hi, v);
}

GraphChart::GraphChart()
{
    legend()->setAlignment(Qt::AlignBottom);
    setMargins(QMargins(4, 4, 4, 4));
    setBackgroundRoundness(0);
    // The axes live as long as the chart: axes removed and made anew while a view shows the
    // chart leave their old labels drawn over the new ones.
    // A zoom is any range change the chart did not make itself.
    auto watch = [this](QValueAxis* axis) {
        connect(axis, &QValueAxis::rangeChanged, this, [this] {
            if (!m_settingRanges) m_zoomed = true;
        });
    };
    m_x = new QValueAxis;
    m_x->setLabelFormat(QStringLiteral("%.4g"));
    m_x->setTickType(QValueAxis::TicksDynamic);
    m_x->setTickAnchor(0);
    addAxis(m_x, Qt::AlignBottom);
    watch(m_x);
    for (int side = 0; side < 2; ++side) {
        m_y[side] = new QValueAxis;
        m_y[side]->setLabelFormat(QStringLiteral("%.6g"));
        addAxis(m_y[side], side == 0 ? Qt::AlignLeft : Qt::AlignRight);
        watch(m_y[side]);
    }
    m_x->setVisible(false);
    m_y[0]->setVisible(false);
    m_y[1]->setVisible(false);
}

std::vector<CXYCurve> GraphChart::CurvesOf(const CGraphDocument& document)
{
    std::vector<CXYCurve> curves;
    for (int i = 0; i < document.FilterCount(); ++i)
        for (const CXYCurve& c : document.GetAt(i)->Curves()) curves.push_back(c);
    if (curves.empty())  // nothing configured: every variable against time
        for (int c = 1; c < static_cast<int>(document.channelNames.size()); ++c) curves.push_back({0, c, 1, c, 2});
    return curves;
}

bool GraphChart::SameLayout(const CGraphDocument& document, const std::vector<CXYCurve>& curves) const
{
    return &document == m_document && document.channelNames == m_names && curves.size() == m_curves.size() &&
           std::equal(curves.begin(), curves.end(), m_curves.begin(), SameCurve);
}

void GraphChart::Show(const CGraphDocument* document)
{
    if (document == nullptr) {
        m_settingRanges = true;
        if (m_document != nullptr || !m_lines.empty()) Rebuild(CGraphDocument(), {});
        m_settingRanges = false;
        m_document = nullptr;
        return;
    }
    const std::vector<CXYCurve> curves = CurvesOf(*document);
    const std::vector<std::vector<double>>& rows = document->points;
    // Range changes from here on are the chart's own, not a zoom.
    m_settingRanges = true;
    // Axes fit the data exactly for a new layout, a first fill or a new run (fewer points); while
    // points arrive or a screen is rewritten they only grow, since each change redraws every line.
    bool exact = true;
    if (!SameLayout(*document, curves)) {
        Rebuild(*document, curves);
        Fill(*document, 0, false);
    } else if (rows.size() > m_drawn && (m_drawn == 0 || rows[m_drawn - 1] == m_lastRow)) {
        exact = m_drawn == 0;
        Fill(*document, m_drawn, true);  // the live case: only new points
    } else {
        exact = rows.size() < m_drawn;
        m_xRange = Range();
        m_yRange[0] = m_yRange[1] = Range();
        Fill(*document, 0, false);
    }
    m_settingRanges = false;
    if (exact) ApplyRanges();
    else GrowRanges();
}

void GraphChart::Rebuild(const CGraphDocument& document, const std::vector<CXYCurve>& curves)
{
    removeAllSeries();
    m_lines.clear();
    m_points.clear();
    m_xRange = Range();
    m_yRange[0] = m_yRange[1] = Range();
    m_document = &document;
    m_names = document.channelNames;
    m_curves = curves;
    m_drawn = 0;
    m_zoomed = false;

    QStringList titles[2];
    for (const CXYCurve& c : curves) titles[Side(c)] << ChannelName(m_names, c.yChannel);
    m_x->setVisible(!curves.empty());
    m_x->setTitleText(curves.empty() ? QString() : ChannelName(m_names, curves.front().xChannel));
    for (int side = 0; side < 2; ++side) {
        m_y[side]->setVisible(!titles[side].isEmpty());
        m_y[side]->setTitleText(titles[side].join(QStringLiteral(", ")));
    }
    for (const CXYCurve& c : curves) {
        auto* line = new QLineSeries;
        line->setName(ChannelName(m_names, c.yChannel));
        line->setPen(QPen(PaletteColour(c.colour), std::max(1, c.width)));
        addSeries(line);
        line->attachAxis(m_x);
        line->attachAxis(m_y[Side(c)]);
        m_lines.push_back(line);
        m_points.emplace_back();
    }
}

void GraphChart::Fill(const CGraphDocument& document, std::size_t first, bool append)
{
    const std::vector<std::vector<double>>& rows = document.points;
    for (std::size_t i = 0; i < m_curves.size(); ++i) {
        const CXYCurve& c = m_curves[i];
        QList<QPointF> points;
        points.reserve(static_cast<qsizetype>(rows.size() - first));
        for (std::size_t r = first; r < rows.size(); ++r) {
            const std::vector<double>& row = rows[r];
            if (!Has(row, c.xChannel) || !Has(row, c.yChannel)) continue;
            const double x = row[static_cast<std::size_t>(c.xChannel)], y = row[static_cast<std::size_t>(c.yChannel)];
            if (!std::isfinite(x) || !std::isfinite(y)) continue;
            points.append(QPointF(x, y));
            m_xRange.Add(x);
            m_yRange[Side(c)].Add(y);
        }
        // One replace redraws a line once; appending point by point would redraw it per point.
        if (append) m_points[i].append(points);
        else m_points[i] = points;
        m_lines[i]->replace(m_points[i]);
    }
    m_drawn = rows.size();
    m_lastRow = rows.empty() ? std::vector<double>() : rows.back();
}

void GraphChart::SetRange(QValueAxis* axis, Range range, double margin)
{
    if (axis == nullptr) return;
    if (!(range.lo <= range.hi)) range.lo = 0, range.hi = 1;
    if (range.lo == range.hi) {
        const double half = range.lo == 0 ? 0.5 : std::fabs(range.lo) * 0.05;
        range.lo -= half, range.hi += half;
    }
    const double pad = (range.hi - range.lo) * margin;
    axis->setRange(range.lo - pad, range.hi + pad);
}

void GraphChart::ApplyRanges()
{
    if (m_zoomed) return;
    m_settingRanges = true;
    SetRange(m_x, m_xRange, 0.0);  // time exactly as logged, ticks at round values
    if (m_x != nullptr && m_x->max() > m_x->min()) m_x->setTickInterval(TickStep(m_x->max() - m_x->min()));
    for (int side = 0; side < 2; ++side) {
        SetRange(m_y[side], m_yRange[side], 0.05);
        if (m_y[side] != nullptr) m_y[side]->applyNiceNumbers();
    }
    m_settingRanges = false;
}

void GraphChart::GrowRanges()
{
    if (m_zoomed) return;
    auto holds = [](const QValueAxis* axis, const Range& range) {
        return axis == nullptr || !(range.lo <= range.hi) || (axis->min() <= range.lo && range.hi <= axis->max());
    };
    m_settingRanges = true;
    if (!holds(m_x, m_xRange)) {
        // Half the span again of room for what is still to come.
        SetRange(m_x, {m_xRange.lo, m_xRange.hi + 0.5 * (m_xRange.hi - m_xRange.lo)}, 0.0);
        m_x->setTickInterval(TickStep(m_x->max() - m_x->min()));
    }
    for (int side = 0; side < 2; ++side) {
        if (holds(m_y[side], m_yRange[side])) continue;
        Range grown = m_yRange[side];
        grown.Add(m_y[side]->min());
        grown.Add(m_y[side]->max());
        SetRange(m_y[side], grown, 0.05);
        m_y[side]->applyNiceNumbers();
    }
    m_settingRanges = false;
}

void GraphChart::FitAll()
{
    m_settingRanges = true;
    zoomReset();
    m_settingRanges = false;
    m_zoomed = false;
    ApplyRanges();
}

}  // namespace zekqt
