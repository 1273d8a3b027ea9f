#include "app_test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QApplication>
#include <QFile>
#include <algorithm>

#include "decoder/record_writer.h"
#include "workbook/xlsx_app.h"

namespace tivaro::app::testing {

namespace {

class FakeWorkbook final : public workbook::Workbook {
public:
    FakeWorkbook(FakeSpreadsheet& owner, std::filesystem::path file)
        : owner_(owner), path_(std::move(file)), active_(owner.activeSheet) {}

    const std::filesystem::path& path() const override { return path_; }
    std::vector<std::string> sheetNames() const override { return owner_.sheets; }
    Result<std::string> sheetName(workbook::SheetId sheet) const override {
        if (sheet.index < 0 || sheet.index >= static_cast<int>(owner_.sheets.size())) {
            return MakeError(Errc::NoSuchSheet, "no sheet " + std::to_string(sheet.index));
        }
        return owner_.sheets[static_cast<std::size_t>(sheet.index)];
    }
    Result<workbook::SheetId> activeSheet() const override { return workbook::SheetId{active_}; }
    Status activate(std::string_view name) override {
        for (std::size_t i = 0; i < owner_.sheets.size(); ++i) {
            if (owner_.sheets[i] == name) {
                active_ = static_cast<int>(i);
                return {};
            }
        }
        return MakeError(Errc::NoSuchSheet,
                         "the workbook has no sheet \"" + std::string(name) + "\"");
    }
    Result<int> find(workbook::SheetId, std::string_view, std::string_view text) override {
        if (std::find(owner_.known.begin(), owner_.known.end(), text) != owner_.known.end()) {
            return 1;
        }
        return MakeError(Errc::NotFound, "not found");
    }
    Result<std::string> readCell(workbook::SheetId, int, int) override { return std::string(); }
    Status writeCell(workbook::SheetId, int, int, std::string_view) override { return Changed(); }
    Status writeRange(workbook::SheetId, std::string_view, std::string_view) override {
        return Changed();
    }
    Status colourCell(workbook::SheetId, int, int, std::uint32_t) override { return Changed(); }
    bool hasUnsavedChanges() const override { return unsaved_; }
    Result<workbook::SaveReport> save() override {
        ++owner_.saves;
        if (owner_.failSave) {
            return MakeError(Errc::Io, "cannot write " + path_.string() + ": disk full");
        }
        unsaved_ = false;
        return workbook::SaveReport{path_, {}};
    }
    Status close() override { return {}; }

private:
    Status Changed() {
        unsaved_ = true;
        return {};
    }

    FakeSpreadsheet& owner_;
    std::filesystem::path path_;
    int active_;
    bool unsaved_ = false;
};

class FakeApp final : public workbook::SpreadsheetApp {
public:
    explicit FakeApp(FakeSpreadsheet& owner) : owner_(owner) {}
    Status show() override { return {}; }
    Result<std::unique_ptr<workbook::Workbook>> open(const std::filesystem::path& file) override {
        if (const QCursor* cursor = QApplication::overrideCursor()) {
            owner_.cursorWhileOpening = cursor->shape();
        }
        if (owner_.failOpen) {
            return MakeError(Errc::BadFormat, file.string() + " is not a workbook");
        }
        owner_.opened.push_back(file);
        return std::unique_ptr<workbook::Workbook>(std::make_unique<FakeWorkbook>(owner_, file));
    }

private:
    FakeSpreadsheet& owner_;
};

}  // namespace

void Select(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
}

timing::RaceSetup::AppStarter FakeSpreadsheet::starter() {
    return [this]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(std::make_unique<FakeApp>(*this));
    };
}

WindowHarness::WindowHarness() {
    options.dataDirectory = dataDir();
    options.chooseWorkbook = [this](QWidget*, const QString& filter) {
        ++dialogsShown;
        filtersAsked << filter;
        return nextWorkbook;
    };
    options.showMessage = [this](const QString& text) { messages << text; };
    options.serialDevice = [] { return QString(); };
    options.reconnectInterval = std::chrono::milliseconds(200);
}

WindowHarness::~WindowHarness() = default;

MainWindow& WindowHarness::create() {
    window_ = std::make_unique<MainWindow>(options);
    return *window_;
}

void WindowHarness::show() {
    window_->show();
    if (!QTest::qWaitForWindowExposed(window_.get())) {
        qWarning("the window was not exposed");
    }
}

std::filesystem::path WindowHarness::scratch() const {
    return dir_.path().toStdString();
}

std::filesystem::path WindowHarness::dataDir() const {
    return scratch() / "data" / "zomradata";
}

std::filesystem::path WindowHarness::copyDemoWorkbook(const std::string& name) {
    const std::filesystem::path target = scratch() / name;
    std::filesystem::copy_file(
        std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx", target,
        std::filesystem::copy_options::overwrite_existing);
    return target;
}

