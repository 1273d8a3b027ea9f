// The race standings: passing texts read as times, lap times and totals from the rows of the
// race sheet (shorter races, hand-typed and odd cells, midnight), both orders, and keeping in
// step with the sheet through one read per passing.

#include <map>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/race_book.h"

#include "race_fixture.h"
#include "timing/race_standings.h"

namespace tivaro::timing {
namespace {

using tivaro::testing::SheetRow;

constexpr Hundredths kSecond = 100;
constexpr Hundredths kMinute = 60 * kSecond;
constexpr Hundredths kHour = 60 * kMinute;

std::vector<std::string> Headings() {
    return SheetRow({{1, "Rugnr."}, {2, "Transponder"}, {3, "Heat"}, {4, "Naam"}, {6, "Start"}});
}

// The lap times of `standing` as texts, "-" where a lap has no time.
std::vector<std::string> LapTexts(const Standing& standing) {
    std::vector<std::string> texts;
    for (const auto& lap : standing.laps) {
        texts.push_back(lap ? FormatDuration(*lap) : "-");
    }
    return texts;
}

TEST(PassingTime, ReadsTheProgramsTextsAndWhatAPersonTypes) {
    const Hundredths tenThreeSeven = 10 * kHour + 3 * kMinute + 7 * kSecond;
    const struct {
        const char* text;
        std::optional<Hundredths> time;
    } cases[] = {
        {"10:3:7.25", tenThreeSeven + 25},
        {"10:03:07.25", tenThreeSeven + 25},
        {" 10:3:7,25 ", tenThreeSeven + 25},  // a Dutch decimal comma, blanks around
        {"10:3:7", tenThreeSeven},
        {"10:3:7.2", tenThreeSeven + 20},
        {"10:3:7.255", tenThreeSeven + 26},  // rounded to the hundredth
        {"10:3:7.2549", tenThreeSeven + 25},
        {"23:59:59.999", 0},  // rounds to midnight
        {"0:0:0.00", 0},
        {"0.5", 12 * kHour},  // a time cell of a spreadsheet: a fraction of the day
        {"0.41883506944444443", tenThreeSeven + 35},
        {"1.15740740740741E-05", 1 * kSecond},
        {"", std::nullopt},
        {"DNF", std::nullopt},
        {"24:0:0.00", std::nullopt},
        {"10:60:0.00", std::nullopt},
        {"10:0:60.00", std::nullopt},
        {"10:3", std::nullopt},
        {"10:3:7.2x", std::nullopt},
        {"10:3:7.", std::nullopt},
        {"10::7.25", std::nullopt},
        {"-1:0:0", std::nullopt},
        {"100:0:0", std::nullopt},
        {"1:2:3:4", std::nullopt},
        {"1.5", std::nullopt},  // a day and a half is no time of day
        {"7404583", std::nullopt},
        {"nan", std::nullopt},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(ParseTimeOfDay(c.text), c.time) << "'" << c.text << "'";
    }
}

TEST(PassingTime, DurationsShowMinutesOrHours) {
    EXPECT_EQ(FormatDuration(0), "0:00.00");
    EXPECT_EQ(FormatDuration(5 * kSecond + 7), "0:05.07");
    EXPECT_EQ(FormatDuration(kMinute + 25), "1:00.25");
    EXPECT_EQ(FormatDuration(kHour - 1), "59:59.99");
    EXPECT_EQ(FormatDuration(kHour), "1:00:00.00");
    EXPECT_EQ(FormatDuration(13 * kHour + 2 * kMinute + 3 * kSecond + 4), "13:02:03.04");
    EXPECT_EQ(Elapsed(23 * kHour + 59 * kMinute, 30 * kSecond), kMinute + 30 * kSecond);
    EXPECT_EQ(Elapsed(5 * kSecond, 5 * kSecond), 0);
}

TEST(Standings, LapsAndTotalsOfEachWayARaceEnds) {
    RaceStandings standings;
    standings.load(Sport::Running, Headings(),
                   {
                       // Three laps: the last one ends at the finish (K), after empty I and J.
                       SheetRow({{1, "201"},
                                 {2, "7405583"},
                                 {4, "Anna"},
                                 {6, "10:0:0.00"},
                                 {7, "10:1:0.50"},
                                 {8, "10:2:1.00"},
                                 {11, "10:3:0.00"},
                                 {20, "x"}}),
                       // Five laps, every column used.
                       SheetRow({{1, "202"},
                                 {6, "10:0:0.00"},
                                 {7, "10:1:0.00"},
                                 {8, "10:2:0.00"},
                                 {9, "10:3:0.00"},
                                 {10, "10:4:0.00"},
                                 {11, "10:5:0.01"},
                                 {20, "x"}}),
                       // One lap: the start leads straight to the finish.
                       SheetRow({{1, "203"}, {6, "10:0:0.00"}, {11, "10:1:5.99"}, {20, "x"}}),
                       // Half run: started, one intermediate passing.
                       SheetRow({{1, "204"}, {6, "10:0:0.00"}, {7, "10:1:2.00"}, {20, "2"}}),
                       // Not started.
                       SheetRow({{1, "205"}, {2, "7405587"}}),
                   });
    ASSERT_EQ(standings.competitors().size(), 5u);
    EXPECT_TRUE(standings.hasNames());

    const Standing& three = standings.competitors()[0];
    EXPECT_EQ(three.row, 3);
    EXPECT_EQ(three.name, "Anna");
    EXPECT_EQ(three.passings, (std::vector<std::string>{"10:0:0.00", "10:1:0.50", "10:2:1.00", "",
                                                        "", "10:3:0.00"}));
    EXPECT_EQ(LapTexts(three),
              (std::vector<std::string>{"1:00.50", "1:00.50", "0:59.00", "-", "-"}));
    EXPECT_EQ(three.total, 3 * kMinute);
    EXPECT_EQ(three.lapsDone, 3);
    EXPECT_TRUE(three.finished);

    const Standing& five = standings.competitors()[1];
    EXPECT_EQ(LapTexts(five),
              (std::vector<std::string>{"1:00.00", "1:00.00", "1:00.00", "1:00.00", "1:00.01"}));
    EXPECT_EQ(five.total, 5 * kMinute + 1);
    EXPECT_EQ(five.lapsDone, 5);

    const Standing& one = standings.competitors()[2];
    EXPECT_EQ(LapTexts(one), (std::vector<std::string>{"1:05.99", "-", "-", "-", "-"}));
    EXPECT_EQ(one.total, kMinute + 5 * kSecond + 99);
    EXPECT_EQ(one.lapsDone, 1);

    const Standing& half = standings.competitors()[3];
    EXPECT_EQ(LapTexts(half), (std::vector<std::string>{"1:02.00", "-", "-", "-", "-"}));
    EXPECT_EQ(half.total, std::nullopt);
    EXPECT_EQ(half.lapsDone, 1);
    EXPECT_FALSE(half.finished);
    EXPECT_EQ(half.lastPassing, 10 * kHour + kMinute + 2 * kSecond);

    const Standing& waiting = standings.competitors()[4];
    EXPECT_EQ(waiting.transponder, "7405587");
    EXPECT_EQ(LapTexts(waiting), std::vector<std::string>(5, "-"));
    EXPECT_EQ(waiting.lapsDone, 0);
    EXPECT_FALSE(waiting.lastPassing);
}

TEST(Standings, EachSportHasItsOwnFinishColumn) {
    // Skating: ten laps, the finish in P (16); cycling: eight, the finish in N (14).
    std::map<int, std::string> skater = {{1, "101"}, {3, "1"}, {20, "x"}};
    for (int k = 0; k <= 10; ++k) {
        skater[6 + k] = "7:" + std::to_string(k) + ":" + std::to_string(k) + ".00";
    }
    RaceStandings skating;
    skating.load(Sport::Skating, {}, {SheetRow(skater)});
    const Standing& s = skating.competitors().front();
    EXPECT_EQ(s.heat, "1");
    EXPECT_EQ(s.passings.size(), 11u);
    EXPECT_EQ(LapTexts(s), std::vector<std::string>(10, "1:01.00"));
    EXPECT_EQ(s.total, 10 * kMinute + 10 * kSecond);
    EXPECT_FALSE(skating.hasNames());
    EXPECT_EQ(s.name, "");

    RaceStandings cycling;
    cycling.load(Sport::Cycling, {},
                 {SheetRow({{1, "301"}, {6, "8:0:0.00"}, {7, "8:30:0.00"}, {14, "9:45:0.00"}})});
    const Standing& c = cycling.competitors().front();
    EXPECT_EQ(LapTexts(c),
              (std::vector<std::string>{"30:00.00", "1:15:00.00", "-", "-", "-", "-", "-", "-"}));
    EXPECT_EQ(c.total, kHour + 45 * kMinute);
    EXPECT_TRUE(c.finished);  // the finish is there even though the counter was never set

    RaceStandings none;
    none.load(Sport::None, Headings(), {SheetRow({{1, "1"}})});
    EXPECT_TRUE(none.competitors().empty());
}

TEST(Standings, OddCellsLeaveOnlyTheirOwnLapsWithoutATime) {
    RaceStandings standings;
    standings.load(
        Sport::Running, SheetRow({{5, " NAME "}}),
        {
            // A text in the first intermediate: laps 1 and 2 have no time, lap 3 has.
            SheetRow({{1, "201"},
                      {5, "Bert"},
                      {6, "10:0:0.00"},
                      {7, "DNS"},
                      {8, "10:2:0.00"},
                      {9, "10:3:0.00"},
                      {11, "10:4:0.00"},
                      {20, "x"}}),
            // Hand-typed times in another form and a spreadsheet time cell (10:00:00).
            SheetRow({{1, "202"}, {6, "0.4166666666666667"}, {7, "10:01:30"}, {11, "10:03:00,5"}}),
            // An unreadable finish: finished, laps up to it, no total.
            SheetRow({{1, "203"}, {6, "10:0:0.00"}, {7, "10:1:0.00"}, {11, "??"}, {20, "x"}}),
            // A gap typed by hand: lap 1 cannot end at the finish while a later lap is there.
            SheetRow({{1, "204"}, {6, "10:0:0.00"}, {8, "10:2:0.00"}, {11, "10:3:0.00"}}),
            // Neither bib nor transponder: not a competitor, whatever else the row holds.
            SheetRow({{4, "ghost"}, {6, "10:0:0.00"}, {20, "1"}}),
            // Only a transponder, and a short row.
            {"", "KX-05126"},
        });
    ASSERT_EQ(standings.competitors().size(), 5u);
    EXPECT_TRUE(standings.hasNames());
    EXPECT_EQ(standings.competitors()[0].name, "Bert");
    EXPECT_EQ(LapTexts(standings.competitors()[0]),
              (std::vector<std::string>{"-", "-", "1:00.00", "1:00.00", "-"}));
    EXPECT_EQ(standings.competitors()[0].total, 4 * kMinute);
    EXPECT_EQ(standings.competitors()[0].lapsDone, 4);

    EXPECT_EQ(LapTexts(standings.competitors()[1]),
              (std::vector<std::string>{"1:30.00", "1:30.50", "-", "-", "-"}));

    const Standing& unreadable = standings.competitors()[2];
    EXPECT_TRUE(unreadable.finished);
    EXPECT_EQ(unreadable.total, std::nullopt);
    EXPECT_EQ(LapTexts(unreadable), (std::vector<std::string>{"1:00.00", "-", "-", "-", "-"}));
    EXPECT_EQ(unreadable.lastPassing, 10 * kHour + kMinute);

    EXPECT_EQ(LapTexts(standings.competitors()[3]),
              (std::vector<std::string>{"-", "-", "1:00.00", "-", "-"}));

    const Standing& bare = standings.competitors()[4];
    EXPECT_EQ(bare.row, 8);
    EXPECT_EQ(bare.bib, "");
    EXPECT_EQ(bare.transponder, "KX-05126");
    EXPECT_EQ(bare.passings, std::vector<std::string>(6));
}

TEST(Standings, ARacePastMidnightKeepsItsLapsTotalAndOrder) {
    RaceStandings standings;
    standings.load(
        Sport::Running, {},
        {
            SheetRow({{1, "201"}, {6, "23:58:30.00"}, {7, "23:59:45.50"}, {11, "0:1:0.25"}}),
            // Two laps done; the first passes just before midnight, the second after.
            SheetRow({{1, "202"}, {6, "23:58:30.00"}, {7, "23:59:50.00"}, {8, "0:0:5.00"}}),
            SheetRow({{1, "203"}, {6, "23:58:30.00"}, {7, "23:59:40.00"}, {8, "23:59:55.00"}}),
            SheetRow({{1, "204"}, {6, "23:58:30.00"}, {7, "23:59:58.00"}}),
        });
    const Standing& first = standings.competitors()[0];
    EXPECT_EQ(LapTexts(first), (std::vector<std::string>{"1:15.50", "1:14.75", "-", "-", "-"}));
    EXPECT_EQ(first.total, 2 * kMinute + 30 * kSecond + 25);
    // By laps done, then by who passed first: 203 passed before midnight, 202 after it.
    EXPECT_EQ(standings.rowsInOrder(StandingsOrder::ByPosition), (std::vector<int>{3, 5, 4, 6}));
}

TEST(Standings, PositionsFinishersByTotalThenLapsThenLastPassingThenBib) {
    RaceStandings standings;
    standings.load(
        Sport::Cycling, {},
        {
            SheetRow({{1, "310"}}),  // row 3: nothing yet
            SheetRow({{1, "302"}, {6, "8:0:0.00"}, {7, "8:1:0.00"}, {14, "8:3:0.00"}}),  // 3:00
            SheetRow({{1, "303"}, {6, "8:0:0.00"}, {7, "8:1:0.00"}, {8, "8:2:0.00"}}),   // 2 laps
            SheetRow({{1, "304"}, {6, "8:0:0.00"}, {14, "8:2:30.00"}}),                  // 2:30
            SheetRow(
                {{1, "305"}, {6, "8:0:0.00"}, {7, "8:0:59.00"}, {8, "8:2:1.00"}}),  // 2 laps, later
            SheetRow(
                {{1, "306"}, {6, "8:0:0.00"}, {7, "8:1:0.00"}, {14, "x"}}),  // finished, no total
            SheetRow({{1, "307"}, {6, "8:0:0.00"}}),                         // started
            SheetRow(
                {{1, "9"}, {6, "8:0:0.00"}, {7, "8:1:0.00"}, {8, "8:2:0.00"}}),  // ties with 303
            SheetRow({{1, "301"}}),                                              // nothing yet
        });
    EXPECT_EQ(standings.rowsInOrder(StandingsOrder::ByPosition),
              (std::vector<int>{6, 4, 8, 10, 5, 7, 9, 11, 3}));
    EXPECT_EQ(standings.rowsInOrder(StandingsOrder::ByBib),
              (std::vector<int>{10, 11, 4, 5, 6, 7, 8, 9, 3}));
}

TEST(Standings, BibsSortAsNumbersThenTexts) {
    const std::vector<std::string> sorted = {"2",  "09", "10", "101", "00000000000000000000123",
                                             "1a", "A7", "B",  ""};
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        for (std::size_t j = 0; j < sorted.size(); ++j) {
            EXPECT_EQ(BibBefore(sorted[i], sorted[j]), i < j) << sorted[i] << " / " << sorted[j];
        }
    }
    EXPECT_FALSE(BibBefore("7", " 7"));
    EXPECT_FALSE(BibBefore(" 7", "7"));
}

TEST(Standings, ARowIsReplacedAddedOrDroppedOnItsOwn) {
    RaceStandings standings;
    standings.load(Sport::Running, {}, {SheetRow({{1, "201"}}), {}, SheetRow({{1, "203"}})});
    using Kind = StandingsChange::Kind;

    const std::vector<std::string> started = SheetRow({{1, "201"}, {6, "10:0:0.00"}, {20, "1"}});
    EXPECT_EQ(standings.setRow(3, started).kind, Kind::Row);
    EXPECT_EQ(standings.find(3)->passings[0], "10:0:0.00");
    EXPECT_EQ(standings.setRow(3, started).kind, Kind::None) << "nothing new in the row";

    const StandingsChange added = standings.setRow(4, SheetRow({{2, "7405584"}}));
    EXPECT_EQ(added.kind, Kind::Row);
    EXPECT_EQ(added.row, 4);
    ASSERT_EQ(standings.competitors().size(), 3u);
    EXPECT_EQ(standings.competitors()[1].row, 4);  // in sheet order

    EXPECT_EQ(standings.setRow(5, SheetRow({{4, "only a name"}})).kind, Kind::Row);
    EXPECT_EQ(standings.find(5), nullptr);
    EXPECT_EQ(standings.competitors().size(), 2u);
    EXPECT_EQ(standings.setRow(2, SheetRow({{1, "heading"}})).kind, Kind::None);
    EXPECT_EQ(standings.setRow(201, SheetRow({{1, "below"}})).kind, Kind::None);
    EXPECT_EQ(standings.competitors().size(), 2u);
}

// Forwards to the fake workbook and counts the reads the standings make.
class CountingWorkbook final : public workbook::Workbook {
public:
    explicit CountingWorkbook(workbook::Workbook& inner) : inner_(inner) {}
    int rowReads = 0;
    int blockReads = 0;
    int cellReads = 0;

