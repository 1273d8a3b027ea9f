#pragma once
// The journal of the race session the window runs (race_journal.h). It starts with the first
// decoder bytes, passing, reconnect or workbook of the session, with the set-up in force at
// that moment as its first actions, so that nothing of the race comes before it; then every
// action the race controller tells goes into it, and a copy of every workbook opened. A journal
// that cannot be written is said; its lines wait for room.

#include <QObject>
#include <QString>
#include <filesystem>
#include <functional>
#include <optional>
#include <vector>

#include "timing/race_journal.h"

namespace tivaro::app {

class SessionJournal final : public QObject {
    Q_OBJECT
public:
    // Journals go into `folder`; `setup` gives the set-up in force as journal actions.
    SessionJournal(std::filesystem::path folder,
                   std::function<std::vector<timing::JournalAction>()> setup,
                   QObject* parent = nullptr);

    // An action of the race, before it takes effect. A set-up choice before the session began
    // needs no line of its own: the set-up at the start says it.
    void record(const timing::JournalAction& action);
    // A workbook was opened: it is copied beside the journal (through `write` when given) and
    // its open line follows.
    void workbookOpened(const std::filesystem::path& file,
                        const timing::RaceJournal::CopyWriter& write);
    // Goes on with the journal of a session resumed after a restart.
    Status continueFrom(const std::filesystem::path& journal);
    // The session ended: the window closed with no race running.
    void end();
    // Writes the lines still waiting for room; true when none wait.
    bool flush();

    std::optional<std::filesystem::path> path() const;

signals:
    // The journal of this session is at `path` from now on.
    void started(const std::filesystem::path& path);
    void report(const QString& message);
    // Lines could not be written (`problem`), or are written again (empty).
    void trouble(const QString& problem);

private:
    bool start();
    void written(const Status& status);

    std::filesystem::path folder_;
    std::function<std::vector<timing::JournalAction>()> setup_;
    std::optional<timing::RaceJournal> journal_;
    bool failing_ = false;
    bool startFailed_ = false;  // said once
};

}  // namespace tivaro::app
