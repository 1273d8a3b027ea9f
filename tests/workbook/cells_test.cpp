// Reading, writing, finding and colouring cells through the embedded engine, on small
// packages written by hand so that every way a spreadsheet file can store a cell is covered.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include "support.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";

std::string SharedStringsXml() {
    return "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\"4\" "
           "uniqueCount=\"4\">"
           "<si><t>KX-04126</t></si>"
           "<si><r><rPr><b/></rPr><t>Deel</t></r><r><t xml:space=\"preserve\">nemer 1 </t></r>"
           "<rPh sb=\"0\" eb=\"1\"><t>phonetic</t></rPh></si>"
           "<si><t>Line_x000D_break</t></si>"
           "<si><t>Émile</t></si></sst>";
}

std::string StylesXml() {
    return "<styleSheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
           "<numFmts count=\"1\"><numFmt numFmtId=\"164\" formatCode=\"000\"/></numFmts>"
           "<fonts count=\"2\"><font><sz val=\"11\"/></font><font><i/><sz val=\"11\"/></font>"
           "</fonts><fills count=\"2\"><fill><patternFill patternType=\"none\"/></fill>"
           "<fill><patternFill patternType=\"gray125\"/></fill></fills>"
           "<borders count=\"2\"><border/><border><left style=\"thin\"/></border></borders>"
           "<cellStyleXfs count=\"1\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" "
           "borderId=\"0\"/></cellStyleXfs>"
           "<cellXfs count=\"2\"><xf numFmtId=\"0\" fontId=\"0\" fillId=\"0\" borderId=\"0\" "
           "xfId=\"0\"/><xf numFmtId=\"164\" fontId=\"1\" fillId=\"0\" borderId=\"1\" xfId=\"0\" "
           "applyNumberFormat=\"1\" applyFont=\"1\" applyBorder=\"1\"><alignment "
           "horizontal=\"center\"/></xf></cellXfs></styleSheet>";
}

// Sheet "race": every kind of stored value in rows 3 to 12, a formula shared by U3:U5, and a
// second sheet "other" with a prefixed namespace and cells without addresses.
HandMadeWorkbook RaceBook() {
    HandMadeWorkbook book;
    book.sheets.push_back(
        {"race",
         SheetXml(
             "<row r=\"2\"><c r=\"B2\" t=\"s\"><v>0</v></c></row>"
             "<row r=\"3\" spans=\"1:3\"><c r=\"A3\" s=\"1\"><v>101</v></c>"
             "<c r=\"B3\"><v>7404583</v></c><c r=\"C3\"><v>1</v></c>"
             "<c r=\"U3\"><f t=\"shared\" ref=\"U3:U5\" si=\"0\">A3*2</f><v>202</v></c></row>"
             "<row r=\"4\"><c r=\"A4\" s=\"1\"><v>102</v></c>"
             "<c r=\"B4\" t=\"s\"><v>0</v></c><c r=\"D4\" t=\"s\"><v>1</v></c>"
             "<c r=\"U4\"><f t=\"shared\" si=\"0\"/><v>204</v></c></row>"
             "<row r=\"5\"><c r=\"A5\"><v>1.5</v></c><c r=\"B5\" t=\"inlineStr\"><is><t>"
             "kx-00999</t></is></c><c r=\"D5\" t=\"s\"><v>2</v></c>"
             "<c r=\"U5\"><f t=\"shared\" si=\"0\"/><v>3</v></c></row>"
             "<row r=\"6\"><c r=\"A6\"><v>0.30000000000000004</v></c>"
             "<c r=\"B6\" t=\"b\"><v>1</v></c><c r=\"D6\" t=\"s\"><v>3</v></c></row>"
             "<row r=\"7\"><c r=\"A7\"><v>1E-3</v></c><c r=\"B7\" t=\"e\"><v>#N/A</v></c>"
             "<c r=\"C7\" t=\"str\"><f>\"Heat \"&amp;1</f><v>Heat 1</v></c></row>"
             "<row r=\"8\"><c r=\"A8\"><v>12</v></c><c r=\"B8\"><v>7404583</v></c>"
             "<c r=\"C8\"><v></v></c></row>"
             "<row r=\"201\"><c r=\"B201\" t=\"inlineStr\"><is><t>KX-LAST</t></is></c></row>")});
    book.sheets.push_back(
        {"other",
         "<x:worksheet xmlns:x=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\">"
         "<x:sheetData><x:row><x:c><x:v>5</x:v></x:c><x:c t=\"b\"><x:v>0</x:v></x:c></x:row>"
         "<x:row r=\"3\"><x:c r=\"C3\"><x:v>7</x:v></x:c></x:row></x:sheetData></x:worksheet>"});
    book.activeTab = 1;
    book.extraParts = {{"xl/sharedStrings.xml", SharedStringsXml()},
                       {"xl/styles.xml", StylesXml()},
                       {"xl/calcChain.xml",
                        "<calcChain xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/"
                        "2006/main\"><c r=\"U3\" i=\"1\"/><c r=\"C7\"/></calcChain>"}};
    book.workbookRels =
        "<Relationship Id=\"rIdS\" Type=\"" + kRel +
        "/sharedStrings\" Target=\"sharedStrings.xml\"/><Relationship Id=\"rIdT\" Type=\"" + kRel +
        "/styles\" Target=\"styles.xml\"/><Relationship Id=\"rIdC\" Type=\"" + kRel +
        "/calcChain\" Target=\"calcChain.xml\"/>";
    return book;
}

