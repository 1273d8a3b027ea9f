#include "workbook/sheet_cells.h"

#include <algorithm>
#include <charconv>
#include <climits>

#include "workbook/formula_shift.h"
#include "workbook/number_text.h"
#include "workbook/xml_util.h"

namespace tivaro::workbook {

namespace {

enum class ValueKind { Empty, Text, Number, Other };

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto result = std::from_chars(text.data(), text.data() + text.size(), value);
    if (result.ec != std::errc{} || result.ptr != text.data() + text.size()) {
        return std::nullopt;
    }
    return value;
}

// The value of a <c> element as the text a spreadsheet shows in General format.
ValueKind CellValue(pugi::xml_node cell, const SharedStrings* strings, std::string& out) {
    const std::string_view type = cell.attribute("t").value();
    if (type == "inlineStr") {
        const pugi::xml_node item = Child(cell, "is");
        out = item ? StringItemText(item) : std::string{};
        return out.empty() ? ValueKind::Empty : ValueKind::Text;
    }
    const pugi::xml_node value = Child(cell, "v");
    const std::string_view stored = value ? value.text().get() : "";
    if (stored.empty()) {
        out.clear();
        return ValueKind::Empty;
    }
    if (type.empty() || type == "n") {
        if (auto number = NumberTextFromStored(stored)) {
            out = std::move(*number);
        } else {
            out.assign(stored);
        }
        return ValueKind::Number;
    }
    if (type == "s") {
        const auto index = ParseInt(stored);
        const std::string* text =
            (index && *index >= 0 && strings != nullptr) ? strings->at(*index) : nullptr;
        out = text != nullptr ? *text : std::string{};
        return ValueKind::Text;
    }
    if (type == "b") {
        out = stored == "1" || stored == "true" ? "TRUE" : "FALSE";
        return ValueKind::Other;
    }
    if (type == "e") {
        out.assign(stored);
        return ValueKind::Other;
    }
    out = DecodeEscapedText(stored);  // "str" (a formula's text result), "d" (ISO date)
    return ValueKind::Text;
}

bool NeedsSpacePreserved(std::string_view text) {
    const auto isSpace = [](char ch) {
        return ch == ' ' || ch == '\t' || ch == '\n' || ch == '\r';
    };
    return !text.empty() && (isSpace(text.front()) || isSpace(text.back()));
}

void RemoveChildren(pugi::xml_node parent, std::string_view localName) {
    for (pugi::xml_node child = Child(parent, localName); child; child = Child(parent, localName)) {
        parent.remove_child(child);
    }
}

// A cached result taken out of a cell while the part is written.
struct TakenResult {
    pugi::xml_node cell;
    pugi::xml_node value;       // a copy of the <v> element, in another document
    pugi::xml_node valueAfter;  // the node the <v> followed; empty when it came first
    std::string type;           // the "t" attribute, when it described the result
    pugi::xml_attribute typeAfter;
};

void TakeCachedResult(pugi::xml_node cell, pugi::xml_document& holder,
                      std::vector<TakenResult>& taken) {
    const std::string_view type = cell.attribute("t").value();
    if (type == "s" || type == "inlineStr") {
        return;  // a value of the cell's own, not a computed one
    }
    const bool typeOfResult =
        type == "n" || type == "str" || type == "b" || type == "e" || type == "d";
    const pugi::xml_node value = Child(cell, "v");
    if (!value && !typeOfResult) {
        return;
    }
    TakenResult result{cell, {}, {}, {}, {}};
    if (value) {
        result.value = holder.append_copy(value);
        result.valueAfter = value.previous_sibling();
        cell.remove_child(value);
    }
    if (typeOfResult) {
        const pugi::xml_attribute attribute = cell.attribute("t");
        result.type = attribute.value();
        result.typeAfter = attribute.previous_attribute();
        cell.remove_attribute(attribute);
    }
    taken.push_back(std::move(result));
}

void PutBack(const TakenResult& taken) {
    pugi::xml_node cell = taken.cell;
    if (taken.value) {
        if (taken.valueAfter) {
            cell.insert_copy_after(taken.value, taken.valueAfter);
        } else {
            cell.prepend_copy(taken.value);
        }
    }
    if (!taken.type.empty()) {
        pugi::xml_attribute attribute = taken.typeAfter
                                            ? cell.insert_attribute_after("t", taken.typeAfter)
                                            : cell.prepend_attribute("t");
        attribute = taken.type.c_str();
    }
}

}  // namespace

