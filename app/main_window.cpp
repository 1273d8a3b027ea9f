#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QShortcut>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>
#include <climits>
#include <cstdlib>

#include "app/debug_boxes.h"
#include "app/message_area.h"
#include "app/passing_table_model.h"
#include "app/port_box.h"
#include "app/race_view.h"
#include "app/serial_link.h"
#include "app/status_line.h"
#include "app/workbook_saver.h"
#include "common/data_dir.h"
#include "common/system_error.h"
#include "workbook/backup.h"
#include "workbook/xlsx_app.h"

namespace tivaro::app {

namespace {

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text);
}

QString PathText(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

std::optional<std::filesystem::path> AskForWorkbook(QWidget* parent, const QString& filter,
                                                    const QString& folder) {
    // The dialog starts with the formats the engine reads, the second entry.
    QString selected = filter.section(QStringLiteral(";;"), 1, 1);
    const QString file = QFileDialog::getOpenFileName(
        parent, MainWindow::tr("Wedstrijdwerkboek openen"), folder, filter, &selected);
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(file.toStdString());
}

std::optional<std::filesystem::path> AskWhereToSave(QWidget* parent, const QString& suggested) {
    const QString file =
        QFileDialog::getSaveFileName(parent, MainWindow::tr("Wedstrijdwerkboek opslaan als"),
                                     suggested, MainWindow::tr("Excel-werkmappen (*.xlsx *.xlsm)"));
    if (file.isEmpty()) {
        return std::nullopt;
    }
    return std::filesystem::path(file.toStdString());
}

// Where the program keeps the user's choices between runs.
QSettings Settings() {
    return QSettings(QStringLiteral("Tivaro"), QStringLiteral("Tivaro"));
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

QString WorkbookFileFilter(EngineKind kind) {
    return QStringLiteral("Dovo Worksheets (dovo*.xls);;") + FormatsFilterFor(kind) +
           QStringLiteral(";;All files (*)");
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
                &window_, [window = &window_] { window->runHeldBack(); }, Qt::QueuedConnection);
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
      dataDirectory_(ResolveDataDirectory(options_.dataDirectory)) {
    setObjectName("Form1");
    auto* client = new QWidget(this);
    client->setObjectName("Form1Client");
    setCentralWidget(client);
    ui_ = BuildWindowControls(client);
    status_ = new StatusLine(statusBar());
    messages_ = new MessageArea(ui_.messageFrame);
    ui_.messagePlace->addWidget(messages_);
    raceView_ = new RaceView(ui_.raceViewFrame);
    ui_.raceViewPlace->addWidget(raceView_);
    raceView_->table().verticalHeader()->setDefaultSectionSize(
        ui_.passingGrid->verticalHeader()->defaultSectionSize());
    // Only the frames' captions are bold; what the frames hold is not.
    for (QWidget* widget : client->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(widget) == nullptr && widget->font().bold()) {
            QFont font = widget->font();
            font.setBold(false);
            widget->setFont(font);
        }
    }
    buildMenu();
    debugBoxes_ =
        std::make_unique<DebugBoxes>(ui_.rawDumpCheck, ui_.unescapedDumpCheck, ui_.rawDumpBox,
                                     ui_.unescapedDumpBox, ui_.serialLineBox);

    timing::ControllerOptions core;
    core.startApp = options_.startSpreadsheet;
    core.couplingLog = dataDirectory_ / kCouplingLogName;
    core.rawLog = dataDirectory_ / kRawLogName;
    core.debug = debugBoxes_.get();
    timing::ControllerEvents events;
    events.problem = [this](const Error& error) { report(FromUtf8(error.message)); };
    events.notice = [this](const std::string& text) { report(FromUtf8(text)); };
    events.passingHandled = [this](const timing::PassingResult& result, const std::string&) {
        followDecoderClock(result);
        if (result.takesBack) {
            const timing::PassingList& list = controller_->passings();
            const timing::PassingRow& taken = list.row(list.indexOf(*result.takesBack));
            lastTakenBack_ =
                tr("De %1 van rugnummer %2 om %3")
                    .arg(FromUtf8(taken.type), FromUtf8(taken.bib).trimmed(), FromUtf8(taken.time));
        }
        if (Status shown = raceView_->passingHandled(controller_->race(), result); !shown) {
            report(FromUtf8(shown.error().message));
        }
        // A newer passing of the competitor chosen makes the one chosen no longer its latest.
        updateTakeBackButton();
    };
    events.journal = [this](const std::string& line) { recordInJournal(line); };
    events.setAside = [this](link::LinkKind link, std::uint64_t count) {
        noteSetAside(link, count);
    };
    events.workbookChanged = [this] {
        // New changes since a refused close deserve a new warning.
        closeRefused_ = false;
        saver_->markChanged();
    };
    events.logTrouble = [this](const Error* error) {
        if (error == nullptr) {
            messages_->resolve(MessageArea::Alert::LogNotWritten,
                               tr("De logs worden weer geschreven."));
        } else if (messages_->raise(MessageArea::Alert::LogNotWritten,
                                    tr("Let op: een log wordt niet geschreven. %1")
                                        .arg(FromUtf8(error->message)))) {
            showMessage(tr("Een log kan niet worden geschreven; passeringen staan alleen nog in "
                           "het werkboek en het venster. Kijk de map %1 na.")
                            .arg(PathText(dataDirectory_)));
        }
    };
    events.workbookGone = [this](const Error& error) {
        const QString text =
            tr("Let op: het wedstrijdwerkboek is gesloten of het rekenblad is gestopt. "
               "Passeringen worden getoond en gelogd, maar niet in het werkboek gezet. Open het "
               "werkboek opnieuw; Tivaro biedt dan aan de passeringen alsnog in te vullen.");
        if (messages_->raise(MessageArea::Alert::WorkbookClosed, text)) {
            showMessage(text + QStringLiteral("\n\n") + FromUtf8(error.message));
        }
    };
    controller_ = std::make_unique<timing::RaceController>(std::move(core), std::move(events));

    gridModel_ = new PassingTableModel(controller_->passings(), this);
    ui_.passingGrid->setModel(gridModel_);
    SizeGridColumns(ui_.passingGrid);
    // Scrolled back, the rows in view stay in view while passings come in on top.
    connect(
        gridModel_, &QAbstractItemModel::rowsInserted, this,
        [grid = ui_.passingGrid](const QModelIndex&, int first, int last) {
            QScrollBar* bar = grid->verticalScrollBar();
            if (bar->value() > 0) {
                bar->setValue(bar->value() +
                              (last - first + 1) *
                                  (grid->verticalScrollMode() == QAbstractItemView::ScrollPerItem
                                       ? 1
                                       : grid->verticalHeader()->defaultSectionSize()));
            }
        });

    serial_ = new SerialLink(this);
    tcp_ = new TcpLink(options_.decoderPort, options_.reconnectInterval, this);
    saver_ = new WorkbookSaver(
        [this] { return controller_->race().workbook(); },
        [this] { return serial_->bytesWaiting() > 0 || tcp_->bytesWaiting() > 0; },
        [this](const QString& message) { report(message); }, options_.saveInterval, this);
    serialRetry_.setInterval(std::chrono::seconds(2));
    linkAway_.setSingleShot(true);
    linkAway_.setInterval(options_.lostLinkGrace);

    connectSignals();
    connectLinkSignals();
    startUp();
    updateTitle();

    // A size that fits a laptop screen with a title bar and a panel; the grid, the race view
    // and the messages take what is more.
    const QRect screenRoom = screen()->availableGeometry();
    resize(std::min(1240, screenRoom.width() - 24), std::min(660, screenRoom.height() - 70));
}

void MainWindow::buildMenu() {
    QMenu* view = menuBar()->addMenu(tr("&Beeld"));
    showDebug_ = view->addAction(tr("&Debug-opties"));
    showDebug_->setObjectName(QStringLiteral("ShowDebug"));
    showDebug_->setCheckable(true);
    ui_.debugPanel->hide();
    connect(showDebug_, &QAction::toggled, ui_.debugPanel, &QWidget::setVisible);

    QMenu* settings = menuBar()->addMenu(tr("&Instellingen"));
    useEmbedded_ =
        settings->addAction(tr("&Ingebouwde rekenmodule gebruiken (zonder LibreOffice)"));
    useEmbedded_->setObjectName(QStringLiteral("UseEmbeddedEngine"));
    useEmbedded_->setCheckable(true);
    useEmbedded_->setChecked(preferEmbedded());
    connect(useEmbedded_, &QAction::toggled, this, [this](bool on) {
        Settings().setValue(QStringLiteral("useEmbeddedEngine"), on);
        report(on ? tr("Het volgende werkboek wordt geopend met de ingebouwde rekenmodule.")
                  : tr("Het volgende werkboek wordt geopend in LibreOffice Calc, als dat er is."));
    });
}

bool MainWindow::preferEmbedded() const {
    if (options_.preferEmbedded) {
        return *options_.preferEmbedded;
    }
    if (useEmbedded_ != nullptr) {
        return useEmbedded_->isChecked();
    }
    return Settings().value(QStringLiteral("useEmbeddedEngine"), false).toBool();
}

MainWindow::~MainWindow() {
    // A workbook still being opened is waited for: its thread must not outlive the window.
    if (openingThread_ != nullptr) {
        openingThread_->wait();
    }
    // The widgets and links outlive the members below; what they still signal while they go
    // (a focus change, a closing socket) must not reach a handler any more.
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    controller_->setup().setChangeListener({});
}

void MainWindow::dispatch(Handler handler) {
    if (handlerDepth_ > 0) {
        if (heldBack_.empty() || heldBack_.back() != handler) {
            heldBack_.push_back(handler);
        }
        return;
    }
    HandlerScope scope(*this);
    (this->*handler)();
}

void MainWindow::runHeldBack() {
    if (handlerDepth_ > 0) {
        return;
    }
    std::vector<Handler> handlers;
    handlers.swap(heldBack_);
    for (Handler handler : handlers) {
        dispatch(handler);
    }
}

void MainWindow::connectSignals() {
    const auto onClick = [this](QAbstractButton* button, Handler handler) {
        connect(button, &QAbstractButton::clicked, this, [this, handler] { dispatch(handler); });
    };
    const auto onSelect = [this](QRadioButton* option, Handler handler) {
        connect(option, &QRadioButton::toggled, this, [this, handler](bool on) {
            if (on) {
                dispatch(handler);
            }
        });
    };
    // A phase is chosen by every click on its option, also on the one already chosen: a
    // second click on the start pulse arms it again.
    const auto onChoose = [this](QRadioButton* option, Handler handler) {
        connect(option, &QAbstractButton::clicked, this, [this, handler](bool checked) {
            if (checked) {
                dispatch(handler);
            }
        });
    };
    onClick(ui_.openButton, &MainWindow::openWorkbook);
    onClick(ui_.connectButton, &MainWindow::connectDecoder);
    onSelect(ui_.serialOption, &MainWindow::chooseSerialLink);
    onSelect(ui_.tcpOption, &MainWindow::chooseTcpLink);
    onSelect(ui_.binaryDecoderOption, &MainWindow::chooseBinaryDecoder);
    onSelect(ui_.olderDecoderOption, &MainWindow::chooseOlderDecoder);
    onChoose(ui_.warmupOption, &MainWindow::chooseWarmup);
    onChoose(ui_.startPulseOption, &MainWindow::chooseStartPulse);
    onChoose(ui_.recordOption, &MainWindow::chooseRecording);

    // Choosing an entry is the choice; typed text is not, until an entry is chosen.
    connect(ui_.sportBox, &QComboBox::activated, this,
            [this] { dispatch(&MainWindow::chooseSport); });
    connect(ui_.heatBox, &QComboBox::activated, this,
            [this] { dispatch(&MainWindow::chooseHeat); });
    connect(ui_.lapSlider, &QSlider::valueChanged, this,
            [this] { dispatch(&MainWindow::moveLapSlider); });

    onClick(ui_.handPassingButton, &MainWindow::enterHandPassing);
    onClick(ui_.takeBackButton, &MainWindow::takeBackChosen);
    for (QLineEdit* box : {ui_.handBibBox, ui_.handTimeBox}) {
        connect(box, &QLineEdit::returnPressed, this,
                [this] { dispatch(&MainWindow::enterHandPassing); });
    }
    // Taken when typing is done (Enter, leaving the box) or an arrow is used, not per key.
    ui_.minimumLapBox->setKeyboardTracking(false);
    connect(ui_.minimumLapBox, &QDoubleSpinBox::valueChanged, this,
            [this] { dispatch(&MainWindow::chooseMinimumLap); });
    // The passing to take back is chosen in the grid or, as a competitor, in the race view;
    // choosing in one clears the other.
    connect(ui_.passingGrid->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this] {
                if (ui_.passingGrid->selectionModel()->hasSelection()) {
                    chosenInGrid_ = true;
                    raceView_->clearSelection();
                }
                updateTakeBackButton();
            });
    connect(raceView_, &RaceView::competitorSelected, this, [this](const QString& bib) {
        if (!bib.isEmpty()) {
            chosenInGrid_ = false;
            ui_.passingGrid->clearSelection();
        }
        updateTakeBackButton();
    });
    // F2 goes to the bib field from anywhere; Delete in the grid or the race view takes back
    // what is chosen there, as the button does.
    auto* toBib = new QShortcut(QKeySequence(Qt::Key_F2), this);
    connect(toBib, &QShortcut::activated, this, [this] {
        ui_.handBibBox->setFocus();
        ui_.handBibBox->selectAll();
    });
    for (QWidget* view :
         {static_cast<QWidget*>(ui_.passingGrid), static_cast<QWidget*>(&raceView_->table())}) {
        auto* remove = new QShortcut(QKeySequence(QKeySequence::Delete), view, nullptr, nullptr,
                                     Qt::WidgetShortcut);
        connect(remove, &QShortcut::activated, this, [this] {
            if (ui_.takeBackButton->isEnabled()) {
                dispatch(&MainWindow::takeBackChosen);
            }
        });
    }
    connect(raceView_, &RaceView::competitorPicked, this, [this](const QString& bib) {
        pickedBib_ = bib;
        dispatch(&MainWindow::pickCompetitor);
    });

    controller_->setup().setChangeListener([this] { applyRaceControls(); });
    connect(saver_, &WorkbookSaver::due, this, [this] { dispatch(&MainWindow::saveCheck); });
    connect(saver_, &WorkbookSaver::failingChanged, this, &MainWindow::onSaverFailing);
    connect(messages_, &MessageArea::saveAsRequested, this,
            [this] { dispatch(&MainWindow::saveWorkbookAs); });
}

