#pragma once
// The chart of a graph document: one line per curve of its filters (every variable against time
// when none is set), group 1 against the left axis and group 2 against the right one, in the
// curve's palette colour and width. Shared by the graph view and the picture renderer.
#include <QChart>
#include <QLineSeries>
#include <QValueAxis>
#include <limits>
#include <vector>

#include "rurorade/test_dlg.h"

namespace zekqt {

class GraphChart : public QChart {
public:
    GraphChart();

    // Re-reads `document` (null: an empty chart). When only points were added since the last call
    // they are appended; otherwise the lines are filled again. While points arrive the axes only
    // grow (with room ahead on the time axis); FitAll fits them to the data.
    void Show(const CGraphDocument* document);
    // Axes back to all the data; afterwards the axes follow the data again.
    void FitAll();
    // True after the user zoomed (the axes then stay where they are while data arrive).
    bool IsZoomedByUser() const { return m_zoomed; }
    // The lines in curve order.
    const std::vector<QLineSeries*>& Lines() const { return m_lines; }

private:
    struct Range {
        double lo = std::numeric_limits<double>::infinity(), hi = -std::numeric_limits<double>::infinity();
        void Add(double v);
    };
    static std::vector<CXYCurve> CurvesOf(const CGraphDocument& document);
    bool SameLayout(const CGraphDocument& document, const std::vector<CXYCurve>& curves) const;
    void Rebuild(const CGraphDocument& document, const std::vector<CXYCurve>& curves);
    // Points of rows [first, end) onto the lines: appended, or replacing what they hold.
    void Fill(const CGraphDocument& document, std::size_t first, bool append);
    // Axes onto the data: exactly, or only wider where the data left them.
    void ApplyRanges();
    void GrowRanges();
    static void SetRange(QValueAxis* axis, Range range, double margin);

    const CGraphDocument* m_document = nullptr;
    std::vector<CXYCurve> m_curves;
    std::vector<std::string> m_names;
    std::vector<QLineSeries*> m_lines;
    std::vector<QList<QPointF>> m_points;  // what each line holds
    std::vector<double> m_lastRow;  // the last row drawn, to tell an append from a rewrite
    std::size_t m_drawn = 0;
    QValueAxis* m_x = nullptr;
    QValueAxis* m_y[2] = {nullptr, nullptr};
    Range m_xRange, m_yRange[2];
    bool m_zoomed = false, m_settingRanges = false;
};

}  // namespace zekqt
