#include "workbook/calc/calc_workbook.h"
#include "workbook/calc/block_watch.h"
#include "workbook/calc/calc_guarded.h"

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <new>
#include <thread>
#include <tuple>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/frame/XController.hpp>
#include <com/sun/star/frame/XStorable.hpp>
#include <com/sun/star/io/IOException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/IndexOutOfBoundsException.hpp>
#include <com/sun/star/sheet/XCellRangeAddressable.hpp>
#include <com/sun/star/sheet/XCellRangeData.hpp>
#include <com/sun/star/sheet/XSpreadsheetView.hpp>
#include <com/sun/star/sheet/XSpreadsheets.hpp>
#include <com/sun/star/table/XCell.hpp>
#include <com/sun/star/table/XCellRange.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/util/XModifyListener.hpp>

#include "workbook/match_index.h"
#include "workbook/number_text.h"

namespace tivaro::workbook::calc {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;

namespace {

// Keeps at most this many searched blocks (the race searches one) and rows (the race uses 198
// of one sheet); more drop them all.
constexpr std::size_t kMaxBlockCaches = 16;
constexpr std::size_t kMaxRowCaches = 1024;
// A row's block reaches at least this far: the race's row, A to T.
constexpr int kRowColumns = 20;
// Tries at making a watched block while Calc moves cells under it.
constexpr int kWatchAttempts = 3;
// As many cells as the embedded engine writes at once.
constexpr long long kMaxCellsPerWrite = 1'000'000;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

// Calc keeps colours as 0xRRGGBB; the program's colour numbers are R + 256·G + 65536·B.
sal_Int32 CalcColour(std::uint32_t colour) {
    const std::uint32_t red = colour & 0xFFu;
    const std::uint32_t green = (colour >> 8) & 0xFFu;
    const std::uint32_t blue = (colour >> 16) & 0xFFu;
    return static_cast<sal_Int32>((red << 16) | (green << 8) | blue);
}

// A value from getDataArray as a spreadsheet shows it in General format; nullopt for a value
// that getDataArray does not carry (an error result).
std::optional<std::string> ShownText(const Any& value) {
    double number = 0;
    if (value >>= number) {
        return NumberText(number);
    }
    rtl::OUString text;
    if (value >>= text) {
        return ToUtf8(text);
    }
    return std::nullopt;
}

}  // namespace

CalcWorkbook::CalcWorkbook(std::shared_ptr<OpenDocument> document, std::filesystem::path file)
    : document_(std::move(document)), path_(std::move(file)), own_(std::make_shared<OwnWrites>()) {}

Result<std::unique_ptr<CalcWorkbook>> CalcWorkbook::Make(std::shared_ptr<OpenDocument> document,
                                                         std::filesystem::path file) {
    auto workbook =
        std::unique_ptr<CalcWorkbook>(new CalcWorkbook(std::move(document), std::move(file)));
    if (Status loaded = workbook->loadSheets(); !loaded) {
        return loaded.error();
    }
    return workbook;
}

CalcWorkbook::~CalcWorkbook() {
    dropCaches();
    unwatchOutside();
}

std::string CalcWorkbook::workbookDetail() const {
    return "Werkboek: " + Quoted(path_.string());
}

std::string CalcWorkbook::where(SheetId sheet) const {
    if (sheet.index >= 0 && sheet.index < static_cast<int>(sheets_.size())) {
        return "blad " + Quoted(sheets_[sheet.index].name);
    }
    if (sheet.index < 0) {
        return "het werkboek";
    }
    return "blad nummer " + std::to_string(sheet.index + 1);
}

std::string CalcWorkbook::where(SheetId sheet, int row, int column) const {
    return "cel " + CellName(row, column) + " van " + where(sheet);
}

Status CalcWorkbook::loadSheets() {
    return guarded<void>(SheetId{}, "de bladen", [&]() -> Status {
        spreadsheet_.set(document_->model(), UNO_QUERY_THROW);
        Reference<css::sheet::XSpreadsheets> sheets = spreadsheet_->getSheets();
        sheetsByIndex_.set(sheets, UNO_QUERY_THROW);
        sheetsByName_.set(sheets, UNO_QUERY_THROW);
        const Sequence<rtl::OUString> names = sheetsByName_->getElementNames();
        for (sal_Int32 i = 0; i < names.getLength(); ++i) {
            Sheet entry;
            sheetsByIndex_->getByIndex(i) >>= entry.object;
            entry.name = ToUtf8(names[i]);
            sheets_.push_back(std::move(entry));
        }
        // The active sheet is the one Calc shows (a hidden document has a view too).
        Reference<css::sheet::XSpreadsheetView> view(document_->model()->getCurrentController(),
                                                     UNO_QUERY);
        if (view.is()) {
            Reference<css::container::XNamed> named(view->getActiveSheet(), UNO_QUERY);
            const std::string activeName = named.is() ? ToUtf8(named->getName()) : "";
            for (std::size_t i = 0; i < sheets_.size(); ++i) {
                if (sheets_[i].name == activeName) {
                    active_ = static_cast<int>(i);
                }
            }
        }
        return {};
    });
}

Error CalcWorkbook::lostError() const {
    if (lost_ == Lost::Calc) {
        return MakeError(Errc::Closed,
                         "LibreOffice Calc is gestopt (afgesloten of vastgelopen), dus Tivaro kan "
                         "het werkboek niet meer bijwerken. Open het werkboek opnieuw in Tivaro; "
                         "Calc start dan opnieuw. " +
                             workbookDetail());
    }
    if (lost_ == Lost::Document) {
        return MakeError(Errc::Closed,
                         "Het werkboek is in LibreOffice Calc gesloten, dus Tivaro kan er niet "
                         "meer in lezen of schrijven. Open het werkboek opnieuw in Tivaro. " +
                             workbookDetail());
    }
    return MakeError(Errc::Closed,
                     "Het werkboek is gesloten; Tivaro leest of schrijft er niet "
                     "meer in. Open het opnieuw om verder te gaan. " +
                         workbookDetail());
}

Result<const CalcWorkbook::Sheet*> CalcWorkbook::usable(SheetId sheet) const {
    if (closed_ || lost_ != Lost::No) {
        return lostError();
    }
    if (document_->session()->gone()) {
        lost_ = Lost::Calc;
        return lostError();
    }
    if (sheet.index < 0 || sheet.index >= static_cast<int>(sheets_.size())) {
        return MakeError(Errc::NoSuchSheet, "Het werkboek heeft geen blad nummer " +
                                                std::to_string(sheet.index + 1) + ". " +
                                                workbookDetail());
    }
    return &sheets_[sheet.index];
}

Status CalcWorkbook::checkCell(SheetId sheet, int row, int column) const {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) {
        return MakeError(Errc::BadAddress, "Er is geen cel op rij " + std::to_string(row) +
                                               ", kolom " + std::to_string(column) + " van " +
                                               where(sheet) + ". " + workbookDetail());
    }
    return {};
}

