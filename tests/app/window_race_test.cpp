// Whole races through the real window and real links: a loopback decoder over TCP and a
// pseudo-terminal as the serial line, timing into a copy of the demo workbook. What counts is
// what the race leaves behind: the coupling log, the grid and the workbook on disk.

#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include "app/message_area.h"
#include "app/passing_table_model.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "timing/colours.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;
namespace timing = tivaro::timing;

namespace {

constexpr int kRunning = 1;  // sheet "loop"
constexpr int kSkating = 0;  // sheet "schaats"

// One grid row as shown: the four columns and the colour number.
QString Row(QTableView* grid, int row) {
    QAbstractItemModel* model = grid->model();
    QStringList cells;
    for (int column = 0; column < 4; ++column) {
        cells << model->index(row, column).data().toString();
    }
    return cells.join('|');
}

QColor RowColour(QTableView* grid, int row) {
    return grid->model()->index(row, 0).data(Qt::BackgroundRole).value<QBrush>().color();
}

}  // namespace

class WindowRaceTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() { harness_.reset(); }

    void runningRaceOverTcp() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        StartWithWorkbook();
        Choose(Control<QComboBox>(w(), "Combo1"), "Lopen");
        auto* slider = Control<QSlider>(w(), "Slider1");
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Right);  // two laps
        Select(Control<QRadioButton>(w(), "fase_startschot"));
        QVERIFY(ConnectOverTcp(w(), decoder));

        // The common start, sent whole.
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 0, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);
        Select(Control<QRadioButton>(w(), "fase_opnemen"));

        // A record split over three segments.
        const QByteArray split = WirePassing(DemoNumber(kRunning, 1), Micros(10, 1, 2, 50));
        decoder.send(split.left(5));
        QTest::qWait(30);
        decoder.send(split.mid(5, 9));
        QTest::qWait(30);
        QCOMPARE(Grid()->model()->rowCount(), 1);
        decoder.send(split.mid(14));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);

        // Several records and a status record in one segment.
        decoder.send(WirePassing(DemoNumber(kRunning, 1), Micros(10, 2, 3, 7)) + WireStatus() +
                     WirePassing(0, Micros(10, 2, 4), DemoTransponder(kRunning, 3)) +
                     WirePassing(9999999, Micros(10, 2, 5)) +
                     WirePassing(DemoNumber(kRunning, 1), Micros(10, 2, 30)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 6);

        const QStringList expected = {
            "7405583\t201 \t10:0:0.00\tStart!!", "7405584\t202 \t10:1:2.50\tDoork 1",
            "7405584\t202 \t10:2:3.07\tFinish",  "KX-05126\t204 \t10:2:4.00\tDoork 1",
            "9999999\t \t10:2:5.00\tOnbekend",   "7405584\t202 \t10:2:30.00\tUitlopen"};
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log"), expected);

        // Newest on top, each row in its passing's colour.
        QCOMPARE(Row(Grid(), 0), QStringLiteral("7405584|202 |10:2:30.00|Uitlopen"));
        QCOMPARE(Row(Grid(), 5), QStringLiteral("7405583|201 |10:0:0.00|Start!!"));
        QCOMPARE(RowColour(Grid(), 0), ColourFromNumber(timing::kLightYellow));
        QCOMPARE(RowColour(Grid(), 1), ColourFromNumber(timing::kWhite));
        QCOMPARE(RowColour(Grid(), 2), ColourFromNumber(timing::kYellow));
        QCOMPARE(RowColour(Grid(), 3), ColourFromNumber(timing::kOrange));
        QCOMPARE(RowColour(Grid(), 5), ColourFromNumber(timing::kGreen));

        // The workbook on disk follows the race.
        QTRY_COMPARE(Cell("loop", 4, 20), std::string("x"));
        QCOMPARE(Cell("loop", 3, 6), std::string("10:0:0.00"));   // everyone's start time
        QCOMPARE(Cell("loop", 22, 6), std::string("10:0:0.00"));  // the last runner's row
        QCOMPARE(Cell("loop", 23, 6), std::string());             // no runner: nothing
        QCOMPARE(Cell("loop", 4, 7), std::string("10:1:2.50"));   // lap 1 of bib 202
        QCOMPARE(Cell("loop", 4, 11), std::string("10:2:3.07"));  // finish column
        QCOMPARE(Cell("loop", 6, 7), std::string("10:2:4.00"));
        QCOMPARE(Cell("loop", 6, 20), std::string("5"));  // bib 204: the finish is next
        QCOMPARE(Cell("schaats", 3, 6), std::string());   // other sports untouched
    }

    void aDroppedConnectionLosesNoBytes() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->create();
        harness_->show();
        QVERIFY(ConnectOverTcp(w(), decoder));

        // A record sent just before the decoder closes is still handled...
        decoder.send(WirePassing(1001, Micros(9, 0, 0)));
        const QByteArray split = WirePassing(1002, Micros(9, 0, 1));
        decoder.send(split.left(10));
        decoder.close();
        QTRY_VERIFY(Control<QLabel>(w(), "Label2")->text().contains("verbroken"));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);

        // ...while a record cut by the drop is dropped with its connection: the new
        // connection starts afresh, and what it sends before its first start byte (here the
        // rest of the cut record) never glues onto the old half.
        QVERIFY(decoder.listen());
        QVERIFY(decoder.waitForClient());
        QTRY_COMPARE(Control<QLabel>(w(), "Label2")->text(),
                     QStringLiteral("Verbinding met decoder gemaakt"));
        decoder.send(split.mid(10));
        decoder.send(WirePassing(1003, Micros(9, 0, 2)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log"),
                 QStringList({"1001\t \t9:0:0.00\tOnbekend", "1003\t \t9:0:2.00\tOnbekend"}));
        QVERIFY(Control<QPlainTextEdit>(w(), "Text5")->toPlainText().contains("half record"));
    }

    void skatingHeatOverTheSerialLine() {
        PseudoTerminal pty;
        harness_->options.serialPorts = [&pty] {
            return std::vector<SerialPortEntry>{{pty.devicePath(), "pts"}};
        };
        StartWithWorkbook();
        ChooseSerialPort(w());
        Choose(Control<QComboBox>(w(), "Combo1"), "Schaatsen");
        Choose(Control<QComboBox>(w(), "Combo2"), "Heat 2");
        Select(Control<QRadioButton>(w(), "fase_opnemen"));

        // Heat 2 holds competitors 1, 6, 11 and 16; competitor 0 rides heat 1.
        const QByteArray first = WirePassing(DemoNumber(kSkating, 1), Micros(14, 0, 0, 10));
        QVERIFY(pty.write(QByteArray::fromHex("0506") + first.left(7)));
        QTest::qWait(30);
        QVERIFY(pty.write(first.mid(7)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);
        QVERIFY(pty.write(WirePassing(DemoNumber(kSkating, 6), Micros(14, 0, 1)) +
                          WirePassing(0, Micros(14, 0, 2), DemoTransponder(kSkating, 11)) +
                          WirePassing(DemoNumber(kSkating, 0), Micros(14, 0, 3))));
        QTRY_COMPARE(Grid()->model()->rowCount(), 4);
        QVERIFY(pty.write(WirePassing(DemoNumber(kSkating, 1), Micros(14, 0, 40, 99))));
        QTRY_COMPARE(Grid()->model()->rowCount(), 5);

        QCOMPARE(
            ReadLines(harness_->dataDir() / "dovokop.log"),
            QStringList({"7404584\t102 \t14:0:0.10\tStart", "7404589\t107 \t14:0:1.00\tStart",
                         "KX-04134\t112 \t14:0:2.00\tStart", "7404583\t101 \t14:0:3.00\tOpwarmen",
                         "7404584\t102 \t14:0:40.99\tDoork 1"}));
        QCOMPARE(RowColour(Grid(), 1), ColourFromNumber(timing::kLightCyan));
        QTRY_COMPARE(Cell("schaats", 4, 20), std::string("2"));
        QCOMPARE(Cell("schaats", 4, 6), std::string("14:0:0.10"));
        QCOMPARE(Cell("schaats", 4, 7), std::string("14:0:40.99"));
        QCOMPARE(Cell("schaats", 14, 6), std::string("14:0:2.00"));
        QCOMPARE(Cell("schaats", 3, 6), std::string());  // heat 1 only warms up
        QCOMPARE(Cell("schaats", 3, 20), std::string());
    }

    void olderDecoderLinesOverTheSerialLine() {
        PseudoTerminal pty;
        harness_->options.serialPorts = [&pty] {
            return std::vector<SerialPortEntry>{{pty.devicePath(), "pts"}};
        };
        harness_->create();
        harness_->show();
        Select(Control<QRadioButton>(w(), "Option4"));
        ChooseSerialPort(w());

        const QByteArray line = "\x01@\t3\t1\t7404583\t68700.00\t24\t112\t0\tx1EEF\r\n";
        QVERIFY(pty.write(line.left(12)));
        QTest::qWait(30);
        QVERIFY(pty.write(line.mid(12) + "\x01#\t3\t41\t0\txC0DE\r\n"));
        QTRY_COMPARE(Control<QLineEdit>(w(), "Text1")->text(),
                     QStringLiteral("\x01#\t3\t41\t0\txC0DE\r\n"));
        QCOMPARE(Grid()->model()->rowCount(), 1);
        // The raw log keeps the passing line as it came, its own line end included.
        QCOMPARE(ReadBytes(harness_->dataDir() / "tivaro.log"), line + "\r\n");
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log"),
                 QStringList({"7404583\t \t19:5:0.00\tOnbekend"}));
    }

    void theGridKeepsTheRowsInViewWhenScrolledBack() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->create();
        harness_->show();
        QVERIFY(ConnectOverTcp(w(), decoder));
        QByteArray many;
        for (int n = 0; n < 80; ++n) {
            many += WirePassing(5000 + n, Micros(9, 0, n));
        }
        decoder.send(many);
        QTRY_COMPARE(Grid()->model()->rowCount(), 80);
        // At the top the newest passing comes into view...
        decoder.send(WirePassing(6000, Micros(9, 2, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 81);
        QCOMPARE(Grid()->indexAt(QPoint(4, 4)).data().toString(), QStringLiteral("6000"));
        // ...scrolled back, the rows in view stay where they are.
        Grid()->verticalScrollBar()->setValue(30);
        const QString shown = Grid()->indexAt(QPoint(4, 4)).data().toString();
        decoder.send(WirePassing(6001, Micros(9, 2, 1)) + WirePassing(6002, Micros(9, 2, 2)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 83);
        QCOMPARE(Grid()->indexAt(QPoint(4, 4)).data().toString(), shown);
    }

    void debugBoxesShowTheRecordsWhenTicked() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->create();
        harness_->show();
        QVERIFY(ConnectOverTcp(w(), decoder));
        decoder.send(WirePassing(1001, Micros(9, 0, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);
        auto* text5 = Control<QPlainTextEdit>(w(), "Text5");
        auto* text6 = Control<QPlainTextEdit>(w(), "Text6");
        QVERIFY(text5->toPlainText().isEmpty() && text6->toPlainText().isEmpty());

        QTest::mouseClick(Control<QCheckBox>(w(), "Check1"), Qt::LeftButton, {}, QPoint(7, 10));
        QTest::mouseClick(Control<QCheckBox>(w(), "Check2"), Qt::LeftButton, {}, QPoint(7, 10));
        decoder.send(WireStatus());
        QTRY_VERIFY(!text6->toPlainText().isEmpty());
        QVERIFY2(text5->toPlainText().startsWith("\n | 8E | "), qPrintable(text5->toPlainText()));
        QVERIFY(text5->toPlainText().endsWith(" | 8F"));
        // A record that is no passing still shows unescaped, from its leading 0.
        QVERIFY2(text6->toPlainText().startsWith("\n | 0 | "), qPrintable(text6->toPlainText()));
    }

    void passingsComeInWhileTheFileDialogIsOpen() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->options.chooseWorkbook = nullptr;  // the real dialog
        harness_->create();
        harness_->show();
        QVERIFY(ConnectOverTcp(w(), decoder));
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QFileDialog* dialog = nullptr;
        QTRY_VERIFY((dialog = w().findChild<QFileDialog*>()) != nullptr && dialog->isVisible());
        decoder.send(WirePassing(1001, Micros(9, 0, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);
        QVERIFY(dialog->isVisible());
        dialog->reject();
        QTRY_VERIFY(w().findChild<QFileDialog*>() == nullptr);
        QVERIFY(!w().controller().race().workbook());
    }

    void aCouplingLogThatCannotBeWrittenIsReported() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->create();
        harness_->show();
        std::filesystem::create_directories(harness_->dataDir() / "dovokop.log");
        QVERIFY(ConnectOverTcp(w(), decoder));
        decoder.send(WirePassing(1001, Micros(9, 0, 0)));
        QTRY_VERIFY2(w().statusLine().current().contains("koppellog"),
                     qPrintable(w().statusLine().current()));
        QCOMPARE(Grid()->model()->rowCount(), 1);
        // It stands out until the log is written again, with one message that does not wait.
        QVERIFY(w().messageArea().isRaised(MessageArea::Alert::LogNotWritten));
        QCOMPARE(harness_->messages.size(), 1);
        decoder.send(WirePassing(1002, Micros(9, 0, 1)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);
        QCOMPARE(harness_->messages.size(), 1);
        std::filesystem::remove(harness_->dataDir() / "dovokop.log");
        decoder.send(WirePassing(1003, Micros(9, 0, 2)));
        QTRY_VERIFY(!w().messageArea().isRaised(MessageArea::Alert::LogNotWritten));
        // The lines that could not be written waited, and went out first, in order.
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log"),
                 QStringList({"1001\t \t9:0:0.00\tOnbekend", "1002\t \t9:0:1.00\tOnbekend",
                              "1003\t \t9:0:2.00\tOnbekend"}));
    }

    void aWorkbookThatCannotBeSavedIsReportedAndSavedLater() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        const std::filesystem::path folder = harness_->scratch() / "race";
        std::filesystem::create_directories(folder);
        StartWithWorkbook(folder / "dovo-race.xlsx");
        Choose(Control<QComboBox>(w(), "Combo1"), "Fietsen");
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        QVERIFY(ConnectOverTcp(w(), decoder));

        const std::filesystem::path away = harness_->scratch() / "away";
        std::filesystem::rename(folder, away);
        decoder.send(WirePassing(DemoNumber(2, 0), Micros(11, 0, 0)));
        QTRY_VERIFY2(w().statusLine().current().contains("niet opgeslagen"),
                     qPrintable(w().statusLine().current()));
        QCOMPARE(Grid()->model()->rowCount(), 1);

        std::filesystem::rename(away, folder);
        QTRY_VERIFY2(w().statusLine().current().contains("weer opgeslagen"),
                     qPrintable(w().statusLine().current()));
        QCOMPARE(CellOnDisk(folder / "dovo-race.xlsx", "fiets", 3, 6), std::string("11:0:0.00"));
    }

    void closingSavesWhatIsPendingAndRefusesOnceWhenTheSaveFails() {
        DecoderServer decoder;
        FakeSpreadsheet spreadsheet;
        spreadsheet.known = {"1001", "1002"};
        harness_->options.decoderPort = decoder.port();
        harness_->options.startSpreadsheet = spreadsheet.starter();
        harness_->options.saveInterval = std::chrono::seconds(60);
        harness_->nextWorkbook = harness_->scratch() / "dovo-race.xlsx";
        harness_->create();
        harness_->show();
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        Choose(Control<QComboBox>(w(), "Combo1"), "Fietsen");
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        QVERIFY(ConnectOverTcp(w(), decoder));

        decoder.send(WirePassing(1001, Micros(9, 0, 0)));
        QTRY_COMPARE(spreadsheet.book->saveCount(), 1);
        decoder.send(WirePassing(1002, Micros(9, 0, 1)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);
        QCOMPARE(spreadsheet.book->saveCount(), 1);  // the next save waits for the interval

        spreadsheet.book->failIf = [](const tivaro::testing::WorkbookCall& c) {
            return c.op == "save";
        };
        QVERIFY(!harness_->close());
        // The failed save stands out, and the close is refused once.
        QVERIFY(w().messageArea().isRaised(MessageArea::Alert::WorkbookNotSaved));
        QCOMPARE(harness_->messages.size(), 2);
        QVERIFY(harness_->messages[1].contains("niet worden opgeslagen"));
        QVERIFY(w().statusLine().current().contains("refused save"));
        QCOMPARE(spreadsheet.book->saveCount(), 2);

        spreadsheet.book->failIf = nullptr;
        QVERIFY(harness_->close());
        QCOMPARE(spreadsheet.book->saveCount(), 3);
    }

private:
    MainWindow& w() { return harness_->window(); }
    QTableView* Grid() { return Control<QTableView>(w(), "MSFlexGrid1"); }

    std::string Cell(const std::string& sheet, int row, int column) {
        return CellOnDisk(workbook_, sheet, row, column);
    }

    void StartWithWorkbook(std::filesystem::path at = {}) {
        if (at.empty()) {
            workbook_ = harness_->copyDemoWorkbook("dovo-race.xlsx");
        } else {
            std::filesystem::copy_file(
                std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx", at);
            workbook_ = at;
        }
        QVERIFY2(harness_->startRace(workbook_), qPrintable(harness_->messages.join('\n')));
    }

    std::unique_ptr<WindowHarness> harness_;
    std::filesystem::path workbook_;
};

QTEST_MAIN(WindowRaceTest)
#include "window_race_test.moc"