DecoderServer::DecoderServer() {
    QObject::connect(&server_, &QTcpServer::newConnection, [this] {
        while (QTcpSocket* next = server_.nextPendingConnection()) {
            ++accepted_;
            client_ = next;
        }
    });
    listen();
}

bool DecoderServer::listen() {
    if (!server_.listen(QHostAddress::LocalHost, port_)) {
        return false;
    }
    port_ = server_.serverPort();
    return true;
}

void DecoderServer::close() {
    server_.close();
    if (client_ != nullptr) {
        client_->disconnectFromHost();
        client_->deleteLater();
        client_ = nullptr;
    }
}

bool DecoderServer::waitForClient(int milliseconds) {
    const int before = accepted_;
    return QTest::qWaitFor([&] { return accepted_ > before || client_ != nullptr; }, milliseconds);
}

void DecoderServer::send(const QByteArray& bytes) {
    if (client_ == nullptr) {
        qFatal("no decoder client to send to");
    }
    client_->write(bytes);
    client_->flush();
}

PseudoTerminal::PseudoTerminal() {
    char name[256] = {};
    if (openpty(&decoderEnd_, &deviceEnd_, name, nullptr, nullptr) != 0) {
        qFatal("openpty failed");
    }
    // Raw bytes both ways: no line editing, echo or character translation.
    termios settings{};
    tcgetattr(deviceEnd_, &settings);
    cfmakeraw(&settings);
    tcsetattr(deviceEnd_, TCSANOW, &settings);
    devicePath_ = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal() {
    hangUp();
    if (deviceEnd_ >= 0) {
        ::close(deviceEnd_);
    }
}

bool PseudoTerminal::write(const QByteArray& bytes) {
    return ::write(decoderEnd_, bytes.constData(), static_cast<std::size_t>(bytes.size())) ==
           bytes.size();
}

void PseudoTerminal::hangUp() {
    if (decoderEnd_ >= 0) {
        ::close(decoderEnd_);
        decoderEnd_ = -1;
    }
}

QByteArray WirePassing(std::uint32_t transponder, std::uint64_t micros, std::string text) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.transponderText = std::move(text);
    fields.timeMicros = micros;
    std::vector<std::uint8_t> wire;
    decoder::AppendEscaped(decoder::BuildPassingRecord(fields), wire);
    return QByteArray(reinterpret_cast<const char*>(wire.data()),
                      static_cast<qsizetype>(wire.size()));
}

QByteArray WireStatus() {
    std::vector<std::uint8_t> wire;
    decoder::AppendEscaped(decoder::BuildStatusRecord({}), wire);
    return QByteArray(reinterpret_cast<const char*>(wire.data()),
                      static_cast<qsizetype>(wire.size()));
}

std::uint64_t Micros(int hours, int minutes, int seconds, int hundredths) {
    return ((static_cast<std::uint64_t>(hours) * 60 + static_cast<std::uint64_t>(minutes)) * 60 +
            static_cast<std::uint64_t>(seconds)) *
               1000000ULL +
           static_cast<std::uint64_t>(hundredths) * 10000ULL;
}

std::uint32_t DemoNumber(int sheet, int i) {
    return static_cast<std::uint32_t>(7404583 + 1000 * sheet + i);
}

std::string DemoTransponder(int sheet, int i) {
    if (i % 4 == 3) {
        char text[16];
        std::snprintf(text, sizeof text, "KX-%05d", 4123 + 1000 * sheet + i);
        return text;
    }
    return std::to_string(DemoNumber(sheet, i));
}

QByteArray ReadBytes(const std::filesystem::path& file) {
    QFile in(QString::fromStdString(file.string()));
    return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
}

QStringList ReadLines(const std::filesystem::path& file) {
    QStringList lines = QString::fromUtf8(ReadBytes(file)).split(QStringLiteral("\r\n"));
    if (!lines.isEmpty() && lines.back().isEmpty()) {
        lines.removeLast();
    }
    return lines;
}

std::string CellOnDisk(const std::filesystem::path& file, const std::string& sheet, int row,
                       int column) {
    QTemporaryDir backups;
    workbook::XlsxApp app(backups.path().toStdString());
    Result<std::unique_ptr<workbook::Workbook>> book = app.open(file);
    if (!book) {
        return "<" + book.error().message + ">";
    }
    if (Status activated = (*book)->activate(sheet); !activated) {
        return "<" + activated.error().message + ">";
    }
    Result<std::string> cell = (*book)->readCell(*(*book)->activeSheet(), row, column);
    return cell ? *cell : "<" + cell.error().message + ">";
}

}  // namespace tivaro::app::testing
