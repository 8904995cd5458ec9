#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>

#include "rurorade/host_errors.h"
#include "rurorade/setup_document.h"

namespace {

using rurorade::LoadSetupText;
using rurorade::SaveSetupText;

std::unique_ptr<CMC_Setup> Load(const std::string& text, std::string& error)
{
    return LoadSetupText(text, "sample.json", error);
}

TEST(SetupDocument, SampleSetupsRoundTripExactly)
{
    for (const char* file : {"default.json"}) {
        std::string error;
        auto setup = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/" + file, error);
        ASSERT_TRUE(setup) << error;
        const std::string once = SaveSetupText(*setup);
        auto again = Load(once, error);
        ASSERT_TRUE(again) << error;
        EXPECT_EQ(SaveSetupText(*again), once) << file;
    }
}

TEST(SetupDocument, NumbersOrderAndExtrasSurvive)
{
    const std::string text = R"({"schema":"zeksetup-1","description":"d","adcMax":4095,
      "options":{"z":"1","a":"text"},
      "parameters":{
        "Zeta":{"value":0.30000000000000004,"unit":"A","min":-1e-300,"max":5e300},
        "Alpha":{"value":"NaN"},
        "Mid":{"value":"-Infinity","unit":"rpm","type":5}},
      "variables":{"MER":{}},
      "io":{"brakeOutputs":[{"port":1,"pin":40},{"port":2,"pin":41}]}})";
    std::string error;
    auto setup = Load(text, error);
    ASSERT_TRUE(setup) << error;
    ASSERT_EQ(setup->Parameters().size(), 3u);
    EXPECT_EQ(setup->Parameters()[0]->GetName(), "Zeta");
    EXPECT_EQ(setup->Parameters()[2]->GetName(), "Mid");
    EXPECT_EQ(setup->Options()[0].first, "z");
    EXPECT_EQ(Compute_ADCMaxValue(setup.get()), 4095u);

    auto again = Load(SaveSetupText(*setup), error);
    ASSERT_TRUE(again) << error;
    CMC_Parameter* zeta = again->FindParameter("Zeta");
    EXPECT_EQ(zeta->GetValueInBaseUnit(), 0.1 + 0.2);
    EXPECT_EQ(zeta->GetMinInBaseUnit(), -1e-300);
    EXPECT_EQ(zeta->GetMaxInBaseUnit(), 5e300);
    EXPECT_TRUE(std::isnan(again->FindParameter("Alpha")->GetValueInBaseUnit()));
    EXPECT_EQ(again->FindParameter("Mid")->GetValueInBaseUnit(), -HUGE_VAL);
    EXPECT_EQ(again->FindParameter("Mid")->GetType(), 5);
    EXPECT_EQ(again->FindParameter("Mid")->GetUnit().name, "rpm");
    EXPECT_NE(SaveSetupText(*again).find("brakeOutputs"), std::string::npos);
    EXPECT_EQ(again->GetNumberOfBrakeOutputs(), 2);
    EXPECT_EQ(again->GetIOPinFromPort(2), 41);
    EXPECT_EQ(again->GetIOPortFromPin(40), 1);
    EXPECT_EQ(again->GetIOPortFromPin(7), 7);  // unmapped numbers map to themselves
}

TEST(SetupDocument, MalformedDocumentsAreRefusedWithThePlace)
{
    struct Case {
        const char* text;
        const char* mentions;
    } cases[] = {
        {"{not json", "not valid JSON"},
        {R"({"schema":"zeksetup-2"})", "schema"},
        {R"([1,2])", "object"},
        {R"({"schema":"zeksetup-1","parameters":{"Vdc":{"value":"48"}}})", "parameters.Vdc.value"},
        {R"({"schema":"zeksetup-1","parameters":{"Vdc":{"unit":"V"}}})", "parameters.Vdc.value"},
        {R"({"schema":"zeksetup-1","parameters":{"Vdc":{"value":1,"min":9,"max":2}}})", "parameters.Vdc: min is above max"},
        {R"({"schema":"zeksetup-1","parameters":{"Vdc":{"value":1,"unit":"furlong"}}})", "parameters.Vdc.unit"},
        {R"({"schema":"zeksetup-1","options":{"x":1}})", "options.x"},
        {R"({"schema":"zeksetup-1","adcMax":-3})", "adcMax"},
        {R"({"schema":"zeksetup-1","parameters":{"A":{"value":1,"type":1.5}}})", "parameters.A.type"},
        {R"({"schema":"zeksetup-1","io":{"brakeOutputs":[{"port":1}]}})", "io.brakeOutputs[0]"},
    };
    for (const Case& c : cases) {
        std::string error;
        EXPECT_FALSE(Load(c.text, error)) << c.text;
        EXPECT_NE(error.find("sample.json"), std::string::npos) << error;
        EXPECT_NE(error.find(c.mentions), std::string::npos) << error;
    }
}