Result<CellBlock> CalcWorkbook::parseBlock(SheetId sheet, std::string_view range) const {
    const auto block = ParseBlock(range);
    if (!block) {
        return MakeError(Errc::BadAddress, Quoted(std::string(range)) + " is geen celbereik (" +
                                               where(sheet) + "). " + workbookDetail());
    }
    return *block;
}

Error CalcWorkbook::failure(SheetId sheet, const std::string& what,
                            const css::uno::Exception& exception, bool runtime) {
    if (runtime) {
        // Calc throws the same kind of exception whether it went away, the document was
        // closed or the sheet deleted; which one it was is asked in that order.
        if (!document_->session()->answers()) {
            document_->session()->markGone();
            lost_ = Lost::Calc;
            return lostError();
        }
        try {
            document_->model()->getURL();
            sheetsByIndex_->getCount();
        } catch (...) {
            lost_ = Lost::Document;
            return lostError();
        }
        if (sheet.index >= 0 && sheet.index < static_cast<int>(sheets_.size())) {
            try {
                Reference<css::container::XNamed> named(sheets_[sheet.index].object,
                                                        UNO_QUERY_THROW);
                named->getName();
            } catch (...) {
                return MakeError(Errc::NoSuchSheet,
                                 "Blad " + Quoted(sheets_[sheet.index].name) +
                                     " is uit het werkboek verwijderd. Kies de sport opnieuw "
                                     "als het blad terug is. " +
                                     workbookDetail());
            }
        }
    }
    return MakeError(Errc::Failed, "LibreOffice Calc weigerde " + what + " van " + where(sheet) +
                                       ". Probeer het opnieuw; lukt het niet, open het werkboek "
                                       "dan opnieuw. Uitleg van LibreOffice: " +
                                       Detail(exception) + ". " + workbookDetail());
}

