#pragma once
// Puts what a passing's result writes into the race sheet: its texts in order, then the
// bib cell's colour.
//
// A write that fails ends the sheet work of that passing: the remaining writes and the
// colouring are left out, so a counter never runs ahead of its time; the failure comes back
// with the passing, the competitor's row and the cell named.

#include <vector>

#include "common/result.h"
#include "timing/passing_result.h"
#include "workbook/workbook.h"

namespace tivaro::timing {

struct WriteOutcome {
    bool written = true;   // every write of the result is in the sheet
    bool changed = false;  // the workbook was changed (a write or the colour)
    std::vector<Error> problems;
};

WriteOutcome WriteToSheet(const PassingResult& result, workbook::Workbook& book,
                          workbook::SheetId sheet);

// Names the passing in a message: "passering van 7404583 om 10:0:1.00 (rij 3, rugnummer 101)".
std::string DescribePassing(const PassingResult& result);

}  // namespace tivaro::timing
