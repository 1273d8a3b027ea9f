#pragma once
// Which formulas of a workbook can give another result once some cells are written: those
// that read a written cell, and those that read the result of such a formula, on any sheet
// and however far down the chain. A formula that may read cells it does not name (see
// formula_refs.h) counts as reading every cell.
//
// The formulas are indexed by the cells they read, so a write finds the formulas it affects
// without going through all of them. Once stale a formula stays stale: the set only grows,
// and each call reports only the formulas that joined it.

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
    // The blocks read on one sheet: narrow ones listed under each column they cover, wide
    // ones (whole rows, for one) in a list of their own.
    struct SheetReaders {
        std::map<int, std::vector<Reader>> byColumn;
        std::vector<Reader> wide;
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

}  // namespace tivaro::workbook
