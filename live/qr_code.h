#pragma once
// The QR code of a text (the live page's address), as a square of modules that a window
// paints: a phone's camera opens the page from it.

#include <QByteArray>
#include <optional>
#include <vector>

namespace tivaro::live {

struct QrCode {
    int size = 0;            // modules per side
    std::vector<bool> dark;  // size * size, row by row

    bool at(int x, int y) const { return dark[static_cast<std::size_t>(y * size + x)]; }
};

// The code of `text` (UTF-8) at error correction level M; nothing when the text does not fit
// in a QR code.
std::optional<QrCode> EncodeQr(const QByteArray& text);

}  // namespace tivaro::live
