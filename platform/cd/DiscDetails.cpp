#include "platform/cd/DiscDetails.h"

#include "platform/cd/CdDrive.h"

#include <QFile>

#include <cdio/cdio.h>
#include <cdio/disc.h>
#include <cdio/track.h>

namespace varnelo::cd {

namespace {

// ISRCs are 12 letters and digits, catalog numbers 13 digits; a drive's
// answer that is anything else (often blanks or zeros) is no answer.
QString checked(char *raw, int length, bool digitsOnly) {
    const QString text = raw ? QString::fromLatin1(raw).trimmed() : QString();
    if (raw)
        cdio_free(raw);
    if (text.size() != length || text == QString(length, QLatin1Char('0')))
        return {};
    for (const QChar c : text)
        if (!(c.isDigit() || (!digitsOnly && c.isUpper() && c.unicode() < 128)))
            return {};
    return text;
}

} // namespace

DiscDetails readDiscDetails(const QString &device, const DiscToc &toc) {
    DiscDetails d;
    if (isDiscImagePath(device)) {
        SheetResult read = readDiscSheet(device);
        if (read.sheet && read.sheet->toc.tracks.size() == toc.tracks.size()) {
            d.catalog = read.sheet->catalog;
            d.tracks = read.sheet->info;
        }
        return d;
    }
    const QByteArray local = QFile::encodeName(device);
    CdIo_t *cdio = cdio_open(local.constData(), DRIVER_DEVICE);
    if (!cdio)
        return d;
    d.catalog = checked(cdio_get_mcn(cdio), 13, true);
    for (const TocTrack &t : toc.tracks) {
        SheetTrackInfo info;
        if (t.audio) {
            info.isrc = checked(cdio_get_track_isrc(cdio, track_t(t.number)), 12, false);
            const lsn_t pregap = cdio_get_track_pregap_lsn(cdio, track_t(t.number));
            if (pregap != CDIO_INVALID_LSN && pregap >= 0 && pregap < t.start)
                info.pregapStart = pregap;
            info.preEmphasis = cdio_get_track_preemphasis(cdio, track_t(t.number)) == CDIO_TRACK_FLAG_TRUE;
        }
        d.tracks.push_back(info);
    }
    cdio_destroy(cdio);
    return d;
}

} // namespace varnelo::cd
