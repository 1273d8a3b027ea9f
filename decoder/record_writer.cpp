#include "decoder/record_writer.h"

#include <cstdio>

#include <string_view>

#include "decoder/checksum.h"
#include "decoder/record_layout.h"

namespace tivaro::decoder {

namespace {

constexpr std::uint8_t kVersion = 0x02;
constexpr std::size_t kMaxFieldBytes = 255;

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

    void TextField(std::uint8_t type, std::string_view text) {
        // The length byte cannot state more: a longer text is cut here, not left to run into
        // the fields after it.
        text = text.substr(0, kMaxFieldBytes);
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

std::vector<std::uint8_t> BuildPassingRecord(const PassingRecordFields& fields) {
    RecordBuilder record(kRecordTypePassing);
    record.Field(kFieldPassingNumber, fields.passingNumber, 4);
    if (!fields.transponderText.empty()) {
        record.TextField(kFieldTransponderText, fields.transponderText);
    } else {
        record.Field(kFieldNumericTransponder, fields.transponderNumber, 4);
    }
    record.Field(kFieldPassingTime, fields.timeMicros, 8);
    record.Field(kFieldStrength, fields.strength, 2);
    record.Field(kFieldHits, fields.hits, 2);
    record.Field(kFieldFlags, fields.flags, 2);
    record.Field(kFieldDecoderId, fields.decoderId, 4);
    return record.Finish();
}

std::vector<std::uint8_t> BuildStatusRecord(const StatusRecordFields& fields) {
    RecordBuilder record(kRecordTypeStatus);
    record.Field(kFieldNoise, fields.noise, 2);
    record.Field(kFieldTemperature, fields.temperature, 2);
    record.Field(kFieldDecoderId, fields.decoderId, 4);
    return record.Finish();
}

std::string OlderLineWithCheck(std::string_view fields) {
    std::string line(fields);
    line += '\t';
    const std::uint16_t crc = Crc16(std::string_view(line).substr(1));
    char check[8];
    std::snprintf(check, sizeof check, "x%X\r\n", static_cast<unsigned>(crc));
    return line + check;
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
