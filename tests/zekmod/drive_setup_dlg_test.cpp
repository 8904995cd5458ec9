// The Drive Setup dialog driven by scripts: show/enable rules, reactions, the child-dialog cycle.
#include <gtest/gtest.h>

#include <sstream>

#include "editor/drive_setup_dlg.h"
#include "engine/encode_drive_config.h"
#include "resources/drive_setup_ids.h"
#include "script_session.h"

namespace {

using namespace drive_setup;

// A sample setup without some parameters, or with some values changed (base units).
std::unique_ptr<CMC_Setup> Sample(const char* file, const std::vector<std::string>& without = {},
                                  const std::vector<std::pair<std::string, double>>& values = {},
                                  const std::vector<std::pair<std::string, std::string>>& options = {})
{
    auto json = zektest::SampleJson(file);
    for (const std::string& name : without) json["parameters"].erase(name);
    for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
    for (const auto& [name, text] : options) json["options"][name] = text;
    return zektest::SetupFromJson(json);
}

class DriveSetup : public zektest::DialogTest {
protected:
    int Run(CMC_Setup* setup, const std::string& script) { return zektest::PlayDialog<CDriveSetupDlg>(setup, script, trace); }
    std::ostringstream trace;
};

TEST_F(DriveSetup, ControlModesDecideWhichControllerGroupsApply)
{
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        # position control, speed feedforward present: the position row carries the feedforward
        expect-disabled 3606
        expect-enabled 3613
        expect-hidden 1043
        expect-visible 3196
        expect-enabled 3197
        expect-hidden 3183
        expect-hidden 3265
        expect-enabled 3230
        expect-disabled 3231
        click 1060
        expect-param ControlMode 1
        expect-param GEARMASTER 1
        expect-param GEARSLAVE 1
        expect-param isAnalogueReference 1
        expect-enabled 3606
        expect-disabled 3613
        expect-hidden 1043
        expect-visible 3183
        expect-visible 3265
        expect-hidden 3196
        expect-disabled 3230
        expect-enabled 3231
        click 1061
        expect-disabled 3606
        expect-hidden 3183
        expect-hidden 3196
        ok
    )S");
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("ControlMode"), 2);
}

TEST_F(DriveSetup, PositionThroughTheSpeedLoopWithoutSpeedFeedforward)
{
    auto setup = Sample("default.json", {"SpeedForward"}, {{"PositionControlType", 1}});
    Run(setup.get(), R"S(
        expect-enabled 3606
        expect-enabled 3613
        expect-visible 1043
        expect-visible 3196
        expect-enabled 3196
        expect-enabled 3197
        expect-hidden 3265
        expect-hidden 3612
        ok
    )S");
}

TEST_F(DriveSetup, OptionalGroupsFollowTheSetup)
{
    auto plain = Sample("default.json", {"save_CAN_baudrate", "InputsPolarityType"}, {}, {{"hideEnablePolarity", "1"}});
    Run(plain.get(), R"S(
        expect-hidden 3371
        expect-hidden 3372
        expect-disabled 3642
        expect-disabled 3351
        expect-disabled 3270
        expect-hidden 1046
        expect-hidden 3638
        expect-disabled 3387
        cancel
    )S");
    auto full = Sample("full.json");
    Run(full.get(), R"S(
        expect-visible 3371
        expect-enabled 3351
        expect-disabled 3270
        click 3351
        expect-enabled 3270
        expect-enabled 3387
        expect-visible 1046
        cancel
    )S");
}

TEST_F(DriveSetup, SoftwareLimitSwitchesStayOrdered)
{
    auto setup = Sample("full.json");
    Run(setup.get(), R"S(
        click 3351
        set 3268 "20"
        set 3270 "-10"
        expect-text 3270 "-10"
        set 3270 "30"
        expect-text 3270 "20"
        set 3268 "-40"
        expect-text 3268 "20"
        set 3268 "25"
        expect-text 3268 "25"
        ok
    )S");
    EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Negative_SWLS"), 20 * 2 * 3.141592653589793, 1e-9);
}

TEST_F(DriveSetup, InputTypeFlipsThePolaritiesAndTheHeaders)
{
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        expect-param EnablePolarity 1
        expect-param LSNPolarity 1
        expect-param LSPPolarity 1
        expect-checked 3388
        expect-text 3385 "Active high (Connected to +Vlog)"
        expect-text 3386 "Active low (Open/No connection)"
        click 3387
        expect-param InputsPolarityType 0
        expect-param EnablePolarity 0
        expect-param LSNPolarity 0
        expect-param LSPPolarity 0
        expect-checked 1046
        expect-text 3385 "Active high (Open/No connection)"
        expect-text 3386 "Active low (Connected to GND)"
        click 3388
        expect-param LSNPolarity 1
        expect-text 3385 "Active high (Connected to +Vlog)"
        ok
    )S");
}

TEST_F(DriveSetup, InputTypeWithoutTheParameterComesFromTheDescriptionOrTheRegister)
{
    auto qv = Sample("default.json", {"InputsPolarityType"}, {}, {{"IsInputsTypeProgrammable", ""}});
    qv->Info().description = "ZEK-4810-QV drive";
    Run(qv.get(), "expect-checked 3388\nexpect-unchecked 3387\nexpect-disabled 3388\ncancel\n");
    auto byRegister = Sample("default.json", {"InputsPolarityType"}, {{"ASR", 4}});
    Run(byRegister.get(), "expect-checked 3387\nexpect-text 3385 \"Active high (Open/No connection)\"\ncancel\n");
}

