#include "timing/journal_action.h"

#include <algorithm>

#include "common/escaped_text.h"
#include "common/hex.h"

namespace tivaro::timing {

namespace {

constexpr int kMaxLaps = 1000;
constexpr int kMaxMinimumLapSeconds = 3600;
constexpr std::string_view kVersionMark = "#tivaro-journaal ";

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

bool Digits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// Hundredths of a second as seconds with no more decimals than needed ("2", "2.5", "0.05").
std::string SecondsText(int hundredths) {
    std::string text = std::to_string(hundredths / 100);
    if (const int part = hundredths % 100; part != 0) {
        text += '.';
        text += static_cast<char>('0' + part / 10);
        if (part % 10 != 0) {
            text += static_cast<char>('0' + part % 10);
        }
    }
    return text;
}

const char* PhaseWord(Phase phase) {
    switch (phase) {
        case Phase::Warmup:
            return "warmup";
        case Phase::StartPulse:
            return "pulse";
        case Phase::Recording:
            return "record";
        case Phase::None:
            break;
    }
    return "";
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
            return "los hexadecimaal cijfer '" + std::string(1, text[i]) + "' in kolom " +
                   std::to_string(i + 1) + " (bytes zijn paren hexadecimale cijfers)";
        }
        const int high = HexDigitValue(text[i]);
        const int low = HexDigitValue(text[i + 1]);
        if (high < 0 || low < 0) {
            return "'" + std::string(text.substr(i, 2)) + "' is geen hexadecimale byte";
        }
        bytes.push_back(static_cast<std::uint8_t>(high * 16 + low));
        i += 2;
    }
    if (bytes.empty()) {
        return std::string("er staan geen bytes");
    }
    return std::nullopt;
}

