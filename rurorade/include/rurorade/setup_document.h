#pragma once
#include <memory>
#include <string>

#include "rurorade/setup.h"

namespace rurorade {

// Setup documents in the "zeksetup-1" JSON schema. Values, limits and order round-trip exactly;
// non-finite numbers are written as the strings "NaN", "Infinity", "-Infinity".
// On failure the result is null and `error` names the source, the place and what is wrong.
// Loading is linear in the document's size; documents nest at most 64 levels, hold no duplicate
// members, no NUL in names or option texts, no whole number out of its range, and a file is at
// most 256 MiB.
std::unique_ptr<CMC_Setup> LoadSetupText(const std::string& text, const std::string& source, std::string& error);
std::unique_ptr<CMC_Setup> LoadSetupFile(const std::string& path, std::string& error);
std::string SaveSetupText(const CMC_Setup& setup);
// Writes through a temporary file and a rename, so `path` is never half-written.
bool SaveSetupFile(const CMC_Setup& setup, const std::string& path, std::string& error);
// Replaces `path` with `text`: a new file created beside it (never following a link), synced,
// renamed over it, and the folder synced. The file keeps the mode of the one it replaces, else
// takes that of `modeFrom` (a file it derives from), else the usual mode.
bool WriteFileAtomically(const std::string& path, const std::string& text, std::string& error,
                         const std::string& modeFrom = {});

}  // namespace rurorade
