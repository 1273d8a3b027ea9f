#pragma once
// Putting a file on disk so that a crash or power loss at any moment leaves either the old
// or the new content under its name, never a mix: the new content goes into a temporary file
// in the same folder, is flushed to disk, and is then renamed over the old file; the folder
// is flushed last so that the rename itself is durable.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "common/result.h"

namespace tivaro::workbook {

// The two steps that touch the disk, so tests can make them fail (a full disk after N bytes,
// a failing flush). Each returns 0 or an errno value. sync() flushes the new file and then
// its folder; a failure to flush the folder comes after the rename and is not reported.
class FileWriter {
public:
    virtual ~FileWriter() = default;
    virtual int write(int fd, const char* data, std::size_t size) = 0;
    virtual int sync(int fd) = 0;
};

// Writes with write(2), retrying short writes and interruptions, and flushes with fsync(2).
FileWriter& SystemFileWriter();

// What identifies one version of a file on disk: when another program saves the file, at
// least one of these changes.
struct FileStamp {
    std::uintmax_t size = 0;
    std::int64_t modifiedNs = 0;
    std::uintmax_t device = 0;
    std::uintmax_t inode = 0;
    bool operator==(const FileStamp&) const = default;
};
std::optional<FileStamp> StampOf(const std::filesystem::path& file);

// The whole file; a file longer than `maxBytes` is refused without reading past that.
Result<std::string> ReadWholeFile(const std::filesystem::path& file,
                                  std::uintmax_t maxBytes = UINTMAX_MAX);

// Replaces `target` (or creates it) with `bytes` as described above. A read-only target is
// refused. On failure the temporary file is removed and `target` is as it was.
Status ReplaceFileAtomically(const std::filesystem::path& target, std::string_view bytes,
                             FileWriter& writer = SystemFileWriter());

// Whether ReplaceFileAtomically could replace `target`: the file is not read-only, and a
// temporary file can be made in its folder (one is made and removed again). Errc::ReadOnly
// with a message that says which of the two stands in the way, and what to do.
Status CheckReplaceable(const std::filesystem::path& target);

// The target name whose temporary file ReplaceFileAtomically named `fileName`
// (".NAME.tivaro-XXXXXX" gives "NAME"); "" for any other name.
std::string TargetOfTemporary(std::string_view fileName);

// Removes from `folder` the temporary files that a save killed before its rename left behind,
// for the targets `isOurs` accepts. Only regular files named as ReplaceFileAtomically names
// them go, and only when no save is still writing them: a save holds a lock on its temporary
// file until the rename, and a killed process holds none. Failures to remove are ignored: the
// next save tries again.
void RemoveStaleTemporaries(const std::filesystem::path& folder,
                            const std::function<bool(std::string_view target)>& isOurs);

}  // namespace tivaro::workbook
