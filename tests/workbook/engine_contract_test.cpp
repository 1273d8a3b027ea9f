// The spreadsheet operations as the race relies on them, held against every engine: the
// embedded .xlsx engine and LibreOffice Calc (headless, documents hidden), called directly and
// from a worker thread of its own with a copy of the sheets where the race runs. The workbook is
// written by openpyxl; what an engine saved is read back by openpyxl too.

#include <memory>
#include <sstream>

#include <gtest/gtest.h>

#include "tests/workbook/calc_suite.h"
#include "tests/workbook/support.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

enum class Engine { Embedded, Calc, ThreadedCalc };

std::string EngineName(const ::testing::TestParamInfo<Engine>& info) {
    switch (info.param) {
        case Engine::Embedded:
            return "Embedded";
        case Engine::Calc:
            return "Calc";
        case Engine::ThreadedCalc:
            break;
    }
    return "ThreadedCalc";
}

// Loop!B3:B12 of the contract workbook (tests/workbook/openpyxl_helper.py contract).
constexpr const char* kCodes = "B3:B12";

class EngineContract : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        ASSERT_FALSE(ContractWorkbookBytes().empty()) << "openpyxl did not write it";
        file_ = scratch_ / "race.xlsx";
        WriteFile(file_, ContractWorkbookBytes());
        if (GetParam() == Engine::Embedded) {
            embedded_ = std::make_unique<XlsxApp>(scratch_ / "backup");
            app_ = embedded_.get();
        } else if (GetParam() == Engine::Calc) {
            app_ = SharedCalc();
            ASSERT_NE(app_, nullptr);
        } else {
            app_ = SharedThreadedCalc();
            ASSERT_NE(app_, nullptr);
        }
        book_ = OpenOrFail(*app_, file_);
        ASSERT_NE(book_, nullptr);
        loop_ = SheetNamed(*book_, "Loop");
    }

    void TearDown() override {
        if (book_) {
            (void)book_->close();
            Settle(*book_);
        }
    }

    std::string Read(int row, int column) {
        auto text = book_->readCell(loop_, row, column);
        EXPECT_TRUE(text) << text.error().message;
        return text ? *text : "<error>";
    }

    void Write(int row, int column, const std::string& text) {
        Status written = book_->writeCell(loop_, row, column, text);
        ASSERT_TRUE(written) << written.error().message;
    }

    Result<int> Find(const std::string& text) { return book_->find(loop_, kCodes, text); }

    // Saves, then the cells as openpyxl reads them from the file: "SHEET!CELL TYPE FILL VALUE".
    std::vector<std::string> SavedCells(const std::vector<std::string>& cells) {
        auto saved = book_->save();
        EXPECT_TRUE(saved) << saved.error().message;
        Settle(*book_);
        std::vector<std::string> args = {"cells", file_.string()};
        args.insert(args.end(), cells.begin(), cells.end());
        std::istringstream lines(RunOpenpyxl(args));
        std::vector<std::string> result;
        for (std::string line; std::getline(lines, line);) {
            result.push_back(line);
        }
        return result;
    }

    ScratchDir scratch_;
    std::filesystem::path file_;
    std::unique_ptr<XlsxApp> embedded_;
    SpreadsheetApp* app_ = nullptr;
    std::unique_ptr<Workbook> book_;
    SheetId loop_;
};

TEST_P(EngineContract, ReadsCellsAsASpreadsheetShowsThemInGeneralFormat) {
    EXPECT_EQ(Read(3, 1), "201");
    EXPECT_EQ(Read(3, 2), "7405583");
    EXPECT_EQ(Read(4, 2), "KX-05126");
    EXPECT_EQ(Read(7, 2), "\xC3\x84rger");
    EXPECT_EQ(Read(10, 2), "12.5");
    EXPECT_EQ(Read(11, 2), "0.3");
    EXPECT_EQ(Read(3, 5), "1E+20");
    EXPECT_EQ(Read(3, 8), "-0.25");
    EXPECT_EQ(Read(3, 20), "2");
    EXPECT_EQ(Read(4, 20), "3");
    EXPECT_EQ(Read(99, 26), "");

    // A row in one call reads what the cells read one by one.
    auto row = book_->readRow(loop_, 3, 20);
    ASSERT_TRUE(row) << row.error().message;
    ASSERT_EQ(row->size(), 20u);
    for (int column = 1; column <= 20; ++column) {
        EXPECT_EQ((*row)[column - 1], Read(3, column)) << "column " << column;
    }
    // And a block of rows the same, row by row.
    auto block = book_->readBlock(loop_, 3, 11, 20);
    ASSERT_TRUE(block) << block.error().message;
    ASSERT_EQ(block->size(), 9u);
    for (int r = 3; r <= 11; ++r) {
        ASSERT_EQ((*block)[r - 3].size(), 20u);
        for (int column = 1; column <= 20; ++column) {
            EXPECT_EQ((*block)[r - 3][column - 1], Read(r, column))
                << "row " << r << ", column " << column;
        }
    }
}

