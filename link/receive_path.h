#pragma once
// The receive path: what arrives from the decoder, on the serial line or over TCP, is framed
// into binary records or text lines, decoded, and every passing is handed to a sink with
// `transponder` and `passTime` set in the race state.
//
// Binary records are framed by start byte 0x8E and end byte 0x8F on both links, across any
// number of arrivals. A record that grows past 32,767 bytes after its start byte without an
// end byte is dropped and framing waits for the next start byte; a text line past 4,096
// characters without its line end is dropped likewise, so memory stays bounded whatever
// arrives.
//
// Record checks: every binary record carries a CRC-16. Once a record on a link has checked
// out, that link's records that fail the check are set aside (counted, and noted in the debug
// view) instead of handled. A decoder whose checksum differs never loses a race: until a
// record on the link has checked out, every record is handled, and a notice says that the
// records are not being checked.

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/state/race_state.h"
#include "common/result.h"
#include "decoder/record.h"

namespace tivaro::link {

inline constexpr std::size_t kMaxRecordBytes = 32767;  // after the start byte
inline constexpr std::size_t kMaxLineChars = 4096;

// Takes each passing, with the race state's `transponder` and `passTime` set.
class PassingSink {
public:
    virtual ~PassingSink() = default;
    virtual void HandlePassing() = 0;
};

// The debug boxes: whether each dump is wanted, and where the dump texts and the last serial
// text line go. Texts are UTF-8 and carry their CR LF exactly as the boxes receive them.
class DebugView {
public:
    virtual ~DebugView() = default;
    virtual bool rawDumpWanted() const = 0;        // "Debug raw"
    virtual bool unescapedDumpWanted() const = 0;  // "Debug Unescaped"
    virtual void appendRawDump(std::string_view text) = 0;
    virtual void appendUnescapedDump(std::string_view text) = 0;
    virtual void showSerialLine(std::string_view line) = 0;
    // A remark of the receive path about the bytes it got (a record set aside, a half record
    // dropped at a new connection), for whoever looks at the debug boxes.
    virtual void note(std::string_view text) = 0;
};

class ReceivePath {
public:
    enum class Link { Serial, Tcp };

    // `debug` may be null (no debug boxes). All three must outlive the receive path.
    ReceivePath(RaceState& state, PassingSink& sink, DebugView* debug = nullptr);

    // Takes notices for a person: records that are not checked, records set aside.
    void setNoticeListener(std::function<void(const std::string&)> listener) {
        notice_ = std::move(listener);
    }

    // A connection on `link` was made (again): what the earlier one left unfinished (half a
    // record, half a line) is dropped, and framing waits for the next start byte.
    void ConnectionStarted(Link link);

    // A receive event of the serial link: every byte read, in order. In text mode (older
    // decoders) each byte is one character.
    std::vector<Error> ReceiveSerial(std::span<const std::uint8_t> bytes);

    // A data arrival of the TCP link: all bytes received since the previous arrival.
    std::vector<Error> ReceiveTcp(std::span<const std::uint8_t> bytes);

    // One complete text line of an older decoder (serial: up to and including CR LF; TCP: up
    // to and including CR), as raw bytes. Passing lines go to the raw log first.
    std::vector<Error> HandleOlderRecord(std::string_view line);

    // Records that failed their check and were not handled, on `link`.
    std::uint64_t recordsSetAside(Link link) const { return checks_[Index(link)].setAside; }

private:
    struct RecordCheck {
        bool verified = false;         // a record on this link has checked out
        bool warnedUnchecked = false;  // the notice that records are not checked was given
        std::uint64_t setAside = 0;
    };
    static std::size_t Index(Link link) { return link == Link::Serial ? 0 : 1; }

    // False when the record is to be set aside.
    bool CheckRecord(Link link);
    void Note(std::string text);

    void FrameBytes(std::span<const std::uint8_t> bytes, Link link);
    void CompleteRecord(Link link);
    void CollectSerialChar(char c, std::vector<Error>& errors);
    void CollectTcpText(std::span<const std::uint8_t> bytes, std::vector<Error>& errors);
    void HandleOlderLine(std::string_view line, std::vector<Error>& errors);

    RaceState& state_;
    PassingSink& sink_;
    DebugView* debug_;
    decoder::DecodedRecord decoded_;   // reused from record to record
    bool awaitingStart_ = false;       // an oversize record was dropped: skip to the next 0x8E
    bool skippingSerialLine_ = false;  // an overlong serial line was dropped: skip to its LF
    bool skippingTcpLine_ = false;     // an overlong TCP line was dropped: skip to its LF
    bool recordOpen_ = false;          // a start byte came and its record is not complete yet
    RecordCheck checks_[2];
    std::function<void(const std::string&)> notice_;
};

}  // namespace tivaro::link
