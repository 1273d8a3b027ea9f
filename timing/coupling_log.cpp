#include "timing/coupling_log.h"

#include <string_view>

#include "common/escaped_text.h"
#include "common/line_log.h"

namespace tivaro::timing {

// Each field escaped, as tivaro-decode prints codes: a TAB, CR or LF (a decoder may send them in
// a code, a cell may hold them) would split the line or its fields.

std::string CouplingLogLine(const PassingResult& result) {
    const link::Passing& passing = result.passing;
    std::string line;
    line.reserve(passing.transponder.size() + result.bib.size() + passing.time.size() +
                 result.name.size() + 4);
    AppendEscaped(passing.transponder, line);
    line += '\t';
    AppendEscaped(result.bib, line);
    line += " \t";
    AppendEscaped(passing.time, line);
    line += '\t';
    AppendEscaped(result.name, line);
    return line;
}

}  // namespace tivaro::timing
