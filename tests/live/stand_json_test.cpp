// The live snapshot: the race's results as the page reads them (places, times as the race view
// shows them, unknown times as null, a name with quotes and markup kept as text), the JSON
// read back to the same snapshot, and JSON the reader must refuse.

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTest>

#include "tests/support/race_book.h"

#include "live/stand_json.h"
#include "timing/results.h"

namespace tivaro::live {

namespace {

std::vector<std::string> Runner(const std::string& bib, const std::string& name,
                                const std::string& start, const std::string& lap,
                                const std::string& finish) {
    return testing::SheetRow({{1, bib},
                              {2, "74" + bib},
                              {4, name},
                              {6, start},
                              {7, lap},
                              {11, finish},
                              {20, finish.empty() ? "2" : "x"}});
}

Stand TwoLapRace() {
    timing::RaceStandings standings;
    standings.load(
        timing::Sport::Running,
        testing::SheetRow(
            {{1, "Rugnr."}, {2, "Transponder"}, {3, "Heat"}, {4, "Naam"}, {5, "Vereniging"}}),
        {Runner("201", "Anna \"<b>\" de Vries", "10:0:0.00", "10:1:0.00", "10:2:0.00"),
         Runner("202", "Bo", "10:0:0.00", "10:0:55.00", "10:1:50.00"),
         Runner("204", "Cas", "10:0:20.00", "10:1:20.00", ""), Runner("205", "Dé", "", "", "")});
    return StandOf(timing::MakeResults(standings, 2, "", "Training dinsdag"));
}

}  // namespace

class StandJsonTest : public QObject {
    Q_OBJECT
private slots:
    void showsTheResultsAsTheRaceViewDoes() {
        const Stand stand = TwoLapRace();
        QCOMPARE(stand.sheet, std::string("Training dinsdag"));
        QCOMPARE(stand.sport, std::string("Lopen"));
        QCOMPARE(stand.laps, 2);
        QCOMPARE(stand.latest, std::optional<std::string>("10:02:00.00"));
        QCOMPARE(stand.competitors.size(), std::size_t{4});
        const StandLine& first = stand.competitors[0];
        QCOMPARE(first.bib, std::string("202"));
        QCOMPARE(first.place, std::optional<int>(1));
        QCOMPARE(first.lapTimes, (std::vector<std::optional<std::string>>{"0:55.00", "0:55.00"}));
        QCOMPARE(first.total, std::optional<std::string>("1:50.00"));
        QVERIFY(first.finished);
        // One lap done, not finished: no place, the second lap unknown.
        const StandLine& oneLap = stand.competitors[2];
        QCOMPARE(oneLap.bib, std::string("204"));
        QCOMPARE(oneLap.place, std::nullopt);
        QCOMPARE(oneLap.lapsDone, 1);
        QCOMPARE(oneLap.lapTimes[1], std::nullopt);
        QCOMPARE(oneLap.total, std::nullopt);
        QVERIFY(!oneLap.finished);
    }

    void writesUnknownTimesAsNullWithEnglishKeys() {
        const QJsonDocument document = QJsonDocument::fromJson(StandJson(TwoLapRace()));
        const QJsonObject root = document.object();
        for (const char* key : {"sheet", "sport", "heat", "laps", "latest", "competitors"}) {
            QVERIFY2(root.contains(QLatin1String(key)), key);
        }
        const QJsonObject noLaps = root.value("competitors").toArray().at(3).toObject();
        QCOMPARE(noLaps.value("bib").toString(), QStringLiteral("205"));
        QVERIFY(noLaps.value("place").isNull());
        QVERIFY(noLaps.value("bestLap").isNull());
        QVERIFY(noLaps.value("total").isNull());
        QVERIFY(noLaps.value("lapTimes").toArray().at(0).isNull());
        QCOMPARE(noLaps.value("name").toString(), QStringLiteral("Dé"));
    }

    void readsBackWhatItWrote() {
        const Stand stand = TwoLapRace();
        const Result<Stand> read = ReadStand(StandJson(stand));
        QVERIFY2(read.ok(), read.ok() ? "" : read.error().message.c_str());
        QVERIFY(*read == stand);
        const Result<Stand> empty = ReadStand(StandJson(StandOf(timing::RaceResults{})));
        QVERIFY(empty.ok());
        QVERIFY(empty->competitors.empty());
        QCOMPARE(empty->latest, std::nullopt);
    }

    void refusesWhatIsNoSnapshot() {
        const QByteArray good = StandJson(TwoLapRace());
        QVERIFY(!ReadStand("not json").ok());
        QVERIFY(!ReadStand("[1,2]").ok());
        QVERIFY(!ReadStand(QByteArray(good).replace("\"laps\":2", "\"laps\":\"2\"")).ok());
        QVERIFY(
            !ReadStand(QByteArray(good).replace("\"lapTimes\":[\"0:55.00\"", "\"lapTimes\":[55"))
                 .ok());
        const Result<Stand> badPlace =
            ReadStand(QByteArray(good).replace("\"place\":1", "\"place\":\"1\""));
        QVERIFY(!badPlace.ok());
        QVERIFY(badPlace.error().message.find("deelnemer 1") != std::string::npos);
    }
};

}  // namespace tivaro::live

QTEST_GUILESS_MAIN(tivaro::live::StandJsonTest)
#include "stand_json_test.moc"
