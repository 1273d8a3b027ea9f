#include "decoder/record_writer.h"

#include <array>

#include "decoder/escape.h"

namespace tivaro::decoder {

namespace {

constexpr std::uint8_t kVersion = 0x02;
constexpr std::size_t kLengthOffset = 2;
constexpr std::size_t kCrcOffset = 4;

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

constexpr auto kCrcTable = MakeCrcTable();

class RecordBuilder {
public:
    explicit RecordBuilder(std::uint16_t type) {
        bytes_ = {kStartByte, kVersion, 0, 0, 0, 0, 0, 0};
        Put(type, 2);
    }

    void Field(std::uint8_t type, std::uint64_t value, std::size_t size) {
        bytes_.push_back(type);
        bytes_.push_back(static_cast<std::uint8_t>(size));
        Put(value, size);
    }

    void TextField(std::uint8_t type, const std::string& text) {
        bytes_.push_back(type);
        bytes_.push_back(static_cast<std::uint8_t>(text.size()));
        bytes_.insert(bytes_.end(), text.begin(), text.end());
    }

    std::vector<std::uint8_t> Finish() {
        bytes_.push_back(kEndByte);
        const auto length = static_cast<std::uint16_t>(bytes_.size());
        bytes_[kLengthOffset] = static_cast<std::uint8_t>(length);
        bytes_[kLengthOffset + 1] = static_cast<std::uint8_t>(length >> 8);
        const std::uint16_t crc = Crc16(bytes_);  // CRC field still zero
        bytes_[kCrcOffset] = static_cast<std::uint8_t>(crc);
        bytes_[kCrcOffset + 1] = static_cast<std::uint8_t>(crc >> 8);
        return std::move(bytes_);
    }

private:
    void Put(std::uint64_t value, std::size_t size) {
        for (std::size_t k = 0; k < size; ++k) {
            bytes_.push_back(static_cast<std::uint8_t>(value >> (8 * k)));
        }
    }

    std::vector<std::uint8_t> bytes_;
};

}  // namespace

std::uint16_t Crc16(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (std::uint8_t b : bytes) {
        crc = static_cast<std::uint16_t>((crc << 8) ^ kCrcTable[((crc >> 8) ^ b) & 0xFF]);
    }
    return crc;
}

std::vector<std::uint8_t> BuildPassingRecord(const PassingRecordFields& fields) {
    RecordBuilder record(kRecordTypePassing);
    record.Field(0x01, fields.passingNumber, 4);
    if (!fields.transponderText.empty()) {
        record.TextField(0x0A, fields.transponderText);
    } else {
        record.Field(0x03, fields.transponderNumber, 4);
    }
    record.Field(0x04, fields.timeMicros, 8);
    record.Field(0x05, fields.strength, 2);
    record.Field(0x06, fields.hits, 2);
    record.Field(0x08, fields.flags, 2);
    record.Field(0x81, fields.decoderId, 4);
    return record.Finish();
}

std::vector<std::uint8_t> BuildStatusRecord(const StatusRecordFields& fields) {
    RecordBuilder record(kRecordTypeStatus);
    record.Field(0x01, fields.noise, 2);
    record.Field(0x07, fields.temperature, 2);
    record.Field(0x81, fields.decoderId, 4);
    return record.Finish();
}

void AppendEscaped(std::span<const std::uint8_t> record, std::vector<std::uint8_t>& out) {
    for (std::size_t k = 0; k < record.size(); ++k) {
        const std::uint8_t b = record[k];
        const bool frame = k == 0 || k + 1 == record.size();
        if (!frame && (b == kEscapeByte || b == kStartByte || b == kEndByte)) {
            out.push_back(kEscapeByte);
            out.push_back(static_cast<std::uint8_t>(b + 0x20));
        } else {
            out.push_back(b);
        }
    }
}

}  // namespace tivaro::decoder
