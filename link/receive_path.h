#pragma once
// The receive path of one decoder link: what arrives on the serial line or over TCP is framed
// into binary records or text lines, decoded, and every passing is handed on as a value.
//
// Binary records are framed by their start and end bytes (record_framer.h) on both links;
// text lines of older decoders by the link's own rules (line_framer.h). Every passing line of
// an older decoder goes to the raw log, exactly as received, before anything of it is read.
//
// Checks: binary records carry a CRC, and older decoders end their lines with one. Once three
// records, or three lines, in a row on the link have checked out (check_arming.h), those that
// fail are set aside instead of handled: decoded as far as they go and handed on as set aside,
// so that a person can judge them. A decoder whose checksum differs never loses a race: its
// records never arm the check, and every one is handled.
//
// Older lines are read from their last start (start-of-header and "@" or "#"): bytes before
// it, left on the wire when the link opened or by a line cut short, are dropped and noted.
//
// A passing identical to one handled shortly before on the link (resend_filter.h) was sent
// again, after a reconnect for one: it is noted, not handled a second time.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/line_log.h"
#include "common/result.h"
#include "decoder/record.h"
#include "link/check_arming.h"
#include "link/line_framer.h"
#include "link/passing.h"
#include "link/record_framer.h"
#include "link/resend_filter.h"

namespace tivaro::link {

// A record or line whose checksum failed once the link's checks were armed.
struct SetAside {
    LinkKind link = LinkKind::Serial;
    // What it says, as far as it could be decoded: nothing when it held no passing, or none
    // that could be read.
    std::optional<Passing> passing;
    std::uint64_t count = 0;  // set aside on this link since the program started, this one too
};

// What the receive path hands on.
class ReceiveListener {
public:
    virtual ~ReceiveListener() = default;
    virtual void onPassing(const Passing& passing) = 0;
    virtual void onSetAside(const SetAside& setAside) = 0;
    // A failure a person should hear about: the raw log cannot be written.
    virtual void onProblem(const Error& error) = 0;
};

// The debug boxes: whether each dump is wanted, and where the dump texts, the last serial
// text line and remarks go. Texts are UTF-8 and carry their CR LF exactly as the boxes receive
// them.
class DebugView {
public:
    virtual ~DebugView() = default;
    virtual bool rawDumpWanted() const = 0;        // "Debug raw"
    virtual bool unescapedDumpWanted() const = 0;  // "Debug Unescaped"
    virtual void appendRawDump(std::string_view text) = 0;
    virtual void appendUnescapedDump(std::string_view text) = 0;
    virtual void showSerialLine(std::string_view line) = 0;
    // A remark about the bytes received (a record set aside, half a record dropped at a new
    // connection, a passing sent again), for whoever looks at the debug boxes.
    virtual void note(std::string_view text) = 0;
};

class ReceivePath {
public:
    // `listener` and `debug` (may be null: no debug boxes) must outlive the path. `rawLog` is
    // the raw log's file; empty keeps none.
    ReceivePath(LinkKind link, ReceiveListener& listener, DebugView* debug = nullptr,
                std::filesystem::path rawLog = {});

    LinkKind link() const { return link_; }

    // Which decoder generation the bytes come from; a change clears no buffer.
    void setGeneration(DecoderGeneration generation) { generation_ = generation; }
    DecoderGeneration generation() const { return generation_; }

    // Bytes received on the link, in order: one serial receive event or one TCP arrival. With
    // older decoders each byte is one character.
    void receive(std::span<const std::uint8_t> bytes);

    // A connection on the link was made (again): what the earlier one left unfinished (half
    // a record, half a line) is dropped and noted, framing waits for the next start byte, and
    // checks start unarmed, as the other end may be another decoder.
    void connectionStarted();

    // One complete text line of an older decoder, as the line framer hands it on.
    void handleOlderLine(std::string_view line);

    // Whether passing lines go to the raw log (not while a race is rebuilt from its journal:
    // they went there when they came).
    void setRawLogging(bool on) { rawLogging_ = on; }
    // Writes the raw log's lines still waiting for room, as far as there is room now.
    Status flushRawLog() { return rawLog_.flush(); }

    bool recordsChecked() const { return recordChecks_.armed(); }
    bool linesChecked() const { return lineChecks_.armed(); }
    std::uint64_t setAsideCount() const { return setAside_; }
    std::uint64_t resendsDropped() const { return resends_; }

private:
    void completeRecord(std::span<const std::uint8_t> raw);
    void setAside(const Passing* passing);
    // Hands `passing` on unless it was sent before.
    void handOn(const Passing& passing);
    void note(const std::string& text);

    LinkKind link_;
    ReceiveListener& listener_;
    DebugView* debug_;
    LineLog rawLog_;
    bool rawLogging_ = true;
    DecoderGeneration generation_ = DecoderGeneration::Binary;

    RecordFramer records_;
    SerialLineFramer serialLines_;
    TcpLineFramer tcpLines_;
    LineHandler lineHandler_;

    // Reused from record to record, so that their storage is.
    std::vector<std::uint8_t> record_;
    decoder::DecodedRecord decoded_;
    Passing passing_;
    PassingIdentity identity_;

    CheckArming recordChecks_;
    CheckArming lineChecks_;
    ResendFilter handled_;
    std::uint64_t setAside_ = 0;
    std::uint64_t resends_ = 0;
};

}  // namespace tivaro::link
