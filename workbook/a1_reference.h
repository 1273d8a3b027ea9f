#pragma once
// The one reader of A1 references, for cell addresses in sheet XML and for the references in
// formulas: a cell ("B3", "$B$3"), a block ("B3:C5"), whole columns ("A:C", "$A:$A") or whole
// rows ("3:5"), each part with or without "$". Column letters are of either case, at most
// three of them (XFD); a row has no leading zero (LibreOffice and Excel never write one) and
// lies in 1..1048576. A reference cannot run on into a name, a function or a sheet name: when
// a name character, "(", "!", "$" or "[" follows, there is no reference.

#include <cstddef>
#include <optional>
#include <string_view>

#include "workbook/cell_address.h"

namespace tivaro::workbook {

struct A1Part {
    int value = 0;
    bool absolute = false;  // written with "$"
};

struct A1Reference {
    enum class Shape { Cell, Block, Columns, Rows };
    Shape shape = Shape::Cell;
    // Cell: column1 and row1. Block: all four. Columns: column1 and column2. Rows: row1 and
    // row2. The parts are as written; block() puts them in order.
    A1Part column1;
    A1Part row1;
    A1Part column2;
    A1Part row2;
    std::size_t end = 0;  // just past the reference

    // The cells it covers: whole columns run over every row, whole rows over every column.
    CellBlock block() const;
};

// Characters of a name (a sheet, a function, a defined name) in a formula; next to a
// reference they make it part of a longer name ("A1B", "LOG10").
bool IsNameChar(char ch);

// The reference that starts at `text[pos]`, if one does. A cell followed by ":" and no second
// cell is the cell alone: the ":" is a range operator for the caller to read.
std::optional<A1Reference> A1ReferenceAt(std::string_view text, std::size_t pos);

}  // namespace tivaro::workbook
