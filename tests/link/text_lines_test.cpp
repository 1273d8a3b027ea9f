#include <gtest/gtest.h>

#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

class TextLines : public ReceiveFixture {
protected:
    TextLines() { state.binaryDecoder = false; }

    // Feeds the text as one serial event or one TCP arrival.
    void Serial(std::string_view text) { receive.ReceiveSerial(AsBytes(text)); }
    void Tcp(std::string_view text) { receive.ReceiveTcp(AsBytes(text)); }
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
    EXPECT_EQ(state.serialTextLine, "");

    Serial(PassingLine("7404583", "\r\n"));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"7404583", "0:12:34.12"}}));
}

TEST_F(TextLines, SerialCharactersAreWindows1252) {
    Serial("caf\xE9\r\n");
    EXPECT_EQ(debug.text1, "caf\u00E9\r\n");
}

TEST_F(TextLines, OverlongSerialLineIsDroppedUpToItsLineEnd) {
    Serial(std::string(kMaxLineChars, 'a'));
    Serial("\n");
    EXPECT_EQ(debug.text1.size(), kMaxLineChars + 1) << "4,096 characters and LF still fit";

    Serial(std::string(kMaxLineChars + 1, 'b'));
    EXPECT_EQ(state.serialTextLine, "");
    Serial(std::string(50'000, 'b'));
    EXPECT_EQ(state.serialTextLine, "");
    Serial(PassingLine("1", "\r\n"));  // the rest of the overlong line ends at this LF
    EXPECT_TRUE(sink.passings.empty());
    Serial(PassingLine("2", "\r\n"));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"2", "0:12:34.12"}}));
}

TEST_F(TextLines, TcpLineSplitAcrossArrivalsIsHandedOnOnceWhole) {
    const std::string first = PassingLine("1", "\r\n");
    const std::string second = PassingLine("2", "\r\n");
    Tcp(first + second.substr(0, 10));
    EXPECT_EQ(sink.passings.size(), 1u);
    EXPECT_EQ(state.tcpTextRemainder, second.substr(0, 10));
    Tcp(second.substr(10));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"1", "0:12:34.12"}, {"2", "0:12:34.12"}}));
    EXPECT_EQ(state.tcpTextRemainder, "");
}

TEST_F(TextLines, TcpArrivalEndingAfterCrHandsTheLineOnAtOnce) {
    Tcp(PassingLine("1", "\r"));
    EXPECT_EQ(sink.passings.size(), 1u);
    Tcp("\n");
    EXPECT_EQ(sink.passings.size(), 1u);
    EXPECT_EQ(state.tcpTextRemainder, "");
}

TEST_F(TextLines, TcpLineWithoutCrIsNeverALineOfItsOwn) {
    Tcp(PassingLine("1", "\n"));
    EXPECT_TRUE(sink.passings.empty());
    EXPECT_EQ(state.tcpTextRemainder, "") << "replaced by the empty piece after the LF";

    Tcp(PassingLine("1", "\n") + "tail");
    EXPECT_EQ(state.tcpTextRemainder, "tail");
    Tcp("\r\n");
    EXPECT_TRUE(sink.passings.empty()) << "'tail' is not a passing line";
}

TEST_F(TextLines, TcpLinesAreByteForByteTheSameInAnyPieces) {
    const std::string stream =
        PassingLine("1", "\r\n") + "\x01#\tstatus\r\n" + PassingLine(" 'KX-04126' ", "\r\n");
    for (std::size_t cut = 1; cut < stream.size(); ++cut) {
        sink.passings.clear();
        Tcp(stream.substr(0, cut));
        Tcp(stream.substr(cut));
        ASSERT_EQ(sink.passings,
                  (std::vector<Passing>{{"1", "0:12:34.12"}, {"KX-04126", "0:12:34.12"}}))
            << "cut at " << cut;
    }
}

TEST_F(TextLines, OverlongTcpRemainderIsDropped) {
    Tcp(std::string(kMaxLineChars + 1, 'x'));
    EXPECT_EQ(state.tcpTextRemainder, "");
    Tcp(std::string(20'000, 'x'));
    Tcp(PassingLine("1", "\r\n"));  // ends the overlong line
    Tcp(PassingLine("2", "\r\n"));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"2", "0:12:34.12"}}));
}

TEST_F(TextLines, ChangingTheDecoderGenerationKeepsCollectedText) {
    Serial("\x01@\t1");
    state.binaryDecoder = true;
    receive.ReceiveSerial(WirePassing(5, 1'000'000));
    state.binaryDecoder = false;
    Serial("01\t17\t5\t1\t3\t80\t0\tx\r\n");
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"5", "0:0:1.00"}, {"5", "0:0:1.00"}}));
}

}  // namespace
}  // namespace tivaro::link::testing
