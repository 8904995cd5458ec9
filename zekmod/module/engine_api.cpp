#include "module/engine_api.h"

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

constexpr EngineApi kApi = {kEngineApiVersion, &EncodeRegisters, &DecodeRegisters, &ComputeAllFilters, &RunEncodeStep};

}  // namespace

const EngineApi* GetEngineApi() { return &kApi; }

}  // namespace zekmod
