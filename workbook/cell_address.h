#pragma once
// A1-style cell and block addresses ("B3", "$B$3", "F3:F200"), as the sheet XML and the
// callers write them. Rows and columns count from 1; column 1 is A.

#include <optional>
#include <string>
#include <string_view>

namespace tivaro::workbook {

inline constexpr int kMaxRow = 1048576;
inline constexpr int kMaxColumn = 16384;  // XFD

struct CellRef {
    int row = 0;
    int column = 0;
    bool operator==(const CellRef&) const = default;
};

// A rectangular block, first <= last in both directions.
struct CellBlock {
    CellRef first;
    CellRef last;
    long long cellCount() const {
        return static_cast<long long>(last.row - first.row + 1) * (last.column - first.column + 1);
    }
};

// "A" for 1, "Z" for 26, "AA" for 27; empty for a column outside 1..kMaxColumn.
std::string ColumnName(int column);
// "B3" for row 3, column 2.
std::string CellName(int row, int column);
// Column letters (either case) to the column number; nullopt when not letters or too far.
std::optional<int> ParseColumn(std::string_view letters);
// "B3" or "$B$3" (letters in either case; read as a1_reference.h reads references); nullopt
// when malformed or out of range.
std::optional<CellRef> ParseCellRef(std::string_view text);
// "B3:B200" or a single cell "B3"; corners in any order are normalised.
std::optional<CellBlock> ParseBlock(std::string_view text);

}  // namespace tivaro::workbook
