#pragma once
// The controls of the main window, laid out at fixed positions as the race-timing window has
// always had them (15 twips to a pixel), each named after its control so tests and people
// can find it. Building sets texts, list entries and fonts only; which controls are shown
// and usable at start is set by the window's start-up.

#include <QString>
#include <string>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSlider;
class QTableView;
class QWidget;

namespace tivaro::app {

inline constexpr int kTwipsPerPixel = 15;
constexpr int Twips(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}

// The client area the window first shows; the debug controls lie to the right of it.
inline constexpr int kClientWidth = Twips(7245);
inline constexpr int kClientHeight = Twips(10680);
// Wide enough to bring every debug control into view.
inline constexpr int kDebugClientWidth = 856;

inline constexpr const char* kWindowTitle = "Tivaro Tijdwaarneming-2008-1.3";

// The grid's column headings as its format string spells them: the spaces set the widths.
inline constexpr const char* kGridFormat =
    "<Transponder       |<  Rugnr. |           Tijd              |               Type";

// The controls, named by what they are for; each carries its window name as its Qt object
// name (in the comments), which the tests and the layout look it up by.
struct WindowControls {
    QGroupBox* raceFrame = nullptr;     // Frame1 "Wedstrijd informatie"
    QGroupBox* passingFrame = nullptr;  // Frame2 "Tijd/Koppel log"
    QGroupBox* linkFrame = nullptr;     // Frame3 "Data Input"
    QGroupBox* decoderFrame = nullptr;  // Frame4 "Decoder Instelling"
    QGroupBox* debugFrame = nullptr;    // Frame5 "Debug Options"

    // Decoder generation.
    QRadioButton* binaryDecoderOption = nullptr;  // Option3
    QRadioButton* olderDecoderOption = nullptr;   // Option4

    // Decoder link.
    QLabel* linkStatus = nullptr;          // Label2: the instruction, then the connection status
    QRadioButton* serialOption = nullptr;  // Option1
    QComboBox* portBox = nullptr;          // Combo3
    QRadioButton* tcpOption = nullptr;     // Option2
    QLabel* addressLabel = nullptr;        // Label3
    QLineEdit* addressBox = nullptr;       // Text4: the decoder's address
    QPushButton* connectButton = nullptr;  // Command3

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

    // Passings.
    QTableView* passingGrid = nullptr;   // MSFlexGrid1
    QLineEdit* serialLineBox = nullptr;  // Text1: the last serial text line; never in view

    // Debug.
    QCheckBox* rawDumpCheck = nullptr;           // Check1 "Debug raw"
    QCheckBox* unescapedDumpCheck = nullptr;     // Check2 "Debug Unescaped"
    QPlainTextEdit* rawDumpBox = nullptr;        // Text5
    QPlainTextEdit* unescapedDumpBox = nullptr;  // Text6

    QLabel* banner = nullptr;  // Label5
};

// Creates every control on `client` at its place.
WindowControls BuildWindowControls(QWidget* client);

// Sets the grid's column widths from the headings of the format string in its font (once the
// grid has its model).
void SizeGridColumns(QTableView* grid);

// A prompt text as a text box shows it: CR LF becomes a line break.
QString PromptText(const std::string& text);

}  // namespace tivaro::app
