#include "tools/tivaro-replay/replay.h"

#include <chrono>
#include <map>
#include <optional>
#include <string>

#include "common/data_dir.h"
#include "common/system_error.h"
#include "timing/journal_player.h"
#include "timing/race_controller.h"

namespace tivaro::replay {

namespace {

constexpr std::chrono::seconds kSettleLimit{120};

}  // namespace

class Replay {
public:
    Replay(const ReplayOptions& options, std::ostream& out, std::ostream& err)
        : options_(options),
          out_(out),
          err_(err),
          controller_(
              timing::ControllerOptions{options.startApp, options.dataDirectory / kCouplingLogName,
                                        options.dataDirectory / kRawLogName},
              Events()) {
        if (Status made = EnsureDirectory(options.dataDirectory); !made) {
            Fail(made.error());
        }
    }

    void Run(const timing::JournalAction& action) {
        line_ = action.line;
        Check(player_.play(action));
    }

    // The workbook an open action names, or a fresh copy of it in the copy folder, so that the
    // race can be played again from the same workbook.
    std::optional<std::filesystem::path> WorkbookToOpen(const std::string& named) {
        const std::filesystem::path file = options_.scenarioFolder / named;
        if (options_.copyFolder.empty()) {
            return file;
        }
        std::error_code error;
        std::filesystem::create_directories(options_.copyFolder, error);
        const std::filesystem::path copy = options_.copyFolder / file.filename();
        if (error || !std::filesystem::copy_file(
                         file, copy, std::filesystem::copy_options::overwrite_existing, error)) {
            Fail(MakeError(Errc::Failed, "Het werkboek " + file.string() +
                                             " kon niet worden gekopieerd naar " + copy.string() +
                                             ": " + SystemErrorText(error)));
            return std::nullopt;
        }
        return copy;
    }

    // Puts the open workbook's changes on disk, as the window does shortly after a passing.
    void SaveWorkbook() {
        workbook::Workbook* book = controller_.race().workbook();
        if (book == nullptr) {
            return;
        }
        if (book->hasUnsavedChanges()) {
            Result<workbook::SaveReport> saved = book->save();
            if (!saved) {
                Fail(saved.error());
            } else if (!saved->notice.empty()) {
                Tell(saved->notice);
            }
        }
        // A spreadsheet on a thread of its own has the changes and the save queued: the race
        // is compared with what is in the file, so it is waited for here.
        if (!book->settle(kSettleLimit)) {
            Fail(MakeError(Errc::Failed, "Het rekenblad antwoordt niet: de wijzigingen staan na " +
                                             std::to_string(kSettleLimit.count()) +
                                             " seconden nog niet in het werkboek."));
        }
        controller_.checkWorkbook();
    }

    // The end of the scenario: the open workbook is saved, and what was set aside for a
    // failed checksum is counted once.
    void Finish() {
        line_ = 0;
        if (options_.atEnd) {
            Check(options_.atEnd(controller_.race()));
        }
        SaveWorkbook();
        for (const auto& [link, count] : setAside_) {
            Tell(std::string(link == link::LinkKind::Serial ? "serial" : "tcp") +
                 ": terzijde gelegd wegens een foute controlesom: " + std::to_string(count));
        }
    }

    bool ok() const { return ok_; }
    const timing::Race& race() const { return controller_.race(); }

private:
    timing::ControllerEvents Events() {
        timing::ControllerEvents events;
        events.problem = [this](const Error& error) { Fail(error); };
        events.notice = [this](const std::string& text) { Tell(text); };
        events.passingHandled = [this](const timing::PassingResult&, const std::string& line) {
            out_ << line << '\n';
        };
        events.setAside = [this](link::LinkKind link, std::uint64_t count) {
            setAside_[link] = count;
        };
        return events;
    }

    void Check(const Status& status) {
        if (!status) {
            Fail(status.error());
        }
    }

    void Tell(const std::string& message) {
        err_ << options_.scenarioName;
        if (line_ > 0) {
            err_ << ':' << line_;
        }
        err_ << ": " << message << '\n';
    }
    void Fail(const Error& error) {
        ok_ = false;
        Tell(error.message);
    }

    const ReplayOptions& options_;
    std::ostream& out_;
    std::ostream& err_;
    timing::RaceController controller_;
    timing::JournalPlayer player_{
        controller_, [this](const std::string& named) -> Status {
            SaveWorkbook();
            if (std::optional<std::filesystem::path> file = WorkbookToOpen(named)) {
                return controller_.openWorkbook(*file);
            }
            return {};
        }};
    std::map<link::LinkKind, std::uint64_t> setAside_;
    int line_ = 0;
    bool ok_ = true;
};

ScenarioRun::ScenarioRun(const ReplayOptions& options, std::ostream& out, std::ostream& err)
    : replay_(std::make_unique<Replay>(options, out, err)) {}

ScenarioRun::~ScenarioRun() = default;

void ScenarioRun::play(const timing::JournalAction& action) {
    replay_->Run(action);
}

void ScenarioRun::finish() {
    replay_->Finish();
}

bool ScenarioRun::ok() const {
    return replay_->ok();
}

const timing::Race& ScenarioRun::race() const {
    return replay_->race();
}

bool RunScenario(const std::vector<timing::JournalAction>& actions, const ReplayOptions& options,
                 std::ostream& out, std::ostream& err) {
    ScenarioRun run(options, out, err);
    for (const timing::JournalAction& action : actions) {
        run.play(action);
    }
    run.finish();
    out.flush();
    return run.ok();
}

}  // namespace tivaro::replay
