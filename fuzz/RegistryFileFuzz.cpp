// The .reg text of the Linux registry store. Whatever the parser accepts must be written out
// in a form that it accepts again and that writes out the same: otherwise the first write of
// a setting would change, or lose, values nobody touched.
#include "platform/Registry.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::string once;
    const std::string problem = zul::platform::detail::parseRegistryText(text, &once);
    if (!problem.empty()) {
        // A refusal names its line: "linha N: ...".
        if (problem.rfind("linha ", 0) != 0)
            std::abort();
        return 0;
    }
    std::string twice;
    if (!zul::platform::detail::parseRegistryText(once, &twice).empty() || once != twice) {
        std::fprintf(stderr, "written store does not read back the same\n");
        std::abort();
    }
    return 0;
}
