#include "decoder/checksum.h"

#include <algorithm>
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

// Eight bytes are taken in one step ("slicing by eight"): the CRC is linear, so the register
// after eight bytes is the XOR of each byte's own contribution, and a byte's contribution is
// the CRC of that byte followed by as many zero bytes as come after it in the step.
// kSlices[k][v] is the CRC (from a zero register) of byte v followed by k zero bytes; the
// register joins the step through the first two bytes. The eight lookups do not wait on each
// other, where a byte at a time waits on the byte before.
using CrcTable = std::array<std::uint16_t, 256>;

constexpr std::array<CrcTable, 8> MakeSlices(const CrcTable& one) {
    std::array<CrcTable, 8> slices{};
    slices[0] = one;
    for (std::size_t k = 1; k < slices.size(); ++k) {
        for (std::uint32_t v = 0; v < 256; ++v) {
            const std::uint16_t before = slices[k - 1][v];
            slices[k][v] = static_cast<std::uint16_t>((before << 8) ^ one[before >> 8]);
        }
    }
    return slices;
}

constexpr auto kOne = MakeCrcTable();
constexpr auto kSlices = MakeSlices(kOne);

std::uint16_t Update(std::uint16_t crc, std::uint8_t byte) {
    return static_cast<std::uint16_t>((crc << 8) ^ kOne[((crc >> 8) ^ byte) & 0xFF]);
}

std::uint16_t Update(std::uint16_t crc, const std::uint8_t* p, std::size_t n) {
    for (; n >= 8; p += 8, n -= 8) {
        crc = static_cast<std::uint16_t>(kSlices[7][((crc >> 8) ^ p[0]) & 0xFF] ^
                                         kSlices[6][(crc ^ p[1]) & 0xFF] ^ kSlices[5][p[2]] ^
                                         kSlices[4][p[3]] ^ kSlices[3][p[4]] ^ kSlices[2][p[5]] ^
                                         kSlices[1][p[6]] ^ kSlices[0][p[7]]);
    }
    // The rest in steps of four and two bytes, the same way.
    if (n >= 4) {
        crc = static_cast<std::uint16_t>(kSlices[3][((crc >> 8) ^ p[0]) & 0xFF] ^
                                         kSlices[2][(crc ^ p[1]) & 0xFF] ^ kSlices[1][p[2]] ^
                                         kSlices[0][p[3]]);
        p += 4;
        n -= 4;
    }
    if (n >= 2) {
        crc = static_cast<std::uint16_t>(kSlices[1][((crc >> 8) ^ p[0]) & 0xFF] ^
                                         kSlices[0][(crc ^ p[1]) & 0xFF]);
        p += 2;
        n -= 2;
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
    // The head up to and with the CRC field goes in one step of its own.
    std::array<std::uint8_t, kCrcOffset + 2> head{};
    head[0] = kStartByte;
    std::copy_n(record.data() + 1, kCrcOffset - 1, head.begin() + 1);
    std::uint16_t crc = Update(0xFFFF, head.data(), head.size());
    crc = Update(crc, record.data() + kCrcOffset + 2, record.size() - kCrcOffset - 2);
    const auto stored =
        static_cast<std::uint16_t>(record[kCrcOffset] | (record[kCrcOffset + 1] << 8));
    return crc == stored;
}

}  // namespace tivaro::decoder
