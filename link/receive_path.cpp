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

std::string ReceivePath::linkName() const {
    return link_ == LinkKind::Serial ? "de seriële lijn" : "de TCP-verbinding";
}

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

    // A damaged record is ignored as a whole, and a record that fails its check once records
    // are checked is set aside: nothing is handed on.
    if (!decoder::UnescapeRecord(raw, record_) || !checkRecord()) {
        return;
    }
    decoder::DecodeRecord(record_, decoded_);
    if (decoded_.status == decoder::RecordStatus::Passing) {
        passing_.transponder.swap(decoded_.transponder);
        decoder::FormatPassingTime(decoded_.passingTimeMicros, passing_.time);
        listener_.onPassing(passing_);
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

bool ReceivePath::checkRecord() {
    if (decoder::RecordChecksumMatches(record_)) {
        if (!recordVerified_ && warnedUnchecked_) {
            listener_.onNotice("Records van de decoder over " + linkName() +
                               " worden vanaf nu gecontroleerd: een record met een kloppende "
                               "controlesom is ontvangen.");
        }
        recordVerified_ = true;
        return true;
    }
    if (!recordVerified_) {
        // The decoder may use another checksum: its records are handled unchecked.
        if (!warnedUnchecked_) {
            listener_.onNotice("Records van de decoder over " + linkName() +
                               " worden niet gecontroleerd: nog geen record had een kloppende "
                               "controlesom. Passeringen worden gewoon verwerkt.");
            warnedUnchecked_ = true;
        }
        return true;
    }
    ++setAside_;
    note("controlesom klopt niet: record terzijde gelegd");
    listener_.onNotice("Record met een foute controlesom terzijde gelegd op " + linkName() + " (" +
                       std::to_string(setAside_) +
                       " sinds het begin). Een storing op de lijn kan passeringen kosten: kijk "
                       "naar de kabel of het netwerk.");
    return false;
}

void ReceivePath::note(const std::string& text) {
    if (debug_) {
        debug_->note("\r\n-- " + text + "\r\n");
    }
}

void ReceivePath::connectionStarted() {
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

void ReceivePath::handleOlderLine(std::string_view line) {
    if (!IsOlderPassingLine(line)) {
        return;
    }
    // Every passing line reaches the raw log before anything of it is examined, so even an
    // unusable one is on record. A log that cannot be written does not stop the passing.
    if (!rawLog_.empty()) {
        if (Status logged = AppendRawLog(rawLog_.string(), line); !logged) {
            listener_.onProblem(logged.error());
        }
    }
    if (auto passing = ParseOlderPassingLine(line)) {
        listener_.onPassing(*passing);
    }
}

}  // namespace tivaro::link
