#pragma once
#include <QSet>
#include <QString>

namespace varnelo {

// One listed track: the ripper takes its names and tags from here, not from the rows.
struct TrackEntry {
    QString Title;
    QString Artist;
    QString Album;
    QString Genre;
    QString Year; // from the album information, when it has one
};

// The folder naming of the options' cb_name.
enum class RipFolderNaming { None = 0, Artist = 1, Album = 2 };

// The output path of track `number` (1-based): OutputFolder (ending in a
// separator), the artist or album folder by `naming`, then the title, each
// through CleanFileName, and the extension. A name that would be empty or
// would climb out of its folder ("..") takes the placeholder the list shows
// for a track without information; a name too long for the file system is
// shortened. A path already in `taken` (an earlier track of the same rip) or
// on disk gets " (2)", " (3)"... so no track overwrites another or a file.
QString RipOutputPath(const QString &outputFolder, int naming, const TrackEntry &entry, int number,
                      const QString &extension, const QSet<QString> &taken = {});

// "01" to "09", then "10", "11"...
QString TrackNumberText(int number);

} // namespace varnelo
