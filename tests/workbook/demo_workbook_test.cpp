// The demo race workbook: the committed example is what the tool writes, it holds the
// competitors other tests and the sample capture rely on, and its formulas give every lap time
// of the passing times the program writes, whatever the lap count.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "demo_workbook.h"
#include "support.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

const std::filesystem::path kExample =
    std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx";

constexpr int kStart = 6;      // F
constexpr int kCounter = 20;   // T
constexpr int kLapTimes = 21;  // U: lap 1, then the other laps, then the total
constexpr long kDay = 24L * 3600 * 100;

struct SportLayout {
    const char* sheet;
    int finish;       // the column of the finish passing
    bool allLaps;     // skating: every race runs all laps
    long typicalLap;  // hundredths of a second
    int maxLaps() const { return finish - kStart; }
};

const SportLayout kLayouts[] = {
    {"schaats", 16, true, 3'817},
    {"loop", 11, false, 9'243},
    {"fiets", 14, false, 48'761},  // eight such laps take more than an hour
};

TEST(DemoWorkbook, TheCommittedExampleHoldsWhatTheToolWrites) {
    auto made = demo::DemoWorkbookBytes();
    ASSERT_TRUE(made.ok()) << made.error().message;
    auto fresh = Package::FromBytes(*made, "made");
    auto committed = Package::FromBytes(ReadFile(kExample), kExample.string());
    ASSERT_TRUE(fresh.ok());
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    ASSERT_EQ(fresh->partNames(), committed->partNames());
    for (const std::string& part : fresh->partNames()) {
        EXPECT_EQ(*fresh->read(part), *committed->read(part)) << part
                                                              << " differs: run "
                                                                 "tivaro-make-workbook "
                                                                 "examples/demo-race.xlsx";
    }
}

TEST(DemoWorkbook, SheetsCompetitorsAndTransponders) {
    ScratchDir dir;
    XlsxApp app(dir / "backup");
    auto book = OpenOrFail(app, kExample);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->sheetNames(), (std::vector<std::string>{"schaats", "loop", "fiets"}));
    EXPECT_EQ(*book->sheetName(*book->activeSheet()), "schaats");

    const SheetId schaats{0}, loop{1}, fiets{2};
    EXPECT_EQ(*book->readCell(schaats, 2, 1), "Rugnr.");
    EXPECT_EQ(*book->readCell(schaats, 2, 2), "Transponder");
    // Examples from the layout description, then every row by its rule.
    EXPECT_EQ(*book->readCell(schaats, 3, 2), "7404583");
    EXPECT_EQ(*book->readCell(schaats, 6, 2), "KX-04126");
    EXPECT_EQ(*book->readCell(loop, 6, 2), "KX-05126");
    EXPECT_EQ(*book->find(schaats, "B3:B200", "kx-04126"), 4);
    for (int sheet = 0; sheet < 3; ++sheet) {
        for (int i = 0; i < 20; ++i) {
            const int row = 3 + i;
            const SheetId id{sheet};
            const std::string bib = std::to_string(101 + 100 * sheet + i);
            EXPECT_EQ(*book->readCell(id, row, 1), bib);
            EXPECT_EQ(*book->readCell(id, row, 4), "Deelnemer " + bib);
            char code[16];
            if (i % 4 == 3) {
                std::snprintf(code, sizeof code, "KX-%05d", 4123 + 1000 * sheet + i);
            } else {
                std::snprintf(code, sizeof code, "%d", 7404583 + 1000 * sheet + i);
            }
            EXPECT_EQ(*book->readCell(id, row, 2), code);
            EXPECT_EQ(*book->find(id, "B3:B200", code), i + 1);
            EXPECT_EQ(*book->readCell(id, row, 3), sheet == 0 ? std::to_string(i % 5 + 1) : "");
            EXPECT_EQ(*book->readCell(id, row, 20), "");
        }
        EXPECT_EQ(*book->readCell(SheetId{sheet}, 23, 1), "");
    }
    EXPECT_EQ(*book->readCell(fiets, 1, 1), "Demo training Fietsen");
}

TEST(DemoWorkbook, HeadingsNameTheColumnsOfEachSport) {
    ScratchDir dir;
    XlsxApp app(dir / "backup");
    auto book = OpenOrFail(app, kExample);
    ASSERT_NE(book, nullptr);
    for (int sheet = 0; sheet < 3; ++sheet) {
        const SportLayout& sport = kLayouts[sheet];
        std::vector<std::string> expected(kLapTimes + sport.maxLaps() + 1);
        expected[kStart] = "Start";
        for (int k = 1; k < sport.maxLaps(); ++k) {
            expected[kStart + k] = "Doork " + std::to_string(k);
        }
        expected[sport.finish] = "Finish";
        expected[kCounter] = "Ronde";
        for (int k = 1; k <= sport.maxLaps(); ++k) {
            expected[kLapTimes + k - 1] = "Rondetijd " + std::to_string(k);
        }
        expected[kLapTimes + sport.maxLaps()] = "Totaaltijd";
        for (int column = kStart; column < static_cast<int>(expected.size()); ++column) {
            EXPECT_EQ(*book->readCell(SheetId{sheet}, 2, column), expected[column])
                << sport.sheet << " column " << column;
        }
    }
}

// One competitor's passings, in hundredths of a second since midnight: the start, the
// intermediate passings, and the finish when `finished`.
struct Race {
    std::vector<long> passings;
    bool finished;
};

std::string PassingText(long time) {
    time %= kDay;
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%ld:%ld.%02ld", time / 360'000, time / 6'000 % 60,
                  time / 100 % 60, time % 100);
    return text;
}

// A duration as a Dutch LibreOffice shows the lap-time format: hours, minutes, seconds and
// hundredths after a decimal comma.
std::string Shown(long duration) {
    char text[32];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld,%02ld", duration / 360'000,
                  duration / 6'000 % 60, duration / 100 % 60, duration % 100);
    return text;
}

Race MakeRace(int sheet, long start, int passings, bool finished) {
    Race race{{start}, finished};
    for (int k = 1; k < passings; ++k) {
        // Laps of a few seconds more or less than the sport's usual, with varied hundredths.
        race.passings.push_back(race.passings.back() + kLayouts[sheet].typicalLap +
                                (k * 379 + start / 7) % 1'200 - 600);
    }
    return race;
}

// Every lap count of every sport, a race half run and a race past midnight per sport, written
// as the program writes them; LibreOffice (Dutch, as at the track) computes the formulas.
TEST(DemoWorkbook, LibreOfficeComputesEveryLapTimeForEveryLapCount) {
    ScratchDir dir;
    std::vector<std::vector<Race>> races(3);
    for (int sheet = 0; sheet < 3; ++sheet) {
        const SportLayout& sport = kLayouts[sheet];
        const int fewest = sport.allLaps ? sport.maxLaps() : 1;
        for (int laps = fewest; laps <= sport.maxLaps(); ++laps) {
            races[sheet].push_back(MakeRace(sheet, 3'630'307 + 41'017L * laps, laps + 1, true));
        }
        races[sheet].push_back(MakeRace(sheet, 3'900'011, 3, false));
        const int midnightLaps = sport.allLaps ? sport.maxLaps() : sport.maxLaps() - 1;
        races[sheet].push_back(MakeRace(sheet, kDay - 30'001, midnightLaps + 1, true));
    }

    const std::filesystem::path file = dir / "filled.xlsx";
    {
        auto bytes = demo::DemoWorkbookBytes();
        ASSERT_TRUE(bytes.ok());
        WriteFile(file, *bytes);
        XlsxApp app(dir / "backup");
        auto book = OpenOrFail(app, file);
        ASSERT_NE(book, nullptr);
        for (int sheet = 0; sheet < 3; ++sheet) {
            for (std::size_t i = 0; i < races[sheet].size(); ++i) {
                const Race& race = races[sheet][i];
                const int row = 3 + static_cast<int>(i);
                for (std::size_t p = 0; p < race.passings.size(); ++p) {
                    const bool isFinish = race.finished && p + 1 == race.passings.size();
                    const int column =
                        isFinish ? kLayouts[sheet].finish : kStart + static_cast<int>(p);
                    ASSERT_TRUE(
                        book->writeCell(SheetId{sheet}, row, column, PassingText(race.passings[p]))
                            .ok());
                }
            }
        }
        ASSERT_TRUE(book->save().ok());
    }

    // LibreOffice, set to Dutch as at the track, computes the formulas from the saved file.
    const std::filesystem::path out = dir / "csv";
    CsvSheets csv = ConvertWithLibreOffice({file}, out, true);
    ASSERT_FALSE(csv.empty());

    for (int sheet = 0; sheet < 3; ++sheet) {
        const SportLayout& sport = kLayouts[sheet];
        const auto& rows = csv[std::string("filled/") + sport.sheet];
        const auto cell = [&](int row, int column) -> std::string {
            if (row - 1 < static_cast<int>(rows.size()) &&
                column - 1 < static_cast<int>(rows[row - 1].size())) {
                return rows[row - 1][column - 1];
            }
            return "";
        };
        // Rows past the races are untouched: their lap times and total stay blank.
        for (int row = 3; row <= 22; ++row) {
            const std::size_t i = row - 3;
            const Race race = i < races[sheet].size() ? races[sheet][i] : Race{{}, false};
            const int lapsDone = std::max(0, static_cast<int>(race.passings.size()) - 1);
            for (int k = 1; k <= sport.maxLaps(); ++k) {
                const std::string expected =
                    k <= lapsDone ? Shown((race.passings[k] - race.passings[k - 1] + kDay) % kDay)
                                  : "";
                EXPECT_EQ(cell(row, kLapTimes + k - 1), expected)
                    << sport.sheet << " row " << row << " lap " << k;
            }
            const std::string total =
                race.finished ? Shown((race.passings.back() - race.passings.front() + kDay) % kDay)
                              : "";
            EXPECT_EQ(cell(row, kLapTimes + sport.maxLaps()), total)
                << sport.sheet << " row " << row << " total";
        }
    }
}

}  // namespace
}  // namespace tivaro::workbook::test
