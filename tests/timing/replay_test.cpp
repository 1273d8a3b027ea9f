// The replay runner on the fake workbook: the actions reach the same handlers the window
// uses, the log lines come out in order, and failures are reported with their line while the
// race goes on.

#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "decoder/record_writer.h"
#include "race_book.h"
#include "tools/tivaro-replay/replay.h"

namespace tivaro::testing {
namespace {

class Replay : public ::testing::Test {
protected:
    // Runs `scenario`; the workbook "race.xlsx" opens as the fake race book.
    bool Run(std::string_view scenario) {
        Result<std::vector<replay::Action>> actions = replay::ParseScenario(scenario);
        EXPECT_TRUE(actions) << actions.error().message;
        replay::ReplayOptions options;
        options.dataDirectory = dir.path() / "data";
        options.scenarioFolder = "/races";
        options.scenarioName = "race.txt";
        options.startApp = [this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
            return std::unique_ptr<workbook::SpreadsheetApp>(
                std::make_unique<FakeApp>([this](const std::filesystem::path& file) {
                    opened.push_back(file.string());
                    return file.filename() == "race.xlsx" ? MakeRaceBook() : nullptr;
                }));
        };
        return replay::RunScenario(*actions, options, out, err);
    }

    std::vector<std::string> OutLines() const {
        std::vector<std::string> lines;
        std::istringstream in(out.str());
        for (std::string line; std::getline(in, line);) {
            lines.push_back(line);
        }
        return lines;
    }

    ScratchDir dir;
    std::ostringstream out;
    std::ostringstream err;
    std::vector<std::string> opened;
};

std::string Hex(const std::vector<std::uint8_t>& bytes) {
    static const char* digits = "0123456789ABCDEF";
    std::string text;
    for (std::uint8_t b : bytes) {
        text += digits[b >> 4];
        text += digits[b & 15];
        text += ' ';
    }
    return text;
}

TEST_F(Replay, PlaysPassingsFromEveryInputIntoTheLog) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = 7405584;  // runner 2, bib 202
    fields.timeMicros = 36'001'050'000;
    std::vector<std::uint8_t> escaped;
    decoder::AppendEscaped(decoder::BuildPassingRecord(fields), escaped);
    const std::string half1 = Hex({escaped.begin(), escaped.begin() + 5});
    const std::string half2 = Hex({escaped.begin() + 5, escaped.end()});

    // One record split over two serial receive events, the same record whole over TCP, and
    // an older decoder's line, which gives the fraction ".5" as five hundredths.
    std::string scenario = "open race.xlsx\nsport Lopen\nlaps 2\nphase record\n";
    scenario += "passing 7405583 10:0:0.00\n";
    scenario += "serial " + half1 + "\n";
    scenario += "serial " + half2 + "\n";
    scenario += "tcp " + Hex(escaped) + "\n";
    scenario += "decoder older\n";
    scenario += "serial-text #@\\t1\\t2\\t3\\t36002.5\\t5\\t6\\t7\\t7405583\\t\\r\\n\n";
    scenario += "passing nobody 10:0:3.00\n";
    EXPECT_TRUE(Run(scenario)) << err.str();
    EXPECT_EQ(err.str(), "");
    EXPECT_EQ(opened, (std::vector<std::string>{"/races/race.xlsx"}));
    const std::vector<std::string> want = {
        "7405583\t201 \t10:0:0.00\tStart",   "7405584\t202 \t10:0:1.05\tStart",
        "7405584\t202 \t10:0:1.05\tDoork 1", "7405583\t201 \t10:0:2.05\tDoork 1",
        "nobody\t \t10:0:3.00\tOnbekend",
    };
    EXPECT_EQ(OutLines(), want);
    std::string log;
    for (const std::string& line : want) {
        log += line + "\r\n";
    }
    EXPECT_EQ(ReadFile(dir.path() / "data" / "dovokop.log"), log);
    EXPECT_NE(ReadFile(dir.path() / "data" / "tivaro.log").find("36002.5"), std::string::npos);
}

TEST_F(Replay, FailuresAreReportedWithTheirLineAndTheRaceGoesOn) {
    EXPECT_FALSE(
        Run("sport Lopen\n"
            "open missing.xlsx\n"
            "passing 7405583 10:0:0.00\n"
            "open race.xlsx\n"
            "passing 7404583 10:0:1.00\n"));
    const std::string messages = err.str();
    EXPECT_NE(messages.find("race.txt:1: cannot select the sport Lopen"), std::string::npos)
        << messages;
    EXPECT_NE(messages.find("race.txt:2: cannot open the race workbook /races/missing.xlsx"),
              std::string::npos)
        << messages;
    EXPECT_EQ(OutLines(), (std::vector<std::string>{"7405583\t \t10:0:0.00\tOnbekend",
                                                    "7404583\t101 \t10:0:1.00\tOpwarmen"}));
}

}  // namespace
}  // namespace tivaro::testing
