// The External Reference Setup dialog driven by scripts: what each control mode shows, units that
// follow the maximum, the scale ends bounding each other, the dead band ranges.
#include <gtest/gtest.h>

#include <sstream>

#include "editor/analog_reference_dlg.h"
#include "engine/derived_quantities.h"
#include "script_session.h"

namespace {

// A sample setup with some values (base units), units and options changed.
std::unique_ptr<CMC_Setup> Sample(const char* file, const std::vector<std::pair<std::string, double>>& values = {},
                                  const std::vector<std::pair<std::string, std::string>>& options = {},
                                  const std::vector<std::pair<std::string, std::string>>& units = {})
{
    auto json = zektest::SampleJson(file);
    for (const auto& [name, value] : values) json["parameters"][name]["value"] = value;
    for (const auto& [name, text] : options) json["options"][name] = text;
    for (const auto& [name, unit] : units) json["parameters"][name]["unit"] = unit;
    return zektest::SetupFromJson(json);
}

class ExternalReference : public zektest::DialogTest {
protected:
    // Runs the dialog on `setup` with its ranges brought up to date, as the Drive Setup dialog
    // opens it; expects every check of the script to hold.
    int Run(CMC_Setup* setup, const std::string& script)
    {
        ComputeParameterLimits(setup);
        rurorade::ErrorSink().Clear();
        const int result = zektest::PlayScript(script, trace, [&] {
            CAnalogReferenceDlg dlg(setup, nullptr);
            const int modal = dlg.DoModal();
            picture = dlg.GetControl(analog_reference::kPicture)->image;
            return modal;
        });
        EXPECT_TRUE(Reported().empty()) << "the dialog asked for a name the setup lacks: " << Reported().front();
        return result;
    }
    std::ostringstream trace;
    std::string picture;
};

constexpr double kPi = 3.141592653589793;

TEST_F(ExternalReference, EachControlModeHasItsLabelsPictureAndLimitField)
{
    struct Row {
        double mode, analogue, limit;
        const char* maximum;  // label 3800 ("Minimum ..." alike)
        const char* picture;
        const char* checkText;      // "" when the check is hidden
        const char* shownLimit;     // the limit field shown (3302 or 3304), or none
        const char* limitText;      // text of 3302
        bool digitalChoices;        // reference type and gear ratio enabled
        bool digitalRadio;
    };
    // ErefMaxSpeed 3000 rpm, ErefMaxAcceleration 1000 rad/s^2.
    const Row rows[] = {
        {0, 1, 1, "Position", "3003", "Limit maximum speed at", "3302", "3000", false, true},
        {0, 0, 1, "Position", "3003", "Limit maximum acceleration at", "3304", "3000", true, true},
        {0, 1, 0, "Position", "3003", "Limit maximum speed at", "", "3000", false, true},
        {1, 1, 1, "Speed", "3044", "Limit maximum acceleration at", "3302", "1000", false, false},
        {1, 0, 1, "Speed", "3044", "Limit maximum acceleration at", "3304", "1000", false, false},
        {2, 1, 1, "Current", "3002", "", "", "", false, false},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(std::string(r.maximum) + " analogue " + std::to_string(r.analogue));
        auto setup = Sample("full.json", {{"ControlMode", r.mode}, {"isAnalogueReference", r.analogue},
                                          {"isLimitMaximum", r.limit}, {"ErefMaxSpeed", 100 * kPi}});
        const std::string on = r.digitalChoices ? "expect-enabled " : "expect-disabled ";
        const std::string analogueOn = r.analogue == 1 ? "expect-enabled " : "expect-disabled ";
        std::string script = "expect-text 3800 \"Maximum " + std::string(r.maximum) + "\"\n" +
                             "expect-text 3801 \"Minimum " + r.maximum + "\"\n" +
                             (r.checkText[0] ? "expect-visible 3116\nexpect-text 3116 \"" + std::string(r.checkText) + "\"\n"
                                             : std::string("expect-hidden 3116\n")) +
                             (std::string(r.shownLimit) == "3302" ? "expect-visible 3302\nexpect-visible 3136\n"
                                                                  : "expect-hidden 3302\nexpect-hidden 3136\n") +
                             (std::string(r.shownLimit) == "3304" ? "expect-visible 3304\nexpect-visible 3137\n"
                                                                  : "expect-hidden 3304\nexpect-hidden 3137\n") +
                             "expect-text 3302 \"" + r.limitText + "\"\n" +
                             on + "3291\n" + on + "3292\n" + on + "3296\n" + on + "3295\n" + on + "3808\n" +
                             analogueOn + "1006\n" + analogueOn + "1010\n" + analogueOn + "1000\n" + analogueOn + "3328\n" +
                             (r.digitalRadio ? "expect-enabled 3289\n" : "expect-disabled 3289\n") + "expect-enabled 3290\nok\n";
        Run(setup.get(), script);
        EXPECT_EQ(picture, r.picture);
    }
}

TEST_F(ExternalReference, SwitchingToADigitalPositionReferenceShowsTheAccelerationLimit)
{
    auto setup = Sample("full.json", {{"isAnalogueReference", 1}, {"isLimitMaximum", 1}});
    Run(setup.get(), R"S(
        expect-visible 3302
        click 3289
        expect-param isAnalogueReference 0
        expect-text 3116 "Limit maximum acceleration at"
        expect-hidden 3302
        expect-visible 3304
        expect-enabled 3296
        expect-disabled 1006
        click 3116
        expect-hidden 3304
        expect-hidden 3302
        click 3290
        expect-text 3116 "Limit maximum speed at"
        expect-hidden 3302
        ok
    )S");
}

TEST_F(ExternalReference, DrivesWithoutAnAnalogueInputOrDigitalReference)
{
    auto setup = Sample("default.json", {}, {{"DisableExternalDigitalReference", "1"}});
    Run(setup.get(), "expect-disabled 3290\nexpect-disabled 3289\nexpect-text 1006 \"\"\nexpect-hidden 1003\nok\n");
}

TEST_F(ExternalReference, VoltageLabelsFollowTheInputRange)
{
    const std::tuple<double, const char*, const char*> rows[] = {{20, "-10", "10"}, {5, "0", "5"}, {10, "0", "3.3"}};
    for (const auto& [range, low, high] : rows) {
        auto setup = Sample("full.json", {{"AnalogueInputsRange", range}, {"isAnalogueReference", 0}});
        Run(setup.get(), "expect-text 3328 \"" + std::string(low) + "\"\nexpect-text 3327 \"" + high +
                             "\"\nexpect-disabled 3328\nexpect-disabled 3327\nok\n");
    }
}

TEST_F(ExternalReference, TheMinimumShowsTheUnitOfTheMaximum)
{
    struct Row {
        double mode;
        const char* minimum;
        int unitList, item;       // the maximum's unit list and the item chosen in it
        int minimumEdit;
        const char* before;       // the minimum as first shown
        const char* after;        // and in the chosen unit
        const char* unit;
    };
    // POS_min -3 rot stored in rad; SPD_min -3000 rpm; CRT_min -5 A; DeadBand_Range 0.05 V.
    const Row rows[] = {
        {0, "POS_min", 1015, 2, 1008, "-3", "-1080", "deg"},
        {1, "SPD_min", 1015, 0, 1008, "-3000", "-314.1592654", "rad/s"},
        {2, "CRT_min", 1015, 1, 1008, "-5", "-5000", "mA"},
        {0, "DeadBand_Range", 1016, 1, 1012, "0.05", "50", "mV"},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.minimum);
        auto setup = Sample("full.json",
                            {{"ControlMode", r.mode}, {"isAnalogueReference", 1}, {"POS_min", -6 * kPi},
                             {"SPD_min", -100 * kPi}, {"CRT_min", -5}},
                            {}, {{"POS_min", "rad"}, {"SPD_min", "rad/s"}});
        Run(setup.get(), "expect-text " + std::to_string(r.minimumEdit) + " \"" + r.before + "\"\nselect " +
                             std::to_string(r.unitList) + " " + std::to_string(r.item) + "\nexpect-text " +
                             std::to_string(r.minimumEdit) + " \"" + r.after + "\"\nok\n");
        EXPECT_EQ(setup->FindParameter(r.minimum)->GetUnit().name, r.unit);
    }
}

