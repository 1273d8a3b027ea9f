#include <algorithm>
#include <map>
#include <tuple>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>

#include "workbook/calc/block_watch.h"
#include "workbook/calc/calc_guarded.h"
#include "workbook/calc/calc_workbook.h"

// The workbook's batches and its watch on changes made by others: what the race's worker
// thread uses to keep its copy of the sheets true.

namespace tivaro::workbook::calc {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY_THROW;

void CalcWorkbook::unwatchOutside() {
    for (OutsideWatch& outside : outsideWatches_) {
        Unwatch(outside.broadcaster, outside.watch);
    }
    outsideWatches_.clear();
}

void CalcWorkbook::watchOutsideChanges(int lastRow, int lastColumn,
                                       std::function<void(SheetId)> changed) {
    unwatchOutside();
    if (closed_ || lost_ != Lost::No || !changed || lastRow < 1 || lastColumn < 1) {
        return;
    }
    auto shared = std::make_shared<std::function<void(SheetId)>>(std::move(changed));
    for (std::size_t index = 0; index < sheets_.size(); ++index) {
        const SheetId sheet{static_cast<int>(index)};
        (void)guarded<void>(sheet, "de bewaking van het blad", [&]() -> Status {
            OutsideWatch outside;
            const Reference<css::table::XCellRange> range =
                sheets_[index].object->getCellRangeByPosition(
                    0, 0, std::min(lastColumn, kMaxColumn) - 1, std::min(lastRow, kMaxRow) - 1);
            outside.broadcaster.set(range, UNO_QUERY_THROW);
            outside.watch = new BlockWatch(own_, [shared, sheet] { (*shared)(sheet); });
            outside.broadcaster->addModifyListener(outside.watch.get());
            outsideWatches_.push_back(std::move(outside));
            return {};
        });
    }
}

void CalcWorkbook::writeRun(SheetId sheet, int row, int firstColumn,
                            const std::vector<std::string>& texts) {
    const auto count = static_cast<sal_Int32>(texts.size());
    Sequence<Any> cells(count);
    for (sal_Int32 at = 0; at < count; ++at) {
        cells.getArray()[at] <<= FromUtf8(texts[static_cast<std::size_t>(at)]);
    }
    const Sequence<Sequence<Any>> rows(&cells, 1);
    const Reference<css::sheet::XCellRangeData> data(
        sheets_[sheet.index].object->getCellRangeByPosition(firstColumn - 1, row - 1,
                                                            firstColumn + count - 2, row - 1),
        UNO_QUERY_THROW);
    // Strings in a data array stay texts.
    OwnWrite own(*own_);
    data->setDataArray(rows);
    unsaved_ = true;
}

std::vector<Error> CalcWorkbook::applyChanges(std::span<const CellChange> changes) {
    std::vector<Error> problems;
    if (changes.empty()) {
        return problems;
    }
    // Only the last text and the last colour of a cell count; the texts of a row that lie side
    // by side go in one call. A run of one, and an empty text, go through writeCell, which
    // leaves such a cell as a single write leaves it.
    using Key = std::tuple<int, int, int>;  // sheet, row, column
    std::map<Key, std::string> texts;
    std::map<Key, std::uint32_t> colours;
    for (const CellChange& change : changes) {
        const Key key{change.sheet.index, change.row, change.column};
        if (change.kind == CellChange::Kind::Text) {
            texts[key] = change.text;
        } else {
            colours[key] = change.colour;
        }
    }
    Reference<css::frame::XModel> model;
    if (document_ && !closed_ && lost_ == Lost::No) {
        model = document_->model();
    }
    // Calc paints once at the end instead of after every cell.
    bool locked = false;
    try {
        if (model.is()) {
            model->lockControllers();
            locked = true;
        }
    } catch (const css::uno::Exception&) {
    }
    const auto note = [&](const Status& done) {
        if (!done) {
            problems.push_back(done.error());
        }
    };
    for (auto at = texts.begin(); at != texts.end();) {
        const auto [sheet, row, column] = at->first;
        auto end = std::next(at);
        int next = column + 1;
        while (end != texts.end() && std::get<0>(end->first) == sheet &&
               std::get<1>(end->first) == row && std::get<2>(end->first) == next &&
               !end->second.empty() && !at->second.empty()) {
            ++end;
            ++next;
        }
        if (std::distance(at, end) == 1) {
            note(writeCell(SheetId{sheet}, row, column, at->second));
        } else {
            std::vector<std::string> run;
            for (auto each = at; each != end; ++each) {
                run.push_back(each->second);
            }
            if (auto valid = usable(SheetId{sheet}); !valid) {
                note(valid.error());
            } else if (Status inRange = checkCell(SheetId{sheet}, row, next - 1); !inRange) {
                note(inRange);
            } else {
                note(guarded<void>(SheetId{sheet}, "rij " + std::to_string(row), [&]() -> Status {
                    writeRun(SheetId{sheet}, row, column, run);
                    return {};
                }));
            }
        }
        at = end;
    }
    for (const auto& [key, colour] : colours) {
        note(colourCell(SheetId{std::get<0>(key)}, std::get<1>(key), std::get<2>(key), colour));
    }
    if (locked) {
        try {
            model->unlockControllers();
        } catch (const css::uno::Exception&) {
        }
    }
    return problems;
}

}  // namespace tivaro::workbook::calc
