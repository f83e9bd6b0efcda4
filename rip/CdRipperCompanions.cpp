// What a rip leaves beside its files: the cue sheet, the playlist and the
// front cover, and the disc facts the tags take from the same source.
#include "common/Error.h"
#include "common/FileGuards.h"
#include "convert/EncoderSetup.h"
#include "platform/cd/AudioCDGrabber.h"
#include "platform/tags/AudioInformation.h"
#include "rip/CdRipper.h"
#include "rip/CoverArt.h"

#include <QDir>
#include <QFileInfo>

namespace varnelo {

namespace {

using files::writeAtomically;

QString note(const QString &label, const QString &value) {
    return QStringLiteral("%1 %2").arg(label + QLatin1Char(':'), -16).arg(value);
}

} // namespace

void CdRipper::startCompanions(const cd::DiscToc &toc) {
    lastNotes_.clear();
    coverPending_ = false;
    if (kind_ == int(EncoderKind::Flac)) {
        const int level = settings_.readInteger(keys::FlacLevel);
        log_.format +=
            QStringLiteral(" level %1").arg(level >= 0 && level <= 8 ? level : keys::FlacLevel.def);
    }
    disc_ = RipDisc();
    disc_.toc = toc;
    disc_.details = cd::readDiscDetails(grabber_.DriveId(), toc);
    disc_.cddbId = cd::CddbDiscId(toc);
    disc_.musicBrainzDiscId = cd::MusicBrainzDiscId(toc);
    const auto &info = grabber_.AlbumInformation();
    disc_.albumArtist = info && !info->artist.isEmpty() ? info->artist : toc.performer;
    disc_.album = info && !info->album.isEmpty() ? info->album : toc.title;
    if (info)
        disc_.musicBrainzRelease = info->releaseId();
    for (int i = 0; i < toc.audioTrackCount(); ++i) {
        const cd::TocTrack *t = toc.audioTrack(i);
        const cd::AlbumInfo::Track *known =
            info && std::size_t(i) < info->tracks.size() ? &info->tracks[std::size_t(i)] : nullptr;
        RipDisc::Names names;
        names.title = known && !known->title.isEmpty() ? known->title : t->title;
        names.performer = known && !known->artist.isEmpty() ? known->artist : t->performer;
        disc_.trackNames.push_back(names);
    }
}

void CdRipper::writeCompanions(const std::vector<Planned> &tracks, const QString &folder) {
    std::vector<RippedTrack> ripped;
    for (const Planned &p : tracks)
        if (p.log.result.status == cd::GrabResult::Status::Done)
            ripped.push_back(
                {std::max(0, audioIndexOf(p)), p.path, p.log.title, p.log.artist, p.log.number == 0});
    if (ripped.empty())
        return;
    QString base = log_.fileName();
    base.chop(4); // ".log"
    QString error;

    // Only a sheet of the whole disc can stand for it.
    const auto hidden =
        std::count_if(ripped.begin(), ripped.end(), [](const RippedTrack &r) { return r.hidden; });
    if (int(ripped.size() - hidden) == disc_.toc.audioTrackCount()) {
        const QString cue = QDir(folder).filePath(base + QStringLiteral(".cue"));
        if (writeAtomically(cue, cueSheetText(disc_, ripped, folder), error))
            lastNotes_ << note(QStringLiteral("Cue sheet"), QFileInfo(cue).fileName());
        else
            lastNotes_ << note(QStringLiteral("Cue sheet"), QStringLiteral("not written: ") + error);
    } else {
        lastNotes_ << note(QStringLiteral("Cue sheet"), QStringLiteral("none: not every track was ripped"));
    }
    const QString playlist = QDir(folder).filePath(base + QStringLiteral(".m3u"));
    if (writeAtomically(playlist, playlistText(disc_, ripped, folder), error))
        lastNotes_ << note(QStringLiteral("Playlist"), QFileInfo(playlist).fileName());
    else
        lastNotes_ << note(QStringLiteral("Playlist"), QStringLiteral("not written: ") + error);

    if (disc_.musicBrainzRelease.isEmpty() || coverServer.isEmpty() || !coverServer.isValid())
        return;
    if (cover_->image().isEmpty()) {
        lastNotes_ << note(QStringLiteral("Cover"), cover_->note());
        return;
    }
    const QString cover =
        QDir(folder).filePath(cover_->mimeType() == QLatin1String("image/png") ? QStringLiteral("cover.png")
                                                                               : QStringLiteral("cover.jpg"));
    if (!writeAtomically(cover, cover_->image(), error)) {
        lastNotes_ << note(QStringLiteral("Cover"), QStringLiteral("not written: ") + error);
        return;
    }
    int embedded = 0;
    QStringList failed;
    // WAV files keep their cover beside them.
    if (kind_ != int(EncoderKind::Wav)) {
        for (const RippedTrack &r : ripped) {
            try {
                tags_.SaveCover(r.path, cover);
                ++embedded;
            } catch (const Error &e) {
                failed << e.message();
            }
        }
    }
    const QString where = kind_ == int(EncoderKind::Wav)
                              ? QStringLiteral("beside the WAV files")
                              : QStringLiteral("embedded in %1 of %2 files").arg(embedded).arg(ripped.size());
    lastNotes_ << note(QStringLiteral("Cover"),
                       QStringLiteral("%1 (release %2), %3")
                           .arg(QFileInfo(cover).fileName(), disc_.musicBrainzRelease, where));
    for (const QString &why : failed)
        lastNotes_ << note(QStringLiteral("  not embedded"), why);
}

} // namespace varnelo
