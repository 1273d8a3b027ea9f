#include "workbook/formula_shift.h"

#include <cctype>
#include <optional>

#include "workbook/cell_address.h"

namespace tivaro::workbook {

namespace {

bool IsLetter(char ch) {
    return std::isalpha(static_cast<unsigned char>(ch)) != 0;
}
bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}
// Characters that continue a name, so that a reference cannot start or end next to them.
bool IsNameChar(char ch) {
    return IsLetter(ch) || IsDigit(ch) || ch == '_' || ch == '.' || ch == '\\' ||
           static_cast<unsigned char>(ch) >= 0x80;
}

struct Part {
    bool absolute = false;
    int value = 0;
    std::size_t end = 0;
};

std::optional<Part> ColumnPart(std::string_view text, std::size_t pos) {
    Part part;
    if (pos < text.size() && text[pos] == '$') {
        part.absolute = true;
        ++pos;
    }
    const std::size_t begin = pos;
    while (pos < text.size() && IsLetter(text[pos]) && pos - begin < 4) {
        ++pos;
    }
    const auto column = ParseColumn(text.substr(begin, pos - begin));
    if (!column) {
        return std::nullopt;
    }
    part.value = *column;
    part.end = pos;
    return part;
}

std::optional<Part> RowPart(std::string_view text, std::size_t pos) {
    Part part;
    if (pos < text.size() && text[pos] == '$') {
        part.absolute = true;
        ++pos;
    }
    const std::size_t begin = pos;
    long long row = 0;
    while (pos < text.size() && IsDigit(text[pos]) && pos - begin < 8) {
        row = row * 10 + (text[pos] - '0');
        ++pos;
    }
    if (pos == begin || row < 1 || row > kMaxRow) {
        return std::nullopt;
    }
    part.value = static_cast<int>(row);
    part.end = pos;
    return part;
}

std::string ColumnText(const Part& part, int shift, bool& offSheet) {
    const int column = part.absolute ? part.value : part.value + shift;
    if (column < 1 || column > kMaxColumn) {
        offSheet = true;
        return {};
    }
    return (part.absolute ? "$" : "") + ColumnName(column);
}

std::string RowText(const Part& part, int shift, bool& offSheet) {
    const int row = part.absolute ? part.value : part.value + shift;
    if (row < 1 || row > kMaxRow) {
        offSheet = true;
        return {};
    }
    return (part.absolute ? "$" : "") + std::to_string(row);
}

// A reference starting at `pos`: a cell ("B3"), a column range ("A:C") or a row range
// ("3:5"). Returns the moved text and advances `pos`; nullopt when none starts there.
std::optional<std::string> MoveReference(std::string_view text, std::size_t& pos, int rows,
                                         int columns) {
    bool offSheet = false;
    std::string moved;
    std::size_t end = 0;
    if (const auto column = ColumnPart(text, pos)) {
        if (const auto row = RowPart(text, column->end)) {
            moved = ColumnText(*column, columns, offSheet) + RowText(*row, rows, offSheet);
            end = row->end;
        } else if (column->end < text.size() && text[column->end] == ':') {
            const auto second = ColumnPart(text, column->end + 1);
            if (!second || (second->end < text.size() && IsDigit(text[second->end]))) {
                return std::nullopt;
            }
            moved = ColumnText(*column, columns, offSheet) + ":" +
                    ColumnText(*second, columns, offSheet);
            end = second->end;
        } else {
            return std::nullopt;
        }
    } else if (const auto row = RowPart(text, pos);
               row && row->end < text.size() && text[row->end] == ':') {
        const auto second = RowPart(text, row->end + 1);
        if (!second) {
            return std::nullopt;
        }
        moved = RowText(*row, rows, offSheet) + ":" + RowText(*second, rows, offSheet);
        end = second->end;
    } else {
        return std::nullopt;
    }
    // A function name such as LOG10( or a longer name such as ABC1X is not a reference.
    if (end < text.size() && (IsNameChar(text[end]) || text[end] == '(')) {
        return std::nullopt;
    }
    pos = end;
    return offSheet ? std::string("#REF!") : moved;
}

}  // namespace

std::string ShiftFormula(std::string_view formula, int rows, int columns) {
    std::string out;
    out.reserve(formula.size() + 8);
    std::size_t pos = 0;
    while (pos < formula.size()) {
        const char ch = formula[pos];
        if (ch == '"' || ch == '\'') {
            // A string literal or a quoted sheet name; a doubled quote stays inside it.
            out += formula[pos++];
            while (pos < formula.size()) {
                if (formula[pos] == ch) {
                    if (pos + 1 < formula.size() && formula[pos + 1] == ch) {
                        out += formula.substr(pos, 2);
                        pos += 2;
                        continue;
                    }
                    out += formula[pos++];
                    break;
                }
                out += formula[pos++];
            }
            continue;
        }
        if (ch == '[') {
            // A structured reference, possibly nested ("Table1[[#This Row],[Col]]").
            int depth = 0;
            while (pos < formula.size()) {
                const char inside = formula[pos++];
                out += inside;
                if (inside == '[') {
                    ++depth;
                } else if (inside == ']' && --depth == 0) {
                    break;
                }
            }
            continue;
        }
        const bool atNameStart = pos == 0 || !IsNameChar(formula[pos - 1]);
        if (atNameStart && (ch == '$' || IsLetter(ch) || IsDigit(ch))) {
            std::size_t next = pos;
            if (auto moved = MoveReference(formula, next, rows, columns)) {
                out += *moved;
                pos = next;
                continue;
            }
            // Not a reference: copy the whole name or number so that its tail is not
            // mistaken for one ("SUM1A", "1E3").
            while (pos < formula.size() && (IsNameChar(formula[pos]) || formula[pos] == '$')) {
                out += formula[pos++];
            }
            continue;
        }
        out += formula[pos++];
    }
    return out;
}

}  // namespace tivaro::workbook
