#include "app/status_line.h"

#include <QLabel>
#include <QStatusBar>
#include <QTime>

namespace tivaro::app {

StatusLine::StatusLine(QStatusBar* bar) : QObject(bar), label_(new QLabel(bar)) {
    label_->setObjectName("StatusLine");
    label_->setTextFormat(Qt::PlainText);
    label_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    bar->addWidget(label_, 1);
}

void StatusLine::post(const QString& message) {
    const QString time = QTime::currentTime().toString("HH:mm:ss");
    QString stamped;
    if (message == lastMessage_ && !recent_.empty()) {
        ++repeats_;
        stamped = QStringLiteral("%1  %2 (%3 times)").arg(time, message).arg(repeats_);
        recent_.back() = stamped;
    } else {
        lastMessage_ = message;
        repeats_ = 1;
        stamped = time + QStringLiteral("  ") + message;
        recent_.push_back(stamped);
        if (recent_.size() > kKeptMessages) {
            recent_.pop_front();
        }
    }
    label_->setText(stamped);
    label_->setToolTip(recent().join('\n'));
    emit posted(stamped);
}

QString StatusLine::current() const {
    return label_->text();
}

QStringList StatusLine::recent() const {
    return QStringList(recent_.begin(), recent_.end());
}

}  // namespace tivaro::app
