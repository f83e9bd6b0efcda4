#pragma once
#include "platform/cd/AccurateRip.h"
#include "platform/cd/GrabSession.h"

#include <QDateTime>
#include <QString>
#include <vector>

namespace varnelo {

// What a careful rip leaves beside its files: the drive, the read settings,
// the disc's ids and per track the read errors, the CRC32 of the audio and
// the AccurateRip result.
struct RipLogTrack {
    int number = 0;
    QString title;
    QString artist;
    QString path;
    qint64 sectors = 0;
    bool preEmphasis = false; // kept as on the disc, not de-emphasised
    cd::GrabResult result;
    bool reached = false;
    cd::AccurateRipVerdict accurateRip;
    QString status; // of the grab: "Finished", "Read errors", "Stopped", "Error", " OK " (not reached)
};

struct RipLog {
    QDateTime when;
    QString drive;
    int grabMode = 1;
    int retries = 1;
    int errorAction = 0;
    int readOffset = 0;  // samples
    bool secure = false; // test and copy
    bool overread = false;
    QString format;
    QString artist;
    QString album;
    QString albumSource; // "CDDB rock/...", "CD-Text", empty
    QString cddbId;
    QString musicBrainzId;
    QString accurateRipPath;
    QString accurateRipState; // "3 pressings", "not in the database", "not asked: ..."
    std::vector<RipLogTrack> tracks;

    QString text() const;
    // The log's file name for the album: "Artist - Album.log".
    QString fileName() const;
};

// The comment tag of a track recorded with pre-emphasis.
inline const QString PreEmphasisComment =
    QStringLiteral("Pre-emphasis: recorded with pre-emphasis, kept as on the disc (not de-emphasised)");

// A finished track's word for its rows and log: "Read errors" for sectors
// that stayed unreadable, else the test and copy's "Copy OK" or "Copy and
// test differ", else "Finished".
QString RipStatusText(const cd::GrabResult &result);

// Writes the text atomically; false with the reason when it could not.
bool WriteRipLog(const QString &path, const QString &text, QString &error);

} // namespace varnelo
