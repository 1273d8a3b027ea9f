// The workbook saver on its own: saves once the waiting input is handled, kept apart, tried
// again after a failure, and at once when asked.

#include <QTest>
#include <chrono>
#include <memory>

#include "app/workbook_saver.h"
#include "tests/support/fake_workbook.h"

using namespace tivaro::app;

class WorkbookSaverTest : public QObject {
    Q_OBJECT

private slots:

    void saverSavesOnceTheWaitingInputIsHandled() {
        SaverRig rig;
        for (int i = 0; i < 10; ++i) {
            rig.saver.markChanged();
        }
        QCOMPARE(rig.book->saveCount(), 0);
        QTRY_COMPARE(rig.book->saveCount(), 1);
        QVERIFY(!rig.saver.pending());
    }

    void saverHoldsASaveBackWhileInputIsWaitingAndTheIntervalIsShort() {
        SaverRig rig(std::chrono::seconds(1));
        rig.inputWaiting = true;
        rig.saver.markChanged();
        QTest::qWait(100);
        QCOMPARE(rig.book->saveCount(), 0);
        rig.inputWaiting = false;
        QTRY_COMPARE(rig.book->saveCount(), 1);
    }

    void saverKeepsSavesApart() {
        SaverRig rig(std::chrono::seconds(1));
        rig.saver.markChanged();
        QTRY_COMPARE(rig.book->saveCount(), 1);
        rig.saver.markChanged();
        QTest::qWait(100);
        QCOMPARE(rig.book->saveCount(), 1);
        QVERIFY(rig.saver.pending());
        QTRY_COMPARE_WITH_TIMEOUT(rig.book->saveCount(), 2, 3000);
    }

    void aFailedSaveIsReportedAndTriedAgain() {
        SaverRig rig(std::chrono::milliseconds(100));
        rig.book->failIf = [](const tivaro::testing::WorkbookCall& c) { return c.op == "save"; };
        rig.saver.markChanged();
        QTRY_COMPARE(rig.reports.size(), 1);
        QVERIFY2(
            rig.reports[0].contains("niet opgeslagen") && rig.reports[0].contains("refused save"),
            qPrintable(rig.reports[0]));
        QVERIFY(rig.saver.pending());
        QTRY_VERIFY(rig.book->saveCount() >= 2);
        rig.book->failIf = nullptr;
        QTRY_VERIFY(!rig.saver.pending());
        QVERIFY(rig.reports.back().contains("weer opgeslagen"));
    }

    void saveNowSavesOnlyWhatIsPending() {
        SaverRig rig(std::chrono::seconds(60));
        QVERIFY(rig.saver.saveNow());
        QCOMPARE(rig.book->saveCount(), 0);
        rig.saver.markChanged();
        QTRY_COMPARE(rig.book->saveCount(), 1);
        rig.saver.markChanged();  // held back by the interval
        QVERIFY(rig.saver.saveNow());
        QCOMPARE(rig.book->saveCount(), 2);
        rig.book->failIf = [](const tivaro::testing::WorkbookCall& c) { return c.op == "save"; };
        rig.saver.markChanged();
        QVERIFY(!rig.saver.saveNow());
        QVERIFY(rig.saver.pending());
        rig.saver.forget();
        QVERIFY(!rig.saver.pending());
    }

private:
    // A saver over a stand-in workbook, with the input-waiting answer and the reports at hand.
    struct SaverRig {
        explicit SaverRig(std::chrono::milliseconds interval = std::chrono::milliseconds(500))
            : saver([this] { return book.get(); }, [this] { return inputWaiting; },
                    [this](const QString& message) { reports << message; }, interval) {
            QObject::connect(&saver, &WorkbookSaver::due, &saver, &WorkbookSaver::check);
        }
        std::unique_ptr<tivaro::testing::FakeWorkbook> book =
            std::make_unique<tivaro::testing::FakeWorkbook>(std::vector<std::string>{"loop"});
        bool inputWaiting = false;
        QStringList reports;
        WorkbookSaver saver;
    };
};

QTEST_MAIN(WorkbookSaverTest)
#include "workbook_saver_test.moc"
