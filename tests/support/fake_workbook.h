#pragma once
// An in-memory workbook for the tests: named sheets of text cells with fill colours, a record
// of every call, and failures on demand. One fake for every test that needs a workbook without
// the real engine.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "workbook/workbook.h"

namespace tivaro::testing {

// One call on the fake; `op` is "find", "read", "write", "writeRange", "colour", "activate",
// "activeSheet" or "save".
struct WorkbookCall {
    std::string op;
    int sheet = -1;
    int row = 0;
    int column = 0;
    std::string text;  // range, sheet name, written text or colour number
};

class FakeWorkbook final : public workbook::Workbook {
public:
    explicit FakeWorkbook(std::vector<std::string> sheetNames, int activeSheet = 0,
                          std::filesystem::path path = "fake.xlsx");

    // Direct access for arranging and checking, bypassing the call record and failures.
    std::string& cell(std::string_view sheet, int row, int column);
    std::string cellText(std::string_view sheet, int row, int column) const;
    std::optional<std::uint32_t> fill(std::string_view sheet, int row, int column) const;
    workbook::SheetId sheetId(std::string_view name) const;

    // Calls for which this returns true fail with Errc::Failed (after being recorded), as a
    // cell the spreadsheet refuses does; close() makes every call fail with Errc::Closed.
    std::function<bool(const WorkbookCall&)> failIf;
    mutable std::vector<WorkbookCall> calls;
    // Counts the calls that changed the workbook, and the saves tried.
    int writeCount() const;
    int saveCount() const;

    const std::filesystem::path& path() const override { return path_; }
    std::vector<std::string> sheetNames() const override { return names_; }
    Result<std::string> sheetName(workbook::SheetId sheet) const override;
    Result<workbook::SheetId> activeSheet() const override;
    Status activate(std::string_view sheetName) override;
    Result<int> find(workbook::SheetId sheet, std::string_view range,
                     std::string_view text) override;
    Result<std::string> readCell(workbook::SheetId sheet, int row, int column) override;
    Status writeCell(workbook::SheetId sheet, int row, int column, std::string_view text) override;
    Status writeRange(workbook::SheetId sheet, std::string_view range,
                      std::string_view text) override;
    Status colourCell(workbook::SheetId sheet, int row, int column, std::uint32_t colour) override;
    bool hasUnsavedChanges() const override { return unsaved_; }
    Result<workbook::SaveReport> save() override;
    Status close() override;

private:
    using Key = std::pair<int, int>;  // row, column
    struct Sheet {
        std::map<Key, std::string> cells;
        std::map<Key, std::uint32_t> fills;
    };

    std::optional<Error> Fails(WorkbookCall call) const;
    Result<int> Index(workbook::SheetId sheet) const;

    std::filesystem::path path_;
    std::vector<std::string> names_;
    std::vector<Sheet> sheets_;
    int active_ = 0;
    bool closed_ = false;
    mutable bool unsaved_ = false;  // set by the record of a changing call
};

// A spreadsheet application that opens the fake workbooks `makeBook` makes; a null workbook
// means the file cannot be opened.
class FakeApp final : public workbook::SpreadsheetApp {
public:
    using Maker = std::function<std::unique_ptr<FakeWorkbook>(const std::filesystem::path&)>;
    // A starter of fake applications whose workbooks `makeBook` makes.
    static std::function<Result<std::unique_ptr<workbook::SpreadsheetApp>>()> Starter(
        Maker makeBook);
    explicit FakeApp(Maker makeBook) : makeBook_(std::move(makeBook)) {}

    bool failShow = false;
    bool shown = false;

    Status show() override;
    Result<std::unique_ptr<workbook::Workbook>> open(const std::filesystem::path& file) override;

private:
    Maker makeBook_;
};

}  // namespace tivaro::testing
