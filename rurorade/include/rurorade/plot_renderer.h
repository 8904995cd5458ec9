#pragma once
// The host kernel draws no pictures itself: a front end with a toolkit installs a renderer that
// writes a graph document as a picture file (the kind chosen by the path's extension).
#include <functional>
#include <string>

class CGraphDocument;

namespace rurorade {

// Writes `document` as a picture at `path`; false with the reason in `*error` (when given).
using PlotRenderer = std::function<bool(const CGraphDocument& document, const std::string& path, std::string* error)>;

// An empty renderer uninstalls it: pictures are then not written.
void SetPlotRenderer(PlotRenderer renderer);
const PlotRenderer& GetPlotRenderer();

}  // namespace rurorade
