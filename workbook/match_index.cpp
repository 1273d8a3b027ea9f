#include "workbook/match_index.h"

#include <algorithm>

namespace tivaro::workbook {

void FoldCase(std::string_view text, std::string& out) {
    out.assign(text);
    for (std::size_t i = 0; i < out.size(); ++i) {
        const auto byte = static_cast<unsigned char>(out[i]);
        if (byte >= 'A' && byte <= 'Z') {
            out[i] = static_cast<char>(byte + ('a' - 'A'));
        } else if (byte == 0xC3 && i + 1 < out.size()) {
            // U+00C0..U+00DE except U+00D7 (multiplication sign): C3 80..C3 9E -> C3 A0..C3 BE.
            const auto next = static_cast<unsigned char>(out[i + 1]);
            if (next >= 0x80 && next <= 0x9E && next != 0x97) {
                out[i + 1] = static_cast<char>(next + 0x20);
            }
            ++i;
        }
    }
}

void MatchIndex::add(std::string_view text, int row) {
    if (text.empty()) {
        return;
    }
    FoldCase(text, scratch_);
    std::vector<int>& rows = rows_[scratch_];
    const auto at = std::lower_bound(rows.begin(), rows.end(), row);
    if (at == rows.end() || *at != row) {
        rows.insert(at, row);
    }
}

void MatchIndex::remove(std::string_view text, int row) {
    if (text.empty()) {
        return;
    }
    FoldCase(text, scratch_);
    const auto found = rows_.find(scratch_);
    if (found == rows_.end()) {
        return;
    }
    std::vector<int>& rows = found->second;
    const auto at = std::lower_bound(rows.begin(), rows.end(), row);
    if (at != rows.end() && *at == row) {
        rows.erase(at);
    }
    if (rows.empty()) {
        rows_.erase(found);
    }
}

std::optional<int> MatchIndex::find(std::string_view text, int firstRow, int lastRow) const {
    if (text.empty()) {
        return std::nullopt;
    }
    FoldCase(text, scratch_);
    const auto found = rows_.find(scratch_);
    if (found == rows_.end()) {
        return std::nullopt;
    }
    const std::vector<int>& rows = found->second;
    const auto at = std::lower_bound(rows.begin(), rows.end(), firstRow);
    if (at == rows.end() || *at > lastRow) {
        return std::nullopt;
    }
    return *at;
}

}  // namespace tivaro::workbook
