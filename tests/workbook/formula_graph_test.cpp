// The dependency closure: which formulas a write makes stale, across sheets and down chains,
// and that each save only hears of the formulas that newly became stale.

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

// The closure worked out the slow way: every formula against every block that turned up.
std::vector<bool> NaiveClosure(const std::vector<FormulaNode>& formulas,
                               const std::vector<SheetBlock>& written) {
    const auto overlap = [](const SheetBlock& a, const SheetBlock& b) {
        return a.sheet == b.sheet && a.block.first.row <= b.block.last.row &&
               b.block.first.row <= a.block.last.row &&
               a.block.first.column <= b.block.last.column &&
               b.block.first.column <= a.block.last.column;
    };
    std::vector<bool> stale(formulas.size(), false);
    std::vector<SheetBlock> pending = written;
    for (std::size_t i = 0; i < formulas.size(); ++i) {
        if (formulas[i].readsAnyCell && !written.empty()) {
            stale[i] = true;
            pending.push_back(formulas[i].result);
        }
    }
    while (!pending.empty()) {
        const SheetBlock cells = pending.back();
        pending.pop_back();
        for (std::size_t i = 0; i < formulas.size(); ++i) {
            if (stale[i]) {
                continue;
            }
            for (const SheetBlock& read : formulas[i].reads) {
                if (overlap(read, cells)) {
                    stale[i] = true;
                    pending.push_back(formulas[i].result);
                    break;
                }
            }
        }
    }
    return stale;
}

TEST(FormulaGraph, AgreesWithTheClosureWorkedOutTheSlowWay) {
    // Random formulas reading narrow, wide and large blocks on two sheets, written to in
    // several rounds: the index must find exactly what comparing everything finds.
    std::mt19937 random(7);
    const auto number = [&](int most) { return 1 + static_cast<int>(random() % most); };
    const auto block = [&]() {
        const int row = number(60);
        const int column = number(60);
        int rows = 1;
        int columns = 1;
        switch (random() % 4) {
            case 1:
                rows = number(40);  // tall and narrow
                break;
            case 2:
                columns = 16 + number(30);  // wide and low
                break;
            case 3:
                rows = 16 + number(30);  // large
                columns = 16 + number(30);
                break;
            default:
                break;
        }
        return SheetBlock{static_cast<int>(random() % 2),
                          CellBlock{{row, column}, {row + rows - 1, column + columns - 1}}};
    };
    for (int round = 0; round < 40; ++round) {
        std::vector<FormulaNode> formulas;
        for (int i = 0; i < 150; ++i) {
            FormulaNode node;
            node.result = block();
            for (int k = number(3); k > 0; --k) {
                node.reads.push_back(block());
            }
            node.readsAnyCell = random() % 100 == 0;
            formulas.push_back(std::move(node));
        }
        FormulaGraph graph(formulas);
        std::vector<SheetBlock> allWritten;
        for (int write = 0; write < 4; ++write) {
            const std::vector<SheetBlock> now = {block(), block()};
            graph.markWritten(now);
            allWritten.insert(allWritten.end(), now.begin(), now.end());
            const std::vector<bool> expected = NaiveClosure(formulas, allWritten);
            for (std::size_t i = 0; i < formulas.size(); ++i) {
                ASSERT_EQ(graph.stale(i), expected[i]) << "round " << round << ", formula " << i;
            }
        }
    }
}

}  // namespace
}  // namespace tivaro::workbook
