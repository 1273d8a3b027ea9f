#include "timing/coupling_log.h"

#include "common/line_log.h"

namespace tivaro::timing {

std::string CouplingLogLine(const PassingResult& result) {
    const link::Passing& passing = result.passing;
    std::string line;
    line.reserve(passing.transponder.size() + result.bib.size() + passing.time.size() +
                 result.name.size() + 4);
    line.append(passing.transponder).append("\t").append(result.bib).append(" \t");
    line.append(passing.time).append("\t").append(result.name);
    return line;
}

Status CouplingLog::append(const std::string& line) const {
    if (path_.empty()) {
        return {};
    }
    return AppendLogLine(path_.string(), line);
}

}  // namespace tivaro::timing
