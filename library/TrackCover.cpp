#include "library/TrackCover.h"

#include "common/Error.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace varnelo {

TrackCover findTrackCover(const QString &audioFile) {
    TrackCover cover;
    try {
        cover.image = AudioInformation().LoadCover(audioFile);
    } catch (const Error &) {
        // A file whose tags cannot be read has no picture of its own.
    }
    if (!cover.isNull() &&
        (cover.image.mime == QLatin1String("image/jpeg") || cover.image.mime == QLatin1String("image/png")))
        return cover;
    cover = {};
    const QDir dir = QFileInfo(audioFile).absoluteDir();
    for (const char *name : {"cover.jpg", "folder.jpg", "cover.png", "front.jpg"}) {
        const QString path = dir.filePath(QLatin1String(name));
        if (!QFileInfo(path).isFile())
            continue;
        try {
            cover.image = AudioInformation::ReadCoverImage(path);
            cover.besideFile = path;
            return cover;
        } catch (const Error &) {
            // Not a picture after all: look for the next name.
        }
    }
    return {};
}

QString coverFileOf(const TrackCover &cover, const QString &pathWithoutExtension) {
    if (cover.isNull())
        return {};
    if (!cover.besideFile.isEmpty())
        return cover.besideFile;
    const QString path =
        pathWithoutExtension +
        (cover.image.mime == QLatin1String("image/png") ? QStringLiteral(".png") : QStringLiteral(".jpg"));
    QSaveFile out(path);
    if (QDir().mkpath(QFileInfo(path).absolutePath()) && out.open(QIODevice::WriteOnly) &&
        out.write(cover.image.data) == cover.image.data.size() && out.commit())
        return path;
    return {};
}

} // namespace varnelo
