#pragma once
// The live page's JSON: the standings of the race in force as one snapshot, the form in which
// `GET /api/stand` answers and every WebSocket message is sent. English keys; times are texts
// as the race view shows them ("1:02.50"), an unknown time is null:
//
//   {"sheet": "...", "sport": "Lopen", "heat": "", "laps": 2, "latest": "10:02:00.00",
//    "competitors": [{"place": 1, "bib": "203", "name": "...", "heat": "", "lapsDone": 2,
//                     "lapTimes": ["0:55.00", null], "bestLap": "0:55.00",
//                     "total": "1:50.00", "finished": true}]}
//
// The writer and its reader sit side by side; the reader serves the tests and the benchmark,
// which compare what a client received with what the server holds.

#include <QByteArray>
#include <optional>
#include <string>
#include <vector>

#include "common/result.h"
#include "timing/results.h"

namespace tivaro::live {

struct StandLine {
    std::optional<int> place;
    std::string bib;
    std::string name;
    std::string heat;
    int lapsDone = 0;
    std::vector<std::optional<std::string>> lapTimes;
    std::optional<std::string> bestLap;
    std::optional<std::string> total;
    bool finished = false;

    bool operator==(const StandLine&) const = default;
};

struct Stand {
    std::string sheet;
    std::string sport;  // the sport box's text; empty before a sport is chosen
    std::string heat;
    int laps = 0;
    std::optional<std::string> latest;  // time of day of the latest passing, "10:02:00.00"
    std::vector<StandLine> competitors;

    bool operator==(const Stand&) const = default;
};

// The snapshot of `results` as the page shows it.
Stand StandOf(const timing::RaceResults& results);

// The results of the race in force, or empty results when there are none yet (no workbook
// open, no sport chosen): the page then shows an empty list.
timing::RaceResults ResultsOrEmpty(const timing::Race& race);

// Compact JSON text of `stand`.
QByteArray StandJson(const Stand& stand);

// Reads JSON written by StandJson; the error names what is missing or of the wrong type.
Result<Stand> ReadStand(const QByteArray& json);

}  // namespace tivaro::live
