#include "auto_test_driver.h"

#include <cmath>

#include "rurorade/drive_link.h"
#include "rurorade/test_dlg.h"

namespace zekhost {

using rurorade::UiEvent;

namespace {

UiEvent WaitFor(std::int64_t ms)
{
    UiEvent wait = UiEvent::Of(UiEvent::Wait);
    wait.ms = ms;
    return wait;
}

rurorade::Bench* BenchOf(CMC_EditSetupDlg& dlg)
{
    rurorade::DriveLink* link = dlg.GetSetup() ? dlg.GetSetup()->GetDriveLink() : nullptr;
    return link ? link->GetBench() : nullptr;
}

}  // namespace

UiEvent AutoTestDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    auto* test = dynamic_cast<CMC_TestDlg*>(&topmost);
    rurorade::Clock& clock = rurorade::UiContext::Get().GetClock();
    if (test == nullptr) return UiEvent::Of(UiEvent::Quit);
    switch (m_phase) {
    case Phase::Prepare:
        while (m_nextPrelude < m_prelude.size()) {
            const PersonAction& a = m_prelude[m_nextPrelude++];
            if (a.kind == PersonAction::Click) return UiEvent::Of(UiEvent::Click, a.id);
            if (a.kind == PersonAction::Wait) return WaitFor(a.ms);
            if (a.kind == PersonAction::Select) {
                UiEvent select = UiEvent::Of(UiEvent::Select, a.id);
                select.index = static_cast<int>(a.value);
                return select;
            }
        }
        m_phase = Phase::Start;
        [[fallthrough]];
    case Phase::Start:
        m_phase = Phase::Running;
        m_startMs = clock.NowMs();
        return UiEvent::Of(UiEvent::Click, CMC_TestDlg::kStartStopId);
    case Phase::Running:
        if (clock.NowMs() - m_startMs >= m_limitMs) {
            m_timedOut = true;
            m_trace << "the test did not end within " << m_limitMs / 1000.0 << " s of drive time: stopping it\n";
            m_phase = Phase::Close;
            if (test->m_bTestRunning) return UiEvent::Of(UiEvent::Click, CMC_TestDlg::kStartStopId);
            return NextEvent(topmost);
        }
        while (m_next < m_plan.size()) {
            const PersonAction& a = m_plan[m_next];
            if (a.kind == PersonAction::WaitForEnd) {
                if (test->m_bTestRunning) return WaitFor(20);
                ++m_next;
                continue;
            }
            if (a.kind == PersonAction::PressUntilBack) {
                rurorade::Bench* bench = BenchOf(topmost);
                const double angle = bench ? bench->ShaftDegrees() : 0.0;
                if (m_presses < 0) {
                    m_mark = angle;
                    m_presses = 0;
                } else if (!m_settling) {
                    const double turned = angle - m_mark;
                    const double fromMark = std::fabs(turned - 360 * std::round(turned / 360));
                    // The eye sees the mark back after a whole number of revolutions.
                    if ((std::fabs(turned) > 180 && fromMark < 5) || m_presses >= 64 || !test->m_bTestRunning) {
                        m_trace << "  (the mark is back after " << m_presses << " presses)\n";
                        ++m_next;
                        continue;
                    }
                }
                if (m_settling) {
                    m_settling = false;
                    return WaitFor(300);  // the rotor comes to rest after the field stops
                }
                ++m_presses;
                m_settling = true;
                return UiEvent::Of(UiEvent::Click, a.id);
            }
            ++m_next;
            rurorade::Bench* bench = BenchOf(topmost);
            switch (a.kind) {
            case PersonAction::Turn:
                if (bench) bench->TurnShaft(a.value, a.ms);
                m_trace << "  (the person turns the shaft by " << a.value << " degrees)\n";
                return WaitFor(a.ms);
            case PersonAction::Release:
                if (bench) bench->ReleaseShaft();
                continue;
            case PersonAction::Analogue:
                if (bench) bench->SetAnalogueInput(a.value);
                m_trace << "  (the person sets the analogue input to " << a.value << " V)\n";
                continue;
            case PersonAction::Click: return UiEvent::Of(UiEvent::Click, a.id);
            case PersonAction::Select: {
                UiEvent select = UiEvent::Of(UiEvent::Select, a.id);
                select.index = static_cast<int>(a.value);
                return select;
            }
            case PersonAction::Wait: return WaitFor(a.ms);
            case PersonAction::WaitForEnd:
            case PersonAction::PressUntilBack: break;
            }
        }
        if (test->m_bTestRunning) return WaitFor(20);
        m_result = test->m_nResult;
        m_error = test->m_strError;
        if (CMC_Logger* logger = test->PlotLogger()) m_logged = logger->GetDocument();
        m_trace << "result: " << (m_result == 1 ? "succeeded" : "failed") << " after " << (clock.NowMs() - m_startMs)
                << " ms of drive time\n";
        if (m_result != 1 && !m_error.empty()) m_trace << "error: " << m_error << "\n";
        m_phase = Phase::Close;
        [[fallthrough]];
    case Phase::Close:
        m_phase = Phase::Done;
        return UiEvent::Of(UiEvent::Close, m_result == 1 ? m_closeResult : rurorade::IDCANCEL);
    case Phase::Done: break;
    }
    return UiEvent::Of(UiEvent::Quit);
}

int AutoTestDriver::AnswerMessageBox(const std::string& text, const std::string&, int type)
{
    const int buttons = type & rurorade::MB_BUTTONS;
    const bool question = buttons == rurorade::MB_YESNO || buttons == rurorade::MB_YESNOCANCEL;
    m_trace << "message: " << text << (question ? "\n  -> Yes\n" : "\n");
    return question ? rurorade::IDYES : rurorade::IDOK;
}

void AutoTestDriver::DialogOpened(CMC_EditSetupDlg& dlg) { m_trace << "open " << dlg.GetTitle() << "\n"; }

void AutoTestDriver::DialogClosed(CMC_EditSetupDlg& dlg, int result)
{
    m_trace << "close " << dlg.GetTitle() << (result == rurorade::IDOK ? " (OK)" : " (Cancel)") << "\n";
}

void AutoTestDriver::StatusChanged(CMC_EditSetupDlg&, const std::string& text) { m_trace << "  " << text << "\n"; }

}  // namespace zekhost
