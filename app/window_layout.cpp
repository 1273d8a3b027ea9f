#include "app/window_layout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QStringList>
#include <QStyle>
#include <QTableView>
#include <vector>

namespace tivaro::app {

namespace {

// The window's own font where it is installed, else one of about its width. Weight and style
// are set explicitly so that a control never takes them over from its frame's caption font.
QFont BodyFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                      QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                      QStringLiteral("DejaVu Sans Condensed")});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSize(8);
    font.setWeight(QFont::Normal);
    font.setItalic(false);
    return font;
}

QFont CaptionFont() {
    QFont font = BodyFont();
    font.setBold(true);
    return font;
}

// Every control gets the body font itself, so a frame's bold caption font stays its own.
template <class Widget>
Widget* Place(Widget* widget, const char* name, int x, int y, int width, int height) {
    widget->setObjectName(QString::fromLatin1(name));
    widget->setFont(BodyFont());
    widget->setGeometry(x, y, width, height);
    return widget;
}

QGroupBox* Frame(QWidget* client, const char* name, const char* caption, int left, int top,
                 int width, int height) {
    auto* frame = new QGroupBox(QString::fromLatin1(caption), client);
    frame->setObjectName(QString::fromLatin1(name));
    frame->setFont(CaptionFont());
    frame->setGeometry(Twips(left), Twips(top), Twips(width), Twips(height));
    return frame;
}

QRadioButton* Option(QWidget* parent, const char* name, const char* caption, int x, int y,
                     int width) {
    return Place(new QRadioButton(QString::fromLatin1(caption), parent), name, x, y, width, 20);
}

// A drop-down list with an edit field, holding `entries`.
QComboBox* ListBox(QWidget* parent, const char* name, const QStringList& entries, int x, int y,
                   int width) {
    auto* box = Place(new QComboBox(parent), name, x, y, width, 22);
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    // What is typed stays as typed: a passing reads the sport box's text.
    box->setCompleter(nullptr);
    box->addItems(entries);
    box->setCurrentIndex(-1);
    box->setEditText(QString());
    return box;
}

// A multi-line prompt box on the window's own background.
QPlainTextEdit* PromptBox(QWidget* parent, const char* name, const std::string& text, int x, int y,
                          int width, int height) {
    auto* box = Place(new QPlainTextEdit(parent), name, x, y, width, height);
    box->setFrameShape(QFrame::NoFrame);
    box->setReadOnly(true);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->viewport()->setAutoFillBackground(false);
    box->setBackgroundRole(QPalette::Window);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    box->setPalette(palette);
    box->setPlainText(PromptText(text));
    return box;
}

