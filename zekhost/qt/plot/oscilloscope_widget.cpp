#include "oscilloscope_widget.h"

#include <QPainter>
#include <QPainterPath>
#include <cmath>

#include "graph_palette.h"

namespace zekqt {

OscilloscopeWidget::OscilloscopeWidget(const CMC_Oscilloscope* scope, QWidget* parent) : QWidget(parent), m_scope(scope)
{
    setMinimumSize(240, 140);
}

void OscilloscopeWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    const QRectF screen = QRectF(rect()).adjusted(1, 1, -2, -2);
    p.fillRect(screen, Qt::black);
    p.setPen(QPen(QColor(60, 60, 60), 1, Qt::DotLine));
    for (int i = 1; i < 10; ++i) p.drawLine(QPointF(screen.left() + screen.width() * i / 10, screen.top()),
                                            QPointF(screen.left() + screen.width() * i / 10, screen.bottom()));
    for (int i = 1; i < 8; ++i) p.drawLine(QPointF(screen.left(), screen.top() + screen.height() * i / 8),
                                           QPointF(screen.right(), screen.top() + screen.height() * i / 8));
    if (m_scope == nullptr) return;
    p.setRenderHint(QPainter::Antialiasing);
    const double step = screen.width() / static_cast<double>(CMC_Oscilloscope::kMaxPoints - 1);
    for (int c = 1; c <= m_scope->ChannelCount(); ++c) {
        const CMC_Oscilloscope::Channel* channel = m_scope->GetChannel(c);
        if (channel == nullptr || channel->values.empty() || channel->max == channel->min) continue;
        // The channel's range maps onto the screen's height, min at the bottom.
        const double perUnit = screen.height() / (channel->max - channel->min);
        QPainterPath path;
        bool drawing = false;
        double x = screen.left();
        for (double v : channel->values) {
            const QPointF point(x, screen.bottom() - (v - channel->min) * perUnit);
            x += step;
            if (!std::isfinite(v)) {
                drawing = false;
                continue;
            }
            if (drawing) path.lineTo(point);
            else path.moveTo(point);
            drawing = true;
        }
        p.setClipRect(screen);
        p.setPen(QPen(PaletteColour(channel->colour), 2));
        p.drawPath(path);
    }
}

}  // namespace zekqt
