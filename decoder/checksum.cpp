#include "decoder/checksum.h"

#include <algorithm>
#include <array>

#include "common/hex.h"
#include "decoder/record_layout.h"

namespace tivaro::decoder {

namespace {

using CrcTable = std::array<std::uint16_t, 256>;

constexpr CrcTable MakeCrcTable() {
    CrcTable table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr CrcTable kTable = MakeCrcTable();

constexpr std::uint16_t Step(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>(kTable[crc >> 8] ^ (crc << 8) ^ byte);
}

// Several bytes in one step. The update is linear, so the register after n bytes is the XOR
// of what each input alone becomes: the old register pushed through n zero bytes, and each
// byte pushed through the zero bytes that follow it in the step. kAfter[k][v] is the register
// that v (entering at the low end) becomes after k zero bytes; the register's own high byte
// is one step further on than its low byte. The lookups do not wait on one another, where a
// byte at a time waits on the byte before.
constexpr std::array<CrcTable, 10> MakeAfterTables() {
    std::array<CrcTable, 10> after{};
    for (std::uint32_t v = 0; v < 256; ++v) {
        std::uint16_t crc = static_cast<std::uint16_t>(v);
        for (std::size_t k = 0; k < after.size(); ++k) {
            after[k][v] = crc;
            crc = Step(crc, 0);
        }
    }
    return after;
}

constexpr auto kAfter = MakeAfterTables();

// A byte followed by no zero bytes is itself, followed by one it is shifted up by eight: those
// two need no table.
std::uint16_t Step8(std::uint16_t crc, const std::uint8_t* p) {
    return static_cast<std::uint16_t>(
        kAfter[9][crc >> 8] ^ kAfter[8][crc & 0xFF] ^ kAfter[7][p[0]] ^ kAfter[6][p[1]] ^
        kAfter[5][p[2]] ^ kAfter[4][p[3]] ^ kAfter[3][p[4]] ^ kAfter[2][p[5]] ^ (p[6] << 8) ^ p[7]);
}

std::uint16_t Step4(std::uint16_t crc, const std::uint8_t* p) {
    return static_cast<std::uint16_t>(kAfter[5][crc >> 8] ^ kAfter[4][crc & 0xFF] ^
                                      kAfter[3][p[0]] ^ kAfter[2][p[1]] ^ (p[2] << 8) ^ p[3]);
}

std::uint16_t Update(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
    for (; n >= 8; p += 8, n -= 8) {
        crc = Step8(crc, p);
    }
    if (n >= 4) {
        crc = Step4(crc, p);
        p += 4;
        n -= 4;
    }
    for (; n != 0; ++p, --n) {
        crc = Step(crc, *p);
    }
    return crc;
}

constexpr std::uint16_t kInitial = 0xFFFF;

std::optional<std::uint16_t> HexValue(std::string_view digits) {
    if (digits.empty() || digits.size() > 4) {
        return std::nullopt;
    }
    std::uint16_t value = 0;
    for (const char c : digits) {
        const int digit = HexDigitValue(c);
        if (digit < 0 || (c >= 'a' && c <= 'f')) {
            return std::nullopt;  // decoders write upper case only
        }
        value = static_cast<std::uint16_t>(value << 4 | digit);
    }
    return value;
}

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    return Update(kInitial, bytes.data(), bytes.size());
}

std::uint16_t Crc16(std::string_view text) {
    return Crc16(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

bool RecordChecksumMatches(std::span<const std::uint8_t> record) {
    if (record.size() < kFirstFieldOffset + 1) {
        return false;
    }
    // The CRC runs over the record as sent, start byte first, with its own field zero.
    std::array<std::uint8_t, kCrcOffset + 2> head{};
    head[0] = kStartByte;
    std::copy_n(record.data() + 1, kCrcOffset - 1, head.begin() + 1);
    std::uint16_t crc = Update(kInitial, head.data(), head.size());
    crc = Update(crc, record.data() + kCrcOffset + 2, record.size() - kCrcOffset - 2);
    const auto stored =
        static_cast<std::uint16_t>(record[kCrcOffset] | (record[kCrcOffset + 1] << 8));
    return crc == stored;
}

std::optional<LineCheck> OlderLineCheck(std::string_view line) {
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    const std::size_t tab = line.rfind('\t');
    if (tab == std::string_view::npos || tab + 1 >= line.size() || line[tab + 1] != 'x') {
        return std::nullopt;
    }
    const std::optional<std::uint16_t> stored = HexValue(line.substr(tab + 2));
    if (!stored) {
        return std::nullopt;
    }
    // Covered: after the start-of-header byte (the line's first byte, whatever it is) up to
    // and with the TAB before the check field.
    return LineCheck{*stored, Crc16(line.substr(1, tab))};
}

}  // namespace tivaro::decoder
