// The Calc engine against what happens to Calc behind the program's back: the workbook closed
// in Calc, soffice killed or quit in the middle of a race, lock files, cells moved in Calc, a
// Calc that already runs with the profile or already has the workbook open. Every failure ends
// in an error value with a message for the organisers, never in a crash or a hang (ctest's
// TIMEOUT guards the hang). Also the threads the window uses and the formats Calc keeps.

#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <set>
#include <thread>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "tests/workbook/calc_suite.h"
#include "tests/workbook/support.h"
#include "workbook/calc/calc_probe.h"
#include "workbook/calc/leftovers.h"

namespace tivaro::workbook::test {
namespace {

using ::testing::HasSubstr;

class CalcFaults : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(ContractWorkbookBytes().empty()) << "openpyxl did not write it";
        file_ = scratch_ / "race.xlsx";
        WriteFile(file_, ContractWorkbookBytes());
    }

    static bool Running(int pid) {
        // Reaps it if it ended, so that a zombie does not count as running.
        waitpid(pid, nullptr, WNOHANG);
        return kill(pid, 0) == 0;
    }

    ScratchDir scratch_;
    std::filesystem::path file_;
};

TEST_F(CalcFaults, DocumentClosedInCalcGivesClosedFromThenOn) {
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    auto book = OpenOrFail(*calc, file_);
    ASSERT_NE(book, nullptr);
    const SheetId loop = SheetNamed(*book, "Loop");
    ASSERT_TRUE(book->find(loop, "B3:B12", "7405583"));

    ASSERT_TRUE(CloseInCalc(*calc, file_));
    Status written = book->writeCell(loop, 3, 6, "10:00:01.00");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, Errc::Closed);
    EXPECT_THAT(written.error().message, HasSubstr("in LibreOffice Calc gesloten"));
    EXPECT_THAT(written.error().message, HasSubstr("Open het werkboek opnieuw"));
    EXPECT_THAT(written.error().message, HasSubstr(file_.string()));
    // Also the lookup, whose block texts were kept.
    auto found = book->find(loop, "B3:B12", "7405583");
    ASSERT_FALSE(found);
    EXPECT_EQ(found.error().code, Errc::Closed);

    // Opening it again loads it again.
    auto again = OpenOrFail(*calc, file_);
    ASSERT_NE(again, nullptr);
    EXPECT_TRUE(again->writeCell(loop, 3, 6, "10:00:01.00"));
}

TEST_F(CalcFaults, SofficeKilledMidRaceThenTheLockItLeftIsCleared) {
    CalcOptions options = DisposableCalcOptions(PipeFor("killed"));
    options.saveThroughCalc = true;
    auto calc = StartCalc(options);
    ASSERT_TRUE(calc) << calc.error().message;
    const std::optional<int> pid = CalcProcessId(**calc);
    ASSERT_TRUE(pid);
    auto book = OpenOrFail(**calc, file_);
    ASSERT_NE(book, nullptr);
    const SheetId loop = SheetNamed(*book, "Loop");
    ASSERT_TRUE(book->writeCell(loop, 3, 6, "10:00:00.00"));

    ASSERT_EQ(kill(*pid, SIGKILL), 0);
    Status written = book->writeCell(loop, 3, 7, "10:01:00.00");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, Errc::Closed);
    EXPECT_THAT(written.error().message, HasSubstr("LibreOffice Calc is gestopt"));
    auto read = book->readRow(loop, 3, 20);
    ASSERT_FALSE(read);
    EXPECT_EQ(read.error().code, Errc::Closed);
    EXPECT_FALSE(book->colourCell(loop, 3, 1, 255));

    // The killed soffice left its lock file beside the workbook; the next start is a new
    // soffice, which opens the workbook for writing all the same.
    const std::filesystem::path lock = scratch_ / ".~lock.race.xlsx#";
    ASSERT_TRUE(std::filesystem::exists(lock));
    book.reset();
    calc->reset();
    auto restarted = StartCalc(options);
    ASSERT_TRUE(restarted) << restarted.error().message;
    auto reopened = (*restarted)->open(file_);
    ASSERT_TRUE(reopened) << reopened.error().message;
    ASSERT_TRUE((*reopened)->writeCell(loop, 3, 7, "10:01:00.00"));
    ASSERT_TRUE((*reopened)->save());
    EXPECT_EQ(RunOpenpyxl({"cells", file_.string(), "Loop!G3"}), "Loop!G3 s none 10:01:00.00\n");
}

