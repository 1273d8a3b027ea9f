#include <gtest/gtest.h>

#include "decoder/checksum.h"
#include "decoder/escape.h"
#include "decoder/record.h"
#include "decoder/record_writer.h"

namespace tivaro::decoder {
namespace {

using Bytes = std::vector<std::uint8_t>;

// A record as UnescapeRecord leaves it: index 0 holds 0, seven header bytes, the type, the
// given fields and the end byte.
Bytes Record(Bytes fields, std::uint8_t typeLow = 0x01, std::uint8_t typeHigh = 0x00) {
    Bytes record{0x00, 2, 0, 0, 0, 0, 0, 0, typeLow, typeHigh};
    record.reserve(record.size() + fields.size() + 1);
    for (std::uint8_t b : fields) {
        record.push_back(b);
    }
    record.push_back(kEndByte);
    return record;
}

const Bytes kOneSecond{0x04, 0x08, 0x40, 0x42, 0x0F, 0x00, 0x00, 0x00, 0x00, 0xFF};

DecodedRecord Decode(const Bytes& record) {
    DecodedRecord out;
    DecodeRecord(record, out);
    return out;
}

TEST(DecodeRecord, OnlyTypeOneIsAPassing) {
    Bytes fields = kOneSecond;
    EXPECT_EQ(Decode(Record(fields)).status, RecordStatus::Passing);
    EXPECT_EQ(Decode(Record(fields, 0x00, 0x01)).status, RecordStatus::OtherType);
    EXPECT_EQ(Decode(Record(fields, 0x02, 0x00)).status, RecordStatus::OtherType);
}

TEST(DecodeRecord, TimeIsTheFirstSevenDataBytes) {
    const DecodedRecord out = Decode(Record(kOneSecond));
    EXPECT_EQ(out.passingTimeMicros, 1'000'000u) << "the eighth byte does not count";

    const Bytes big{0x04, 0x08, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_EQ(Decode(Record(big)).passingTimeMicros, (std::uint64_t{1} << 56) - 1);
}

TEST(DecodeRecord, TransponderTextSkipsZeroBytes) {
    Bytes fields{0x0A, 0x03, 'A', 0x00, 'B'};
    fields.insert(fields.end(), kOneSecond.begin(), kOneSecond.end());
    EXPECT_EQ(Decode(Record(fields)).transponder, "AB");

    Bytes empty{0x0A, 0x00};
    empty.insert(empty.end(), kOneSecond.begin(), kOneSecond.end());
    const DecodedRecord out = Decode(Record(empty));
    EXPECT_EQ(out.status, RecordStatus::Passing);
    EXPECT_EQ(out.transponder, "");
}

TEST(DecodeRecord, TransponderTextIsWindows1252) {
    Bytes fields{0x0A, 0x03, 0x80, 0xE9, 0x81};
    fields.insert(fields.end(), kOneSecond.begin(), kOneSecond.end());
    EXPECT_EQ(Decode(Record(fields)).transponder, "\u20AC\u00E9\u0081");
}

TEST(DecodeRecord, NumericTransponderWhenThereIsNoText) {
    Bytes fields{0x03, 0x04, 0x27, 0xFC, 0x70, 0x00};  // 7404583
    fields.insert(fields.end(), kOneSecond.begin(), kOneSecond.end());
    EXPECT_EQ(Decode(Record(fields)).transponder, "7404583");

    Bytes both = fields;
    both.insert(both.end(), {0x0A, 0x02, 'K', 'X'});
    EXPECT_EQ(Decode(Record(both)).transponder, "KX") << "the text code wins";

    Bytes wrongSize{0x03, 0x02, 0x01, 0x02};
    wrongSize.insert(wrongSize.end(), kOneSecond.begin(), kOneSecond.end());
    EXPECT_EQ(Decode(Record(wrongSize)).transponder, "");
}

TEST(DecodeRecord, NeverCarriesAnEarlierCode) {
    DecodedRecord out;
    Bytes first{0x0A, 0x02, 'K', 'X'};
    first.insert(first.end(), kOneSecond.begin(), kOneSecond.end());
    DecodeRecord(Record(first), out);
    ASSERT_EQ(out.transponder, "KX");
    DecodeRecord(Record(kOneSecond), out);
    EXPECT_EQ(out.status, RecordStatus::Passing);
    EXPECT_EQ(out.transponder, "");
}

TEST(DecodeRecord, LastFieldOfAKindWinsAndUnknownFieldsAreSkipped) {
    Bytes fields{0x0A, 0x01, 'A', 0x55, 0x03, 0x04, 0x8F, 0x99};
    fields.insert(fields.end(), kOneSecond.begin(), kOneSecond.end());
    fields.insert(fields.end(), {0x0A, 0x01, 'B', 0x04, 0x07, 5, 0, 0, 0, 0, 0, 0});
    const DecodedRecord out = Decode(Record(fields));
    EXPECT_EQ(out.transponder, "B");
    EXPECT_EQ(out.passingTimeMicros, 5u);
}

TEST(DecodeRecord, PassingWithoutTimeHandsNothingOn) {
    const DecodedRecord out = Decode(Record({0x0A, 0x01, 'A'}));
    EXPECT_EQ(out.status, RecordStatus::NoPassingTime);
    EXPECT_EQ(out.transponder, "A");
}

TEST(DecodeRecord, DamagedRecordsAreRejectedWhole) {
    EXPECT_EQ(Decode(Bytes{0x00, 2, 0, 0, 0, 0, 0, 0, 0x01}).status, RecordStatus::Damaged);
    EXPECT_EQ(Decode(Bytes{}).status, RecordStatus::Damaged);

    Bytes pastEnd = kOneSecond;
    pastEnd.insert(pastEnd.end(), {0x0A, 0x05, 'A', 'B'});
    EXPECT_EQ(Decode(Record(pastEnd)).status, RecordStatus::Damaged);

    // Time bytes must lie before the end byte, whatever the stated length.
    EXPECT_EQ(Decode(Record({0x04, 0x03, 1, 2, 3})).status, RecordStatus::Damaged);
    EXPECT_EQ(Decode(Record({0x04, 0x06, 1, 2, 3, 4, 5, 6})).status, RecordStatus::Damaged);
    EXPECT_EQ(Decode(Record({0x04, 0x07, 1, 0, 0, 0, 0, 0, 0})).status, RecordStatus::Passing);
}

TEST(DecodeRecord, ReadsWhatTheRecordWriterWrites) {
    PassingRecordFields fields;
    fields.transponderNumber = 7404583;
    fields.timeMicros = 45'296'123'456;
    fields.passingNumber = 0x8E8F8D;  // bytes that need escaping on the wire
    DecodedRecord out;
    Bytes record = BuildPassingRecord(fields);
    record[0] = 0;
    DecodeRecord(record, out);
    EXPECT_EQ(out.status, RecordStatus::Passing);
    EXPECT_EQ(out.transponder, "7404583");
    EXPECT_EQ(out.passingTimeMicros, 45'296'123'456u);

    fields.transponderText = "KX-04126";
    record = BuildPassingRecord(fields);
    record[0] = 0;
    DecodeRecord(record, out);
    EXPECT_EQ(out.transponder, "KX-04126");

    // A field holds 255 bytes: a longer text is cut there, and the fields after it stay.
    fields.transponderText = std::string(255, 'A') + "BCD";
    record = BuildPassingRecord(fields);
    record[0] = 0;
    DecodeRecord(record, out);
    EXPECT_EQ(out.status, RecordStatus::Passing);
    EXPECT_EQ(out.transponder, std::string(255, 'A'));
    EXPECT_EQ(out.passingTimeMicros, 45'296'123'456u);

    record = BuildStatusRecord({});
    record[0] = 0;
    DecodeRecord(record, out);
    EXPECT_EQ(out.status, RecordStatus::OtherType);
}

TEST(BuildPassingRecord, StoresLengthAndCrcOverTheZeroedCrcField) {
    PassingRecordFields fields;
    fields.transponderNumber = 1;
    fields.timeMicros = 2;
    Bytes record = BuildPassingRecord(fields);
    EXPECT_EQ(record[2] | (record[3] << 8), static_cast<int>(record.size()));
    const int stored = record[4] | (record[5] << 8);
    record[4] = record[5] = 0;
    EXPECT_EQ(Crc16(record), stored);
}

}  // namespace
}  // namespace tivaro::decoder
