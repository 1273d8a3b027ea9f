#include "app/qr_view.h"

#include <QPainter>
#include <algorithm>

namespace tivaro::app {

namespace {

constexpr int kQuietZone = 4;  // modules of white around the code

}  // namespace

QrView::QrView(QWidget* parent) : QWidget(parent) {
    setMinimumSize(160, 160);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void QrView::setText(const QString& text) {
    text_ = text;
    code_ = text.isEmpty() ? std::nullopt : live::EncodeQr(text.toUtf8());
    update();
}

void QrView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (!code_) {
        return;
    }
    const int modules = code_->size + 2 * kQuietZone;
    const int scale = std::max(1, std::min(width(), height()) / modules);
    const int left = (width() - modules * scale) / 2 + kQuietZone * scale;
    const int top = (height() - modules * scale) / 2 + kQuietZone * scale;
    for (int y = 0; y < code_->size; ++y) {
        for (int x = 0; x < code_->size; ++x) {
            if (code_->at(x, y)) {
                painter.fillRect(left + x * scale, top + y * scale, scale, scale, Qt::black);
            }
        }
    }
}

}  // namespace tivaro::app
