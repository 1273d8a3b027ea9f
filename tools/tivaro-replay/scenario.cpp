#include "tools/tivaro-replay/scenario.h"

#include <optional>
#include <utility>

namespace tivaro::replay {

namespace {

constexpr int kMaxLaps = 1000;
constexpr int kMaxMinimumLapSeconds = 3600;

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view TrimLeft(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    return text;
}

std::string_view TrimRight(std::string_view text) {
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

// Hex pairs, with blanks allowed between pairs.
std::optional<std::string> ParseHex(std::string_view text, std::vector<std::uint8_t>& bytes) {
    text = TrimRight(text);
    std::size_t i = 0;
    while (i < text.size()) {
        if (IsBlank(text[i])) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size() || IsBlank(text[i + 1])) {
            return "odd hex digit '" + std::string(1, text[i]) + "' at column " +
                   std::to_string(i + 1) + " (bytes are pairs of hex digits)";
        }
        const int high = HexDigit(text[i]);
        const int low = HexDigit(text[i + 1]);
        if (high < 0 || low < 0) {
            return "'" + std::string(text.substr(i, 2)) + "' is not a hex byte";
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    if (bytes.empty()) {
        return std::string("no bytes given");
    }
    return std::nullopt;
}

// TEXT with the escapes \r \n \t \\ and \xHH.
std::optional<std::string> ParseEscaped(std::string_view text, std::vector<std::uint8_t>& bytes) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == '\\') {
            if (i + 1 == text.size()) {
                return std::string("a lone '\\' at the end of the text");
            }
            switch (text[++i]) {
                case 'r':
                    c = '\r';
                    break;
                case 'n':
                    c = '\n';
                    break;
                case 't':
                    c = '\t';
                    break;
                case '\\':
                    c = '\\';
                    break;
                case 'x': {
                    const int high = i + 1 < text.size() ? HexDigit(text[i + 1]) : -1;
                    const int low = i + 2 < text.size() ? HexDigit(text[i + 2]) : -1;
                    if (high < 0 || low < 0) {
                        return std::string("'\\x' needs two hex digits");
                    }
                    c = static_cast<char>(high * 16 + low);
                    i += 2;
                    break;
                }
                default:
                    return "unknown escape '\\" + std::string(1, text[i]) +
                           "' (known: \\r \\n \\t \\\\ \\xHH)";
            }
        }
        bytes.push_back(static_cast<std::uint8_t>(c));
    }
    if (bytes.empty()) {
        return std::string("no characters given");
    }
    return std::nullopt;
}

// Seconds with up to two decimals ("3", "2.5", "0.25"), as hundredths.
std::optional<int> ParseSeconds(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view part =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    const auto digits = [](std::string_view s) {
        return s.find_first_not_of("0123456789") == std::string_view::npos;
    };
    if (whole.empty() || whole.size() > 4 || !digits(whole) || part.size() > 2 || !digits(part) ||
        (point != std::string_view::npos && part.empty())) {
        return std::nullopt;
    }
    const int seconds = std::stoi(std::string(whole));
    int hundredths = 0;
    for (std::size_t i = 0; i < 2; ++i) {
        hundredths = hundredths * 10 + (i < part.size() ? part[i] - '0' : 0);
    }
    if (seconds > kMaxMinimumLapSeconds || (seconds == kMaxMinimumLapSeconds && hundredths > 0)) {
        return std::nullopt;
    }
    return seconds * 100 + hundredths;
}

std::vector<std::string_view> Words(std::string_view text) {
    std::vector<std::string_view> words;
    text = TrimLeft(text);
    while (!text.empty()) {
        std::size_t end = 0;
        while (end < text.size() && !IsBlank(text[end])) {
            ++end;
        }
        words.push_back(text.substr(0, end));
        text = TrimLeft(text.substr(end));
    }
    return words;
}

// Fills `action` from the argument text `rest` of the action named `name`; gives the reason
// when the line is malformed.
std::optional<std::string> ParseArguments(std::string_view name, std::string_view rest,
                                          Action& action) {
    const std::vector<std::string_view> words = Words(rest);
    if (name == "open") {
        const std::string_view path = TrimRight(TrimLeft(rest));
        if (path.empty()) {
            return std::string("open needs the path of a workbook");
        }
        action.kind = ActionKind::Open;
        action.text = path;
    } else if (name == "sport" || name == "heat") {
        action.kind = name == "sport" ? ActionKind::Sport : ActionKind::Heat;
        action.text = rest;
    } else if (name == "laps") {
        if (words.size() != 1 || words[0].size() > 4 ||
            words[0].find_first_not_of("0123456789") != std::string_view::npos) {
            return "laps needs one whole number, not '" + std::string(TrimRight(rest)) + "'";
        }
        action.kind = ActionKind::Laps;
        action.number = std::stoi(std::string(words[0]));
        if (action.number < 1 || action.number > kMaxLaps) {
            return "laps must lie between 1 and " + std::to_string(kMaxLaps) + ", not " +
                   std::string(words[0]);
        }
    } else if (name == "phase") {
        action.kind = ActionKind::Phase;
        if (words.size() == 1 && words[0] == "warmup") {
            action.phase = timing::Phase::Warmup;
        } else if (words.size() == 1 && words[0] == "pulse") {
            action.phase = timing::Phase::StartPulse;
        } else if (words.size() == 1 && words[0] == "record") {
            action.phase = timing::Phase::Recording;
        } else {
            return "phase needs warmup, pulse or record, not '" + std::string(TrimRight(rest)) +
                   "'";
        }
    } else if (name == "decoder") {
        action.kind = ActionKind::Decoder;
        if (words.size() == 1 && (words[0] == "binary" || words[0] == "older")) {
            action.generation = words[0] == "binary" ? link::DecoderGeneration::Binary
                                                     : link::DecoderGeneration::Older;
        } else {
            return "decoder needs binary or older, not '" + std::string(TrimRight(rest)) + "'";
        }
    } else if (name == "serial" || name == "tcp") {
        action.kind = name == "serial" ? ActionKind::Serial : ActionKind::Tcp;
        return ParseHex(rest, action.bytes);
    } else if (name == "serial-text" || name == "tcp-text") {
        action.kind = name == "serial-text" ? ActionKind::Serial : ActionKind::Tcp;
        return ParseEscaped(rest, action.bytes);
    } else if (name == "passing") {
        if (words.size() != 2) {
            return "passing needs a transponder code and a time, found " +
                   std::to_string(words.size()) + " words";
        }
        action.kind = ActionKind::Passing;
        action.text = words[0];
        action.time = words[1];
    } else if (name == "manual") {
        if (words.size() != 2) {
            return "manual needs a bib and a time, found " + std::to_string(words.size()) +
                   " words";
        }
        action.kind = ActionKind::Manual;
        action.text = words[0];
        action.time = words[1];
    } else if (name == "undo") {
        if (words.size() != 1) {
            return "undo needs one bib, found " + std::to_string(words.size()) + " words";
        }
        action.kind = ActionKind::Undo;
        action.text = words[0];
    } else if (name == "min-lap") {
        const std::optional<int> hundredths =
            words.size() == 1 ? ParseSeconds(words[0]) : std::nullopt;
        if (!hundredths) {
            return "min-lap needs seconds from 0 to " + std::to_string(kMaxMinimumLapSeconds) +
                   " with at most two decimals, not '" + std::string(TrimRight(rest)) + "'";
        }
        action.kind = ActionKind::MinimumLap;
        action.number = *hundredths;
    } else if (name == "reconnect") {
        action.kind = ActionKind::Reconnect;
        if (words.size() == 1 && (words[0] == "serial" || words[0] == "tcp")) {
            action.link = words[0] == "serial" ? link::LinkKind::Serial : link::LinkKind::Tcp;
        } else if (!words.empty()) {
            return "reconnect takes serial, tcp or nothing, not '" + std::string(TrimRight(rest)) +
                   "'";
        }
    } else {
        return "unknown action '" + std::string(name) + "'";
    }
    return std::nullopt;
}

}  // namespace

Result<std::vector<Action>> ParseScenario(std::string_view scenario) {
    std::vector<Action> actions;
    int lineNumber = 0;
    while (!scenario.empty()) {
        ++lineNumber;
        const std::size_t end = scenario.find('\n');
        std::string_view line = scenario.substr(0, end);
        scenario = end == std::string_view::npos ? std::string_view() : scenario.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        const std::string_view content = TrimLeft(line);
        if (TrimRight(content).empty() || content.front() == '#') {
            continue;
        }
        std::size_t nameEnd = 0;
        while (nameEnd < content.size() && !IsBlank(content[nameEnd])) {
            ++nameEnd;
        }
        const std::string_view name = content.substr(0, nameEnd);
        // The single space (or tab) after the name separates it from the argument text.
        const std::string_view rest =
            nameEnd < content.size() ? content.substr(nameEnd + 1) : std::string_view();
        Action action;
        action.line = lineNumber;
        if (std::optional<std::string> reason = ParseArguments(name, rest, action)) {
            return MakeError(Errc::BadFormat,
                             "line " + std::to_string(lineNumber) + ": " + *reason);
        }
        actions.push_back(std::move(action));
    }
    return actions;
}

}  // namespace tivaro::replay
