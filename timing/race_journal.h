#pragma once
// The race journal file of one race session: everything that happens from the first decoder
// bytes or workbook of the session to its end, in the journal's lines (journal_action.h), which
// tivaro-replay plays. It starts with its version line and the set-up in force; every workbook
// opened is copied beside it as it was opened ("journaal-20261207-140533.xlsx", "-2.xlsx", ...)
// and gets an open line; then every action follows (a set-up choice, a chunk of decoder bytes
// as it arrived, a reconnect, a passing entered by hand or taken back, an answer to an offer),
// each after a comment with its time of day. Played on the copies, it gives the same coupling
// log and the same workbooks; edited (a phase line moved, the heat changed) it rescores the
// race. A session that ended cleanly ends with the end line; one that did not (a crash, power
// loss, the window closed in a race) can be resumed from it.
//
// Every line is appended with its own open, write and close, whole or not at all, so a crash
// loses nothing and a full disk leaves no half line; lines wait while the disk is full
// (line_log.h).

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "common/line_log.h"
#include "common/result.h"
#include "timing/journal_action.h"

namespace tivaro::timing {

class RaceJournal {
public:
    using Clock = std::chrono::system_clock;
    // Writes the workbook as it is now to `copy` (a spreadsheet that holds it in memory saves
    // its own copy); empty: the file on disk is copied.
    using CopyWriter = std::function<Status(const std::filesystem::path& copy)>;

    // Starts the journal of a new session in `folder`, named after `now` in local time
    // ("journaal-20261207-140533.txt", numbered "-2", "-3"... while taken), with the set-up
    // in force as its first actions.
    static Result<RaceJournal> Start(const std::filesystem::path& folder,
                                     const std::vector<JournalAction>& setup,
                                     Clock::time_point now);
    // Goes on with the journal at `path` (a session resumed after a restart).
    static Result<RaceJournal> Continue(const std::filesystem::path& path, Clock::time_point now);
    // Whether the session of the journal at `path` ended: its last action is the end line.
    static bool Ended(const std::filesystem::path& path);

    const std::filesystem::path& path() const { return log_.path(); }

    // A workbook was opened: a copy of it as it is now goes beside the journal (through `write`
    // when given), and its open line follows. Gives the copy. A workbook opened again in the
    // session (after its spreadsheet stopped) is the same workbook: its open line names the
    // copy it got the first time, so that a replay brings it up to date as the race did.
    Result<std::filesystem::path> recordOpen(const std::filesystem::path& workbook,
                                             Clock::time_point now, const CopyWriter& write = {});
    // Appends `action` after a comment with the time of day of `now`.
    Status record(const JournalAction& action, Clock::time_point now);
    // Writes the lines still waiting for room, as far as there is room now.
    Status flush() { return log_.flush(); }

private:
    RaceJournal(std::filesystem::path path, std::string stem)
        : log_(std::move(path)), stem_(std::move(stem)) {}

    LineLog log_;
    std::string stem_;  // "journaal-20261207-140533": the copies are named after it
    int copies_ = 0;
    std::map<std::filesystem::path, std::string> copyOf_;  // workbook opened: its copy's name
};

}  // namespace tivaro::timing
