#pragma once
// The main window: every control of the race-timing window, wired to the race controller. The
// window builds its widgets and wires them to the core and to the parts that work a group of
// them: the decoder links (DecoderLinks), the corrections row (CorrectionsRow) and the opening
// of workbooks (WorkbookOpener). No dialog blocks the window, so every handler runs to its end
// before the next event is handled.
//
// Everything that goes wrong (a port, a connection, a log or the workbook) is said in the
// messages under the grid and in the status line, with the time and the reason; a failure that
// endangers the results stands out until it is resolved. The window keeps working.

#include <QMainWindow>
#include <QString>
#include <array>
#include <chrono>
#include <cstdint>
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

class QAction;
class QTimer;
class QRadioButton;

namespace tivaro::app {

class CorrectionsRow;
class DebugBoxes;
class DecoderLinks;
class LivePanel;
class MessageArea;
class PassingTableModel;
class RaceView;
class SessionJournal;
class StatusLine;
class WorkbookOpener;
class WorkbookSaver;

// Asks for a file to save into, starting at `suggested`; nothing when cancelled.
using SaveTargetChooser =
    std::function<std::optional<std::filesystem::path>(QWidget* parent, const QString& suggested)>;

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
    SaveTargetChooser chooseSaveTarget;
    // Asks where to save the results (a .pdf or .csv name). Empty: the dialog.
    SaveTargetChooser chooseResultsFile;
    // Shows a message that needs the user's attention, without waiting for an answer.
    // Empty: a message box that does not block the window.
    std::function<void(const QString& text)> showMessage;
    // Starts a spreadsheet application for each workbook opened, and how the title names it.
    // Empty: LibreOffice Calc when it is installed and not declined in the settings, else the
    // embedded engine with its backups in the data directory.
    timing::AppStarter startSpreadsheet;
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

// `given` when not empty, else $TIVARO_DATA_DIR when set, else the user's data directory.
std::filesystem::path ResolveDataDirectory(const std::filesystem::path& given);

class MainWindow final : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WindowOptions options = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    const timing::RaceController& controller() const { return *controller_; }
    StatusLine& statusLine() { return *status_; }
    const LivePanel& livePanel() const { return *live_; }
    MessageArea& messageArea() { return *messages_; }
    const std::filesystem::path& dataDirectory() const { return dataDirectory_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    timing::ControllerEvents controllerEvents();
    void buildMenu();
    void connectSetupControls();
    void startUp();
    bool preferEmbedded() const;

    // A workbook was opened (or not) with `engine`: the race takes it.
    void workbookOpened(Result<timing::OpenedWorkbook> opened, const std::filesystem::path& file,
                        const EngineChoice& engine);
    void offerFillIn(std::size_t count);
    // The sheet and phase in force, said when another workbook is opened.
    QString setupInForce() const;
    void saveWorkbookAs();
    // Asks through `given`, or the dialog when it is empty, and calls `chosen` with the file.
    void askForFileToSave(const SaveTargetChooser& given, const QString& title,
                          const QString& suggested, const QString& filter,
                          std::function<void(const std::filesystem::path&)> chosen);
    // The results of the race in force, to a file or a printer.
    void saveResults();
    void writeResultsTo(const std::filesystem::path& file);
    void printResults();
    void saveWorkbookTo(const std::filesystem::path& target);
    void onSaverFailing(bool failing, const QString& message);

    // A log or the journal could not be written (`problem`) or is written again (empty).
    void logTrouble(const QString& problem);
    void retryLogs();

    // The session (window_session.cpp): the set-up kept from the last run, a race to resume,
    // and closing.
    void restoreSetup();
    void offerResume(const std::filesystem::path& journal);
    void resume(const std::filesystem::path& journal);
    // Whether a race runs: a link is connected, or a decoder passing came in the last ten
    // minutes.
    bool raceRunning() const;

    // Records or lines set aside for a failed checksum: one standing notice with the counts.
    void noteSetAside(link::LinkKind link, std::uint64_t count);
    void showSetAside();

    // Brings the race set-up widgets in line with the controls model.
    void applyRaceControls();
    void setOptionChecked(QRadioButton* option, bool checked);
    void updateTitle();
    void reloadRaceView();
    void report(const QString& message);
    void showMessage(const QString& text);
    void ask(const QString& question, const QString& yes, std::function<void(bool)> answer);

    WindowOptions options_;
    std::filesystem::path dataDirectory_;
    WindowControls ui_;
    StatusLine* status_ = nullptr;
    MessageArea* messages_ = nullptr;
    QAction* useEmbedded_ = nullptr;
    std::unique_ptr<DebugBoxes> debugBoxes_;
    std::unique_ptr<timing::RaceController> controller_;
    PassingTableModel* gridModel_ = nullptr;
    RaceView* raceView_ = nullptr;
    DecoderLinks* links_ = nullptr;
    CorrectionsRow* corrections_ = nullptr;
    WorkbookOpener* opener_ = nullptr;
    WorkbookSaver* saver_ = nullptr;
    LivePanel* live_ = nullptr;
    QString engineInForce_;  // how the title names the engine of the workbook in force

    SessionJournal* session_ = nullptr;
    QTimer* logRetry_ = nullptr;      // while a log waits for room: tries it again
    QTimer* workbookNews_ = nullptr;  // asks the workbook's worker what it has to tell
    bool resuming_ = false;           // the workbook being opened is that of a resumed race
    bool closeConfirmed_ = false;
    std::optional<std::chrono::steady_clock::time_point> lastPassing_;  // from the decoder
    std::array<std::uint64_t, 2> setAside_{};                           // by link: serial, TCP
    bool setAsideShown_ = true;  // the notice shows the counts in force
    bool closeRefused_ = false;
};

}  // namespace tivaro::app