// The engine keeps the row and cell objects Calc hands out; Calc moves those along with their
// cells. Writes must still land at the address asked for after the sheet changed in Calc.
TEST_F(CalcFaults, WritesLandWhereAskedAfterCellsMovedInCalc) {
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    auto book = OpenOrFail(*calc, file_);
    ASSERT_NE(book, nullptr);
    const SheetId loop = SheetNamed(*book, "Loop");
    const auto text = [&](int row, int column) {
        auto read = book->readCell(loop, row, column);
        return read ? *read : "<" + read.error().message + ">";
    };
    const auto position = [&](const std::string& code) {
        auto found = book->find(loop, "B3:B12", code);
        return found ? *found : -1;
    };
    // A passing of bib 203 (row 5).
    ASSERT_EQ(position("a?c"), 3);
    ASSERT_TRUE(book->readRow(loop, 5, 20));
    ASSERT_TRUE(book->writeCell(loop, 5, 6, "eerst"));
    ASSERT_TRUE(book->colourCell(loop, 5, 1, 255));

    // A row inserted above: bib 203 is on row 6 now, bib 202 on row 5.
    ASSERT_TRUE(InsertRowsInCalc(*calc, file_, "Loop", 2, 1));
    EXPECT_EQ(position("a?c"), 4);
    ASSERT_TRUE(book->writeCell(loop, 5, 6, "rij 5"));
    ASSERT_TRUE(book->colourCell(loop, 5, 1, 65280));
    EXPECT_EQ(text(5, 1), "202");
    EXPECT_EQ(text(5, 6), "rij 5");
    EXPECT_EQ(text(6, 1), "203");
    EXPECT_EQ(text(6, 6), "eerst");

    // A column inserted before D: what was in F5 is in G5 now.
    ASSERT_TRUE(InsertColumnsInCalc(*calc, file_, "Loop", 4, 1));
    ASSERT_TRUE(book->writeCell(loop, 5, 6, "kolom F"));
    EXPECT_EQ(text(5, 6), "kolom F");
    EXPECT_EQ(text(5, 7), "rij 5");

    // Cells moved away as a person drags them.
    ASSERT_TRUE(MoveCellsInCalc(*calc, file_, "Loop", "F5:G5", "F30"));
    ASSERT_TRUE(book->writeCell(loop, 5, 7, "na slepen"));
    EXPECT_EQ(text(5, 6), "");
    EXPECT_EQ(text(5, 7), "na slepen");
    EXPECT_EQ(text(30, 7), "rij 5");

    ASSERT_TRUE(book->save());
    EXPECT_EQ(RunOpenpyxl({"cells", file_.string(), "Loop!A5", "Loop!A6"}),
              "Loop!A5 n 65280 202\nLoop!A6 n 255 203\n");
}

TEST_F(CalcFaults, LockFileOfAnotherHolderIsReportedWithItsHolder) {
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    WriteFile(scratch_ / ".~lock.race.xlsx#",
              "Jan de Vries,jan,kantoor-pc,07.12.2025 09:15,file:///home/jan/.config/"
              "libreoffice/4;");
    auto opened = calc->open(file_);
    ASSERT_FALSE(opened);
    EXPECT_EQ(opened.error().code, Errc::Locked);
    EXPECT_THAT(opened.error().message, HasSubstr("Jan de Vries op kantoor-pc"));
    EXPECT_THAT(opened.error().message, HasSubstr("Hef de vergrendeling alleen op"));
    EXPECT_TRUE(std::filesystem::exists(scratch_ / ".~lock.race.xlsx#"));

    // Without the lock it opens.
    std::filesystem::remove(scratch_ / ".~lock.race.xlsx#");
    EXPECT_NE(OpenOrFail(*calc, file_), nullptr);
}

TEST_F(CalcFaults, AWorkbookOpenInCalcIsAttachedToNotLoadedAgain) {
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    // The organisers opened the workbook in Calc themselves.
    ASSERT_TRUE(OpenInCalc(*calc, file_));
    auto first = OpenOrFail(*calc, file_);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(*DocumentsOpenInCalc(*calc, file_), 1);
    const SheetId loop = SheetNamed(*first, "Loop");
    ASSERT_TRUE(first->writeCell(loop, 5, 6, "9:00:00.00"));

    // Started again (as the race does for every open), the engine joins the same Calc and
    // the same document.
    auto secondApp = StartCalc(SharedCalcOptions());
    ASSERT_TRUE(secondApp) << secondApp.error().message;
    auto second = OpenOrFail(**secondApp, file_);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(*DocumentsOpenInCalc(*calc, file_), 1);
    auto seen = second->readCell(loop, 5, 6);
    ASSERT_TRUE(seen);
    EXPECT_EQ(*seen, "9:00:00.00");

    // Letting go of the workbooks leaves the organisers' document open in Calc.
    ASSERT_TRUE(first->close());
    first.reset();
    EXPECT_TRUE(second->writeCell(loop, 5, 7, "9:01:00.00"));
    second.reset();
    EXPECT_EQ(*DocumentsOpenInCalc(*calc, file_), 1);
    ASSERT_TRUE(CloseInCalc(*calc, file_));
}

