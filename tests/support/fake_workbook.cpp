#include "tests/support/fake_workbook.h"

#include <algorithm>
#include <cctype>

namespace tivaro::testing {

namespace {

struct Block {
    int column = 0;
    int firstRow = 0;
    int lastRow = 0;
};

// A one-column block such as "B3:B200".
std::optional<Block> ParseBlock(std::string_view range) {
    const auto colon = range.find(':');
    if (colon == std::string_view::npos || colon < 2 || range.size() < colon + 3) {
        return std::nullopt;
    }
    const auto cell = [](std::string_view text, int& column, int& row) {
        if (text.empty() || text[0] < 'A' || text[0] > 'Z') {
            return false;
        }
        column = text[0] - 'A' + 1;
        row = std::stoi(std::string(text.substr(1)));
        return true;
    };
    Block block;
    int lastColumn = 0;
    if (!cell(range.substr(0, colon), block.column, block.firstRow) ||
        !cell(range.substr(colon + 1), lastColumn, block.lastRow) || lastColumn != block.column) {
        return std::nullopt;
    }
    return block;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

}  // namespace

FakeWorkbook::FakeWorkbook(std::vector<std::string> sheetNames, int activeSheet,
                           std::filesystem::path path)
    : path_(std::move(path)),
      names_(std::move(sheetNames)),
      sheets_(names_.size()),
      active_(activeSheet) {}

workbook::SheetId FakeWorkbook::sheetId(std::string_view name) const {
    const auto it = std::find(names_.begin(), names_.end(), name);
    return workbook::SheetId{it == names_.end() ? -1 : static_cast<int>(it - names_.begin())};
}

std::string& FakeWorkbook::cell(std::string_view sheet, int row, int column) {
    return sheets_.at(static_cast<std::size_t>(sheetId(sheet).index)).cells[{row, column}];
}

std::string FakeWorkbook::cellText(std::string_view sheet, int row, int column) const {
    const Sheet& s = sheets_.at(static_cast<std::size_t>(sheetId(sheet).index));
    const auto it = s.cells.find({row, column});
    return it == s.cells.end() ? std::string() : it->second;
}

std::optional<std::uint32_t> FakeWorkbook::fill(std::string_view sheet, int row, int column) const {
    const Sheet& s = sheets_.at(static_cast<std::size_t>(sheetId(sheet).index));
    const auto it = s.fills.find({row, column});
    if (it == s.fills.end()) {
        return std::nullopt;
    }
    return it->second;
}

int FakeWorkbook::saveCount() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(),
                                          [](const WorkbookCall& c) { return c.op == "save"; }));
}

int FakeWorkbook::writeCount() const {
    return static_cast<int>(std::count_if(calls.begin(), calls.end(), [](const WorkbookCall& c) {
        return c.op == "write" || c.op == "writeRange" || c.op == "colour";
    }));
}

std::optional<Error> FakeWorkbook::Fails(WorkbookCall call) const {
    calls.push_back(call);
    if (closed_) {
        return MakeError(Errc::Closed, "the workbook " + path_.string() + " is closed");
    }
    if (failIf && failIf(call)) {
        return MakeError(Errc::Failed, path_.string() + " refused " + call.op);
    }
    if (call.op == "write" || call.op == "writeRange" || call.op == "colour") {
        unsaved_ = true;
    }
    return std::nullopt;
}

Result<int> FakeWorkbook::Index(workbook::SheetId sheet) const {
    if (sheet.index < 0 || sheet.index >= static_cast<int>(names_.size())) {
        return MakeError(Errc::NoSuchSheet,
                         "fake.xlsx has no sheet " + std::to_string(sheet.index));
    }
    return sheet.index;
}

Result<std::string> FakeWorkbook::sheetName(workbook::SheetId sheet) const {
    Result<int> index = Index(sheet);
    if (!index) {
        return index.error();
    }
    return names_[static_cast<std::size_t>(*index)];
}

Result<workbook::SheetId> FakeWorkbook::activeSheet() const {
    if (auto error = Fails({"activeSheet", -1, 0, 0, {}})) {
        return *error;
    }
    return workbook::SheetId{active_};
}

