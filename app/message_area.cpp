#include "app/message_area.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QTime>
#include <QVBoxLayout>

namespace tivaro::app {

MessageArea::MessageArea(QWidget* parent)
    : QWidget(parent),
      alert_(new QLabel(this)),
      saveAs_(new QPushButton(tr("Opslaan als..."), this)),
      list_(new QListWidget(this)) {
    setObjectName(QStringLiteral("MessageArea"));
    alert_->setObjectName(QStringLiteral("AlertBanner"));
    alert_->setWordWrap(true);
    alert_->setTextFormat(Qt::PlainText);
    alert_->setAutoFillBackground(true);
    QPalette palette = alert_->palette();
    palette.setColor(QPalette::Window, QColor(0xC6, 0x28, 0x28));
    palette.setColor(QPalette::WindowText, Qt::white);
    alert_->setPalette(palette);
    alert_->setMargin(4);
    saveAs_->setObjectName(QStringLiteral("SaveAsButton"));
    list_->setObjectName(QStringLiteral("MessageList"));
    list_->setWordWrap(true);
    list_->setSelectionMode(QAbstractItemView::NoSelection);
    list_->setFocusPolicy(Qt::NoFocus);

    auto* alertRow = new QHBoxLayout();
    alertRow->addWidget(alert_, 1);
    alertRow->addWidget(saveAs_, 0, Qt::AlignTop);
    auto* rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addLayout(alertRow);
    rows->addWidget(list_, 1);
    connect(saveAs_, &QPushButton::clicked, this, &MessageArea::saveAsRequested);
    showAlerts();
}

void MessageArea::post(const QString& message) {
    const QString time = QTime::currentTime().toString(QStringLiteral("HH:mm:ss"));
    if (message == lastMessage_ && list_->count() > 0) {
        ++repeats_;
        list_->item(0)->setText(tr("%1  %2 (%3 keer)").arg(time, message).arg(repeats_));
        return;
    }
    lastMessage_ = message;
    repeats_ = 1;
    list_->insertItem(0, time + QStringLiteral("  ") + message);
    while (list_->count() > kKeptMessages) {
        delete list_->takeItem(list_->count() - 1);
    }
}

bool MessageArea::raise(Alert alert, const QString& message) {
    const bool isNew = alerts_.count(alert) == 0;
    alerts_[alert] = message;
    showAlerts();
    return isNew;
}

void MessageArea::resolve(Alert alert, const QString& message) {
    if (alerts_.erase(alert) == 0) {
        return;
    }
    if (!message.isEmpty()) {
        post(message);
    }
    showAlerts();
}

QStringList MessageArea::messages() const {
    QStringList texts;
    for (int row = 0; row < list_->count(); ++row) {
        texts << list_->item(row)->text();
    }
    return texts;
}

QString MessageArea::alertText() const {
    return alert_->isVisible() || !alerts_.empty() ? alert_->text() : QString();
}

void MessageArea::showAlerts() {
    QStringList texts;
    for (const auto& [alert, text] : alerts_) {
        texts << text;
    }
    alert_->setText(texts.join('\n'));
    alert_->setVisible(!alerts_.empty());
    saveAs_->setVisible(alerts_.count(Alert::WorkbookNotSaved) != 0);
}

}  // namespace tivaro::app
