#pragma once
// The passing-time text: time of day as hours:minutes:seconds.hundredths, without leading
// zeros except in the two-digit hundredths ("1:2:3.05").

#include <cstdint>
#include <string>

namespace tivaro::decoder {

// Formats a decoder time in microseconds. The time is rounded to the nearest hundredth (ties
// to even) before it is split, so the hundredths always belong to the seconds shown
// (59,996,000 µs is "0:1:0.00"); only the time of day counts (the clock is taken modulo one
// day). `out` is reused so its storage is.
void FormatPassingTime(std::uint64_t micros, std::string& out);

inline std::string FormatPassingTime(std::uint64_t micros) {
    std::string text;
    FormatPassingTime(micros, text);
    return text;
}

}  // namespace tivaro::decoder
