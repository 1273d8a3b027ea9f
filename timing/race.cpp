#include "timing/race.h"

#include <algorithm>
#include <utility>

#include "timing/cell_text.h"
#include "workbook/cell_address.h"

namespace tivaro::timing {

namespace {

Error Prefixed(const std::string& prefix, const Error& cause) {
    return MakeError(cause.code, prefix + cause.message);
}

std::string CellOrEmpty(const std::vector<std::string>& cells, int column) {
    return column <= static_cast<int>(cells.size()) ? cells[column - 1] : std::string();
}

}  // namespace

Result<OpenedWorkbook> OpenWorkbook(const AppStarter& startApp, const std::filesystem::path& file) {
    const std::string what = "Het wedstrijdwerkboek is niet geopend: ";
    if (!startApp) {
        return MakeError(Errc::Failed,
                         what + "er is geen rekenblad beschikbaar. (" + file.string() + ")");
    }
    Result<std::unique_ptr<workbook::SpreadsheetApp>> app = startApp();
    if (!app) {
        return Prefixed(what, app.error());
    }
    if (Status shown = (*app)->show(); !shown) {
        return Prefixed(what, shown.error());
    }
    Result<std::unique_ptr<workbook::Workbook>> opened = (*app)->open(file);
    if (!opened) {
        return Prefixed(what, opened.error());
    }
    Result<workbook::SheetId> active = (*opened)->activeSheet();
    if (!active) {
        return Prefixed(what, active.error());
    }
    return OpenedWorkbook{std::move(*app), std::move(*opened), *active};
}

Status Race::takeWorkbook(OpenedWorkbook opened) {
    // The earlier application and workbook are let go of, not closed.
    app_ = std::move(opened.app);
    workbook_ = std::move(opened.workbook);
    sheet_ = opened.sheet;
    if (setup_.sport == Sport::None) {
        return {};
    }
    const SportRules& rules = *RulesOf(setup_.sport);
    if (Status kept = chooseSport(setup_.sport); !kept) {
        setup_.sport = Sport::None;
        sheet_.reset();
        return MakeError(kept.error().code,
                         "Het werkboek heeft geen bruikbaar blad \"" +
                             std::string(rules.sheetName) + "\" voor de sport " +
                             std::string(rules.boxText) +
                             " die gold. Kies de sport; passeringen wachten tot dan. (" +
                             workbook_->path().string() + ")");
    }
    return {};
}

std::optional<workbook::SheetId> Race::sheetNamed(const std::string& name) const {
    if (!workbook_) {
        return std::nullopt;
    }
    const std::vector<std::string> names = workbook_->sheetNames();
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == name) {
            return workbook::SheetId{static_cast<int>(k)};
        }
    }
    return std::nullopt;
}

std::string Race::raceSheetName() const {
    if (!workbook_ || !sheet_) {
        return {};
    }
    Result<std::string> name = workbook_->sheetName(*sheet_);
    return name ? *name : std::string();
}

Status Race::chooseSport(Sport sport) {
    const SportRules* rules = RulesOf(sport);
    if (rules == nullptr) {
        setup_.sport = Sport::None;  // no sport: the race sheet stays the earlier one
        return {};
    }
    const std::string what = "De sport " + std::string(rules->boxText) +
                             " is niet gekozen: het blad \"" + std::string(rules->sheetName) +
                             "\" ";
    if (!workbook_) {
        return MakeError(Errc::Closed, what +
                                           "is niet te openen, want er is geen "
                                           "wedstrijdwerkboek open. Open eerst het werkboek.");
    }
    // The sport's sheet is activated first; the race sheet is then the active sheet.
    if (Status activated = workbook_->activate(rules->sheetName); !activated) {
        if (activated.error().code == Errc::NoSuchSheet) {
            return MakeError(Errc::NoSuchSheet, what +
                                                    "ontbreekt in het werkboek. Voeg het blad "
                                                    "toe of kies een andere sport. (" +
                                                    activated.error().message + ")");
        }
        return Prefixed(what + "is niet te gebruiken: ", activated.error());
    }
    Result<workbook::SheetId> active = workbook_->activeSheet();
    if (!active) {
        return Prefixed(what + "is niet te gebruiken: ", active.error());
    }
    sheet_ = *active;
    setup_.sport = sport;
    return {};
}

