#pragma once
// Frames binary records by their start byte 0x8E and end byte 0x8F, across any number of
// arrivals: a push decoder that takes bytes as they come and hands back complete records.
//
// - A start byte begins a record and drops whatever was collected (a lost end byte costs one
//   record, never two).
// - An end byte completes what was collected. Bytes that arrived without a start byte (after
//   the previous record) form such a record too, with 0 in place of the start byte; decoding
//   decides what it is worth.
// - A record holds at most kMaxRecordBytes after its start byte, the end byte included. One
//   that grows past that is dropped, and nothing counts until the next start byte, so memory
//   stays bounded whatever arrives.
// The work is linear in the bytes fed, whatever their pattern of start and end bytes.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <vector>

#include "decoder/record_layout.h"

namespace tivaro::link {

inline constexpr std::size_t kMaxRecordBytes = 32767;

class RecordFramer {
public:
    RecordFramer() { clear(); }

    // Calls `onRecord(std::span<const std::uint8_t> raw)` for every record completed by
    // `bytes`, in order. `raw` holds the record as received, its first byte the start byte (or
    // 0), its last the end byte; it is valid during the call only.
    template <class OnRecord>
    void feed(std::span<const std::uint8_t> bytes, OnRecord&& onRecord);

    // A new connection: a record begun on the old one is dropped, and framing waits for the
    // next start byte. Gives the number of bytes dropped (0 when no record was begun).
    std::size_t restart();

    // The bytes collected for the record being received, start byte included.
    std::span<const std::uint8_t> pending() const { return raw_; }

private:
    void clear() { raw_.assign(1, 0); }

    std::vector<std::uint8_t> raw_;
    bool open_ = false;           // a start byte came and its record is not complete
    bool awaitingStart_ = false;  // bytes are skipped up to the next start byte
};

template <class OnRecord>
void RecordFramer::feed(std::span<const std::uint8_t> bytes, OnRecord&& onRecord) {
    const std::uint8_t* const base = bytes.data();
    const std::size_t size = bytes.size();
    // The next start and end byte at or after `at`, found once and reused until passed, so
    // that no stretch of the arrival is searched twice.
    std::size_t nextStart = 0;
    std::size_t nextEnd = 0;
    bool startKnown = false;
    bool endKnown = false;
    const auto find = [&](std::uint8_t wanted, std::size_t from, std::size_t& cached, bool& known) {
        if (!known || cached < from) {
            const void* found = std::memchr(base + from, wanted, size - from);
            cached = found
                         ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - base)
                         : size;
            known = true;
        }
        return cached;
    };

    // A record that begins in this arrival is handed on from the arrival itself, not copied:
    // `begun` is its start byte's index here, `npos` while the record (if any) is in raw_.
    constexpr std::size_t npos = static_cast<std::size_t>(-1);
    std::size_t begun = npos;
    std::size_t at = 0;
    while (at < size) {
        if (awaitingStart_) {
            at = find(decoder::kStartByte, at, nextStart, startKnown);
            if (at == size) {
                return;
            }
        }
        const std::size_t start = find(decoder::kStartByte, at, nextStart, startKnown);
        const std::size_t end = find(decoder::kEndByte, at, nextEnd, endKnown);
        const std::size_t frame = start < end ? start : end;  // the next frame byte, or size

        // The bytes up to the frame byte, and the end byte itself, must fit.
        const std::size_t collected = begun != npos ? at - begun : raw_.size();
        const std::size_t room = kMaxRecordBytes + 1 - collected;
        const bool endsHere = frame < size && frame == end;
        if (frame - at > room || (endsHere && frame - at == room)) {
            clear();
            begun = npos;
            open_ = false;
            awaitingStart_ = true;
            at = frame;
            continue;
        }
        if (begun == npos) {
            raw_.insert(raw_.end(), base + at, base + frame);
        }
        if (frame == size) {
            if (begun != npos) {
                raw_.assign(base + begun, base + size);  // the rest comes with a later arrival
            }
            return;
        }
        if (!endsHere) {
            begun = frame;
            open_ = true;
            awaitingStart_ = false;
        } else {
            open_ = false;
            if (begun != npos) {
                onRecord(bytes.subspan(begun, frame + 1 - begun));
            } else {
                raw_.push_back(decoder::kEndByte);
                onRecord(std::span<const std::uint8_t>(raw_));
            }
            // Start afresh: a stray end byte must not complete this record a second time.
            clear();
            begun = npos;
        }
        at = frame + 1;
    }
    if (begun != npos) {
        // The arrival ended with the start byte: its record goes on in a later arrival, and
        // nothing collected before it may stay in front of it.
        raw_.assign(base + begun, base + size);
    }
}

}  // namespace tivaro::link
