#include "rip/RipSheet.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace varnelo {

namespace {

// A value between quotes on one line: no quotes, no control characters.
QString quoted(QString text) {
    text.replace(QLatin1Char('"'), QLatin1Char('\''));
    for (QChar &c : text)
        if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return QLatin1Char('"') + text.simplified() + QLatin1Char('"');
}

QString msf(qint64 sectors) {
    return QStringLiteral("%1:%2:%3")
        .arg(sectors / (60 * cd::SectorsPerSecond), 2, 10, QLatin1Char('0'))
        .arg(sectors / cd::SectorsPerSecond % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % cd::SectorsPerSecond, 2, 10, QLatin1Char('0'));
}

QString relative(const QString &folder, const QString &path) {
    const QDir dir(QFileInfo(folder).absoluteFilePath());
    return QDir::fromNativeSeparators(dir.relativeFilePath(QFileInfo(path).absoluteFilePath()));
}

bool isrcShape(const QString &isrc) {
    static const QRegularExpression shape(QStringLiteral("^[A-Z0-9]{12}$"));
    return shape.match(isrc).hasMatch();
}

} // namespace

QMap<QString, QString> discVorbisFields(const RipDisc &disc) {
    QMap<QString, QString> f;
    const auto put = [&](const char *name, const QString &value) {
        if (!value.isEmpty())
            f.insert(QLatin1String(name), value);
    };
    put("ALBUMARTIST", disc.albumArtist);
    put("TRACKTOTAL", QString::number(disc.toc.audioTrackCount()));
    put("DISCID", disc.cddbId);
    put("MUSICBRAINZ_DISCID", disc.musicBrainzDiscId);
    put("MUSICBRAINZ_ALBUMID", disc.musicBrainzRelease);
    return f;
}