Status FakeWorkbook::activate(std::string_view sheetName) {
    if (auto error = Fails({"activate", -1, 0, 0, std::string(sheetName)})) {
        return *error;
    }
    const workbook::SheetId id = sheetId(sheetName);
    if (id.index < 0) {
        return MakeError(Errc::NoSuchSheet,
                         "fake.xlsx has no sheet \"" + std::string(sheetName) + "\"");
    }
    active_ = id.index;
    return {};
}

Result<int> FakeWorkbook::find(workbook::SheetId sheet, std::string_view range,
                               std::string_view text) {
    if (auto error = Fails({"find", sheet.index, 0, 0, std::string(range)})) {
        return *error;
    }
    Result<int> index = Index(sheet);
    const std::optional<Block> block = ParseBlock(range);
    if (!index || !block) {
        return MakeError(Errc::BadAddress, "bad find");
    }
    const Sheet& s = sheets_[static_cast<std::size_t>(*index)];
    for (int row = block->firstRow; row <= block->lastRow; ++row) {
        const auto it = s.cells.find({row, block->column});
        if (it != s.cells.end() && EqualIgnoringCase(it->second, text)) {
            return row - block->firstRow + 1;
        }
    }
    return MakeError(Errc::NotFound, "not found");
}

Result<std::string> FakeWorkbook::readCell(workbook::SheetId sheet, int row, int column) {
    if (auto error = Fails({"read", sheet.index, row, column, {}})) {
        return *error;
    }
    Result<int> index = Index(sheet);
    if (!index) {
        return index.error();
    }
    const Sheet& s = sheets_[static_cast<std::size_t>(*index)];
    const auto it = s.cells.find({row, column});
    return it == s.cells.end() ? std::string() : it->second;
}

Status FakeWorkbook::writeCell(workbook::SheetId sheet, int row, int column,
                               std::string_view text) {
    if (auto error = Fails({"write", sheet.index, row, column, std::string(text)})) {
        return *error;
    }
    Result<int> index = Index(sheet);
    if (!index) {
        return index.error();
    }
    sheets_[static_cast<std::size_t>(*index)].cells[{row, column}] = std::string(text);
    return {};
}

Status FakeWorkbook::writeRange(workbook::SheetId sheet, std::string_view range,
                                std::string_view text) {
    if (auto error = Fails({"writeRange", sheet.index, 0, 0, std::string(range)})) {
        return *error;
    }
    Result<int> index = Index(sheet);
    const std::optional<Block> block = ParseBlock(range);
    if (!index || !block) {
        return MakeError(Errc::BadAddress, "bad range");
    }
    Sheet& s = sheets_[static_cast<std::size_t>(*index)];
    for (int row = block->firstRow; row <= block->lastRow; ++row) {
        s.cells[{row, block->column}] = std::string(text);
    }
    return {};
}

Status FakeWorkbook::colourCell(workbook::SheetId sheet, int row, int column,
                                std::uint32_t colour) {
    if (auto error = Fails({"colour", sheet.index, row, column, std::to_string(colour)})) {
        return *error;
    }
    Result<int> index = Index(sheet);
    if (!index) {
        return index.error();
    }
    sheets_[static_cast<std::size_t>(*index)].fills[{row, column}] = colour;
    return {};
}

Result<workbook::SaveReport> FakeWorkbook::save() {
    if (auto error = Fails({"save", -1, 0, 0, {}})) {
        return *error;
    }
    unsaved_ = false;
    return workbook::SaveReport{path_, {}};
}

Status FakeWorkbook::close() {
    closed_ = true;
    return {};
}

Status FakeApp::show() {
    if (failShow) {
        return MakeError(Errc::Failed, "the fake application cannot show its window");
    }
    shown = true;
    return {};
}

std::function<Result<std::unique_ptr<workbook::SpreadsheetApp>>()> FakeApp::Starter(
    Maker makeBook) {
    return [makeBook = std::move(makeBook)]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(std::make_unique<FakeApp>(makeBook));
    };
}

Result<std::unique_ptr<workbook::Workbook>> FakeApp::open(const std::filesystem::path& file) {
    std::unique_ptr<FakeWorkbook> book = makeBook_ ? makeBook_(file) : nullptr;
    if (!book) {
        return MakeError(Errc::Io, "cannot open " + file.string() + ": no such file");
    }
    return std::unique_ptr<workbook::Workbook>(std::move(book));
}

}  // namespace tivaro::testing