void MainWindow::startUp() {
    // The set-up controls start as the controls model starts: only the open button in use.
    applyRaceControls();
    ui_.openButton->setEnabled(true);

    ui_.portBox->hide();
    ui_.addressLabel->hide();
    ui_.addressBox->hide();
    ui_.connectButton->hide();
    ui_.connectButton->setEnabled(false);

    if (Status made = EnsureDirectory(dataDirectory_); !made) {
        report(tr("Er worden geen logs geschreven: %1").arg(FromUtf8(made.error().message)));
    } else {
        report(tr("De logs staan in %1 (%2, %3).")
                   .arg(PathText(dataDirectory_), QString::fromLatin1(kCouplingLogName),
                        QString::fromLatin1(kRawLogName)));
    }

    {
        const QSignalBlocker blocker(ui_.binaryDecoderOption);
        ui_.binaryDecoderOption->setChecked(true);
    }
    chooseBinaryDecoder();
    updateTakeBackButton();
}

void MainWindow::openWorkbook() {
    if (opening_) {
        return;  // one workbook at a time
    }
    EngineChoice engine = options_.startSpreadsheet
                              ? EngineChoice{EngineKind::Embedded, options_.engineName, {}}
                              : ChooseEngine(preferEmbedded());
    const QString folder = Settings().value(QStringLiteral("lastFolder")).toString();
    const QString filter = WorkbookFileFilter(engine.kind);
    const std::optional<std::filesystem::path> file =
        options_.chooseWorkbook ? options_.chooseWorkbook(this, filter, folder)
                                : AskForWorkbook(this, filter, folder);
    if (!file) {
        return;
    }
    Settings().setValue(QStringLiteral("lastFolder"), PathText(file->parent_path()));
    openFile(*file);
}

