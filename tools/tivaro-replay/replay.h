#pragma once
// Plays a scenario through the race controller the window uses. Every coupling-log line goes
// to `out` as it is appended; every failure goes to `err`, prefixed with the scenario line
// that caused it, and the race goes on; notices go to `err` the same way without counting as
// failures.

#include <filesystem>
#include <functional>
#include <memory>
#include <ostream>
#include <vector>

#include "timing/journal_action.h"
#include "timing/race.h"

namespace tivaro::replay {

struct ReplayOptions {
    std::filesystem::path dataDirectory;   // where the coupling and raw logs go
    std::filesystem::path scenarioFolder;  // `open` paths are relative to it
    // When set, each `open` plays on a fresh copy of the workbook in this folder (the
    // original stays as it is, so a journal can be played again and again).
    std::filesystem::path copyFolder;
    std::string scenarioName = "scenario";  // names the scenario in messages
    timing::AppStarter startApp;            // starts the spreadsheet application
    // Called with the race as it stands at the end of the scenario, before its workbook is
    // saved (to write its results); a failure counts as one.
    std::function<Status(const timing::Race&)> atEnd;
};

// A scenario played one action at a time, for a caller that runs an event loop between
// actions (tivaro-replay --live serves the race while it plays).
class ScenarioRun {
public:
    ScenarioRun(const ReplayOptions& options, std::ostream& out, std::ostream& err);
    ~ScenarioRun();
    ScenarioRun(const ScenarioRun&) = delete;
    ScenarioRun& operator=(const ScenarioRun&) = delete;

    void play(const timing::JournalAction& action);
    // The end of the scenario: results, the workbook saved, what was set aside counted.
    void finish();
    // Whether nothing failed so far.
    bool ok() const;
    const timing::Race& race() const;

private:
    std::unique_ptr<class Replay> replay_;
};

// Runs `actions` in order and saves the open workbook at the end (and before another one is
// opened). Returns false when anything failed on the way.
bool RunScenario(const std::vector<timing::JournalAction>& actions, const ReplayOptions& options,
                 std::ostream& out, std::ostream& err);

}  // namespace tivaro::replay
