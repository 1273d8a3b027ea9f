// Passings through the race controller on the fake workbook: lookup, each sport's rules on the
// worksheet, the start pulse, what fails, the passing list and the coupling log.

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/record_writer.h"
#include "race_fixture.h"
#include "timing/colours.h"

namespace tivaro::testing {
namespace {

using timing::kGreen;
using timing::kLightYellow;
using timing::kOrange;
using timing::kWhite;
using timing::kYellow;
using timing::Phase;

std::string Skater(int i) {
    return TransponderOf(0, i);
}
std::string Runner(int i) {
    return TransponderOf(1, i);
}
std::string Cyclist(int i) {
    return TransponderOf(2, i);
}

using LookUp = RaceFixture;

TEST_F(LookUp, SearchesRowsThreeToTwoHundredOnlyCaseInsensitively) {
    book->cell("schaats", 200, 2) = "LAST";
    book->cell("schaats", 200, 1) = "999";
    book->cell("schaats", 201, 2) = "BELOW";
    book->cell("schaats", 2, 2) = "HEADER";
    book->cell("schaats", 1, 2) = "TITLE";
    const struct {
        std::string code;
        bool found;
        int row;
        std::string bib;
    } cases[] = {
        {Skater(0), true, 3, "101"}, {"LAST", true, 200, "999"}, {"BELOW", false, 0, ""},
        {"HEADER", false, 0, ""},    {"TITLE", false, 0, ""},    {"kx-04126", true, 6, "104"},
    };
    for (const auto& c : cases) {
        Pass(c.code);
        EXPECT_EQ(Last().found, c.found) << c.code;
        EXPECT_EQ(Last().bib, c.bib) << c.code;
        EXPECT_EQ(Last().row, c.row) << c.code;
    }
    EXPECT_TRUE(problems.empty());
}

TEST_F(LookUp, TheUpperOfTwoRowsWinsAndAnEmptyBibIsStillFound) {
    book->cell("schaats", 10, 2) = Skater(12);
    book->cell("schaats", 10, 1) = "";
    Pass(Skater(12));
    EXPECT_TRUE(Last().found);
    EXPECT_EQ(Last().row, 10);
    EXPECT_EQ(Last().bib, "");
}

TEST_F(LookUp, AWorkbookThatCannotBeReadIsReportedNeverSilentlyUnknown) {
    book->failIf = [](const WorkbookCall& c) { return c.op == "find"; };
    EXPECT_EQ(Pass(Skater(0)), "Onbekend");
    book->failIf = [](const WorkbookCall& c) { return c.op == "read"; };
    EXPECT_EQ(Pass(Skater(0)), "Onbekend");
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("Onbekend"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find(Skater(0)), std::string::npos) << problems[1];
    EXPECT_EQ(logged.size(), 2u) << "shown and logged all the same";
}

using Handling = RaceFixture;

TEST_F(Handling, UnknownTransponderIsShownWhiteAndTouchesNothing) {
    Race("Lopen", Phase::Recording, 3);
    EXPECT_EQ(Pass("999", "9:8:7.06"), "Onbekend");
    EXPECT_EQ(Last().colour, kWhite);
    EXPECT_EQ(book->writeCount(), 0);
    EXPECT_EQ(Log(), "999\t \t9:8:7.06\tOnbekend\r\n");
    const timing::PassingList& list = controller->passings();
    ASSERT_EQ(list.size(), 1u);
    EXPECT_EQ(list.row(0).bib, " ");
    EXPECT_EQ(list.backgroundColour(), kWhite);
    EXPECT_EQ(changes, 0);
}

TEST_F(Handling, RunningRaceOfThreeLapsFillsItsColumnsAndColoursTheBib) {
    Race("Lopen", Phase::Recording, 3);
    const std::string code = Runner(4);  // row 7, bib 205
    const std::vector<std::string> expected = {"Start",  "Doork 1",  "Doork 2",
                                               "Finish", "Uitlopen", "Uitlopen"};
    const std::vector<std::uint32_t> fills = {kGreen, kYellow, kYellow, kOrange, kOrange, kOrange};
    for (std::size_t n = 0; n < expected.size(); ++n) {
        EXPECT_EQ(Pass(code, "10:0:" + std::to_string(n) + ".00"), expected[n]);
        EXPECT_EQ(book->fill("loop", 7, 1), fills[n]) << expected[n];
    }
    EXPECT_EQ(Last().colour, kLightYellow);
    EXPECT_EQ(Cell("loop", 7, 6), "10:0:0.00");
    EXPECT_EQ(Cell("loop", 7, 7), "10:0:1.00");
    EXPECT_EQ(Cell("loop", 7, 8), "10:0:2.00");
    EXPECT_EQ(Cell("loop", 7, 9), "");
    EXPECT_EQ(Cell("loop", 7, 10), "");
    EXPECT_EQ(Cell("loop", 7, 11), "10:0:3.00");
    EXPECT_EQ(Cell("loop", 7, 20), "x");
    EXPECT_EQ(changes, 4);
    EXPECT_EQ(Cell("loop", 8, 20), "");  // the neighbour is untouched
}

TEST_F(Handling, HeatCellsCompareAsText) {
    Race("Schaatsen", Phase::Recording);
    book->cell("schaats", 3, 3) = "Heat 1";
    book->cell("schaats", 4, 3) = "";
    Panel().chooseHeat("Heat 1");
    EXPECT_EQ(Pass(Skater(0)), "Opwarmen");  // "Heat 1" is not heat "1"
    EXPECT_EQ(Pass(Skater(5)), "Start");     // the cell holding 1
    EXPECT_EQ(Pass(Skater(1)), "Opwarmen");  // empty heat cell, heat 1 chosen
}

TEST_F(Handling, WithoutAHeatChosenOnlyEmptyHeatCellsRace) {
    Race("Schaatsen", Phase::Recording);
    book->cell("schaats", 4, 3) = "";
    EXPECT_EQ(Pass(Skater(1)), "Start");
    EXPECT_EQ(Pass(Skater(10)), "Opwarmen");
}

TEST_F(Handling, StartPulseGoesToEveryRowWithABibOrATransponderInBlocks) {
    book->cell("loop", 8, 1) = "";  // a row without a bib but with a transponder
    book->cell("loop", 10, 1) = "";
    book->cell("loop", 10, 2) = "";     // an empty row between two competitors
    book->cell("loop", 30, 1) = "999";  // a bib far down, without a transponder
    Race("Lopen", Phase::StartPulse, 3);
    EXPECT_EQ(Pass(Runner(0), "10:0:0.50"), "Start!!");
    EXPECT_EQ(Cell("loop", 8, 6), "10:0:0.50");
    EXPECT_EQ(Cell("loop", 10, 6), "");
    EXPECT_EQ(Cell("loop", 10, 20), "");
    EXPECT_EQ(Cell("loop", 11, 6), "10:0:0.50");
    EXPECT_EQ(Cell("loop", 30, 20), "1");
    EXPECT_EQ(Cell("loop", 29, 20), "");
    std::vector<std::string> blocks;
    for (const timing::SheetWrite& write : Last().writes) {
        blocks.push_back(std::to_string(write.firstRow) + "-" + std::to_string(write.lastRow));
    }
    EXPECT_EQ(blocks, (std::vector<std::string>{"3-9", "3-9", "11-22", "11-22", "30-30", "30-30"}));
}

TEST_F(Handling, StartPulseStartsEveryoneOnceUntilArmedAgain) {
    Race("Lopen", Phase::StartPulse, 3);
    EXPECT_EQ(Pass("999"), "Onbekend") << "an unknown transponder leaves the pulse armed";
    EXPECT_EQ(Pass(Runner(2), "10:0:0.50"), "Start!!");
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.50");
    EXPECT_EQ(Cell("loop", 22, 20), "1") << "the last of the 20 runners";
    EXPECT_EQ(Cell("loop", 23, 6), "") << "rows that hold no competitor stay empty";
    EXPECT_EQ(Cell("loop", 200, 20), "");
    EXPECT_EQ(Pass(Runner(3)), "Na Start puls");
    EXPECT_EQ(book->fill("loop", 6, 1), kGreen);
    Panel().choosePhase(Phase::StartPulse);  // chosen again: armed again
    EXPECT_EQ(Pass(Runner(3), "10:5:0.00"), "Start!!");
    EXPECT_EQ(Cell("loop", 3, 6), "10:5:0.00");
}

using Failures = RaceFixture;

TEST_F(Failures, RefusedTimeLeavesCounterAndBibAlone) {
    Race("Lopen", Phase::Recording, 3);
    book->failIf = [](const WorkbookCall& c) { return c.op == "write" && c.column == 6; };
    EXPECT_EQ(Pass(Runner(0), "8:0:0.00"), "Start");
    EXPECT_EQ(Cell("loop", 3, 20), "");
    EXPECT_EQ(book->fill("loop", 3, 1), std::nullopt);
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find("F3"), std::string::npos) << problems[0];
    EXPECT_NE(problems[0].find("rugnummer 201"), std::string::npos) << problems[0];
    EXPECT_EQ(Log(), Runner(0) + "\t201 \t8:0:0.00\tStart\r\n");
    // The next passing, with the workbook back, starts the runner properly.
    book->failIf = nullptr;
    EXPECT_EQ(Pass(Runner(0)), "Start");
    EXPECT_EQ(Cell("loop", 3, 20), "1");
}

TEST_F(Failures, RefusedCounterAndColourAreReported) {
    Race("Lopen", Phase::Recording, 3);
    book->failIf = [](const WorkbookCall& c) { return c.op == "write" && c.column == 20; };
    EXPECT_EQ(Pass(Runner(0)), "Start");
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:1.00");
    book->failIf = [](const WorkbookCall& c) { return c.op == "colour"; };
    EXPECT_EQ(Pass(Runner(1)), "Start");
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("T3"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("A4"), std::string::npos) << problems[1];
    // A colour left out does not leak into the next passing.
    book->failIf = nullptr;
    Race("Lopen", Phase::Warmup, 3);
    const auto before = book->calls.size();
    Pass(Runner(1));
    for (std::size_t n = before; n < book->calls.size(); ++n) {
        EXPECT_NE(book->calls[n].op, "colour");
    }
}

TEST_F(Failures, RefusedStartPulseIsReportedAndStaysArmed) {
    Race("Lopen", Phase::StartPulse, 3);
    book->failIf = [](const WorkbookCall& c) { return c.op == "writeRange"; };
    EXPECT_EQ(Pass(Runner(0)), "Start!!");
    EXPECT_TRUE(controller->race().setup().startPulseArmed);
    EXPECT_EQ(book->fill("loop", 3, 1), std::nullopt);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("F3:F22"), std::string::npos) << problems[0];
    EXPECT_NE(problems[1].find("klaarstaan"), std::string::npos) << problems[1];
    // Once the sheet takes writes again, the next passing gives the pulse.
    book->failIf = nullptr;
    EXPECT_EQ(Pass(Runner(1)), "Start!!");
    EXPECT_FALSE(controller->race().setup().startPulseArmed);
    EXPECT_EQ(Cell("loop", 3, 20), "1");
    EXPECT_EQ(Pass(Runner(2)), "Na Start puls");
}

