#pragma once
// Test helpers shared by the test programs: scratch folders and whole-file reads and writes.

#include <filesystem>
#include <string>

namespace tivaro::testing {

// A fresh folder under /tmp, removed with everything in it when the object goes, also when a
// test made parts of it read-only.
class ScratchDir {
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

private:
    std::filesystem::path path_;
};

// The whole content of a file; empty when it does not exist.
std::string ReadFile(const std::filesystem::path& file);
void WriteFile(const std::filesystem::path& file, const std::string& bytes);

}  // namespace tivaro::testing
