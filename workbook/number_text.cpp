#include "workbook/number_text.h"

#include <array>
#include <charconv>
#include <cmath>

namespace tivaro::workbook {

namespace {

// Plain integers of up to 15 digits need no conversion at all: the stored text is the shown
// text. This is the common case (bib numbers, transponder numbers, heats, counters).
bool IsPlainInteger(std::string_view text) {
    std::size_t pos = (!text.empty() && text[0] == '-') ? 1 : 0;
    const std::size_t digits = text.size() - pos;
    if (digits == 0 || digits > 15 || (text[pos] == '0' && digits > 1)) {
        return false;
    }
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') {
            return false;
        }
    }
    return text != "-0";
}

}  // namespace

std::string NumberText(double value) {
    if (!std::isfinite(value)) {
        return "#NUM!";
    }
    if (value == 0.0) {
        return "0";  // also for -0
    }
    // Spreadsheets keep 15 significant digits; %g-style output at that precision drops
    // trailing zeros and switches to exponent form only outside 1E-5 .. 1E+15.
    std::array<char, 40> buffer{};
    const auto result = std::to_chars(buffer.data(), buffer.data() + buffer.size(), value,
                                      std::chars_format::general, 15);
    std::string text(buffer.data(), result.ptr);
    const std::size_t e = text.find('e');
    if (e != std::string::npos) {
        // "1e+20" -> "1E+20", "1.5e-07" -> "1.5E-07", as spreadsheets write it.
        text[e] = 'E';
    }
    return text;
}

std::optional<std::string> NumberTextFromStored(std::string_view stored) {
    if (IsPlainInteger(stored)) {
        return std::string(stored);
    }
    double value = 0;
    const char* end = stored.data() + stored.size();
    const auto result = std::from_chars(stored.data(), end, value);
    if (result.ec != std::errc{} || result.ptr != end) {
        return std::nullopt;
    }
    return NumberText(value);
}

}  // namespace tivaro::workbook