TEST_F(Failures, PassingsWaitWhileTheWorkbookIsClosedWithoutAMessageEach) {
    Race("Fietsen", Phase::Recording, 2);
    Pass(Cyclist(0));
    ASSERT_TRUE(book->close());
    EXPECT_EQ(Pass(Cyclist(0)), "Wacht op werkboek");
    EXPECT_EQ(Pass(Cyclist(1)), "Wacht op werkboek");
    EXPECT_EQ(controller->passings().size(), 3u);
    EXPECT_EQ(logged.size(), 3u);
    EXPECT_EQ(controller->waitingCount(), 2u);
    EXPECT_TRUE(problems.empty());
}

TEST_F(Failures, TheSameWorkbookBackIsBroughtUpToDateInOrderWithoutAQuestion) {
    Race("Lopen", Phase::Recording, 3);
    Pass(Runner(0), "10:0:0.00");
    Pass(Runner(0), "10:1:0.00");
    ASSERT_TRUE(book->close());  // before the first two were saved
    EXPECT_EQ(Pass(Runner(1), "10:0:5.00"), "Wacht op werkboek");
    EXPECT_EQ(Pass(Runner(1), "10:1:5.00"), "Wacht op werkboek");

    // The same workbook again, as it was before any passing: all four go in, in order, into
    // the sheet of the sport in force although the workbook opens on another.
    ASSERT_TRUE(controller->openWorkbook("race.xlsx"));
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");
    EXPECT_EQ(Cell("loop", 3, 7), "10:1:0.00");
    EXPECT_EQ(Cell("loop", 4, 6), "10:0:5.00");
    EXPECT_EQ(Cell("loop", 4, 7), "10:1:5.00");
    EXPECT_EQ(Cell("loop", 4, 20), "2");
    EXPECT_EQ(Cell("schaats", 3, 6), "");
    EXPECT_EQ(controller->waitingCount(), 0u);
    // The rows that waited show what the passings were.
    EXPECT_EQ(controller->passings().row(0).type, "Doork 1");
    EXPECT_EQ(controller->passings().size(), 4u);
    // Opened once more as a fresh copy: brought up to date again.
    ASSERT_TRUE(controller->openWorkbook("race.xlsx"));
    EXPECT_EQ(Cell("loop", 4, 7), "10:1:5.00");
    EXPECT_EQ(Pass(Runner(1), "10:2:5.00"), "Doork 2");
}

