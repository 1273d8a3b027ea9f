#include "tests/support/small_disk.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace tivaro::testing {

SmallDisk::SmallDisk(const std::filesystem::path& where, const char* size) : where_(where) {
    std::filesystem::create_directories(where_);
    const std::string options = std::string("size=") + size;
    mounted_ = ::mount("tmpfs", where_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

SmallDisk::~SmallDisk() {
    if (mounted_) {
        ::umount2(where_.c_str(), MNT_DETACH);
    }
}

bool SmallDisk::makeReadOnly() {
    return ::mount("tmpfs", where_.c_str(), "tmpfs", MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

bool SmallDisk::fillLeaving(std::size_t room) {
    struct statvfs disk {};
    if (::statvfs(where_.c_str(), &disk) != 0) {
        return false;
    }
    const std::size_t available = static_cast<std::size_t>(disk.f_bavail) * disk.f_frsize;
    if (available <= room) {
        return true;
    }
    const int fd = ::open((where_ / "filler").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (fd < 0) {
        return false;
    }
    // Written in pieces until the disk says it is full, then cut back to leave `room`.
    const std::vector<char> piece(4096, 'x');
    while (::write(fd, piece.data(), piece.size()) > 0) {
    }
    const off_t full = ::lseek(fd, 0, SEEK_END);
    const bool cut =
        ::ftruncate(fd, full > static_cast<off_t>(room) ? full - static_cast<off_t>(room) : 0) == 0;
    ::close(fd);
    return cut;
}

void SmallDisk::free() {
    std::error_code ignored;
    std::filesystem::remove(where_ / "filler", ignored);
}

}  // namespace tivaro::testing