Result<std::unique_ptr<SheetCells>> SheetCells::Parse(std::string_view partName,
                                                      std::string_view bytes,
                                                      const SharedStrings* strings) {
    bool asRead = false;
    auto document = ParseXmlPart(partName, bytes, &asRead);
    if (!document) {
        return document.error();
    }
    auto sheet = std::unique_ptr<SheetCells>(new SheetCells());
    sheet->document_ = std::move(*document);
    sheet->strings_ = strings;
    if (asRead) {
        sheet->source_.assign(bytes);  // else it is written from the tree
    }
    if (auto indexed = sheet->index(partName); !indexed) {
        return indexed.error();
    }
    return sheet;
}

Status SheetCells::index(std::string_view partName) {
    const pugi::xml_node root = document_->document_element();
    sheetData_ = Child(root, "sheetData");
    if (LocalName(root) != "worksheet" || !sheetData_) {
        return MakeError(Errc::BadFormat,
                         "onderdeel " + std::string(partName) + " is geen werkblad met cellen");
    }
    locateRootElements();
    const bool keepSources = !rootStartTag_.empty();
    for (pugi::xml_node col = Child(Child(root, "cols"), "col"); col;
         col = NextSibling(col, "col")) {
        const int style = col.attribute("style").as_int(0);
        if (style > 0) {
            columnStyles_.push_back(
                {col.attribute("min").as_int(0), col.attribute("max").as_int(0), style});
        }
    }
    // Rows and cells may leave out their address, which then follows the previous one. Every
    // row and cell gets its address written out, so that inserting a cell later cannot shift
    // the position of the ones after it.
    int previousRow = 0;
    bool rowsSorted = true;
    for (pugi::xml_node row = Child(sheetData_, "row"); row; row = NextSibling(row, "row")) {
        pugi::xml_attribute rowAttribute = row.attribute("r");
        int rowNumber = previousRow + 1;
        if (rowAttribute) {
            rowNumber = rowAttribute.as_int(0);
        } else {
            row.prepend_attribute("r") = rowNumber;
        }
        if (rowNumber < 1 || rowNumber > kMaxRow) {
            return MakeError(Errc::BadFormat, "onderdeel " + std::string(partName) +
                                                  " heeft een rij met nummer " +
                                                  rowAttribute.value());
        }
        rowsSorted = rowsSorted && rowNumber > previousRow;
        previousRow = rowNumber;
        Row entry{rowNumber, row, {}, {}, false};
        if (keepSources && rowAttribute) {
            if (const auto tag = LocateStartTag(source_, row)) {
                entry.startTag = std::string_view(source_).substr(tag->begin, tag->startTag);
                entry.emptyTag = tag->emptyTag;
            }
        }
        int previousColumn = 0;
        bool cellsSorted = true;
        for (pugi::xml_node cell = Child(row, "c"); cell; cell = NextSibling(cell, "c")) {
            // A row holds one cell per column at most; a cell without an address past the last
            // column would get none that a spreadsheet reads back.
            if (entry.cells.size() >= static_cast<std::size_t>(kMaxColumn)) {
                return MakeError(Errc::BadFormat, "onderdeel " + std::string(partName) +
                                                      " heeft in rij " + std::to_string(rowNumber) +
                                                      " meer dan 16.384 cellen");
            }
            pugi::xml_attribute address = cell.attribute("r");
            int column = previousColumn + 1;
            if (!address && column > kMaxColumn) {
                return MakeError(Errc::BadFormat,
                                 "onderdeel " + std::string(partName) + " heeft in rij " +
                                     std::to_string(rowNumber) +
                                     " een cel zonder adres voorbij de laatste kolom (XFD)");
            }
            if (address) {
                const auto ref = ParseCellRef(address.value());
                if (!ref) {
                    return MakeError(Errc::BadFormat, "onderdeel " + std::string(partName) +
                                                          " heeft een cel met het adres \"" +
                                                          address.value() + "\"");
                }
                column = ref->column;
            } else {
                cell.prepend_attribute("r") = CellName(rowNumber, column).c_str();
            }
            cellsSorted = cellsSorted && column > previousColumn;
            previousColumn = column;
            std::string_view source;
            if (keepSources && address) {
                if (const auto element = LocateElement(source_, cell)) {
                    source = std::string_view(source_).substr(element->begin, element->length);
                }
            }
            entry.cells.push_back({column, cell, source});
        }
        if (!cellsSorted) {
            std::stable_sort(entry.cells.begin(), entry.cells.end(),
                             [](const Cell& a, const Cell& b) { return a.column < b.column; });
        }
        rows_.push_back(std::move(entry));
    }
    if (!rowsSorted) {
        std::stable_sort(rows_.begin(), rows_.end(),
                         [](const Row& a, const Row& b) { return a.row < b.row; });
    }
    return {};
}

