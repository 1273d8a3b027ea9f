#pragma once
// Moving a formula to another cell the way a spreadsheet copies it: relative references
// ("B3", "B$3", "A:A", "3:5") follow the move, absolute parts ("$B$3") stay. Text in quotes,
// quoted sheet names and structured references ("Table1[Col]") are left alone.

#include <string>
#include <string_view>

namespace tivaro::workbook {

// `formula` (without "=") as it reads when moved by `rows` rows and `columns` columns.
// A reference moved off the sheet becomes "#REF!".
std::string ShiftFormula(std::string_view formula, int rows, int columns);

}  // namespace tivaro::workbook
