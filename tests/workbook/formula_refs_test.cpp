// The formula reference scanner: what each kind of formula text reads, and which formulas
// have to be taken as reading any cell.

#include <gtest/gtest.h>

#include "workbook/formula_refs.h"

namespace tivaro::workbook {
namespace {

// The references as text, "?" when unresolved: "Sheet!A1:B2", "A:C" for whole columns,
// "3:5" for whole rows.
std::string Verdict(std::string_view formula) {
    const FormulaRefs scanned = ScanFormulaRefs(formula);
    if (scanned.unresolved) {
        return "?";
    }
    std::string out;
    for (const FormulaRef& ref : scanned.refs) {
        if (!out.empty()) {
            out += ' ';
        }
        if (!ref.sheet.empty()) {
            out += ref.sheet + "!";
        }
        const CellBlock& block = ref.block;
        if (block.first.row == 1 && block.last.row == kMaxRow) {
            out += ColumnName(block.first.column) + ":" + ColumnName(block.last.column);
        } else if (block.first.column == 1 && block.last.column == kMaxColumn) {
            out += std::to_string(block.first.row) + ":" + std::to_string(block.last.row);
        } else {
            out += CellName(block.first.row, block.first.column);
            if (!(block.first == block.last)) {
                out += ":" + CellName(block.last.row, block.last.column);
            }
        }
    }
    return out;
}

struct Case {
    const char* formula;
    const char* refs;
};

TEST(FormulaRefs, ReferencesOfEveryForm) {
    const Case cases[] = {
        {"A1", "A1"},
        {"$B$3+B$3+$b3*2", "B3"},  // each once, whatever its "$" and case
        {"SUM(K3:F3)/COUNT(F3:K3)", "F3:K3"},
        {"SUM(A:A)+SUM($C:$D)+SUM(3:5)+SUM($7:$7)", "A:A C:D 3:5 7:7"},
        {"XFD1048576-XFD$1048576", "XFD1048576"},  // the last cell
        {"A1 B1:C2,D4", "A1 B1:C2 D4"},
        {"Deelnemers!B5+deelnemers!$B$5:B6", "Deelnemers!B5 deelnemers!B5:B6"},
        {"'Mijn blad'!A1+'Jan''s tijden'!$B$2:C3+'loop'!K:K",
         "Mijn blad!A1 Jan's tijden!B2:C3 loop!K:K"},
        {"Übersicht!A1+Blad_1.2!B2", "Übersicht!A1 Blad_1.2!B2"},
        {"IFERROR(VALUE(LEFT(G3,FIND(\":\",G3)-1))-F3,\"\")", "G3 F3"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Verdict(c.formula), c.refs) << c.formula;
    }
}

TEST(FormulaRefs, LiteralsAndFunctionNamesAreNotReferences) {
    const Case cases[] = {
        {"\"A1\"&\"Blad!B2\"&\"zeg \"\"C3\"\"\"&D4", "D4"},
        {"IF(#REF!=1,#N/A,#DIV/0!)+ISERROR(#NAME?)+#NULL!", ""},
        {"Blad1!#REF!+#REF!", ""},  // references that were deleted
        {"TRUE+FALSE+true()+FALSE()", ""},
        {"LOG10(A1)+ATAN2(B1,1)+DAYS360(C1,D1)", "A1 B1 C1 D1"},
        {"_xlfn.XLOOKUP(A1,B:B,C:C)+_xlfn._xlws.SORT(D1:D5)", "A1 B:B C:C D1:D5"},
        {"1.5E+3+.5*2E3+1e-2+10", ""},
        {"{1,2;3,\"A1\"}+E1", "E1"},
        {"_xlfn.LET(_xlpm.tijd,A1,_xlpm.tijd*2)", "A1"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Verdict(c.formula), c.refs) << c.formula;
    }
}

TEST(FormulaRefs, WhatTheTextCannotTellIsUnresolved) {
    const char* const formulas[] = {
        "INDIRECT(\"A\"&ROW())",
        "indirect(A1)",
        "SUM(OFFSET(A1,1,0,3))",
        "_xlfn.ANCHORARRAY(A1)",
        "NOW()-A1",
        "_xlfn.RANDARRAY(3)",
        "CELL(\"address\")",
        "SUM(Tijden)",                      // a defined name
        "Blad1!Tijden",                     // a name defined for one sheet
        "Tabel1[Tijd]",                     // a table
        "SUM(Tabel1[[#This Row],[Tijd]])",  // a table, this row
        "[1]Blad1!A1",                      // another workbook
        "'[1]Blad 1'!A1",
        "Blad1:Blad3!A1",  // a range of sheets
        "'Blad 1:Blad 3'!A1",
        "SUM(A1:INDEX(C:C,5))",  // a range operator on a function's result
        "A1:B2:C3",
        "Blad1!A1:Blad1!B2",
        "_xll.EIGEN(A1)",  // an add-in function
        "_xludf.EIGEN(A1)",
        "R1C1",   // not a reference in an A1 workbook: a name
        "ABCD1",  // four letters: a name
        "'Mijn blad",
        "$",
    };
    for (const char* formula : formulas) {
        EXPECT_EQ(Verdict(formula), "?") << formula;
    }
}

}  // namespace
}  // namespace tivaro::workbook
