// Formula cells keep their cached results: they read them before and after saves and after
// the saved file is opened again, and in the saved file only the formulas that can depend on
// a written cell lose theirs, so that a spreadsheet computes those on load. On hand-made
// packages (shared formulas and other forms LibreOffice does not write) and on workbooks
// LibreOffice saved (tests/workbook/fixtures/make_formula_workbooks.py).

#include <gtest/gtest.h>

#include "support.h"
#include "workbook/cell_address.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

const std::string kFixtures = std::string(TIVARO_SOURCE_DIR) + "/tests";

std::string PartOf(const std::filesystem::path& file, const std::string& part) {
    auto package = Package::FromBytes(ReadFile(file), file.string());
    EXPECT_TRUE(package.ok());
    if (!package.ok()) {
        return {};
    }
    auto bytes = package->read(part);
    EXPECT_TRUE(bytes.ok()) << part;
    return bytes.ok() ? *bytes : std::string{};
}

// The <c> element of cell `ref` as it stands in the part's bytes; "" when it is not there.
std::string CellXml(const std::string& part, const std::string& ref) {
    const std::size_t begin = part.find("<c r=\"" + ref + "\"");
    if (begin == std::string::npos) {
        return {};
    }
    const std::size_t closing = part.find("</c>", begin);
    const std::size_t empty = part.find("/>", begin);
    const std::size_t open = part.find('>', begin);
    if (empty != std::string::npos && empty + 1 == open) {
        return part.substr(begin, empty + 2 - begin);
    }
    return closing == std::string::npos ? std::string{} : part.substr(begin, closing + 4 - begin);
}

// The part without the XML of row `row`.
std::string WithoutRow(std::string part, int row) {
    const std::size_t begin = part.find("<row r=\"" + std::to_string(row) + "\"");
    const std::size_t end = part.find("</row>", begin);
    if (begin != std::string::npos && end != std::string::npos) {
        part.erase(begin, end + 6 - begin);
    }
    return part;
}

bool HasCachedResult(const std::string& cellXml) {
    return cellXml.find("<v>") != std::string::npos || cellXml.find("<v/>") != std::string::npos;
}

// The "t" attribute of the <c> start tag.
std::string CellType(const std::string& cellXml) {
    const std::string tag = cellXml.substr(0, cellXml.find('>'));
    const std::size_t at = tag.find(" t=\"");
    return at == std::string::npos ? std::string{}
                                   : tag.substr(at + 4, tag.find('"', at + 4) - at - 4);
}

// Expects each cell of `kept` unchanged, byte for byte, and each of `computed` without its
// cached result and without a "t" attribute (which only described that result).
void ExpectResults(const std::string& before, const std::string& after,
                   const std::vector<std::string>& kept, const std::vector<std::string>& computed,
                   const std::string& sheet) {
    for (const std::string& ref : kept) {
        EXPECT_FALSE(CellXml(before, ref).empty()) << sheet << "!" << ref;
        EXPECT_EQ(CellXml(after, ref), CellXml(before, ref)) << sheet << "!" << ref;
    }
    for (const std::string& ref : computed) {
        const std::string cell = CellXml(after, ref);
        EXPECT_TRUE(HasCachedResult(CellXml(before, ref))) << sheet << "!" << ref;
        EXPECT_FALSE(cell.empty()) << sheet << "!" << ref;
        EXPECT_FALSE(HasCachedResult(cell)) << sheet << "!" << ref << ": " << cell;
        EXPECT_EQ(CellType(cell), "") << sheet << "!" << ref << ": " << cell;
    }
}

