#pragma once
// The phase diagram: a circle with a pointer at the rotor's electrical angle; greyed when disabled.
#include <QWidget>

#include "rurorade/phase_diagram.h"

namespace zekqt {

class PhaseDiagramWidget : public QWidget {
public:
    explicit PhaseDiagramWidget(const CPhaseDiagram* diagram, QWidget* parent = nullptr);
    void Refresh() { update(); }
    QSize sizeHint() const override { return {120, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CPhaseDiagram* m_diagram;
};

}  // namespace zekqt
