#pragma once
// Lines of a replay scenario for what arrives from a decoder, so that a race journal plays the
// arrival again byte for byte: "tcp 01 02 ..." for bytes, "tcp-text ..." for the text lines of
// an older decoder (mostly printable; \r \n \t \\ and \xHH for the rest).

#include <cstdint>
#include <span>
#include <string>

#include "link/passing.h"

namespace tivaro::timing {

std::string JournalBytesLine(link::LinkKind link, link::DecoderGeneration generation,
                             std::span<const std::uint8_t> bytes);

// "serial" or "tcp".
const char* JournalLinkName(link::LinkKind link);

}  // namespace tivaro::timing
