#include "decoder/escape.h"

#include <cstring>

namespace tivaro::decoder {

bool UnescapeRecord(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& record) {
    if (raw.empty()) {
        record.assign(1, 0);
        return true;
    }
    const std::uint8_t* const begin = raw.data() + 1;  // the start byte is not copied
    const std::uint8_t* const end = raw.data() + raw.size();
    const auto nextEscape = [end](const std::uint8_t* from) {
        const void* found = std::memchr(from, kEscapeByte, static_cast<std::size_t>(end - from));
        return found ? static_cast<const std::uint8_t*>(found) : end;
    };

    // Check every escape first, so a damaged record leaves `record` untouched. The byte after
    // an escape is data, never a further escape.
    std::size_t escapes = 0;
    for (const std::uint8_t* p = nextEscape(begin); p != end; p = nextEscape(p + 2)) {
        if (p + 1 == end || p[1] < 0x20) {
            return false;
        }
        ++escapes;
    }

    record.resize(1 + static_cast<std::size_t>(end - begin) - escapes);
    record[0] = 0;
    std::uint8_t* out = record.data() + 1;
    for (const std::uint8_t* p = begin; p != end;) {
        const std::uint8_t* escape = nextEscape(p);
        std::memcpy(out, p, static_cast<std::size_t>(escape - p));
        out += escape - p;
        if (escape == end) {
            break;
        }
        *out++ = static_cast<std::uint8_t>(escape[1] - 0x20);
        p = escape + 2;
    }
    return true;
}

}  // namespace tivaro::decoder
