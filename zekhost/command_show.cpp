#include <algorithm>
#include <cstdio>
#include <iostream>

#include "commands.h"
#include "rurorade/host_errors.h"
#include "rurorade/units.h"

namespace zekhost {

namespace {
// Base-unit numbers exactly; converted display numbers to 15 digits, which hides the
// conversion's last-bit noise (50e-6 s shows as 50 us, not 50.00000000000001).
std::string Shown(const CMC_Parameter& p, double base)
{
    if (p.GetUnit().IsBase()) return FormatNumber(base);
    char buf[40];
    std::snprintf(buf, sizeof buf, "%.15g", p.ToDisplay(base));
    return buf;
}
}  // namespace

int RunShow(HostSession& session)
{
    CMC_Setup& setup = *session.setup;
    std::size_t width = 4;
    for (const auto& p : setup.Parameters()) width = std::max(width, p->GetName().size());

    std::printf("%-*s  %-24s  %-8s  %-24s  %s\n", static_cast<int>(width), "name", "value", "unit", "min", "max");
    for (const auto& p : setup.Parameters()) {
        const std::string unit(p->GetUnit().name);
        std::printf("%-*s  %-24s  %-8s  %-24s  %s\n", static_cast<int>(width), p->GetName().c_str(),
                    Shown(*p, p->GetValueInBaseUnit()).c_str(), unit.c_str(), Shown(*p, p->GetMinInBaseUnit()).c_str(),
                    Shown(*p, p->GetMaxInBaseUnit()).c_str());
    }
    if (!setup.Options().empty()) {
        std::printf("\noptions:\n");
        for (const auto& [name, text] : setup.Options()) std::printf("  %s = \"%s\"\n", name.c_str(), text.c_str());
    }
    return kOk;
}

int RunScale(HostSession& session, const std::string& unit, const std::string& name)
{
    if (rurorade::FindUnit(unit) == nullptr) throw CommandError{kUsage, "unknown unit \"" + unit + "\""};
    {
        const rurorade::QuietLookups quiet;
        CMC_Setup& s = *session.setup;
        if (s.FindParameter(name.c_str()) == nullptr && s.FindVariable(name.c_str(), 0) == nullptr)
            std::cerr << "zekhost: note: the setup has no parameter or variable \"" << name
                      << "\"; this is the module's factor for that name\n";
    }
    const double factor = session.module.GetScaleFactor(session.setup.get(), unit.c_str(), name.c_str());
    const double offset = session.module.GetScaleOffset(session.setup.get(), unit.c_str());
    std::cout << FormatNumber(factor) << " " << FormatNumber(offset) << "\n";
    return kOk;
}

}  // namespace zekhost
