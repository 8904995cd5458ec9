#pragma once
// The host's 16-colour palette (RGB16) as Qt colours: the one place the drawings take colours from.
#include <QColor>

#include "rurorade/test_dlg.h"

namespace zekqt {

inline QColor PaletteColour(int index) { return QColor(static_cast<QRgb>(RGB16(index))); }

inline QColor Rgb(std::uint32_t rgb) { return QColor(static_cast<QRgb>(rgb & 0xFFFFFFu)); }

}  // namespace zekqt
