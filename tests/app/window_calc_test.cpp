// The window with the race workbook open in LibreOffice Calc (headless, its documents hidden):
// opened while the window goes on, passings written into Calc, the workbook closed in Calc or
// Calc killed in the middle of a race, and the passings it lacks put back when it is opened
// again; Calc stopped (SIGSTOP) in the middle of a race, and cells changed by hand in Calc.

#include <signal.h>
#include <unistd.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include <algorithm>
#include <chrono>

#include "app/message_area.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "workbook/calc/calc_app.h"
#include "workbook/calc/calc_probe.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

constexpr int kRunning = 1;
constexpr int kRunners = 6;
constexpr int kPassingsEach = 4;  // start, lap, finish, cool-down

}  // namespace

class WindowCalcTest : public QObject {
    Q_OBJECT

private slots:
    // Each test has a Calc of its own, so that one test's Calc (killed, stopped, or with a
    // document closed under the window's worker) is never the next test's.
    void init() {
        pipe_ = "tivaro-window-test-" + std::to_string(getpid()) + "-" + std::to_string(++tests_);
        auto started = tivaro::workbook::StartCalc(tivaro::workbook::DisposableCalcOptions(pipe_));
        QVERIFY2(started.ok(), started.ok() ? "" : started.error().message.c_str());
        calc_ = std::move(*started);
    }
    void cleanup() { calc_.reset(); }