// Documents that cannot be kept exactly are refused with the place: a number no double holds, a
// member given twice, a NUL in a name or an option's text, a whole number beyond 32 bits, and
// nesting beyond 64 levels (which would otherwise overflow the stack when copied).
TEST(SetupDocument, WhatCannotBeKeptExactlyIsRefused)
{
    struct Case {
        const char* file;
        const char* message;
    } cases[] = {
        {"number_overflow.json", "parameters.Vdc.value: not valid JSON at byte 57: [json.exception.out_of_range.406] number overflow parsing '1e400'"},
        {"duplicate_member.json", "parameters.Vdc: duplicate member \"Vdc\""},
        {"nul_in_option.json", "options.NewDeadBand: the option's text contains a NUL character"},
        {"type_out_of_range.json", "parameters.R.type: must be a whole number from -2147483648 to 2147483647"},
        {"pin_out_of_range.json", "io.brakeOutputs[0].pin: must be a whole number from -2147483648 to 2147483647"},
    };
    for (const Case& c : cases) {
        const std::string path = std::string(ZEK_INPUTS_DIR) + "/" + c.file;
        std::string error;
        EXPECT_FALSE(rurorade::LoadSetupFile(path, error)) << c.file;
        EXPECT_EQ(error, path + ": " + c.message);
    }
    std::string error;
    const std::string deep = R"({"schema":"zeksetup-1","x":)" + std::string(10000, '[') + std::string(10000, ']') + "}";
    EXPECT_FALSE(Load(deep, error));
    EXPECT_NE(error.find(": nested deeper than 64 levels"), std::string::npos) << error.substr(0, 200);
    const std::string nested63 = R"({"schema":"zeksetup-1","x":)" + std::string(62, '[') + std::string(62, ']') + "}";
    auto kept = Load(nested63, error);
    ASSERT_TRUE(kept) << error;
    EXPECT_EQ(SaveSetupText(*Load(SaveSetupText(*kept), error)), SaveSetupText(*kept));
    EXPECT_FALSE(rurorade::LoadSetupFile(ZEK_INPUTS_DIR, error));
    EXPECT_EQ(error, std::string(ZEK_INPUTS_DIR) + ": is a folder, not a setup document");
}

// Loading takes time in proportion to the document: 100 000 parameters well inside a second
// (the benchmark measures the time per parameter from 200 to 200 000).
TEST(SetupDocument, LoadingIsLinear)
{
    std::string text = R"({"schema":"zeksetup-1","parameters":{)";
    for (int i = 0; i < 100000; ++i) text += (i ? "," : "") + std::string("\"P") + std::to_string(i) + R"(":{"value":)" + std::to_string(i) + "}";
    text += "}}";
    std::string error;
    const auto start = std::chrono::steady_clock::now();
    auto setup = Load(text, error);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ASSERT_TRUE(setup) << error;
    EXPECT_EQ(setup->Parameters().back()->GetName(), "P99999");
    EXPECT_LT(seconds, 5.0);  // quadratic took minutes; the margin is for sanitizer builds
}

