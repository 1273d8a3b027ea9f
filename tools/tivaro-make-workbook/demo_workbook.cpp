#include "demo_workbook.h"

#include <cstdio>
#include <map>
#include <sstream>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "workbook/cell_address.h"
#include "workbook/package.h"

namespace tivaro::demo {

namespace {

using workbook::CellName;
using workbook::ColumnName;

constexpr const char* kMainNs = "http://schemas.openxmlformats.org/spreadsheetml/2006/main";
constexpr const char* kRelNs =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
constexpr const char* kRelTypes =
    "http://schemas.openxmlformats.org/officeDocument/2006/relationships/";
constexpr int kCompetitors = 20;
constexpr int kFirstRow = 3;
// Where the program writes: the start time in F, lap k ends in F + k, the finish in the
// sport's own column; the lap counter in T. The lap times and the total follow from U.
constexpr int kStartColumn = 6;
constexpr int kCounterColumn = 20;
constexpr int kLapTimeColumn = 21;

// Cell formats of the styles part below.
constexpr int kHeadingStyle = 1;
constexpr int kTitleStyle = 2;
constexpr int kTimeStyle = 3;

struct Sport {
    const char* sheet;
    const char* title;
    int finishColumn;  // K running, N cycling, P skating: the start column + the most laps
    bool heats;
    bool allLaps;  // every race runs the most laps; otherwise a race picks its lap count