void MainWindow::openFile(const std::filesystem::path& file) {
    if (opening_) {
        return;  // one workbook at a time
    }
    EngineChoice engine = options_.startSpreadsheet
                              ? EngineChoice{EngineKind::Embedded, options_.engineName, {}}
                              : ChooseEngine(preferEmbedded());
    if (!saver_->saveNow()) {
        showMessage(tr("%1 is niet geopend: het wedstrijdwerkboek dat open is kon niet worden "
                       "opgeslagen (zie de berichten). Probeer het opnieuw zodra dat lukt.")
                        .arg(PathText(file)));
        return;
    }
    if (options_.startSpreadsheet) {
        const BusyCursor busy;
        takeWorkbook(timing::Race::OpenWorkbook(options_.startSpreadsheet, file), file, engine);
        return;
    }
    const CalcStart calc = options_.calcStart.value_or(CalcStart{});
    const std::filesystem::path backups = dataDirectory_ / "backup";
    if (engine.kind == EngineKind::Embedded || !options_.openInBackground) {
        const BusyCursor busy;
        Result<timing::OpenedWorkbook> opened = OpenWithEngine(engine, file, backups, calc);
        takeWorkbook(std::move(opened), file, engine);
        return;
    }
    // Calc takes a second or two to start and load: the window goes on meanwhile.
    opening_ = true;
    ui_.openButton->setEnabled(false);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    report(tr("LibreOffice Calc wordt gestart en het werkboek geopend..."));
    auto result = std::make_shared<std::optional<Result<timing::OpenedWorkbook>>>();
    auto chosen = std::make_shared<EngineChoice>(engine);
    openingThread_ = QThread::create([result, chosen, file, backups, calc] {
        result->emplace(OpenWithEngine(*chosen, file, backups, calc));
    });
    connect(openingThread_, &QThread::finished, this, [this, result, chosen, file] {
        openingThread_->deleteLater();
        openingThread_ = nullptr;
        opening_ = false;
        QApplication::restoreOverrideCursor();
        ui_.openButton->setEnabled(controller_->setup().controls().openButtonEnabled);
        takeWorkbook(std::move(**result), file, *chosen);
    });
    openingThread_->start();
}

