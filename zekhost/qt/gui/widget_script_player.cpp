#include "widget_script_player.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QLineEdit>
#include <QShortcut>
#include <QSlider>
#include <QTabBar>

namespace zekqt {

using rurorade::UiEvent;

bool WidgetScriptPlayer::Perform(DialogWindow& window, const UiEvent& event)
{
    if (event.kind == UiEvent::Chord) {
        QShortcut* chord = window.findChild<QShortcut*>();
        if (chord == nullptr) return false;
        emit chord->activated();
        return true;
    }
    if (event.kind == UiEvent::Close) {
        if (event.id != rurorade::IDOK) {
            window.close();
            return true;
        }
        auto* ok = qobject_cast<QAbstractButton*>(window.ControlWidget(rurorade::IDOK));
        if (ok == nullptr || ok->isHidden() || !ok->isEnabled()) return false;
        ok->click();
        return true;
    }
    QWidget* widget = window.ControlWidget(event.id);
    if (widget == nullptr) return false;
    switch (event.kind) {
    case UiEvent::Commit:
        if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
            edit->setText(QString::fromStdString(event.text));
            emit edit->editingFinished();
            return true;
        }
        return false;
    case UiEvent::Click:
    case UiEvent::Check:
        if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
            if (event.kind == UiEvent::Click || !button->isChecked()) button->click();
            return true;
        }
        return false;
    case UiEvent::Select:
        if (auto* combo = qobject_cast<QComboBox*>(widget)) {
            if (event.index >= 0 && event.index < combo->count()) {
                combo->setCurrentIndex(event.index);
                emit combo->activated(event.index);
            }
            return true;
        }
        if (auto* slider = qobject_cast<QSlider*>(widget)) {
            slider->setValue(event.index);
            return true;
        }
        if (auto* tabs = qobject_cast<QTabBar*>(widget)) {
            tabs->setCurrentIndex(event.index);
            return true;
        }
        return false;
    default: return false;
    }
}

QMessageBox::StandardButton WidgetScriptPlayer::ButtonFor(int answer)
{
    switch (answer) {
    case rurorade::IDOK: return QMessageBox::Ok;
    case rurorade::IDCANCEL: return QMessageBox::Cancel;
    case rurorade::IDYES: return QMessageBox::Yes;
    case rurorade::IDNO: return QMessageBox::No;
    case rurorade::IDHELP: return QMessageBox::Help;
    default: return QMessageBox::NoButton;
    }
}

int WidgetScriptPlayer::AnswerOf(int standardButton)
{
    switch (standardButton) {
    case QMessageBox::Ok: return rurorade::IDOK;
    case QMessageBox::Yes: return rurorade::IDYES;
    case QMessageBox::No: return rurorade::IDNO;
    case QMessageBox::Help: return rurorade::IDHELP;
    default: return rurorade::IDCANCEL;
    }
}

}  // namespace zekqt
