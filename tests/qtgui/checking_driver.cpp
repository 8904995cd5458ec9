#include "checking_driver.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QCoreApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTabBar>

namespace zekqt {

std::vector<std::string> CheckingDriver::Compare(const DialogWindow& window)
{
    std::vector<std::string> out;
    const CMC_EditSetupDlg& dlg = window.Dialog();
    for (const CMC_Control& c : dlg.Controls()) {
        auto differs = [&](const std::string& what) {
            out.push_back("dialog " + std::to_string(dlg.GetTemplateId()) + " control " + std::to_string(c.id) + ": " + what);
        };
        const QWidget* w = window.ControlWidget(c.id);
        if (w == nullptr) {
            differs("no widget");
            continue;
        }
        // Own state only: a control inside a hidden or disabled group keeps its own flags.
        // A hidden control must be hidden for good: a widget merely not shown yet appears with its layout.
        if (w->isHidden() == c.visible || (!c.visible && !w->testAttribute(Qt::WA_WState_ExplicitShowHide)))
            differs(c.visible ? "hidden, model visible" : "visible, model hidden");
        if (w->testAttribute(Qt::WA_ForceDisabled) == c.enabled) differs(c.enabled ? "disabled, model enabled" : "enabled, model disabled");
        if (window.DrawingWidget(c.id) != nullptr) continue;
        if (const auto* edit = qobject_cast<const QLineEdit*>(w); edit && edit->text().toStdString() != c.text)
            differs("text \"" + edit->text().toStdString() + "\", model \"" + c.text + "\"");
        if (const auto* b = qobject_cast<const QAbstractButton*>(w); b && b->isCheckable() && b->isChecked() != (c.checked != 0))
            differs("check state");
        if (const auto* combo = qobject_cast<const QComboBox*>(w)) {
            if (combo->count() != static_cast<int>(c.items.size())) differs("item count");
            else if (combo->currentIndex() != c.selection) differs("selection");
        }
        if (const auto* tabs = qobject_cast<const QTabBar*>(w)) {
            if (tabs->count() != static_cast<int>(c.items.size())) differs("page count");
            else if (c.selection >= 0 && tabs->currentIndex() != c.selection) differs("page");
        }
    }
    return out;
}

rurorade::UiEvent CheckingDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    if (DialogWindow* window = Window(topmost)) {
        window->Sync();
        for (std::string& m : Compare(*window)) m_mismatches.push_back(std::move(m));
        m_checked.insert(topmost.GetTemplateId());
        if (!m_steps.empty() && m_steps.front().dialog == topmost.GetTemplateId()) {
            const Step step = m_steps.front();
            m_steps.pop_front();
            QCoreApplication::processEvents();  // the window is laid out before the person acts
            step.act(*window);
            m_scripted = true;
        } else if (m_steps.empty() && m_scripted) {
            return rurorade::UiEvent::Of(rurorade::UiEvent::Quit);  // the person is done
        }
    }
    return QtUiDriver::NextEvent(topmost);
}

}  // namespace zekqt