const SheetCells::Cell* SheetCells::findCell(int row, int column) const {
    const auto rowAt = std::lower_bound(rows_.begin(), rows_.end(), row,
                                        [](const Row& r, int wanted) { return r.row < wanted; });
    if (rowAt == rows_.end() || rowAt->row != row) {
        return nullptr;
    }
    const auto cellAt =
        std::lower_bound(rowAt->cells.begin(), rowAt->cells.end(), column,
                         [](const Cell& c, int wanted) { return c.column < wanted; });
    if (cellAt == rowAt->cells.end() || cellAt->column != column) {
        return nullptr;
    }
    return &*cellAt;
}

SheetCells::Row& SheetCells::ensureRow(int row) {
    const auto rowAt = std::lower_bound(rows_.begin(), rows_.end(), row,
                                        [](const Row& r, int wanted) { return r.row < wanted; });
    if (rowAt != rows_.end() && rowAt->row == row) {
        return *rowAt;
    }
    const std::string name = QualifiedName(sheetData_, "row");
    pugi::xml_node node = rowAt != rows_.end()
                              ? sheetData_.insert_child_before(name.c_str(), rowAt->node)
                              : sheetData_.append_child(name.c_str());
    node.append_attribute("r") = row;
    return *rows_.insert(rowAt, Row{row, node, {}, {}, false});
}

SheetCells::Cell& SheetCells::ensureCell(int row, int column) {
    Row& entry = ensureRow(row);
    const auto cellAt =
        std::lower_bound(entry.cells.begin(), entry.cells.end(), column,
                         [](const Cell& c, int wanted) { return c.column < wanted; });
    if (cellAt != entry.cells.end() && cellAt->column == column) {
        return *cellAt;
    }
    const int style = styleOf(row, column);
    const std::string name = QualifiedName(entry.node, "c");
    pugi::xml_node node;
    if (cellAt != entry.cells.end()) {
        node = entry.node.insert_child_before(name.c_str(), cellAt->node);
    } else if (const pugi::xml_node extension = Child(entry.node, "extLst")) {
        node = entry.node.insert_child_before(name.c_str(), extension);
    } else {
        node = entry.node.append_child(name.c_str());
    }
    node.append_attribute("r") = CellName(row, column).c_str();
    if (style != 0) {
        node.append_attribute("s") = style;
    }
    // The row's span hint would no longer cover its cells; it is optional.
    if (entry.node.remove_attribute("spans")) {
        entry.startTag = {};
    }
    return *entry.cells.insert(cellAt, Cell{column, node, {}});
}

std::string SheetCells::text(int row, int column) const {
    std::string out;
    if (const Cell* cell = findCell(row, column)) {
        CellValue(cell->node, strings_, out);
    }
    return out;
}

std::string SheetCells::matchText(pugi::xml_node cell) const {
    std::string out;
    const ValueKind kind = CellValue(cell, strings_, out);
    if (kind != ValueKind::Text && kind != ValueKind::Number) {
        out.clear();
    }
    return out;
}

