#pragma once
// Times of day as the race handles them: passing-time texts read into hundredths of a second,
// durations between two of them (past midnight too), and the passing-time text written for a
// time the program makes itself (a passing entered by hand).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace tivaro::timing {

// A time of day or a duration in hundredths of a second.
using Hundredths = std::int64_t;
inline constexpr Hundredths kDayHundredths = 24LL * 60 * 60 * 100;

// The time of day of a passing-time text: "h:m:s.hh" as the program writes it, with or
// without leading zeros, with a decimal point or comma, with fewer or more decimals (rounded
// to the hundredth) or none; or a number in [0, 1), a spreadsheet's time cell read as a
// fraction of a day. Nothing for any other text.
std::optional<Hundredths> ParseTimeOfDay(std::string_view text);

// The time from `from` to `to`, both times of day; past midnight when `to` is earlier.
Hundredths Elapsed(Hundredths from, Hundredths to);

// The passing-time text of a time of day, as the decoder's times are written ("9:5:3.07").
std::string PassingTimeText(Hundredths timeOfDay);

}  // namespace tivaro::timing
