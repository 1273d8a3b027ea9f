// Temporary files that killed saves left behind go at the next open or save of that workbook:
// its own beside it, those of its diverted copies, and those of its backups. Whatever else
// lies in those folders stays, and so does the temporary file of a save still running.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <set>

#include "support.h"
#include "workbook/atomic_file.h"
#include "workbook/backup.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

std::set<std::string> Names(const std::filesystem::path& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        names.insert(entry.path().filename().string());
    }
    return names;
}

TEST(TemporaryNames, OnlyTheNamesASaveGivesAreRecognised) {
    EXPECT_EQ(TargetOfTemporary(".race.xlsx.tivaro-aB3xY9"), "race.xlsx");
    EXPECT_EQ(TargetOfTemporary(".a.tivaro-b.xlsx.tivaro-000000"), "a.tivaro-b.xlsx");
    for (const char* name :
         {"race.xlsx.tivaro-aB3xY9", ".race.xlsx.tivaro-aB3xY", ".tivaro-aB3xY9",
          ".race.xlsx.tivaro-aB3x-9", ".race.xlsx.tivaro-aB3xY9.bak", ".race.xlsx~tivaro-aB3xY9"}) {
        EXPECT_EQ(TargetOfTemporary(name), "") << name;
    }

    const std::filesystem::path race = "/data/race.xlsx";
    EXPECT_TRUE(IsBackupNameOf("race-20261206-201500.xlsx", race));
    EXPECT_TRUE(IsBackupNameOf("race-20261206-201500-12.xlsx", race));
    for (const char* name :
         {"race-20261206-2015.xlsx", "race-20261206-201500-.xlsx", "race-20261206-201500-01.xlsx",
          "race-20261206-201500.xlsm", "racer-20261206-201500.xlsx", "race-2026120x-201500.xlsx"}) {
        EXPECT_FALSE(IsBackupNameOf(name, race)) << name;
    }
    EXPECT_TRUE(IsDivertedNameOf("race (Tivaro 20261206-201500).xlsx", race));
    EXPECT_TRUE(IsDivertedNameOf("race (Tivaro 20261206-201500)-2.xlsx", race));
    EXPECT_FALSE(IsDivertedNameOf("race (Tivaro 20261206-201500.xlsx", race));
    EXPECT_FALSE(IsDivertedNameOf("race (kopie 20261206-201500).xlsx", race));
}

class TempCleanupTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::filesystem::create_directories(dir_ / "backup");
        HandMadeWorkbook book;
        book.sheets = {{"loop", SheetXml("<row r=\"3\"><c r=\"B3\"><v>7405583</v></c></row>")}};
        WriteFile(dir_ / "race.xlsx", BuildHandMade(book));
    }

    // Files that killed saves of race.xlsx left, and files that are not ours to remove.
    void leaveFiles() {
        for (const char* name : {".race.xlsx.tivaro-aB3xY9", ".race.xlsx.tivaro-000000",
                                 ".race (Tivaro 20261206-201500).xlsx.tivaro-Qq11Rr"}) {
            WriteFile(dir_ / name, "half a workbook");
        }
        WriteFile(dir_ / "backup" / ".race-20261206-201500.xlsx.tivaro-zz99ZZ", "half");
        WriteFile(dir_ / "backup" / ".race-20261206-201500-2.xlsx.tivaro-zz99ZY", "half");
        keptBeside_ = {"race.xlsx",
                       ".other.xlsx.tivaro-aB3xY9",  // another workbook's save
                       "race.xlsx.tivaro-aB3xY9",    // not a name a save gives
                       ".race.xlsx.tivaro-aB3xY",    // likewise
                       ".race.xlsx.tivaro-Link00",   // a link, not a file
                       ".race.xlsx.tivaro-Folder",   // a folder
                       "notes.txt",
                       "backup"};
        for (const std::string& name : keptBeside_) {
            if (!std::filesystem::exists(dir_ / name)) {
                WriteFile(dir_ / name, "not ours");
            }
        }
        std::filesystem::remove(dir_ / ".race.xlsx.tivaro-Link00");
        std::filesystem::create_symlink(dir_ / "notes.txt", dir_ / ".race.xlsx.tivaro-Link00");
        std::filesystem::remove(dir_ / ".race.xlsx.tivaro-Folder");
        std::filesystem::create_directory(dir_ / ".race.xlsx.tivaro-Folder");
        keptInBackup_ = {"race-20261206-201500.xlsx", ".racer-20261206-201500.xlsx.tivaro-zz99ZZ",
                         ".race-2026.xlsx.tivaro-zz99ZZ"};
        for (const std::string& name : keptInBackup_) {
            WriteFile(dir_ / "backup" / name, "not ours");
        }
    }

    void expectOnlyOthersLeft() {
        EXPECT_EQ(Names(dir_.path()), keptBeside_);
        EXPECT_EQ(Names(dir_ / "backup"), keptInBackup_);
        EXPECT_EQ(ReadFile(dir_ / "notes.txt"), "not ours");
    }

    ScratchDir dir_;
    XlsxApp app_{dir_ / "backup"};
    std::set<std::string> keptBeside_;
    std::set<std::string> keptInBackup_;
};

TEST_F(TempCleanupTest, OpeningTheWorkbookRemovesWhatKilledSavesLeft) {
    leaveFiles();
    auto opened = app_.open(dir_ / "race.xlsx");
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    expectOnlyOthersLeft();
}

TEST_F(TempCleanupTest, SavingRemovesThemTooButNotTheFileOfASaveStillRunning) {
    auto opened = app_.open(dir_ / "race.xlsx");
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    leaveFiles();
    // Another process in the middle of a save holds a lock on its temporary file.
    const std::filesystem::path running = dir_ / ".race.xlsx.tivaro-Run123";
    WriteFile(running, "being written");
    const int fd = ::open(running.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX), 0);
    keptBeside_.insert(running.filename().string());

    ASSERT_TRUE((*opened)->writeCell(SheetId{0}, 3, 6, "10:00:01.00").ok());
    const auto saved = (*opened)->save();
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    // The save's own backup joins the files that stay.
    for (const std::string& name : Names(dir_ / "backup")) {
        if (IsBackupNameOf(name, dir_ / "race.xlsx") && keptInBackup_.count(name) == 0) {
            keptInBackup_.insert(name);
        }
    }
    expectOnlyOthersLeft();
    ::close(fd);
}

TEST_F(TempCleanupTest, ARefusedWorkbookIsGivenBackUntouched) {
    leaveFiles();
    const std::string damaged = ReadFile(dir_ / "race.xlsx").substr(0, 200);
    WriteFile(dir_ / "race.xlsx", damaged);
    ASSERT_FALSE(app_.open(dir_ / "race.xlsx").ok());
    EXPECT_EQ(ReadFile(dir_ / "race.xlsx"), damaged);
    EXPECT_TRUE(std::filesystem::exists(dir_ / ".race.xlsx.tivaro-aB3xY9"));
}

}  // namespace
}  // namespace tivaro::workbook::test
