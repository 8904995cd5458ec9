// The plug-in contract: the host loads libzekmod.so by path and finds its five exports.
#include <gtest/gtest.h>

#include <sstream>

#include "rurorade/module_loader.h"
#include "rurorade/script_driver.h"
#include "rurorade/setup_document.h"

namespace {

class Plugin : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string error;
        ASSERT_TRUE(module.Load(ZEKMOD_PATH, error)) << error;
        setup = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/default.json", error);
        ASSERT_TRUE(setup) << error;
    }
    rurorade::ModuleLoader module;
    std::unique_ptr<CMC_Setup> setup;
};

TEST_F(Plugin, ExportsAreFoundAndCallable)
{
    ASSERT_NE(module.EditSetup, nullptr);
    ASSERT_NE(module.ComputeAllOptions, nullptr);
    ASSERT_NE(module.g_bKufSinusoidalMode, nullptr);
    EXPECT_EQ(*module.g_bKufSinusoidalMode, 0);

    module.ComputeAllOptions(nullptr);  // must do nothing
    EXPECT_EQ(module.GetScaleFactor(setup.get(), "furlong", "x"), 1.0);
    EXPECT_EQ(module.GetScaleOffset(setup.get(), "V"), 0.0);
    EXPECT_EQ(module.GetScaleFactor(nullptr, "A", "x"), 1.0);
    // 65520 counts span twice ImaxPS (20 A).
    EXPECT_DOUBLE_EQ(module.GetScaleFactor(setup.get(), "A", "IQ"), 40.0 / 65520);
}

TEST_F(Plugin, TheExportedFlagSwitchesTheVoltageCommandScale)
{
    setup->SetParameterValueInBaseUnit("CommutationMethod", 0);
    const double trapezoidal = module.GetScaleFactor(setup.get(), "V", "UQREF");
    *module.g_bKufSinusoidalMode = 1;
    const double forced = module.GetScaleFactor(setup.get(), "V", "UQREF");
    *module.g_bKufSinusoidalMode = 0;
    EXPECT_NE(trapezoidal, forced);
    EXPECT_DOUBLE_EQ(forced, 1.1 * 48 / 65534);
}

TEST_F(Plugin, TheHostConvertsInternalUnitsThroughTheLoadedModule)
{
    CMC_Parameter* imax = setup->FindParameter("ImaxPS");
    EXPECT_DOUBLE_EQ(imax->GetValueInInternalUnit(), 20 * 65520 / 40.0);
}

TEST_F(Plugin, EditSetupReturnsOneForOkAndZeroOtherwise)
{
    rurorade::VirtualClock clock;
    rurorade::UiContext::Get().SetClock(&clock);
    for (auto [script, expected] : {std::pair{"ok\n", 1}, {"cancel\n", 0}, {"", 0}, {"wait 100\nexpect-dialog 108\nok\nok\n", 1}}) {
        std::ostringstream trace;
        rurorade::ScriptDriver driver(trace);
        std::string error;
        ASSERT_TRUE(driver.LoadText(script, "script", error)) << error;
        rurorade::UiContext::Get().SetDriver(&driver);
        EXPECT_EQ(module.EditSetup(setup.get()), expected) << script << trace.str();
        EXPECT_EQ(driver.Failure(), "");
        rurorade::UiContext::Get().SetDriver(nullptr);
    }
    rurorade::UiContext::Get().SetClock(nullptr);
}

TEST(PluginLoader, RefusesAMissingFileOrExport)
{
    rurorade::ModuleLoader loader;
    std::string error;
    EXPECT_FALSE(loader.Load("/nonexistent/libzekmod.so", error));
    EXPECT_NE(error.find("cannot load"), std::string::npos);
    EXPECT_FALSE(loader.Load("libc.so.6", error));
    EXPECT_NE(error.find("EditSetup"), std::string::npos);
    EXPECT_FALSE(loader.IsLoaded());
}

}  // namespace
