#include "timing/race_controller.h"

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

void RaceController::handlePassing(const link::Passing& passing) {
    PassingResult result = race_.judge(passing);
    if (result.problem) {
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
    if (race_.workbook() && race_.raceSheet() && (!result.writes.empty() || result.colourBibCell)) {
        WriteOutcome outcome = WriteToSheet(result, *race_.workbook(), *race_.raceSheet());
        for (const Error& error : outcome.problems) {
            report(error);
        }
        written = outcome.written;
        changed = outcome.changed;
    }
    race_.settle(result, written);
    if (result.startPulse && !written) {
        // Nothing of the pulse may be lost: the next passing tries it again.
        report(MakeError(Errc::Failed, "De startpuls van " + passing.time +
                                           " staat niet in het werkboek; de startpuls blijft "
                                           "klaarstaan voor de volgende passering."));
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
