#pragma once
// The spreadsheet operations the race relies on, as one small interface that more than one
// engine fills in: the embedded .xlsx engine, and a live office suite.
//
// The model is the office suite's: a workbook of named sheets, one of them active; rows and
// columns count from 1 (column 1 is A); cells are read as the text a spreadsheet shows in
// General format; colours are numbers R + 256·G + 65536·B.
//
// Every operation can fail with an Error whose message names the file, sheet or cell and the
// reason. Only find() has an expected failure: Errc::NotFound when no cell matches.

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/result.h"
#include "common/system_error.h"

namespace tivaro::workbook {

// Names one sheet of one open workbook. It stays bound to that sheet while the workbook is
// open, whichever sheet is active later.
struct SheetId {
    int index = -1;
    bool operator==(const SheetId&) const = default;
};

// One change of one cell, for applying many at once.
struct CellChange {
    enum class Kind { Text, Colour };
    Kind kind = Kind::Text;
    SheetId sheet;
    int row = 0;
    int column = 0;
    std::string text;          // Text: written as writeCell writes it
    std::uint32_t colour = 0;  // Colour: a fill as colourCell gives it
};

// What an engine that works on a thread of its own has to tell since it was last asked.
struct WorkbookNews {
    std::vector<Error> problems;     // changes that failed after they were taken on
    bool notAnswering = false;       // its application has not answered for a while
    std::size_t waitingChanges = 0;  // changes taken on that are not in the application yet
    bool outsideChanges = false;     // cells changed in the application by someone else
};

// What a save did.
struct SaveReport {
    std::filesystem::path writtenTo;  // the file that now holds the workbook
    std::string notice;               // non-empty when a person should hear about it
};

class Workbook {
public:
    virtual ~Workbook() = default;

    // The file this workbook was opened from (or is now saved to).
    virtual const std::filesystem::path& path() const = 0;

    virtual std::vector<std::string> sheetNames() const = 0;
    virtual Result<std::string> sheetName(SheetId sheet) const = 0;

    // "Active sheet": the sheet shown when the workbook is opened, or the last activated.
    virtual Result<SheetId> activeSheet() const = 0;
    // "Activate": makes the sheet of that name the active sheet; names compare without
    // regard to case, as a spreadsheet compares them.
    virtual Status activate(std::string_view sheetName) = 0;

    // 1-based position, within a one-column block such as "B3:B200", of the topmost cell
    // equal to `text`, compared as a spreadsheet's MATCH with match type 0 compares texts
    // (case-insensitive). A numeric cell also matches its plain number text.
    virtual Result<int> find(SheetId sheet, std::string_view range, std::string_view text) = 0;

    // The cell's value as text: strings as they are, numbers in their plain shortest form
    // ("12", "1.5"), booleans, the cached value of a formula; "" for an empty cell.
    virtual Result<std::string> readCell(SheetId sheet, int row, int column) = 0;

    // The cells of `row` from column 1 (A) to `lastColumn`, read as readCell reads them. An
    // engine that talks to another process reads them in one call.
    virtual Result<std::vector<std::string>> readRow(SheetId sheet, int row, int lastColumn) {
        std::vector<std::string> cells;
        for (int column = 1; column <= lastColumn; ++column) {
            Result<std::string> text = readCell(sheet, row, column);
            if (!text) {
                return text.error();
            }
            cells.push_back(std::move(*text));
        }
        return cells;
    }

    // The cells of rows firstRow..lastRow, each from column 1 to `lastColumn`, read as
    // readRow reads them.
    virtual Result<std::vector<std::vector<std::string>>> readBlock(SheetId sheet, int firstRow,
                                                                    int lastRow, int lastColumn) {
        std::vector<std::vector<std::string>> rows;
        for (int row = firstRow; row <= lastRow; ++row) {
            Result<std::vector<std::string>> cells = readRow(sheet, row, lastColumn);
            if (!cells) {
                return cells.error();
            }
            rows.push_back(std::move(*cells));
        }
        return rows;
    }

    // Writes `text` as a string cell, keeping the cell's style.
    virtual Status writeCell(SheetId sheet, int row, int column, std::string_view text) = 0;

    // Writes `text` into every cell of a block such as "F3:F200".
    virtual Status writeRange(SheetId sheet, std::string_view range, std::string_view text) = 0;

    // Gives the cell a solid fill of `colour` (R + 256·G + 65536·B), keeping the rest of its
    // style.
    virtual Status colourCell(SheetId sheet, int row, int column, std::uint32_t colour) = 0;

    // Applies `changes` in order, as writeCell and colourCell do one by one; a change that
    // fails is reported and the rest are still tried. An engine that talks to another process
    // joins them into as few calls as leave the cells as one by one would.
    virtual std::vector<Error> applyChanges(std::span<const CellChange> changes) {
        std::vector<Error> problems;
        for (const CellChange& change : changes) {
            const Status done =
                change.kind == CellChange::Kind::Text
                    ? writeCell(change.sheet, change.row, change.column, change.text)
                    : colourCell(change.sheet, change.row, change.column, change.colour);
            if (!done) {
                problems.push_back(done.error());
            }
        }
        return problems;
    }

    // Calls `changed`, from any thread, when someone other than this workbook (a person typing
    // in the application) changes cells of a sheet within rows 1..lastRow, columns
    // 1..lastColumn. An engine that nobody else can change never calls it.
    virtual void watchOutsideChanges(int lastRow, int lastColumn,
                                     std::function<void(SheetId)> changed) {
        (void)lastRow;
        (void)lastColumn;
        (void)changed;
    }

    // What happened since the last call, for an engine that works on a thread of its own;
    // nothing for one that does its work in each call.
    virtual WorkbookNews news() { return {}; }

    // Waits until the changes taken on are in the application, at most `limit`; whether they
    // are. Only where nobody waits on it (the end of a replay, tests): the window never calls
    // it. An engine that does its work in each call has nothing to wait for.
    virtual bool settle(std::chrono::milliseconds limit) {
        (void)limit;
        return true;
    }

    // True when something was written since the last save.
    virtual bool hasUnsavedChanges() const = 0;

    // Puts the workbook on disk. Engines whose application saves for itself may do nothing.
    virtual Result<SaveReport> save() = 0;

    // Puts the workbook into `file` instead (another place, when its own cannot be written);
    // later saves go there too.
    virtual Result<SaveReport> saveAs(const std::filesystem::path& file) {
        return MakeError(Errc::Failed, "Opslaan als " + file.string() +
                                           " kan hier niet: sla het werkboek op in het rekenblad.");
    }

    // Writes the workbook as it is now into `file`, and goes on where it is (a copy for the
    // race journal). An engine that holds the workbook in memory as the file is copies the
    // file; one whose application may hold more than the file stores what it holds.
    virtual Status writeCopy(const std::filesystem::path& file) {
        std::error_code error;
        if (!std::filesystem::copy_file(path(), file,
                                        std::filesystem::copy_options::overwrite_existing, error)) {
            return MakeError(Errc::Io, "het werkboek kon niet worden gekopieerd naar " +
                                           file.string() + " (" + SystemErrorText(error) + ")");
        }
        return {};
    }

    // Saves pending changes and lets go of the workbook; further operations fail with
    // Errc::Closed.
    virtual Status close() = 0;
};

// The spreadsheet application ("Start" gives one; "Show" shows its window; "Open" opens a
// workbook in it).
class SpreadsheetApp {
public:
    virtual ~SpreadsheetApp() = default;
    virtual Status show() = 0;
    virtual Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& file) = 0;
};

}  // namespace tivaro::workbook
