#pragma once
// Runs a commissioning test without a script, as a person at the bench would: presses Start, does
// what the test asks (turns the shaft, presses a button, sets the potentiometer), lets virtual time
// pass until the run ends (or a time limit is reached), closes the dialog and answers Yes to the
// closing question.
#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "rurorade/test_dlg.h"
#include "rurorade/ui.h"

namespace zekhost {

// One thing the person does during a run.
struct PersonAction {
    enum Kind {
        Turn,         // turn the shaft by `value` degrees over `ms`
        Release,      // take the hand off the shaft
        Analogue,     // set the analogue input to `value` volts
        Click,        // press control `id`
        Wait,         // let `ms` pass
        WaitForEnd,   // wait until the run has ended
        PressUntilBack,  // press `id` until the shaft is back at the mark it was at (a whole revolution or more)
        Select,       // choose item `value` of control `id` (a tab page)
    } kind;
    double value = 0;
    std::int64_t ms = 0;
    int id = 0;
};

class AutoTestDriver : public rurorade::UiDriver {
public:
    // `prelude`: what the person does before pressing Start (Click, Select, Wait); `closeResult`:
    // how the dialog is closed after the run (Cancel, or OK to keep what a tuning test changed).
    AutoTestDriver(std::ostream& trace, std::int64_t limitMs, std::vector<PersonAction> plan = {{PersonAction::WaitForEnd}},
                   std::vector<PersonAction> prelude = {}, int closeResult = 2)
        : m_trace(trace), m_limitMs(limitMs), m_plan(std::move(plan)), m_prelude(std::move(prelude)),
          m_closeResult(closeResult)
    {
    }

    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;
    int AnswerMessageBox(const std::string& text, const std::string& caption, int type) override;
    void DialogOpened(CMC_EditSetupDlg& dlg) override;
    void DialogClosed(CMC_EditSetupDlg& dlg, int result) override;
    void StatusChanged(CMC_EditSetupDlg& dlg, const std::string& text) override;

    // After the run: whether it succeeded, its error text, and whether the time limit cut it short.
    bool Succeeded() const { return m_result == 1; }
    const std::string& ErrorText() const { return m_error; }
    bool TimedOut() const { return m_timedOut; }
    // What the test's plot logger held when the run ended (empty without one).
    const CGraphDocument& Logged() const { return m_logged; }

private:
    enum class Phase { Prepare, Start, Running, Close, Done };
    std::ostream& m_trace;
    std::int64_t m_limitMs;
    std::vector<PersonAction> m_plan;
    std::vector<PersonAction> m_prelude;
    int m_closeResult;
    std::size_t m_next = 0, m_nextPrelude = 0;
    CGraphDocument m_logged;
    double m_mark = 0;       // shaft angle when PressUntilBack began, degrees
    int m_presses = -1;      // presses so far; -1 before the first
    bool m_settling = false; // a press has just ended
    std::int64_t m_startMs = 0;
    Phase m_phase = Phase::Prepare;
    int m_result = 0;
    std::string m_error;
    bool m_timedOut = false;
};

}  // namespace zekhost
