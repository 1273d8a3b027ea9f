// The race session in the window: the set-up kept from the last run, a race resumed after a
// restart that did not end its session, the logs and journal that wait for room, and closing.

#include <QCloseEvent>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QTimer>

#include "app/decoder_links.h"
#include "app/main_window.h"
#include "app/message_area.h"
#include "app/qt_text.h"
#include "app/race_view.h"
#include "app/saved_setup.h"
#include "app/session_journal.h"
#include "app/workbook_opener.h"
#include "app/workbook_saver.h"
#include "timing/journal_player.h"
#include "workbook/atomic_file.h"
#include "workbook/xlsx_app.h"

namespace tivaro::app {

namespace {

constexpr std::chrono::minutes kRaceQuietFor{10};

}  // namespace

void MainWindow::restoreSetup() {
    const SavedSetup saved = SavedSetup::Load();
    if (!saved.geometry.isEmpty()) {
        restoreGeometry(saved.geometry);
    }
    QRadioButton* decoder = saved.decoder == link::DecoderGeneration::Older
                                ? ui_.olderDecoderOption
                                : ui_.binaryDecoderOption;
    decoder->setChecked(true);
    if (saved.raceSetup) {
        controller_->setup().restore(*saved.raceSetup);
    }
    if (saved.link) {
        links_->restore(
            *saved.link,
            *saved.link == link::LinkKind::Serial ? saved.serialDevice : saved.tcpAddress, false);
    }
    std::error_code error;
    if (!saved.sessionJournal.empty() && std::filesystem::exists(saved.sessionJournal, error) &&
        !timing::RaceJournal::Ended(saved.sessionJournal)) {
        // Asked once the window is up.
        QTimer::singleShot(0, this,
                           [this, journal = saved.sessionJournal] { offerResume(journal); });
    }
}

void MainWindow::offerResume(const std::filesystem::path& journal) {
    const SavedSetup saved = SavedSetup::Load();
    const QString question =
        tr("De vorige wedstrijd is niet afgesloten (het programma stopte, of het venster werd "
           "midden in een wedstrijd gesloten). Wedstrijd hervatten? Tivaro opent dan het "
           "werkboek %1 weer, herstelt de instellingen, maakt de verbinding met de decoder weer "
           "en vult in wat het werkboek mist. Journaal: %2")
            .arg(PathText(saved.workbook), PathText(journal));
    ask(question, tr("Wedstrijd hervatten"), [this, journal](bool yes) {
        if (yes) {
            resume(journal);
            return;
        }
        // A new race: the old session is ended, its journal stays as it is.
        if (Result<timing::RaceJournal> old =
                timing::RaceJournal::Continue(journal, timing::RaceJournal::Clock::now())) {
            (void)old->record({.kind = timing::ActionKind::End}, timing::RaceJournal::Clock::now());
        }
        SavedSetup::SaveSessionJournal({});
        report(tr("Een nieuwe wedstrijd; het journaal van de vorige blijft in %1.")
                   .arg(PathText(journal)));
    });
}

void MainWindow::resume(const std::filesystem::path& journal) {
    const SavedSetup saved = SavedSetup::Load();
    Result<std::string> lines = workbook::ReadWholeFile(journal);
    const timing::ParsedJournal read = timing::ParseJournal(lines ? *lines : std::string());
    for (const Error& damaged : read.damaged) {
        report(tr("Regel overgeslagen in het journaal: %1").arg(FromUtf8(damaged.message)));
    }
    // The race so far is played again from the journal on the copies of its workbooks, in
    // memory and quietly: it was logged and said when it was run. The passing list, the
    // passings handled and the set-up come out as they were.
    const std::filesystem::path folder = journal.parent_path();
    const timing::AppStarter copies =
        [backups =
             dataDirectory_ / "backup"]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(backups));
    };
    std::optional<Error> notRebuilt;
    controller_->setQuiet(true);
    timing::JournalPlayer player(*controller_, [&](const std::string& named) -> Status {
        Result<timing::OpenedWorkbook> opened = timing::OpenWorkbook(copies, folder / named);
        if (!opened) {
            notRebuilt = opened.error();
            return opened.error();
        }
        return controller_->takeWorkbook(std::move(*opened));
    });
    for (const timing::JournalAction& action : read.actions) {
        (void)player.play(action);
        if (notRebuilt) {
            break;
        }
    }
    controller_->setQuiet(false);
    if (notRebuilt) {
        const QString text =
            tr("De wedstrijd kon niet worden hervat: de kopie van het werkboek in het journaal "
               "kon niet worden gelezen. Open het werkboek en ga verder; het journaal blijft in "
               "%1. (%2)")
                .arg(PathText(journal), FromUtf8(notRebuilt->message));
        report(text);
        showMessage(text);
        return;
    }
    if (Status continued = session_->continueFrom(journal); !continued) {
        report(FromUtf8(continued.error().message));
    }
    reloadRaceView();
    report(tr("Wedstrijd hervat uit %1: %n passering(en) weer in de lijst.", nullptr,
              static_cast<int>(controller_->passings().size()))
               .arg(PathText(journal)));
    // The workbook itself, brought up to date with what it lacks; then the decoder, which
    // sends what it kept meanwhile.
    if (!saved.workbook.empty()) {
        resuming_ = true;
        opener_->open(saved.workbook);
    }
    if (saved.link) {
        links_->restore(
            *saved.link,
            *saved.link == link::LinkKind::Serial ? saved.serialDevice : saved.tcpAddress, true);
    }
}

