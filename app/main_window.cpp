#include "app/main_window.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QSlider>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QVBoxLayout>
#include <climits>
#include <cmath>
#include <cstdlib>

#include "app/corrections_row.h"
#include "app/debug_boxes.h"
#include "app/decoder_links.h"
#include "app/dialogs.h"
#include "app/live_panel.h"
#include "app/message_area.h"
#include "app/passing_table_model.h"
#include "app/qt_text.h"
#include "app/race_view.h"
#include "app/saved_setup.h"
#include "app/session_journal.h"
#include "app/status_line.h"
#include "app/workbook_opener.h"
#include "app/workbook_saver.h"
#include "common/data_dir.h"
#include "live/stand_json.h"

namespace tivaro::app {

namespace {

// Where the program keeps the user's choices between runs.
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
    raceView_->setRowHeight(ui_.passingGrid->verticalHeader()->defaultSectionSize());
    // Only the frames' captions are bold; what the frames hold is not.
    for (QWidget* widget : client->findChildren<QWidget*>()) {
        if (qobject_cast<QGroupBox*>(widget) == nullptr && widget->font().bold()) {
            QFont font = widget->font();
            font.setBold(false);
            widget->setFont(font);
        }
    }
    // The live page shows the same standings as the race view, read when a change goes out.
    live_ = new LivePanel(
        [this] {
            return live::StandJson(live::StandOf(live::ResultsOrEmpty(controller_->race())));
        },
        this);
    connect(live_, &LivePanel::news, this, &MainWindow::report);
    connect(live_, &LivePanel::problem, this, [this](const QString& text) {
        report(text);
        showMessage(text);
    });
    buildMenu();
    debugBoxes_ =
        std::make_unique<DebugBoxes>(ui_.rawDumpCheck, ui_.unescapedDumpCheck, ui_.rawDumpBox,
                                     ui_.unescapedDumpBox, ui_.serialLineBox);

    timing::ControllerOptions core;
    core.startApp = options_.startSpreadsheet;
    core.couplingLog = dataDirectory_ / kCouplingLogName;
    core.rawLog = dataDirectory_ / kRawLogName;
    core.debug = debugBoxes_.get();
    controller_ = std::make_unique<timing::RaceController>(std::move(core), controllerEvents());

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

    links_ = new DecoderLinks(ui_,
                              {options_.decoderPort, options_.reconnectInterval,
                               options_.lostLinkGrace, options_.serialPorts},
                              this);
    connect(links_, &DecoderLinks::bytesArrived, this,
            [this](link::LinkKind link, const QByteArray& bytes) {
                controller_->onDecoderBytes(
                    link, {reinterpret_cast<const std::uint8_t*>(bytes.constData()),
                           static_cast<std::size_t>(bytes.size())});
            });
    connect(links_, &DecoderLinks::connectionStarted, this,
            [this](link::LinkKind link) { controller_->connectionStarted(link); });
    connect(links_, &DecoderLinks::report, this, &MainWindow::report);
    connect(links_, &DecoderLinks::failure, this, &MainWindow::showMessage);
    connect(links_, &DecoderLinks::awayTooLong, this, [this](const QString& text) {
        if (messages_->raise(MessageArea::Alert::DecoderLost, text)) {
            showMessage(text);
        }
    });
    connect(links_, &DecoderLinks::back, this,
            [this] { messages_->resolve(MessageArea::Alert::DecoderLost); });
    connect(links_, &DecoderLinks::chosen, this,
            [](link::LinkKind link, const QString& where) { SavedSetup::SaveLink(link, where); });

    saver_ = new WorkbookSaver(
        [this] { return controller_->workbookGone() ? nullptr : controller_->race().workbook(); },
        [this] { return links_->bytesWaiting() > 0; },
        [this](const QString& message) { report(message); }, options_.saveInterval, this);
    connect(saver_, &WorkbookSaver::due, saver_, &WorkbookSaver::check);
    connect(saver_, &WorkbookSaver::failingChanged, this, &MainWindow::onSaverFailing);
    connect(messages_, &MessageArea::saveAsRequested, this, &MainWindow::saveWorkbookAs);

    corrections_ = new CorrectionsRow(ui_, *raceView_, *controller_, this);
    connect(corrections_, &CorrectionsRow::report, this, &MainWindow::report);

