#pragma once
// The set-up of the race session, kept between runs of the window, so that a restart (on
// purpose, after a crash, after a power cut) starts where the race was: the workbook, the
// engine, the decoder generation, the link with its port or address, the sport, heat, laps,
// phase and minimum lap time, the window's size, and the journal of a session that has not
// ended yet.

#include <QByteArray>
#include <QString>
#include <filesystem>
#include <optional>

#include "link/passing.h"
#include "timing/journal_action.h"

namespace tivaro::app {

struct SavedSetup {
    std::filesystem::path workbook;  // the workbook raced on last
    std::optional<bool> preferEmbedded;
    link::DecoderGeneration decoder = link::DecoderGeneration::Binary;
    std::optional<link::LinkKind> link;  // none chosen
    QString serialDevice;
    QString tcpAddress;
    // Sport, heat, laps, phase and minimum lap time, as a restore action.
    std::optional<timing::JournalAction> raceSetup;
    QByteArray geometry;  // the window's size and place
    // The journal of a session that has not ended.
    std::filesystem::path sessionJournal;
    QString lastFolder;        // where the last workbook was chosen
    bool liveResults = false;  // the live results server runs
    quint16 liveResultsPort = 8080;

    static SavedSetup Load();
    // Each part on its own, as it changes.
    static void SaveWorkbook(const std::filesystem::path& workbook);
    static void SaveDecoder(link::DecoderGeneration decoder);
    static void SaveLink(link::LinkKind link, const QString& where);
    static void SaveRaceSetup(const timing::JournalAction& restore);
    static void SaveGeometry(const QByteArray& geometry);
    static void SaveSessionJournal(const std::filesystem::path& journal);
    static void SavePreferEmbedded(bool preferEmbedded);
    static void SaveLastFolder(const QString& folder);
    static void SaveLiveResults(bool on, quint16 port);
};

}  // namespace tivaro::app
