#pragma once
// The window's messages, readable without hovering: every message with its time, newest on top,
// under the passing grid. A failure that endangers the race results (the workbook not saved,
// a log not written, the decoder connection lost) stands out above the list, in colour, until
// it is resolved; when the workbook cannot be saved, the alert offers "Opslaan als...".

#include <QString>
#include <QStringList>
#include <QWidget>
#include <map>

class QLabel;
class QListWidget;
class QPushButton;

namespace tivaro::app {

class MessageArea final : public QWidget {
    Q_OBJECT
public:
    enum class Alert {
        WorkbookNotSaved,
        Waiting,
        LogNotWritten,
        DecoderLost,
        SetAside,
        CalcNotAnswering
    };
    static constexpr int kKeptMessages = 200;

    explicit MessageArea(QWidget* parent = nullptr);

    // Adds "hh:mm:ss  message" on top. The same message twice in a row is counted, not repeated.
    void post(const QString& message);
    // Makes `alert` stand out with `message` above the list. True when it was not raised yet.
    bool raise(Alert alert, const QString& message);
    // `alert` is over; `message` (if any) says so.
    void resolve(Alert alert, const QString& message = {});
    bool isRaised(Alert alert) const { return alerts_.count(alert) != 0; }

    // The messages shown, newest first, and the alert text ("" when none).
    QStringList messages() const;
    QString alertText() const;

signals:
    void saveAsRequested();

private:
    void showAlerts();

    QLabel* alert_;
    QPushButton* saveAs_;
    QListWidget* list_;
    std::map<Alert, QString> alerts_;
    QString lastMessage_;
    int repeats_ = 0;
};

}  // namespace tivaro::app
