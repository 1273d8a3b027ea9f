#pragma once
// Case-insensitive lookup of cell texts in one column, the way a spreadsheet's MATCH with
// match type 0 compares texts, without scanning the column for every lookup.

#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace tivaro::workbook {

// `text` with ASCII letters and the Latin-1 letters À..Þ (in UTF-8) in lower case; every
// other byte, and so every other UTF-8 sequence, is kept as it is. Writes into `out`.
void FoldCase(std::string_view text, std::string& out);

class MatchIndex {
public:
    void add(std::string_view text, int row);
    void remove(std::string_view text, int row);
    // The topmost row in firstRow..lastRow whose text equals `text` ignoring case.
    std::optional<int> find(std::string_view text, int firstRow, int lastRow) const;

private:
    std::unordered_map<std::string, std::vector<int>> rows_;  // folded text -> sorted rows
    mutable std::string scratch_;
};

}  // namespace tivaro::workbook
