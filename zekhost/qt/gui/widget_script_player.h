#pragma once
// Plays the editor script language through the widgets: a scripted action becomes what a person
// would do to the widget of that control (type and finish editing, click, choose an item, close
// the window), and a scripted answer presses that button of the message box.
#include <QMessageBox>

#include "dialog_window.h"

namespace zekqt {

class WidgetScriptPlayer {
public:
    // Does `event` to the window's widgets; false when no widget takes it (a control the window
    // does not show, or a close with no OK button to press): then the event goes to the model as is.
    static bool Perform(DialogWindow& window, const rurorade::UiEvent& event);
    // The box's button for an answer (IDOK, IDYES ...), or NoButton.
    static QMessageBox::StandardButton ButtonFor(int answer);
    // The answer a box's button gives.
    static int AnswerOf(int standardButton);
};

}  // namespace zekqt