void MainWindow::takeWorkbook(Result<timing::OpenedWorkbook> opened,
                              const std::filesystem::path& file, const EngineChoice& engine) {
    if (!opened) {
        const QString message = FromUtf8(opened.error().message);
        report(message);
        if (opened.error().code == Errc::ReadOnly) {
            offerCopyOfReadOnly(file, message);
        } else {
            showMessage(message);
        }
        return;
    }
    if (engine.kind == EngineKind::Calc) {
        keepCopyAsOpened(file);
    }
    // The journal starts from the workbook as it is before the race touches it.
    startJournal(file);
    controller_->takeWorkbook(std::move(*opened));
    engineInForce_ = engine.name;
    saver_->forget();
    messages_->resolve(MessageArea::Alert::WorkbookNotSaved);
    messages_->resolve(MessageArea::Alert::WorkbookClosed);
    updateTitle();
    reloadRaceView();
    report(tr("Wedstrijdwerkboek %1 geopend; rekenblad: %2.").arg(PathText(file), engine.name));
    if (!engine.reason.isEmpty()) {
        report(tr("De ingebouwde rekenmodule is gebruikt: %1").arg(engine.reason));
    }
    if (controller_->passingsToReapply() > 0) {
        offerReapply();
    }
}

void MainWindow::offerReapply() {
    const QString question =
        tr("%n passering(en) sinds het openen van dit werkboek staan er niet in (het werkboek "
           "was gesloten of het rekenblad gestopt). Wilt u ze alsnog invullen?",
           nullptr, static_cast<int>(controller_->passingsToReapply()));
    auto answer = [this](bool yes) {
        if (!yes) {
            report(tr("De ontbrekende passeringen zijn niet ingevuld; ze staan in het koppellog."));
            return;
        }
        const std::size_t count = controller_->passingsToReapply();
        controller_->reapply();
        reloadRaceView();
        report(tr("%n passering(en) alsnog in het werkboek ingevuld.", nullptr,
                  static_cast<int>(count)));
    };
    ask(question, tr("Ja"), std::move(answer));
}

