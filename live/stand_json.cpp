#include "live/stand_json.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cstdio>

#include "timing/sports.h"

namespace tivaro::live {

namespace {

std::optional<std::string> TimeText(const std::optional<timing::Hundredths>& duration) {
    if (!duration) {
        return std::nullopt;
    }
    return timing::FormatDuration(*duration);
}

// A time of day as a clock shows it, with hundredths ("9:05:03.07").
std::string ClockText(timing::Hundredths timeOfDay) {
    char text[32];
    std::snprintf(text, sizeof text, "%d:%02d:%02d.%02d", static_cast<int>(timeOfDay / 360000),
                  static_cast<int>(timeOfDay / 6000 % 60), static_cast<int>(timeOfDay / 100 % 60),
                  static_cast<int>(timeOfDay % 100));
    return text;
}

QJsonValue Text(const std::optional<std::string>& text) {
    return text ? QJsonValue(QString::fromStdString(*text)) : QJsonValue(QJsonValue::Null);
}

QJsonValue Text(const std::string& text) {
    return QJsonValue(QString::fromStdString(text));
}

Error Malformed(const std::string& what) {
    return MakeError(Errc::BadFormat, "De live stand is onleesbaar: " + what + ".");
}

// A text or null at `key`; false when it is something else.
bool ReadOptionalText(const QJsonValue& value, std::optional<std::string>& into) {
    if (value.isNull()) {
        into.reset();
        return true;
    }
    if (!value.isString()) {
        return false;
    }
    into = value.toString().toStdString();
    return true;
}

Result<StandLine> ReadLine(const QJsonValue& value, int index) {
    const std::string where = "deelnemer " + std::to_string(index + 1);
    if (!value.isObject()) {
        return Malformed(where + " is geen object");
    }
    const QJsonObject object = value.toObject();
    StandLine line;
    const QJsonValue place = object.value(QLatin1String("place"));
    if (place.isDouble()) {
        line.place = place.toInt();
    } else if (!place.isNull()) {
        return Malformed(where + ": place is geen getal of null");
    }
    for (const char* key : {"bib", "name", "heat"}) {
        if (!object.value(QLatin1String(key)).isString()) {
            return Malformed(where + ": " + key + " is geen tekst");
        }
    }
    line.bib = object.value(QLatin1String("bib")).toString().toStdString();
    line.name = object.value(QLatin1String("name")).toString().toStdString();
    line.heat = object.value(QLatin1String("heat")).toString().toStdString();
    if (!object.value(QLatin1String("lapsDone")).isDouble() ||
        !object.value(QLatin1String("lapTimes")).isArray() ||
        !object.value(QLatin1String("finished")).isBool()) {
        return Malformed(where + ": lapsDone, lapTimes of finished ontbreekt");
    }
    line.lapsDone = object.value(QLatin1String("lapsDone")).toInt();
    line.finished = object.value(QLatin1String("finished")).toBool();
    for (const QJsonValue lap : object.value(QLatin1String("lapTimes")).toArray()) {
        std::optional<std::string> time;
        if (!ReadOptionalText(lap, time)) {
            return Malformed(where + ": een rondetijd is geen tekst of null");
        }
        line.lapTimes.push_back(std::move(time));
    }
    if (!ReadOptionalText(object.value(QLatin1String("bestLap")), line.bestLap) ||
        !ReadOptionalText(object.value(QLatin1String("total")), line.total)) {
        return Malformed(where + ": bestLap of total is geen tekst of null");
    }
    return line;
}

}  // namespace

Stand StandOf(const timing::RaceResults& results) {
    Stand stand;
    stand.sheet = results.title;
    if (const timing::SportRules* rules = timing::RulesOf(results.sport)) {
        stand.sport = std::string(rules->boxText);
    }
    stand.heat = results.heat;
    stand.laps = results.laps;
    if (results.latestPassing) {
        stand.latest = ClockText(*results.latestPassing);
    }
    stand.competitors.reserve(results.lines.size());
    for (const timing::ResultLine& result : results.lines) {
        StandLine line;
        line.place = result.place;
        line.bib = result.bib;
        line.name = result.name;
        line.heat = result.heat;
        line.lapsDone = result.lapsDone;
        line.lapTimes.reserve(result.lapTimes.size());
        for (const std::optional<timing::Hundredths>& lap : result.lapTimes) {
            line.lapTimes.push_back(TimeText(lap));
        }
        line.bestLap = TimeText(result.bestLap);
        line.total = TimeText(result.total);
        line.finished = result.finished;
        stand.competitors.push_back(std::move(line));
    }
    return stand;
}

timing::RaceResults ResultsOrEmpty(const timing::Race& race) {
    Result<timing::RaceResults> results = timing::ResultsOfRace(race);
    return results ? std::move(*results) : timing::RaceResults{};
}

QByteArray StandJson(const Stand& stand) {
    QJsonArray competitors;
    for (const StandLine& line : stand.competitors) {
        QJsonArray laps;
        for (const std::optional<std::string>& lap : line.lapTimes) {
            laps.append(Text(lap));
        }
        competitors.append(QJsonObject{
            {QStringLiteral("place"), line.place ? QJsonValue(*line.place) : QJsonValue()},
            {QStringLiteral("bib"), Text(line.bib)},
            {QStringLiteral("name"), Text(line.name)},
            {QStringLiteral("heat"), Text(line.heat)},
            {QStringLiteral("lapsDone"), line.lapsDone},
            {QStringLiteral("lapTimes"), laps},
            {QStringLiteral("bestLap"), Text(line.bestLap)},
            {QStringLiteral("total"), Text(line.total)},
            {QStringLiteral("finished"), line.finished},
        });
    }
    const QJsonObject root{
        {QStringLiteral("sheet"), Text(stand.sheet)},
        {QStringLiteral("sport"), Text(stand.sport)},
        {QStringLiteral("heat"), Text(stand.heat)},
        {QStringLiteral("laps"), stand.laps},
        {QStringLiteral("latest"), Text(stand.latest)},
        {QStringLiteral("competitors"), competitors},
    };
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

Result<Stand> ReadStand(const QByteArray& json) {
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (document.isNull()) {
        return Malformed("geen JSON (" + parseError.errorString().toStdString() + " bij teken " +
                         std::to_string(parseError.offset) + ")");
    }
    if (!document.isObject()) {
        return Malformed("geen object");
    }
    const QJsonObject root = document.object();
    for (const char* key : {"sheet", "sport", "heat"}) {
        if (!root.value(QLatin1String(key)).isString()) {
            return Malformed(std::string(key) + " is geen tekst");
        }
    }
    if (!root.value(QLatin1String("laps")).isDouble() ||
        !root.value(QLatin1String("competitors")).isArray()) {
        return Malformed("laps of competitors ontbreekt");
    }
    Stand stand;
    stand.sheet = root.value(QLatin1String("sheet")).toString().toStdString();
    stand.sport = root.value(QLatin1String("sport")).toString().toStdString();
    stand.heat = root.value(QLatin1String("heat")).toString().toStdString();
    stand.laps = root.value(QLatin1String("laps")).toInt();
    if (!ReadOptionalText(root.value(QLatin1String("latest")), stand.latest)) {
        return Malformed("latest is geen tekst of null");
    }
    const QJsonArray competitors = root.value(QLatin1String("competitors")).toArray();
    for (int i = 0; i < competitors.size(); ++i) {
        Result<StandLine> line = ReadLine(competitors.at(i), i);
        if (!line) {
            return line.error();
        }
        stand.competitors.push_back(std::move(*line));
    }
    return stand;
}

}  // namespace tivaro::live
