#pragma once
// The window's status line: everything that went wrong or needs attention (a log that cannot
// be written, a workbook that cannot be saved, a link lost or restored), one message at a
// time, each stamped with the time of day. The latest message is shown; the recent ones are
// kept for its tooltip, so a message that was quickly followed by another is not lost.

#include <QObject>
#include <QString>
#include <QStringList>
#include <deque>

class QLabel;
class QStatusBar;

namespace tivaro::app {

class StatusLine final : public QObject {
    Q_OBJECT
public:
    static constexpr int kKeptMessages = 50;

    // Adds its label to `bar`, which must outlive the status line.
    explicit StatusLine(QStatusBar* bar);

    // Shows "hh:mm:ss  message". The same message twice in a row is counted, not repeated.
    void post(const QString& message);

    // The shown text ("" before the first message).
    QString current() const;
    // The kept messages, oldest first, each with its time.
    QStringList recent() const;

signals:
    void posted(const QString& stampedMessage);

private:
    QLabel* label_;
    std::deque<QString> recent_;
    QString lastMessage_;
    int repeats_ = 0;
};

}  // namespace tivaro::app
