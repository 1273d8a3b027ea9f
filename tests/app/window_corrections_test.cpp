// Corrections in the real window: passings entered by hand (typed, or picked in the race view),
// passings taken back from the grid or the race view, the minimum lap time; and the race
// journal the window writes, played again by tivaro-replay to the same coupling log and the
// same workbook, over loopback TCP and over a pseudo-terminal.

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include "app/passing_table_model.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "timing/colours.h"
#include "timing/time_of_day.h"

using namespace tivaro;
using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

constexpr int kSkating = 0;
constexpr int kRunning = 1;

QString Type(QTableView* grid, int row) {
    return grid->model()->index(row, kTypeColumn).data().toString();
}

// The journal the window wrote into `folder`; fails the test unless there is exactly one.
std::filesystem::path OnlyJournal(const std::filesystem::path& folder) {
    const QStringList journals = QDir(QString::fromStdString(folder.string()))
                                     .entryList({QStringLiteral("journaal-*.txt")}, QDir::Files);
    if (journals.size() != 1) {
        qWarning("journals: %s", qPrintable(journals.join(',')));
        return {};
    }
    return folder / journals.front().toStdString();
}

}  // namespace

class WindowCorrectionsTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() { harness_.reset(); }

    void aPassingTypedByHandIsHandledAsTheDecodersAndMarked() {
        StartRunning(2);
        EnterByHand("201", "10:00:00");
        QCOMPARE(Type(Grid(), 0), QStringLiteral("Start (handmatig)"));
        QCOMPARE(Grid()->model()->index(0, kTimeColumn).data().toString(),
                 QStringLiteral("10:0:0.00"));
        QVERIFY(Control<QLineEdit>(w(), "HandBib")->text().isEmpty());

        // A bib that is not in the sheet: nothing is handled, the bib stays to be corrected.
        EnterByHand("299", "10:01:00");
        QCOMPARE(Grid()->model()->rowCount(), 1);
        QVERIFY(w().statusLine().current().contains("rugnummer 299 staat niet"));
        QCOMPARE(Control<QLineEdit>(w(), "HandBib")->text(), QStringLiteral("299"));
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log"),
                 QStringList{"7405583\t201 \t10:0:0.00\tStart (handmatig)"});

        // F2 brings the timer back to the bib from anywhere in the window.
        Grid()->setFocus();
        QTest::keyClick(Grid(), Qt::Key_F2);
        QTRY_VERIFY(Control<QLineEdit>(w(), "HandBib")->hasFocus());
    }

    void aPassingEnteredNowFollowsTheDecodersClock() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        StartRunning(3);
        QVERIFY(ConnectOverTcp(w(), decoder));
        // The decoder's clock runs far from this computer's: 3:00 in the night.
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(3, 0, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 1);
        EnterByHand("202", "");
        QCOMPARE(Type(Grid(), 0), QStringLiteral("Start (handmatig)"));
        const std::optional<timing::Hundredths> entered = timing::ParseTimeOfDay(
            Grid()->model()->index(0, kTimeColumn).data().toString().toStdString());
        QVERIFY(entered);
        QVERIFY2(timing::Elapsed(3 * 360'000, *entered) < 60 * 100,
                 qPrintable(Grid()->model()->index(0, kTimeColumn).data().toString()));
    }

    void onlyTheLatestLapStepChosenInTheGridCanBeTakenBack() {
        StartRunning(3);
        EnterByHand("201", "10:00:00");
        EnterByHand("201", "10:01:00");
        EnterByHand("202", "10:01:05");
        auto* takeBack = Control<QPushButton>(w(), "TakeBackButton");
        QVERIFY(!takeBack->isEnabled());

        SelectGridRow(2);  // bib 201's start: Doork 1 came after it
        QVERIFY(!takeBack->isEnabled());
        SelectGridRow(1);  // bib 201's Doork 1
        QVERIFY(takeBack->isEnabled());
        QTest::mouseClick(takeBack, Qt::LeftButton);
        QVERIFY(Type(Grid(), 1).contains("teruggenomen"));
        QVERIFY(Grid()->model()->index(1, 0).data(Qt::FontRole).value<QFont>().strikeOut());
        QVERIFY(!takeBack->isEnabled());  // taken back once
        QVERIFY2(w().statusLine().current().contains(
                     "De Doork 1 (handmatig) van rugnummer 201 om 10:1:0.00 teruggenomen"),
                 qPrintable(w().statusLine().current()));
        QCOMPARE(ReadLines(harness_->dataDir() / "dovokop.log").last(),
                 QStringLiteral("7405583\t201 \t10:1:0.00\tTeruggenomen: Doork 1 (handmatig)"));
        // Now the start is the latest, and may go too: Delete in the grid does as the button.
        SelectGridRow(2);
        QVERIFY(takeBack->isEnabled());
        Grid()->setFocus();
        QTest::keyClick(Grid(), Qt::Key_Delete);
        QVERIFY(Type(Grid(), 2).contains("teruggenomen"));
        QVERIFY(harness_->close());
        QCOMPARE(CellOnDisk(workbook_, "loop", 3, 6), std::string());
        QCOMPARE(CellOnDisk(workbook_, "loop", 3, 7), std::string());
        QCOMPARE(CellOnDisk(workbook_, "loop", 3, 20), std::string());
    }

    void aCompetitorChosenInTheRaceViewLosesItsLatestLapStep() {
        StartRunning(3);
        EnterByHand("203", "10:00:00");
        EnterByHand("203", "10:01:00");
        auto* view = Control<QTableView>(w(), "RaceViewTable");
        const int row = RaceViewRowOf(view, "203");
        QVERIFY(row >= 0);
        view->selectRow(row);
        auto* takeBack = Control<QPushButton>(w(), "TakeBackButton");
        QVERIFY(takeBack->isEnabled());
        QVERIFY(!Grid()->selectionModel()->hasSelection());
        QTest::mouseClick(takeBack, Qt::LeftButton);
        QVERIFY(Type(Grid(), 0).contains("teruggenomen"));
        QVERIFY(!Type(Grid(), 1).contains("teruggenomen"));
        // A double-click in the race view enters a passing by hand, now.
        const QModelIndex other = view->model()->index(RaceViewRowOf(view, "205"), 0);
        view->scrollTo(other);
        const QPoint where = view->visualRect(other).center();
        QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, where);
        QTest::mouseDClick(view->viewport(), Qt::LeftButton, {}, where);
        QTRY_VERIFY2(Grid()->model()->rowCount() == 3, qPrintable(w().statusLine().current()));
        QCOMPARE(Grid()->model()->index(0, kBibColumn).data().toString(), QStringLiteral("205 "));
        QCOMPARE(Type(Grid(), 0), QStringLiteral("Start (handmatig)"));
    }

    void theMinimumLapTimeSetsDoubleReadsAside() {
        StartRunning(3);
        auto* minimum = Control<QDoubleSpinBox>(w(), "MinLapBox");
        QCOMPARE(minimum->text(), QStringLiteral("uit"));
        minimum->setValue(5);
        QCOMPARE(w().controller().race().setup().minimumLap, 500);
        EnterByHand("201", "10:00:00");
        EnterByHand("201", "10:00:04.99");
        QCOMPARE(Type(Grid(), 0), QStringLiteral("Dubbel (handmatig)"));
        QCOMPARE(Grid()->model()->index(0, 0).data(Qt::BackgroundRole).value<QBrush>().color(),
                 ColourFromNumber(timing::kGrey));
        EnterByHand("201", "10:00:05");
        QCOMPARE(Type(Grid(), 0), QStringLiteral("Doork 1 (handmatig)"));
    }

    void aRaceOverTcpPlaysAgainFromItsJournal() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        StartRunning(3);
        Control<QDoubleSpinBox>(w(), "MinLapBox")->setValue(2);
        QVERIFY(ConnectOverTcp(w(), decoder));

        // Records split across arrivals, a double read, a dropped connection with half a
        // record, a hand passing, a take-back and a lap count changed mid-race.
        const QByteArray first = WirePassing(DemoNumber(kRunning, 0), Micros(10, 0, 0)) +
                                 WirePassing(DemoNumber(kRunning, 1), Micros(10, 0, 1));
        decoder.send(first.left(11));
        QTest::qWait(20);
        decoder.send(first.mid(11));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 0, 1)));  // double read
        QTRY_COMPARE(Grid()->model()->rowCount(), 3);
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 1, 0)).left(9));
        QTest::qWait(50);
        decoder.close();
        QVERIFY(decoder.listen());
        QVERIFY(decoder.waitForClient());
        EnterByHand("203", "10:00:02");
        decoder.send(WirePassing(DemoNumber(kRunning, 1), Micros(10, 1, 1)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 5);
        SelectGridRow(0);
        QTest::mouseClick(Control<QPushButton>(w(), "TakeBackButton"), Qt::LeftButton);
        Control<QSlider>(w(), "Slider1")->setValue(2);
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 1, 0)) +
                     WirePassing(DemoNumber(kRunning, 1), Micros(10, 1, 30)) +
                     WirePassing(DemoNumber(kRunning, 0), Micros(10, 2, 0)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 8);
        QVERIFY(harness_->close());

        PlayJournalAndCompare("loop");
    }

    void aSkatingRaceOverASerialLinePlaysAgainFromItsJournal() {
        PseudoTerminal pty;
        harness_->options.serialPorts = [&pty] {
            return std::vector<SerialPortEntry>{{pty.devicePath(), QStringLiteral("pty")}};
        };
        workbook_ = harness_->copyDemoWorkbook("dovo-race.xlsx");
        harness_->nextWorkbook = workbook_;
        harness_->create();
        harness_->show();
        Select(Control<QRadioButton>(w(), "Option4"));  // older decoder: text lines
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QTRY_VERIFY(Control<QComboBox>(w(), "Combo1")->isVisible());
        Choose(Control<QComboBox>(w(), "Combo1"), "Schaatsen");
        Choose(Control<QComboBox>(w(), "Combo2"), "Heat 1");
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        ChooseSerialPort(w());

        const auto line = [](const std::string& code, const char* seconds) {
            return QByteArray("\x01@\t3\t1\t") + QByteArray::fromStdString(code) + '\t' + seconds +
                   "\t24\t112\t0\tx1EEF\r\n";
        };
        const QByteArray lines = line(DemoTransponder(kSkating, 0), "36000.00") +
                                 line(DemoTransponder(kSkating, 5), "36001.50") +
                                 line(DemoTransponder(kSkating, 1), "36002.00") +
                                 line(DemoTransponder(kSkating, 0), "36040.00");
        QVERIFY(pty.write(lines.left(30)));
        QTest::qWait(30);
        QVERIFY(pty.write(lines.mid(30)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 4);
        EnterByHand("111", "10:00:03");
        SelectGridRow(1);  // bib 101's Doork 1
        QTest::mouseClick(Control<QPushButton>(w(), "TakeBackButton"), Qt::LeftButton);
        QVERIFY(pty.write(line(DemoTransponder(kSkating, 0), "36041.00")));
        QTRY_COMPARE(Grid()->model()->rowCount(), 6);
        QVERIFY(harness_->close());

        PlayJournalAndCompare("schaats");
    }

private:
    MainWindow& w() { return harness_->window(); }
    QTableView* Grid() { return Control<QTableView>(w(), "MSFlexGrid1"); }

    void StartRunning(int laps) {
        workbook_ = harness_->copyDemoWorkbook("dovo-race.xlsx");
        harness_->nextWorkbook = workbook_;
        harness_->create();
        harness_->show();
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QTRY_VERIFY(Control<QComboBox>(w(), "Combo1")->isVisible());
        Choose(Control<QComboBox>(w(), "Combo1"), "Lopen");
        Control<QSlider>(w(), "Slider1")->setValue(laps);
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
    }

    void EnterByHand(const char* bib, const char* time) {
        auto* bibBox = Control<QLineEdit>(w(), "HandBib");
        Control<QLineEdit>(w(), "HandTime")->setText(QString::fromLatin1(time));
        bibBox->setText(QString::fromLatin1(bib));
        bibBox->setFocus();
        QTest::keyClick(bibBox, Qt::Key_Return);
    }

    void SelectGridRow(int row) {
        Grid()->selectionModel()->select(
            Grid()->model()->index(row, 0),
            QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    }

    static int RaceViewRowOf(QTableView* view, const char* bib) {
        QAbstractItemModel* model = view->model();
        int bibs = 0;
        while (bibs < model->columnCount() &&
               model->headerData(bibs, Qt::Horizontal).toString() != QStringLiteral("Rugnr.")) {
            ++bibs;
        }
        for (int row = 0; row < model->rowCount(); ++row) {
            if (model->index(row, bibs).data().toString().trimmed() == bib) {
                return row;
            }
        }
        return -1;
    }

    // Plays the window's journal with tivaro-replay on a copy of the workbook as it was opened,
    // and compares the coupling log and every cell of the race sheet's competitor rows.
    void PlayJournalAndCompare(const char* sheet) {
        const std::filesystem::path journal = OnlyJournal(harness_->dataDir());
        QVERIFY(!journal.empty());
        const std::filesystem::path replayData = harness_->scratch() / "replay-data";
        const std::filesystem::path copies = harness_->scratch() / "replay-copies";
        QProcess replay;
        replay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        replay.start(TIVARO_REPLAY, {"--engine", "embedded", "--data-dir",
                                     QString::fromStdString(replayData.string()), "--copy-to",
                                     QString::fromStdString(copies.string()),
                                     QString::fromStdString(journal.string())});
        QVERIFY(replay.waitForFinished(30'000));
        QCOMPARE(replay.exitCode(), 0);

        const QStringList log = ReadLines(harness_->dataDir() / "dovokop.log");
        QCOMPARE(ReadLines(replayData / "dovokop.log"), log);
        QVERIFY(log.size() >= 6);
        const std::filesystem::path replayed =
            copies / journal.filename().replace_extension(".xlsx");
        int written = 0;
        for (int row = 3; row <= 22; ++row) {
            for (int column = 1; column <= 20; ++column) {
                const std::string cell = CellOnDisk(workbook_, sheet, row, column);
                QCOMPARE(CellOnDisk(replayed, sheet, row, column), cell);
                written += column >= 6 && !cell.empty();
            }
        }
        QVERIFY(written >= 4);
        // The copy the journal was played on is still the workbook as it was opened.
        QCOMPARE(CellOnDisk(harness_->dataDir() / journal.filename().replace_extension(".xlsx"),
                            sheet, 3, 6),
                 std::string());
    }

    std::unique_ptr<WindowHarness> harness_;
    std::filesystem::path workbook_;
};

QTEST_MAIN(WindowCorrectionsTest)
#include "window_corrections_test.moc"
