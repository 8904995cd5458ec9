#pragma once
// The on-line plot: each channel's newest values from left to right over the oscilloscope's width
// of kMaxPoints, on the channel's own displayed range (flipped when min exceeds max), in its colour.
#include <QWidget>

#include "rurorade/oscilloscope.h"

namespace zekqt {

class OscilloscopeWidget : public QWidget {
public:
    explicit OscilloscopeWidget(const CMC_Oscilloscope* scope, QWidget* parent = nullptr);
    void Refresh() { update(); }
    QSize sizeHint() const override { return {560, 320}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    const CMC_Oscilloscope* m_scope;
};

}  // namespace zekqt
