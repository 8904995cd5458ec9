#include "drawing_view.h"

#include <QLabel>

#include "rurorade/bar_graph.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"
#include "rurorade/test_dlg.h"

#ifdef ZEKQT_HAVE_PLOT
#include "diagram_widgets.h"
#include "filter_response_view.h"
#include "graph_view.h"
#endif

namespace zekqt {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

#ifdef ZEKQT_HAVE_PLOT
template <class Widget, class Object>
DrawingView Make(Object* object, QWidget* parent)
{
    auto* widget = new Widget(object, parent);
    return {widget, [widget] { widget->Refresh(); }};
}
#endif

// Stands where a drawing goes when the plot library is not built in.
DrawingView Placeholder(const char* what, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("[%1: drawing not available in this build]").arg(QLatin1String(what)), parent);
    label->setFrameShape(QFrame::Box);
    label->setAlignment(Qt::AlignCenter);
    label->setMinimumSize(220, 120);
    return {label, [] {}};
}

}  // namespace

DrawingView CreateDrawingView(const CMC_EditSetupDlg::Drawing& drawing, QWidget* parent)
{
    DrawingView view = std::visit(
        Overloaded{
#ifdef ZEKQT_HAVE_PLOT
            [&](CGraphWindow* g) {
                DrawingView graph = Make<GraphView>(static_cast<const CGraphWindow*>(g), parent);
                graph.widget->setMinimumSize(560, 320);  // room for the axes and the legend
                return graph;
            },
            [&](rurorade::CBarGraph* b) { return Make<BarGraphWidget>(static_cast<const rurorade::CBarGraph*>(b), parent); },
            [&](CEncoderDiagram* e) { return Make<EncoderDiagramWidget>(static_cast<const CEncoderDiagram*>(e), parent); },
            [&](CHallDiagram* h) { return Make<HallDiagramWidget>(static_cast<const CHallDiagram*>(h), parent); },
            [&](CPhaseDiagram* p) { return Make<PhaseDiagramWidget>(static_cast<const CPhaseDiagram*>(p), parent); },
#else
            [&](CGraphWindow*) { return Placeholder("graph", parent); },
            [&](rurorade::CBarGraph*) { return Placeholder("bar", parent); },
            [&](CEncoderDiagram*) { return Placeholder("encoder", parent); },
            [&](CHallDiagram*) { return Placeholder("Hall sensors", parent); },
            [&](CPhaseDiagram*) { return Placeholder("phase", parent); },
#endif
            [&](CMC_Oscilloscope*) { return Placeholder("oscilloscope", parent); },
        },
        drawing.object);
    view.widget->setObjectName(QStringLiteral("drawing%1").arg(drawing.controlId));
    return view;
}

DrawingView CreateFilterResponseView(CMC_Setup* setup, QWidget* parent)
{
#ifdef ZEKQT_HAVE_PLOT
    auto* view = new FilterResponseView(setup, parent);
    view->setObjectName(QStringLiteral("filterResponse"));
    return {view, [view] { view->Refresh(); }};
#else
    (void)setup;
    (void)parent;
    return {};
#endif
}

}  // namespace zekqt
