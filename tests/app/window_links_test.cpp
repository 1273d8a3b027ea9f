// The link controls of the real window against real peers: a pseudo-terminal as the serial
// port and a loopback server as the decoder, including ports that cannot be opened,
// connections that fail or drop, and a second press of Connect.

#include <unistd.h>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "app/serial_link.h"
#include "app/status_line.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

class WindowLinksTest : public QObject {
    Q_OBJECT

private slots:
    void init() { harness_ = std::make_unique<WindowHarness>(); }
    void cleanup() { harness_.reset(); }

    void serialLinkOpensTheDeviceAndAdjustsTheFrame() {
        PseudoTerminal pty;
        harness_->options.serialDevice = [&pty] { return pty.devicePath(); };
        Start();
        auto* serial = Control<QRadioButton>(w(), "Option1");
        Select(serial);
        QVERIFY(serial->isChecked());
        QVERIFY(!Control<QRadioButton>(w(), "Option2")->isEnabled());
        QVERIFY(Control<QComboBox>(w(), "Combo3")->isVisible());
        QVERIFY(Control<QLineEdit>(w(), "Text4")->isHidden());
        QVERIFY(harness_->messages.isEmpty());
        QVERIFY2(w().statusLine().current().contains(pty.devicePath()) &&
                     w().statusLine().current().contains("9600,N,8,1"),
                 qPrintable(w().statusLine().current()));
    }

    void aSerialPortThatCannotBeOpenedLeavesBothLinksOnOffer_data() {
        QTest::addColumn<QString>("device");
        QTest::addColumn<QString>("said");
        QTest::newRow("missing") << QStringLiteral("/dev/ttyUSB-not-here")
                                 << "het apparaat is er niet";
        QTest::newRow("none found") << QString() << "geen seriële poort aanwezig";
    }
    void aSerialPortThatCannotBeOpenedLeavesBothLinksOnOffer() {
        QFETCH(QString, device);
        QFETCH(QString, said);
        PseudoTerminal pty;
        QString offered = device;
        harness_->options.serialDevice = [&offered] { return offered; };
        Start();
        auto* serial = Control<QRadioButton>(w(), "Option1");
        Select(serial);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains(said), qPrintable(harness_->messages[0]));
        QVERIFY(w().statusLine().current().contains(said));
        QVERIFY(!serial->isChecked() && serial->isEnabled());
        QVERIFY(Control<QRadioButton>(w(), "Option2")->isEnabled());
        QVERIFY(Control<QComboBox>(w(), "Combo3")->isHidden());

