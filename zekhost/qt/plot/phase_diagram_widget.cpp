#include "phase_diagram_widget.h"

#include <QPainter>
#include <algorithm>
#include <cmath>

#include "graph_palette.h"

namespace zekqt {

PhaseDiagramWidget::PhaseDiagramWidget(const CPhaseDiagram* diagram, QWidget* parent)
    : QWidget(parent), m_diagram(diagram)
{
    setMinimumSize(60, 60);
}

void PhaseDiagramWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = m_diagram != nullptr && m_diagram->IsWindowEnabled();
    const QColor ink = enabled ? PaletteColour(0) : PaletteColour(8);
    const double r = std::min(width(), height()) / 2.0 - 3;
    p.translate(width() / 2.0, height() / 2.0);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(Qt::NoBrush);
    p.drawEllipse(QPointF(0, 0), r, r);
    p.setPen(QPen(enabled ? PaletteColour(7) : PaletteColour(15), 1));
    p.drawLine(QPointF(-r, 0), QPointF(r, 0));
    p.drawLine(QPointF(0, -r), QPointF(0, r));
    if (m_diagram == nullptr) return;
    // The pointer at the drawn angle, counter-clockwise from the right.
    const double a = m_diagram->DrawnAngle();
    p.setPen(QPen(enabled ? PaletteColour(12) : ink, 3, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(0, 0), QPointF(0.85 * r * std::cos(a), -0.85 * r * std::sin(a)));
}

}  // namespace zekqt
