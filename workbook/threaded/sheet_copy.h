#pragma once
// The texts of the top-left block of one sheet, kept where the race runs so that reading a
// cell or finding a transponder never waits on the spreadsheet application. Cells are read as
// the application shows them (see Workbook::readCell); find compares as Workbook::find does.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "workbook/cell_address.h"

namespace tivaro::workbook {

class SheetCopy {
public:
    SheetCopy(std::string name, int rows, int columns);

    const std::string& name() const { return name_; }
    int rows() const { return rows_; }
    int columns() const { return columns_; }
    bool holds(int row, int column) const {
        return row >= 1 && row <= rows_ && column >= 1 && column <= columns_;
    }
    bool holds(const CellBlock& block) const {
        return holds(block.first.row, block.first.column) &&
               holds(block.last.row, block.last.column);
    }

    const std::string& cell(int row, int column) const { return cells_[at(row, column)]; }
    void set(int row, int column, std::string text) { cells_[at(row, column)] = std::move(text); }
    // Rows `firstRow`.. as read from the application, each from column 1 on; cells past the
    // copy's edge are left out.
    void setRows(int firstRow, const std::vector<std::vector<std::string>>& rows);

    // The 1-based position of the topmost cell of `block` (one column or one row) equal to
    // `text` without regard to case; nullopt when none is, or `text` is empty.
    std::optional<int> find(const CellBlock& block, std::string_view text) const;

private:
    std::size_t at(int row, int column) const {
        return static_cast<std::size_t>(row - 1) * static_cast<std::size_t>(columns_) +
               static_cast<std::size_t>(column - 1);
    }

    std::string name_;
    int rows_;
    int columns_;
    std::vector<std::string> cells_;
};

}  // namespace tivaro::workbook
