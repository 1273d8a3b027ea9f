#pragma once
// Plain-text logs that survive a crash of the program and a full disk. Every line is appended
// with its own open, write and close, so nothing stays buffered in this process between lines,
// and whole or not at all (file_append.h), so a full disk never leaves half a line. A line
// that could not be written waits, in order, and goes out before the next one once there is
// room again. What waits is bounded: beyond kMaxWaitingBytes the newest lines are given up,
// and the error says so.

#include <cstddef>
#include <deque>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tivaro {

// Appends `text` followed by CR LF to `file`, creating the file when missing; whole or not
// at all.
Status AppendLogLine(const std::filesystem::path& file, std::string_view text);

class LineLog {
public:
    static constexpr std::size_t kMaxWaitingBytes = 16 * 1024 * 1024;
    // Appends an entry to a file: AppendWhole, or a stand-in for tests.
    using Appender =
        std::function<Status(const std::filesystem::path& file, std::string_view bytes)>;

    // An empty path keeps no log.
    explicit LineLog(std::filesystem::path path, Appender appender = {});

    const std::filesystem::path& path() const { return path_; }

    // Appends `text` and CR LF after the lines still waiting. An error when a line could not
    // be written: it waits (or, past the bound, is given up).
    Status append(std::string_view text);
    // Writes the lines still waiting, in order, as far as there is room.
    Status flush();
    std::size_t waiting() const { return waiting_.size(); }

private:
    std::filesystem::path path_;
    Appender appender_;
    std::deque<std::string> waiting_;  // entries with their CR LF
    std::size_t waitingBytes_ = 0;
    std::size_t givenUp_ = 0;  // lines lost past the bound since the last success
};

}  // namespace tivaro