void MainWindow::ask(const QString& question, const QString& yes,
                     std::function<void(bool)> answer) {
    if (options_.ask) {
        options_.ask(question, yes, std::move(answer));
        return;
    }
    auto* box = new QMessageBox(QMessageBox::Question, QString::fromLatin1(kWindowTitle), question,
                                QMessageBox::NoButton, this);
    QPushButton* yesButton = box->addButton(yes, QMessageBox::YesRole);
    box->addButton(yes == tr("Ja") ? tr("Nee") : tr("Annuleren"), QMessageBox::NoRole);
    box->setDefaultButton(yesButton);
    box->setAttribute(Qt::WA_DeleteOnClose);
    connect(box, &QMessageBox::finished, this, [box, yesButton, answer = std::move(answer)] {
        answer(box->clickedButton() == yesButton);
    });
    box->open();
}

void MainWindow::offerCopyOfReadOnly(const std::filesystem::path& file, const QString& message) {
    const QString question = message + QStringLiteral("\n\n") +
                             tr("Een kopie op een andere plaats opslaan en daarmee verder gaan?");
    ask(question, tr("Opslaan als..."), [this, file](bool yes) {
        if (!yes) {
            return;
        }
        const QString suggested =
            PathText(std::filesystem::path(QDir::homePath().toStdString()) / file.filename());
        const std::optional<std::filesystem::path> target =
            options_.chooseSaveTarget ? options_.chooseSaveTarget(this, suggested)
                                      : AskWhereToSave(this, suggested);
        if (!target) {
            return;
        }
        std::error_code error;
        std::filesystem::copy_file(file, *target, std::filesystem::copy_options::overwrite_existing,
                                   error);
        if (error) {
            const QString text =
                tr("De kopie kon niet worden gemaakt: kies een andere plaats. "
                   "(%1: %2)")
                    .arg(PathText(*target), QString::fromStdString(SystemErrorText(error)));
            report(text);
            showMessage(text);
            return;
        }
        // The copy takes the file's permissions along; it is made writable for the race.
        std::filesystem::permissions(*target, std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add, error);
        report(tr("Kopie van het werkboek gemaakt: %1").arg(PathText(*target)));
        openFile(*target);
    });
}

