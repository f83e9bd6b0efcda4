#pragma once
#include "platform/cd/DiscDetails.h"
#include "platform/cd/DiscToc.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <vector>

namespace varnelo {

// The disc a rip comes from, as its tags, cue sheet and playlist tell it.
struct RipDisc {
    cd::DiscToc toc;
    cd::DiscDetails details;
    QString albumArtist;
    QString album;
    QString cddbId;
    QString musicBrainzDiscId;
    QString musicBrainzRelease; // empty when no release is known
    // Per audio track the names the album information or CD-Text gives
    // (empty where neither does), for the cue sheet's CD-Text.
    struct Names {
        QString title, performer;
    };
    std::vector<Names> trackNames;
};

// One ripped file: which audio track (0-based) it holds and its names; a
// hidden track holds the first track's pregap (and says audio track 0).
struct RippedTrack {
    int audioIndex = 0;
    QString path;
    QString title;
    QString artist;
    bool hidden = false;
};

// The Vorbis comments a ripped FLAC or Ogg file carries beyond title,
// artist, album, date, genre and track number: ALBUMARTIST, TRACKTOTAL,
// DISCID (the CDDB id) and the MusicBrainz ids that are known.
QMap<QString, QString> discVorbisFields(const RipDisc &disc);

// A cue sheet of the ripped files, one FILE per track. Each file holds its
// track from INDEX 01 up to the next track's INDEX 01, so a pregap (INDEX 00)
// lies at the end of the file before it, and the first track's pregap is a
// PREGAP of silence, or the INDEX 00 of a hidden track's file: read again,
// the sheet gives the disc's table and ids.
// `tracks` in disc order; file names relative to `folder`.
QByteArray cueSheetText(const RipDisc &disc, const std::vector<RippedTrack> &tracks, const QString &folder);

// An extended M3U of the files, relative to `folder`.
QByteArray playlistText(const RipDisc &disc, const std::vector<RippedTrack> &tracks, const QString &folder);

} // namespace varnelo
