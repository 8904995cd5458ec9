// The Drive info dialog driven by scripts: read-only until the key chord, the protections'
// switches, the temperature sensor, and what OK writes into the setup's identity.
#include <gtest/gtest.h>

#include <sstream>

#include "editor/drive_info_dlg.h"
#include "engine/encode_drive_config.h"
#include "script_session.h"

namespace {

// The default setup with the supply ranges it lacks (bus volts), and some values changed.
std::unique_ptr<CMC_Setup> Sample(const std::vector<std::pair<std::string, double>>& values = {})
{
    auto json = zektest::SampleJson();
    for (const auto& [name, volts] : {std::pair{"VMOT_min", 9}, {"VMOT_max", 90}, {"VLOG_min", 9}, {"VLOG_max", 36}})
        json["parameters"][name] = {{"value", volts}, {"unit", "V "}, {"min", 0}, {"max", 1000}};
    for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
    return zektest::SetupFromJson(json);
}

class DriveInfo : public zektest::DialogTest {
protected:
    int Run(CMC_Setup* setup, const std::string& script)
    {
        rurorade::ErrorSink().Clear();
        const int result = zektest::PlayDialog<CDriveInfo>(setup, script, trace);
        EXPECT_TRUE(Reported().empty()) << "the dialog asked for a name the setup lacks: " << Reported().front();
        return result;
    }
    bool Messaged() const { return trace.str().find("message ") != std::string::npos; }
    std::ostringstream trace;
};

std::string Expect(const char* what, std::initializer_list<int> ids)
{
    std::string lines;
    for (int id : ids) lines += std::string("expect-") + what + " " + std::to_string(id) + "\n";
    return lines;
}

TEST_F(DriveInfo, ReadOnlyUntilTheChordAndAgainAfterASecondOne)
{
    // Values, switches and identity fields that only the chord unlocks (every protection is on).
    const auto locked = {3087, 3089, 3092, 3094, 1159, 1161, 1163, 1179, 3097, 3103, 3105, 3107,
                         3278, 3277, 3276, 3275, 1165, 1167, 3325, 1169, 1171, 1173, 1175, 1177};
    // Units and labels of switched-on details, and the application id.
    const auto always = {1166, 1168, 3859, 3860, 1170, 3862, 1172, 3863, 1174, 1176, 3864, 3865, 1178, 3861, 3114};
    auto setup = Sample();
    Run(setup.get(), Expect("disabled", locked) + Expect("enabled", always) +
                         "set 1159 \"12\"\nset 3278 \"F901A\"\nexpect-param InPS 10\nexpect-text 3278 \"F900H\"\n"
                         "chord\n" + Expect("enabled", locked) + Expect("enabled", always) +
                         "set 1159 \"12\"\nexpect-param InPS 12\n"
                         "chord\n" + Expect("disabled", locked) + Expect("enabled", always) + "ok\n");
    // The drive's registers follow the new nominal current.
    const std::string stored = rurorade::SaveSetupText(*setup);
    EncodeRegisters(setup.get());
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == stored) << "OK did not leave the registers encoded";
}

TEST_F(DriveInfo, EachProtectionSwitchGatesItsDetails)
{
    struct Row {
        int check;
        const char* flag;
        std::initializer_list<int> values, unitsAndLabels;
    };
    const Row rows[] = {
        {3103, "isOverVoltage", {1169}, {1170, 3862}},
        {3105, "isUnderVoltage", {1171}, {1172, 3863}},
        {3107, "isDriveI2t", {1173, 1175}, {1174, 1176, 3864, 3865}},
        {3325, "isDriveOverTemp", {1177}, {1178, 3861}},
        {3097, "isDriveTemperatureSensor", {1165, 1167, 3325}, {1166, 1168, 3859, 3860}},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.flag);
        auto setup = Sample();
        const std::string check = std::to_string(r.check);
        Run(setup.get(), "chord\nclick " + check + "\nexpect-param " + r.flag + " 0\nexpect-unchecked " + check + "\n" +
                             Expect("disabled", r.values) + Expect("disabled", r.unitsAndLabels) + "click " + check +
                             "\nexpect-param " + r.flag + " 1\n" + Expect("enabled", r.values) +
                             Expect("enabled", r.unitsAndLabels) + "ok\n");
    }
}

