// The Filters dialog driven by scripts: lists, show/enable rules, the locked flag, and the
// registers the designer makes of the edited filters once the opening test encodes them.
#include <gtest/gtest.h>

#include <functional>
#include <nlohmann/json.hpp>
#include <sstream>

#include "editor/filters_dlg.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"
#include "script_session.h"

namespace {

using Json = nlohmann::ordered_json;

std::unique_ptr<CMC_Setup> Full(const std::function<void(Json&)>& change = {})
{
    Json json = zektest::SampleJson("full.json");
    if (change) change(json["parameters"]);
    return zektest::SetupFromJson(json);
}

class FiltersDialog : public zektest::DialogTest {
protected:
    // Opens the dialog as a tuning test does (registers recomputed before, and again after OK)
    // and runs `script`, whose checks must all hold; `after` sees the closed dialog.
    int Run(CMC_Setup* setup, int locked, const std::string& script,
            const std::function<void(CFiltersDialog&)>& after = {})
    {
        EncodeRegisters(setup);
        DecodeRegisters(setup);
        return zektest::PlayScript(script, trace, [&] {
            CFiltersDialog dlg(setup, locked, nullptr);
            const int result = dlg.DoModal();
            if (result == rurorade::IDOK) {
                EncodeRegisters(setup);
                DecodeRegisters(setup);
            }
            if (after) after(dlg);
            return result;
        });
    }
    double Value(CMC_Setup* setup, const std::string& name) { return setup->GetParameterValueInBaseUnit(name.c_str()); }
    std::ostringstream trace;
};

TEST_F(FiltersDialog, ListsOfferTheDesignersTypesAndTheThreeLocations)
{
    auto setup = Full();
    Run(setup.get(), 0, "cancel\n", [](CFiltersDialog& dlg) {
        const std::vector<std::pair<std::string, double>> types = {
            {"Low Pass 1st order", 0}, {"Low Pass 2nd order", 1}, {"Notch", 2},           {"High Pass", 3},
            {"Band Pass", 4},          {"Lead-lag 1st order", 8}, {"Lead-lag 2nd order", 9}};
        const std::vector<std::pair<std::string, double>> locations = {
            {"Position Controller Output", 0}, {"Speed Controller Output", 1}, {"Speed Feedback", 2}};
        for (const filters::FilterControls& c : filters::kFilter) {
            EXPECT_EQ(dlg.GetControl(c.type)->items, types);
            EXPECT_EQ(dlg.GetControl(c.location)->items, locations);
        }
        // The sample: filter 1 a low pass on the speed feedback, filter 2 a notch on the speed controller output.
        EXPECT_EQ(dlg.GetControl(3487)->selection, 1);
        EXPECT_EQ(dlg.GetControl(3502)->selection, 2);
        EXPECT_EQ(dlg.GetControl(3495)->selection, 2);
        EXPECT_EQ(dlg.GetControl(3500)->selection, 1);
        EXPECT_EQ(dlg.GetTitle(), "Filters");
    });
}

TEST_F(FiltersDialog, GroupsFollowTheSwitchAndTheType)
{
    auto setup = Full();
    Run(setup.get(), 0, R"S(
        # filter 3 off: all of its group disabled but the toggle
        expect-text 3518 "Off"
        expect-enabled 3518
        expect-disabled 3517
        expect-disabled 3526
        expect-disabled 3519
        expect-disabled 3523
        expect-disabled 3524
        expect-disabled 3506
        expect-text 3485 "On"
        # switched on as a first-order low pass: no Q
        click 3518
        expect-param BQFilter3 1
        expect-text 3518 "On"
        expect-enabled 3526
        expect-enabled 3524
        expect-disabled 3521
        expect-disabled 3523
        # lead-lag: the lag frequency takes the place of Q
        select 3519 6
        expect-param BQFilterType3 9
        expect-hidden 3523
        expect-visible 3506
        expect-visible 3512
        expect-enabled 3521
        expect-text 3521 "Lag Frequency"
        expect-text 3522 "Lead Frequency"
        select 3519 2
        expect-visible 3523
        expect-enabled 3523
        expect-hidden 3506
        expect-text 3521 "Q"
        expect-text 3522 "Frequency"
        click 3493
        expect-param BQFilter2 0
        expect-text 3493 "Off"
        expect-disabled 3495
        expect-disabled 3500
        cancel
    )S");
}

TEST_F(FiltersDialog, LockedWhileATuningRunKeepsTheSlotLayout)
{
    auto setup = Full();
    Run(setup.get(), 1, R"S(
        expect-disabled 3485
        expect-disabled 3493
        expect-disabled 3518
        expect-disabled 3503
        expect-disabled 3502
        expect-disabled 3500
        click 3485
        expect-param BQFilter1 1
        select 3502 0
        expect-param BQFilterLocation1 2
        # what does not move a filter stays editable
        expect-text 3485 "On"
        expect-disabled 3519
        select 3487 2
        expect-param BQFilterType1 2
        set 3491 "300"
        set 3489 "4"
        expect-param BQFilterQ1 4
        ok
    )S");
    EXPECT_EQ(Value(setup.get(), "BQFilterF11"), 300);
    EXPECT_EQ(Value(setup.get(), "ASPD_BQ_INI"), 1);
}

TEST_F(FiltersDialog, OkLandsInTheBiquadRegistersAndTheDrive)
{
    auto setup = Full();
    auto sample = Full();
    zektest::RecordingLink link;
    setup->SetDriveLink(&link);
    // Filter 3: a 25 Hz second-order low pass at 500 us, the same section as 100 Hz at 125 us.
    const int result = Run(setup.get(), 0, R"S(
        click 3518
        select 3519 1
        set 3524 "25"
        set 3523 "0.7071"
        select 3526 2
        select 3502 0
        ok
    )S", [](CFiltersDialog& dlg) { dlg.WriteFiltersToDrive(); });
    ASSERT_EQ(result, rurorade::IDOK);

    // Filter 1 first, then filter 2, then filter 3, each moved by one slot or put in place.
    const char* const regs[] = {"B0", "B1", "B2", "A1", "A2", "SF"};
    const double slot3[] = {1568001, 3136004, 1568002, -2028332802, 960862985, 2};
    for (int i = 0; i < 6; ++i) {
        SCOPED_TRACE(regs[i]);
        EXPECT_EQ(Value(setup.get(), std::string("BQ1") + regs[i]), Value(sample.get(), std::string("BQ2") + regs[i]));
        EXPECT_EQ(Value(setup.get(), std::string("BQ2") + regs[i]), Value(sample.get(), std::string("BQ1") + regs[i]));
        EXPECT_EQ(Value(setup.get(), std::string("BQ3") + regs[i]), slot3[i]);
    }
    for (const char* count : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"}) EXPECT_EQ(Value(setup.get(), count), 1) << count;

    ASSERT_EQ(link.written.size(), 21u);
    EXPECT_EQ(link.written[0].first, "SPDREF_BQ_INI");
    EXPECT_EQ(link.written[2].first, "ASPD_BQ_INI");
    EXPECT_EQ(link.written[15], (std::pair<std::string, double>("BQ3B0", 1568001)));
    EXPECT_EQ(link.written[20], (std::pair<std::string, double>("BQ3SF", 2)));
}

TEST_F(FiltersDialog, CancelPutsTheSetupBack)
{
    auto setup = Full();
    EncodeRegisters(setup.get());
    DecodeRegisters(setup.get());
    const std::string before = rurorade::SaveSetupText(*setup);
    EXPECT_EQ(Run(setup.get(), 0, "click 3518\nselect 3487 6\nset 3491 \"120\"\nselect 3500 0\ncancel\n"), rurorade::IDCANCEL);
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << "cancel left changes in the setup";
}

// A filter that is on must have a design the drive can run; OK keeps the dialog open until it has.
TEST_F(FiltersDialog, OkRefusesAFilterThatCannotBeDesigned)
{
    struct Case {
        const char* setupChange;  // parameter, field, value
        const char* script;
        const char* message;
    };
    const Case cases[] = {
        {"", "select 3487 6\nset 3491 \"0\"\n", "Filter 1: the lead frequency must be greater than 0 Hz."},
        {"", "select 3495 5\nset 3505 \"0\"\n", "Filter 2: the lag frequency must be greater than 0 Hz."},
        {"", "click 3518\nset 3524 \"0\"\n", "Filter 3: the frequency must be greater than 0 Hz."},
        {"BQFilterQ2", "set 3497 \"0\"\n", "Filter 2: Q must be greater than 0."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        auto setup = Full([&](Json& p) {
            if (*c.setupChange) p[c.setupChange]["min"] = 0;
        });
        const std::string script = std::string(c.script) + "ok\nexpect-dialog 3072\nexpect-message \"" + c.message +
                                   "\"\ncancel\n";
        EXPECT_EQ(Run(setup.get(), 0, script), rurorade::IDCANCEL);
    }
    // Switched off, a filter needs no design.
    auto setup = Full();
    EXPECT_EQ(Run(setup.get(), 0, "set 3491 \"0\"\nclick 3485\nok\n"), rurorade::IDOK);
    EXPECT_EQ(Value(setup.get(), "BQFilterF11"), 0);
}

}  // namespace