TEST_F(DriveSetup, StartCurrentAboveNominalWarnsWithTheAlignTime)
{
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        expect-disabled 3257
        click 1096
        expect-param StartMode 0
        expect-enabled 3257
        set 3260 "0.5"
        set 3257 "150"
        expect-message "You have set a start current bigger than the nominal current! The start current will be applied for 1.00 s.\n\nThe motor must withstand this over current condition or it may be damaged."
        ok
    )S");
    EXPECT_NEAR(setup->GetParameterValueInBaseUnit("StartCurrent"), 150, 1e-9);
}

// The last entry of the axis id list stores 0.
TEST_F(DriveSetup, AxisIdListEndsWithZero)
{
    auto setup = Sample("default.json", {}, {{"Axis_ID_list", 5}});
    Run(setup.get(), "select 3136 255\nok\n");
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("Axis_ID_list"), 0);
}

TEST_F(DriveSetup, OkEncodesTheRegistersAndCancelRestores)
{
    auto untouched = Sample("default.json");
    const std::string before = rurorade::SaveSetupText(*untouched);
    EXPECT_EQ(Run(untouched.get(), "click 1060\nset 3179 \"9\"\ncancel\n"), rurorade::IDCANCEL);
    EXPECT_TRUE(rurorade::SaveSetupText(*untouched) == before) << "cancel left changes in the setup";

    auto setup = Sample("default.json");
    EXPECT_EQ(Run(setup.get(), "click 1060\nset 3179 \"2.5\"\nexpect-text 3179 \"2.5\"\nok\n"), rurorade::IDOK);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("SFTKPS"), 2);
    EXPECT_EQ(setup->GetParameterValueInBaseUnit("KPS"), 2.5 * 32767 / 4);
    EXPECT_EQ(setup->GetOptionNoError("IsClosedSpeed"), "1");
    EXPECT_EQ(setup->GetOptionNoError("IsClosedPosition"), "0");
    // What OK stored is what the engine makes of it.
    const std::string stored = rurorade::SaveSetupText(*setup);
    EncodeRegisters(setup.get());
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == stored) << "OK did not leave the registers encoded";
}

TEST_F(DriveSetup, GainsShowWhatTheDriveWillUse)
{
    auto setup = Sample("default.json");
    // 3 * 32767 / 4 is kept unrounded in the mantissa, so the gain comes back as typed.
    Run(setup.get(), "set 3190 \"3\"\nexpect-param SFTKPP 2\nexpect-param KPP 24575.25\nexpect-text 3190 \"3\"\nok\n");
}

TEST_F(DriveSetup, MotorSetupOpensByItselfForAnOrdinaryMotor)
{
    auto setup = Sample("default.json");
    Run(setup.get(), "wait 99\nexpect-dialog 106\nwait 1\nexpect-dialog 108\nok\nexpect-dialog 106\nwait 500\nexpect-dialog 106\nclick 10024\nok\n");
    EXPECT_NE(trace.str().find("open 108 \"Brushless Motor Setup\"\nclose 108 OK\n"), std::string::npos);
    EXPECT_NE(trace.str().find("context 262406"), std::string::npos);

    auto intelligent = Sample("default.json", {}, {}, {{"isIntelligentMotor", "1"}});
    Run(intelligent.get(), R"S(
        wait 1000
        expect-dialog 106
        expect-visible 1100
        expect-hidden 1097
        expect-hidden 1099
        expect-hidden 3264
        expect-disabled 3243
        ok
    )S");
    EXPECT_EQ(trace.str().find("open 108"), std::string::npos);
}

// Every button opens its dialog; Cancel there leaves the setup (registers included) and the
// caller's controls as they were, OK comes back to the Drive Setup dialog.
TEST_F(DriveSetup, EveryButtonOpensItsDialogAndCancelChangesNothing)
{
    struct Button {
        int id, dialog;
        const char* first;  // what the person does before
    } buttons[] = {{kMotorSetup, 108, ""}, {kAdvanced, 110, ""}, {kDriveInfo, 3018, ""},
                   {kExtRefSetup, 111, "click 1064\n"}, {kDetect, 105, ""}};
    for (const auto& [button, dialog, first] : buttons) {
        auto setup = Sample("full.json");
        const std::string before = rurorade::SaveSetupText(*setup);
        const std::string click = "click " + std::to_string(button) + "\nexpect-dialog " + std::to_string(dialog);
        Run(setup.get(), "wait 200\ncancel\n" + std::string(first) + click + "\ncancel\nexpect-dialog 106\n" +
                             "expect-text 3190 \"0.6\"\n" + click + "\nok\nexpect-dialog 106\ncancel\n");
        EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << button;
    }
}

// OK in the Advanced dialog under position control without the speed loop clears the speed
// feed-forward, and the acceleration one too when the loops run in the fast loop; Cancel clears nothing.
TEST_F(DriveSetup, AdvancedOkClearsTheFeedforwardsPositionControlDoesNotUse)
{
    struct Case {
        const char* close;
        double fastLoop, wantKffs, wantKffa;
    } cases[] = {{"ok", 0, 0, 0.5}, {"ok", 1, 0, 0}, {"cancel", 1, 1, 0.5}};
    for (const Case& c : cases) {
        // The dialog decodes the registers when it opens: the fast-loop flag is bit 6 of UPGRADE.
        auto setup = Sample("default.json", {}, {{"UPGRADE", 64 * c.fastLoop}});
        Run(setup.get(), std::string("wait 200\ncancel\nclick 3158\nexpect-dialog 110\n") + c.close + "\nok\n");
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("KFFS_scl"), c.wantKffs) << c.close << c.fastLoop;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("KFFA_scl"), c.wantKffa) << c.close << c.fastLoop;
    }
}

}  // namespace
