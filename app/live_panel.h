#pragma once
// The live results in the window: the switch "Live uitslagen" (remembered between runs), and
// a small window with the port, the addresses at which phones on the hall's network reach the
// page, and a QR code of the page that a phone scans. The server itself lives in live/; this
// only wires widgets to it and tells it when the race changed.

#include <QByteArray>
#include <QWidget>
#include <functional>

class QAction;
class QComboBox;
class QLabel;
class QSpinBox;

namespace tivaro::live {
class LiveServer;
}

namespace tivaro::app {

class QrView;

class LivePanel final : public QWidget {
    Q_OBJECT
public:
    // `snapshot` builds the live page's JSON of the race as it stands.
    LivePanel(std::function<QByteArray()> snapshot, QWidget* parent);
    ~LivePanel() override;

    // The menu's switch; checked: the server runs.
    QAction* switchAction() const { return switch_; }
    // Shows this panel (the menu's "addresses and QR code").
    QAction* showAction() const { return show_; }
    // The race changed (a passing, a take-back, another sport, heat or workbook).
    void raceChanged();
    // Starts serving as the settings say (at start-up).
    void restore();
    const live::LiveServer& server() const { return *server_; }

signals:
    // News for the window's messages; `problem` also needs the organiser's attention.
    void news(const QString& text);
    void problem(const QString& text);

private:
    void turn(bool on);
    void portChosen();
    void refresh();
    void showState();
    void showCode();

    live::LiveServer* server_ = nullptr;
    QAction* switch_ = nullptr;
    QAction* show_ = nullptr;
    QLabel* state_ = nullptr;
    QSpinBox* port_ = nullptr;
    QLabel* addresses_ = nullptr;
    QComboBox* codeFor_ = nullptr;
    QrView* code_ = nullptr;
};

}  // namespace tivaro::app
