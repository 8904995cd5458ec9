// The Motor Setup dialog and the Motor inertia question, driven by scripts; the host's motor
// databases behind the Motor Setup dialog.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "editor/inertia_question_dlg.h"
#include "editor/motor_setup_dlg.h"
#include "resources/motor_setup_ids.h"
#include "script_session.h"

namespace {

using namespace motor_setup;

std::unique_ptr<CMC_Setup> Sample(const char* file, const std::vector<std::pair<std::string, double>>& values = {},
                                  const std::vector<std::pair<std::string, std::string>>& options = {},
                                  const char* io = nullptr)
{
    auto json = zektest::SampleJson(file);
    for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
    for (const auto& [name, text] : options) json["options"][name] = text;
    if (io) json["io"] = nlohmann::ordered_json::parse(io);
    return zektest::SetupFromJson(json);
}

class MotorSetup : public zektest::DialogTest {
protected:
    void SetUp() override
    {
        DialogTest::SetUp();
        folder = std::filesystem::temp_directory_path() / ("zek_motors_" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder);
        user = (folder / "user.json").string();
        setenv("ZEK_USER_MOTOR_DATABASE", user.c_str(), 1);
        setenv("ZEK_MOTOR_DATABASE", (std::string(ZEK_SETUPS_DIR) + "/motor_database.json").c_str(), 1);
    }
    void TearDown() override
    {
        unsetenv("ZEK_USER_MOTOR_DATABASE");
        unsetenv("ZEK_MOTOR_DATABASE");
        std::filesystem::remove_all(folder);
        DialogTest::TearDown();
    }
    template <class Dialog = CMotorSetupDialog>
    int Run(CMC_Setup* setup, const std::string& script)
    {
        return zektest::PlayDialog<Dialog>(setup, script, trace);
    }
    std::ostringstream trace;
    std::filesystem::path folder;
    std::string user;
};

// An intelligent motor's data is locked until Ctrl+Alt+Shift+E, and again after a second chord.
TEST_F(MotorSetup, IntelligentMotorIsLockedUntilTheChord)
{
    const std::string locked = "expect-disabled 1159\nexpect-disabled 10012\nexpect-disabled 1177\nexpect-disabled 1181\n";
    const std::string open = "expect-enabled 1159\nexpect-enabled 10012\nexpect-enabled 1177\nexpect-enabled 1181\n";
    auto ordinary = Sample("default.json");
    Run(ordinary.get(), open + "chord\n" + open + "cancel\n");
    auto intelligent = Sample("default.json", {}, {{"isIntelligentMotor", "1"}});
    Run(intelligent.get(), locked + "chord\n" + open + "chord\n" + locked + "cancel\n");
}

TEST_F(MotorSetup, ListsAndSensorRules)
{
    auto setup = Sample("full.json", {{"isHallsensors", 0}});
    CMotorSetupDialog dlg(setup.get());
    dlg.OnInitDialog();
    const CMC_Control* halls = dlg.GetControl(kHallCase);
    ASSERT_EQ(halls->items.size(), 12u);  // HALLCASE limits 0 to 20: the drive's 2 to 13
    EXPECT_EQ(halls->items.front(), (std::pair<std::string, double>{"2", 2}));
    EXPECT_EQ(halls->items.back(), (std::pair<std::string, double>{"13", 13}));
    EXPECT_EQ(dlg.GetControl(kEncoderFilter)->items.size(), 13u);
    EXPECT_EQ(dlg.GetControl(kEncoderFilter)->items[12].first, "1/72");
    EXPECT_FALSE(dlg.GetControl(kHallCase)->enabled);
    EXPECT_FALSE(dlg.GetControl(kDetectHallCase)->enabled);
    Run(setup.get(), "click 1181\nexpect-enabled 1182\nexpect-enabled 1190\nexpect-enabled 1188\ncancel\n");
}

// A zero transmission would divide every load quantity by zero: it becomes one revolution.
// A negative one, without the drive's option for it, brings the limit switch advice.
TEST_F(MotorSetup, Transmission)
{
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        expect-hidden 3390
        set 1163 "0"
        expect-param Motor_transmission 6.283185307179586
        set 1163 "-1"
        expect-visible 3390
        click 3390
        expect-message "When there is only a position sensor on the motor and the load moves in opposite direction (i.e. transmission is negative), the h/w limit switches connections need to be reversed. \n\nConnect positive limit switch sensor to drive's LSN input and negative limit switch sensor to drive's LSP input."
        cancel
    )S");
    auto allowed = Sample("default.json", {{"Motor_transmission", -6.283185307179586}}, {{"hasNegTransmission", "1"}});
    Run(allowed.get(), "expect-hidden 3390\ncancel\n");
}