// Sheets "Deelnemers", "schaats" (formulas reading Deelnemers, a shared formula U3:U5 of the
// times, an array formula X3:X5) and "Uitslag" reading schaats in several ways.
HandMadeWorkbook SharedAndArrayBook() {
    HandMadeWorkbook book;
    book.sheets.push_back(
        {"Deelnemers", SheetXml("<row r=\"2\"><c r=\"A2\"><v>101</v></c><c r=\"B2\"><v>7404583</v>"
                                "</c></row><row r=\"3\"><c r=\"B3\" t=\"inlineStr\"><is><t>KX-1"
                                "</t></is></c></row>")});
    book.sheets.push_back(
        {"schaats",
         SheetXml("<row r=\"3\"><c r=\"A3\"><f>Deelnemers!A2</f><v>101</v></c>"
                  "<c r=\"B3\"><f>Deelnemers!B2</f><v>7404583</v></c>"
                  "<c r=\"U3\"><f t=\"shared\" ref=\"U3:U5\" si=\"0\">G3-F3</f><v>1</v></c>"
                  "<c r=\"X3\"><f t=\"array\" ref=\"X3:X5\">H3:H5*2</f><v>2</v></c></row>"
                  "<row r=\"4\"><c r=\"B4\" t=\"str\"><f>Deelnemers!B3</f><v>KX-1</v></c>"
                  "<c r=\"U4\"><f t=\"shared\" si=\"0\"/><v>2</v></c><c r=\"X4\"><v>4</v></c>"
                  "</row><row r=\"5\"><c r=\"U5\"><f t=\"shared\" si=\"0\"/><v>3</v></c>"
                  "<c r=\"X5\"><v>6</v></c></row>")});
    book.sheets.push_back(
        {"Uitslag",
         SheetXml("<row r=\"1\"><c r=\"A1\"><f>SUM(schaats!$U:$U)</f><v>6</v></c></row>"
                  "<row r=\"2\"><c r=\"A2\" t=\"str\"><f>\"schaats!G4\"</f><v>schaats!G4</v>"
                  "</c></row><row r=\"3\"><c r=\"A3\" t=\"b\"><f>ISBLANK(SCHAATS!G4)</f>"
                  "<v>1</v></c></row><row r=\"4\"><c r=\"A4\" t=\"e\"><f>1/schaats!H5</f>"
                  "<v>#DIV/0!</v></c></row><row r=\"5\"><c r=\"A5\"><f>SUM(Tijden)</f><v>0</v>"
                  "</c></row><row r=\"6\"><c r=\"A6\"><f>COUNTA(Deelnemers!B:B)</f><v>2</v>"
                  "</c></row>")});
    book.extraParts = {
        {"xl/styles.xml",
         "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<fonts count=\"1\"><font/></fonts><fills count=\"2\"><fill><patternFill "
         "patternType=\"none\"/></fill><fill><patternFill patternType=\"gray125\"/></fill>"
         "</fills><borders count=\"1\"><border/></borders><cellXfs count=\"1\"><xf "
         "numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\"/></cellXfs></styleSheet>"}};
    book.workbookRels =
        "<Relationship Id=\"rIdT\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/styles\" Target=\"styles.xml\"/>";
    book.workbookExtra =
        "<definedNames><definedName name=\"Tijden\">schaats!$F$3:$P$5"
        "</definedName></definedNames>";
    return book;
}

class FormulaResultsTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_ / "race.xlsx";
        original_ = dir_ / "original.xlsx";
        WriteFile(original_, BuildHandMade(SharedAndArrayBook()));
        std::filesystem::copy_file(original_, file_);
    }

    std::string read(Workbook& book, const std::string& sheet, const std::string& ref) {
        const auto cell = ParseCellRef(ref);
        auto text = book.readCell(SheetNamed(book, sheet), cell->row, cell->column);
        EXPECT_TRUE(text.ok()) << ref;
        return text.ok() ? *text : "<error>";
    }

    ScratchDir dir_;
    std::filesystem::path file_;
    std::filesystem::path original_;
    XlsxApp app_{dir_ / "backup"};
};

