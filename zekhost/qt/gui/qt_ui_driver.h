#pragma once
// The UiDriver of the desktop front end: every modal view-model dialog gets a window, and its
// modal loop waits in a Qt event loop until the person acts or the next timer of the dialog is
// due. A script (the `zekhost edit --script` language) can stand in for the person: it is then
// played through the same widgets.
#include <deque>
#include <functional>
#include <memory>
#include <utility>
#include <vector>

#include <QObject>
#include <QPointer>

#include "dialog_window.h"
#include "help_browser.h"
#include "rurorade/script_driver.h"

class QEventLoop;
class QMessageBox;

namespace zekqt {

class QtUiDriver : public QObject, public rurorade::UiDriver {
    Q_OBJECT
public:
    QtUiDriver();
    ~QtUiDriver() override;

    // Plays `script` through the widgets instead of waiting for a person; `onEnd` runs once when
    // its last line has run (or failed), while the windows are still open.
    void PlayScript(rurorade::ScriptDriver* script, std::function<void()> onEnd = {});

    // Asked before the person's Cancel or X closes the outermost dialog; false keeps it open.
    void SetCloseGuard(std::function<bool()> guard) { m_closeGuard = std::move(guard); }

    DialogWindow* Window(const CMC_EditSetupDlg& dialog) const;
    DialogWindow* TopWindow() const;
    // What a person sees on top: an open message box, else the topmost dialog window.
    QWidget* TopmostWidget() const;
    // The help window last opened, or null.
    HelpBrowser* Help() const { return m_help; }
    // The page of the last help request, "" before any.
    QString LastHelpPage() const { return m_lastHelpPage; }

    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;
    bool PollEvent(CMC_EditSetupDlg& topmost, rurorade::UiEvent& event) override;
    int AnswerMessageBox(const std::string& text, const std::string& caption, int type) override;
    void DialogOpened(CMC_EditSetupDlg& dialog) override;
    void DialogClosed(CMC_EditSetupDlg& dialog, int result) override;
    void HelpRequested(const std::string& file, int context) override;
    void StatusChanged(CMC_EditSetupDlg& dialog, const std::string& text) override;

private:
    struct Pending {
        CMC_EditSetupDlg* dialog;
        rurorade::UiEvent event;
    };
    void Queue(CMC_EditSetupDlg* dialog, const rurorade::UiEvent& event);
    bool TakeQueued(CMC_EditSetupDlg& topmost, rurorade::UiEvent& event);
    bool ClosesOutermost(CMC_EditSetupDlg& topmost, const rurorade::UiEvent& event) const;
    // Plays one scripted step through the widgets: true with the event to hand over, false when
    // the step gave none.
    bool Play(CMC_EditSetupDlg& topmost, const rurorade::UiEvent& step, rurorade::UiEvent& event);
    void EndScript();
    // Runs the Qt event loop until an event is queued or `wallMs` pass (negative: no limit).
    void WaitForPerson(std::int64_t wallMs);

    std::vector<std::pair<CMC_EditSetupDlg*, std::unique_ptr<DialogWindow>>> m_windows;
    std::deque<Pending> m_queue;
    QEventLoop* m_waiting = nullptr;
    rurorade::ScriptDriver* m_script = nullptr;
    std::function<void()> m_onScriptEnd;
    std::function<bool()> m_closeGuard;
    bool m_scriptEnded = false;
    bool m_syncPending = false;
    QPointer<QMessageBox> m_box;
    QPointer<HelpBrowser> m_help;
    QString m_lastHelpPage;
};

}  // namespace zekqt
