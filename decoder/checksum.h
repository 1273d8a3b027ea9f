#pragma once
// The CRC-16 that decoders put in their binary records and at the end of older decoders'
// text lines.
//
// It is built on the CCITT polynomial 0x1021 with the register starting at 0xFFFF, but each
// byte enters the register after the table step, not before it:
//   crc = T[crc >> 8] ^ (crc << 8) ^ byte        (T[i]: i << 8 shifted eight times by 0x1021)
// which is the plain shift register that takes the message in bit by bit at its low end. It is
// not the textbook CCITT update (crc = (crc << 8) ^ T[(crc >> 8) ^ byte]), and the two agree on
// almost nothing: "123456789" gives 0xA69D here, 0x29B1 there. 0x0000 is a CRC like any other.

#include <cstdint>
#include <optional>
#include <span>
#include <string_view>

namespace tivaro::decoder {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes);
std::uint16_t Crc16(std::string_view text);

// Whether an unescaped record, as UnescapeRecord leaves it (index 0 holds 0 in place of the
// start byte, the end byte last), carries the CRC of its own bytes: the record from start byte
// to end byte with the CRC field zero. A record too short to hold a CRC field does not.
bool RecordChecksumMatches(std::span<const std::uint8_t> record);

// The check field at the end of an older decoder's line: "x" and the CRC in upper-case hex
// without leading zeros ("x14F5", "x0"). The CRC runs over the line from the character after
// its start-of-header byte up to and including the TAB before the "x". Nothing when the line's
// last field is no such check field.
struct LineCheck {
    std::uint16_t stored = 0;
    std::uint16_t computed = 0;
    bool matches() const { return stored == computed; }
};
// `line` starts with the start-of-header byte (or whatever stands in its place) and may end
// in CR, LF or both.
std::optional<LineCheck> OlderLineCheck(std::string_view line);

}  // namespace tivaro::decoder