std::vector<std::string> CalcWorkbook::sheetNames() const {
    std::vector<std::string> names;
    if (closed_ || lost_ != Lost::No) {
        return names;
    }
    try {
        for (const rtl::OUString& name : sheetsByName_->getElementNames()) {
            names.push_back(ToUtf8(name));
        }
    } catch (...) {
        names.clear();
        for (const Sheet& sheet : sheets_) {
            names.push_back(sheet.name);
        }
    }
    return names;
}

Result<std::string> CalcWorkbook::sheetName(SheetId sheet) const {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    return (*entry)->name;
}

Result<SheetId> CalcWorkbook::activeSheet() const {
    if (closed_ || lost_ != Lost::No) {
        return lostError();
    }
    return SheetId{active_};
}

Status CalcWorkbook::activate(std::string_view sheetName) {
    if (auto ok = usable(SheetId{active_}); !ok) {
        return ok.error();
    }
    const std::string what = "het blad " + Quoted(std::string(sheetName));
    return guarded<void>(SheetId{}, what, [&]() -> Status {
        // Names compare without regard to case, as in a spreadsheet; the list is Calc's own,
        // so sheets added or renamed since the workbook was opened count.
        std::string wanted;
        std::string candidate;
        FoldCase(sheetName, wanted);
        for (const rtl::OUString& name : sheetsByName_->getElementNames()) {
            const std::string actual = ToUtf8(name);
            FoldCase(actual, candidate);
            if (candidate != wanted) {
                continue;
            }
            int id = -1;
            for (std::size_t i = 0; i < sheets_.size(); ++i) {
                if (sheets_[i].name == actual) {
                    id = static_cast<int>(i);
                }
            }
            if (id < 0) {
                Sheet entry;
                sheetsByName_->getByName(name) >>= entry.object;
                entry.name = actual;
                sheets_.push_back(std::move(entry));
                id = static_cast<int>(sheets_.size()) - 1;
            }
            // Calc shows the race sheet, as the organisers expect when a sport is chosen.
            Reference<css::sheet::XSpreadsheetView> view(document_->model()->getCurrentController(),
                                                         UNO_QUERY);
            if (view.is()) {
                view->setActiveSheet(sheets_[id].object);
            }
            active_ = id;
            return {};
        }
        return MakeError(Errc::NoSuchSheet, "Het werkboek heeft geen blad " +
                                                Quoted(std::string(sheetName)) + ". " +
                                                workbookDetail());
    });
}

Reference<css::table::XCellRange> CalcWorkbook::watchedBlock(
    SheetId sheet, const CellBlock& block, const std::shared_ptr<OwnWrites>& own,
    Reference<css::util::XModifyBroadcaster>& broadcaster, rtl::Reference<BlockWatch>& watch) {
    for (int attempt = 1;; ++attempt) {
        const Reference<css::table::XCellRange> range =
            sheets_[sheet.index].object->getCellRangeByPosition(
                block.first.column - 1, block.first.row - 1, block.last.column - 1,
                block.last.row - 1);
        broadcaster.set(range, UNO_QUERY_THROW);
        watch = new BlockWatch(own);
        broadcaster->addModifyListener(watch.get());
        // A move between the making of the block and its listener is seen in its address.
        const css::table::CellRangeAddress address =
            Reference<css::sheet::XCellRangeAddressable>(range, UNO_QUERY_THROW)->getRangeAddress();
        if (address.StartColumn == block.first.column - 1 &&
            address.StartRow == block.first.row - 1 && address.EndColumn == block.last.column - 1 &&
            address.EndRow == block.last.row - 1) {
            return range;
        }
        broadcaster->removeModifyListener(watch.get());
        if (attempt == kWatchAttempts) {
            throw css::uno::RuntimeException("cells keep moving while Tivaro asks for them",
                                             Reference<css::uno::XInterface>());
        }
    }
}

std::vector<std::string> CalcWorkbook::texts(const Reference<css::table::XCellRange>& range,
                                             const Reference<css::sheet::XCellRangeData>& data,
                                             int columns) {
    const Sequence<Sequence<Any>> rows = data->getDataArray();
    std::vector<std::string> result;
    for (sal_Int32 r = 0; r < rows.getLength(); ++r) {
        const Sequence<Any>& cells = rows[r];
        const sal_Int32 count = std::min(cells.getLength(), static_cast<sal_Int32>(columns));
        for (sal_Int32 c = 0; c < count; ++c) {
            if (std::optional<std::string> text = ShownText(cells[c])) {
                result.push_back(std::move(*text));
                continue;
            }
            // An error result ("#DIV/0!", "#N/A"): the cell's shown text carries it.
            const Reference<css::text::XText> cell(range->getCellByPosition(c, r), UNO_QUERY_THROW);
            result.push_back(ToUtf8(cell->getString()));
        }
    }
    return result;
}

