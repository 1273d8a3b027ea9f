#include "workbook/xlsx_app.h"

#include <algorithm>
#include <cctype>
#include <string_view>

#include "workbook/backup.h"
#include "workbook/limits.h"
#include "workbook/package.h"
#include "workbook/xlsx_workbook.h"

namespace tivaro::workbook {

namespace {

constexpr std::string_view kOle2Signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::string_view kZipSignature("PK\x03\x04", 4);
constexpr std::string_view kOtherEngine = "; the LibreOffice mode opens it";

std::string LowerExtension(const std::filesystem::path& file) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return extension;
}

// Files this engine does not read, told apart by their content first and their name second,
// so that a renamed file still gets the right message. nullopt: try it as .xlsx.
std::optional<Error> ForeignFormat(const std::filesystem::path& file, std::string_view bytes) {
    const std::string name = "\"" + file.string() + "\"";
    const std::string extension = LowerExtension(file);
    if (bytes.substr(0, kOle2Signature.size()) == kOle2Signature) {
        if (extension == ".xlsx" || extension == ".xlsm") {
            return MakeError(Errc::BadFormat,
                             name +
                                 " is protected with a password (or is an Excel 97-2003 "
                                 "file with the wrong name); save it without a password, "
                                 "or open it in the LibreOffice mode");
        }
        return MakeError(Errc::BadFormat,
                         name +
                             " is an Excel 97-2003 workbook (.xls), which this engine does "
                             "not read" +
                             std::string(kOtherEngine));
    }
    if (bytes.substr(0, kZipSignature.size()) == kZipSignature) {
        return std::nullopt;
    }
    if (extension == ".ods") {
        return MakeError(Errc::BadFormat, name +
                                              " is not a valid OpenDocument spreadsheet "
                                              "(.ods), and this engine reads only .xlsx "
                                              "and .xlsm" +
                                              std::string(kOtherEngine) + " when it is valid");
    }
    if (extension == ".xls") {
        return MakeError(Errc::BadFormat, name +
                                              " is not a valid Excel 97-2003 workbook "
                                              "(.xls), and this engine reads only .xlsx "
                                              "and .xlsm");
    }
    return std::nullopt;
}

// Zip packages that hold another kind of document.
std::optional<Error> ForeignPackage(const std::filesystem::path& file, const Package& package) {
    const std::string name = "\"" + file.string() + "\"";
    if (package.contains("mimetype")) {
        auto mimetype = package.read("mimetype");
        if (mimetype && mimetype->rfind("application/vnd.oasis.opendocument", 0) == 0) {
            return MakeError(Errc::BadFormat, name +
                                                  " is an OpenDocument spreadsheet (.ods), which "
                                                  "this engine does not read" +
                                                  std::string(kOtherEngine));
        }
    }
    if (package.contains("xl/workbook.bin")) {
        return MakeError(Errc::BadFormat, name +
                                              " is an Excel binary workbook (.xlsb), which this "
                                              "engine does not read" +
                                              std::string(kOtherEngine));
    }
    return std::nullopt;
}

}  // namespace

XlsxApp::XlsxApp(std::filesystem::path backupDirectory)
    : XlsxApp(std::move(backupDirectory), SystemFileWriter()) {}

XlsxApp::XlsxApp(std::filesystem::path backupDirectory, FileWriter& writer)
    : backupDirectory_(std::move(backupDirectory)), writer_(&writer) {}

Result<std::unique_ptr<Workbook>> XlsxApp::open(const std::filesystem::path& file) {
    const std::filesystem::path absolute = std::filesystem::absolute(file);
    // The identity is taken before the content: a change in between makes the first save go
    // to a new file rather than overwrite something unseen.
    const auto stamp = StampOf(absolute);
    if (stamp && stamp->size > kMaxFileBytes) {
        return FileTooLarge(stamp->size, kMaxFileBytes, "\"" + absolute.string() + "\"");
    }
    auto bytes = ReadWholeFile(absolute, kMaxFileBytes);
    if (!bytes) {
        return bytes.error();
    }
    if (!stamp) {
        return MakeError(Errc::Io, "cannot open \"" + absolute.string() + "\"");
    }
    if (auto foreign = ForeignFormat(absolute, *bytes)) {
        return *foreign;
    }
    auto package = Package::FromBytes(std::move(*bytes), "\"" + absolute.string() + "\"");
    if (!package) {
        return package.error();
    }
    if (auto foreign = ForeignPackage(absolute, *package)) {
        return *foreign;
    }
    auto workbook =
        XlsxWorkbook::Load(absolute, std::move(*package), *stamp, backupDirectory_, *writer_);
    if (!workbook) {
        return workbook.error();
    }
    RemoveTemporariesOfKilledSaves(absolute, backupDirectory_);
    return std::unique_ptr<Workbook>(std::move(*workbook));
}

}  // namespace tivaro::workbook
