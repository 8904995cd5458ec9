#include "rurorade/ui.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <thread>

#include "rurorade/dialog_template.h"
#include "rurorade/edit_setup_dlg.h"

namespace rurorade {

namespace {

std::int64_t SteadyNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

RealTimeClock::RealTimeClock(double speed)
    : m_speed(std::isfinite(speed) && speed > 0 ? speed : 1.0), m_startNs(SteadyNs())
{
}

std::int64_t RealTimeClock::NowMs() const
{
    return static_cast<std::int64_t>(std::floor(static_cast<double>(SteadyNs() - m_startNs) * 1e-6 * m_speed));
}

std::int64_t RealTimeClock::WallMs(std::int64_t clockMs) const
{
    return clockMs <= 0 ? 0 : static_cast<std::int64_t>(std::ceil(static_cast<double>(clockMs) / m_speed));
}

void RealTimeClock::Advance(std::int64_t ms)
{
    const std::int64_t target = NowMs() + ms;
    for (std::int64_t now = NowMs(); now < target; now = NowMs())
        std::this_thread::sleep_for(std::chrono::microseconds(
            std::max<std::int64_t>(100, static_cast<std::int64_t>(static_cast<double>(target - now) * 1000 / m_speed))));
}

UiContext& UiContext::Get()
{
    static UiContext context;
    return context;
}

void UiContext::PopDialog(CMC_EditSetupDlg* dlg)
{
    auto it = std::find(m_dialogs.begin(), m_dialogs.end(), dlg);
    if (it != m_dialogs.end()) m_dialogs.erase(it);
}

void UiContext::SetTimer(CMC_EditSetupDlg* dlg, int id, std::int64_t periodMs)
{
    periodMs = std::max<std::int64_t>(periodMs, 1);
    KillTimer(dlg, id);
    m_timers.push_back({dlg, id, periodMs, m_clock->NowMs() + periodMs});
}

void UiContext::KillTimer(CMC_EditSetupDlg* dlg, int id)
{
    std::erase_if(m_timers, [&](const Timer& t) { return t.dlg == dlg && t.id == id; });
}

void UiContext::KillTimers(CMC_EditSetupDlg* dlg)
{
    std::erase_if(m_timers, [&](const Timer& t) { return t.dlg == dlg; });
}

std::int64_t UiContext::NextDueMs() const
{
    std::int64_t next = -1;
    for (const Timer& t : m_timers)
        if (next < 0 || t.due < next) next = t.due;
    return next;
}

int UiContext::FireDueTimers()
{
    int fired = 0;
    for (;;) {
        const std::int64_t now = m_clock->NowMs();
        auto due = std::min_element(m_timers.begin(), m_timers.end(), [](const Timer& a, const Timer& b) { return a.due < b.due; });
        if (due == m_timers.end() || due->due > now) return fired;
        // Reschedule before the handler runs: it may kill the timer or open a modal dialog.
        CMC_EditSetupDlg* dlg = due->dlg;
        const int id = due->id;
        due->due += due->period;
        ++fired;
        dlg->OnTimer(id);
    }
}

void UiContext::RunFor(std::int64_t ms)
{
    const std::int64_t target = m_clock->NowMs() + ms;
    for (;;) {
        const std::int64_t next = NextDueMs();
        if (next < 0 || next > target) break;
        if (next > m_clock->NowMs()) m_clock->Advance(next - m_clock->NowMs());
        FireDueTimers();
    }
    if (target > m_clock->NowMs()) m_clock->Advance(target - m_clock->NowMs());
}

int UiContext::MessageBox(const std::string& text, const std::string& caption, int type)
{
    m_lastMessage = text;
    if (m_driver) return m_driver->AnswerMessageBox(text, caption, type);
    const int buttons = type & MB_BUTTONS;
    return (buttons == MB_YESNO || buttons == MB_YESNOCANCEL) ? IDYES : IDOK;
}

void UiContext::ShowHelp(const std::string& file, int context)
{
    if (m_driver) m_driver->HelpRequested(file, context);
}

}  // namespace rurorade

std::string GetHelpFileOfGUI(CMC_Setup*) { return "zekhost.chm"; }
std::string GetGUIDirectory() { return "/usr/share/zekhost/help"; }
