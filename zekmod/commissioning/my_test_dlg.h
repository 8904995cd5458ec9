#pragma once
// Base of every commissioning test: the host's test dialog plus the drive error check and the
// pieces of the common run protocol (launch a program, wait for it, read its results, upload).
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

#include "rurorade/test_dlg.h"

class CMyTestDlg : public CMC_TestDlg {
public:
    // Templates of the speed and position tuning tests, whose start must not move the motor.
    static constexpr int kSpeedTuningTemplate = 102;
    static constexpr int kPositionTuningTemplate = 103;

    static constexpr int kTestTimer = 1;
    static constexpr std::int64_t kTickMs = 20;
    static constexpr int kHelpId = 10024;
    // A user variable that reads as this value has no valid value.
    static constexpr double kUnreadableValue = 1.2345e100;

    CMyTestDlg(CMC_Setup* setup, int templateId, int flag, void* parent);
    ~CMyTestDlg() override;

    // Reads the drive's motion error register "MER" and reports the first fault the mask lets
    // through (error text, and TestFailed(1) when failNow is nonzero). 1: no fault, 0: fault.
    int CheckDriveErrors(std::uint16_t mask, int failNow);

    // What one timer tick found out about the program it waits for.
    enum class ProgramState {
        Waiting,  // not started or still running; timer 1 restarted
        Ended,    // started, axis off again, no fault under the mask
        Failed,   // the run has ended with TestFailed(1)
    };

    struct UserInput {
        const char* name;
        double value;
    };

protected:
    // Timer 1 of a running test: kills the timer and returns true. Any other tick returns false
    // and must get the default handling only.
    bool BeginTestTick(int id);

    // Start of a run: running flag, result state -1, step index 0, no error text.
    void StartRun();

    // Writes `inputs` into the program's user variables, starts `section` (arming `logger` when
    // given), shows `runningText` and starts timer 1. Returns 0 when the test has failed.
    int LaunchProgram(CMC_CoffFormat& coff, const char* section, std::initializer_list<UserInput> inputs,
                      CMC_Logger* logger, const char* runningText);

    // The waiting step of a tick: "STARTED", error check (`mask`) before the start, axis state,
    // error check at the end.
    ProgramState WaitForProgram(CMC_CoffFormat& coff, std::uint16_t mask);

    // Reads a user variable of a program. The unreadable-value marker gives the internal-error
    // text; when `zeroOrLessText` is given a value that is not above 0 fails with it.
    int ReadProgramResult(CMC_CoffFormat& coff, const char* name, double& value, const char* zeroOrLessText = nullptr);

    // Reads a drive variable from the drive, in internal or base unit.
    int ReadDriveVariable(const char* name, bool internalUnit, double& value);

    // After a preliminary positioning run: its "In1" must be above zero; then the test angle
    // reference and increment the drive left ("REFTST_V", "RINCTST_V", internal units).
    int EndPositioning(CMC_CoffFormat& positioning, double& reference, double& increment);

    // Uploads every logged point of the last run (time, then the variables in the order added).
    int UploadLoggedPoints(CMC_Logger* logger, std::vector<std::vector<double>>& points);

    // The closing upload of a plotted test: draws the points as they come, keeps the dialog
    // responsive and, when `succeed`, ends the run with TestSucceeded(1). 1 when every point came in.
    int UploadResults(CMC_Logger* logger, CGraphWindow* graph, const char* uploadingText, bool succeed = true);

    // Ends the run with `text` as the error text.
    void Fail(const std::string& text);
    // Whether a measured `value` (base unit) fits within the limits of parameter `name`; if not,
    // the run fails with a text that names `what` was measured, the value and the limits, and
    // the caller writes nothing.
    bool MeasuredWithinLimits(CMC_Parameter& parameter, const char* what, double value);
    // Ends the run after a host call failed; the host normally has put the reason in the error text.
    void FailWithHostReason();

    void LoadProgram(CMC_CoffFormat& coff, const char* name);
    void ShowHelp(int topic);

    // The closing question of the detecting tests: one line per changed value, the answer of
    // the Yes/No/Cancel box.
    static std::string ChangedValueLine(const char* label, const std::string& oldText, const std::string& newText);
    int AskToSaveNewValues(const std::string& lines);
};

// A value as "%g" prints it, or as "%G" when `upperCase`.
std::string FormatValue(double value, bool upperCase = false);

// Runs a modal test with g_bKufSinusoidalMode set to 1 and puts the previous value back as soon
// as the modal call returns.
int RunWithSinusoidalMode(const std::function<int()>& showModal);
