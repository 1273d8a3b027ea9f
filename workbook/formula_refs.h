#pragma once
// The cells a formula reads, as far as its text tells: every reference ("B3", "$B$3:C5",
// "A:A", "3:5", "Deelnemers!B5", "'Mijn blad'!A1") with the sheet it names. Text in quotes,
// numbers, error values ("#REF!"), TRUE and FALSE, and function names are not references.
//
// Some formulas read cells their text does not name: through a function that builds a
// reference or is recalculated whatever changed (INDIRECT, OFFSET, NOW, ...), a defined
// name, a table or another workbook ("Table1[Col]", "[1]Sheet!A1"), a range of sheets
// ("Sheet1:Sheet3!A1"), a range operator between other things than two cells
// ("A1:INDEX(...)"), or text the scanner cannot follow. Such a formula is reported as
// unresolved, and has to be taken as reading any cell.

#include <string>
#include <string_view>
#include <vector>

#include "workbook/cell_address.h"

namespace tivaro::workbook {

struct FormulaRef {
    std::string sheet;  // as the formula names it, quotes undone; "" for the formula's own sheet
    CellBlock block;    // whole columns run over every row, whole rows over every column
    bool operator==(const FormulaRef& other) const {
        return sheet == other.sheet && block.first == other.block.first &&
               block.last == other.block.last;
    }
};

struct FormulaRefs {
    std::vector<FormulaRef> refs;  // each once, in the order they first occur; none when
                                   // unresolved
    bool unresolved = false;       // the formula may read cells that no reference names
};

// The references of `formula`, written as in a cell's <f> element (without "=").
FormulaRefs ScanFormulaRefs(std::string_view formula);

}  // namespace tivaro::workbook