    const std::filesystem::path& path() const override { return inner_.path(); }
    std::vector<std::string> sheetNames() const override { return inner_.sheetNames(); }
    Result<std::string> sheetName(workbook::SheetId s) const override {
        return inner_.sheetName(s);
    }
    Result<workbook::SheetId> activeSheet() const override { return inner_.activeSheet(); }
    Status activate(std::string_view name) override { return inner_.activate(name); }
    Result<int> find(workbook::SheetId s, std::string_view range, std::string_view t) override {
        return inner_.find(s, range, t);
    }
    Result<std::string> readCell(workbook::SheetId s, int row, int column) override {
        ++cellReads;
        return inner_.readCell(s, row, column);
    }
    Result<std::vector<std::string>> readRow(workbook::SheetId s, int row, int last) override {
        ++rowReads;
        return inner_.readRow(s, row, last);
    }
    Result<std::vector<std::vector<std::string>>> readBlock(workbook::SheetId s, int first,
                                                            int last, int column) override {
        ++blockReads;
        return inner_.readBlock(s, first, last, column);
    }
    Status writeCell(workbook::SheetId s, int row, int column, std::string_view t) override {
        return inner_.writeCell(s, row, column, t);
    }
    Status writeRange(workbook::SheetId s, std::string_view range, std::string_view t) override {
        return inner_.writeRange(s, range, t);
    }
    Status colourCell(workbook::SheetId s, int row, int column, std::uint32_t c) override {
        return inner_.colourCell(s, row, column, c);
    }
    bool hasUnsavedChanges() const override { return inner_.hasUnsavedChanges(); }
    Result<workbook::SaveReport> save() override { return inner_.save(); }
    Status close() override { return inner_.close(); }

private:
    workbook::Workbook& inner_;
};

class Following : public testing::RaceFixture {
protected:
    Result<StandingsChange> Follow() {
        return standings.follow(counting.get(), Sheet(), controller->race().setup().sport, Last());
    }
    workbook::SheetId Sheet() const { return *controller->race().raceSheet(); }
    int Reads() const { return counting->rowReads + counting->blockReads + counting->cellReads; }

