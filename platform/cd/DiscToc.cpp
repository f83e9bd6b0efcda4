#include "platform/cd/DiscToc.h"

#include <QCryptographicHash>
#include <QStringList>

namespace varnelo::cd {

int DiscToc::audioTrackCount() const {
    int n = 0;
    for (const TocTrack &t : tracks)
        n += t.audio ? 1 : 0;
    return n;
}

int DiscToc::audioTrackIndex(int n) const {
    if (n < 0)
        return -1;
    for (std::size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].audio && n-- == 0)
            return int(i);
    return -1;
}

const TocTrack *DiscToc::audioTrack(int n) const {
    const int i = audioTrackIndex(n);
    return i < 0 ? nullptr : &tracks[std::size_t(i)];
}

qint32 DiscToc::audioLeadout() const {
    // The first data track after the last audio track starts the data session.
    int lastAudio = -1;
    for (std::size_t i = 0; i < tracks.size(); ++i)
        if (tracks[i].audio)
            lastAudio = int(i);
    if (lastAudio >= 0 && std::size_t(lastAudio + 1) < tracks.size() && multiSession)
        return tracks[std::size_t(lastAudio + 1)].start - SessionGapSectors;
    if (lastAudio >= 0 && std::size_t(lastAudio + 1) < tracks.size())
        return tracks[std::size_t(lastAudio + 1)].start;
    return leadout;
}

namespace {

int digitSum(int n) {
    int sum = 0;
    for (; n > 0; n /= 10)
        sum += n % 10;
    return sum;
}

int absoluteSeconds(qint32 lba) {
    return (lba + PregapSectors) / SectorsPerSecond;
}

} // namespace

quint32 CddbDiscIdValue(const DiscToc &toc) {
    if (toc.tracks.empty())
        return 0;
    int n = 0;
    for (const TocTrack &t : toc.tracks)
        n += digitSum(absoluteSeconds(t.start));
    const int length = absoluteSeconds(toc.leadout) - absoluteSeconds(toc.tracks.front().start);
    return (quint32(n % 255) << 24) | (quint32(length) << 8) | quint32(toc.tracks.size());
}

QString CddbDiscId(const DiscToc &toc) {
    return QStringLiteral("%1").arg(CddbDiscIdValue(toc), 8, 16, QLatin1Char('0'));
}

QString CddbQueryArguments(const DiscToc &toc) {
    QStringList parts{CddbDiscId(toc), QString::number(toc.tracks.size())};
    for (const TocTrack &t : toc.tracks)
        parts << QString::number(t.start + PregapSectors);
    parts << QString::number((toc.leadout + PregapSectors) / SectorsPerSecond);
    return parts.join(QLatin1Char(' '));
}

QString MusicBrainzDiscId(const DiscToc &toc) {
    int first = 0, last = 0;
    qint32 offsets[100] = {};
    for (const TocTrack &t : toc.tracks) {
        if (!t.audio || t.number < 1 || t.number > 99)
            continue;
        if (first == 0)
            first = t.number;
        last = t.number;
        offsets[t.number] = t.start + PregapSectors;
    }
    if (first == 0)
        return {};
    offsets[0] = toc.audioLeadout() + PregapSectors;
    QByteArray text = QByteArray::number(first, 16).rightJustified(2, '0').toUpper() +
                      QByteArray::number(last, 16).rightJustified(2, '0').toUpper();
    for (qint32 offset : offsets)
        text += QByteArray::number(quint32(offset), 16).rightJustified(8, '0').toUpper();
    QByteArray id = QCryptographicHash::hash(text, QCryptographicHash::Sha1).toBase64();
    id.replace('+', '.').replace('/', '_').replace('=', '-');
    return QString::fromLatin1(id);
}

AccurateRipIds accurateRipIds(const DiscToc &toc) {
    // Checked against discs in the database: the audio tracks count, at their
    // numbers, and the lead-out is the disc's own, after a trailing data track.
    AccurateRipIds ids;
    ids.cddb = CddbDiscIdValue(toc);
    for (const TocTrack &t : toc.tracks) {
        if (!t.audio)
            continue;
        ++ids.audioTracks;
        ids.id1 += quint32(t.start);
        ids.id2 += quint32(std::max<qint32>(t.start, 1)) * quint32(t.number);
    }
    ids.id1 += quint32(toc.leadout);
    ids.id2 += quint32(toc.leadout) * quint32(ids.audioTracks + 1);
    return ids;
}

QString accurateRipPath(const AccurateRipIds &ids) {
    const auto hex8 = [](quint32 v) { return QStringLiteral("%1").arg(v, 8, 16, QLatin1Char('0')); };
    return QStringLiteral("%1/%2/%3/dBAR-%4-%5-%6-%7.bin")
        .arg(ids.id1 & 0xF, 0, 16)
        .arg((ids.id1 >> 4) & 0xF, 0, 16)
        .arg((ids.id1 >> 8) & 0xF, 0, 16)
        .arg(ids.audioTracks, 3, 10, QLatin1Char('0'))
        .arg(hex8(ids.id1), hex8(ids.id2), hex8(ids.cddb));
}

QString sectorTimeText(qint64 sectors) {
    const qint64 seconds = sectors / SectorsPerSecond;
    return QStringLiteral("%1:%2:%3")
        .arg(seconds / 60)
        .arg(seconds % 60, 2, 10, QLatin1Char('0'))
        .arg(sectors % SectorsPerSecond, 2, 10, QLatin1Char('0'));
}

} // namespace varnelo::cd
