// Round trips through files another program wrote: openpyxl makes the race workbook (styles,
// formulas, merged cells, a comment, a data validation, a defined name, extra sheets, numeric
// and text transponders), the engine handles a few passings and saves, and then openpyxl and
// LibreOffice read the result back.

#include <gtest/gtest.h>

#include <sstream>

#include "demo_workbook.h"
#include "support.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

constexpr std::uint32_t kYellow = 65535;
constexpr std::uint32_t kOrange = 33023;

class RoundTripTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        fixtures_ = new ScratchDir();
        RunOpenpyxl({"fixture", (*fixtures_ / "race.xlsx").string()});
    }
    static void TearDownTestSuite() {
        delete fixtures_;
        fixtures_ = nullptr;
    }
    void SetUp() override {
        ASSERT_TRUE(std::filesystem::exists(*fixtures_ / "race.xlsx")) << "no fixture";
    }

    // A copy of the openpyxl workbook under `name`.
    std::filesystem::path copyFixture(const std::string& name) {
        const std::filesystem::path file = dir_ / name;
        std::filesystem::copy_file(*fixtures_ / "race.xlsx", file);
        return file;
    }

    // The passings of the scenario on sheet "schaats": lookups by text, by number and
    // case-insensitively, times and counters written, bib cells coloured, a formula cell
    // overwritten and a block filled below the competitors.
    void handlePassings(Workbook& book) {
        const SheetId schaats = SheetNamed(book, "schaats");
        EXPECT_EQ(*book.find(schaats, "B3:B200", "7404583"), 1);
        EXPECT_EQ(*book.find(schaats, "B3:B200", "kx-04124"), 2);
        EXPECT_EQ(*book.find(schaats, "B3:B200", "KX-00999"), 3);
        EXPECT_EQ(*book.find(schaats, "B3:B200", "7404586"), 4);  // also in row 9
        EXPECT_EQ(*book.find(schaats, "B3:B200", "7404587"), 5);  // typed as text
        EXPECT_EQ(*book.find(schaats, "B3:B200", "12.5"), 6);
        EXPECT_EQ(book.find(schaats, "B3:B200", "7404599").error().code, Errc::NotFound);
        EXPECT_EQ(*book.readCell(schaats, 4, 1), "102");
        EXPECT_EQ(*book.readCell(schaats, 4, 3), "2");
        EXPECT_EQ(*book.readCell(schaats, 4, 20), "10");
        EXPECT_EQ(*book.readCell(schaats, 3, 20), "3");
        EXPECT_EQ(*book.readCell(schaats, 3, 21), "stale");

        ASSERT_TRUE(book.writeCell(schaats, 4, 7, "1:2:3.05").ok());
        ASSERT_TRUE(book.writeCell(schaats, 4, 20, "1").ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 7, "0:11:00.50").ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 22, "x").ok());  // was =SUM(A3:A9)
        ASSERT_TRUE(book.writeRange(schaats, "T10:T12", "x").ok());
        ASSERT_TRUE(book.colourCell(schaats, 3, 1, kOrange).ok());
        ASSERT_TRUE(book.colourCell(schaats, 4, 1, kYellow).ok());
        ASSERT_TRUE(book.colourCell(schaats, 5, 1, kYellow).ok());
        auto saved = book.save();
        ASSERT_TRUE(saved.ok()) << saved.error().message;
    }

    static ScratchDir* fixtures_;
    ScratchDir dir_;
    XlsxApp app_{dir_ / "backup"};
};

ScratchDir* RoundTripTest::fixtures_ = nullptr;

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        if (!line.empty()) {
            lines.push_back(line);
        }
    }
    return lines;
}

TEST_F(RoundTripTest, OpenpyxlSeesTheWritesAndFillsAndNothingElseChanged) {
    const auto before = copyFixture("before.xlsx");
    const auto file = copyFixture("race.xlsx");
    {
        auto book = OpenOrFail(app_, file);
        ASSERT_NE(book, nullptr);
        EXPECT_EQ(book->sheetNames(),
                  (std::vector<std::string>{"info", "schaats", "loop", "fiets", "uitslag"}));
        EXPECT_EQ(*book->sheetName(*book->activeSheet()), "loop");
        EXPECT_EQ(*book->readCell(SheetNamed(*book, "uitslag"), 1, 2), "3.25");
        EXPECT_EQ(*book->readCell(SheetNamed(*book, "uitslag"), 1, 3), "TRUE");
        handlePassings(*book);
        ASSERT_FALSE(HasFatalFailure());
    }
    const std::string orange = R"(fill=["solid",{"tint":0.0,"type":"rgb","value":"FFFF8000"}])";
    const std::string yellow = R"(fill=["solid",{"tint":0.0,"type":"rgb","value":"FFFFFF00"}])";
    // Every difference openpyxl finds, cell field by cell field; the bib cells keep their
    // italic blue font, thin border and "000" number format, as no such line shows.
    const std::vector<std::string> expected = {
        "schaats!A3 " + orange,
        "schaats!A4 " + yellow,
        "schaats!A5 " + yellow,
        R"(schaats!G3 new value="0:11:00.50" type="s")",
        R"(schaats!G4 new value="1:2:3.05" type="s")",
        R"(schaats!T10 new value="x" type="s")",
        R"(schaats!T11 new value="x" type="s")",
        R"(schaats!T12 new value="x" type="s")",
        R"(schaats!T4 type="s")",
        R"(schaats!T4 value="1")",
        R"(schaats!V3 type="s")",
        R"(schaats!V3 value="x")",
    };
    EXPECT_EQ(Lines(RunOpenpyxl({"compare", before.string(), file.string()})), expected);
}

