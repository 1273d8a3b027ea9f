#include "timing/corrections.h"

#include "timing/cell_text.h"
#include "timing/time_of_day.h"

namespace tivaro::timing {

PassingResult TakeBackOf(const PassingResult& result, std::size_t arrival) {
    PassingResult undo = result;
    undo.name = "Teruggenomen: " + result.name;
    undo.colour = kGrey;
    undo.colourBibCell = false;
    undo.startPulse = false;
    undo.takesBack = arrival;
    const SheetWrite& time = result.writes[0];
    undo.writes = {
        {time.firstRow, time.lastRow, kCounterColumn, result.counterBefore, "de rondeteller"},
        {time.firstRow, time.lastRow, time.column, "", "de passeertijd"}};
    return undo;
}

Result<PassingResult> Corrections::handPassing(std::string_view bib, std::string_view time) const {
    const std::string what = "De handmatige passering is niet verwerkt: ";
    bib = Trimmed(bib);
    time = Trimmed(time);
    if (bib.empty()) {
        return MakeError(Errc::BadFormat,
                         what + "er is geen rugnummer getypt. Typ het rugnummer van de deelnemer.");
    }
    if (bib.find_first_of(" \t") != std::string_view::npos) {
        return MakeError(Errc::BadFormat, what + "\"" + std::string(bib) +
                                              "\" is geen rugnummer. Typ alleen het rugnummer.");
    }
    // Only a clock time: a bare number could be a bib typed in the wrong field.
    const std::optional<Hundredths> at =
        time.find(':') != std::string_view::npos ? ParseTimeOfDay(time) : std::nullopt;
    if (!at) {
        return MakeError(Errc::BadFormat, what + "\"" + std::string(time) +
                                              "\" is geen tijd van de dag. Typ de tijd als "
                                              "uu:mm:ss of uu:mm:ss.hh.");
    }
    Result<Race::Competitor> competitor = race_.competitorWithBib(bib);
    if (!competitor) {
        switch (competitor.error().code) {
            case Errc::NotFound:
                return MakeError(Errc::NotFound, what + "rugnummer " + std::string(bib) +
                                                     " staat niet in het wedstrijdblad. Kijk "
                                                     "het rugnummer na.");
            case Errc::Closed:
                return MakeError(Errc::Closed,
                                 what +
                                     "er is geen wedstrijdwerkboek open. Open eerst het "
                                     "werkboek en kies de sport.");
            default:
                return MakeError(competitor.error().code,
                                 what + "het wedstrijdblad kon niet worden gelezen. " +
                                     competitor.error().message);
        }
    }
    PassingResult result = race_.judgeRow(
        link::Passing{competitor->transponder, PassingTimeText(*at)}, competitor->row);
    result.source = PassingSource::Hand;
    return result;
}

Result<TakeBack> Corrections::takeBack(std::string_view bib) const {
    const std::string what = "Er is niets teruggenomen: ";
    bib = Trimmed(bib);
    Result<Race::Competitor> competitor = race_.competitorWithBib(bib);
    if (!competitor) {
        if (competitor.error().code == Errc::NotFound) {
            return MakeError(Errc::NotFound, what + "rugnummer " + std::string(bib) +
                                                 " staat niet in het wedstrijdblad.");
        }
        return MakeError(competitor.error().code, what + competitor.error().message);
    }
    const std::optional<std::size_t> k =
        ledger_.latestLapStep(competitor->row, race_.raceSheetName());
    if (!k) {
        return MakeError(Errc::NotFound, what + "rugnummer " + std::string(bib) +
                                             " heeft geen vastgelegde passering die kan worden "
                                             "teruggenomen.");
    }
    return takeBackEntry(*k);
}

std::optional<std::size_t> Corrections::takeBackEntryOf(std::size_t arrival) const {
    const std::optional<std::size_t> k = ledger_.entryOfArrival(arrival);
    if (!k || race_.workbook() == nullptr) {
        return std::nullopt;
    }
    const PassingLedger::Entry& entry = ledger_.entry(*k);
    const bool latest = entry.sheet == race_.raceSheetName() &&
                        ledger_.latestLapStep(entry.result.row, entry.sheet) == k &&
                        !Trimmed(entry.result.bib).empty();
    return latest ? k : std::nullopt;
}

bool Corrections::canTakeBack(std::size_t arrival) const {
    return takeBackEntryOf(arrival).has_value();
}

Result<TakeBack> Corrections::takeBackPassing(std::size_t arrival) const {
    const std::optional<std::size_t> k = takeBackEntryOf(arrival);
    if (!k) {
        return MakeError(Errc::Failed,
                         "Deze passering kan niet worden teruggenomen: alleen de laatste "
                         "vastgelegde start, doorkomst of finish van een deelnemer kan dat, op "
                         "het blad van de sport die nu gekozen is.");
    }
    return takeBackEntry(*k);
}

Result<TakeBack> Corrections::takeBackEntry(std::size_t k) const {
    const PassingLedger::Entry& entry = ledger_.entry(k);
    const PassingResult& taken = entry.result;
    const std::string what = "De " + taken.name + " van rugnummer " + taken.bib + " om " +
                             taken.passing.time + " is niet teruggenomen: ";
    workbook::Workbook* book = race_.workbook();
    const std::optional<workbook::SheetId> sheet = race_.sheetNamed(entry.sheet);
    if (book == nullptr || !sheet) {
        return MakeError(Errc::Closed, what + "het blad \"" + entry.sheet + "\" is niet open.");
    }
    if (Trimmed(taken.bib).empty()) {
        return MakeError(Errc::Failed, what + "de deelnemer heeft geen rugnummer.");
    }
    // Only what this passing wrote is undone: an edit of the sheet since then is left alone.
    const SheetWrite& time = taken.writes[0];
    const SheetWrite& counter = taken.writes[1];
    Result<std::string> timeNow = book->readCell(*sheet, time.firstRow, time.column);
    Result<std::string> counterNow = book->readCell(*sheet, counter.firstRow, counter.column);
    if (!timeNow || !counterNow) {
        return MakeError(Errc::Failed,
                         what + "het blad kon niet worden gelezen. " +
                             (timeNow ? counterNow.error() : timeNow.error()).message);
    }
    // A counter already back (an earlier take-back whose clearing of the time failed) is
    // taken back again.
    if (*timeNow != time.text ||
        (*counterNow != counter.text && *counterNow != taken.counterBefore)) {
        return MakeError(Errc::Failed, what +
                                           "het blad is sindsdien veranderd (de rondeteller is "
                                           "\"" +
                                           *counterNow + "\", de tijd \"" + *timeNow +
                                           "\"). Pas het blad zelf aan.");
    }
    return TakeBack{k, TakeBackOf(taken, entry.arrival), *sheet};
}

}  // namespace tivaro::timing
