#pragma once
// Which formulas of a workbook can give another result once some cells are written: those
// that read a written cell, and those that read the result of such a formula, on any sheet
// and however far down the chain. A formula that may read cells it does not name (see
// formula_refs.h) counts as reading every cell.
//
// The blocks the formulas read are indexed, so that a write finds the formulas it affects
// without going through all of them, and a block is dropped from the index once its formula
// is stale: the work of a whole closure is about linear in the formulas and references, also
// for long chains of formulas that each read a wide or a tall range. Once stale a formula
// stays stale: the set only grows, and each call reports only the formulas that joined it.

#include <algorithm>
#include <climits>
#include <cstddef>
#include <map>
#include <vector>

#include "workbook/cell_address.h"

namespace tivaro::workbook {

// A block of cells on one sheet, the sheet given by its position in the workbook.
struct SheetBlock {
    int sheet = 0;
    CellBlock block;
};

struct FormulaNode {
    SheetBlock result;              // its cell, or the range an array formula fills
    std::vector<SheetBlock> reads;  // the cells it reads
    bool readsAnyCell = false;      // it may read cells `reads` does not name
};

// Intervals [lo, hi] with a payload, built once; a query reports every interval still in the
// index that overlaps the asked one, and drops those the caller says to. A query costs
// O(log n) and O(log n) more for each interval it reports.
class IntervalIndex {
public:
    void add(int lo, int hi, std::size_t payload) { items_.push_back({lo, hi, payload}); }
    void build();
    bool empty() const { return items_.empty(); }

    // Calls `report(payload)` for each interval overlapping [lo, hi]; one for which it gives
    // true leaves the index.
    template <class Report>
    void query(int lo, int hi, Report&& report);

private:
    struct Item {
        int lo;
        int hi;
        std::size_t payload;
    };
    template <class Report>
    void descend(std::size_t node, std::size_t begin, std::size_t end, std::size_t limit, int lo,
                 Report& report);

    std::vector<Item> items_;  // by lo once built
    std::vector<int> maxHi_;   // a segment tree over items_: the largest hi still in each range
};

class FormulaGraph {
public:
    explicit FormulaGraph(std::vector<FormulaNode> formulas);

    // Takes the cells as written; the formulas that became stale by it, by position in the
    // list given to the constructor.
    std::vector<std::size_t> markWritten(const std::vector<SheetBlock>& written);

    const FormulaNode& formula(std::size_t index) const { return formulas_[index]; }
    std::size_t size() const { return formulas_.size(); }
    bool stale(std::size_t index) const { return stale_[index]; }

private:
    // One block a formula reads.
    struct Reader {
        CellBlock block;
        std::size_t formula;
    };
    // The blocks read on one sheet. A block up to kNarrow columns wide is listed under each
    // of its columns, by its rows; a wider block up to kNarrow rows high under each of its
    // rows, by its columns; a block wide and high at once by its rows alone.
    struct SheetReaders {
        std::vector<Reader> readers;
        std::map<int, IntervalIndex> byColumn;
        std::map<int, IntervalIndex> byRow;
        IntervalIndex large;
    };

    void markStale(std::size_t formula, std::vector<std::size_t>& became,
                   std::vector<SheetBlock>& pending);
    void visitReaders(const SheetBlock& cells, std::vector<std::size_t>& became,
                      std::vector<SheetBlock>& pending);

    std::vector<FormulaNode> formulas_;
    std::vector<bool> stale_;
    std::vector<SheetReaders> readers_;  // by sheet
    std::vector<std::size_t> readingAnyCell_;
    bool anythingWritten_ = false;
};

template <class Report>
void IntervalIndex::query(int lo, int hi, Report&& report) {
    // Only the intervals that begin at or before `hi` can overlap; among them the tree finds
    // those that end at or after `lo`.
    const std::size_t limit = static_cast<std::size_t>(
        std::upper_bound(items_.begin(), items_.end(), hi,
                         [](int value, const Item& item) { return value < item.lo; }) -
        items_.begin());
    if (limit > 0) {
        descend(1, 0, items_.size(), limit, lo, report);
    }
}

template <class Report>
void IntervalIndex::descend(std::size_t node, std::size_t begin, std::size_t end, std::size_t limit,
                            int lo, Report& report) {
    if (begin >= limit || maxHi_[node] < lo) {
        return;
    }
    if (end - begin == 1) {
        if (report(items_[begin].payload)) {
            maxHi_[node] = INT_MIN;
        }
        return;
    }
    const std::size_t middle = begin + (end - begin) / 2;
    descend(2 * node, begin, middle, limit, lo, report);
    descend(2 * node + 1, middle, end, limit, lo, report);
    maxHi_[node] = std::max(maxHi_[2 * node], maxHi_[2 * node + 1]);
}

}  // namespace tivaro::workbook
