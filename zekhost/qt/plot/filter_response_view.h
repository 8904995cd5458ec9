#pragma once
// Magnitude and phase of the setup's biquad filters over a logarithmic frequency axis: each filter
// as designed (dashed) and as the drive runs it with its quantised registers (solid).
#include <QChart>
#include <QLabel>
#include <QLineSeries>
#include <QWidget>
#include <vector>

#include "filter_response_model.h"

namespace zekqt {

class FilterResponseView : public QWidget {
public:
    explicit FilterResponseView(CMC_Setup* setup, QWidget* parent = nullptr);

    // Designs again from the setup and redraws.
    void Refresh();
    // The drawn points of filter `filter` (1..3), designed or quantised; empty when not drawn.
    std::vector<ResponsePoint> Curve(int filter, bool quantised) const;
    QSize sizeHint() const override { return {520, 460}; }

private:
    struct Drawn {
        int filter;
        bool quantised;
        QLineSeries* magnitude;
        QLineSeries* phase;
    };

    CMC_Setup* m_setup;
    FilterResponseModel m_model;
    QLabel* m_message;
    QChart* m_magnitude;
    QChart* m_phase;
    std::vector<Drawn> m_drawn;
};

}  // namespace zekqt