void Race::chooseHeat(std::string heatNumber) {
    setup_.heat = std::move(heatNumber);
}

void Race::setLapCount(int laps) {
    setup_.lapCount = laps;
}

void Race::setMinimumLap(Hundredths minimumLap) {
    setup_.minimumLap = std::max<Hundredths>(minimumLap, 0);
}

void Race::choosePhase(Phase phase, bool pulseGiven) {
    setup_.phase = phase;
    setup_.startPulseArmed = phase == Phase::StartPulse && !pulseGiven;
}

PassingResult Race::judge(const link::Passing& passing) const {
    return judge(passing, setup_, sheet_);
}

PassingResult Race::judge(const link::Passing& passing, const RaceSetup& setup,
                          std::optional<workbook::SheetId> sheet) const {
    PassingResult result;
    result.passing = passing;
    result.name = "Onbekend";
    result.colour = kWhite;
    if (!workbook_ || !sheet) {
        return result;
    }

    // The topmost row of the transponder block that holds the code.
    Result<int> position =
        workbook_->find(*sheet,
                        workbook::CellName(kFirstCompetitorRow, kTransponderColumn) + ":" +
                            workbook::CellName(kLastCompetitorRow, kTransponderColumn),
                        passing.transponder);
    if (!position) {
        if (position.error().code != Errc::NotFound) {
            result.problem = position.error();
        }
        return result;
    }
    if (*position < 1 || *position > kLastCompetitorRow - kFirstCompetitorRow + 1) {
        return result;
    }
    return judgeAt(passing, setup, *sheet, *position + kFirstCompetitorRow - 1, std::move(result));
}

PassingResult Race::judgeRow(const link::Passing& passing, int row) const {
    PassingResult result;
    result.passing = passing;
    result.name = "Onbekend";
    result.colour = kWhite;
    if (!workbook_ || !sheet_ || row < kFirstCompetitorRow || row > kLastCompetitorRow) {
        return result;
    }
    return judgeAt(passing, setup_, *sheet_, row, std::move(result));
}

Result<Race::Competitor> Race::competitorWithBib(std::string_view bib) const {
    if (!workbook_ || !sheet_) {
        return MakeError(Errc::Closed, "er is geen wedstrijdwerkboek open");
    }
    Result<int> position =
        workbook_->find(*sheet_,
                        workbook::CellName(kFirstCompetitorRow, kBibColumn) + ":" +
                            workbook::CellName(kLastCompetitorRow, kBibColumn),
                        bib);
    if (!position) {
        return position.error();
    }
    const int row = *position + kFirstCompetitorRow - 1;
    Result<std::string> transponder = workbook_->readCell(*sheet_, row, kTransponderColumn);
    if (!transponder) {
        return transponder.error();
    }
    return Competitor{row, std::move(*transponder)};
}

namespace {

// The time of day of the competitor's last recorded passing: the rightmost time in the sport's
// passing columns (start to finish), as those are filled from left to right.
std::optional<Hundredths> LastRecordedTime(const SportRules& rules,
                                           const std::vector<std::string>& cells) {
    for (int column = rules.finishColumn(); column >= kStartColumn; --column) {
        if (std::optional<Hundredths> time = ParseTimeOfDay(CellOrEmpty(cells, column))) {
            return time;
        }
    }
    return std::nullopt;
}

}  // namespace

