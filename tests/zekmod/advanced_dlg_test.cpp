// The Advanced dialog driven by scripts: PWM and dividers, the slow-loop rescaling, the I2t
// adaptation, the period warnings and OK, the show/enable rules.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "editor/advanced_dlg.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"
#include "script_session.h"

namespace {

using namespace advanced;

struct Change {
    const char* name;
    const char* field;  // "value", "min", "max", "type", "unit"; null removes the parameter
    nlohmann::json to;
};

// A sample setup with some fields changed, brought to the state the caller opens the dialog in.
std::unique_ptr<CMC_Setup> Sample(const char* file, const std::vector<Change>& changes = {})
{
    auto json = zektest::SampleJson(file);
    for (const Change& c : changes) {
        if (c.field == nullptr)
            json["parameters"].erase(c.name);
        else
            json["parameters"][c.name][c.field] = c.to;
    }
    auto setup = zektest::SetupFromJson(json);
    EncodeRegisters(setup.get());
    DecodeRegisters(setup.get());
    return setup;
}

class AdvancedDialog : public zektest::DialogTest {
protected:
    int Run(CMC_Setup* setup, const std::string& script)
    {
        return zektest::PlayScript(script, trace, [&] {
            dlg = std::make_unique<CAdvancedDialog>(setup, nullptr);
            return dlg->DoModal();
        });
    }
    static double Base(CMC_Setup* s, const char* name) { return s->GetParameterValueInBaseUnit(name); }
    static double Internal(CMC_Setup* s, const char* name) { return s->GetParameterValueInInternalUnit(name); }
    std::ostringstream trace;
    std::unique_ptr<CAdvancedDialog> dlg;
};

TEST_F(AdvancedDialog, SlowLoopChangeMovesDriveValuesAndKeepsEngineeringValues)
{
    // Drive value ~ Ts^power: times -1, speeds and current rates +1, accelerations +2.
    const struct {
        const char* name;
        int power;
    } kQuantities[] = {{"time_ERR_pos", -1}, {"t_I2t_M", -1},         {"time_Imax_Prot", -1},   {"ErefMaxSpeed", 1},
                       {"ERR_speed", 1},     {"ErefMaxAcceleration", 2}, {"CurrentRamp", 1}, {"LinearAcceleration", 2}};
    const struct {
        const char* slper;
        double ratio;  // new period over old
    } kSteps[] = {{"20", 2.0}, {"5", 0.5}};
    for (const auto& step : kSteps) {
        auto setup = Sample("default.json");
        setup->AddParameter("CurrentRamp", rurorade::FindUnit("A/s")).SetValueInBaseUnit(1000);
        setup->AddParameter("LinearAcceleration", rurorade::FindUnit("m/s^2")).SetValueInBaseUnit(3);
        std::vector<std::pair<double, double>> before;
        for (const auto& q : kQuantities) before.emplace_back(Base(setup.get(), q.name), Internal(setup.get(), q.name));
        Run(setup.get(), std::string("set 1135 \"") + step.slper + "\"\nok\n");
        for (std::size_t i = 0; i < std::size(kQuantities); ++i) {
            const auto& q = kQuantities[i];
            EXPECT_NEAR(Base(setup.get(), q.name), before[i].first, 1e-12 * before[i].first)
                << q.name << " SLPER " << step.slper;
            EXPECT_NEAR(Internal(setup.get(), q.name), before[i].second * std::pow(step.ratio, q.power),
                        1e-9 * std::fabs(before[i].second))
                << q.name << " SLPER " << step.slper;
        }
        EXPECT_NEAR(Base(setup.get(), "I_I2t_D"), 14, 1e-12);  // I2t times still fit: currents unchanged
        EXPECT_TRUE(Reported().empty()) << Reported().front();
    }
}

TEST_F(AdvancedDialog, ValuesTheNewPeriodCannotHoldGoToTheirLimitAndI2tIsAdapted)
{
    // At Ts_S: t_I2t in [2048 Ts, 2^26 Ts], time_ERR_pos <= 32767 Ts, ErefMaxAcceleration <= 32767 pi / (2 * 2500 Ts^2).
    // Types 5 and 6 are skipped, except for accelerations; I_I2t_D keeps I^2 t within [InPS, ImaxPS] = [10, 20] A.
    const struct {
        const char* slper;
        double ts;
        int timeType, accelerationType;
        double errorTimeBefore, i2tTime, i2tCurrent, errorTime;
    } kRows[] = {
        {"100", 5e-3, 0, 0, 0.1, 10.24, 14 * std::sqrt(10 / 10.24), 0.1},
        {"100", 5e-3, 5, 5, 0.1, 10, 14, 0.1},
        {"100", 5e-3, 6, 0, 0.1, 10, 14, 0.1},
        {"255", 12.75e-3, 0, 0, 0.1, 26.112, 10, 0.1},  // 14 * sqrt(10 / 26.112) = 8.66 A is below InPS
        {"5", 0.25e-3, 0, 0, 10, 10, 14, 8.19175},
        {"5", 0.25e-3, 0, 0, 20, 10, 14, 20},  // already outside its range: left alone
    };
    for (const auto& row : kRows) {
        auto setup = Sample("default.json", {{"t_I2t_D", "type", row.timeType},
                                             {"ErefMaxAcceleration", "type", row.accelerationType},
                                             {"ErefMaxAcceleration", "value", 1e6},
                                             {"time_ERR_pos", "value", row.errorTimeBefore}});
        Run(setup.get(), std::string("set 1135 \"") + row.slper + "\"\nok\n");
        const double maxAcceleration = 32767 * 3.141592653589793 / (2 * 2500 * row.ts * row.ts);
        EXPECT_NEAR(Base(setup.get(), "t_I2t_D"), row.i2tTime, 1e-9) << row.slper;
        EXPECT_NEAR(Base(setup.get(), "I_I2t_D"), row.i2tCurrent, 1e-9) << row.slper;
        EXPECT_NEAR(Base(setup.get(), "time_ERR_pos"), row.errorTime, 1e-12) << row.slper;
        EXPECT_NEAR(Base(setup.get(), "ErefMaxAcceleration"), std::min(1e6, maxAcceleration), 1e-6) << row.slper;
        EXPECT_NEAR(Base(setup.get(), "t_I2t_M"), 30, 1e-12);  // fits every period here
        EXPECT_NEAR(Base(setup.get(), "I_I2t_M"), 7.5, 1e-12);
        EXPECT_EQ(trace.str().find("I2t current I_I2t_D would be 8.66") != std::string::npos, row.i2tCurrent == 10)
            << trace.str();
    }
}

TEST_F(AdvancedDialog, PwmFrequencyChangeRecomputesTheDividers)
{
    // Dividers = floor(DSP_freq * T * 0.5 / PWMPER + 0.5) for the periods at opening.
    const struct {
        double dspFreq, pwmBefore;
        const char* pwmKHz;
        double pwmper, clper, slper;
    } kRows[] = {
        {40e6, 10000, "20", 1000, 2, 20},   // Ts_C 100 us, Ts_S 1 ms
        {60e6, 20000, "10", 3000, 1, 5},    // Ts_C 50 us, Ts_S 0.5 ms
        {60e6, 20000, "25", 1200, 1, 13},   // floor(1.75), floor(13)
        {60e6, 20000, "100", 300, 5, 50},   // floor(5.5), floor(50.5)
        {60e6, 20000, "8", 3750, 1, 4},     // floor(0.9) = 0 is no divider: 1
    };
    for (const auto& row : kRows) {
        auto setup = Sample("default.json", {{"DSP_freq", "value", row.dspFreq}, {"PWM_freq", "value", row.pwmBefore}});
        Run(setup.get(), std::string("set 1129 \"") + row.pwmKHz + "\"\nok\n");
        EXPECT_EQ(Base(setup.get(), "PWMPER"), row.pwmper) << row.pwmKHz;
        EXPECT_EQ(Base(setup.get(), "CLPER"), row.clper) << row.pwmKHz;
        EXPECT_EQ(Base(setup.get(), "SLPER"), row.slper) << row.pwmKHz;
        EXPECT_NEAR(Base(setup.get(), "Ts_C"), 2 * row.clper * row.pwmper / row.dspFreq, 1e-15);
        EXPECT_NEAR(Base(setup.get(), "Ts_S"), 2 * row.slper * row.pwmper / row.dspFreq, 1e-15);
        EXPECT_NEAR(Base(setup.get(), "PWMperiod"), 2 * row.pwmper / row.dspFreq, 1e-15);
    }
}

TEST_F(AdvancedDialog, PwmFrequencyTheDriveCannotTakeIsRefused)
{
    auto setup = Sample("default.json", {{"PWM_freq", "min", 0}});
    Run(setup.get(), "set 1129 \"0\"\nexpect-text 1129 \"20\"\nexpect-param PWMPER 1500\nexpect-param CLPER 1\nok\n");
    EXPECT_NE(trace.str().find("The drive cannot work with a PWM frequency of 0 Hz"), std::string::npos) << trace.str();
}

TEST_F(AdvancedDialog, ClperAboveSlperRaisesTheSlowLoop)
{
    // SLPER 12: Ts_S 0.6 ms, so t_I2t_D >= 2048 * 0.6 ms = 1.2288 s.
    auto setup = Sample("default.json", {{"t_I2t_D", "value", 1.1}});
    Run(setup.get(), "set 1132 \"12\"\nexpect-param SLPER 12\nexpect-text 1144 \"0.6\"\nok\n");
    EXPECT_NEAR(Base(setup.get(), "t_I2t_D"), 1.2288, 1e-12);
    EXPECT_NEAR(Base(setup.get(), "I_I2t_D"), 14 * std::sqrt(1.1 / 1.2288), 1e-12);
}

TEST_F(AdvancedDialog, PeriodsBelowTheMinimumTurnRedAndOkIsRefused)
{
    // Ts_C_min 25 us, Ts_S_min 100 us. At 50 kHz CLPER 1 gives 20 us; SLPER 1 gives 50 us at 20 kHz.
    const char* fast = "The minimum value for Fast loop sampling period is 0.025000 ms!\nAdjust the PWM frequency and/or "
                       "the X loop sampling frequency divider until this condition is fulfilled!";
    const char* slow = "The minimum value for Slow loop sampling period is 0.100000 ms!\nAdjust the PWM frequency and/or "
                       "the X loop sampling frequency divider until this condition is fulfilled!";
    const struct {
        const char* script;
        int fastColour, slowColour;
        const char* message;
    } kRows[] = {
        {"set 1129 \"50\"\nset 1132 \"1\"\nexpect-visible 1148\nexpect-hidden 1149\nok\nexpect-dialog 110\ncancel\n",
         kRed, kBlack, fast},
        {"set 1135 \"1\"\nexpect-hidden 1148\nexpect-visible 1149\nok\nexpect-dialog 110\ncancel\n", kBlack, kRed, slow},
        {"set 1135 \"1\"\nset 1135 \"2\"\nexpect-hidden 1149\nok\n", kBlack, kBlack, nullptr},
    };
    for (const auto& row : kRows) {
        auto setup = Sample("default.json");
        EXPECT_EQ(Run(setup.get(), row.script), row.message ? rurorade::IDCANCEL : rurorade::IDOK);
        EXPECT_EQ(dlg->GetLabelColour(kLabelClper), row.fastColour);
        EXPECT_EQ(dlg->GetLabelColour(kLabelTsC), row.fastColour);
        EXPECT_EQ(dlg->GetLabelColour(kLabelSlper), row.slowColour);
        EXPECT_EQ(dlg->GetLabelColour(kLabelTsS), row.slowColour);
        EXPECT_EQ(dlg->GetLabelColour(kFastOutside), kRed);
        if (row.message) {
            EXPECT_EQ(rurorade::UiContext::Get().LastMessage(), row.message);
        } else {
            EXPECT_EQ(trace.str().find("message "), std::string::npos) << trace.str();
        }
    }
}

TEST_F(AdvancedDialog, ShowEnableRulesFollowTheControlScheme)
{
    const struct {
        double mode, pct;
        const char* bitmap;
        bool schemeShown, loopEnabled, feedforward, speedLoop;
    } kRows[] = {
        {0, 1, "3016", true, true, true, true},
        {0, 0, "3017", true, true, true, false},
        {1, 0, "3060", false, true, true, false},
        {2, 0, "3061", false, false, false, false},
    };
    for (const auto& row : kRows) {
        auto setup = Sample("default.json", {{"ControlMode", "value", row.mode}, {"PositionControlType", "value", row.pct}});
        Run(setup.get(), "click 10024\ncancel\n");
        EXPECT_EQ(dlg->GetControl(kPicture)->image, row.bitmap);
        EXPECT_EQ(dlg->GetControl(kPositionSpeed)->visible, row.schemeShown);
        EXPECT_EQ(dlg->GetControl(kFastLoop)->enabled, row.loopEnabled);
        EXPECT_EQ(dlg->GetControl(kGroupFeedforward)->enabled, row.feedforward);
        EXPECT_EQ(dlg->GetControl(kFeedforwardCurrentLoop)->enabled, row.feedforward);
        EXPECT_EQ(dlg->GetControl(kFeedforwardSpeedLoop)->enabled, row.speedLoop);
        EXPECT_EQ(dlg->GetControl(kSpeedEstimator)->enabled, false);  // default.json has no estimator
    }
    EXPECT_NE(trace.str().find("context 262419"), std::string::npos);

    auto full = Sample("full.json");
    Run(full.get(), "expect-enabled 3356\nexpect-enabled 3378\nexpect-disabled 3381\nclick 3378\nexpect-enabled 3381\n"
                    "expect-enabled 3384\nclick 3345\ncancel\n");
    EXPECT_EQ(dlg->GetControl(kPicture)->image, "3016");
    EXPECT_TRUE(Reported().empty()) << Reported().front();
    auto noFastLoop = Sample("default.json", {{"PosSpd_in_FastLoop", nullptr, nullptr}});
    Run(noFastLoop.get(), "expect-hidden 1146\nexpect-hidden 1147\nexpect-hidden 3751\ncancel\n");
}

TEST_F(AdvancedDialog, CancelLeavesTheSetupAsItWasOpened)
{
    auto setup = Sample("default.json");
    const std::string before = rurorade::SaveSetupText(*setup);
    EXPECT_EQ(Run(setup.get(), "set 1129 \"25\"\nset 1135 \"100\"\nset 1132 \"3\"\ncancel\n"), rurorade::IDCANCEL);
    EXPECT_TRUE(rurorade::SaveSetupText(*setup) == before) << "cancel left changes in the setup";
}

TEST_F(AdvancedDialog, OkOfTheCallerClearsFeedforwardThatDoesNotApply)
{
    const struct {
        double mode, pct, fastLoop, kffs, kffa;
    } kRows[] = {{0, 0, 0, 0, 0.5}, {0, 0, 1, 0, 0}, {0, 1, 1, 1, 0.5}, {1, 0, 1, 1, 0.5}};
    for (const auto& row : kRows) {
        auto setup = Sample("default.json", {{"ControlMode", "value", row.mode},
                                             {"PositionControlType", "value", row.pct},
                                             {"PosSpd_in_FastLoop", "value", row.fastLoop}});
        CAdvancedDialog::ClearUnusedFeedforward(setup.get());
        EXPECT_EQ(Base(setup.get(), "KFFS_scl"), row.kffs);
        EXPECT_EQ(Base(setup.get(), "KFFA_scl"), row.kffa);
    }
}

}  // namespace