CalcWorkbook::RowCache& CalcWorkbook::row(SheetId sheet, int row, int lastColumn) {
    const std::pair<int, int> key{sheet.index, row};
    if (auto found = rows_.find(key); found != rows_.end()) {
        if (!found->second.watch->stale() && found->second.lastColumn >= lastColumn) {
            return found->second;
        }
        // A new block is made below.
        Unwatch(found->second.broadcaster, found->second.watch);
        rows_.erase(found);
    }
    if (rows_.size() >= kMaxRowCaches) {
        dropCaches();
    }
    RowCache cache;
    cache.lastColumn = std::max(lastColumn, kRowColumns);
    cache.range = watchedBlock(sheet, CellBlock{{row, 1}, {row, cache.lastColumn}}, own_,
                               cache.broadcaster, cache.watch);
    cache.data.set(cache.range, UNO_QUERY_THROW);
    return rows_.insert_or_assign(key, std::move(cache)).first->second;
}

Result<std::string> CalcWorkbook::readCell(SheetId sheet, int row, int column) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    if (Status valid = checkCell(sheet, row, column); !valid) {
        return valid.error();
    }
    return guarded<std::string>(sheet, "cel " + CellName(row, column), [&]() {
        RowCache& cache = this->row(sheet, row, column);
        return std::move(texts(cache.range, cache.data, column).at(column - 1));
    });
}

Result<std::vector<std::string>> CalcWorkbook::readRow(SheetId sheet, int row, int lastColumn) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    if (Status valid = checkCell(sheet, row, lastColumn); !valid) {
        return valid.error();
    }
    return guarded<std::vector<std::string>>(sheet, "rij " + std::to_string(row), [&]() {
        RowCache& cache = this->row(sheet, row, lastColumn);
        return texts(cache.range, cache.data, lastColumn);
    });
}

Result<std::vector<std::vector<std::string>>> CalcWorkbook::readBlock(SheetId sheet, int firstRow,
                                                                      int lastRow, int lastColumn) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    if (lastRow < firstRow) {
        return std::vector<std::vector<std::string>>{};
    }
    if (Status valid = checkCell(sheet, firstRow, 1); !valid) {
        return valid.error();
    }
    if (Status valid = checkCell(sheet, lastRow, lastColumn); !valid) {
        return valid.error();
    }
    return guarded<std::vector<std::vector<std::string>>>(
        sheet, "rijen " + std::to_string(firstRow) + " tot " + std::to_string(lastRow), [&]() {
            // One getDataArray for the whole block.
            const Reference<css::table::XCellRange> range =
                sheets_[sheet.index].object->getCellRangeByPosition(0, firstRow - 1, lastColumn - 1,
                                                                    lastRow - 1);
            const Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
            const std::vector<std::string> flat = texts(range, data, lastColumn);
            std::vector<std::vector<std::string>> rows;
            rows.reserve(static_cast<std::size_t>(lastRow - firstRow + 1));
            for (std::size_t at = 0; at < flat.size(); at += static_cast<std::size_t>(lastColumn)) {
                rows.emplace_back(flat.begin() + static_cast<std::ptrdiff_t>(at),
                                  flat.begin() + static_cast<std::ptrdiff_t>(
                                                     std::min(flat.size(), at + lastColumn)));
            }
            return rows;
        });
}

void CalcWorkbook::dropCaches() {
    for (auto& [key, cache] : blockCaches_) {
        Unwatch(cache.broadcaster, cache.watch);
    }
    blockCaches_.clear();
    for (auto& [key, cache] : rows_) {
        Unwatch(cache.broadcaster, cache.watch);
    }
    rows_.clear();
}

