#include "tests/support/race_book.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace tivaro::testing {

std::string TransponderOf(int sheet, int i) {
    if (i % 4 == 3) {
        char text[16];
        std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sheet + i);
        return text;
    }
    return std::to_string(7404583 + 1000 * sheet + i);
}

std::unique_ptr<FakeWorkbook> MakeRaceBook(std::filesystem::path path) {
    auto book = std::make_unique<FakeWorkbook>(std::vector<std::string>{"schaats", "loop", "fiets"},
                                               0, std::move(path));
    const char* names[] = {"schaats", "loop", "fiets"};
    for (int s = 0; s < 3; ++s) {
        for (int i = 0; i < 20; ++i) {
            book->cell(names[s], 3 + i, 1) = std::to_string(101 + 100 * s + i);
            book->cell(names[s], 3 + i, 2) = TransponderOf(s, i);
            if (s == 0) {
                book->cell(names[s], 3 + i, 3) = std::to_string(i % 5 + 1);
            }
        }
    }
    return book;
}

std::vector<std::string> SheetRow(const std::map<int, std::string>& cells) {
    constexpr int kColumnT = 20;
    std::vector<std::string> row(kColumnT);
    for (const auto& [column, text] : cells) {
        row[column - 1] = text;
    }
    return row;
}

}  // namespace tivaro::testing
