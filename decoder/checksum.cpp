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

// The CRC of a byte followed by a zero byte, so that two bytes are taken in one step: since
// the CRC is linear, crc(a, b) = kTwo[a'] ^ kOne[b'] with a' and b' the bytes combined with
// the register.
constexpr std::array<std::uint16_t, 256> MakeTwoByteTable(
    const std::array<std::uint16_t, 256>& one) {
    std::array<std::uint16_t, 256> table{};
    for (std::uint32_t i = 0; i < 256; ++i) {
        table[i] = static_cast<std::uint16_t>(((one[i] & 0xFF) << 8) ^ one[one[i] >> 8]);
    }
    return table;
}

constexpr auto kOne = MakeCrcTable();
constexpr auto kTwo = MakeTwoByteTable(kOne);

std::uint16_t Update(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ kOne[((crc >> 8) ^ byte) & 0xFF]);
}

std::uint16_t Update(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
    for (; n >= 2; p += 2, n -= 2) {
        crc = static_cast<std::uint16_t>(kTwo[((crc >> 8) ^ p[0]) & 0xFF] ^
                                         kOne[(crc ^ p[1]) & 0xFF]);
    }
    if (n != 0) {
        crc = Update(crc, *p);
    }
    return crc;
}

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    return Update(0xFFFF, bytes.data(), bytes.size());
}

bool RecordChecksumMatches(std::span<const std::uint8_t> record) {
    if (record.size() < kFirstFieldOffset + 1) {
        return false;
    }
    // The CRC runs over the record as sent, start byte first, with its own field zero.
    static constexpr std::uint8_t kZero[2] = {0, 0};
    std::uint16_t crc = Update(0xFFFF, kStartByte);
    crc = Update(crc, record.data() + 1, kCrcOffset - 1);
    crc = Update(crc, kZero, 2);
    crc = Update(crc, record.data() + kCrcOffset + 2, record.size() - kCrcOffset - 2);
    const auto stored =
        static_cast<std::uint16_t>(record[kCrcOffset] | (record[kCrcOffset + 1] << 8));
    return crc == stored;
}

}  // namespace tivaro::decoder