    std::unique_ptr<CountingWorkbook> counting = std::make_unique<CountingWorkbook>(*book);
    RaceStandings standings;
};

TEST_F(Following, EachPassingReadsOnlyItsRowAndTheCommonStartTheWholeSheet) {
    Race("Lopen", Phase::StartPulse, 2);
    book->cell("loop", 2, 4) = "Naam";
    book->cell("loop", 3, 4) = "Anna";
    ASSERT_TRUE(standings.reload(counting.get(), Sheet(), Sport::Running));
    EXPECT_EQ(counting->blockReads, 1);
    EXPECT_EQ(Reads(), 1);
    EXPECT_EQ(standings.competitors().size(), 20u);
    EXPECT_EQ(standings.find(3)->name, "Anna");

    // The common start writes every row: one block read.
    Pass(testing::TransponderOf(1, 0), "10:0:0.00");
    ASSERT_TRUE(Last().startPulse);
    Result<StandingsChange> change = Follow();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->kind, StandingsChange::Kind::All);
    EXPECT_EQ(counting->blockReads, 2);
    EXPECT_EQ(standings.find(22)->passings[0], "10:0:0.00");

    Panel().choosePhase(Phase::Recording);
    Pass(testing::TransponderOf(1, 5), "10:1:0.25");
    change = Follow();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->kind, StandingsChange::Kind::Row);
    EXPECT_EQ(change->row, 8);
    EXPECT_EQ(counting->rowReads, 1);
    EXPECT_EQ(Reads(), 3);
    EXPECT_EQ(FormatDuration(*standings.find(8)->laps[0]), "1:00.25");

    // An unknown transponder reads nothing.
    Pass("999", "10:1:1.00");
    ASSERT_TRUE(Follow());
    EXPECT_EQ(Follow()->kind, StandingsChange::Kind::None);
    EXPECT_EQ(Reads(), 3);
}