PassingResult Race::judgeAt(const link::Passing& passing, const RaceSetup& setup,
                            workbook::SheetId sheet, int row, PassingResult result) const {
    Result<std::vector<std::string>> cells = workbook_->readRow(sheet, row, kCounterColumn);
    if (!cells) {
        result.problem = cells.error();
        return result;
    }
    result.found = true;
    result.row = row;
    result.bib = CellOrEmpty(*cells, kBibColumn);
    result.name = "Opwarmen";
    result.colour = kLightCyan;

    // A second read of one crossing: the loop saw the competitor again within the minimum lap.
    if (const SportRules* rules = RulesOf(setup.sport); rules && setup.minimumLap > 0) {
        const std::optional<Hundredths> last = LastRecordedTime(*rules, *cells);
        const std::optional<Hundredths> now = ParseTimeOfDay(passing.time);
        if (last && now && Elapsed(*last, *now) < setup.minimumLap) {
            result.name = "Dubbel";
            result.colour = kGrey;
            return result;
        }
    }

    // Every sport other than the three, and every phase without a rule of its own, leaves the
    // passing a warm-up that writes nothing.
    switch (setup.sport) {
        case Sport::Skating:
            // Only the chosen heat is timed, and only while recording; everyone else warms up.
            if (setup.phase == Phase::Recording && CellOrEmpty(*cells, kHeatColumn) == setup.heat) {
                lapStep(kSkating, setup, *cells, result);
            } else if (CellOrEmpty(*cells, kCounterColumn) == kFinishedMark) {
                result.name = kSkating.coolDownName;
                result.colour = kLightYellow;
            } else {
                result.colourBibCell = true;
            }
            break;
        case Sport::Running:
            if (setup.phase == Phase::StartPulse) {
                startPulse(setup, sheet, result);
            } else if (setup.phase == Phase::Recording) {
                lapStep(kRunning, setup, *cells, result);
            }
            break;
        case Sport::Cycling:
            if (setup.phase == Phase::Recording) {
                lapStep(kCycling, setup, *cells, result);
            }
            break;
        case Sport::None:
            break;
    }
    return result;
}

void Race::lapStep(const SportRules& rules, const RaceSetup& setup,
                   const std::vector<std::string>& cells, PassingResult& result) const {
    result.counterBefore = CellOrEmpty(cells, kCounterColumn);
    const LapStep step = DecideLapStep(rules, result.counterBefore, setup.lapCount);
    if (step.timeColumn > 0) {
        // The time first, then the counter: a counter never runs ahead of its time.
        result.writes.push_back(
            {result.row, result.row, step.timeColumn, result.passing.time, "de passeertijd"});
        result.writes.push_back(
            {result.row, result.row, kCounterColumn, step.newCounter, "de rondeteller"});
    }
    result.name = step.passType;
    result.colour = step.colour;
    result.colourBibCell = step.colourCell;
}

void Race::startPulse(const RaceSetup& setup, workbook::SheetId sheet,
                      PassingResult& result) const {
    result.colour = kGreen;
    result.colourBibCell = true;
    if (!setup.startPulseArmed) {
        result.name = "Na Start puls";
        return;
    }
    // Every row that holds a competitor (a bib or a transponder) gets the common start time
    // and its first lap; rows without one stay empty. Rows next to each other go as one block.
    Result<std::vector<std::vector<std::string>>> block =
        workbook_->readBlock(sheet, kFirstCompetitorRow, kLastCompetitorRow, kTransponderColumn);
    if (!block) {
        result.problem = block.error();
        return;
    }
    result.name = "Start!!";
    result.startPulse = true;
    const std::string counter = StartPulseCounter(kRunning, setup.lapCount);
    const auto holdsCompetitor = [&](int row) {
        const std::size_t k = static_cast<std::size_t>(row - kFirstCompetitorRow);
        if (k >= block->size()) {
            return false;
        }
        const std::vector<std::string>& cells = (*block)[k];
        return !Trimmed(CellOrEmpty(cells, kBibColumn)).empty() ||
               !Trimmed(CellOrEmpty(cells, kTransponderColumn)).empty();
    };
    for (int row = kFirstCompetitorRow; row <= kLastCompetitorRow; ++row) {
        if (!holdsCompetitor(row)) {
            continue;
        }
        int last = row;
        while (last < kLastCompetitorRow && holdsCompetitor(last + 1)) {
            ++last;
        }
        result.writes.push_back(
            {row, last, kStartColumn, result.passing.time, "de gezamenlijke starttijd"});
        result.writes.push_back({row, last, kCounterColumn, counter, "de rondetellers"});
        row = last;
    }
}

void Race::settle(const PassingResult& result, bool written) {
    if (result.startPulse && written) {
        setup_.startPulseArmed = false;
    }
}

}  // namespace tivaro::timing
