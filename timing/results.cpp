#include "timing/results.h"

#include <algorithm>

#include "timing/cell_text.h"

namespace tivaro::timing {

namespace {

std::string Duration(const std::optional<Hundredths>& duration) {
    return duration ? FormatDuration(*duration) : std::string();
}

// A field as a spreadsheet reads it back: quoted when it holds the separator, a quote or a
// line break, with its quotes doubled.
std::string CsvField(std::string_view text) {
    if (text.find_first_of(";\"\r\n") == std::string_view::npos) {
        return std::string(text);
    }
    std::string quoted = "\"";
    for (const char c : text) {
        quoted += c;
        if (c == '"') {
            quoted += '"';
        }
    }
    return quoted + '"';
}

void AppendLine(std::string& csv, const std::vector<std::string>& fields) {
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) {
            csv += ';';
        }
        csv += CsvField(fields[i]);
    }
    csv += "\r\n";
}

}  // namespace

int RaceLaps(const RaceSetup& setup) {
    const SportRules* rules = RulesOf(setup.sport);
    if (rules == nullptr) {
        return 0;
    }
    return rules->readsLapCount() ? std::clamp(setup.lapCount, 1, rules->lastLapMark)
                                  : rules->lastLapMark;
}

std::vector<ResultLine> PlaceCompetitors(const RaceStandings& standings, int laps,
                                         std::string_view heat) {
    heat = Trimmed(heat);
    std::vector<ResultLine> lines;
    for (const int row : standings.rowsInOrder(StandingsOrder::ByPosition)) {
        const Standing& standing = *standings.find(row);
        if (!heat.empty() && Trimmed(standing.heat) != heat) {
            continue;
        }
        ResultLine line{.row = row,
                        .bib = standing.bib,
                        .name = standing.name,
                        .club = standing.club,
                        .heat = standing.heat,
                        .counter = standing.counter,
                        .lapsDone = std::min(standing.lapsDone, laps),
                        .total = standing.total,
                        .finished = standing.finished};
        for (int k = 0; k < laps; ++k) {
            const auto lap = static_cast<std::size_t>(k);
            line.lapTimes.push_back(lap < standing.laps.size() ? standing.laps[lap] : std::nullopt);
            if (line.lapTimes.back() && (!line.bestLap || *line.lapTimes.back() < *line.bestLap)) {
                line.bestLap = line.lapTimes.back();
            }
        }
        lines.push_back(std::move(line));
    }
    // Position order puts the finished with a total first, by total: they take places, an
    // equal total the same one.
    for (std::size_t i = 0; i < lines.size() && lines[i].finished && lines[i].total; ++i) {
        lines[i].place = i > 0 && lines[i - 1].total == lines[i].total
                             ? lines[i - 1].place
                             : std::optional(static_cast<int>(i) + 1);
    }
    return lines;
}

RaceResults MakeResults(const RaceStandings& standings, int laps, std::string_view heat,
                        std::string title) {
    RaceResults results{.title = std::move(title),
                        .sport = standings.sport(),
                        .heat = std::string(Trimmed(heat)),
                        .laps = laps,
                        .hasNames = standings.hasNames(),
                        .hasClubs = standings.hasClubs(),
                        .latestPassing = standings.latestPassing()};
    results.lines = PlaceCompetitors(standings, laps, heat);
    for (const ResultLine& line : results.lines) {
        if (line.bestLap && (!results.fastestLap || *line.bestLap < *results.fastestLap)) {
            results.fastestLap = line.bestLap;
        }
    }
    return results;
}

Result<RaceResults> ResultsOfRace(const Race& race) {
    RaceStandings standings;
    if (Result<StandingsChange> read = standings.reload(race); !read) {
        return read.error();
    }
    std::string title;
    workbook::Workbook* book = race.workbook();
    if (book != nullptr && race.raceSheet()) {
        if (Result<std::string> a1 = book->readCell(*race.raceSheet(), 1, 1)) {
            title = std::string(Trimmed(*a1));
        }
    }
    if (title.empty() && book != nullptr) {
        title = book->path().stem().string();
    }
    const RaceSetup& setup = race.setup();
    return MakeResults(standings, RaceLaps(setup),
                       setup.sport == Sport::Skating ? setup.heat : std::string(),
                       std::move(title));
}

std::string ResultsCsv(const RaceResults& results) {
    std::string csv = "\xEF\xBB\xBF";
    std::vector<std::string> header = {"Plaats", "Rugnr.", "Naam", "Heat", "Ronden"};
    for (int k = 1; k <= results.laps; ++k) {
        header.push_back("Ronde " + std::to_string(k));
    }
    header.push_back("Totaal");
    AppendLine(csv, header);
    for (const ResultLine& line : results.lines) {
        std::vector<std::string> fields = {
            line.place ? std::to_string(*line.place) : "", std::string(Trimmed(line.bib)),
            std::string(Trimmed(line.name)), std::string(Trimmed(line.heat)),
            std::to_string(line.lapsDone)};
        for (const std::optional<Hundredths>& lap : line.lapTimes) {
            fields.push_back(Duration(lap));
        }
        fields.push_back(Duration(line.total));
        AppendLine(csv, fields);
    }
    return csv;
}

}  // namespace tivaro::timing
