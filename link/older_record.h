#pragma once
// Passing lines of older decoders: TAB-separated text, "@" as the second character.
//
// Fields (from 0): 3 transponder code, 4 passing time as whole seconds with an optional
// "." and fraction, 8 transponder code unless it begins with "x" (then field 3 counts).

#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"
#include "link/passing.h"

namespace tivaro::link {

// True for a passing line: its second character is "@".
bool IsOlderPassingLine(std::string_view line);

// Takes transponder and time out of a passing line (raw bytes as received, line end
// included; the line end is not part of any field). Nothing for a line with fewer than nine fields
// or whose whole seconds are not 1 to 10 decimal digits up to 2,147,483,647. `identity`, when
// given, receives the passing's identity: fields 1 (the decoder) and 2 (its passing number),
// the code and field 4 as sent.
std::optional<Passing> ParseOlderPassingLine(std::string_view line,
                                             PassingIdentity* identity = nullptr);

// The line as it starts at its last start-of-header byte followed by a kind character ("@" a
// passing, "#" a status): bytes before it are the rest of something else (a line cut short, noise
// on the wire). A line without such a start is given back whole.
std::string_view FromLineStart(std::string_view line);

// True for a status line of an older decoder: "#" as the second character.
bool IsOlderStatusLine(std::string_view line);

}  // namespace tivaro::link
