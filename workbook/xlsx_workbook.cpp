#include "workbook/xlsx_workbook.h"

#include <chrono>
#include <map>
#include <set>
#include <system_error>

#include "workbook/backup.h"
#include "workbook/cell_address.h"
#include "workbook/formula_refs.h"
#include "workbook/match_index.h"

namespace tivaro::workbook {

namespace {

constexpr long long kMaxCellsPerWrite = 1'000'000;

std::string Quoted(const std::string& text) {
    return "\"" + text + "\"";
}

}  // namespace

XlsxWorkbook::XlsxWorkbook(std::filesystem::path file, Package package, FileStamp stamp,
                           std::filesystem::path backupDirectory, FileWriter& writer)
    : path_(std::move(file)),
      package_(std::move(package)),
      stamp_(stamp),
      backupDirectory_(std::move(backupDirectory)),
      writer_(&writer) {}

Result<std::unique_ptr<XlsxWorkbook>> XlsxWorkbook::Load(std::filesystem::path file,
                                                         Package package, FileStamp stamp,
                                                         std::filesystem::path backupDirectory,
                                                         FileWriter& writer) {
    auto workbook = std::unique_ptr<XlsxWorkbook>(new XlsxWorkbook(
        std::move(file), std::move(package), stamp, std::move(backupDirectory), writer));
    if (auto loaded = workbook->loadParts(); !loaded) {
        return loaded.error();
    }
    return workbook;
}

Status XlsxWorkbook::loadParts() {
    const std::string fileName = Quoted(path_.string());
    auto workbookPart = WorkbookPart::Load(package_, fileName);
    if (!workbookPart) {
        return workbookPart.error();
    }
    workbook_ = std::move(*workbookPart);
    activeSheet_ = workbook_->activeTab();
    std::map<std::string, std::string> sheetOfPart;
    for (const SheetEntry& entry : workbook_->sheets()) {
        sheetOfPart[package_.storedName(entry.part)] = entry.name;
    }
    if (auto sizes = package_.checkDeclaredSizes(sheetOfPart); !sizes) {
        return sizes;
    }
    if (auto intact = package_.verifyAll(sheetOfPart); !intact) {
        return MakeError(Errc::BadFormat, intact.error().message);
    }

    const auto readPart = [&](const std::string& part) -> Result<std::string> {
        auto bytes = package_.read(part);
        if (!bytes) {
            return MakeError(Errc::BadFormat, bytes.error().message);
        }
        return bytes;
    };
    if (const std::string& part = workbook_->sharedStringsPart();
        !part.empty() && package_.contains(part)) {
        auto bytes = readPart(part);
        if (!bytes) {
            return bytes.error();
        }
        auto table = SharedStrings::Parse(part, *bytes);
        if (!table) {
            return MakeError(Errc::BadFormat, fileName + ": " + table.error().message);
        }
        strings_ = std::make_unique<SharedStrings>(std::move(*table));
    }
    if (const std::string& part = workbook_->stylesPart();
        !part.empty() && package_.contains(part)) {
        auto bytes = readPart(part);
        if (!bytes) {
            return bytes.error();
        }
        auto styles = Styles::Parse(part, *bytes);
        if (!styles) {
            return MakeError(Errc::BadFormat, fileName + ": " + styles.error().message);
        }
        styles_ = std::move(*styles);
    }
    // Sheets are parsed when first used (a race works on one of them); that their parts are
    // there is checked now.
    for (const SheetEntry& entry : workbook_->sheets()) {
        if (entry.worksheet && (entry.part.empty() || !package_.contains(entry.part))) {
            const std::string part = entry.part.empty() ? "" : " (" + entry.part + ")";
            return MakeError(Errc::BadFormat,
                             "De werkmap is beschadigd: het onderdeel van werkblad " +
                                 Quoted(entry.name) + part + " ontbreekt. " + kDamagedWorkbookHint +
                                 " Bestand: " + fileName);
        }
        sheets_.push_back(nullptr);
    }
    // Every worksheet is read now, so that a damaged one is refused here rather than when its
    // sport is chosen or at the first passing. The one the workbook opens on is kept; the
    // others are let go of again and read when first used, so that only one is held at a time.
    for (std::size_t k = 0; k < sheets_.size(); ++k) {
        if (!workbook_->sheets()[k].worksheet) {
            continue;
        }
        if (auto read = cells(SheetId{static_cast<int>(k)}); !read) {
            return read.error();
        }
        if (static_cast<int>(k) != activeSheet_) {
            sheets_[k].reset();
        }
    }
    return {};
}

std::string XlsxWorkbook::where(SheetId sheet) const {
    std::string text = Quoted(path_.string());
    if (sheet.index >= 0 && sheet.index < static_cast<int>(sheets_.size())) {
        text += ", blad " + Quoted(workbook_->sheets()[sheet.index].name);
    }
    return text;
}

std::string XlsxWorkbook::where(SheetId sheet, int row, int column) const {
    return where(sheet) + ", cel " + CellName(row, column);
}

Result<SheetCells*> XlsxWorkbook::cells(SheetId sheet) {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    if (sheet.index < 0 || sheet.index >= static_cast<int>(sheets_.size())) {
        return MakeError(Errc::NoSuchSheet, "De werkmap heeft geen blad nummer " +
                                                std::to_string(sheet.index + 1) + ". (" +
                                                Quoted(path_.string()) + ")");
    }
    const SheetEntry& entry = workbook_->sheets()[sheet.index];
    if (!entry.worksheet) {
        return MakeError(
            Errc::NoSuchSheet,
            "Dit blad is een grafiek of dialoog, geen werkblad met cellen. (" + where(sheet) + ")");
    }
    if (!sheets_[sheet.index]) {
        const std::string unreadable =
            "Werkblad " + Quoted(entry.name) + " kan niet worden gelezen";
        auto bytes = package_.read(entry.part);
        if (!bytes) {
            return MakeError(Errc::BadFormat, unreadable + ". " + bytes.error().message);
        }
        auto parsed = SheetCells::Parse(entry.part, *bytes, strings_.get());
        if (!parsed) {
            return MakeError(Errc::BadFormat, unreadable + ": " + parsed.error().message + ". " +
                                                  kDamagedWorkbookHint +
                                                  " Bestand: " + Quoted(path_.string()));
        }
        sheets_[sheet.index] = std::move(*parsed);
    }
    return sheets_[sheet.index].get();
}

Status XlsxWorkbook::checkCell(SheetId sheet, int row, int column) const {
    if (row < 1 || row > kMaxRow || column < 1 || column > kMaxColumn) {
        return MakeError(Errc::BadAddress, "Er is geen cel in rij " + std::to_string(row) +
                                               ", kolom " + std::to_string(column) + ". (" +
                                               where(sheet) + ")");
    }
    return {};
}

std::vector<std::string> XlsxWorkbook::sheetNames() const {
    std::vector<std::string> names;
    if (closed_) {
        return names;
    }
    for (const SheetEntry& entry : workbook_->sheets()) {
        names.push_back(entry.name);
    }
    return names;
}

Result<std::string> XlsxWorkbook::sheetName(SheetId sheet) const {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    if (sheet.index < 0 || sheet.index >= static_cast<int>(sheets_.size())) {
        return MakeError(Errc::NoSuchSheet, "De werkmap heeft geen blad nummer " +
                                                std::to_string(sheet.index + 1) + ". (" +
                                                Quoted(path_.string()) + ")");
    }
    return workbook_->sheets()[sheet.index].name;
}

Result<SheetId> XlsxWorkbook::activeSheet() const {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    return SheetId{activeSheet_};
}

Status XlsxWorkbook::activate(std::string_view sheetName) {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    // Sheet names are told apart without regard to case, as in a spreadsheet.
    std::string wanted;
    std::string candidate;
    FoldCase(sheetName, wanted);
    const auto& sheets = workbook_->sheets();
    for (std::size_t i = 0; i < sheets.size(); ++i) {
        FoldCase(sheets[i].name, candidate);
        if (candidate == wanted) {
            // The race works on the active sheet: it is read now (once), so that a damaged one
            // is refused when it is chosen.
            if (sheets[i].worksheet) {
                if (auto read = cells(SheetId{static_cast<int>(i)}); !read) {
                    return read.error();
                }
            }
            activeSheet_ = static_cast<int>(i);
            return {};
        }
    }
    return MakeError(Errc::NoSuchSheet, "De werkmap heeft geen blad " +
                                            Quoted(std::string(sheetName)) + ". (" +
                                            Quoted(path_.string()) + ")");
}

Result<int> XlsxWorkbook::find(SheetId sheet, std::string_view range, std::string_view text) {
    auto sheetCells = cells(sheet);
    if (!sheetCells) {
        return sheetCells.error();
    }
    const auto block = ParseBlock(range);
    if (!block) {
        return MakeError(Errc::BadAddress,
                         Quoted(std::string(range)) + " is geen celbereik. (" + where(sheet) + ")");
    }
    std::optional<int> position;
    if (block->first.column == block->last.column) {
        if (const auto row = (*sheetCells)->findInColumn(*block, text)) {
            position = *row - block->first.row + 1;
        }
    } else if (block->first.row == block->last.row) {
        if (const auto column = (*sheetCells)->findInRow(*block, text)) {
            position = *column - block->first.column + 1;
        }
    } else {
        return MakeError(Errc::BadAddress, "Zoeken kan in één kolom of één rij, niet in " +
                                               Quoted(std::string(range)) + ". (" + where(sheet) +
                                               ")");
    }
    if (!position) {
        return MakeError(Errc::NotFound, Quoted(std::string(text)) + " staat niet in " +
                                             std::string(range) + ". (" + where(sheet) + ")");
    }
    return *position;
}

Result<std::string> XlsxWorkbook::readCell(SheetId sheet, int row, int column) {
    auto sheetCells = cells(sheet);
    if (!sheetCells) {
        return sheetCells.error();
    }
    if (auto valid = checkCell(sheet, row, column); !valid) {
        return valid.error();
    }
    return (*sheetCells)->text(row, column);
}

Status XlsxWorkbook::writeCell(SheetId sheet, int row, int column, std::string_view text) {
    auto sheetCells = cells(sheet);
    if (!sheetCells) {
        return sheetCells.error();
    }
    if (auto valid = checkCell(sheet, row, column); !valid) {
        return valid;
    }
    (*sheetCells)->writeText(row, column, text);
    writtenSinceSave_.push_back(SheetBlock{sheet.index, CellBlock{{row, column}, {row, column}}});
    unsaved_ = true;
    valuesWritten_ = true;
    return {};
}

Status XlsxWorkbook::writeRange(SheetId sheet, std::string_view range, std::string_view text) {
    auto sheetCells = cells(sheet);
    if (!sheetCells) {
        return sheetCells.error();
    }
    const auto block = ParseBlock(range);
    if (!block) {
        return MakeError(Errc::BadAddress,
                         Quoted(std::string(range)) + " is geen celbereik. (" + where(sheet) + ")");
    }
    if (block->cellCount() > kMaxCellsPerWrite) {
        return MakeError(Errc::BadAddress, "Het bereik " + Quoted(std::string(range)) +
                                               " heeft te veel cellen om te schrijven. (" +
                                               where(sheet) + ")");
    }
    for (int row = block->first.row; row <= block->last.row; ++row) {
        for (int column = block->first.column; column <= block->last.column; ++column) {
            (*sheetCells)->writeText(row, column, text);
        }
    }
    writtenSinceSave_.push_back(SheetBlock{sheet.index, *block});
    unsaved_ = true;
    valuesWritten_ = true;
    return {};
}

Status XlsxWorkbook::colourCell(SheetId sheet, int row, int column, std::uint32_t colour) {
    auto sheetCells = cells(sheet);
    if (!sheetCells) {
        return sheetCells.error();
    }
    if (auto valid = checkCell(sheet, row, column); !valid) {
        return valid;
    }
    if (colour > 0xFFFFFFu) {
        return MakeError(Errc::Failed, std::to_string(colour) +
                                           " is geen kleur (R + 256*G + 65536*B). (" +
                                           where(sheet, row, column) + ")");
    }
    if (!styles_) {
        return MakeError(Errc::BadFormat,
                         "De werkmap heeft geen opmaakdeel om een celkleur in te bewaren. (" +
                             where(sheet, row, column) + ")");
    }
    auto style = styles_->withFill((*sheetCells)->styleOf(row, column), colour);
    if (!style) {
        return MakeError(style.error().code,
                         where(sheet, row, column) + ": " + style.error().message);
    }
    (*sheetCells)->setStyle(row, column, *style);
    unsaved_ = true;
    return {};
}

std::unique_ptr<FormulaGraph> XlsxWorkbook::buildFormulaGraph() {
    const std::vector<SheetEntry>& entries = workbook_->sheets();
    // A worksheet that cannot be parsed is left as it is in the file; what its formulas give
    // is unknown, so a formula that reads it counts as reading any cell.
    std::vector<bool> unknown(entries.size(), false);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        unknown[i] = entries[i].worksheet && !cells(SheetId{static_cast<int>(i)});
    }
    std::vector<std::string> folded(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        FoldCase(entries[i].name, folded[i]);
    }
    std::string wanted;
    // The sheet a reference names, compared as a spreadsheet does, without regard to case.
    const auto sheetNamed = [&](const std::string& name) -> int {
        FoldCase(name, wanted);
        for (std::size_t i = 0; i < folded.size(); ++i) {
            if (folded[i] == wanted) {
                return static_cast<int>(i);
            }
        }
        return -1;
    };
    std::vector<FormulaNode> nodes;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        if (!sheets_[i]) {
            continue;
        }
        const int sheet = static_cast<int>(i);
        for (SheetCells::Formula& formula : sheets_[i]->formulas()) {
            FormulaNode node{SheetBlock{sheet, formula.result}, {}, formula.readsAnyCell};
            FormulaRefs refs = ScanFormulaRefs(formula.text);
            node.readsAnyCell = node.readsAnyCell || refs.unresolved;
            for (FormulaRef& ref : refs.refs) {
                if (node.readsAnyCell) {
                    break;
                }
                const int target = ref.sheet.empty() ? sheet : sheetNamed(ref.sheet);
                if (target < 0 || unknown[target]) {
                    node.readsAnyCell = true;  // a sheet that is not there, or not readable
                } else {
                    node.reads.push_back(SheetBlock{target, ref.block});
                }
            }
            if (node.readsAnyCell) {
                node.reads.clear();
            }
            nodes.push_back(std::move(node));
        }
    }
    return std::make_unique<FormulaGraph>(std::move(nodes));
}

