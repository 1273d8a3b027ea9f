#include "app_test_support.h"

#include <fcntl.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>
#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>
#include <algorithm>

#include "app/translations.h"
#include "decoder/record_writer.h"
#include "workbook/xlsx_app.h"

namespace tivaro::app::testing {

void Select(QRadioButton* option) {
    QTest::mouseClick(option, Qt::LeftButton, {}, QPoint(7, option->height() / 2));
}

void ChooseSerialPort(QWidget& window, int index) {
    Select(Control<QRadioButton>(window, "Option1"));
    auto* ports = Control<QComboBox>(window, "Combo3");
    ports->setCurrentIndex(index);
    emit ports->activated(index);
}

void Choose(QComboBox* box, const QString& entry) {
    const int index = box->findText(entry);
    QVERIFY2(index >= 0, qPrintable(entry));
    box->setCurrentIndex(index);
    emit box->activated(index);
}

bool ConnectOverTcp(QWidget& window, DecoderServer& decoder) {
    Select(Control<QRadioButton>(window, "Option2"));
    Control<QLineEdit>(window, "Text4")->setText(QStringLiteral("127.0.0.1"));
    QTest::mouseClick(Control<QPushButton>(window, "Command3"), Qt::LeftButton);
    auto* status = Control<QLabel>(window, "Label2");
    return decoder.waitForClient() && QTest::qWaitFor([status] {
               return status->text() == QStringLiteral("Verbinding met decoder gemaakt");
           });
}

QByteArray RunnersPassing(int k, int runners) {
    const int runner = k % runners;
    const int lap = k / runners;
    return WirePassing(DemoNumber(1, runner), Micros(10, lap, runner * 3));
}

timing::AppStarter FakeSpreadsheet::starter() {
    return tivaro::testing::FakeApp::Starter([this](const std::filesystem::path& file)
                                                 -> std::unique_ptr<tivaro::testing::FakeWorkbook> {
        if (const QCursor* cursor = QApplication::overrideCursor()) {
            cursorWhileOpening = cursor->shape();
        }
        if (failOpen) {
            return nullptr;
        }
        opened.push_back(file);
        auto made = std::make_unique<tivaro::testing::FakeWorkbook>(sheets, activeSheet, file);
        for (std::size_t i = 0; i < known.size(); ++i) {
            for (const std::string& sheet : sheets) {
                made->cell(sheet, 3 + static_cast<int>(i), 2) = known[i];
            }
        }
        book = made.get();
        return made;
    });
}

WindowHarness::WindowHarness() {
    options.dataDirectory = dataDir();
    options.chooseWorkbook = [this](QWidget*, const QString& filter, const QString& folder) {
        foldersAsked << folder;
        ++dialogsShown;
        filtersAsked << filter;
        return nextWorkbook;
    };
    options.showMessage = [this](const QString& text) { messages << text; };
    // Questions are answered a moment later, as a person clicks the box.
    options.ask = [this](const QString& question, const QString&,
                         std::function<void(bool)> answer) {
        questions << question;
        // Dropped with the window that asked (a restart, the end of the test).
        QTimer::singleShot(0, answers_.get(), [this, answer = std::move(answer)] {
            ++answered;
            answer(answerYes);
        });
    };
    options.serialPorts = [] { return std::vector<SerialPortEntry>{}; };
    // The embedded engine unless a test asks for Calc; the user's own settings stay untouched.
    options.preferEmbedded = true;
    QStandardPaths::setTestModeEnabled(true);
    // The set-up the window keeps between runs goes into this harness's scratch directory, so
    // each test starts as a first run and a restart within a test finds what it kept.
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                       QString::fromStdString((scratch() / "config").string()));
    // Qt's own texts in Dutch, as the program installs them.
    static const bool dutch = [] {
        InstallDutchTranslations(*QCoreApplication::instance());
        return true;
    }();
    (void)dutch;
    options.reconnectInterval = std::chrono::milliseconds(200);
}

WindowHarness::~WindowHarness() = default;

MainWindow& WindowHarness::create() {
    window_ = std::make_unique<MainWindow>(options);
    return *window_;
}

bool WindowHarness::startRace(std::filesystem::path workbook) {
    nextWorkbook = workbook.empty() ? copyDemoWorkbook("dovo-race.xlsx") : std::move(workbook);
    create();
    show();
    QTest::mouseClick(Control<QPushButton>(*window_, "Command1"), Qt::LeftButton);
    return window_->controller().race().workbook() != nullptr;
}

bool WindowHarness::close() {
    const int before = answered;
    const qsizetype asked = questions.size();
    if (window_->close()) {
        return true;
    }
    if (questions.size() == asked) {
        return false;
    }
    // Asked first: the close follows the answer.
    if (!QTest::qWaitFor([&] { return answered > before; }, 5000)) {
        return false;
    }
    QCoreApplication::processEvents();
    return !window_->isVisible();
}

MainWindow& WindowHarness::restart() {
    answers_ = std::make_unique<QObject>();
    window_.reset();
    return create();
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

QByteArray WireHit(std::uint32_t transponder, std::uint64_t micros) {
    decoder::PassingRecordFields fields;
    fields.transponderNumber = transponder;
    fields.timeMicros = micros;
    std::vector<std::uint8_t> record = decoder::BuildPassingRecord(fields);
    record[4] ^= 0x10;  // the CRC took the hit: the rest reads as sent
    std::vector<std::uint8_t> wire;
    decoder::AppendEscaped(record, wire);
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
