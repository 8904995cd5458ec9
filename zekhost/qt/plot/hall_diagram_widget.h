#pragma once
// The Hall diagram: an electrical turn in six slices, each drawn as not visited, visited or current.
#include <QWidget>

#include "rurorade/hall_diagram.h"

namespace zekqt {

class HallDiagramWidget : public QWidget {
public:
    explicit HallDiagramWidget(const CHallDiagram* diagram, QWidget* parent = nullptr);
    void Refresh() { update(); }
    QSize sizeHint() const override { return {120, 120}; }
    // Fill of a slice in `state` (CHallDiagram::SliceState); an unknown state is not visited.
    static QColor SliceColour(int state, bool enabled);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CHallDiagram* m_diagram;
};

}  // namespace zekqt
