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

void BuildDecoderFrame(QWidget* client, Form1Controls& c) {
    c.Frame4 = Frame(client, "Frame4", "Decoder Instelling", 120, 240, 6855, 735);
    c.Option3 = Option(c.Frame4, "Option3", "ChipX, TranX, TranXPro, AMBMX, AMBrc", 12, 20, 244);
    c.Option4 = Option(c.Frame4, "Option4", "Oudere types AMB decoders", 264, 20, 185);
}

void BuildLinkFrame(QWidget* client, Form1Controls& c) {
    c.Frame3 = Frame(client, "Frame3", "Data Input", 120, 1080, 2415, 2895);
    c.Label2 = Place(
        new QLabel(QStringLiteral("Kies voor communicatietype richting AMB-decoder"), c.Frame3),
        "Label2", 8, 16, 145, 42);
    c.Label2->setWordWrap(true);
    c.Label2->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.Option1 = Option(c.Frame3, "Option1", "Serial (COM 1)", 8, 60, 145);
    c.Combo3 =
        ListBox(c.Frame3, "Combo3", {"COM 1", "COM 2", "COM 3", "COM 4", "COM 5"}, 24, 82, 129);
    c.Combo3->setEditText(QStringLiteral("Com Port"));
    c.Option2 = Option(c.Frame3, "Option2", "TCP/IP", 8, 106, 145);
    c.Label3 = Place(new QLabel(QStringLiteral("IP-adres van de decoder"), c.Frame3), "Label3", 8,
                     128, 145, 16);
    c.Text4 = Place(new QLineEdit(c.Frame3), "Text4", 8, 144, 145, 21);
    c.Command3 =
        Place(new QPushButton(QStringLiteral("Connect"), c.Frame3), "Command3", 8, 167, 80, 23);
}

void BuildRaceFrame(QWidget* client, Form1Controls& c) {
    c.Frame1 = Frame(client, "Frame1", "Wedstrijd informatie", 120, 4320, 2415, 5175);
    const int left = Twips(120);
    const int top = Twips(4320);
    c.Label1 = Place(new QLabel(QStringLiteral("Kies hier de Dovo excel file"), c.Frame1), "Label1",
                     8, 18, 145, 16);
    c.Text2 = PromptBox(c.Frame1, "Text2", "Kies hier Schaatsen, Lopen \r\nof Fietsen\r\n", 8, 68,
                        145, 34);
    c.Text3 =
        PromptBox(c.Frame1, "Text3", "Kies hier voor schaatsen \r\nde heat\r\n", 8, 134, 145, 34);
    // The lap slider and the heat box share one place; at most one of them is shown.
    c.Slider1 = Place(new QSlider(Qt::Horizontal, c.Frame1), "Slider1", 8, 172, 145, 28);
    c.Slider1->setRange(1, 5);
    c.Slider1->setValue(1);
    c.Slider1->setPageStep(1);
    c.Slider1->setTickPosition(QSlider::TicksBelow);
    c.Slider1->setTickInterval(1);
    c.Combo2 = ListBox(c.Frame1, "Combo2", {"Heat 1", "Heat 2", "Heat 3", "Heat 4", "Heat 5"}, 8,
                       174, 145);
    c.fase_opwarmen = Option(c.Frame1, "fase_opwarmen", "Opwarmen", 8, 222, 145);
    c.fase_startschot =
        Option(c.Frame1, "fase_startschot", "1 Startpuls voor iedereen", 8, 250, 145);
    c.fase_opnemen = Option(c.Frame1, "fase_opnemen", "Tijd Opnemen (evt Start)", 8, 278, 145);

    // The open button and the sport box belong to the window, inside the frame's area.
    c.Command1 = Place(new QPushButton(QStringLiteral("Open Dovo Excel Worbook"), client),
                       "Command1", left + 8, top + 36, 145, 25);
    c.Combo1 =
        ListBox(client, "Combo1", {"Schaatsen", "Lopen", "Fietsen"}, left + 8, top + 106, 145);
}

void BuildPassingFrame(QWidget* client, Form1Controls& c) {
    c.Frame2 = Frame(client, "Frame2", "Tijd/Koppel log", 2760, 1080, 4335, 9135);
    c.MSFlexGrid1 = Place(new QTableView(c.Frame2), "MSFlexGrid1", 8, 18, c.Frame2->width() - 16,
                          c.Frame2->height() - 26);
    c.MSFlexGrid1->setSelectionMode(QAbstractItemView::NoSelection);
    c.MSFlexGrid1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.MSFlexGrid1->setWordWrap(false);
    c.MSFlexGrid1->verticalHeader()->hide();
    // Fixed row heights keep the view fast however many passings it holds.
    c.MSFlexGrid1->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    c.MSFlexGrid1->verticalHeader()->setDefaultSectionSize(c.MSFlexGrid1->fontMetrics().height() +
                                                           4);
    c.MSFlexGrid1->horizontalHeader()->setHighlightSections(false);
    // Beyond the frame's right edge, as it always was: it takes the serial line but is never
    // seen.
    c.Text1 = Place(new QLineEdit(QStringLiteral("Text1"), c.Frame2), "Text1",
                    c.Frame2->width() + 8, 18, 97, 21);
}

void BuildDebugControls(QWidget* client, Form1Controls& c) {
    c.Text5 = DumpBox(client, "Text5", Twips(7320), Twips(1080), 192, 297);
    c.Text6 = DumpBox(client, "Text6", Twips(7320), Twips(1080) + 305, 192, 297);
    c.Frame5 = Frame(client, "Frame5", "Debug Options", 10320, 1080, 2415, 1095);
    c.Check1 =
        Place(new QCheckBox(QStringLiteral("Debug raw"), c.Frame5), "Check1", 8, 20, 145, 20);
    c.Check2 =
        Place(new QCheckBox(QStringLiteral("Debug Unescaped"), c.Frame5), "Check2", 8, 44, 145, 20);
}

}  // namespace

QString PromptText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

Form1Controls BuildForm1(QWidget* client) {
    client->setFont(BodyFont());
    Form1Controls c;
    BuildDecoderFrame(client, c);
    BuildLinkFrame(client, c);
    BuildRaceFrame(client, c);
    BuildPassingFrame(client, c);
    BuildDebugControls(client, c);
    c.Label5 = Place(new QLabel(QStringLiteral("Zomra-Tivaro  2008  Ver 1.3 (ActX)"), client),
                     "Label5", Twips(240), Twips(10320), Twips(6495), Twips(255));
    c.Label5->setAlignment(Qt::AlignCenter);
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