TEST_F(FormulaResultsTest, OnlyFormulasThatCanDependOnAWriteLoseTheirResultInTheFile) {
    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    const SheetId schaats = SheetNamed(*book, "schaats");
    ASSERT_TRUE(book->writeCell(schaats, 4, 7, "0:1:0.00").ok());  // G4, read by U4 only
    ASSERT_TRUE(book->writeRange(schaats, "H5:H5", "x").ok());     // in the array's H3:H5
    ASSERT_TRUE(book->save().ok());

    // In memory every formula still reads its last result, and lookups still find them.
    const std::vector<std::pair<std::string, std::string>> shown = {
        {"A3", "101"}, {"B4", "KX-1"}, {"U3", "1"}, {"U4", "2"},
        {"U5", "3"},   {"X3", "2"},    {"X5", "6"},
    };
    for (const auto& [ref, text] : shown) {
        EXPECT_EQ(read(*book, "schaats", ref), text) << ref;
    }
    EXPECT_EQ(read(*book, "Uitslag", "A3"), "TRUE");
    EXPECT_EQ(read(*book, "Uitslag", "A4"), "#DIV/0!");
    EXPECT_EQ(*book->find(schaats, "B3:B200", "kx-1"), 2);

    const std::string sheet = "xl/worksheets/sheet2.xml";
    const std::string results = "xl/worksheets/sheet3.xml";
    // U4 is the shared formula moved to row 4 (G4-F4); the array's whole range goes.
    ExpectResults(PartOf(original_, sheet), PartOf(file_, sheet), {"A3", "B3", "B4", "U3", "U5"},
                  {"U4", "X3", "X4", "X5"}, "schaats");
    // SUM(U:U) reads U4; the text "schaats!G4" is no reference; ISBLANK reads G4 in another
    // case; 1/H5 reads the written H5; a defined name could read anything; Deelnemers is not
    // written.
    ExpectResults(PartOf(original_, results), PartOf(file_, results), {"A2", "A6"},
                  {"A1", "A3", "A4", "A5"}, "Uitslag");
    EXPECT_EQ(PartOf(file_, "xl/worksheets/sheet1.xml"),
              PartOf(original_, "xl/worksheets/sheet1.xml"));

    // A later write adds to what the file leaves out, and what was left out stays out.
    ASSERT_TRUE(book->writeCell(schaats, 3, 6, "0:0:0.00").ok());  // F3, read by U3
    ASSERT_TRUE(book->save().ok());
    ExpectResults(PartOf(original_, sheet), PartOf(file_, sheet), {"A3", "B3", "B4", "U5"},
                  {"U3", "U4", "X3", "X4", "X5"}, "schaats");
    book.reset();

    // Opened again: the kept results read as before; the others wait for a spreadsheet.
    book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(*book->find(SheetNamed(*book, "schaats"), "B3:B200", "7404583"), 1);
    EXPECT_EQ(read(*book, "schaats", "A3"), "101");
    EXPECT_EQ(read(*book, "schaats", "B4"), "KX-1");
    EXPECT_EQ(read(*book, "schaats", "U5"), "3");
    EXPECT_EQ(read(*book, "schaats", "U4"), "");
    EXPECT_EQ(read(*book, "Uitslag", "A6"), "2");
}

TEST_F(FormulaResultsTest, ColoursKeepEveryResultAndAWriteOverAFormulaKeepsTheWrittenText) {
    {
        auto book = OpenOrFail(app_, file_);
        ASSERT_NE(book, nullptr);
        auto coloured = book->colourCell(SheetNamed(*book, "schaats"), 3, 1, 65535);
        ASSERT_TRUE(coloured.ok()) << coloured.error().message;
        ASSERT_TRUE(book->save().ok());
    }
    const std::string sheet = "xl/worksheets/sheet2.xml";
    for (const char* ref : {"B3", "B4", "U3", "U4", "U5", "X3", "X4", "X5"}) {
        EXPECT_EQ(CellXml(PartOf(file_, sheet), ref), CellXml(PartOf(original_, sheet), ref))
            << ref;
    }
    EXPECT_TRUE(HasCachedResult(CellXml(PartOf(file_, sheet), "A3")));

    auto book = OpenOrFail(app_, file_);
    ASSERT_NE(book, nullptr);
    const SheetId schaats = SheetNamed(*book, "schaats");
    ASSERT_TRUE(book->writeCell(schaats, 4, 6, "0:0:1.00").ok());  // F4: U4 goes stale
    ASSERT_TRUE(book->writeCell(schaats, 3, 8, "x").ok());         // H3: X3:X5 go stale
    ASSERT_TRUE(book->save().ok());
    // Then both formulas are written over: the cells hold values of their own.
    ASSERT_TRUE(book->writeCell(schaats, 4, 21, "12").ok());
    ASSERT_TRUE(book->writeCell(schaats, 3, 24, "").ok());  // the array formula's anchor
    ASSERT_TRUE(book->save().ok());
    const std::string saved = PartOf(file_, sheet);
    EXPECT_NE(CellXml(saved, "U4").find("t=\"inlineStr\"><is><t>12</t></is>"), std::string::npos)
        << CellXml(saved, "U4");
    EXPECT_EQ(CellXml(saved, "X4"), "<c r=\"X4\"><v>4</v></c>");
    EXPECT_EQ(read(*book, "schaats", "U5"), "3");
}