        // Another try, once the adapter is there.
        offered = pty.devicePath();
        Select(serial);
        QVERIFY(serial->isChecked());
        QVERIFY(!Control<QRadioButton>(w(), "Option2")->isEnabled());
        QCOMPARE(harness_->messages.size(), 1);
    }

    void aBusySerialPortIsSaidToBeInUse() {
        PseudoTerminal pty;
        SerialLink other;
        QVERIFY(other.open(pty.devicePath()).ok());
        harness_->options.serialDevice = [&pty] { return pty.devicePath(); };
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("een ander programma gebruikt"),
                 qPrintable(harness_->messages[0]));
        QVERIFY(!Control<QRadioButton>(w(), "Option1")->isChecked());
    }

    void aForbiddenSerialPortNamesTheDialoutGroup() {
        if (geteuid() == 0) {
            QSKIP("root may open any device");
        }
        const QString device = QString::fromStdString((harness_->scratch() / "ttyS0").string());
        QFile file(device);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        QVERIFY(file.setPermissions({}));
        harness_->options.serialDevice = [&device] { return device; };
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("dialout"), qPrintable(harness_->messages[0]));
    }

    void aSerialDeviceThatGoesAwayIsReportedAndCanBeChosenAgain() {
        auto pty = std::make_unique<PseudoTerminal>();
        QString device = pty->devicePath();
        harness_->options.serialDevice = [&device] { return device; };
        Start();
        auto* serial = Control<QRadioButton>(w(), "Option1");
        Select(serial);
        QVERIFY(serial->isChecked());

        pty->hangUp();
        QTRY_VERIFY2(
            w().statusLine().current().contains(QStringLiteral("De seriële poort %1").arg(device)),
            qPrintable(w().statusLine().current()));
        QVERIFY(!serial->isChecked() && serial->isEnabled());
        QVERIFY(Control<QRadioButton>(w(), "Option2")->isEnabled());
        QVERIFY(Control<QComboBox>(w(), "Combo3")->isHidden());

        pty = std::make_unique<PseudoTerminal>();
        device = pty->devicePath();
        Select(serial);
        QVERIFY(serial->isChecked());
        QVERIFY(w().statusLine().current().contains(device));
    }

    void choosingTcpShowsTheAddressBoxAndConnectsNothing() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        Select(Control<QRadioButton>(w(), "Option2"));
        QVERIFY(Control<QLabel>(w(), "Label3")->isVisible());
        QVERIFY(Control<QLineEdit>(w(), "Text4")->isVisible());
        auto* connectButton = Control<QPushButton>(w(), "Command3");
        QVERIFY(connectButton->isVisible() && connectButton->isEnabled());
        QVERIFY(!Control<QRadioButton>(w(), "Option1")->isEnabled());
        QVERIFY(Control<QComboBox>(w(), "Combo3")->isHidden());
        QTest::qWait(100);
        QCOMPARE(decoder.connectionsAccepted(), 0);
    }

    void connectShowsTheAttemptThenTheConnection() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        ChooseTcp(" 127.0.0.1 ");
        auto* status = Control<QLabel>(w(), "Label2");
        QTest::mouseClick(Control<QPushButton>(w(), "Command3"), Qt::LeftButton);
        QCOMPARE(status->text(), QStringLiteral("Proberen verbinding te maken met decoder"));

        QTRY_COMPARE(status->text(), QStringLiteral("Verbinding met decoder gemaakt"));
        QVERIFY(decoder.waitForClient());
        QVERIFY(!Control<QRadioButton>(w(), "Option2")->isEnabled());
        QVERIFY(!Control<QLineEdit>(w(), "Text4")->isEnabled());
        QVERIFY(!Control<QPushButton>(w(), "Command3")->isEnabled());
        QVERIFY(!Control<QRadioButton>(w(), "Option1")->isEnabled());
        QVERIFY(w().statusLine().current().contains(
            QStringLiteral("Verbonden met de decoder 127.0.0.1:%1").arg(decoder.port())));
    }

    void aSecondPressWhileConnectingMakesNoSecondConnection() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        ChooseTcp("127.0.0.1");
        auto* connectButton = Control<QPushButton>(w(), "Command3");
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTRY_COMPARE(Control<QLabel>(w(), "Label2")->text(),
                     QStringLiteral("Verbinding met decoder gemaakt"));
        QTest::qWait(200);
        QCOMPARE(decoder.connectionsAccepted(), 1);
    }

    void aFailedAttemptShowsWhyAndConnectStaysUsable() {
        quint16 freePort = 0;
        {
            DecoderServer probe;
            freePort = probe.port();
        }
        harness_->options.decoderPort = freePort;
        Start();
        ChooseTcp("127.0.0.1");
        auto* status = Control<QLabel>(w(), "Label2");
        auto* connectButton = Control<QPushButton>(w(), "Command3");
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTRY_VERIFY2(status->text().startsWith("Geen verbinding met decoder") &&
                         status->text().contains("refused", Qt::CaseInsensitive),
                     qPrintable(status->text()));
        QVERIFY(connectButton->isEnabled());
        QVERIFY(Control<QLineEdit>(w(), "Text4")->isEnabled());
        QVERIFY(w().statusLine().current().contains("Geen verbinding met de decoder"));

        // It does not try again by itself; the user does, once the decoder is up.
        DecoderServer decoder;
        decoder.server().close();
        QVERIFY(decoder.server().listen(QHostAddress::LocalHost, freePort));
        QTest::qWait(400);
        QCOMPARE(decoder.connectionsAccepted(), 0);
        QTest::mouseClick(connectButton, Qt::LeftButton);
        QTRY_COMPARE(status->text(), QStringLiteral("Verbinding met decoder gemaakt"));
        QCOMPARE(decoder.connectionsAccepted(), 1);
    }

    void aDroppedConnectionIsSaidAndMadeAgainByItself() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        ChooseTcp("127.0.0.1");
        auto* status = Control<QLabel>(w(), "Label2");
        QTest::mouseClick(Control<QPushButton>(w(), "Command3"), Qt::LeftButton);
        QTRY_COMPARE(status->text(), QStringLiteral("Verbinding met decoder gemaakt"));

        decoder.close();
        QTRY_VERIFY2(status->text().startsWith("Verbinding met decoder verbroken"),
                     qPrintable(status->text()));
        QVERIFY(w().statusLine().current().contains("verbroken"));
        // Attempts go on while the decoder is away.
        QTest::qWait(500);
        QVERIFY(status->text().startsWith("Verbinding met decoder verbroken"));

        QVERIFY(decoder.listen());
        QTRY_COMPARE(status->text(), QStringLiteral("Verbinding met decoder gemaakt"));
        QCOMPARE(decoder.connectionsAccepted(), 2);
        QVERIFY(w().statusLine().current().contains("hersteld"));
        QVERIFY(!Control<QPushButton>(w(), "Command3")->isEnabled());
        QVERIFY(harness_->messages.isEmpty());
    }

private:
    MainWindow& w() { return harness_->window(); }

    void Start() {
        harness_->create();
        harness_->show();
    }

    void ChooseTcp(const QString& address) {
        Select(Control<QRadioButton>(w(), "Option2"));
        auto* text4 = Control<QLineEdit>(w(), "Text4");
        text4->setFocus();
        QTest::keyClicks(text4, address);
    }

    std::unique_ptr<WindowHarness> harness_;
};

QTEST_MAIN(WindowLinksTest)
#include "window_links_test.moc"
