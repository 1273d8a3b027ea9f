#pragma once
// The Workbook of the embedded engine (made by XlsxApp::open).

#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "workbook/atomic_file.h"
#include "workbook/formula_graph.h"
#include "workbook/package.h"
#include "workbook/shared_strings.h"
#include "workbook/sheet_cells.h"
#include "workbook/styles.h"
#include "workbook/workbook.h"
#include "workbook/workbook_part.h"

namespace tivaro::workbook {

class XlsxWorkbook final : public Workbook {
public:
    // `package` holds the file's content as read, `stamp` the file's identity when it was read.
    static Result<std::unique_ptr<XlsxWorkbook>> Load(std::filesystem::path file, Package package,
                                                      FileStamp stamp,
                                                      std::filesystem::path backupDirectory,
                                                      FileWriter& writer);

    const std::filesystem::path& path() const override { return path_; }
    std::vector<std::string> sheetNames() const override;
    Result<std::string> sheetName(SheetId sheet) const override;
    Result<SheetId> activeSheet() const override;
    Status activate(std::string_view sheetName) override;
    Result<int> find(SheetId sheet, std::string_view range, std::string_view text) override;
    Result<std::string> readCell(SheetId sheet, int row, int column) override;
    Status writeCell(SheetId sheet, int row, int column, std::string_view text) override;
    Status writeRange(SheetId sheet, std::string_view range, std::string_view text) override;
    Status colourCell(SheetId sheet, int row, int column, std::uint32_t colour) override;
    bool hasUnsavedChanges() const override { return unsaved_; }
    Result<SaveReport> save() override;
    Result<SaveReport> saveAs(const std::filesystem::path& file) override;
    Status close() override;

private:
    XlsxWorkbook(std::filesystem::path file, Package package, FileStamp stamp,
                 std::filesystem::path backupDirectory, FileWriter& writer);

    Status loadParts();
    // The cells of a worksheet, parsed on first use, or an error naming the sheet.
    Result<SheetCells*> cells(SheetId sheet);
    Status checkCell(SheetId sheet, int row, int column) const;
    std::string where(SheetId sheet) const;
    std::string where(SheetId sheet, int row, int column) const;
    Result<std::string> buildPackage();
    // Saves to `chosen`, or to the file in force when none is chosen.
    Result<SaveReport> saveTo(const std::optional<std::filesystem::path>& chosen);
    // The formulas of every worksheet and what they read; sheets not used so far are parsed.
    std::unique_ptr<FormulaGraph> buildFormulaGraph();
    // Has the formulas made stale by the writes since the last save leave their cached
    // results out of the file.
    void leaveOutStaleResults();

    std::filesystem::path path_;
    Package package_;
    FileStamp stamp_;
    std::filesystem::path backupDirectory_;
    FileWriter* writer_;
    std::unique_ptr<WorkbookPart> workbook_;
    std::unique_ptr<SharedStrings> strings_;
    std::unique_ptr<Styles> styles_;
    std::vector<std::unique_ptr<SheetCells>> sheets_;  // null until first used
    std::string droppedCalcChain_;
    std::unique_ptr<FormulaGraph> formulas_;  // built at the first save after a write
    std::vector<SheetBlock> writtenSinceSave_;
    int activeSheet_ = 0;
    bool unsaved_ = false;
    bool valuesWritten_ = false;
    bool backupDone_ = false;
    bool closed_ = false;
};

}  // namespace tivaro::workbook
