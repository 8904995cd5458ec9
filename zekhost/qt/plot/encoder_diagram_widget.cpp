#include "encoder_diagram_widget.h"

#include <QPainter>
#include <numbers>
#include <algorithm>
#include <cmath>

namespace zekqt {

namespace {
constexpr int kSlots = 24;  // drawn slots of the disc (a picture, not the encoder's line count)
}

EncoderDiagramWidget::EncoderDiagramWidget(const CEncoderDiagram* diagram, QWidget* parent)
    : QWidget(parent), m_diagram(diagram)
{
    setMinimumSize(60, 60);
}

void EncoderDiagramWidget::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const bool enabled = m_diagram != nullptr && m_diagram->IsWindowEnabled();
    const QColor ink = enabled ? QColor(0x00, 0x00, 0x80) : palette().color(QPalette::Disabled, QPalette::WindowText);
    const double r = std::min(width(), height()) / 2.0 - 3;
    p.translate(width() / 2.0, height() / 2.0);
    p.setPen(QPen(ink, 1.5));
    p.setBrush(enabled ? QColor(0xE8, 0xF0, 0xFF) : palette().color(QPalette::Window));
    p.drawEllipse(QPointF(0, 0), r, r);
    for (int i = 0; i < kSlots; ++i) {
        const double a = 2 * std::numbers::pi * i / kSlots;
        p.drawLine(QPointF(0.8 * r * std::cos(a), -0.8 * r * std::sin(a)), QPointF(0.95 * r * std::cos(a), -0.95 * r * std::sin(a)));
    }
    if (m_diagram == nullptr) return;
    // The shaft angle, counter-clockwise from the right; cos and sin take it modulo one turn.
    const double a = m_diagram->GetAngle();
    const QPointF tip(0.75 * r * std::cos(a), -0.75 * r * std::sin(a));
    p.setPen(QPen(enabled ? QColor(0xC0, 0x00, 0x00) : ink, 3));
    p.drawLine(QPointF(0, 0), tip);
    p.setBrush(p.pen().color());
    p.drawEllipse(tip, 4, 4);
}

}  // namespace zekqt
