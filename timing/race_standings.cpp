#include "timing/race_standings.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <utility>

#include "timing/cell_text.h"

namespace tivaro::timing {

namespace {

constexpr int kCompetitorRows = kLastCompetitorRow - kFirstCompetitorRow + 1;

std::string CellOrEmpty(const std::vector<std::string>& cells, int column) {
    return column <= static_cast<int>(cells.size()) ? cells[column - 1] : std::string();
}

// Whether `text` is one of `headings` (lower case), in any case and without its spaces.
bool IsHeading(std::string_view text, std::initializer_list<std::string_view> headings) {
    text = Trimmed(text);
    std::string lower(text);
    for (char& c : lower) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
    return std::find(headings.begin(), headings.end(), lower) != headings.end();
}

// Where the last passings of the race are cut from the rest of the day: the end of the
// longest stretch of the day without any of them. A race takes far less than half a day, so
// that stretch lies outside it, and a race past midnight keeps its order.
Hundredths DayOrigin(const std::vector<Standing>& competitors) {
    std::vector<Hundredths> times;
    for (const Standing& standing : competitors) {
        if (standing.lastPassing) {
            times.push_back(*standing.lastPassing);
        }
    }
    if (times.empty()) {
        return 0;
    }
    std::sort(times.begin(), times.end());
    Hundredths origin = times.front();
    Hundredths widest = times.front() + kDayHundredths - times.back();
    for (std::size_t i = 1; i < times.size(); ++i) {
        if (times[i] - times[i - 1] > widest) {
            widest = times[i] - times[i - 1];
            origin = times[i];
        }
    }
    return origin;
}

// Numbers first by value, then texts by text, then the empty bib.
int BibRank(std::string_view bib) {
    return bib.empty() ? 2 : AllDigits(bib) ? 0 : 1;
}

}  // namespace

std::string FormatDuration(Hundredths duration) {
    if (duration < 0) {
        duration = 0;
    }
    const Hundredths hours = duration / 360'000;
    const int minutes = static_cast<int>(duration / 6'000 % 60);
    const int seconds = static_cast<int>(duration / 100 % 60);
    const int hundredths = static_cast<int>(duration % 100);
    char text[48];
    if (hours > 0) {
        std::snprintf(text, sizeof text, "%lld:%02d:%02d.%02d", static_cast<long long>(hours),
                      minutes, seconds, hundredths);
    } else {
        std::snprintf(text, sizeof text, "%d:%02d.%02d", minutes, seconds, hundredths);
    }
    return text;
}

bool BibBefore(std::string_view a, std::string_view b) {
    a = Trimmed(a);
    b = Trimmed(b);
    const int rankA = BibRank(a);
    const int rankB = BibRank(b);
    if (rankA != rankB) {
        return rankA < rankB;
    }
    if (rankA == 0) {
        // Compared as numbers of any length: without leading zeros, the shorter is smaller.
        a.remove_prefix(std::min(a.find_first_not_of('0'), a.size()));
        b.remove_prefix(std::min(b.find_first_not_of('0'), b.size()));
        if (a.size() != b.size()) {
            return a.size() < b.size();
        }
    }
    return a < b;
}

Standing RaceStandings::Read(int row, const std::vector<std::string>& cells) const {
    const SportRules& sport = *rules();
    const int mark = sport.lastLapMark;
    Standing standing;
    standing.row = row;
    standing.bib = CellOrEmpty(cells, kBibColumn);
    standing.transponder = CellOrEmpty(cells, kTransponderColumn);
    standing.name = nameColumn_ > 0 ? CellOrEmpty(cells, nameColumn_) : std::string();
    standing.club = clubColumn_ > 0 ? CellOrEmpty(cells, clubColumn_) : std::string();
    standing.heat = CellOrEmpty(cells, kHeatColumn);
    standing.counter = CellOrEmpty(cells, kCounterColumn);
    for (int k = 0; k <= mark; ++k) {
        standing.passings.push_back(CellOrEmpty(cells, kStartColumn + k));
        standing.times.push_back(ParseTimeOfDay(standing.passings.back()));
    }
    const auto holds = [&](int k) { return !Trimmed(standing.passings[k]).empty(); };

    for (int k = 1; k <= mark; ++k) {
        // Lap k ends in its own column; on the last lap of a shorter race, at the finish.
        std::optional<Hundredths> end = standing.times[k];
        if (!holds(k)) {
            bool lastLap = true;
            for (int later = k + 1; later < mark; ++later) {
                lastLap = lastLap && !holds(later);
            }
            end = lastLap ? standing.times[mark] : std::nullopt;
        }
        standing.laps.push_back(standing.times[k - 1] && end
                                    ? std::optional(Elapsed(*standing.times[k - 1], *end))
                                    : std::nullopt);
        if (holds(k)) {
            ++standing.lapsDone;
        }
    }
    if (standing.times[0] && standing.times[mark]) {
        standing.total = Elapsed(*standing.times[0], *standing.times[mark]);
    }
    standing.finished = holds(mark) || Trimmed(standing.counter) == kFinishedMark;
    for (int k = mark; k >= 0 && !standing.lastPassing; --k) {
        standing.lastPassing = standing.times[k];
    }
    return standing;
}

void RaceStandings::load(Sport sport, const std::vector<std::string>& headings,
                         const std::vector<std::vector<std::string>>& rows) {
    sport_ = sport;
    nameColumn_ = 0;
    clubColumn_ = 0;
    competitors_.clear();
    if (rules() == nullptr) {
        return;
    }
    const int searched = std::min(static_cast<int>(headings.size()), kLastColumn);
    for (int column = searched; column >= 1; --column) {
        // The first such column counts.
        if (IsHeading(headings[column - 1], {"naam", "name"})) {
            nameColumn_ = column;
        }
        if (IsHeading(headings[column - 1], {"club", "vereniging"})) {
            clubColumn_ = column;
        }
    }
    const int count = std::min(static_cast<int>(rows.size()), kCompetitorRows);
    for (int i = 0; i < count; ++i) {
        const int row = kFirstCompetitorRow + i;
        if (!Trimmed(CellOrEmpty(rows[i], kBibColumn)).empty() ||
            !Trimmed(CellOrEmpty(rows[i], kTransponderColumn)).empty()) {
            competitors_.push_back(Read(row, rows[i]));
        }
    }
}

StandingsChange RaceStandings::setRow(int row, const std::vector<std::string>& cells) {
    if (rules() == nullptr || row < kFirstCompetitorRow || row > kLastCompetitorRow) {
        return {};
    }
    const bool competitor = !Trimmed(CellOrEmpty(cells, kBibColumn)).empty() ||
                            !Trimmed(CellOrEmpty(cells, kTransponderColumn)).empty();
    const auto at = std::lower_bound(competitors_.begin(), competitors_.end(), row,
                                     [](const Standing& s, int r) { return s.row < r; });
    const bool present = at != competitors_.end() && at->row == row;
    if (!competitor && !present) {
        return {};
    }
    if (!competitor) {
        competitors_.erase(at);
    } else if (present) {
        Standing standing = Read(row, cells);
        if (standing == *at) {
            return {};
        }
        *at = std::move(standing);
    } else {
        competitors_.insert(at, Read(row, cells));
    }
    return {StandingsChange::Kind::Row, row};
}

Result<StandingsChange> RaceStandings::reload(workbook::Workbook* book,
                                              std::optional<workbook::SheetId> sheet, Sport sport) {
    book_ = book;
    sheet_ = sheet;
    stale_ = false;
    if (book == nullptr || !sheet || RulesOf(sport) == nullptr) {
        load(Sport::None, {}, {});
        sport_ = sport;
        return StandingsChange{StandingsChange::Kind::All};
    }
    Result<std::vector<std::vector<std::string>>> rows =
        book->readBlock(*sheet, kHeadingRow, kLastCompetitorRow, kLastColumn);
    if (!rows) {
        stale_ = true;
        return MakeError(rows.error().code,
                         "Het wedstrijdoverzicht is niet bijgewerkt: het wedstrijdblad kon niet "
                         "worden gelezen; het wordt bij de volgende passering opnieuw gelezen. " +
                             rows.error().message);
    }
    std::vector<std::string> headings;
    if (!rows->empty()) {
        headings = std::move(rows->front());
        rows->erase(rows->begin());
    }
    load(sport, headings, *rows);
    return StandingsChange{StandingsChange::Kind::All};
}

Result<StandingsChange> RaceStandings::reload(const Race& race) {
    return reload(race.workbook(), race.raceSheet(), race.setup().sport);
}

Result<StandingsChange> RaceStandings::follow(workbook::Workbook* book,
                                              std::optional<workbook::SheetId> sheet, Sport sport,
                                              const PassingResult& result) {
    if (stale_ || book != book_ || sheet != sheet_ || sport != sport_) {
        return reload(book, sheet, sport);
    }
    if (!result.found || book == nullptr || !sheet || rules() == nullptr) {
        return StandingsChange{};
    }
    const bool manyRows = std::any_of(result.writes.begin(), result.writes.end(),
                                      [](const SheetWrite& w) { return w.firstRow != w.lastRow; });
    if (manyRows) {
        return reload(book, sheet, sport);
    }
    Result<std::vector<std::string>> cells = book->readRow(*sheet, result.row, kLastColumn);
    if (!cells) {
        stale_ = true;
        return MakeError(cells.error().code,
                         "Het wedstrijdoverzicht is niet bijgewerkt: rij " +
                             std::to_string(result.row) +
                             " van het wedstrijdblad kon niet worden gelezen; het blad wordt bij "
                             "de volgende passering opnieuw gelezen. " +
                             cells.error().message);
    }
    return setRow(result.row, *cells);
}

Result<StandingsChange> RaceStandings::follow(const Race& race, const PassingResult& result) {
    return follow(race.workbook(), race.raceSheet(), race.setup().sport, result);
}

const Standing* RaceStandings::find(int row) const {
    const auto at = std::lower_bound(competitors_.begin(), competitors_.end(), row,
                                     [](const Standing& s, int r) { return s.row < r; });
    return at != competitors_.end() && at->row == row ? &*at : nullptr;
}

std::vector<int> RaceStandings::rowsInOrder(StandingsOrder order) const {
    std::vector<const Standing*> sorted;
    sorted.reserve(competitors_.size());
    for (const Standing& standing : competitors_) {
        sorted.push_back(&standing);
    }
    const auto byBib = [](const Standing* a, const Standing* b) {
        if (BibBefore(a->bib, b->bib)) {
            return true;
        }
        if (BibBefore(b->bib, a->bib)) {
            return false;
        }
        return a->row < b->row;
    };
    if (order == StandingsOrder::ByBib) {
        std::sort(sorted.begin(), sorted.end(), byBib);
    } else {
        const Hundredths origin = DayOrigin(competitors_);
        // Each key sorts ascending; a missing total or passing sorts after any present one.
        const auto key = [origin](const Standing* s) {
            const Hundredths none = 2 * kDayHundredths;
            return std::tuple(!s->finished, s->finished && s->total ? *s->total : none,
                              -s->lapsDone,
                              s->lastPassing ? Elapsed(origin, *s->lastPassing) : none);
        };
        std::sort(sorted.begin(), sorted.end(), [&](const Standing* a, const Standing* b) {
            const auto keyA = key(a);
            const auto keyB = key(b);
            return keyA != keyB ? keyA < keyB : byBib(a, b);
        });
    }
    std::vector<int> rows;
    rows.reserve(sorted.size());
    for (const Standing* standing : sorted) {
        rows.push_back(standing->row);
    }
    return rows;
}

std::optional<Hundredths> RaceStandings::latestPassing() const {
    const Hundredths origin = DayOrigin(competitors_);
    std::optional<Hundredths> latest;
    for (const Standing& standing : competitors_) {
        if (standing.lastPassing &&
            (!latest || Elapsed(origin, *standing.lastPassing) > Elapsed(origin, *latest))) {
            latest = standing.lastPassing;
        }
    }
    return latest;
}

}  // namespace tivaro::timing
