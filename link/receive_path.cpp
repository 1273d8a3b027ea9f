#include "link/receive_path.h"

#include <cstring>

#include "decoder/checksum.h"
#include "decoder/codepage.h"
#include "decoder/escape.h"
#include "decoder/hex_dump.h"
#include "decoder/passing_time.h"
#include "decoder/record.h"
#include "link/older_record.h"

namespace tivaro::link {

namespace {

constexpr char kLineFeed = '\n';

// Index of the first start or end byte at or after `from`, or the size when there is none.
std::size_t NextFrameByte(std::span<const std::uint8_t> bytes, std::size_t from) {
    const std::uint8_t* const base = bytes.data();
    const std::size_t left = bytes.size() - from;
    const void* endByte = std::memchr(base + from, decoder::kEndByte, left);
    const std::size_t limit =
        endByte ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(endByte) - base)
                : bytes.size();
    const void* startByte = std::memchr(base + from, decoder::kStartByte, limit - from);
    return startByte ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(startByte) - base)
                     : limit;
}
constexpr char kCarriageReturn = '\r';

}  // namespace

ReceivePath::ReceivePath(RaceState& state, PassingSink& sink, DebugView* debug)
    : state_(state), sink_(sink), debug_(debug) {
    if (state_.rawRecord.empty()) {
        state_.rawRecord.assign(1, 0);
    }
}

std::vector<Error> ReceivePath::ReceiveSerial(std::span<const std::uint8_t> bytes) {
    std::vector<Error> errors;
    state_.passingDecoded = false;
    if (state_.binaryDecoder) {
        FrameBytes(bytes, Link::Serial);
    } else {
        for (std::uint8_t byte : bytes) {
            CollectSerialChar(static_cast<char>(byte), errors);
        }
    }
    return errors;
}

std::vector<Error> ReceivePath::ReceiveTcp(std::span<const std::uint8_t> bytes) {
    std::vector<Error> errors;
    if (state_.binaryDecoder) {
        FrameBytes(bytes, Link::Tcp);
    } else {
        CollectTcpText(bytes, errors);
    }
    return errors;
}

void ReceivePath::FrameBytes(std::span<const std::uint8_t> bytes, Link link) {
    std::vector<std::uint8_t>& raw = state_.rawRecord;
    std::size_t at = 0;
    while (at < bytes.size()) {
        if (awaitingStart_) {
            // An oversize record was dropped: nothing counts until the next start byte.
            while (at < bytes.size() && bytes[at] != decoder::kStartByte) {
                ++at;
            }
            if (at == bytes.size()) {
                return;
            }
        }
        // Ordinary bytes up to the next frame byte are appended in one go. The record holds
        // at most kMaxRecordBytes after its start byte, the end byte included.
        const std::size_t end = NextFrameByte(bytes, at);
        const std::size_t room = kMaxRecordBytes + 1 - raw.size();
        if (end - at > room ||
            (end < bytes.size() && bytes[end] == decoder::kEndByte && end - at == room)) {
            // No end byte in reach: drop the lot and wait for the next record to begin.
            raw.assign(1, 0);
            awaitingStart_ = true;
            recordOpen_ = false;
            at = end;
            continue;
        }
        raw.insert(raw.end(), bytes.begin() + static_cast<std::ptrdiff_t>(at),
                   bytes.begin() + static_cast<std::ptrdiff_t>(end));
        if (end == bytes.size()) {
            return;
        }
        if (bytes[end] == decoder::kStartByte) {
            // A start byte drops whatever was collected: a lost end byte costs one record.
            raw.assign(1, decoder::kStartByte);
            awaitingStart_ = false;
            recordOpen_ = true;
        } else {
            raw.push_back(decoder::kEndByte);
            recordOpen_ = false;
            CompleteRecord(link);
        }
        at = end + 1;
    }
}

void ReceivePath::CompleteRecord(Link link) {
    const bool serial = link == Link::Serial;
    if (debug_ && debug_->rawDumpWanted()) {
        std::string text = "\r\n";
        decoder::AppendHexDump(state_.rawRecord, text);
        if (serial) {
            text.append("\r\n\r\n");
        }
        debug_->appendRawDump(text);
    }

    // A damaged record is ignored as a whole: `record` and the decoding results stay as they
    // were, and nothing is handed on.
    if (!decoder::UnescapeRecord(state_.rawRecord, state_.record)) {
        return;
    }
    if (!CheckRecord(link)) {
        return;
    }
    decoded_.transponder.clear();
    decoder::DecodeRecord(state_.record, decoded_);
    if (decoded_.status == decoder::RecordStatus::Passing) {
        state_.passingTimeMicros = decoded_.passingTimeMicros;
        state_.passingDecoded = true;
    }
    if (decoded_.status == decoder::RecordStatus::Passing ||
        decoded_.status == decoder::RecordStatus::NoPassingTime) {
        state_.recordTransponder.swap(decoded_.transponder);
    }

    if (state_.passingDecoded) {
        decoder::FormatPassingTime(state_.passingTimeMicros, state_.passTime);
        state_.transponder = state_.recordTransponder;
        sink_.HandlePassing();
        state_.passingDecoded = false;
        // Start afresh: a stray end byte must not complete this passing a second time.
        state_.rawRecord.assign(1, 0);
        if (serial && debug_ && debug_->unescapedDumpWanted()) {
            std::string text = "\r\n";
            decoder::AppendHexDump(std::span(state_.record).subspan(1), text);
            text.append("\r\n\r\n");
            debug_->appendUnescapedDump(text);
        }
    }
    if (!serial && debug_ && debug_->unescapedDumpWanted()) {
        std::string text = "\r\n";
        decoder::AppendHexDump(state_.record, text);
        debug_->appendUnescapedDump(text);
    }
}

