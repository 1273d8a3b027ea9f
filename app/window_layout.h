#pragma once
// The controls of the main window in their arrangement: the decoder generation across the top;
// on the left the decoder link over the race set-up; on the right the passing grid beside the
// view of the race, and the messages under them; the banner at the foot. Every control is
// named after its window name so tests and people can find it. The window can be resized: the
// grid, the race view and the messages take the room, the left column keeps its width and
// scrolls when the window is too low for it. The debug controls sit in a panel that is shown
// on request.
//
// Building sets texts, list entries and fonts only; which controls are shown and usable at
// start is set by the window's start-up.

#include <QString>
#include <string>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QSplitter;
class QTableView;
class QVBoxLayout;
class QWidget;

namespace tivaro::app {

class PortBox;

inline constexpr const char* kWindowTitle = "Tivaro Tijdwaarneming-2008-1.3";

// The grid's column headings as its format string spells them: the spaces set the widths.
inline constexpr const char* kGridFormat =
    "<Transponder       |<  Rugnr. |           Tijd              |               Type";

// The controls, named by what they are for; each carries its window name as its Qt object
// name (in the comments), which the tests and the layout look it up by.
struct WindowControls {
    QGroupBox* raceFrame = nullptr;      // Frame1 "Wedstrijd informatie"
    QGroupBox* passingFrame = nullptr;   // Frame2 "Tijd/Koppel log"
    QGroupBox* linkFrame = nullptr;      // Frame3 "Data Input"
    QGroupBox* decoderFrame = nullptr;   // Frame4 "Decoder Instelling"
    QGroupBox* debugFrame = nullptr;     // Frame5 "Debug Options"
    QGroupBox* raceViewFrame = nullptr;  // RaceViewFrame "Wedstrijdoverzicht"
    QGroupBox* messageFrame = nullptr;   // MessageFrame "Berichten"

    // Decoder generation.
    QRadioButton* binaryDecoderOption = nullptr;  // Option3
    QRadioButton* olderDecoderOption = nullptr;   // Option4

    // Decoder link.
    QLabel* linkStatus = nullptr;             // Label2: the instruction, then the connection status
    QRadioButton* serialOption = nullptr;     // Option1
    PortBox* portBox = nullptr;               // Combo3: the serial ports present, or a typed path
    QRadioButton* tcpOption = nullptr;        // Option2
    QLabel* addressLabel = nullptr;           // Label3
    QLineEdit* addressBox = nullptr;          // Text4: the decoder's address
    QPushButton* connectButton = nullptr;     // Command3
    QPushButton* disconnectButton = nullptr;  // DisconnectButton: ends the link in use

    // Race set-up.
    QLabel* openLabel = nullptr;               // Label1
    QPushButton* openButton = nullptr;         // Command1: open the race workbook
    QPlainTextEdit* sportPrompt = nullptr;     // Text2
    QComboBox* sportBox = nullptr;             // Combo1
    QPlainTextEdit* lapPrompt = nullptr;       // Text3: the heat or lap prompt
    QSlider* lapSlider = nullptr;              // Slider1: the lap count
    QComboBox* heatBox = nullptr;              // Combo2
    QRadioButton* warmupOption = nullptr;      // fase_opwarmen
    QRadioButton* startPulseOption = nullptr;  // fase_startschot
    QRadioButton* recordOption = nullptr;      // fase_opnemen
    QDoubleSpinBox* minimumLapBox = nullptr;   // MinLapBox: the minimum lap time in seconds

    // Corrections: a passing entered by hand, a passing taken back.
    QGroupBox* correctionFrame = nullptr;      // CorrectionFrame "Correcties"
    QLineEdit* handBibBox = nullptr;           // HandBib: the bib of a passing entered by hand
    QLineEdit* handTimeBox = nullptr;          // HandTime: its time of day; empty: now
    QPushButton* handPassingButton = nullptr;  // HandPassingButton
    QPushButton* takeBackButton = nullptr;     // TakeBackButton: takes back the passing chosen

    // Passings, the race view and the messages.
    QTableView* passingGrid = nullptr;     // MSFlexGrid1
    QVBoxLayout* raceViewPlace = nullptr;  // where the race view goes
    QVBoxLayout* messagePlace = nullptr;   // where the message area goes
    QSplitter* splitter = nullptr;         // RightSplitter: grid and race view over messages

    // Debug, in a panel shown on request.
    QWidget* debugPanel = nullptr;               // DebugPanel
    QCheckBox* rawDumpCheck = nullptr;           // Check1 "Debug raw"
    QCheckBox* unescapedDumpCheck = nullptr;     // Check2 "Debug Unescaped"
    QPlainTextEdit* rawDumpBox = nullptr;        // Text5
    QPlainTextEdit* unescapedDumpBox = nullptr;  // Text6
    QLineEdit* serialLineBox = nullptr;          // Text1: the last serial text line

    QLabel* banner = nullptr;  // Label5
};

// Creates every control on `client` in its place.
WindowControls BuildWindowControls(QWidget* client);

// Sets the grid's column widths from the headings of the format string in its font (once the
// grid has its model).
void SizeGridColumns(QTableView* grid);

// A prompt text as a text box shows it: CR LF becomes a line break.
QString PromptText(const std::string& text);

}  // namespace tivaro::app
