#include <gtest/gtest.h>

#include "decoder/record_layout.h"
#include "link/record_framer.h"
#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

using Framing = ReceiveFixture;

constexpr std::uint64_t kT1 = 3'723'050'000;   // 1:2:3.05
constexpr std::uint64_t kT2 = 45'296'123'456;  // 12:34:56.12

// The records a framer completes from `bytes` fed in one piece.
std::vector<Bytes> Frame(RecordFramer& framer, const Bytes& bytes) {
    std::vector<Bytes> records;
    framer.feed(bytes, [&](std::span<const std::uint8_t> raw) {
        records.emplace_back(raw.begin(), raw.end());
    });
    return records;
}

TEST(RecordFramer, StartByteDropsWhatCameBeforeAndEndByteCompletes) {
    RecordFramer framer;
    EXPECT_EQ(Frame(framer, Bytes{0x8E, 0x01, 0x02, 0x8F}),
              (std::vector<Bytes>{{0x8E, 1, 2, 0x8F}}));
    // A start byte while a record is open drops it: a lost end byte costs one record.
    EXPECT_EQ(Frame(framer, Bytes{0x8E, 0x01, 0x8E, 0x02, 0x03, 0x8F}),
              (std::vector<Bytes>{{0x8E, 2, 3, 0x8F}}));
    // Bytes outside a record come with 0 in place of the start byte when an end byte follows.
    EXPECT_EQ(Frame(framer, Bytes{0x05, 0x06, 0x8F}), (std::vector<Bytes>{{0, 5, 6, 0x8F}}));
    EXPECT_EQ(Frame(framer, Bytes{0x05, 0x06, 0x8E, 0x07}), std::vector<Bytes>{});
    EXPECT_EQ(framer.pending().size(), 2u) << "the start byte and 07";
}

TEST(RecordFramer, StartByteThatEndsAnArrivalDropsWhatCameBefore) {
    // Stray bytes, or half a record whose end byte was lost, then a start byte as the last
    // byte of an arrival (alone or after them): the next record is framed on its own.
    for (const Bytes& before : {Bytes{0x05, 0x06}, Bytes{0x8E, 0x01, 0x02}}) {
        for (const bool startAlone : {false, true}) {
            RecordFramer framer;
            Bytes first = before;
            if (startAlone) {
                EXPECT_EQ(Frame(framer, first), std::vector<Bytes>{});
                first.clear();
            }
            first.push_back(0x8E);
            EXPECT_EQ(Frame(framer, first), std::vector<Bytes>{});
            EXPECT_EQ(Frame(framer, Bytes{0x07, 0x8F}), (std::vector<Bytes>{{0x8E, 7, 0x8F}}));
        }
    }
}

TEST(RecordFramer, LongestRecordIsKeptOneByteMoreIsDropped) {
    for (const bool byteByByte : {false, true}) {
        RecordFramer framer;
        Bytes longest{0x8E};
        longest.resize(kMaxRecordBytes, 0x11);
        longest.push_back(0x8F);  // exactly 32,767 bytes after the start byte
        Bytes tooLong{0x8E};
        tooLong.resize(kMaxRecordBytes + 1, 0x11);
        tooLong.push_back(0x8F);  // dropped, and its end byte completes nothing
        std::vector<std::size_t> sizes;
        const auto feed = [&](const Bytes& bytes) {
            const auto take = [&](std::span<const std::uint8_t> raw) {
                sizes.push_back(raw.size());
            };
            if (byteByByte) {
                for (std::uint8_t byte : bytes) {
                    framer.feed(std::span(&byte, 1), take);
                }
            } else {
                framer.feed(bytes, take);
            }
        };
        feed(longest);
        feed(tooLong);
        feed(Join({Bytes(100, 0x22), Bytes{0x8F}, Bytes{0x8E, 0x33, 0x8F}}));
        EXPECT_EQ(sizes, (std::vector<std::size_t>{kMaxRecordBytes + 1, 3}))
            << (byteByByte ? "byte by byte" : "in one piece");
    }
}

