#include "decoder/passing_time.h"

namespace tivaro::decoder {

namespace {

// A value below 100 in decimal without a leading zero.
char* AppendSmall(char* p, std::uint32_t value) {
    if (value >= 10) {
        *p++ = static_cast<char>('0' + value / 10);
    }
    *p++ = static_cast<char>('0' + value % 10);
    return p;
}

}  // namespace

void FormatPassingTime(std::uint64_t micros, std::string& out) {
    // Only the time of day counts. A day holds an even number of hundredths, so taking the
    // day off first changes neither the rounding (ties go to the even hundredth) nor what is
    // left, and the rest fits 32 bits.
    const auto ofDayMicros = static_cast<std::uint64_t>(micros % 86'400'000'000ULL);
    auto hundredths = static_cast<std::uint32_t>(ofDayMicros / 10'000);
    const auto rest = static_cast<std::uint32_t>(ofDayMicros - std::uint64_t{hundredths} * 10'000);
    if (rest > 5'000 || (rest == 5'000 && (hundredths & 1) != 0)) {
        ++hundredths;
    }
    const std::uint32_t ofDay = (hundredths / 100) % 86'400;
    const std::uint32_t hh = hundredths % 100;

    char text[16];
    char* p = AppendSmall(text, ofDay / 3'600);
    *p++ = ':';
    p = AppendSmall(p, (ofDay / 60) % 60);
    *p++ = ':';
    p = AppendSmall(p, ofDay % 60);
    *p++ = '.';
    *p++ = static_cast<char>('0' + hh / 10);
    *p++ = static_cast<char>('0' + hh % 10);
    out.assign(text, p);
}

}  // namespace tivaro::decoder
