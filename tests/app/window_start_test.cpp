// The window as start-up leaves it: which controls are in view, the empty grid, where the logs
// go, and that no link is opened before one is chosen.

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
#include <QScreen>
#include <QScrollArea>
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

    void atFirstDisplayOnlyTheFirstStepsAreInView() {
        MainWindow& w = harness_->window();
        QCOMPARE(w.windowTitle(), QString::fromLatin1(kWindowTitle));
        // The decoder, the link and the open button are there to be used; the sport, heat and
        // lap controls, the port list, the address and the debug boxes come when their turn
        // comes.
        const QSet<QString> inView = InView(w);
        for (const char* first : {"Option3", "Option4", "Label2", "Option1", "Option2", "Label1",
                                  "Command1", "MSFlexGrid1"}) {
            QVERIFY2(inView.contains(first), first);
        }
        for (const char* later : {"Combo1", "Combo2", "Combo3", "Text2", "Text3", "Text4",
                                  "Slider1", "Command3", "Text1", "Text5", "Text6"}) {
            QVERIFY2(!inView.contains(later), later);
        }
        for (const char* phase : {"fase_opwarmen", "fase_startschot", "fase_opnemen"}) {
            QVERIFY2(!Control<QRadioButton>(w, phase)->isEnabled(), phase);
        }
        QVERIFY(Control<QRadioButton>(w, "Option3")->isChecked());
        QCOMPARE(w.controller().decoderGeneration(), tivaro::link::DecoderGeneration::Binary);
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

    void theWindowFitsALaptopScreenAndItsRoomGoesToTheGrid() {
        MainWindow& w = harness_->window();
        // A 1366 x 768 screen leaves about 700 px under a title bar and a desktop panel.
        QVERIFY2(w.frameGeometry().height() <= 700 && w.frameGeometry().width() <= 1366,
                 qPrintable(QStringLiteral("%1 x %2").arg(w.width()).arg(w.height())));
        auto* grid = Control<QTableView>(w, "MSFlexGrid1");
        auto* view = Control<QWidget>(w, "RaceViewFrame");
        auto* messages = Control<QWidget>(w, "MessageArea");
        QVERIFY(messages->isVisible() && !messages->visibleRegion().isEmpty());
        const QSize gridBefore = grid->size();
        const QSize viewBefore = view->size();
        const QSize leftBefore = Control<QWidget>(w, "LeftColumn")->size();
        w.resize(w.width() + 300, w.height() + 200);
        QTRY_VERIFY(grid->height() > gridBefore.height());
        QVERIFY(grid->width() + view->width() > gridBefore.width() + viewBefore.width());
        QCOMPARE(Control<QWidget>(w, "LeftColumn")->width(), leftBefore.width());

        // Made small, nothing is cut off: the left column scrolls to the phase options.
        w.resize(640, 420);
        QTRY_VERIFY(w.height() < 500);
        auto* column = qobject_cast<QScrollArea*>(Control<QWidget>(w, "LeftColumn"));
        auto* record = Control<QRadioButton>(w, "fase_opnemen");
        column->ensureWidgetVisible(record);
        QVERIFY(!record->visibleRegion().isEmpty());
        QVERIFY(!Control<QWidget>(w, "MessageArea")->visibleRegion().isEmpty());
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
        QVERIFY2(w.statusLine().current().contains("geen logs"),
                 qPrintable(w.statusLine().current()));
        QVERIFY(Control<QPushButton>(w, "Command1")->isEnabled());
    }

    void startUpOpensNoLink() {
        // No serial device is asked for and no connection is tried before a link is chosen.
        int asked = 0;
        WindowHarness quiet;
        quiet.options.serialPorts = [&asked] {
            ++asked;
            return std::vector<SerialPortEntry>{};
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
