#pragma once
// Helpers shared by the workbook engine tests: scratch folders, packages written by hand,
// and the other programs that write and read workbooks (openpyxl, LibreOffice).

#include <filesystem>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "tests/support/scratch_dir.h"
#include "workbook/workbook.h"

namespace tivaro::workbook::test {

using tivaro::testing::ReadFile;
using tivaro::testing::ScratchDir;
using tivaro::testing::WriteFile;

// A workbook package from the given parts, with the usual content types and relationships
// added for a workbook part and worksheets "xl/worksheets/sheetN.xml" named in `sheets`.
// `extraParts` are added as given (styles, shared strings, ...), `workbookRels` holds extra
// relationships of the workbook part as XML.
struct HandMadeWorkbook {
    std::vector<std::pair<std::string, std::string>> sheets;  // name, sheet XML
    std::vector<std::pair<std::string, std::string>> extraParts;
    std::string workbookRels;
    std::string workbookExtra;  // XML placed after <sheets>
    int activeTab = 0;
};
std::string BuildHandMade(const HandMadeWorkbook& workbook);

// A worksheet part holding `cellsXml` as its <sheetData> content.
std::string SheetXml(const std::string& cellsXml);

// Runs /usr/bin/python3 tests/workbook/openpyxl_helper.py with `args`; its output, or fails
// the calling test (check with HasFatalFailure) when it exits non-zero.
std::string RunOpenpyxl(const std::vector<std::string>& args);

// The contract workbook (openpyxl_helper.py contract), made once per test program; empty when
// openpyxl failed.
const std::string& ContractWorkbookBytes();

// Converts every sheet of each file to CSV with LibreOffice in one run; returns for each file
// and sheet ("file-stem/sheet") the rows of cells. Empty when soffice failed (the test fails).
// `dutch`: LibreOffice set to Dutch, as at the track (times and numbers as it shows them there).
using CsvSheets = std::map<std::string, std::vector<std::vector<std::string>>>;
CsvSheets ConvertWithLibreOffice(const std::vector<std::filesystem::path>& files,
                                 const std::filesystem::path& outDir, bool dutch = false);

// Opens with the embedded engine, or fails the test.
std::unique_ptr<Workbook> OpenOrFail(SpreadsheetApp& app, const std::filesystem::path& file);

// The index of the sheet of that name.
SheetId SheetNamed(Workbook& workbook, const std::string& name);

}  // namespace tivaro::workbook::test
