#include "live/qr_code.h"

#include <qrencode.h>

#include <memory>

namespace tivaro::live {

std::optional<QrCode> EncodeQr(const QByteArray& text) {
    const std::unique_ptr<QRcode, decltype(&QRcode_free)> code(
        QRcode_encodeString8bit(text.constData(), 0, QR_ECLEVEL_M), &QRcode_free);
    if (!code) {
        return std::nullopt;
    }
    QrCode qr;
    qr.size = code->width;
    qr.dark.resize(static_cast<std::size_t>(code->width) * static_cast<std::size_t>(code->width));
    for (std::size_t i = 0; i < qr.dark.size(); ++i) {
        // The lowest bit of each byte is the module's colour; the others say what it is for.
        qr.dark[i] = (code->data[i] & 1) != 0;
    }
    return qr;
}

}  // namespace tivaro::live
