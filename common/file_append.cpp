#include "common/file_append.h"

#include <string>

#include "common/system_error.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#endif

namespace tivaro {

namespace {

Error AppendError(const std::filesystem::path& file, const char* what, const std::string& why) {
    return MakeError(Errc::Io, std::string("het log kan niet worden ") + what + " (" + why +
                                   "): " + file.string());
}

}  // namespace

#ifdef _WIN32

Status AppendWhole(const std::filesystem::path& file, std::string_view bytes) {
    const HANDLE handle =
        ::CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        return AppendError(file, "geopend",
                           SystemErrorText(std::error_code(static_cast<int>(::GetLastError()),
                                                           std::system_category())));
    }
    LARGE_INTEGER end{};
    ::SetFilePointerEx(handle, LARGE_INTEGER{}, &end, FILE_END);
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        DWORD written = 0;
        const DWORD chunk = static_cast<DWORD>(left > 1u << 30 ? 1u << 30 : left);
        if (!::WriteFile(handle, data, chunk, &written, nullptr) || written == 0) {
            const DWORD error = ::GetLastError();
            ::SetFilePointerEx(handle, end, nullptr, FILE_BEGIN);
            ::SetEndOfFile(handle);
            ::CloseHandle(handle);
            return AppendError(
                file, "geschreven",
                SystemErrorText(std::error_code(static_cast<int>(error), std::system_category())));
        }
        data += written;
        left -= written;
    }
    if (!::CloseHandle(handle)) {
        return AppendError(file, "gesloten",
                           SystemErrorText(std::error_code(static_cast<int>(::GetLastError()),
                                                           std::system_category())));
    }
    return {};
}

#else

Status AppendWhole(const std::filesystem::path& file, std::string_view bytes) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        return AppendError(file, "geopend", SystemErrorText(errno));
    }
    struct stat before {};
    const bool known = ::fstat(fd, &before) == 0;
    // One write call when it fits, so an entry is never split by another writer.
    const char* data = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            if (known && ::ftruncate(fd, before.st_size) != 0) {
                // Cutting back failed too: the next entry starts on a line of its own at least.
                (void)::write(fd, "\r\n", 2);
            }
            ::close(fd);
            return AppendError(file, "geschreven", SystemErrorText(error));
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    if (::close(fd) != 0) {
        return AppendError(file, "gesloten", SystemErrorText(errno));
    }
    return {};
}

#endif

}  // namespace tivaro