TEST_F(DriveInfo, SensorOffSwitchesTheDriveTemperatureProtectionOff)
{
    auto setup = Sample();
    Run(setup.get(), R"S(
        chord
        expect-checked 3325
        click 3097
        expect-param isDriveTemperatureSensor 0
        expect-param isDriveOverTemp 0
        expect-unchecked 3325
        expect-disabled 3325
        expect-disabled 1177
        expect-disabled 3861
        click 3097
        expect-param isDriveOverTemp 0
        expect-enabled 3325
        expect-disabled 1177
        ok
    )S");
    // A setup that already has the protection without a sensor loses it at the next switch.
    auto stale = Sample({{"isDriveTemperatureSensor", 0}});
    Run(stale.get(), "chord\nexpect-param isDriveOverTemp 1\nclick 3103\nexpect-param isDriveOverTemp 0\nok\n");
}

TEST_F(DriveInfo, OkWithoutTheChordLeavesTheSetupAsItWas)
{
    auto setup = Sample();
    const std::string before = rurorade::SaveSetupText(*setup);
    EXPECT_EQ(Run(setup.get(), "expect-text 3276 \"8\"\nexpect-text 3277 \"ZEK-4810\"\nok\n"), rurorade::IDOK);
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << "OK without the chord changed the setup";

    // Identity the dialog could not have written itself is written back as it was, without a word.
    auto odd = Sample();
    odd->Info().e2romWords = 1000;  // not a whole number of Kwords
    odd->Info().firmwareId = "";
    odd->Info().userAppId = std::string(45, 'a');
    const std::string oddBefore = rurorade::SaveSetupText(*odd);
    Run(odd.get(), "expect-text 3276 \"0\"\nok\n");
    EXPECT_TRUE(rurorade::SaveSetupText(*odd) == oddBefore) << "OK without the chord changed the setup";
    EXPECT_FALSE(Messaged()) << trace.str();
}

TEST_F(DriveInfo, E2romSizeIsWrittenInKwords)
{
    struct Row {
        const char* typed;
        double words;  // -1: refused, the size stays 8192 words
    };
    const Row rows[] = {{"8", 8192},  {"16 Kwords", 16384}, {" +4", 4096}, {"63", 64512}, {"0", 0},
                        {"64", -1},   {"-2", -1},           {"abc", -1},  {"", -1}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        auto setup = Sample();
        std::string script = "chord\nset 3276 \"" + std::string(r.typed) + "\"\nok\n";
        if (r.words < 0)
            script += "expect-message \"Please enter an E2ROM size between 0 and 63 Kwords.\"\nexpect-dialog 3018\n"
                      "expect-text 3276 \"8\"\nok\n";
        EXPECT_EQ(Run(setup.get(), script), rurorade::IDOK);
        EXPECT_EQ(setup->Info().e2romWords, r.words < 0 ? 8192 : r.words);
        EXPECT_EQ(Messaged(), r.words < 0) << trace.str();
    }
}

TEST_F(DriveInfo, FirmwareIdMustNameAFirmwareOfTheFamily)
{
    struct Row {
        const char* typed;
        bool accepted;
    };
    const Row rows[] = {{"F901A", true}, {"F000Z", true},  {"f901a", false}, {"F90H", false},  {"F9011", false},
                        {"F901AB", false}, {"X901A", false}, {"", false},     {"F 901A", false}};
    for (const Row& r : rows) {
        SCOPED_TRACE(r.typed);
        auto setup = Sample();
        EXPECT_EQ(Run(setup.get(), "chord\nset 3278 \"" + std::string(r.typed) +
                                       "\"\nset 3277 \"ZEK-4820\"\nset 3275 \"bench drive\"\nok\n"),
                  rurorade::IDOK);
        EXPECT_EQ(setup->Info().firmwareId, r.accepted ? r.typed : "F900H");
        EXPECT_EQ(trace.str().find("message \"Error setting the firmware ID!\"") != std::string::npos, !r.accepted);
        // The other identity fields are written either way.
        EXPECT_EQ(setup->Info().productId, "ZEK-4820");
        EXPECT_EQ(setup->Info().description, "bench drive");
    }
}

TEST_F(DriveInfo, ApplicationIdIsAlwaysEditableUpToFortyCharacters)
{
    auto setup = Sample();
    const std::string typed = "line 7 \xC2\xB0 station " + std::string(40, 'x');
    Run(setup.get(), "set 3114 \"" + typed + "\"\nok\n");
    // 40 characters; the degree sign is one character of two bytes.
    EXPECT_EQ(setup->Info().userAppId, typed.substr(0, 41));
}

}  // namespace