// A Calc that runs with the profile soffice is started with takes the pipe over: the engine
// works in that Calc and leaves it running; when the organisers quit it, the engine says so.
TEST_F(CalcFaults, TheCalcThatRunsWithTheProfileTakesThePipeOver) {
    const std::filesystem::path profile = scratch_ / "profile";
    const std::string program = "/usr/lib/libreoffice/program/soffice.bin";
    const std::string installation = "-env:UserInstallation=file://" + profile.string();
    // soffice's temporary files go into the scratch folder, and go with it.
    const std::string tmp = "TMPDIR=" + scratch_.path().string();
    ASSERT_EQ(std::system((tmp + " " + program + " --headless --norestore --terminate_after_init " +
                           installation + " >/dev/null 2>&1")
                              .c_str()),
              0);
    // The organisers' Calc, which accepts a pipe of its own so that the test can reach it.
    const std::string userPipe = PipeFor("user");
    const pid_t user = fork();
    ASSERT_GE(user, 0);
    if (user == 0) {
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        setenv("TMPDIR", scratch_.path().c_str(), 1);
        const std::string accept = "--accept=pipe,name=" + userPipe + ";urp;";
        execl(program.c_str(), program.c_str(), "--headless", "--norestore", "--nologo",
              "--nodefault", installation.c_str(), accept.c_str(), static_cast<char*>(nullptr));
        _exit(127);
    }
    const std::filesystem::path userSocket =
        "/tmp/OSL_PIPE_" + std::to_string(getuid()) + "_" + userPipe;
    for (int i = 0; i < 600 && !std::filesystem::exists(userSocket); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ASSERT_TRUE(std::filesystem::exists(userSocket));

    CalcOptions reach = DisposableCalcOptions(userPipe);
    auto organisers = StartCalc(reach);
    ASSERT_TRUE(organisers) << organisers.error().message;
    {
        CalcOptions options = DisposableCalcOptions(PipeFor("handed-over"));
        options.privateProfile = false;
        options.profileDirectory = profile;
        auto calc = StartCalc(options);
        ASSERT_TRUE(calc) << calc.error().message;
        EXPECT_FALSE(CalcProcessId(**calc));  // the soffice it started handed over and ended
        auto book = OpenOrFail(**calc, file_);
        ASSERT_NE(book, nullptr);
        EXPECT_TRUE(book->writeCell(SheetNamed(*book, "Loop"), 3, 6, "10:00:00.00"));
        EXPECT_EQ(*DocumentsOpenInCalc(**organisers, file_), 1);
    }
    // The engine left the organisers' Calc running.
    EXPECT_TRUE(Running(user));

    // The organisers quit their Calc in the middle of a race.
    auto book = OpenOrFail(**organisers, file_);
    ASSERT_NE(book, nullptr);
    const SheetId loop = SheetNamed(*book, "Loop");
    ASSERT_TRUE(book->writeCell(loop, 3, 7, "10:01:00.00"));
    ASSERT_TRUE(QuitCalc(**organisers));
    for (int i = 0; i < 200 && Running(user); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    EXPECT_FALSE(Running(user));
    Status written = book->writeCell(loop, 3, 8, "10:02:00.00");
    ASSERT_FALSE(written);
    EXPECT_EQ(written.error().code, Errc::Closed);
    EXPECT_THAT(written.error().message, HasSubstr("LibreOffice Calc is gestopt"));
    if (Running(user)) {
        kill(user, SIGKILL);
        waitpid(user, nullptr, 0);
    }
}

// The window opens the workbook off its event thread and races on the event thread.
TEST_F(CalcFaults, AWorkbookOpenedOnOneThreadIsUsedOnAnother) {
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    std::unique_ptr<Workbook> book;
    std::thread opener([&] {
        auto app = StartCalc(SharedCalcOptions());
        ASSERT_TRUE(app) << app.error().message;
        auto opened = (*app)->open(file_);
        ASSERT_TRUE(opened) << opened.error().message;
        book = std::move(*opened);
    });
    opener.join();
    ASSERT_NE(book, nullptr);
    const SheetId loop = SheetNamed(*book, "Loop");
    auto position = book->find(loop, "B3:B12", "KX-05126");
    ASSERT_TRUE(position) << position.error().message;
    EXPECT_EQ(*position, 2);
    ASSERT_TRUE(book->writeCell(loop, 4, 6, "10:00:00.00"));
    std::thread([&] { EXPECT_TRUE(book->writeCell(loop, 4, 7, "10:01:00.00")); }).join();
    auto row = book->readRow(loop, 4, 20);
    ASSERT_TRUE(row);
    EXPECT_EQ((*row)[5], "10:00:00.00");
    EXPECT_EQ((*row)[6], "10:01:00.00");
}

TEST_F(CalcFaults, NoSofficeOutlivesTheLastAppAndWorkbook) {
    std::optional<int> pid;
    {
        auto calc = StartCalc(DisposableCalcOptions(PipeFor("quits")));
        ASSERT_TRUE(calc) << calc.error().message;
        pid = CalcProcessId(**calc);
        ASSERT_TRUE(pid);
        auto book = OpenOrFail(**calc, file_);
        ASSERT_NE(book, nullptr);
        calc->reset();  // the workbook still holds Calc
        EXPECT_TRUE(Running(*pid));
    }
    EXPECT_FALSE(Running(*pid));
    EXPECT_FALSE(std::filesystem::exists(scratch_ / ".~lock.race.xlsx#"));
}

TEST_F(CalcFaults, CalcWithoutAWindowCountsAsMissing) {
    auto missing = CalcAvailable(scratch_.path());
    ASSERT_FALSE(missing);
    EXPECT_THAT(missing.error().message, HasSubstr("Installeer het pakket libreoffice-calc"));

    // What libreoffice-calc-nogui installs: the office and Calc, no display plug-in.
    WriteFile(scratch_ / "soffice.bin", "");
    WriteFile(scratch_ / "libsclo.so", "");
    auto nogui = CalcAvailable(scratch_.path());
    ASSERT_FALSE(nogui);
    EXPECT_THAT(nogui.error().message, HasSubstr("libreoffice-calc-nogui"));

    WriteFile(scratch_ / "libvclplug_genlo.so", "");
    EXPECT_TRUE(CalcAvailable(scratch_.path()));
}

}  // namespace
}  // namespace tivaro::workbook::test

