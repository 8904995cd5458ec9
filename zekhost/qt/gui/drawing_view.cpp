#include "drawing_view.h"

#include "rurorade/bar_graph.h"
#include "rurorade/encoder_diagram.h"
#include "rurorade/hall_diagram.h"
#include "rurorade/phase_diagram.h"
#include "rurorade/test_dlg.h"

#include "diagram_widgets.h"
#include "filter_response_view.h"
#include "graph_view.h"

namespace zekqt {
namespace {

template <class... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <class... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;

template <class Widget, class Object>
DrawingView Make(Object* object, QWidget* parent)
{
    auto* widget = new Widget(object, parent);
    return {widget, [widget] { widget->Refresh(); }};
}

}  // namespace

DrawingView CreateDrawingView(const CMC_EditSetupDlg::Drawing& drawing, QWidget* parent)
{
    DrawingView view = std::visit(
        Overloaded{
            [&](CGraphWindow* g) {
                DrawingView graph = Make<GraphView>(static_cast<const CGraphWindow*>(g), parent);
                graph.widget->setMinimumSize(560, 320);  // room for the axes and the legend
                return graph;
            },
            [&](rurorade::CBarGraph* b) { return Make<BarGraphWidget>(static_cast<const rurorade::CBarGraph*>(b), parent); },
            [&](CEncoderDiagram* e) { return Make<EncoderDiagramWidget>(static_cast<const CEncoderDiagram*>(e), parent); },
            [&](CHallDiagram* h) { return Make<HallDiagramWidget>(static_cast<const CHallDiagram*>(h), parent); },
            [&](CPhaseDiagram* p) { return Make<PhaseDiagramWidget>(static_cast<const CPhaseDiagram*>(p), parent); },
            [&](CMC_Oscilloscope* o) {
                DrawingView scope = Make<OscilloscopeWidget>(static_cast<const CMC_Oscilloscope*>(o), parent);
                scope.widget->setMinimumSize(560, 320);
                return scope;
            },
        },
        drawing.object);
    view.widget->setObjectName(QStringLiteral("drawing%1").arg(drawing.controlId));
    return view;
}

DrawingView CreateFilterResponseView(CMC_Setup* setup, QWidget* parent)
{
    auto* view = new FilterResponseView(setup, parent);
    view->setObjectName(QStringLiteral("filterResponse"));
    return {view, [view] { view->Refresh(); }};
}

}  // namespace zekqt
