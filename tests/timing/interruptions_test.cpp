// Races that meet an interruption, on the embedded engine and real files: the data folder's
// disk runs full mid-race. Nothing may be lost or garbled, and the race journal must still
// play the race again exactly.

#include <gtest/gtest.h>

#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "decoder/record_writer.h"
#include "demo_workbook.h"
#include "tests/support/scratch_dir.h"
#include "tests/support/small_disk.h"
#include "timing/race_controller.h"
#include "timing/race_journal.h"
#include "tools/tivaro-replay/replay.h"
#include "workbook/xlsx_app.h"

namespace tivaro::testing {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t begin = 0;
    for (std::size_t end; (end = text.find("\r\n", begin)) != std::string::npos; begin = end + 2) {
        lines.push_back(text.substr(begin, end - begin));
    }
    EXPECT_EQ(begin, text.size()) << "a line without its line end: " << text.substr(begin);
    return lines;
}

// An older decoder's passing line of `code` at `seconds`, with its check field.
std::string OlderLine(int number, const std::string& code, int seconds) {
    return decoder::OlderLineWithCheck("\x01@\t20\t" + std::to_string(number) + "\t" + code + "\t" +
                                       std::to_string(seconds) + ".25\t400\t163\t2");
}

TEST(Interruptions, AFullDiskLeavesLogsAndJournalWholeAndTheyCatchUp) {
    ScratchDir dir;
    const std::filesystem::path data = dir / "data";
    SmallDisk disk(data, "256k");
    if (!disk.mounted()) {
        GTEST_SKIP() << "cannot mount a small tmpfs here";
    }
    WriteFile(dir / "race.xlsx", *demo::DemoWorkbookBytes());
    timing::ControllerOptions options;
    options.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(dir / "backup"));
    };
    options.couplingLog = data / "dovokop.log";
    options.rawLog = data / "tivaro.log";
    std::optional<timing::RaceJournal> journal;
    std::vector<std::string> handled;
    timing::ControllerEvents events;
    events.actionTaken = [&](const timing::JournalAction& action) {
        if (journal) {
            (void)journal->record(action, timing::RaceJournal::Clock::now());
        }
    };
    events.passingHandled = [&](const timing::PassingResult&, const std::string& line) {
        handled.push_back(line);
    };
    timing::RaceController controller(std::move(options), events);
    ASSERT_TRUE(controller.openWorkbook(dir / "race.xlsx"));
    auto started = timing::RaceJournal::Start(data, controller.setupActions(),
                                              timing::RaceJournal::Clock::now());
    ASSERT_TRUE(started) << started.error().message;
    journal = std::move(*started);
    ASSERT_TRUE(journal->recordOpen(dir / "race.xlsx", timing::RaceJournal::Clock::now()));
    controller.chooseDecoderGeneration(link::DecoderGeneration::Older);
    ASSERT_TRUE(controller.setup().chooseSport("Lopen"));
    controller.setup().moveLapSlider(3);
    controller.setup().choosePhase(timing::Phase::Recording);

    const auto send = [&](int number, int runner, int seconds) {
        const std::string line = OlderLine(number, std::to_string(7405583 + runner), seconds);
        controller.onDecoderBytes(
            link::LinkKind::Serial,
            {reinterpret_cast<const std::uint8_t*>(line.data()), line.size()});
    };
    int number = 0;
    for (int runner = 0; runner < 5; ++runner) {
        send(++number, runner, 36000 + runner);
    }
    // Full to the last byte: each file can still grow into the rest of its last page, and
    // then no more.
    ASSERT_TRUE(disk.fillLeaving(0));
    for (int lap = 1; lap <= 40; ++lap) {
        for (int runner = 0; runner < 5; ++runner) {
            send(++number, runner, 36000 + lap * 60 + runner);
        }
        if (lap <= 3) {
            ASSERT_TRUE(controller.handPassing(std::to_string(206 + lap), "10:0:5.00"));
        }
    }
    // While the disk is full every file holds whole lines only.
    Lines(ReadFile(data / "dovokop.log"));
    Lines(ReadFile(data / "tivaro.log"));
    Lines(ReadFile(journal->path()));
    EXPECT_LT(Lines(ReadFile(data / "dovokop.log")).size(), handled.size());

    disk.free();
    controller.flushLogs();
    ASSERT_TRUE(journal->flush());
    EXPECT_EQ(Lines(ReadFile(data / "dovokop.log")), handled) << "nothing missing, in order";
    // Each raw entry is the line as received (with its CR LF), then CR LF.
    EXPECT_EQ(Lines(ReadFile(data / "tivaro.log")).size(), 2 * static_cast<std::size_t>(number));

    // The journal plays the same race again.
    const timing::ParsedJournal read = timing::ParseJournal(ReadFile(journal->path()));
    EXPECT_TRUE(read.damaged.empty()) << read.damaged.front().message;
    replay::ReplayOptions again;
    again.dataDirectory = dir / "replayed";
    again.scenarioFolder = data;
    again.copyFolder = dir / "copies";
    again.startApp = [&]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(dir / "backup"));
    };
    std::ostringstream out;
    std::ostringstream err;
    EXPECT_TRUE(replay::RunScenario(read.actions, again, out, err)) << err.str();
    std::string expected;
    for (const std::string& line : handled) {
        expected += line + "\n";
    }
    EXPECT_EQ(out.str(), expected);
}

}  // namespace
}  // namespace tivaro::testing
