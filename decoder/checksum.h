#pragma once
// The CRC-16 of binary records: CCITT, polynomial 0x1021, initial value 0xFFFF, no final XOR
// ("123456789" gives 0x29B1).

#include <cstdint>
#include <span>

namespace tivaro::decoder {

std::uint16_t Crc16(std::span<const std::uint8_t> bytes);

// Whether an unescaped record, as UnescapeRecord leaves it (index 0 holds 0 in place of the
// start byte, the end byte last), carries the CRC of its own bytes. A record too short to hold
// a CRC field does not.
bool RecordChecksumMatches(std::span<const std::uint8_t> record);

}  // namespace tivaro::decoder