void MainWindow::keepCopyAsOpened(const std::filesystem::path& file) {
    // Calc keeps no copy of its own: the workbook as it was opened goes beside the logs, so a
    // race can be played again on it from its journal.
    std::error_code error;
    const std::filesystem::path folder = dataDirectory_ / "backup";
    std::filesystem::create_directories(folder, error);
    const std::filesystem::path copy =
        workbook::BackupPathFor(folder, file, std::chrono::system_clock::now());
    if (!std::filesystem::copy_file(file, copy, error)) {
        report(tr("Er kon geen kopie van het werkboek zoals het geopend werd worden gemaakt (%1).")
                   .arg(QString::fromStdString(SystemErrorText(error))));
    }
}

void MainWindow::saveWorkbookAs() {
    workbook::Workbook* book = controller_->race().workbook();
    if (book == nullptr) {
        return;
    }
    const QString suggested = PathText(book->path());
    const std::optional<std::filesystem::path> target =
        options_.chooseSaveTarget ? options_.chooseSaveTarget(this, suggested)
                                  : AskWhereToSave(this, suggested);
    if (!target) {
        return;
    }
    Result<workbook::SaveReport> saved = book->saveAs(*target);
    if (!saved) {
        report(tr("Het wedstrijdwerkboek is ook daar niet opgeslagen. Kies een andere plaats. %1")
                   .arg(FromUtf8(saved.error().message)));
        return;
    }
    saver_->forget();
    onSaverFailing(false, tr("Het wedstrijdwerkboek is opgeslagen in %1; het wordt voortaan "
                             "daar bewaard.")
                              .arg(PathText(saved->writtenTo)));
    updateTitle();
}

void MainWindow::onSaverFailing(bool failing, const QString& message) {
    if (!failing) {
        messages_->resolve(MessageArea::Alert::WorkbookNotSaved, message);
        return;
    }
    if (messages_->raise(
            MessageArea::Alert::WorkbookNotSaved,
            tr("Let op: het wedstrijdwerkboek wordt niet opgeslagen. %1").arg(message))) {
        showMessage(tr("Het wedstrijdwerkboek kan niet worden opgeslagen; Tivaro probeert het "
                       "steeds opnieuw. Lukt het niet, kies dan onder de berichten \"Opslaan "
                       "als...\" voor een andere plaats.\n\n%1")
                        .arg(message));
    }
}

void MainWindow::updateTitle() {
    QString title = QString::fromLatin1(kWindowTitle);
    if (const workbook::Workbook* book = controller_->race().workbook()) {
        title += QStringLiteral(" \u2014 ") + PathText(book->path().filename());
        if (!engineInForce_.isEmpty()) {
            title += QStringLiteral(" (%1)").arg(engineInForce_);
        }
    }
    setWindowTitle(title);
}

void MainWindow::chooseSport() {
    if (Status chosen = controller_->setup().chooseSport(ui_.sportBox->currentText().toStdString());
        !chosen) {
        report(FromUtf8(chosen.error().message));
    }
    reloadRaceView();
}

void MainWindow::reloadRaceView() {
    if (Status shown = raceView_->reload(controller_->race()); !shown) {
        report(FromUtf8(shown.error().message));
    }
}

