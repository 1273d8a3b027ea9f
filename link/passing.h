#pragma once
// A passing as the decoder reports it: which transponder crossed the loop, and when. It is
// the value that travels from the link to the race, and the same for both decoder
// generations.

#include <cstdint>
#include <string>

namespace tivaro::link {

struct Passing {
    std::string transponder;  // UTF-8; the key of the workbook lookup
    std::string time;         // time of day, "h:m:s.hh" without leading zeros but in the hundredths

    bool operator==(const Passing&) const = default;
};

// What tells one passing from another on a link: the decoder's id and its own numbering of
// the passing where it sends them, the code, and the time as the decoder sent it. A decoder
// that sends a passing again after a reconnect sends the same identity. Binary records give
// numbers (the time in microseconds); an older decoder's line gives its fields as text
// (decoder, passing number and time field, TAB between them).
struct PassingIdentity {
    std::uint64_t time = 0;
    std::uint32_t decoder = 0;
    std::uint32_t number = 0;
    std::string fields;
    std::string transponder;

    bool operator==(const PassingIdentity&) const = default;
};

// The two ways the decoder is reached. Their framing rules differ slightly.
enum class LinkKind { Serial, Tcp };

// What the decoder sends: escaped binary records (the current generation) or TAB-separated
// text lines (older decoders).
enum class DecoderGeneration { Binary, Older };

}  // namespace tivaro::link
