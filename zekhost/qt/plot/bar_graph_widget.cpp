#include "bar_graph_widget.h"

#include <QPainter>
#include <algorithm>

#include "graph_palette.h"

namespace zekqt {

BarGraphWidget::BarGraphWidget(const CBarGraph* bar, QWidget* parent) : QWidget(parent), m_bar(bar)
{
    setMinimumSize(120, 36);
}

void BarGraphWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const int textHeight = fontMetrics().height();
    const QRect track = rect().adjusted(1, 1, -2, -textHeight - 3);
    p.fillRect(track, m_bar != nullptr ? Rgb(m_bar->BackgroundColour()) : QColor(Qt::white));
    if (m_bar != nullptr) {
        // Shares of the range map onto the track's width.
        const double a = std::min(m_bar->StartShare(), m_bar->EndShare());
        const double b = std::max(m_bar->StartShare(), m_bar->EndShare());
        const int left = track.left() + static_cast<int>(a * track.width() + 0.5);
        const int right = track.left() + static_cast<int>(b * track.width() + 0.5);
        p.fillRect(QRect(left, track.top(), std::max(0, right - left), track.height()), Rgb(m_bar->BarColour()));
        const int reference = track.left() + static_cast<int>(m_bar->StartShare() * track.width() + 0.5);
        p.setPen(palette().color(QPalette::WindowText));
        p.drawLine(reference, track.top(), reference, track.bottom());

        const QRect labels(track.left(), track.bottom() + 2, track.width(), textHeight);
        p.drawText(labels, Qt::AlignLeft | Qt::AlignVCenter, QString::number(m_bar->Min(), 'g', 6));
        p.drawText(labels, Qt::AlignHCenter | Qt::AlignVCenter, QString::number(m_bar->Value(), 'g', 6));
        p.drawText(labels, Qt::AlignRight | Qt::AlignVCenter, QString::number(m_bar->Max(), 'g', 6));
    }
    p.setPen(palette().color(QPalette::Mid));
    p.drawRect(track);
}

}  // namespace zekqt
