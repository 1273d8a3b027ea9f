#pragma once
// The standings of a race: one entry per competitor row of the race sheet, with the passing
// times as the sheet holds them and the lap times and total the program computes from them,
// so the view works with any spreadsheet engine and without a formula in the workbook.
//
// A competitor row (rows 3..200) is one with a bib or a transponder. Its passings sit where
// the lap rules write them: the start in F, "Doork k" in F + k, the finish in the sport's
// finish column. Lap k runs from the passing in F + k - 1 to the one in F + k; on the last
// lap of a race with fewer laps than the sport allows, the columns up to the finish column
// stay empty and lap k ends at the finish. Every duration is taken modulo a day, so a race
// that runs past midnight keeps its lap times.
//
// Cells typed by hand may hold anything: a text that is no time leaves the laps that touch
// it without a time, and everything else is still shown.
//
// Kept in sync cheaply: reload() reads the sheet in one block when the workbook, the race
// sheet or the sport changes; follow() re-reads the one row a passing wrote (or the whole
// sheet after a write over many rows, such as the common start).

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/result.h"
#include "timing/passing_result.h"
#include "timing/race.h"
#include "timing/sports.h"
#include "timing/time_of_day.h"
#include "workbook/workbook.h"

namespace tivaro::timing {

// A duration as "m:ss.hh", or "h:mm:ss.hh" from an hour on ("1:02.50", "1:00:07.25").
std::string FormatDuration(Hundredths duration);

struct Standing {
    int row = 0;  // the row of the race sheet
    std::string bib;
    std::string transponder;
    std::string name;     // empty when the sheet has no name column
    std::string club;     // empty when the sheet has no club column
    std::string heat;     // as the sheet holds it (skating)
    std::string counter;  // the lap counter as the sheet holds it
    // The passing cells as read: [0] the start, [k] "Doork k", [lastLapMark] the finish.
    std::vector<std::string> passings;
    std::vector<std::optional<Hundredths>> times;  // each passing cell read as a time of day
    std::vector<std::optional<Hundredths>> laps;   // [k - 1]: lap k, when both its ends are times
    std::optional<Hundredths> total;               // finish minus start
    int lapsDone = 0;                              // passing cells after the start that hold text
    bool finished = false;                         // the finish cell holds text, or the counter "x"
    std::optional<Hundredths> lastPassing;  // time of day of the furthest passing with a time

    bool operator==(const Standing&) const = default;
};

enum class StandingsOrder {
    ByBib,  // numeric bibs by number, then other bibs by text, then rows without a bib
    // Finished competitors first, by total; then by laps done, most first; then by the time of
    // the last passing, earliest first; ties by bib.
    ByPosition,
};

// What a refresh changed.
struct StandingsChange {
    enum class Kind { None, Row, All };
    Kind kind = Kind::None;
    int row = 0;  // Kind::Row: the sheet row re-read
};

class RaceStandings {
public:
    // The rows that make up the standings: the headings row, then the competitor rows.
    static constexpr int kHeadingRow = 2;
    static constexpr int kLastColumn = kCounterColumn;  // A..T

    // Builds the standings of `sport` from the headings row and the competitor rows
    // (rows[i] is sheet row 3 + i, each from column A; shorter rows read as empty cells). The
    // names come from the column headed "Naam" or "Name" (in any case), the clubs from the one
    // headed "Club" or "Vereniging", if there is one.
    // Sport::None gives empty standings.
    void load(Sport sport, const std::vector<std::string>& headings,
              const std::vector<std::vector<std::string>>& rows);
    // Puts the cells of sheet row `row` (from column A) in place of what the row held: Row when
    // its standing changed, or the row became or stopped being a competitor; None otherwise.
    StandingsChange setRow(int row, const std::vector<std::string>& cells);

    // Reads the headings and competitor rows of `sheet` in one block and loads them. No
    // workbook, no sheet or Sport::None give empty standings. On failure the standings stay as
    // they were and the next follow() reads the whole sheet again.
    Result<StandingsChange> reload(workbook::Workbook* book, std::optional<workbook::SheetId> sheet,
                                   Sport sport);
    // The same for the race's workbook, race sheet and sport in force.
    Result<StandingsChange> reload(const Race& race);

    // Brings the standings up to date after `result` was handled: nothing for a passing that
    // found no competitor; the competitor's row re-read; the whole sheet re-read when the
    // result wrote over more than one row, when the workbook, sheet or sport is no longer the
    // one last read, or when an earlier read failed. On failure the standings stay as they
    // were and the next follow() reads the whole sheet.
    Result<StandingsChange> follow(workbook::Workbook* book, std::optional<workbook::SheetId> sheet,
                                   Sport sport, const PassingResult& result);
    Result<StandingsChange> follow(const Race& race, const PassingResult& result);

    Sport sport() const { return sport_; }
    // The sport's rules; null for Sport::None.
    const SportRules* rules() const { return RulesOf(sport_); }
    bool hasNames() const { return nameColumn_ > 0; }
    bool hasClubs() const { return clubColumn_ > 0; }

    // The competitors in sheet order.
    const std::vector<Standing>& competitors() const { return competitors_; }
    // The competitor of sheet row `row`; null when that row holds none.
    const Standing* find(int row) const;
    // The sheet rows of the competitors in `order`.
    std::vector<int> rowsInOrder(StandingsOrder order) const;
    // The time of day of the race's latest passing, taking the race past midnight into
    // account; none before any passing.
    std::optional<Hundredths> latestPassing() const;

private:
    Standing Read(int row, const std::vector<std::string>& cells) const;

    Sport sport_ = Sport::None;
    int nameColumn_ = 0;  // 0: none
    int clubColumn_ = 0;  // 0: none
    std::vector<Standing> competitors_;

    // What was read last, so a passing on another workbook, sheet or sport reads anew.
    workbook::Workbook* book_ = nullptr;
    std::optional<workbook::SheetId> sheet_;
    bool stale_ = true;
};

// True when bib `a` comes before bib `b` in bib order.
bool BibBefore(std::string_view a, std::string_view b);

}  // namespace tivaro::timing
