// Packages that lie about their sizes, entry counts and checksums, or that are simply too big:
// each is refused with a message naming the part and the cap, before memory is taken for what
// the headers claim. The caps are made small here so that small packages cross them.

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <optional>

#include "support.h"
#include "workbook/package.h"
#include "workbook/xlsx_app.h"
#include "workbook/xml_util.h"

namespace tivaro::workbook::test {
namespace {

void Put32(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) {
        bytes[at + static_cast<std::size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    }
}

std::uint32_t Get32(const std::string& bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) {
        value = (value << 8) | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
    }
    return value;
}

// Rewrites what the central directory entry and the local header of `part` declare, alike
// in both so that only the data can tell the lie.
void Declare(std::string& zip, const std::string& part, std::optional<std::uint32_t> size,
             std::optional<std::uint32_t> crc) {
    for (std::size_t at = zip.find("PK\x01\x02"); at != std::string::npos;
         at = zip.find("PK\x01\x02", at + 4)) {
        const std::size_t nameLength = Get32(zip, at + 28) & 0xFFFF;
        if (zip.compare(at + 46, nameLength, part) != 0) {
            continue;
        }
        const std::size_t local = Get32(zip, at + 42);
        if (size) {
            Put32(zip, at + 24, *size);
            Put32(zip, local + 22, *size);
        }
        if (crc) {
            Put32(zip, at + 16, *crc);
            Put32(zip, local + 14, *crc);
        }
        return;
    }
    ADD_FAILURE() << "no part " << part;
}

std::string Parts(int count, std::size_t size) {
    std::vector<std::pair<std::string, std::string>> parts;
    for (int i = 0; i < count; ++i) {
        parts.emplace_back("part" + std::to_string(i) + ".xml", std::string(size, 'x'));
    }
    auto bytes = BuildPackage(parts);
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? *bytes : std::string{};
}

void ExpectMessage(const Error& error, std::initializer_list<const char*> fragments) {
    EXPECT_EQ(error.code, Errc::BadFormat) << error.message;
    for (const char* fragment : fragments) {
        EXPECT_NE(error.message.find(fragment), std::string::npos)
            << "expected \"" << fragment << "\" in: " << error.message;
    }
}

TEST(PackageLimits, FileSizeEntryCountAndDeclaredSizesAreCheckedAgainstTheCaps) {
    PackageLimits limits;
    limits.fileBytes = 4000;
    limits.parts = 3;
    limits.partBytes = 1000;
    limits.totalBytes = 2500;

    auto big = Package::FromBytes(Parts(1, 100) + std::string(4000, '\0'), "big", limits);
    ASSERT_FALSE(big.ok());
    ExpectMessage(big.error(), {"te groot", "big"});

    auto many = Package::FromBytes(Parts(4, 10), "many", limits);
    ASSERT_FALSE(many.ok());
    ExpectMessage(many.error(), {"4 onderdelen", "grens van 3"});

    // One part over the part cap: named with its sheet, and refused by read() as well.
    auto oversized = Package::FromBytes(Parts(2, 1001), "oversized", limits);
    ASSERT_TRUE(oversized.ok()) << oversized.error().message;
    const auto declared = oversized->checkDeclaredSizes({{"part1.xml", "loop"}});
    ASSERT_FALSE(declared.ok());
    ExpectMessage(declared.error(), {"part0.xml", "grens van 1000 bytes"});
    const auto second = Package::FromBytes(Parts(2, 1001), "x", limits)
                            ->checkDeclaredSizes({{"part0.xml", "loop"}});
    ExpectMessage(second.error(), {"part0.xml (werkblad \"loop\")"});
    ExpectMessage(oversized->read("part1.xml").error(), {"part1.xml", "1000 bytes"});

    // Each part within its cap, all three together over the total.
    auto total = Package::FromBytes(Parts(3, 900), "total", limits);
    ASSERT_TRUE(total.ok());
    ExpectMessage(total->checkDeclaredSizes({}).error(), {"samen", "2700 bytes", "2500 bytes"});
    EXPECT_TRUE(Package::FromBytes(Parts(3, 800), "fits", limits)->checkDeclaredSizes({}).ok());
}

TEST(PackageLimits, AnEntryCountThatCannotBeTrueIsRefusedBeforeTheDirectoryIsRead) {
    std::string zip = Parts(2, 10);
    const std::size_t end = zip.rfind("PK\x05\x06");
    ASSERT_NE(end, std::string::npos);
    // 65535 entries in a directory of two: over the cap, or (with a larger cap) more than
    // the directory has room for.
    std::string lying = zip;
    Put32(lying, end + 8, 0xFFFFFFFFu);
    ExpectMessage(Package::FromBytes(lying, "lying").error(), {"65535 onderdelen", "10000"});
    PackageLimits roomy;
    roomy.parts = 100'000;
    ExpectMessage(Package::FromBytes(lying, "lying", roomy).error(), {"inhoudsopgave", "65535"});
    // A directory that would reach past the end of the file.
    std::string past = zip;
    Put32(past, end + 12, 1u << 30);
    ExpectMessage(Package::FromBytes(past, "past").error(), {"inhoudsopgave"});
}

TEST(PackageLimits, DataThatDisagreesWithItsHeadersIsRefused) {
    const std::string content(5000, 'x');
    auto zip = BuildPackage({{"a.xml", content}, {"b.xml", "b"}});
    ASSERT_TRUE(zip.ok());

    // Headers that claim less than the data holds: reading stops one byte past the claim.
    std::string less = *zip;
    Declare(less, "a.xml", 100, std::nullopt);
    auto package = Package::FromBytes(less, "less");
    ASSERT_TRUE(package.ok()) << package.error().message;
    ExpectMessage(package->read("a.xml").error(), {"a.xml", "meer dan de 100 bytes"});
    EXPECT_TRUE(package->read("b.xml").ok());

    // Headers that claim more (within the cap): the data falls short of it.
    std::string more = *zip;
    Declare(more, "a.xml", 1u << 20, std::nullopt);
    ExpectMessage(Package::FromBytes(more, "more")->read("a.xml").error(),
                  {"a.xml", "5000 bytes in plaats van de 1,0 MiB"});

    // A claim of 4 GB is over the part cap: refused without inflating or reserving anything.
    std::string huge = *zip;
    Declare(huge, "a.xml", 4'000'000'000u, std::nullopt);
    ExpectMessage(Package::FromBytes(huge, "huge")->read("a.xml").error(),
                  {"a.xml", "3,7 GiB", "32,0 MiB"});

    std::string crc = *zip;
    Declare(crc, "a.xml", std::nullopt, 0x12345678u);
    ExpectMessage(Package::FromBytes(crc, "crc")->read("a.xml").error(),
                  {"a.xml", "controlegetal (CRC)"});
}

TEST(XmlLimits, EntitiesAreNeverExpandedAndADocumentTypeIsRefused) {
    std::string laughs = "<?xml version=\"1.0\"?><!DOCTYPE t [<!ENTITY l0 \"lol\">";
    for (int level = 1; level <= 9; ++level) {
        laughs += "<!ENTITY l" + std::to_string(level) + " \"";
        for (int i = 0; i < 10; ++i) {
            laughs += "&l" + std::to_string(level - 1) + ";";
        }
        laughs += "\">";
    }
    laughs += "]><t>&l9;</t>";
    ExpectMessage(ParseXmlPart("xl/worksheets/sheet1.xml", laughs).error(),
                  {"xl/worksheets/sheet1.xml", "<!DOCTYPE>"});

    // Without the declarations the reference stays the text it is.
    auto plain = ParseXmlPart("p", "<t>&l9;</t>");
    ASSERT_TRUE(plain.ok()) << plain.error().message;
    EXPECT_STREQ((*plain)->document_element().text().get(), "&l9;");
}

TEST(XmlLimits, APartWithMoreTagsThanTheCapIsRefusedUnparsed) {
    std::string many = "<r>";
    for (std::uint64_t i = 0; i + 1 < kMaxXmlTags; ++i) {
        many += "<c/>";
    }
    many += "</r>";
    ExpectMessage(ParseXmlPart("xl/worksheets/sheet2.xml", many).error(),
                  {"xl/worksheets/sheet2.xml", "XML-tags", std::to_string(kMaxXmlTags).c_str()});
    many.erase(many.size() - 8, 4);  // one "<c/>" fewer: within the cap
    EXPECT_TRUE(ParseXmlPart("p", many).ok());
}

// Writes like the system until told to run out of memory.
class ThrowingWriter final : public FileWriter {
public:
    bool outOfMemory = false;
    int write(int fd, const char* data, std::size_t size) override {
        if (outOfMemory) {
            throw std::bad_alloc();
        }
        return SystemFileWriter().write(fd, data, size);
    }
    int sync(int fd) override { return SystemFileWriter().sync(fd); }
};

TEST(EngineGuard, AnExceptionInsideTheEngineComesOutAsAnErrorAndLeavesNothingBehind) {
    ScratchDir dir;
    HandMadeWorkbook book;
    book.sheets = {{"loop", SheetXml("<row r=\"3\"><c r=\"B3\"><v>7405583</v></c></row>")}};
    const std::string original = BuildHandMade(book);
    WriteFile(dir / "race.xlsx", original);
    ThrowingWriter writer;
    XlsxApp app(dir / "backup", writer);
    auto opened = app.open(dir / "race.xlsx");
    ASSERT_TRUE(opened.ok()) << opened.error().message;
    Workbook& workbook = **opened;
    ASSERT_TRUE(workbook.writeCell(SheetId{0}, 3, 6, "10:00:01.00").ok());

    writer.outOfMemory = true;
    const auto failed = workbook.save();
    ASSERT_FALSE(failed.ok());
    EXPECT_EQ(failed.error().code, Errc::Failed);
    EXPECT_NE(failed.error().message.find("te weinig geheugen"), std::string::npos)
        << failed.error().message;
    EXPECT_NE(failed.error().message.find("race.xlsx"), std::string::npos);
    EXPECT_TRUE(workbook.hasUnsavedChanges());
    EXPECT_EQ(ReadFile(dir / "race.xlsx"), original);
    for (const auto& folder : {dir.path(), dir / "backup"}) {
        for (const auto& entry : std::filesystem::directory_iterator(folder)) {
            EXPECT_FALSE(entry.path().filename().string().starts_with(".")) << entry.path();
        }
    }

    writer.outOfMemory = false;
    ASSERT_TRUE(workbook.save().ok());
    EXPECT_EQ(*workbook.readCell(SheetId{0}, 3, 6), "10:00:01.00");
}

}  // namespace
}  // namespace tivaro::workbook::test