QByteArray cueSheetText(const RipDisc &disc, const std::vector<RippedTrack> &tracks, const QString &folder) {
    QString t;
    const auto line = [&t](const QString &text) { t += text + QLatin1Char('\n'); };
    if (!disc.cddbId.isEmpty())
        line(QStringLiteral("REM DISCID %1").arg(disc.cddbId.toUpper()));
    line(QStringLiteral("REM COMMENT \"Varnelo\""));
    if (!disc.details.catalog.isEmpty())
        line(QStringLiteral("CATALOG %1").arg(disc.details.catalog));
    if (!disc.albumArtist.isEmpty())
        line(QStringLiteral("PERFORMER ") + quoted(disc.albumArtist));
    if (!disc.album.isEmpty())
        line(QStringLiteral("TITLE ") + quoted(disc.album));
    qint32 fileStart = 0; // LBA of the open file's first sector
    bool fileOpen = false;
    QString hiddenFile; // the first track's pregap, ripped as a track of its own
    for (const RippedTrack &r : tracks)
        if (r.hidden)
            hiddenFile = QStringLiteral("FILE %1 WAVE").arg(quoted(relative(folder, r.path)));
    for (const RippedTrack &r : tracks) {
        if (r.hidden)
            continue;
        const int index = disc.toc.audioTrackIndex(r.audioIndex);
        if (index < 0)
            continue;
        const cd::TocTrack &track = disc.toc.tracks[std::size_t(index)];
        const cd::SheetTrackInfo *info = disc.details.track(std::size_t(index));
        const bool pregapInFile =
            fileOpen && info && info->pregapStart > fileStart && info->pregapStart < track.start;
        const QString file = QStringLiteral("FILE %1 WAVE").arg(quoted(relative(folder, r.path)));
        const bool hiddenBefore = index == 0 && !hiddenFile.isEmpty();
        // A pregap in the file before: the track begins there, its INDEX 01 in its own file.
        if (hiddenBefore)
            line(hiddenFile);
        else if (!pregapInFile)
            line(file);
        // Data tracks ahead of the audio (a mixed-mode disc) have no file: each
        // stands as a placeholder of its length, so the audio keeps its place.
        for (int k = 0; !fileOpen && k < index; ++k) {
            const cd::TocTrack &data = disc.toc.tracks[std::size_t(k)];
            line(QStringLiteral("  TRACK %1 MODEX/2XXX").arg(data.number, 2, 10, QLatin1Char('0')));
            line(QStringLiteral("    INDEX 00 00:00:00"));
            line(QStringLiteral("    POSTGAP %1")
                     .arg(msf(disc.toc.tracks[std::size_t(k) + 1].start - data.start)));
        }
        line(QStringLiteral("  TRACK %1 AUDIO").arg(track.number, 2, 10, QLatin1Char('0')));
        if (std::size_t(r.audioIndex) < disc.trackNames.size()) {
            const RipDisc::Names &names = disc.trackNames[std::size_t(r.audioIndex)];
            if (!names.title.isEmpty())
                line(QStringLiteral("    TITLE ") + quoted(names.title));
            if (!names.performer.isEmpty())
                line(QStringLiteral("    PERFORMER ") + quoted(names.performer));
        }
        if (info && isrcShape(info->isrc))
            line(QStringLiteral("    ISRC %1").arg(info->isrc));
        if (info && info->preEmphasis)
            line(QStringLiteral("    FLAGS PRE"));
        if (hiddenBefore) {
            line(QStringLiteral("    INDEX 00 00:00:00"));
            line(file);
        } else if (pregapInFile) {
            line(QStringLiteral("    INDEX 00 %1").arg(msf(info->pregapStart - fileStart)));
            line(file);
        } else if (index == 0 && track.start > 0) {
            line(QStringLiteral("    PREGAP %1").arg(msf(track.start)));
        }
        line(QStringLiteral("    INDEX 01 00:00:00"));
        if (info) {
            int n = 2;
            for (const qint32 at : info->indexes)
                if (at > track.start && at < track.start + track.sectors && n <= 99)
                    line(QStringLiteral("    INDEX %1 %2")
                             .arg(n++, 2, 10, QLatin1Char('0'))
                             .arg(msf(at - track.start)));
        }
        fileStart = track.start;
        fileOpen = true;
    }
    // A data track after the audio (an enhanced CD) has no file: it stands as
    // a placeholder of its length, so that the sheet keeps the disc's ids.
    const int lastAudio = disc.toc.audioTrackIndex(disc.toc.audioTrackCount() - 1);
    if (fileOpen && !tracks.empty() && tracks.back().audioIndex == disc.toc.audioTrackCount() - 1 &&
        lastAudio + 1 < int(disc.toc.tracks.size())) {
        const cd::TocTrack &data = disc.toc.tracks[std::size_t(lastAudio) + 1];
        const cd::TocTrack &audio = disc.toc.tracks[std::size_t(lastAudio)];
        if (disc.toc.multiSession)
            line(QStringLiteral("REM SESSION 02"));
        line(QStringLiteral("  TRACK %1 MODEX/2XXX").arg(data.number, 2, 10, QLatin1Char('0')));
        line(QStringLiteral("    INDEX 00 %1").arg(msf(audio.start + audio.sectors - fileStart)));
        line(QStringLiteral("    POSTGAP %1").arg(msf(disc.toc.leadout - data.start)));
    }
    return t.toUtf8();
}

QByteArray playlistText(const RipDisc &disc, const std::vector<RippedTrack> &tracks, const QString &folder) {
    QString t = QStringLiteral("#EXTM3U\n");
    for (const RippedTrack &r : tracks) {
        const cd::TocTrack *track = disc.toc.audioTrack(r.audioIndex);
        const qint64 sectors = !track ? -1 : r.hidden ? track->start : track->sectors;
        const qint64 seconds = sectors < 0 ? -1 : (sectors + cd::SectorsPerSecond - 1) / cd::SectorsPerSecond;
        QString name = r.artist.isEmpty() ? r.title : r.artist + QStringLiteral(" - ") + r.title;
        for (QChar &c : name)
            if (c.category() == QChar::Other_Control)
                c = QLatin1Char(' ');
        t += QStringLiteral("#EXTINF:%1,%2\n%3\n")
                 .arg(seconds)
                 .arg(name.simplified(), relative(folder, r.path));
    }
    return t.toUtf8();
}

} // namespace varnelo
