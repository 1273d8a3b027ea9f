// Files the engine cannot take: each gets an error that names the file and the reason.

#include <gtest/gtest.h>

#include "support.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

class BadInputTest : public ::testing::Test {
protected:
    // Opening must fail with `code` and a message holding the file's name and `reason`.
    void expectRefused(const std::filesystem::path& file, Errc code, const std::string& reason) {
        auto opened = app_.open(file);
        ASSERT_FALSE(opened.ok()) << file;
        EXPECT_EQ(opened.error().code, code) << opened.error().message;
        EXPECT_NE(opened.error().message.find(file.filename().string()), std::string::npos)
            << opened.error().message;
        EXPECT_NE(opened.error().message.find(reason), std::string::npos)
            << "expected \"" << reason << "\" in: " << opened.error().message;
    }

    std::string goodPackage() {
        HandMadeWorkbook book;
        book.sheets = {{"schaats", SheetXml("<row r=\"3\"><c r=\"A3\"><v>101</v></c></row>")}};
        return BuildHandMade(book);
    }

    ScratchDir dir_;
    XlsxApp app_{dir_ / "backup"};
};

TEST_F(BadInputTest, MissingOrUnreadableFile) {
    expectRefused(dir_ / "absent.xlsx", Errc::Io, "bestaat niet");
    std::filesystem::create_directory(dir_ / "folder.xlsx");
    expectRefused(dir_ / "folder.xlsx", Errc::Io, "folder.xlsx");
}

TEST_F(BadInputTest, NotAZipPackage) {
    WriteFile(dir_ / "notes.xlsx", "Rugnr.;Transponder\n101;7404583\n");
    expectRefused(dir_ / "notes.xlsx", Errc::BadFormat, "geen zip-pakket");
    WriteFile(dir_ / "empty.xlsx", "");
    expectRefused(dir_ / "empty.xlsx", Errc::BadFormat, "empty.xlsx");
}

TEST_F(BadInputTest, DamagedPackages) {
    const std::string good = goodPackage();
    // Cut off: the central directory is gone.
    WriteFile(dir_ / "cut.xlsx", good.substr(0, good.size() / 2));
    expectRefused(dir_ / "cut.xlsx", Errc::BadFormat, "cut.xlsx");

    // A flipped byte inside the compressed sheet: the checksum or the inflater catches it
    // when the workbook is opened, as every part is checked then.
    std::string flipped = good;
    const std::size_t sheet = flipped.find("xl/worksheets/sheet1.xml");
    ASSERT_NE(sheet, std::string::npos);
    flipped[sheet + 30] = static_cast<char>(flipped[sheet + 30] ^ 0x55);
    WriteFile(dir_ / "flipped.xlsx", flipped);
    expectRefused(dir_ / "flipped.xlsx", Errc::BadFormat,
                  "xl/worksheets/sheet1.xml (werkblad \"schaats\")");
    expectRefused(dir_ / "flipped.xlsx", Errc::BadFormat, "beschadigd");
}

TEST_F(BadInputTest, PackagesWithoutTheWorkbookOrASheet) {
    auto noWorkbook = BuildPackage({{"[Content_Types].xml", "<Types/>"}, {"hello.txt", "hi"}});
    ASSERT_TRUE(noWorkbook.ok());
    WriteFile(dir_ / "other.xlsx", *noWorkbook);
    expectRefused(dir_ / "other.xlsx", Errc::BadFormat, "onderdeel xl/workbook.xml ontbreekt");

    HandMadeWorkbook book;
    book.sheets = {{"schaats", SheetXml("")}};
    book.workbookRels =
        "<Relationship Id=\"rIdX\" Type=\"http://schemas.openxmlformats.org/officeDocument/"
        "2006/relationships/worksheet\" Target=\"worksheets/missing.xml\"/>";
    std::string bytes = BuildHandMade(book);
    // A sheet listed in the workbook whose part is not in the package.
    auto withGhost = Package::FromBytes(bytes, "x");
    ASSERT_TRUE(withGhost.ok());
    auto book2 = withGhost->read("xl/workbook.xml");
    ASSERT_TRUE(book2.ok());
    std::string ghostBook = *book2;
    ghostBook.replace(ghostBook.find("</sheets>"), 0,
                      "<sheet name=\"loop\" sheetId=\"9\" r:id=\"rIdX\"/>");
    auto rebuilt = withGhost->rebuild({{"xl/workbook.xml", ghostBook}}, {});
    ASSERT_TRUE(rebuilt.ok());
    WriteFile(dir_ / "ghost.xlsx", *rebuilt);
    expectRefused(dir_ / "ghost.xlsx", Errc::BadFormat, "werkblad \"loop\"");

    // The sheet the workbook opens on is read at once: a damaged one refuses the workbook.
    auto broken = withGhost->rebuild({{"xl/worksheets/sheet1.xml", "<worksheet><sheetData>"}}, {});
    ASSERT_TRUE(broken.ok());
    WriteFile(dir_ / "broken.xlsx", *broken);
    expectRefused(dir_ / "broken.xlsx", Errc::BadFormat, "Werkblad \"schaats\"");
    expectRefused(dir_ / "broken.xlsx", Errc::BadFormat, "geen geldige XML");
}