void SheetCells::removeFormula(pugi::xml_node cell, int row, int column) {
    const pugi::xml_node formula = Child(cell, "f");
    if (!formula) {
        return;
    }
    formulaRemoved_ = true;
    const std::string_view text = formula.text().get();
    if (std::string_view(formula.attribute("t").value()) == "shared" && !text.empty()) {
        // This cell anchors a shared formula: the other cells of the group hold only its
        // group number. The first of them, in reading order, becomes the new anchor with
        // the formula moved to its own position.
        const std::string_view group = formula.attribute("si").value();
        for (Row& entry : rows_) {
            if (entry.row < row) {
                continue;
            }
            for (Cell& other : entry.cells) {
                if (entry.row == row && other.column <= column) {
                    continue;
                }
                pugi::xml_node otherFormula = Child(other.node, "f");
                if (!otherFormula ||
                    std::string_view(otherFormula.attribute("t").value()) != "shared" ||
                    std::string_view(otherFormula.attribute("si").value()) != group ||
                    !std::string_view(otherFormula.text().get()).empty()) {
                    continue;
                }
                const std::string moved =
                    ShiftFormula(text, entry.row - row, other.column - column);
                otherFormula.text().set(moved.c_str());
                other.source = {};
                if (const pugi::xml_attribute ref = formula.attribute("ref")) {
                    if (otherFormula.attribute("ref")) {
                        otherFormula.attribute("ref").set_value(ref.value());
                    } else {
                        otherFormula.append_attribute("ref") = ref.value();
                    }
                }
                cell.remove_child(formula);
                return;
            }
        }
    }
    cell.remove_child(formula);
}

void SheetCells::writeText(int row, int column, std::string_view text) {
    Cell& cell = ensureCell(row, column);
    cell.source = {};
    pugi::xml_node node = cell.node;
    const auto indexed = columnIndexes_.find(column);
    if (indexed != columnIndexes_.end()) {
        indexed->second.remove(matchText(node), row);
    }
    removeFormula(node, row, column);
    RemoveChildren(node, "v");
    RemoveChildren(node, "is");
    node.remove_attribute("t");
    node.remove_attribute("cm");  // cell metadata of a dynamic-array formula
    node.remove_attribute("vm");
    if (!text.empty()) {
        node.append_attribute("t") = "inlineStr";
        pugi::xml_node item = node.prepend_child(QualifiedName(node, "is").c_str());
        pugi::xml_node textNode = item.append_child(QualifiedName(node, "t").c_str());
        if (NeedsSpacePreserved(text)) {
            textNode.append_attribute("xml:space") = "preserve";
        }
        textNode.text().set(EncodeEscapedText(text).c_str());
        if (indexed != columnIndexes_.end()) {
            indexed->second.add(text, row);
        }
    }
    modified_ = true;
}

int SheetCells::styleOf(int row, int column) const {
    if (const Cell* cell = findCell(row, column)) {
        return cell->node.attribute("s").as_int(0);
    }
    // A new cell takes the row's format when the row has one, else its column's.
    const auto rowAt = std::lower_bound(rows_.begin(), rows_.end(), row,
                                        [](const Row& r, int wanted) { return r.row < wanted; });
    if (rowAt != rows_.end() && rowAt->row == row &&
        rowAt->node.attribute("customFormat").as_bool(false)) {
        return rowAt->node.attribute("s").as_int(0);
    }
    for (const ColumnStyle& columns : columnStyles_) {
        if (column >= columns.first && column <= columns.last) {
            return columns.style;
        }
    }
    return 0;
}

void SheetCells::setStyle(int row, int column, int style) {
    Cell& cell = ensureCell(row, column);
    cell.source = {};
    pugi::xml_node node = cell.node;
    pugi::xml_attribute attribute = node.attribute("s");
    if (!attribute) {
        attribute = node.insert_attribute_after("s", node.attribute("r"));
    }
    attribute = style;
    modified_ = true;
}

std::optional<int> SheetCells::findInColumn(const CellBlock& block, std::string_view text) {
    const int column = block.first.column;
    auto [indexed, created] = columnIndexes_.try_emplace(column);
    if (created) {
        for (const Row& entry : rows_) {
            if (const Cell* cell = findCell(entry.row, column)) {
                indexed->second.add(matchText(cell->node), entry.row);
            }
        }
    }
    return indexed->second.find(text, block.first.row, block.last.row);
}

