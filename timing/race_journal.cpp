#include "timing/race_journal.h"

#include <cstdio>
#include <ctime>
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
                                       const std::filesystem::path& workbook,
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
    std::filesystem::path copy;
    for (int number = 1;; ++number) {
        const std::string name = number == 1 ? stem : stem + "-" + std::to_string(number);
        path = folder / (name + ".txt");
        copy = folder / (name + workbook.extension().string());
        if (!std::filesystem::exists(path, error) && !std::filesystem::exists(copy, error)) {
            break;
        }
    }
    if (!std::filesystem::copy_file(workbook, copy, error)) {
        return MakeError(Errc::Failed, what + "het werkboek kon niet worden gekopieerd naar " +
                                           copy.string() + " (" + SystemErrorText(error) + ").");
    }
    RaceJournal journal(path);
    std::vector<std::string> head = {
        JournalVersionLine(),
        "# Tivaro race journal, begun " + Formatted(now, "%Y-%m-%d %H:%M:%S"),
        "# Workbook: " + workbook.string(),
        "# Played again on a fresh copy of the workbook as it was opened:",
        "#   tivaro-replay --copy-to DIR --data-dir DIR " + path.filename().string(),
        FormatAction({.kind = ActionKind::Open, .text = copy.filename().string()}),
        "# The set-up in force when the workbook was opened.",
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

Status RaceJournal::record(const JournalAction& action, Clock::time_point now) {
    // One append for both lines, so the time never stands without its action.
    return log_.append("# " + TimeOfDayText(now) + "\r\n" + FormatAction(action));
}

}  // namespace tivaro::timing
