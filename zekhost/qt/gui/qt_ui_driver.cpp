#include "qt_ui_driver.h"

#include <algorithm>

#include <QAbstractButton>
#include <QCoreApplication>
#include <QEventLoop>
#include <QMessageBox>
#include <QTimer>

#include "widget_script_player.h"

namespace zekqt {

using rurorade::UiContext;
using rurorade::UiEvent;

QtUiDriver::QtUiDriver() = default;

QtUiDriver::~QtUiDriver()
{
    // Innermost first: a window is the parent of the ones above it.
    while (!m_windows.empty()) m_windows.pop_back();
    delete m_help.data();
}

void QtUiDriver::PlayScript(rurorade::ScriptDriver* script, std::function<void()> onEnd)
{
    m_script = script;
    m_onScriptEnd = std::move(onEnd);
    m_scriptEnded = false;
}

DialogWindow* QtUiDriver::Window(const CMC_EditSetupDlg& dialog) const
{
    for (const auto& [d, w] : m_windows)
        if (d == &dialog) return w.get();
    return nullptr;
}

DialogWindow* QtUiDriver::TopWindow() const { return m_windows.empty() ? nullptr : m_windows.back().second.get(); }

QWidget* QtUiDriver::TopmostWidget() const
{
    if (m_box) return m_box.data();
    return TopWindow();
}

void QtUiDriver::Queue(CMC_EditSetupDlg* dialog, const UiEvent& event)
{
    m_queue.push_back({dialog, event});
    if (m_waiting) m_waiting->quit();
}

bool QtUiDriver::TakeQueued(CMC_EditSetupDlg& topmost, UiEvent& event)
{
    while (!m_queue.empty()) {
        const Pending p = m_queue.front();
        m_queue.pop_front();
        // Events of a window that is no longer on top (it closed meanwhile) are dropped.
        if (p.dialog != &topmost) continue;
        if (m_closeGuard && ClosesOutermost(topmost, p.event) && !m_closeGuard()) continue;
        event = p.event;
        m_syncPending = true;
        return true;
    }
    return false;
}

bool QtUiDriver::ClosesOutermost(CMC_EditSetupDlg& topmost, const UiEvent& event) const
{
    if (m_windows.empty() || m_windows.front().first != &topmost) return false;
    if (event.kind == UiEvent::Close) return event.id != rurorade::IDOK;
    const CMC_Control* cancel = topmost.GetControl(rurorade::IDCANCEL);
    return event.kind == UiEvent::Click && event.id == rurorade::IDCANCEL && cancel && cancel->visible && cancel->enabled;
}

void QtUiDriver::EndScript()
{
    if (m_scriptEnded) return;
    m_scriptEnded = true;
    if (m_onScriptEnd) m_onScriptEnd();
}

bool QtUiDriver::Play(CMC_EditSetupDlg& topmost, const UiEvent& step, UiEvent& event)
{
    // The script has ended once its last line is taken: the windows are pictured before it acts.
    if (step.kind == UiEvent::Quit || m_script->RanToEnd()) EndScript();
    if (step.kind == UiEvent::Quit || step.kind == UiEvent::Wait) {
        event = step;
        return true;
    }
    DialogWindow* window = Window(topmost);
    if (window) window->Sync();
    if (window == nullptr || !WidgetScriptPlayer::Perform(*window, step)) Queue(&topmost, step);
    // A widget the model shows disabled takes no action; the script goes on as the model would.
    return TakeQueued(topmost, event);
}

void QtUiDriver::WaitForPerson(std::int64_t wallMs)
{
    QEventLoop loop;
    QTimer timer;
    timer.setSingleShot(true);
    connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
    if (wallMs >= 0) timer.start(static_cast<int>(std::min<std::int64_t>(wallMs, 1 << 30)));
    m_waiting = &loop;
    loop.exec();
    m_waiting = nullptr;
}

UiEvent QtUiDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    if (DialogWindow* window = Window(topmost)) window->Sync();
    m_syncPending = false;
    UiContext& ui = UiContext::Get();
    UiEvent event;
    for (;;) {
        if (TakeQueued(topmost, event)) return event;
        if (m_script) {
            if (Play(topmost, m_script->NextEvent(topmost), event)) return event;
            continue;
        }
        rurorade::Clock& clock = ui.GetClock();
        const std::int64_t now = clock.NowMs(), next = ui.NextDueMs();
        if (next >= 0 && next <= now) return UiEvent::Of(UiEvent::Wait);
        auto* real = dynamic_cast<rurorade::RealTimeClock*>(&clock);
        if (real == nullptr && next >= 0) {
            // A virtual clock does not wait for the next timer: time runs on as soon as nothing is pending.
            QCoreApplication::processEvents();
            if (TakeQueued(topmost, event)) return event;
            event = UiEvent::Of(UiEvent::Wait);
            event.ms = next - now;
            return event;
        }
        WaitForPerson(next < 0 ? -1 : real->WallMs(next - now));
        if (TakeQueued(topmost, event)) return event;
        if (next >= 0) {
            event = UiEvent::Of(UiEvent::Wait);
            event.ms = std::max<std::int64_t>(0, next - clock.NowMs());
            return event;
        }
    }
}

