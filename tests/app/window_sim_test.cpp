// A race from tivaro-sim over real loopback TCP, in small segments and bursts, timed by the
// real window, leaves the same coupling log and the same workbook as the same passings
// replayed by tivaro-replay.

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>
#include <fstream>

#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

class WindowSimTest : public QObject {
    Q_OBJECT

private slots:
    void simulatedRaceMatchesItsReplay() {
        WindowHarness harness;
        const quint16 port =
            static_cast<quint16>(30000 + QCoreApplication::applicationPid() % 20000);
        harness.options.decoderPort = port;
        const std::filesystem::path timed = harness.copyDemoWorkbook("dovo-timed.xlsx");
        const std::filesystem::path replayed = harness.copyDemoWorkbook("dovo-replayed.xlsx");
        const std::filesystem::path plan = harness.scratch() / "plan.txt";

        // Five runners: start, three laps, a cool-down lap, and two strangers.
        QProcess decoder;
        decoder.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        decoder.start(TIVARO_SIM, {"--tcp",         QStringLiteral("127.0.0.1:%1").arg(port),
                                   "--speed",       "max",
                                   "--split",       "7",
                                   "--burst",       "5",
                                   "--demo-sheet",  "1",
                                   "--competitors", "5",
                                   "--laps",        "3",
                                   "--warmup",      "0",
                                   "--cooldown",    "1",
                                   "--unknown",     "2",
                                   "--seed",        "5",
                                   "--plan-out",    QString::fromStdString(plan.string()),
                                   "--linger",      "2"});
        QVERIFY(decoder.waitForReadyRead(10'000));  // listening

        harness.nextWorkbook = timed;
        harness.create();
        harness.show();
        MainWindow& w = harness.window();
        QTest::mouseClick(Control<QPushButton>(w, "Command1"), Qt::LeftButton);
        auto* sport = Control<QComboBox>(w, "Combo1");
        QTRY_VERIFY(sport->isVisible());
        sport->setCurrentIndex(sport->findText("Lopen"));
        emit sport->activated(sport->currentIndex());
        Control<QSlider>(w, "Slider1")->setValue(3);
        Select(Control<QRadioButton>(w, "fase_opnemen"));
        Select(Control<QRadioButton>(w, "Option2"));
        Control<QLineEdit>(w, "Text4")->setText(QStringLiteral("127.0.0.1"));
        QTest::mouseClick(Control<QPushButton>(w, "Command3"), Qt::LeftButton);

        QStringList planned;
        std::ifstream planFile(plan);
        for (std::string line; std::getline(planFile, line);) {
            planned << QString::fromStdString(line);
        }
        QCOMPARE(planned.size(), 5 * 5 + 2);
        auto* grid = Control<QTableView>(w, "MSFlexGrid1");
        QTRY_COMPARE_WITH_TIMEOUT(grid->model()->rowCount(), planned.size(), 15'000);
        QVERIFY(harness.close());  // closing saves the workbook
        QVERIFY(decoder.waitForFinished(10'000));

        // The same passings through tivaro-replay.
        const std::filesystem::path scenario = harness.scratch() / "race.scenario";
        {
            std::ofstream out(scenario);
            out << "open " << replayed.string() << "\nsport Lopen\nlaps 3\nphase record\n";
            for (const QString& line : planned) {
                out << "passing " << line.section('\t', 0, 0).toStdString() << ' '
                    << line.section('\t', 1, 1).toStdString() << '\n';
            }
        }
        const std::filesystem::path replayData = harness.scratch() / "replay-data";
        QProcess replay;
        replay.start(TIVARO_REPLAY, {"--engine", "embedded", "--data-dir",
                                     QString::fromStdString(replayData.string()),
                                     QString::fromStdString(scenario.string())});
        QVERIFY(replay.waitForFinished(20'000));
        QCOMPARE(replay.exitCode(), 0);

        const QByteArray log = ReadBytes(harness.dataDir() / "dovokop.log");
        QCOMPARE(log.count('\n'), planned.size());
        QCOMPARE(log, ReadBytes(replayData / "dovokop.log"));
        int finished = 0;
        for (int row = 3; row <= 22; ++row) {
            for (int column = 1; column <= 20; ++column) {
                QCOMPARE(CellOnDisk(timed, "loop", row, column),
                         CellOnDisk(replayed, "loop", row, column));
            }
            finished += CellOnDisk(timed, "loop", row, 20) == "x";
        }
        QCOMPARE(finished, 5);
    }
};

QTEST_MAIN(WindowSimTest)
#include "window_sim_test.moc"
