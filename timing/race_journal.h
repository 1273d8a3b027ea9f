#pragma once
// The race journal file: everything that happens in a race from the moment its workbook is
// opened, in the journal's lines (journal_action.h), which tivaro-replay plays. It starts with
// its version line, the workbook (a copy of it as it was opened, kept beside the journal) and
// the set-up in force, and then has one line for every action (a set-up choice, a chunk of
// decoder bytes as it arrived, a reconnect, a passing entered by hand or taken back), each
// after a comment with its time of day. Played on the copy, it gives the same coupling log and
// the same workbook; edited (a phase line moved, the heat changed) it rescores the race.
//
// Every line is appended with its own open, write and close, whole or not at all, so a crash
// loses nothing and a full disk leaves no half line; lines wait while the disk is full
// (line_log.h).

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "common/line_log.h"
#include "common/result.h"
#include "timing/journal_action.h"

namespace tivaro::timing {

class RaceJournal {
public:
    using Clock = std::chrono::system_clock;

    // Starts a journal in `folder` for `workbook`, about to be raced on: copies the workbook
    // there as it is now and writes the head: comments, the open line, then `setupLines`.
    // Both files are named after `now` in local time ("journaal-20261207-140533.txt" and
    // ".xlsx"), numbered "-2", "-3"... while such a name is taken.
    static Result<RaceJournal> Start(const std::filesystem::path& folder,
                                     const std::filesystem::path& workbook,
                                     const std::vector<JournalAction>& setup,
                                     Clock::time_point now);

    const std::filesystem::path& path() const { return log_.path(); }

    // Appends `action` after a comment with the time of day of `now`.
    Status record(const JournalAction& action, Clock::time_point now);
    // Writes the lines still waiting for room, as far as there is room now.
    Status flush() { return log_.flush(); }

private:
    explicit RaceJournal(std::filesystem::path path) : log_(std::move(path)) {}

    LineLog log_;
};

}  // namespace tivaro::timing