Result<CalcWorkbook::BlockCache*> CalcWorkbook::searchedBlock(SheetId sheet,
                                                              const CellBlock& block) {
    const BlockKey key{sheet.index, block.first.row, block.first.column, block.last.row,
                       block.last.column};
    if (auto found = blockCaches_.find(key); found != blockCaches_.end()) {
        if (!found->second.watch->stale()) {
            return &found->second;
        }
        // A new block is made below.
        Unwatch(found->second.broadcaster, found->second.watch);
        blockCaches_.erase(found);
    }
    if (blockCaches_.size() >= kMaxBlockCaches) {
        dropCaches();
    }
    // Every change counts here, this workbook's writes too: the texts themselves are kept.
    BlockCache cache;
    const Reference<css::table::XCellRange> range =
        watchedBlock(sheet, block, nullptr, cache.broadcaster, cache.watch);
    const Reference<css::sheet::XCellRangeData> data(range, UNO_QUERY_THROW);
    std::vector<std::string> shown = texts(range, data, block.last.column - block.first.column + 1);
    cache.folded.resize(shown.size());
    for (std::size_t i = 0; i < shown.size(); ++i) {
        FoldCase(shown[i], cache.folded[i]);
    }
    return &blockCaches_.insert_or_assign(key, std::move(cache)).first->second;
}

Result<int> CalcWorkbook::find(SheetId sheet, std::string_view range, std::string_view text) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    auto block = parseBlock(sheet, range);
    if (!block) {
        return block.error();
    }
    if (block->first.column != block->last.column && block->first.row != block->last.row) {
        return MakeError(Errc::BadAddress, "Zoeken gaat in één kolom of één rij, niet in " +
                                               Quoted(std::string(range)) + " (" + where(sheet) +
                                               "). " + workbookDetail());
    }
    auto cache = guarded<BlockCache*>(sheet, "bereik " + std::string(range),
                                      [&]() { return searchedBlock(sheet, *block); });
    if (!cache) {
        return cache.error();
    }
    // Compared here rather than by Calc's MATCH, which reads "?" and "*" as wildcards.
    std::string wanted;
    FoldCase(text, wanted);
    if (!wanted.empty()) {
        const std::vector<std::string>& folded = (*cache)->folded;
        for (std::size_t i = 0; i < folded.size(); ++i) {
            if (folded[i] == wanted) {
                return static_cast<int>(i) + 1;
            }
        }
    }
    return MakeError(Errc::NotFound, Quoted(std::string(text)) + " staat niet in " +
                                         std::string(range) + " van " + where(sheet) + ". " +
                                         workbookDetail());
}

Status CalcWorkbook::writeCell(SheetId sheet, int row, int column, std::string_view text) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    if (Status valid = checkCell(sheet, row, column); !valid) {
        return valid;
    }
    return guarded<void>(sheet, "cel " + CellName(row, column), [&]() -> Status {
        RowCache& cache = this->row(sheet, row, column);
        Reference<css::text::XText>& cell = cache.texts[column];
        if (!cell.is()) {
            cell.set(cache.range->getCellByPosition(column - 1, 0), UNO_QUERY_THROW);
        }
        // As a text, always: a formula or number parse would turn "1" into a number and
        // "12:34:56.7" into a time.
        OwnWrite own(*own_);
        cell->setString(FromUtf8(text));
        unsaved_ = true;
        return {};
    });
}

Status CalcWorkbook::writeRange(SheetId sheet, std::string_view range, std::string_view text) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    auto block = parseBlock(sheet, range);
    if (!block) {
        return block.error();
    }
    if (block->cellCount() > kMaxCellsPerWrite) {
        return MakeError(Errc::BadAddress, "Het bereik " + Quoted(std::string(range)) + " van " +
                                               where(sheet) +
                                               " heeft te veel cellen om in één keer te "
                                               "schrijven. " +
                                               workbookDetail());
    }
    return guarded<void>(sheet, "bereik " + std::string(range), [&]() -> Status {
        const int rowCount = block->last.row - block->first.row + 1;
        const int columnCount = block->last.column - block->first.column + 1;
        const Any value(FromUtf8(text));
        Sequence<Any> cells(columnCount);
        for (Any& cell : cells) {
            cell = value;
        }
        Sequence<Sequence<Any>> rows(rowCount);
        for (Sequence<Any>& each : rows) {
            each = cells;
        }
        const Reference<css::sheet::XCellRangeData> data(
            (*entry)->object->getCellRangeByPosition(block->first.column - 1, block->first.row - 1,
                                                     block->last.column - 1, block->last.row - 1),
            UNO_QUERY_THROW);
        // Strings in a data array stay texts.
        OwnWrite own(*own_);
        data->setDataArray(rows);
        unsaved_ = true;
        return {};
    });
}

