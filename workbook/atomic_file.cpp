#include "workbook/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>
#include <vector>

#include "common/system_error.h"

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

// A temporary file is ".NAME" + kTemporaryMark + six characters that mkostemp(3) picks.
constexpr std::string_view kTemporaryMark = ".tivaro-";
constexpr std::size_t kTemporaryRandom = 6;

std::string Quoted(const std::filesystem::path& file) {
    return "\"" + file.string() + "\"";
}

// The temporary file of one save. Until renamed() it is removed when the save ends, by a
// failure or by an exception of the writer. The lock, held through a second descriptor until
// the end of the save, tells a clean-up in another process that this save is alive; a killed
// process holds no lock.
struct TemporaryFile {
    explicit TemporaryFile(std::string pathTemplate) : path(std::move(pathTemplate)) {
        fd = ::mkostemp(path.data(), O_CLOEXEC);
        created = fd >= 0;
        if (created) {
            lockFd = ::dup(fd);
            if (lockFd >= 0) {
                ::flock(lockFd, LOCK_EX);
            }
        }
    }
    TemporaryFile(const TemporaryFile&) = delete;
    TemporaryFile& operator=(const TemporaryFile&) = delete;
    ~TemporaryFile() {
        if (fd >= 0) {
            ::close(fd);
        }
        if (created && !kept) {
            ::unlink(path.c_str());
        }
        if (lockFd >= 0) {
            ::close(lockFd);
        }
    }
    // Closes the written file; 0 or an errno value.
    int close() {
        const int result = ::close(std::exchange(fd, -1));
        return result == 0 ? 0 : errno;
    }
    void renamed() { kept = true; }

    std::string path;
    int fd = -1;
    int lockFd = -1;
    bool created = false;
    bool kept = false;
};

Error SaveError(const std::filesystem::path& target, const std::string& reason) {
    return MakeError(Errc::Io, "het bestand kan niet worden opgeslagen: " + reason + " (" +
                                   Quoted(target) + ")");
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
        return MakeError(Errc::Io, "het bestand kan niet worden geopend: " +
                                       SystemErrorText(errno) + " (" + Quoted(file) + ")");
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
            return MakeError(Errc::Io, "het bestand kan niet worden gelezen: " +
                                           SystemErrorText(error) + " (" + Quoted(file) + ")");
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

namespace {

std::filesystem::path FolderOf(const std::filesystem::path& target) {
    return target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
}

std::string TemporaryTemplate(const std::filesystem::path& target) {
    return FolderOf(target) /
           ("." + target.filename().string() + std::string(kTemporaryMark) + "XXXXXX");
}

// rename(2) would replace a read-only file without asking; a person made it read-only on
// purpose, so it counts as read-only here (also for root).
bool IsReadOnly(const struct stat& info, const std::filesystem::path& target) {
    return (info.st_mode & 0222) == 0 || ::access(target.c_str(), W_OK) != 0;
}

}  // namespace

Status CheckReplaceable(const std::filesystem::path& target) {
    const std::string what = "Tivaro kan de tijden niet in dit werkboek opslaan: ";
    const std::string todo =
        " Kies \"Opslaan als...\" om een kopie op een andere plaats te openen, of maak het "
        "schrijfbaar. (" +
        Quoted(target) + ")";
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0 && IsReadOnly(info, target)) {
        return MakeError(Errc::ReadOnly, what + "het bestand is alleen-lezen." + todo);
    }
    TemporaryFile probe(TemporaryTemplate(target));
    if (probe.fd < 0) {
        const int error = errno;
        return MakeError(Errc::ReadOnly, what + "in de map " + Quoted(FolderOf(target)) +
                                             " kan niet worden geschreven (" +
                                             SystemErrorText(error) + ")." + todo);
    }
    return {};  // the probe is removed as it goes
}

Status ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                             FileWriter& writer) {
    const std::filesystem::path folder = FolderOf(target);
    mode_t mode = 0644;
    struct stat info {};
    if (::stat(target.c_str(), &info) == 0) {
        if (IsReadOnly(info, target)) {
            return SaveError(target, "het bestand is alleen-lezen");
        }
        mode = info.st_mode & 07777;
    }

    TemporaryFile temporary(TemporaryTemplate(target));
    if (temporary.fd < 0) {
        const int error = errno;
        return SaveError(target, "in de map " + Quoted(folder) +
                                     " kan geen bestand worden gemaakt (" + SystemErrorText(error) +
                                     ")");
    }
    const auto fail = [&](const char* step, int error) {
        return SaveError(target, SystemErrorText(error) + " (" + step + ")");
    };
    if (const int error = writer.write(temporary.fd, bytes.data(), bytes.size()); error != 0) {
        return fail("bij het schrijven", error);
    }
    ::fchmod(temporary.fd, mode);
    if (const int error = writer.sync(temporary.fd); error != 0) {
        return fail("bij het wegschrijven naar de schijf", error);
    }
    if (const int error = temporary.close(); error != 0) {
        return fail("bij het sluiten", error);
    }
    if (::rename(temporary.path.c_str(), target.c_str()) != 0) {
        return fail("bij het vervangen van het oude bestand", errno);
    }
    temporary.renamed();
    // The rename is only durable once the folder's entry is on disk.
    const int folderFd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        writer.sync(folderFd);
        ::close(folderFd);
    }
    return {};
}

std::string TargetOfTemporary(std::string_view fileName) {
    const std::size_t suffix = kTemporaryMark.size() + kTemporaryRandom;
    if (fileName.size() <= 1 + suffix || fileName.front() != '.') {
        return {};
    }
    const std::string_view mark = fileName.substr(fileName.size() - suffix, kTemporaryMark.size());
    const std::string_view random = fileName.substr(fileName.size() - kTemporaryRandom);
    const bool randomLike = std::all_of(random.begin(), random.end(), [](char ch) {
        return (ch >= '0' && ch <= '9') || (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
    });
    if (mark != kTemporaryMark || !randomLike) {
        return {};
    }
    return std::string(fileName.substr(1, fileName.size() - 1 - suffix));
}

void RemoveStaleTemporaries(const std::filesystem::path& folder,
                            const std::function<bool(std::string_view target)>& isOurs) {
    std::error_code error;
    std::filesystem::directory_iterator entries(folder, error);
    if (error) {
        return;
    }
    for (const std::filesystem::directory_entry& entry : entries) {
        const std::string target = TargetOfTemporary(entry.path().filename().string());
        if (target.empty() || !isOurs(target)) {
            continue;
        }
        // O_NOFOLLOW: a link of that name is neither followed nor removed.
        const int fd = ::open(entry.path().c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat info {};
        if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
            ::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            ::unlink(entry.path().c_str());
        }
        ::close(fd);
    }
}

}  // namespace tivaro::workbook
