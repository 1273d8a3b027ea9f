#include "app/main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>
#include <cstdlib>

#include "app/debug_boxes.h"
#include "app/passing_table_model.h"
#include "app/serial_link.h"
#include "app/state/start_up.h"
#include "app/status_line.h"
#include "app/workbook_saver.h"
#include "common/data_dir.h"
#include "workbook/xlsx_app.h"

namespace tivaro::app {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::optional<std::filesystem::path> AskForWorkbook(QWidget* parent, const QString& filter) {
    QString selected = WorkbookFormatsFilter();
    const QString file =
        QFileDialog::getOpenFileName(parent, QString(), QString(), filter, &selected);
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(file.toStdString());
}

// The embedded .xlsx engine, keeping the backups of the workbooks it saves in `backups`.
timing::RaceSetup::AppStarter EmbeddedEngine(std::filesystem::path backups) {
    return [backups = std::move(backups)]() -> Result<std::unique_ptr<workbook::SpreadsheetApp>> {
        return std::unique_ptr<workbook::SpreadsheetApp>(
            std::make_unique<workbook::XlsxApp>(backups));
    };
}

// Shows the busy cursor while a workbook opens.
class BusyCursor {
public:
    BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~BusyCursor() { QApplication::restoreOverrideCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

void SyncComboBox(QComboBox* box, const timing::ComboBoxState& state) {
    const QSignalBlocker blocker(box);
    const QString text = FromUtf8(state.text);
    if (box->currentText() != text) {
        const int index = box->findText(text);
        box->setCurrentIndex(index);
        if (index < 0) {
            box->setEditText(text);
        }
    }
    box->setEnabled(state.enabled);
    box->setVisible(state.visible);
}

void SyncPrompt(QPlainTextEdit* box, const timing::TextBoxState& state) {
    const QString text = PromptText(state.text);
    if (box->toPlainText() != text) {
        box->setPlainText(text);
    }
    box->setVisible(state.visible);
}

}  // namespace

QString WorkbookFileFilter() {
    return QStringLiteral("Dovo Worksheets (dovo*.xls);;") + WorkbookFormatsFilter() +
           QStringLiteral(";;All files (*)");
}

QString WorkbookFormatsFilter() {
    return QStringLiteral("Excel Workbooks (*.xlsx *.xlsm)");
}

std::filesystem::path ResolveDataDirectory(const std::filesystem::path& given) {
    if (!given.empty()) {
        return given;
    }
    if (const char* fromEnvironment = std::getenv("TIVARO_DATA_DIR");
        fromEnvironment != nullptr && *fromEnvironment != '\0') {
        return fromEnvironment;
    }
    return DataDirectory();
}

// Marks a handler as running; events that arrive meanwhile wait for its end.
class MainWindow::HandlerScope {
public:
    explicit HandlerScope(MainWindow& window) : window_(window) { ++window_.handlerDepth_; }
    ~HandlerScope() {
        if (--window_.handlerDepth_ == 0 && !window_.heldBack_.empty()) {
            QMetaObject::invokeMethod(
                &window_, [window = &window_] { window->RunHeldBack(); }, Qt::QueuedConnection);
        }
    }
    HandlerScope(const HandlerScope&) = delete;
    HandlerScope& operator=(const HandlerScope&) = delete;

private:
    MainWindow& window_;
};

MainWindow::MainWindow(WindowOptions options, QWidget* parent)
    : QMainWindow(parent),
      options_(std::move(options)),
      dataDirectory_(ResolveDataDirectory(options_.dataDirectory)),
      setup_(state_, options_.startSpreadsheet ? options_.startSpreadsheet
                                               : EmbeddedEngine(dataDirectory_ / "backup")),
      passingHandler_(
          state_, setup_.controls(), passings_,
          timing::PassingEvents{[this](const Error& error) { Report(FromUtf8(error.message)); },
                                {},
                                [this] {
                                    // New changes since a refused close deserve a new warning.
                                    closeRefused_ = false;
                                    saver_->markChanged();
                                }}) {
    setObjectName("Form1");
    setWindowTitle(QString::fromLatin1(kWindowTitle));
    auto* client = new QWidget(this);
    client->setObjectName("Form1Client");
    client->setMinimumSize(kClientWidth, kClientHeight);
    setCentralWidget(client);
    ui_ = BuildForm1(client);
    status_ = new StatusLine(statusBar());

    gridModel_ = new PassingTableModel(passings_, this);
    ui_.MSFlexGrid1->setModel(gridModel_);
    SizeGridColumns(ui_.MSFlexGrid1);

    debugBoxes_ =
        std::make_unique<DebugBoxes>(ui_.Check1, ui_.Check2, ui_.Text5, ui_.Text6, ui_.Text1);
    receive_ = std::make_unique<link::ReceivePath>(state_, passingHandler_, debugBoxes_.get());
    receive_->setNoticeListener(
        [this](const std::string& message) { Report(QString::fromStdString(message)); });
    serial_ = new SerialLink(this);
    tcp_ = new TcpLink(options_.decoderPort, options_.reconnectInterval, this);
    saver_ = new WorkbookSaver(
        state_, [this] { return serial_->bytesWaiting() > 0 || tcp_->bytesWaiting() > 0; },
        [this](const QString& message) { Report(message); }, options_.saveInterval, this);

    ConnectSignals();
    ConnectLinkSignals();
    Form_Load();
    resize(kClientWidth, kClientHeight + statusBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
    // The widgets and links outlive the members below; what they still signal while they go
    // (a focus change, a closing socket) must not reach a handler any more.
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    setup_.setChangeListener({});
}

void MainWindow::Dispatch(Handler handler) {
    if (handlerDepth_ > 0) {
        if (heldBack_.empty() || heldBack_.back() != handler) {
            heldBack_.push_back(handler);
        }
        return;
    }
    HandlerScope scope(*this);
    (this->*handler)();
}

void MainWindow::RunHeldBack() {
    if (handlerDepth_ > 0) {
        return;
    }
    std::vector<Handler> handlers;
    handlers.swap(heldBack_);
    for (Handler handler : handlers) {
        Dispatch(handler);
    }
}

void MainWindow::ConnectSignals() {
    const auto onClick = [this](QAbstractButton* button, Handler handler) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { Dispatch(handler); });
    };
    const auto onSelect = [this](QRadioButton* option, Handler handler) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) {
                Dispatch(handler);
            }
        });
    };
    onClick(ui_.Command1, &MainWindow::Command1_Click);
    onClick(ui_.Command3, &MainWindow::Command3_Click);
    onSelect(ui_.Option1, &MainWindow::Option1_Click);
    onSelect(ui_.Option2, &MainWindow::Option2_Click);
    onSelect(ui_.Option3, &MainWindow::Option3_Click);
    onSelect(ui_.Option4, &MainWindow::Option4_Click);
    // A phase is chosen by every click on its option, also on the one already chosen: a
    // second click on the start pulse arms it again.
    const auto onChoose = [this](QRadioButton* option, Handler handler) {
        connect(option, &QAbstractButton::clicked, this, [this, handler](bool checked) {
            if (checked) {
                Dispatch(handler);
            }
        });
    };
    onChoose(ui_.fase_opwarmen, &MainWindow::fase_opwarmen_Click);
    onChoose(ui_.fase_startschot, &MainWindow::fase_startschot_Click);
    onChoose(ui_.fase_opnemen, &MainWindow::fase_opnemen_Click);

    // Typing in a box changes its text, which a passing reads; choosing an entry is the click.
    connect(ui_.Combo1, &QComboBox::editTextChanged, this,
            [this](const QString& text) { setup_.setSportText(text.toStdString()); });
    connect(ui_.Combo1, &QComboBox::activated, this,
            [this] { Dispatch(&MainWindow::Combo1_Click); });
    connect(ui_.Combo2, &QComboBox::editTextChanged, this,
            [this](const QString& text) { setup_.setHeatText(text.toStdString()); });
    connect(ui_.Combo2, &QComboBox::activated, this,
            [this] { Dispatch(&MainWindow::Combo2_Click); });
    connect(ui_.Slider1, &QSlider::valueChanged, this,
            [this] { Dispatch(&MainWindow::Slider1_Change); });

    setup_.setChangeListener([this] { ApplyRaceControls(); });
    connect(saver_, &WorkbookSaver::due, this, [this] { Dispatch(&MainWindow::SaveCheck); });
}

