// The race set-up through the real widgets: opening a workbook with the dialog's answer
// injected, sport, heat, lap slider and phase options, as a person would use them.

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTest>

#include "app/status_line.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

// Chooses `entry` of a drop-down list as a click on it in the open list does: the entry
// becomes current and is activated, also when it was already shown.
}  // namespace

class WindowSetupTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        spreadsheet_ = std::make_unique<FakeSpreadsheet>();
        harness_ = std::make_unique<WindowHarness>();
        harness_->options.startSpreadsheet = spreadsheet_->starter();
        harness_->create();
        harness_->show();
    }
    void cleanup() {
        harness_.reset();
        spreadsheet_.reset();
    }

    void theDialogOffersRaceWorkbooksEngineFormatsAndAllFiles() {
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QCOMPARE(harness_->dialogsShown, 1);
        const QStringList entries = harness_->filtersAsked.value(0).split(";;");
        QCOMPARE(entries.size(), 3);
        QCOMPARE(entries[0], QStringLiteral("Dovo Worksheets (dovo*.xls)"));
        QVERIFY(entries[1].contains("*.xlsx") && entries[1].contains("*.xlsm"));
        QCOMPARE(entries[2], QStringLiteral("All files (*)"));
    }

    void aCancelledDialogChangesNothing() {
        harness_->nextWorkbook.reset();
        const QString statusBefore = w().statusLine().current();
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QVERIFY(spreadsheet_->opened.empty());
        QVERIFY(!w().controller().race().workbook());
        QVERIFY(Control<QComboBox>(w(), "Combo1")->isHidden());
        QVERIFY(Control<QPlainTextEdit>(w(), "Text2")->isHidden());
        QVERIFY(Control<QPushButton>(w(), "Command1")->isEnabled());
        QVERIFY(harness_->messages.isEmpty());
        QCOMPARE(w().statusLine().current(), statusBefore);
    }

    void openingShowsTheSportBoxAndItsPromptWithABusyCursor() {
        OpenWorkbook("dovo-race.xlsx");
        QCOMPARE(spreadsheet_->opened.size(), std::size_t{1});
        QCOMPARE(spreadsheet_->opened[0], harness_->scratch() / "dovo-race.xlsx");
        QCOMPARE(spreadsheet_->cursorWhileOpening, std::optional(Qt::WaitCursor));
        QVERIFY(QApplication::overrideCursor() == nullptr);
        auto* sport = Control<QComboBox>(w(), "Combo1");
        QVERIFY(sport->isVisible() && sport->isEnabled());
        QVERIFY(Control<QPlainTextEdit>(w(), "Text2")->isVisible());
        // The heat box is made usable but stays hidden until skating is chosen.
        QVERIFY(Control<QComboBox>(w(), "Combo2")->isHidden());
        QVERIFY(Control<QComboBox>(w(), "Combo2")->isEnabled());
        QCOMPARE(w().controller().race().raceSheet(), std::optional(tivaro::workbook::SheetId{0}));
        QVERIFY(w().statusLine().current().contains("dovo-race.xlsx"));
    }

    void aWorkbookThatCannotBeOpenedGivesAMessageAndChangesNothing() {
        spreadsheet_->failOpen = true;
        OpenWorkbook("broken.xlsx");
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("broken.xlsx") &&
                     harness_->messages[0].contains("niet geopend"),
                 qPrintable(harness_->messages[0]));
        QVERIFY(w().statusLine().current().contains("niet geopend"));
        QVERIFY(Control<QComboBox>(w(), "Combo1")->isHidden());
        QVERIFY(!w().controller().race().workbook());
        QVERIFY(QApplication::overrideCursor() == nullptr);

        // The user can try again with a good file.
        spreadsheet_->failOpen = false;
        OpenWorkbook("good.xlsx");
        QVERIFY(Control<QComboBox>(w(), "Combo1")->isVisible());
    }

    void theSetUpControlsReachTheRaceAndShowItsSetUp() {
        // What each sport prepares is the set-up panel's; here: that the widgets reach it and
        // show what it holds.
        OpenWorkbook("dovo-race.xlsx");
        auto* sport = Control<QComboBox>(w(), "Combo1");
        auto* heat = Control<QComboBox>(w(), "Combo2");
        auto* slider = Control<QSlider>(w(), "Slider1");
        auto* prompt = Control<QPlainTextEdit>(w(), "Text3");
        const tivaro::timing::RaceSetup& setup = w().controller().race().setup();

        Choose(sport, "Schaatsen");
        QVERIFY(heat->isVisible() && slider->isHidden());
        QCOMPARE(Control<QRadioButton>(w(), "fase_opwarmen")->text(),
                 QString::fromStdString(w().controller().setup().controls().warmupOption.caption));
        Choose(heat, "Heat 3");
        QCOMPARE(setup.heat, std::string("3"));

        Choose(sport, "Fietsen");
        QVERIFY(heat->isHidden() && slider->isVisible());
        slider->setFocus();
        QTest::keyClick(slider, Qt::Key_Right);
        QCOMPARE(setup.lapCount, 2);
        QCOMPARE(prompt->toPlainText(), QStringLiteral("Aantal rondes 2"));

        // A phase is chosen by a click, also on the option already chosen.
        Choose(sport, "Lopen");
        auto* pulse = Control<QRadioButton>(w(), "fase_startschot");
        Select(pulse);
        QCOMPARE(setup.phase, tivaro::timing::Phase::StartPulse);
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        QCOMPARE(setup.phase, tivaro::timing::Phase::Recording);
        QVERIFY(!pulse->isEnabled() && !pulse->isChecked());
    }

    void theSportBoxTakesOnlyItsEntries() {
        OpenWorkbook("dovo-race.xlsx");
        auto* sport = Control<QComboBox>(w(), "Combo1");
        Choose(sport, "Lopen");
        QVERIFY(!sport->isEditable());
        sport->setFocus();
        // A letter that starts no entry is refused: running stays in force.
        QTest::keyClicks(sport, "x");
        QCOMPARE(sport->currentText(), QStringLiteral("Lopen"));
        QCOMPARE(w().controller().race().setup().sport, tivaro::timing::Sport::Running);
        // Typing selects the matching entry, which is then the choice.
        QTest::qWait(QApplication::keyboardInputInterval() + 50);
        QTest::keyClicks(sport, "F");
        QCOMPARE(w().controller().race().setup().sport, tivaro::timing::Sport::Cycling);
    }

    void aSportChoiceKeepsThePhaseAndOpeningAgainKeepsTheSetUp() {
        OpenWorkbook("first.xlsx");
        Choose(Control<QComboBox>(w(), "Combo1"), "Fietsen");
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
        Choose(Control<QComboBox>(w(), "Combo1"), "Lopen");
        QCOMPARE(w().controller().race().setup().phase, tivaro::timing::Phase::Recording);

        spreadsheet_->activeSheet = 2;
        OpenWorkbook("second.xlsx");
        QCOMPARE(spreadsheet_->opened.size(), std::size_t{2});
        // The next heat's workbook: the race goes on on its running sheet, and it says so.
        QCOMPARE(w().controller().race().raceSheet(), std::optional(tivaro::workbook::SheetId{1}));
        QVERIFY2(w().statusLine().current().contains("\"loop\"") &&
                     w().statusLine().current().contains("Tijd Opnemen"),
                 qPrintable(w().statusLine().current()));
        QCOMPARE(Control<QComboBox>(w(), "Combo1")->currentText(), QStringLiteral("Lopen"));
        QCOMPARE(w().controller().race().setup().phase, tivaro::timing::Phase::Recording);
        QVERIFY(Control<QRadioButton>(w(), "fase_opnemen")->isChecked());
        QVERIFY(w().controller().race().workbook()->path() == harness_->scratch() / "second.xlsx");
    }

    void aWorkbookWithoutTheSportsSheetIsReported() {
        spreadsheet_->sheets = {"Blad1", "loop"};
        OpenWorkbook("other.xlsx");
        Choose(Control<QComboBox>(w(), "Combo1"), "Schaatsen");
        QVERIFY2(w().statusLine().current().contains("schaats"),
                 qPrintable(w().statusLine().current()));
        QCOMPARE(Control<QComboBox>(w(), "Combo1")->currentText(), QString());  // in force
        QVERIFY(Control<QComboBox>(w(), "Combo2")->isHidden());
        QVERIFY(!Control<QRadioButton>(w(), "fase_opnemen")->isEnabled());
        Choose(Control<QComboBox>(w(), "Combo1"), "Lopen");
        QVERIFY(Control<QRadioButton>(w(), "fase_opnemen")->isEnabled());
        QCOMPARE(w().controller().race().raceSheet(), std::optional(tivaro::workbook::SheetId{1}));
    }

    void decoderOptionsSwitchTheDecoderGeneration() {
        Select(Control<QRadioButton>(w(), "Option4"));
        QCOMPARE(w().controller().decoderGeneration(), tivaro::link::DecoderGeneration::Older);
        QVERIFY(!Control<QRadioButton>(w(), "Option3")->isChecked());
        Select(Control<QRadioButton>(w(), "Option3"));
        QCOMPARE(w().controller().decoderGeneration(), tivaro::link::DecoderGeneration::Binary);
        // The link options are not touched by the decoder choice.
        QVERIFY(Control<QRadioButton>(w(), "Option1")->isEnabled());
        QVERIFY(!Control<QRadioButton>(w(), "Option1")->isChecked());
    }

private:
    MainWindow& w() { return harness_->window(); }

    void OpenWorkbook(const char* name) {
        harness_->nextWorkbook = harness_->scratch() / name;
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
    }

    std::unique_ptr<FakeSpreadsheet> spreadsheet_;
    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowSetupTest)
#include "window_setup_test.moc"
