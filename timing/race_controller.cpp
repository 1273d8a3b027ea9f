#include "timing/race_controller.h"

#include <algorithm>
#include <utility>

#include "timing/sheet_writes.h"

namespace tivaro::timing {

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
        const bool wanted = entry.written ? !entry.result.writes.empty() && !holds(entry)
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
            WriteOutcome outcome = WriteToSheet(entry.result, *book, *sheet);
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

void RaceController::chooseDecoderGeneration(link::DecoderGeneration generation) {
    generation_ = generation;
    for (auto& path : paths_) {
        path->setGeneration(generation);
    }
}

void RaceController::onDecoderBytes(link::LinkKind link, std::span<const std::uint8_t> bytes) {
    paths_[Index(link)]->receive(bytes);
}

void RaceController::connectionStarted(link::LinkKind link) {
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

void RaceController::onNotice(const std::string& text) {
    if (events_.notice) {
        events_.notice(text);
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
    }
    if (result.problem) {
        noteWorkbookError(*result.problem);
        report(MakeError(result.problem->code,
                         "De " + DescribePassing(result) +
                             " is als Onbekend getoond: het werkboek kon niet worden gelezen. " +
                             result.problem->message));
    } else if (!race_.workbook() && !toldNoWorkbook_) {
        toldNoWorkbook_ = true;
        onNotice(
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
        journal_.push_back(Handled{result, written && !result.writes.empty(), sheetName_, setup});
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

}  // namespace tivaro::timing
