// The window process killed with SIGKILL in the middle of a race and started again: it offers
// to resume, reopens the workbook, connects to the decoder again and brings the workbook up to
// date, while the decoder sends the passings it kept during the downtime. The workbook and the
// coupling log must come out as those of the same race run without a break.

#include <signal.h>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTest>

#include "app_test_support.h"
#include "workbook/xlsx_app.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

constexpr int kRunners = 6;
constexpr int kPassingsEach = 4;  // start, lap, finish, cool-down

// The real window in a process of its own (window_driver.cpp).
class Driver {
public:
    Driver(const std::filesystem::path& home, const std::filesystem::path& workbook, quint16 port)
        : home_(home) {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", QString::fromStdString((home / "config").string()));
        environment.insert("QT_QPA_PLATFORM", "offscreen");
        process_.setProcessEnvironment(environment);
        process_.setProgram(TIVARO_WINDOW_DRIVER);
        process_.setArguments({QString::fromStdString(workbook.string()), QString::number(port),
                               QString::fromStdString(dataDir().string())});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    }
    ~Driver() {
        if (process_.state() != QProcess::NotRunning) {
            process_.kill();
            process_.waitForFinished();
        }
    }

    std::filesystem::path dataDir() const { return home_ / "data"; }
    bool start() {
        process_.start();
        return process_.waitForStarted();
    }
    // Gives `line` and waits until it is done.
    bool command(const QString& line) {
        process_.write((line + "\n").toUtf8());
        return QTest::qWaitFor([&] { return output().contains("gedaan: " + line); }, 20'000);
    }
    QString output() {
        output_ += QString::fromUtf8(process_.readAllStandardOutput());
        return output_;
    }
    void killHard() {
        ::kill(static_cast<pid_t>(process_.processId()), SIGKILL);
        process_.waitForFinished();
    }
    bool finished(int milliseconds) {
        return process_.state() == QProcess::NotRunning || process_.waitForFinished(milliseconds);
    }
    qsizetype logged() const { return ReadLines(dataDir() / "dovokop.log").size(); }

private:
    std::filesystem::path home_;
    QProcess process_;
    QString output_;
};

// Every cell of `sheet` in A3:T200, as text.
QStringList Cells(const std::filesystem::path& file, const std::string& sheet) {
    tivaro::workbook::XlsxApp app(file.parent_path() / "read-backup");
    auto book = app.open(file);
    if (!book) {
        return {QString::fromStdString(book.error().message)};
    }
    const std::vector<std::string> names = (*book)->sheetNames();
    const auto at = std::find(names.begin(), names.end(), sheet);
    const tivaro::workbook::SheetId id{static_cast<int>(at - names.begin())};
    QStringList cells;
    for (int row = 3; row <= 200; ++row) {
        for (int column = 1; column <= 20; ++column) {
            auto text = (*book)->readCell(id, row, column);
            cells << QString("%1,%2=%3")
                         .arg(row)
                         .arg(column)
                         .arg(QString::fromStdString(text ? *text : text.error().message));
        }
    }
    return cells;
}

}  // namespace

class WindowKillTest : public QObject {
    Q_OBJECT

private slots:
    void aKilledWindowResumesAndComesOutAsARaceWithoutABreak() {
        QTemporaryDir scratch;
        const std::filesystem::path root = scratch.path().toStdString();
        constexpr int kTotal = kRunners * kPassingsEach;
        constexpr int kBeforeKill = 10;

        // The race without a break.
        std::filesystem::create_directories(root / "straight");
        std::filesystem::create_directories(root / "killed");
        const auto demo = std::filesystem::path(TIVARO_SOURCE_DIR) / "examples" / "demo-race.xlsx";
        std::filesystem::copy_file(demo, root / "straight" / "race.xlsx");
        std::filesystem::copy_file(demo, root / "killed" / "race.xlsx");
        {
            DecoderServer decoder;
            Driver straight(root / "straight", root / "straight" / "race.xlsx", decoder.port());
            QVERIFY(straight.start());
            SetUpRace(straight);
            QVERIFY(decoder.waitForClient());
            for (int k = 0; k < kTotal; ++k) {
                decoder.send(RunnersPassing(k, kRunners));
            }
            QTRY_COMPARE_WITH_TIMEOUT(straight.logged(), kTotal, 20'000);
            QVERIFY(straight.command("close"));
            QVERIFY(straight.finished(20'000));
        }

        DecoderServer decoder;
        const std::filesystem::path workbook = root / "killed" / "race.xlsx";
        {
            Driver first(root / "killed", workbook, decoder.port());
            QVERIFY(first.start());
            SetUpRace(first);
            QVERIFY(decoder.waitForClient());
            for (int k = 0; k < kBeforeKill; ++k) {
                decoder.send(RunnersPassing(k, kRunners));
            }
            QTRY_COMPARE_WITH_TIMEOUT(first.logged(), kBeforeKill, 20'000);
            first.killHard();
        }
        // Started again: the race is offered, resumed, and the link comes back; the decoder
        // then sends what it kept.
        Driver again(root / "killed", workbook, decoder.port());
        QVERIFY(again.start());
        QTRY_VERIFY_WITH_TIMEOUT(again.output().contains("vraag: De vorige wedstrijd is niet "
                                                         "afgesloten"),
                                 20'000);
        QTRY_COMPARE_WITH_TIMEOUT(decoder.connectionsAccepted(), 2, 20'000);
        for (int k = kBeforeKill; k < kTotal; ++k) {
            decoder.send(RunnersPassing(k, kRunners));
        }
        QTRY_COMPARE_WITH_TIMEOUT(again.logged(), kTotal, 20'000);
        QVERIFY(again.command("close"));
        QVERIFY(again.finished(20'000));

        QCOMPARE(ReadLines(root / "killed" / "data" / "dovokop.log"),
                 ReadLines(root / "straight" / "data" / "dovokop.log"));
        const QStringList expected = Cells(root / "straight" / "race.xlsx", "loop");
        QVERIFY(expected.contains("3,11=10:2:0.00"));  // the finish of the first runner
        QCOMPARE(Cells(workbook, "loop"), expected);
    }

private:
    static void SetUpRace(Driver& driver) {
        for (const char* line :
             {"open", "sport Lopen", "laps 2", "phase opnemen", "tcp 127.0.0.1"}) {
            QVERIFY2(driver.command(line), line);
        }
    }
};

QTEST_MAIN(WindowKillTest)
#include "window_kill_test.moc"