TEST(UnchangedElements, AreWrittenAsTheyWereRead) {
    // Escapes, empty elements written as two tags, an attribute value holding ">", line ends
    // in text and an empty row, as other programs write them.
    const std::string original =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n"
        "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
        "<dimension ref=\"A1:B2\"/><sheetFormatPr defaultRowHeight=\"15\"></sheetFormatPr>"
        "<sheetData>\n<row r=\"1\" ht=\"15\" x14ac:dyDescent=\"a>b\">"
        "<c r=\"A1\" t=\"str\"><f>IF(B1=&quot;&quot;,&quot;it&apos;s&quot;,B1)</f><v></v></c>"
        "<c r=\"B1\" t=\"inlineStr\"><is><t xml:space=\"preserve\">a\r\nb </t></is></c>"
        "</row>\n<row r=\"2\"><c r=\"A2\"><v>1</v></c></row><row r=\"9\" spans=\"1:2\"/>"
        "</sheetData><oddHeader></oddHeader></worksheet>";
    ScratchDir dir;
    const std::filesystem::path file = dir / "race.xlsx";
    WriteFile(file, BuildHandMade(HandMadeWorkbook{{{"race", original}}, {}, {}, {}, 0}));
    XlsxApp app(dir / "backup");
    auto book = OpenOrFail(app, file);
    ASSERT_NE(book, nullptr);
    ASSERT_TRUE(book->writeCell(SheetId{0}, 2, 2, "7:0:0.00").ok());
    ASSERT_TRUE(book->save().ok());

    std::string expected = original;
    const std::string row2 = "<row r=\"2\"><c r=\"A2\"><v>1</v></c></row>";
    expected.replace(expected.find(row2), row2.size(),
                     "<row r=\"2\"><c r=\"A2\"><v>1</v></c><c r=\"B2\" t=\"inlineStr\"><is>"
                     "<t>7:0:0.00</t></is></c></row>");
    EXPECT_EQ(PartOf(file, "xl/worksheets/sheet1.xml"), expected);
}

// The workbooks LibreOffice saved: the race workbook whose race sheets take bib, transponder
// and heat by formula from "Deelnemers", and the kinds of formula to tell apart.
class LibreOfficeFormulaTest : public ::testing::Test {
protected:
    void SetUp() override {
        race_ = dir_ / "race.xlsx";
        kinds_ = dir_ / "kinds.xlsx";
        std::filesystem::copy_file(raceFixture_, race_);
        std::filesystem::copy_file(kindsFixture_, kinds_);
    }

    std::string read(Workbook& book, SheetId sheet, int row, int column) {
        auto text = book.readCell(sheet, row, column);
        EXPECT_TRUE(text.ok());
        return text.ok() ? *text : "<error>";
    }

