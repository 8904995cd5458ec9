#pragma once
#include <string>

#include "host_session.h"

namespace zekhost {

// Prints the setup as a table (name, value, unit, min, max in the parameter's unit), then its options.
int RunShow(HostSession& session);
// Prints "FACTOR OFFSET" of the module's scale exports for a unit and a quantity name.
int RunScale(HostSession& session, const std::string& unit, const std::string& name);

}  // namespace zekhost