class CellsTest : public ::testing::Test {
protected:
    void SetUp() override {
        file_ = dir_ / "race.xlsx";
        WriteFile(file_, BuildHandMade(RaceBook()));
        workbook_ = OpenOrFail(app_, file_);
        ASSERT_NE(workbook_, nullptr);
    }

    std::string read(int row, int column, SheetId sheet = SheetId{0}) {
        auto text = workbook_->readCell(sheet, row, column);
        EXPECT_TRUE(text.ok()) << text.error().message;
        return text.ok() ? *text : "<error>";
    }

    // The saved file's part, parsed.
    std::unique_ptr<pugi::xml_document> savedPart(const std::string& part) {
        auto package = Package::FromBytes(ReadFile(file_), "saved");
        EXPECT_TRUE(package.ok());
        auto document = std::make_unique<pugi::xml_document>();
        if (package.ok()) {
            auto bytes = package->read(part);
            EXPECT_TRUE(bytes.ok()) << part;
            if (bytes.ok()) {
                document->load_string(bytes->c_str());
            }
        }
        return document;
    }

    ScratchDir dir_;
    std::filesystem::path file_;
    XlsxApp app_{dir_ / "backup"};
    std::unique_ptr<Workbook> workbook_;
};

TEST_F(CellsTest, ReadsEachStoredKindAsTheTextASpreadsheetShows) {
    EXPECT_EQ(read(3, 1), "101");
    EXPECT_EQ(read(3, 2), "7404583");
    EXPECT_EQ(read(5, 1), "1.5");
    EXPECT_EQ(read(6, 1), "0.3");    // 15 significant digits, as shown
    EXPECT_EQ(read(7, 1), "0.001");  // stored in exponent form
    EXPECT_EQ(read(4, 2), "KX-04126");
    EXPECT_EQ(read(4, 4), "Deelnemer 1 ");  // rich-text runs joined, phonetic hint left out
    EXPECT_EQ(read(5, 4), "Line\rbreak");
    EXPECT_EQ(read(5, 2), "kx-00999");  // inline string
    EXPECT_EQ(read(6, 2), "TRUE");
    EXPECT_EQ(read(7, 2), "#N/A");
    EXPECT_EQ(read(7, 3), "Heat 1");  // cached result of a formula
    EXPECT_EQ(read(4, 21), "204");
    EXPECT_EQ(read(8, 3), "");   // a cell without a value
    EXPECT_EQ(read(9, 1), "");   // a row that is not there
    EXPECT_EQ(read(3, 26), "");  // a cell that is not there
    // Cells without an address follow the one before; a prefixed namespace is read as well.
    EXPECT_EQ(read(1, 1, SheetId{1}), "5");
    EXPECT_EQ(read(1, 2, SheetId{1}), "FALSE");
    EXPECT_EQ(read(3, 3, SheetId{1}), "7");
}