TEST(RecordFramer, AnyPatternOfFrameBytesKeepsMemoryBounded) {
    RecordFramer framer;
    const Bytes starts(100'000, 0x8E);
    const Bytes noise(100'000, 0x42);
    std::size_t records = 0;
    for (int k = 0; k < 5; ++k) {
        framer.feed(starts, [&](auto) { ++records; });
        framer.feed(noise, [&](auto) { ++records; });
    }
    EXPECT_EQ(records, 0u);
    EXPECT_LE(framer.pending().size(), kMaxRecordBytes + 1);
}

TEST_F(Framing, RecordsGiveTheirPassingsOnBothLinksWhereverTheStreamIsCut) {
    const Bytes stream = Join(
        {WirePassing(1, kT1), WireStatus(), WirePassing(2, kT2), WirePassing(0, kT1, "KX-05126")});
    const std::vector<Passing> expected = {
        {"1", "1:2:3.05"}, {"2", "12:34:56.12"}, {"KX-05126", "1:2:3.05"}};
    for (const LinkKind kind : {LinkKind::Serial, LinkKind::Tcp}) {
        for (std::size_t cut = 0; cut <= stream.size(); ++cut) {
            // A path of its own each time: the same passings twice on one link are a resend.
            ReceivePath path(kind, recorder, &debug);
            recorder.passings.clear();
            path.receive(std::span(stream).first(cut));
            path.receive(std::span(stream).subspan(cut));
            ASSERT_EQ(recorder.passings, expected) << "cut at " << cut;
        }
    }
}

TEST_F(Framing, StrayEndByteAfterAPassingDoesNotRepeatIt) {
    serial.receive(WirePassing(1, kT1));
    serial.receive(Bytes{0x8F});
    tcp.receive(Join({WirePassing(2, kT2), Bytes{0x8F}}));
    EXPECT_EQ(recorder.passings.size(), 2u);
}

TEST_F(Framing, DamagedRecordIsIgnoredAsAWhole) {
    // A passing record whose escape byte is followed by a control byte.
    Bytes damaged = WirePassing(5, kT2);
    damaged.insert(damaged.end() - 1, {0x8D, 0x01});
    serial.receive(damaged);
    EXPECT_TRUE(recorder.passings.empty());
}

TEST_F(Framing, EndByteWithoutStartCompletesWhatWasCollected) {
    // A whole record minus its start byte is still laid out as decoding expects.
    Bytes wire = WirePassing(9, kT1);
    wire.erase(wire.begin());
    serial.receive(wire);
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"9", "1:2:3.05"}}));
}

TEST_F(Framing, NewConnectionDropsTheHalfRecordOfTheOld) {
    const Bytes first = WirePassing(1, kT1);
    const Bytes second = WirePassing(2, kT2);
    serial.receive(std::span(first).first(20));
    serial.connectionStarted();
    EXPECT_NE(debug.notes.find("half record van 20 bytes"), std::string::npos) << debug.notes;
    // The new connection begins with the end of a record: no part of one.
    serial.receive(Join({Bytes(second.begin() + 20, second.end()), first}));
    EXPECT_EQ(recorder.passings, (std::vector<Passing>{{"1", "1:2:3.05"}}));
}

TEST_F(Framing, DumpsFollowEachLinksRules) {
    debug.raw = true;
    debug.unescaped = true;
    serial.receive(Bytes{0x8E, 0x02, 0x33, 0x8F});
    EXPECT_EQ(debug.text5, "\r\n | 8E | 2 | 33 | 8F\r\n\r\n");
    EXPECT_EQ(debug.text6, "") << "serial: unescaped dump only after a passing";
    debug.text5.clear();
    serial.receive(WirePassing(1, 1'000'000));
    EXPECT_EQ(debug.text6.substr(0, 11), "\r\n | 2 | 33") << "from index 1: version, then length";
    EXPECT_TRUE(debug.text6.ends_with(" | 8F\r\n\r\n"));

    debug.text5.clear();
    debug.text6.clear();
    tcp.receive(Bytes{0x8E, 0x02, 0x33, 0x8F});
    EXPECT_EQ(debug.text5, "\r\n | 8E | 2 | 33 | 8F");
    EXPECT_EQ(debug.text6, "\r\n | 0 | 2 | 33 | 8F") << "every record, from index 0";

    debug.raw = debug.unescaped = false;
    debug.text5.clear();
    debug.text6.clear();
    tcp.receive(WirePassing(1, kT1));
    EXPECT_EQ(debug.text5 + debug.text6, "") << "no dump unless ticked";
}

}  // namespace
}  // namespace tivaro::link::testing
