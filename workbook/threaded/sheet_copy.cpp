#include "workbook/threaded/sheet_copy.h"

#include <algorithm>

#include "workbook/match_index.h"

namespace tivaro::workbook {

SheetCopy::SheetCopy(std::string name, int rows, int columns)
    : name_(std::move(name)),
      rows_(rows),
      columns_(columns),
      cells_(static_cast<std::size_t>(rows) * static_cast<std::size_t>(columns)) {}

void SheetCopy::setRows(int firstRow, const std::vector<std::vector<std::string>>& rows) {
    int row = firstRow;
    for (const std::vector<std::string>& cells : rows) {
        if (row > rows_) {
            return;
        }
        if (row >= 1) {
            const int count = std::min(static_cast<int>(cells.size()), columns_);
            for (int column = 1; column <= count; ++column) {
                cells_[at(row, column)] = cells[static_cast<std::size_t>(column - 1)];
            }
        }
        ++row;
    }
}

std::optional<int> SheetCopy::find(const CellBlock& block, std::string_view text) const {
    std::string wanted;
    FoldCase(text, wanted);
    if (wanted.empty()) {
        return std::nullopt;
    }
    std::string folded;
    int position = 1;
    for (int row = block.first.row; row <= block.last.row; ++row) {
        for (int column = block.first.column; column <= block.last.column; ++column) {
            const std::string& shown = cells_[at(row, column)];
            // Folding keeps the length: only cells as long as the text can match.
            if (shown.size() == wanted.size()) {
                FoldCase(shown, folded);
                if (folded == wanted) {
                    return position;
                }
            }
            ++position;
        }
    }
    return std::nullopt;
}

}  // namespace tivaro::workbook
