#pragma once
// The host's user-interface plumbing, free of any toolkit: a clock with timers, the driver
// that supplies user events and answers message boxes, and the help service.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

class CMC_EditSetupDlg;
class CMC_Setup;

namespace rurorade {

// Message box types (the buttons offered) and answers.
// A type is the buttons plus the icon the box carries; MB_BUTTONS masks the buttons out of it.
enum MessageBoxType {
    MB_OK = 0, MB_OKCANCEL = 1, MB_YESNOCANCEL = 3, MB_YESNO = 4, MB_BUTTONS = 0x0F,
    MB_ICONERROR = 0x10, MB_ICONQUESTION = 0x20, MB_ICONWARNING = 0x30,
    MB_HELP = 0x4000,  // adds a Help button, answered IDHELP
};

// One user action on the topmost dialog.
struct UiEvent {
    enum Kind { Commit, Click, Select, Chord, Close, Wait, Check, Quit };
    Kind kind = Quit;
    int id = 0;            // control id (Commit, Click, Select, Check); result for Close
    std::string text;      // Commit
    int index = 0;         // Select: item index
    std::int64_t ms = 0;   // Wait: virtual milliseconds

    static UiEvent Of(Kind kind, int id = 0)
    {
        UiEvent e;
        e.kind = kind;
        e.id = id;
        return e;
    }
};

// Supplies events to modal loops and answers message boxes.
class UiDriver {
public:
    virtual ~UiDriver() = default;
    // Next event for the topmost dialog. Quit ends every open dialog with Cancel.
    virtual UiEvent NextEvent(CMC_EditSetupDlg& topmost) = 0;
    // An event that is already pending, for a dialog busy in a long loop (PumpMessages); never
    // blocks. None by default.
    virtual bool PollEvent(CMC_EditSetupDlg& /*topmost*/, UiEvent& /*event*/) { return false; }
    // Answer for a message box: IDOK, IDCANCEL, IDYES or IDNO.
    virtual int AnswerMessageBox(const std::string& text, const std::string& caption, int type) = 0;
    virtual void DialogOpened(CMC_EditSetupDlg&) {}
    virtual void DialogClosed(CMC_EditSetupDlg&, int /*result*/) {}
    virtual void HelpRequested(const std::string& /*file*/, int /*context*/) {}
    // A test dialog showed a new status (step) text.
    virtual void StatusChanged(CMC_EditSetupDlg&, const std::string& /*text*/) {}
};

// Milliseconds since an arbitrary start. Virtual in tests and in the simulator.
class Clock {
public:
    virtual ~Clock() = default;
    virtual std::int64_t NowMs() const = 0;
    // Lets `ms` pass (virtual clocks just advance).
    virtual void Advance(std::int64_t ms) = 0;
};

class VirtualClock : public Clock {
public:
    std::int64_t NowMs() const override { return m_now; }
    void Advance(std::int64_t ms) override { m_now += ms; }

private:
    std::int64_t m_now = 0;
};

// Wall time, optionally sped up: `speed` clock milliseconds pass per wall millisecond. Advance
// sleeps until that much clock time has passed, so long loops of a test run at the drive's pace.
class RealTimeClock : public Clock {
public:
    explicit RealTimeClock(double speed = 1.0);
    std::int64_t NowMs() const override;
    void Advance(std::int64_t ms) override;
    double Speed() const { return m_speed; }
    // Wall milliseconds that `clockMs` of this clock take.
    std::int64_t WallMs(std::int64_t clockMs) const;

private:
    double m_speed;
    std::int64_t m_startNs;
};

// The one user-interface context of the host: driver, clock, open dialogs, timers.
class UiContext {
public:
    static UiContext& Get();

    void SetDriver(UiDriver* driver) { m_driver = driver; }
    UiDriver* Driver() const { return m_driver; }
    void SetClock(Clock* clock) { m_clock = clock ? clock : &m_defaultClock; }
    Clock& GetClock() const { return *m_clock; }

    // Open dialogs, innermost last.
    const std::vector<CMC_EditSetupDlg*>& Dialogs() const { return m_dialogs; }
    CMC_EditSetupDlg* Topmost() const { return m_dialogs.empty() ? nullptr : m_dialogs.back(); }
    void PushDialog(CMC_EditSetupDlg* dlg) { m_dialogs.push_back(dlg); }
    void PopDialog(CMC_EditSetupDlg* dlg);

    // Timers: (dialog, id) fires every `periodMs` until killed.
    void SetTimer(CMC_EditSetupDlg* dlg, int id, std::int64_t periodMs);
    void KillTimer(CMC_EditSetupDlg* dlg, int id);
    void KillTimers(CMC_EditSetupDlg* dlg);
    bool HasTimers() const { return !m_timers.empty(); }
    // Fires every timer due by now; returns how many fired.
    int FireDueTimers();
    // Advances the clock by `ms`, firing timers at their due times in order.
    void RunFor(std::int64_t ms);
    // Due time of the earliest timer, or -1.
    std::int64_t NextDueMs() const;

    // Message boxes and help go through the driver; without one, message boxes answer their first button.
    int MessageBox(const std::string& text, const std::string& caption, int type);
    void ShowHelp(const std::string& file, int context);
    const std::string& LastMessage() const { return m_lastMessage; }

private:
    struct Timer {
        CMC_EditSetupDlg* dlg;
        int id;
        std::int64_t period;
        std::int64_t due;
    };
    UiDriver* m_driver = nullptr;
    VirtualClock m_defaultClock;
    Clock* m_clock = &m_defaultClock;
    std::vector<CMC_EditSetupDlg*> m_dialogs;
    std::vector<Timer> m_timers;
    std::string m_lastMessage;
};

}  // namespace rurorade

// Help file of the host's user interface for a setup, and the directory holding it.
std::string GetHelpFileOfGUI(CMC_Setup* setup);
std::string GetGUIDirectory();