void MainWindow::chooseHeat() {
    controller_->setup().chooseHeat(ui_.heatBox->currentText().toStdString());
}

void MainWindow::moveLapSlider() {
    controller_->setup().moveLapSlider(ui_.lapSlider->value());
}

void MainWindow::chooseWarmup() {
    controller_->setup().choosePhase(timing::Phase::Warmup);
}

void MainWindow::chooseStartPulse() {
    controller_->setup().choosePhase(timing::Phase::StartPulse);
}

void MainWindow::chooseRecording() {
    controller_->setup().choosePhase(timing::Phase::Recording);
}

void MainWindow::chooseBinaryDecoder() {
    controller_->chooseDecoderGeneration(link::DecoderGeneration::Binary);
}

void MainWindow::chooseOlderDecoder() {
    controller_->chooseDecoderGeneration(link::DecoderGeneration::Older);
}

void MainWindow::saveCheck() {
    saver_->check();
}

void MainWindow::applyRaceControls() {
    const timing::RaceControls& c = controller_->setup().controls();
    ui_.openButton->setEnabled(c.openButtonEnabled);
    SyncComboBox(ui_.sportBox, c.sportBox);
    SyncPrompt(ui_.sportPrompt, c.sportPrompt);
    SyncComboBox(ui_.heatBox, c.heatBox);
    SyncPrompt(ui_.lapPrompt, c.lapPrompt);
    {
        const QSignalBlocker blocker(ui_.lapSlider);
        ui_.lapSlider->setRange(c.lapSlider.minimum, c.lapSlider.maximum);
        ui_.lapSlider->setValue(c.lapSlider.value);
        ui_.lapSlider->setEnabled(c.lapSlider.enabled);
        ui_.lapSlider->setVisible(c.lapSlider.visible);
    }
    const auto syncOption = [this, &c](QRadioButton* option, const timing::OptionState& state,
                                       timing::Phase phase) {
        option->setText(FromUtf8(state.caption));
        option->setEnabled(state.enabled);
        setOptionChecked(option, c.selectedPhase == phase);
    };
    syncOption(ui_.warmupOption, c.warmupOption, timing::Phase::Warmup);
    syncOption(ui_.startPulseOption, c.startPulseOption, timing::Phase::StartPulse);
    syncOption(ui_.recordOption, c.recordOption, timing::Phase::Recording);
    {
        const QSignalBlocker blocker(ui_.minimumLapBox);
        ui_.minimumLapBox->setValue(static_cast<double>(c.minimumLap) / 100);
    }
}

void MainWindow::setOptionChecked(QRadioButton* option, bool checked) {
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

void MainWindow::noteSetAside(link::LinkKind link, std::uint64_t count) {
    setAside_[link == link::LinkKind::Serial ? 0 : 1] = count;
    // A burst of them updates the notice once, when the burst has been handled.
    if (setAsideShown_) {
        setAsideShown_ = false;
        QTimer::singleShot(0, this, &MainWindow::showSetAside);
    }
}

void MainWindow::showSetAside() {
    setAsideShown_ = true;
    const std::uint64_t total = setAside_[0] + setAside_[1];
    QString where;
    if (setAside_[0] > 0 && setAside_[1] > 0) {
        where = tr(" (seriële lijn %1, TCP %2)").arg(setAside_[0]).arg(setAside_[1]);
    }
    messages_->raise(
        MessageArea::Alert::SetAside,
        tr("Let op: %n record(s) of regel(s) van de decoder terzijde gelegd%1: de controlesom "
           "klopte niet. Meestal is dat storing op de kabel of het netwerk; het kan ook een "
           "decoder zijn met een andere controlesom. Passeringen daarvan staan grijs als "
           "\"Controlesom fout\" in de lijst en niet in het werkboek: voer ze zo nodig met de "
           "hand in.",
           nullptr, static_cast<int>(std::min<std::uint64_t>(total, INT_MAX)))
            .arg(where));
}

void MainWindow::report(const QString& message) {
    status_->post(message);
    messages_->post(message);
}

void MainWindow::showMessage(const QString& text) {
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
        showMessage(
            tr("Het wedstrijdwerkboek kon niet worden opgeslagen (zie de statusregel). "
               "Sluit het venster nog eens om te stoppen zonder op te slaan."));
        event->ignore();
        return;
    }
    if (workbook::Workbook* book = controller_->race().workbook()) {
        (void)book->close();
    }
    event->accept();
}

}  // namespace tivaro::app
