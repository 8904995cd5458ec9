#include "rurorade/plot_renderer.h"

#include <string>
#include <utility>

#include "rurorade/test_dlg.h"

namespace {

rurorade::PlotRenderer& Installed()
{
    static rurorade::PlotRenderer renderer;
    return renderer;
}

}  // namespace

void rurorade::SetPlotRenderer(PlotRenderer renderer) { Installed() = std::move(renderer); }

const rurorade::PlotRenderer& rurorade::GetPlotRenderer() { return Installed(); }

int CGraphWindow::CreateWMF(const char* baseName)
{
    const rurorade::PlotRenderer& render = rurorade::GetPlotRenderer();
    if (m_document == nullptr || !render) return 0;
    const std::string path = std::string(baseName && *baseName ? baseName : "graph") + ".svg";
    return render(*m_document, path, nullptr) ? 1 : 0;
}
