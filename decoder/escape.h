#pragma once
// Escape coding of binary records: inside a record the byte 0x8D and the byte after it stand
// for one byte, the second minus 0x20 (0x8D 0xAE is 0x8E), so the start byte 0x8E and the end
// byte 0x8F never occur inside a record.

#include <cstdint>
#include <span>
#include <vector>

#include "decoder/record_layout.h"

namespace tivaro::decoder {

// Removes the escape coding from a complete record. `raw` holds the record as received, the
// start byte at index 0 and the end byte last. On success `record` becomes 0 at index 0 (not a
// record byte) followed by the unescaped bytes from offset 1 up to and including the end
// byte, so index k holds the byte at offset k.
//
// A damaged escape (an escape byte that is the last byte, or is followed by a byte below
// 0x20) makes the whole record unusable: the function returns false and leaves `record` as
// it was. `record` is an out parameter so that its storage is reused from record to record.
bool UnescapeRecord(std::span<const std::uint8_t> raw, std::vector<std::uint8_t>& record);

}  // namespace tivaro::decoder
