#pragma once
// Pictures of graph documents without a window: the command line's plots and reports.
#include <string>

#include "rurorade/setup.h"
#include "rurorade/test_dlg.h"

namespace zekqt {

// Creates the application object when there is none; without a display (no DISPLAY nor
// WAYLAND_DISPLAY, QT_QPA_PLATFORM unset) it draws offscreen.
void EnsureGuiApplication();

// The chart the graph view shows, `width` x `height` px, as PNG or SVG by the extension of `path`
// (anything else fails). Written through a temporary file: a failure leaves no file behind.
bool RenderGraphPicture(const CGraphDocument& doc, const std::string& path, std::string* error, int width = 900,
                        int height = 500);

// The magnitude and phase of the setup's filters that are on, as the Filters dialog shows them, as a
// PNG or SVG picture. "" when written; otherwise why not (no filter is on, or the file failed).
std::string RenderFilterResponsePicture(CMC_Setup* setup, const std::string& path, int width = 900, int height = 700);

// Makes RenderGraphPicture the host kernel's plot renderer (CGraphWindow::CreateWMF and the reports).
void InstallPlotRenderer();

}  // namespace zekqt
