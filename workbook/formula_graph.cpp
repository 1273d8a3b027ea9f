#include "workbook/formula_graph.h"

namespace tivaro::workbook {

namespace {

// Blocks up to this many columns wide are listed under each of their columns, wider ones up
// to this many rows high under each of their rows.
constexpr int kNarrow = 16;

bool Overlap(const CellBlock& a, const CellBlock& b) {
    return a.first.row <= b.last.row && b.first.row <= a.last.row &&
           a.first.column <= b.last.column && b.first.column <= a.last.column;
}

}  // namespace

void IntervalIndex::build() {
    std::sort(items_.begin(), items_.end(),
              [](const Item& a, const Item& b) { return a.lo < b.lo; });
    maxHi_.assign(4 * std::max<std::size_t>(items_.size(), 1), INT_MIN);
    // Filled bottom-up by the same halving descend() uses.
    struct Fill {
        IntervalIndex& index;
        int operator()(std::size_t node, std::size_t begin, std::size_t end) {
            if (end - begin == 1) {
                return index.maxHi_[node] = index.items_[begin].hi;
            }
            const std::size_t middle = begin + (end - begin) / 2;
            const int left = (*this)(2 * node, begin, middle);
            const int right = (*this)(2 * node + 1, middle, end);
            return index.maxHi_[node] = std::max(left, right);
        }
    };
    if (!items_.empty()) {
        Fill{*this}(1, 0, items_.size());
    }
}

FormulaGraph::FormulaGraph(std::vector<FormulaNode> formulas)
    : formulas_(std::move(formulas)), stale_(formulas_.size(), false) {
    for (std::size_t i = 0; i < formulas_.size(); ++i) {
        const FormulaNode& node = formulas_[i];
        if (node.readsAnyCell) {
            readingAnyCell_.push_back(i);
            continue;
        }
        for (const SheetBlock& read : node.reads) {
            if (read.sheet < 0) {
                continue;
            }
            if (read.sheet >= static_cast<int>(readers_.size())) {
                readers_.resize(read.sheet + 1);
            }
            SheetReaders& sheet = readers_[read.sheet];
            const CellBlock& block = read.block;
            const std::size_t reader = sheet.readers.size();
            sheet.readers.push_back({block, i});
            if (block.last.column - block.first.column < kNarrow) {
                for (int column = block.first.column; column <= block.last.column; ++column) {
                    sheet.byColumn[column].add(block.first.row, block.last.row, reader);
                }
            } else if (block.last.row - block.first.row < kNarrow) {
                for (int row = block.first.row; row <= block.last.row; ++row) {
                    sheet.byRow[row].add(block.first.column, block.last.column, reader);
                }
            } else {
                sheet.large.add(block.first.row, block.last.row, reader);
            }
        }
    }
    for (SheetReaders& sheet : readers_) {
        for (auto& [column, index] : sheet.byColumn) {
            index.build();
        }
        for (auto& [row, index] : sheet.byRow) {
            index.build();
        }
        sheet.large.build();
    }
}

std::vector<std::size_t> FormulaGraph::markWritten(const std::vector<SheetBlock>& written) {
    std::vector<std::size_t> became;
    std::vector<SheetBlock> pending(written.begin(), written.end());
    if (!written.empty() && !anythingWritten_) {
        anythingWritten_ = true;
        for (std::size_t formula : readingAnyCell_) {
            markStale(formula, became, pending);
        }
    }
    // Every block is looked at once: the written cells, then the result of each formula as
    // it turns stale, which cannot happen twice.
    while (!pending.empty()) {
        const SheetBlock cells = pending.back();
        pending.pop_back();
        visitReaders(cells, became, pending);
    }
    return became;
}

void FormulaGraph::markStale(std::size_t formula, std::vector<std::size_t>& became,
                             std::vector<SheetBlock>& pending) {
    stale_[formula] = true;
    became.push_back(formula);
    pending.push_back(formulas_[formula].result);
}

void FormulaGraph::visitReaders(const SheetBlock& cells, std::vector<std::size_t>& became,
                                std::vector<SheetBlock>& pending) {
    if (cells.sheet < 0 || cells.sheet >= static_cast<int>(readers_.size())) {
        return;
    }
    SheetReaders& sheet = readers_[cells.sheet];
    const CellBlock& block = cells.block;
    // A block found overlapping has done its work once its formula is stale: it leaves the
    // index, so no later block looks at it again.
    const auto overlapping = [&](std::size_t reader) {
        const std::size_t formula = sheet.readers[reader].formula;
        if (!stale_[formula]) {
            markStale(formula, became, pending);
        }
        return true;
    };
    for (auto column = sheet.byColumn.lower_bound(block.first.column);
         column != sheet.byColumn.end() && column->first <= block.last.column; ++column) {
        column->second.query(block.first.row, block.last.row, overlapping);
    }
    for (auto row = sheet.byRow.lower_bound(block.first.row);
         row != sheet.byRow.end() && row->first <= block.last.row; ++row) {
        row->second.query(block.first.column, block.last.column, overlapping);
    }
    // Large blocks are found by their rows; their columns are compared here.
    sheet.large.query(block.first.row, block.last.row, [&](std::size_t reader) {
        const Reader& candidate = sheet.readers[reader];
        if (stale_[candidate.formula]) {
            return true;
        }
        if (!Overlap(candidate.block, block)) {
            return false;
        }
        markStale(candidate.formula, became, pending);
        return true;
    });
}

}  // namespace tivaro::workbook
