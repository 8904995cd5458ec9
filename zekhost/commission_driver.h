#pragma once
// Plays the person commissioning a motor through the setup editor: in the Drive Setup dialog and
// the Motor Setup dialog it opens, presses each test's button in turn, plays the test as
// `zekhost test` does, keeps what the test found (Yes to the closing question, or OK), and closes
// every dialog with OK at the end. The first test that fails ends the journey: every dialog still
// open is cancelled, which puts the setup back as it was.
#include <cstdint>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "auto_test_driver.h"
#include "rurorade/ui.h"
#include "test_plans.h"

namespace zekhost {

// Where a test is opened: the template id of a dialog and its button (0: that dialog is the test).
struct Place {
    int dialog;
    int button;
};

// One step of the journey: a test (by its plan's name) and where it is opened, the first place
// the journey can reach first.
struct JourneyStep {
    const char* test;
    const char* title;
    std::vector<Place> places;
    bool optional;  // a step that cannot be reached is skipped with a note, not failed
    std::vector<const char*> gains;  // tuning steps: the gains the tuning sets
};
const std::vector<JourneyStep>& Journey();

// What happened at a step.
struct StepRecord {
    const JourneyStep* step = nullptr;
    const TestEntry* entry = nullptr;
    enum Status { Pending, Passed, Failed, Skipped } status = Pending;
    std::string note;            // the error text of a failed step, why a step was skipped
    std::vector<double> before;  // the findings' and gains' values in the setup when the step began
    std::vector<double> after;   // the same when its test had closed
    CGraphDocument logged;       // tuning steps: the plot logger's data when the run ended
    std::int64_t startMs = 0, endMs = 0;  // drive time
};

class CommissionDriver : public rurorade::UiDriver {
public:
    // `limitMs`: drive time after which one test run is stopped.
    CommissionDriver(std::ostream& trace, std::int64_t limitMs);

    rurorade::UiEvent NextEvent(CMC_EditSetupDlg& topmost) override;
    int AnswerMessageBox(const std::string& text, const std::string& caption, int type) override;
    void DialogOpened(CMC_EditSetupDlg& dlg) override;
    void DialogClosed(CMC_EditSetupDlg& dlg, int result) override;
    void StatusChanged(CMC_EditSetupDlg& dlg, const std::string& text) override;

    // One record per step of Journey(), in order; the steps after a failure stay Pending.
    const std::vector<StepRecord>& Records() const { return m_records; }
    // The failed step, or null.
    const StepRecord* Failure() const;

private:
    rurorade::UiEvent Open(CMC_EditSetupDlg& hub, int button);
    rurorade::UiEvent NavigateTo(CMC_EditSetupDlg& topmost);
    // The step cannot be taken: skipped when it is optional, else the journey stops.
    rurorade::UiEvent Unavailable(CMC_EditSetupDlg& topmost, const std::string& why);
    void Begin(CMC_EditSetupDlg& dlg);
    std::vector<double> Values(CMC_EditSetupDlg& dlg) const;
    void Finish(StepRecord::Status status, const std::string& note);
    rurorade::UiEvent Stop(const std::string& note);

    std::ostream& m_trace;
    std::int64_t m_limitMs;
    std::vector<StepRecord> m_records;
    std::size_t m_step = 0;
    bool m_pressed = false;                 // the step's button has been pressed
    std::vector<int> m_tried;               // Drive Setup buttons pressed on the way to the step's dialog
    std::string m_why;                      // why the last of them led nowhere
    bool m_pageTurned = false;              // a tuning test's "Test" page was asked for
    CMC_EditSetupDlg* m_test = nullptr;     // the step's test dialog while it is open
    std::unique_ptr<AutoTestDriver> m_person;
    bool m_stopped = false;
    bool m_waitedForMotorSetup = false;
    int m_idle = 0;  // steps towards a dialog since one last opened
};

}  // namespace zekhost
