// The workbook on a worker thread, with the embedded engine behind it (quick, no Calc): what
// the caller sees at once, what reaches the file, and what comes back through news().

#include <gtest/gtest.h>

#include "tests/workbook/support.h"
#include "workbook/threaded/threaded_workbook.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

constexpr std::chrono::seconds kLimit{30};

class ThreadedWorkbookTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ContractWorkbookBytes().empty()) << "openpyxl did not write it";
        file_ = scratch_.path() / "race.xlsx";
        WriteFile(file_, ContractWorkbookBytes());
        const std::filesystem::path backups = scratch_.path() / "backup";
        app_ = std::make_shared<ThreadedApp>(
            [backups]() -> Result<std::unique_ptr<SpreadsheetApp>> {
                return std::unique_ptr<SpreadsheetApp>(std::make_unique<XlsxApp>(backups));
            },
            ThreadedOptions{});
        book_ = OpenOrFail(*app_, file_);
        ASSERT_NE(book_, nullptr);
        loop_ = SheetNamed(*book_, "Loop");
    }

    // The cell as a fresh open of the file reads it.
    std::string InFile(int row, int column) {
        XlsxApp direct(scratch_.path() / "backup2");
        std::unique_ptr<Workbook> book = OpenOrFail(direct, file_);
        if (!book) {
            return "<not opened>";
        }
        auto text = book->readCell(SheetNamed(*book, "Loop"), row, column);
        return text ? *text : "<" + text.error().message + ">";
    }

    ScratchDir scratch_;
    std::filesystem::path file_;
    std::shared_ptr<ThreadedApp> app_;
    std::unique_ptr<Workbook> book_;
    SheetId loop_;
};

TEST_F(ThreadedWorkbookTest, ChangesAreReadAtOnceAndReachTheFileInOrder) {
    // A burst of changes to the same cells: the last one counts, here and in the file.
    for (int lap = 1; lap <= 50; ++lap) {
        ASSERT_TRUE(book_->writeCell(loop_, 3, 20, std::to_string(lap)));
        ASSERT_TRUE(book_->writeCell(loop_, 3, 5 + lap % 10, "10:0:" + std::to_string(lap)));
        auto counter = book_->readCell(loop_, 3, 20);
        ASSERT_TRUE(counter);
        EXPECT_EQ(*counter, std::to_string(lap));
    }
    ASSERT_TRUE(book_->writeRange(loop_, "T5:T8", "1"));
    auto found = book_->find(loop_, "T3:T8", "1");
    ASSERT_TRUE(found) << found.error().message;
    EXPECT_EQ(*found, 3);
    ASSERT_TRUE(book_->save());
    ASSERT_TRUE(book_->settle(kLimit));

    EXPECT_EQ(InFile(3, 20), "50");
    EXPECT_EQ(InFile(3, 5), "10:0:50");   // lap 50 went to column 5 + 0
    EXPECT_EQ(InFile(3, 14), "10:0:49");  // lap 49 to column 5 + 9
    EXPECT_EQ(InFile(8, 20), "1");
    const WorkbookNews news = book_->news();
    EXPECT_TRUE(news.problems.empty());
    EXPECT_EQ(news.waitingChanges, 0u);
    EXPECT_FALSE(news.notAnswering);
}

TEST_F(ThreadedWorkbookTest, WhatFailsOnTheWorkerComesBackThroughNews) {
    // Taken on at once; the failure is the worker's, told afterwards and once.
    ASSERT_TRUE(book_->writeCopy(scratch_.path() / "no-such-folder" / "copy.xlsx"));
    ASSERT_TRUE(book_->settle(kLimit));
    WorkbookNews news = book_->news();
    ASSERT_EQ(news.problems.size(), 1u);
    EXPECT_NE(news.problems[0].message.find("no-such-folder"), std::string::npos)
        << news.problems[0].message;
    EXPECT_TRUE(book_->news().problems.empty());

    // Addresses no sheet has are refused at once, as every engine refuses them.
    auto outside = book_->writeCell(loop_, 0, 1, "x");
    ASSERT_FALSE(outside);
    EXPECT_EQ(outside.error().code, Errc::BadAddress);
    auto noSheet = book_->readCell(SheetId{9}, 1, 1);
    ASSERT_FALSE(noSheet);
    EXPECT_EQ(noSheet.error().code, Errc::NoSuchSheet);
}

TEST_F(ThreadedWorkbookTest, ACloseSavesWhatCameBeforeAndRefusesWhatComesAfter) {
    ASSERT_TRUE(book_->writeCell(loop_, 12, 6, "10:1:2.00"));
    ASSERT_TRUE(book_->close());
    auto late = book_->writeCell(loop_, 12, 7, "10:2:3.00");
    ASSERT_FALSE(late);
    EXPECT_EQ(late.error().code, Errc::Closed);
    ASSERT_TRUE(book_->settle(kLimit));
    EXPECT_EQ(InFile(12, 6), "10:1:2.00");
    EXPECT_EQ(InFile(12, 7), "");
}

}  // namespace
}  // namespace tivaro::workbook::test
