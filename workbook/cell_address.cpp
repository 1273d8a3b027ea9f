#include "workbook/cell_address.h"

#include <algorithm>

#include "workbook/a1_reference.h"

namespace tivaro::workbook {

std::string ColumnName(int column) {
    if (column < 1 || column > kMaxColumn) {
        return {};
    }
    std::string name;
    while (column > 0) {
        const int digit = (column - 1) % 26;
        name.insert(name.begin(), static_cast<char>('A' + digit));
        column = (column - 1) / 26;
    }
    return name;
}

std::string CellName(int row, int column) {
    return ColumnName(column) + std::to_string(row);
}

std::optional<int> ParseColumn(std::string_view letters) {
    if (letters.empty() || letters.size() > 3) {
        return std::nullopt;
    }
    int column = 0;
    for (char ch : letters) {
        if (ch >= 'a' && ch <= 'z') {
            ch = static_cast<char>(ch - 'a' + 'A');
        }
        if (ch < 'A' || ch > 'Z') {
            return std::nullopt;
        }
        column = column * 26 + (ch - 'A' + 1);
    }
    if (column > kMaxColumn) {
        return std::nullopt;
    }
    return column;
}

std::optional<CellRef> ParseCellRef(std::string_view text) {
    const std::optional<A1Reference> ref = A1ReferenceAt(text, 0);
    if (!ref || ref->shape != A1Reference::Shape::Cell || ref->end != text.size()) {
        return std::nullopt;
    }
    return CellRef{ref->row1.value, ref->column1.value};
}

std::optional<CellBlock> ParseBlock(std::string_view text) {
    const std::optional<A1Reference> ref = A1ReferenceAt(text, 0);
    if (!ref || ref->end != text.size() ||
        (ref->shape != A1Reference::Shape::Cell && ref->shape != A1Reference::Shape::Block)) {
        return std::nullopt;
    }
    return ref->block();
}

}  // namespace tivaro::workbook
