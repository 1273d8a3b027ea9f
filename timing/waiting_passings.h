#pragma once
// Passings that came while no race sheet could be written (no workbook open yet, a workbook
// without the sport's sheet, the spreadsheet stopped), in order of arrival, each with the
// set-up in force when it came. They are shown and logged as waiting, and filled in once the
// race sheet can be written again.

#include <cstddef>
#include <vector>

#include "link/passing.h"
#include "timing/race.h"

namespace tivaro::timing {

class WaitingPassings {
public:
    struct Entry {
        link::Passing passing;
        RaceSetup setup;
        std::size_t arrival = 0;  // its place in the passing list
    };

    void add(Entry entry) { entries_.push_back(std::move(entry)); }
    bool empty() const { return entries_.empty(); }
    std::size_t size() const { return entries_.size(); }
    // Takes the first `count` entries, oldest first.
    std::vector<Entry> takeFirst(std::size_t count) {
        count = count < entries_.size() ? count : entries_.size();
        std::vector<Entry> taken(entries_.begin(), entries_.begin() + static_cast<long>(count));
        entries_.erase(entries_.begin(), entries_.begin() + static_cast<long>(count));
        return taken;
    }

private:
    std::vector<Entry> entries_;
};

}  // namespace tivaro::timing
