#pragma once
// The receive path of one decoder link: what arrives on the serial line or over TCP is framed
// into binary records or text lines, decoded, and every passing is handed on as a value.
//
// Binary records are framed by their start and end bytes (record_framer.h) on both links;
// text lines of older decoders by the link's own rules (line_framer.h). Every passing line of
// an older decoder goes to the raw log, exactly as received, before anything of it is read.
//
// Record checks: every binary record carries a CRC-16. Once a record on the link has checked
// out, the link's records that fail the check are set aside (counted, noted in the debug
// view, reported as a notice) instead of handled. A decoder whose checksum differs never
// loses a race: until a record on the link has checked out, every record is handled, and a
// notice says that the records are not being checked.

#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "decoder/record.h"
#include "link/line_framer.h"
#include "link/passing.h"
#include "link/record_framer.h"

namespace tivaro::link {

// What the receive path hands on.
class ReceiveListener {
public:
    virtual ~ReceiveListener() = default;
    virtual void onPassing(const Passing& passing) = 0;
    // A failure a person should hear about: the raw log cannot be written.
    virtual void onProblem(const Error& error) = 0;
    // News about the link a person should see: records not checked, a record set aside.
    virtual void onNotice(const std::string& text) = 0;
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
    // connection), for whoever looks at the debug boxes.
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
    // a record, half a line) is dropped and noted, and framing waits for the next start byte.
    void connectionStarted();

    // One complete text line of an older decoder, as the line framer hands it on.
    void handleOlderLine(std::string_view line);

    bool recordsChecked() const { return recordVerified_; }
    std::uint64_t recordsSetAside() const { return setAside_; }

private:
    void completeRecord(std::span<const std::uint8_t> raw);
    // False when the record is to be set aside.
    bool checkRecord();
    void note(const std::string& text);
    std::string linkName() const;

    LinkKind link_;
    ReceiveListener& listener_;
    DebugView* debug_;
    std::filesystem::path rawLog_;
    DecoderGeneration generation_ = DecoderGeneration::Binary;

    RecordFramer records_;
    SerialLineFramer serialLines_;
    TcpLineFramer tcpLines_;
    LineHandler lineHandler_;

    // Reused from record to record, so that their storage is.
    std::vector<std::uint8_t> record_;
    decoder::DecodedRecord decoded_;
    Passing passing_;

    bool recordVerified_ = false;   // a record on this link has checked out
    bool warnedUnchecked_ = false;  // the notice that records are not checked was given
    std::uint64_t setAside_ = 0;
};

}  // namespace tivaro::link
