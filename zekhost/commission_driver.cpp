#include "commission_driver.h"

#include <algorithm>
#include <cmath>

#include "host_session.h"
#include "resources/drive_setup_ids.h"
#include "resources/motor_setup_ids.h"
#include "rurorade/host_errors.h"
#include "rurorade/test_dlg.h"

namespace zekhost {

using rurorade::UiEvent;

namespace {

// Template ids of the dialogs the journey passes through.
constexpr int kDriveSetup = drive_setup::kTemplateId, kMotorSetup = 108, kSpeedTuning = 102, kPositionTuning = 103,
              kInertiaQuestion = 3056;
// The tab control of a tuning test's two pages.
constexpr int kTestPagesTab = 1300;
// The Motor Setup dialog opens by itself this long after the Drive Setup dialog is shown (ms).
constexpr std::int64_t kMotorSetupDelayMs = 100;

// The Drive Setup dialog's button that opens a dialog.
int OpenerOf(int dialog)
{
    switch (dialog) {
    case kMotorSetup: return drive_setup::kMotorSetup;
    case kSpeedTuning: return drive_setup::kTuneSpeed;
    case kPositionTuning: return drive_setup::kTunePosition;
    default: return 0;
    }
}

bool Available(CMC_EditSetupDlg& dlg, int id)
{
    const CMC_Control* control = dlg.GetControl(id);
    return control != nullptr && control->visible && control->enabled;
}

UiEvent Close(int result) { return UiEvent::Of(UiEvent::Close, result); }

}  // namespace

const std::vector<JourneyStep>& Journey()
{
    using namespace motor_setup;
    using namespace drive_setup;
    static const std::vector<JourneyStep> journey = {
        {"phase", "Motor phase connections", {{kMotorSetup, kTestPhases}}, true, {}},
        {"pole-pairs", "Pole pairs", {{kMotorSetup, kDetectPolePairs}}, true, {}},
        {"rl", "Resistance and inductance", {{kMotorSetup, kIdentifyRL}}, true, {}},
        {"encoder", "Encoder connections", {{kMotorSetup, kTestEncoder}}, true, {}},
        {"encoder-resolution", "Encoder resolution", {{kMotorSetup, kDetectLines}}, true, {}},
        // The Motor Setup dialog disables what the setup does not have: the motor data of an intelligent
        // motor, the Hall tests without Hall sensors ticked.
        {"hall-signals", "Hall signals", {{kMotorSetup, kTestHalls}}, true, {}},
        {"hall-config", "Hall configuration", {{kMotorSetup, kDetectHallCase}}, true, {}},
        {"vdc", "DC bus voltage", {{kDriveSetup, kDetect}}, false, {}},
        {"current", "Current controller", {{kDriveSetup, kTuneCurrent}}, false, {"Kp_C_scl", "Ki_C_scl"}},
        // "Identify" in the first profile tuning test the control structure has: the tuning needs the inertia.
        {"inertia", "Total inertia", {{kSpeedTuning, 3271}, {kPositionTuning, 3305}}, true, {}},
        {"speed", "Speed controller", {{kSpeedTuning, 0}}, true, {"Kp_S_scl", "Ki_S_scl"}},
        {"position", "Position controller", {{kPositionTuning, 0}}, true, {"Kp_P_scl", "Ki_P_scl", "Kd_P_scl"}},
    };
    return journey;
}

CommissionDriver::CommissionDriver(std::ostream& trace, std::int64_t limitMs) : m_trace(trace), m_limitMs(limitMs)
{
    for (const JourneyStep& step : Journey()) {
        StepRecord record;
        record.step = &step;
        record.entry = FindTest(step.test);
        m_records.push_back(std::move(record));
    }
}

const StepRecord* CommissionDriver::Failure() const
{
    for (const StepRecord& r : m_records)
        if (r.status == StepRecord::Failed) return &r;
    return nullptr;
}

UiEvent CommissionDriver::NextEvent(CMC_EditSetupDlg& topmost)
{
    if (m_stopped) return UiEvent::Of(UiEvent::Quit);
    if (m_test == &topmost) return m_person->NextEvent(topmost);
    const int id = topmost.GetTemplateId();
    // Keep the motor's inertia as the lower bound of the total (the question's default).
    if (id == kInertiaQuestion) return Close(rurorade::IDOK);
    if (m_test != nullptr) return Stop("an unexpected dialog opened over the test: " + topmost.GetTitle());
    if (m_step >= m_records.size()) return Close(rurorade::IDOK);
    for (const Place& place : m_records[m_step].step->places)
        if (place.dialog == id) return Open(topmost, place.button);
    return NavigateTo(topmost);
}

UiEvent CommissionDriver::Open(CMC_EditSetupDlg& hub, int button)
{
    if (button == 0) {
        Begin(hub);
        return m_person->NextEvent(hub);
    }
    const std::string where = "button " + std::to_string(button) + " of the " + hub.GetTitle() + " dialog";
    // Back at the dialog without a test having opened.
    if (m_pressed) return Unavailable(hub, "the " + where + " opens no test");
    if (!Available(hub, button)) {
        // A tuning test shows its "Identify" on its "Test" page.
        auto* test = dynamic_cast<CMC_TestDlg*>(&hub);
        if (test != nullptr && test->GetTabPage() == 0 && hub.GetControl(kTestPagesTab) != nullptr && !m_pageTurned) {
            m_pageTurned = true;
            UiEvent select = UiEvent::Of(UiEvent::Select, kTestPagesTab);
            select.index = 1;
            return select;
        }
        return Unavailable(hub, "the " + where + " is disabled");
    }
    StepRecord& record = m_records[m_step];
    record.before = Values(hub);
    record.startMs = rurorade::UiContext::Get().GetClock().NowMs();
    m_pressed = true;
    return UiEvent::Of(UiEvent::Click, button);
}

UiEvent CommissionDriver::NavigateTo(CMC_EditSetupDlg& topmost)
{
    // A button that keeps opening nothing would loop for ever.
    if (++m_idle > 8) return Stop("the " + topmost.GetTitle() + " dialog does not lead on to the next test");
    const int id = topmost.GetTemplateId();
    // Another dialog is done with: back to the Drive Setup dialog.
    if (id == kMotorSetup) return Close(rurorade::IDOK);
    if (id != kDriveSetup) {
        // Past the Drive Setup button that would have led to it.
        for (CMC_EditSetupDlg* dlg : rurorade::UiContext::Get().Dialogs())
            for (const Place& place : m_records[m_step].step->places)
                if (dlg->GetTemplateId() == kDriveSetup && OpenerOf(place.dialog) != 0 &&
                    !Available(*dlg, OpenerOf(place.dialog)))
                    return Unavailable(topmost, "the button " + std::to_string(OpenerOf(place.dialog)) + " of the " +
                                                    dlg->GetTitle() + " dialog is disabled");
        return Unavailable(topmost, "it cannot be reached from the " + topmost.GetTitle() + " dialog");
    }
    for (const Place& place : m_records[m_step].step->places) {
        const int opener = OpenerOf(place.dialog);
        if (opener == 0 || std::find(m_tried.begin(), m_tried.end(), opener) != m_tried.end()) continue;
        if (place.dialog == kMotorSetup && !m_waitedForMotorSetup) {
            m_waitedForMotorSetup = true;
            UiEvent wait = UiEvent::Of(UiEvent::Wait);
            wait.ms = kMotorSetupDelayMs;
            return wait;
        }
        m_tried.push_back(opener);
        m_why = "the button " + std::to_string(opener) + " of the " + topmost.GetTitle() + " dialog";
        if (!Available(topmost, opener)) {
            m_why += " is disabled";
            continue;
        }
        m_why += " opens no test";
        return UiEvent::Of(UiEvent::Click, opener);
    }
    return Unavailable(topmost, m_why);
}

UiEvent CommissionDriver::Unavailable(CMC_EditSetupDlg& topmost, const std::string& why)
{
    if (!m_records[m_step].step->optional) return Stop(why);
    Finish(StepRecord::Skipped, why);
    return NextEvent(topmost);
}

std::vector<double> CommissionDriver::Values(CMC_EditSetupDlg& dlg) const
{
    const StepRecord& record = m_records[m_step];
    std::vector<double> values;
    for (const Finding& f : record.entry->findings) values.push_back(QuietValue(dlg.GetSetup(), f.parameter));
    for (const char* gain : record.step->gains) values.push_back(QuietValue(dlg.GetSetup(), gain));
    return values;
}

void CommissionDriver::Begin(CMC_EditSetupDlg& dlg)
{
    StepRecord& record = m_records[m_step];
    const TestEntry& entry = *record.entry;
    if (!m_pressed) {
        record.before = Values(dlg);
        record.startMs = rurorade::UiContext::Get().GetClock().NowMs();
    }
    m_test = &dlg;
    m_person = std::make_unique<AutoTestDriver>(m_trace, m_limitMs, entry.plan, entry.prelude,
                                                entry.tuning ? rurorade::IDOK : rurorade::IDCANCEL);
}

void CommissionDriver::Finish(StepRecord::Status status, const std::string& note)
{
    StepRecord& record = m_records[m_step];
    record.status = status;
    record.note = note;
    record.endMs = rurorade::UiContext::Get().GetClock().NowMs();
    if (status == StepRecord::Skipped) record.before.clear();
    m_tried.clear();
    m_idle = 0;
    m_pageTurned = false;
    m_trace << "step " << record.step->test << ": "
            << (status == StepRecord::Passed ? "passed" : status == StepRecord::Skipped ? "skipped" : "failed")
            << (note.empty() ? "" : " (" + note + ")") << "\n";
    m_pressed = false;
    ++m_step;
}

UiEvent CommissionDriver::Stop(const std::string& note)
{
    if (m_step < m_records.size()) Finish(StepRecord::Failed, note);
    m_stopped = true;
    return UiEvent::Of(UiEvent::Quit);
}

int CommissionDriver::AnswerMessageBox(const std::string& text, const std::string& caption, int type)
{
    if (m_person) return m_person->AnswerMessageBox(text, caption, type);
    const int buttons = type & rurorade::MB_BUTTONS;
    const bool question = buttons == rurorade::MB_YESNO || buttons == rurorade::MB_YESNOCANCEL;
    m_trace << "message: " << text << (question ? "\n  -> Yes\n" : "\n");
    return question ? rurorade::IDYES : rurorade::IDOK;
}

void CommissionDriver::DialogOpened(CMC_EditSetupDlg& dlg)
{
    m_trace << "open " << dlg.GetTitle() << "\n";
    m_idle = 0;
    if (m_pressed && m_test == nullptr && dynamic_cast<CMC_TestDlg*>(&dlg) != nullptr) Begin(dlg);
}

void CommissionDriver::DialogClosed(CMC_EditSetupDlg& dlg, int result)
{
    if (&dlg != m_test) {
        m_trace << "close " << dlg.GetTitle() << (result == rurorade::IDOK ? " (OK)" : " (Cancel)") << "\n";
        return;
    }
    m_person->DialogClosed(dlg, result);
    StepRecord& record = m_records[m_step];
    record.logged = m_person->Logged();
    record.after = Values(dlg);
    if (m_person->Succeeded()) {
        Finish(StepRecord::Passed, "");
    } else {
        const std::string error = m_person->TimedOut()
                                      ? "the test did not end within " + std::to_string(m_limitMs / 1000) + " s of drive time"
                                      : m_person->ErrorText().empty() ? "the test failed" : m_person->ErrorText();
        Finish(StepRecord::Failed, error);
        m_stopped = true;
    }
    m_test = nullptr;
    m_person.reset();
}

void CommissionDriver::StatusChanged(CMC_EditSetupDlg& dlg, const std::string& text)
{
    if (m_person) m_person->StatusChanged(dlg, text);
}

}  // namespace zekhost
