#include "module/engine_api.h"

#include <cstring>

#include "commissioning/analogue_reference_check.h"
#include "commissioning/current_tuning.h"
#include "commissioning/speed_tuning.h"
#include "commissioning/position_tuning.h"
#include "commissioning/angle_tuning.h"
#include "engine/derived_quantities.h"
#include "commissioning/encoder_connections_check.h"
#include "commissioning/encoder_resolution_detection.h"
#include "commissioning/hall_configuration_detection.h"
#include "commissioning/hall_signals_check.h"
#include "commissioning/inertia_identification.h"
#include "commissioning/my_test_dlg.h"
#include "commissioning/phase_connection_check.h"
#include "commissioning/pole_pairs_detection.h"
#include "commissioning/rl_identification.h"
#include "commissioning/vdc_detection.h"
#include "engine/biquad_designer.h"
#include "engine/decode_drive_config.h"
#include "engine/encode_drive_config.h"

namespace zekmod {
namespace {

void ComputeAllFilters(CMC_Setup* setup)
{
    BiquadDesigner designer;
    designer.ComputeAllFilters(setup);
}

int RunEncodeStep(CMC_Setup* setup, const char* name)
{
    EncodeStep step = FindEncodeStep(name);
    return step ? step(setup) : -1;
}

template <class Test>
int Show(CMC_Setup* setup)
{
    Test test(setup, nullptr);
    return test.DoModal();
}

// A tuning test opened as the Drive Setup dialog opens it: registers encoded and decoded around it.
template <class Test>
int ShowTuning(CMC_Setup* setup, bool limits)
{
    EncodeRegisters(setup);
    DecodeRegisters(setup);
    if (limits) ComputeParameterLimits(setup);
    Test test(setup, 1, nullptr);
    const int result = test.DoModal();
    if (result == rurorade::IDOK) {
        EncodeRegisters(setup);
        DecodeRegisters(setup);
    }
    return result;
}

int ShowCurrentTuning(CMC_Setup* setup)
{
    return RunWithSinusoidalMode([&] { return ShowTuning<CTestCurrent>(setup, false); });
}
int ShowSpeedTuning(CMC_Setup* setup) { return ShowTuning<CTestSpeedTuning>(setup, true); }
int ShowPositionTuning(CMC_Setup* setup) { return ShowTuning<CTestPositionTuning>(setup, false); }
int ShowAngleTuning(CMC_Setup* setup) { return ShowTuning<CTestAngle>(setup, false); }

// The tests a host can run by name.
constexpr struct {
    const char* name;
    int (*show)(CMC_Setup*);
} kTests[] = {
    {"vdc", Show<CTestVdcDetection>},
    {"inertia", Show<CTotalInertiaTest>},
    {"phase", Show<CTestPhaseConnections>},
    {"pole-pairs", Show<CDetectPolePairs>},
    {"hall-signals", Show<CTestHallSignals>},
    {"hall-config", Show<CTestHallConfiguration>},
    {"encoder", Show<CTestEncoderConnections>},
    {"encoder-resolution", Show<CDetectEncoderResolution>},
    {"analogue", Show<CTestAnalogueRef>},
    {"current", ShowCurrentTuning},
    {"speed", ShowSpeedTuning},
    {"position", ShowPositionTuning},
    {"angle", ShowAngleTuning},
};

int RunCommissioningTest(CMC_Setup* setup, const char* name)
{
    if (name == nullptr) return -1;
    if (std::strcmp(name, "rl") == 0) {
        // The voltage command scale takes its sinusoidal form while this test is open.
        return RunWithSinusoidalMode([&] { return Show<CTestRL>(setup); });
    }
    for (const auto& test : kTests)
        if (std::strcmp(name, test.name) == 0) return test.show(setup);
    return -1;
}

constexpr EngineApi kApi = {kEngineApiVersion, &EncodeRegisters, &DecodeRegisters, &ComputeAllFilters, &RunEncodeStep,
                            &RunCommissioningTest};

}  // namespace

const EngineApi* GetEngineApi() { return &kApi; }

}  // namespace zekmod
