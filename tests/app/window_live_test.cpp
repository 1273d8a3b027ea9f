// The live results from the real window: the switch in the settings menu starts the server
// and is remembered, a phone's WebSocket gets the race view's standings and every passing
// entered, a busy port is said in Dutch while the race goes on, and the panel shows the
// page's address with a QR code.

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>
#include <QWebSocket>

#include "app/live_panel.h"
#include "app/qr_view.h"
#include "app/saved_setup.h"
#include "app_test_support.h"
#include "live/live_server.h"
#include "live/stand_json.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

namespace {

quint16 FreePort() {
    QTcpServer probe;
    probe.listen(QHostAddress::AnyIPv4, 0);
    return probe.serverPort();
}

}  // namespace

class WindowLiveTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() { harness_.reset(); }

    void aPhoneFollowsTheRaceOnceTheSwitchIsOn() {
        const quint16 port = FreePort();
        SavedSetup::SaveLiveResults(false, port);
        StartRunning();
        auto* liveSwitch = Control<QAction>(w(), "LiveResults");
        QVERIFY(!liveSwitch->isChecked());
        QVERIFY(!w().livePanel().server().isListening());

        liveSwitch->trigger();
        QVERIFY(w().livePanel().server().isListening());
        QCOMPARE(w().livePanel().server().port(), port);
        QVERIFY(SavedSetup::Load().liveResults);
        QVERIFY(harness_->messages.isEmpty());

        QWebSocket phone;
        QByteArray last;
        connect(&phone, &QWebSocket::binaryMessageReceived,
                [&last](const QByteArray& message) { last = message; });
        phone.open(QUrl(QStringLiteral("ws://127.0.0.1:%1/ws").arg(port)));
        QTRY_VERIFY(!last.isEmpty());
        tivaro::Result<tivaro::live::Stand> stand = tivaro::live::ReadStand(last);
        QVERIFY(stand.ok());
        QCOMPARE(stand->sport, std::string("Lopen"));
        QCOMPARE(stand->laps, 2);
        QVERIFY(stand->competitors.size() > 3);

        EnterByHand("201", "10:00:00");
        EnterByHand("201", "10:01:02.5");
        QTRY_VERIFY(tivaro::live::ReadStand(last)->latest ==
                    std::optional<std::string>("10:01:02.50"));
        stand = tivaro::live::ReadStand(last);
        const auto runner = std::find_if(stand->competitors.begin(), stand->competitors.end(),
                                         [](const auto& line) { return line.bib == "201"; });
        QVERIFY(runner != stand->competitors.end());
        QCOMPARE(runner->lapTimes.at(0), std::optional<std::string>("1:02.50"));

        // The panel shows where phones find the page, with a code of the address chosen.
        auto* panel = Control<LivePanel>(w(), "LivePanel");
        QVERIFY(panel->isVisible());
        const QString addresses = Control<QLabel>(w(), "LiveAddresses")->text();
        auto* codeFor = Control<QComboBox>(w(), "LiveCodeFor");
        if (codeFor->count() > 0) {
            QVERIFY(addresses.contains(QStringLiteral(":%1/").arg(port)));
            QCOMPARE(Control<QrView>(w(), "LiveCode")->text(), codeFor->currentText());
        } else {
            QVERIFY(addresses.startsWith(QStringLiteral("Geen netwerk")));
        }

        // Off: the phone is let go, and the choice is remembered.
        liveSwitch->trigger();
        QVERIFY(!w().livePanel().server().isListening());
        QTRY_COMPARE(phone.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(!SavedSetup::Load().liveResults);
    }

    void theSwitchIsRememberedAcrossARestart() {
        const quint16 port = FreePort();
        SavedSetup::SaveLiveResults(true, port);
        harness_->create();
        harness_->show();
        QVERIFY(Control<QAction>(w(), "LiveResults")->isChecked());
        QTRY_VERIFY(w().livePanel().server().isListening());
        QCOMPARE(w().livePanel().server().port(), port);
    }

    void aBusyPortIsSaidAndTheRaceGoesOn() {
        QTcpServer other;
        QVERIFY(other.listen(QHostAddress::AnyIPv4, 0));
        SavedSetup::SaveLiveResults(false, other.serverPort());
        StartRunning();
        auto* liveSwitch = Control<QAction>(w(), "LiveResults");
        liveSwitch->trigger();
        QVERIFY(!liveSwitch->isChecked());
        QVERIFY(!w().livePanel().server().isListening());
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY(harness_->messages[0].startsWith(
            QStringLiteral("De live uitslagen zijn niet gestart: poort %1 is bezet")
                .arg(other.serverPort())));
        EnterByHand("201", "10:00:00");
        QCOMPARE(w().controller().passings().size(), std::size_t{1});

        // Another port in the panel, and on again.
        Control<QSpinBox>(w(), "LivePort")->setValue(FreePort());
        liveSwitch->trigger();
        QVERIFY(w().livePanel().server().isListening());
    }

private:
    MainWindow& w() { return harness_->window(); }

    void StartRunning() {
        harness_->nextWorkbook = harness_->copyDemoWorkbook("dovo-race.xlsx");
        harness_->create();
        harness_->show();
        QTest::mouseClick(Control<QPushButton>(w(), "Command1"), Qt::LeftButton);
        QTRY_VERIFY(Control<QComboBox>(w(), "Combo1")->isVisible());
        Choose(Control<QComboBox>(w(), "Combo1"), "Lopen");
        Control<QSlider>(w(), "Slider1")->setValue(2);
        Select(Control<QRadioButton>(w(), "fase_opnemen"));
    }

    void EnterByHand(const char* bib, const char* time) {
        auto* bibBox = Control<QLineEdit>(w(), "HandBib");
        Control<QLineEdit>(w(), "HandTime")->setText(QString::fromLatin1(time));
        bibBox->setText(QString::fromLatin1(bib));
        bibBox->setFocus();
        QTest::keyClick(bibBox, Qt::Key_Return);
    }

    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowLiveTest)
#include "window_live_test.moc"
