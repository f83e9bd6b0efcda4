#pragma once
#include "platform/cd/AlbumInfo.h"

#include <QByteArray>
#include <QString>
#include <vector>

namespace varnelo::cd {

// One release of a MusicBrainz disc-id answer, as album information for the disc.
struct MusicBrainzRelease {
    QString id;
    QString label; // "Artist / Album (1976, AU)" for a choice between several
    AlbumInfo info;
};

// Parses the JSON of /ws/2/discid/<id>?inc=recordings+artist-credits: every
// release with a medium that holds the disc (or, for a table-of-contents
// match, `tracks` tracks). Anything that is not such an answer gives none.
std::vector<MusicBrainzRelease> parseMusicBrainzDiscAnswer(const QByteArray &json, const QString &discId,
                                                           int tracks);

} // namespace varnelo::cd