TEST_P(EngineContract, WritesTextsAsTextsAndBlocksWhole) {
    Write(4, 6, "1");
    Write(4, 7, "12:34:56.7");
    Write(4, 8, "=1+1");
    Write(3, 6, "");
    ASSERT_TRUE(book_->writeRange(loop_, "T5:T8", "1"));
    ASSERT_TRUE(book_->writeRange(loop_, "I5:J6", "9:0:0.00"));
    EXPECT_TRUE(book_->hasUnsavedChanges());

    EXPECT_EQ(Read(4, 6), "1");
    EXPECT_EQ(Read(4, 7), "12:34:56.7");
    EXPECT_EQ(Read(4, 8), "=1+1");
    EXPECT_EQ(Read(3, 6), "");
    for (int row = 5; row <= 8; ++row) {
        EXPECT_EQ(Read(row, 20), "1") << "row " << row;
    }
    EXPECT_EQ(Read(4, 20), "3");  // just outside the block
    EXPECT_EQ(Read(9, 20), "");
    EXPECT_EQ(Read(6, 10), "9:0:0.00");

    // In the file they are strings, not a number and a time.
    EXPECT_EQ(SavedCells({"Loop!F4", "Loop!G4", "Loop!T5", "Loop!J6"}),
              (std::vector<std::string>{"Loop!F4 s none 1", "Loop!G4 s none 12:34:56.7",
                                        "Loop!T5 s none 1", "Loop!J6 s none 9:0:0.00"}));
    EXPECT_FALSE(book_->hasUnsavedChanges());
}

TEST_P(EngineContract, ColoursAreRedPlusGreenTimes256PlusBlueTimes65536) {
    ASSERT_TRUE(book_->colourCell(loop_, 3, 1, 255));       // red
    ASSERT_TRUE(book_->colourCell(loop_, 4, 1, 65535));     // yellow
    ASSERT_TRUE(book_->colourCell(loop_, 5, 1, 16711680));  // blue
    ASSERT_TRUE(book_->colourCell(loop_, 6, 1, 0x336699));
    auto notAColour = book_->colourCell(loop_, 7, 1, 0x1000000);
    ASSERT_FALSE(notAColour);
    EXPECT_EQ(notAColour.error().code, Errc::Failed);
    // A coloured cell keeps its value.
    EXPECT_EQ(Read(3, 1), "201");

    EXPECT_EQ(SavedCells({"Loop!A3", "Loop!A4", "Loop!A5", "Loop!A6", "Loop!A7"}),
              (std::vector<std::string>{"Loop!A3 n 255 201", "Loop!A4 n 65535 202",
                                        "Loop!A5 n 16711680 203", "Loop!A6 n 3368601 204",
                                        "Loop!A7 n none 205"}));
}