QPlainTextEdit* DumpBox(QWidget* parent, const char* name, int x, int y, int width, int height) {
    auto* box = Place(new QPlainTextEdit(parent), name, x, y, width, height);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

void BuildDecoderFrame(QWidget* client, WindowControls& c) {
    c.decoderFrame = Frame(client, "Frame4", "Decoder Instelling", 120, 240, 6855, 735);
    c.binaryDecoderOption =
        Option(c.decoderFrame, "Option3", "ChipX, TranX, TranXPro, AMBMX, AMBrc", 12, 20, 244);
    c.olderDecoderOption =
        Option(c.decoderFrame, "Option4", "Oudere types AMB decoders", 264, 20, 185);
}

void BuildLinkFrame(QWidget* client, WindowControls& c) {
    c.linkFrame = Frame(client, "Frame3", "Data Input", 120, 1080, 2415, 2895);
    c.linkStatus = Place(
        new QLabel(QStringLiteral("Kies voor communicatietype richting AMB-decoder"), c.linkFrame),
        "Label2", 8, 16, 145, 42);
    c.linkStatus->setWordWrap(true);
    c.linkStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.serialOption = Option(c.linkFrame, "Option1", "Serial (COM 1)", 8, 60, 145);
    c.portBox =
        ListBox(c.linkFrame, "Combo3", {"COM 1", "COM 2", "COM 3", "COM 4", "COM 5"}, 24, 82, 129);
    c.portBox->setEditText(QStringLiteral("Com Port"));
    c.tcpOption = Option(c.linkFrame, "Option2", "TCP/IP", 8, 106, 145);
    c.addressLabel = Place(new QLabel(QStringLiteral("IP-adres van de decoder"), c.linkFrame),
                           "Label3", 8, 128, 145, 16);
    c.addressBox = Place(new QLineEdit(c.linkFrame), "Text4", 8, 144, 145, 21);
    c.connectButton =
        Place(new QPushButton(QStringLiteral("Connect"), c.linkFrame), "Command3", 8, 167, 80, 23);
}

void BuildRaceFrame(QWidget* client, WindowControls& c) {
    c.raceFrame = Frame(client, "Frame1", "Wedstrijd informatie", 120, 4320, 2415, 5175);
    const int left = Twips(120);
    const int top = Twips(4320);
    c.openLabel = Place(new QLabel(QStringLiteral("Kies hier de Dovo excel file"), c.raceFrame),
                        "Label1", 8, 18, 145, 16);
    c.sportPrompt = PromptBox(c.raceFrame, "Text2", "Kies hier Schaatsen, Lopen \r\nof Fietsen\r\n",
                              8, 68, 145, 34);
    c.lapPrompt = PromptBox(c.raceFrame, "Text3", "Kies hier voor schaatsen \r\nde heat\r\n", 8,
                            134, 145, 34);
    // The lap slider and the heat box share one place; at most one of them is shown.
    c.lapSlider = Place(new QSlider(Qt::Horizontal, c.raceFrame), "Slider1", 8, 172, 145, 28);
    c.lapSlider->setRange(1, 5);
    c.lapSlider->setValue(1);
    c.lapSlider->setPageStep(1);
    c.lapSlider->setTickPosition(QSlider::TicksBelow);
    c.lapSlider->setTickInterval(1);
    c.heatBox = ListBox(c.raceFrame, "Combo2", {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"},
                        8, 174, 145);
    c.warmupOption = Option(c.raceFrame, "fase_opwarmen", "Opwarmen", 8, 222, 145);
    c.startPulseOption =
        Option(c.raceFrame, "fase_startschot", "1 Startpuls voor iedereen", 8, 250, 145);
    c.recordOption = Option(c.raceFrame, "fase_opnemen", "Tijd Opnemen (evt Start)", 8, 278, 145);

    // The open button and the sport box belong to the window, inside the frame's area.
    c.openButton = Place(new QPushButton(QStringLiteral("Open Dovo Excel Worbook"), client),
                         "Command1", left + 8, top + 36, 145, 25);
    c.sportBox =
        ListBox(client, "Combo1", {"Schaatsen", "Lopen", "Fietsen"}, left + 8, top + 106, 145);
}

void BuildPassingFrame(QWidget* client, WindowControls& c) {
    c.passingFrame = Frame(client, "Frame2", "Tijd/Koppel log", 2760, 1080, 4335, 9135);
    c.passingGrid = Place(new QTableView(c.passingFrame), "MSFlexGrid1", 8, 18,
                          c.passingFrame->width() - 16, c.passingFrame->height() - 26);
    c.passingGrid->setSelectionMode(QAbstractItemView::NoSelection);
    c.passingGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.passingGrid->setWordWrap(false);
    c.passingGrid->verticalHeader()->hide();
    // Fixed row heights keep the view fast however many passings it holds.
    c.passingGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    c.passingGrid->verticalHeader()->setDefaultSectionSize(c.passingGrid->fontMetrics().height() +
                                                           4);
    c.passingGrid->horizontalHeader()->setHighlightSections(false);
    // Beyond the frame's right edge, as it always was: it takes the serial line but is never
    // seen.
    c.serialLineBox = Place(new QLineEdit(QStringLiteral("Text1"), c.passingFrame), "Text1",
                            c.passingFrame->width() + 8, 18, 97, 21);
}

void BuildDebugControls(QWidget* client, WindowControls& c) {
    c.rawDumpBox = DumpBox(client, "Text5", Twips(7320), Twips(1080), 192, 297);
    c.unescapedDumpBox = DumpBox(client, "Text6", Twips(7320), Twips(1080) + 305, 192, 297);
    c.debugFrame = Frame(client, "Frame5", "Debug Options", 10320, 1080, 2415, 1095);
    c.rawDumpCheck =
        Place(new QCheckBox(QStringLiteral("Debug raw"), c.debugFrame), "Check1", 8, 20, 145, 20);
    c.unescapedDumpCheck = Place(new QCheckBox(QStringLiteral("Debug Unescaped"), c.debugFrame),
                                 "Check2", 8, 44, 145, 20);
}

}  // namespace

QString PromptText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

WindowControls BuildWindowControls(QWidget* client) {
    client->setFont(BodyFont());
    WindowControls c;
    BuildDecoderFrame(client, c);
    BuildLinkFrame(client, c);
    BuildRaceFrame(client, c);
    BuildPassingFrame(client, c);
    BuildDebugControls(client, c);
    c.banner = Place(new QLabel(QStringLiteral("Zomra-Tivaro  2008  Ver 1.3 (ActX)"), client),
                     "Label5", Twips(240), Twips(10320), Twips(6495), Twips(255));
    c.banner->setAlignment(Qt::AlignCenter);
    return c;
}

void SizeGridColumns(QTableView* grid) {
    const QStringList headings = QString::fromLatin1(kGridFormat).split('|');
    const QFontMetrics metrics(grid->horizontalHeader()->font());
    std::vector<int> widths;
    int total = 0;
    for (QString heading : headings) {
        heading.remove('<');
        widths.push_back(metrics.horizontalAdvance(heading) + 8);
        total += widths.back();
    }
    // Where the font is wider than the one the headings were spaced for, the columns keep
    // their proportions and fit beside the vertical scroll bar.
    const int room = grid->width() - 2 * grid->frameWidth() -
                     grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent);
    for (std::size_t column = 0; column < widths.size(); ++column) {
        const int width = total > room ? widths[column] * room / total : widths[column];
        grid->setColumnWidth(static_cast<int>(column), width);
    }
}

}  // namespace tivaro::app
