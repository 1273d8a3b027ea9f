#include "timing/race_controller.h"

#include <algorithm>
#include <utility>

#include "timing/cell_text.h"
#include "timing/journal_lines.h"
#include "timing/sheet_writes.h"
#include "timing/time_of_day.h"

namespace tivaro::timing {

namespace {

// What taking back the lap step `result` writes: its time cleared, the counter as it was.
PassingResult TakeBackOf(const PassingResult& result, std::size_t arrival) {
    PassingResult undo = result;
    undo.name = "Teruggenomen: " + result.name;
    undo.colour = kGrey;
    undo.colourBibCell = false;
    undo.startPulse = false;
    undo.takesBack = arrival;
    // The counter first: once it is back, the next passing writes the time column again, so a
    // time left behind by a failed second write cannot count.
    const SheetWrite& time = result.writes[0];
    undo.writes = {
        {time.firstRow, time.lastRow, kCounterColumn, result.counterBefore, "de rondeteller"},
        {time.firstRow, time.lastRow, time.column, "", "de passeertijd"}};
    return undo;
}

}  // namespace

RaceController::RaceController(ControllerOptions options, ControllerEvents events)
    : events_(std::move(events)),
      race_(std::move(options.startApp)),
      setup_(race_),
      couplingLog_(std::move(options.couplingLog)) {
    link::ReceiveListener& listener = *this;
    for (const link::LinkKind link : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        paths_[Index(link)] =
            std::make_unique<link::ReceivePath>(link, listener, options.debug, options.rawLog);
    }
    setup_.setJournalListener([this](const std::string& line) { record(line); });
}

void RaceController::record(const std::string& line) {
    if (events_.journal) {
        events_.journal(line);
    }
}

Status RaceController::openWorkbook(const std::filesystem::path& file) {
    Result<OpenedWorkbook> opened = Race::OpenWorkbook(race_.appStarter(), file);
    if (!opened) {
        return opened.error();
    }
    takeWorkbook(std::move(*opened));
    return {};
}

void RaceController::takeWorkbook(OpenedWorkbook opened) {
    std::error_code ignored;
    std::filesystem::path path =
        std::filesystem::weakly_canonical(opened.workbook->path(), ignored);
    setup_.takeWorkbook(std::move(opened));
    workbookGone_ = false;
    if (path != journalPath_) {
        journalPath_ = std::move(path);
        journal_.clear();
    }
    findMissing();
}

void RaceController::findMissing() {
    missing_.clear();
    for (std::size_t k = 0; k < journal_.size(); ++k) {
        const Handled& entry = journal_[k];
        // A passing taken back is missing while the workbook still holds its time.
        const bool wanted = entry.takenBack ? holds(entry)
                            : entry.written ? !entry.result.writes.empty() && !holds(entry)
                                            : !entry.result.writes.empty() || entry.result.problem;
        if (wanted) {
            missing_.push_back(k);
        }
    }
}

bool RaceController::holds(const Handled& entry) {
    workbook::Workbook* book = race_.workbook();
    const std::optional<workbook::SheetId> sheet = sheetNamed(entry.sheet);
    if (book == nullptr || !sheet) {
        return false;
    }
    // Its first write (the time) tells: a counter or a colour follows it.
    const SheetWrite& time = entry.result.writes.front();
    Result<std::string> text = book->readCell(*sheet, time.firstRow, time.column);
    return text && *text == time.text;
}

std::optional<workbook::SheetId> RaceController::sheetNamed(const std::string& name) const {
    const workbook::Workbook* book = race_.workbook();
    if (book == nullptr) {
        return std::nullopt;
    }
    const std::vector<std::string> names = book->sheetNames();
    for (std::size_t k = 0; k < names.size(); ++k) {
        if (names[k] == name) {
            return workbook::SheetId{static_cast<int>(k)};
        }
    }
    return std::nullopt;
}

void RaceController::reapply() {
    const std::vector<std::size_t> missing = std::exchange(missing_, {});
    std::vector<Handled> again;
    for (std::size_t k : missing) {
        Handled& entry = journal_[k];
        if (!entry.written) {
            again.push_back(entry);
            continue;
        }
        // Written before into its own sheet, which need not be the race sheet now.
        const std::optional<workbook::SheetId> sheet = sheetNamed(entry.sheet);
        if (workbook::Workbook* book = race_.workbook(); book && sheet) {
            WriteOutcome outcome = WriteToSheet(
                entry.takenBack ? TakeBackOf(entry.result, entry.arrival) : entry.result, *book,
                *sheet);
            for (const Error& error : outcome.problems) {
                report(error);
            }
            if (outcome.changed && events_.workbookChanged) {
                events_.workbookChanged();
            }
        }
    }
    // What could not be written is judged anew as it would have been then, in its order; its
    // old entry gives way.
    std::vector<Handled> kept;
    for (std::size_t k = 0; k < journal_.size(); ++k) {
        if (journal_[k].written || std::find(missing.begin(), missing.end(), k) == missing.end()) {
            kept.push_back(std::move(journal_[k]));
        }
    }
    journal_ = std::move(kept);
    for (const Handled& entry : again) {
        const std::optional<workbook::SheetId> sheet =
            entry.sheet.empty() ? race_.raceSheet() : sheetNamed(entry.sheet);
        finish(race_.judge(entry.result.passing, entry.setup, sheet), PassingSource::Reapplied,
               sheet, entry.setup, false);
    }
}

void RaceController::noteWorkbookError(const Error& error) {
    if (error.code != Errc::Closed || workbookGone_) {
        return;
    }
    workbookGone_ = true;
    if (events_.workbookGone) {
        events_.workbookGone(error);
    }
}

std::vector<std::string> RaceController::setupAsJournal() const {
    const RaceSetup& setup = race_.setup();
    std::vector<std::string> lines = {
        generation_ == link::DecoderGeneration::Binary ? "decoder binary" : "decoder older"};
    if (const SportRules* rules = RulesOf(setup.sport)) {
        lines.push_back("sport " + std::string(rules->boxText));
        if (rules->readsLapCount()) {
            lines.push_back("laps " + std::to_string(setup.lapCount));
        }
    }
    if (!setup.heat.empty()) {
        lines.push_back("heat Heat " + setup.heat);
    }
    if (setup.minimumLap > 0) {
        lines.push_back("min-lap " + SecondsText(setup.minimumLap));
    }
    switch (setup.phase) {
        case Phase::Warmup:
            lines.push_back("phase warmup");
            break;
        case Phase::StartPulse:
            // Choosing it arms the start pulse; one already given is not given again.
            lines.push_back(setup.startPulseArmed ? "phase pulse"
                                                  : "# phase pulse (already given)");
            break;
        case Phase::Recording:
            lines.push_back("phase record");
            break;
        case Phase::None:
            break;
    }
    return lines;
}

void RaceController::chooseDecoderGeneration(link::DecoderGeneration generation) {
    generation_ = generation;
    record(generation == link::DecoderGeneration::Binary ? "decoder binary" : "decoder older");
    for (auto& path : paths_) {
        path->setGeneration(generation);
    }
}

void RaceController::onDecoderBytes(link::LinkKind link, std::span<const std::uint8_t> bytes) {
    if (events_.journal && !bytes.empty()) {
        record(JournalBytesLine(link, generation_, bytes));
    }
    paths_[Index(link)]->receive(bytes);
}

void RaceController::connectionStarted(link::LinkKind link) {
    record(std::string("reconnect ") + JournalLinkName(link));
    paths_[Index(link)]->connectionStarted();
}

void RaceController::onProblem(const Error& error) {
    // The receive path's only failure: the raw log could not be written.
    logFailed(error);
}

void RaceController::report(const Error& error) {
    if (events_.problem) {
        events_.problem(error);
    }
}

void RaceController::logFailed(const Error& error) {
    report(error);
    logFailing_ = true;
    if (events_.logTrouble) {
        events_.logTrouble(&error);
    }
}

void RaceController::notice(const std::string& text) {
    if (events_.notice) {
        events_.notice(text);
    }
}

void RaceController::onSetAside(const link::SetAside& setAside) {
    if (setAside.passing) {
        // Shown and logged for a person to judge; nothing of it reaches the workbook.
        PassingResult result;
        result.passing = *setAside.passing;
        result.name = kChecksumFailedName;
        result.colour = kGrey;
        finish(std::move(result), PassingSource::Decoder, std::nullopt, race_.setup(), false);
    }
    if (events_.setAside) {
        events_.setAside(setAside.link, setAside.count);
    }
}

void RaceController::handlePassing(const link::Passing& passing, PassingSource source) {
    finish(race_.judge(passing), source, race_.raceSheet(), race_.setup(), true);
}

void RaceController::finish(PassingResult result, PassingSource source,
                            std::optional<workbook::SheetId> sheet, const RaceSetup& setup,
                            bool settle) {
    result.source = source;
    if (source == PassingSource::Reapplied) {
        result.name += " (opnieuw)";
    } else if (source == PassingSource::Hand) {
        result.name += " (handmatig)";
    }
    if (result.problem) {
        noteWorkbookError(*result.problem);
        report(MakeError(result.problem->code,
                         "De " + DescribePassing(result) +
                             " is als Onbekend getoond: het werkboek kon niet worden gelezen. " +
                             result.problem->message));
    } else if (!race_.workbook() && !toldNoWorkbook_) {
        toldNoWorkbook_ = true;
        notice(
            "Passeringen worden als Onbekend getoond: er is nog geen wedstrijdwerkboek "
            "open. Open het werkboek om de passeringen te koppelen.");
    }

    bool written = true;
    bool changed = false;
    if (race_.workbook() && sheet && (!result.writes.empty() || result.colourBibCell)) {
        WriteOutcome outcome = WriteToSheet(result, *race_.workbook(), *sheet);
        for (const Error& error : outcome.problems) {
            report(error);
            noteWorkbookError(error);
        }
        written = outcome.written;
        changed = outcome.changed;
    }
    if (settle) {
        race_.settle(result, written);
        if (result.startPulse && !written) {
            // Nothing of the pulse may be lost: the next passing tries it again.
            report(MakeError(Errc::Failed, "De startpuls van " + result.passing.time +
                                               " staat niet in het werkboek; de startpuls blijft "
                                               "klaarstaan voor de volgende passering."));
        }
    }
    if (workbook::Workbook* book = race_.workbook()) {
        // Remembered with the sheet and set-up it was judged by, to be put back if the
        // workbook comes back without it.
        // A workbook that went away no longer names its sheets: the name known last holds.
        if (sheet) {
            if (Result<std::string> name = book->sheetName(*sheet)) {
                sheetName_ = std::move(*name);
            }
        }
        journal_.push_back(Handled{result, written && !result.writes.empty(), sheetName_, setup,
                                   passings_.size()});
    }

    passings_.add(PassingRow{result.passing.transponder, result.bib + " ", result.passing.time,
                             result.name, result.colour});
    const std::string line = CouplingLogLine(result);
    if (Status appended = couplingLog_.append(line); !appended) {
        logFailed(MakeError(appended.error().code,
                            "De " + DescribePassing(result) +
                                " staat niet in het koppellog: " + appended.error().message));
    } else if (logFailing_ && !couplingLog_.path().empty()) {
        logFailing_ = false;
        if (events_.logTrouble) {
            events_.logTrouble(nullptr);
        }
    }
    if (events_.passingHandled) {
        events_.passingHandled(result, line);
    }
    if (changed && events_.workbookChanged) {
        events_.workbookChanged();
    }
}

Status RaceController::handPassing(std::string_view bib, std::string_view time) {
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
    const std::string text = PassingTimeText(*at);
    record("manual " + std::string(bib) + " " + text);
    finish(race_.judgeRow(link::Passing{competitor->transponder, text}, competitor->row),
           PassingSource::Hand, race_.raceSheet(), race_.setup(), true);
    return {};
}

std::string RaceController::raceSheetName() const {
    workbook::Workbook* book = race_.workbook();
    const std::optional<workbook::SheetId> sheet = race_.raceSheet();
    if (book == nullptr || !sheet) {
        return {};
    }
    Result<std::string> name = book->sheetName(*sheet);
    return name ? *name : std::string();
}

std::optional<std::size_t> RaceController::latestLapStep(int row, const std::string& sheet) const {
    for (std::size_t k = journal_.size(); k-- > 0;) {
        const Handled& entry = journal_[k];
        if (entry.written && !entry.takenBack && entry.sheet == sheet && entry.result.row == row &&
            IsLapStep(entry.result)) {
            return k;
        }
    }
    return std::nullopt;
}

Status RaceController::takeBack(std::string_view bib) {
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
    const std::optional<std::size_t> k = latestLapStep(competitor->row, raceSheetName());
    if (!k) {
        return MakeError(Errc::NotFound, what + "rugnummer " + std::string(bib) +
                                             " heeft geen vastgelegde passering die kan worden "
                                             "teruggenomen.");
    }
    return takeBackEntry(*k);
}

std::optional<std::size_t> RaceController::takeBackEntryOf(std::size_t arrival) const {
    for (std::size_t k = journal_.size(); k-- > 0;) {
        const Handled& entry = journal_[k];
        if (entry.arrival == arrival) {
            const bool latest = race_.workbook() != nullptr && entry.sheet == raceSheetName() &&
                                latestLapStep(entry.result.row, entry.sheet) == k &&
                                !Trimmed(entry.result.bib).empty();
            return latest ? std::optional(k) : std::nullopt;
        }
    }
    return std::nullopt;
}

bool RaceController::canTakeBack(std::size_t arrival) const {
    return takeBackEntryOf(arrival).has_value();
}

Status RaceController::takeBackPassing(std::size_t arrival) {
    const std::optional<std::size_t> k = takeBackEntryOf(arrival);
    if (!k) {
        return MakeError(Errc::Failed,
                         "Deze passering kan niet worden teruggenomen: alleen de laatste "
                         "vastgelegde start, doorkomst of finish van een deelnemer kan dat, op "
                         "het blad van de sport die nu gekozen is.");
    }
    return takeBackEntry(*k);
}

Status RaceController::takeBackEntry(std::size_t k) {
    const Handled& entry = journal_[k];
    const PassingResult& taken = entry.result;
    const std::string what = "De " + taken.name + " van rugnummer " + taken.bib + " om " +
                             taken.passing.time + " is niet teruggenomen: ";
    workbook::Workbook* book = race_.workbook();
    const std::optional<workbook::SheetId> sheet = sheetNamed(entry.sheet);
    if (book == nullptr || !sheet) {
        return MakeError(Errc::Closed, what + "het blad \"" + entry.sheet + "\" is niet open.");
    }
    const std::string bib(Trimmed(taken.bib));
    if (bib.empty()) {
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

    const PassingResult undo = TakeBackOf(taken, entry.arrival);
    WriteOutcome outcome = WriteToSheet(undo, *book, *sheet);
    for (const Error& error : outcome.problems) {
        noteWorkbookError(error);
    }
    if (!outcome.written) {
        if (outcome.changed && events_.workbookChanged) {
            events_.workbookChanged();
        }
        return MakeError(Errc::Failed, what + (outcome.problems.empty()
                                                   ? std::string("het blad nam het niet aan.")
                                                   : outcome.problems.front().message));
    }
    record("undo " + bib);
    journal_[k].takenBack = true;
    passings_.markTakenBack(undo.takesBack.value_or(0));
    const std::string line = CouplingLogLine(undo);
    if (Status appended = couplingLog_.append(line); !appended) {
        logFailed(MakeError(appended.error().code,
                            "Het terugnemen van de " + DescribePassing(taken) +
                                " staat niet in het koppellog: " + appended.error().message));
    }
    if (events_.passingHandled) {
        events_.passingHandled(undo, line);
    }
    if (events_.workbookChanged) {
        events_.workbookChanged();
    }
    return {};
}

}  // namespace tivaro::timing