TEST_F(RoundTripTest, LibreOfficeReadsWhatTheEngineWroteAndRecalculates) {
    const auto before = copyFixture("before.xlsx");
    const auto file = copyFixture("after.xlsx");
    {
        auto book = OpenOrFail(app_, file);
        ASSERT_NE(book, nullptr);
        handlePassings(*book);
        ASSERT_FALSE(HasFatalFailure());
    }
    // The demo workbook's own formulas: lap 1 and the total of a finished skater.
    const std::filesystem::path demo = dir_ / "demo.xlsx";
    {
        auto bytes = demo::DemoWorkbookBytes();
        ASSERT_TRUE(bytes.ok());
        WriteFile(demo, *bytes);
        auto book = OpenOrFail(app_, demo);
        ASSERT_NE(book, nullptr);
        const SheetId schaats{0};
        ASSERT_TRUE(book->writeCell(schaats, 3, 6, "0:10:00.00").ok());
        ASSERT_TRUE(book->writeCell(schaats, 3, 7, "0:10:35.50").ok());
        ASSERT_TRUE(book->writeCell(schaats, 3, 16, "1:2:3.05").ok());
        ASSERT_TRUE(book->writeCell(schaats, 3, 20, "x").ok());
        ASSERT_TRUE(book->save().ok());
    }

    CsvSheets csv = ConvertWithLibreOffice({before, file, demo}, dir_ / "csv");
    ASSERT_FALSE(csv.empty());
    const auto cell = [&](const std::string& sheet, int row, int column) -> std::string {
        const auto& rows = csv[sheet];
        if (row - 1 < static_cast<int>(rows.size()) &&
            column - 1 < static_cast<int>(rows[row - 1].size())) {
            return rows[row - 1][column - 1];
        }
        return "";
    };
    for (const char* sheet : {"info", "loop", "fiets", "uitslag"}) {
        EXPECT_EQ(csv[std::string("after/") + sheet], csv[std::string("before/") + sheet]) << sheet;
    }
    // LibreOffice shows the cached results of a file that says Excel wrote it and does not
    // act on the request to recalculate on load (Excel does). The engine leaves the results
    // of the written sheet's formulas out, so they are computed from the new times.
    EXPECT_EQ(cell("before/schaats", 3, 21), "stale");
    EXPECT_EQ(cell("after/schaats", 3, 21), "0:11:00.50!");
    EXPECT_EQ(cell("after/schaats", 3, 7), "0:11:00.50");
    EXPECT_EQ(cell("after/schaats", 4, 7), "1:2:3.05");
    EXPECT_EQ(cell("after/schaats", 4, 20), "1");
    EXPECT_EQ(cell("after/schaats", 3, 22), "x");
    for (int row = 10; row <= 12; ++row) {
        EXPECT_EQ(cell("after/schaats", row, 20), "x");
    }
    // Everything else on the sheet reads as before.
    auto expected = csv["before/schaats"];
    auto actual = csv["after/schaats"];
    for (auto* rows : {&expected, &actual}) {
        for (auto& row : *rows) {
            for (std::size_t column : {6u, 19u, 20u, 21u}) {  // G, T, V written; U from G
                if (column < row.size()) {
                    row[column] = "-";
                }
            }
        }
        rows->resize(9);  // rows 10-12 only have the written counters
    }
    EXPECT_EQ(actual, expected);

    // The demo workbook stores no results, so its formulas are computed on load.
    EXPECT_EQ(cell("demo/schaats", 3, 21), "00:00:35.50");  // Rondetijd 1
    EXPECT_EQ(cell("demo/schaats", 3, 31), "00:52:03.05");  // Totaaltijd, start to finish
    EXPECT_EQ(cell("demo/schaats", 3, 22), "");             // lap 2 not run yet
    EXPECT_EQ(cell("demo/schaats", 4, 2), "7404584");
}

}  // namespace
}  // namespace tivaro::workbook::test
