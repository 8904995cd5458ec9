#pragma once
// A bar graph: the bar from the reference to the value over the range, in the bar's colours,
// with the limits and the value written beside it.
#include <QWidget>

#include "rurorade/bar_graph.h"

namespace zekqt {

using rurorade::CBarGraph;

class BarGraphWidget : public QWidget {
public:
    explicit BarGraphWidget(const CBarGraph* bar, QWidget* parent = nullptr);
    void Refresh() { update(); }
    QSize sizeHint() const override { return {220, 48}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CBarGraph* m_bar;
};

}  // namespace zekqt