TEST_F(Failures, AnotherWorkbookIsOfferedWhatWaitedAndPassingsMeanwhileWaitBehind) {
    Race("Lopen", Phase::Recording, 3);
    ASSERT_TRUE(book->close());
    Pass(Runner(0), "10:0:0.00");
    Pass(Runner(1), "10:0:1.00");
    // Another workbook: the question comes; a passing that comes meanwhile waits behind.
    ASSERT_TRUE(controller->openWorkbook("next-heat.xlsx"));
    EXPECT_EQ(offers, (std::vector<std::size_t>{2}));
    EXPECT_EQ(Pass(Runner(0), "10:1:0.00"), "Wacht op werkboek");
    EXPECT_EQ(Cell("loop", 3, 6), "");
    controller->fillIn(true);
    EXPECT_EQ(journal.back(), "fill-in yes");
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");
    EXPECT_EQ(Cell("loop", 3, 7), "10:1:0.00") << "the one that came meanwhile, after them";
    EXPECT_EQ(Cell("loop", 4, 6), "10:0:1.00");

    // Said no: those offered stay in the list and the log only.
    ASSERT_TRUE(book->close());
    Pass(Runner(2), "10:2:0.00");
    ASSERT_TRUE(controller->openWorkbook("third.xlsx"));
    controller->fillIn(false);
    EXPECT_EQ(Cell("loop", 5, 6), "");
    EXPECT_EQ(controller->passings().row(0).type, "Niet ingevuld");
    EXPECT_EQ(controller->waitingCount(), 0u);
    EXPECT_EQ(Pass(Runner(2), "10:3:0.00"), "Start");
}