void XlsxWorkbook::leaveOutStaleResults() {
    if (writtenSinceSave_.empty()) {
        return;
    }
    // A spreadsheet that finds a cached result shows it without computing the formula again,
    // so the result of every formula that can depend on a written cell stays out of the file;
    // the others keep theirs.
    if (!formulas_) {
        formulas_ = buildFormulaGraph();
    }
    for (std::size_t index : formulas_->markWritten(writtenSinceSave_)) {
        const SheetBlock& result = formulas_->formula(index).result;
        sheets_[result.sheet]->leaveOutCachedResult(result.block.first, result.block);
    }
    writtenSinceSave_.clear();
}

Result<std::string> XlsxWorkbook::buildPackage() {
    std::map<std::string, std::string> replaced;
    std::set<std::string> removed;
    bool formulaRemoved = false;
    leaveOutStaleResults();
    for (std::size_t i = 0; i < sheets_.size(); ++i) {
        if (sheets_[i] && sheets_[i]->modified()) {
            replaced[workbook_->sheets()[i].part] = sheets_[i]->serialize();
            formulaRemoved = formulaRemoved || sheets_[i]->formulaRemoved();
        }
    }
    // The calculation chain lists the cells that hold formulas; once a write removed one, the
    // chain is stale and the spreadsheet application rebuilds it when it is left out.
    if (formulaRemoved && !workbook_->calcChainPart().empty()) {
        droppedCalcChain_ = workbook_->calcChainPart();
        workbook_->dropCalcChainRelationship();
    }
    if (!droppedCalcChain_.empty()) {
        removed.insert(droppedCalcChain_);
        if (package_.contains("[Content_Types].xml")) {
            auto types = package_.read("[Content_Types].xml");
            if (!types) {
                return types.error();
            }
            auto without = ContentTypesWithout(*types, droppedCalcChain_);
            if (!without) {
                return without.error();
            }
            if (!without->empty()) {
                replaced["[Content_Types].xml"] = std::move(*without);
            }
        }
    }
    if (valuesWritten_) {
        workbook_->requestFullCalculation();
    }
    if (workbook_->modified()) {
        replaced[workbook_->partName()] = workbook_->serialize();
    }
    if (workbook_->relationshipsModified()) {
        replaced[workbook_->relationshipsPartName()] = workbook_->serializeRelationships();
    }
    if (styles_ && styles_->modified()) {
        replaced[workbook_->stylesPart()] = styles_->serialize();
    }
    auto bytes = package_.rebuild(replaced, removed);
    if (!bytes) {
        return MakeError(bytes.error().code,
                         "De werkmap kan niet worden opgeslagen: " + bytes.error().message + " (" +
                             Quoted(path_.string()) + ")");
    }
    return bytes;
}

