// Corrections during a race, on the fake workbook: passings entered by hand, passings taken
// back from the passing list, double reads, and the journal lines the controller gives for
// replaying what happened.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/timing/race_fixture.h"
#include "timing/colours.h"
#include "timing/journal_action.h"
#include "timing/sports.h"

namespace tivaro::testing {
namespace {

using timing::Phase;

class Corrections : public RaceFixture {
protected:
    // The arrival index of the newest passing in the list.
    std::size_t Newest() const { return controller->passings().arrivalOf(0); }
};

TEST_F(Corrections, AHandPassingCountsForItsRowEvenWithoutATransponder) {
    Race("Lopen", Phase::Recording, 2);
    book->cell("loop", 5, 2) = "";  // bib 203 never got a transponder
    ASSERT_TRUE(controller->handPassing(" 203 ", "9:05:07"));
    EXPECT_EQ(Last().name, "Start (handmatig)");
    EXPECT_EQ(Last().colour, timing::kGreen);
    EXPECT_EQ(Cell("loop", 5, 6), "9:5:7.00");
    EXPECT_EQ(Cell("loop", 5, 20), "1");
    EXPECT_EQ(logged.back(), "\t203 \t9:5:7.00\tStart (handmatig)");

    // A bib stored as a number in a row above another row with the same text is the upper one.
    book->cell("loop", 9, 1) = "203";
    ASSERT_TRUE(controller->handPassing("203", "09:06:00.5"));
    EXPECT_EQ(Last().row, 5);
    EXPECT_EQ(Cell("loop", 5, 7), "9:6:0.50");
}

TEST_F(Corrections, RefusedHandPassingsHandleNothing) {
    Race("Lopen", Phase::Recording, 2);
    for (const auto& [bib, time] :
         std::vector<std::pair<std::string, std::string>>{{"", "10:00:00"},
                                                          {"2 01", "10:00:00"},
                                                          {"201", "24:00:00"},
                                                          {"201", "10:60:00"},
                                                          {"201", "0.5"},
                                                          {"999", "10:00:00"}}) {
        EXPECT_FALSE(controller->handPassing(bib, time)) << bib << " " << time;
    }
    EXPECT_TRUE(results.empty());
    EXPECT_TRUE(journal.empty() || journal.back().rfind("manual", 0) != 0);
    EXPECT_EQ(Cell("loop", 3, 6), "");
}

TEST_F(Corrections, OnlyTheLatestLapStepOfACompetitorCanBeTakenBack) {
    Race("Lopen", Phase::Recording, 3);
    Pass("7405583", "10:0:0.00");
    const std::size_t start = Newest();
    Pass("7405584", "10:0:1.00");  // another competitor's passing in between
    const std::size_t other = Newest();
    Pass("7405583", "10:1:0.00");
    const std::size_t lap = Newest();
    EXPECT_FALSE(controller->canTakeBack(start));
    EXPECT_TRUE(controller->canTakeBack(other));
    EXPECT_TRUE(controller->canTakeBack(lap));
    EXPECT_FALSE(controller->takeBackPassing(start));
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");

    ASSERT_TRUE(controller->takeBackPassing(lap));
    EXPECT_EQ(Cell("loop", 3, 7), "");
    EXPECT_EQ(Cell("loop", 3, 20), "1");
    EXPECT_TRUE(controller->passings().row(controller->passings().indexOf(lap)).takenBack);
    EXPECT_FALSE(controller->passings().row(controller->passings().indexOf(start)).takenBack);
    EXPECT_EQ(logged.back(), "7405583\t201 \t10:1:0.00\tTeruggenomen: Doork 1");
    EXPECT_EQ(journal.back(), "undo 201");
    // Now the start is the latest; a passing once taken back stays taken back.
    EXPECT_FALSE(controller->canTakeBack(lap));
    EXPECT_TRUE(controller->canTakeBack(start));
}

TEST_F(Corrections, WarmUpsCoolDownsAndTheCommonStartAreNotLapSteps) {
    Race("Lopen", Phase::StartPulse, 1);
    Pass("7405583", "10:0:0.00");
    EXPECT_EQ(Last().name, "Start!!");
    EXPECT_FALSE(controller->canTakeBack(Newest()));
    EXPECT_FALSE(controller->takeBack("201"));
    Panel().choosePhase(Phase::Recording);
    Pass("7405584", "10:1:0.00");
    EXPECT_EQ(Last().name, "Finish");
    Pass("7405584", "10:1:30.00");
    EXPECT_EQ(Last().name, "Uitlopen");
    EXPECT_FALSE(controller->canTakeBack(Newest()));
    // The bib's latest lap step is the finish, before the cool-down.
    ASSERT_TRUE(controller->takeBack("202"));
    EXPECT_EQ(Cell("loop", 4, 11), "");
    EXPECT_EQ(Cell("loop", 4, 20), "5");         // as the one-lap common start left it
    EXPECT_EQ(Cell("loop", 4, 6), "10:0:0.00");  // the common start stays
}

TEST_F(Corrections, ATakeBackIsForTheSheetOfTheSportInForce) {
    Race("Lopen", Phase::Recording, 3);
    Pass("7405583", "10:0:0.00");  // bib 201, row 3 of "loop"
    const std::size_t running = Newest();
    // Cycling now: row 3 of "fiets" is bib 301, who has raced nothing yet.
    ASSERT_TRUE(Panel().chooseSport("Fietsen"));
    EXPECT_FALSE(controller->takeBack("301"));
    EXPECT_FALSE(controller->canTakeBack(running));
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");
    ASSERT_TRUE(Panel().chooseSport("Lopen"));
    EXPECT_TRUE(controller->canTakeBack(running));
}

TEST_F(Corrections, AnEditedSheetIsNotOverwrittenByATakeBack) {
    Race("Fietsen", Phase::Recording, 2);
    Pass("7406583", "11:0:0.00");
    Pass("7406583", "11:1:0.00");
    book->cell("fiets", 3, 20) = "3";  // the organisers corrected the counter by hand
    const Status refused = controller->takeBack("301");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("veranderd"), std::string::npos);
    EXPECT_EQ(Cell("fiets", 3, 7), "11:1:0.00");
    EXPECT_EQ(Cell("fiets", 3, 20), "3");
}

TEST_F(Corrections, ATakeBackThatCannotBeWrittenLeavesThePassingStanding) {
    Race("Lopen", Phase::Recording, 3);
    Pass("7405583", "10:0:0.00");
    Pass("7405583", "10:1:0.00");
    const std::size_t lap = Newest();
    // The counter cannot be set back: nothing changes.
    book->failIf = [](const WorkbookCall& call) { return call.op == "write" && call.column == 20; };
    EXPECT_FALSE(controller->takeBackPassing(lap));
    EXPECT_FALSE(controller->passings().row(0).takenBack);
    EXPECT_EQ(Cell("loop", 3, 7), "10:1:0.00");
    EXPECT_EQ(Cell("loop", 3, 20), "2");
    // The counter goes back but the time cannot be cleared: the next try finishes the job.
    book->failIf = [](const WorkbookCall& call) { return call.op == "write" && call.column == 7; };
    EXPECT_FALSE(controller->takeBackPassing(lap));
    EXPECT_EQ(Cell("loop", 3, 20), "1");
    book->failIf = {};
    EXPECT_TRUE(controller->canTakeBack(lap));
    ASSERT_TRUE(controller->takeBackPassing(lap));
    EXPECT_EQ(Cell("loop", 3, 7), "");
    EXPECT_TRUE(controller->passings().row(0).takenBack);
}

TEST_F(Corrections, ATakeBackTheReopenedWorkbookLacksIsMadeAgain) {
    Race("Lopen", Phase::Recording, 3);
    Pass("7405583", "10:0:0.00");
    Pass("7405583", "10:1:0.00");
    ASSERT_TRUE(controller->takeBack("201"));
    ASSERT_TRUE(book->close());  // closed before the take-back was saved
    prepareNextBook = [](FakeWorkbook& saved) {
        saved.cell("loop", 3, 6) = "10:0:0.00";
        saved.cell("loop", 3, 7) = "10:1:0.00";
        saved.cell("loop", 3, 20) = "2";
    };
    ASSERT_TRUE(controller->openWorkbook("race.xlsx"));  // brought up to date at once
    EXPECT_EQ(Cell("loop", 3, 7), "");
    EXPECT_EQ(Cell("loop", 3, 20), "1");
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");
}

TEST_F(Corrections, DoubleReadsNeedAMinimumAndAnEarlierTime) {
    Race("Schaatsen", Phase::Recording);
    Panel().chooseHeat("Heat 1");
    Panel().setMinimumLap(3000);
    Pass("7404583", "12:0:0.00");
    EXPECT_EQ(Pass("7404583", "12:0:29.99"), "Dubbel");
    EXPECT_EQ(Last().colour, timing::kGrey);
    EXPECT_TRUE(Last().writes.empty());
    EXPECT_FALSE(Last().colourBibCell);
    EXPECT_EQ(Pass("7404583", "12:0:30.00"), "Doork 1");
    // A time the decoder cannot have read as a clock time is never taken for a double read.
    EXPECT_EQ(Pass("7404583", "later"), "Doork 2");
    // A competitor of another heat is measured against its own times, of which it has none.
    EXPECT_EQ(Pass("7404584", "12:0:31.00"), "Opwarmen");
    Panel().setMinimumLap(-5);
    EXPECT_EQ(controller->race().setup().minimumLap, 0);
    EXPECT_EQ(journal.back(), "min-lap 0");
}

TEST_F(Corrections, TheJournalLinesPlayTheSameActionsAgain) {
    controller->chooseDecoderGeneration(link::DecoderGeneration::Older);
    Race("Lopen", Phase::Recording, 2);
    Panel().setMinimumLap(250);
    const std::string older = "@\t1\\2\r\n";
    controller->onDecoderBytes(link::LinkKind::Tcp,
                               {reinterpret_cast<const std::uint8_t*>(older.data()), older.size()});
    const std::vector<std::uint8_t> binary = {0x01, 0x8E, 0x5C, 0xE9, 0x00, 0x8F};
    controller->onDecoderBytes(link::LinkKind::Serial, binary);
    controller->connectionStarted(link::LinkKind::Serial);
    ASSERT_TRUE(controller->handPassing("201", "10:00:00"));

    std::string scenario;
    for (const std::string& line : journal) {
        scenario += line + "\n";
    }
    const timing::ParsedJournal read = timing::ParseJournal(scenario);
    ASSERT_TRUE(read.damaged.empty()) << read.damaged.front().message << "\n" << scenario;
    std::vector<timing::ActionKind> kinds;
    for (const timing::JournalAction& action : read.actions) {
        kinds.push_back(action.kind);
    }
    using K = timing::ActionKind;
    EXPECT_EQ(kinds, (std::vector<K>{K::Decoder, K::Sport, K::Laps, K::Phase, K::MinimumLap, K::Tcp,
                                     K::Serial, K::Reconnect, K::Manual}));
    const auto& a = read.actions;
    EXPECT_EQ(std::string(a[5].bytes.begin(), a[5].bytes.end()), older);
    EXPECT_EQ(a[6].bytes, binary);  // bytes that are no text go as hex, whatever the decoder
    EXPECT_EQ(a[7].link, link::LinkKind::Serial);
    EXPECT_EQ(a[4].number, 250);
    EXPECT_EQ(a[8].time, "10:0:0.00");
}

}  // namespace
}  // namespace tivaro::testing