void MainWindow::Form_Load() {
    // The set-up controls start as the controls model starts: only the open button in use.
    ApplyRaceControls();
    ui_.Command1->setEnabled(true);

    ui_.Combo3->hide();
    ui_.Label3->hide();
    ui_.Text4->hide();
    ui_.Command3->hide();
    ui_.Command3->setEnabled(false);

    if (Status made = EnsureDirectory(dataDirectory_); !made) {
        Report(FromUtf8(made.error().message) + QStringLiteral("; no log will be written"));
    } else {
        Report(QStringLiteral("logs go to %1 (%2, %3)")
                   .arg(PathText(dataDirectory_), QString::fromLatin1(kCouplingLogName),
                        QString::fromLatin1(kRawLogName)));
    }
    ApplyStartUpValues(state_, dataDirectory_);

    {
        const QSignalBlocker blocker(ui_.Option3);
        ui_.Option3->setChecked(true);
    }
    Option3_Click();
}

void MainWindow::Command1_Click() {
    const std::optional<std::filesystem::path> file =
        options_.chooseWorkbook ? options_.chooseWorkbook(this, WorkbookFileFilter())
                                : AskForWorkbook(this, WorkbookFileFilter());
    if (!file) {
        return;
    }
    if (!saver_->saveNow()) {
        ShowMessage(QStringLiteral("%1 was not opened: the race workbook that is open could not "
                                   "be saved (see the status line). Try again once it can be.")
                        .arg(PathText(*file)));
        return;
    }
    Status opened;
    {
        const BusyCursor busy;
        opened = setup_.Command1_Click(*file);
    }
    if (!opened) {
        const QString message = FromUtf8(opened.error().message);
        Report(message);
        ShowMessage(message);
        return;
    }
    saver_->forget();
    Report(QStringLiteral("race workbook %1 opened").arg(PathText(*file)));
}