    void aWorkbookClosedInCalcLosesNoPassing() {
        WindowHarness harness;
        const std::filesystem::path file = harness.copyDemoWorkbook("dovo-race.xlsx");
        harness.nextWorkbook = file;
        harness.options.preferEmbedded = false;
        CalcStart calc;
        calc.headless = true;
        calc.hidden = true;
        calc.pipeName = QString::fromStdString(pipe_);
        harness.options.calcStart = calc;
        QStringList questions;
        harness.options.ask = [&](const QString& question, const QString&,
                                  std::function<void(bool)> answer) {
            questions << question;
            answer(true);
        };
        DecoderServer decoder;
        harness.options.decoderPort = decoder.port();
        MainWindow& w = harness.create();
        harness.show();

        // Calc opens the workbook while the window goes on.
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(w.controller().race().workbook() != nullptr, 60000);
        QVERIFY2(w.windowTitle().contains("LibreOffice Calc"), qPrintable(w.windowTitle()));
        Choose(Control<QComboBox>(w, "Combo1"), "Lopen");
        Control<QSlider>(w, "Slider1")->setValue(2);
        Select(Control<QRadioButton>(w, "fase_opnemen"));
        Select(Control<QRadioButton>(w, "Option2"));
        Control<QLineEdit>(w, "Text4")->setText("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w, "Command3"), Qt::LeftButton);
        QVERIFY(decoder.waitForClient());

        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 0, 0)));
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 1, 0)));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 2);
        QCOMPARE(CellInCalc(w, 3, 7), std::string("10:1:0.00"));

        // Closed in Calc without saving: passings are still shown and logged, they wait, and it
        // says so once.
        // The first passing after it is judged on the window's copy of the sheet; its write
        // fails in Calc, which tells the window. Passings after that wait.
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, file).ok());
        decoder.send(WirePassing(DemoNumber(kRunning, 1), Micros(10, 0, 5)));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 3);
        QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::Waiting));
        decoder.send(WirePassing(DemoNumber(kRunning, 2), Micros(10, 0, 6)));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 4);
        QCOMPARE(Grid(w)->model()->index(0, 3).data().toString(),
                 QStringLiteral("Wacht op werkboek"));
        QVERIFY(w.messageArea().isRaised(MessageArea::Alert::Waiting));
        QCOMPARE(harness.messages.size(), 1);
        QCOMPARE(ReadLines(harness.dataDir() / "dovokop.log").size(), 4);

        // Opened again: the same workbook is brought up to date without a question.
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.messageArea().isRaised(MessageArea::Alert::Waiting), 60000);
        QVERIFY(questions.isEmpty());
        QCOMPARE(CellInCalc(w, 3, 6), std::string("10:0:0.00"));
        QCOMPARE(CellInCalc(w, 3, 7), std::string("10:1:0.00"));
        QCOMPARE(CellInCalc(w, 4, 6), std::string("10:0:5.00"));
        QCOMPARE(CellInCalc(w, 4, 20), std::string("1"));
        QCOMPARE(CellInCalc(w, 5, 6), std::string("10:0:6.00"));
        // Into the running sheet they came from, although the reopened workbook shows another.
        QCOMPARE(CellInCalc(w, 3, 6, "schaats"), std::string());
        // The passing that waited shows what it was.
        QCOMPARE(Grid(w)->model()->index(0, 3).data().toString(), QStringLiteral("Start"));
        // A copy of the workbook as it was opened lies beside the logs, with the race journal.
        bool copied = false;
        for (const auto& entry : std::filesystem::directory_iterator(harness.dataDir())) {
            const std::string name = entry.path().filename().string();
            copied = copied || (name.starts_with("journaal-") && name.ends_with(".xlsx"));
        }
        QVERIFY(copied);
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, file).ok());
    }

    void calcKilledMidRaceLosesNothingOnceTheWorkbookIsBack() {
        constexpr int kTotal = kRunners * kPassingsEach;
        constexpr int kBeforeKill = 8;
        constexpr int kWhileDown = 14;
        constexpr int kWhileOpening = 17;

        // The race without a break, in the embedded engine.
        const QStringList expected = EmbeddedRace(kTotal);
        QVERIFY(!QTest::currentTestFailed());
        QVERIFY(expected.contains("3,11=10:2:0.00"));  // the finish of the first runner

        WindowHarness harness;
        DecoderServer decoder;
        MainWindow& w = SetUpRace(harness, decoder, false);
        QVERIFY(!QTest::currentTestFailed());
        for (int k = 0; k < kBeforeKill; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kBeforeKill);

        // Calc dies; the passings meanwhile wait, said once.
        const std::optional<int> pid = tivaro::workbook::CalcProcessId(*calc_);
        QVERIFY(pid.has_value());
        QCOMPARE(::kill(*pid, SIGKILL), 0);
        decoder.send(RunnersPassing(kBeforeKill, kRunners));
        QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::Waiting));
        for (int k = kBeforeKill + 1; k < kWhileDown; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kWhileDown);
        QCOMPARE(Grid(w)->model()->index(0, 3).data().toString(),
                 QStringLiteral("Wacht op werkboek"));

        // Calc started again and the workbook reopened; passings go on arriving meanwhile and
        // land after those that waited.
        calc_.reset();
        auto started = tivaro::workbook::StartCalc(tivaro::workbook::DisposableCalcOptions(pipe_));
        QVERIFY2(started.ok(), started.ok() ? "" : started.error().message.c_str());
        calc_ = std::move(*started);
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        for (int k = kWhileDown; k < kWhileOpening; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_VERIFY2_WITH_TIMEOUT(!w.messageArea().isRaised(MessageArea::Alert::Waiting),
                                  qPrintable(harness.messages.join('\n') + "\n" +
                                             w.messageArea().messages().join(QLatin1Char(10))),
                                  60000);
        for (int k = kWhileOpening; k < kTotal; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kTotal);
        QTRY_COMPARE(CellsOf(w), expected);
        QVERIFY2(harness.questions.isEmpty(), qPrintable(harness.questions.join('\n')));
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, harness.scratch() / "dovo-race.xlsx").ok());
    }

    void aCalcThatStopsAnsweringHoldsNothingUp() {
        constexpr int kTotal = kRunners * kPassingsEach;
        constexpr int kBeforeStop = 6;
        constexpr int kWhileStopped = 18;
        const QStringList expected = EmbeddedRace(kTotal);
        QVERIFY(!QTest::currentTestFailed());

        WindowHarness harness;
        DecoderServer decoder;
        MainWindow& w = SetUpRace(harness, decoder, false);
        QVERIFY(!QTest::currentTestFailed());
        for (int k = 0; k < kBeforeStop; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kBeforeStop);

        // soffice stopped: the window goes on taking, judging, showing and logging passings,
        // and says once that Calc does not answer.
        const std::optional<int> pid = tivaro::workbook::CalcProcessId(*calc_);
        QVERIFY(pid.has_value());
        QCOMPARE(::kill(*pid, SIGSTOP), 0);
        struct Resume {
            int pid;
            ~Resume() { ::kill(pid, SIGCONT); }
        } resume{*pid};
        for (int k = kBeforeStop; k < kWhileStopped; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kWhileStopped);
        QTRY_VERIFY_WITH_TIMEOUT(w.messageArea().isRaised(MessageArea::Alert::CalcNotAnswering),
                                 15000);
        QCOMPARE(ReadLines(harness.dataDir() / "dovokop.log").size(),
                 static_cast<std::size_t>(kWhileStopped));
        const QString newest = Grid(w)->model()->index(0, 3).data().toString();
        QVERIFY2(newest != "Onbekend" && newest != "Wacht op werkboek", qPrintable(newest));
        QVERIFY(!w.messageArea().isRaised(MessageArea::Alert::Waiting));

        // Going on: everything lands in Calc, in order, as if it had never stopped.
        QCOMPARE(::kill(*pid, SIGCONT), 0);
        QTRY_VERIFY_WITH_TIMEOUT(!w.messageArea().isRaised(MessageArea::Alert::CalcNotAnswering),
                                 30000);
        for (int k = kWhileStopped; k < kTotal; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE(Grid(w)->model()->rowCount(), kTotal);
        QVERIFY(w.controller().race().workbook()->settle(std::chrono::seconds(60)));
        QCOMPARE(CellsInCalcItself(harness.scratch() / "dovo-race.xlsx"), expected);
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, harness.scratch() / "dovo-race.xlsx").ok());
    }

    void aTransponderCorrectedInCalcCountsForTheNextPassing() {
        WindowHarness harness;
        DecoderServer decoder;
        MainWindow& w = SetUpRace(harness, decoder, false);
        QVERIFY(!QTest::currentTestFailed());
        const std::filesystem::path file = harness.scratch() / "dovo-race.xlsx";
        decoder.send(RunnersPassing(0, kRunners));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 1);

        // The organiser types another transponder into the second runner's row in Calc.
        auto organisers = calc_->open(file);
        QVERIFY2(organisers.ok(), organisers.ok() ? "" : organisers.error().message.c_str());
        const tivaro::workbook::SheetId loop = SheetOf(**organisers, "loop");
        QVERIFY((*organisers)->writeCell(loop, 4, 2, "7777001").ok());

        // It reaches the window's copy of the sheet without a passing to fetch it; the next
        // passing of that transponder is the runner's.
        tivaro::workbook::Workbook* book = w.controller().race().workbook();
        QTRY_COMPARE_WITH_TIMEOUT(CellInCalc(w, 4, 2), std::string("7777001"), 15000);
        decoder.send(WirePassing(7777001, Micros(10, 0, 9)));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 2);
        QCOMPARE(Grid(w)->model()->index(0, 3).data().toString(), QStringLiteral("Start"));
        QVERIFY(book->settle(std::chrono::seconds(60)));
        auto time = (*organisers)->readCell(loop, 4, 6);
        QVERIFY(time.ok());
        QCOMPARE(*time, std::string("10:0:9.00"));
        (void)(*organisers)->close();
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, file).ok());
    }

