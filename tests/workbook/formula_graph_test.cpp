// The dependency closure: which formulas a write makes stale, across sheets and down chains,
// and that each save only hears of the formulas that newly became stale.

#include <gtest/gtest.h>

#include <algorithm>

#include "workbook/formula_graph.h"

namespace tivaro::workbook {
namespace {

SheetBlock At(int sheet, std::string_view block) {
    const auto parsed = ParseBlock(block);
    EXPECT_TRUE(parsed.has_value()) << block;
    return SheetBlock{sheet, parsed.value_or(CellBlock{})};
}

SheetBlock WholeColumn(int sheet, int column) {
    return SheetBlock{sheet, CellBlock{{1, column}, {kMaxRow, column}}};
}

FormulaNode Reads(SheetBlock result, std::vector<SheetBlock> reads) {
    return FormulaNode{result, std::move(reads), false};
}

std::vector<std::size_t> Sorted(std::vector<std::size_t> indexes) {
    std::sort(indexes.begin(), indexes.end());
    return indexes;
}

using Indexes = std::vector<std::size_t>;

// Sheet 0 is a race sheet, 1 a results sheet, 2 the competitors.
FormulaGraph RaceGraph() {
    const SheetBlock wholeRow4{0, CellBlock{{4, 1}, {4, kMaxColumn}}};
    return FormulaGraph({
        Reads(At(0, "U3"), {At(0, "F3"), At(0, "G3")}),            // 0: a lap time
        Reads(At(1, "A1"), {At(0, "U3")}),                         // 1: reads the lap time
        Reads(At(1, "B1"), {At(1, "A1")}),                         // 2: and on down the chain
        Reads(At(0, "A3"), {At(2, "A2")}),                         // 3: a bib from the competitors
        Reads(At(1, "C1"), {At(2, "F3")}),                         // 4: another sheet's F3
        Reads(At(1, "D1"), {At(0, "A3:A22"), WholeColumn(2, 2)}),  // 5: reads only bibs
        Reads(At(0, "X1:X3"), {At(0, "H3:H5")}),                   // 6: an array formula
        Reads(At(1, "E1"), {At(0, "X2")}),                         // 7: one cell of the array
        Reads(At(1, "F1"), {wholeRow4}),                           // 8: a whole row
        Reads(At(1, "G1"), {At(1, "H1")}),                         // 9: a cycle ...
        Reads(At(1, "H1"), {At(1, "G1"), At(0, "T3")}),            // 10: ... entered from T3
        FormulaNode{At(1, "Z1"), {}, true},                        // 11: reads any cell
    });
}

TEST(FormulaGraph, AWriteMakesStaleWhatReadsItAcrossSheetsAndDownChains) {
    FormulaGraph graph = RaceGraph();
    EXPECT_EQ(Sorted(graph.markWritten({At(0, "F3")})), (Indexes{0, 1, 2, 11}));
    EXPECT_TRUE(graph.stale(2));
    EXPECT_FALSE(graph.stale(3));
    EXPECT_FALSE(graph.stale(4)) << "F3 of another sheet";
    EXPECT_FALSE(graph.stale(5));

    // A block written at once; a cell inside the array formula's range is read.
    EXPECT_EQ(Sorted(graph.markWritten({At(0, "H1:H3")})), (Indexes{6, 7}));
    // Far right on a whole row read; the row below is not read.
    EXPECT_EQ(graph.markWritten({At(0, "AZ5")}), Indexes{});
    EXPECT_EQ(graph.markWritten({At(0, "AZ4")}), Indexes{8});
    // A cycle ends.
    EXPECT_EQ(Sorted(graph.markWritten({At(0, "T3")})), (Indexes{9, 10}));
}

TEST(FormulaGraph, EachFormulaIsReportedOnceAndNothingBeforeAWrite) {
    FormulaGraph graph = RaceGraph();
    EXPECT_EQ(graph.markWritten({}), Indexes{}) << "nothing written: even 11 stays";
    EXPECT_FALSE(graph.stale(11));
    EXPECT_EQ(Sorted(graph.markWritten({At(0, "G3"), At(0, "F3")})), (Indexes{0, 1, 2, 11}));
    EXPECT_EQ(graph.markWritten({At(0, "F3")}), Indexes{});
    // Writing over a formula's cell reaches what reads that cell.
    EXPECT_EQ(graph.markWritten({At(0, "A3")}), Indexes{5});
    for (std::size_t i : {0, 1, 2, 5, 11}) {
        EXPECT_TRUE(graph.stale(i)) << i;
    }
    for (std::size_t i : {3, 4, 6, 7, 8, 9, 10}) {
        EXPECT_FALSE(graph.stale(i)) << i;
    }
}

TEST(FormulaGraph, WideAndNarrowBlocksMeetOnlyWhereTheyOverlap) {
    FormulaGraph graph({
        Reads(At(0, "A1"), {At(0, "B2:AZ3")}),  // wider than a column list
        Reads(At(0, "A2"), {At(0, "C5:D6")}),
        Reads(At(0, "A3"), {WholeColumn(0, 5)}),
    });
    EXPECT_EQ(graph.markWritten({At(0, "BA2:BB9"), At(0, "B4:B9")}), Indexes{});
    EXPECT_EQ(graph.markWritten({At(0, "AZ1:BA2")}), Indexes{0});
    EXPECT_EQ(graph.markWritten({At(0, "A6:C9")}), Indexes{1});
    EXPECT_EQ(graph.markWritten({At(1, "E1")}), Indexes{}) << "another sheet";
    EXPECT_EQ(graph.markWritten({At(0, "E1048576")}), Indexes{2});
}

}  // namespace
}  // namespace tivaro::workbook