TEST_F(CellsTest, SheetsActivationAndAddressErrors) {
    EXPECT_EQ(workbook_->sheetNames(), (std::vector<std::string>{"race", "other"}));
    EXPECT_EQ(workbook_->activeSheet()->index, 1);
    ASSERT_TRUE(workbook_->activate("race").ok());
    EXPECT_EQ(workbook_->activeSheet()->index, 0);
    EXPECT_EQ(*workbook_->sheetName(SheetId{0}), "race");

    // Names compare without regard to case, as in a spreadsheet.
    ASSERT_TRUE(workbook_->activate("OTHER").ok());
    EXPECT_EQ(workbook_->activeSheet()->index, 1);
    const auto missing = workbook_->activate("races");
    ASSERT_FALSE(missing.ok());
    EXPECT_EQ(missing.error().code, Errc::NoSuchSheet);
    EXPECT_NE(missing.error().message.find("\"races\""), std::string::npos);
    EXPECT_EQ(workbook_->activeSheet()->index, 1);

    EXPECT_EQ(workbook_->readCell(SheetId{2}, 1, 1).error().code, Errc::NoSuchSheet);
    EXPECT_EQ(workbook_->readCell(SheetId{0}, 0, 1).error().code, Errc::BadAddress);
    EXPECT_EQ(workbook_->writeCell(SheetId{0}, 1, 16385, "x").error().code, Errc::BadAddress);
    EXPECT_EQ(workbook_->writeRange(SheetId{0}, "F3:", "x").error().code, Errc::BadAddress);
    const auto tooLarge = workbook_->writeRange(SheetId{0}, "A1:XFD1048576", "x");
    EXPECT_EQ(tooLarge.error().code, Errc::BadAddress);
    EXPECT_FALSE(workbook_->hasUnsavedChanges());
}

TEST_F(CellsTest, FindComparesLikeMatchAndNumbersMatchTheirText) {
    const SheetId race{0};
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "7404583"), 1);   // numeric cell, topmost
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "kx-04126"), 2);  // case-insensitive
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "KX-00999"), 3);
    EXPECT_EQ(*workbook_->find(race, "$B$4:$B$200", "7404583"), 5);  // the lower duplicate
    EXPECT_EQ(*workbook_->find(race, "D3:D200", "éMILE"),
              4);  // Latin letters in UTF-8 (stored "Émile")
    EXPECT_EQ(*workbook_->find(race, "A3:A200", "1.5"), 3);

    for (const char* absent : {"KX-LAST", "Transponder", "KX-04126", "TRUE", "#N/A", ""}) {
        // KX-LAST lies in row 201, "KX-04126" is also in row 2: both outside the block;
        // booleans and errors are no texts.
        const auto found = workbook_->find(
            race, absent == std::string("KX-04126") ? "B5:B200" : "B3:B200", absent);
        ASSERT_FALSE(found.ok()) << absent;
        EXPECT_EQ(found.error().code, Errc::NotFound) << absent;
    }
    EXPECT_EQ(workbook_->find(race, "A3:B9", "101").error().code, Errc::BadAddress);
    EXPECT_EQ(*workbook_->find(race, "A3:C3", "7404583"), 2);  // one row works too
}

TEST_F(CellsTest, FindFollowsWrites) {
    const SheetId race{0};
    ASSERT_EQ(*workbook_->find(race, "B3:B200", "7404583"), 1);
    ASSERT_TRUE(workbook_->writeCell(race, 3, 2, "KX-NEW").ok());
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "7404583"), 6);  // the other one, row 8
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "kx-new"), 1);
    ASSERT_TRUE(workbook_->writeRange(race, "B10:B12", "KX-BLOCK").ok());
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "KX-BLOCK"), 8);
    ASSERT_TRUE(workbook_->writeCell(race, 10, 2, "").ok());
    EXPECT_EQ(*workbook_->find(race, "B3:B200", "KX-BLOCK"), 9);
}