TEST_F(ExternalReference, EachEndOfTheScaleBoundsTheOther)
{
    // Position: 32767 counts of a 10000-count encoder, 3.2767 rot. Speed: Limit_Speed 300 rad/s
    // (2864.788976 rpm) is below 32767 counts of speed. Current: the motor's 15 A peak is below
    // the drive's 20 A and the 18.3 A of 32767 counts.
    struct Row {
        double mode;
        const char* minimum;
        const char* maxTooLow;
        const char* firstMessage;
        const char* maximum;
        const char* minTooHigh;
        const char* secondMessage;
    };
    const Row rows[] = {
        {0, "-1", "-2", "between -1 and 3.2767 rot.", "1", "2", "between -3.2767 and 1 rot."},
        {1, "-1000", "-2000", "between -1000 and 2864.788976 rpm.", "1500", "1600", "between -2864.788976 and 1500 rpm."},
        {2, "-5", "-6", "between -5 and 15 A.", "4", "4.5", "between -15 and 4 A."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.firstMessage);
        auto setup = Sample("full.json", {{"ControlMode", r.mode}, {"isAnalogueReference", 1}});
        Run(setup.get(), "set 1008 \"" + std::string(r.minimum) + "\"\nset 1006 \"" + r.maxTooLow +
                             "\"\nexpect-message \"Please enter a value " + r.firstMessage + "\"\nset 1006 \"" + r.maximum +
                             "\"\nexpect-text 1006 \"" + r.maximum + "\"\nset 1008 \"" + r.minTooHigh +
                             "\"\nexpect-message \"Please enter a value " + r.secondMessage + "\"\nexpect-text 1008 \"" +
                             r.minimum + "\"\nok\n");
    }
}

