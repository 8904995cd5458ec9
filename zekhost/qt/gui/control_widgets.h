#pragma once
// One widget per view-model control, chosen by the control's kind, and its update from the
// control. The widgets only report what the person did; the view model decides what it means.
#include <functional>
#include <string>

#include <QString>
#include <QWidget>

#include "rurorade/edit_setup_dlg.h"

namespace zekqt {

using EventSink = std::function<void(const rurorade::UiEvent&)>;

// A widget for `control`; user actions go to `sink` as view-model events: an edit commits on
// Enter or when it loses focus, buttons, checks and radios click, a list or slider selects.
// A group becomes an empty QGroupBox (the window places its controls in it).
QWidget* CreateControlWidget(const CMC_Control& control, const EventSink& sink, QWidget* parent);

// Brings the widget in step with the control (text, visible, enabled, checked, items, selection)
// without reporting anything back.
void UpdateControlWidget(QWidget* widget, const CMC_Control& control);

// Only visibility and enabling, for a control that carries a drawing.
void UpdateControlFrame(QWidget* widget, const CMC_Control& control);

// A caption as a label shows it: "&&" is an ampersand, a single "&" only marks a mnemonic.
QString LabelText(const std::string& text);

// The control id a widget was made for, or 0.
int ControlIdOf(const QWidget* widget);

}  // namespace zekqt