TEST_F(Failures, PassingsBeforeAWorkbookWaitOnceAPhaseIsChosen) {
    // A restart: the set-up is in force before a workbook is open, and the decoder empties
    // its memory at once.
    controller = std::make_unique<timing::RaceController>(Options(), Events());
    controller->setup().restore({.kind = timing::ActionKind::Restore,
                                 .text = "Lopen",
                                 .number = 3,
                                 .phase = Phase::Recording});
    EXPECT_EQ(Pass(Runner(0), "10:0:0.00"), "Wacht op werkboek");
    EXPECT_EQ(Pass(Runner(0), "10:1:0.00"), "Wacht op werkboek");
    ASSERT_TRUE(controller->openWorkbook("race.xlsx"));
    ASSERT_EQ(offers, (std::vector<std::size_t>{2}));
    controller->fillIn(true);
    EXPECT_EQ(Cell("loop", 3, 6), "10:0:0.00");
    EXPECT_EQ(Cell("loop", 3, 7), "10:1:0.00");
}

TEST_F(Failures, UnwritableLogStillHandlesShowsAndRecords) {
    std::filesystem::remove_all(dir.path());
    std::filesystem::create_directories(dir.path() / "dovokop.log");  // a folder in its way
    Race("Lopen", Phase::Recording, 3);
    EXPECT_EQ(Pass(Runner(0)), "Start");
    EXPECT_EQ(Pass(Runner(0)), "Doork 1");
    EXPECT_EQ(Cell("loop", 3, 7), "10:0:1.00");
    EXPECT_EQ(book->fill("loop", 3, 1), kYellow);
    EXPECT_EQ(controller->passings().size(), 2u);
    EXPECT_EQ(logged.size(), 2u);
    ASSERT_EQ(problems.size(), 2u);
    EXPECT_NE(problems[0].find("koppellog"), std::string::npos) << problems[0];
}

