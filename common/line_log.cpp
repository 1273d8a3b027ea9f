#include "common/line_log.h"

#include "common/file_append.h"

namespace tivaro {

Status AppendLogLine(const std::filesystem::path& file, std::string_view text) {
    std::string entry;
    entry.reserve(text.size() + 2);
    entry.append(text).append("\r\n");
    return AppendWhole(file, entry);
}

LineLog::LineLog(std::filesystem::path path, Appender appender)
    : path_(std::move(path)), appender_(appender ? std::move(appender) : Appender(AppendWhole)) {}

Status LineLog::flush() {
    while (!waiting_.empty()) {
        if (Status written = appender_(path_, waiting_.front()); !written) {
            return written;
        }
        waitingBytes_ -= waiting_.front().size();
        waiting_.pop_front();
    }
    givenUp_ = 0;
    return {};
}

Status LineLog::append(std::string_view text) {
    if (path_.empty()) {
        return {};
    }
    std::string entry;
    entry.reserve(text.size() + 2);
    entry.append(text).append("\r\n");
    Status flushed = flush();
    if (flushed) {
        Status written = appender_(path_, entry);
        if (written) {
            return {};
        }
        flushed = std::move(written);
    }
    if (waitingBytes_ + entry.size() > kMaxWaitingBytes) {
        ++givenUp_;
        return MakeError(flushed.error().code,
                         flushed.error().message + "; " + std::to_string(givenUp_) +
                             " regel(s) gingen verloren: er wachtten er al te veel");
    }
    waitingBytes_ += entry.size();
    waiting_.push_back(std::move(entry));
    return MakeError(flushed.error().code,
                     flushed.error().message + "; " + std::to_string(waiting_.size()) +
                         " regel(s) wachten en worden geschreven zodra het weer kan");
}

}  // namespace tivaro
