#include "decoder/escape.h"

#include <cstring>

namespace tivaro::decoder {

bool UnescapeRecord(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& record) {
    // Check every escape first, so a damaged record leaves `record` untouched.
    std::size_t escapes = 0;
    for (std::size_t a = 1; a < raw.size(); ++a) {
        if (raw[a] != kEscapeByte) {
            continue;
        }
        if (a + 1 >= raw.size() || raw[a + 1] < 0x20) {
            return false;
        }
        ++escapes;
        ++a;  // the byte after an escape is data, never a further escape
    }

    const std::size_t inputBytes = raw.empty() ? 0 : raw.size() - 1;
    record.resize(1 + inputBytes - escapes);
    record[0] = 0;
    if (escapes == 0) {
        if (inputBytes > 0) {
            std::memcpy(record.data() + 1, raw.data() + 1, inputBytes);
        }
        return true;
    }
    std::size_t i = 1;
    for (std::size_t a = 1; a < raw.size(); ++a, ++i) {
        if (raw[a] == kEscapeByte) {
            record[i] = static_cast<std::uint8_t>(raw[a + 1] - 0x20);
            ++a;
        } else {
            record[i] = raw[a];
        }
    }
    return true;
}

}  // namespace tivaro::decoder
