#pragma once
// For tests and benchmarks of the Calc engine: what a person at the keyboard, or a crash, does
// to Calc behind the program's back.

#include <filesystem>
#include <optional>

#include "common/result.h"
#include "workbook/workbook.h"

namespace tivaro::workbook {

// The soffice process that StartCalc started for `app`, while it runs; nullopt for another
// engine's app or a Calc the engine joined.
std::optional<int> CalcProcessId(const SpreadsheetApp& app);

// Closes the document of `file` in the Calc of `app`, as a person closes its window.
Status CloseInCalc(const SpreadsheetApp& app, const std::filesystem::path& file);

}  // namespace tivaro::workbook
