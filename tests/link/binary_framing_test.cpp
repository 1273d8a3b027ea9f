#include <gtest/gtest.h>

#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

using Framing = ReceiveFixture;

constexpr std::uint64_t kT1 = 3'723'050'000;   // 1:2:3.05
constexpr std::uint64_t kT2 = 45'296'123'456;  // 12:34:56.12

TEST_F(Framing, StartUpStateHoldsOneZeroByte) {
    EXPECT_EQ(state.rawRecord, Bytes{0});
    EXPECT_TRUE(state.record.empty());
    EXPECT_TRUE(state.binaryDecoder);
}

TEST_F(Framing, RecordSpreadOverManyEventsIsCompletedOnce) {
    const Bytes wire = WirePassing(7404583, kT1);
    const std::size_t third = wire.size() / 3;
    receive.ReceiveSerial(std::span(wire).first(third));
    receive.ReceiveSerial(std::span(wire).subspan(third, third));
    EXPECT_TRUE(sink.passings.empty());
    receive.ReceiveSerial(std::span(wire).subspan(2 * third));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"7404583", "1:2:3.05"}}));
}

TEST_F(Framing, SeveralRecordsInOneEventEachGiveTheirPassing) {
    receive.ReceiveSerial(
        Join({WirePassing(1, kT1), WireStatus(), WirePassing(0, kT2, "KX-04126")}));
    EXPECT_EQ(sink.passings,
              (std::vector<Passing>{{"1", "1:2:3.05"}, {"KX-04126", "12:34:56.12"}}));
    EXPECT_EQ(state.rawRecord, Bytes{0}) << "reset after a passing";
}

TEST_F(Framing, StartByteDropsAnUnfinishedRecord) {
    Bytes wire = WirePassing(1, kT1);
    wire.pop_back();  // its end byte is lost
    receive.ReceiveSerial(Join({wire, WirePassing(2, kT2)}));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"2", "12:34:56.12"}}));
}

TEST_F(Framing, GarbageOutsideRecordsNeverEntersOne) {
    receive.ReceiveSerial(Join({Bytes{0x05, 0x06}, WirePassing(1, kT1), Bytes{0x05, 0x06, 0x8F},
                                Bytes{0x07}, WirePassing(2, kT2)}));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"1", "1:2:3.05"}, {"2", "12:34:56.12"}}));
}

TEST_F(Framing, StrayEndByteAfterAPassingDoesNotRepeatIt) {
    receive.ReceiveSerial(WirePassing(1, kT1));
    receive.ReceiveSerial(Bytes{0x8F});
    receive.ReceiveTcp(Join({WirePassing(2, kT2), Bytes{0x8F}}));
    EXPECT_EQ(sink.passings.size(), 2u);
}

TEST_F(Framing, DamagedRecordChangesNothing) {
    receive.ReceiveSerial(WirePassing(0, kT1, "KX"));
    const Bytes recordBefore = state.record;
    // A passing record whose escape byte is followed by a control byte.
    Bytes damaged = WirePassing(5, kT2);
    damaged.insert(damaged.end() - 1, {0x8D, 0x01});
    receive.ReceiveSerial(damaged);
    EXPECT_EQ(sink.passings.size(), 1u);
    EXPECT_EQ(state.record, recordBefore);
    EXPECT_EQ(state.recordTransponder, "KX");
}

TEST_F(Framing, OversizeRecordIsDroppedAndFramingWaitsForTheNextStart) {
    Bytes longest{0x8E};
    longest.resize(kMaxRecordBytes, 0x11);
    longest.push_back(0x8F);  // exactly 32,767 bytes after the start byte: still a record
    receive.ReceiveSerial(longest);
    EXPECT_EQ(state.record.size(), kMaxRecordBytes + 1);
    state.record.clear();
    for (std::uint8_t byte : longest) {  // the same, a byte per receive event
        receive.ReceiveSerial(Bytes{byte});
    }
    EXPECT_EQ(state.record.size(), kMaxRecordBytes + 1);

    Bytes tooLong{0x8E};
    tooLong.resize(kMaxRecordBytes + 1, 0x11);
    tooLong.push_back(0x8F);  // one byte more: dropped, and its end byte completes nothing
    state.record.clear();
    receive.ReceiveSerial(tooLong);
    EXPECT_TRUE(state.record.empty());
    EXPECT_EQ(state.rawRecord, Bytes{0});

    receive.ReceiveSerial(Join({Bytes(100, 0x22), Bytes{0x8F}, WirePassing(3, kT1)}));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"3", "1:2:3.05"}}));
}