    WorkbookOpener::Options opening;
    opening.chooseWorkbook = options_.chooseWorkbook;
    opening.chooseSaveTarget = options_.chooseSaveTarget;
    opening.ask = options_.ask;
    opening.startSpreadsheet = options_.startSpreadsheet;
    opening.engineName = options_.engineName;
    opening.calcStart = options_.calcStart.value_or(CalcStart{});
    opening.preferEmbedded = [this] { return preferEmbedded(); };
    opening.openInBackground = options_.openInBackground;
    opening.backups = dataDirectory_ / "backup";
    opener_ = new WorkbookOpener(
        this, std::move(opening),
        [this](const std::filesystem::path& file) {
            if (saver_->saveNow()) {
                return true;
            }
            showMessage(tr("%1 is niet geopend: het wedstrijdwerkboek dat open is kon niet "
                           "worden opgeslagen (zie de berichten). Probeer het opnieuw zodra dat "
                           "lukt.")
                            .arg(PathText(file)));
            return false;
        },
        [this](Result<timing::OpenedWorkbook> opened, const std::filesystem::path& file,
               const EngineChoice& engine) { workbookOpened(std::move(opened), file, engine); });
    connect(opener_, &WorkbookOpener::report, this, &MainWindow::report);
    connect(opener_, &WorkbookOpener::failure, this, &MainWindow::showMessage);
    connect(opener_, &WorkbookOpener::busy, this, [this](bool busy) {
        ui_.openButton->setEnabled(!busy && controller_->setup().controls().openButtonEnabled);
    });

    // Calc works on a thread of its own: what failed there, and whether it answers, is
    // fetched here, on the window's thread, several times a second.
    workbookNews_ = new QTimer(this);
    workbookNews_->setInterval(std::chrono::milliseconds(250));
    connect(workbookNews_, &QTimer::timeout, this, [this] { controller_->checkWorkbook(); });
    workbookNews_->start();

    logRetry_ = new QTimer(this);
    logRetry_->setInterval(std::chrono::seconds(2));
    connect(logRetry_, &QTimer::timeout, this, &MainWindow::retryLogs);

    session_ = new SessionJournal(
        dataDirectory_, [this] { return controller_->setupActions(); }, this);
    connect(session_, &SessionJournal::report, this, &MainWindow::report);
    connect(session_, &SessionJournal::trouble, this, &MainWindow::logTrouble);
    connect(session_, &SessionJournal::started, this,
            [](const std::filesystem::path& journal) { SavedSetup::SaveSessionJournal(journal); });

    connectSetupControls();
    startUp();
    updateTitle();

