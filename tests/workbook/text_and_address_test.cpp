// The small pure pieces of the engine: number texts, cell addresses, case folding, moving a
// formula, colour numbers.

#include <gtest/gtest.h>

#include <cmath>

#include "workbook/cell_address.h"
#include "workbook/formula_refs.h"
#include "workbook/formula_shift.h"
#include "workbook/match_index.h"
#include "workbook/number_text.h"
#include "workbook/shared_strings.h"
#include "workbook/styles.h"

namespace tivaro::workbook {
namespace {

TEST(NumberText, PlainShortestFormAsInGeneralFormat) {
    EXPECT_EQ(NumberText(12), "12");
    EXPECT_EQ(NumberText(1.5), "1.5");
    EXPECT_EQ(NumberText(7404583), "7404583");
    EXPECT_EQ(NumberText(-2.25), "-2.25");
    EXPECT_EQ(NumberText(-0.0), "0");
    EXPECT_EQ(NumberText(0.1 + 0.2), "0.3");
    EXPECT_EQ(NumberText(1.0 / 3.0), "0.333333333333333");
    EXPECT_EQ(NumberText(123456789012345.0), "123456789012345");
    EXPECT_EQ(NumberText(0.00001), "1E-05");
    EXPECT_EQ(NumberText(0.0001), "0.0001");
    EXPECT_EQ(NumberText(1e20), "1E+20");
    EXPECT_EQ(NumberText(std::nan("")), "#NUM!");
}

TEST(NumberText, FromTheStoredText) {
    EXPECT_EQ(NumberTextFromStored("12"), "12");
    EXPECT_EQ(NumberTextFromStored("12.0"), "12");
    EXPECT_EQ(NumberTextFromStored("1.5E-3"), "0.0015");
    EXPECT_EQ(NumberTextFromStored("007"), "7");
    EXPECT_EQ(NumberTextFromStored("-0"), "0");
    EXPECT_EQ(NumberTextFromStored("1234567890123456789"), "1.23456789012346E+18");
    EXPECT_EQ(NumberTextFromStored("12abc"), std::nullopt);
    EXPECT_EQ(NumberTextFromStored(""), std::nullopt);
}

TEST(CellAddress, NamesAndBlocks) {
    EXPECT_EQ(ColumnName(1), "A");
    EXPECT_EQ(ColumnName(26), "Z");
    EXPECT_EQ(ColumnName(27), "AA");
    EXPECT_EQ(ColumnName(16384), "XFD");
    EXPECT_EQ(ColumnName(16385), "");
    EXPECT_EQ(CellName(200, 20), "T200");
    EXPECT_EQ(ParseColumn("xfd"), 16384);
    EXPECT_EQ(ParseColumn("XFE"), std::nullopt);

    EXPECT_EQ(ParseCellRef("B3"), (CellRef{3, 2}));
    EXPECT_EQ(ParseCellRef("$t$200"), (CellRef{200, 20}));
    EXPECT_EQ(ParseCellRef("A1048576"), (CellRef{1048576, 1}));
    for (const char* bad : {"", "B", "3", "B0", "B03", "A1048577", "B3 ", "B-3", "$$B3"}) {
        EXPECT_EQ(ParseCellRef(bad), std::nullopt) << bad;
    }
    const auto block = ParseBlock("F200:F3");
    ASSERT_TRUE(block);
    EXPECT_EQ(block->first, (CellRef{3, 6}));
    EXPECT_EQ(block->last, (CellRef{200, 6}));
    EXPECT_EQ(block->cellCount(), 198);
    EXPECT_EQ(ParseBlock("B3")->cellCount(), 1);
    EXPECT_FALSE(ParseBlock("B3:"));
    EXPECT_FALSE(ParseBlock("B3:B4:B5"));
}

TEST(FoldCase, AsciiAndLatinLettersOnlyAndUtf8Intact) {
    std::string folded;
    FoldCase("KX-04126", folded);
    EXPECT_EQ(folded, "kx-04126");
    FoldCase("ÉMILE ÖZİL ×", folded);  // İ (U+0130) is not folded; × stays
    EXPECT_EQ(folded, "émile özİl ×");
    FoldCase("\xC3", folded);  // a cut-off sequence stays as it is
    EXPECT_EQ(folded, "\xC3");
}

TEST(MatchIndex, TopmostRowInsideTheBlock) {
    MatchIndex index;
    index.add("7404583", 8);
    index.add("7404583", 3);
    index.add("KX-1", 5);
    EXPECT_EQ(index.find("7404583", 3, 200), 3);
    EXPECT_EQ(index.find("7404583", 4, 200), 8);
    EXPECT_EQ(index.find("7404583", 4, 7), std::nullopt);
    EXPECT_EQ(index.find("kx-1", 1, 5), 5);
    index.remove("Kx-1", 5);
    EXPECT_EQ(index.find("KX-1", 1, 200), std::nullopt);
    index.remove("never there", 9);
    EXPECT_EQ(index.find("", 1, 200), std::nullopt);
}

TEST(ShiftFormula, RelativePartsFollowAbsolutePartsStay) {
    EXPECT_EQ(ShiftFormula("A3*2", 1, 0), "A4*2");
    EXPECT_EQ(ShiftFormula("SUM($A$3:A3)+B$1+$C2", 2, 1), "SUM($A$3:B5)+C$1+$C4");
    EXPECT_EQ(ShiftFormula("'My Sheet'!A1+other!B2", 1, 1), "'My Sheet'!B2+other!C3");
    EXPECT_EQ(ShiftFormula("\"A1\"&A1", 1, 0), "\"A1\"&A2");
    EXPECT_EQ(ShiftFormula("\"say \"\"B2\"\"\"&B2", 0, 1), "\"say \"\"B2\"\"\"&C2");
    EXPECT_EQ(ShiftFormula("LOG10(A1)+ATAN2(B1,1)", 1, 0), "LOG10(A2)+ATAN2(B2,1)");
    EXPECT_EQ(ShiftFormula("SUM(A:A)+SUM(3:4)", 1, 1), "SUM(B:B)+SUM(4:5)");
    EXPECT_EQ(ShiftFormula("Table1[[#This Row],[A1]]+1.5E3+TRUE", 1, 0),
              "Table1[[#This Row],[A1]]+1.5E3+TRUE");
    EXPECT_EQ(ShiftFormula("A1", -1, 0), "#REF!");
}

TEST(A1References, AddressesFormulasAndMovesReadThemAlike) {
    // As LibreOffice and Excel write them: each is a reference to all three readers, or to none.
    const struct {
        const char* text;
        bool reference;
        const char* movedByOne;  // one row down, one column right
    } cases[] = {
        {"B3", true, "C4"},
        {"$B$3", true, "$B$3"},
        {"b3", true, "C4"},
        {"XFC1048575", true, "XFD1048576"},
        {"A1:C3", true, "B2:D4"},
        {"$A1:C$3", true, "$A2:D$3"},
        {"B03", false, "B03"},
        {"XFE1", false, "XFE1"},
        {"A1048577", false, "A1048577"},
        {"A0", false, "A0"},
        {"ABCD1", false, "ABCD1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ParseBlock(c.text).has_value(), c.reference);
        const FormulaRefs scanned = ScanFormulaRefs(c.text);
        if (c.reference) {
            ASSERT_EQ(scanned.refs.size(), 1u);
            EXPECT_EQ(scanned.refs[0].block.first, ParseBlock(c.text)->first);
            EXPECT_EQ(scanned.refs[0].block.last, ParseBlock(c.text)->last);
        } else {
            EXPECT_TRUE(scanned.refs.empty());
            EXPECT_TRUE(scanned.unresolved) << "a name: it may read anything";
        }
        EXPECT_EQ(ShiftFormula(c.text, 1, 1), c.movedByOne);
    }
    // Where a reference stops: not before a function's "(", a sheet's "!" or a table's "[".
    for (const char* formula : {"LOG10(2)", "A1!B2", "A1[x]", "A1B"}) {
        SCOPED_TRACE(formula);
        EXPECT_FALSE(ParseBlock(formula));
        const std::string cell(formula, std::string_view(formula).find_first_of("(![B", 1));
        for (const FormulaRef& ref : ScanFormulaRefs(formula).refs) {
            EXPECT_FALSE(ref.sheet.empty() && ref.block.first == *ParseCellRef(cell));
        }
        EXPECT_EQ(ShiftFormula(formula, 1, 1).substr(0, cell.size()), cell);
    }
    // Sheets named as LibreOffice writes them, quotes doubled, and whole columns and rows.
    const FormulaRefs named = ScanFormulaRefs("'Uitslag 2'!$A:$A+'It''s'!B2:C3+loop!3:4");
    ASSERT_EQ(named.refs.size(), 3u);
    EXPECT_EQ(named.refs[0].sheet, "Uitslag 2");
    EXPECT_EQ(named.refs[0].block.last, (CellRef{kMaxRow, 1}));
    EXPECT_EQ(named.refs[1].sheet, "It's");
    EXPECT_EQ(named.refs[2].block.first, (CellRef{3, 1}));
    EXPECT_EQ(ShiftFormula("'It''s'!B2:C3+$A:$A+3:4", 1, 1), "'It''s'!C3:D4+$A:$A+4:5");
}

TEST(EscapedText, ControlCharactersAndLiteralEscapes) {
    EXPECT_EQ(DecodeEscapedText("a_x000D_b_x005F_x0041_"), "a\rb_x0041_");
    EXPECT_EQ(DecodeEscapedText("_x00e9_"), "é");
    EXPECT_EQ(EncodeEscapedText("a\x01\tb"), "a_x0001_\tb");
    EXPECT_EQ(EncodeEscapedText("a\r\nb"), "a_x000D_\nb");
    for (const std::string text : {"_x0041_", "x\x1F_y", "plain", "_x12"}) {
        EXPECT_EQ(DecodeEscapedText(EncodeEscapedText(text)), text) << text;
    }
}

TEST(ArgbText, ColourNumberToOpaqueArgb) {
    EXPECT_EQ(ArgbText(65535), "FFFFFF00");     // yellow: R 255, G 255, B 0
    EXPECT_EQ(ArgbText(33023), "FFFF8000");     // orange
    EXPECT_EQ(ArgbText(16777088), "FF80FFFF");  // light cyan
    EXPECT_EQ(ArgbText(0), "FF000000");
}

}  // namespace
}  // namespace tivaro::workbook
