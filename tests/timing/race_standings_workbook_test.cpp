// The race view's lap times against the workbook's times for a whole race of each sport:
// races of every sport with several lap counts (a common start, individual starts, heats,
// competitors who stop or never start, a race past midnight) are played through the race
// controller on the embedded engine with copies of the demo workbook. The standings, kept in
// step one passing at a time, must hold the times the workbook holds, the lap times and totals
// those times give, and what LibreOffice computes from the demo workbook's own formulas, to
// the hundredth.

#include <cstdio>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/workbook/support.h"
#include "timing/race_controller.h"
#include "timing/race_standings.h"
#include "workbook/xlsx_app.h"

namespace tivaro::timing {
namespace {

using tivaro::testing::ScratchDir;
using tivaro::testing::WriteFile;

const std::filesystem::path kDemo =
    std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx";
constexpr Hundredths kSecond = 100;
constexpr Hundredths kMinute = 60 * kSecond;
constexpr Hundredths kHour = 60 * kMinute;
constexpr int kCompetitors = 20;  // rows 3..22 of each sheet of the demo workbook

std::string PassingText(Hundredths time) {
    time %= kDayHundredths;
    char text[32];
    std::snprintf(text, sizeof text, "%lld:%lld:%lld.%02lld", static_cast<long long>(time / kHour),
                  static_cast<long long>(time / kMinute % 60),
                  static_cast<long long>(time / kSecond % 60), static_cast<long long>(time % 100));
    return text;
}

// One race on one sheet: the competitors of the sport's sheet (of the heat, for skating).
struct SportRace {
    const char* boxText;
    int sheet;  // 0 schaats, 1 loop, 2 fiets: the demo workbook's order
    int laps;
    Hundredths firstStart;  // may lie past midnight: times are taken modulo a day
    Hundredths typicalLap;
    bool commonStart = false;  // running: the start pulse gives everyone the same start
    int heat = 0;              // skating
};

// What one competitor does: starts (unless the common start did), runs `durations`, and
// finishes when it runs all of the race's laps.
struct Plan {
    int row = 0;
    std::string transponder;
    Hundredths start = 0;
    std::vector<Hundredths> durations;
    bool runs = true;  // passes at all
    bool finishes = false;
};

std::string Transponder(int sheet, int i) {
    if (i % 4 == 3) {
        char text[16];
        std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sheet + i);
        return text;
    }
    return std::to_string(7404583 + 1000 * sheet + i);
}

std::vector<Plan> MakePlans(const SportRace& race) {
    std::vector<Plan> plans;
    for (int i = 0; i < kCompetitors; ++i) {
        if (race.heat > 0 && i % 5 + 1 != race.heat) {
            continue;
        }
        Plan plan;
        plan.row = 3 + i;
        plan.transponder = Transponder(race.sheet, i);
        plan.start = race.firstStart + (race.commonStart ? 0 : (i * 1'237) % 2'000);
        plan.runs = i % 9 != 8;
        // Some stop on the way; with a single lap, they only start.
        const int laps = i % 7 == 5 ? (race.laps - 1) / 2 : race.laps;
        for (int k = 0; k < laps && plan.runs; ++k) {
            plan.durations.push_back(race.typicalLap + (i * 613 + k * 379) % 1'500 - 750);
        }
        plan.finishes = plan.runs && laps == race.laps;
        plans.push_back(plan);
    }
    return plans;
}

struct Event {
    Hundredths at;
    std::string transponder;
    bool operator<(const Event& other) const { return at < other.at; }
};

// The lap time text LibreOffice shows for the lap-time format, "00:01:00,25" (a point in
// other locales), in hundredths; nothing for a blank cell.
std::optional<Hundredths> ShownDuration(const std::string& text) {
    int h = 0, m = 0, s = 0, hh = 0;
    char mark = 0;
    if (text.empty()) {
        return std::nullopt;
    }
    if (std::sscanf(text.c_str(), "%d:%d:%d%c%d", &h, &m, &s, &mark, &hh) != 5) {
        ADD_FAILURE() << "LibreOffice shows '" << text << "'";
        return std::nullopt;
    }
    return ((h * 60LL + m) * 60 + s) * 100 + hh;
}

class StandingsOnTheDemoWorkbook : public ::testing::Test {
protected:
    // Plays `races` in order on a copy of the demo workbook named `name`.xlsx; after each one
    // checks the standings against the plan and against a fresh read of the sheet, and keeps
    // them for the comparison with LibreOffice.
    void PlayRound(const std::string& name, const std::vector<SportRace>& races) {
        const std::filesystem::path file = dir_ / (name + ".xlsx");
        std::filesystem::copy_file(kDemo, file);
        files_.push_back(file);

        ControllerOptions options;
        options.startApp = [this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
            return std::unique_ptr<workbook::SpreadsheetApp>(
                std::make_unique<workbook::XlsxApp>(dir_ / "backup"));
        };
        options.couplingLog = dir_ / "dovokop.log";
        RaceStandings standings;
        RaceController* controller = nullptr;
        ControllerEvents events;
        events.problem = [](const Error& e) { ADD_FAILURE() << e.message; };
        events.passingHandled = [&](const PassingResult& result, const std::string&) {
            Result<StandingsChange> change = standings.follow(controller->race(), result);
            EXPECT_TRUE(change) << change.error().message;
        };
        RaceController made(std::move(options), events);
        controller = &made;
        SetupPanel& panel = made.setup();
        ASSERT_TRUE(made.openWorkbook(file));

        for (const SportRace& race : races) {
            SCOPED_TRACE(name + " " + race.boxText);
            ASSERT_TRUE(panel.chooseSport(race.boxText));
            panel.moveLapSlider(race.laps);
            if (race.heat > 0) {
                panel.chooseHeat("Heat " + std::to_string(race.heat));
            }
            ASSERT_TRUE(standings.reload(made.race()));
            const std::vector<Plan> plans = MakePlans(race);

            std::vector<Event> passings;
            for (const Plan& plan : plans) {
                Hundredths at = plan.start;
                if (plan.runs && !race.commonStart) {
                    passings.push_back({at, plan.transponder});
                }
                for (Hundredths duration : plan.durations) {
                    at += duration;
                    passings.push_back({at, plan.transponder});
                }
            }
            std::stable_sort(passings.begin(), passings.end());
            if (race.commonStart) {
                panel.choosePhase(Phase::StartPulse);
                made.handlePassing({plans.front().transponder, PassingText(race.firstStart)});
            }
            panel.choosePhase(Phase::Recording);
            for (std::size_t e = 0; e < passings.size(); ++e) {
                made.handlePassing({passings[e].transponder, PassingText(passings[e].at)});
                if (e == passings.size() / 2) {
                    made.handlePassing({"999999", PassingText(passings[e].at + 1)});  // unknown
                }
            }
            CheckAgainstPlan(race, plans, standings);

            // One row at a time, the standings kept up with the sheet.
            RaceStandings fresh;
            ASSERT_TRUE(fresh.reload(made.race()));
            EXPECT_EQ(fresh.competitors(), standings.competitors());
            shown_[name + "/" + made.race().workbook()->sheetNames()[race.sheet]] =
                standings.competitors();
        }
        ASSERT_TRUE(made.race().workbook()->save());
    }

    void CheckAgainstPlan(const SportRace& race, const std::vector<Plan>& plans,
                          const RaceStandings& standings) {
        const int mark = RulesOf(standings.sport())->lastLapMark;
        for (const Plan& plan : plans) {
            const Standing* standing = standings.find(plan.row);
            ASSERT_NE(standing, nullptr) << "row " << plan.row;
            SCOPED_TRACE("row " + std::to_string(plan.row));
            // The sheet holds each passing where the lap rules put it.
            std::vector<std::string> cells(mark + 1);
            Hundredths at = plan.start;
            if (plan.runs || race.commonStart) {
                cells[0] = PassingText(at);
            }
            for (std::size_t k = 1; k <= plan.durations.size(); ++k) {
                at += plan.durations[k - 1];
                const bool finish = plan.finishes && k == plan.durations.size();
                cells[finish ? mark : k] = PassingText(at);
            }
            EXPECT_EQ(standing->passings, cells);

            std::vector<std::optional<Hundredths>> laps(mark);
            Hundredths total = 0;
            for (std::size_t k = 0; k < plan.durations.size(); ++k) {
                laps[k] = plan.durations[k];
                total += plan.durations[k];
            }
            EXPECT_EQ(standing->laps, laps);
            EXPECT_EQ(standing->total, plan.finishes ? std::optional(total) : std::nullopt);
            EXPECT_EQ(standing->finished, plan.finishes);
            if (plan.finishes) {
                EXPECT_EQ(standing->counter, "x");
            }
            EXPECT_EQ(standing->lapsDone, static_cast<int>(plan.durations.size()));
        }
    }

    ScratchDir dir_;
    std::vector<std::filesystem::path> files_;
    std::map<std::string, std::vector<Standing>> shown_;  // "file/sheet": the standings
};

TEST_F(StandingsOnTheDemoWorkbook, AgreeWithTheWorkbookTimesAndLibreOfficeForEverySport) {
    // Each round is one workbook with a race of each sport; laps of about a minute running,
    // forty seconds skating, eleven minutes cycling (eight of them take more than an hour).
    const Hundredths lap[] = {40 * kSecond, 61 * kSecond, 11 * kMinute};
    PlayRound("round1", {
                            {"Lopen", 1, 1, 10 * kHour, lap[1], true},
                            {"Fietsen", 2, 2, 11 * kHour + 7, lap[2]},
                            {"Schaatsen", 0, 10, 9 * kHour + 3, lap[0], false, 1},
                        });
    PlayRound("round2", {
                            {"Lopen", 1, 3, 23 * kHour + 58 * kMinute + 11, lap[1]},
                            {"Fietsen", 2, 8, 14 * kHour, lap[2]},
                            {"Schaatsen", 0, 10, 23 * kHour + 59 * kMinute, lap[0], false, 2},
                        });
    PlayRound("round3", {
                            {"Lopen", 1, 5, 18 * kHour + 17, lap[1], true},
                            {"Fietsen", 2, 5, 23 * kHour + 40 * kMinute, lap[2]},
                            {"Schaatsen", 0, 10, 7 * kHour, lap[0], false, 3},
                        });
    ASSERT_FALSE(HasFatalFailure());

    // LibreOffice, set to Dutch as at the track, computes the workbook's own lap-time and
    // total formulas from the saved files.
    const std::filesystem::path out = dir_ / "csv";
    workbook::test::CsvSheets csv = workbook::test::ConvertWithLibreOffice(files_, out, true);
    ASSERT_EQ(shown_.size(), 9u);

    int compared = 0;
    for (const auto& [sheet, standings] : shown_) {
        SCOPED_TRACE(sheet);
        const auto found = csv.find(sheet);
        ASSERT_NE(found, csv.end());
        const std::vector<std::vector<std::string>>& rows = found->second;
        const auto cell = [&](int row, int column) -> std::string {
            if (row - 1 < static_cast<int>(rows.size()) &&
                column - 1 < static_cast<int>(rows[row - 1].size())) {
                return rows[row - 1][column - 1];
            }
            return "";
        };
        // The formula columns by their headings: "Rondetijd k", then "Totaaltijd".
        std::map<std::string, int> headings;
        for (int column = 1; column <= static_cast<int>(rows.at(1).size()); ++column) {
            headings[cell(2, column)] = column;
        }
        ASSERT_EQ(standings.size(), static_cast<std::size_t>(kCompetitors));
        for (const Standing& standing : standings) {
            for (std::size_t k = 1; k <= standing.laps.size(); ++k) {
                const int column = headings.at("Rondetijd " + std::to_string(k));
                EXPECT_EQ(standing.laps[k - 1], ShownDuration(cell(standing.row, column)))
                    << "row " << standing.row << " lap " << k;
                compared += standing.laps[k - 1] ? 1 : 0;
            }
            if (headings.count("Totaaltijd") > 0) {
                EXPECT_EQ(standing.total,
                          ShownDuration(cell(standing.row, headings.at("Totaaltijd"))))
                    << "row " << standing.row << " total";
            }
        }
    }
    EXPECT_GT(compared, 300) << "too few lap times to compare";
}

}  // namespace
}  // namespace tivaro::timing