TEST(SetupDocument, SaveNeverLeavesAHalfWrittenFile)
{
    std::string error;
    auto setup = Load(R"({"schema":"zeksetup-1","parameters":{"A":{"value":1}}})", error);
    ASSERT_TRUE(setup);
    const auto dir = std::filesystem::temp_directory_path() / ("zek_save_test_" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string path = (dir / "out.json").string();
    // A link someone placed where a fixed temporary name would be, and a file of that name, are
    // left alone; the mode of the file replaced is kept; nothing else is left in the folder.
    const auto victim = dir / "victim";
    std::ofstream(victim) << "keep";
    std::filesystem::create_symlink(victim, path + ".tmp");
    std::ofstream(dir / "out.json.tmp.old") << "mine";
    std::ofstream(path) << "{}";
    std::filesystem::permissions(path, std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    ASSERT_TRUE(rurorade::SaveSetupFile(*setup, path, error)) << error;
    EXPECT_TRUE(rurorade::LoadSetupFile(path, error)) << error;
    EXPECT_EQ(std::filesystem::status(path).permissions() & std::filesystem::perms::all,
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::string kept;
    std::ifstream(victim) >> kept;
    EXPECT_EQ(kept, "keep");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator()), 4);
    EXPECT_FALSE(rurorade::SaveSetupFile(*setup, (dir / "missing" / "out.json").string(), error));
    std::filesystem::remove_all(dir);
}

TEST(SetupModel, LookupsReportMissingNamesOnlyWhileErrorsShown)
{
    std::string error;
    auto setup = Load(R"({"schema":"zeksetup-1","parameters":{"A":{"value":2}},"variables":{"V":{}}})", error);
    ASSERT_TRUE(setup);
    const int saved = g_bShowErrors;
    rurorade::ErrorSink().Clear();
    g_bShowErrors = 1;
    EXPECT_EQ(setup->FindParameter("B"), nullptr);
    EXPECT_EQ(setup->FindVariable("W", 1), nullptr);
    EXPECT_NE(setup->FindParameter("A"), nullptr);
    g_bShowErrors = 0;
    EXPECT_EQ(setup->FindParameter("C"), nullptr);
    g_bShowErrors = saved;
    ASSERT_EQ(rurorade::ErrorSink().reported.size(), 2u);
    EXPECT_NE(rurorade::ErrorSink().reported[0].find("\"B\""), std::string::npos);
    EXPECT_NE(rurorade::ErrorSink().reported[1].find("\"W\""), std::string::npos);
    EXPECT_NE(std::string(GetLastErrorText()).find("\"C\""), std::string::npos);
}

TEST(SetupModel, SnapshotRestoresValuesLimitsUnitsAndOptions)
{
    std::string error;
    auto setup = Load(R"({"schema":"zeksetup-1","options":{"a":"1"},
      "parameters":{"P":{"value":2,"unit":"rot","min":0,"max":9}}})", error);
    ASSERT_TRUE(setup);
    auto snap = setup->TakeSnapshot();
    CMC_Parameter* p = setup->FindParameter("P");
    p->SetValueInBaseUnit(7);
    p->SetMinInBaseUnit(-3);
    p->ChangeUnitType("mm");
    setup->SetOption("a", "0");
    setup->SetOption("b", "x");
    setup->Restore(*snap);
    EXPECT_EQ(p->GetValueInBaseUnit(), 2);
    EXPECT_EQ(p->GetMinInBaseUnit(), 0);
    EXPECT_EQ(p->GetUnit().name, "rot");
    EXPECT_EQ(setup->GetOptionNoError("a"), "1");
    EXPECT_FALSE(setup->HasOption("b"));
}

TEST(SetupModel, OptionsAndUnits)
{
    CMC_Setup setup;
    EXPECT_EQ(setup.GetIntOption("absent"), 0);
    EXPECT_EQ(setup.GetOptionNoError("absent"), "");
    setup.SetOption("n", "12");
    EXPECT_EQ(setup.GetIntOption("n"), 12);
    setup.ClearOption("n");
    EXPECT_FALSE(setup.HasOption("n"));

    CMC_Parameter& p = setup.AddParameter("Speed", rurorade::FindUnit("rpm"));
    p.SetValueInDisplayUnit(60);
    EXPECT_DOUBLE_EQ(p.GetValueInBaseUnit(), 2 * 3.141592653589793);
    EXPECT_EQ(p.ChangeUnitType("furlong"), 0);
    EXPECT_EQ(p.ChangeUnitType("m/s"), 1);
    EXPECT_EQ(p.GetUnit().baseName, "m/s");
    // Windows-1252 degree sign names the same temperature unit.
    EXPECT_EQ(rurorade::FindUnit("\xB0" "C"), rurorade::FindUnit("\xC2\xB0" "C"));
}

}  // namespace
