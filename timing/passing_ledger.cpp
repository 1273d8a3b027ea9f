#include "timing/passing_ledger.h"

#include <algorithm>

namespace tivaro::timing {

bool PassingLedger::raceOn(const std::filesystem::path& path, bool resumed) {
    std::error_code ignored;
    std::filesystem::path canonical = std::filesystem::weakly_canonical(path, ignored);
    const bool same = resumed || canonical == path_;
    path_ = std::move(canonical);
    if (!same) {
        entries_.clear();
    }
    return same;
}

std::optional<std::size_t> PassingLedger::latestLapStep(int row, const std::string& sheet) const {
    for (std::size_t k = entries_.size(); k-- > 0;) {
        const Entry& entry = entries_[k];
        if (entry.written && !entry.takenBack && entry.sheet == sheet && entry.result.row == row &&
            IsLapStep(entry.result)) {
            return k;
        }
    }
    return std::nullopt;
}

std::optional<std::size_t> PassingLedger::entryOfArrival(std::size_t arrival) const {
    for (std::size_t k = entries_.size(); k-- > 0;) {
        if (entries_[k].arrival == arrival) {
            return k;
        }
    }
    return std::nullopt;
}

std::vector<std::size_t> PassingLedger::lacking(
    const std::function<bool(const Entry&)>& holds) const {
    std::vector<std::size_t> lacking;
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        const Entry& entry = entries_[k];
        const bool hasWrites = !entry.result.writes.empty();
        const bool lacks = entry.takenBack ? holds(entry)
                           : entry.written ? hasWrites && !holds(entry)
                                           : hasWrites || entry.result.problem.has_value();
        if (lacks) {
            lacking.push_back(k);
        }
    }
    return lacking;
}

void PassingLedger::dropUnwritten(const std::vector<std::size_t>& lacking) {
    std::vector<Entry> kept;
    kept.reserve(entries_.size());
    for (std::size_t k = 0; k < entries_.size(); ++k) {
        const bool drop =
            !entries_[k].written && std::find(lacking.begin(), lacking.end(), k) != lacking.end();
        if (!drop) {
            kept.push_back(std::move(entries_[k]));
        }
    }
    entries_ = std::move(kept);
}

}  // namespace tivaro::timing
