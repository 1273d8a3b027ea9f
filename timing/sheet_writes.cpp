#include "timing/sheet_writes.h"

#include "timing/sports.h"
#include "workbook/cell_address.h"

namespace tivaro::timing {

namespace {

std::string CellsOf(const SheetWrite& write) {
    std::string name = workbook::CellName(write.firstRow, write.column);
    if (write.lastRow != write.firstRow) {
        name += ":" + workbook::CellName(write.lastRow, write.column);
    }
    return name;
}

Error Failed(const PassingResult& result, const std::string& what, const Error& cause) {
    return MakeError(cause.code, "Het werkboek nam " + what + " niet aan bij de " +
                                     DescribePassing(result) + ": " + cause.message);
}

}  // namespace

std::string DescribePassing(const PassingResult& result) {
    std::string text = "passering van " + result.passing.transponder + " om " + result.passing.time;
    if (result.found) {
        text += " (rij " + std::to_string(result.row) + ", rugnummer " + result.bib + ")";
    }
    return text;
}

WriteOutcome WriteToSheet(const PassingResult& result, workbook::Workbook& book,
                          workbook::SheetId sheet) {
    WriteOutcome outcome;
    for (const SheetWrite& write : result.writes) {
        const std::string cells = CellsOf(write);
        const Status done = write.firstRow == write.lastRow
                                ? book.writeCell(sheet, write.firstRow, write.column, write.text)
                                : book.writeRange(sheet, cells, write.text);
        if (!done) {
            outcome.written = false;
            outcome.problems.push_back(
                Failed(result, std::string(write.what) + " in " + cells, done.error()));
            return outcome;
        }
        outcome.changed = true;
    }
    if (result.colourBibCell) {
        const Status coloured = book.colourCell(sheet, result.row, kBibColumn, result.colour);
        if (!coloured) {
            outcome.problems.push_back(
                Failed(result, "de kleur van " + workbook::CellName(result.row, kBibColumn),
                       coloured.error()));
        } else {
            outcome.changed = true;
        }
    }
    return outcome;
}

}  // namespace tivaro::timing
