#pragma once
// A scripted run of the window, for the picture in the README: it opens a workbook, chooses
// running with three laps, connects to a decoder that this process plays on a loopback port,
// lets a warm-up, the common start and a few laps arrive, saves a picture of the window and
// closes it. Started by a command-line option that the help does not list.

#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <vector>

#include "app/main_window.h"

class QTcpSocket;

namespace tivaro::app {

class DemoRun final : public QObject {
    Q_OBJECT
public:
    // Listens on a loopback port at once; `options` is pointed at it and at `workbook`.
    DemoRun(std::filesystem::path workbook, QString picture, WindowOptions& options);

    // Plays the race on `window`, which must outlive the run; the window closes at its end.
    void start(MainWindow& window);

private:
    void Step();
    // False while the window has not connected yet: the step is tried again.
    bool SendPassing(std::uint32_t transponder, std::string text);

    std::filesystem::path workbook_;
    QString picture_;
    QTcpServer server_;
    QTcpSocket* decoder_ = nullptr;
    MainWindow* window_ = nullptr;
    std::vector<std::function<bool()>> steps_;  // false: not done yet, try again
    std::size_t next_ = 0;
    std::uint64_t clockMicros_ = 0;
    QTimer timer_;
};

}  // namespace tivaro::app
