// The embedded .xlsx engine on workbooks built from fuzzed parts, so that mutations reach the
// XML instead of dying at the zip checksums. The input is a list of operations and the XML of
// the parts, separated by lines "--part--": operations, workbook part, styles, shared strings,
// calculation chain, then up to six worksheets. An empty part is left out; the harness adds
// the content types and relationships. An input that starts as a zip file is opened as it is.
//
// The operations run on the opened workbook as a race does (activate a sheet, find, read a
// row, write cells and blocks, colour cells, save in between), then the saved file is opened
// again. Properties:
// - every failure comes back as a value with a message; a write to a cell that exists on a
//   sheet that was read never fails, and reads back at once as written;
// - a lookup gives the topmost cell of the block whose text equals the wanted one;
// - the save goes to the file itself, and the saved file opens again; every part the save
//   changed is XML that a strict reader (expat, with namespaces) takes, when the part it
//   replaced was;
// - there every text written reads back as written, every coloured cell has a solid fill of
//   its colour, and every other cell read before reads the same, or nothing when it holds a
//   formula (its cached result left out to be computed again);
// - memory stays bounded (run with -rss_limit_mb=2048) and nothing leaks.

#include <expat.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include <pugixml.hpp>

#include "decoder/codepage.h"
#include "scratch_folder.h"
#include "workbook/atomic_file.h"
#include "workbook/cell_address.h"
#include "workbook/match_index.h"
#include "workbook/package.h"
#include "workbook/styles.h"
#include "workbook/xlsx_app.h"
#include "workbook/xml_util.h"

namespace {

using namespace tivaro;
using namespace tivaro::workbook;
using fuzz::Check;

constexpr std::string_view kSeparator = "\n--part--\n";
constexpr std::size_t kMaxSheets = 6;
constexpr int kMaxOperations = 16;
// Cells read before the operations and compared after the reopen, from A1.
constexpr int kSnapshotRows = 30;
constexpr int kSnapshotColumns = 26;

const std::string kRel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
const std::string kType = "application/vnd.openxmlformats-officedocument.spreadsheetml.";

// Saves without flushing to disk: the files live in a scratch folder for one run.
class UnflushedWriter final : public FileWriter {
public:
    int write(int fd, const char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n < 0) {
                return errno;
            }
            data += n;
            size -= static_cast<std::size_t>(n);
        }
        return 0;
    }
    int sync(int) override { return 0; }
};

const std::filesystem::path& ScratchPath() {
    static const fuzz::ScratchFolder scratch("tivaro-fuzz-workbook");
    return scratch.path();
}

