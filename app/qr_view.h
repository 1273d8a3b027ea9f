#pragma once
// A QR code painted as black squares on white, with the quiet zone around it that a phone's
// camera needs, scaled to the widget.

#include <QWidget>
#include <optional>

#include "live/qr_code.h"

namespace tivaro::app {

class QrView final : public QWidget {
    Q_OBJECT
public:
    explicit QrView(QWidget* parent = nullptr);
    // Shows the code of `text`; an empty text shows nothing.
    void setText(const QString& text);
    QString text() const { return text_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString text_;
    std::optional<live::QrCode> code_;
};

}  // namespace tivaro::app
