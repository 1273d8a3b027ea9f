#pragma once
// The layout of a binary record of a current-generation decoder, after escape removal, as
// both the decoder and the record writer use it.
//
// Offsets count from the start byte (offset 0); numbers are little-endian:
//   0     start byte 0x8E
//   1     version
//   2..3  record length: the whole unescaped record, start byte to end byte
//   4..5  CRC-16 CCITT (polynomial 0x1021, initial 0xFFFF) over the unescaped record from the
//         start byte to the end byte with this field zero
//   6..7  flags
//   8..9  record type: 0x0001 a passing, 0x0002 a decoder status
//   10..  fields: type (1 byte), data length n (1 byte), n data bytes
//   last  end byte 0x8F, never part of a field

#include <cstddef>
#include <cstdint>

namespace tivaro::decoder {

inline constexpr std::uint8_t kStartByte = 0x8E;
inline constexpr std::uint8_t kEndByte = 0x8F;
inline constexpr std::uint8_t kEscapeByte = 0x8D;

inline constexpr std::size_t kVersionOffset = 1;
inline constexpr std::size_t kLengthOffset = 2;
inline constexpr std::size_t kCrcOffset = 4;
inline constexpr std::size_t kFlagsOffset = 6;
inline constexpr std::size_t kTypeOffset = 8;
inline constexpr std::size_t kFirstFieldOffset = 10;

inline constexpr std::uint16_t kRecordTypePassing = 0x0001;
inline constexpr std::uint16_t kRecordTypeStatus = 0x0002;

// Field types.
inline constexpr std::uint8_t kFieldPassingNumber = 0x01;
inline constexpr std::uint8_t kFieldNumericTransponder = 0x03;  // four bytes
inline constexpr std::uint8_t kFieldPassingTime = 0x04;         // microseconds in 7 of 8 bytes
inline constexpr std::uint8_t kFieldStrength = 0x05;
inline constexpr std::uint8_t kFieldHits = 0x06;
inline constexpr std::uint8_t kFieldFlags = 0x08;
inline constexpr std::uint8_t kFieldTransponderText = 0x0A;
inline constexpr std::uint8_t kFieldDecoderId = 0x81;
// Fields of a status record.
inline constexpr std::uint8_t kFieldNoise = 0x01;
inline constexpr std::uint8_t kFieldTemperature = 0x07;

inline constexpr std::size_t kPassingTimeBytes = 7;  // the eighth byte is not part of it

}  // namespace tivaro::decoder
