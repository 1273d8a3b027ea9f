#include "timing/journal_lines.h"

#include <algorithm>

namespace tivaro::timing {

namespace {

bool WritableAsText(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7f) || byte == '\r' || byte == '\n' || byte == '\t';
}

}  // namespace

const char* JournalLinkName(link::LinkKind link) {
    return link == link::LinkKind::Serial ? "serial" : "tcp";
}

std::string JournalBytesLine(link::LinkKind link, link::DecoderGeneration generation,
                             std::span<const std::uint8_t> bytes) {
    std::string line = JournalLinkName(link);
    if (generation == link::DecoderGeneration::Older && !bytes.empty() &&
        std::all_of(bytes.begin(), bytes.end(), WritableAsText)) {
        line += "-text ";
        for (const std::uint8_t byte : bytes) {
            switch (byte) {
                case '\r':
                    line += "\\r";
                    break;
                case '\n':
                    line += "\\n";
                    break;
                case '\t':
                    line += "\\t";
                    break;
                case '\\':
                    line += "\\\\";
                    break;
                default:
                    line += static_cast<char>(byte);
            }
        }
        return line;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    line.reserve(line.size() + bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

}  // namespace tivaro::timing
