#include <gtest/gtest.h>

#include <optional>
#include <random>

#include "decoder/escape.h"
#include "decoder/record_writer.h"

namespace tivaro::decoder {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(UnescapeRecord, DropsTheStartByteAndKeepsTheEndByte) {
    Bytes record;
    ASSERT_TRUE(UnescapeRecord(Bytes{0x8E, 0x01, 0x8D, 0xAE, 0x02, 0x8F}, record));
    EXPECT_EQ(record, (Bytes{0x00, 0x01, 0x8E, 0x02, 0x8F}));
}

TEST(UnescapeRecord, TheByteAfterAnEscapeIsAlwaysData) {
    Bytes record;
    ASSERT_TRUE(UnescapeRecord(Bytes{0x8E, 0x8D, 0xAD, 0x8D, 0xAF}, record));
    EXPECT_EQ(record, (Bytes{0x00, 0x8D, 0x8F}));
}

TEST(UnescapeRecord, StartByteAloneGivesIndexZeroAlone) {
    Bytes record{1, 2, 3};
    ASSERT_TRUE(UnescapeRecord(Bytes{0x8E}, record));
    EXPECT_EQ(record, Bytes{0x00});
}

TEST(UnescapeRecord, DamagedEscapeLeavesTheRecordUntouched) {
    const Bytes previous{0x00, 0x42};
    for (const Bytes& raw : {Bytes{0x8E, 0x01, 0x8D}, Bytes{0x8E, 0x8D, 0x1F, 0x8F},
                             Bytes{0x8E, 0x01, 0x02, 0x8D, 0x00, 0x8F}}) {
        Bytes record = previous;
        EXPECT_FALSE(UnescapeRecord(raw, record));
        EXPECT_EQ(record, previous);
    }
    Bytes record;
    EXPECT_TRUE(UnescapeRecord(Bytes{0x8E, 0x8D, 0x20, 0x8F}, record)) << "0x20 is the lowest";
    EXPECT_EQ(record, (Bytes{0x00, 0x00, 0x8F}));
}

TEST(UnescapeRecord, UndoesTheEscapingOfAnyRecord) {
    std::mt19937 random(7);
    std::uniform_int_distribution<int> byte(0, 255);
    for (int round = 0; round < 200; ++round) {
        Bytes plain{kStartByte};
        const int length = round % 40;
        for (int k = 0; k < length; ++k) {
            plain.push_back(static_cast<std::uint8_t>(byte(random)));
        }
        plain.push_back(kEndByte);
        Bytes escaped;
        AppendEscaped(plain, escaped);
        for (std::size_t k = 1; k + 1 < escaped.size(); ++k) {
            ASSERT_NE(escaped[k], kStartByte);
            ASSERT_NE(escaped[k], kEndByte);
        }
        Bytes record;
        ASSERT_TRUE(UnescapeRecord(escaped, record));
        Bytes expected = plain;
        expected[0] = 0;
        EXPECT_EQ(record, expected);
    }
}

// The escape rule byte by byte, as plainly as it can be written: the oracle for the fast one.
std::optional<Bytes> UnescapeSlowly(const Bytes& raw) {
    Bytes record{0};
    for (std::size_t a = 1; a < raw.size(); ++a) {
        if (raw[a] != kEscapeByte) {
            record.push_back(raw[a]);
        } else if (a + 1 < raw.size() && raw[a + 1] >= 0x20) {
            record.push_back(static_cast<std::uint8_t>(raw[a + 1] - 0x20));
            ++a;
        } else {
            return std::nullopt;
        }
    }
    return record;
}

TEST(UnescapeRecord, AgreesWithTheByteByByteRuleOnAnyInput) {
    std::mt19937 random(2008);
    // Mostly escape bytes and small values, so damaged and back-to-back escapes are common.
    const std::uint8_t alphabet[] = {kEscapeByte, kEscapeByte, 0x00, 0x1F, 0x20, 0xAE, 0x41, 0x8F};
    for (int round = 0; round < 5000; ++round) {
        Bytes raw{kStartByte};
        const int length = static_cast<int>(random() % 24);
        for (int k = 0; k < length; ++k) {
            raw.push_back(alphabet[random() % sizeof alphabet]);
        }
        const Bytes previous{0x00, 0x99};
        Bytes record = previous;
        const auto expected = UnescapeSlowly(raw);
        ASSERT_EQ(UnescapeRecord(raw, record), expected.has_value()) << "round " << round;
        EXPECT_EQ(record, expected.value_or(previous)) << "round " << round;
    }
}

}  // namespace
}  // namespace tivaro::decoder
