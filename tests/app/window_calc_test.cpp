// The window with the race workbook open in LibreOffice Calc (headless, its documents hidden):
// opened while the window goes on, passings written into Calc, the workbook closed in Calc in
// the middle of a race, and the passings it lacks put back when it is opened again.

#include <unistd.h>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include <algorithm>

#include "app/message_area.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "workbook/calc/calc_app.h"
#include "workbook/calc/calc_probe.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

constexpr int kRunning = 1;

// Chooses `entry` of a drop-down list as a click on it in the open list does.
void Choose(QComboBox* box, const QString& entry) {
    const int index = box->findText(entry);
    box->setCurrentIndex(index);
    emit box->activated(index);
}

}  // namespace

class WindowCalcTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        pipe_ = "tivaro-window-test-" + std::to_string(getpid());
        auto started = tivaro::workbook::StartCalc(tivaro::workbook::DisposableCalcOptions(pipe_));
        QVERIFY2(started.ok(), started.ok() ? "" : started.error().message.c_str());
        calc_ = std::move(*started);
    }
    void cleanupTestCase() { calc_.reset(); }

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
        QVERIFY(tivaro::workbook::CloseInCalc(*calc_, file).ok());
        decoder.send(WirePassing(DemoNumber(kRunning, 1), Micros(10, 0, 5)));
        QTRY_COMPARE(Grid(w)->model()->rowCount(), 3);
        QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::Waiting));
        QCOMPARE(Grid(w)->model()->index(0, 3).data().toString(),
                 QStringLiteral("Wacht op werkboek"));
        QCOMPARE(harness.messages.size(), 1);
        QCOMPARE(ReadLines(harness.dataDir() / "dovokop.log").size(), 3);

        // Opened again: the same workbook is brought up to date without a question.
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!w.messageArea().isRaised(MessageArea::Alert::Waiting), 60000);
        QVERIFY(questions.isEmpty());
        QCOMPARE(CellInCalc(w, 3, 6), std::string("10:0:0.00"));
        QCOMPARE(CellInCalc(w, 3, 7), std::string("10:1:0.00"));
        QCOMPARE(CellInCalc(w, 4, 6), std::string("10:0:5.00"));
        QCOMPARE(CellInCalc(w, 4, 20), std::string("1"));
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

private:
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
    std::unique_ptr<tivaro::workbook::SpreadsheetApp> calc_;
};

QTEST_MAIN(WindowCalcTest)
#include "window_calc_test.moc"
