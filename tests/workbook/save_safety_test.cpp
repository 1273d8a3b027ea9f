// Saving without ever leaving a broken workbook: the backup, a file changed by another
// program, a full disk, read-only files and folders, and a process killed in the middle of
// saves.

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <random>

#include "demo_workbook.h"
#include "support.h"
#include "tests/support/small_disk.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

// Writes like the system, but fails with `error` once `failAfterBytes` bytes of one file
// are written (a full disk), or fails the flush.
class FailingWriter final : public FileWriter {
public:
    long failAfterBytes = -1;  // -1: never
    int error = ENOSPC;
    bool failSync = false;

    int write(int fd, const char* data, std::size_t size) override {
        if (failAfterBytes >= 0 && static_cast<long>(size) > failAfterBytes) {
            if (failAfterBytes > 0) {
                SystemFileWriter().write(fd, data, static_cast<std::size_t>(failAfterBytes));
            }
            return error;
        }
        return SystemFileWriter().write(fd, data, size);
    }
    int sync(int fd) override { return failSync ? EIO : SystemFileWriter().sync(fd); }
};

// True when `name` is `before` + "YYYYMMDD-HHMMSS" + one of `afters`.
bool IsStamped(const std::string& name, const std::string& before,
               const std::vector<std::string>& afters) {
    const std::string pattern = "dddddddd-dddddd";
    if (name.rfind(before, 0) != 0 || name.size() < before.size() + pattern.size()) {
        return false;
    }
    for (std::size_t i = 0; i < pattern.size(); ++i) {
        const char ch = name[before.size() + i];
        if (pattern[i] == 'd' ? !std::isdigit(static_cast<unsigned char>(ch)) : ch != '-') {
            return false;
        }
    }
    const std::string rest = name.substr(before.size() + pattern.size());
    return std::find(afters.begin(), afters.end(), rest) != afters.end();
}

std::vector<std::string> FilesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

class SaveSafetyTest : public ::testing::Test {
protected:
    void SetUp() override {
        auto bytes = demo::DemoWorkbookBytes();
        ASSERT_TRUE(bytes.ok());
        original_ = *bytes;
        std::filesystem::create_directory(dir_ / "race");
        file_ = dir_ / "race" / "wedstrijd.xlsx";
        WriteFile(file_, original_);
    }

    ScratchDir dir_;
    std::filesystem::path file_;
    std::string original_;
    FailingWriter writer_;
    XlsxApp app_{dir_ / "backup", writer_};
};

TEST_F(SaveSafetyTest, TheFirstSaveOfARunKeepsACopyOfTheWorkbookAsOpened) {
    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 6, "0:10:00.00").ok());
    // Someone else's later change must not end up in the backup: it holds what was opened.
    ASSERT_TRUE(book->save().ok());
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 20, "1").ok());
    ASSERT_TRUE(book->save().ok());

    const auto backups = FilesIn(dir_ / "backup");
    ASSERT_EQ(backups.size(), 1u);
    EXPECT_TRUE(IsStamped(backups[0], "wedstrijd-", {".xlsx"})) << backups[0];
    EXPECT_EQ(ReadFile(dir_ / "backup" / backups[0]), original_);
    EXPECT_EQ(FilesIn(dir_ / "race"), std::vector<std::string>{"wedstrijd.xlsx"});

    // A macro workbook keeps its extension; a second run makes a second backup.
    const auto macro = dir_ / "race" / "macro.xlsm";
    WriteFile(macro, original_);
    for (int run = 0; run < 2; ++run) {
        auto other = OpenOrFail(app_, macro);
        ASSERT_NE(other, nullptr);
        ASSERT_TRUE(other->writeCell(SheetId{0}, 4, 6, "0:10:00.0" + std::to_string(run)).ok());
        ASSERT_TRUE(other->save().ok());
    }
    const auto all = FilesIn(dir_ / "backup");
    ASSERT_EQ(all.size(), 3u);
    // Two runs within one second: the second backup gets a number.
    EXPECT_TRUE(IsStamped(all[0], "macro-", {".xlsm", "-2.xlsm"})) << all[0];
    EXPECT_TRUE(IsStamped(all[1], "macro-", {".xlsm", "-2.xlsm"})) << all[1];
}

