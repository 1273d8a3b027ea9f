#include "workbook/formula_graph.h"

namespace tivaro::workbook {

namespace {

// Blocks up to this many columns wide are listed under each of their columns.
constexpr int kNarrowColumns = 16;

bool Overlap(const CellBlock& a, const CellBlock& b) {
    return a.first.row <= b.last.row && b.first.row <= a.last.row &&
           a.first.column <= b.last.column && b.first.column <= a.last.column;
}

}  // namespace

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
            const Reader reader{read.block, i};
            if (read.block.last.column - read.block.first.column < kNarrowColumns) {
                for (int column = read.block.first.column; column <= read.block.last.column;
                     ++column) {
                    sheet.byColumn[column].push_back(reader);
                }
            } else {
                sheet.wide.push_back(reader);
            }
        }
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
    const SheetReaders& sheet = readers_[cells.sheet];
    const auto check = [&](const Reader& reader) {
        if (!stale_[reader.formula] && Overlap(reader.block, cells.block)) {
            markStale(reader.formula, became, pending);
        }
    };
    for (auto column = sheet.byColumn.lower_bound(cells.block.first.column);
         column != sheet.byColumn.end() && column->first <= cells.block.last.column; ++column) {
        for (const Reader& reader : column->second) {
            check(reader);
        }
    }
    for (const Reader& reader : sheet.wide) {
        check(reader);
    }
}

}  // namespace tivaro::workbook
