#include "race_book.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

namespace tivaro::testing {

std::string TransponderOf(int sheet, int i) {
    if (i % 4 == 3) {
        char text[16];
        std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sheet + i);
        return text;
    }
    return std::to_string(7404583 + 1000 * sheet + i);
}

std::unique_ptr<FakeWorkbook> MakeRaceBook() {
    auto book =
        std::make_unique<FakeWorkbook>(std::vector<std::string>{"schaats", "loop", "fiets"});
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

ScratchDir::ScratchDir() {
    std::string pattern = ::testing::TempDir() + "tivaro-timing-XXXXXX";
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("cannot create a scratch directory from " + pattern);
    }
    path_ = pattern;
}

ScratchDir::~ScratchDir() {
    std::error_code ec;
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

std::string ReadFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
}

}  // namespace tivaro::testing