TEST_P(EngineContract, FindsLiterallyWithoutCaseTopmostFirst) {
    const auto found = [&](const std::string& text) -> int {
        auto position = Find(text);
        return position ? *position : -1;
    };
    EXPECT_EQ(found("7405583"), 1);   // a numeric cell by its number text; B8 holds it too
    EXPECT_EQ(found("kx-05126"), 2);  // B12 holds it in lower case, further down
    EXPECT_EQ(found("a?c"), 3);
    EXPECT_EQ(found("A*"), 4);
    EXPECT_EQ(found("\xC3\xA4RGER"), 5);  // Ä and ä are one letter
    EXPECT_EQ(found("7405590"), 7);       // a text of digits
    EXPECT_EQ(found("12.5"), 8);
    EXPECT_EQ(found("0.3"), 9);
    // "?" and "*" are no wildcards.
    EXPECT_EQ(found("ABC"), -1);
    EXPECT_EQ(found("A*C"), -1);
    EXPECT_EQ(found("Ax"), -1);
    EXPECT_EQ(found("7405583.0"), -1);

    auto missing = Find("1234567");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, Errc::NotFound);
    auto empty = Find("");
    ASSERT_FALSE(empty);
    EXPECT_EQ(empty.error().code, Errc::NotFound);

    // A lookup sees what was written into the block since the last one.
    Write(3, 2, "weg");
    Write(12, 2, "Nieuw");
    EXPECT_EQ(found("7405583"), 6);
    EXPECT_EQ(found("nieuw"), 10);
    EXPECT_EQ(found("KX-05126"), 2);

    // One row is a block to search as well.
    auto inRow = book_->find(loop_, "A3:H3", "naam 201");
    ASSERT_TRUE(inRow) << inRow.error().message;
    EXPECT_EQ(*inRow, 4);
}

TEST_P(EngineContract, ActivatesSheetsByNameWithoutRegardToCase) {
    auto active = book_->activeSheet();
    ASSERT_TRUE(active);
    EXPECT_EQ(*active, loop_);  // the sheet the file opens on

    ASSERT_TRUE(book_->activate("FIETS"));
    active = book_->activeSheet();
    ASSERT_TRUE(active);
    EXPECT_EQ(*active, SheetNamed(*book_, "fiets"));
    auto name = book_->sheetName(*active);
    ASSERT_TRUE(name);
    EXPECT_EQ(*name, "fiets");
    EXPECT_EQ(book_->sheetNames(), (std::vector<std::string>{"Info", "Loop", "fiets"}));

    auto missing = book_->activate("schaats");
    ASSERT_FALSE(missing);
    EXPECT_EQ(missing.error().code, Errc::NoSuchSheet);
    active = book_->activeSheet();
    ASSERT_TRUE(active);
    EXPECT_EQ(*active, SheetNamed(*book_, "fiets"));

    // A SheetId stays bound to its sheet, whichever is active.
    Write(20, 6, "op loop");
    ASSERT_TRUE(book_->activate("loop"));
    EXPECT_EQ(Read(20, 6), "op loop");
    auto fiets = book_->readCell(SheetNamed(*book_, "fiets"), 20, 6);
    ASSERT_TRUE(fiets);
    EXPECT_EQ(*fiets, "");
}

TEST_P(EngineContract, RefusesAddressesOutsideTheSheetAndClosedWorkbooks) {
    const auto code = [](const Status& status) {
        return status ? Errc::Failed : status.error().code;
    };
    auto row0 = book_->readCell(loop_, 0, 1);
    ASSERT_FALSE(row0);
    EXPECT_EQ(row0.error().code, Errc::BadAddress);
    EXPECT_EQ(code(book_->writeCell(loop_, 3, 0, "x")), Errc::BadAddress);
    EXPECT_EQ(code(book_->writeRange(loop_, "F3:", "x")), Errc::BadAddress);
    auto square = book_->find(loop_, "B3:C12", "7405583");
    ASSERT_FALSE(square);
    EXPECT_EQ(square.error().code, Errc::BadAddress);
    auto noSheet = book_->readCell(SheetId{7}, 1, 1);
    ASSERT_FALSE(noSheet);
    EXPECT_EQ(noSheet.error().code, Errc::NoSuchSheet);

    ASSERT_TRUE(book_->close());
    EXPECT_EQ(code(book_->writeCell(loop_, 3, 6, "x")), Errc::Closed);
    auto afterClose = Find("7405583");
    ASSERT_FALSE(afterClose);
    EXPECT_EQ(afterClose.error().code, Errc::Closed);
    book_.reset();
}

INSTANTIATE_TEST_SUITE_P(Engines, EngineContract,
                         ::testing::Values(Engine::Embedded, Engine::Calc, Engine::ThreadedCalc),
                         EngineName);

}  // namespace
}  // namespace tivaro::workbook::test
