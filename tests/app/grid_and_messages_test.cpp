// What the window shows of the race apart from the window: the grid model over the passing
// list, the status line and the capped debug boxes.

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPersistentModelIndex>
#include <QPlainTextEdit>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>

#include "app/debug_boxes.h"
#include "app/passing_table_model.h"
#include "app/status_line.h"
#include "app_test_support.h"
#include "timing/colours.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;
namespace timing = tivaro::timing;

namespace {

timing::PassingRow Passing(const char* transponder, std::uint32_t colour = timing::kYellow) {
    return {transponder, "7 ", "1:2:3.04", "Doork 1", colour};
}

}  // namespace

class GridAndMessagesTest : public QObject {
    Q_OBJECT

private slots:

    void gridModelShowsTheNewestPassingFirstInItsColour() {
        timing::PassingList list;
        PassingTableModel model(list);
        list.add(Passing("1001", timing::kGreen));
        list.add(Passing("1002", timing::kOrange));
        QCOMPARE(model.rowCount(), 2);
        QCOMPARE(model.index(0, kTransponderColumn).data().toString(), QStringLiteral("1002"));
        QCOMPARE(model.index(1, kTransponderColumn).data().toString(), QStringLiteral("1001"));
        QCOMPARE(model.index(0, kBibColumn).data().toString(), QStringLiteral("7 "));
        QCOMPARE(model.index(0, kTimeColumn).data().toString(), QStringLiteral("1:2:3.04"));
        QCOMPARE(model.index(0, kTypeColumn).data().toString(), QStringLiteral("Doork 1"));
        QCOMPARE(model.index(0, kTypeColumn).data(Qt::BackgroundRole).value<QBrush>().color(),
                 QColor(255, 128, 0));
        QCOMPARE(model.index(1, kTimeColumn).data(Qt::BackgroundRole).value<QBrush>().color(),
                 QColor(0, 255, 0));
        QCOMPARE(model.index(0, kTimeColumn).data(Qt::TextAlignmentRole).value<Qt::Alignment>(),
                 Qt::Alignment(Qt::AlignCenter));
        QVERIFY(
            model.index(0, kTransponderColumn).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
            Qt::AlignLeft);
        QVERIFY(!model.index(2, 0).data().isValid());
        QVERIFY(!(model.flags(model.index(0, 0)) & Qt::ItemIsEditable));
    }

    void aNewPassingIsAnnouncedAsOneRowAtTheTop() {
        timing::PassingList list;
        PassingTableModel model(list);
        list.add(Passing("1001"));
        const QPersistentModelIndex older = model.index(0, 0);
        QSignalSpy inserted(&model, &QAbstractItemModel::rowsInserted);
        QSignalSpy reset(&model, &QAbstractItemModel::modelReset);
        list.add(Passing("1002"));
        QCOMPARE(inserted.count(), 1);
        QCOMPARE(inserted[0][1].toInt(), 0);
        QCOMPARE(inserted[0][2].toInt(), 0);
        QCOMPARE(reset.count(), 0);
        // Views keep pointing at the same passing, one row further down.
        QCOMPARE(older.row(), 1);
        QCOMPARE(older.data().toString(), QStringLiteral("1001"));
    }

    void colourNumbersAreRedGreenBlueFromTheLowByte() {
        QCOMPARE(ColourFromNumber(timing::Rgb(1, 2, 3)), QColor(1, 2, 3));
        QCOMPARE(ColourFromNumber(timing::kLightCyan), QColor(128, 255, 255));
        QCOMPARE(ColourFromNumber(timing::kLightYellow), QColor(255, 255, 128));
    }

    // --- status line ---

    void statusMessagesCarryTheirTimeAndRepeatsAreCounted() {
        QStatusBar bar;
        StatusLine status(&bar);
        QCOMPARE(status.current(), QString());
        status.post("serial port lost");
        const QRegularExpression stamped("^\\d\\d:\\d\\d:\\d\\d  serial port lost$");
        QVERIFY2(stamped.match(status.current()).hasMatch(), qPrintable(status.current()));
        status.post("serial port lost");
        status.post("serial port lost");
        QVERIFY(status.current().endsWith("serial port lost (3 times)"));
        QCOMPARE(status.recent().size(), 1);
        status.post("connection restored");
        QCOMPARE(status.recent().size(), 2);
        QVERIFY(status.recent()[0].endsWith("(3 times)"));
        QVERIFY(bar.findChild<QLabel*>("StatusLine")->toolTip().contains("serial port lost"));
    }

    void statusLineKeepsOnlyTheRecentMessages() {
        QStatusBar bar;
        StatusLine status(&bar);
        for (int i = 0; i < StatusLine::kKeptMessages + 10; ++i) {
            status.post(QStringLiteral("message %1").arg(i));
        }
        const QStringList recent = status.recent();
        QCOMPARE(recent.size(), StatusLine::kKeptMessages);
        QVERIFY(recent.front().endsWith("message 10"));
        QVERIFY(recent.back().endsWith(
            QStringLiteral("message %1").arg(StatusLine::kKeptMessages + 9)));
    }

    // --- debug boxes ---

    void debugBoxesFollowTheirCheckBoxesAndShowLines() {
        QCheckBox raw, unescaped;
        QPlainTextEdit text5, text6;
        QLineEdit text1(QStringLiteral("Text1"));
        DebugBoxes boxes(&raw, &unescaped, &text5, &text6, &text1);
        QVERIFY(!boxes.rawDumpWanted() && !boxes.unescapedDumpWanted());
        raw.setChecked(true);
        QVERIFY(boxes.rawDumpWanted() && !boxes.unescapedDumpWanted());
        boxes.appendRawDump("\r\n | 8E | 2 | 8F\r\n\r\n");
        boxes.appendRawDump("\r\n | 8E | 3 | 8F\r\n\r\n");
        QCOMPARE(text5.toPlainText(), QStringLiteral("\n | 8E | 2 | 8F\n\n\n | 8E | 3 | 8F\n\n"));
        boxes.appendUnescapedDump("\r\n | 0 | 2");
        QCOMPARE(text6.toPlainText(), QStringLiteral("\n | 0 | 2"));
        boxes.showSerialLine("\x01@\t3\r\n");
        QCOMPARE(text1.text(), QStringLiteral("\x01@\t3\r\n"));
    }

    void debugBoxesDropTheirOldestLinesPastTheCap() {
        QPlainTextEdit box;
        const int cap = 100;
        for (int i = 0; i < 20; ++i) {
            AppendCapped(&box, QStringLiteral("line %1 .........\n").arg(i, 2, 10, QChar('0')),
                         cap);
            QVERIFY(box.toPlainText().size() <= cap);
        }
        const QString kept = box.toPlainText();
        QVERIFY2(kept.startsWith("line "), qPrintable(kept));  // cut at a line start
        QVERIFY(kept.endsWith("line 19 .........\n"));
        QVERIFY(kept.size() > cap / 2);

        // A single text larger than the cap keeps its end.
        AppendCapped(&box, QString(3 * cap, 'x') + "end", cap);
        QCOMPARE(box.toPlainText().size(), cap);
        QVERIFY(box.toPlainText().endsWith("xend"));
    }
};

QTEST_MAIN(GridAndMessagesTest)
#include "grid_and_messages_test.moc"
