#pragma once
// The Qt driver under test with a person's steps and a check, at every event, that each control
// of the topmost dialog has a widget showing what the view model says.
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qt_ui_driver.h"

namespace zekqt {

class CheckingDriver : public QtUiDriver {
public:
    struct Step {
        int dialog;                                // template id the step waits for
        std::function<void(DialogWindow&)> act;    // what the person does (or checks) there
    };
    void AddStep(int dialog, std::function<void(DialogWindow&)> act) { m_steps.push_back({dialog, std::move(act)}); }

    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;

    // "dialog N control C: what differs", one per mismatch seen.
    const std::vector<std::string>& Mismatches() const { return m_mismatches; }
    const std::set<int>& DialogsChecked() const { return m_checked; }
    bool StepsDone() const { return m_steps.empty(); }

    // What differs between a window's widgets and its view model, empty when nothing.
    static std::vector<std::string> Compare(const DialogWindow& window);

private:
    std::deque<Step> m_steps;
    std::vector<std::string> m_mismatches;
    std::set<int> m_checked;
    bool m_scripted = false;
};

}  // namespace zekqt
