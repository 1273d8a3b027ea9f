#pragma once
// The demo race workbook: sheets "schaats", "loop" and "fiets" (active: "schaats"), a title
// in row 1 and headings in row 2, twenty competitors per sheet in rows 3 to 22 with bib
// numbers, transponder codes (numbers such as 7404583 and texts such as "KX-04126") and, on
// "schaats", heats 1 to 5. Row 2 names the columns the program fills for that sport: the start
// in F, "Doork k" in F + k, the finish in K (running), N (cycling) or P (skating), the lap
// counter in T. Beside it, from U, formulas give every lap time and the total time of the
// passing-time texts, for any lap count of the sport.

#include <string>

#include "common/result.h"

namespace tivaro::demo {

// The .xlsx file's bytes; the same on every run.
Result<std::string> DemoWorkbookBytes();

}  // namespace tivaro::demo
