#include "timing/coupling_log.h"

#include <string_view>

#include "common/line_log.h"

namespace tivaro::timing {

namespace {

// A field as the line holds it: TAB, CR and LF (a decoder may send them in a code, a cell may
// hold them) would split the line or its fields, so they go as \t, \r and \n, and a
// backslash as \\, as tivaro-decode prints codes.
void AppendField(std::string_view text, std::string& line) {
    for (const char c : text) {
        switch (c) {
            case '\\':
                line += "\\\\";
                break;
            case '\t':
                line += "\\t";
                break;
            case '\r':
                line += "\\r";
                break;
            case '\n':
                line += "\\n";
                break;
            default:
                line += c;
        }
    }
}

}  // namespace

std::string CouplingLogLine(const PassingResult& result) {
    const link::Passing& passing = result.passing;
    std::string line;
    line.reserve(passing.transponder.size() + result.bib.size() + passing.time.size() +
                 result.name.size() + 4);
    AppendField(passing.transponder, line);
    line += '\t';
    AppendField(result.bib, line);
    line += " \t";
    AppendField(passing.time, line);
    line += '\t';
    AppendField(result.name, line);
    return line;
}

Status CouplingLog::append(const std::string& line) const {
    if (path_.empty()) {
        return {};
    }
    return AppendLogLine(path_.string(), line);
}

}  // namespace tivaro::timing
