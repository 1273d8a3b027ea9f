#include "workbook/cell_address.h"

#include <algorithm>

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
    std::size_t pos = 0;
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
    }
    const std::size_t lettersBegin = pos;
    while (pos < text.size() &&
           ((text[pos] >= 'A' && text[pos] <= 'Z') || (text[pos] >= 'a' && text[pos] <= 'z'))) {
        ++pos;
    }
    const auto column = ParseColumn(text.substr(lettersBegin, pos - lettersBegin));
    if (!column) {
        return std::nullopt;
    }
    if (pos < text.size() && text[pos] == '$') {
        ++pos;
    }
    if (pos == text.size() || text[pos] == '0' || text.size() - pos > 7) {
        return std::nullopt;
    }
    int row = 0;
    for (; pos < text.size(); ++pos) {
        if (text[pos] < '0' || text[pos] > '9') {
            return std::nullopt;
        }
        row = row * 10 + (text[pos] - '0');
    }
    if (row > kMaxRow) {
        return std::nullopt;
    }
    return CellRef{row, *column};
}

std::optional<CellBlock> ParseBlock(std::string_view text) {
    const std::size_t colon = text.find(':');
    const auto first = ParseCellRef(text.substr(0, colon));
    if (!first) {
        return std::nullopt;
    }
    if (colon == std::string_view::npos) {
        return CellBlock{*first, *first};
    }
    const auto last = ParseCellRef(text.substr(colon + 1));
    if (!last) {
        return std::nullopt;
    }
    return CellBlock{
        CellRef{std::min(first->row, last->row), std::min(first->column, last->column)},
        CellRef{std::max(first->row, last->row), std::max(first->column, last->column)}};
}

}  // namespace tivaro::workbook