using Display = RaceFixture;

TEST_F(Display, NewestFirstInTheListOldestFirstInTheLog) {
    Race("Lopen", Phase::Recording, 1);
    Pass(Runner(0), "1:2:3.05");
    Pass("KX-00001", "1:2:4.00");
    Pass(Runner(0), "1:2:5.10");
    const timing::PassingList& list = controller->passings();
    ASSERT_EQ(list.size(), 3u);
    EXPECT_EQ(list.row(0).type, "Finish");
    EXPECT_EQ(list.row(0).colour, kOrange);
    EXPECT_EQ(list.row(1).transponder, "KX-00001");
    EXPECT_EQ(list.row(2).bib, "201 ");
    EXPECT_EQ(list.row(2).time, "1:2:3.05");
    EXPECT_EQ(list.backgroundColour(), kOrange);
    const std::string r = Runner(0);
    EXPECT_EQ(Log(), r + "\t201 \t1:2:3.05\tStart\r\nKX-00001\t \t1:2:4.00\tOnbekend\r\n" + r +
                         "\t201 \t1:2:5.10\tFinish\r\n");
    EXPECT_EQ(logged.back(), r + "\t201 \t1:2:5.10\tFinish");
}

TEST_F(Display, ARecordSetAsideIsListedGreyAndLoggedButNeverWritten) {
    Race("Lopen", Phase::Recording, 3);
    const auto wire = [](std::uint32_t number, std::uint64_t micros, bool hit) {
        decoder::PassingRecordFields fields;
        fields.passingNumber = number;
        fields.transponderText = Runner(0);
        fields.timeMicros = micros;
        std::vector<std::uint8_t> record = decoder::BuildPassingRecord(fields);
        if (hit) {
            record[4] ^= 0x40;  // the CRC itself took the hit: the rest reads as sent
        }
        std::vector<std::uint8_t> bytes;
        decoder::AppendEscaped(record, bytes);
        return bytes;
    };
    constexpr std::uint64_t kTen = 36'000'000'000;
    for (std::uint32_t k = 0; k < 3; ++k) {
        controller->onDecoderBytes(link::LinkKind::Tcp, wire(k, kTen + k * 20'000'000, false));
    }
    ASSERT_EQ(Cell("loop", 3, 6), "10:0:0.00") << "three records in a row: the check is armed";
    const std::string counter = Cell("loop", 3, 20);
    controller->onDecoderBytes(link::LinkKind::Tcp, wire(3, kTen + 90'000'000, true));

    const timing::PassingRow& row = controller->passings().row(0);
    EXPECT_EQ(row.type, "Controlesom fout");
    EXPECT_EQ(row.colour, timing::kGrey);
    EXPECT_EQ(row.time, "10:1:30.00");
    EXPECT_EQ(Cell("loop", 3, 20), counter) << "nothing written";
    EXPECT_EQ(Cell("loop", 3, 9), "");
    EXPECT_EQ(logged.back(), Runner(0) + "\t \t10:1:30.00\tControlesom fout");
    EXPECT_EQ(setAsideCount, 1u);
    EXPECT_TRUE(problems.empty()) << "a standing count, no message per record";
}

TEST_F(Display, ALogLineKeepsItsFourFieldsWhateverTheCode) {
    // A decoder's text code may hold any character; the log line must stay one line of four.
    Race("Lopen", Phase::Recording, 1);
    Pass("A\tB\r\nC\\D", "1:2:3.05");
    EXPECT_EQ(Log(), "A\\tB\\r\\nC\\\\D\t \t1:2:3.05\tOnbekend\r\n");
}

}  // namespace
}  // namespace tivaro::testing
