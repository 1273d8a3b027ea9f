#include "timing/race_controller.h"

#include <utility>

#include "timing/cell_text.h"
#include "timing/sheet_writes.h"

namespace tivaro::timing {

RaceController::RaceController(ControllerOptions options, ControllerEvents events)
    : events_(std::move(events)),
      startApp_(std::move(options.startApp)),
      setup_(race_),
      corrections_(race_, ledger_),
      couplingLog_(std::move(options.couplingLog)) {
    link::ReceiveListener& listener = *this;
    for (const link::LinkKind link : {link::LinkKind::Serial, link::LinkKind::Tcp}) {
        paths_[Index(link)] =
            std::make_unique<link::ReceivePath>(link, listener, options.debug, options.rawLog);
    }
    setup_.setActionListener([this](const JournalAction& action) { record(action); });
}

void RaceController::record(const JournalAction& action) {
    if (events_.actionTaken) {
        events_.actionTaken(action);
    }
}

Status RaceController::openWorkbook(const std::filesystem::path& file) {
    Result<OpenedWorkbook> opened = OpenWorkbook(startApp_, file);
    if (!opened) {
        return opened.error();
    }
    return takeWorkbook(std::move(*opened));
}

Status RaceController::takeWorkbook(OpenedWorkbook opened, bool resumed) {
    const std::filesystem::path path = opened.workbook->path();
    Status taken = setup_.takeWorkbook(std::move(opened));
    workbookGone_ = false;
    if (std::exchange(notAnswering_, false) && events_.spreadsheetAnswering) {
        events_.spreadsheetAnswering(true, 0);
    }
    sportLost_ = !taken;
    const bool same = ledger_.raceOn(path, resumed);
    if (canWrite()) {
        sheetWritable(same);
    }
    tellWaiting();
    return taken;
}

Status RaceController::chooseSport(const std::string& boxText) {
    Status chosen = setup_.chooseSport(boxText);
    if (chosen && SportOfBoxText(boxText)) {
        sportLost_ = false;  // chosen, or emptied on purpose
    }
    if (chosen && canWrite() && !waiting_.empty() && offered_ == 0) {
        sheetWritable(false);
        tellWaiting();
    }
    return chosen;
}

bool RaceController::canWrite() const {
    return race_.workbook() != nullptr && race_.raceSheet() && !sportLost_ && !workbookGone_;
}

bool RaceController::holdsBack() const {
    return race_.setup().phase != Phase::None && (!canWrite() || offered_ > 0 || !waiting_.empty());
}

void RaceController::sheetWritable(bool sameWorkbook) {
    if (sameWorkbook) {
        bringUpToDate();
        return;
    }
    if (!waiting_.empty() && offered_ == 0) {
        offered_ = waiting_.size();
        if (events_.fillInOffered) {
            events_.fillInOffered(offered_);
        }
    }
}

void RaceController::fillIn(bool yes) {
    record({.kind = ActionKind::FillIn, .yes = yes});
    const std::size_t offered = std::exchange(offered_, 0);
    if (!canWrite()) {
        tellWaiting();  // gone again meanwhile: they keep waiting
        return;
    }
    std::vector<WaitingPassings::Entry> entries = waiting_.takeFirst(offered);
    if (yes) {
        applyWaiting(std::move(entries), race_.setup());
    } else {
        for (const WaitingPassings::Entry& entry : entries) {
            PassingRow row = passings_.arrived(entry.arrival);
            row.type = kNotFilledInName;
            row.colour = kGrey;
            passings_.replace(entry.arrival, std::move(row));
        }
    }
    // Those that came while the question stood came with the workbook there.
    applyWaiting(waiting_.takeFirst(waiting_.size()), std::nullopt);
    tellWaiting();
}

void RaceController::bringUpToDate() {
    const std::vector<std::size_t> lacking =
        ledger_.lacking([this](const PassingLedger::Entry& entry) { return holds(entry); });
    std::vector<PassingLedger::Entry> again;
    for (std::size_t k : lacking) {
        const PassingLedger::Entry& entry = ledger_.entry(k);
        if (!entry.written) {
            again.push_back(entry);
            continue;
        }
        // Written before into its own sheet, which need not be the race sheet now: the same
        // writes again, shown and logged once already.
        if (const std::optional<workbook::SheetId> sheet = race_.sheetNamed(entry.sheet)) {
            const PassingResult& written =
                entry.takenBack ? TakeBackOf(entry.result, entry.arrival) : entry.result;
            if (write(written, *sheet).changed && events_.workbookChanged) {
                events_.workbookChanged();
            }
        }
    }
    // What could not be written is judged anew as it would have been then, in its order; its
    // old entry gives way.
    ledger_.dropUnwritten(lacking);
    for (const PassingLedger::Entry& entry : again) {
        const std::optional<workbook::SheetId> sheet =
            entry.sheet.empty() ? race_.raceSheet() : race_.sheetNamed(entry.sheet);
        PassingResult result = race_.judge(entry.result.passing, entry.setup, sheet);
        result.source = PassingSource::Reapplied;
        apply(std::move(result), {sheet, entry.setup, false, std::nullopt, entry.arrival});
    }
    applyWaiting(waiting_.takeFirst(waiting_.size()), std::nullopt);
}

void RaceController::applyWaiting(std::vector<WaitingPassings::Entry> entries,
                                  const std::optional<RaceSetup>& setup) {
    // Judged in order: a start pulse one of them gives is given once.
    bool pulseGiven = false;
    for (const WaitingPassings::Entry& entry : entries) {
        RaceSetup judgedBy = setup ? race_.setup() : entry.setup;
        if (pulseGiven) {
            judgedBy.startPulseArmed = false;
        }
        PassingResult result = race_.judge(entry.passing, judgedBy, race_.raceSheet());
        const bool pulse = result.startPulse;
        const Written written = apply(
            std::move(result), {race_.raceSheet(), judgedBy, true, std::nullopt, entry.arrival});
        pulseGiven = pulseGiven || (pulse && written.all);
    }
}

void RaceController::wait(const link::Passing& passing) {
    PassingResult result;
    result.passing = passing;
    result.name = kWaitingName;
    result.colour = kLavender;
    // The bib where the transponder can be looked up now.
    if (race_.workbook() != nullptr && race_.raceSheet() && !workbookGone_) {
        const PassingResult lookedUp = race_.judge(passing);
        if (lookedUp.found) {
            result.bib = lookedUp.bib;
            result.row = lookedUp.row;
        }
    }
    waiting_.add({passing, race_.setup(), passings_.size()});
    passings_.add(PassingRow{passing.transponder, result.bib + " ", passing.time, result.name,
                             result.colour});
    log(result);
    tellWaiting();
}

void RaceController::tellWaiting() {
    if (!events_.waiting) {
        return;
    }
    std::string why;
    if (waiting_.empty()) {
        // A workbook that went away keeps its notice standing, until it is back: what was
        // written into it since its last save waits in the ledger.
        if (!workbookGone_) {
            events_.waiting(0, why);
        }
        return;
    }
    if (race_.workbook() == nullptr) {
        why =
            "er is nog geen wedstrijdwerkboek open. Open het werkboek; Tivaro biedt dan aan ze "
            "in te vullen.";
    } else if (workbookGone_) {
        why =
            "het werkboek is gesloten of het rekenblad is gestopt. Open het werkboek opnieuw; "
            "ze worden dan ingevuld.";
    } else if (sportLost_ || !race_.raceSheet()) {
        why =
            "het werkboek heeft geen blad van de sport die gold. Kies de sport; Tivaro biedt "
            "dan aan ze in te vullen.";
    } else {
        why = "Tivaro vraagt of ze nu ingevuld moeten worden.";
    }
    events_.waiting(waiting_.size(), why);
}

bool RaceController::holds(const PassingLedger::Entry& entry) const {
    workbook::Workbook* book = race_.workbook();
    const std::optional<workbook::SheetId> sheet = race_.sheetNamed(entry.sheet);
    if (book == nullptr || !sheet) {
        return false;
    }
    // Its first write (the time) tells: a counter or a colour follows it.
    const SheetWrite& time = entry.result.writes.front();
    Result<std::string> text = book->readCell(*sheet, time.firstRow, time.column);
    return text && *text == time.text;
}

void RaceController::checkWorkbook() {
    workbook::Workbook* book = race_.workbook();
    if (book == nullptr) {
        return;
    }
    workbook::WorkbookNews news = book->news();
    for (const Error& error : news.problems) {
        report(error);
        noteWorkbookError(error);
    }
    if (news.outsideChanges && events_.changedInSpreadsheet) {
        events_.changedInSpreadsheet();
    }
    if (news.notAnswering != notAnswering_ || (notAnswering_ && news.waitingChanges > 0)) {
        notAnswering_ = news.notAnswering;
        if (events_.spreadsheetAnswering) {
            events_.spreadsheetAnswering(!notAnswering_, news.waitingChanges);
        }
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
    tellWaiting();
}

std::vector<JournalAction> RaceController::setupActions() const {
    const RaceSetup& setup = race_.setup();
    JournalAction restore{.kind = ActionKind::Restore,
                          .number = setup.lapCount,
                          .phase = setup.phase,
                          .pulseGiven = setup.phase == Phase::StartPulse && !setup.startPulseArmed,
                          .heat = setup.heat.empty() ? std::string() : "Heat " + setup.heat,
                          .minimumLap = static_cast<int>(setup.minimumLap)};
    if (const SportRules* rules = RulesOf(setup.sport)) {
        restore.text = rules->boxText;
    }
    return {{.kind = ActionKind::Decoder, .generation = generation_}, restore};
}

void RaceController::chooseDecoderGeneration(link::DecoderGeneration generation) {
    generation_ = generation;
    record({.kind = ActionKind::Decoder, .generation = generation});
    for (auto& path : paths_) {
        path->setGeneration(generation);
    }
}

void RaceController::onDecoderBytes(link::LinkKind link, std::span<const std::uint8_t> bytes) {
    if (events_.actionTaken && !bytes.empty()) {
        record(BytesAction(link, generation_, bytes));
    }
    paths_[Index(link)]->receive(bytes);
}

void RaceController::connectionStarted(link::LinkKind link) {
    record({.kind = ActionKind::Reconnect, .link = link});
    paths_[Index(link)]->connectionStarted();
}

void RaceController::onProblem(const Error& error) {
    // The receive path's only failure: the raw log could not be written.
    logFailed(error);
}

void RaceController::onSetAside(const link::SetAside& setAside) {
    if (setAside.passing) {
        // Shown and logged for a person to judge; nothing of it reaches the workbook.
        PassingResult result;
        result.passing = *setAside.passing;
        result.name = kChecksumFailedName;
        result.colour = kGrey;
        apply(std::move(result), {std::nullopt, race_.setup(), false});
    }
    if (events_.setAside) {
        events_.setAside(setAside.link, setAside.count);
    }
}

void RaceController::notice(const std::string& text) {
    if (events_.notice) {
        events_.notice(text);
    }
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

void RaceController::setQuiet(bool quiet) {
    if (quiet == quiet_) {
        return;
    }
    quiet_ = quiet;
    std::swap(events_, quietEvents_);
    for (auto& path : paths_) {
        path->setRawLogging(!quiet);
    }
}

void RaceController::flushLogs() {
    bool written = couplingLog_.flush().ok();
    for (auto& path : paths_) {
        written = path->flushRawLog().ok() && written;
    }
    if (written && logFailing_) {
        logFailing_ = false;
        if (events_.logTrouble) {
            events_.logTrouble(nullptr);
        }
    }
}

void RaceController::handlePassing(const link::Passing& passing) {
    if (holdsBack()) {
        wait(passing);
        return;
    }
    PassingResult result = race_.judge(passing);
    if (result.problem && result.problem->code == Errc::Closed &&
        race_.setup().phase != Phase::None) {
        // The workbook went away: this passing and the next wait for it.
        noteWorkbookError(*result.problem);
        wait(passing);
        return;
    }
    apply(std::move(result), inForce());
}

RaceController::Written RaceController::write(const PassingResult& result,
                                              workbook::SheetId sheet) {
    Written written;
    workbook::Workbook* book = race_.workbook();
    if (book == nullptr) {
        return written;
    }
    WriteOutcome outcome = WriteToSheet(result, *book, sheet);
    for (const Error& error : outcome.problems) {
        report(error);
        noteWorkbookError(error);
    }
    written.all = outcome.written;
    written.changed = outcome.changed;
    if (!outcome.problems.empty()) {
        written.failure = outcome.problems.front();
    }
    return written;
}

RaceController::Written RaceController::apply(PassingResult result, const Applying& how) {
    if (!result.takesBack) {
        if (result.source == PassingSource::Reapplied) {
            result.name += " (opnieuw)";
        } else if (result.source == PassingSource::Hand) {
            result.name += " (handmatig)";
        }
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

    Written written;
    written.all = true;
    if (race_.workbook() && how.sheet && (!result.writes.empty() || result.colourBibCell)) {
        written = write(result, *how.sheet);
    }
    if (result.takesBack && !written.all) {
        // A take-back that did not land did not happen: nothing to list or log.
        if (written.changed && events_.workbookChanged) {
            events_.workbookChanged();
        }
        return written;
    }
    if (how.settle) {
        race_.settle(result, written.all);
        if (result.startPulse && !written.all) {
            // Nothing of the pulse may be lost: the next passing tries it again.
            report(MakeError(Errc::Failed, "De startpuls van " + result.passing.time +
                                               " staat niet in het werkboek; de startpuls blijft "
                                               "klaarstaan voor de volgende passering."));
        }
    }
    if (workbook::Workbook* book = race_.workbook()) {
        // A workbook that went away no longer names its sheets: the name known last holds.
        if (how.sheet) {
            if (Result<std::string> name = book->sheetName(*how.sheet)) {
                sheetName_ = std::move(*name);
            }
        }
        if (how.takesBackEntry) {
            ledger_.markTakenBack(*how.takesBackEntry);
        } else {
            // Remembered with the sheet and set-up it was judged by, to be put back if the
            // workbook comes back without it.
            ledger_.add({result, written.all && !result.writes.empty(), sheetName_, how.setup,
                         how.arrival.value_or(passings_.size())});
        }
    }

    PassingRow row{result.passing.transponder, result.bib + " ", result.passing.time, result.name,
                   result.colour};
    if (result.takesBack) {
        passings_.markTakenBack(*result.takesBack);
    } else if (how.arrival) {
        passings_.replace(*how.arrival, std::move(row));  // its row waited for it
    } else {
        passings_.add(std::move(row));
    }
    log(result);
    if (written.changed && events_.workbookChanged) {
        events_.workbookChanged();
    }
    return written;
}

void RaceController::log(const PassingResult& result) {
    const std::string line = CouplingLogLine(result);
    if (quiet_) {
        return;
    }
    if (Status appended = couplingLog_.append(line); !appended) {
        logFailed(MakeError(appended.error().code,
                            "De " + DescribePassing(result) +
                                " staat nog niet in het koppellog: " + appended.error().message));
    } else if (logFailing_) {
        flushLogs();
    }
    if (events_.passingHandled) {
        events_.passingHandled(result, line);
    }
}

Status RaceController::handPassing(std::string_view bib, std::string_view time) {
    Result<PassingResult> result = corrections_.handPassing(bib, time);
    if (!result) {
        return result.error();
    }
    record({.kind = ActionKind::Manual,
            .text = std::string(Trimmed(bib)),
            .time = result->passing.time});
    apply(std::move(*result), inForce());
    return {};
}

Status RaceController::takeBack(std::string_view bib) {
    return applyTakeBack(corrections_.takeBack(bib));
}

Status RaceController::takeBackPassing(std::size_t arrival) {
    return applyTakeBack(corrections_.takeBackPassing(arrival));
}

Status RaceController::applyTakeBack(Result<TakeBack> takeBack) {
    if (!takeBack) {
        return takeBack.error();
    }
    const PassingLedger::Entry& entry = ledger_.entry(takeBack->entry);
    const std::string taken = "De " + entry.result.name + " van rugnummer " + entry.result.bib +
                              " om " + entry.result.passing.time + " is niet teruggenomen: ";
    record({.kind = ActionKind::Undo, .text = std::string(Trimmed(entry.result.bib))});
    const Written written =
        apply(takeBack->undo, {takeBack->sheet, race_.setup(), false, takeBack->entry});
    if (!written.all) {
        return MakeError(Errc::Failed,
                         taken + (written.failure ? written.failure->message
                                                  : std::string("het blad nam het niet aan.")));
    }
    return {};
}

}  // namespace tivaro::timing
