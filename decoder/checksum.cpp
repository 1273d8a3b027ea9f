#include "decoder/checksum.h"

#include <array>

#include "decoder/record_layout.h"

namespace tivaro::decoder {

namespace {

constexpr std::array<std::uint16_t, 256> MakeCrcTable() {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        std::uint32_t crc = i << 8;
        for (int bit = 0; bit < 8; ++bit) {
            crc = (crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1;
        }
        table[i] = static_cast<std::uint16_t>(crc);
    }
    return table;
}

constexpr auto kCrcTable = MakeCrcTable();

std::uint16_t Update(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ byte) & 0xFF]);
}

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = Update(crc, b);
    }
    return crc;
}

bool RecordChecksumMatches(std::span<const std::uint8_t> record) {
    if (record.size() < kFirstFieldOffset + 1) {
        return false;
    }
    // The CRC runs over the record as sent, start byte first, with its own field zero.
    std::uint16_t crc = Update(0xFFFF, kStartByte);
    for (std::size_t k = 1; k < record.size(); ++k) {
        const bool crcField = k == kCrcOffset || k == kCrcOffset + 1;
        crc = Update(crc, crcField ? 0 : record[k]);
    }
    const auto stored =
        static_cast<std::uint16_t>(record[kCrcOffset] | (record[kCrcOffset + 1] << 8));
    return crc == stored;
}

}  // namespace tivaro::decoder
