#include "link/older_record.h"

#include <array>
#include <cstdint>

#include "decoder/codepage.h"

namespace tivaro::link {

namespace {

constexpr std::size_t kFieldCount = 9;  // fields 0..8 are read
constexpr std::int64_t kMaxSeconds = 2'147'483'647;

std::string_view TrimSpaces(std::string_view text) {
    while (!text.empty() && text.front() == ' ') {
        text.remove_prefix(1);
    }
    while (!text.empty() && text.back() == ' ') {
        text.remove_suffix(1);
    }
    return text;
}

std::optional<std::int64_t> ParseWholeSeconds(std::string_view digits) {
    if (digits.empty() || digits.size() > 10) {
        return std::nullopt;
    }
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        value = value * 10 + (c - '0');
    }
    if (value > kMaxSeconds) {
        return std::nullopt;
    }
    return value;
}

void AppendNumber(std::string& out, std::int64_t value) {
    out.append(std::to_string(value));
}

}  // namespace

bool IsOlderPassingLine(std::string_view line) {
    return line.size() >= 2 && line[1] == '@';
}

bool IsOlderStatusLine(std::string_view line) {
    return line.size() >= 2 && line[1] == '#';
}

std::string_view FromLineStart(std::string_view line) {
    for (std::size_t at = line.size() < 2 ? 0 : line.size() - 1; at-- > 0;) {
        if (line[at] == '\x01' && (line[at + 1] == '@' || line[at + 1] == '#')) {
            return line.substr(at);
        }
    }
    return line;
}

std::optional<Passing> ParseOlderPassingLine(std::string_view line, PassingIdentity* identity) {
    // The line end belongs to the line, not to its last field.
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) {
        line.remove_suffix(1);
    }
    std::array<std::string_view, kFieldCount> fields;
    std::size_t count = 0;
    std::size_t begin = 0;
    while (count < kFieldCount) {
        const std::size_t tab = line.find('\t', begin);
        if (tab == std::string_view::npos) {
            fields[count++] = line.substr(begin);
            break;
        }
        fields[count++] = line.substr(begin, tab - begin);
        begin = tab + 1;
    }
    if (count < kFieldCount) {
        return std::nullopt;
    }
    // Field 8 runs to the next TAB, or to the end of the line.

    // Transponder: field 8, unless it begins with a lower-case "x"; then field 3. Spaces
    // around it and apostrophes anywhere in it are not part of the code.
    const std::string_view code = TrimSpaces(fields[8].starts_with('x') ? fields[3] : fields[8]);
    Passing passing;
    for (char c : code) {
        if (c != '\'') {
            decoder::AppendCp1252AsUtf8(static_cast<std::uint8_t>(c), passing.transponder);
        }
    }

    // Time: whole seconds, then the fraction written as two digits from its end ("5" is
    // "05", "567" is "67").
    const std::string_view time = fields[4];
    const std::size_t dot = time.find('.');
    const auto seconds = ParseWholeSeconds(time.substr(0, dot));
    if (!seconds) {
        return std::nullopt;
    }
    std::string_view fraction;
    if (dot != std::string_view::npos) {
        fraction = time.substr(dot + 1);
        fraction = fraction.substr(0, fraction.find('.'));
    }
    std::string padded = "00";
    padded.append(fraction);

    std::string& text = passing.time;
    AppendNumber(text, (*seconds / 3600) % 24);
    text.push_back(':');
    AppendNumber(text, (*seconds / 60) % 60);
    text.push_back(':');
    AppendNumber(text, *seconds % 60);
    text.push_back('.');
    for (char c : std::string_view(padded).substr(padded.size() - 2)) {
        decoder::AppendCp1252AsUtf8(static_cast<std::uint8_t>(c), text);
    }
    if (identity != nullptr) {
        *identity = PassingIdentity{};
        identity->fields.append(fields[1]).append(1, '\t').append(fields[2]);
        identity->fields.append(1, '\t').append(fields[4]);
        identity->transponder = passing.transponder;
    }
    return passing;
}

}  // namespace tivaro::link
