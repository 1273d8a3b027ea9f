#include "support.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>

#include "workbook/package.h"
#include "workbook/xlsx_app.h"

namespace tivaro::workbook::test {

std::string SheetXml(const std::string& cellsXml) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
           "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
           "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
           "<dimension ref=\"A1\"/><sheetData>" +
           cellsXml + "</sheetData></worksheet>";
}

std::string BuildHandMade(const HandMadeWorkbook& workbook) {
    const std::string rel = "http://schemas.openxmlformats.org/officeDocument/2006/relationships";
    std::string types =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
        "<Default Extension=\"rels\" "
        "ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
        "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
        "<Override PartName=\"/xl/workbook.xml\" ContentType=\"application/"
        "vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>";
    std::string sheets;
    std::string rels =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
        "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">";
    std::vector<std::pair<std::string, std::string>> parts;
    for (std::size_t i = 0; i < workbook.sheets.size(); ++i) {
        const std::string n = std::to_string(i + 1);
        sheets += "<sheet name=\"" + workbook.sheets[i].first + "\" sheetId=\"" + n +
                  "\" r:id=\"rIdSheet" + n + "\"/>";
        rels += "<Relationship Id=\"rIdSheet" + n + "\" Type=\"" + rel +
                "/worksheet\" Target=\"worksheets/sheet" + n + ".xml\"/>";
        types += "<Override PartName=\"/xl/worksheets/sheet" + n +
                 ".xml\" ContentType=\"application/"
                 "vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>";
        parts.emplace_back("xl/worksheets/sheet" + n + ".xml", workbook.sheets[i].second);
    }
    rels += workbook.workbookRels + "</Relationships>";
    types += "</Types>";
    const std::string book =
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
        "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
        "xmlns:r=\"" +
        rel + "\"><bookViews><workbookView activeTab=\"" + std::to_string(workbook.activeTab) +
        "\"/></bookViews><sheets>" + sheets + "</sheets>" + workbook.workbookExtra + "</workbook>";
    parts.insert(parts.begin(),
                 {{"[Content_Types].xml", types},
                  {"_rels/.rels",
                   "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Relationships "
                   "xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                   "<Relationship Id=\"rId1\" Type=\"" +
                       rel + "/officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>"},
                  {"xl/workbook.xml", book},
                  {"xl/_rels/workbook.xml.rels", rels}});
    for (const auto& part : workbook.extraParts) {
        parts.push_back(part);
    }
    auto bytes = BuildPackage(parts);
    EXPECT_TRUE(bytes.ok());
    return bytes.ok() ? *bytes : std::string{};
}

namespace {

std::string ShellQuoted(const std::string& text) {
    std::string quoted = "'";
    for (char ch : text) {
        if (ch == '\'') {
            quoted += "'\\''";
        } else {
            quoted += ch;
        }
    }
    return quoted + "'";
}

// Runs a shell command; its standard output, and whether it exited with 0.
std::pair<std::string, bool> Run(const std::string& command) {
    std::FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return {"", false};
    }
    std::string output;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        output.append(buffer, got);
    }
    const int status = ::pclose(pipe);
    return {output, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

std::vector<std::vector<std::string>> ParseCsv(const std::string& text) {
    std::vector<std::vector<std::string>> rows(1);
    std::string field;
    bool quoted = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char ch = text[i];
        if (quoted) {
            if (ch == '"' && i + 1 < text.size() && text[i + 1] == '"') {
                field += '"';
                ++i;
            } else if (ch == '"') {
                quoted = false;
            } else {
                field += ch;
            }
        } else if (ch == '"') {
            quoted = true;
        } else if (ch == ',') {
            rows.back().push_back(field);
            field.clear();
        } else if (ch == '\n') {
            rows.back().push_back(field);
            field.clear();
            rows.emplace_back();
        } else if (ch != '\r') {
            field += ch;
        }
    }
    if (!field.empty() || !rows.back().empty()) {
        rows.back().push_back(field);
    } else {
        rows.pop_back();
    }
    return rows;
}

}  // namespace

std::string RunOpenpyxl(const std::vector<std::string>& args) {
    std::string command = "/usr/bin/python3 " + ShellQuoted(std::string(TIVARO_WORKBOOK_TEST_DIR) +
                                                            "/openpyxl_helper.py");
    for (const std::string& arg : args) {
        command += " " + ShellQuoted(arg);
    }
    auto [output, ok] = Run(command);
    if (!ok) {
        ADD_FAILURE() << "openpyxl helper failed: " << command;
    }
    return output;
}

const std::string& ContractWorkbookBytes() {
    static const std::string bytes = [] {
        ScratchDir scratch;
        RunOpenpyxl({"contract", (scratch / "contract.xlsx").string()});
        return ReadFile(scratch / "contract.xlsx");
    }();
    return bytes;
}

CsvSheets ConvertWithLibreOffice(const std::vector<std::filesystem::path>& files,
                                 const std::filesystem::path& outDir, bool dutch) {
    if (dutch) {
        std::filesystem::create_directories(outDir / "lo-profile" / "user");
        WriteFile(outDir / "lo-profile" / "user" / "registrymodifications.xcu",
                  R"(<?xml version="1.0" encoding="UTF-8"?>
<oor:items xmlns:oor="http://openoffice.org/2001/registry" xmlns:xs="http://www.w3.org/2001/XMLSchema" xmlns:xsi="http://www.w3.org/2001/XMLSchema-instance">
<item oor:path="/org.openoffice.Setup/L10N"><prop oor:name="ooSetupSystemLocale" oor:op="fuse"><value>nl-NL</value></prop></item>
</oor:items>
)");
    }
    // Its own profile, so parallel runs and a desktop session do not get in the way; the last
    // filter field (-1) writes every sheet to NAME-SHEET.csv.
    std::string command = "soffice -env:UserInstallation=file://" +
                          (outDir / "lo-profile").string() +
                          " --headless --convert-to "
                          "'csv:Text - txt - csv (StarCalc):44,34,76,1,,0,false,true,false,"
                          "false,false,-1' --outdir " +
                          ShellQuoted(outDir.string());
    for (const auto& file : files) {
        command += " " + ShellQuoted(file.string());
    }
    command += " 2>&1";
    auto [output, ok] = Run(command);
    CsvSheets sheets;
    for (const auto& file : files) {
        const std::string prefix = file.stem().string() + "-";
        for (const auto& entry : std::filesystem::directory_iterator(outDir)) {
            const std::string name = entry.path().filename().string();
            if (entry.path().extension() == ".csv" && name.rfind(prefix, 0) == 0) {
                const std::string sheet =
                    name.substr(prefix.size(), name.size() - prefix.size() - 4);
                sheets[file.stem().string() + "/" + sheet] = ParseCsv(ReadFile(entry.path()));
            }
        }
    }
    if (!ok || sheets.empty()) {
        ADD_FAILURE() << "LibreOffice conversion failed: " << output;
    }
    return sheets;
}

std::unique_ptr<Workbook> OpenOrFail(SpreadsheetApp& app, const std::filesystem::path& file) {
    auto opened = app.open(file);
    if (!opened) {
        ADD_FAILURE() << "cannot open " << file << ": " << opened.error().message;
        return nullptr;
    }
    return std::move(*opened);
}

SheetId SheetNamed(Workbook& workbook, const std::string& name) {
    const auto names = workbook.sheetNames();
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (names[i] == name) {
            return SheetId{static_cast<int>(i)};
        }
    }
    ADD_FAILURE() << "no sheet " << name;
    return SheetId{};
}

}  // namespace tivaro::workbook::test
