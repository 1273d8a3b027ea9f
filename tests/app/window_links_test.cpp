// The link controls of the real window against real peers: a pseudo-terminal as the serial
// port and a loopback server as the decoder, including ports that cannot be opened,
// connections that fail or drop, and a second press of Connect; and the serial link and its
// port list on their own.

#include <unistd.h>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTest>
#include <algorithm>

#include "app/message_area.h"
#include "app/serial_link.h"
#include "app/status_line.h"
#include "app_test_support.h"

using namespace tivaro::app;
using namespace tivaro::app::testing;

class WindowLinksTest : public QObject {
    Q_OBJECT

private slots:
    void init() {
        harness_ = std::make_unique<WindowHarness>();
        ports_.clear();
    }
    void cleanup() { harness_.reset(); }

    void serialLinkOffersThePortsPresentAndOpensTheOneChosen() {
        PseudoTerminal pty;
        ports_ = {{"/dev/ttyS-not-here", "ttyS-not-here"}, {pty.devicePath(), "pts (proef)"}};
        Start();
        auto* serial = Control<QRadioButton>(w(), "Option1");
        Select(serial);
        QVERIFY(serial->isChecked());
        QVERIFY(!Control<QRadioButton>(w(), "Option2")->isEnabled());
        auto* ports = Control<QComboBox>(w(), "Combo3");
        QVERIFY(ports->isVisible());
        QCOMPARE(ports->count(), 2);
        QCOMPARE(ports->itemText(1), QStringLiteral("pts (proef)"));
        // Nothing is opened before the user chooses: not even the only built-in port.
        QVERIFY(!w().statusLine().current().contains("geopend"));

        ChoosePort(1);
        QVERIFY(harness_->messages.isEmpty());
        QVERIFY2(w().statusLine().current().contains(pty.devicePath()) &&
                     w().statusLine().current().contains("9600,N,8,1"),
                 qPrintable(w().statusLine().current()));
        QVERIFY(Control<QLabel>(w(), "Label2")->text().contains(pty.devicePath()));
    }

    void thePortListIsReadAfreshEachTimeItOpens() {
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        auto* ports = Control<QComboBox>(w(), "Combo3");
        QCOMPARE(ports->count(), 0);
        auto pty = std::make_unique<PseudoTerminal>();
        ports_ = {{pty->devicePath(), "pts (proef)"}};
        ports->showPopup();
        ports->hidePopup();
        QCOMPARE(ports->count(), 1);
        ports_.clear();
        pty.reset();
        ports->showPopup();
        ports->hidePopup();
        QCOMPARE(ports->count(), 0);
    }

