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
// messages under the grid and in the status line, with the time and the reason; a failure that
// endangers the results stands out until it is resolved. The window keeps working.

#include <QMainWindow>
#include <QString>
#include <QTimer>
#include <array>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "app/engine_choice.h"
#include "app/serial_link.h"
#include "app/tcp_link.h"
#include "app/window_layout.h"
#include "common/result.h"
#include "timing/race_controller.h"
#include "timing/race_journal.h"
#include "timing/time_of_day.h"

class QAction;
class QThread;

namespace tivaro::app {

class DebugBoxes;
class DecoderLink;
class MessageArea;
class PassingTableModel;
class RaceView;
class StatusLine;
class WorkbookSaver;

// What the window takes from outside; every empty member means the ordinary choice.
struct WindowOptions {
    // Where the logs go. Empty: $TIVARO_DATA_DIR when set, else the user's data directory.
    std::filesystem::path dataDirectory;
    // Asks for the race workbook given the dialog's file filter and the folder to start in;
    // nothing when cancelled. Empty: the file-open dialog.
    std::function<std::optional<std::filesystem::path>(QWidget* parent, const QString& filter,
                                                       const QString& folder)>
        chooseWorkbook;
    // Asks where to save the workbook when it cannot be saved where it is. Empty: the dialog.
    std::function<std::optional<std::filesystem::path>(QWidget* parent, const QString& suggested)>
        chooseSaveTarget;
    // Shows a message that needs the user's attention, without waiting for an answer.
    // Empty: a message box that does not block the window.
    std::function<void(const QString& text)> showMessage;
    // Starts a spreadsheet application for each workbook opened, and how the title names it.
    // Empty: LibreOffice Calc when it is installed and not declined in the settings, else the
    // embedded engine with its backups in the data directory.
    timing::Race::AppStarter startSpreadsheet;
    QString engineName;
    // How Calc is started. Empty: visible, with the user's own profile.
    std::optional<CalcStart> calcStart;
    // Whether the embedded engine is preferred. Empty: the remembered setting.
    std::optional<bool> preferEmbedded;
    // Calc starts and loads on another thread, while the window goes on; off: in the open
    // button's handler (for a Calc that must live on the window's thread).
    bool openInBackground = true;
    // Asks a question (the passings a reopened workbook lacks to be put back, a copy of a
    // read-only workbook to be made) and gives the answer to `answer`, without blocking the
    // window. `yes` is the caption of the button that says yes. Empty: a message box.
    std::function<void(const QString& question, const QString& yes,
                       std::function<void(bool)> answer)>
        ask;
    // The serial ports offered in the port list. Empty: the ports present on this machine.
    std::function<std::vector<SerialPortEntry>()> serialPorts;
    quint16 decoderPort = kDecoderPort;
    std::chrono::milliseconds reconnectInterval = std::chrono::seconds(3);
    // How long a lost decoder link may stay away before it stands out as a failure.
    std::chrono::milliseconds lostLinkGrace = std::chrono::seconds(5);
    // The shortest time between two saves of the workbook while passings come in.
    std::chrono::milliseconds saveInterval = std::chrono::milliseconds(500);
};

// The open dialog's file filter, in the dialog's syntax: the race workbooks by name, the
// workbook formats the engine `kind` reads, and all files.
QString WorkbookFileFilter(EngineKind kind);

// `given` when not empty, else $TIVARO_DATA_DIR when set, else the user's data directory.
std::filesystem::path ResolveDataDirectory(const std::filesystem::path& given);

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    const timing::RaceController& controller() const { return *controller_; }
    StatusLine& statusLine() { return *status_; }
    MessageArea& messageArea() { return *messages_; }
    const std::filesystem::path& dataDirectory() const { return dataDirectory_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    using Handler = void (MainWindow::*)();
    class HandlerScope;

    void buildMenu();
    void connectSignals();
    void connectLinkSignals();
    // Runs `handler` now, or once the running handler has returned.
    void dispatch(Handler handler);
    void runHeldBack();

    // Start-up and race set-up.
    void startUp();
    void openWorkbook();
    void openFile(const std::filesystem::path& file);
    // A workbook that could not be saved where it is: offers to open a copy elsewhere.
    void offerCopyOfReadOnly(const std::filesystem::path& file, const QString& message);
    void ask(const QString& question, const QString& yes, std::function<void(bool)> answer);
    void chooseSport();
    void chooseHeat();
    void moveLapSlider();
    void chooseWarmup();
    void chooseStartPulse();
    void chooseRecording();
    void chooseBinaryDecoder();
    void chooseOlderDecoder();
    void saveWorkbookAs();
    // A workbook was opened (on this thread or another) with `engine`: the race takes it.
    void takeWorkbook(Result<timing::OpenedWorkbook> opened, const std::filesystem::path& file,
                      const EngineChoice& engine);
    void offerReapply();
    void keepCopyAsOpened(const std::filesystem::path& file);
    bool preferEmbedded() const;

    // Decoder links (decoder_links.cpp).
    void chooseSerialLink();
    void refreshPortList();
    void openChosenPort();
    void retrySerialPort();
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
    void onLinkAwayTooLong();
    void readDecoderBytes(DecoderLink& link);
    void startConnection(DecoderLink& link);

    // Corrections and the race journal (corrections.cpp).
    void enterHandPassing();
    void pickCompetitor();
    void takeBackChosen();
    void chooseMinimumLap();
    void updateTakeBackButton();
    // The time of day for a passing entered now: the decoder's clock as the latest decoder
    // passing showed it, else this computer's.
    std::string handTimeNow() const;
    void followDecoderClock(const timing::PassingResult& result);
    void startJournal(const std::filesystem::path& file);
    void recordInJournal(const std::string& line);

    void saveCheck();
    // Records or lines set aside for a failed checksum: one standing notice with the counts.
    void noteSetAside(link::LinkKind link, std::uint64_t count);
    void showSetAside();
    void onSaverFailing(bool failing, const QString& message);

    // Brings the race set-up widgets in line with the controls model.
    void applyRaceControls();
    void setOptionChecked(QRadioButton* option, bool checked);
    void updateTitle();
    void reloadRaceView();
    void report(const QString& message);
    void showMessage(const QString& text);
    QString decoderAddress() const;

    WindowOptions options_;
    std::filesystem::path dataDirectory_;
    WindowControls ui_;
    StatusLine* status_ = nullptr;
    MessageArea* messages_ = nullptr;
    QAction* showDebug_ = nullptr;
    std::unique_ptr<DebugBoxes> debugBoxes_;
    std::unique_ptr<timing::RaceController> controller_;
    PassingTableModel* gridModel_ = nullptr;
    RaceView* raceView_ = nullptr;
    SerialLink* serial_ = nullptr;
    TcpLink* tcp_ = nullptr;
    WorkbookSaver* saver_ = nullptr;
    QString serialDevice_;  // the port chosen; opened again when it comes back
    QTimer serialRetry_;
    QTimer linkAway_;  // a lost link stands out once it stays away this long
    bool everConnected_ = false;
    QString engineInForce_;  // how the title names the engine of the workbook in force
    bool opening_ = false;   // a workbook is being opened on another thread
    QThread* openingThread_ = nullptr;
    QAction* useEmbedded_ = nullptr;

    std::optional<timing::RaceJournal> journal_;
    bool journalFailing_ = false;
    // The decoder's clock minus this computer's, as the latest decoder passing showed it.
    std::optional<timing::Hundredths> decoderClockOffset_;
    QString pickedBib_;          // the competitor double-clicked in the race view
    QString lastTakenBack_;      // what the latest take-back took back, for its message
    bool chosenInGrid_ = false;  // the passing to take back was chosen in the grid

    std::array<std::uint64_t, 2> setAside_{};  // by link: serial, TCP
    bool setAsideShown_ = true;                // the notice shows the counts in force

    int handlerDepth_ = 0;
    std::vector<Handler> heldBack_;
    bool closeRefused_ = false;
};

}  // namespace tivaro::app
