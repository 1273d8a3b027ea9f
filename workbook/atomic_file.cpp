#include "workbook/atomic_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace tivaro::workbook {

namespace {

class SystemWriter final : public FileWriter {
public:
    int write(int fd, const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t done = ::write(fd, data, size);
            if (done < 0) {
                if (errno == EINTR) {
                    continue;
                }
                return errno;
            }
            data += done;
            size -= static_cast<std::size_t>(done);
        }
        return 0;
    }
    int sync(int fd) override { return ::fsync(fd) == 0 ? 0 : errno; }
};

std::string Quoted(const std::filesystem::path& file) {
    return "\"" + file.string() + "\"";
}

Error SaveError(const std::filesystem::path& target, const std::string& reason) {
    return MakeError(Errc::Io, "cannot save " + Quoted(target) + ": " + reason);
}

}  // namespace

FileWriter& SystemFileWriter() {
    static SystemWriter writer;
    return writer;
}

std::optional<FileStamp> StampOf(const std::filesystem::path& file) {
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) {
        return std::nullopt;
    }
    FileStamp stamp;
    stamp.size = static_cast<std::uintmax_t>(info.st_size);
    stamp.modifiedNs =
        static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    return stamp;
}

Result<std::string> ReadWholeFile(const std::filesystem::path& file, std::uintmax_t maxBytes) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return MakeError(Errc::Io, "cannot open " + Quoted(file) + ": " + std::strerror(errno));
    }
    std::string bytes;
    std::vector<char> chunk(1 << 16);
    for (;;) {
        const ssize_t got = ::read(fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) {
                continue;
            }
            const int error = errno;
            ::close(fd);
            return MakeError(Errc::Io, "cannot read " + Quoted(file) + ": " + std::strerror(error));
        }
        if (got == 0) {
            break;
        }
        if (static_cast<std::uintmax_t>(got) > maxBytes - bytes.size()) {
            ::close(fd);
            return MakeError(Errc::BadFormat,
                             "Het bestand is te groot om te lezen: meer dan " +
                                 std::to_string(maxBytes) +
                                 " bytes. Kies het juiste bestand. Bestand: " + Quoted(file));
        }
        bytes.append(chunk.data(), static_cast<std::size_t>(got));
    }
    ::close(fd);
    return bytes;
}

Status ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                             FileWriter& writer) {
    const std::filesystem::path folder =
        target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
    mode_t mode = 0644;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        // rename(2) would replace a read-only file without asking; a person made it
        // read-only on purpose, so it is refused here (also for root).
        if ((info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0) {
            return SaveError(target, "the file is read-only");
        }
        mode = info.st_mode & 07777;
    }

    std::string temporary = (folder / ("." + target.filename().string() + ".tivaro-XXXXXX"));
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return SaveError(target, "cannot create a file in folder " + Quoted(folder) + ": " +
                                     std::strerror(error));
    }
    const auto fail = [&](const char* step, int error) {
        ::close(fd);
        ::unlink(temporary.c_str());
        return SaveError(target, std::string(std::strerror(error)) + " (" + step + ")");
    };
    if (const int error = writer.write(fd, bytes.data(), bytes.size()); error != 0) {
        return fail("while writing", error);
    }
    ::fchmod(fd, mode);
    if (const int error = writer.sync(fd); error != 0) {
        return fail("while flushing to disk", error);
    }
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return SaveError(target, std::string(std::strerror(error)) + " (while closing)");
    }
    if (::rename(temporary.c_str(), target.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        return SaveError(target, std::string(std::strerror(error)) + " (while renaming)");
    }
    // The rename is only durable once the folder's entry is on disk.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        writer.sync(folderFd);
        ::close(folderFd);
    }
    return {};
}

}  // namespace tivaro::workbook