bool MainWindow::raceRunning() const {
    return links_->connected() ||
           (lastPassing_ && std::chrono::steady_clock::now() - *lastPassing_ < kRaceQuietFor);
}

void MainWindow::logTrouble(const QString& problem) {
    if (problem.isEmpty()) {
        retryLogs();
        return;
    }
    report(problem);
    if (messages_->raise(MessageArea::Alert::LogNotWritten,
                         tr("Let op: een log wordt niet geschreven. Wat er niet in kon wacht en "
                            "wordt geschreven zodra het weer kan. %1")
                             .arg(problem))) {
        showMessage(tr("Een log kan niet worden geschreven (is de schijf vol?); passeringen staan "
                       "nog in het werkboek en het venster en wachten op ruimte in het log. Kijk "
                       "de map %1 na.")
                        .arg(PathText(dataDirectory_)));
    }
    logRetry_->start();
}

void MainWindow::retryLogs() {
    controller_->flushLogs();
    const bool journalWritten = session_->flush();
    // The controller tells again through logTrouble when its logs are written; the alert goes
    // once everything is.
    if (journalWritten && !controller_->logsWaiting()) {
        logRetry_->stop();
        messages_->resolve(MessageArea::Alert::LogNotWritten,
                           tr("De logs worden weer geschreven."));
    }
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (raceRunning() && !closeConfirmed_) {
        // Asked first; the window closes once the answer is yes.
        event->ignore();
        const QString when = links_->connected()
                                 ? tr("de decoder is verbonden")
                                 : tr("de laatste passering kwam minder dan tien minuten geleden");
        ask(tr("Er loopt een wedstrijd: %1. Tivaro toch sluiten? Bij de volgende start kan de "
               "wedstrijd worden hervat.")
                .arg(when),
            tr("Sluiten"), [this](bool yes) {
                if (yes) {
                    closeConfirmed_ = true;
                    // After this close event is done with, however the answer came.
                    QTimer::singleShot(0, this, [this] { close(); });
                }
            });
        return;
    }
    if (!saver_->saveNow() && !closeRefused_) {
        // One refusal only: the user hears of it and may still close without saving.
        closeRefused_ = true;
        closeConfirmed_ = false;
        showMessage(
            tr("Het wedstrijdwerkboek kon niet worden opgeslagen (zie de statusregel). "
               "Sluit het venster nog eens om te stoppen zonder op te slaan."));
        event->ignore();
        return;
    }
    SavedSetup::SaveGeometry(saveGeometry());
    if (!closeConfirmed_) {
        // Closed with no race running: the session ends. Closed in a race it can be resumed.
        session_->end();
        SavedSetup::SaveSessionJournal({});
    }
    if (workbook::Workbook* book = controller_->race().workbook()) {
        (void)book->close();
    }
    event->accept();
}

}  // namespace tivaro::app
