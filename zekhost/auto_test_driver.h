#pragma once
// Runs a commissioning test without a script: presses Start, lets virtual time pass until the run
// ends (or a time limit is reached), closes the dialog and answers Yes to the closing question.
#include <cstdint>
#include <ostream>
#include <string>

#include "rurorade/ui.h"

namespace zekhost {

class AutoTestDriver : public rurorade::UiDriver {
public:
    AutoTestDriver(std::ostream& trace, std::int64_t limitMs) : m_trace(trace), m_limitMs(limitMs) {}

    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;
    int AnswerMessageBox(const std::string& text, const std::string& caption, int type) override;
    void DialogOpened(CMC_EditSetupDlg& dlg) override;
    void DialogClosed(CMC_EditSetupDlg& dlg, int result) override;
    void StatusChanged(CMC_EditSetupDlg& dlg, const std::string& text) override;

    // After the run: whether it succeeded, its error text, and whether the time limit cut it short.
    bool Succeeded() const { return m_result == 1; }
    const std::string& ErrorText() const { return m_error; }
    bool TimedOut() const { return m_timedOut; }

private:
    enum class Phase { Start, Running, Close, Done };
    std::ostream& m_trace;
    std::int64_t m_limitMs;
    std::int64_t m_startMs = 0;
    Phase m_phase = Phase::Start;
    int m_result = 0;
    std::string m_error;
    bool m_timedOut = false;
};

}  // namespace zekhost
