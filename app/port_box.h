#pragma once
// The serial port list: a drop-down list that says when it is about to open, so its entries can
// be read afresh (an adapter plugged in since is offered at once), and that takes a typed device
// path as well.

#include <QComboBox>

namespace tivaro::app {

class PortBox final : public QComboBox {
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override {
        emit aboutToShowPopup();
        QComboBox::showPopup();
    }

signals:
    void aboutToShowPopup();
};

}  // namespace tivaro::app