std::optional<int> SheetCells::findInRow(const CellBlock& block, std::string_view text) const {
    std::string wanted;
    std::string candidate;
    FoldCase(text, wanted);
    if (wanted.empty()) {
        return std::nullopt;
    }
    for (int column = block.first.column; column <= block.last.column; ++column) {
        if (const Cell* cell = findCell(block.first.row, column)) {
            FoldCase(matchText(cell->node), candidate);
            if (candidate == wanted) {
                return column;
            }
        }
    }
    return std::nullopt;
}

void SheetCells::updateDimension() {
    pugi::xml_node dimension = Child(document_->document_element(), "dimension");
    if (!dimension) {
        return;
    }
    int firstRow = INT_MAX, lastRow = 0, firstColumn = INT_MAX, lastColumn = 0;
    for (const Row& entry : rows_) {
        if (entry.cells.empty()) {
            continue;
        }
        firstRow = std::min(firstRow, entry.row);
        lastRow = std::max(lastRow, entry.row);
        firstColumn = std::min(firstColumn, entry.cells.front().column);
        lastColumn = std::max(lastColumn, entry.cells.back().column);
    }
    std::string ref = "A1";
    if (lastRow != 0) {
        ref = CellName(firstRow, firstColumn);
        if (firstRow != lastRow || firstColumn != lastColumn) {
            ref += ":" + CellName(lastRow, lastColumn);
        }
    }
    pugi::xml_attribute attribute = dimension.attribute("ref");
    if (!attribute) {
        attribute = dimension.append_attribute("ref");
    }
    attribute = ref.c_str();
}

template <class Visit>
void SheetCells::forEachCellIn(const CellBlock& block, Visit&& visit) {
    auto rowAt = std::lower_bound(rows_.begin(), rows_.end(), block.first.row,
                                  [](const Row& r, int wanted) { return r.row < wanted; });
    for (; rowAt != rows_.end() && rowAt->row <= block.last.row; ++rowAt) {
        auto cellAt = std::lower_bound(rowAt->cells.begin(), rowAt->cells.end(), block.first.column,
                                       [](const Cell& c, int wanted) { return c.column < wanted; });
        for (; cellAt != rowAt->cells.end() && cellAt->column <= block.last.column; ++cellAt) {
            visit(*cellAt);
        }
    }
}

std::vector<SheetCells::Formula> SheetCells::formulas() const {
    // The cells of a shared formula after the first hold only its group number ("si").
    struct Anchor {
        CellRef cell;
        std::string_view text;
    };
    std::unordered_map<std::string_view, Anchor> anchors;
    for (const Row& row : rows_) {
        for (const Cell& cell : row.cells) {
            const pugi::xml_node formula = Child(cell.node, "f");
            const std::string_view text = formula.text().get();
            if (formula && std::string_view(formula.attribute("t").value()) == "shared" &&
                !text.empty()) {
                anchors.try_emplace(formula.attribute("si").value(),
                                    Anchor{CellRef{row.row, cell.column}, text});
            }
        }
    }
    std::vector<Formula> found;
    for (const Row& row : rows_) {
        for (const Cell& cell : row.cells) {
            const pugi::xml_node node = Child(cell.node, "f");
            if (!node) {
                continue;
            }
            Formula formula;
            formula.cell = CellRef{row.row, cell.column};
            formula.result = CellBlock{formula.cell, formula.cell};
            const std::string_view type = node.attribute("t").value();
            const std::string_view text = node.text().get();
            if (type == "shared" && text.empty()) {
                const auto anchor = anchors.find(node.attribute("si").value());
                if (anchor != anchors.end()) {
                    const Anchor& from = anchor->second;
                    formula.text = ShiftFormula(from.text, row.row - from.cell.row,
                                                cell.column - from.cell.column);
                } else {
                    formula.readsAnyCell = true;
                }
            } else {
                formula.text.assign(text);
            }
            if (type == "array" || type == "dataTable") {
                const auto range = ParseBlock(node.attribute("ref").value());
                if (range && range->first == formula.cell) {
                    formula.result = *range;
                }
            }
            // "aca": recalculated at every change, as volatile functions are.
            const std::string_view always = node.attribute("aca").value();
            if (type == "dataTable" || always == "1" || always == "true") {
                formula.readsAnyCell = true;
            }
            found.push_back(std::move(formula));
        }
    }
    return found;
}

