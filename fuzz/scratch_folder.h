#pragma once
// A fuzz target's scratch folder, one per process (in memory when /dev/shm is there), removed
// when the process ends; and the fuzz targets' way to report a broken property.

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>

namespace tivaro::fuzz {

inline void Check(bool holds) {
    if (!holds) {
        std::abort();
    }
}

class ScratchFolder {
public:
    explicit ScratchFolder(const std::string& name) {
        const std::filesystem::path base = std::filesystem::exists("/dev/shm")
                                               ? std::filesystem::path("/dev/shm")
                                               : std::filesystem::temp_directory_path();
        folder_ = base / (name + "-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    ~ScratchFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(folder_, ignored);
    }
    ScratchFolder(const ScratchFolder&) = delete;
    ScratchFolder& operator=(const ScratchFolder&) = delete;

    const std::filesystem::path& path() const { return folder_; }

private:
    std::filesystem::path folder_;
};

}  // namespace tivaro::fuzz
