#include <gtest/gtest.h>

#include <sstream>

#include "rurorade/edit_setup_dlg.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"

namespace {

using rurorade::ControlKind;
using rurorade::UiContext;

constexpr int kTemplate = 9901;
constexpr int kChildTemplate = 9902;

void RegisterTemplates()
{
    rurorade::RegisterDialogTemplate({kTemplate, "Test dialog",
                                      {{1, ControlKind::Button, "OK", ""},
                                       {2, ControlKind::Button, "Cancel", ""},
                                       {10, ControlKind::Edit, "", "Values"},
                                       {11, ControlKind::Combo, "", "Values"},
                                       {20, ControlKind::Check, "Flag", ""},
                                       {30, ControlKind::Radio, "Zero", "Mode"},
                                       {31, ControlKind::Radio, "One", "Mode"},
                                       {32, ControlKind::Radio, "Two", "Mode"},
                                       {40, ControlKind::Button, "Open child", ""}}});
    rurorade::RegisterDialogTemplate({kChildTemplate, "Child", {{1, ControlKind::Button, "OK", ""}, {10, ControlKind::Edit, "", ""}}});
}

std::unique_ptr<CMC_Setup> MakeSetup()
{
    std::string error;
    auto setup = rurorade::LoadSetupText(R"({"schema":"zeksetup-1","options":{"o":"1"},"parameters":{
        "Speed":{"value":104.71975511965977,"unit":"rpm","min":0,"max":314.1592653589793},
        "Flag":{"value":0,"min":0,"max":1},
        "Mode":{"value":1,"min":0,"max":2}}})", "test", error);
    EXPECT_TRUE(setup) << error;
    return setup;
}

// Records the notifications in order; opens a child dialog from button 40 and a timer.
class RecordingDlg : public CMC_EditSetupDlg {
public:
    explicit RecordingDlg(CMC_Setup* setup, int templateId = kTemplate) : CMC_EditSetupDlg(setup, templateId, 1, kGuide, nullptr)
    {
        AddParameterControls("Speed", 10, 11);
        AddCheckParameterControls("Flag", 20);
        AddSwitchParameterControls("Mode", 30, 32);
    }
    void OnChangedParameterValue(const char* name) override { log.push_back(std::string("changed ") + name); }
    void OnRefreshParameterValue(const char* name) override
    {
        log.push_back(std::string("refresh ") + name);
        CMC_EditSetupDlg::OnRefreshParameterValue(name);
    }
    void OnCommand(int id) override
    {
        log.push_back("command " + std::to_string(id));
        if (id == 40) {
            CMC_EditSetupDlg child(m_setup, kChildTemplate, 1, nullptr, nullptr);
            log.push_back("child " + std::to_string(child.DoModal()));
        }
    }
    void OnShowWindow() override { SetTimer(7, 100); }
    void OnTimer(int id) override
    {
        KillTimer(id);
        log.push_back("timer " + std::to_string(id) + " at " + std::to_string(UiContext::Get().GetClock().NowMs()));
    }
    std::vector<std::string> log;
    static constexpr const char* kGuide[] = {"Step 1.", "Step 2.", nullptr};
};

class DialogSession : public ::testing::Test {
protected:
    void SetUp() override
    {
        RegisterTemplates();
        UiContext::Get().SetClock(&clock);
        setup = MakeSetup();
    }
    void TearDown() override
    {
        UiContext::Get().SetDriver(nullptr);
        UiContext::Get().SetClock(nullptr);
    }
    int Run(const std::string& script, RecordingDlg& dlg)
    {
        std::string error;
        driver = std::make_unique<rurorade::ScriptDriver>(trace);
        EXPECT_TRUE(driver->LoadText(script, "script", error)) << error;
        UiContext::Get().SetDriver(driver.get());
        return dlg.DoModal();
    }
    rurorade::VirtualClock clock;
    std::unique_ptr<CMC_Setup> setup;
    std::ostringstream trace;
    std::unique_ptr<rurorade::ScriptDriver> driver;
};

