// The window speaks Dutch in every failure: the races below fail in every way a race fails
// (a workbook that cannot be opened or is no workbook, a sport sheet that is missing, a serial
// port that is missing or busy, a decoder that cannot be reached or goes away, a log and a
// workbook that cannot be written), and every text the window shows meanwhile (messages, the
// status line, alerts, dialogs, the link status, the title) is checked for English.

#include <sys/stat.h>
#include <unistd.h>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTest>

#include <fstream>

#include "app/message_area.h"
#include "app/status_line.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

// Words of English that no Dutch text of the window holds.
const QRegularExpression kEnglish(
    QStringLiteral("\\b(the|cannot|could|failed|error|denied|refused|connection|please|unable|"
                   "while|which|with|from|does|there|this|that|such|must|should|would|already|"
                   "saved|written|opened|closed|found|file|folder|directory|device|permission|"
                   "workbook|sheet|no such|space left|timed out)\\b"),
    QRegularExpression::CaseInsensitiveOption);

}  // namespace

class WindowLanguageTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() {
        QStringList texts = harness_->messages;
        if (harness_->hasWindow()) {
            MainWindow& w = harness_->window();
            texts << w.statusLine().recent() << w.messageArea().messages()
                  << w.messageArea().alertText() << w.windowTitle()
                  << Control<QLabel>(w, "Label2")->text();
        }
        for (const QString& text : texts) {
            const QRegularExpressionMatch english = kEnglish.match(text);
            QVERIFY2(!english.hasMatch(),
                     qPrintable(
                         QStringLiteral("English (\"%1\") in: %2").arg(english.captured(0), text)));
        }
        harness_.reset();
    }

    void workbooksThatCannotBeUsed() {
        const std::filesystem::path xls = harness_->scratch() / "dovo-race.xls";
        {
            std::ofstream(xls) << std::string("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8)
                               << std::string(500, '\0');
        }
        MainWindow& w = harness_->create();
        harness_->show();
        for (const std::filesystem::path& file :
             {harness_->scratch() / "missing.xlsx", xls, harness_->copyDemoWorkbook("x.txt")}) {
            harness_->nextWorkbook = file;
            QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        }
        QCOMPARE(harness_->messages.size(), 2);  // the text file is a workbook after all
    }

    void aMissingSportSheetAndAnUnwritableLogAndWorkbook() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        harness_->options.saveInterval = std::chrono::milliseconds(50);
        const std::filesystem::path folder = harness_->scratch() / "race";
        std::filesystem::create_directories(folder);
        harness_->nextWorkbook = folder / "dovo-race.xlsx";
        std::filesystem::copy_file(
            std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx",
            *harness_->nextWorkbook);
        MainWindow& w = harness_->create();
        harness_->show();
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        Choose(Control<QComboBox>(w, "Combo1"), "Fietsen");
        Select(Control<QRadioButton>(w, "fase_opnemen"));
        std::filesystem::create_directories(harness_->dataDir() / "dovokop.log");
        ::chmod(folder.c_str(), 0555);
        Select(Control<QRadioButton>(w, "Option2"));
        Control<QLineEdit>(w, "Text4")->setText("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w, "Command3"), Qt::LeftButton);
        QVERIFY(decoder.waitForClient());
        decoder.send(WirePassing(DemoNumber(2, 0), Micros(11, 0, 0)));
        QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::LogNotWritten));
        if (::geteuid() != 0) {  // root writes into a read-only folder all the same
            QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::WorkbookNotSaved));
        }
        ::chmod(folder.c_str(), 0755);
    }

    void serialPortsThatCannotBeUsedAndADecoderThatCannotBeReached() {
        PseudoTerminal pty;
        tivaro::app::SerialLink other;
        QVERIFY(other.open(pty.devicePath()).ok());
        harness_->options.serialPorts = [&pty] {
            return std::vector<SerialPortEntry>{{"/dev/ttyUSB-not-here", "ttyUSB-not-here"},
                                                {pty.devicePath(), "pts"}};
        };
        quint16 freePort = 0;
        {
            DecoderServer probe;
            freePort = probe.port();
        }
        harness_->options.decoderPort = freePort;
        MainWindow& w = harness_->create();
        harness_->show();
        ChooseSerialPort(w, 0);
        ChooseSerialPort(w, 1);
        QCOMPARE(harness_->messages.size(), 2);
    }

    void aDecoderThatCannotBeReachedOrGoesAway() {
        quint16 freePort = 0;
        {
            DecoderServer probe;
            freePort = probe.port();
        }
        harness_->options.decoderPort = freePort;
        harness_->options.lostLinkGrace = std::chrono::milliseconds(200);
        MainWindow& w = harness_->create();
        harness_->show();
        Select(Control<QRadioButton>(w, "Option2"));
        Control<QLineEdit>(w, "Text4")->setText("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w, "Command3"), Qt::LeftButton);
        QTRY_VERIFY(w.statusLine().current().contains("Geen verbinding"));

        DecoderServer decoder;
        decoder.server().close();
        QVERIFY(decoder.server().listen(QHostAddress::LocalHost, freePort));
        QVERIFY(decoder.waitForClient());
        decoder.close();
        QTRY_VERIFY(w.messageArea().isRaised(MessageArea::Alert::DecoderLost));
    }

private:
    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowLanguageTest)
#include "window_language_test.moc"
