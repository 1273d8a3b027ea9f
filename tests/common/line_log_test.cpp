// Logs on a full disk: a line is appended whole or not at all, and lines that could not be
// written wait, in order, and go out once there is room.

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "common/file_append.h"
#include "common/line_log.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/small_disk.h"

namespace tivaro::testing {
namespace {

// An appender that refuses while `full`, as a full disk does, and keeps what it took.
struct FakeDisk {
    bool full = false;
    std::string written;
    LineLog::Appender appender() {
        return [this](const std::filesystem::path&, std::string_view bytes) -> Status {
            if (full) {
                return MakeError(Errc::Io, "het log kan niet worden geschreven (schijf vol)");
            }
            written.append(bytes);
            return {};
        };
    }
};

TEST(LineLog, LinesWaitWhileTheDiskIsFullAndGoOutInOrder) {
    FakeDisk disk;
    LineLog log("dovokop.log", disk.appender());
    ASSERT_TRUE(log.append("one"));
    disk.full = true;
    const Status refused = log.append("two");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("1 regel(s) wachten"), std::string::npos)
        << refused.error().message;
    EXPECT_FALSE(log.append("three"));
    EXPECT_EQ(log.waiting(), 2u);
    EXPECT_FALSE(log.flush());
    disk.full = false;
    ASSERT_TRUE(log.append("four"));  // what waited goes first
    EXPECT_EQ(disk.written, "one\r\ntwo\r\nthree\r\nfour\r\n");
    EXPECT_EQ(log.waiting(), 0u);
}

TEST(LineLog, WhatWaitsIsBoundedAndWhatIsGivenUpIsSaid) {
    FakeDisk disk;
    disk.full = true;
    LineLog log("dovokop.log", disk.appender());
    const std::string line(1024 * 1024 - 2, 'x');
    for (std::size_t k = 0; k < LineLog::kMaxWaitingBytes / (line.size() + 2); ++k) {
        EXPECT_FALSE(log.append(line));
    }
    const std::size_t waiting = log.waiting();
    const Status lost = log.append(line);
    EXPECT_NE(lost.error().message.find("gingen verloren"), std::string::npos)
        << lost.error().message;
    EXPECT_EQ(log.waiting(), waiting);
    disk.full = false;
    EXPECT_TRUE(log.flush());
    EXPECT_EQ(disk.written.size(), waiting * (line.size() + 2));
}

TEST(AppendWhole, AFullDiskLeavesNoHalfLine) {
    ScratchDir dir;
    SmallDisk disk(dir / "disk", "64k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    const auto file = dir / "disk" / "dovokop.log";
    ASSERT_TRUE(AppendWhole(file, "first line\r\n"));
    ASSERT_TRUE(disk.fillLeaving(100));
    // Larger than the room left: the part that fits is cut off again.
    const Status refused = AppendWhole(file, std::string(5000, 'y') + "\r\n");
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error().message.find("schijf vol"), std::string::npos);
    EXPECT_EQ(ReadFile(file), "first line\r\n");
    disk.free();
    ASSERT_TRUE(AppendWhole(file, "next line\r\n"));
    EXPECT_EQ(ReadFile(file), "first line\r\nnext line\r\n");
}

}  // namespace
}  // namespace tivaro::testing
