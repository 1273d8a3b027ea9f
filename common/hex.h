#pragma once
// Hexadecimal digits, for the dumps, logs, journal lines and file formats that write bytes
// as text and read them back.

#include <cstdint>
#include <string>

namespace tivaro {

inline constexpr char kHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit of either case; -1 for any other character.
constexpr int HexDigitValue(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Appends the two upper-case digits of `byte`.
inline void AppendHexByte(std::uint8_t byte, std::string& out) {
    out += kHexDigits[byte >> 4];
    out += kHexDigits[byte & 0x0F];
}

}  // namespace tivaro
