// The race journal's lines: what each action line becomes, the reasons given for a malformed
// line, the version line, and that every action formats to a line that reads back as itself.

#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "timing/journal_action.h"

namespace tivaro::timing {
namespace {

std::vector<JournalAction> Parse(std::string_view text) {
    const ParsedJournal journal = ParseJournal(text);
    EXPECT_TRUE(journal.damaged.empty()) << journal.damaged.front().message;
    return journal.actions;
}

std::string Reason(std::string_view text) {
    const ParsedJournal journal = ParseJournal(text);
    EXPECT_EQ(journal.damaged.size(), 1u) << "accepted: " << text;
    return journal.damaged.empty() ? std::string() : journal.damaged.front().message;
}

TEST(JournalLines, ReadEveryActionWithItsLineNumber) {
    const std::vector<JournalAction> actions = Parse(
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
    EXPECT_EQ(actions[4].phase, Phase::StartPulse);
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

TEST(JournalLines, ReadTheCorrections) {
    const std::vector<JournalAction> actions = Parse(
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

// Every kind of action, with texts and bytes that need escaping.
std::vector<JournalAction> EveryKindOfAction(std::mt19937& random) {
    std::vector<std::uint8_t> bytes(1 + random() % 80);
    for (std::uint8_t& byte : bytes) {
        byte = static_cast<std::uint8_t>(random());
    }
    std::vector<std::uint8_t> text(1 + random() % 80);
    for (std::uint8_t& byte : text) {
        byte = random() % 8 != 0 ? static_cast<std::uint8_t>(0x20 + random() % 0x5F)
                                 : static_cast<std::uint8_t>(random());
    }
    return {
        {.kind = ActionKind::Open, .text = "../races/heat 2 (reserve).xlsx"},
        {.kind = ActionKind::Sport, .text = "Lopen"},
        {.kind = ActionKind::Sport, .text = ""},
        {.kind = ActionKind::Heat, .text = "Heat 3"},
        {.kind = ActionKind::Laps, .number = static_cast<int>(1 + random() % 1000)},
        {.kind = ActionKind::Phase, .phase = Phase::Warmup},
        {.kind = ActionKind::Phase, .phase = Phase::StartPulse},
        {.kind = ActionKind::Phase, .phase = Phase::StartPulse, .pulseGiven = true},
        {.kind = ActionKind::Phase, .phase = Phase::Recording},
        {.kind = ActionKind::Decoder, .generation = link::DecoderGeneration::Older},
        {.kind = ActionKind::Decoder, .generation = link::DecoderGeneration::Binary},
        {.kind = ActionKind::Serial, .bytes = bytes},
        {.kind = ActionKind::Tcp, .bytes = bytes},
        {.kind = ActionKind::Serial, .bytes = text, .asText = true},
        {.kind = ActionKind::Tcp, .bytes = bytes, .asText = true},
        {.kind = ActionKind::Passing, .text = "KX-04126", .time = "10:0:1.05"},
        {.kind = ActionKind::Manual, .text = "201", .time = "23:59:59.99"},
        {.kind = ActionKind::Undo, .text = "201"},
        {.kind = ActionKind::MinimumLap, .number = static_cast<int>(random() % 360001)},
        {.kind = ActionKind::Reconnect, .link = link::LinkKind::Serial},
        {.kind = ActionKind::Reconnect},
        {.kind = ActionKind::FillIn, .yes = true},
        {.kind = ActionKind::FillIn},
        {.kind = ActionKind::Restore,
         .text = "Lopen",
         .number = 3,
         .phase = Phase::StartPulse,
         .pulseGiven = true,
         .heat = "",
         .minimumLap = 250},
        {.kind = ActionKind::Restore,
         .text = "Schaatsen",
         .number = 1,
         .phase = Phase::None,
         .heat = "Heat 2"},
        {.kind = ActionKind::End},
    };
}

TEST(JournalLines, EveryActionReadsBackAsItself) {
    std::mt19937 random(7);
    for (int round = 0; round < 300; ++round) {
        for (const JournalAction& action : EveryKindOfAction(random)) {
            const std::string line = FormatAction(action);
            ASSERT_EQ(line.find_first_of("\r\n"), std::string::npos) << line;
            std::vector<JournalAction> read = Parse(line + "\r\n");
            ASSERT_EQ(read.size(), 1u) << line;
            read[0].line = 0;
            EXPECT_EQ(read[0], action) << line;
        }
    }
}

TEST(JournalLines, DecoderBytesAreTextOnlyWhenAnOlderDecoderSentMostlyText) {
    const std::vector<std::uint8_t> line = {0x01, '@', '\t', '7', '\r', '\n'};
    EXPECT_EQ(FormatAction(BytesAction(link::LinkKind::Tcp, link::DecoderGeneration::Older, line)),
              "tcp-text \\x01@\\t7\\r\\n");
    EXPECT_EQ(
        FormatAction(BytesAction(link::LinkKind::Serial, link::DecoderGeneration::Binary, line)),
        "serial 01 40 09 37 0D 0A");
    const std::vector<std::uint8_t> record = {0x8E, 0x02, 0x8F, 0x01};
    EXPECT_FALSE(BytesAction(link::LinkKind::Tcp, link::DecoderGeneration::Older, record).asText);
}

TEST(JournalLines, TheVersionLineIsReadAndAJournalWithoutOneIsOfVersionOne) {
    EXPECT_EQ(ParseJournal(JournalVersionLine() + "\r\nsport Lopen\r\n").version, kJournalVersion);
    const ParsedJournal old = ParseJournal("# Tivaro race journal\r\nopen race.xlsx\r\n");
    EXPECT_EQ(old.version, 1);
    EXPECT_EQ(old.actions.size(), 1u);
}

TEST(JournalLines, ADamagedLineIsNamedAndTheRestIsRead) {
    // Half a line written when the disk ran full, glued to the next one.
    const ParsedJournal journal =
        ParseJournal("sport Lopen\r\ntcp 8E 02 1#\r\nphase record\r\nmanual 12 10:05:00\r\n");
    ASSERT_EQ(journal.damaged.size(), 1u);
    EXPECT_NE(journal.damaged[0].message.find("regel 2: '1#' is geen hexadecimale byte"),
              std::string::npos)
        << journal.damaged[0].message;
    ASSERT_EQ(journal.actions.size(), 3u);
    EXPECT_EQ(journal.actions[2].line, 4);
}

TEST(JournalLines, MalformedLinesNameTheirLineAndReason) {
    const struct {
        const char* text;
        const char* reason;
    } cases[] = {
        {"sport Lopen\nlap 3\n", "regel 2: onbekende actie 'lap'"},
        {"laps three", "regel 1: laps heeft één heel getal nodig, niet 'three'"},
        {"laps 0", "regel 1: laps moet tussen 1 en 1000 liggen, niet 0"},
        {"laps 3 4", "regel 1: laps heeft één heel getal nodig"},
        {"laps -2", "regel 1: laps heeft één heel getal nodig"},
        {"phase start",
         "regel 1: phase heeft warmup, pulse, pulse-given of record nodig, niet 'start'"},
        {"phase", "regel 1: phase heeft warmup"},
        {"decoder new", "regel 1: decoder heeft binary of older nodig, niet 'new'"},
        {"serial 8E 0", "regel 1: los hexadecimaal cijfer '0'"},
        {"serial 8G", "regel 1: '8G' is geen hexadecimale byte"},
        {"tcp", "regel 1: er staan geen bytes"},
        {"serial-text a\\qb", "regel 1: onbekende escape '\\q'"},
        {"tcp-text ab\\", "regel 1: een losse '\\' aan het eind"},
        {"tcp-text a\\x4", "regel 1: na '\\x' moeten twee hexadecimale cijfers staan"},
        {"serial-text", "regel 1: er staan geen tekens"},
        {"passing 123", "regel 1: passing heeft een transpondercode en een tijd nodig, er staan 1"},
        {"open   ", "regel 1: open heeft het pad van een werkboek nodig"},
        {"manual 201", "regel 1: manual heeft een rugnummer en een tijd nodig, er staan 1"},
        {"undo 1 2", "regel 1: undo heeft één rugnummer nodig, er staan 2"},
        {"min-lap", "regel 1: min-lap heeft seconden"},
        {"min-lap 2.", "niet '2.'"},
        {"min-lap .5", "niet '.5'"},
        {"min-lap 2.345", "niet '2.345'"},
        {"min-lap -1", "niet '-1'"},
        {"min-lap 3600.01", "van 0 tot 3600"},
        {"reconnect both", "regel 1: reconnect neemt serial, tcp of niets, niet 'both'"},
        {"\n\n# fine\nOpen x.xlsx", "regel 4: onbekende actie 'Open'"},
    };
    for (const auto& c : cases) {
        const std::string reason = Reason(c.text);
        EXPECT_NE(reason.find(c.reason), std::string::npos)
            << "scenario '" << c.text << "' gave: " << reason;
    }
}

}  // namespace
}  // namespace tivaro::timing
