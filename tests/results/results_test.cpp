// The results of a race: who is placed and how (equal totals, the unfinished, a heat among
// others), the CSV a Dutch spreadsheet opens, and the PDF as pdftotext reads it back (pages,
// the header on each, a heat without passings, a file that cannot be written).

#include <QGuiApplication>
#include <QProcess>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/support/race_book.h"

#include "results/results_files.h"
#include "timing/results.h"

namespace tivaro::results {
namespace {

using tivaro::testing::SheetRow;

using timing::RaceStandings;
using timing::Sport;

std::vector<std::string> Headings() {
    return SheetRow(
        {{1, "Rugnr."}, {2, "Transponder"}, {3, "Heat"}, {4, "Naam"}, {5, "Vereniging"}});
}

// A two-lap runner: start in F, "Doork 1" in G, the finish in K (running's finish column).
std::vector<std::string> Runner(const std::string& bib, const std::string& start,
                                const std::string& lap, const std::string& finish) {
    return SheetRow({{1, bib},
                     {2, "74" + bib},
                     {4, "Loper " + bib},
                     {5, "AV " + bib},
                     {6, start},
                     {7, lap},
                     {11, finish},
                     {20, finish.empty() ? "2" : "x"}});
}

std::vector<std::string> Bibs(const timing::RaceResults& results) {
    std::vector<std::string> bibs;
    for (const timing::ResultLine& line : results.lines) {
        bibs.push_back(line.bib + (line.place ? "=" + std::to_string(*line.place) : ""));
    }
    return bibs;
}

std::string PdfText(const std::filesystem::path& pdf) {
    QProcess process;
    process.start(
        QStringLiteral("pdftotext"),
        {QStringLiteral("-layout"), QString::fromStdString(pdf.string()), QStringLiteral("-")});
    if (!process.waitForFinished(30'000) || process.exitCode() != 0) {
        return "<pdftotext failed>";
    }
    return process.readAllStandardOutput().toStdString();
}

std::size_t Count(const std::string& text, const std::string& what) {
    std::size_t count = 0;
    for (std::size_t at = text.find(what); at != std::string::npos;
         at = text.find(what, at + what.size())) {
        ++count;
    }
    return count;
}

TEST(Results, EqualTotalsSharePlacesAndTheUnfinishedFollowWithoutOne) {
    RaceStandings standings;
    standings.load(Sport::Running, Headings(),
                   {Runner("201", "10:0:0.00", "10:1:0.00", "10:2:0.00"),       // 2:00
                    Runner("202", "10:0:0.00", "10:0:55.00", "10:1:50.00"),     // 1:50
                    Runner("203", "10:0:10.00", "10:1:0.00", "10:2:10.00"),     // 2:00
                    Runner("204", "10:0:20.00", "10:1:20.00", ""),              // one lap
                    Runner("205", "", "", ""),                                  // nothing
                    Runner("206", "kwijt", "10:1:0.00", "10:2:30.00"),          // no total
                    Runner("207", "10:0:30.00", "10:1:10.00", "10:2:05.00")});  // 1:35
    const timing::RaceResults results = timing::MakeResults(standings, 2, "", "Training");
    EXPECT_EQ(Bibs(results),
              (std::vector<std::string>{"207=1", "202=2", "201=3", "203=3", "206", "204", "205"}));
    EXPECT_EQ(results.lines[0].club, "AV 207");
    EXPECT_TRUE(results.hasClubs);
    // 206's first lap touches the cell that is no time; its second lap still counts.
    const timing::ResultLine& noTotal = results.lines[4];
    EXPECT_FALSE(noTotal.lapTimes[0]);
    EXPECT_EQ(noTotal.lapTimes[1], 90 * 100);
    EXPECT_EQ(noTotal.lapsDone, 2);
    EXPECT_EQ(results.fastestLap, 40 * 100);  // 207's first lap
    EXPECT_EQ(results.lines[0].bestLap, 40 * 100);
    EXPECT_EQ(results.lines[1].bestLap, 55 * 100);
    EXPECT_EQ(results.latestPassing, (10 * 3600 + 2 * 60 + 30) * 100);
}

TEST(Results, SkatingShowsTheHeatInForceOverTheSportsLaps) {
    RaceStandings standings;
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 6; ++i) {
        const std::string bib = std::to_string(101 + i);
        rows.push_back(SheetRow({{1, bib},
                                 {2, "74" + bib},
                                 {3, i % 2 == 0 ? "1" : "2"},
                                 {6, "7:0:" + std::to_string(i) + ".00"},
                                 {7, "7:0:4" + std::to_string(i) + ".00"}}));
    }
    standings.load(Sport::Skating, Headings(), rows);
    timing::RaceSetup setup{.sport = Sport::Skating, .heat = "2"};
    EXPECT_EQ(timing::RaceLaps(setup), 10);
    const timing::RaceResults heat2 = timing::MakeResults(standings, 10, " 2 ", "Heat 2");
    EXPECT_EQ(Bibs(heat2), (std::vector<std::string>{"102", "104", "106"}));
    EXPECT_EQ(heat2.lines[0].lapTimes.size(), 10u);
    EXPECT_EQ(timing::MakeResults(standings, 10, "", "Alle").lines.size(), 6u);
    // Running counts the laps chosen, within the sport's range.
    EXPECT_EQ(timing::RaceLaps({.sport = Sport::Running, .lapCount = 3}), 3);
    EXPECT_EQ(timing::RaceLaps({.sport = Sport::Cycling, .lapCount = 40}), 8);
    EXPECT_EQ(timing::RaceLaps({}), 0);
}

TEST(Results, CsvIsWhatADutchSpreadsheetOpensAsColumns) {
    RaceStandings standings;
    auto odd = Runner("208", "9:0:0.00", "9:30:0.00", "10:2:7.25");
    odd[3] = "Jan \"de Snelle\"; junior";
    standings.load(Sport::Running, Headings(), {odd, Runner("209", "9:0:0.00", "", "")});
    const std::string csv = timing::ResultsCsv(timing::MakeResults(standings, 2, "", "x"));
    EXPECT_EQ(csv,
              "\xEF\xBB\xBF"
              "Plaats;Rugnr.;Naam;Heat;Ronden;Ronde 1;Ronde 2;Totaal\r\n"
              "1;208;\"Jan \"\"de Snelle\"\"; junior\";;2;30:00.00;32:07.25;1:02:07.25\r\n"
              ";209;Loper 209;;0;;;\r\n");
}

class ResultsFiles : public ::testing::Test {
protected:
    std::filesystem::path file(const std::string& name) const {
        return std::filesystem::path(dir_.path().toStdString()) / name;
    }
    QTemporaryDir dir_;
};

TEST_F(ResultsFiles, ALongListBreaksOverPagesWithTheHeaderOnEach) {
    RaceStandings standings;
    std::vector<std::vector<std::string>> rows;
    for (int i = 0; i < 198; ++i) {
        const int second = i % 60;
        const std::string bib = std::to_string(1000 + i);
        rows.push_back(SheetRow({{1, bib},
                                 {2, "74" + bib},
                                 {4, "Fietser " + bib},
                                 {6, "8:0:0.00"},
                                 {7, "8:10:" + std::to_string(second) + ".00"},
                                 {8, "8:20:" + std::to_string(second) + ".00"},
                                 {14, "8:30:" + std::to_string(second) + ".00"},
                                 {20, "x"}}));
    }
    standings.load(Sport::Cycling, Headings(), rows);
    const timing::RaceResults results = timing::MakeResults(standings, 3, "", "Clubkampioenschap");
    ASSERT_TRUE(WriteResults(results, file("uitslag.PDF")).ok());
    const std::string text = PdfText(file("uitslag.PDF"));
    const std::size_t pages = Count(text, "\f") + (text.ends_with("\f") ? 0 : 1);
    ASSERT_GE(pages, 3u) << text.substr(0, 400);
    EXPECT_EQ(Count(text, "Rugnr."), pages);
    EXPECT_EQ(Count(text, "Clubkampioenschap"), 1u);
    EXPECT_NE(text.find("Pagina " + std::to_string(pages) + " van " + std::to_string(pages)),
              std::string::npos);
    EXPECT_EQ(Count(text, "Tivaro \u2014 "), pages);
    // Every competitor, in place order: the first four crossed the line together.
    std::size_t at = 0;
    for (const timing::ResultLine& line : results.lines) {
        at = text.find("Fietser " + line.bib, at);
        ASSERT_NE(at, std::string::npos) << line.bib;
    }
    EXPECT_EQ(results.lines[2].place, 1);
    EXPECT_EQ(results.lines[4].place, 5);
}

TEST_F(ResultsFiles, AHeatWithoutPassingsIsAListWithANote) {
    RaceStandings standings;
    standings.load(Sport::Skating, Headings(),
                   {SheetRow({{1, "101"}, {3, "1"}, {4, "Schaatser 101"}}),
                    SheetRow({{1, "102"}, {3, "1"}, {4, "Schaatser 102"}})});
    ASSERT_TRUE(
        WriteResults(timing::MakeResults(standings, 10, "1", "Heat 1"), file("h.pdf")).ok());
    const std::string text = PdfText(file("h.pdf"));
    EXPECT_NE(text.find("Nog geen passeringen in deze heat."), std::string::npos) << text;
    EXPECT_NE(text.find("Schaatser 102"), std::string::npos);
}

TEST_F(ResultsFiles, AFileThatCannotBeWrittenIsNamedWithItsReasonAndNothingIsLeft) {
    RaceStandings standings;
    standings.load(Sport::Running, Headings(), {Runner("201", "10:0:0.00", "", "")});
    const timing::RaceResults results = timing::MakeResults(standings, 2, "", "x");

    const std::filesystem::path missing = file("geen-map") / "uitslag.csv";
    const Status written = WriteResults(results, missing);
    ASSERT_FALSE(written.ok());
    EXPECT_NE(written.error().message.find(missing.string()), std::string::npos);

    const Status text = WriteResults(results, file("uitslag.txt"));
    ASSERT_FALSE(text.ok());
    EXPECT_NE(text.error().message.find(".pdf of .csv"), std::string::npos);
    EXPECT_FALSE(std::filesystem::exists(file("uitslag.txt")));

    // A results file there already is replaced whole.
    ASSERT_TRUE(WriteResults(results, file("uitslag.csv")).ok());
    std::ifstream in(file("uitslag.csv"), std::ios::binary);
    const std::string csv((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(csv, timing::ResultsCsv(results));
}

}  // namespace
}  // namespace tivaro::results

int main(int argc, char** argv) {
    // Painting a PDF needs fonts, so a GUI application; offscreen, it needs no screen.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
