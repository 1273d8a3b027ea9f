#pragma once
// Decoding of one unescaped binary record of a current-generation decoder.
//
// Layout, offsets from the start byte (all numbers little-endian): 1..7 header (not read),
// 8..9 record type (0x0001 is a passing), then fields of type (1 byte), length n (1 byte) and
// n data bytes, up to the end byte. Field 0x04 holds the passing time in microseconds in its
// first seven data bytes; field 0x0A the transponder code as text; field 0x03 of four bytes
// a numeric transponder (decoders that send no text code).

#include <cstdint>
#include <span>
#include <string>

namespace tivaro::decoder {

enum class RecordStatus {
    Passing,        // a passing record with a passing time
    NoPassingTime,  // a passing record without a time field: nothing to hand on
    OtherType,      // a record of another type: ignored
    Damaged,        // too short, a field running past the end byte, or a short time field
};

struct DecodedRecord {
    RecordStatus status = RecordStatus::Damaged;
    std::uint64_t passingTimeMicros = 0;  // set for Passing
    std::string transponder;              // UTF-8; set for Passing and NoPassingTime
    // The decoder's own numbering of its passings (field 0x01) and its id (field 0x81), each
    // four bytes; 0 when the record has none. Together with code and time they tell a passing
    // sent again from a new one.
    std::uint32_t passingNumber = 0;
    std::uint32_t decoderId = 0;
};

// Decodes `record` as UnescapeRecord leaves it: index 0 holds 0 (no record byte), index k the
// byte at offset k, the end byte last. A passing record's transponder code is its own: the
// last 0x0A text field, else the last four-byte 0x03 field as a decimal number, else empty.
// `out` is reused from record to record so that its storage is too.
void DecodeRecord(std::span<const std::uint8_t> record, DecodedRecord& out);

}  // namespace tivaro::decoder