// Without Hall sensors the drive can neither commutate trapezoidally nor start on the Halls;
// without a temperature sensor there is no motor over-temperature protection.
TEST_F(MotorSetup, OkFixUps)
{
    struct Case {
        double halls, commutation, start, wantCommutation, wantStart;
    } cases[] = {{0, 0, 1, 1, 0}, {0, 0, 3, 1, 0}, {0, 1, 2, 1, 2}, {1, 0, 1, 0, 1}};
    for (const Case& c : cases) {
        auto setup = Sample("default.json", {{"isHallsensors", c.halls}, {"CommutationMethod", c.commutation},
                                             {"StartMode", c.start}, {"isMotorTemperatureSensor", 0}, {"isMotorOverTemp", 1}});
        EXPECT_EQ(Run(setup.get(), "ok\n"), rurorade::IDOK);
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("CommutationMethod"), c.wantCommutation) << c.halls << c.start;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("StartMode"), c.wantStart) << c.halls << c.start;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("isMotorOverTemp"), 0);
    }
}

// Bits 4 and 5 of the output's description against its inversion choose the wiring advice.
TEST_F(MotorSetup, BrakeAdvice)
{
    const char* npn = "Motor brake is applied when NPN (sink) output is connected to GND.";
    const char* pnp = "Motor brake is applied when PNP (source) output is connected to +Vlog.";
    struct Case {
        const char* io;
        const char* text;
    } cases[] = {
        {R"({"brakeOutputs":[{"port":2,"pin":39,"bits":16,"inverted":true}]})", npn},
        {R"({"brakeOutputs":[{"port":2,"pin":39,"bits":16}]})", pnp},
        {R"({"brakeOutputs":[{"port":2,"pin":39,"bits":32}]})", npn},
    };
    for (const Case& c : cases) {
        auto setup = Sample("full.json", {{"isMotorBrake", 1}, {"MotorBrake_output", 2}}, {}, c.io);
        Run(setup.get(), std::string("expect-enabled 3364\nexpect-text 3368 \"") + c.text + "\"\ncancel\n");
    }
}

TEST_F(MotorSetup, InertiaQuestion)
{
    struct Case {
        const char* script;
        double jt, unknown;
    } cases[] = {{"ok\n", 2.02e-4, 0}, {"click 3334\nok\n", 1e-4, 1}, {"click 3334\nclick 3333\nok\n", 2.02e-4, 0},
                 {"cancel\n", 1e-4, 0}};
    for (const Case& c : cases) {
        auto setup = Sample("default.json", {{"Jm", 2e-4}, {"Jt", 1e-4}});
        Run<CInertiaQuestion>(setup.get(), c.script);
        EXPECT_NEAR(setup->GetParameterValueInBaseUnit("Jt"), c.jt, 1e-18) << c.script;
        EXPECT_EQ(setup->GetParameterValueInBaseUnit("isMotorInertiaUnknown"), c.unknown) << c.script;
    }
}

// Select a standard motor, save it under a new name in the user database, delete it again.
TEST_F(MotorSetup, MotorDatabase)
{
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        select 10011 2
        expect-param R 4.7
        expect-param MotorPhaseConnectionType 1
        set 10011 "My motor"
        click 10012
        expect-text 10011 "My motor"
        ok
    )S");
    std::ifstream saved(user);
    const auto json = nlohmann::json::parse(saved);
    ASSERT_EQ(json["motors"].size(), 1u);
    EXPECT_EQ(json["motors"][0]["name"], "My motor");
    EXPECT_EQ(json["motors"][0]["parameters"]["L"], 0.012);
    Run(setup.get(), "select 10010 1\nselect 10011 0\nanswer yes\nclick 10013\ncancel\n");
    EXPECT_EQ(nlohmann::json::parse(std::ifstream(user))["motors"].size(), 0u);
}

// A user database that cannot be read is reported and never overwritten.
TEST_F(MotorSetup, MalformedUserDatabaseLosesNothing)
{
    std::ofstream(user) << "{\"schema\": \"zekmotors-1\", \"motors\": [{\"name\": 3}]}";
    auto setup = Sample("default.json");
    Run(setup.get(), R"S(
        select 10010 1
        expect-message "The user motor database could not be read, so it is left as it is:\n)S" + user +
                         R"S(: motors[0]: must be {\"name\": TEXT, \"parameters\": {NAME: NUMBER ...}}"
        set 10011 "Mine"
        click 10012
        cancel
    )S");
    std::stringstream text;
    text << std::ifstream(user).rdbuf();
    EXPECT_EQ(text.str(), "{\"schema\": \"zekmotors-1\", \"motors\": [{\"name\": 3}]}");
}

}  // namespace
