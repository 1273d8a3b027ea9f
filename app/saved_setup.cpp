#include "app/saved_setup.h"

#include <QSettings>

namespace tivaro::app {

namespace {

QSettings Settings() {
    return QSettings(QStringLiteral("Tivaro"), QStringLiteral("Tivaro"));
}

std::filesystem::path PathOf(const QVariant& value) {
    return std::filesystem::path(value.toString().toStdString());
}

}  // namespace

SavedSetup SavedSetup::Load() {
    QSettings settings = Settings();
    SavedSetup saved;
    saved.workbook = PathOf(settings.value(QStringLiteral("session/workbook")));
    if (settings.contains(QStringLiteral("useEmbeddedEngine"))) {
        saved.preferEmbedded = settings.value(QStringLiteral("useEmbeddedEngine")).toBool();
    }
    saved.decoder =
        settings.value(QStringLiteral("session/decoder")).toString() == QStringLiteral("older")
            ? link::DecoderGeneration::Older
            : link::DecoderGeneration::Binary;
    const QString linkName = settings.value(QStringLiteral("session/link")).toString();
    if (linkName == QStringLiteral("serial")) {
        saved.link = link::LinkKind::Serial;
    } else if (linkName == QStringLiteral("tcp")) {
        saved.link = link::LinkKind::Tcp;
    }
    saved.serialDevice = settings.value(QStringLiteral("session/serialDevice")).toString();
    saved.tcpAddress = settings.value(QStringLiteral("session/tcpAddress")).toString();
    // Read as a journal line, the one format of a set-up.
    const timing::ParsedJournal setup = timing::ParseJournal(
        settings.value(QStringLiteral("session/raceSetup")).toString().toStdString());
    if (setup.actions.size() == 1 && setup.actions[0].kind == timing::ActionKind::Restore) {
        saved.raceSetup = setup.actions[0];
    }
    saved.geometry = settings.value(QStringLiteral("session/geometry")).toByteArray();
    saved.sessionJournal = PathOf(settings.value(QStringLiteral("session/journal")));
    saved.lastFolder = settings.value(QStringLiteral("lastFolder")).toString();
    saved.liveResults = settings.value(QStringLiteral("live/on"), false).toBool();
    const int port = settings.value(QStringLiteral("live/port"), 8080).toInt();
    saved.liveResultsPort = port > 0 && port < 65536 ? static_cast<quint16>(port) : 8080;
    return saved;
}

void SavedSetup::SaveWorkbook(const std::filesystem::path& workbook) {
    Settings().setValue(QStringLiteral("session/workbook"),
                        QString::fromStdString(workbook.string()));
}

void SavedSetup::SaveDecoder(link::DecoderGeneration decoder) {
    Settings().setValue(QStringLiteral("session/decoder"), decoder == link::DecoderGeneration::Older
                                                               ? QStringLiteral("older")
                                                               : QStringLiteral("binary"));
}

void SavedSetup::SaveLink(link::LinkKind link, const QString& where) {
    QSettings settings = Settings();
    const bool serial = link == link::LinkKind::Serial;
    settings.setValue(QStringLiteral("session/link"),
                      serial ? QStringLiteral("serial") : QStringLiteral("tcp"));
    settings.setValue(
        serial ? QStringLiteral("session/serialDevice") : QStringLiteral("session/tcpAddress"),
        where);
}

void SavedSetup::SaveRaceSetup(const timing::JournalAction& restore) {
    Settings().setValue(QStringLiteral("session/raceSetup"),
                        QString::fromStdString(timing::FormatAction(restore)));
}

void SavedSetup::SaveGeometry(const QByteArray& geometry) {
    Settings().setValue(QStringLiteral("session/geometry"), geometry);
}

void SavedSetup::SaveSessionJournal(const std::filesystem::path& journal) {
    if (journal.empty()) {
        Settings().remove(QStringLiteral("session/journal"));
    } else {
        Settings().setValue(QStringLiteral("session/journal"),
                            QString::fromStdString(journal.string()));
    }
}

void SavedSetup::SavePreferEmbedded(bool preferEmbedded) {
    Settings().setValue(QStringLiteral("useEmbeddedEngine"), preferEmbedded);
}

void SavedSetup::SaveLastFolder(const QString& folder) {
    Settings().setValue(QStringLiteral("lastFolder"), folder);
}

void SavedSetup::SaveLiveResults(bool on, quint16 port) {
    QSettings settings = Settings();
    settings.setValue(QStringLiteral("live/on"), on);
    settings.setValue(QStringLiteral("live/port"), port);
}

}  // namespace tivaro::app
