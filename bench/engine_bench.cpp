// Per-call cost of what a host does most: scale conversions and parameter lookups.
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "module/exports.h"
#include "rurorade/setup_document.h"

namespace {

CMC_Setup& DefaultSetup()
{
    static std::unique_ptr<CMC_Setup> setup = [] {
        rurorade::SetScaleProvider({&GetScaleFactor, &GetScaleOffset});
        std::string error;
        auto s = rurorade::LoadSetupFile(std::string(ZEK_SETUPS_DIR) + "/default.json", error);
        if (!s) throw std::runtime_error(error);
        return s;
    }();
    return *setup;
}

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

}  // namespace

BENCHMARK_MAIN();
