// Editor scripts: the loader and the word splitter on any text.
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "rurorade/script_driver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::ostream nullStream(nullptr);
    rurorade::ScriptDriver driver(nullStream);
    std::string error;
    const bool loaded = driver.LoadText(text, "fuzz", error);

    std::istringstream in(text);
    std::string line, why;
    std::vector<std::string> words;
    while (std::getline(in, line)) {
        // A script that loaded has no line the splitter refuses.
        if (!rurorade::ScriptDriver::SplitWords(line, words, why) && loaded) __builtin_trap();
    }
    return 0;
}
