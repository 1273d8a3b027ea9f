// Checksums on a link: when they arm, what is set aside once they have, and how a new
// connection, noise before a line and a passing sent twice are met.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "decoder/checksum.h"
#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

constexpr std::uint64_t kT1 = 3'723'050'000;   // 1:2:3.05
constexpr std::uint64_t kT2 = 45'296'123'456;  // 12:34:56.12

// The textbook CCITT update: what a decoder with another checksum might send.
std::uint16_t OtherCrc(std::span<const std::uint8_t> bytes) {
    std::uint16_t crc = 0xFFFF;
    for (const std::uint8_t byte : bytes) {
        crc ^= static_cast<std::uint16_t>(byte << 8);
        for (int bit = 0; bit < 8; ++bit) {
            crc = static_cast<std::uint16_t>((crc & 0x8000) ? (crc << 1) ^ 0x1021 : crc << 1);
        }
    }
    return crc;
}

decoder::PassingRecordFields Fields(std::uint32_t transponder, std::uint64_t micros,
                                    std::uint32_t number = 0) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.timeMicros = micros;
    fields.passingNumber = number;
    fields.decoderId = 0x0405FC;
    return fields;
}

Bytes Wire(const std::vector<std::uint8_t>& record) {
    Bytes wire;
    decoder::AppendEscaped(record, wire);
    return wire;
}

// A passing record whose CRC is the other variant's.
Bytes OtherVariant(std::uint32_t transponder, std::uint64_t micros) {
    std::vector<std::uint8_t> record = decoder::BuildPassingRecord(Fields(transponder, micros));
    record[4] = record[5] = 0;
    const std::uint16_t crc = OtherCrc(record);
    record[4] = static_cast<std::uint8_t>(crc);
    record[5] = static_cast<std::uint8_t>(crc >> 8);
    return Wire(record);
}

Bytes Good(std::uint32_t transponder, std::uint64_t micros, std::uint32_t number = 0) {
    return Wire(decoder::BuildPassingRecord(Fields(transponder, micros, number)));
}

// A passing whose time took a bit hit on the line.
Bytes Hit(std::uint32_t transponder, std::uint64_t micros) {
    std::vector<std::uint8_t> record = decoder::BuildPassingRecord(Fields(transponder, micros));
    const std::size_t time = 10 + 6 + 6 + 2;  // after the number and code fields
    record[time + 3] ^= 0x01;                 // 16.78 s later
    return Wire(record);
}

using Checks = ReceiveFixture;

TEST_F(Checks, ADecoderWithAnotherChecksumIsHandledInFullEvenAfterChanceMatches) {
    // One record that checks out by chance, later two in a row: neither arms the check.
    serial.receive(Join({OtherVariant(1, kT1), Good(2, kT1), OtherVariant(3, kT1), Good(4, kT1),
                         Good(5, kT1), OtherVariant(6, kT1), OtherVariant(7, kT2)}));
    EXPECT_EQ(recorder.passings.size(), 7u);
    EXPECT_FALSE(serial.recordsChecked());
    EXPECT_TRUE(recorder.setAsideCounts.empty());
}

TEST_F(Checks, ThreeGoodRecordsInARowArmTheCheckAndStatusRecordsCount) {
    // Before the run is complete a hit record is still handled, as it always was.
    serial.receive(Join({Good(1, kT1), WireStatus(), Hit(2, kT1)}));
    EXPECT_EQ(recorder.passings.size(), 2u);
    EXPECT_FALSE(serial.recordsChecked()) << "the hit broke the run";

    serial.receive(Join({Good(3, kT1), WireStatus(), WireStatus()}));
    EXPECT_TRUE(serial.recordsChecked());
    serial.receive(Join({Hit(4, kT2), Good(5, kT2), Hit(6, kT2)}));
    EXPECT_EQ(recorder.passings.back(), (Passing{"5", "12:34:56.12"}));
    EXPECT_EQ(recorder.passings.size(), 4u);
    // Set aside, decoded as far as they go: the code and the time as the hit left it.
    ASSERT_EQ(recorder.setAsidePassings.size(), 2u);
    EXPECT_EQ(recorder.setAsidePassings[0].transponder, "4");
    EXPECT_NE(recorder.setAsidePassings[0].time, "12:34:56.12");
    EXPECT_EQ(recorder.setAsideCounts, (std::vector<std::uint64_t>{1, 2}));
    EXPECT_NE(debug.notes.find("terzijde"), std::string::npos);
    EXPECT_TRUE(recorder.problems.empty()) << "no message of its own per record";

    // Each link arms on its own.
    tcp.receive(Hit(7, kT1));
    EXPECT_EQ(recorder.passings.size(), 5u);
}

TEST_F(Checks, ANewConnectionStartsUnchecked) {
    for (ReceivePath* path : {&serial, &tcp}) {
        path->receive(Join({Good(1, kT1, 1), Good(2, kT1, 2), Good(3, kT1, 3)}));
        ASSERT_TRUE(path->recordsChecked());
        path->connectionStarted();
        EXPECT_FALSE(path->recordsChecked());
        const std::size_t before = recorder.passings.size();
        path->receive(OtherVariant(4, kT2));
        EXPECT_EQ(recorder.passings.size(), before + 1) << "maybe another decoder now";
    }
}

