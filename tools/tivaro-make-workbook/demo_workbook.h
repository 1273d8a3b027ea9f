#pragma once
// The demo race workbook: sheets "schaats", "loop" and "fiets" (active: "schaats"), a title
// in row 1 and headings in row 2, twenty competitors per sheet in rows 3 to 22 with bib
// numbers, transponder codes (numbers such as 7404583 and texts such as "KX-04126") and, on
// "schaats", heats 1 to 5; beside the lap counter in column T, formulas for the lap times and
// the total time computed from the passing times in F to P.

#include <string>

#include "common/result.h"

namespace tivaro::demo {

// The .xlsx file's bytes; the same on every run.
Result<std::string> DemoWorkbookBytes();

}  // namespace tivaro::demo
