#include "auto_test_driver.h"

#include "rurorade/test_dlg.h"

namespace zekhost {

using rurorade::UiEvent;

UiEvent AutoTestDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    auto* test = dynamic_cast<CMC_TestDlg*>(&topmost);
    rurorade::Clock& clock = rurorade::UiContext::Get().GetClock();
    if (test == nullptr) return UiEvent::Of(UiEvent::Quit);
    switch (m_phase) {
    case Phase::Start:
        m_phase = Phase::Running;
        m_startMs = clock.NowMs();
        return UiEvent::Of(UiEvent::Click, CMC_TestDlg::kStartStopId);
    case Phase::Running:
        if (test->m_bTestRunning) {
            if (clock.NowMs() - m_startMs < m_limitMs) {
                UiEvent wait = UiEvent::Of(UiEvent::Wait);
                wait.ms = 20;
                return wait;
            }
            m_timedOut = true;
            m_trace << "the test did not end within " << m_limitMs / 1000.0 << " s of drive time: stopping it\n";
            m_phase = Phase::Close;
            return UiEvent::Of(UiEvent::Click, CMC_TestDlg::kStartStopId);
        }
        m_result = test->m_nResult;
        m_error = test->m_strError;
        m_trace << "result: " << (m_result == 1 ? "succeeded" : "failed") << " after " << (clock.NowMs() - m_startMs)
                << " ms of drive time\n";
        if (m_result != 1 && !m_error.empty()) m_trace << "error: " << m_error << "\n";
        m_phase = Phase::Close;
        [[fallthrough]];
    case Phase::Close:
        m_phase = Phase::Done;
        return UiEvent::Of(UiEvent::Close, rurorade::IDCANCEL);
    case Phase::Done: break;
    }
    return UiEvent::Of(UiEvent::Quit);
}

int AutoTestDriver::AnswerMessageBox(const std::string& text, const std::string&, int type)
{
    const bool question = type == rurorade::MB_YESNO || type == rurorade::MB_YESNOCANCEL;
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