TEST_F(BadInputTest, TwoSheetsOnOnePartAreRefused) {
    // Writes to one of them would be lost when the other's version of the part is saved.
    auto package = Package::FromBytes(goodPackage(), "x");
    ASSERT_TRUE(package.ok());
    auto book = package->read("xl/workbook.xml");
    ASSERT_TRUE(book.ok());
    book->replace(book->find("</sheets>"), 0,
                  "<sheet name=\"loop\" sheetId=\"9\" r:id=\"rIdSheet1\"/>");
    auto rebuilt = package->rebuild({{"xl/workbook.xml", *book}}, {});
    ASSERT_TRUE(rebuilt.ok());
    WriteFile(dir_ / "shared.xlsx", *rebuilt);
    expectRefused(dir_ / "shared.xlsx", Errc::BadFormat,
                  "de werkbladen \"schaats\" en \"loop\" gebruiken hetzelfde onderdeel");
}

TEST_F(BadInputTest, ADamagedSheetIsRefusedWhenOpenedWhetherARaceUsesItOrNot) {
    // Damage found later would come in the middle of a race, or be copied into every save.
    HandMadeWorkbook book;
    book.sheets = {{"schaats", SheetXml("<row r=\"3\"><c r=\"B3\"><v>7404583</v></c></row>")},
                   {"loop", SheetXml("<row r=\"3\"><c r=\"B3\"><v>7405583</v></c></row>")}};
    auto package = Package::FromBytes(BuildHandMade(book), "x");
    ASSERT_TRUE(package.ok());
    auto broken = package->rebuild({{"xl/worksheets/sheet2.xml", "<worksheet><sheetData>"}}, {});
    ASSERT_TRUE(broken.ok());
    WriteFile(dir_ / "race.xlsx", *broken);
    for (const char* part : {"Werkblad \"loop\"", "geen geldige XML", "race.xlsx"}) {
        expectRefused(dir_ / "race.xlsx", Errc::BadFormat, part);
    }
}

TEST_F(BadInputTest, OtherSpreadsheetFormatsPointToLibreOfficeCalc) {
    const std::string ole2("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1\0\0\0\0", 12);
    WriteFile(dir_ / "race.xls", ole2 + std::string(500, '\0'));
    expectRefused(dir_ / "race.xls", Errc::BadFormat, "Excel 97-2003-werkmap (.xls)");
    expectRefused(dir_ / "race.xls", Errc::BadFormat, "LibreOffice Calc");
    // An .xlsx with a password is such a container too.
    WriteFile(dir_ / "locked.xlsx", ole2 + std::string(500, '\0'));
    expectRefused(dir_ / "locked.xlsx", Errc::BadFormat, "wachtwoord");

    auto ods = BuildPackage({{"mimetype", "application/vnd.oasis.opendocument.spreadsheet"},
                             {"content.xml", "<office:document-content/>"}});
    ASSERT_TRUE(ods.ok());
    WriteFile(dir_ / "race.ods", *ods);
    expectRefused(dir_ / "race.ods", Errc::BadFormat, "OpenDocument-rekenblad (.ods)");
    // Named .xlsx, still told apart by its content.
    WriteFile(dir_ / "renamed.xlsx", *ods);
    expectRefused(dir_ / "renamed.xlsx", Errc::BadFormat, "LibreOffice Calc");
    WriteFile(dir_ / "garbage.ods", "not a zip");
    expectRefused(dir_ / "garbage.ods", Errc::BadFormat, ".ods");
}

}  // namespace
}  // namespace tivaro::workbook::test