Status CalcWorkbook::colourCell(SheetId sheet, int row, int column, std::uint32_t colour) {
    auto entry = usable(sheet);
    if (!entry) {
        return entry.error();
    }
    if (Status valid = checkCell(sheet, row, column); !valid) {
        return valid;
    }
    if (colour > 0xFFFFFFu) {
        return MakeError(Errc::Failed, std::to_string(colour) +
                                           " is geen kleur (R + 256·G + 65536·B), voor " +
                                           where(sheet, row, column) + ". " + workbookDetail());
    }
    return guarded<void>(sheet, "de kleur van cel " + CellName(row, column), [&]() -> Status {
        RowCache& cache = this->row(sheet, row, column);
        Reference<css::beans::XPropertySet>& cell = cache.fills[column];
        if (!cell.is()) {
            cell.set(cache.range->getCellByPosition(column - 1, 0), UNO_QUERY_THROW);
        }
        OwnWrite own(*own_);
        cell->setPropertyValue("CellBackColor", Any(CalcColour(colour)));
        unsaved_ = true;
        return {};
    });
}

Result<SaveReport> CalcWorkbook::save() {
    if (closed_ || lost_ != Lost::No) {
        return lostError();
    }
    if (!document_->session()->options().saveThroughCalc) {
        // The organisers save the workbook in Calc.
        unsaved_ = false;
        return SaveReport{};
    }
    return guarded<SaveReport>(SheetId{}, "het opslaan", [&]() -> Result<SaveReport> {
        try {
            const Reference<css::frame::XStorable> storable(document_->model(), UNO_QUERY_THROW);
            storable->store();
        } catch (const css::io::IOException& e) {
            return MakeError(
                Errc::Io,
                "LibreOffice Calc kon het werkboek niet opslaan. Kijk of "
                "de map beschreven kan worden en er ruimte is. Uitleg van LibreOffice: " +
                    Detail(e) + ". " + workbookDetail());
        }
        unsaved_ = false;
        return SaveReport{path_, ""};
    });
}

Status CalcWorkbook::writeCopy(const std::filesystem::path& file) {
    if (closed_ || lost_ != Lost::No) {
        return lostError();
    }
    // What Calc holds, which may be more than the file (an organiser's edits not yet saved),
    // in the document's own format.
    const Result<SaveReport> stored =
        guarded<SaveReport>(SheetId{}, "het kopiëren", [&]() -> Result<SaveReport> {
            try {
                rtl::OUString filter;
                const Sequence<css::beans::PropertyValue> args = document_->model()->getArgs();
                for (const css::beans::PropertyValue& arg : args) {
                    if (arg.Name == "FilterName") {
                        arg.Value >>= filter;
                    }
                }
                Sequence<css::beans::PropertyValue> properties(filter.isEmpty() ? 1 : 2);
                properties.getArray()[0].Name = "Overwrite";
                properties.getArray()[0].Value <<= true;
                if (!filter.isEmpty()) {
                    properties.getArray()[1].Name = "FilterName";
                    properties.getArray()[1].Value <<= filter;
                }
                const Reference<css::frame::XStorable> storable(document_->model(),
                                                                UNO_QUERY_THROW);
                const std::filesystem::path absolute = std::filesystem::absolute(file);
                storable->storeToURL(FromUtf8(FileUrl(absolute)), properties);
            } catch (const css::io::IOException& e) {
                return MakeError(Errc::Io,
                                 "LibreOffice Calc kon geen kopie van het werkboek "
                                 "maken in " +
                                     file.string() + ": " + Detail(e) + ".");
            }
            return SaveReport{file, ""};
        });
    if (!stored) {
        return stored.error();
    }
    return {};
}

Status CalcWorkbook::close() {
    if (closed_) {
        return lostError();
    }
    if (unsaved_ && lost_ == Lost::No && document_->session()->options().saveThroughCalc) {
        if (auto saved = save(); !saved) {
            return saved.error();
        }
    }
    dropCaches();
    unwatchOutside();
    closed_ = true;
    sheets_.clear();
    sheetsByIndex_.clear();
    sheetsByName_.clear();
    spreadsheet_.clear();
    // The document stays open in Calc, unless this engine loaded it for a replay or test and
    // no other workbook of this program uses it.
    document_.reset();
    return {};
}

}  // namespace tivaro::workbook::calc
