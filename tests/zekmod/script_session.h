#pragma once
// Dialog tests driven by scripts: sample setups edited as JSON before loading, and one scripted
// modal run whose checks must all hold.
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>

#include "engine_fixture.h"
#include "rurorade/script_driver.h"

namespace zektest {

// A sample setup of the setups folder as JSON, for a test to change and load with SetupFromJson.
inline nlohmann::ordered_json SampleJson(const std::string& file = "default.json")
{
    return nlohmann::ordered_json::parse(rurorade::SaveSetupText(*SampleSetup(file)));
}

inline std::unique_ptr<CMC_Setup> SetupFromJson(const nlohmann::ordered_json& json) { return SetupFromJson(json.dump()); }

// Plays `script` while `modal` runs a dialog; every check of the script must hold and, with
// `toEnd`, every line must have run. `trace` is emptied first and keeps the session's record.
inline int PlayScript(const std::string& script, std::ostringstream& trace, const std::function<int()>& modal,
                      bool toEnd = true)
{
    trace.str("");
    rurorade::ScriptDriver driver(trace);
    std::string error;
    EXPECT_TRUE(driver.LoadText(script, "script", error)) << error;
    rurorade::UiContext::Get().SetDriver(&driver);
    const int result = modal();
    rurorade::UiContext::Get().SetDriver(nullptr);
    EXPECT_EQ(driver.Failure(), "") << trace.str();
    if (toEnd) {
        EXPECT_TRUE(driver.RanToEnd()) << trace.str();
    }
    return result;
}

// PlayScript on a new `Dialog` of `setup`.
template <class Dialog>
int PlayDialog(CMC_Setup* setup, const std::string& script, std::ostringstream& trace, bool toEnd = true)
{
    return PlayScript(script, trace, [&] { return Dialog(setup, nullptr).DoModal(); }, toEnd);
}

}  // namespace zektest
