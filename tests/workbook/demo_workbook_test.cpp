// The demo race workbook: the committed example is what the tool writes, and it holds the
// competitors other tests and the sample capture rely on.

#include <gtest/gtest.h>

#include "demo_workbook.h"
#include "support.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {
namespace {

const std::filesystem::path kExample =
    std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx";

TEST(DemoWorkbook, TheCommittedExampleHoldsWhatTheToolWrites) {
    auto made = demo::DemoWorkbookBytes();
    ASSERT_TRUE(made.ok()) << made.error().message;
    auto fresh = Package::FromBytes(*made, "made");
    auto committed = Package::FromBytes(ReadFile(kExample), kExample.string());
    ASSERT_TRUE(fresh.ok());
    ASSERT_TRUE(committed.ok()) << committed.error().message;
    ASSERT_EQ(fresh->partNames(), committed->partNames());
    for (const std::string& part : fresh->partNames()) {
        EXPECT_EQ(*fresh->read(part), *committed->read(part)) << part
                                                              << " differs: run "
                                                                 "tivaro-make-workbook "
                                                                 "examples/demo-race.xlsx";
    }
}

TEST(DemoWorkbook, SheetsCompetitorsAndTransponders) {
    ScratchDir dir;
    XlsxApp app(dir / "backup");
    auto book = OpenOrFail(app, kExample);
    ASSERT_NE(book, nullptr);
    EXPECT_EQ(book->sheetNames(), (std::vector<std::string>{"schaats", "loop", "fiets"}));
    EXPECT_EQ(*book->sheetName(*book->activeSheet()), "schaats");

    const SheetId schaats{0}, loop{1}, fiets{2};
    EXPECT_EQ(*book->readCell(schaats, 2, 1), "Rugnr.");
    EXPECT_EQ(*book->readCell(schaats, 2, 2), "Transponder");
    EXPECT_EQ(*book->readCell(schaats, 2, 6), "Start");
    EXPECT_EQ(*book->readCell(schaats, 2, 15), "Doork 9");
    EXPECT_EQ(*book->readCell(schaats, 2, 16), "Finish");
    EXPECT_EQ(*book->readCell(schaats, 2, 20), "Ronde");
    // Examples from the layout description, then every row by its rule.
    EXPECT_EQ(*book->readCell(schaats, 3, 2), "7404583");
    EXPECT_EQ(*book->readCell(schaats, 6, 2), "KX-04126");
    EXPECT_EQ(*book->readCell(loop, 6, 2), "KX-05126");
    EXPECT_EQ(*book->find(schaats, "B3:B200", "kx-04126"), 4);
    for (int sheet = 0; sheet < 3; ++sheet) {
        for (int i = 0; i < 20; ++i) {
            const int row = 3 + i;
            const SheetId id{sheet};
            const std::string bib = std::to_string(101 + 100 * sheet + i);
            EXPECT_EQ(*book->readCell(id, row, 1), bib);
            EXPECT_EQ(*book->readCell(id, row, 4), "Deelnemer " + bib);
            char code[16];
            if (i % 4 == 3) {
                std::snprintf(code, sizeof code, "KX-%05d", 4123 + 1000 * sheet + i);
            } else {
                std::snprintf(code, sizeof code, "%d", 7404583 + 1000 * sheet + i);
            }
            EXPECT_EQ(*book->readCell(id, row, 2), code);
            EXPECT_EQ(*book->find(id, "B3:B200", code), i + 1);
            EXPECT_EQ(*book->readCell(id, row, 3), sheet == 0 ? std::to_string(i % 5 + 1) : "");
            EXPECT_EQ(*book->readCell(id, row, 20), "");
        }
        EXPECT_EQ(*book->readCell(SheetId{sheet}, 23, 1), "");
    }
    EXPECT_EQ(*book->readCell(fiets, 1, 1), "Demo training Fietsen");
}

}  // namespace
}  // namespace tivaro::workbook::test
