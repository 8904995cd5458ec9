#pragma once
// Engine entry points for host tools (the command line's encode, decode and biquad commands).
// A C++ (decorated) export beside the plug-in's undecorated ones; hosts find it with
// kEngineApiSymbol and must check `version`.
#include "rurorade/setup.h"

namespace zekmod {

struct EngineApi {
    int version;  // kEngineApiVersion
    void (*EncodeRegisters)(CMC_Setup* setup);
    void (*DecodeRegisters)(CMC_Setup* setup);
    void (*ComputeAllFilters)(CMC_Setup* setup);
    // Runs one encoding step by its register name; -1 when no step has that name.
    int (*RunEncodeStep)(CMC_Setup* setup, const char* name);
    // Opens a commissioning test ("vdc", "rl") modally on the setup, as the setup editor does;
    // the modal result, or -1 for a name without a test.
    int (*RunCommissioningTest)(CMC_Setup* setup, const char* name);
};

constexpr int kEngineApiVersion = 2;

__attribute__((visibility("default"))) const EngineApi* GetEngineApi();

// The Itanium-ABI name of GetEngineApi, for dlsym.
constexpr const char* kEngineApiSymbol = "_ZN6zekmod12GetEngineApiEv";

}  // namespace zekmod