TEST_F(CellsTest, WrittenTextsReadBackAsTheSameTextsAfterSaveAndReopen) {
    const SheetId race{0};
    const std::vector<std::string> texts = {
        "1", "10", "x", "0:10:01.25", " leading", "ctrl\x01", "_x0041_", "<&>\"", "a\rb\r\nc"};
    for (std::size_t i = 0; i < texts.size(); ++i) {
        ASSERT_TRUE(workbook_->writeCell(race, 3 + static_cast<int>(i), 20, texts[i]).ok());
    }
    ASSERT_TRUE(workbook_->writeCell(race, 3, 1, "A").ok());  // over a number, keeps style
    ASSERT_TRUE(workbook_->writeRange(race, "F3:F200", "1:2:3.05").ok());
    EXPECT_TRUE(workbook_->hasUnsavedChanges());
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(read(3 + static_cast<int>(i), 20), texts[i]);
    }
    auto saved = workbook_->save();
    ASSERT_TRUE(saved.ok()) << saved.error().message;
    EXPECT_EQ(saved->writtenTo, file_);
    EXPECT_TRUE(saved->notice.empty()) << saved->notice;
    EXPECT_FALSE(workbook_->hasUnsavedChanges());

    workbook_ = OpenOrFail(app_, file_);
    ASSERT_NE(workbook_, nullptr);
    for (std::size_t i = 0; i < texts.size(); ++i) {
        EXPECT_EQ(read(3 + static_cast<int>(i), 20), texts[i]);
    }
    EXPECT_EQ(read(3, 1), "A");
    for (int row = 3; row <= 200; ++row) {
        ASSERT_EQ(read(row, 6), "1:2:3.05") << row;
    }
    EXPECT_EQ(read(2, 6), "");
    EXPECT_EQ(read(201, 6), "");

    // In the file: string cells, the style kept, rows and cells in ascending order.
    auto sheet = savedPart("xl/worksheets/sheet1.xml");
    const pugi::xml_node data = sheet->child("worksheet").child("sheetData");
    EXPECT_STREQ(sheet->child("worksheet").child("dimension").attribute("ref").value(), "A2:U201");
    const pugi::xml_node a3 = data.find_child_by_attribute("row", "r", "3").first_child();
    EXPECT_STREQ(a3.attribute("r").value(), "A3");
    EXPECT_STREQ(a3.attribute("s").value(), "1");
    EXPECT_STREQ(a3.attribute("t").value(), "inlineStr");
    int previousRow = 0;
    for (pugi::xml_node row : data.children("row")) {
        EXPECT_GT(row.attribute("r").as_int(), previousRow);
        previousRow = row.attribute("r").as_int();
        std::string previousCell;
        for (pugi::xml_node cell : row.children("c")) {
            const std::string ref = cell.attribute("r").value();
            if (!previousCell.empty()) {
                EXPECT_TRUE(ref.size() > previousCell.size() ||
                            (ref.size() == previousCell.size() && ref > previousCell))
                    << previousCell << " then " << ref;
            }
            previousCell = ref;
        }
    }
    EXPECT_EQ(previousRow, 201);
}

