#pragma once
// The receive path: what arrives from the decoder, on the serial line or over TCP, is framed
// into binary records or text lines, decoded, and every passing is handed to a sink with
// `transponder` and `passTime` set in the race state.
//
// Binary records are framed by start byte 0x8E and end byte 0x8F on both links, across any
// number of arrivals. A record that grows past 32,767 bytes without an end byte is dropped and
// framing waits for the next start byte; a text line past 4,096 characters without its line
// end is dropped likewise, so memory stays bounded whatever arrives.

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "app/state/race_state.h"
#include "common/result.h"
#include "decoder/record.h"

namespace tivaro::link {

inline constexpr std::size_t kMaxRecordBytes = 32767;
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
};

class ReceivePath {
public:
    // `debug` may be null (no debug boxes). All three must outlive the receive path.
    ReceivePath(RaceState& state, PassingSink& sink, DebugView* debug = nullptr);

    // A receive event of the serial link: every byte read, in order. In text mode (older
    // decoders) each byte is one character.
    std::vector<Error> ReceiveSerial(std::span<const std::uint8_t> bytes);

    // A data arrival of the TCP link: all bytes received since the previous arrival.
    std::vector<Error> ReceiveTcp(std::span<const std::uint8_t> bytes);

    // One complete text line of an older decoder (serial: up to and including CR LF; TCP: up
    // to and including CR), as raw bytes. Passing lines go to the raw log first.
    std::vector<Error> HandleOlderRecord(std::string_view line);

private:
    enum class Link { Serial, Tcp };

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
};

}  // namespace tivaro::link
