#pragma once
// A passing as the decoder reports it: which transponder crossed the loop, and when. It is
// the value that travels from the link to the race, and the same for both decoder
// generations.

#include <string>

namespace tivaro::link {

struct Passing {
    std::string transponder;  // UTF-8; the key of the workbook lookup
    std::string time;         // time of day, "h:m:s.hh" without leading zeros but in the hundredths

    bool operator==(const Passing&) const = default;
};

// The two ways the decoder is reached. Their framing rules differ slightly.
enum class LinkKind { Serial, Tcp };

// What the decoder sends: escaped binary records (the current generation) or TAB-separated
// text lines (older decoders).
enum class DecoderGeneration { Binary, Older };

}  // namespace tivaro::link