TEST_F(ExternalReference, DeadBandRangeFollowsThePoint)
{
    struct Row {
        double inputsRange;
        const char* newDeadBand;
        const char* point;
        double pointMin, pointMax, rangeMax;
        const char* tooWide;
        const char* message;
    };
    const Row rows[] = {
        {10, "1", "1", 0, 3.3, 3.3, "3.4", "between 0 and 3.3 V."},
        {10, "0", "1", 0, 3.3, 1, "1.5", "between 0 and 1 V."},
        {20, "0", "-4", -10, 10, 6, "6.5", "between 0 and 6 V."},
        {20, "1", "2", -10, 10, 20, "21", "between 0 and 20 V."},
        {5, "0", "4", 0, 5, 1, "1.5", "between 0 and 1 V."},
    };
    for (const Row& r : rows) {
        SCOPED_TRACE(r.message);
        auto setup = Sample("full.json", {{"AnalogueInputsRange", r.inputsRange}, {"isAnalogueReference", 1}},
                            {{"NewDeadBand", r.newDeadBand}});
        Run(setup.get(), "set 1010 \"" + std::string(r.point) + "\"\nset 1012 \"" + r.tooWide +
                             "\"\nexpect-message \"Please enter a value " + r.message + "\"\nset 1012 \"0.5\"\nok\n");
        const CMC_Parameter* point = setup->FindParameter("DeadBand_Point");
        const CMC_Parameter* range = setup->FindParameter("DeadBand_Range");
        EXPECT_EQ(point->GetMinInBaseUnit(), r.pointMin);
        EXPECT_EQ(point->GetMaxInBaseUnit(), r.pointMax);
        EXPECT_EQ(range->GetMinInBaseUnit(), 0);
        EXPECT_NEAR(range->GetMaxInBaseUnit(), r.rangeMax, 1e-12);
        EXPECT_EQ(range->GetValueInBaseUnit(), 0.5);
    }
}

TEST_F(ExternalReference, FilterCheckShowsTheBandwidthAndHelpOpensItsTopic)
{
    auto setup = Sample("full.json", {{"isAnalogueReference", 1}, {"UseFilter", 0}});
    Run(setup.get(), R"S(
        expect-hidden 1003
        expect-hidden 3809
        click 1001
        expect-visible 1003
        expect-visible 1004
        expect-enabled 1003
        click 1001
        expect-hidden 1003
        click 10024
        cancel
    )S");
    EXPECT_NE(trace.str().find("context 262401"), std::string::npos);
}

}  // namespace