    // A size that fits a laptop screen with a title bar and a panel; the grid, the race view
    // and the messages take what is more. The size of the last run wins.
    const QRect screenRoom = screen()->availableGeometry();
    resize(std::min(1240, screenRoom.width() - 24), std::min(660, screenRoom.height() - 70));
    restoreSetup();
}

MainWindow::~MainWindow() {
    // The widgets and links outlive the members below; what they still signal while they go
    // (a focus change, a closing socket) must not reach a handler any more.
    for (QObject* child : findChildren<QObject*>()) {
        QObject::disconnect(child, nullptr, this, nullptr);
    }
    controller_->setup().setChangeListener({});
}

timing::ControllerEvents MainWindow::controllerEvents() {
    timing::ControllerEvents events;
    events.problem = [this](const Error& error) { report(FromUtf8(error.message)); };
    events.notice = [this](const std::string& text) { report(FromUtf8(text)); };
    events.passingHandled = [this](const timing::PassingResult& result, const std::string&) {
        if (result.source == timing::PassingSource::Decoder) {
            lastPassing_ = std::chrono::steady_clock::now();
        }
        corrections_->passingHandled(result);
        if (Status shown = raceView_->passingHandled(controller_->race(), result); !shown) {
            report(FromUtf8(shown.error().message));
        }
        live_->raceChanged();
    };
    events.actionTaken = [this](const timing::JournalAction& action) { session_->record(action); };
    events.setAside = [this](link::LinkKind link, std::uint64_t count) {
        noteSetAside(link, count);
    };
    events.workbookChanged = [this] {
        // New changes since a refused close deserve a new warning.
        closeRefused_ = false;
        saver_->markChanged();
    };
    events.logTrouble = [this](const Error* error) {
        logTrouble(error == nullptr ? QString() : FromUtf8(error->message));
    };
    events.workbookGone = [this](const Error& error) {
        const QString text =
            tr("Let op: het wedstrijdwerkboek is gesloten of het rekenblad is gestopt. "
               "Passeringen worden getoond en gelogd en wachten op het werkboek. Open het "
               "werkboek opnieuw; ze worden dan ingevuld.");
        messages_->raise(MessageArea::Alert::Waiting, text);
        showMessage(text + QStringLiteral("\n\n") + FromUtf8(error.message));
    };
    events.waiting = [this](std::size_t count, const std::string& why) {
        if (count == 0) {
            messages_->resolve(MessageArea::Alert::Waiting);
            return;
        }
        messages_->raise(MessageArea::Alert::Waiting,
                         tr("Let op: %n passering(en) wachten op het werkboek: %1", nullptr,
                            static_cast<int>(count))
                             .arg(FromUtf8(why)));
    };
    events.fillInOffered = [this](std::size_t count) { offerFillIn(count); };
    events.spreadsheetAnswering = [this](bool answering, std::size_t waiting) {
        if (answering) {
            messages_->resolve(MessageArea::Alert::CalcNotAnswering,
                               tr("LibreOffice Calc antwoordt weer; de passeringen worden "
                                  "ingevuld."));
            return;
        }
        messages_->raise(
            MessageArea::Alert::CalcNotAnswering,
            tr("LibreOffice Calc reageert niet. Sluit een open venster of dialoog in Calc. "
               "Passeringen worden getoond en gelogd; %n wijziging(en) wachten en worden op "
               "volgorde ingevuld zodra Calc weer antwoordt.",
               nullptr, static_cast<int>(waiting)));
    };
    events.changedInSpreadsheet = [this] {
        if (Status shown = raceView_->reload(controller_->race()); !shown) {
            report(FromUtf8(shown.error().message));
        }
    };
    return events;
}

void MainWindow::buildMenu() {
    QMenu* view = menuBar()->addMenu(tr("&Beeld"));
    QAction* showDebug = view->addAction(tr("&Debug-opties"));
    showDebug->setObjectName(QStringLiteral("ShowDebug"));
    showDebug->setCheckable(true);
    ui_.debugPanel->hide();
    connect(showDebug, &QAction::toggled, ui_.debugPanel, &QWidget::setVisible);
    view->addAction(live_->showAction());

    QMenu* settings = menuBar()->addMenu(tr("&Instellingen"));
    useEmbedded_ =
        settings->addAction(tr("&Ingebouwde rekenmodule gebruiken (zonder LibreOffice)"));
    useEmbedded_->setObjectName(QStringLiteral("UseEmbeddedEngine"));
    useEmbedded_->setCheckable(true);
    // The choice kept from the last run, or the one given from outside.
    useEmbedded_->setChecked(
        options_.preferEmbedded.value_or(SavedSetup::Load().preferEmbedded.value_or(false)));
    connect(useEmbedded_, &QAction::toggled, this, [this](bool on) {
        SavedSetup::SavePreferEmbedded(on);
        report(on ? tr("Het volgende werkboek wordt geopend met de ingebouwde rekenmodule.")
                  : tr("Het volgende werkboek wordt geopend in LibreOffice Calc, als dat er is."));
    });

    settings->addAction(live_->switchAction());

    QMenu* results = menuBar()->addMenu(tr("&Uitslag"));
    QAction* saveResults = results->addAction(tr("Uitslag &opslaan\u2026"));
    saveResults->setObjectName(QStringLiteral("SaveResults"));
    connect(saveResults, &QAction::triggered, this, &MainWindow::saveResults);
    QAction* printResults = results->addAction(tr("&Afdrukken\u2026"));
    printResults->setObjectName(QStringLiteral("PrintResults"));
    connect(printResults, &QAction::triggered, this, &MainWindow::printResults);
    connect(raceView_, &RaceView::saveResultsRequested, this, &MainWindow::saveResults);
    connect(raceView_, &RaceView::printResultsRequested, this, &MainWindow::printResults);
}

bool MainWindow::preferEmbedded() const {
    if (options_.preferEmbedded) {
        return *options_.preferEmbedded;
    }
    return useEmbedded_->isChecked();
}

void MainWindow::connectSetupControls() {
    timing::SetupPanel& setup = controller_->setup();
    connect(ui_.openButton, &QPushButton::clicked, opener_, &WorkbookOpener::askAndOpen);
    // Choosing an entry is the choice; typed text is not, until an entry is chosen.
    connect(ui_.sportBox, &QComboBox::activated, this, [this] {
        if (Status chosen = controller_->chooseSport(ui_.sportBox->currentText().toStdString());
            !chosen) {
            report(FromUtf8(chosen.error().message));
        }
        reloadRaceView();
        corrections_->updateTakeBack();
    });
    connect(ui_.heatBox, &QComboBox::activated, this,
            [this] { controller_->setup().chooseHeat(ui_.heatBox->currentText().toStdString()); });
    connect(ui_.lapSlider, &QSlider::valueChanged, this,
            [this](int value) { controller_->setup().moveLapSlider(value); });
    // A phase is chosen by every click on its option, also on the one already chosen: a
    // second click on the start pulse arms it again.
    const auto onChoose = [this](QRadioButton* option, timing::Phase phase) {
        connect(option, &QAbstractButton::clicked, this, [this, phase](bool checked) {
            if (checked) {
                controller_->setup().choosePhase(phase);
            }
        });
    };
    onChoose(ui_.warmupOption, timing::Phase::Warmup);
    onChoose(ui_.startPulseOption, timing::Phase::StartPulse);
    onChoose(ui_.recordOption, timing::Phase::Recording);
    const auto onGeneration = [this](QRadioButton* option, link::DecoderGeneration generation) {
        connect(option, &QRadioButton::toggled, this, [this, generation](bool on) {
            if (on) {
                controller_->chooseDecoderGeneration(generation);
                SavedSetup::SaveDecoder(generation);
            }
        });
    };
    onGeneration(ui_.binaryDecoderOption, link::DecoderGeneration::Binary);
    onGeneration(ui_.olderDecoderOption, link::DecoderGeneration::Older);
    // Taken when typing is done (Enter, leaving the box) or an arrow is used, not per key.
    ui_.minimumLapBox->setKeyboardTracking(false);
    connect(ui_.minimumLapBox, &QDoubleSpinBox::valueChanged, this, [this](double seconds) {
        controller_->setup().setMinimumLap(std::llround(seconds * 100));
    });
    setup.setChangeListener([this] {
        applyRaceControls();
        raceView_->followSetup(controller_->race());
        live_->raceChanged();
        SavedSetup::SaveRaceSetup(controller_->setupActions().back());
    });
}

void MainWindow::startUp() {
    // The set-up controls start as the controls model starts: only the open button in use.
    applyRaceControls();
    ui_.openButton->setEnabled(true);
    links_->start();
    live_->restore();

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
    controller_->chooseDecoderGeneration(link::DecoderGeneration::Binary);
}

void MainWindow::workbookOpened(Result<timing::OpenedWorkbook> opened,
                                const std::filesystem::path& file, const EngineChoice& engine) {
    if (!opened) {
        const QString message = FromUtf8(opened.error().message);
        report(message);
        showMessage(message);
        return;
    }
    // The journal keeps a copy of the workbook as it is before the race touches it, as the
    // spreadsheet holds it. A resumed race goes on in its own journal and its own copies.
    const bool resumed = std::exchange(resuming_, false);
    if (!resumed) {
        workbook::Workbook& book = *opened->workbook;
        session_->workbookOpened(
            file, [&book](const std::filesystem::path& copy) { return book.writeCopy(copy); });
    }
    SavedSetup::SaveWorkbook(file);
    engineInForce_ = engine.name;
    saver_->forget();
    // Calc stores the whole document each time: at most every ten seconds; the embedded
    // engine's saves are small enough to follow the race within a second.
    saver_->setInterval(engine.kind == EngineKind::Calc ? std::chrono::seconds(10)
                                                        : options_.saveInterval);
    messages_->resolve(MessageArea::Alert::WorkbookNotSaved);
    messages_->resolve(MessageArea::Alert::Waiting);
    const Status taken = controller_->takeWorkbook(std::move(*opened), resumed);
    updateTitle();
    reloadRaceView();
    corrections_->updateTakeBack();
    report(tr("Wedstrijdwerkboek %1 geopend; rekenblad: %2.").arg(PathText(file), engine.name));
    if (!engine.reason.isEmpty()) {
        report(tr("De ingebouwde rekenmodule is gebruikt: %1").arg(engine.reason));
    }
    if (!taken) {
        const QString text = FromUtf8(taken.error().message);
        report(text);
        showMessage(text);
    } else if (const QString inForce = setupInForce(); !inForce.isEmpty()) {
        report(inForce);
    }
}

QString MainWindow::setupInForce() const {
    const timing::Race& race = controller_->race();
    const timing::SportRules* rules = timing::RulesOf(race.setup().sport);
    if (rules == nullptr) {
        return {};
    }
    const timing::RaceControls& controls = controller_->setup().controls();
    QString phase = tr("nog geen fase gekozen");
    switch (race.setup().phase) {
        case timing::Phase::Warmup:
            phase = FromUtf8(controls.warmupOption.caption);
            break;
        case timing::Phase::StartPulse:
            phase = FromUtf8(controls.startPulseOption.caption);
            break;
        case timing::Phase::Recording:
            phase = FromUtf8(controls.recordOption.caption);
            break;
        case timing::Phase::None:
            break;
    }
    return tr("Er wordt verder getimed op het blad \"%1\" (%2); fase: %3.")
        .arg(FromUtf8(race.raceSheetName()), FromUtf8(std::string(rules->boxText)), phase);
}

void MainWindow::offerFillIn(std::size_t count) {
    const QString question =
        tr("%n passering(en) kwamen binnen zonder wedstrijdblad. Nu invullen met de fase die nu "
           "geldt?",
           nullptr, static_cast<int>(count));
    ask(question, tr("Ja"), [this, count](bool yes) {
        controller_->fillIn(yes);
        reloadRaceView();
        report(yes ? tr("%n passering(en) ingevuld.", nullptr, static_cast<int>(count))
                   : tr("%n passering(en) niet ingevuld; ze staan in de lijst, het koppellog en "
                        "het journaal.",
                        nullptr, static_cast<int>(count)));
    });
}

void MainWindow::ask(const QString& question, const QString& yes,
                     std::function<void(bool)> answer) {
    if (options_.ask) {
        options_.ask(question, yes, std::move(answer));
    } else {
        AskQuestion(this, question, yes, std::move(answer));
    }
}

void MainWindow::saveWorkbookAs() {
    workbook::Workbook* book = controller_->race().workbook();
    if (book == nullptr) {
        return;
    }
    askForFileToSave(options_.chooseSaveTarget, tr("Wedstrijdwerkboek opslaan als"),
                     PathText(book->path()), tr("Excel-werkmappen (*.xlsx *.xlsm)"),
                     [this](const std::filesystem::path& target) { saveWorkbookTo(target); });
}

void MainWindow::askForFileToSave(const SaveTargetChooser& given, const QString& title,
                                  const QString& suggested, const QString& filter,
                                  std::function<void(const std::filesystem::path&)> chosen) {
    if (given) {
        if (const std::optional<std::filesystem::path> target = given(this, suggested)) {
            chosen(*target);
        }
        return;
    }
    AskForFileToSave(this, title, suggested, filter,
                     [chosen = std::move(chosen)](std::optional<std::filesystem::path> target) {
                         if (target) {
                             chosen(*target);
                         }
                     });
}

void MainWindow::saveWorkbookTo(const std::filesystem::path& target) {
    workbook::Workbook* book = controller_->race().workbook();
    if (book == nullptr) {
        return;
    }
    Result<workbook::SaveReport> saved = book->saveAs(target);
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

void MainWindow::reloadRaceView() {
    if (Status shown = raceView_->reload(controller_->race()); !shown) {
        report(FromUtf8(shown.error().message));
    }
    live_->raceChanged();
}

void MainWindow::applyRaceControls() {
    const timing::RaceControls& c = controller_->setup().controls();
    ui_.openButton->setEnabled(c.openButtonEnabled && !opener_->opening());
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

void MainWindow::report(const QString& message) {
    status_->post(message);
    messages_->post(message);
}

void MainWindow::showMessage(const QString& text) {
    if (options_.showMessage) {
        options_.showMessage(text);
    } else {
        ShowWarning(this, text);
    }
}

}  // namespace tivaro::app
