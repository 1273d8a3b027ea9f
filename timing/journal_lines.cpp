#include "timing/journal_lines.h"

#include <algorithm>

#include "common/escaped_text.h"

namespace tivaro::timing {

namespace {

constexpr char kHex[] = "0123456789ABCDEF";

bool Printable(std::uint8_t byte) {
    return byte >= 0x20 && byte < 0x7f;
}

}  // namespace

const char* JournalLinkName(link::LinkKind link) {
    return link == link::LinkKind::Serial ? "serial" : "tcp";
}

std::string JournalBytesLine(link::LinkKind link, link::DecoderGeneration generation,
                             std::span<const std::uint8_t> bytes) {
    std::string line = JournalLinkName(link);
    // Text lines as text, as long as most of the chunk is printable; the rest escaped.
    const auto printable = std::count_if(bytes.begin(), bytes.end(), [](std::uint8_t byte) {
        return Printable(byte) || byte == '\r' || byte == '\n' || byte == '\t';
    });
    if (generation == link::DecoderGeneration::Older && !bytes.empty() &&
        static_cast<std::size_t>(printable) * 4 >= bytes.size() * 3) {
        line += "-text ";
        AppendEscaped({reinterpret_cast<const char*>(bytes.data()), bytes.size()}, line, true);
        return line;
    }
    line.reserve(line.size() + bytes.size() * 3);
    for (const std::uint8_t byte : bytes) {
        line += ' ';
        line += kHex[byte >> 4];
        line += kHex[byte & 0x0F];
    }
    return line;
}

}  // namespace tivaro::timing