TEST_F(DialogSession, EditsAreShownInTheDisplayUnitValidatedAndNotifiedInOrder)
{
    RecordingDlg dlg(setup.get());
    const int result = Run(R"(
        expect-dialog 9901
        expect-text 10 "1000"
        set 10 "3500"            # above 3000 rpm: refused
        expect-message "Please enter a value between 0 and 3000 rpm."
        expect-text 10 "1000"
        set 10 "abc"
        expect-message "Please enter a number."
        set 10 "1500"
        expect-param Speed 157.07963267948966
        click 20
        expect-checked 20
        click 32
        expect-checked 32
        expect-unchecked 31
        expect-param Mode 2
        ok
    )", dlg);
    EXPECT_EQ(result, rurorade::IDOK) << trace.str();
    EXPECT_TRUE(driver->RanToEnd()) << driver->Failure();
    const std::vector<std::string> expected = {"changed Speed", "refresh Speed", "changed Flag", "refresh Flag",
                                               "command 20",    "changed Mode",  "refresh Mode", "command 32"};
    EXPECT_EQ(dlg.log, expected);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Mode"), 2);
}

TEST_F(DialogSession, CancelRestoresTheSetupAndAFailedCheckStopsTheScript)
{
    RecordingDlg dlg(setup.get());
    const int result = Run(R"(
        set 10 "1500"
        select 11 2                 # rpm -> rps
        expect-text 10 "25"
        expect-text 10 "26"
        ok
    )", dlg);
    EXPECT_EQ(result, rurorade::IDCANCEL);
    EXPECT_EQ(driver->Failure(), "line 5: expected text \"26\", saw \"25\"");
    EXPECT_DOUBLE_EQ(setup->GetParameterValueInBaseUnit("Speed"), 104.71975511965977);
    EXPECT_EQ(setup->FindParameter("Speed")->GetUnit().name, "rpm");
}

TEST_F(DialogSession, NestedDialogsTimersAndGuideSteps)
{
    RecordingDlg dlg(setup.get());
    const int result = Run(R"(
        expect-text 9000 "Step 1."
        expect-disabled 9001
        click 9002
        expect-text 9000 "Step 2."
        expect-disabled 9002
        wait 99
        wait 1
        click 40
        expect-dialog 9902
        set 10 "x"
        cancel
        expect-dialog 9901
    )", dlg);
    EXPECT_EQ(result, rurorade::IDCANCEL);  // the script ended: open dialogs are cancelled
    EXPECT_TRUE(driver->RanToEnd()) << driver->Failure();
    EXPECT_EQ(dlg.log, (std::vector<std::string>{"timer 7 at 100", "command 40", "child 2"}));
    EXPECT_NE(trace.str().find("open 9902 \"Child\"\nclose 9902 Cancel\n"), std::string::npos) << trace.str();
}

TEST_F(DialogSession, ScriptLanguageErrorsNameTheLine)
{
    rurorade::ScriptDriver d(trace);
    std::string error;
    EXPECT_FALSE(d.LoadText("ok\nfrobnicate 3\n", "s.txt", error));
    EXPECT_EQ(error, "s.txt:2: unknown command \"frobnicate\"");
    EXPECT_FALSE(d.LoadText("set 10\n", "s.txt", error));
    EXPECT_EQ(error, "s.txt:1: \"set\" takes 2 argument(s)");
    EXPECT_FALSE(d.LoadText("expect-text 3 \"open\n", "s.txt", error));

    std::vector<std::string> words;
    ASSERT_TRUE(rurorade::ScriptDriver::SplitWords(R"(expect-message "a\tb\r\n\"q\" \\ # x" # comment)", words, error));
    EXPECT_EQ(words, (std::vector<std::string>{"expect-message", "a\tb\r\n\"q\" \\ # x"}));
}

TEST_F(DialogSession, MessageBoxesTakeQueuedAnswers)
{
    class AskingDlg : public RecordingDlg {
    public:
        using RecordingDlg::RecordingDlg;
        void OnCommand(int id) override
        {
            if (id == 40) answers.push_back(MessageBox("Keep?", "", rurorade::MB_YESNOCANCEL));
        }
        std::vector<int> answers;
    } dlg(setup.get());
    Run("answer no\nclick 40\nclick 40\nanswer cancel\nclick 40\nok\n", dlg);
    EXPECT_EQ(dlg.answers, (std::vector<int>{rurorade::IDNO, rurorade::IDYES, rurorade::IDCANCEL}));
    EXPECT_NE(trace.str().find("message \"Keep?\" -> No"), std::string::npos);
}

}  // namespace
