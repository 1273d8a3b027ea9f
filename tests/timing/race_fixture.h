#pragma once
// A race on the fake workbook through the race controller, as the window and the replay drive
// it: the set-up panel, passings as values, the coupling log in a scratch folder, and every
// result, problem and notice collected.

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/race_book.h"
#include "timing/race_controller.h"

namespace tivaro::testing {

class RaceFixture : public ::testing::Test {
protected:
    RaceFixture() {
        controller = std::make_unique<timing::RaceController>(Options(), Events());
        EXPECT_TRUE(controller->openWorkbook("race.xlsx"));
    }

    timing::ControllerOptions Options() {
        timing::ControllerOptions options;
        options.startApp = [this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
            return std::unique_ptr<workbook::SpreadsheetApp>(
                std::make_unique<FakeApp>([this](const std::filesystem::path& file) {
                    auto made = MakeRaceBook(file);
                    book = made.get();
                    if (prepareNextBook) {
                        prepareNextBook(*made);
                    }
                    return made;
                }));
        };
        options.couplingLog = dir.path() / "dovokop.log";
        return options;
    }

    timing::ControllerEvents Events() {
        timing::ControllerEvents events;
        events.problem = [this](const Error& e) { problems.push_back(e.message); };
        events.notice = [this](const std::string& text) { notices.push_back(text); };
        events.passingHandled = [this](const timing::PassingResult& result,
                                       const std::string& line) {
            results.push_back(result);
            logged.push_back(line);
        };
        events.workbookChanged = [this] { ++changes; };
        events.actionTaken = [this](const timing::JournalAction& action) {
            journal.push_back(timing::FormatAction(action));
        };
        events.setAside = [this](link::LinkKind, std::uint64_t count) { setAsideCount = count; };
        events.fillInOffered = [this](std::size_t count) { offers.push_back(count); };
        return events;
    }

    timing::SetupPanel& Panel() { return controller->setup(); }

    // The sport chosen with its sheet as the race sheet, the lap slider at `laps`, in `phase`.
    void Race(const std::string& sport, timing::Phase phase, int laps = 1) {
        ASSERT_TRUE(Panel().chooseSport(sport));
        Panel().moveLapSlider(laps);
        Panel().choosePhase(phase);
    }

    // Hands one passing to the controller; gives its name.
    std::string Pass(const std::string& code, const std::string& time = "10:0:1.00") {
        controller->handlePassing(link::Passing{code, time});
        return results.back().name;
    }
    const timing::PassingResult& Last() const { return results.back(); }

    std::string Cell(const char* sheet, int row, int column) const {
        return book->cellText(sheet, row, column);
    }
    std::string Log() const { return ReadFile(dir.path() / "dovokop.log"); }

    ScratchDir dir;
    FakeWorkbook* book = nullptr;  // the workbook opened last
    // Fills each workbook opened from now on, as if it had been saved so.
    std::function<void(FakeWorkbook&)> prepareNextBook;
    std::unique_ptr<timing::RaceController> controller;
    std::vector<timing::PassingResult> results;
    std::vector<std::string> logged;
    std::vector<std::string> problems;
    std::vector<std::string> notices;
    std::vector<std::string> journal;  // the lines a race journal would get
    int changes = 0;
    std::uint64_t setAsideCount = 0;  // as the last set-aside record told it
    std::vector<std::size_t> offers;  // the passings offered to be filled in, each time
};

}  // namespace tivaro::testing
