#pragma once
// The embedded engine: opens an .xlsx or .xlsm workbook itself, works on it in memory and
// writes it back to the same file, without any office suite.
//
// What it keeps: every part of the package it does not change is copied as it is; in the
// parts it changes (the sheets written to, the styles when a cell is coloured, the workbook
// part to ask for recalculation on load) everything it did not touch stays.
//
// Saving: the first save of a run first copies the workbook as it was opened into the backup
// folder (NAME-YYYYMMDD-HHMMSS.xlsx). Every save replaces the file atomically (a crash leaves
// the old or the new workbook). When another program changed the file since it was opened or
// last saved, the save goes to "NAME (Tivaro YYYYMMDD-HHMMSS).xlsx" beside it instead, with a
// notice, and later saves follow it there. A failed save leaves the file and the workbook in
// memory as they were; close() then keeps the workbook open so nothing is lost.
//
// Activate reads the sheet (once; a damaged sheet is refused then) and changes which sheet
// activeSheet() reports; the file keeps the active tab it had, so activating a sheet never
// rewrites the sheets involved.

#include <filesystem>
#include <memory>

#include "workbook/atomic_file.h"
#include "workbook/workbook.h"

namespace tivaro::workbook {

class XlsxApp final : public SpreadsheetApp {
public:
    explicit XlsxApp(std::filesystem::path backupDirectory);
    // For tests: `writer` does the disk writes of every save (it must outlive the workbooks).
    XlsxApp(std::filesystem::path backupDirectory, FileWriter& writer);

    // There is no window to show.
    Status show() override { return {}; }
    // Opens an .xlsx or .xlsm workbook. An .xls or .ods file, or any other file, is refused
    // with a message that names its format; a damaged one, or one over the caps of
    // workbook/limits.h, with a message that says what is wrong. The sheet the workbook opens
    // on is read at once. Temporary files that killed saves of this workbook left beside it
    // and in the backup folder are removed. No exception leaves the returned workbook: every
    // failure, running out of memory included, is an Error.
    Result<std::unique_ptr<Workbook>> open(const std::filesystem::path& file) override;

private:
    Result<std::unique_ptr<Workbook>> openChecked(const std::filesystem::path& absolute);

    std::filesystem::path backupDirectory_;
    FileWriter* writer_;
};

}  // namespace tivaro::workbook
