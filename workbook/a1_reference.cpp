#include "workbook/a1_reference.h"

#include <algorithm>
#include <array>

namespace tivaro::workbook {

namespace {

constexpr bool IsLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

constexpr bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

constexpr std::array<bool, 256> kNameChars = [] {
    std::array<bool, 256> table{};
    for (int ch = 0; ch < 256; ++ch) {
        const char c = static_cast<char>(ch);
        table[ch] = IsLetter(c) || IsDigit(c) || c == '_' || c == '.' || c == '\\' || c == '?' ||
                    ch >= 0x80;
    }
    return table;
}();

struct Read {
    A1Part part;
    std::size_t end = 0;
};

std::optional<Read> ColumnAt(std::string_view text, std::size_t pos) {
    Read read;
    if (pos < text.size() && text[pos] == '$') {
        read.part.absolute = true;
        ++pos;
    }
    const std::size_t begin = pos;
    int column = 0;
    for (; pos < text.size() && IsLetter(text[pos]); ++pos) {
        if (pos - begin == 3) {
            return std::nullopt;  // four letters: a name
        }
        const char upper = text[pos] >= 'a' ? static_cast<char>(text[pos] - 'a' + 'A') : text[pos];
        column = column * 26 + (upper - 'A' + 1);
    }
    if (pos == begin || column > kMaxColumn) {
        return std::nullopt;
    }
    read.part.value = column;
    read.end = pos;
    return read;
}

std::optional<Read> RowAt(std::string_view text, std::size_t pos) {
    Read read;
    if (pos < text.size() && text[pos] == '$') {
        read.part.absolute = true;
        ++pos;
    }
    const std::size_t begin = pos;
    long long row = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - begin < 8) {
        row = row * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == begin || text[begin] == '0' || row > kMaxRow) {
        return std::nullopt;
    }
    read.part.value = static_cast<int>(row);
    read.end = pos;
    return read;
}

}  // namespace

bool IsNameChar(char ch) {
    return kNameChars[static_cast<unsigned char>(ch)];
}

CellBlock A1Reference::block() const {
    CellRef first;
    CellRef last;
    switch (shape) {
        case Shape::Cell:
            first = last = CellRef{row1.value, column1.value};
            break;
        case Shape::Block:
            first = CellRef{row1.value, column1.value};
            last = CellRef{row2.value, column2.value};
            break;
        case Shape::Columns:
            first = CellRef{1, column1.value};
            last = CellRef{kMaxRow, column2.value};
            break;
        case Shape::Rows:
            first = CellRef{row1.value, 1};
            last = CellRef{row2.value, kMaxColumn};
            break;
    }
    return CellBlock{CellRef{std::min(first.row, last.row), std::min(first.column, last.column)},
                     CellRef{std::max(first.row, last.row), std::max(first.column, last.column)}};
}

std::optional<A1Reference> A1ReferenceAt(std::string_view text, std::size_t pos) {
    A1Reference ref;
    if (const auto column = ColumnAt(text, pos)) {
        if (const auto row = RowAt(text, column->end)) {
            ref.shape = A1Reference::Shape::Cell;
            ref.column1 = column->part;
            ref.row1 = row->part;
            ref.end = row->end;
            if (ref.end < text.size() && text[ref.end] == ':') {
                const auto column2 = ColumnAt(text, ref.end + 1);
                const auto row2 = column2 ? RowAt(text, column2->end) : std::nullopt;
                if (row2) {
                    ref.shape = A1Reference::Shape::Block;
                    ref.column2 = column2->part;
                    ref.row2 = row2->part;
                    ref.end = row2->end;
                }
            }
        } else if (column->end < text.size() && text[column->end] == ':') {
            const auto column2 = ColumnAt(text, column->end + 1);
            if (!column2) {
                return std::nullopt;
            }
            ref.shape = A1Reference::Shape::Columns;
            ref.column1 = column->part;
            ref.column2 = column2->part;
            ref.end = column2->end;
        } else {
            return std::nullopt;
        }
    } else if (const auto row = RowAt(text, pos);
               row && row->end < text.size() && text[row->end] == ':') {
        const auto row2 = RowAt(text, row->end + 1);
        if (!row2) {
            return std::nullopt;
        }
        ref.shape = A1Reference::Shape::Rows;
        ref.row1 = row->part;
        ref.row2 = row2->part;
        ref.end = row2->end;
    } else {
        return std::nullopt;
    }
    // "LOG10(", "A1B", "A1!", "A1$" and "Table1[" are a function, a name, a sheet or nothing
    // valid.
    const std::size_t end = ref.end;
    if (end < text.size() && (IsNameChar(text[end]) || text[end] == '(' || text[end] == '!' ||
                              text[end] == '$' || text[end] == '[')) {
        return std::nullopt;
    }
    return ref;
}

}  // namespace tivaro::workbook
