// The window between runs: the set-up it keeps, the engine chosen once, and closing in the
// middle of a race, which asks first and lets the next start take the race up again.

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableView>
#include <QTest>

#include "app/saved_setup.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

constexpr int kRunning = 1;  // sheet "loop"

}  // namespace

class WindowSessionTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() { harness_.reset(); }

    void theSetupComesBackAfterARestart() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        Select(Control<QRadioButton>(w(), "Option4"));
        Choose(Control<QComboBox>(w(), "Combo1"), QStringLiteral("Lopen"));
        Control<QSlider>(w(), "Slider1")->setValue(3);
        Control<QDoubleSpinBox>(w(), "MinLapBox")->setValue(12.5);
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        QVERIFY(ConnectOverTcp(w(), decoder));
        w().resize(1290, 777);
        QVERIFY(harness_->close());
        QCOMPARE(harness_->questions.size(), 1);  // the decoder was connected

        harness_->answerYes = false;  // no resume: only the set-up is looked at here
        harness_->restart();
        harness_->show();
        QVERIFY(Control<QRadioButton>(w(), "Option4")->isChecked());
        QCOMPARE(Control<QComboBox>(w(), "Combo1")->currentText(), QStringLiteral("Lopen"));
        QCOMPARE(Control<QSlider>(w(), "Slider1")->value(), 3);
        QCOMPARE(Control<QDoubleSpinBox>(w(), "MinLapBox")->value(), 12.5);
        QVERIFY(Control<QRadioButton>(w(), "fase_opnemen")->isChecked());
        QVERIFY(Control<QRadioButton>(w(), "Option2")->isChecked());
        QCOMPARE(Control<QLineEdit>(w(), "Text4")->text(), QStringLiteral("127.0.0.1"));
        QCOMPARE(w().size(), QSize(1290, 777));
        // Not connected by itself: a restart without a resume leaves the line to the user.
        QCOMPARE(decoder.connectionsAccepted(), 1);
    }

    void theEngineChosenOnceIsTheEngineNextTime() {
        harness_->options.preferEmbedded.reset();
        SavedSetup::SavePreferEmbedded(true);
        harness_->create();
        auto* embedded = w().findChild<QAction*>(QStringLiteral("UseEmbeddedEngine"));
        QVERIFY(embedded != nullptr);
        QVERIFY(embedded->isChecked());
        embedded->trigger();  // the user goes back to the spreadsheet program
        harness_->restart();
        embedded = w().findChild<QAction*>(QStringLiteral("UseEmbeddedEngine"));
        QVERIFY(!embedded->isChecked());
    }

    void closingInARaceAsksAndTheNextStartOffersToResume() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        Choose(Control<QComboBox>(w(), "Combo1"), QStringLiteral("Lopen"));
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        QVERIFY(ConnectOverTcp(w(), decoder));
        decoder.send(WirePassing(DemoNumber(kRunning, 0), Micros(10, 0, 0)));
        decoder.send(WirePassing(DemoNumber(kRunning, 1), Micros(10, 0, 1)));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);

        // "No" keeps the window and the race.
        harness_->answerYes = false;
        QVERIFY(!harness_->close());
        QVERIFY(w().isVisible());
        QCOMPARE(harness_->questions.size(), 1);
        QVERIFY(harness_->questions.first().contains(QStringLiteral("Er loopt een wedstrijd")));

        harness_->answerYes = true;
        QVERIFY(harness_->close());
        decoder.close();

        // The next start asks to resume; yes brings the passings and the workbook back.
        harness_->questions.clear();
        harness_->restart();
        harness_->show();
        QTRY_COMPARE(harness_->questions.size(), 1);
        QVERIFY(harness_->questions.first().contains(QStringLiteral("Wedstrijd hervatten")));
        QTRY_COMPARE(Grid()->model()->rowCount(), 2);
        QTRY_VERIFY(w().controller().race().workbook() != nullptr);
    }

    void closingWithNoRaceEndsTheSessionWithoutAsking() {
        Start();
        Choose(Control<QComboBox>(w(), "Combo1"), QStringLiteral("Lopen"));
        QVERIFY(harness_->close());
        QVERIFY(harness_->questions.isEmpty());
        harness_->restart();
        harness_->show();
        QTest::qWait(100);
        QVERIFY(harness_->questions.isEmpty());
        QVERIFY(w().controller().race().workbook() == nullptr);
    }

    void theResultsButtonSavesWhereTheOrganiserSays() {
        std::optional<std::filesystem::path> target = harness_->scratch() / "uitslag.csv";
        QStringList suggested;
        harness_->options.chooseResultsFile = [&](QWidget*, const QString& offered) {
            suggested << offered;
            return target;
        };
        Start();
        Choose(Control<QComboBox>(w(), "Combo1"), QStringLiteral("Lopen"));
        QTest::mouseClick(Control<QPushButton>(w(), "SaveResultsButton"), Qt::LeftButton);
        QVERIFY(suggested.first().endsWith(QStringLiteral("dovo-race-uitslag.pdf")));
        QVERIFY(ReadBytes(*target).startsWith("\xEF\xBB\xBFPlaats;Rugnr.;Naam"));

        target = harness_->scratch() / "geen-map" / "uitslag.csv";
        QTest::mouseClick(Control<QPushButton>(w(), "SaveResultsButton"), Qt::LeftButton);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY(harness_->messages.first().contains(QString::fromStdString(target->string())));
    }

private:
    MainWindow& w() { return harness_->window(); }
    QTableView* Grid() { return Control<QTableView>(w(), "MSFlexGrid1"); }

    void Start() { QVERIFY2(harness_->startRace(), qPrintable(harness_->messages.join('\n'))); }

    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowSessionTest)
#include "window_session_test.moc"