bool QtUiDriver::PollEvent(CMC_EditSetupDlg& topmost, UiEvent& event)
{
    if (m_syncPending) {
        if (DialogWindow* window = Window(topmost)) window->Sync();
        m_syncPending = false;
    }
    QCoreApplication::processEvents();
    if (TakeQueued(topmost, event)) return true;
    // Every line that is due now, as the script driver hands them to a busy dialog.
    for (UiEvent step; m_script && m_script->PollEvent(topmost, step);)
        if (Play(topmost, step, event)) return true;
    return false;
}

int QtUiDriver::AnswerMessageBox(const std::string& text, const std::string& caption, int type)
{
    int scripted = 0;
    if (m_script) scripted = m_script->AnswerMessageBox(text, caption, type);

    QMessageBox::StandardButtons buttons = QMessageBox::Ok;
    switch (type & rurorade::MB_BUTTONS) {
    case rurorade::MB_OKCANCEL: buttons = QMessageBox::Ok | QMessageBox::Cancel; break;
    case rurorade::MB_YESNOCANCEL: buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
    case rurorade::MB_YESNO: buttons = QMessageBox::Yes | QMessageBox::No; break;
    default: break;
    }
    if (type & rurorade::MB_HELP) buttons |= QMessageBox::Help;
    QMessageBox::Icon icon = QMessageBox::Information;
    switch (type & 0xF0) {
    case rurorade::MB_ICONERROR: icon = QMessageBox::Critical; break;
    case rurorade::MB_ICONQUESTION: icon = QMessageBox::Question; break;
    case rurorade::MB_ICONWARNING: icon = QMessageBox::Warning; break;
    default: break;
    }
    QMessageBox box(icon, QString::fromStdString(caption), QString::fromStdString(text), buttons, TopWindow());
    box.setObjectName(QStringLiteral("messageBox"));
    if (m_script) {
        // The scripted answer presses its button; an answer the box does not offer is given as is.
        QAbstractButton* press = box.button(WidgetScriptPlayer::ButtonFor(scripted));
        if (press == nullptr) return scripted;
        QTimer::singleShot(0, press, &QAbstractButton::click);
    }
    m_box = &box;
    const int pressed = box.exec();
    m_box = nullptr;
    return WidgetScriptPlayer::AnswerOf(pressed);
}

void QtUiDriver::DialogOpened(CMC_EditSetupDlg& dialog)
{
    if (m_script) m_script->DialogOpened(dialog);
    auto window = std::make_unique<DialogWindow>(dialog, [this, &dialog](const UiEvent& e) { Queue(&dialog, e); }, TopWindow());
    window->Sync();
    window->show();
    m_windows.emplace_back(&dialog, std::move(window));
}

void QtUiDriver::DialogClosed(CMC_EditSetupDlg& dialog, int result)
{
    if (m_script) m_script->DialogClosed(dialog, result);
    for (auto it = m_windows.begin(); it != m_windows.end(); ++it) {
        if (it->first != &dialog) continue;
        it->second->CloseForGood();
        m_windows.erase(it);
        break;
    }
    std::erase_if(m_queue, [&](const Pending& p) { return p.dialog == &dialog; });
}

void QtUiDriver::HelpRequested(const std::string& file, int context)
{
    if (m_script) m_script->HelpRequested(file, context);
    // A modal dialog blocks every window but its own: the help window belongs to the top one.
    if (m_help && m_help->parentWidget() != TopWindow()) delete m_help.data();
    if (!m_help) m_help = new HelpBrowser(TopWindow());
    m_help->ShowContext(context);
    m_lastHelpPage = m_help->CurrentPage();
}

void QtUiDriver::StatusChanged(CMC_EditSetupDlg& dialog, const std::string& text)
{
    if (m_script) m_script->StatusChanged(dialog, text);
    if (DialogWindow* window = Window(dialog)) window->Sync();
}

}  // namespace zekqt
