#pragma once
// The widget that paints one of a dialog's drawings (graph, bar, encoder, Hall or phase diagram)
// where its control sits, and how to redraw it from the drawing's state.
#include <functional>

#include <QWidget>

#include "rurorade/edit_setup_dlg.h"

namespace zekqt {

struct DrawingView {
    QWidget* widget = nullptr;
    std::function<void()> refresh;
};

DrawingView CreateDrawingView(const CMC_EditSetupDlg::Drawing& drawing, QWidget* parent);

// The frequency response beside the Filters dialog's controls; null without the plot library.
DrawingView CreateFilterResponseView(CMC_Setup* setup, QWidget* parent);

}  // namespace zekqt
