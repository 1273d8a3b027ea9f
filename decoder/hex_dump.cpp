#include "decoder/hex_dump.h"

#include "common/hex.h"

namespace tivaro::decoder {

void AppendHexDump(std::span<const std::uint8_t> bytes, std::string& out) {
    out.reserve(out.size() + bytes.size() * 5);
    for (std::uint8_t b : bytes) {
        out.append(" | ");
        if (b >= 0x10) {
            out.push_back(kHexDigits[b >> 4]);
        }
        out.push_back(kHexDigits[b & 0x0F]);
    }
}

}  // namespace tivaro::decoder