// Seconds with up to two decimals ("3", "2.5", "0.25"), as hundredths.
std::optional<int> ParseSeconds(std::string_view text) {
    const std::size_t point = text.find('.');
    const std::string_view whole = text.substr(0, point);
    const std::string_view part =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (!Digits(whole) || whole.size() > 4 || part.size() > 2 || (!part.empty() && !Digits(part)) ||
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

std::string Quoted(std::string_view text) {
    return "'" + std::string(TrimRight(text)) + "'";
}

std::optional<Phase> PhaseOfWord(std::string_view word, bool& pulseGiven) {
    pulseGiven = word == "pulse-given";
    if (word == "warmup") {
        return Phase::Warmup;
    }
    if (word == "pulse" || word == "pulse-given") {
        return Phase::StartPulse;
    }
    if (word == "record") {
        return Phase::Recording;
    }
    if (word.empty()) {
        return Phase::None;
    }
    return std::nullopt;
}

// "SPORT;HEAT;LAPS;PHASE;MIN-LAP".
std::optional<std::string> ParseRestore(std::string_view rest, JournalAction& action) {
    std::vector<std::string_view> parts;
    for (std::size_t begin = 0;;) {
        const std::size_t semicolon = rest.find(';', begin);
        parts.push_back(rest.substr(begin, semicolon - begin));
        if (semicolon == std::string_view::npos) {
            break;
        }
        begin = semicolon + 1;
    }
    const std::string reason =
        "restore heeft SPORT;HEAT;RONDES;FASE;MIN-RONDE nodig, niet " + Quoted(rest);
    if (parts.size() != 5 || !Digits(parts[2]) || parts[2].size() > 4) {
        return reason;
    }
    action.kind = ActionKind::Restore;
    action.text = parts[0];
    action.heat = parts[1];
    action.number = std::stoi(std::string(parts[2]));
    const std::optional<Phase> phase = PhaseOfWord(parts[3], action.pulseGiven);
    const std::optional<int> minimumLap = ParseSeconds(parts[4]);
    if (!phase || !minimumLap || action.number < 1 || action.number > kMaxLaps) {
        return reason;
    }
    action.phase = *phase;
    action.minimumLap = *minimumLap;
    return std::nullopt;
}

// Fills `action` from the argument text `rest` of the action named `name`; gives the reason
// when the line is malformed.
std::optional<std::string> ParseArguments(std::string_view name, std::string_view rest,
                                          JournalAction& action) {
    const std::vector<std::string_view> words = Words(rest);
    if (name == "open") {
        const std::string_view path = TrimRight(TrimLeft(rest));
        if (path.empty()) {
            return std::string("open heeft het pad van een werkboek nodig");
        }
        action.kind = ActionKind::Open;
        action.text = path;
    } else if (name == "sport" || name == "heat") {
        action.kind = name == "sport" ? ActionKind::Sport : ActionKind::Heat;
        action.text = rest;
    } else if (name == "laps") {
        if (words.size() != 1 || words[0].size() > 4 || !Digits(words[0])) {
            return "laps heeft één heel getal nodig, niet " + Quoted(rest);
        }
        action.kind = ActionKind::Laps;
        action.number = std::stoi(std::string(words[0]));
        if (action.number < 1 || action.number > kMaxLaps) {
            return "laps moet tussen 1 en " + std::to_string(kMaxLaps) + " liggen, niet " +
                   std::string(words[0]);
        }
    } else if (name == "phase") {
        action.kind = ActionKind::Phase;
        const std::string_view word = words.size() == 1 ? words[0] : std::string_view();
        if (word == "warmup") {
            action.phase = Phase::Warmup;
        } else if (word == "pulse" || word == "pulse-given") {
            action.phase = Phase::StartPulse;
            action.pulseGiven = word == "pulse-given";
        } else if (word == "record") {
            action.phase = Phase::Recording;
        } else {
            return "phase heeft warmup, pulse, pulse-given of record nodig, niet " + Quoted(rest);
        }
    } else if (name == "decoder") {
        action.kind = ActionKind::Decoder;
        if (words.size() == 1 && (words[0] == "binary" || words[0] == "older")) {
            action.generation = words[0] == "binary" ? link::DecoderGeneration::Binary
                                                     : link::DecoderGeneration::Older;
        } else {
            return "decoder heeft binary of older nodig, niet " + Quoted(rest);
        }
    } else if (name == "serial" || name == "tcp") {
        action.kind = name == "serial" ? ActionKind::Serial : ActionKind::Tcp;
        return ParseHex(rest, action.bytes);
    } else if (name == "serial-text" || name == "tcp-text") {
        action.kind = name == "serial-text" ? ActionKind::Serial : ActionKind::Tcp;
        action.asText = true;
        std::string text;
        if (std::optional<std::string> reason = AppendUnescaped(rest, text)) {
            return reason;
        }
        if (text.empty()) {
            return std::string("er staan geen tekens");
        }
        action.bytes.assign(text.begin(), text.end());
    } else if (name == "passing" || name == "manual") {
        if (words.size() != 2) {
            return name == "passing"
                       ? "passing heeft een transpondercode en een tijd nodig, er staan " +
                             std::to_string(words.size()) + " woorden"
                       : "manual heeft een rugnummer en een tijd nodig, er staan " +
                             std::to_string(words.size()) + " woorden";
        }
        action.kind = name == "passing" ? ActionKind::Passing : ActionKind::Manual;
        action.text = words[0];
        action.time = words[1];
    } else if (name == "undo") {
        if (words.size() != 1) {
            return "undo heeft één rugnummer nodig, er staan " + std::to_string(words.size()) +
                   " woorden";
        }
        action.kind = ActionKind::Undo;
        action.text = words[0];
    } else if (name == "min-lap") {
        const std::optional<int> hundredths =
            words.size() == 1 ? ParseSeconds(words[0]) : std::nullopt;
        if (!hundredths) {
            return "min-lap heeft seconden van 0 tot " + std::to_string(kMaxMinimumLapSeconds) +
                   " met hoogstens twee decimalen nodig, niet " + Quoted(rest);
        }
        action.kind = ActionKind::MinimumLap;
        action.number = *hundredths;
    } else if (name == "reconnect") {
        action.kind = ActionKind::Reconnect;
        if (words.size() == 1 && (words[0] == "serial" || words[0] == "tcp")) {
            action.link = words[0] == "serial" ? link::LinkKind::Serial : link::LinkKind::Tcp;
        } else if (!words.empty()) {
            return "reconnect neemt serial, tcp of niets, niet " + Quoted(rest);
        }
    } else if (name == "restore") {
        return ParseRestore(rest, action);
    } else if (name == "end") {
        action.kind = ActionKind::End;
    } else if (name == "fill-in") {
        action.kind = ActionKind::FillIn;
        if (words.size() == 1 && (words[0] == "yes" || words[0] == "no")) {
            action.yes = words[0] == "yes";
        } else {
            return "fill-in heeft yes of no nodig, niet " + Quoted(rest);
        }
    } else {
        return "onbekende actie '" + std::string(name) + "'";
    }
    return std::nullopt;
}

bool Printable(std::uint8_t byte) {
    return (byte >= 0x20 && byte < 0x7f) || byte == '\r' || byte == '\n' || byte == '\t';
}

}  // namespace

const char* LinkName(link::LinkKind link) {
    return link == link::LinkKind::Serial ? "serial" : "tcp";
}

JournalAction BytesAction(link::LinkKind link, link::DecoderGeneration generation,
                          std::span<const std::uint8_t> bytes) {
    JournalAction action;
    action.kind = link == link::LinkKind::Serial ? ActionKind::Serial : ActionKind::Tcp;
    action.bytes.assign(bytes.begin(), bytes.end());
    // Text lines as text, as long as most of the chunk is printable; the rest escaped.
    const auto printable = std::count_if(bytes.begin(), bytes.end(), Printable);
    action.asText = generation == link::DecoderGeneration::Older && !bytes.empty() &&
                    static_cast<std::size_t>(printable) * 4 >= bytes.size() * 3;
    return action;
}

std::string FormatAction(const JournalAction& action) {
    switch (action.kind) {
        case ActionKind::Open:
            return "open " + action.text;
        case ActionKind::Sport:
            return "sport " + action.text;
        case ActionKind::Heat:
            return "heat " + action.text;
        case ActionKind::Laps:
            return "laps " + std::to_string(action.number);
        case ActionKind::Phase:
            return std::string("phase ") + PhaseWord(action.phase) +
                   (action.pulseGiven ? "-given" : "");
        case ActionKind::Decoder:
            return action.generation == link::DecoderGeneration::Binary ? "decoder binary"
                                                                        : "decoder older";
        case ActionKind::Serial:
        case ActionKind::Tcp: {
            std::string line = action.kind == ActionKind::Serial ? "serial" : "tcp";
            if (action.asText) {
                line += "-text ";
                AppendEscaped(
                    {reinterpret_cast<const char*>(action.bytes.data()), action.bytes.size()}, line,
                    true);
                return line;
            }
            line.reserve(line.size() + action.bytes.size() * 3);
            for (const std::uint8_t byte : action.bytes) {
                line += ' ';
                AppendHexByte(byte, line);
            }
            return line;
        }
        case ActionKind::Passing:
            return "passing " + action.text + " " + action.time;
        case ActionKind::Manual:
            return "manual " + action.text + " " + action.time;
        case ActionKind::Undo:
            return "undo " + action.text;
        case ActionKind::MinimumLap:
            return "min-lap " + SecondsText(action.number);
        case ActionKind::Reconnect:
            return action.link ? std::string("reconnect ") + LinkName(*action.link)
                               : std::string("reconnect");
        case ActionKind::FillIn:
            return action.yes ? "fill-in yes" : "fill-in no";
        case ActionKind::Restore:
            return "restore " + action.text + ";" + action.heat + ";" +
                   std::to_string(action.number) + ";" + PhaseWord(action.phase) +
                   (action.pulseGiven ? "-given" : "") + ";" + SecondsText(action.minimumLap);
        case ActionKind::End:
            return "end";
    }
    return {};
}

std::string JournalVersionLine() {
    return std::string(kVersionMark) + std::to_string(kJournalVersion);
}

ParsedJournal ParseJournal(std::string_view text) {
    ParsedJournal journal;
    int lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        if (!line.empty() && line.back() == '\r') {
            line.remove_suffix(1);
        }
        if (lineNumber == 1 && line.starts_with(kVersionMark)) {
            const std::string_view number = TrimRight(line.substr(kVersionMark.size()));
            if (Digits(number) && number.size() < 6) {
                journal.version = std::stoi(std::string(number));
            }
            continue;
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
        JournalAction action;
        action.line = lineNumber;
        if (std::optional<std::string> reason = ParseArguments(name, rest, action)) {
            journal.damaged.push_back(
                MakeError(Errc::BadFormat, "regel " + std::to_string(lineNumber) + ": " + *reason));
            continue;
        }
        journal.actions.push_back(std::move(action));
    }
    return journal;
}

}  // namespace tivaro::timing