// The package: the fuzzed parts with the content types and relationships that name them.
// Relationship rIdN is worksheet N; rId7 the styles, rId8 the shared strings, rId9 the
// calculation chain.
std::optional<std::string> BuildFromParts(const std::vector<std::string_view>& parts) {
    const auto part = [&](std::size_t i) {
        return i < parts.size() ? parts[i] : std::string_view();
    };
    std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Types "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\"><Default "
        "Extension=\"rels\" ContentType=\"application/"
        "vnd.openxmlformats-package.relationships+xml\"/><Default Extension=\"xml\" "
        "ContentType=\"application/xml\"/><Override PartName=\"/xl/workbook.xml\" "
        "ContentType=\"" +
        kType + "sheet.main+xml\"/>";
    std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::vector<std::pair<std::string, std::string>> files;
    const auto add = [&](std::string_view xml, const std::string& name, const std::string& id,
                         const std::string& relType, const std::string& contentType) {
        if (xml.empty()) {
            return;
        }
        files.emplace_back("xl/" + name, std::string(xml));
        rels += "<Relationship Id=\"" + id + "\" Type=\"" + kRel + "/" + relType + "\" Target=\"" +
                name + "\"/>";
        types +=
            "<Override PartName=\"/xl/" + name + "\" ContentType=\"" + kType + contentType + "\"/>";
    };
    for (std::size_t sheet = 0; sheet < kMaxSheets; ++sheet) {
        const std::string n = std::to_string(sheet + 1);
        add(part(5 + sheet), "worksheets/sheet" + n + ".xml", "rId" + n, "worksheet",
            "worksheet+xml");
    }
    add(part(2), "styles.xml", "rId7", "styles", "styles+xml");
    add(part(3), "sharedStrings.xml", "rId8", "sharedStrings", "sharedStrings+xml");
    add(part(4), "calcChain.xml", "rId9", "calcChain", "calcChain+xml");
    files.insert(files.begin(),
                 {{"[Content_Types].xml", types + "</Types>"},
                  {"_rels/.rels",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                   "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                   "<Relationship Id=\"rId1\" Type=\"" +
                       kRel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                  {"xl/workbook.xml", std::string(part(1))},
                  {"xl/_rels/workbook.xml.rels", rels + "</Relationships>"}});
    auto bytes = BuildPackage(files);
    if (!bytes) {
        return std::nullopt;
    }
    return std::move(*bytes);
}

std::vector<std::string_view> SplitParts(std::string_view input) {
    std::vector<std::string_view> parts;
    for (;;) {
        const std::size_t at = input.find(kSeparator);
        parts.push_back(input.substr(0, at));
        if (at == std::string_view::npos || parts.size() == 5 + kMaxSheets) {
            return parts;
        }
        input.remove_prefix(at + kSeparator.size());
    }
}

// Rows and columns mostly where the race works, sometimes at and past the sheet's edges.
int PickRow(FuzzedDataProvider& in) {
    const auto pick = in.ConsumeIntegral<std::uint8_t>();
    switch (pick) {
        case 255:
            return kMaxRow + 1;
        case 254:
            return kMaxRow;
        case 253:
            return 0;
        default:
            return 1 + pick % 40;
    }
}

int PickColumn(FuzzedDataProvider& in) {
    const auto pick = in.ConsumeIntegral<std::uint8_t>();
    switch (pick) {
        case 255:
            return kMaxColumn + 1;
        case 254:
            return kMaxColumn;
        case 253:
            return 0;
        default:
            return 1 + pick % 30;
    }
}

bool Exists(int row, int column) {
    return row >= 1 && row <= kMaxRow && column >= 1 && column <= kMaxColumn;
}

// Texts as the race writes them: UTF-8 of decoder characters (Windows-1252), so any control
// character, "_x0041_" look-alikes and spaces at either end.
std::string PickText(FuzzedDataProvider& in) {
    return decoder::Cp1252ToUtf8(in.ConsumeRandomLengthString(24));
}

std::string Folded(std::string_view text) {
    std::string out;
    FoldCase(text, out);
    return out;
}

using CellKey = std::tuple<int, int, int>;  // sheet, row, column

struct Expectations {
    std::map<CellKey, std::string> written;
    std::map<CellKey, std::uint32_t> coloured;
    std::map<CellKey, std::string> before;  // read before the operations
    std::vector<bool> snapshotTaken;
};

// Reads the cells of the sheet's corner; false for a sheet without cells (a chart sheet).
bool TakeSnapshot(Workbook& book, SheetId sheet, Expectations& expect) {
    if (expect.snapshotTaken[sheet.index]) {
        return true;
    }
    for (int row = 1; row <= kSnapshotRows; ++row) {
        const auto cells = book.readRow(sheet, row, kSnapshotColumns);
        if (!cells) {
            Check(row == 1 && !cells.error().message.empty());
            return false;
        }
        for (int column = 1; column <= kSnapshotColumns; ++column) {
            expect.before[{sheet.index, row, column}] = (*cells)[column - 1];
        }
    }
    expect.snapshotTaken[sheet.index] = true;
    return true;
}

// A lookup's answer against the cells themselves: the topmost cell of the block that reads
// as the wanted text, ignoring case. Booleans and error values take no part in lookups, so
// cells that read like them are passed over.
void CheckFind(Workbook& book, SheetId sheet, int column, int first, int last,
               std::string_view text) {
    const std::string range = CellName(first, column) + ":" + CellName(last, column);
    const Result<int> found = book.find(sheet, range, text);
    Check(found.ok() || (found.error().code == Errc::NotFound && !found.error().message.empty()));
    const std::string wanted = Folded(text);
    for (int row = first; row <= last; ++row) {
        const Result<std::string> cell = book.readCell(sheet, row, column);
        Check(cell.ok());
        if (found && row - first + 1 == *found) {
            Check(Folded(*cell) == wanted);
            return;
        }
        const bool special = *cell == "TRUE" || *cell == "FALSE" || cell->starts_with('#');
        Check(wanted.empty() || special || Folded(*cell) != wanted);
    }
    Check(!found);
}

struct Session {
    Workbook& book;
    Expectations& expect;
    std::optional<SheetId> sheet;  // the sheet the operations work on
};

// Runs one operation; false when the run ends (a save failed).
bool RunOperation(FuzzedDataProvider& in, Session& s) {
    Workbook& book = s.book;
    const std::vector<std::string> names = book.sheetNames();
    const auto kind = in.ConsumeIntegralInRange<int>(0, 7);
    if (kind == 0 || !s.sheet) {
        // Activate a sheet by its name in other case, as the sport box does.
        std::string name = names[in.ConsumeIntegralInRange<std::size_t>(0, names.size() - 1)];
        if (in.ConsumeBool()) {
            for (char& ch : name) {
                ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
            }
        }
        const Status activated = book.activate(name);
        if (!activated) {
            Check(!activated.error().message.empty());
            s.sheet.reset();
            return true;
        }
        const Result<SheetId> active = book.activeSheet();
        Check(active.ok());
        s.sheet = *active;
        if (!TakeSnapshot(book, *s.sheet, s.expect)) {
            s.sheet.reset();
        }
        return true;
    }
    const SheetId sheet = *s.sheet;
    switch (kind) {
        case 1:
        case 2: {
            const int row = PickRow(in);
            const int column = PickColumn(in);
            const std::string text = PickText(in);
            const Status written = book.writeCell(sheet, row, column, text);
            Check(written.ok() == Exists(row, column));
            if (written) {
                s.expect.written[{sheet.index, row, column}] = text;
                const Result<std::string> back = book.readCell(sheet, row, column);
                Check(back.ok() && *back == text);
            } else {
                Check(!written.error().message.empty());
            }
            break;
        }
        case 3: {
            const int column = PickColumn(in);
            const int first = PickRow(in);
            const int last = first + in.ConsumeIntegralInRange<int>(0, 30);
            const std::string text = PickText(in);
            const std::string range = CellName(first, column) + ":" + CellName(last, column);
            const Status written = book.writeRange(sheet, range, text);
            Check(written.ok() == (Exists(first, column) && Exists(last, column)));
            if (written) {
                for (int row = first; row <= last; ++row) {
                    s.expect.written[{sheet.index, row, column}] = text;
                }
            } else {
                Check(!written.error().message.empty());
            }
            break;
        }
        case 4: {
            const int row = PickRow(in);
            const int column = PickColumn(in);
            const auto colour = in.ConsumeIntegralInRange<std::uint32_t>(0, 0x1000000);
            const Status coloured = book.colourCell(sheet, row, column, colour);
            if (coloured) {
                s.expect.coloured[{sheet.index, row, column}] = colour;
            } else {
                Check(!coloured.error().message.empty());
            }
            break;
        }
        case 5: {
            const int column = 1 + in.ConsumeIntegralInRange<int>(0, 29);
            const int first = 1 + in.ConsumeIntegralInRange<int>(0, 39);
            const int last = first + in.ConsumeIntegralInRange<int>(0, 40);
            // The text of a cell of the block, or another.
            std::string text = PickText(in);
            if (in.ConsumeBool()) {
                const Result<std::string> cell =
                    book.readCell(sheet, in.ConsumeIntegralInRange<int>(first, last), column);
                Check(cell.ok());
                text = *cell;
            }
            CheckFind(book, sheet, column, first, last, text);
            break;
        }
        case 6: {
            const int row = 1 + in.ConsumeIntegralInRange<int>(0, 39);
            const int last = in.ConsumeIntegralInRange<int>(1, 30);
            const auto cells = book.readRow(sheet, row, last);
            Check(cells.ok() && cells->size() == static_cast<std::size_t>(last));
            for (int column = 1; column <= last; ++column) {
                Check((*cells)[column - 1] == *book.readCell(sheet, row, column));
            }
            break;
        }
        default: {
            const Result<SaveReport> saved = book.save();
            if (!saved) {
                Check(!saved.error().message.empty());
                return false;
            }
            Check(saved->writtenTo == book.path() && !book.hasUnsavedChanges());
            break;
        }
    }
    return true;
}

// The saved package's parts that tell how a cell is filled.
struct SavedParts {
    std::unique_ptr<pugi::xml_document> workbook;
    std::unique_ptr<pugi::xml_document> styles;
    std::map<std::string, std::unique_ptr<pugi::xml_document>> sheets;
};

std::unique_ptr<pugi::xml_document> ReadXml(const Package& package, const std::string& part) {
    auto bytes = package.read(part);
    Check(bytes.ok());
    auto document = ParseXmlPart(part, *bytes);
    Check(document.ok());
    return std::move(*document);
}

// The part of sheet `index`, by its relationship id (rIdN is worksheet N).
std::string SheetPart(const pugi::xml_document& workbook, int index) {
    pugi::xml_node sheet = Child(Child(workbook.document_element(), "sheets"), "sheet");
    for (int i = 0; i < index && sheet; ++i) {
        sheet = NextSibling(sheet, "sheet");
    }
    Check(static_cast<bool>(sheet));
    for (const pugi::xml_attribute attribute : sheet.attributes()) {
        const std::string_view name = attribute.name();
        if (name.find(':') != std::string_view::npos && LocalName(attribute.name()) == "id") {
            return "xl/worksheets/sheet" + std::string(attribute.value()).substr(3) + ".xml";
        }
    }
    std::abort();
}

// The <c> element of a cell in a worksheet part; an empty node when there is none. A row
// and a cell without an address follow the one before; a cell's row is its row element's.
pugi::xml_node CellNode(const pugi::xml_document& sheet, int row, int column) {
    const pugi::xml_node data = Child(sheet.document_element(), "sheetData");
    int r = 0;
    for (pugi::xml_node rowNode = Child(data, "row"); rowNode;
         rowNode = NextSibling(rowNode, "row")) {
        r = rowNode.attribute("r") ? rowNode.attribute("r").as_int() : r + 1;
        if (r != row) {
            continue;
        }
        int c = 0;
        for (pugi::xml_node cell = Child(rowNode, "c"); cell; cell = NextSibling(cell, "c")) {
            const auto address = ParseCellRef(cell.attribute("r").value());
            c = address ? address->column : c + 1;
            if (c == column) {
                return cell;
            }
        }
    }
    return {};
}

// The n-th element of that local name under `list`.
pugi::xml_node Nth(pugi::xml_node list, std::string_view name, long n) {
    pugi::xml_node node = Child(list, name);
    for (long i = 0; i < n && node; ++i) {
        node = NextSibling(node, name);
    }
    return node;
}

// Whether a formula gives the cell its value: its own, or an array formula (or data table)
// that fills a block the cell lies in.
bool FormulaGivesValue(const pugi::xml_document& sheet, int row, int column) {
    if (Child(CellNode(sheet, row, column), "f")) {
        return true;
    }
    const pugi::xml_node data = Child(sheet.document_element(), "sheetData");
    for (pugi::xml_node r = Child(data, "row"); r; r = NextSibling(r, "row")) {
        for (pugi::xml_node c = Child(r, "c"); c; c = NextSibling(c, "c")) {
            const pugi::xml_node f = Child(c, "f");
            const std::string_view type = f.attribute("t").value();
            if (f && (type == "array" || type == "dataTable")) {
                const auto block = ParseBlock(f.attribute("ref").value());
                if (block && row >= block->first.row && row <= block->last.row &&
                    column >= block->first.column && column <= block->last.column) {
                    return true;
                }
            }
        }
    }
    return false;
}

bool HasSolidFill(const SavedParts& saved, pugi::xml_node cell, std::uint32_t colour) {
    const pugi::xml_node root = saved.styles->document_element();
    const pugi::xml_node format =
        Nth(Child(root, "cellXfs"), "xf", cell.attribute("s").as_llong(0));
    const pugi::xml_node fill =
        Nth(Child(root, "fills"), "fill", format.attribute("fillId").as_llong(-1));
    const pugi::xml_node pattern = Child(fill, "patternFill");
    return format && fill &&
           std::string_view(pattern.attribute("patternType").value()) == "solid" &&
           Folded(Child(pattern, "fgColor").attribute("rgb").value()) == Folded(ArgbText(colour));
}

// `partsKnown`: the package was built here, so its part names are known.
// Whether a strict XML reader takes `xml`: well-formed, every character allowed, every
// namespace prefix bound.
bool StrictlyWellFormed(std::string_view xml) {
    XML_Parser parser = XML_ParserCreateNS(nullptr, '\x01');
    const bool taken =
        XML_Parse(parser, xml.data(), static_cast<int>(xml.size()), XML_TRUE) == XML_STATUS_OK;
    XML_ParserFree(parser);
    return taken;
}

void CheckSavedXml(const std::string& original, const std::filesystem::path& file) {
    auto before = Package::FromBytes(original, "before");
    auto bytes = ReadWholeFile(file);
    Check(before.ok() && bytes.ok());
    auto after = Package::FromBytes(std::move(*bytes), file.string());
    Check(after.ok());
    for (const std::string& name : after->partNames()) {
        if (!name.ends_with(".xml") && !name.ends_with(".rels")) {
            continue;
        }
        std::optional<std::string> was;
        if (before->contains(name)) {
            auto read = before->read(name);
            if (!read) {
                continue;  // damaged, never read, and copied as it was
            }
            was = std::move(*read);
        }
        auto now = after->read(name);
        Check(now.ok());
        if (!was || (*was != *now && StrictlyWellFormed(*was))) {
            Check(StrictlyWellFormed(*now));
        }
    }
}

void CheckReopened(const std::filesystem::path& file, const std::vector<std::string>& names,
                   const Expectations& expect, bool partsKnown) {
    UnflushedWriter writer;
    XlsxApp app(ScratchPath() / "backup", writer);
    auto reopened = app.open(file);
    Check(reopened.ok());  // the engine reads what it wrote
    Workbook& book = **reopened;
    Check(book.sheetNames() == names);

    auto bytes = ReadWholeFile(file);
    Check(bytes.ok());
    auto package = Package::FromBytes(std::move(*bytes), file.string());
    Check(package.ok());
    SavedParts saved;
    saved.workbook = ReadXml(*package, "xl/workbook.xml");
    const auto sheetXml = [&](int index) -> const pugi::xml_document& {
        const std::string part = SheetPart(*saved.workbook, index);
        auto& document = saved.sheets[part];
        if (!document) {
            document = ReadXml(*package, part);
        }
        return *document;
    };

    for (const auto& [key, text] : expect.written) {
        const auto& [sheet, row, column] = key;
        const Result<std::string> back = book.readCell(SheetId{sheet}, row, column);
        Check(back.ok() && *back == text);
    }
    if (!partsKnown) {
        return;
    }
    if (!expect.coloured.empty()) {
        saved.styles = ReadXml(*package, "xl/styles.xml");
    }
    for (const auto& [key, colour] : expect.coloured) {
        const auto& [sheet, row, column] = key;
        const pugi::xml_node cell = CellNode(sheetXml(sheet), row, column);
        Check(cell && HasSolidFill(saved, cell, colour));
    }
    for (const auto& [key, text] : expect.before) {
        if (expect.written.contains(key)) {
            continue;
        }
        const auto& [sheet, row, column] = key;
        const Result<std::string> now = book.readCell(SheetId{sheet}, row, column);
        Check(now.ok());
        if (*now != text) {
            // Only a formula's cached result may have been left out, to be computed again.
            Check(now->empty() && FormulaGivesValue(sheetXml(sheet), row, column));
        }
    }
}

void RunOnFile(const std::filesystem::path& file, const std::string& original,
               FuzzedDataProvider& in, bool partsKnown) {
    UnflushedWriter writer;
    XlsxApp app(ScratchPath() / "backup", writer);
    auto opened = app.open(file);
    if (!opened) {
        Check(!opened.error().message.empty());  // every failure says what went wrong
        return;
    }
    Workbook& book = **opened;
    const std::vector<std::string> names = book.sheetNames();
    Check(!names.empty());

    Expectations expect;
    expect.snapshotTaken.assign(names.size(), false);
    Session session{book, expect, std::nullopt};
    for (int i = 0; i < kMaxOperations && in.remaining_bytes() > 0; ++i) {
        if (!RunOperation(in, session)) {
            return;
        }
    }
    const Result<SaveReport> saved = book.save();
    if (!saved) {
        Check(!saved.error().message.empty());
        return;
    }
    Check(saved->writtenTo == file);
    CheckSavedXml(original, file);
    CheckReopened(file, names, expect, partsKnown);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view input(reinterpret_cast<const char*>(data), size);
    const std::filesystem::path& folder = ScratchPath();
    std::error_code ignored;
    std::filesystem::remove_all(folder / "backup", ignored);
    const std::filesystem::path file = folder / "race.xlsx";

    std::string bytes;
    std::string_view operations = input;
    const bool zip = input.starts_with("PK");
    if (zip) {
        bytes.assign(input);
    } else {
        const std::vector<std::string_view> parts = SplitParts(input);
        auto built = BuildFromParts(parts);
        if (!built) {
            return 0;
        }
        bytes = std::move(*built);
        operations = parts[0];
    }
    UnflushedWriter writer;
    Check(ReplaceFileAtomically(file, bytes, writer).ok());
    FuzzedDataProvider in(reinterpret_cast<const std::uint8_t*>(operations.data()),
                          operations.size());
    RunOnFile(file, bytes, in, !zip);
    return 0;
}
