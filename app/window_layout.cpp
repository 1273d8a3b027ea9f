#include "app/window_layout.h"

#include "app/port_box.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QSlider>
#include <QSplitter>
#include <QStringList>
#include <QStyle>
#include <QTableView>
#include <QVBoxLayout>
#include <vector>

namespace tivaro::app {

namespace {

// Every control gets the window's font itself, so a frame's bold caption font stays its own.
template <class Widget>
Widget* Named(Widget* widget, const char* name, QWidget* window) {
    widget->setObjectName(QString::fromLatin1(name));
    QFont font = window->font();
    font.setBold(false);  // set explicitly, so it is not taken over from a frame's caption
    widget->setFont(font);
    return widget;
}

QGroupBox* Frame(QWidget* parent, const char* name, const QString& caption) {
    auto* frame = new QGroupBox(caption, parent);
    frame->setObjectName(QString::fromLatin1(name));
    QFont bold = parent->window()->font();
    bold.setBold(true);
    frame->setFont(bold);
    return frame;
}

// A drop-down list of fixed entries: typing selects a matching entry, nothing else is taken.
QComboBox* ListBox(QWidget* parent, const char* name, const QStringList& entries) {
    auto* box = Named(new QComboBox(parent), name, parent->window());
    box->addItems(entries);
    box->setCurrentIndex(-1);
    return box;
}

// A multi-line prompt on the window's own background, as high as its lines.
QPlainTextEdit* PromptBox(QWidget* parent, const char* name, const std::string& text, int lines) {
    auto* box = Named(new QPlainTextEdit(parent), name, parent->window());
    box->setFrameShape(QFrame::NoFrame);
    box->setReadOnly(true);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    box->viewport()->setAutoFillBackground(false);
    box->setBackgroundRole(QPalette::Window);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    box->setPalette(palette);
    box->document()->setDocumentMargin(0);
    box->setFixedHeight(box->fontMetrics().lineSpacing() * lines + 4);
    box->setPlainText(PromptText(text));
    return box;
}

QPlainTextEdit* DumpBox(QWidget* parent, const char* name) {
    auto* box = Named(new QPlainTextEdit(parent), name, parent->window());
    box->setReadOnly(true);
    box->setLineWrapMode(QPlainTextEdit::NoWrap);
    box->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    box->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    return box;
}

QRadioButton* Option(QWidget* parent, const char* name, const QString& caption) {
    return Named(new QRadioButton(caption, parent), name, parent->window());
}

QGroupBox* BuildDecoderFrame(QWidget* client, WindowControls& c) {
    c.decoderFrame = Frame(client, "Frame4", QObject::tr("Decoder Instelling"));
    auto* row = new QHBoxLayout(c.decoderFrame);
    c.binaryDecoderOption =
        Option(c.decoderFrame, "Option3", QStringLiteral("ChipX, TranX, TranXPro, AMBMX, AMBrc"));
    c.olderDecoderOption =
        Option(c.decoderFrame, "Option4", QObject::tr("Oudere types AMB decoders"));
    row->addWidget(c.binaryDecoderOption);
    row->addSpacing(16);
    row->addWidget(c.olderDecoderOption);
    row->addStretch(1);
    return c.decoderFrame;
}

QGroupBox* BuildLinkFrame(QWidget* column, WindowControls& c) {
    c.linkFrame = Frame(column, "Frame3", QObject::tr("Data Input"));
    auto* rows = new QVBoxLayout(c.linkFrame);
    c.linkStatus = Named(
        new QLabel(QObject::tr("Kies voor communicatietype richting AMB-decoder"), c.linkFrame),
        "Label2", column->window());
    c.linkStatus->setWordWrap(true);
    c.linkStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    c.serialOption = Option(c.linkFrame, "Option1", QStringLiteral("Serial (COM 1)"));
    c.portBox = Named(new PortBox(c.linkFrame), "Combo3", column->window());
    c.portBox->setEditable(true);  // a device path may be typed as well
    c.portBox->setInsertPolicy(QComboBox::NoInsert);
    c.tcpOption = Option(c.linkFrame, "Option2", QStringLiteral("TCP/IP"));
    c.addressLabel = Named(new QLabel(QObject::tr("IP-adres van de decoder"), c.linkFrame),
                           "Label3", column->window());
    c.addressBox = Named(new QLineEdit(c.linkFrame), "Text4", column->window());
    c.connectButton = Named(new QPushButton(QStringLiteral("Connect"), c.linkFrame), "Command3",
                            column->window());
    for (QWidget* widget :
         {static_cast<QWidget*>(c.linkStatus), static_cast<QWidget*>(c.serialOption),
          static_cast<QWidget*>(c.portBox), static_cast<QWidget*>(c.tcpOption),
          static_cast<QWidget*>(c.addressLabel), static_cast<QWidget*>(c.addressBox)}) {
        rows->addWidget(widget);
    }
    c.disconnectButton = Named(new QPushButton(QObject::tr("Verbinding verbreken"), c.linkFrame),
                               "DisconnectButton", column->window());
    auto* buttons = new QHBoxLayout();
    buttons->addWidget(c.connectButton);
    buttons->addWidget(c.disconnectButton);
    buttons->addStretch(1);
    rows->addLayout(buttons);
    return c.linkFrame;
}

QGroupBox* BuildRaceFrame(QWidget* column, WindowControls& c) {
    c.raceFrame = Frame(column, "Frame1", QObject::tr("Wedstrijd informatie"));
    QWidget* window = column->window();
    auto* rows = new QVBoxLayout(c.raceFrame);
    c.openLabel = Named(new QLabel(QObject::tr("Kies hier de Dovo excel file"), c.raceFrame),
                        "Label1", window);
    c.openLabel->setWordWrap(true);
    c.openButton = Named(new QPushButton(QObject::tr("Open Dovo Excel Worbook"), c.raceFrame),
                         "Command1", window);
    c.sportPrompt =
        PromptBox(c.raceFrame, "Text2", "Kies hier Schaatsen, Lopen \r\nof Fietsen\r\n", 2);
    c.sportBox =
        ListBox(c.raceFrame, "Combo1",
                {QStringLiteral("Schaatsen"), QStringLiteral("Lopen"), QStringLiteral("Fietsen")});
    c.lapPrompt = PromptBox(c.raceFrame, "Text3", "Kies hier voor schaatsen \r\nde heat\r\n", 2);
    // The lap slider and the heat box share one place; at most one of them is shown.
    c.lapSlider = Named(new QSlider(Qt::Horizontal, c.raceFrame), "Slider1", window);
    c.lapSlider->setRange(1, 5);
    c.lapSlider->setValue(1);
    c.lapSlider->setPageStep(1);
    c.lapSlider->setTickPosition(QSlider::TicksBelow);
    c.lapSlider->setTickInterval(1);
    c.heatBox =
        ListBox(c.raceFrame, "Combo2",
                {QStringLiteral("Heat 1"), QStringLiteral("Heat 2"), QStringLiteral("Heat 3"),
                 QStringLiteral("Heat 4"), QStringLiteral("Heat 5")});
    c.warmupOption = Option(c.raceFrame, "fase_opwarmen", QObject::tr("Opwarmen"));
    c.startPulseOption =
        Option(c.raceFrame, "fase_startschot", QObject::tr("1 Startpuls voor iedereen"));
    c.recordOption = Option(c.raceFrame, "fase_opnemen", QObject::tr("Tijd Opnemen (evt Start)"));
    for (QWidget* widget : {static_cast<QWidget*>(c.openLabel), static_cast<QWidget*>(c.openButton),
                            static_cast<QWidget*>(c.sportPrompt), static_cast<QWidget*>(c.sportBox),
                            static_cast<QWidget*>(c.lapPrompt), static_cast<QWidget*>(c.lapSlider),
                            static_cast<QWidget*>(c.heatBox)}) {
        rows->addWidget(widget);
    }
    rows->addSpacing(6);
    for (QWidget* widget : {c.warmupOption, c.startPulseOption, c.recordOption}) {
        rows->addWidget(widget);
    }
    // Next to the lap controls: reads closer together than this are one crossing read twice.
    c.minimumLapBox = Named(new QDoubleSpinBox(c.raceFrame), "MinLapBox", window);
    c.minimumLapBox->setRange(0, 3600);
    c.minimumLapBox->setDecimals(1);
    c.minimumLapBox->setSingleStep(0.5);
    c.minimumLapBox->setSuffix(QObject::tr(" s"));
    c.minimumLapBox->setSpecialValueText(QObject::tr("uit"));
    c.minimumLapBox->setToolTip(
        QObject::tr("Een passering van een deelnemer binnen deze tijd na zijn vorige vastgelegde "
                    "tijd is een dubbele lezing: die wordt grijs als \"Dubbel\" getoond en niet "
                    "in het werkboek gezet."));
    auto* minimumLapLabel =
        Named(new QLabel(QObject::tr("Minimale rondetijd"), c.raceFrame), "MinLapLabel", window);
    minimumLapLabel->setBuddy(c.minimumLapBox);
    auto* minimumLapRow = new QHBoxLayout();
    minimumLapRow->addWidget(minimumLapLabel);
    minimumLapRow->addWidget(c.minimumLapBox);
    rows->addSpacing(6);
    rows->addLayout(minimumLapRow);
    return c.raceFrame;
}

// The corrections, in one row above the passings, in reach while the race runs.
QGroupBox* BuildCorrectionFrame(QWidget* parent, WindowControls& c) {
    c.correctionFrame = Frame(parent, "CorrectionFrame", QObject::tr("Correcties"));
    QWidget* window = parent->window();
    auto* row = new QHBoxLayout(c.correctionFrame);
    c.handBibBox = Named(new QLineEdit(c.correctionFrame), "HandBib", window);
    c.handBibBox->setPlaceholderText(QObject::tr("rugnummer"));
    c.handTimeBox = Named(new QLineEdit(c.correctionFrame), "HandTime", window);
    c.handTimeBox->setPlaceholderText(QObject::tr("nu"));
    c.handBibBox->setToolTip(
        QObject::tr("Rugnummer en Enter: een passering van die deelnemer. "
                    "F2 brengt u hier vanuit het hele venster."));
    c.handTimeBox->setToolTip(QObject::tr("Tijd van de dag, bijvoorbeeld 14:05:30.25; leeg: nu"));
    const int digit = c.handBibBox->fontMetrics().horizontalAdvance(QLatin1Char('0'));
    c.handBibBox->setMaximumWidth(digit * 10);
    c.handTimeBox->setMaximumWidth(digit * 14);
    c.handPassingButton =
        Named(new QPushButton(QObject::tr("Passering invoeren"), c.correctionFrame),
              "HandPassingButton", window);
    c.takeBackButton =
        Named(new QPushButton(QObject::tr("Gekozen passering terugnemen"), c.correctionFrame),
              "TakeBackButton", window);
    c.takeBackButton->setToolTip(
        QObject::tr("Kies de laatste start, doorkomst of finish van een deelnemer in de "
                    "passeringen, of de deelnemer in het wedstrijdoverzicht (ook met Delete)."));
    auto* bibLabel = Named(new QLabel(QObject::tr("Rugnummer"), c.correctionFrame), "", window);
    bibLabel->setBuddy(c.handBibBox);
    auto* timeLabel = Named(new QLabel(QObject::tr("Tijd"), c.correctionFrame), "", window);
    timeLabel->setBuddy(c.handTimeBox);
    row->addWidget(bibLabel);
    row->addWidget(c.handBibBox);
    row->addWidget(timeLabel);
    row->addWidget(c.handTimeBox);
    row->addWidget(c.handPassingButton);
    row->addStretch(1);
    row->addWidget(c.takeBackButton);
    return c.correctionFrame;
}

// The left column: the link over the race set-up, scrolling when the window is too low.
QWidget* BuildLeftColumn(QWidget* client, WindowControls& c) {
    auto* scroll = new QScrollArea(client);
    scroll->setObjectName(QStringLiteral("LeftColumn"));
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidgetResizable(true);
    auto* column = new QWidget(scroll);
    auto* rows = new QVBoxLayout(column);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->addWidget(BuildLinkFrame(column, c));
    rows->addWidget(BuildRaceFrame(column, c));
    rows->addStretch(1);
    scroll->setWidget(column);
    // As wide as its widest control needs, with room for a scroll bar.
    scroll->setMinimumWidth(column->sizeHint().width() +
                            scroll->style()->pixelMetric(QStyle::PM_ScrollBarExtent) + 4);
    scroll->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    return scroll;
}

QWidget* BuildRightSide(QWidget* client, WindowControls& c) {
    c.splitter = new QSplitter(Qt::Vertical, client);
    c.splitter->setObjectName(QStringLiteral("RightSplitter"));
    c.splitter->setChildrenCollapsible(false);
    auto* top = new QSplitter(Qt::Horizontal);
    top->setObjectName(QStringLiteral("GridSplitter"));
    top->setChildrenCollapsible(false);

    c.passingFrame = Frame(top, "Frame2", QObject::tr("Tijd/Koppel log"));
    auto* gridRows = new QVBoxLayout(c.passingFrame);
    c.passingGrid = Named(new QTableView(c.passingFrame), "MSFlexGrid1", client->window());
    // A passing is chosen to be taken back.
    c.passingGrid->setSelectionMode(QAbstractItemView::SingleSelection);
    c.passingGrid->setSelectionBehavior(QAbstractItemView::SelectRows);
    c.passingGrid->setEditTriggers(QAbstractItemView::NoEditTriggers);
    c.passingGrid->setWordWrap(false);
    c.passingGrid->verticalHeader()->hide();
    // Fixed row heights keep the view fast however many passings it holds.
    c.passingGrid->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    c.passingGrid->verticalHeader()->setDefaultSectionSize(c.passingGrid->fontMetrics().height() +
                                                           4);
    c.passingGrid->horizontalHeader()->setHighlightSections(false);
    c.passingGrid->horizontalHeader()->setStretchLastSection(true);
    gridRows->addWidget(c.passingGrid);

    c.raceViewFrame = Frame(top, "RaceViewFrame", QObject::tr("Wedstrijdoverzicht"));
    c.raceViewPlace = new QVBoxLayout(c.raceViewFrame);
    top->addWidget(c.passingFrame);
    top->addWidget(c.raceViewFrame);
    top->setStretchFactor(0, 2);
    top->setStretchFactor(1, 3);

    c.messageFrame = Frame(c.splitter, "MessageFrame", QObject::tr("Berichten"));
    c.messagePlace = new QVBoxLayout(c.messageFrame);
    // The corrections above the passings and the race view.
    auto* race = new QWidget(c.splitter);
    auto* raceRows = new QVBoxLayout(race);
    raceRows->setContentsMargins(0, 0, 0, 0);
    raceRows->addWidget(BuildCorrectionFrame(race, c));
    raceRows->addWidget(top, 1);
    c.splitter->addWidget(race);
    c.splitter->addWidget(c.messageFrame);
    c.splitter->setStretchFactor(0, 4);
    c.splitter->setStretchFactor(1, 1);
    return c.splitter;
}

QWidget* BuildDebugPanel(QWidget* client, WindowControls& c) {
    c.debugPanel = new QWidget(client);
    c.debugPanel->setObjectName(QStringLiteral("DebugPanel"));
    QWidget* window = client->window();
    auto* rows = new QVBoxLayout(c.debugPanel);
    rows->setContentsMargins(0, 0, 0, 0);
    c.debugFrame = Frame(c.debugPanel, "Frame5", QStringLiteral("Debug Options"));
    auto* checks = new QVBoxLayout(c.debugFrame);
    c.rawDumpCheck =
        Named(new QCheckBox(QStringLiteral("Debug raw"), c.debugFrame), "Check1", window);
    c.unescapedDumpCheck =
        Named(new QCheckBox(QStringLiteral("Debug Unescaped"), c.debugFrame), "Check2", window);
    checks->addWidget(c.rawDumpCheck);
    checks->addWidget(c.unescapedDumpCheck);
    rows->addWidget(c.debugFrame);

    const auto labelled = [&](const QString& caption, QWidget* box, int stretch) {
        auto* label = Named(new QLabel(caption, c.debugPanel), "", window);
        label->setBuddy(box);
        rows->addWidget(label);
        rows->addWidget(box, stretch);
    };
    c.rawDumpBox = DumpBox(c.debugPanel, "Text5");
    c.unescapedDumpBox = DumpBox(c.debugPanel, "Text6");
    c.serialLineBox = Named(new QLineEdit(QStringLiteral("Text1"), c.debugPanel), "Text1", window);
    c.serialLineBox->setReadOnly(true);
    labelled(QObject::tr("Records zoals ontvangen (Debug raw)"), c.rawDumpBox, 1);
    labelled(QObject::tr("Records zonder escapes (Debug Unescaped)"), c.unescapedDumpBox, 1);
    labelled(QObject::tr("Laatste regel van de seriële lijn"), c.serialLineBox, 0);
    c.debugPanel->setMinimumWidth(c.debugPanel->fontMetrics().averageCharWidth() * 36);
    return c.debugPanel;
}

}  // namespace

QString PromptText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

WindowControls BuildWindowControls(QWidget* client) {
    WindowControls c;
    auto* rows = new QVBoxLayout(client);
    rows->setContentsMargins(6, 4, 6, 2);
    rows->addWidget(BuildDecoderFrame(client, c));
    auto* body = new QHBoxLayout();
    body->addWidget(BuildLeftColumn(client, c));
    body->addWidget(BuildRightSide(client, c), 1);
    body->addWidget(BuildDebugPanel(client, c));
    rows->addLayout(body, 1);
    c.banner = Named(new QLabel(QStringLiteral("Zomra-Tivaro  2008  Ver 1.3 (ActX)"), client),
                     "Label5", client->window());
    c.banner->setAlignment(Qt::AlignCenter);
    rows->addWidget(c.banner);
    return c;
}

void SizeGridColumns(QTableView* grid) {
    const QStringList headings = QString::fromLatin1(kGridFormat).split('|');
    const QFontMetrics metrics(grid->horizontalHeader()->font());
    // Wide enough for the heading as its spaces set it, and for the longest entry.
    const QStringList longest = {QStringLiteral("KX-0000000000"), QStringLiteral("000 "),
                                 QStringLiteral("23:59:59.99"), QStringLiteral("Na Start puls")};
    int total = 0;
    for (int column = 0; column < headings.size(); ++column) {
        QString heading = headings[column];
        heading.remove('<');
        const int width = std::max(metrics.horizontalAdvance(heading.trimmed()),
                                   metrics.horizontalAdvance(longest[column])) +
                          16;
        grid->setColumnWidth(column, width);
        total += width;
    }
    // Every column stays in view: the grid is never made narrower than its columns.
    grid->setMinimumWidth(total + 2 * grid->frameWidth() +
                          grid->style()->pixelMetric(QStyle::PM_ScrollBarExtent));
}

}  // namespace tivaro::app
