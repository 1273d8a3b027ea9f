#include "workbook/xlsx_app.h"

#include <algorithm>
#include <cctype>
#include <exception>
#include <new>
#include <string_view>

#include "workbook/atomic_file.h"
#include "workbook/backup.h"
#include "workbook/limits.h"
#include "workbook/package.h"
#include "workbook/xlsx_workbook.h"

namespace tivaro::workbook {

namespace {

constexpr std::string_view kOle2Signature("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
constexpr std::string_view kZipSignature("PK\x03\x04", 4);
constexpr std::string_view kOtherEngine =
    " Open het in LibreOffice Calc (installeer libreoffice-calc als dat er nog niet is), of sla "
    "het daar op als .xlsx.";

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
                             "Deze werkmap is met een wachtwoord beveiligd (of is een Excel "
                             "97-2003-bestand met een verkeerde naam). Sla hem op zonder "
                             "wachtwoord, of open hem in LibreOffice Calc. (" +
                                 name + ")");
        }
        return MakeError(Errc::BadFormat,
                         "Dit is een Excel 97-2003-werkmap (.xls), die de ingebouwde "
                         "rekenmodule niet leest." +
                             std::string(kOtherEngine) + " (" + name + ")");
    }
    if (bytes.substr(0, kZipSignature.size()) == kZipSignature) {
        return std::nullopt;
    }
    if (extension == ".ods") {
        return MakeError(Errc::BadFormat,
                         "Dit is geen geldig OpenDocument-rekenblad (.ods), en de ingebouwde "
                         "rekenmodule leest alleen .xlsx en .xlsm. Kies een .xlsx-werkmap. (" +
                             name + ")");
    }
    if (extension == ".xls") {
        return MakeError(Errc::BadFormat,
                         "Dit is geen geldige Excel 97-2003-werkmap (.xls), en de ingebouwde "
                         "rekenmodule leest alleen .xlsx en .xlsm. Kies een .xlsx-werkmap. (" +
                             name + ")");
    }
    return std::nullopt;
}

// Zip packages that hold another kind of document.
std::optional<Error> ForeignPackage(const std::filesystem::path& file, const Package& package) {
    const std::string name = "\"" + file.string() + "\"";
    if (package.contains("mimetype")) {
        auto mimetype = package.read("mimetype");
        if (mimetype && mimetype->rfind("application/vnd.oasis.opendocument", 0) == 0) {
            return MakeError(Errc::BadFormat,
                             "Dit is een OpenDocument-rekenblad (.ods), dat de ingebouwde "
                             "rekenmodule niet leest." +
                                 std::string(kOtherEngine) + " (" + name + ")");
        }
    }
    if (package.contains("xl/workbook.bin")) {
        return MakeError(Errc::BadFormat,
                         "Dit is een binaire Excel-werkmap (.xlsb), die de ingebouwde "
                         "rekenmodule niet leest." +
                             std::string(kOtherEngine) + " (" + name + ")");
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
        return MakeError(Errc::Io, "Het bestand is er niet (meer). Kies het opnieuw. (\"" +
                                       absolute.string() + "\")");
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
    // Found out now, not at the first save in the middle of a race.
    if (Status writable = CheckReplaceable(absolute); !writable) {
        return writable.error();
    }
    RemoveTemporariesOfKilledSaves(absolute, backupDirectory_);
    return std::unique_ptr<Workbook>(std::make_unique<GuardedWorkbook>(std::move(*workbook)));
}

}  // namespace tivaro::workbook
