#include "graph_view.h"

#include <QMouseEvent>

namespace zekqt {

GraphView::GraphView(const CGraphWindow* window, QWidget* parent)
    : QChartView(new GraphChart, parent), m_window(window), m_chart(static_cast<GraphChart*>(chart()))
{
    setRubberBand(QChartView::RectangleRubberBand);
    setRenderHint(QPainter::Antialiasing);
    setMinimumSize(240, 160);
    Refresh();
}

void GraphView::Refresh() { m_chart->Show(m_window != nullptr ? m_window->GetDocument() : nullptr); }

void GraphView::ZoomOut() { m_chart->FitAll(); }

void GraphView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        ZoomOut();
        event->accept();
        return;
    }
    QChartView::mouseReleaseEvent(event);
}

}  // namespace zekqt
