#include <gtest/gtest.h>

#include <map>
#include <set>

#include "decoder/escape.h"
#include "decoder/passing_time.h"
#include "decoder/record.h"
#include "decoder/record_writer.h"
#include "link/older_record.h"
#include "tools/tivaro-sim/decoder_stream.h"
#include "tools/tivaro-sim/race_plan.h"
#include "tools/tivaro-sim/sim_options.h"

namespace tivaro::sim {
namespace {

using Bytes = std::vector<std::uint8_t>;

RaceOptions SmallRace(std::uint32_t seed = 3) {
    RaceOptions race;
    race.transponders = DemoTransponders(1, 8);
    race.laps = 4;
    race.warmupLaps = 2;
    race.cooldownLaps = 1;
    race.unknownTransponders = 3;
    race.seed = seed;
    return race;
}

TEST(PlanRace, EveryCompetitorWarmsUpStartsLapsFinishesAndCoolsDown) {
    const RaceOptions options = SmallRace();
    const auto race = PlanRace(options);
    std::map<std::string, std::vector<std::uint64_t>> byCode;
    for (const SimPassing& p : race) {
        byCode[p.transponder].push_back(p.micros);
        EXPECT_EQ(p.micros % 10'000, 0u) << "whole hundredths";
    }
    EXPECT_TRUE(std::is_sorted(race.begin(), race.end(),
                               [](const auto& a, const auto& b) { return a.micros < b.micros; }));
    std::vector<std::uint64_t> starts;
    for (const std::string& code : options.transponders) {
        ASSERT_EQ(byCode[code].size(), 2u + 1u + 4u + 1u) << code;
        starts.push_back(byCode[code][2]);
    }
    EXPECT_EQ(byCode.size(), options.transponders.size() + 3) << "three unknown transponders";
    const auto [first, last] = std::minmax_element(starts.begin(), starts.end());
    EXPECT_LT(*last - *first, 5'000'000u) << "a mass start";
}

TEST(PlanRace, SameSeedSameRace) {
    const auto a = PlanRace(SmallRace(3));
    const auto b = PlanRace(SmallRace(3));
    const auto c = PlanRace(SmallRace(4));
    ASSERT_EQ(a.size(), b.size());
    bool differs = false;
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_EQ(a[k].transponder, b[k].transponder);
        EXPECT_EQ(a[k].micros, b[k].micros);
        differs = differs || a[k].micros != c[k].micros;
    }
    EXPECT_TRUE(differs);
}

TEST(DemoTransponders, MatchTheDemoWorkbook) {
    const auto skating = DemoTransponders(0);
    ASSERT_EQ(skating.size(), 20u);
    EXPECT_EQ(skating[0], "7404583");
    EXPECT_EQ(skating[3], "KX-04126");
    EXPECT_EQ(DemoTransponders(1)[3], "KX-05126");
    EXPECT_EQ(DemoTransponders(2)[19], "KX-06142");
}

// Cuts a binary stream into its records, checks each record's length and CRC, and returns the
// passings and the number of records whose CRC does not match.
struct Parsed {
    std::vector<std::pair<std::string, std::uint64_t>> passings;
    int statusRecords = 0;
    int badCrc = 0;
};

Parsed ParseStream(const Bytes& stream) {
    Parsed parsed;
    std::size_t begin = 0;
    while ((begin = std::find(stream.begin() + begin, stream.end(), decoder::kStartByte) -
                    stream.begin()) < stream.size()) {
        const auto end = std::find(stream.begin() + begin, stream.end(), decoder::kEndByte);
        EXPECT_NE(end, stream.end());
        Bytes record;
        EXPECT_TRUE(decoder::UnescapeRecord(
            std::span(stream).subspan(begin, end - stream.begin() - begin + 1), record));
        record[0] = decoder::kStartByte;
        EXPECT_EQ(record[2] | (record[3] << 8), static_cast<int>(record.size()));
        const int stored = record[4] | (record[5] << 8);
        record[4] = record[5] = 0;
        parsed.badCrc += decoder::Crc16(record) != stored;
        record[0] = 0;
        decoder::DecodedRecord decoded;
        decoder::DecodeRecord(record, decoded);
        if (decoded.status == decoder::RecordStatus::Passing) {
            parsed.passings.emplace_back(decoded.transponder, decoded.passingTimeMicros);
        } else if (decoded.status == decoder::RecordStatus::OtherType) {
            ++parsed.statusRecords;
        }
        begin = end - stream.begin() + 1;
    }
    return parsed;
}

TEST(DecoderStream, BinaryRecordsCarryThePlannedPassingsWithValidCrc) {
    const auto race = PlanRace(SmallRace());
    DecoderStream stream({});
    Bytes bytes;
    for (const SimPassing& p : race) {
        stream.Append(p, bytes);
    }
    const Parsed parsed = ParseStream(bytes);
    EXPECT_EQ(parsed.badCrc, 0);
    EXPECT_EQ(parsed.statusRecords, static_cast<int>(race.size() / 5));
    ASSERT_EQ(parsed.passings.size(), race.size());
    for (std::size_t k = 0; k < race.size(); ++k) {
        EXPECT_EQ(parsed.passings[k].first, race[k].transponder);
        EXPECT_EQ(parsed.passings[k].second, race[k].micros);
    }
}

TEST(DecoderStream, CorruptedRecordsFailTheirCrcAndNoiseHoldsNoFrameBytes) {
    const auto race = PlanRace(SmallRace());
    StreamOptions options;
    options.corruptEvery = 7;
    options.garbageEvery = 3;
    options.statusEvery = 0;
    DecoderStream stream(options);
    Bytes bytes;
    for (const SimPassing& p : race) {
        stream.Append(p, bytes);
    }
    const Parsed parsed = ParseStream(bytes);
    EXPECT_EQ(parsed.badCrc, static_cast<int>(race.size() / 7));
    EXPECT_EQ(parsed.statusRecords, 0);
}

TEST(DecoderStream, OlderLinesCarryThePlannedPassings) {
    const auto race = PlanRace(SmallRace());
    StreamOptions options;
    options.format = WireFormat::Older;
    options.garbageEvery = 4;
    DecoderStream stream(options);
    Bytes bytes;
    for (const SimPassing& p : race) {
        stream.Append(p, bytes);
    }
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> passingLines;
    std::size_t begin = 0;
    for (std::size_t lf; (lf = text.find('\n', begin)) != std::string::npos; begin = lf + 1) {
        const std::string line = text.substr(begin, lf + 1 - begin);
        ASSERT_TRUE(line.ends_with("\r\n"));
        if (link::IsOlderPassingLine(line)) {
            passingLines.push_back(line);
        }
    }
    ASSERT_EQ(passingLines.size(), race.size());
    for (std::size_t k = 0; k < race.size(); ++k) {
        const auto passing = link::ParseOlderPassingLine(passingLines[k]);
        ASSERT_TRUE(passing) << passingLines[k];
        EXPECT_EQ(passing->transponder, race[k].transponder);
        EXPECT_EQ(passing->time, decoder::FormatPassingTime(race[k].micros));
    }
}

TEST(OlderLine, CarriesTheCheckFieldOfARealDecoder) {
    // A status line as a real decoder sent it.
    EXPECT_EQ(decoder::OlderLineWithCheck("\x01#\t20\t0\t72\t0"), "\x01#\t20\t0\t72\t0\tx6B89\r\n");
    const std::string line = decoder::OlderLineWithCheck("\x01@\t3\t9\t7405583\t754.12\t1\t2\t0");
    ASSERT_TRUE(decoder::OlderLineCheck(line));
    EXPECT_TRUE(decoder::OlderLineCheck(line)->matches());
}

TEST(ParseSimOptions, ReadsEveryOptionAndNamesTheBadOne) {
    const auto options =
        ParseSimOptions({"--tcp", "0.0.0.0:6000", "--laps", "5", "--speed", "x10", "--format",
                         "older", "--burst", "4", "--transponders", "A,B,,C", "--seed", "9"});
    ASSERT_TRUE(options) << options.error().message;
    EXPECT_EQ(options->host, "0.0.0.0");
    EXPECT_EQ(options->port, 6000);
    EXPECT_EQ(options->race.laps, 5);
    EXPECT_EQ(options->speed, 10.0);
    EXPECT_EQ(options->stream.format, WireFormat::Older);
    EXPECT_EQ(options->burst, 4);
    EXPECT_EQ(options->transponders, (std::vector<std::string>{"A", "B", "C"}));
    EXPECT_EQ(options->race.seed, 9u);
    EXPECT_EQ(options->stream.seed, 9u);

    for (const std::vector<std::string>& bad : {std::vector<std::string>{"--laps", "0"},
                                                {"--speed", "fast"},
                                                {"--tcp", "host:x"},
                                                {"--format", "json"},
                                                {"--frobnicate"},
                                                {"--laps"},
                                                {"--demo-sheet", "3"}}) {
        const auto parsed = ParseSimOptions(bad);
        ASSERT_FALSE(parsed) << bad[0];
        EXPECT_NE(parsed.error().message.find(bad[0]), std::string::npos) << parsed.error().message;
    }
}

}  // namespace
}  // namespace tivaro::sim
