#pragma once
// A small file system of the test's own, for a real full disk and a real read-only folder. It
// needs the right to mount (root); tests that use it skip without.

#include <filesystem>

namespace tivaro::testing {

class SmallDisk {
public:
    // Mounts a tmpfs of `size` ("96k", "1m") on `where`, which is made when missing.
    SmallDisk(const std::filesystem::path& where, const char* size);
    ~SmallDisk();
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool mounted() const { return mounted_; }
    bool makeReadOnly();
    // Fills the disk with a file `filler` until at most `room` bytes are left.
    bool fillLeaving(std::size_t room);
    // Frees what fillLeaving took.
    void free();

private:
    std::filesystem::path where_;
    bool mounted_ = false;
};

}  // namespace tivaro::testing
