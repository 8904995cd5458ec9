#include "filter_response_view.h"

#include <QChartView>
#include <QLogValueAxis>
#include <QPen>
#include <QValueAxis>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "graph_palette.h"

namespace zekqt {

namespace {

constexpr int kFilterColours[3] = {9, 12, 2};  // palette: blue, red, green

QChart* NewChart(const QString& title)
{
    auto* chart = new QChart;
    chart->setTitle(title);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setMargins(QMargins(2, 2, 2, 2));
    chart->setBackgroundRoundness(0);
    return chart;
}

QChartView* NewView(QChart* chart)
{
    auto* view = new QChartView(chart);
    view->setRenderHint(QPainter::Antialiasing);
    view->setMinimumSize(240, 150);
    return view;
}

void ClearChart(QChart* chart)
{
    chart->removeAllSeries();
    for (QAbstractAxis* axis : chart->axes()) {
        chart->removeAxis(axis);
        delete axis;
    }
}

// Log frequency axis below and a value axis at the left over lo..hi; returns the latter.
QValueAxis* AddAxes(QChart* chart, double lowHz, double highHz, double lo, double hi, const QString& title)
{
    auto* x = new QLogValueAxis;
    x->setBase(10);
    x->setLabelFormat("%g");
    x->setTitleText("Hz");
    x->setRange(lowHz, highHz);
    x->setMinorTickCount(8);
    chart->addAxis(x, Qt::AlignBottom);
    auto* y = new QValueAxis;
    y->setTitleText(title);
    y->setLabelFormat("%g");
    y->setRange(lo, hi);
    chart->addAxis(y, Qt::AlignLeft);
    for (QAbstractSeries* series : chart->series()) {
        series->attachAxis(x);
        series->attachAxis(y);
    }
    return y;
}

}  // namespace

FilterResponseView::FilterResponseView(CMC_Setup* setup, QWidget* parent)
    : QWidget(parent), m_setup(setup), m_message(new QLabel), m_magnitude(NewChart(tr("Magnitude"))),
      m_phase(NewChart(tr("Phase")))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_message);
    layout->addWidget(NewView(m_magnitude), 1);
    layout->addWidget(NewView(m_phase), 1);
    Refresh();
}

void FilterResponseView::Refresh()
{
    m_model.Update(m_setup);
    ClearChart(m_magnitude);
    ClearChart(m_phase);
    m_drawn.clear();
    m_message->setText(QString::fromStdString(m_model.Message()));
    m_message->setVisible(!m_model.Message().empty());

    double lo = 0, hi = 0;  // the magnitude span, 0 dB always in view
    for (const ResponseCurve& curve : m_model.Curves()) {
        const QString name = curve.quantised ? tr("Filter %1 (drive)").arg(curve.filter) : tr("Filter %1").arg(curve.filter);
        QPen pen(PaletteColour(kFilterColours[(curve.filter - 1) % 3]), curve.quantised ? 2 : 1,
                 curve.quantised ? Qt::SolidLine : Qt::DashLine);
        Drawn drawn{curve.filter, curve.quantised, new QLineSeries, new QLineSeries};
        QList<QPointF> magnitude, phase;
        for (const ResponsePoint& p : curve.points) {
            magnitude.append(QPointF(p.hz, p.db));
            phase.append(QPointF(p.hz, p.deg));
            lo = std::min(lo, p.db);
            hi = std::max(hi, p.db);
        }
        for (QLineSeries* series : {drawn.magnitude, drawn.phase}) series->setName(name), series->setPen(pen);
        drawn.magnitude->replace(magnitude);
        drawn.phase->replace(phase);
        m_magnitude->addSeries(drawn.magnitude);
        m_phase->addSeries(drawn.phase);
        m_drawn.push_back(drawn);
    }
    // A deep notch would squeeze the rest: show at most 100 dB below the top.
    lo = std::max(lo, hi - 100.0);
    AddAxes(m_magnitude, m_model.LowestHz(), m_model.HighestHz(), lo - 1, hi + 1, tr("dB"))->applyNiceNumbers();
    AddAxes(m_phase, m_model.LowestHz(), m_model.HighestHz(), -180, 180, tr("degrees"))->setTickCount(9);
}

std::vector<ResponsePoint> FilterResponseView::Curve(int filter, bool quantised) const
{
    std::vector<ResponsePoint> points;
    for (const Drawn& d : m_drawn) {
        if (d.filter != filter || d.quantised != quantised) continue;
        const QList<QPointF> magnitude = d.magnitude->points(), phase = d.phase->points();
        for (qsizetype i = 0; i < std::min(magnitude.size(), phase.size()); ++i)
            points.push_back({magnitude[i].x(), magnitude[i].y(), phase[i].y()});
    }
    return points;
}

}  // namespace zekqt