    // Passings as the race handles them: the transponder looked up, its heat read, then
    // times and lap counters written and the bib cell coloured.
    void race(Workbook& book) {
        const SheetId schaats = SheetNamed(book, "schaats");
        const SheetId loop = SheetNamed(book, "loop");
        EXPECT_EQ(*book.find(schaats, "B3:B200", "7404583"), 1);
        EXPECT_EQ(*book.find(schaats, "B3:B200", "kx-04126"), 4);
        EXPECT_EQ(read(book, schaats, 3, 3), "1");
        ASSERT_TRUE(book.writeCell(schaats, 3, 6, "7:0:0.00").ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 20, "1").ok());
        ASSERT_TRUE(book.colourCell(schaats, 3, 1, 65280).ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 7, "7:0:40.00").ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 20, "2").ok());
        ASSERT_TRUE(book.save().ok());
        // Found and read as before the save.
        EXPECT_EQ(*book.find(schaats, "B3:B200", "7404583"), 1);
        EXPECT_EQ(*book.find(schaats, "B3:B200", "KX-04126"), 4);
        EXPECT_EQ(read(book, schaats, 3, 1), "101");
        EXPECT_EQ(read(book, schaats, 3, 3), "1");
        EXPECT_EQ(read(book, schaats, 4, 3), "2");
        EXPECT_EQ(read(book, schaats, 3, 4), "Deelnemer 101");
        ASSERT_TRUE(book.writeCell(schaats, 3, 8, "7:1:20.50").ok());
        ASSERT_TRUE(book.writeCell(schaats, 3, 20, "3").ok());
        ASSERT_TRUE(book.writeCell(loop, 3, 6, "7:0:0.00").ok());
        ASSERT_TRUE(book.writeCell(loop, 3, 7, "7:0:45.00").ok());
        ASSERT_TRUE(book.writeCell(loop, 3, 20, "1").ok());
        ASSERT_TRUE(book.save().ok());
        EXPECT_EQ(read(book, SheetNamed(book, "Uitslag"), 7, 2), "60");
        EXPECT_EQ(read(book, schaats, 6, 2), "KX-04126");
    }

    ScratchDir dir_;
    const std::filesystem::path raceFixture_ =
        kFixtures + "/timing/golden/workbooks/formula-race.xlsx";
    const std::filesystem::path kindsFixture_ = kFixtures + "/workbook/fixtures/formula-kinds.xlsx";
    std::filesystem::path race_;
    std::filesystem::path kinds_;
    XlsxApp app_{dir_ / "backup"};
};

