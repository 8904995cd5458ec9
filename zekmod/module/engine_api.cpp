#include "module/engine_api.h"

#include <cstring>

#include "commissioning/my_test_dlg.h"
#include "commissioning/test_rl.h"
#include "commissioning/test_vdc_detection.h"
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

int RunCommissioningTest(CMC_Setup* setup, const char* name)
{
    if (name == nullptr) return -1;
    if (std::strcmp(name, "vdc") == 0) {
        CTestVdcDetection test(setup, nullptr);
        return test.DoModal();
    }
    if (std::strcmp(name, "rl") == 0) {
        // The voltage command scale takes its sinusoidal form while this test is open.
        return RunWithSinusoidalMode([&] {
            CTestRL test(setup, nullptr);
            return test.DoModal();
        });
    }
    return -1;
}

constexpr EngineApi kApi = {kEngineApiVersion, &EncodeRegisters, &DecodeRegisters, &ComputeAllFilters, &RunEncodeStep,
                            &RunCommissioningTest};

}  // namespace

const EngineApi* GetEngineApi() { return &kApi; }

}  // namespace zekmod
