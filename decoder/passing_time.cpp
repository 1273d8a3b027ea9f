#include "decoder/passing_time.h"

namespace tivaro::decoder {

namespace {

char* AppendNumber(char* p, std::uint32_t value) {
    char digits[10];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    while (n > 0) {
        *p++ = digits[--n];
    }
    return p;
}

}  // namespace

void FormatPassingTime(std::uint64_t micros, std::string& out) {
    std::uint64_t hundredths = micros / 10'000;
    const std::uint64_t rest = micros % 10'000;
    if (rest > 5'000 || (rest == 5'000 && (hundredths & 1) != 0)) {
        ++hundredths;
    }
    const auto ofDay = static_cast<std::uint32_t>((hundredths / 100) % 86'400);
    const auto hh = static_cast<std::uint32_t>(hundredths % 100);

    char text[24];
    char* p = AppendNumber(text, ofDay / 3'600);
    *p++ = ':';
    p = AppendNumber(p, (ofDay / 60) % 60);
    *p++ = ':';
    p = AppendNumber(p, ofDay % 60);
    *p++ = '.';
    *p++ = static_cast<char>('0' + hh / 10);
    *p++ = static_cast<char>('0' + hh % 10);
    out.assign(text, p);
}

}  // namespace tivaro::decoder