TEST_F(SaveSafetyTest, AWorkbookChangedByAnotherProgramIsNotOverwritten) {
    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 6, "0:10:00.00").ok());
    RunOpenpyxl({"resave", file_.string()});  // an organiser saves in a spreadsheet meanwhile
    ASSERT_FALSE(HasFatalFailure());
    const std::string theirs = ReadFile(file_);

    auto saved = book->save();
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(ReadFile(file_), theirs);
    const std::string diverted = saved->writtenTo.filename().string();
    EXPECT_TRUE(IsStamped(diverted, "wedstrijd (Tivaro ", {").xlsx"})) << diverted;
    EXPECT_EQ(saved->writtenTo.parent_path(), file_.parent_path());
    EXPECT_NE(saved->notice.find("Een ander programma heeft de werkmap gewijzigd"),
              std::string::npos)
        << saved->notice;
    EXPECT_NE(saved->notice.find(diverted), std::string::npos) << saved->notice;
    EXPECT_EQ(book->path(), saved->writtenTo);

    // Later saves follow the new file without a new notice.
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 20, "1").ok());
    auto again = book->save();
    ASSERT_TRUE(again.ok());
    EXPECT_EQ(again->writtenTo, saved->writtenTo);
    EXPECT_TRUE(again->notice.empty()) << again->notice;
    EXPECT_EQ(ReadFile(file_), theirs);

    auto reread = OpenOrFail(app_, saved->writtenTo);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(*reread->readCell(SheetId{0}, 3, 6), "0:10:00.00");
    EXPECT_EQ(*reread->readCell(SheetId{0}, 3, 20), "1");
}

TEST_F(SaveSafetyTest, AFailedWriteLeavesTheFileAndTheWorkbookInMemoryAsTheyWere) {
    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 6, "0:10:00.00").ok());
    ASSERT_TRUE(book->save().ok());  // the backup is made, the first write is on disk
    const std::string onDisk = ReadFile(file_);

    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 7, "0:10:40.10").ok());
    ASSERT_TRUE(book->colourCell(SheetId{0}, 3, 1, 65280).ok());
    for (long failAfter : {0L, 1L, 4096L, static_cast<long>(onDisk.size() / 2)}) {
        writer_.failAfterBytes = failAfter;
        auto saved = book->save();
        ASSERT_FALSE(saved.ok()) << failAfter;
        EXPECT_EQ(saved.error().code, Errc::Io);
        EXPECT_NE(saved.error().message.find(file_.string()), std::string::npos);
        EXPECT_NE(saved.error().message.find("schijf vol"), std::string::npos)
            << saved.error().message;
        EXPECT_EQ(ReadFile(file_), onDisk) << failAfter;
        EXPECT_EQ(FilesIn(dir_ / "race"), std::vector<std::string>{"wedstrijd.xlsx"});
        EXPECT_TRUE(book->hasUnsavedChanges());
        EXPECT_EQ(*book->readCell(SheetId{0}, 3, 7), "0:10:40.10");
    }
    writer_.failAfterBytes = -1;
    writer_.failSync = true;
    auto unsynced = book->save();
    ASSERT_FALSE(unsynced.ok());
    EXPECT_NE(unsynced.error().message.find("wegschrijven naar de schijf"), std::string::npos);
    EXPECT_EQ(ReadFile(file_), onDisk);
    // A failed save keeps a closing workbook open, so nothing is lost.
    EXPECT_FALSE(book->close().ok());
    EXPECT_EQ(*book->readCell(SheetId{0}, 3, 7), "0:10:40.10");

    writer_.failSync = false;
    ASSERT_TRUE(book->close().ok());
    auto reread = OpenOrFail(app_, file_);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(*reread->readCell(SheetId{0}, 3, 6), "0:10:00.00");
    EXPECT_EQ(*reread->readCell(SheetId{0}, 3, 7), "0:10:40.10");
}

TEST_F(SaveSafetyTest, AReadOnlyFileIsRefused) {
    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    std::filesystem::permissions(file_, std::filesystem::perms::owner_read |
                                            std::filesystem::perms::group_read |
                                            std::filesystem::perms::others_read);
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 6, "0:10:00.00").ok());
    auto saved = book->save();
    ASSERT_FALSE(saved.ok());
    EXPECT_EQ(saved.error().code, Errc::Io);
    EXPECT_NE(saved.error().message.find(file_.string()), std::string::npos);
    EXPECT_NE(saved.error().message.find("alleen-lezen"), std::string::npos)
        << saved.error().message;
    EXPECT_EQ(ReadFile(file_), original_);
}

TEST_F(SaveSafetyTest, AFullDiskLeavesTheOldWorkbook) {
    tivaro::testing::SmallDisk disk(dir_ / "disk", "96k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here: " << std::strerror(errno);
    }
    const auto file = dir_ / "disk" / "race.xlsx";
    WriteFile(file, original_);
    auto book = OpenOrFail(app_, file);
    ASSERT_NE(book, nullptr);
    // Fill the rest of the disk, leaving less room than a second copy of the workbook needs.
    WriteFile(dir_ / "disk" / "filler", std::string(96 * 1024 - 2 * original_.size(), 'x'));
    ASSERT_TRUE(book->writeRange(SheetId{0}, "F3:F200", "0:10:00.00").ok());
    auto saved = book->save();
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().message.find("schijf vol"), std::string::npos) << saved.error().message;
    EXPECT_EQ(ReadFile(file), original_);
    EXPECT_EQ(FilesIn(dir_ / "disk"), (std::vector<std::string>{"filler", "race.xlsx"}));
}

