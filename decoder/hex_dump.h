#pragma once
// The debug dump of a record: " | " before every byte, each in upper-case hexadecimal without
// leading zeros ("8E 02 33 8F" dumps as " | 8E | 2 | 33 | 8F").

#include <cstdint>
#include <span>
#include <string>

namespace tivaro::decoder {

void AppendHexDump(std::span<const std::uint8_t> bytes, std::string& out);

}  // namespace tivaro::decoder
