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
// or whose whole seconds are not 1 to 10 decimal digits up to 2,147,483,647.
std::optional<Passing> ParseOlderPassingLine(std::string_view line);

// Appends one passing line, exactly as received, to the raw log at `rawLogPath`.
Status AppendRawLog(const std::string& rawLogPath, std::string_view line);

}  // namespace tivaro::link
