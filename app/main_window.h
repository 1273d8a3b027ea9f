#pragma once
// The main window, Form1: every control of the race-timing window, wired to the core. Each
// handler carries the name of the control event it answers (Command1_Click, MSComm1_OnComm,
// ...) and only moves values between the widgets and the core: the race set-up, the receive
// path and the passing handling.
//
// Handlers never run inside one another. An event that arrives while a handler is still
// running (a decoder arrival while the file dialog is open) is held back and handled as soon
// as that handler has returned, so the race state is only ever changed by one handler at a
// time.
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

#include "app/state/race_state.h"
#include "app/tcp_link.h"
#include "app/window_layout.h"
#include "common/result.h"
#include "link/receive_path.h"
#include "timing/passing_handler.h"
#include "timing/passing_list.h"
#include "timing/race_setup.h"

namespace tivaro::app {

class DebugBoxes;
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
    timing::RaceSetup::AppStarter startSpreadsheet;
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

    const RaceState& raceState() const { return state_; }
    const timing::PassingList& passings() const { return passings_; }
    StatusLine& statusLine() { return *status_; }
    const std::filesystem::path& dataDirectory() const { return dataDirectory_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = void (MainWindow::*)();
    class HandlerScope;

    void ConnectSignals();
    void ConnectLinkSignals();
    // Runs `handler` now, or once the running handler has returned.
    void Dispatch(Handler handler);
    void RunHeldBack();

    // Start-up and race set-up.
    void Form_Load();
    void Command1_Click();
    void Combo1_Click();
    void Combo2_Click();
    void Slider1_Change();
    void fase_opwarmen_Click();
    void fase_startschot_Click();
    void fase_opnemen_Click();
    void Option3_Click();
    void Option4_Click();

    // Decoder link.
    void Option1_Click();
    void Option2_Click();
    void Command3_Click();
    void Winsock1_Connect();
    void Winsock1_DataArrival();
    void MSComm1_OnComm();
    // What the link controls report beyond the ordinary events.
    void Winsock1_AttemptFailed();
    void Winsock1_Lost();
    void Winsock1_RetryFailed();
    void MSComm1_Lost();

    void SaveCheck();

    // Brings the race set-up widgets in line with the controls model.
    void ApplyRaceControls();
    void SetOptionChecked(QRadioButton* option, bool checked);
    void Report(const QString& message);
    void ReportAll(const std::vector<Error>& errors);
    void ShowMessage(const QString& text);
    QString DecoderAddress() const;

    WindowOptions options_;
    std::filesystem::path dataDirectory_;
    RaceState state_;
    Form1Controls ui_;
    StatusLine* status_ = nullptr;
    timing::PassingList passings_;
    timing::RaceSetup setup_;
    timing::PassingHandler passingHandler_;
    PassingTableModel* gridModel_ = nullptr;
    std::unique_ptr<DebugBoxes> debugBoxes_;
    std::unique_ptr<link::ReceivePath> receive_;
    SerialLink* serial_ = nullptr;
    TcpLink* tcp_ = nullptr;
    WorkbookSaver* saver_ = nullptr;
    bool everConnected_ = false;

    int handlerDepth_ = 0;
    std::vector<Handler> heldBack_;
    bool closeRefused_ = false;
};

}  // namespace tivaro::app