TEST_F(CellsTest, OverwritingAFormulaMovesASharedFormulaAndAsksForRecalculation) {
    const SheetId race{0};
    ASSERT_TRUE(workbook_->writeCell(race, 3, 21, "over").ok());  // the shared formula's anchor
    ASSERT_TRUE(workbook_->writeCell(race, 7, 3, "2").ok());      // a plain formula
    EXPECT_EQ(read(3, 21), "over");
    EXPECT_EQ(read(4, 21), "204");  // cached results stay until the spreadsheet recalculates
    ASSERT_TRUE(workbook_->save().ok());

    auto sheet = savedPart("xl/worksheets/sheet1.xml");
    const pugi::xml_node data = sheet->child("worksheet").child("sheetData");
    const pugi::xml_node u3 = data.find_child_by_attribute("row", "r", "3").last_child();
    EXPECT_FALSE(u3.child("f"));
    EXPECT_FALSE(u3.child("v"));
    const pugi::xml_node u4 = data.find_child_by_attribute("row", "r", "4").last_child();
    EXPECT_STREQ(u4.child("f").text().get(), "A4*2");
    EXPECT_STREQ(u4.child("f").attribute("ref").value(), "U3:U5");
    EXPECT_STREQ(u4.child("f").attribute("si").value(), "0");
    EXPECT_STREQ(u4.child("v").text().get(), "204") << "A4 was not written";
    const pugi::xml_node u5 = data.find_child_by_attribute("row", "r", "5").last_child();
    EXPECT_STREQ(u5.child("f").attribute("si").value(), "0");
    EXPECT_STREQ(u5.child("f").text().get(), "");

    auto book = savedPart("xl/workbook.xml");
    EXPECT_STREQ(book->child("workbook").child("calcPr").attribute("fullCalcOnLoad").value(), "1");
    // The file keeps the sheet it opens on.
    EXPECT_STREQ(book->child("workbook")
                     .child("bookViews")
                     .child("workbookView")
                     .attribute("activeTab")
                     .value(),
                 "1");
    // The calculation chain named the cells whose formulas went: it is left out entirely.
    auto package = Package::FromBytes(ReadFile(file_), "saved");
    ASSERT_TRUE(package.ok());
    EXPECT_FALSE(package->contains("xl/calcChain.xml"));
    EXPECT_EQ(package->read("xl/_rels/workbook.xml.rels")->find("calcChain"), std::string::npos);
    EXPECT_TRUE(package->contains("xl/sharedStrings.xml"));
}

TEST_F(CellsTest, ColouringDerivesOneFormatPerStyleAndColourAndKeepsTheRest) {
    const SheetId race{0};
    const std::uint32_t yellow = 65535;        // 255, 255, 0
    const std::uint32_t lightCyan = 16777088;  // 128, 255, 255
    ASSERT_TRUE(workbook_->colourCell(race, 3, 1, yellow).ok());
    ASSERT_TRUE(workbook_->colourCell(race, 4, 1, yellow).ok());     // same style: same format
    ASSERT_TRUE(workbook_->colourCell(race, 5, 1, yellow).ok());     // default style
    ASSERT_TRUE(workbook_->colourCell(race, 3, 1, lightCyan).ok());  // derived of the derived
    ASSERT_TRUE(workbook_->colourCell(race, 30, 1, yellow).ok());    // a cell not there yet
    EXPECT_EQ(workbook_->colourCell(race, 3, 1, 0x1000000).error().code, Errc::Failed);
    EXPECT_EQ(read(3, 1), "101");
    ASSERT_TRUE(workbook_->save().ok());

    auto styles = savedPart("xl/styles.xml");
    const pugi::xml_node sheet = styles->child("styleSheet");
    std::vector<pugi::xml_node> fills, formats;
    for (pugi::xml_node fill : sheet.child("fills").children("fill")) {
        fills.push_back(fill);
    }
    for (pugi::xml_node xf : sheet.child("cellXfs").children("xf")) {
        formats.push_back(xf);
    }
    ASSERT_EQ(fills.size(), 4u);
    EXPECT_EQ(sheet.child("fills").attribute("count").as_int(), 4);
    EXPECT_STREQ(fills[2].child("patternFill").attribute("patternType").value(), "solid");
    EXPECT_STREQ(fills[2].child("patternFill").child("fgColor").attribute("rgb").value(),
                 "FFFFFF00");
    EXPECT_STREQ(fills[3].child("patternFill").child("fgColor").attribute("rgb").value(),
                 "FF80FFFF");
    // 0, 1 as they were; 2 = 1 + yellow; 3 = 0 + yellow; 4 = 1 + light cyan.
    ASSERT_EQ(formats.size(), 5u);
    EXPECT_EQ(sheet.child("cellXfs").attribute("count").as_int(), 5);
    for (int derived : {2, 4}) {
        EXPECT_STREQ(formats[derived].attribute("numFmtId").value(), "164");
        EXPECT_STREQ(formats[derived].attribute("fontId").value(), "1");
        EXPECT_STREQ(formats[derived].attribute("borderId").value(), "1");
        EXPECT_STREQ(formats[derived].child("alignment").attribute("horizontal").value(), "center");
        EXPECT_STREQ(formats[derived].attribute("applyFill").value(), "1");
    }
    EXPECT_STREQ(formats[2].attribute("fillId").value(), "2");
    EXPECT_STREQ(formats[3].attribute("fillId").value(), "2");
    EXPECT_STREQ(formats[3].attribute("fontId").value(), "0");
    EXPECT_STREQ(formats[4].attribute("fillId").value(), "3");

    auto cells = savedPart("xl/worksheets/sheet1.xml");
    const pugi::xml_node data = cells->child("worksheet").child("sheetData");
    const auto styleOf = [&](const char* row) {
        return std::string(
            data.find_child_by_attribute("row", "r", row).first_child().attribute("s").value());
    };
    EXPECT_EQ(styleOf("3"), "4");
    EXPECT_EQ(styleOf("4"), "2");
    EXPECT_EQ(styleOf("5"), "3");
    EXPECT_EQ(styleOf("30"), "3");

    // A later run colouring the same cells finds the formats it made before.
    workbook_ = OpenOrFail(app_, file_);
    ASSERT_NE(workbook_, nullptr);
    ASSERT_TRUE(workbook_->colourCell(race, 6, 1, yellow).ok());
    ASSERT_TRUE(workbook_->colourCell(race, 4, 1, lightCyan).ok());
    ASSERT_TRUE(workbook_->save().ok());
    styles = savedPart("xl/styles.xml");
    EXPECT_EQ(styles->child("styleSheet").child("cellXfs").attribute("count").as_int(), 5);
    EXPECT_EQ(styles->child("styleSheet").child("fills").attribute("count").as_int(), 4);
}

