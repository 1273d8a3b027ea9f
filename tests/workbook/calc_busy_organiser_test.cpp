// The organiser at work in a visible Calc while the race writes into the workbook through the
// Calc worker: a cell being typed into (edit mode), and a modal dialog open (Format Cells).
// Neither holds up Calc's answers, so the race's writes land meanwhile; what the organiser
// types reaches the race's copy of the sheet once it is entered. Runs under a display
// (xvfb-run) with xdotool to type into Calc's window.

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "tests/workbook/calc_suite.h"
#include "tests/workbook/support.h"
#include "workbook/calc/calc_app.h"

namespace tivaro::workbook::test {
namespace {

constexpr std::chrono::seconds kLimit{30};

// Runs xdotool with `arguments`; its output.
std::string Xdotool(const std::string& arguments) {
    std::string output;
    if (FILE* pipe = ::popen(("xdotool " + arguments + " 2>/dev/null").c_str(), "r")) {
        char buffer[256];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            output += buffer;
        }
        ::pclose(pipe);
    }
    while (!output.empty() && (output.back() == '\n' || output.back() == ' ')) {
        output.pop_back();
    }
    return output;
}

// The first line of `text`.
std::string FirstLine(const std::string& text) {
    return text.substr(0, text.find('\n'));
}

class CalcBusyOrganiser : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("DISPLAY") == nullptr) {
            GTEST_SKIP() << "needs a display: run under xvfb-run";
        }
        ASSERT_FALSE(Xdotool("version").empty()) << "xdotool is not installed";
        ASSERT_FALSE(ContractWorkbookBytes().empty()) << "openpyxl did not write it";
        file_ = scratch_.path() / "busy.xlsx";
        WriteFile(file_, ContractWorkbookBytes());
        CalcOptions options = DisposableCalcOptions(PipeFor("busy"));
        options.headless = false;
        options.hidden = false;
        options.saveThroughCalc = true;
        options.windowArea = std::array<int, 4>{0, 0, 1200, 800};
        ThreadedOptions threaded;
        threaded.answerLimit = std::chrono::milliseconds(1'000);
        app_ = StartCalcOnWorker(options, threaded);
        book_ = OpenOrFail(*app_, file_);
        ASSERT_NE(book_, nullptr);
        loop_ = SheetNamed(*book_, "Loop");
        window_ = FirstLine(Xdotool("search --sync --onlyvisible --name busy.xlsx"));
        ASSERT_FALSE(window_.empty()) << "Calc's window did not show";
        Xdotool("windowfocus --sync " + window_);
    }

    void TearDown() override {
        Xdotool("key --clearmodifiers Escape");
        book_.reset();
        app_.reset();
    }

    // Writes a lap of times into row `row` through the worker and waits until Calc holds them.
    void RaceWritesRow(int row) {
        for (int column = 6; column <= 12; ++column) {
            ASSERT_TRUE(book_->writeCell(loop_, row, column, "10:0:" + std::to_string(column)));
        }
        ASSERT_TRUE(book_->colourCell(loop_, row, 1, 65535));
        ASSERT_TRUE(book_->settle(kLimit)) << "Calc did not answer";
        const WorkbookNews news = book_->news();
        EXPECT_TRUE(news.problems.empty())
            << (news.problems.empty() ? "" : news.problems[0].message);
        EXPECT_FALSE(news.notAnswering);
        EXPECT_EQ(news.waitingChanges, 0u);
    }

    // Whether the copy shows `text` in `row`, `column` within a few seconds (a change made in
    // Calc comes back on its own).
    bool CopyShows(int row, int column, const std::string& text) {
        for (int attempt = 0; attempt < 100; ++attempt) {
            (void)book_->news();
            auto shown = book_->readCell(loop_, row, column);
            if (shown && *shown == text) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        return false;
    }

    ScratchDir scratch_;
    std::filesystem::path file_;
    std::unique_ptr<ThreadedApp> app_;
    std::unique_ptr<Workbook> book_;
    SheetId loop_;
    std::string window_;
};

TEST_F(CalcBusyOrganiser, ACellInEditModeHoldsNothingUpAndItsTextComesBackWhenEntered) {
    // The organiser types into A20 and has not pressed Enter yet.
    Xdotool("key --clearmodifiers ctrl+Home");
    Xdotool(
        "key --clearmodifiers Down Down Down Down Down Down Down Down Down Down Down Down Down "
        "Down Down Down Down Down Down");
    Xdotool("type --delay 20 7405999");
    RaceWritesRow(5);
    EXPECT_TRUE(CopyShows(5, 12, "10:0:12"));

    // Entered: the transponder the organiser typed is the race's too.
    Xdotool("key --clearmodifiers Return");
    EXPECT_TRUE(CopyShows(20, 1, "7405999"));
    auto found = book_->find(loop_, "A3:A30", "7405999");
    ASSERT_TRUE(found) << found.error().message;
    EXPECT_EQ(*found, 18);
}

TEST_F(CalcBusyOrganiser, AModalDialogOpenInCalcHoldsNothingUp) {
    Xdotool("key --clearmodifiers ctrl+1");
    const std::string dialog =
        FirstLine(Xdotool("search --sync --onlyvisible --name \"Format Cells\""));
    ASSERT_FALSE(dialog.empty()) << "the Format Cells dialog did not open";
    RaceWritesRow(6);
    ASSERT_TRUE(book_->save());
    ASSERT_TRUE(book_->settle(kLimit)) << "Calc did not answer with the dialog open";
    EXPECT_TRUE(book_->news().problems.empty());
    // Closed again before Calc is asked to quit, which a modal dialog would hold up.
    Xdotool("windowfocus --sync " + dialog);
    Xdotool("key --clearmodifiers Escape");
    for (int attempt = 0;
         attempt < 50 && !Xdotool("search --onlyvisible --name \"Format Cells\"").empty();
         ++attempt) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    EXPECT_TRUE(Xdotool("search --onlyvisible --name \"Format Cells\"").empty())
        << "the dialog did not close";
    EXPECT_EQ(RunOpenpyxl({"cells", file_.string(), "Loop!F6", "Loop!L6"}),
              "Loop!F6 s none 10:0:6\nLoop!L6 s none 10:0:12\n");
}

}  // namespace
}  // namespace tivaro::workbook::test
