#pragma once
// Test fixtures shared by the timing tests: a race workbook laid out like the demo workbook.

#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/fake_workbook.h"
#include "tests/support/scratch_dir.h"

namespace tivaro::testing {

// Sheets "schaats", "loop", "fiets" (active "schaats"); rows 3..22 hold twenty competitors,
// competitor i in row 3 + i: bib 101 + i (201 + i, 301 + i on the other sheets), transponder
// TransponderOf(sheet, i), and on "schaats" heat (i % 5) + 1.
std::unique_ptr<FakeWorkbook> MakeRaceBook(std::filesystem::path path = "fake.xlsx");
std::string TransponderOf(int sheet, int i);

// A sheet row of the race standings from column A to T; `cells` maps columns (1 is A) to texts.
std::vector<std::string> SheetRow(const std::map<int, std::string>& cells);

}  // namespace tivaro::testing