bool ReceivePath::CheckRecord(Link link) {
    RecordCheck& check = checks_[Index(link)];
    const std::string_view linkName = link == Link::Serial ? "seriële lijn" : "TCP-verbinding";
    if (decoder::RecordChecksumMatches(state_.record)) {
        if (!check.verified && check.warnedUnchecked && notice_) {
            notice_("Records van de decoder over de " + std::string(linkName) +
                    " worden vanaf nu gecontroleerd: een record met een kloppende controlesom "
                    "is ontvangen.");
        }
        check.verified = true;
        return true;
    }
    if (!check.verified) {
        // The decoder may use another checksum: its records are handled unchecked.
        if (!check.warnedUnchecked && notice_) {
            notice_("Records van de decoder over de " + std::string(linkName) +
                    " worden niet gecontroleerd: nog geen record had een kloppende controlesom. "
                    "Passeringen worden gewoon verwerkt.");
        }
        check.warnedUnchecked = true;
        return true;
    }
    ++check.setAside;
    Note("controlesom klopt niet: record terzijde gelegd");
    if (notice_) {
        notice_("Record met een foute controlesom terzijde gelegd op de " + std::string(linkName) +
                " (" + std::to_string(check.setAside) +
                " sinds het begin). Een storing op de lijn kan passeringen kosten: kijk naar de "
                "kabel of het netwerk.");
    }
    return false;
}

void ReceivePath::Note(std::string text) {
    if (debug_) {
        debug_->note("\r\n-- " + text + "\r\n");
    }
}

void ReceivePath::ConnectionStarted(Link link) {
    if (recordOpen_ && state_.rawRecord.size() > 1) {
        Note("nieuwe verbinding: half record van " + std::to_string(state_.rawRecord.size()) +
             " bytes van de vorige verbinding weggegooid");
    }
    // Nothing counts as part of a record until the new connection's first start byte.
    state_.rawRecord.assign(1, 0);
    recordOpen_ = false;
    awaitingStart_ = true;
    std::string& line = link == Link::Serial ? state_.serialTextLine : state_.tcpTextRemainder;
    if (!line.empty()) {
        Note("nieuwe verbinding: halve regel van de vorige verbinding weggegooid: " +
             decoder::Cp1252ToUtf8(line));
    }
    line.clear();
    (link == Link::Serial ? skippingSerialLine_ : skippingTcpLine_) = false;
}

void ReceivePath::CollectSerialChar(char c, std::vector<Error>& errors) {
    if (skippingSerialLine_) {
        skippingSerialLine_ = c != kLineFeed;
        return;
    }
    std::string& line = state_.serialTextLine;
    line.push_back(c);
    if (c != kLineFeed) {
        if (line.size() > kMaxLineChars) {
            line.clear();
            skippingSerialLine_ = true;
        }
        return;
    }
    if (debug_) {
        debug_->showSerialLine(decoder::Cp1252ToUtf8(line));
    }
    // The line is moved out first, so a handler that looks at the race state sees the
    // collection already emptied for the next line.
    const std::string complete = std::move(line);
    line.clear();
    HandleOlderLine(complete, errors);
}

void ReceivePath::CollectTcpText(std::span<const std::uint8_t> bytes, std::vector<Error>& errors) {
    std::string_view arrival(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    if (skippingTcpLine_) {
        const std::size_t lf = arrival.find(kLineFeed);
        if (lf == std::string_view::npos) {
            return;
        }
        arrival.remove_prefix(lf + 1);
        skippingTcpLine_ = false;
    }

    std::string text = std::move(state_.tcpTextRemainder);
    state_.tcpTextRemainder.clear();
    text.append(arrival);

    // Cut at every LF (dropped). A piece that ends with CR is a complete line; any other
    // piece is kept as the unfinished start of the next arrival's first line.
    std::size_t begin = 0;
    for (;;) {
        const std::size_t lf = text.find(kLineFeed, begin);
        const std::string_view piece =
            std::string_view(text).substr(begin, lf == std::string::npos ? lf : lf - begin);
        if (!piece.empty() && piece.back() == kCarriageReturn) {
            HandleOlderLine(piece, errors);
        } else {
            state_.tcpTextRemainder.assign(piece);
        }
        if (lf == std::string::npos) {
            break;
        }
        begin = lf + 1;
    }
    if (state_.tcpTextRemainder.size() > kMaxLineChars) {
        state_.tcpTextRemainder.clear();
        skippingTcpLine_ = true;
    }
}

std::vector<Error> ReceivePath::HandleOlderRecord(std::string_view line) {
    std::vector<Error> errors;
    HandleOlderLine(line, errors);
    return errors;
}

void ReceivePath::HandleOlderLine(std::string_view line, std::vector<Error>& errors) {
    if (!IsOlderPassingLine(line)) {
        return;
    }
    // Every passing line reaches the raw log before anything of it is examined, so even an
    // unusable one is on record. A log that cannot be written does not stop the passing.
    if (!state_.rawLogPath.empty()) {
        if (Status logged = AppendRawLog(state_.rawLogPath, line); !logged) {
            errors.push_back(logged.error());
        }
    }
    auto passing = ParseOlderPassingLine(line);
    if (!passing) {
        return;
    }
    state_.transponder = std::move(passing->transponder);
    state_.passTime = std::move(passing->passTime);
    sink_.HandlePassing();
}

}  // namespace tivaro::link
