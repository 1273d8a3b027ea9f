#pragma once
// The timer's corrections, decided but not yet applied: a passing entered by hand, and the
// take-back of a competitor's latest lap step. Each is refused with a message a person can act
// on, or gives the result that the race controller applies as it applies every passing.

#include <cstddef>
#include <string>
#include <string_view>

#include "common/result.h"
#include "timing/passing_ledger.h"
#include "timing/passing_result.h"
#include "timing/race.h"

namespace tivaro::timing {

// A take-back ready to apply: the ledger entry it takes back, and the result that clears its
// time and puts the counter back.
struct TakeBack {
    std::size_t entry = 0;
    PassingResult undo;
    workbook::SheetId sheet;
};

class Corrections {
public:
    // Both must outlive the corrections.
    Corrections(const Race& race, const PassingLedger& ledger) : race_(race), ledger_(ledger) {}

    // The passing for the competitor with bib `bib` (column A of the race sheet) at `time`, a
    // time of day ("14:05:30.25", "14:05:30"), judged as a passing of that competitor's
    // transponder and marked as entered by hand. Refused when the bib is not in the race sheet
    // or the time is no time of day.
    Result<PassingResult> handPassing(std::string_view bib, std::string_view time) const;

    // Takes back the latest recorded lap step of the competitor with bib `bib`. Refused when
    // there is none, or when the sheet no longer holds what that passing wrote.
    Result<TakeBack> takeBack(std::string_view bib) const;
    // The same for the passing that arrived `arrival`-th in the passing list, which must be its
    // competitor's latest recorded lap step on the race sheet in force.
    Result<TakeBack> takeBackPassing(std::size_t arrival) const;
    bool canTakeBack(std::size_t arrival) const;

private:
    std::optional<std::size_t> takeBackEntryOf(std::size_t arrival) const;
    Result<TakeBack> takeBackEntry(std::size_t k) const;

    const Race& race_;
    const PassingLedger& ledger_;
};

// What taking back the lap step `result` (that arrived `arrival`-th) writes: its time cleared,
// the counter as it was. The counter comes first: once it is back, the next passing writes
// the time column again, so a time left behind by a failed second write cannot count.
PassingResult TakeBackOf(const PassingResult& result, std::size_t arrival);

}  // namespace tivaro::timing