void MainWindow::Combo1_Click() {
    setup_.setSportText(ui_.Combo1->currentText().toStdString());
    if (Status chosen = setup_.Combo1_Click(); !chosen) {
        Report(FromUtf8(chosen.error().message));
    }
}

void MainWindow::Combo2_Click() {
    setup_.setHeatText(ui_.Combo2->currentText().toStdString());
    setup_.Combo2_Click();
}

void MainWindow::Slider1_Change() {
    setup_.setLapCount(ui_.Slider1->value());
    setup_.Slider1_Change();
}

void MainWindow::fase_opwarmen_Click() {
    setup_.fase_opwarmen_Click();
}

void MainWindow::fase_startschot_Click() {
    setup_.fase_startschot_Click();
}

void MainWindow::fase_opnemen_Click() {
    setup_.fase_opnemen_Click();
}

void MainWindow::Option3_Click() {
    state_.binaryDecoder = true;
}

void MainWindow::Option4_Click() {
    state_.binaryDecoder = false;
}

void MainWindow::SaveCheck() {
    saver_->check();
}

void MainWindow::ApplyRaceControls() {
    const timing::RaceControls& c = setup_.controls();
    ui_.Command1->setEnabled(c.openButtonEnabled);
    SyncComboBox(ui_.Combo1, c.sportBox);
    SyncPrompt(ui_.Text2, c.sportPrompt);
    SyncComboBox(ui_.Combo2, c.heatBox);
    SyncPrompt(ui_.Text3, c.lapPrompt);
    {
        const QSignalBlocker blocker(ui_.Slider1);
        ui_.Slider1->setRange(c.lapSlider.minimum, c.lapSlider.maximum);
        ui_.Slider1->setValue(c.lapSlider.value);
        ui_.Slider1->setEnabled(c.lapSlider.enabled);
        ui_.Slider1->setVisible(c.lapSlider.visible);
    }
    const auto syncOption = [this, &c](QRadioButton* option, const timing::OptionState& state,
                                       timing::PhaseOption which) {
        option->setText(FromUtf8(state.caption));
        option->setEnabled(state.enabled);
        SetOptionChecked(option, c.selectedPhase == which);
    };
    syncOption(ui_.fase_opwarmen, c.warmupOption, timing::PhaseOption::Warmup);
    syncOption(ui_.fase_startschot, c.startPulseOption, timing::PhaseOption::StartPulse);
    syncOption(ui_.fase_opnemen, c.recordOption, timing::PhaseOption::Record);
}

void MainWindow::SetOptionChecked(QRadioButton* option, bool checked) {
    if (option->isChecked() == checked) {
        return;
    }
    const QSignalBlocker blocker(option);
    // An exclusive option cannot be cleared by itself; it is let out of its group meanwhile.
    const bool exclusive = option->autoExclusive();
    option->setAutoExclusive(false);
    option->setChecked(checked);
    option->setAutoExclusive(exclusive);
}

void MainWindow::Report(const QString& message) {
    status_->post(message);
}

void MainWindow::ReportAll(const std::vector<Error>& errors) {
    for (const Error& error : errors) {
        Report(FromUtf8(error.message));
    }
}

void MainWindow::ShowMessage(const QString& text) {
    if (options_.showMessage) {
        options_.showMessage(text);
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Warning, QString::fromLatin1(kWindowTitle), text,
                                QMessageBox::Ok, this);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (!saver_->saveNow() && !closeRefused_) {
        // One refusal only: the user hears of it and may still close without saving.
        closeRefused_ = true;
        ShowMessage(
            QStringLiteral("The race workbook could not be saved (see the status line). "
                           "Close the window again to quit without saving."));
        event->ignore();
        return;
    }
    if (state_.raceWorkbook) {
        (void)state_.raceWorkbook->close();
    }
    event->accept();
}

}  // namespace tivaro::app
