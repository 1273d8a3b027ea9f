#pragma once
// The results of a race, as an organiser hands them out: the competitors of the race in force
// (in skating, of one heat) by place, with their laps done, each lap time of the race, their
// best lap and total. Finished competitors with a total are placed by it, an equal total
// sharing the place; the rest follow in position order (laps done, then who got there first)
// without a place. Built from the race standings, so they agree with the race view.
//
// The CSV form is what a Dutch spreadsheet opens as columns: UTF-8 with a byte order mark,
// ';' between fields, CR LF after each line.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "timing/race.h"
#include "timing/race_standings.h"
#include "timing/time_of_day.h"

namespace tivaro::timing {

struct ResultLine {
    int row = 0;               // the competitor's row of the race sheet
    std::optional<int> place;  // none: not finished, or finished without a total
    std::string bib;
    std::string name;
    std::string club;
    std::string heat;
    std::string counter;  // the lap counter as the sheet holds it
    int lapsDone = 0;
    std::vector<std::optional<Hundredths>> lapTimes;  // one per lap of the race
    std::optional<Hundredths> bestLap;
    std::optional<Hundredths> total;
    bool finished = false;
};

struct RaceResults {
    std::string title;  // the race sheet's A1, else the workbook's name
    Sport sport = Sport::None;
    std::string heat;  // the heat shown (skating); empty: every heat
    int laps = 0;      // lap time columns
    bool hasNames = false;
    bool hasClubs = false;
    std::optional<Hundredths> latestPassing;
    std::optional<Hundredths> fastestLap;  // the fastest lap of anyone shown
    std::vector<ResultLine> lines;         // in order of place
};

// The laps a race of `setup` has: the lap count chosen (running, cycling), or every lap of
// the sport (skating); 0 without a sport.
int RaceLaps(const RaceSetup& setup);

// The competitors of `standings` in position order, with their places. An empty `heat` takes
// every competitor; otherwise only those whose heat cell holds it.
std::vector<ResultLine> PlaceCompetitors(const RaceStandings& standings, int laps,
                                         std::string_view heat);

// The results of `standings`, for a race of `laps` laps, of heat `heat` (empty: all).
RaceResults MakeResults(const RaceStandings& standings, int laps, std::string_view heat,
                        std::string title);

// The results of the race in force: its standings read from its race sheet, its heat in
// skating, titled by the sheet's A1 or the workbook's name.
Result<RaceResults> ResultsOfRace(const Race& race);

// The results as CSV text (see above).
std::string ResultsCsv(const RaceResults& results);

}  // namespace tivaro::timing
