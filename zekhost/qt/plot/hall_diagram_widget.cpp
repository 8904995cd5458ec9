#include "hall_diagram_widget.h"

#include <QPainter>
#include <algorithm>

#include "graph_palette.h"

namespace zekqt {

HallDiagramWidget::HallDiagramWidget(const CHallDiagram* diagram, QWidget* parent) : QWidget(parent), m_diagram(diagram)
{
    setMinimumSize(60, 60);
}

QColor HallDiagramWidget::SliceColour(int state, bool enabled)
{
    if (!enabled) return state == CHallDiagram::NotVisited ? PaletteColour(15) : PaletteColour(7);
    if (state == CHallDiagram::Current) return PaletteColour(10);       // bright green
    if (state == CHallDiagram::Visited) return QColor(0xB0, 0xE0, 0xB0);  // pale green
    return PaletteColour(15);
}

void HallDiagramWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = m_diagram != nullptr && m_diagram->IsWindowEnabled();
    const int side = std::min(width(), height()) - 6;
    const QRectF disc((width() - side) / 2.0, (height() - side) / 2.0, side, side);
    p.setPen(QPen(enabled ? PaletteColour(0) : PaletteColour(8), 1.5));
    // Slice i spans 60 degrees from i * 60, counter-clockwise from the right (Qt angles in 1/16 degree).
    for (int i = 0; i < CHallDiagram::kSlices; ++i) {
        const int state = m_diagram != nullptr ? m_diagram->GetSliceState(i) : CHallDiagram::NotVisited;
        p.setBrush(SliceColour(state, enabled));
        p.drawPie(disc, i * 60 * 16, 60 * 16);
    }
}

}  // namespace zekqt
