#pragma once
// The passings handled since the workbook in force was opened, in order of handling: what
// each one was judged to be, on which sheet and by which set-up, and whether its writes are
// in the workbook. It is what a take-back looks up, and what tells which passings a reopened
// workbook lacks.

#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "timing/passing_result.h"
#include "timing/race.h"

namespace tivaro::timing {

class PassingLedger {
public:
    struct Entry {
        PassingResult result;
        bool written = false;     // its writes are in the workbook
        std::string sheet;        // the sheet it was judged on
        RaceSetup setup;          // the set-up it was judged by
        std::size_t arrival = 0;  // its place in the passing list
        bool takenBack = false;
    };

    // The workbook at `path` is raced on now. Another workbook than before starts an empty
    // ledger; the same one again keeps it, so that what it lacks can be found (true). A race
    // resumed after a restart keeps it whatever the path (`resumed`).
    bool raceOn(const std::filesystem::path& path, bool resumed = false);

    void add(Entry entry) { entries_.push_back(std::move(entry)); }
    const std::vector<Entry>& entries() const { return entries_; }
    const Entry& entry(std::size_t k) const { return entries_[k]; }
    void markTakenBack(std::size_t k) { entries_[k].takenBack = true; }

    // The entry of the competitor's latest recorded lap step on `sheet` that was not taken
    // back, if any.
    std::optional<std::size_t> latestLapStep(int row, const std::string& sheet) const;
    // The entry of the passing that arrived `arrival`-th in the passing list.
    std::optional<std::size_t> entryOfArrival(std::size_t arrival) const;

    // The entries a workbook lacks: `holds(entry)` tells whether the workbook holds what an
    // entry wrote. A taken-back passing is lacking while the workbook still holds its time; a
    // written one when the workbook does not hold it; one whose writes failed whenever it had
    // writes to make (or could not be judged).
    std::vector<std::size_t> lacking(const std::function<bool(const Entry&)>& holds) const;
    // Drops the entries whose writes failed among `lacking`: they are judged anew.
    void dropUnwritten(const std::vector<std::size_t>& lacking);

private:
    std::filesystem::path path_;
    std::vector<Entry> entries_;
};

}  // namespace tivaro::timing