void SheetCells::leaveOutCachedResult(const CellRef& cell, const CellBlock& result) {
    const Cell* formula = findCell(cell.row, cell.column);
    if (formula == nullptr || !Child(formula->node, "f")) {
        return;
    }
    leftOut_.push_back(LeftOut{cell, result});
    forEachCellIn(result, [](Cell& changed) { changed.source = {}; });
    modified_ = true;
}

std::string SheetCells::serialize() {
    updateDimension();
    // The cached results left out are taken out of the tree while it is written, and put
    // back, so the cells go on reading what their formulas last gave.
    pugi::xml_document holder;
    std::vector<TakenResult> taken;
    for (const LeftOut& formula : leftOut_) {
        const Cell* cell = findCell(formula.cell.row, formula.cell.column);
        if (cell == nullptr || !Child(cell->node, "f")) {
            continue;  // written over: the cells hold values of their own now
        }
        forEachCellIn(formula.result,
                      [&](Cell& inBlock) { TakeCachedResult(inBlock.node, holder, taken); });
    }
    std::string bytes = rootStartTag_.empty() ? SerializeXml(*document_) : writeKeepingSources();
    for (auto result = taken.rbegin(); result != taken.rend(); ++result) {
        PutBack(*result);
    }
    return bytes;
}

void SheetCells::locateRootElements() {
    const pugi::xml_node root = document_->document_element();
    const auto rootTag = LocateStartTag(source_, root);
    const auto dataTag = LocateStartTag(source_, sheetData_);
    if (!rootTag || !dataTag || rootTag->emptyTag || dataTag->emptyTag) {
        return;
    }
    const std::string_view source(source_);
    rootStartTag_ = source.substr(rootTag->begin, rootTag->startTag);
    sheetDataStartTag_ = source.substr(dataTag->begin, dataTag->startTag);
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        // The used-range hint is brought up to date when the part is written.
        if (child == sheetData_ || LocalName(child) == "dimension") {
            continue;
        }
        if (const auto element = LocateElement(source_, child)) {
            keptElements_.push_back({child, source.substr(element->begin, element->length)});
        }
    }
}

std::string SheetCells::writeKeepingSources() const {
    std::string out;
    out.reserve(source_.size() + source_.size() / 8);
    const pugi::xml_node root = document_->document_element();
    // Before the root element: the declaration, which is never changed.
    out.append(source_, 0, static_cast<std::size_t>(rootStartTag_.data() - source_.data()));
    out += rootStartTag_;
    auto kept = keptElements_.begin();
    for (pugi::xml_node child = root.first_child(); child; child = child.next_sibling()) {
        if (child == sheetData_) {
            writeSheetData(out);
        } else if (kept != keptElements_.end() && kept->node == child) {
            out += kept->source;
            ++kept;
        } else {
            AppendXml(child, out);
        }
    }
    out.append("</").append(root.name()).append(">");
    for (pugi::xml_node after = root.next_sibling(); after; after = after.next_sibling()) {
        AppendXml(after, out);
    }
    return out;
}

void SheetCells::writeSheetData(std::string& out) const {
    out += sheetDataStartTag_;
    // Rows and cells come in the order of the tree; one that is not where the index expects
    // it (a file with rows out of order) is written from the tree.
    auto row = rows_.begin();
    for (pugi::xml_node child = sheetData_.first_child(); child; child = child.next_sibling()) {
        if (row != rows_.end() && row->node == child) {
            writeRow(*row, out);
            ++row;
        } else {
            AppendXml(child, out);
        }
    }
    out.append("</").append(sheetData_.name()).append(">");
}

void SheetCells::writeRow(const Row& row, std::string& out) const {
    if (row.emptyTag && !row.node.first_child()) {
        out += row.startTag;
        return;
    }
    if (!row.startTag.empty() && !row.emptyTag) {
        out += row.startTag;
    } else {
        AppendStartTag(row.node, out);
    }
    auto cell = row.cells.begin();
    for (pugi::xml_node child = row.node.first_child(); child; child = child.next_sibling()) {
        if (cell != row.cells.end() && cell->node == child) {
            if (cell->source.empty()) {
                AppendXml(child, out);
            } else {
                out += cell->source;
            }
            ++cell;
        } else {
            AppendXml(child, out);
        }
    }
    out.append("</").append(row.node.name()).append(">");
}

}  // namespace tivaro::workbook