TEST_F(SaveSafetyTest, AReadOnlyFolderIsReportedAndLeftAlone) {
    tivaro::testing::SmallDisk disk(dir_ / "disk", "1m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const auto file = dir_ / "disk" / "race.xlsx";
    WriteFile(file, original_);
    auto book = OpenOrFail(app_, file);
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(disk.makeReadOnly());
    ASSERT_TRUE(book->writeCell(SheetId{0}, 3, 6, "0:10:00.00").ok());
    auto saved = book->save();
    ASSERT_FALSE(saved.ok());
    EXPECT_NE(saved.error().message.find(file.string()), std::string::npos);
    EXPECT_TRUE(saved.error().message.find("alleen-lezen") != std::string::npos)
        << saved.error().message;
    EXPECT_EQ(ReadFile(file), original_);
}

TEST_F(SaveSafetyTest, AWorkbookThatCouldNotBeSavedIsRefusedWhenOpened) {
    // Found out at the open button, not at the first save in the middle of a race.
    std::filesystem::permissions(
        file_, std::filesystem::perms::owner_read | std::filesystem::perms::group_read);
    auto opened = app_.open(file_);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().code, Errc::ReadOnly);
    EXPECT_NE(opened.error().message.find("het bestand is alleen-lezen"), std::string::npos)
        << opened.error().message;
    EXPECT_NE(opened.error().message.find("Opslaan als..."), std::string::npos);

    tivaro::testing::SmallDisk disk(dir_ / "disk", "1m");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
    }
    const auto file = dir_ / "disk" / "race.xlsx";
    WriteFile(file, original_);
    ASSERT_TRUE(disk.makeReadOnly());
    opened = app_.open(file);
    ASSERT_FALSE(opened.ok());
    EXPECT_EQ(opened.error().code, Errc::ReadOnly);
    EXPECT_NE(opened.error().message.find("alleen-lezen"), std::string::npos)
        << opened.error().message;
    EXPECT_EQ(FilesIn(dir_ / "disk"), (std::vector<std::string>{"race.xlsx"}));
}

// Saves again and again, writing the number of the save into T3 each time; never returns.
[[noreturn]] void SaveForever(const std::filesystem::path& file,
                              const std::filesystem::path& backups) {
    XlsxApp app(backups);
    auto opened = app.open(file);
    if (!opened) {
        ::_exit(3);
    }
    auto& book = **opened;
    for (long n = 1;; ++n) {
        if (!book.writeCell(SheetId{0}, 3, 20, std::to_string(n)).ok() ||
            !book.writeRange(SheetId{0}, "F3:F200", "0:10:00." + std::to_string(n % 100)).ok() ||
            !book.save().ok()) {
            ::_exit(4);
        }
    }
}

TEST_F(SaveSafetyTest, KillingTheProcessMidSaveAlwaysLeavesAWholeWorkbook) {
    std::mt19937 random(20261206);
    std::uniform_int_distribution<int> delayUs(2000, 120000);
    long lastSeen = 0;
    int progressed = 0;
    for (int round = 0; round < 30; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            SaveForever(file_, dir_ / "backup");
        }
        ::usleep(static_cast<useconds_t>(delayUs(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        ::waitpid(child, &status, 0);
        ASSERT_TRUE(WIFSIGNALED(status))
            << "the saving process stopped by itself, status " << status;

        XlsxApp app(dir_ / "backup");
        auto opened = app.open(file_);
        ASSERT_TRUE(opened.ok()) << "round " << round << ": " << opened.error().message;
        const std::string counter = *(*opened)->readCell(SheetId{0}, 3, 20);
        const long value = counter.empty() ? 0 : std::stol(counter);
        EXPECT_GE(value, 0);
        progressed += value > 0 ? 1 : 0;
        lastSeen = value;
        if (value > 0) {
            // The whole save is there: the block goes with the counter.
            EXPECT_EQ(*(*opened)->readCell(SheetId{0}, 200, 6),
                      "0:10:00." + std::to_string(value % 100));
        }
    }
    // Every kill landed somewhere in a save; enough of them after at least one finished.
    EXPECT_GT(progressed, 10);
    // A killed save leaves its temporary file behind, never a damaged workbook; opening the
    // workbook again removes it.
    for (const std::string& name : FilesIn(dir_ / "race")) {
        EXPECT_EQ(name, "wedstrijd.xlsx");
    }
    ASSERT_TRUE(std::filesystem::exists(dir_ / "backup"));
    for (const std::string& name : FilesIn(dir_ / "backup")) {
        EXPECT_NE(name.front(), '.') << name;
    }
    RunOpenpyxl({"snapshot", file_.string()});  // another program reads the last one too
    std::cout << "last counter seen: " << lastSeen << "\n";
}

}  // namespace
}  // namespace tivaro::workbook::test
