#include "timing/race_journal.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <system_error>

#include "common/line_log.h"
#include "common/local_time.h"
#include "common/system_error.h"

namespace tivaro::timing {

namespace {

std::string Formatted(RaceJournal::Clock::time_point when, const char* format) {
    const std::tm local = LocalTime(RaceJournal::Clock::to_time_t(when));
    char text[64];
    const std::size_t length = std::strftime(text, sizeof text, format, &local);
    return std::string(text, length);
}

// "14:05:33.120": the time of day with milliseconds, for the comment before each action.
std::string TimeOfDayText(RaceJournal::Clock::time_point when) {
    const auto millis =
        std::chrono::duration_cast<std::chrono::milliseconds>(when.time_since_epoch()).count() %
        1000;
    char text[8];
    std::snprintf(text, sizeof text, ".%03d", static_cast<int>(millis));
    return Formatted(when, "%H:%M:%S") + text;
}

}  // namespace

Result<RaceJournal> RaceJournal::Start(const std::filesystem::path& folder,
                                       const std::vector<JournalAction>& setup,
                                       Clock::time_point now) {
    const std::string what = "Er wordt geen wedstrijdjournaal bijgehouden: ";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (error) {
        return MakeError(Errc::Failed, what + "de map " + folder.string() +
                                           " kan niet worden gemaakt (" + SystemErrorText(error) +
                                           ").");
    }
    const std::string stem = "journaal-" + Formatted(now, "%Y%m%d-%H%M%S");
    std::filesystem::path path;
    std::string name;
    for (int number = 1;; ++number) {
        name = number == 1 ? stem : stem + "-" + std::to_string(number);
        path = folder / (name + ".txt");
        if (!std::filesystem::exists(path, error)) {
            break;
        }
    }
    RaceJournal journal(path, name);
    std::vector<std::string> head = {
        JournalVersionLine(),
        "# Tivaro race journal, begun " + Formatted(now, "%Y-%m-%d %H:%M:%S"),
        "# Played again on fresh copies of the workbooks as they were opened:",
        "#   tivaro-replay --copy-to DIR --data-dir DIR " + path.filename().string(),
        "# The set-up in force when the session began.",
    };
    for (const JournalAction& action : setup) {
        head.push_back(FormatAction(action));
    }
    for (const std::string& line : head) {
        if (Status written = AppendLogLine(path, line); !written) {
            return MakeError(written.error().code, what + written.error().message);
        }
    }
    return journal;
}

Result<RaceJournal> RaceJournal::Continue(const std::filesystem::path& path,
                                          Clock::time_point now) {
    std::error_code error;
    if (!std::filesystem::exists(path, error)) {
        return MakeError(Errc::NotFound,
                         "Het wedstrijdjournaal " + path.string() + " is er niet meer.");
    }
    RaceJournal journal(path, path.stem().string());
    // The workbooks opened before and their copies, from the comment before each open line.
    std::ifstream in(path, std::ios::binary);
    std::filesystem::path workbook;
    const std::string comment = "# Workbook: ";
    for (std::string line; std::getline(in, line);) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.starts_with(comment)) {
            workbook = line.substr(comment.size());
        } else if (line.starts_with("open ") && !workbook.empty()) {
            if (journal.copyOf_.emplace(workbook, line.substr(5)).second) {
                ++journal.copies_;
            }
            workbook.clear();
        }
    }
    if (Status written = AppendLogLine(
            path, "# Resumed after a restart, " + Formatted(now, "%Y-%m-%d %H:%M:%S"));
        !written) {
        return written.error();
    }
    return journal;
}

bool RaceJournal::Ended(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (!line.empty() && line.front() != '#') {
            last = line;
        }
    }
    return last == FormatAction({.kind = ActionKind::End});
}

Result<std::filesystem::path> RaceJournal::recordOpen(const std::filesystem::path& workbook,
                                                      Clock::time_point now,
                                                      const CopyWriter& write) {
    std::error_code error;
    const std::filesystem::path key = std::filesystem::weakly_canonical(workbook, error);
    if (const auto known = copyOf_.find(key); known != copyOf_.end()) {
        if (Status comment = log_.append("# Workbook: " + key.string()); !comment) {
            return comment.error();
        }
        if (Status recorded = record({.kind = ActionKind::Open, .text = known->second}, now);
            !recorded) {
            return recorded.error();
        }
        return path().parent_path() / known->second;
    }
    ++copies_;
    const std::string name = copies_ == 1 ? stem_ : stem_ + "-" + std::to_string(copies_);
    const std::filesystem::path copy =
        path().parent_path() / (name + workbook.extension().string());
    if (write) {
        if (Status written = write(copy); !written) {
            return MakeError(
                written.error().code,
                "Het werkboek staat niet in het wedstrijdjournaal: " + written.error().message);
        }
    } else if (!std::filesystem::copy_file(
                   workbook, copy, std::filesystem::copy_options::overwrite_existing, error)) {
        return MakeError(Errc::Failed,
                         "Het werkboek staat niet in het wedstrijdjournaal: het kon "
                         "niet worden gekopieerd naar " +
                             copy.string() + " (" + SystemErrorText(error) + ").");
    }
    copyOf_.emplace(key, copy.filename().string());
    if (Status comment = log_.append("# Workbook: " + key.string()); !comment) {
        return comment.error();
    }
    if (Status recorded = record({.kind = ActionKind::Open, .text = copy.filename().string()}, now);
        !recorded) {
        return recorded.error();
    }
    return copy;
}

Status RaceJournal::record(const JournalAction& action, Clock::time_point now) {
    // One append for both lines, so the time never stands without its action.
    return log_.append("# " + TimeOfDayText(now) + "\r\n" + FormatAction(action));
}

}  // namespace tivaro::timing
