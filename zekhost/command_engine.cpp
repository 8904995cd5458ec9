#include <cstdio>
#include <iostream>

#include "commands.h"
#include "module/engine_api.h"
#include "rurorade/host_errors.h"

namespace zekhost {
namespace {

const zekmod::EngineApi& Engine(HostSession& session)
{
    using GetApi = const zekmod::EngineApi* (*)();
    auto get = reinterpret_cast<GetApi>(session.module.FindSymbol(zekmod::kEngineApiSymbol));
    const zekmod::EngineApi* api = get ? get() : nullptr;
    if (api == nullptr || api->version != zekmod::kEngineApiVersion)
        throw CommandError{kFailure, "the loaded module has no compatible engine interface"};
    return *api;
}

}  // namespace

int RunCompute(HostSession& session, const std::string& out)
{
    RunNeedingParameters(session, "compute", [&] { session.module.ComputeAllOptions(session.setup.get()); });
    WriteSetup(*session.setup, out, session.inputPath);
    return kOk;
}

int RunEncode(HostSession& session, const std::string& out)
{
    const zekmod::EngineApi& engine = Engine(session);
    RunNeedingParameters(session, "encode", [&] { engine.EncodeRegisters(session.setup.get()); });
    WriteSetup(*session.setup, out, session.inputPath);
    return kOk;
}

int RunDecode(HostSession& session, const std::string& out)
{
    const zekmod::EngineApi& engine = Engine(session);
    RunNeedingParameters(session, "decode", [&] { engine.DecodeRegisters(session.setup.get()); });
    WriteSetup(*session.setup, out, session.inputPath);
    return kOk;
}

int RunBiquad(HostSession& session)
{
    CMC_Setup& setup = *session.setup;
    {
        const rurorade::QuietLookups quiet;
        const bool has = setup.FindParameter("IQREF_BQ_INI") != nullptr;
        if (!has) throw CommandError{kFailure, "the setup describes a drive without biquad filters (no IQREF_BQ_INI)"};
    }
    Engine(session).ComputeAllFilters(&setup);
    char name[32];
    for (int slot = 1; slot <= 3; ++slot)
        for (const char* reg : {"B0", "B1", "B2", "A1", "A2", "SF"}) {
            std::snprintf(name, sizeof name, "BQ%d%s", slot, reg);
            std::cout << name << " " << FormatNumber(setup.GetParameterValueInBaseUnit(name)) << "\n";
        }
    for (const char* count : {"SPDREF_BQ_INI", "IQREF_BQ_INI", "ASPD_BQ_INI"})
        std::cout << count << " " << FormatNumber(setup.GetParameterValueInBaseUnit(count)) << "\n";
    return kOk;
}

}  // namespace zekhost
