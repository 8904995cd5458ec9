#pragma once
// Pictures of graph documents without a window: the command line's plots and reports.
#include <string>

#include "rurorade/test_dlg.h"

namespace zekqt {

// Creates the application object when there is none; without a display (no DISPLAY nor
// WAYLAND_DISPLAY, QT_QPA_PLATFORM unset) it draws offscreen.
void EnsureGuiApplication();

// The chart the graph view shows, `width` x `height` px, as PNG or SVG by the extension of `path`
// (anything else fails). Written through a temporary file: a failure leaves no file behind.
bool RenderGraphPicture(const CGraphDocument& doc, const std::string& path, std::string* error, int width = 900,
                        int height = 500);

// Makes RenderGraphPicture the host kernel's plot renderer (CGraphWindow::CreateWMF and the reports).
void InstallPlotRenderer();

}  // namespace zekqt