Result<SaveReport> XlsxWorkbook::save() {
    return saveTo(std::nullopt);
}

Result<SaveReport> XlsxWorkbook::saveAs(const std::filesystem::path& file) {
    return saveTo(file);
}

Result<SaveReport> XlsxWorkbook::saveTo(const std::optional<std::filesystem::path>& chosen) {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    auto bytes = buildPackage();
    if (!bytes) {
        return bytes.error();
    }
    RemoveTemporariesOfKilledSaves(path_, backupDirectory_);
    const auto now = std::chrono::system_clock::now();
    SaveReport report;
    if (!backupDone_) {
        std::error_code ignored;
        std::filesystem::create_directories(backupDirectory_, ignored);
        const std::filesystem::path backup = BackupPathFor(backupDirectory_, path_, now);
        if (auto copied = ReplaceFileAtomically(backup, package_.bytes(), *writer_); copied) {
            backupDone_ = true;
        } else {
            report.notice = "Er kon geen reservekopie van de werkmap worden gemaakt: " +
                            copied.error().message + ". ";
        }
    }
    std::filesystem::path target = chosen.value_or(path_);
    if (!chosen && StampOf(path_) != std::optional<FileStamp>(stamp_)) {
        // Another program saved (or moved) the file since this one read or wrote it; its
        // version is not overwritten.
        target = DivertedPathFor(path_, now);
        report.notice +=
            "Een ander programma heeft de werkmap gewijzigd nadat Tivaro hem "
            "opende; die versie blijft zoals ze is en Tivaro slaat de werkmap "
            "voortaan op in " +
            Quoted(target.string()) + ". (" + Quoted(path_.string()) + ")";
    }
    if (auto written = ReplaceFileAtomically(target, *bytes, *writer_); !written) {
        return written.error();
    }
    const auto stamp = StampOf(target);
    path_ = target;
    stamp_ = stamp.value_or(FileStamp{});
    unsaved_ = false;
    report.writtenTo = target;
    return report;
}

Status XlsxWorkbook::close() {
    if (closed_) {
        return MakeError(Errc::Closed, "De werkmap is gesloten. Open hem opnieuw. (" +
                                           Quoted(path_.string()) + ")");
    }
    if (unsaved_) {
        if (auto saved = save(); !saved) {
            return saved.error();
        }
    }
    closed_ = true;
    sheets_.clear();
    styles_.reset();
    strings_.reset();
    return {};
}

}  // namespace tivaro::workbook
