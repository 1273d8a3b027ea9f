#include "app/session_journal.h"

#include "app/qt_text.h"

namespace tivaro::app {

namespace {

// Set-up choices: said by the set-up at the start when they come before the session.
bool IsSetUp(timing::ActionKind kind) {
    using timing::ActionKind;
    switch (kind) {
        case ActionKind::Decoder:
        case ActionKind::Restore:
        case ActionKind::Sport:
        case ActionKind::Heat:
        case ActionKind::Laps:
        case ActionKind::Phase:
        case ActionKind::MinimumLap:
            return true;
        default:
            return false;
    }
}

}  // namespace

SessionJournal::SessionJournal(std::filesystem::path folder,
                               std::function<std::vector<timing::JournalAction>()> setup,
                               QObject* parent)
    : QObject(parent), folder_(std::move(folder)), setup_(std::move(setup)) {}

std::optional<std::filesystem::path> SessionJournal::path() const {
    if (!journal_) {
        return std::nullopt;
    }
    return journal_->path();
}

bool SessionJournal::start() {
    if (journal_) {
        return true;
    }
    Result<timing::RaceJournal> begun =
        timing::RaceJournal::Start(folder_, setup_(), timing::RaceJournal::Clock::now());
    if (!begun) {
        if (!startFailed_) {
            startFailed_ = true;
            emit trouble(FromUtf8(begun.error().message));
        }
        return false;
    }
    journal_ = std::move(*begun);
    emit report(tr("Het wedstrijdjournaal staat in %1.").arg(FromUtf8(journal_->path().string())));
    emit started(journal_->path());
    return true;
}

void SessionJournal::record(const timing::JournalAction& action) {
    if (!journal_ && IsSetUp(action.kind)) {
        return;
    }
    if (!start()) {
        return;
    }
    written(journal_->record(action, timing::RaceJournal::Clock::now()));
}

void SessionJournal::workbookOpened(const std::filesystem::path& file,
                                    const timing::RaceJournal::CopyWriter& write) {
    if (!start()) {
        return;
    }
    Result<std::filesystem::path> copy =
        journal_->recordOpen(file, timing::RaceJournal::Clock::now(), write);
    if (!copy) {
        emit report(FromUtf8(copy.error().message));
    }
}

Status SessionJournal::continueFrom(const std::filesystem::path& journal) {
    Result<timing::RaceJournal> continued =
        timing::RaceJournal::Continue(journal, timing::RaceJournal::Clock::now());
    if (!continued) {
        return continued.error();
    }
    journal_ = std::move(*continued);
    emit started(journal_->path());
    return {};
}

void SessionJournal::end() {
    if (journal_) {
        written(
            journal_->record({.kind = timing::ActionKind::End}, timing::RaceJournal::Clock::now()));
    }
}

bool SessionJournal::flush() {
    if (journal_ && failing_) {
        written(journal_->flush());
    }
    return !failing_;
}

void SessionJournal::written(const Status& status) {
    if (!status) {
        if (!failing_) {
            failing_ = true;
            emit trouble(tr("Het wedstrijdjournaal wordt niet bijgewerkt: %1")
                             .arg(FromUtf8(status.error().message)));
        }
    } else if (failing_) {
        failing_ = false;
        emit trouble({});
    }
}

}  // namespace tivaro::app
