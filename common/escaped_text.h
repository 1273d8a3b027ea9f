#pragma once
// Text put on one line of a log, a listing or a scenario: a backslash goes as \\, TAB, CR and
// LF as \t, \r and \n, so the line keeps its fields and stays one line. On request every
// other byte outside printable ASCII goes as \xHH too, so the line is plain ASCII.

#include <optional>
#include <string>
#include <string_view>

namespace tivaro {

void AppendEscaped(std::string_view text, std::string& out, bool otherBytesAsHex = false);

// The text AppendEscaped wrote, back: \\ \t \r \n and \xHH undone, appended to `out`. Gives the
// reason (in Dutch) when `text` holds an escape that AppendEscaped never writes.
std::optional<std::string> AppendUnescaped(std::string_view text, std::string& out);

}  // namespace tivaro
