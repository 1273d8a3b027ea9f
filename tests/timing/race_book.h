#pragma once
// Test fixtures shared by the timing tests: a race workbook laid out like the demo workbook,
// and a scratch directory.

#include <filesystem>
#include <memory>
#include <string>

#include "fake_workbook.h"

namespace tivaro::testing {

// Sheets "schaats", "loop", "fiets" (active "schaats"); rows 3..22 hold twenty competitors,
// competitor i in row 3 + i: bib 101 + i (201 + i, 301 + i on the other sheets), transponder
// TransponderOf(sheet, i), and on "schaats" heat (i % 5) + 1.
std::unique_ptr<FakeWorkbook> MakeRaceBook();
std::string TransponderOf(int sheet, int i);

// A fresh directory under the test temp directory, removed with the object.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it does not exist.
std::string ReadFile(const std::filesystem::path& file);

}  // namespace tivaro::testing