TEST_F(LibreOfficeFormulaTest, DependentFormulasAreComputedOnLoadAndTheRestKeepTheirResults) {
    {
        auto book = OpenOrFail(app_, race_);
        ASSERT_NE(book, nullptr);
        race(*book);
        ASSERT_FALSE(HasFatalFailure());
    }
    {
        auto book = OpenOrFail(app_, kinds_);
        ASSERT_NE(book, nullptr);
        const SheetId given = SheetNamed(*book, "Invoer");
        ASSERT_TRUE(book->writeCell(given, 2, 1, "12345").ok());
        ASSERT_TRUE(book->writeCell(given, 5, 5, "x").ok());
        ASSERT_TRUE(book->save().ok());
    }
    const auto sheetPart = [](int n) { return "xl/worksheets/sheet" + std::to_string(n) + ".xml"; };
    const auto expect =
        [&](const std::filesystem::path& fixture, const std::filesystem::path& saved, int part,
            const std::vector<std::string>& kept, const std::vector<std::string>& computed) {
            ExpectResults(PartOf(fixture, sheetPart(part)), PartOf(saved, sheetPart(part)), kept,
                          computed, saved.stem().string() + " sheet " + std::to_string(part));
        };
    // schaats: bib, transponder (number and text), heat and name keep their results; lap 1
    // (F3 to G3), lap 2 (G3 to H3), lap 3 (H3 to I3) and the total (F3 to P3) are computed.
    expect(raceFixture_, race_, 2, {"B3", "C3", "D3", "B6", "C6", "A4", "U4", "AE4", "X3"},
           {"U3", "V3", "W3", "AE3"});
    expect(raceFixture_, race_, 3, {"A3", "B3", "U4"}, {"U3", "Z3"});
    // Uitslag: what reads the written sheets, INDIRECT and the defined name are computed.
    expect(raceFixture_, race_, 5, {"B5", "C5", "D5", "B7", "B8"},
           {"B3", "C3", "D3", "B4", "C4", "D4", "B9", "B10"});
    // Outside the rows written, the race sheet is as LibreOffice wrote it.
    EXPECT_EQ(WithoutRow(PartOf(race_, sheetPart(2)), 3),
              WithoutRow(PartOf(raceFixture_, sheetPart(2)), 3));
    for (int unwritten : {1, 4}) {  // Deelnemers and fiets are copied as they were
        EXPECT_EQ(PartOf(race_, sheetPart(unwritten)), PartOf(raceFixture_, sheetPart(unwritten)));
    }
    // The array formula over the written A2 loses the results of its whole range; the one
    // over C1:C3 keeps them. A whole column, a whole row, a chain through the quoted sheet
    // "Mijn blad's", OFFSET and ISBLANK of the written cell are computed; text that looks like
    // a reference is not one.
    expect(kindsFixture_, kinds_, 3, {"B1", "B2", "B3", "C3", "C5", "C8"},
           {"A1", "A2", "A3", "C1", "C2", "C4", "C6", "C7"});
    expect(kindsFixture_, kinds_, 2, {"B1"}, {"A1"});

    // Opened again by the engine: the kept results are read and found.
    {
        auto book = OpenOrFail(app_, race_);
        ASSERT_NE(book, nullptr);
        const SheetId schaats = SheetNamed(*book, "schaats");
        EXPECT_EQ(*book->find(schaats, "B3:B200", "7404583"), 1);
        EXPECT_EQ(*book->find(schaats, "B3:B200", "KX-04126"), 4);
        EXPECT_EQ(read(*book, schaats, 3, 1), "101");
        EXPECT_EQ(read(*book, schaats, 3, 3), "1");
    }

    // LibreOffice computes what has no result and shows the rest as stored.
    CsvSheets csv = ConvertWithLibreOffice({race_, kinds_}, dir_ / "csv");
    ASSERT_FALSE(csv.empty());
    const auto cell = [&](const std::string& sheet, const std::string& ref) -> std::string {
        const auto at = ParseCellRef(ref);
        const auto& rows = csv[sheet];
        if (at->row - 1 < static_cast<int>(rows.size()) &&
            at->column - 1 < static_cast<int>(rows[at->row - 1].size())) {
            return rows[at->row - 1][at->column - 1];
        }
        return "";
    };
    EXPECT_EQ(cell("race/schaats", "A3"), "101");
    EXPECT_EQ(cell("race/schaats", "U3"), "00:00:40.00");
    EXPECT_EQ(cell("race/schaats", "V3"), "00:00:40.50");
    EXPECT_EQ(cell("race/schaats", "W3"), "");
    EXPECT_EQ(cell("race/loop", "U3"), "00:00:45.00");
    EXPECT_EQ(cell("race/Uitslag", "D3"), "00:00:40.00");
    EXPECT_EQ(cell("race/Uitslag", "D4"), "00:00:45.00");
    EXPECT_EQ(cell("race/Uitslag", "B9"), "7:0:0.00");
    EXPECT_EQ(cell("race/Uitslag", "B10"), "1");
    EXPECT_EQ(cell("race/Uitslag", "B7"), "60");
    EXPECT_EQ(cell("kinds/Overzicht", "A1"), "1");
    EXPECT_EQ(cell("kinds/Overzicht", "A2"), "5");
    EXPECT_EQ(cell("kinds/Overzicht", "A3"), "3");
    EXPECT_EQ(cell("kinds/Overzicht", "B2"), "2");
    EXPECT_EQ(cell("kinds/Overzicht", "C2"), "3");
    EXPECT_EQ(cell("kinds/Overzicht", "C4"), "12345!?");
    EXPECT_EQ(cell("kinds/Overzicht", "C7"), "FALSE");
}

}  // namespace
}  // namespace tivaro::workbook::test