namespace tivaro::workbook::test {
namespace {

// Whether the file is in that format, by its first bytes: an OpenDocument package names its
// type first, an .xls file is an OLE2 compound file.
bool IsInFormat(const std::filesystem::path& file, const std::string& format) {
    const std::string bytes = ReadFile(file);
    if (format == "ods") {
        return bytes.compare(30, 54, "mimetypeapplication/vnd.oasis.opendocument.spreadsheet") == 0;
    }
    return bytes.compare(0, 8, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") == 0;
}

// Workbooks in LibreOffice's own format and in the older Excel format open in Calc, and Calc
// stores them in the format they came in.
TEST(CalcDocuments, OdsAndXlsWorkbooksKeepTheirFormat) {
    ScratchDir scratch;
    RunOpenpyxl({"contract", (scratch / "race.xlsx").string()});
    for (const std::string format : {"ods", "xls"}) {
        const std::string command =
            "TMPDIR=" + scratch.path().string() + " soffice -env:UserInstallation=file://" +
            (scratch / "convert-profile").string() + " --headless --convert-to " + format +
            " --outdir " + scratch.path().string() + " " + (scratch / "race.xlsx").string() +
            " >/dev/null 2>&1";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
    }
    SpreadsheetApp* calc = SharedCalc();
    ASSERT_NE(calc, nullptr);
    for (const std::string format : {"ods", "xls"}) {
        SCOPED_TRACE(format);
        const std::filesystem::path file = scratch / ("race." + format);
        ASSERT_TRUE(IsInFormat(file, format));
        {
            auto book = OpenOrFail(*calc, file);
            ASSERT_NE(book, nullptr);
            const SheetId loop = SheetNamed(*book, "Loop");
            ASSERT_EQ(*book->find(loop, "B3:B12", "kx-05126"), 2);
            ASSERT_TRUE(book->writeCell(loop, 4, 6, "10:00:01.00"));
            ASSERT_TRUE(book->save());
        }
        EXPECT_TRUE(IsInFormat(file, format));
        auto again = OpenOrFail(*calc, file);
        ASSERT_NE(again, nullptr);
        auto time = again->readCell(SheetNamed(*again, "Loop"), 4, 6);
        ASSERT_TRUE(time);
        EXPECT_EQ(*time, "10:00:01.00");
    }
}

// What a killed soffice leaves: whose lock may go, and which temporary folders.
TEST(CalcLeftovers, OnlyALockOfThisUserWhoseSofficeIsGoneIsStale) {
    ScratchDir dir;
    WriteFile(dir / "lock", "Jan de Vries,jan,kantoor-pc,07.12.2025 09:15,file:///home/jan/p;\n");
    const std::optional<calc::LockHolder> jan = calc::ReadLock(dir / "lock");
    ASSERT_TRUE(jan);
    EXPECT_EQ(jan->describe(), "Jan de Vries op kantoor-pc, sinds 07.12.2025 09:15");
    EXPECT_EQ(jan->profile, "file:///home/jan/p;");
    EXPECT_FALSE(calc::IsMine(*jan));
    EXPECT_FALSE(calc::IsOwnStaleLock(*jan, {}, "/home/jan/p"));

    const calc::LockHolder mine{"", calc::LoginName(), calc::HostName(), "nu",
                                "file:///tmp/tivaro-calc-profile-a;"};
    EXPECT_EQ(mine.describe(), calc::LoginName() + " op " + calc::HostName() + ", sinds nu");
    const calc::RunningOffice onIt{1,
                                   "soffice.bin -env:UserInstallation=file:///tmp/"
                                   "tivaro-calc-profile-a --accept=pipe"};
    const calc::RunningOffice onOther{2, "soffice.bin -env:UserInstallation=file:///tmp/other"};
    const calc::RunningOffice onDefault{3, "soffice.bin --nologo"};
    // Its soffice is gone.
    EXPECT_TRUE(calc::IsOwnStaleLock(mine, {onOther, onDefault}, "/tmp/other"));
    // Its soffice runs, and is not the one asked: the workbook may be open there.
    EXPECT_FALSE(calc::IsOwnStaleLock(mine, {onIt, onOther}, "/tmp/other"));
    // The soffice on its profile is the one asked, which does not have it open.
    EXPECT_TRUE(calc::IsOwnStaleLock(mine, {onIt}, "/tmp/tivaro-calc-profile-a"));
    // The user's own profile, in use by a Calc started without one.
    calc::LockHolder own = mine;
    own.profile = "file://" + calc::DefaultProfile().string() + ";";
    EXPECT_FALSE(calc::IsOwnStaleLock(own, {onIt, onDefault}, "/tmp/tivaro-calc-profile-a"));
    EXPECT_TRUE(calc::IsOwnStaleLock(own, {onIt}, "/tmp/tivaro-calc-profile-a"));
    // No profile named: stale only when no other soffice runs.
    own.profile.clear();
    EXPECT_TRUE(calc::IsOwnStaleLock(own, {onIt}, "/tmp/tivaro-calc-profile-a"));
    EXPECT_FALSE(calc::IsOwnStaleLock(own, {onIt, onOther}, "/tmp/tivaro-calc-profile-a"));
}

TEST(CalcLeftovers, ProfilesAndTemporaryFoldersNoSofficeUsesAreCleared) {
    ScratchDir temp;
    for (const char* name :
         {"tivaro-calc-profile-a", "tivaro-calc-profile-b", "lu12ab.tmp", "keep", "lu-not-temp"}) {
        std::filesystem::create_directories(temp / name / "user");
    }
    const calc::RunningOffice onA{
        1, "soffice.bin -env:UserInstallation=file://" + (temp / "tivaro-calc-profile-a").string()};
    const auto names = [](const std::vector<std::filesystem::path>& paths) {
        std::set<std::string> out;
        for (const auto& path : paths) {
            out.insert(path.filename().string());
        }
        return out;
    };
    // Too young: a soffice may be starting on it.
    EXPECT_TRUE(calc::ClearLeftovers(temp.path(), {}, std::chrono::hours(1)).empty());
    // A soffice runs: its profile stays, and so do temporary folders that may be its.
    EXPECT_EQ(names(calc::ClearLeftovers(temp.path(), {onA}, std::chrono::seconds(0))),
              std::set<std::string>{"tivaro-calc-profile-b"});
    EXPECT_TRUE(std::filesystem::exists(temp / "tivaro-calc-profile-a" / "user"));
    EXPECT_TRUE(std::filesystem::exists(temp / "lu12ab.tmp"));
    // None runs.
    EXPECT_EQ(names(calc::ClearLeftovers(temp.path(), {}, std::chrono::seconds(0))),
              (std::set<std::string>{"tivaro-calc-profile-a", "lu12ab.tmp"}));
    EXPECT_TRUE(std::filesystem::exists(temp / "keep"));
    EXPECT_TRUE(std::filesystem::exists(temp / "lu-not-temp"));
}

}  // namespace
}  // namespace tivaro::workbook::test
