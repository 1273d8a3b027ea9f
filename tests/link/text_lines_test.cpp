#include <gtest/gtest.h>

#include "link/line_framer.h"
#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

class TextLines : public ReceiveFixture {
protected:
    TextLines() {
        serial.setGeneration(DecoderGeneration::Older);
        tcp.setGeneration(DecoderGeneration::Older);
    }

    void Serial(std::string_view text) { serial.receive(AsBytes(text)); }
    void Tcp(std::string_view text) { tcp.receive(AsBytes(text)); }
};

// A passing line of transponder `code` at 754.12 s (0:12:34.12).
std::string PassingLine(std::string_view code, std::string_view end) {
    return "\x01@\t101\t17\t" + std::string(code) + "\t754.12\t3\t80\t0\tx1A2B" + std::string(end);
}

TEST_F(TextLines, SerialLineIncludesItsCrLfAndIsHandedOnOnce) {
    Serial("\x01#\t101\t17\tstatus\r");
    EXPECT_EQ(debug.text1, "Text1") << "no line before its LF";
    Serial("\nab");
    EXPECT_EQ(debug.text1, "\x01#\t101\t17\tstatus\r\n");
    Serial("cd\r\n");
    EXPECT_EQ(debug.text1, "abcd\r\n");

    Serial(PassingLine("7404583", "\r\n"));
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"7404583", "0:12:34.12"}}));
}

TEST_F(TextLines, SerialCharactersAreWindows1252) {
    Serial("caf\xE9\r\n");
    EXPECT_EQ(debug.text1, "caf\u00E9\r\n");
}

TEST(LineFramer, OverlongLinesAreDroppedUpToTheirLineEnd) {
    std::vector<std::string> lines;
    const LineHandler take = [&](std::string_view line) { lines.emplace_back(line); };
    SerialLineFramer serial;
    serial.feed(AsBytes(std::string(kMaxLineChars, 'a') + "\n"), take);
    ASSERT_EQ(lines.size(), 1u) << "4,096 characters and LF still fit";
    serial.feed(AsBytes(std::string(kMaxLineChars + 1, 'b')), take);
    serial.feed(AsBytes(std::string(50'000, 'b')), take);
    EXPECT_EQ(serial.pending(), "");
    serial.feed(AsBytes("rest\nnext\n"), take);
    EXPECT_EQ(lines.back(), "next\n");
    EXPECT_EQ(lines.size(), 2u);

    TcpLineFramer tcp;
    tcp.feed(AsBytes(std::string(kMaxLineChars + 1, 'x')), take);
    EXPECT_EQ(tcp.pending(), "");
    tcp.feed(AsBytes(std::string(20'000, 'x')), take);
    tcp.feed(AsBytes("rest\r\nnext\r\n"), take);
    EXPECT_EQ(lines.back(), "next\r");
    EXPECT_EQ(lines.size(), 3u);
}

TEST_F(TextLines, TcpLinesAreByteForByteTheSameInAnyPieces) {
    const std::string stream =
        PassingLine("1", "\r\n") + "\x01#\tstatus\r\n" + PassingLine(" 'KX-04126' ", "\r\n");
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        // A path of its own each time: the same passings twice on one link are a resend.
        ReceivePath path(LinkKind::Tcp, recorder, &debug);
        path.setGeneration(DecoderGeneration::Older);
        recorder.passings.clear();
        path.receive(AsBytes(stream.substr(0, cut)));
        path.receive(AsBytes(stream.substr(cut)));
        ASSERT_EQ(recorder.passings,
                  (std::vector<Passing>{{"1", "0:12:34.12"}, {"KX-04126", "0:12:34.12"}}))
            << "cut at " << cut;
    }
}

TEST_F(TextLines, TcpArrivalEndingAfterCrHandsTheLineOnAtOnce) {
    Tcp(PassingLine("1", "\r"));
    EXPECT_EQ(recorder.passings.size(), 1u);
    Tcp("\n");
    EXPECT_EQ(recorder.passings.size(), 1u);
}

TEST(LineFramer, TcpLineWithoutCrIsNeverALineOfItsOwn) {
    std::vector<std::string> lines;
    const LineHandler take = [&](std::string_view line) { lines.emplace_back(line); };
    TcpLineFramer tcp;
    tcp.feed(AsBytes("first\n"), take);
    EXPECT_EQ(tcp.pending(), "") << "replaced by the empty piece after the LF";
    tcp.feed(AsBytes("first\ntail"), take);
    EXPECT_EQ(tcp.pending(), "tail");
    tcp.feed(AsBytes("\r\n"), take);
    EXPECT_EQ(lines, (std::vector<std::string>{"tail\r"}));
}

TEST_F(TextLines, NewConnectionDropsTheHalfLineOfTheOld) {
    for (ReceivePath* path : {&serial, &tcp}) {
        path->receive(AsBytes(PassingLine("1", "")));
        path->connectionStarted();
        path->receive(AsBytes(PassingLine("2", "\r\n")));
    }
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"2", "0:12:34.12"}, {"2", "0:12:34.12"}}));
    EXPECT_NE(debug.notes.find("halve regel"), std::string::npos) << debug.notes;
}

TEST_F(TextLines, ChangingTheDecoderGenerationKeepsCollectedText) {
    Serial("\x01@\t1");
    serial.setGeneration(DecoderGeneration::Binary);
    serial.receive(WirePassing(5, 1'000'000));
    serial.setGeneration(DecoderGeneration::Older);
    Serial("01\t17\t5\t1\t3\t80\t0\tx\r\n");
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"5", "0:0:1.00"}, {"5", "0:0:1.00"}}));
}

}  // namespace
}  // namespace tivaro::link::testing
