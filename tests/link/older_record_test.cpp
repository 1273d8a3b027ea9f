#include <gtest/gtest.h>

#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "link/older_record.h"
#include "tests/link/receive_fixture.h"

namespace tivaro::link::testing {
namespace {

// Fields 0..9 of a passing line; field 3 and 8 carry the codes, 4 the time.
std::string Line(std::string_view field3, std::string_view time, std::string_view field8,
                 std::string_view end = "\r\n") {
    std::ostringstream line;
    line << "\x01@\t101\t17\t" << field3 << '\t' << time << "\t3\t80\t0\t" << field8 << end;
    return line.str();
}

std::optional<Passing> Parse(const std::string& line) {
    return ParseOlderPassingLine(line);
}

TEST(OlderPassingLine, HundredthsAreTheLastTwoDigitsOfTheFraction) {
    const std::pair<const char*, const char*> cases[] = {
        {"754.12", "0:12:34.12"},  {"754", "0:12:34.00"},       {"754.5", "0:12:34.05"},
        {"754.567", "0:12:34.67"}, {"61.01", "0:1:1.01"},       {"754.", "0:12:34.00"},
        {"0", "0:0:0.00"},         {"754.12.99", "0:12:34.12"},
    };
    for (const auto& [field4, passTime] : cases) {
        const auto passing = Parse(Line("1", field4, "x"));
        ASSERT_TRUE(passing) << field4;
        EXPECT_EQ(passing->time, passTime) << field4;
    }
}

TEST(OlderPassingLine, TimeWrapsAtADay) {
    EXPECT_EQ(Parse(Line("1", "86461.5", "x"))->time, "0:1:1.05");
    EXPECT_EQ(Parse(Line("1", "2147483647", "x"))->time, "3:14:7.00");
}

TEST(OlderPassingLine, MalformedSecondsOrTooFewFieldsAreRejected) {
    for (const char* field4 :
         {"", ".5", "abc", "12a", " 754", "-1", "2147483648", "99999999999", "00000000001"}) {
        EXPECT_FALSE(Parse(Line("1", field4, "x"))) << "'" << field4 << "'";
    }
    EXPECT_TRUE(Parse(Line("1", "0000000001", "x"))) << "ten digits are fine";
    EXPECT_FALSE(Parse("\x01@\t101\t17\t1\t754.12\t3\t80\t0\r\n")) << "eight fields";
}

TEST(OlderPassingLine, TranspondersFromFieldThreeOrEight) {
    EXPECT_EQ(Parse(Line("7404583", "1", "x12AB", "\t9\r\n"))->transponder, "7404583");
    EXPECT_EQ(Parse(Line("7404583", "1", "X12AB", "\t9\r\n"))->transponder, "X12AB")
        << "only a lower-case x points to field 3";
    EXPECT_EQ(Parse(Line(" 'KX-0''4126'  ", "1", "x"))->transponder, "KX-04126");
    EXPECT_EQ(Parse(Line("1", "1", " 55 ", "\t9\r\n"))->transponder, "55");
    EXPECT_EQ(Parse(Line("1", "1", "", "\t9\r\n"))->transponder, "");
    EXPECT_EQ(Parse(Line("1", "1", "ABC "))->transponder, "ABC")
        << "as the last field it loses its line end and the spaces before it";
    EXPECT_EQ(Parse(std::string("\x01@\t1\t2\t3\t754\t5\t6\t7\tAB\r"))->transponder, "AB")
        << "a TCP line ends in CR alone";
    EXPECT_EQ(Parse(Line("caf\xE9", "1", "x"))->transponder, "caf\u00E9");
}

TEST(OlderPassingLine, KindIsTheSecondCharacter) {
    EXPECT_TRUE(IsOlderPassingLine("\x01@\t"));
    EXPECT_TRUE(IsOlderPassingLine("x@"));
    EXPECT_FALSE(IsOlderPassingLine("@\x01\t"));
    EXPECT_FALSE(IsOlderPassingLine("\x01#\t101"));
    EXPECT_FALSE(IsOlderPassingLine("@"));
    EXPECT_FALSE(IsOlderPassingLine(""));
}

class RawLog : public ::testing::Test {
protected:
    RawLog() {
        dir = std::filesystem::temp_directory_path() /
              ("tivaro-rawlog-" + std::to_string(::getpid()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir);
        std::filesystem::create_directories(dir);
    }
    ~RawLog() override { std::filesystem::remove_all(dir); }

    // A receive path of older decoders on `link` that logs into `log`.
    ReceivePath& Path(LinkKind link, std::filesystem::path log) {
        path = std::make_unique<ReceivePath>(link, recorder, nullptr, std::move(log));
        path->setGeneration(DecoderGeneration::Older);
        return *path;
    }

    std::string LogText() const {
        std::ifstream in(dir / "tivaro.log", std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }

    std::filesystem::path dir;
    Recorder recorder;
    std::unique_ptr<ReceivePath> path;
};

TEST_F(RawLog, SerialEntryIsTheLineWithItsCrLfThenCrLf) {
    const std::string line = Line("1", "754.12", "x");
    Path(LinkKind::Serial, dir / "tivaro.log").receive(AsBytes(line));
    EXPECT_EQ(LogText(), line + "\r\n");
    EXPECT_EQ(recorder.passings.size(), 1u);
}

TEST_F(RawLog, TcpEntryIsTheLineWithItsCrThenCrLf) {
    const std::string line = Line("1", "754.12", "x");
    Path(LinkKind::Tcp, dir / "tivaro.log").receive(AsBytes(line));
    EXPECT_EQ(LogText(), line.substr(0, line.size() - 1) + "\r\n");
}

TEST_F(RawLog, OnlyPassingLinesAreLoggedEvenUnusableOnes) {
    ReceivePath& serial = Path(LinkKind::Serial, dir / "tivaro.log");
    serial.receive(AsBytes("\x01#\tstatus\r\n@\x01\tx\r\n"));
    EXPECT_FALSE(std::filesystem::exists(dir / "tivaro.log"));
    const std::string bad = Line("1", "soon", "x");
    serial.receive(AsBytes(bad));
    EXPECT_EQ(LogText(), bad + "\r\n");
    EXPECT_TRUE(recorder.passings.empty());
}

TEST_F(RawLog, UnwritableLogIsReportedAndThePassingStillHandedOn) {
    const std::filesystem::path missing = dir / "missing" / "tivaro.log";
    Path(LinkKind::Serial, missing).receive(AsBytes(Line("1", "754.12", "x")));
    ASSERT_EQ(recorder.problems.size(), 1u);
    EXPECT_NE(recorder.problems[0].find(missing.string()), std::string::npos)
        << recorder.problems[0];
    EXPECT_EQ(recorder.passings.size(), 1u);

    Path(LinkKind::Serial, "/dev/full").handleOlderLine(Line("1", "754.12", "x"));
    ASSERT_EQ(recorder.problems.size(), 2u);
    EXPECT_NE(recorder.problems[1].find("schijf vol"), std::string::npos) << recorder.problems[1];
    EXPECT_EQ(recorder.passings.size(), 2u);
}

}  // namespace
}  // namespace tivaro::link::testing
