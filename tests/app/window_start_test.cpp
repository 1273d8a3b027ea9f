// The window as start-up leaves it: which controls are in view and usable, their texts and
// entries, the first race state, and where the logs go.

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QSet>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <fstream>

#include "app/status_line.h"
#include "app/window_layout.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

const QStringList kControls = {
    "Frame1",     "Frame2",  "Frame3",  "Frame4",        "Frame5",          "Option1",
    "Option2",    "Option3", "Option4", "Combo1",        "Combo2",          "Combo3",
    "Label1",     "Label2",  "Label3",  "Label5",        "Text1",           "Text2",
    "Text3",      "Text4",   "Text5",   "Text6",         "Command1",        "Command3",
    "Slider1",    "Check1",  "Check2",  "fase_opwarmen", "fase_startschot", "fase_opnemen",
    "MSFlexGrid1"};

// The controls of which some part can be seen in the window as it is now.
QSet<QString> InView(QWidget& window) {
    QSet<QString> seen;
    for (const QString& name : kControls) {
        auto* control = window.findChild<QWidget*>(name);
        if (control != nullptr && control->isVisible() && !control->visibleRegion().isEmpty()) {
            seen.insert(name);
        }
    }
    return seen;
}

// The caption or text a control shows.
QString TextOf(QWidget* control) {
    if (auto* frame = qobject_cast<QGroupBox*>(control)) {
        return frame->title();
    }
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        return button->text();
    }
    if (auto* label = qobject_cast<QLabel*>(control)) {
        return label->text();
    }
    if (auto* line = qobject_cast<QLineEdit*>(control)) {
        return line->text();
    }
    if (auto* box = qobject_cast<QPlainTextEdit*>(control)) {
        return box->toPlainText();
    }
    if (auto* list = qobject_cast<QComboBox*>(control)) {
        return list->currentText();
    }
    return QStringLiteral("<no text>");
}

QStringList Entries(QComboBox* box) {
    QStringList entries;
    for (int i = 0; i < box->count(); ++i) {
        entries << box->itemText(i);
    }
    return entries;
}

}  // namespace

class WindowStartTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        harness_ = std::make_unique<WindowHarness>();
        harness_->create();
        harness_->show();
    }
    void cleanup() { harness_.reset(); }

    void inViewAtFirstDisplayAreExactlyTheStartControls() {
        MainWindow& w = harness_->window();
        QCOMPARE(w.objectName(), QStringLiteral("Form1"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Tivaro Tijdwaarneming-2008-1.3"));
        const QSet<QString> expected = {
            "Frame4",   "Option3",       "Option4",         "Frame3",
            "Label2",   "Option1",       "Option2",         "Frame1",
            "Label1",   "fase_opwarmen", "fase_startschot", "fase_opnemen",
            "Command1", "Frame2",        "MSFlexGrid1",     "Label5"};
        QCOMPARE(InView(w), expected);
        QCOMPARE(w.centralWidget()->size(), QSize(kClientWidth, kClientHeight));
    }

    void startStateOfEachControl() {
        MainWindow& w = harness_->window();
        QVERIFY(Control<QRadioButton>(w, "Option3")->isChecked());
        QVERIFY(!Control<QRadioButton>(w, "Option4")->isChecked());
        for (const char* name : {"Option1", "Option2", "Option3", "Option4"}) {
            QVERIFY2(Control<QRadioButton>(w, name)->isEnabled(), name);
        }
        QVERIFY(!Control<QRadioButton>(w, "Option1")->isChecked());
        QVERIFY(!Control<QRadioButton>(w, "Option2")->isChecked());
        QVERIFY(Control<QPushButton>(w, "Command1")->isEnabled());
        QVERIFY(Control<QPushButton>(w, "Command3")->isHidden());
        QVERIFY(!Control<QPushButton>(w, "Command3")->isEnabled());
        QVERIFY(Control<QSlider>(w, "Slider1")->isHidden());
        QVERIFY(!Control<QSlider>(w, "Slider1")->isEnabled());
        QCOMPARE(Control<QSlider>(w, "Slider1")->value(), 1);
        QCOMPARE(Control<QSlider>(w, "Slider1")->minimum(), 1);
        QCOMPARE(Control<QSlider>(w, "Slider1")->maximum(), 5);
        for (const char* name : {"fase_opwarmen", "fase_startschot", "fase_opnemen"}) {
            auto* option = Control<QRadioButton>(w, name);
            QVERIFY2(!option->isEnabled() && !option->isChecked() && option->isVisible(), name);
        }
        for (const char* name :
             {"Combo1", "Combo2", "Combo3", "Text2", "Text3", "Text4", "Label3"}) {
            QVERIFY2(Control<QWidget>(w, name)->isHidden(), name);
        }
        QVERIFY(!Control<QCheckBox>(w, "Check1")->isChecked());
        QVERIFY(!Control<QCheckBox>(w, "Check2")->isChecked());
        QVERIFY(Control<QPlainTextEdit>(w, "Text5")->toPlainText().isEmpty());
        QVERIFY(Control<QPlainTextEdit>(w, "Text6")->toPlainText().isEmpty());
    }

    void captionsTextsAndEntries() {
        MainWindow& w = harness_->window();
        const QList<QPair<const char*, QString>> texts = {
            {"Frame1", "Wedstrijd informatie"},
            {"Frame2", "Tijd/Koppel log"},
            {"Frame3", "Data Input"},
            {"Frame4", "Decoder Instelling"},
            {"Frame5", "Debug Options"},
            {"Option1", "Serial (COM 1)"},
            {"Option2", "TCP/IP"},
            {"Option3", "ChipX, TranX, TranXPro, AMBMX, AMBrc"},
            {"Option4", "Oudere types AMB decoders"},
            {"Label1", "Kies hier de Dovo excel file"},
            {"Label2", "Kies voor communicatietype richting AMB-decoder"},
            {"Label3", "IP-adres van de decoder"},
            {"Command1", "Open Dovo Excel Worbook"},
            {"Command3", "Connect"},
            {"Text1", "Text1"},
            {"Text2", "Kies hier Schaatsen, Lopen \nof Fietsen\n"},
            {"Text3", "Kies hier voor schaatsen \nde heat\n"},
            {"Text4", ""},
            {"Combo1", ""},
            {"Combo2", ""},
            {"Combo3", "Com Port"},
            {"fase_opwarmen", "Opwarmen"},
            {"fase_startschot", "1 Startpuls voor iedereen"},
            {"fase_opnemen", "Tijd Opnemen (evt Start)"},
            {"Check1", "Debug raw"},
            {"Check2", "Debug Unescaped"}};
        for (const auto& [name, text] : texts) {
            QCOMPARE(TextOf(Control<QWidget>(w, name)), text);
        }

        const QList<QPair<const char*, QStringList>> entries = {
            {"Combo1", {"Schaatsen", "Lopen", "Fietsen"}},
            {"Combo2", {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"}},
            {"Combo3", {"COM 1", "COM 2", "COM 3", "COM 4", "COM 5"}}};
        for (const auto& [name, list] : entries) {
            auto* box = Control<QComboBox>(w, name);
            QCOMPARE(Entries(box), list);
            QVERIFY2(box->isEditable(), name);
        }

        const QString banner = Control<QLabel>(w, "Label5")->text();
        QVERIFY(banner.contains("Zomra-Tivaro") && banner.contains("2008") &&
                banner.contains("Ver 1.3 (ActX)"));
    }

    void onlyFrameCaptionsAreBold() {
        MainWindow& w = harness_->window();
        for (const char* name : {"Frame1", "Frame2", "Frame3", "Frame4"}) {
            QVERIFY2(Control<QGroupBox>(w, name)->font().bold(), name);
        }
        for (const char* name : {"Option1", "Option3", "Label1", "Label2", "fase_opnemen",
                                 "Command1", "MSFlexGrid1", "Label5"}) {
            QVERIFY2(!Control<QWidget>(w, name)->font().bold(), name);
        }
    }

    void framesLieWhereTheirTwipsPut() {
        MainWindow& w = harness_->window();
        QCOMPARE(Control<QGroupBox>(w, "Frame4")->geometry(), QRect(8, 16, 457, 49));
        QCOMPARE(Control<QGroupBox>(w, "Frame3")->geometry(), QRect(8, 72, 161, 193));
        QCOMPARE(Control<QGroupBox>(w, "Frame1")->geometry(), QRect(8, 288, 161, 345));
        QCOMPARE(Control<QGroupBox>(w, "Frame2")->geometry(), QRect(184, 72, 289, 609));
        QCOMPARE(Control<QLabel>(w, "Label5")->geometry(), QRect(16, 688, 433, 17));
        // The open button and the sport box belong to the window but lie in Frame1's area.
        auto* frame1 = Control<QGroupBox>(w, "Frame1");
        for (const char* name : {"Command1", "Combo1"}) {
            auto* control = Control<QWidget>(w, name);
            QCOMPARE(control->parentWidget(), w.centralWidget());
            QVERIFY2(frame1->geometry().contains(control->geometry()), name);
        }
        // The lap slider and the heat box share one place.
        QVERIFY(Control<QSlider>(w, "Slider1")
                    ->geometry()
                    .intersects(Control<QComboBox>(w, "Combo2")->geometry()));
    }

    void text1LiesBeyondItsFrameAndDebugControlsBeyondTheClientArea() {
        MainWindow& w = harness_->window();
        auto* text1 = Control<QLineEdit>(w, "Text1");
        QCOMPARE(text1->parentWidget(), Control<QGroupBox>(w, "Frame2"));
        QVERIFY(text1->x() >= text1->parentWidget()->width());

        for (const char* name : {"Frame5", "Text5", "Text6"}) {
            QVERIFY2(Control<QWidget>(w, name)->x() >= kClientWidth, name);
        }
        QCOMPARE(Control<QWidget>(w, "Frame5")->x(), 688);
        QCOMPARE(Control<QWidget>(w, "Text5")->x(), 488);
    }

    void wideningTheWindowBringsTheDebugControlsIntoView() {
        MainWindow& w = harness_->window();
        w.resize(kDebugClientWidth, w.height());
        QTRY_COMPARE(w.centralWidget()->width(), kDebugClientWidth);
        const QSet<QString> seen = InView(w);
        for (const char* name : {"Frame5", "Check1", "Check2", "Text5", "Text6"}) {
            QVERIFY2(seen.contains(name), name);
        }
        QVERIFY(!seen.contains("Text1"));
        // Every debug control fits in the widened client area.
        for (const char* name : {"Frame5", "Text5", "Text6"}) {
            QVERIFY2(Control<QWidget>(w, name)->geometry().right() < kDebugClientWidth, name);
        }
        // The dump boxes have both scroll bars.
        auto* text5 = Control<QPlainTextEdit>(w, "Text5");
        QCOMPARE(text5->horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
        QCOMPARE(text5->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    }

    void gridShowsOnlyItsHeadingsWithTimeCentred() {
        MainWindow& w = harness_->window();
        auto* grid = Control<QTableView>(w, "MSFlexGrid1");
        QAbstractItemModel* model = grid->model();
        QCOMPARE(model->rowCount(), 0);
        QCOMPARE(model->columnCount(), 4);
        QStringList headings;
        for (int column = 0; column < 4; ++column) {
            headings << model->headerData(column, Qt::Horizontal).toString();
        }
        QCOMPARE(headings, QStringList({"Transponder", "Rugnr.", "Tijd", "Type"}));
        QVERIFY(grid->horizontalHeader()->isVisible());
        QCOMPARE(model->headerData(2, Qt::Horizontal, Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));
        // Every column can be seen without scrolling sideways.
        int widths = 0;
        for (int column = 0; column < 4; ++column) {
            QVERIFY(grid->columnWidth(column) > 20);
            widths += grid->columnWidth(column);
        }
        QVERIFY(widths <= grid->viewport()->width());
    }

    void raceStateAfterStartUp() {
        const tivaro::RaceState& state = harness_->window().raceState();
        QCOMPARE(state.phase, 0);
        QVERIFY(state.startPulsePending);
        QVERIFY(state.binaryDecoder);
        QVERIFY(!state.passingDecoded);
        QVERIFY(!state.colourCellPending);
        QCOMPARE(state.rawRecord, std::vector<std::uint8_t>{0});
        QVERIFY(state.record.empty());
        QVERIFY(state.tcpTextRemainder.empty());
        QVERIFY(!state.raceWorkbook);
        QCOMPARE(state.couplingLogPath, (harness_->dataDir() / "dovokop.log").string());
        QCOMPARE(state.rawLogPath, (harness_->dataDir() / "tivaro.log").string());
    }

    void dataDirectoryIsCreatedAndTheStatusLineSaysWhereLogsGo() {
        QVERIFY(std::filesystem::is_directory(harness_->dataDir()));
        const QString status = harness_->window().statusLine().current();
        QVERIFY2(status.contains(QString::fromStdString(harness_->dataDir().string())),
                 qPrintable(status));
        QVERIFY(QRegularExpression("^\\d\\d:\\d\\d:\\d\\d ").match(status).hasMatch());
        QVERIFY(harness_->messages.isEmpty());
    }

    void dataDirectoryComesFromTheEnvironmentWhenNotGiven() {
        const std::filesystem::path fromEnvironment = harness_->scratch() / "elsewhere";
        qputenv("TIVARO_DATA_DIR", QByteArray::fromStdString(fromEnvironment.string()));
        QCOMPARE(ResolveDataDirectory({}), fromEnvironment);
        QCOMPARE(ResolveDataDirectory("/given"), std::filesystem::path("/given"));
        qunsetenv("TIVARO_DATA_DIR");
        QVERIFY(!ResolveDataDirectory({}).empty());
        QVERIFY(ResolveDataDirectory({}) != fromEnvironment);
    }

    void uncreatableDataDirectoryIsReportedAndTheWindowStillStarts() {
        WindowHarness blocked;
        // A file where the directory should be.
        std::filesystem::create_directories(blocked.scratch() / "data");
        { std::ofstream(blocked.dataDir()) << "not a directory"; }
        MainWindow& w = blocked.create();
        QVERIFY2(w.statusLine().current().contains("no log will be written"),
                 qPrintable(w.statusLine().current()));
        QVERIFY(Control<QPushButton>(w, "Command1")->isEnabled());
    }

    void startUpOpensNoLink() {
        // No serial device is asked for and no connection is tried before a link is chosen.
        int asked = 0;
        WindowHarness quiet;
        quiet.options.serialDevice = [&asked] {
            ++asked;
            return QString();
        };
        DecoderServer decoder;
        quiet.options.decoderPort = decoder.port();
        quiet.create();
        quiet.show();
        QTest::qWait(100);
        QCOMPARE(asked, 0);
        QCOMPARE(decoder.connectionsAccepted(), 0);
    }

private:
    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowStartTest)
#include "window_start_test.moc"