TEST_F(CellsTest, AClosedWorkbookRefusesEverything) {
    ASSERT_TRUE(workbook_->writeCell(SheetId{0}, 3, 20, "1").ok());
    ASSERT_TRUE(workbook_->close().ok());  // saves first
    EXPECT_EQ(workbook_->readCell(SheetId{0}, 3, 20).error().code, Errc::Closed);
    EXPECT_EQ(workbook_->find(SheetId{0}, "B3:B200", "1").error().code, Errc::Closed);
    EXPECT_EQ(workbook_->activate("race").error().code, Errc::Closed);
    EXPECT_EQ(workbook_->save().error().code, Errc::Closed);
    EXPECT_EQ(workbook_->close().error().code, Errc::Closed);
    workbook_ = OpenOrFail(app_, file_);
    ASSERT_NE(workbook_, nullptr);
    EXPECT_EQ(read(3, 20), "1");
}

}  // namespace
}  // namespace tivaro::workbook::test

namespace tivaro::workbook::test {
namespace {

TEST(PartNames, ARelationshipSpelledInOtherCaseStillRewritesTheSamePart) {
    ScratchDir dir;
    HandMadeWorkbook book;
    book.sheets = {{"schaats", SheetXml("<row r=\"3\"><c r=\"A3\"><v>101</v></c></row>")}};
    auto package = Package::FromBytes(BuildHandMade(book), "hand-made");
    ASSERT_TRUE(package.ok());
    std::string rels = *package->read("xl/_rels/workbook.xml.rels");
    rels.replace(rels.find("worksheets/sheet1.xml"), 21, "Worksheets/Sheet1.XML");
    auto bytes = package->rebuild({{"xl/_rels/workbook.xml.rels", rels}}, {});
    ASSERT_TRUE(bytes.ok());
    const auto file = dir / "case.xlsx";
    WriteFile(file, *bytes);

    XlsxApp app(dir / "backup");
    auto opened = OpenOrFail(app, file);
    ASSERT_NE(opened, nullptr);
    ASSERT_TRUE(opened->writeCell(SheetId{0}, 3, 20, "1").ok());
    ASSERT_TRUE(opened->save().ok());

    auto saved = Package::FromBytes(ReadFile(file), "saved");
    ASSERT_TRUE(saved.ok());
    EXPECT_EQ(saved->partNames(), package->partNames());  // replaced, not added beside it
    auto reread = OpenOrFail(app, file);
    ASSERT_NE(reread, nullptr);
    EXPECT_EQ(*reread->readCell(SheetId{0}, 3, 20), "1");
}

}  // namespace
}  // namespace tivaro::workbook::test
