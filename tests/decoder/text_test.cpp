#include <gtest/gtest.h>

#include "decoder/codepage.h"
#include "decoder/hex_dump.h"
#include "decoder/passing_time.h"

namespace tivaro::decoder {
namespace {

TEST(FormatPassingTime, NoLeadingZerosButInTheHundredths) {
    EXPECT_EQ(FormatPassingTime(3'723'050'000), "1:2:3.05");
    EXPECT_EQ(FormatPassingTime(45'296'123'456), "12:34:56.12");
    EXPECT_EQ(FormatPassingTime(0), "0:0:0.00");
    EXPECT_EQ(FormatPassingTime(86'399'990'000), "23:59:59.99");
}

TEST(FormatPassingTime, RoundsToTheNearestHundredthTiesToEven) {
    EXPECT_EQ(FormatPassingTime(1'006'000), "0:0:1.01");
    EXPECT_EQ(FormatPassingTime(1'004'999), "0:0:1.00");
    EXPECT_EQ(FormatPassingTime(1'005'000), "0:0:1.00") << "tie, 100 is even";
    EXPECT_EQ(FormatPassingTime(1'015'000), "0:0:1.02") << "tie, 101 is odd";
    EXPECT_EQ(FormatPassingTime(1'025'000), "0:0:1.02") << "tie, 102 is even";
}

TEST(FormatPassingTime, RoundingCarriesIntoTheSecondsShown) {
    EXPECT_EQ(FormatPassingTime(59'996'000), "0:1:0.00");
    EXPECT_EQ(FormatPassingTime(3'599'995'001), "1:0:0.00");
    EXPECT_EQ(FormatPassingTime(86'399'999'000), "0:0:0.00") << "rounds into the next day";
    EXPECT_EQ(FormatPassingTime(86'399'995'000), "0:0:0.00") << "tie, 8,639,999 is odd";
    EXPECT_EQ(FormatPassingTime(172'799'985'000), "23:59:59.98") << "tie a day later";
}

TEST(FormatPassingTime, OnlyTheTimeOfDayCountsAtAnySize) {
    EXPECT_EQ(FormatPassingTime(90'123'050'000), "1:2:3.05");
    const std::uint64_t beyond32Bits = (std::uint64_t{1} << 31) * 1'000'000 + 3'723'050'000;
    EXPECT_EQ(FormatPassingTime(beyond32Bits), "4:16:11.05");
    EXPECT_EQ(FormatPassingTime((std::uint64_t{1} << 56) - 1), "22:20:37.93");
}

TEST(Cp1252ToUtf8, MapsEveryByte) {
    EXPECT_EQ(Cp1252ToUtf8("Abc"), "Abc");
    EXPECT_EQ(Cp1252ToUtf8("\x80\x9F\xE9\xFF"), "\u20AC\u0178\u00E9\u00FF");
    EXPECT_EQ(Cp1252ToUtf8("\x81\x8D\x8F\x90\x9D"), "\u0081\u008D\u008F\u0090\u009D");
    EXPECT_EQ(Cp1252ToUtf8(std::string_view("\x00", 1)), std::string(1, '\0'));
}

TEST(AppendHexDump, UpperCaseWithoutLeadingZeros) {
    std::string text = "old";
    const std::uint8_t bytes[] = {0x8E, 0x02, 0x33, 0x8F, 0x00, 0xA3};
    AppendHexDump(bytes, text);
    EXPECT_EQ(text, "old | 8E | 2 | 33 | 8F | 0 | A3");
}

}  // namespace
}  // namespace tivaro::decoder
