#pragma once
// The coupling log: one line per handled passing, in the order of handling, appended to a
// plain text file (opened, written and closed for every line). The line is the passing's row
// of the grid: transponder TAB bib SPACE TAB time TAB name
// ("1234567\t12 \t10:15:30.25\tFinish"; an unknown transponder has the single space). A TAB,
// CR or LF inside a field is written as \t, \r or \n and a backslash as \\, so that every
// line keeps its four fields.

#include <filesystem>
#include <string>

#include "common/line_log.h"
#include "common/result.h"
#include "timing/passing_result.h"

namespace tivaro::timing {

std::string CouplingLogLine(const PassingResult& result);

class CouplingLog {
public:
    // An empty path keeps no log.
    explicit CouplingLog(std::filesystem::path path) : log_(std::move(path)) {}
    const std::filesystem::path& path() const { return log_.path(); }
    // Appends `line` and CR LF, whole, after any line still waiting for room (line_log.h).
    Status append(const std::string& line) { return log_.append(line); }
    // Writes the lines still waiting, as far as there is room now.
    Status flush() { return log_.flush(); }
    std::size_t waiting() const { return log_.waiting(); }

private:
    LineLog log_;
};

}  // namespace tivaro::timing