    void aPortThatCannotBeOpenedIsSaidAndAnotherCanBeChosen() {
        PseudoTerminal pty;
        ports_ = {{"/dev/ttyUSB-not-here", "ttyUSB-not-here"}, {pty.devicePath(), "pts"}};
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        ChoosePort(0);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("het apparaat is er niet"),
                 qPrintable(harness_->messages[0]));
        ChoosePort(1);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY(w().statusLine().current().contains(pty.devicePath()));
    }

    void aTypedDevicePathIsOpened() {
        PseudoTerminal pty;
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        auto* ports = Control<QComboBox>(w(), "Combo3");
        ports->setFocus();
        QTest::keyClicks(ports, pty.devicePath());
        QTest::keyClick(ports, Qt::Key_Return);
        QTRY_VERIFY2(w().statusLine().current().contains(pty.devicePath()),
                     qPrintable(w().statusLine().current()));
    }

    void aBusySerialPortIsSaidToBeInUse() {
        PseudoTerminal pty;
        SerialLink other;
        QVERIFY(other.open(pty.devicePath()).ok());
        ports_ = {{pty.devicePath(), "pts"}};
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        ChoosePort(0);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("een ander programma gebruikt"),
                 qPrintable(harness_->messages[0]));
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
        ports_ = {{device, "ttyS0"}};
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        ChoosePort(0);
        QCOMPARE(harness_->messages.size(), 1);
        QVERIFY2(harness_->messages[0].contains("dialout"), qPrintable(harness_->messages[0]));
    }

    void aSerialPortThatGoesAwayIsOpenedAgainWhenItComesBack() {
        // The device is a link to a pseudo-terminal, so that it can go away and come back
        // under the same name, as a USB adapter pulled out and plugged in again does.
        const std::filesystem::path device = harness_->scratch() / "ttyUSB-decoder";
        auto pty = std::make_unique<PseudoTerminal>();
        std::filesystem::create_symlink(pty->devicePath().toStdString(), device);
        ports_ = {{QString::fromStdString(device.string()), "ttyUSB-decoder"}};
        harness_->options.lostLinkGrace = std::chrono::milliseconds(300);
        Start();
        Select(Control<QRadioButton>(w(), "Option1"));
        ChoosePort(0);
        QVERIFY(w().statusLine().current().contains("geopend"));

        pty->hangUp();
        std::filesystem::remove(device);
        QTRY_VERIFY2(w().statusLine().current().contains("weer zodra hij terug is"),
                     qPrintable(w().statusLine().current()));
        // Away for longer than a moment: it stands out, once with a message.
        QTRY_VERIFY(w().messageArea().isRaised(MessageArea::Alert::DecoderLost));
        QCOMPARE(harness_->messages.size(), 1);

        pty = std::make_unique<PseudoTerminal>();
        std::filesystem::create_symlink(pty->devicePath().toStdString(), device);
        QTRY_VERIFY_WITH_TIMEOUT(w().statusLine().current().contains("terug en weer geopend"),
                                 5000);
        QTRY_VERIFY(!w().messageArea().isRaised(MessageArea::Alert::DecoderLost));
        QVERIFY(Control<QRadioButton>(w(), "Option1")->isChecked());
    }

    void serialPortsAreOfferedUsbAdaptersFirstInNumericOrder() {
        QStringList devices = {"/dev/ttyS1", "/dev/ttyUSB10", "/dev/ttyACM0",
                               "/dev/ttyS0", "/dev/ttyUSB2",  "/dev/rfcomm0"};
        std::sort(devices.begin(), devices.end(), SerialPortBefore);
        QCOMPARE(devices, QStringList({"/dev/ttyUSB2", "/dev/ttyUSB10", "/dev/ttyACM0",
                                       "/dev/ttyS0", "/dev/ttyS1", "/dev/rfcomm0"}));
    }

    void serialLinkReadsWhatTheLineCarries() {
        PseudoTerminal pty;
        SerialLink link;
        QSignalSpy ready(&link, &SerialLink::readyRead);
        QVERIFY(link.open(pty.devicePath()).ok());
        QVERIFY(link.isOpen());
        QCOMPARE(link.device(), pty.devicePath());
        const QByteArray bytes = QByteArray::fromHex("8e00118d2f8f0a0d00ff");
        QVERIFY(pty.write(bytes));
        QByteArray read;
        QTRY_VERIFY((read += link.readAll()).size() >= bytes.size());
        QCOMPARE(read, bytes);  // every byte value passes unchanged
        QVERIFY(ready.count() >= 1);
        // Opening it twice is refused, and says so.
        const tivaro::Status again = link.open(pty.devicePath());
        QVERIFY(!again.ok());
        QVERIFY(QString::fromStdString(again.error().message).contains("al open"));
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

    void aFailedFirstAttemptIsTriedAgainUntilItSucceeds() {
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
        QTRY_VERIFY2(status->text().startsWith("Geen verbinding met decoder"),
                     qPrintable(status->text()));
        QVERIFY2(w().statusLine().current().contains("Geen verbinding met de decoder") &&
                     w().statusLine().current().contains("geweigerd"),
                 qPrintable(w().statusLine().current()));
        QVERIFY(connectButton->isEnabled());
        QVERIFY(Control<QLineEdit>(w(), "Text4")->isEnabled());
        QVERIFY2(Control<QRadioButton>(w(), "Option1")->isEnabled(), "another link may be chosen");

        // It tries again by itself once the decoder is up.
        DecoderServer decoder;
        decoder.server().close();
        QVERIFY(decoder.server().listen(QHostAddress::LocalHost, freePort));
        QTRY_COMPARE(status->text(), QStringLiteral("Verbinding met decoder gemaakt"));
        QCOMPARE(decoder.connectionsAccepted(), 1);
    }

    void choosingTheSerialLineStopsTheAttempts() {
        quint16 freePort = 0;
        {
            DecoderServer probe;
            freePort = probe.port();
        }
        harness_->options.decoderPort = freePort;
        Start();
        ChooseTcp("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w(), "Command3"), Qt::LeftButton);
        QTRY_VERIFY(Control<QRadioButton>(w(), "Option1")->isEnabled());
        Select(Control<QRadioButton>(w(), "Option1"));
        DecoderServer decoder;
        decoder.server().close();
        QVERIFY(decoder.server().listen(QHostAddress::LocalHost, freePort));
        QTest::qWait(600);
        QCOMPARE(decoder.connectionsAccepted(), 0);
        QVERIFY(Control<QComboBox>(w(), "Combo3")->isVisible());
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

    void recordsSetAsideStandAsOneCountNotAMessageEach() {
        DecoderServer decoder;
        harness_->options.decoderPort = decoder.port();
        Start();
        ChooseTcp("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w(), "Command3"), Qt::LeftButton);
        QVERIFY(decoder.waitForClient());
        QByteArray burst = WireStatus() + WireStatus() + WireStatus();
        for (int k = 0; k < 40; ++k) {
            burst += WireHit(7405583, Micros(10, 0, k));
        }
        decoder.send(burst);
        QTRY_VERIFY(w().messageArea().isRaised(MessageArea::Alert::SetAside));
        QTRY_VERIFY2(w().messageArea().alertText().contains("40 record"),
                     qPrintable(w().messageArea().alertText()));
        QVERIFY(w().messageArea().alertText().contains("Controlesom fout"));
        QCOMPARE(w().controller().passings().size(), 40u);
        QCOMPARE(QString::fromStdString(w().controller().passings().row(0).type),
                 QStringLiteral("Controlesom fout"));
        for (const QString& message : w().messageArea().messages()) {
            QVERIFY2(!message.contains("controlesom", Qt::CaseInsensitive), qPrintable(message));
        }
        QVERIFY(harness_->messages.isEmpty());
    }

    void theLinkIsLetGoAndAnotherChosenWithoutARestart() {
        DecoderServer decoder;
        PseudoTerminal pty;
        ports_ = {{pty.devicePath(), "pts (proef)"}};
        harness_->options.decoderPort = decoder.port();
        Start();
        auto* letGo = Control<QPushButton>(w(), "DisconnectButton");
        QVERIFY(letGo->isHidden());
        ChooseTcp("127.0.0.1");
        QTest::mouseClick(Control<QPushButton>(w(), "Command3"), Qt::LeftButton);
        QVERIFY(decoder.waitForClient());
        QTRY_VERIFY(letGo->isVisible());
        QVERIFY(!Control<QRadioButton>(w(), "Option1")->isEnabled());

        QTest::mouseClick(letGo, Qt::LeftButton);
        QTRY_VERIFY(decoder.server().findChildren<QTcpSocket*>().isEmpty() ||
                    decoder.server().findChildren<QTcpSocket*>().first()->state() !=
                        QAbstractSocket::ConnectedState);
        QVERIFY(letGo->isHidden());
        QVERIFY(w().statusLine().current().contains("verbroken"));
        // Not tried again: the link was let go on purpose.
        QTest::qWait(500);
        QCOMPARE(decoder.connectionsAccepted(), 1);

        // The serial line instead, at once.
        auto* serial = Control<QRadioButton>(w(), "Option1");
        QVERIFY(serial->isEnabled());
        Select(serial);
        ChoosePort(0);
        QVERIFY(w().statusLine().current().contains(pty.devicePath()));
        QVERIFY(letGo->isVisible());
        QVERIFY(pty.write(WirePassing(1001, Micros(9, 0, 0))));
        QTRY_COMPARE(Control<QTableView>(w(), "MSFlexGrid1")->model()->rowCount(), 1);
    }

private:
    MainWindow& w() { return harness_->window(); }

    void Start() {
        harness_->options.serialPorts = [this] { return ports_; };
        harness_->create();
        harness_->show();
    }

    // Chooses the entry at `index` of the port list, as a click on it in the open list does.
    void ChoosePort(int index) {
        auto* ports = Control<QComboBox>(w(), "Combo3");
        ports->setCurrentIndex(index);
        emit ports->activated(index);
    }

    void ChooseTcp(const QString& address) {
        Select(Control<QRadioButton>(w(), "Option2"));
        auto* text4 = Control<QLineEdit>(w(), "Text4");
        text4->setFocus();
        QTest::keyClicks(text4, address);
    }

    std::unique_ptr<WindowHarness> harness_;
    std::vector<SerialPortEntry> ports_;
};

QTEST_MAIN(WindowLinksTest)
#include "window_links_test.moc"
