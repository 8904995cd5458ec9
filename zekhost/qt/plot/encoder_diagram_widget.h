#pragma once
// The encoder diagram: a disc with its slots and a mark where the encoder says the shaft is.
#include <QWidget>

#include "rurorade/encoder_diagram.h"

namespace zekqt {

class EncoderDiagramWidget : public QWidget {
public:
    explicit EncoderDiagramWidget(const CEncoderDiagram* diagram, QWidget* parent = nullptr);
    void Refresh() { update(); }
    QSize sizeHint() const override { return {120, 120}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CEncoderDiagram* m_diagram;
};

}  // namespace zekqt