TEST_F(Following, AFailedReadKeepsWhatIsShownAndTheNextPassingReadsTheSheet) {
    Race("Fietsen", Phase::Recording, 2);
    ASSERT_TRUE(standings.reload(counting.get(), Sheet(), Sport::Cycling));
    Pass(testing::TransponderOf(2, 0), "8:0:0.00");
    book->failIf = [](const testing::WorkbookCall& c) { return c.op == "read"; };
    Result<StandingsChange> failed = Follow();
    ASSERT_FALSE(failed);
    EXPECT_NE(failed.error().message.find("Het wedstrijdoverzicht is niet bijgewerkt"),
              std::string::npos);
    EXPECT_NE(failed.error().message.find("rij 3"), std::string::npos) << failed.error().message;
    EXPECT_EQ(standings.find(3)->passings[0], "") << "as it was";
    EXPECT_EQ(standings.competitors().size(), 20u);

    book->failIf = nullptr;
    Pass(testing::TransponderOf(2, 1), "8:0:5.00");
    const int blocks = counting->blockReads;
    Result<StandingsChange> caughtUp = Follow();
    ASSERT_TRUE(caughtUp);
    EXPECT_EQ(caughtUp->kind, StandingsChange::Kind::All);
    EXPECT_EQ(counting->blockReads, blocks + 1);
    EXPECT_EQ(standings.find(3)->passings[0], "8:0:0.00");
    EXPECT_EQ(standings.find(4)->passings[0], "8:0:5.00");
}