private:
    // The cells of the running sheet, A3:T200, after `total` passings of the runners in the
    // embedded engine: what Calc must hold after the same race.
    QStringList EmbeddedRace(int total) {
        WindowHarness harness;
        DecoderServer decoder;
        MainWindow& w = SetUpRace(harness, decoder, true);
        if (QTest::currentTestFailed()) {
            return {};
        }
        for (int k = 0; k < total; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        if (!QTest::qWaitFor([&] { return Grid(w)->model()->rowCount() == total; }, 10000)) {
            QTest::qFail("the embedded race did not take every passing", __FILE__, __LINE__);
            return {};
        }
        return CellsOf(w);
    }

    static tivaro::workbook::SheetId SheetOf(tivaro::workbook::Workbook& book,
                                             const std::string& name) {
        const std::vector<std::string> names = book.sheetNames();
        const auto at = std::find(names.begin(), names.end(), name);
        return tivaro::workbook::SheetId{static_cast<int>(at - names.begin())};
    }

    // The running sheet's A3:T200 as Calc itself holds it, read past the window's copy.
    QStringList CellsInCalcItself(const std::filesystem::path& file) {
        auto book = calc_->open(file);
        if (!book) {
            return {QString::fromStdString(book.error().message)};
        }
        auto rows = (*book)->readBlock(SheetOf(**book, "loop"), 3, 200, 20);
        if (!rows) {
            return {QString::fromStdString(rows.error().message)};
        }
        QStringList cells;
        for (int row = 3; row <= 200; ++row) {
            for (int column = 1; column <= 20; ++column) {
                cells << QString("%1,%2=%3")
                             .arg(row)
                             .arg(column)
                             .arg(QString::fromStdString((*rows)[static_cast<std::size_t>(
                                 row - 3)][static_cast<std::size_t>(column - 1)]));
            }
        }
        return cells;
    }

    // A window timing a two-lap run in the embedded engine or in Calc, connected to `decoder`.
    MainWindow& SetUpRace(WindowHarness& harness, DecoderServer& decoder, bool embedded) {
        harness.nextWorkbook = harness.copyDemoWorkbook("dovo-race.xlsx");
        harness.options.preferEmbedded = embedded;
        if (!embedded) {
            CalcStart calc;
            calc.headless = true;
            calc.hidden = true;
            calc.pipeName = QString::fromStdString(pipe_);
            harness.options.calcStart = calc;
        }
        harness.options.decoderPort = decoder.port();
        MainWindow& w = harness.create();
        harness.show();
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(w.controller().race().workbook() != nullptr, 60000);
            Choose(Control<QComboBox>(w, "Combo1"), "Lopen");
            Control<QSlider>(w, "Slider1")->setValue(2);
            Select(Control<QRadioButton>(w, "fase_opnemen"));
            QVERIFY(ConnectOverTcp(w, decoder));
        }();
        return w;
    }

    // Every cell of the running sheet in A3:T200, as the workbook holds it now.
    static QStringList CellsOf(MainWindow& w) {
        QStringList cells;
        for (int row = 3; row <= 200; ++row) {
            for (int column = 1; column <= 20; ++column) {
                cells << QString("%1,%2=%3")
                             .arg(row)
                             .arg(column)
                             .arg(QString::fromStdString(CellInCalc(w, row, column)));
            }
        }
        return cells;
    }

    static QTableView* Grid(MainWindow& w) { return Control<QTableView>(w, "MSFlexGrid1"); }

    // A cell of `sheet` as Calc holds it now.
    static std::string CellInCalc(MainWindow& w, int row, int column,
                                  const std::string& sheet = "loop") {
        tivaro::workbook::Workbook* book = w.controller().race().workbook();
        const std::vector<std::string> names = book->sheetNames();
        const auto at = std::find(names.begin(), names.end(), sheet);
        const tivaro::workbook::SheetId id{static_cast<int>(at - names.begin())};
        auto text = book->readCell(id, row, column);
        return text ? *text : "<" + text.error().message + ">";
    }

    std::string pipe_;
    int tests_ = 0;
    std::unique_ptr<tivaro::workbook::SpreadsheetApp> calc_;
};

QTEST_MAIN(WindowCalcTest)
#include "window_calc_test.moc"
