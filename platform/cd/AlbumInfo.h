#pragma once
#include <QString>
#include <vector>

namespace varnelo::cd {

// Album information for one disc, from a CDDB server, MusicBrainz or a local
// xmcd file. Tracks are the audio tracks in order; a title may be empty where
// the source has none.
struct AlbumInfo {
    struct Track {
        QString title;
        QString artist; // the album's artist unless the track names its own
    };
    QString artist;
    QString album;
    QString genre;
    QString year;
    std::vector<Track> tracks;
    QString source;             // where it came from, for the rip log ("CDDB rock/c60af50d")
    QString musicBrainzRelease; // the release's id when MusicBrainz named it, else empty

    // The release id the source names ("MusicBrainz release <id>", as kept
    // with the album) when it has the shape of one; else empty.
    QString releaseId() const;
};

} // namespace varnelo::cd
