#pragma once
// Writes binary records as a current-generation decoder sends them: for the simulator, the
// sample capture, tests and benchmarks.
//
// The layout is in record_layout.h; every record carries its CRC.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "decoder/checksum.h"
#include "decoder/record_layout.h"

namespace tivaro::decoder {

struct PassingRecordFields {
    std::uint32_t passingNumber = 0;
    std::string transponderText;          // sent as field 0x0A (up to 255 bytes) when not empty...
    std::uint32_t transponderNumber = 0;  // ...else as the four-byte field 0x03
    std::uint64_t timeMicros = 0;
    std::uint16_t strength = 0;
    std::uint16_t hits = 0;
    std::uint16_t flags = 0;
    std::uint32_t decoderId = 0;
};

struct StatusRecordFields {
    std::uint16_t noise = 0;
    std::uint16_t temperature = 0;
    std::uint32_t decoderId = 0;
};

// Unescaped records, start byte to end byte.
std::vector<std::uint8_t> BuildPassingRecord(const PassingRecordFields& fields);
std::vector<std::uint8_t> BuildStatusRecord(const StatusRecordFields& fields);

// An older decoder's text line: `fields` (from the start-of-header byte, TAB-separated),
// then TAB, "x" and the CRC of everything after the start-of-header byte up to and with that
// TAB, in upper-case hexadecimal without leading zeros, then CR LF.
std::string OlderLineWithCheck(std::string_view fields);

// Applies the escape coding to an unescaped record: every byte between start and end byte
// that is 0x8D, 0x8E or 0x8F goes out as 0x8D and the byte plus 0x20. Appends to `out`.
void AppendEscaped(std::span<const std::uint8_t> record, std::vector<std::uint8_t>& out);

}  // namespace tivaro::decoder
