#pragma once
#include <memory>
#include <string>

#include "rurorade/setup.h"

namespace rurorade {

// Setup documents in the "zeksetup-1" JSON schema. Values, limits and order round-trip exactly;
// non-finite numbers are written as the strings "NaN", "Infinity", "-Infinity".
// On failure the result is null and `error` names the source, the place and what is wrong.
std::unique_ptr<CMC_Setup> LoadSetupText(const std::string& text, const std::string& source, std::string& error);
std::unique_ptr<CMC_Setup> LoadSetupFile(const std::string& path, std::string& error);
std::string SaveSetupText(const CMC_Setup& setup);
// Writes through a temporary file and a rename, so `path` is never half-written.
bool SaveSetupFile(const CMC_Setup& setup, const std::string& path, std::string& error);

}  // namespace rurorade
