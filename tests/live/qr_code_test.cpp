// The QR code of the page's address: square, with the three finder patterns a phone's camera
// looks for in their corners (and none in the fourth), the same text giving the same code,
// and a text too long for any QR code refused.

#include <QTest>

#include "live/qr_code.h"

namespace tivaro::live {

namespace {

// Whether a finder pattern (a dark 7x7 ring, a light ring, a dark 3x3 core) has its top left
// at (left, top).
bool FinderAt(const QrCode& code, int left, int top) {
    for (int y = 0; y < 7; ++y) {
        for (int x = 0; x < 7; ++x) {
            const int ring = std::min({x, y, 6 - x, 6 - y});
            const bool dark = ring != 1;
            if (code.at(left + x, top + y) != dark) {
                return false;
            }
        }
    }
    return true;
}

}  // namespace

class QrCodeTest : public QObject {
    Q_OBJECT
private slots:
    void encodesAnAddressWithItsFinderPatterns() {
        const std::optional<QrCode> code = EncodeQr("http://192.168.178.20:8080/");
        QVERIFY(code.has_value());
        // Version 1 is 21 modules; each version adds 4.
        QVERIFY(code->size >= 21);
        QCOMPARE((code->size - 21) % 4, 0);
        QCOMPARE(code->dark.size(), static_cast<std::size_t>(code->size * code->size));
        const int far = code->size - 7;
        QVERIFY(FinderAt(*code, 0, 0));
        QVERIFY(FinderAt(*code, far, 0));
        QVERIFY(FinderAt(*code, 0, far));
        QVERIFY(!FinderAt(*code, far, far));
    }

    void givesTheSameCodeForTheSameTextAndAnotherForAnother() {
        const std::optional<QrCode> a = EncodeQr("http://10.0.0.2:8080/");
        const std::optional<QrCode> b = EncodeQr("http://10.0.0.2:8080/");
        const std::optional<QrCode> c = EncodeQr("http://10.0.0.3:8080/");
        QVERIFY(a && b && c);
        QVERIFY(a->dark == b->dark);
        QVERIFY(a->dark != c->dark);
    }

    void refusesATextTooLongForAnyCode() { QVERIFY(!EncodeQr(QByteArray(8000, 'a')).has_value()); }
};

}  // namespace tivaro::live

QTEST_GUILESS_MAIN(tivaro::live::QrCodeTest)
#include "qr_code_test.moc"
