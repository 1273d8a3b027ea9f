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

struct Form1Controls {
    QGroupBox* Frame1 = nullptr;  // "Wedstrijd informatie"
    QGroupBox* Frame2 = nullptr;  // "Tijd/Koppel log"
    QGroupBox* Frame3 = nullptr;  // "Data Input"
    QGroupBox* Frame4 = nullptr;  // "Decoder Instelling"
    QGroupBox* Frame5 = nullptr;  // "Debug Options"

    // Decoder generation.
    QRadioButton* Option3 = nullptr;
    QRadioButton* Option4 = nullptr;

    // Decoder link.
    QLabel* Label2 = nullptr;  // instruction, then the connection status
    QRadioButton* Option1 = nullptr;
    QComboBox* Combo3 = nullptr;
    QRadioButton* Option2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* Text4 = nullptr;  // decoder address
    QPushButton* Command3 = nullptr;

    // Race set-up.
    QLabel* Label1 = nullptr;
    QPushButton* Command1 = nullptr;  // open the race workbook
    QPlainTextEdit* Text2 = nullptr;  // sport prompt
    QComboBox* Combo1 = nullptr;      // sport
    QPlainTextEdit* Text3 = nullptr;  // heat or lap prompt
    QSlider* Slider1 = nullptr;       // lap count
    QComboBox* Combo2 = nullptr;      // heat
    QRadioButton* fase_opwarmen = nullptr;
    QRadioButton* fase_startschot = nullptr;
    QRadioButton* fase_opnemen = nullptr;

    // Passings.
    QTableView* MSFlexGrid1 = nullptr;
    QLineEdit* Text1 = nullptr;  // last serial text line; beyond its frame's right edge

    // Debug.
    QCheckBox* Check1 = nullptr;  // "Debug raw"
    QCheckBox* Check2 = nullptr;  // "Debug Unescaped"
    QPlainTextEdit* Text5 = nullptr;
    QPlainTextEdit* Text6 = nullptr;

    QLabel* Label5 = nullptr;  // banner
};

// Creates every control on `client` at its place.
Form1Controls BuildForm1(QWidget* client);

// Sets the grid's column widths from the headings of the format string in its font (once the
// grid has its model).
void SizeGridColumns(QTableView* grid);

// A prompt text as a text box shows it: CR LF becomes a line break.
QString PromptText(const std::string& text);

}  // namespace tivaro::app