TEST_F(Following, AnotherSportOrWorkbookIsReadAnew) {
    Race("Lopen", Phase::Recording, 3);
    ASSERT_TRUE(standings.reload(counting.get(), Sheet(), Sport::Running));
    EXPECT_EQ(standings.find(3)->bib, "201");

    // The sport changed without a reload: the next passing reads the skating sheet.
    Race("Schaatsen", Phase::Recording);
    Panel().chooseHeat("Heat 1");
    Pass(testing::TransponderOf(0, 0), "7:0:0.00");
    Result<StandingsChange> change = Follow();
    ASSERT_TRUE(change);
    EXPECT_EQ(change->kind, StandingsChange::Kind::All);
    EXPECT_EQ(standings.sport(), Sport::Skating);
    EXPECT_EQ(standings.find(3)->bib, "101");
    EXPECT_EQ(standings.find(3)->passings.size(), 11u);

    // Another workbook object: read anew as well.
    CountingWorkbook other(*book);
    Pass(testing::TransponderOf(0, 0), "7:0:40.00");
    change = standings.follow(&other, Sheet(), Sport::Skating, Last());
    ASSERT_TRUE(change);
    EXPECT_EQ(change->kind, StandingsChange::Kind::All);
    EXPECT_EQ(other.blockReads, 1);

    // No workbook: empty standings that keep the sport's columns.
    ASSERT_TRUE(standings.reload(nullptr, std::nullopt, Sport::Skating));
    EXPECT_TRUE(standings.competitors().empty());
    EXPECT_EQ(standings.rules(), &kSkating);
}

}  // namespace
}  // namespace tivaro::timing
