#include "workbook/formula_shift.h"

#include <optional>

#include "workbook/a1_reference.h"

namespace tivaro::workbook {

namespace {

bool IsDigit(char ch) {
    return ch >= '0' && ch <= '9';
}

bool IsLetter(char ch) {
    return (ch >= 'A' && ch <= 'Z') || (ch >= 'a' && ch <= 'z');
}

std::string ColumnText(const A1Part& part, int shift, bool& offSheet) {
    const int column = part.absolute ? part.value : part.value + shift;
    if (column < 1 || column > kMaxColumn) {
        offSheet = true;
        return {};
    }
    return (part.absolute ? "$" : "") + ColumnName(column);
}

std::string RowText(const A1Part& part, int shift, bool& offSheet) {
    const int row = part.absolute ? part.value : part.value + shift;
    if (row < 1 || row > kMaxRow) {
        offSheet = true;
        return {};
    }
    return (part.absolute ? "$" : "") + std::to_string(row);
}

// A reference starting at `pos`, moved. Returns the moved text and advances `pos`; nullopt
// when none starts there.
std::optional<std::string> MoveReference(std::string_view text, std::size_t& pos, int rows,
                                         int columns) {
    const std::optional<A1Reference> ref = A1ReferenceAt(text, pos);
    if (!ref) {
        return std::nullopt;
    }
    bool offSheet = false;
    std::string moved;
    switch (ref->shape) {
        case A1Reference::Shape::Cell:
            moved =
                ColumnText(ref->column1, columns, offSheet) + RowText(ref->row1, rows, offSheet);
            break;
        case A1Reference::Shape::Block:
            moved = ColumnText(ref->column1, columns, offSheet) +
                    RowText(ref->row1, rows, offSheet) + ":" +
                    ColumnText(ref->column2, columns, offSheet) +
                    RowText(ref->row2, rows, offSheet);
            break;
        case A1Reference::Shape::Columns:
            moved = ColumnText(ref->column1, columns, offSheet) + ":" +
                    ColumnText(ref->column2, columns, offSheet);
            break;
        case A1Reference::Shape::Rows:
            moved = RowText(ref->row1, rows, offSheet) + ":" + RowText(ref->row2, rows, offSheet);
            break;
    }
    pos = ref->end;
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
