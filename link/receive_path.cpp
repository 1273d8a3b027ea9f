#include "link/receive_path.h"

#include <utility>

#include "decoder/checksum.h"
#include "decoder/codepage.h"
#include "decoder/escape.h"
#include "decoder/hex_dump.h"
#include "decoder/passing_time.h"
#include "link/older_record.h"

namespace tivaro::link {

ReceivePath::ReceivePath(LinkKind link, ReceiveListener& listener, DebugView* debug,
                         std::filesystem::path rawLog)
    : link_(link),
      listener_(listener),
      debug_(debug),
      rawLog_(std::move(rawLog)),
      lineHandler_([this](std::string_view line) {
          if (link_ == LinkKind::Serial && debug_) {
              debug_->showSerialLine(decoder::Cp1252ToUtf8(line));
          }
          handleOlderLine(line);
      }) {}

void ReceivePath::receive(std::span<const std::uint8_t> bytes) {
    if (generation_ == DecoderGeneration::Binary) {
        records_.feed(bytes, [this](std::span<const std::uint8_t> raw) { completeRecord(raw); });
    } else if (link_ == LinkKind::Serial) {
        serialLines_.feed(bytes, lineHandler_);
    } else {
        tcpLines_.feed(bytes, lineHandler_);
    }
}

void ReceivePath::completeRecord(std::span<const std::uint8_t> raw) {
    const bool serial = link_ == LinkKind::Serial;
    if (debug_ && debug_->rawDumpWanted()) {
        std::string text = "\r\n";
        decoder::AppendHexDump(raw, text);
        if (serial) {
            text.append("\r\n\r\n");
        }
        debug_->appendRawDump(text);
    }

    // A record that cannot be unescaped is damaged: it breaks the run of good records, and is
    // ignored, or set aside once records are checked.
    if (!decoder::UnescapeRecord(raw, record_)) {
        recordChecks_.observe(false);
        if (recordChecks_.armed()) {
            setAside(nullptr);
        }
        return;
    }
    const bool checksOut = decoder::RecordChecksumMatches(record_);
    decoder::DecodeRecord(record_, decoded_);
    const bool isPassing = decoded_.status == decoder::RecordStatus::Passing;
    if (isPassing) {
        passing_.transponder.swap(decoded_.transponder);
        decoder::FormatPassingTime(decoded_.passingTimeMicros, passing_.time);
    }
    if (recordChecks_.observe(checksOut && decoded_.status != decoder::RecordStatus::Damaged)) {
        note("controlesommen kloppen: records worden vanaf nu gecontroleerd");
    }
    if (!checksOut && recordChecks_.armed()) {
        setAside(isPassing ? &passing_ : nullptr);
    } else if (isPassing) {
        identity_.time = decoded_.passingTimeMicros;
        identity_.decoder = decoded_.decoderId;
        identity_.number = decoded_.passingNumber;
        identity_.fields.clear();
        identity_.transponder = passing_.transponder;
        handOn(passing_);
        if (serial && debug_ && debug_->unescapedDumpWanted()) {
            std::string text = "\r\n";
            decoder::AppendHexDump(std::span(record_).subspan(1), text);
            text.append("\r\n\r\n");
            debug_->appendUnescapedDump(text);
        }
    }
    if (!serial && debug_ && debug_->unescapedDumpWanted()) {
        std::string text = "\r\n";
        decoder::AppendHexDump(record_, text);
        debug_->appendUnescapedDump(text);
    }
}

void ReceivePath::handOn(const Passing& passing) {
    if (handled_.seenBefore(identity_)) {
        ++resends_;
        note("passering " + passing.transponder + " " + passing.time +
             " opnieuw ontvangen (zelfde decoder, nummer, code en tijd): niet nog eens verwerkt");
        return;
    }
    listener_.onPassing(passing);
}

void ReceivePath::setAside(const Passing* passing) {
    ++setAside_;
    note(passing ? "controlesom klopt niet: passering " + passing->transponder + " " +
                       passing->time + " terzijde gelegd"
                 : std::string("controlesom klopt niet: record terzijde gelegd"));
    SetAside what{link_, std::nullopt, setAside_};
    if (passing) {
        what.passing = *passing;
    }
    listener_.onSetAside(what);
}

void ReceivePath::note(const std::string& text) {
    if (debug_) {
        debug_->note("\r\n-- " + text + "\r\n");
    }
}

void ReceivePath::connectionStarted() {
    recordChecks_.disarm();
    lineChecks_.disarm();
    if (const std::size_t dropped = records_.restart(); dropped > 0) {
        note("nieuwe verbinding: half record van " + std::to_string(dropped) +
             " bytes van de vorige verbinding weggegooid");
    }
    const std::string line =
        link_ == LinkKind::Serial ? serialLines_.restart() : tcpLines_.restart();
    if (!line.empty()) {
        note("nieuwe verbinding: halve regel van de vorige verbinding weggegooid: " +
             decoder::Cp1252ToUtf8(line));
    }
}

void ReceivePath::handleOlderLine(std::string_view received) {
    const std::string_view line = FromLineStart(received);
    if (line.size() < received.size()) {
        note("bytes voor het begin van een regel weggegooid: " +
             decoder::Cp1252ToUtf8(received.substr(0, received.size() - line.size())));
    }
    const bool passingLine = IsOlderPassingLine(line);
    const std::optional<decoder::LineCheck> check = decoder::OlderLineCheck(line);
    const bool checksOut = check && check->matches();
    if (lineChecks_.observe(checksOut && (passingLine || IsOlderStatusLine(line)))) {
        note("controlesommen kloppen: regels worden vanaf nu gecontroleerd");
    }
    if (!passingLine) {
        return;
    }
    // Every passing line reaches the raw log as received before anything of it is examined,
    // so even an unusable one is on record. A log that cannot be written does not stop the
    // passing.
    if (rawLogging_) {
        if (Status logged = rawLog_.append(received); !logged) {
            listener_.onProblem(logged.error());
        }
    }
    std::optional<Passing> passing = ParseOlderPassingLine(line, &identity_);
    if (!checksOut && lineChecks_.armed()) {
        setAside(passing ? &*passing : nullptr);
    } else if (passing) {
        handOn(*passing);
    }
}

}  // namespace tivaro::link
