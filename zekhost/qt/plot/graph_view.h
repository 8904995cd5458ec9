#pragma once
// The graph window of a test dialog: the chart of its document, zoomed with a rubber band and
// back to all the data with a right click.
#include <QChartView>

#include "graph_chart.h"
#include "rurorade/test_dlg.h"

namespace zekqt {

class GraphView : public QChartView {
public:
    explicit GraphView(const CGraphWindow* window, QWidget* parent = nullptr);

    // Re-reads the window's document; cheap when only points were added (live drawing).
    void Refresh();
    // Back to all the data.
    void ZoomOut();
    GraphChart* Chart() const { return m_chart; }

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    const CGraphWindow* m_window;
    GraphChart* m_chart;
};

}  // namespace zekqt
