#include "results/results_files.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFontMetricsF>
#include <QLocale>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QTime>
#include <algorithm>
#include <cctype>

#include "timing/sports.h"
#include "workbook/atomic_file.h"

namespace tivaro::results {

namespace {

using timing::Hundredths;
using timing::RaceResults;
using timing::ResultLine;

QString Text(const char* text) {
    return QCoreApplication::translate("Results", text);
}

QString FromUtf8(const std::string& text) {
    return QString::fromStdString(text).trimmed();
}

QString Duration(const std::optional<Hundredths>& duration) {
    return duration ? QString::fromStdString(timing::FormatDuration(*duration)) : QString();
}

// One column of the table: its heading, its width in device units and how it aligns.
struct Column {
    QString heading;
    qreal width = 0;
    Qt::Alignment align = Qt::AlignLeft;
};

enum class Field { Place, Bib, Name, Club, Heat, Laps, Lap, Best, Total };

struct Layout {
    std::vector<std::pair<Field, int>> fields;  // int: the lap of a Lap field
    std::vector<Column> columns;
};

Layout LayOut(const RaceResults& results, const QFontMetricsF& metrics, qreal pageWidth) {
    const qreal pad = metrics.horizontalAdvance(QStringLiteral("  "));
    const qreal lapWidth = metrics.horizontalAdvance(QStringLiteral("00:00.00")) + pad;
    const qreal totalWidth = metrics.horizontalAdvance(QStringLiteral("0:00:00.00")) + pad;
    const auto fit = [&](const QString& heading, qreal least) {
        // Headings are bold, a little wider than the metrics of the table's font say.
        return std::max(least, metrics.horizontalAdvance(heading) * 1.15 + pad);
    };
    Layout layout;
    const auto add = [&](Field field, int lap, QString heading, qreal width, Qt::Alignment align) {
        layout.fields.emplace_back(field, lap);
        layout.columns.push_back({std::move(heading), width, align});
    };
    add(Field::Place, 0, Text("Plaats"), fit(Text("Plaats"), 0), Qt::AlignRight);
    add(Field::Bib, 0, Text("Rugnr."), fit(Text("Rugnr."), 0), Qt::AlignRight);
    add(Field::Name, 0, Text("Naam"), 0, Qt::AlignLeft);
    if (results.hasClubs) {
        add(Field::Club, 0, Text("Club"), 0, Qt::AlignLeft);
    }
    if (results.sport == timing::Sport::Skating) {
        add(Field::Heat, 0, Text("Heat"), fit(Text("Heat"), 0), Qt::AlignCenter);
    }
    add(Field::Laps, 0, Text("Ronden"), fit(Text("Ronden"), 0), Qt::AlignCenter);
    for (int k = 1; k <= results.laps; ++k) {
        const QString heading = Text("Ronde %1").arg(k);
        const bool fits = metrics.horizontalAdvance(heading) + pad <= lapWidth;
        add(Field::Lap, k, fits ? heading : Text("R%1").arg(k), lapWidth, Qt::AlignRight);
    }
    add(Field::Best, 0, Text("Beste"), fit(Text("Beste"), lapWidth), Qt::AlignRight);
    add(Field::Total, 0, Text("Totaal"), fit(Text("Totaal"), totalWidth), Qt::AlignRight);

    // Name and club share what is left, each as wide as its longest text where that fits,
    // else in proportion to it.
    qreal fixed = 0;
    for (const Column& column : layout.columns) {
        fixed += column.width;
    }
    const qreal least = metrics.horizontalAdvance(QStringLiteral("M")) * 6;
    const qreal left = std::max(pageWidth - fixed, 2 * least);
    qreal name = fit(Text("Naam"), least);
    qreal club = results.hasClubs ? fit(Text("Club"), least) : 0;
    for (const ResultLine& line : results.lines) {
        name = std::max(name, metrics.horizontalAdvance(FromUtf8(line.name)) + pad);
        if (results.hasClubs) {
            club = std::max(club, metrics.horizontalAdvance(FromUtf8(line.club)) + pad);
        }
    }
    if (name + club <= left) {
        name = left - club;  // the slack after the name, so the times stand at the right
    } else {
        const qreal scale = left / (name + club);
        name *= scale;
        club *= scale;
    }
    for (std::size_t i = 0; i < layout.fields.size(); ++i) {
        if (layout.fields[i].first == Field::Name) {
            layout.columns[i].width = name;
        } else if (layout.fields[i].first == Field::Club) {
            layout.columns[i].width = club;
        }
    }
    return layout;
}

QString Cell(const ResultLine& line, Field field, int lap) {
    switch (field) {
        case Field::Place:
            return line.place ? QString::number(*line.place) : QString();
        case Field::Bib:
            return FromUtf8(line.bib);
        case Field::Name:
            return FromUtf8(line.name);
        case Field::Club:
            return FromUtf8(line.club);
        case Field::Heat:
            return FromUtf8(line.heat);
        case Field::Laps:
            return QString::number(line.lapsDone);
        case Field::Lap:
            return Duration(line.lapTimes[static_cast<std::size_t>(lap - 1)]);
        case Field::Best:
            return Duration(line.bestLap);
        case Field::Total:
            return Duration(line.total);
    }
    return {};
}

QString SubTitle(const RaceResults& results, const QDateTime& madeAt) {
    QStringList parts;
    if (const timing::SportRules* rules = timing::RulesOf(results.sport)) {
        parts << QString::fromUtf8(rules->boxText.data(),
                                   static_cast<qsizetype>(rules->boxText.size()));
    }
    if (results.sport == timing::Sport::Skating) {
        parts << (results.heat.empty() ? Text("alle heats")
                                       : Text("heat %1").arg(FromUtf8(results.heat)));
    }
    parts << (results.laps == 1 ? Text("1 ronde") : Text("%1 ronden").arg(results.laps));
    const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
    QString day = dutch.toString(madeAt.date(), QStringLiteral("d MMMM yyyy"));
    if (results.latestPassing) {
        const Hundredths at = *results.latestPassing;
        day += QStringLiteral(", ") + Text("laatste passering %1")
                                          .arg(QTime(0, 0)
                                                   .addMSecs(static_cast<int>(at * 10))
                                                   .toString(QStringLiteral("H:mm:ss")));
    }
    parts << day;
    return parts.join(QStringLiteral(" \u00B7 "));
}

bool AnyPassing(const RaceResults& results) {
    return std::any_of(results.lines.begin(), results.lines.end(), [](const ResultLine& line) {
        return line.lapsDone > 0 || line.finished || line.total;
    });
}

}  // namespace

int PaintResults(QPagedPaintDevice& device, const RaceResults& results, const QDateTime& madeAt) {
    QPainter painter(&device);
    if (!painter.isActive()) {
        return 0;
    }
    const qreal width = device.width();
    const qreal height = device.height();

    QFont titleFont(QStringLiteral("DejaVu Sans"), 16, QFont::Bold);
    QFont infoFont(QStringLiteral("DejaVu Sans"), 10);
    QFont tableFont(QStringLiteral("DejaVu Sans"), results.laps > 6 ? 8 : 9);
    QFont boldFont = tableFont;
    boldFont.setBold(true);
    const QFontMetricsF title(titleFont, &device);
    const QFontMetricsF info(infoFont, &device);
    const QFontMetricsF table(tableFont, &device);

    const Layout layout = LayOut(results, table, width);
    const qreal rowHeight = table.height() * 1.45;
    const qreal headBlock = title.height() * 1.3 + info.height() * 2.2;
    const qreal footer = info.height() * 2;
    const bool note = !AnyPassing(results);

    // Rows per page: the first page also holds the title block (and the note).
    const int firstRows = std::max(
        1,
        static_cast<int>((height - headBlock - footer - (note ? rowHeight * 2 : 0)) / rowHeight) -
            1);
    const int laterRows = std::max(1, static_cast<int>((height - footer) / rowHeight) - 1);
    const int count = static_cast<int>(results.lines.size());
    const int pages = count <= firstRows ? 1 : 1 + (count - firstRows + laterRows - 1) / laterRows;

    const QColor stripe(242, 242, 242);
    const QColor fastest(255, 226, 196);
    const QLocale dutch(QLocale::Dutch, QLocale::Netherlands);
    const QString footerText =
        Text("Tivaro \u2014 %1").arg(dutch.toString(madeAt.date(), QStringLiteral("d-M-yyyy")));

    const auto paintRow = [&](qreal y, const std::vector<QString>& cells, bool heading,
                              const ResultLine* line) {
        qreal x = 0;
        for (std::size_t i = 0; i < layout.columns.size(); ++i) {
            const Column& column = layout.columns[i];
            const auto [field, lap] = layout.fields[i];
            bool bold = heading;
            if (line != nullptr && (field == Field::Lap || field == Field::Best)) {
                const std::optional<Hundredths> time =
                    field == Field::Best ? line->bestLap
                                         : line->lapTimes[static_cast<std::size_t>(lap - 1)];
                if (time && time == results.fastestLap) {
                    painter.fillRect(QRectF(x, y, column.width, rowHeight), fastest);
                    bold = true;
                } else if (time && field == Field::Lap && time == line->bestLap) {
                    bold = true;
                }
            }
            painter.setFont(bold ? boldFont : tableFont);
            const QRectF cell(x + table.averageCharWidth() * 0.4, y,
                              column.width - table.averageCharWidth() * 0.8, rowHeight);
            painter.drawText(cell, column.align | Qt::AlignVCenter,
                             table.elidedText(cells[i], Qt::ElideRight, cell.width()));
            x += column.width;
        }
    };

    int next = 0;
    for (int page = 0; page < pages; ++page) {
        if (page > 0) {
            device.newPage();
        }
        qreal y = 0;
        if (page == 0) {
            painter.setFont(titleFont);
            painter.drawText(QRectF(0, y, width, title.height() * 1.3),
                             Qt::AlignLeft | Qt::AlignVCenter,
                             title.elidedText(FromUtf8(results.title), Qt::ElideRight, width));
            y += title.height() * 1.3;
            painter.setFont(infoFont);
            painter.drawText(QRectF(0, y, width, info.height() * 1.4),
                             Qt::AlignLeft | Qt::AlignVCenter, SubTitle(results, madeAt));
            y += info.height() * 2.2;
            if (note) {
                painter.drawText(QRectF(0, y, width, rowHeight * 2),
                                 Qt::AlignLeft | Qt::AlignVCenter,
                                 results.sport == timing::Sport::Skating && !results.heat.empty()
                                     ? Text("Nog geen passeringen in deze heat.")
                                     : Text("Nog geen passeringen in deze wedstrijd."));
                y += rowHeight * 2;
            }
        }
        std::vector<QString> headings;
        for (const Column& column : layout.columns) {
            headings.push_back(column.heading);
        }
        paintRow(y, headings, true, nullptr);
        y += rowHeight;
        painter.setPen(QPen(Qt::black, std::max(1.0, rowHeight / 30)));
        painter.drawLine(QPointF(0, y), QPointF(width, y));

        const int rows = page == 0 ? firstRows : laterRows;
        for (int r = 0; r < rows && next < count; ++r, ++next) {
            const ResultLine& line = results.lines[static_cast<std::size_t>(next)];
            if (next % 2 == 1) {
                painter.fillRect(QRectF(0, y, width, rowHeight), stripe);
            }
            std::vector<QString> cells;
            for (const auto& [field, lap] : layout.fields) {
                cells.push_back(Cell(line, field, lap));
            }
            paintRow(y, cells, false, &line);
            y += rowHeight;
        }

        painter.setFont(infoFont);
        const QRectF foot(0, height - info.height() * 1.4, width, info.height() * 1.4);
        painter.drawText(foot, Qt::AlignLeft | Qt::AlignVCenter, footerText);
        painter.drawText(foot, Qt::AlignRight | Qt::AlignVCenter,
                         Text("Pagina %1 van %2").arg(page + 1).arg(pages));
    }
    return pages;
}

Status WriteResults(const RaceResults& results, const std::filesystem::path& file,
                    const QDateTime& madeAt) {
    std::string extension = file.extension().string();
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    std::string bytes;
    if (extension == ".csv") {
        bytes = timing::ResultsCsv(results);
    } else if (extension == ".pdf") {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        {
            QPdfWriter pdf(&buffer);
            pdf.setTitle(FromUtf8(results.title));
            pdf.setCreator(QStringLiteral("Tivaro"));
            pdf.setResolution(300);
            pdf.setPageLayout(
                QPageLayout(QPageSize(QPageSize::A4),
                            results.laps > 6 ? QPageLayout::Landscape : QPageLayout::Portrait,
                            QMarginsF(15, 15, 15, 15), QPageLayout::Millimeter));
            if (PaintResults(pdf, results, madeAt) == 0) {
                return MakeError(Errc::Io, "De uitslag is niet opgeslagen in " + file.string() +
                                               ": de PDF kon niet worden gemaakt.");
            }
        }
        bytes = buffer.data().toStdString();
    } else {
        return MakeError(Errc::Failed, "De uitslag is niet opgeslagen in " + file.string() +
                                           ": kies een naam op .pdf of .csv.");
    }
    if (Status written = workbook::ReplaceFileAtomically(file, bytes); !written) {
        return MakeError(written.error().code, "De uitslag is niet opgeslagen in " + file.string() +
                                                   ": " + written.error().message);
    }
    return {};
}

}  // namespace tivaro::results
