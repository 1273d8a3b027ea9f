#include "timing/time_of_day.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "decoder/passing_time.h"
#include "timing/cell_text.h"

namespace tivaro::timing {

namespace {

// One to two digits no larger than `most`.
std::optional<int> Field(std::string_view text, int most) {
    if (text.empty() || text.size() > 2 || !AllDigits(text)) {
        return std::nullopt;
    }
    int value = 0;
    for (char c : text) {
        value = value * 10 + (c - '0');
    }
    return value <= most ? std::optional<int>(value) : std::nullopt;
}

// "h:m:s" with an optional decimal part after '.' or ','.
std::optional<Hundredths> ClockTime(std::string_view text) {
    const std::size_t firstColon = text.find(':');
    const std::size_t secondColon =
        firstColon == std::string_view::npos ? firstColon : text.find(':', firstColon + 1);
    if (secondColon == std::string_view::npos) {
        return std::nullopt;
    }
    std::string_view seconds = text.substr(secondColon + 1);
    std::string_view decimals;
    if (const std::size_t mark = seconds.find_first_of(".,"); mark != std::string_view::npos) {
        decimals = seconds.substr(mark + 1);
        seconds = seconds.substr(0, mark);
        if (!AllDigits(decimals)) {
            return std::nullopt;
        }
    }
    const std::optional<int> h = Field(text.substr(0, firstColon), 23);
    const std::optional<int> m =
        Field(text.substr(firstColon + 1, secondColon - firstColon - 1), 59);
    const std::optional<int> s = Field(seconds, 59);
    if (!h || !m || !s) {
        return std::nullopt;
    }
    // Thousandths from the first three decimals, rounded to the hundredth.
    Hundredths thousandths = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        thousandths = thousandths * 10 + (i < decimals.size() ? decimals[i] - '0' : 0);
    }
    const Hundredths whole = ((*h * 60LL + *m) * 60 + *s) * 1000 + thousandths;
    return (whole + 5) / 10 % kDayHundredths;
}

// A number in [0, 1): the fraction of a day a spreadsheet stores for a time it shows.
std::optional<Hundredths> DayFraction(std::string_view text) {
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !(value >= 0 && value < 1)) {
        return std::nullopt;
    }
    return std::llround(value * static_cast<double>(kDayHundredths)) % kDayHundredths;
}

}  // namespace

std::optional<Hundredths> ParseTimeOfDay(std::string_view text) {
    text = Trimmed(text);
    if (text.empty()) {
        return std::nullopt;
    }
    if (text.find(':') != std::string_view::npos) {
        return ClockTime(text);
    }
    return DayFraction(text);
}

Hundredths Elapsed(Hundredths from, Hundredths to) {
    return ((to - from) % kDayHundredths + kDayHundredths) % kDayHundredths;
}

std::string PassingTimeText(Hundredths timeOfDay) {
    const Hundredths within = (timeOfDay % kDayHundredths + kDayHundredths) % kDayHundredths;
    return decoder::FormatPassingTime(static_cast<std::uint64_t>(within) * 10'000);
}

}  // namespace tivaro::timing
