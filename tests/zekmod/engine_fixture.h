#pragma once
// Test helpers for the engine: setups from inline JSON with the module's own scale exports
// installed as the host's internal-unit conversion, and a record of reported lookup errors.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "module/exports.h"
#include "rurorade/drive_link.h"
#include "rurorade/host_errors.h"
#include "rurorade/setup_document.h"
#include "rurorade/ui.h"

namespace zektest {

inline std::unique_ptr<CMC_Setup> SetupFromJson(const std::string& json)
{
    rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
    std::string error;
    auto setup = rurorade::LoadSetupText(json, "test setup", error);
    EXPECT_TRUE(setup) << error;
    return setup;
}

inline std::unique_ptr<CMC_Setup> SampleSetup(const std::string& file)
{
    rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
    std::string error;
    auto setup = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/" + file, error);
    EXPECT_TRUE(setup) << error;
    return setup;
}

// Builds `{"schema":"zeksetup-1", "adcMax":..., "parameters": {<params>}, ...}`.
// `params` is the inside of the parameters object, e.g. R"("Vdc": {"value": 48})".
inline std::string Doc(const std::string& params, const std::string& variables = "", const std::string& options = "",
                       unsigned adcMax = 65520)
{
    return R"({"schema":"zeksetup-1","adcMax":)" + std::to_string(adcMax) + R"(,"options":{)" + options +
           R"(},"parameters":{)" + params + R"(},"variables":{)" + variables + "}}";
}

// Resets the host's error state for a test and restores g_bShowErrors and the module flag afterwards.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        m_savedShow = g_bShowErrors;
        g_bShowErrors = 1;
        g_bKufSinusoidalMode = 0;
        rurorade::ErrorSink().Clear();
    }
    void TearDown() override
    {
        g_bShowErrors = m_savedShow;
        g_bKufSinusoidalMode = 0;
    }
    const std::vector<std::string>& Reported() const { return rurorade::ErrorSink().reported; }

private:
    int m_savedShow = 1;
};

// An engine test whose dialogs run on a virtual clock; the UI driver is cleared afterwards.
class DialogTest : public EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        rurorade::UiContext::Get().SetClock(&clock);
    }
    void TearDown() override
    {
        rurorade::UiContext::Get().SetDriver(nullptr);
        rurorade::UiContext::Get().SetClock(nullptr);
        EngineTest::TearDown();
    }
    rurorade::VirtualClock clock;
};

// A drive link that records the parameters written to it (internal units); all else fails.
class RecordingLink : public rurorade::DriveLink {
public:
    bool WriteParameter(const CMC_Parameter& p) override
    {
        written.emplace_back(p.GetName(), p.GetValueInInternalUnit());
        return true;
    }
    bool ReadVariable(CMC_Variable&) override { return false; }
    bool WriteVariable(const CMC_Variable&) override { return false; }
    bool SetUserVariable(const std::string&, const std::string&, double) override { return false; }
    bool GetUserVariable(const std::string&, const std::string&, double&) override { return false; }
    bool StartProgram(const std::string&, const std::string&, const rurorade::LoggerRequest*) override { return false; }
    bool GetAxisOn(bool&) override { return false; }
    bool UploadLog(std::vector<std::vector<double>>&) override { return false; }
    bool ExecuteString(const std::string&) override { return false; }
    bool StopProgram() override { return false; }
    std::string GetLastErrorText() const override { return "offline"; }
    std::vector<std::pair<std::string, double>> written;
};

}  // namespace zektest