TEST_F(Framing, EndlessGarbageKeepsMemoryBounded) {
    const Bytes noise(10'000, 0x42);
    for (int k = 0; k < 20; ++k) {
        receive.ReceiveTcp(noise);
    }
    EXPECT_LE(state.rawRecord.size(), kMaxRecordBytes);
    receive.ReceiveTcp(WirePassing(4, kT2));
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"4", "12:34:56.12"}}));
}

TEST_F(Framing, TcpRecordsAreFramedAcrossArrivals) {
    const Bytes stream = Join(
        {WirePassing(1, kT1), WireStatus(), WirePassing(2, kT2), WirePassing(0, kT1, "KX-05126")});
    // Every way of cutting the stream in two gives the same passings.
    for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
        sink.passings.clear();
        receive.ReceiveTcp(std::span(stream).first(cut));
        receive.ReceiveTcp(std::span(stream).subspan(cut));
        ASSERT_EQ(sink.passings,
                  (std::vector<Passing>{
                      {"1", "1:2:3.05"}, {"2", "12:34:56.12"}, {"KX-05126", "1:2:3.05"}}))
            << "cut at " << cut;
    }
}

TEST_F(Framing, EndByteWithoutStartCompletesWhatWasCollected) {
    // A whole record minus its start byte: index 0 stays the start-up zero, so the record
    // is still laid out as decoding expects.
    Bytes wire = WirePassing(9, kT1);
    wire.erase(wire.begin());
    receive.ReceiveSerial(wire);
    EXPECT_EQ(sink.passings, (std::vector<Passing>{{"9", "1:2:3.05"}}));
}

TEST_F(Framing, SerialDumpsAreFollowedByAnEmptyLine) {
    debug.raw = true;
    debug.unescaped = true;
    receive.ReceiveSerial(Bytes{0x8E, 0x02, 0x33, 0x8F});
    EXPECT_EQ(debug.text5, "\r\n | 8E | 2 | 33 | 8F\r\n\r\n");
    EXPECT_EQ(debug.text6, "") << "serial: unescaped dump only after a passing";

    const Bytes wire = WirePassing(1, 1'000'000);
    debug.text5.clear();
    receive.ReceiveSerial(wire);
    ASSERT_EQ(debug.text6.substr(0, 2), "\r\n");
    EXPECT_EQ(debug.text6.substr(2, 9), " | 2 | 33") << "from index 1: version, then length";
    EXPECT_TRUE(debug.text6.ends_with(" | 8F\r\n\r\n"));
}

TEST_F(Framing, TcpDumpsHaveNoTrailingLineEnds) {
    debug.raw = true;
    debug.unescaped = true;
    receive.ReceiveTcp(Bytes{0x8E, 0x02, 0x33, 0x8F});
    EXPECT_EQ(debug.text5, "\r\n | 8E | 2 | 33 | 8F");
    EXPECT_EQ(debug.text6, "\r\n | 0 | 2 | 33 | 8F") << "every record, from index 0";
}

TEST_F(Framing, DumpsOnlyWhenTicked) {
    receive.ReceiveSerial(WirePassing(1, kT1));
    receive.ReceiveTcp(WirePassing(1, kT1));
    EXPECT_EQ(debug.text5, "");
    EXPECT_EQ(debug.text6, "");
}

}  // namespace
}  // namespace tivaro::link::testing
