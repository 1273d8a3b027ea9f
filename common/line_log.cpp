#include "common/line_log.h"

#include <fcntl.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <string>

#include "common/system_error.h"

namespace tivaro {

namespace {

Error LogError(const std::filesystem::path& file, const char* what, int err) {
    return MakeError(Errc::Io, std::string("het log kan niet worden ") + what + " (" +
                                   SystemErrorText(err) + "): " + file.string());
}

}  // namespace

Status AppendLogLine(const std::filesystem::path& file, std::string_view text) {
    // One write call for text and line end, so an entry is never split by another writer.
    std::string entry;
    entry.reserve(text.size() + 2);
    entry.append(text);
    entry.append("\r\n");

    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return LogError(file, "geopend", errno);
    }
    const char* data = entry.data();
    std::size_t left = entry.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int err = errno;
            ::close(fd);
            return LogError(file, "geschreven", err);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        return LogError(file, "gesloten", errno);
    }
    return {};
}

}  // namespace tivaro
