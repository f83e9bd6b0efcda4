#include "rip/RipNaming.h"

#include "convert/EncoderSetup.h"

#include <QDir>
#include <QFileInfo>

namespace varnelo {

namespace {

// File names are at most 255 bytes on the file systems the files live on.
constexpr int NameBytes = 240;

QString shortened(const QString &name, int reserve) {
    QString s = name;
    while (s.toUtf8().size() + reserve > NameBytes && !s.isEmpty())
        s.chop(1);
    if (!s.isEmpty() && s.back().isHighSurrogate())
        s.chop(1);
    return s;
}

QString safeName(const QString &text, const QString &fallback, int reserve = 0) {
    QString name = shortened(CleanFileName(text), reserve);
    const bool onlyDots = !name.isEmpty() && name.count(QLatin1Char('.')) == name.size();
    if (name.trimmed().isEmpty() || onlyDots)
        name = fallback;
    return name;
}

} // namespace

QString TrackNumberText(int number) {
    return number < 10 ? QStringLiteral("0%1").arg(number) : QString::number(number);
}

QString RipOutputPath(const QString &outputFolder, int naming, const TrackEntry &entry, int number,
                      const QString &extension, const QSet<QString> &taken) {
    QString folder = outputFolder;
    if (naming == int(RipFolderNaming::Artist))
        folder += safeName(entry.Artist, QStringLiteral("Unknown Artist")) + QDir::separator();
    else if (naming == int(RipFolderNaming::Album))
        folder += safeName(entry.Album, QStringLiteral("Unknown Album")) + QDir::separator();
    const QString title = safeName(entry.Title, QStringLiteral("Track") + TrackNumberText(number),
                                   int(extension.toUtf8().size()) + 5);
    QString path = folder + title + extension;
    // A file already there (or a link, even a dangling one) is never written over.
    const auto inUse = [&taken](const QString &p) {
        const QFileInfo info(p);
        return taken.contains(p) || info.exists() || info.isSymLink();
    };
    for (int n = 2; inUse(path); ++n)
        path = folder + title + QStringLiteral(" (%1)").arg(n) + extension;
    return path;
}

} // namespace varnelo
