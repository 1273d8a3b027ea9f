#pragma once
// For tests and benchmarks of the Calc engine: what a person at the keyboard, or a crash, does
// to Calc behind the program's back.

#include <filesystem>
#include <optional>
#include <string>

#include "common/result.h"
#include "workbook/workbook.h"

namespace tivaro::workbook {

// The soffice process that StartCalc started for `app`, while it runs; nullopt for another
// engine's app or a Calc the engine joined.
std::optional<int> CalcProcessId(const SpreadsheetApp& app);

// Closes the document of `file` in the Calc of `app`, as a person closes its window.
Status CloseInCalc(const SpreadsheetApp& app, const std::filesystem::path& file);

// Quits the Calc of `app`, as a person quits it from its menu.
Status QuitCalc(const SpreadsheetApp& app);

// Opens the document of `file` in the Calc of `app` as a person does (hidden when the app
// loads documents hidden), not through the engine.
Status OpenInCalc(const SpreadsheetApp& app, const std::filesystem::path& file);

// How many documents of `file` the Calc of `app` has open.
Result<int> DocumentsOpenInCalc(const SpreadsheetApp& app, const std::filesystem::path& file);

// Changes a sheet of the document of `file` as a person does in Calc: inserts `count` empty
// rows before `row`, or empty columns before `column` (1 is A); moves the cells of `block`
// ("F5:G5") so that its top left cell lands on `destination` ("F30").
Status InsertRowsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                        const std::string& sheet, int row, int count);
Status InsertColumnsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                           const std::string& sheet, int column, int count);
Status MoveCellsInCalc(const SpreadsheetApp& app, const std::filesystem::path& file,
                       const std::string& sheet, const std::string& block,
                       const std::string& destination);

}  // namespace tivaro::workbook
