#pragma once
// Shared pieces of the window tests: a window with its outside things pointed at a scratch
// directory and recorders, real peers for the links (a loopback decoder and a
// pseudo-terminal), decoder bytes, and a spreadsheet stand-in for the set-up tests.

#include <QByteArray>
#include <QComboBox>
#include <QRadioButton>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_window.h"
#include "tests/support/fake_workbook.h"
#include "workbook/workbook.h"

namespace tivaro::app::testing {

// Finds the window's control called `name`; fails the test when there is none.
template <class Widget>
Widget* Control(QWidget& window, const char* name) {
    auto* found = window.findChild<Widget*>(QString::fromLatin1(name));
    if (found == nullptr) {
        qFatal("no control named %s", name);
    }
    return found;
}

// Clicks an option button on its round indicator, where a click always selects it.
void Select(QRadioButton* option);

// Chooses `entry` in a list box as a person would; fails the test when it is not there.
void Choose(QComboBox* box, const QString& entry);

class DecoderServer;
// Chooses TCP/IP to the loopback decoder and connects; whether the window says it is connected.
bool ConnectOverTcp(QWidget& window, DecoderServer& decoder);

// Chooses the serial link and, in its port list, the entry at `index`, as a person would.
void ChooseSerialPort(QWidget& window, int index = 0);

// A main window whose data directory is a scratch directory, whose file dialog answers with
// `nextWorkbook` and whose messages are collected. Options may be changed before create().
class WindowHarness {
public:
    WindowHarness();
    ~WindowHarness();

    WindowOptions options;
    std::optional<std::filesystem::path> nextWorkbook;  // nothing: the dialog is cancelled
    QStringList messages;
    QStringList filtersAsked;
    QStringList foldersAsked;
    int dialogsShown = 0;
    QStringList questions;  // asked by the window
    bool answerYes = true;  // the answer to each question
    int answered = 0;

    MainWindow& create();
    // Creates and shows the window and opens `workbook` (a copy of the demo when empty) with
    // the open button; whether it opened.
    bool startRace(std::filesystem::path workbook = {});
    // Closes the window as a person would, answering the question a running race asks;
    // whether it closed.
    bool close();
    // The window gone without closing (as in a crash) and started again on the same settings.
    MainWindow& restart();
    MainWindow& window() { return *window_; }
    bool hasWindow() const { return window_ != nullptr; }
    // Shows the window and waits until it is on screen.
    void show();

    std::filesystem::path dataDir() const;
    std::filesystem::path scratch() const;
    // Copies the demo workbook into the scratch directory.
    std::filesystem::path copyDemoWorkbook(const std::string& name = "demo-race.xlsx");

private:
    QTemporaryDir dir_;
    std::unique_ptr<QObject> answers_ = std::make_unique<QObject>();  // questions not answered yet
    std::unique_ptr<MainWindow> window_;
};

// Plays the decoder on a loopback port: accepts the window's connection and sends bytes.
class DecoderServer {
public:
    DecoderServer();
    quint16 port() const { return port_; }
    bool listen();  // on the same port as before, after close()
    void close();   // stops listening and drops the client
    int connectionsAccepted() const { return accepted_; }
    // Waits for the next client; false after the timeout.
    bool waitForClient(int milliseconds = 5000);
    void send(const QByteArray& bytes);
    QTcpServer& server() { return server_; }

private:
    QTcpServer server_;
    QTcpSocket* client_ = nullptr;
    quint16 port_ = 0;
    int accepted_ = 0;
};

// A pseudo-terminal: the window opens the device end as its serial port, the test writes to
// the other end as the decoder would.
class PseudoTerminal {
public:
    PseudoTerminal();
    ~PseudoTerminal();
    QString devicePath() const { return devicePath_; }
    bool write(const QByteArray& bytes);
    // Closes the decoder's end: the device end reports that it is gone.
    void hangUp();

private:
    int decoderEnd_ = -1;
    int deviceEnd_ = -1;
    QString devicePath_;
};

// An escaped passing record as a current-generation decoder sends it.
QByteArray WirePassing(std::uint32_t transponder, std::uint64_t micros, std::string text = {});
// The same whose CRC took a hit on the line.
QByteArray WireHit(std::uint32_t transponder, std::uint64_t micros);
QByteArray WireStatus();
// The `k`-th passing of a run of `runners` runners of the demo's running sheet, each a lap a
// minute, three seconds apart: runner k % runners, on lap k / runners.
QByteArray RunnersPassing(int k, int runners);
// Microseconds of a time of day.
std::uint64_t Micros(int hours, int minutes, int seconds, int hundredths = 0);

// The demo workbook's transponder code of competitor `i` (0..19) on sheet `sheet` (0..2).
std::string DemoTransponder(int sheet, int i);
std::uint32_t DemoNumber(int sheet, int i);

// The whole content of a file; empty when it does not exist.
QByteArray ReadBytes(const std::filesystem::path& file);
// The lines of a text file without their CR LF; empty when it does not exist.
QStringList ReadLines(const std::filesystem::path& file);

// Opens the workbook file as it is on disk and reads one cell as text.
std::string CellOnDisk(const std::filesystem::path& file, const std::string& sheet, int row,
                       int column);

// A spreadsheet stand-in: the shared fake workbook with the given sheets, an open that fails on
// demand, a record of what was opened and of the cursor while it opened, and the workbook
// opened last (its saves and failures at hand).
struct FakeSpreadsheet {
    std::vector<std::string> sheets = {"schaats", "loop", "fiets"};
    std::vector<std::string> known;  // transponders of rows 3, 4, ... on every sheet
    int activeSheet = 0;
    bool failOpen = false;
    std::vector<std::filesystem::path> opened;
    std::optional<Qt::CursorShape> cursorWhileOpening;
    tivaro::testing::FakeWorkbook* book = nullptr;

    timing::AppStarter starter();
};

}  // namespace tivaro::app::testing
