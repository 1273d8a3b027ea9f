// The replay scenario reader: what each action line becomes, and the reasons it gives for a
// malformed line.

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "timing/journal_lines.h"
#include "tools/tivaro-replay/scenario.h"

namespace tivaro::replay {
namespace {

std::vector<Action> Parse(std::string_view text) {
    Result<std::vector<Action>> actions = ParseScenario(text);
    EXPECT_TRUE(actions) << actions.error().message;
    return actions ? *actions : std::vector<Action>{};
}

std::string Reason(std::string_view text) {
    Result<std::vector<Action>> actions = ParseScenario(text);
    EXPECT_FALSE(actions) << "accepted: " << text;
    return actions ? std::string() : actions.error().message;
}

TEST(Scenario, ReadsEveryActionWithItsLineNumber) {
    const std::vector<Action> actions = Parse(
        "# a race\n"
        "\n"
        "open ../examples/demo race.xlsx  \r\n"
        "sport Lopen\n"
        "   heat Heat 2\n"
        "laps 3\n"
        "phase pulse\n"
        "decoder older\n"
        "serial 8e 02 1F8F\n"
        "tcp-text @\\t1\\\\2\\r\\n\n"
        "passing KX-04126   10:0:1.05\n"
        "sport\n"
        "\t# indented comment\n");
    ASSERT_EQ(actions.size(), 10u);
    EXPECT_EQ(actions[0].kind, ActionKind::Open);
    EXPECT_EQ(actions[0].text, "../examples/demo race.xlsx");
    EXPECT_EQ(actions[0].line, 3);
    EXPECT_EQ(actions[1].text, "Lopen");
    EXPECT_EQ(actions[2].kind, ActionKind::Heat);
    EXPECT_EQ(actions[2].text, "Heat 2");
    EXPECT_EQ(actions[3].number, 3);
    EXPECT_EQ(actions[4].phase, timing::Phase::StartPulse);
    EXPECT_EQ(actions[5].generation, link::DecoderGeneration::Older);
    EXPECT_EQ(actions[6].kind, ActionKind::Serial);
    EXPECT_EQ(actions[6].bytes, (std::vector<std::uint8_t>{0x8E, 0x02, 0x1F, 0x8F}));
    EXPECT_EQ(actions[7].kind, ActionKind::Tcp);
    const std::string text(actions[7].bytes.begin(), actions[7].bytes.end());
    EXPECT_EQ(text, "@\t1\\2\r\n");
    EXPECT_EQ(actions[8].text, "KX-04126");
    EXPECT_EQ(actions[8].time, "10:0:1.05");
    EXPECT_EQ(actions[8].line, 11);
    EXPECT_EQ(actions.back().line, 12);
    EXPECT_EQ(actions.back().text, "");
    EXPECT_EQ(Parse("sport\nsport \n")[1].text, "");
    EXPECT_EQ(Parse("sport Lopen \n")[0].text, "Lopen ");  // the box shows it as it is
}

TEST(Scenario, ReadsTheCorrections) {
    const std::vector<Action> actions = Parse(
        "manual 12 10:05:00\n"
        "undo 12\n"
        "min-lap 2.5\n"
        "min-lap 0.05\n"
        "min-lap 3600\n"
        "reconnect tcp\n"
        "reconnect\n");
    ASSERT_EQ(actions.size(), 7u);
    EXPECT_EQ(actions[0].kind, ActionKind::Manual);
    EXPECT_EQ(actions[0].text, "12");
    EXPECT_EQ(actions[0].time, "10:05:00");
    EXPECT_EQ(actions[1].kind, ActionKind::Undo);
    EXPECT_EQ(actions[1].text, "12");
    EXPECT_EQ(actions[2].number, 250);
    EXPECT_EQ(actions[3].number, 5);
    EXPECT_EQ(actions[4].number, 360000);
    EXPECT_EQ(actions[5].link, link::LinkKind::Tcp);
    EXPECT_FALSE(actions[6].link);
}

TEST(Scenario, JournalLinesOfAnyBytesReadBackAsTheSameBytes) {
    std::mt19937 random(7);
    for (int round = 0; round < 2000; ++round) {
        std::vector<std::uint8_t> bytes(1 + random() % 80);
        // Mostly text, as an older decoder sends, or anything at all.
        const bool text = round % 2 == 0;
        for (std::uint8_t& byte : bytes) {
            byte = text && random() % 8 != 0 ? static_cast<std::uint8_t>(0x20 + random() % 0x5F)
                                             : static_cast<std::uint8_t>(random());
        }
        const auto generation =
            round % 3 == 0 ? link::DecoderGeneration::Binary : link::DecoderGeneration::Older;
        const auto onLink = round % 5 == 0 ? link::LinkKind::Serial : link::LinkKind::Tcp;
        const std::string line = timing::JournalBytesLine(onLink, generation, bytes);
        ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
        const std::vector<Action> actions = Parse(line + "\r\n");
        ASSERT_EQ(actions.size(), 1u) << line;
        EXPECT_EQ(actions[0].kind,
                  onLink == link::LinkKind::Serial ? ActionKind::Serial : ActionKind::Tcp);
        EXPECT_EQ(actions[0].bytes, bytes) << line;
    }
    EXPECT_EQ(timing::JournalBytesLine(link::LinkKind::Tcp, link::DecoderGeneration::Older,
                                       std::vector<std::uint8_t>{0x01, '@', '\t', '7', '\r', '\n'}),
              "tcp-text \\x01@\\t7\\r\\n");
}

TEST(Scenario, MalformedLinesNameTheirLineAndReason) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"sport Lopen\nlap 3\n", "line 2: unknown action 'lap'"},
        {"laps three", "line 1: laps needs one whole number, not 'three'"},
        {"laps 0", "line 1: laps must lie between 1 and 1000, not 0"},
        {"laps 3 4", "line 1: laps needs one whole number"},
        {"laps -2", "line 1: laps needs one whole number"},
        {"phase start", "line 1: phase needs warmup, pulse or record, not 'start'"},
        {"phase", "line 1: phase needs warmup, pulse or record"},
        {"decoder new", "line 1: decoder needs binary or older, not 'new'"},
        {"serial 8E 0", "line 1: odd hex digit '0'"},
        {"tcp 8E 2", "line 1: odd hex digit '2'"},
        {"serial 8G", "line 1: '8G' is not a hex byte"},
        {"tcp", "line 1: no bytes given"},
        {"serial-text a\\qb", "line 1: unknown escape '\\q'"},
        {"tcp-text ab\\", "line 1: a lone '\\' at the end"},
        {"tcp-text a\\x4", "line 1: '\\x' needs two hex digits"},
        {"tcp-text a\\xG1", "line 1: '\\x' needs two hex digits"},
        {"serial-text", "line 1: no characters given"},
        {"passing 123", "line 1: passing needs a transponder code and a time, found 1 words"},
        {"passing 1 2 3", "found 3 words"},
        {"open   ", "line 1: open needs the path"},
        {"manual 201", "line 1: manual needs a bib and a time, found 1 words"},
        {"undo", "line 1: undo needs one bib, found 0 words"},
        {"undo 1 2", "found 2 words"},
        {"min-lap", "line 1: min-lap needs seconds"},
        {"min-lap 2.", "not '2.'"},
        {"min-lap .5", "not '.5'"},
        {"min-lap 2.345", "not '2.345'"},
        {"min-lap -1", "not '-1'"},
        {"min-lap 3600.01", "from 0 to 3600"},
        {"reconnect both", "line 1: reconnect takes serial, tcp or nothing, not 'both'"},
        {"\n\n# fine\nOpen x.xlsx", "line 4: unknown action 'Open'"},
    };
    for (const auto& c : cases) {
        const std::string reason = Reason(c.text);
        EXPECT_NE(reason.find(c.reason), std::string::npos)
            << "scenario '" << c.text << "' gave: " << reason;
    }
}

}  // namespace
}  // namespace tivaro::replay
