// The decoders' CRC, checked against records and lines as real decoders sent them
// (real_records.txt) and against the bit-at-a-time shift register it is defined by.

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/checksum.h"
#include "decoder/escape.h"
#include "decoder/record.h"

namespace tivaro::decoder {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct RealCaptures {
    std::vector<Bytes> records;      // escaped, start byte to end byte, as sent
    std::vector<std::string> lines;  // with their SOH, TABs and CR LF
};

RealCaptures ReadRealCaptures() {
    RealCaptures captures;
    std::ifstream file(TIVARO_DECODER_TEST_DIR "/real_records.txt");
    for (std::string text; std::getline(file, text);) {
        if (text.starts_with("8E")) {
            std::istringstream hex(text);
            Bytes record;
            for (unsigned byte; hex >> std::hex >> byte;) {
                record.push_back(static_cast<std::uint8_t>(byte));
            }
            captures.records.push_back(std::move(record));
        } else if (text.starts_with("<SOH>")) {
            std::string line;
            for (std::size_t at = 0; at < text.size();) {
                if (text.compare(at, 5, "<SOH>") == 0) {
                    line += '\x01';
                    at += 5;
                } else if (text.compare(at, 5, "<TAB>") == 0) {
                    line += '\t';
                    at += 5;
                } else {
                    line += text[at++];
                }
            }
            captures.lines.push_back(line + "\r\n");
        }
    }
    return captures;
}

// The definition: a 16-bit shift register from 0xFFFF that takes the message in at its low
// end, most significant bit first, and is reduced by 0x1021 whenever a one falls out on top.
std::uint16_t ShiftRegisterCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        for (int bit = 7; bit >= 0; --bit) {
            const bool top = (crc & 0x8000) != 0;
            crc = static_cast<std::uint16_t>(crc << 1 | ((byte >> bit) & 1));
            if (top) {
                crc ^= 0x1021;
            }
        }
    }
    return crc;
}

Bytes Unescaped(const Bytes& wire) {
    Bytes record;
    EXPECT_TRUE(UnescapeRecord(wire, record));
    return record;
}

TEST(DecoderCrc, EveryRealRecordChecksOut) {
    const RealCaptures captures = ReadRealCaptures();
    ASSERT_EQ(captures.records.size(), 11u) << "real_records.txt was not found or not read";
    bool sawZero = false;
    for (const Bytes& wire : captures.records) {
        const Bytes record = Unescaped(wire);
        EXPECT_TRUE(RecordChecksumMatches(record)) << "record of " << record.size() << " bytes";
        sawZero = sawZero || (record[4] == 0 && record[5] == 0);
    }
    EXPECT_TRUE(sawZero) << "a stored CRC of 0000 is a CRC like any other";
}

TEST(DecoderCrc, EveryBitFlippedInARealRecordFailsTheCheck) {
    for (const Bytes& wire : ReadRealCaptures().records) {
        const Bytes record = Unescaped(wire);
        // Index 0 stands in for the start byte and the check always takes 0x8E there.
        for (std::size_t bit = 8; bit < record.size() * 8; ++bit) {
            Bytes hit = record;
            hit[bit / 8] ^= static_cast<std::uint8_t>(1u << (bit % 8));
            EXPECT_FALSE(RecordChecksumMatches(hit)) << "bit " << bit;
        }
    }
}

TEST(DecoderCrc, RealPassingRecordsDecode) {
    const RealCaptures captures = ReadRealCaptures();
    DecodedRecord first;
    DecodeRecord(Unescaped(captures.records[0]), first);
    EXPECT_EQ(first.status, RecordStatus::Passing);
    EXPECT_EQ(first.transponder, "7404583");
    EXPECT_EQ(first.passingNumber, 0x019BB2u);
    EXPECT_EQ(first.decoderId, 0x0405FCu);

    DecodedRecord status;
    DecodeRecord(Unescaped(captures.records[1]), status);
    EXPECT_EQ(status.status, RecordStatus::OtherType);

    DecodedRecord text;
    DecodeRecord(Unescaped(captures.records[10]), text);
    EXPECT_EQ(text.status, RecordStatus::Passing);
    EXPECT_EQ(text.transponder, "PV-38463");
}

TEST(DecoderCrc, RealOlderLinesCarryItInTheirCheckField) {
    const RealCaptures captures = ReadRealCaptures();
    ASSERT_EQ(captures.lines.size(), 2u);
    for (const std::string& line : captures.lines) {
        const std::optional<LineCheck> check = OlderLineCheck(line);
        ASSERT_TRUE(check) << line;
        EXPECT_TRUE(check->matches()) << line;
        // The same line over TCP ends in CR alone.
        EXPECT_TRUE(OlderLineCheck(line.substr(0, line.size() - 1))->matches());
    }
    // Any character changed, the check field's own "x" aside, fails it.
    const std::string& passing = captures.lines[1];
    for (std::size_t at = 1; at < passing.rfind('x'); ++at) {
        std::string hit = passing;
        hit[at] ^= 0x04;
        const std::optional<LineCheck> check = OlderLineCheck(hit);
        EXPECT_TRUE(!check || !check->matches()) << "character " << at;
    }
}

TEST(DecoderCrc, CheckFieldIsTheLastFieldWithAnXAndUpperCaseHex) {
    EXPECT_FALSE(OlderLineCheck("\x01@\t1\t2\t3\t4\t5\t6\t7\t8\r\n")) << "no check field";
    EXPECT_FALSE(OlderLineCheck("\x01@\t1\tx14F5\t3\r\n")) << "not the last field";
    EXPECT_FALSE(OlderLineCheck("\x01#\t20\t0\t72\t0\tX6B89\r\n")) << "upper-case X";
    EXPECT_FALSE(OlderLineCheck("\x01#\t20\t0\t72\t0\tx6b89\r\n")) << "lower-case digits";
    EXPECT_FALSE(OlderLineCheck("\x01#\t20\t0\t72\t0\tx\r\n")) << "no digits";
    EXPECT_FALSE(OlderLineCheck("\x01#\t20\t0\t72\t0\tx16B89\r\n")) << "five digits";
    // Without leading zeros: "x0" is the CRC 0000.
    const std::optional<LineCheck> zero = OlderLineCheck("\x01#\tx0");
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->stored, 0u);
}

TEST(DecoderCrc, AgreesWithTheShiftRegisterAtEveryLength) {
    std::mt19937 random(11);
    for (std::size_t length = 0; length <= 200; ++length) {
        Bytes bytes(length);
        for (std::uint8_t& byte : bytes) {
            byte = static_cast<std::uint8_t>(random());
        }
        EXPECT_EQ(Crc16(bytes), ShiftRegisterCrc(bytes)) << "length " << length;
    }
    EXPECT_EQ(Crc16(std::string_view("123456789")), 0xA69D)
        << "the textbook CCITT update gives 0x29B1 here, and no real record checks out with it";
}

}  // namespace
}  // namespace tivaro::decoder
