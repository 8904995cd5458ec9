// Per-call cost of what a host does most: scale conversions and parameter lookups.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"
#include "module/exports.h"
#include "rurorade/setup_document.h"

namespace {

std::unique_ptr<CMC_Setup> Load(const char* file)
{
    rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
    std::string error;
    auto s = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/" + file, error);
    if (!s) throw std::runtime_error(error);
    return s;
}

CMC_Setup& DefaultSetup()
{
    static std::unique_ptr<CMC_Setup> setup = Load("default.json");
    return *setup;
}

CMC_Setup& FullSetup()
{
    static std::unique_ptr<CMC_Setup> setup = Load("full.json");
    return *setup;
}

// A whole-setup operation per call, with the parameter and variable lookups it makes.
void WholeSetup(benchmark::State& state, void (*operation)(CMC_Setup*), bool full)
{
    CMC_Setup& setup = full ? FullSetup() : DefaultSetup();
    const auto before = setup.LookupCount();
    operation(&setup);
    state.counters["lookups"] = static_cast<double>(setup.LookupCount() - before);
    for (auto _ : state) operation(&setup);
}
BENCHMARK_CAPTURE(WholeSetup, EncodeRegisters_default, EncodeRegisters, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeSetup, DecodeRegisters_default, DecodeRegisters, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeSetup, ComputeAllOptions_default, ComputeAllOptions, false)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeSetup, EncodeRegisters_full, EncodeRegisters, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeSetup, DecodeRegisters_full, DecodeRegisters, true)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(WholeSetup, ComputeAllOptions_full, ComputeAllOptions, true)->Unit(benchmark::kMicrosecond);

void ScaleFactor(benchmark::State& state, const char* unit, const char* name)
{
    CMC_Setup& setup = DefaultSetup();
    for (auto _ : state) benchmark::DoNotOptimize(GetScaleFactor(&setup, unit, name));
}
BENCHMARK_CAPTURE(ScaleFactor, current_A, "A", "Motor_Current");
BENCHMARK_CAPTURE(ScaleFactor, load_speed_rad_s, "rad/s", "Load_Speed");
BENCHMARK_CAPTURE(ScaleFactor, tinctst_worst_row, "rad/s", "TINCTST");
BENCHMARK_CAPTURE(ScaleFactor, temperature, "\xC2\xB0" "C", "Drive_Temperature");
BENCHMARK_CAPTURE(ScaleFactor, unknown_unit, "rpm", "Motor_Speed");

void ParameterLookup(benchmark::State& state)
{
    CMC_Setup& setup = DefaultSetup();
    for (auto _ : state) benchmark::DoNotOptimize(setup.FindParameter("No_encoder_lines"));
}
BENCHMARK(ParameterLookup);

void ValueInInternalUnit(benchmark::State& state)
{
    CMC_Setup& setup = DefaultSetup();
    for (auto _ : state) benchmark::DoNotOptimize(setup.GetParameterValueInInternalUnit("ImaxPS"));
}
BENCHMARK(ValueInInternalUnit);

// Loading a document of N parameters: the time per parameter ("s_per_parameter") should not grow with N.
void LoadDocument(benchmark::State& state)
{
    const auto n = static_cast<int>(state.range(0));
    std::string text = R"({"schema":"zeksetup-1","parameters":{)";
    for (int i = 0; i < n; ++i)
        text += (i ? "," : "") + std::string("\"Parameter_") + std::to_string(i) +
                R"(":{"value":)" + std::to_string(i * 0.25) + R"(,"unit":"A","min":0,"max":1e6})";
    text += "}}";
    for (auto _ : state) {
        std::string error;
        auto setup = rurorade::LoadSetupText(text, "bench", error);
        if (!setup) state.SkipWithError(error.c_str());
        benchmark::DoNotOptimize(setup);
    }
    state.counters["s_per_parameter"] =
        benchmark::Counter(static_cast<double>(n), benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(LoadDocument)->Arg(200)->Arg(2000)->Arg(20000)->Arg(200000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
