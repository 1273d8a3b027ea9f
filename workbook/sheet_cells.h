#pragma once
// The cells of one worksheet part, held as its XML tree plus an index of rows and cells, so
// a read, a write or a lookup goes straight to its node instead of walking the tree. Whatever
// the engine does not touch in the part (formulas, merged cells, column widths, conditional
// formats, extensions) stays in the tree as it was read, and is written back as the very
// bytes it was read from: a cell the race did not change, a formula with its cached result,
// stays byte for byte as the program that wrote the file left it.

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <pugixml.hpp>

#include "common/result.h"
#include "workbook/cell_address.h"
#include "workbook/match_index.h"
#include "workbook/shared_strings.h"

namespace tivaro::workbook {

class SheetCells {
public:
    // Parses a worksheet part. `strings` (may be null when the workbook has none) must outlive
    // the result.
    static Result<std::unique_ptr<SheetCells>> Parse(std::string_view partName,
                                                     std::string_view bytes,
                                                     const SharedStrings* strings);
    // It keeps views into the bytes it was read from.
    SheetCells(const SheetCells&) = delete;
    SheetCells& operator=(const SheetCells&) = delete;

    // The text the cell shows in General format; "" for an empty or missing cell.
    std::string text(int row, int column) const;

    // Makes the cell an inline-string cell holding `text` ("" empties it), keeping its style.
    // A formula in the cell goes; when it was the anchor of a formula shared with other
    // cells, the next of those cells takes the formula over.
    void writeText(int row, int column, std::string_view text);

    // The cell format index (cellXfs) the cell has, or would get when created.
    int styleOf(int row, int column) const;
    void setStyle(int row, int column, int style);

    // The topmost row in `block` (one column) whose cell text equals `text` ignoring case;
    // texts and numbers take part, booleans and error values do not.
    std::optional<int> findInColumn(const CellBlock& block, std::string_view text);
    // The leftmost column in `block` (one row) likewise.
    std::optional<int> findInRow(const CellBlock& block, std::string_view text) const;

    // A formula of the sheet, as the cell holds it.
    struct Formula {
        CellRef cell;
        CellBlock result;  // its cell, or the range an array formula or data table fills
        // The formula without "="; a cell that shares the formula of another has that
        // formula moved to its own position.
        std::string text;
        // The text does not tell what the formula reads: a data table, a shared formula whose
        // anchor is gone, or a formula the file marks as recalculated at every change.
        bool readsAnyCell = false;
    };
    // Every formula of the sheet, in reading order.
    std::vector<Formula> formulas() const;

    // Leaves the cached result of the formula in `cell` (every cell of `result` for an array
    // formula) out of what serialize() writes, so that a spreadsheet computes it when it
    // opens the file. The cells keep reading their cached result here. Nothing is left out
    // once a write has removed the formula.
    void leaveOutCachedResult(const CellRef& cell, const CellBlock& result);

    // True when serialize() gives other bytes than the part that was read.
    bool modified() const { return modified_; }
    // True once a write removed a formula (the workbook's calculation chain is then stale).
    bool formulaRemoved() const { return formulaRemoved_; }
    // The part as it is now, its used-range hint brought up to date, without the cached
    // results left out.
    std::string serialize();

private:
    SheetCells() = default;

    // `source` views hold the bytes an element was read from, for as long as it is unchanged;
    // they are empty for an element the engine made or changed, or could not locate.
    struct Cell {
        int column;
        pugi::xml_node node;
        std::string_view source;
    };
    struct Row {
        int row;
        pugi::xml_node node;
        std::vector<Cell> cells;  // sorted by column
        std::string_view startTag;
        bool emptyTag = false;  // the row was read as one tag, "<row r="7"/>"
    };
    // An element under the root other than the cells, which the engine does not change.
    struct KeptElement {
        pugi::xml_node node;
        std::string_view source;
    };
    struct ColumnStyle {
        int first;
        int last;
        int style;
    };
    // A formula whose cached result the part leaves out.
    struct LeftOut {
        CellRef cell;
        CellBlock result;
    };

    Status index(std::string_view partName);
    const Cell* findCell(int row, int column) const;
    Row& ensureRow(int row);
    Cell& ensureCell(int row, int column);
    // The text a lookup compares for this cell: texts and numbers, "" otherwise.
    std::string matchText(pugi::xml_node cell) const;
    void removeFormula(pugi::xml_node cell, int row, int column);
    void updateDimension();
    // Calls `visit` with every cell of the block that is in the tree.
    template <class Visit>
    void forEachCellIn(const CellBlock& block, Visit&& visit);
    // Where the root's start tag and the elements under it stand in source_.
    void locateRootElements();
    // The part written with every unchanged element as it was read.
    std::string writeKeepingSources() const;
    void writeSheetData(std::string& out) const;
    void writeRow(const Row& row, std::string& out) const;

    std::string source_;             // the part as read
    std::string_view rootStartTag_;  // empty when the part has to be written from the tree
    std::string_view sheetDataStartTag_;
    std::vector<KeptElement> keptElements_;
    std::unique_ptr<pugi::xml_document> document_;
    pugi::xml_node sheetData_;
    std::vector<Row> rows_;  // sorted by row
    std::vector<ColumnStyle> columnStyles_;
    std::vector<LeftOut> leftOut_;
    std::unordered_map<int, MatchIndex> columnIndexes_;  // built on the first lookup
    const SharedStrings* strings_ = nullptr;
    bool modified_ = false;
    bool formulaRemoved_ = false;
};

}  // namespace tivaro::workbook
