#include "decoder/hex_dump.h"

namespace tivaro::decoder {

void AppendHexDump(std::span<const std::uint8_t> bytes, std::string& out) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    out.reserve(out.size() + bytes.size() * 5);
    for (std::uint8_t b : bytes) {
        out.append(" | ");
        if (b >= 0x10) {
            out.push_back(kDigits[b >> 4]);
        }
        out.push_back(kDigits[b & 0x0F]);
    }
}

}  // namespace tivaro::decoder