    int maxLaps() const { return finishColumn - kStartColumn; }
};

const Sport kSports[] = {
    {"schaats", "Demo training Schaatsen", 16, true, true},
    {"loop", "Demo training Lopen", 11, false, false},
    {"fiets", "Demo training Fietsen", 14, false, false},
};

const char* const kClubs[] = {"IJsclub De Vaart", "STG Noorderlicht", "AV De Sprinters",
                              "WTC De Trappers", "Sportclub Oost"};

std::string ToXml(const pugi::xml_document& document) {
    std::ostringstream out;
    document.save(out, "", pugi::format_raw, pugi::encoding_utf8);
    return out.str();
}

pugi::xml_node Root(pugi::xml_document& document, const char* name, const char* ns) {
    pugi::xml_node declaration = document.append_child(pugi::node_declaration);
    declaration.append_attribute("version") = "1.0";
    declaration.append_attribute("encoding") = "UTF-8";
    declaration.append_attribute("standalone") = "yes";
    pugi::xml_node root = document.append_child(name);
    root.append_attribute("xmlns") = ns;
    return root;
}

class SharedStringTable {
public:
    int index(const std::string& text) {
        const auto [at, added] = indexes_.try_emplace(text, static_cast<int>(texts_.size()));
        if (added) {
            texts_.push_back(text);
        }
        ++uses_;
        return at->second;
    }
    std::string xml() const {
        pugi::xml_document document;
        pugi::xml_node root = Root(document, "sst", kMainNs);
        root.append_attribute("count") = uses_;
        root.append_attribute("uniqueCount") = texts_.size();
        for (const std::string& text : texts_) {
            root.append_child("si").append_child("t").text().set(text.c_str());
        }
        return ToXml(document);
    }

private:
    std::map<std::string, int> indexes_;
    std::vector<std::string> texts_;
    int uses_ = 0;
};

class RowWriter {
public:
    RowWriter(pugi::xml_node sheetData, int row, SharedStringTable& strings)
        : node_(sheetData.append_child("row")), row_(row), strings_(strings) {
        node_.append_attribute("r") = row;
    }
    void text(int column, const std::string& value, int style = 0) {
        pugi::xml_node cell = cellNode(column, style);
        cell.append_attribute("t") = "s";
        cell.append_child("v").text().set(strings_.index(value));
    }
    void number(int column, int value) { cellNode(column, 0).append_child("v").text().set(value); }
    void formula(int column, const std::string& value) {
        cellNode(column, kTimeStyle).append_child("f").text().set(value.c_str());
    }

private:
    pugi::xml_node cellNode(int column, int style) {
        pugi::xml_node cell = node_.append_child("c");
        cell.append_attribute("r") = CellName(row_, column).c_str();
        if (style != 0) {
            cell.append_attribute("s") = style;
        }
        return cell;
    }
    pugi::xml_node node_;
    int row_;
    SharedStringTable& strings_;
};

// The time of day of the passing-time text "h:m:s.hh" in cell `ref`, as a fraction of a day.
// TIMEVALUE gets only "h:m:s": it reads a decimal point by the spreadsheet's locale (a Dutch
// one wants a comma), so the two hundredths digits are added as a whole number.
std::string TimeOfDay(const std::string& ref) {
    return "(TIMEVALUE(LEFT(" + ref + ",FIND(\".\"," + ref + ")-1))+VALUE(RIGHT(" + ref +
           ",2))/8640000)";
}

// The time from the passing in `from` to the one in `to`; a race that runs past midnight
// has the later passing at the smaller time of day, which MOD carries over.
std::string Elapsed(const std::string& from, const std::string& to) {
    return "MOD(" + TimeOfDay(to) + "-" + TimeOfDay(from) + ",1)";
}

// Lap k runs from the passing in F + k - 1 to the one in F + k. Where a race picks its lap
// count, the last lap of a race with fewer laps than the sport allows ends in the finish
// column instead, after the empty cells of the laps not run. Blank while a passing is missing.
std::string LapTimeFormula(const Sport& sport, int row, int k) {
    const std::string from = CellName(row, kStartColumn + k - 1);
    const std::string to = CellName(row, kStartColumn + k);
    if (sport.allLaps || k == sport.maxLaps()) {
        return "IF(OR(" + from + "=\"\"," + to + "=\"\"),\"\"," + Elapsed(from, to) + ")";
    }
    const std::string finish = CellName(row, sport.finishColumn);
    return "IF(" + from + "=\"\",\"\",IF(" + to + "<>\"\"," + Elapsed(from, to) + ",IF(" + finish +
           "<>\"\"," + Elapsed(from, finish) + ",\"\")))";
}

// Finish minus start, blank until both are there.
std::string TotalTimeFormula(const Sport& sport, int row) {
    const std::string start = CellName(row, kStartColumn);
    const std::string finish = CellName(row, sport.finishColumn);
    return "IF(OR(" + start + "=\"\"," + finish + "=\"\"),\"\"," + Elapsed(start, finish) + ")";
}

std::string Transponder(int sport, int i, bool& isNumber) {
    isNumber = i % 4 != 3;
    if (isNumber) {
        return std::to_string(7404583 + 1000 * sport + i);
    }
    char text[16];
    std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sport + i);
    return text;
}

std::string SheetXml(int sportIndex, SharedStringTable& strings) {
    const Sport& sport = kSports[sportIndex];
    const int totalColumn = kLapTimeColumn + sport.maxLaps();
    const int lastRow = kFirstRow + kCompetitors - 1;

    pugi::xml_document document;
    pugi::xml_node root = Root(document, "worksheet", kMainNs);
    root.append_attribute("xmlns:r") = kRelNs;
    root.append_child("dimension").append_attribute("ref") =
        ("A1:" + CellName(lastRow, totalColumn)).c_str();
    pugi::xml_node view = root.append_child("sheetViews").append_child("sheetView");
    if (sportIndex == 0) {
        view.append_attribute("tabSelected") = "1";
    }
    view.append_attribute("workbookViewId") = "0";
    root.append_child("sheetFormatPr").append_attribute("defaultRowHeight") = "15";

    pugi::xml_node cols = root.append_child("cols");
    const auto width = [&](int first, int last, double value) {
        pugi::xml_node col = cols.append_child("col");
        col.append_attribute("min") = first;
        col.append_attribute("max") = last;
        col.append_attribute("width") = value;
        col.append_attribute("customWidth") = "1";
    };
    width(1, 1, 8);
    width(2, 2, 13);
    width(3, 3, 6);
    width(4, 5, 20);
    width(kStartColumn, sport.finishColumn, 11);
    width(kCounterColumn, kCounterColumn, 7);
    width(kLapTimeColumn, totalColumn, 12);

    pugi::xml_node sheetData = root.append_child("sheetData");
    RowWriter(sheetData, 1, strings).text(1, sport.title, kTitleStyle);
    {
        RowWriter headings(sheetData, 2, strings);
        const char* fixed[] = {"Rugnr.", "Transponder", "Heat", "Naam", "Club", "Start"};
        for (int column = 1; column <= kStartColumn; ++column) {
            headings.text(column, fixed[column - 1], kHeadingStyle);
        }
        for (int k = 1; k < sport.maxLaps(); ++k) {
            headings.text(kStartColumn + k, "Doork " + std::to_string(k), kHeadingStyle);
        }
        headings.text(sport.finishColumn, "Finish", kHeadingStyle);
        headings.text(kCounterColumn, "Ronde", kHeadingStyle);
        for (int k = 1; k <= sport.maxLaps(); ++k) {
            headings.text(kLapTimeColumn + k - 1, "Rondetijd " + std::to_string(k), kHeadingStyle);
        }
        headings.text(totalColumn, "Totaaltijd", kHeadingStyle);
    }
    for (int i = 0; i < kCompetitors; ++i) {
        const int row = kFirstRow + i;
        const int bib = 100 * (sportIndex + 1) + 1 + i;
        RowWriter cells(sheetData, row, strings);
        cells.number(1, bib);
        bool isNumber = false;
        const std::string transponder = Transponder(sportIndex, i, isNumber);
        if (isNumber) {
            cells.number(2, std::stoi(transponder));
        } else {
            cells.text(2, transponder);
        }
        if (sport.heats) {
            cells.number(3, i % 5 + 1);
        }
        cells.text(4, "Deelnemer " + std::to_string(bib));
        cells.text(5, kClubs[i % 5]);
        for (int k = 1; k <= sport.maxLaps(); ++k) {
            cells.formula(kLapTimeColumn + k - 1, LapTimeFormula(sport, row, k));
        }
        cells.formula(totalColumn, TotalTimeFormula(sport, row));
    }
    pugi::xml_node merged = root.append_child("mergeCells");
    merged.append_attribute("count") = "1";
    merged.append_child("mergeCell").append_attribute("ref") = "A1:E1";
    pugi::xml_node margins = root.append_child("pageMargins");
    for (const auto& [name, value] : {std::pair{"left", "0.7"},
                                      {"right", "0.7"},
                                      {"top", "0.75"},
                                      {"bottom", "0.75"},
                                      {"header", "0.3"},
                                      {"footer", "0.3"}}) {
        margins.append_attribute(name) = value;
    }
    return ToXml(document);
}

std::string StylesXml() {
    pugi::xml_document document;
    pugi::xml_node root = Root(document, "styleSheet", kMainNs);
    pugi::xml_node formats = root.append_child("numFmts");
    formats.append_attribute("count") = "1";
    pugi::xml_node time = formats.append_child("numFmt");
    time.append_attribute("numFmtId") = "164";
    time.append_attribute("formatCode") = "[hh]:mm:ss.00";

    pugi::xml_node fonts = root.append_child("fonts");
    fonts.append_attribute("count") = "3";
    for (const auto& [size, bold] : {std::pair{11, false}, {11, true}, {14, true}}) {
        pugi::xml_node font = fonts.append_child("font");
        if (bold) {
            font.append_child("b");
        }
        font.append_child("sz").append_attribute("val") = size;
        font.append_child("name").append_attribute("val") = "Calibri";
        font.append_child("family").append_attribute("val") = "2";
    }
    pugi::xml_node fills = root.append_child("fills");
    fills.append_attribute("count") = "2";
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") = "none";
    fills.append_child("fill").append_child("patternFill").append_attribute("patternType") =
        "gray125";

    pugi::xml_node borders = root.append_child("borders");
    borders.append_attribute("count") = "2";
    for (bool bottom : {false, true}) {
        pugi::xml_node border = borders.append_child("border");
        for (const char* side : {"left", "right", "top", "bottom", "diagonal"}) {
            pugi::xml_node edge = border.append_child(side);
            if (bottom && std::string_view(side) == "bottom") {
                edge.append_attribute("style") = "thin";
                edge.append_child("color").append_attribute("auto") = "1";
            }
        }
    }
    pugi::xml_node styleFormats = root.append_child("cellStyleXfs");
    styleFormats.append_attribute("count") = "1";
    pugi::xml_node base = styleFormats.append_child("xf");
    for (const char* name : {"numFmtId", "fontId", "fillId", "borderId"}) {
        base.append_attribute(name) = "0";
    }

    struct Format {
        int numFmt, font, border;
    };
    pugi::xml_node cellFormats = root.append_child("cellXfs");
    cellFormats.append_attribute("count") = "4";
    for (const Format& format :
         {Format{0, 0, 0}, Format{0, 1, 1}, Format{0, 2, 0}, Format{164, 0, 0}}) {
        pugi::xml_node xf = cellFormats.append_child("xf");
        xf.append_attribute("numFmtId") = format.numFmt;
        xf.append_attribute("fontId") = format.font;
        xf.append_attribute("fillId") = "0";
        xf.append_attribute("borderId") = format.border;
        xf.append_attribute("xfId") = "0";
        if (format.numFmt != 0) {
            xf.append_attribute("applyNumberFormat") = "1";
        }
        if (format.font != 0) {
            xf.append_attribute("applyFont") = "1";
        }
        if (format.border != 0) {
            xf.append_attribute("applyBorder") = "1";
        }
    }
    pugi::xml_node cellStyles = root.append_child("cellStyles");
    cellStyles.append_attribute("count") = "1";
    pugi::xml_node normal = cellStyles.append_child("cellStyle");
    normal.append_attribute("name") = "Normal";
    normal.append_attribute("xfId") = "0";
    normal.append_attribute("builtinId") = "0";
    return ToXml(document);
}

std::string WorkbookXml() {
    pugi::xml_document document;
    pugi::xml_node root = Root(document, "workbook", kMainNs);
    root.append_attribute("xmlns:r") = kRelNs;
    root.append_child("bookViews").append_child("workbookView").append_attribute("activeTab") = "0";
    pugi::xml_node sheets = root.append_child("sheets");
    for (int i = 0; i < 3; ++i) {
        pugi::xml_node sheet = sheets.append_child("sheet");
        sheet.append_attribute("name") = kSports[i].sheet;
        sheet.append_attribute("sheetId") = i + 1;
        sheet.append_attribute("r:id") = ("rId" + std::to_string(i + 1)).c_str();
    }
    pugi::xml_node name = root.append_child("definedNames").append_child("definedName");
    name.append_attribute("name") = "Deelnemers";
    name.text().set("schaats!$A$3:$E$200");
    // No cached results are stored: the spreadsheet computes every formula on load.
    root.append_child("calcPr").append_attribute("fullCalcOnLoad") = "1";
    return ToXml(document);
}

std::string Relationships(const std::vector<std::pair<std::string, std::string>>& targets) {
    pugi::xml_document document;
    pugi::xml_node root = Root(document, "Relationships",
                               "http://schemas.openxmlformats.org/package/2006/relationships");
    int id = 1;
    for (const auto& [type, target] : targets) {
        pugi::xml_node rel = root.append_child("Relationship");
        rel.append_attribute("Id") = ("rId" + std::to_string(id++)).c_str();
        rel.append_attribute("Type") = (kRelTypes + type).c_str();
        rel.append_attribute("Target") = target.c_str();
    }
    return ToXml(document);
}

std::string ContentTypes() {
    pugi::xml_document document;
    pugi::xml_node root =
        Root(document, "Types", "http://schemas.openxmlformats.org/package/2006/content-types");
    const auto defaultType = [&](const char* extension, const char* type) {
        pugi::xml_node entry = root.append_child("Default");
        entry.append_attribute("Extension") = extension;
        entry.append_attribute("ContentType") = type;
    };
    defaultType("rels", "application/vnd.openxmlformats-package.relationships+xml");
    defaultType("xml", "application/xml");
    const std::string ml = "application/vnd.openxmlformats-officedocument.spreadsheetml.";
    const auto override = [&](const std::string& part, const std::string& type) {
        pugi::xml_node entry = root.append_child("Override");
        entry.append_attribute("PartName") = part.c_str();
        entry.append_attribute("ContentType") = (ml + type).c_str();
    };
    override("/xl/workbook.xml", "sheet.main+xml");
    for (int i = 1; i <= 3; ++i) {
        override("/xl/worksheets/sheet" + std::to_string(i) + ".xml", "worksheet+xml");
    }
    override("/xl/styles.xml", "styles+xml");
    override("/xl/sharedStrings.xml", "sharedStrings+xml");
    return ToXml(document);
}

}  // namespace

Result<std::string> DemoWorkbookBytes() {
    SharedStringTable strings;
    std::vector<std::string> sheets;
    for (int i = 0; i < 3; ++i) {
        sheets.push_back(SheetXml(i, strings));
    }
    std::vector<std::pair<std::string, std::string>> parts = {
        {"[Content_Types].xml", ContentTypes()},
        {"_rels/.rels", Relationships({{"officeDocument", "xl/workbook.xml"}})},
        {"xl/workbook.xml", WorkbookXml()},
        {"xl/_rels/workbook.xml.rels", Relationships({{"worksheet", "worksheets/sheet1.xml"},
                                                      {"worksheet", "worksheets/sheet2.xml"},
                                                      {"worksheet", "worksheets/sheet3.xml"},
                                                      {"styles", "styles.xml"},
                                                      {"sharedStrings", "sharedStrings.xml"}})},
        {"xl/styles.xml", StylesXml()},
        {"xl/sharedStrings.xml", strings.xml()},
    };
    for (int i = 0; i < 3; ++i) {
        parts.emplace_back("xl/worksheets/sheet" + std::to_string(i + 1) + ".xml", sheets[i]);
    }
    return workbook::BuildPackage(parts);
}

}  // namespace tivaro::demo
