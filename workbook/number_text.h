#pragma once
// Numbers as a spreadsheet shows them in General format: at most 15 significant digits, no
// trailing zeros or ".0", plain digits for ordinary magnitudes ("12", "1.5", "7404583",
// "0.3" for 0.1 + 0.2) and exponent form only for very large or very small ones ("1E+20").

#include <optional>
#include <string>
#include <string_view>

namespace tivaro::workbook {

std::string NumberText(double value);

// The General-format text of a number as the sheet XML stores it ("7404583", "1.5E-3");
// nullopt when `stored` is not a number.
std::optional<std::string> NumberTextFromStored(std::string_view stored);

}  // namespace tivaro::workbook