TEST_F(Checks, APassingSentAgainAfterAReconnectIsHandledOnce) {
    const Bytes first = Good(1, kT1, 41);
    tcp.receive(Join({first, Good(2, kT1, 42)}));
    tcp.connectionStarted();
    tcp.receive(Join({first, Good(1, kT2, 43)}));
    EXPECT_EQ(recorder.passings,
              (std::vector<Passing>{{"1", "1:2:3.05"}, {"2", "1:2:3.05"}, {"1", "12:34:56.12"}}));
    EXPECT_EQ(tcp.resendsDropped(), 1u);
    EXPECT_NE(debug.notes.find("opnieuw ontvangen"), std::string::npos);
    // The same code at the same time with another passing number is another passing.
    tcp.receive(Good(1, kT2, 44));
    EXPECT_EQ(recorder.passings.size(), 4u);
}

class OlderChecks : public ReceiveFixture {
protected:
    OlderChecks() {
        serial.setGeneration(DecoderGeneration::Older);
        tcp.setGeneration(DecoderGeneration::Older);
    }
};

// An older decoder's line with its check field, as a decoder sends it.
std::string Line(std::string_view fields, std::string_view end = "\r\n") {
    const std::string body = "\x01" + std::string(fields) + "\t";
    char check[8];
    std::snprintf(check, sizeof check, "x%X",
                  static_cast<unsigned>(decoder::Crc16(std::string_view(body).substr(1))));
    return body + check + std::string(end);
}

std::string PassingLine(int number, std::string_view code, std::string_view seconds,
                        std::string_view end = "\r\n") {
    return Line("@\t20\t" + std::to_string(number) + "\t" + std::string(code) + "\t" +
                    std::string(seconds) + "\t400\t163\t2",
                end);
}

TEST_F(OlderChecks, LinesArmAfterThreeGoodOnesAndThenSetAsideFailures) {
    const std::string status = Line("#\t20\t0\t72\t0");
    std::string flipped = PassingLine(3, "8533156", "598.00");
    flipped[12] ^= 0x01;  // a digit of the code
    std::string noCheck = "\x01@\t20\t4\t8533156\t599.00\t400\t163\t2\tX14F5\r\n";
    serial.receive(AsBytes(status + PassingLine(1, "8533156", "596.12") + status));
    ASSERT_TRUE(serial.linesChecked());
    serial.receive(AsBytes(flipped + noCheck + PassingLine(5, "8533156", "600.00")));
    EXPECT_EQ(recorder.passings,
              (std::vector<Passing>{{"8533156", "0:9:56.12"}, {"8533156", "0:10:0.00"}}));
    ASSERT_EQ(recorder.setAsidePassings.size(), 2u);
    EXPECT_EQ(recorder.setAsidePassings[1].transponder, "X14F5")
        << "a flipped x would have made the check field the code";
    EXPECT_FALSE(tcp.linesChecked());
}

TEST_F(OlderChecks, RealLinesArmTheCheck) {
    const std::string status = "\x01#\t20\t0\t72\t0\tx6B89\r\n";
    const std::string passing = "\x01@\t20\t2\t8533156\t596.126\t400\t163\t2\tx14F5\r\n";
    serial.receive(AsBytes(status + passing + status));
    EXPECT_TRUE(serial.linesChecked());
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"8533156", "0:9:56.26"}}));
}

TEST_F(OlderChecks, ALineIsReadFromItsLastStartOnBothLinks) {
    // Bytes left on the wire at the opening, and half a line glued to the next.
    const std::string text = "xx" + PassingLine(1, "7405583", "68400.48") + "\x01@\t20\t2\t74055" +
                             PassingLine(3, "7405584", "68401.00");
    serial.receive(AsBytes(text));
    tcp.receive(AsBytes(text));
    const std::vector<Passing> both = {{"7405583", "19:0:0.48"}, {"7405584", "19:0:1.00"}};
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{both[0], both[1], both[0], both[1]}));
    EXPECT_NE(debug.notes.find("weggegooid: xx"), std::string::npos) << debug.notes;
    EXPECT_NE(debug.notes.find("weggegooid: \x01@\t20\t2\t74055"), std::string::npos);
}

TEST_F(OlderChecks, TheRawLogKeepsTheLineAsReceived) {
    const auto log = std::filesystem::temp_directory_path() /
                     ("tivaro-raw-" + std::to_string(::getpid()) + ".log");
    std::filesystem::remove(log);
    ReceivePath path(LinkKind::Serial, recorder, &debug, log);
    path.setGeneration(DecoderGeneration::Older);
    const std::string line = "xx" + PassingLine(1, "7405583", "68400.48");
    path.receive(AsBytes(line));
    std::ifstream file(log, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    EXPECT_EQ(text.str(), line + "\r\n");
    std::filesystem::remove(log);
}

TEST_F(OlderChecks, ALineCutBetweenCrAndLfAndSentAgainIsHandledOnce) {
    const std::string line = PassingLine(7, "7405583", "68400.48", "\r");
    tcp.receive(AsBytes(line));  // complete at its CR
    tcp.connectionStarted();     // the connection drops before the LF
    tcp.receive(AsBytes("\n" + line + "\n" + PassingLine(8, "7405583", "68460.48")));
    EXPECT_EQ(recorder.passings,
              (std::vector<Passing>{{"7405583", "19:0:0.48"}, {"7405583", "19:1:0.48"}}));
}

}  // namespace
}  // namespace tivaro::link::testing
