#include "workbook/xlsx_app.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <new>
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

// What an exception that escaped the engine's work on `file` means to a person. The engine
// reports failures as values; what still throws is running out of memory, or a fault of a
// library or of the engine itself.
Error FromException(const std::filesystem::path& file) {
    const std::string where = " Bestand: \"" + file.string() + "\"";
    try {
        throw;
    } catch (const std::bad_alloc&) {
        return MakeError(Errc::Failed,
                         "Er is te weinig geheugen om de werkmap te verwerken. Sluit andere "
                         "programma's of kies een kleinere werkmap." +
                             where);
    } catch (const std::exception& exception) {
        return MakeError(Errc::Failed, std::string("De werkmap kon niet worden verwerkt door een "
                                                   "interne fout (") +
                                           exception.what() +
                                           "). Open hem opnieuw; meld de fout als hij blijft." +
                                           where);
    } catch (...) {
        return MakeError(Errc::Failed,
                         "De werkmap kon niet worden verwerkt door een onbekende interne fout. "
                         "Open hem opnieuw; meld de fout als hij blijft." +
                             where);
    }
}

// Runs one operation of the engine; an exception becomes an Error value.
template <class Operation>
auto Guarded(const std::filesystem::path& file, Operation&& operation) -> decltype(operation()) {
    try {
        return operation();
    } catch (...) {
        return FromException(file);
    }
}

// The engine's workbook as callers get it: every operation guarded, so that no exception
// leaves the engine.
class GuardedWorkbook final : public Workbook {
public:
    explicit GuardedWorkbook(std::unique_ptr<XlsxWorkbook> inner) : inner_(std::move(inner)) {}

    const std::filesystem::path& path() const override { return inner_->path(); }
    std::vector<std::string> sheetNames() const override {
        try {
            return inner_->sheetNames();
        } catch (...) {
            return {};
        }
    }
    Result<std::string> sheetName(SheetId sheet) const override {
        return Guarded(path(), [&] { return inner_->sheetName(sheet); });
    }
    Result<SheetId> activeSheet() const override {
        return Guarded(path(), [&] { return inner_->activeSheet(); });
    }
    Status activate(std::string_view sheetName) override {
        return Guarded(path(), [&] { return inner_->activate(sheetName); });
    }
    Result<int> find(SheetId sheet, std::string_view range, std::string_view text) override {
        return Guarded(path(), [&] { return inner_->find(sheet, range, text); });
    }
    Result<std::string> readCell(SheetId sheet, int row, int column) override {
        return Guarded(path(), [&] { return inner_->readCell(sheet, row, column); });
    }
    Result<std::vector<std::string>> readRow(SheetId sheet, int row, int lastColumn) override {
        return Guarded(path(), [&] { return inner_->readRow(sheet, row, lastColumn); });
    }
    Result<std::vector<std::vector<std::string>>> readBlock(SheetId sheet, int firstRow,
                                                            int lastRow, int lastColumn) override {
        return Guarded(path(),
                       [&] { return inner_->readBlock(sheet, firstRow, lastRow, lastColumn); });
    }
    Status writeCell(SheetId sheet, int row, int column, std::string_view text) override {
        return Guarded(path(), [&] { return inner_->writeCell(sheet, row, column, text); });
    }
    Status writeRange(SheetId sheet, std::string_view range, std::string_view text) override {
        return Guarded(path(), [&] { return inner_->writeRange(sheet, range, text); });
    }
    Status colourCell(SheetId sheet, int row, int column, std::uint32_t colour) override {
        return Guarded(path(), [&] { return inner_->colourCell(sheet, row, column, colour); });
    }
    bool hasUnsavedChanges() const override { return inner_->hasUnsavedChanges(); }
    Result<SaveReport> save() override {
        return Guarded(path(), [&] { return inner_->save(); });
    }
    Result<SaveReport> saveAs(const std::filesystem::path& file) override {
        return Guarded(path(), [&] { return inner_->saveAs(file); });
    }
    Status close() override {
        return Guarded(path(), [&] { return inner_->close(); });
    }

private:
    std::unique_ptr<XlsxWorkbook> inner_;
};

}  // namespace

XlsxApp::XlsxApp(std::filesystem::path backupDirectory)
    : XlsxApp(std::move(backupDirectory), SystemFileWriter()) {}

XlsxApp::XlsxApp(std::filesystem::path backupDirectory, FileWriter& writer)
    : backupDirectory_(std::move(backupDirectory)), writer_(&writer) {}

Result<std::unique_ptr<Workbook>> XlsxApp::open(const std::filesystem::path& file) {
    std::error_code ignored;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ignored);
    return Guarded(absolute, [&] { return openChecked(absolute); });
}

Result<std::unique_ptr<Workbook>> XlsxApp::openChecked(const std::filesystem::path& absolute) {
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
    return std::unique_ptr<Workbook>(std::make_unique<GuardedWorkbook>(std::move(*workbook)));
}

}  // namespace tivaro::workbook
