// The replay tool's scenario reader on any text.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "tools/tivaro-replay/scenario.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const auto actions = tivaro::replay::ParseScenario(text);
    if (!actions) {
        if (actions.error().message.rfind("line ", 0) != 0) {
            std::abort();  // every refusal names its line
        }
        return 0;
    }
    int previous = 0;
    for (const auto& action : *actions) {
        if (action.line <= previous) {
            std::abort();  // actions keep the order of their lines
        }
        previous = action.line;
    }
    return 0;
}
