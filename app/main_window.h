#pragma once
// The main window: every control of the race-timing window, wired to the race controller.
// The window only moves values between its widgets and the core: the set-up panel, the
// decoder links and the passing list.
//
// Handlers never run inside one another. An event that arrives while a handler is still
// running (a decoder arrival while the file dialog is open) is held back and handled as soon
// as that handler has returned, so the race is only ever changed by one handler at a time.
//
// Everything that goes wrong (a port, a connection, a log or the workbook) is said in the
// status line under the grid, with the time and the reason; the window keeps working.

#include <QMainWindow>
#include <QString>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/tcp_link.h"
#include "app/window_layout.h"
#include "common/result.h"
#include "timing/race_controller.h"

namespace tivaro::app {

class DebugBoxes;
class DecoderLink;
class PassingTableModel;
class SerialLink;
class StatusLine;
class WorkbookSaver;

// What the window takes from outside; every empty member means the ordinary choice.
struct WindowOptions {
    // Where the logs go. Empty: $TIVARO_DATA_DIR when set, else the user's data directory.
    std::filesystem::path dataDirectory;
    // Asks for the race workbook given the dialog's file filter; nothing when cancelled.
    // Empty: the file-open dialog.
    std::function<std::optional<std::filesystem::path>(QWidget* parent, const QString& filter)>
        chooseWorkbook;
    // Shows a message that needs the user's attention, without waiting for an answer.
    // Empty: a message box.
    std::function<void(const QString& text)> showMessage;
    // Starts a spreadsheet application for each workbook opened. Empty: the embedded engine,
    // with its backups in the data directory.
    timing::Race::AppStarter startSpreadsheet;
    // The device of serial port 1. Empty: COM1, or the first serial device present.
    std::function<QString()> serialDevice;
    quint16 decoderPort = kDecoderPort;
    std::chrono::milliseconds reconnectInterval = std::chrono::seconds(3);
    // The shortest time between two saves of the workbook while passings come in.
    std::chrono::milliseconds saveInterval = std::chrono::milliseconds(500);
};

// The open dialog's file filter, in the dialog's syntax: the race workbooks by name, the
// workbook formats the engine reads, and all files.
QString WorkbookFileFilter();
// The entry of WorkbookFileFilter() the dialog starts with.
QString WorkbookFormatsFilter();

// `given` when not empty, else $TIVARO_DATA_DIR when set, else the user's data directory.
std::filesystem::path ResolveDataDirectory(const std::filesystem::path& given);

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    const timing::RaceController& controller() const { return *controller_; }
    StatusLine& statusLine() { return *status_; }
    const std::filesystem::path& dataDirectory() const { return dataDirectory_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = void (MainWindow::*)();
    class HandlerScope;

    void connectSignals();
    void connectLinkSignals();
    // Runs `handler` now, or once the running handler has returned.
    void dispatch(Handler handler);
    void runHeldBack();

    // Start-up and race set-up.
    void startUp();
    void openWorkbook();
    void chooseSport();
    void chooseHeat();
    void moveLapSlider();
    void chooseWarmup();
    void chooseStartPulse();
    void chooseRecording();
    void chooseBinaryDecoder();
    void chooseOlderDecoder();

    // Decoder links (decoder_links.cpp).
    void chooseSerialLink();
    void chooseTcpLink();
    void connectDecoder();
    void onSerialBytes();
    void onTcpBytes();
    void onSerialConnected();
    void onTcpConnected();
    void onTcpAttemptFailed();
    void onTcpLost();
    void onTcpRetryFailed();
    void onSerialLost();
    void readDecoderBytes(DecoderLink& link);
    void startConnection(DecoderLink& link);

    void saveCheck();

    // Brings the race set-up widgets in line with the controls model.
    void applyRaceControls();
    void setOptionChecked(QRadioButton* option, bool checked);
    void report(const QString& message);
    void showMessage(const QString& text);
    QString decoderAddress() const;

    WindowOptions options_;
    std::filesystem::path dataDirectory_;
    WindowControls ui_;
    StatusLine* status_ = nullptr;
    std::unique_ptr<DebugBoxes> debugBoxes_;
    std::unique_ptr<timing::RaceController> controller_;
    PassingTableModel* gridModel_ = nullptr;
    SerialLink* serial_ = nullptr;
    TcpLink* tcp_ = nullptr;
    WorkbookSaver* saver_ = nullptr;
    bool everConnected_ = false;

    int handlerDepth_ = 0;
    std::vector<Handler> heldBack_;
    bool closeRefused_ = false;
};

}  // namespace tivaro::app
