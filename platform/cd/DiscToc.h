#pragma once
#include <QString>
#include <QtGlobal>
#include <vector>

namespace varnelo::cd {

// Red Book units: a sector (frame) is 1/75 s of 16-bit stereo at 44100 Hz.
constexpr int SectorsPerSecond = 75;
constexpr int SectorBytes = 2352;
constexpr int FramesPerSector = 588;
// LBA 0 is absolute frame 150 (the two-second pregap before track 1).
constexpr int PregapSectors = 150;
// Between the audio session and the data session of an enhanced CD.
constexpr int SessionGapSectors = 11400;

struct TocTrack {
    int number = 0;     // 1..99 as on the disc
    qint32 start = 0;   // LBA of index 1
    qint32 sectors = 0; // audio sectors of the track
    bool audio = true;
    bool preEmphasis = false; // recorded with pre-emphasis (FLAGS PRE, the TOC's control bits)
    QString title;            // CD-Text, empty when the disc has none
    QString performer;
};

// The table of contents of one disc, with the disc's CD-Text.
struct DiscToc {
    std::vector<TocTrack> tracks; // every track in order, data tracks included
    qint32 leadout = 0;           // LBA of the lead-out of the whole disc
    // A data session follows the audio (enhanced CD): the audio ends a
    // session gap before the data track.
    bool multiSession = false;
    QString title;     // CD-Text album title
    QString performer; // CD-Text album artist
    QString genre;     // CD-Text genre text

    int audioTrackCount() const;
    // Index into `tracks` of the n-th audio track (0-based), -1 when none.
    int audioTrackIndex(int n) const;
    const TocTrack *audioTrack(int n) const;
    // The lead-out of the audio part: the disc's, or the session gap before a
    // data track that follows the audio in a second session.
    qint32 audioLeadout() const;
    bool empty() const { return tracks.empty(); }
};

// The CDDB disc id as 8 lower-case hex digits and as a number.
quint32 CddbDiscIdValue(const DiscToc &toc);
QString CddbDiscId(const DiscToc &toc);
// "<discid> <ntrks> <off1> ... <offN> <nsecs>" for "cddb query".
QString CddbQueryArguments(const DiscToc &toc);
// The MusicBrainz disc id of the audio tracks (28 characters).
QString MusicBrainzDiscId(const DiscToc &toc);

struct AccurateRipIds {
    quint32 id1 = 0;
    quint32 id2 = 0;
    quint32 cddb = 0;
    int audioTracks = 0;
};
AccurateRipIds accurateRipIds(const DiscToc &toc);
// "a/5/d/dBAR-012-0013bd5a-00b8d489-c60af50d.bin": the database path of the disc.
QString accurateRipPath(const AccurateRipIds &ids);

// "m:ss:ff" of a length in sectors (4:07:33).
QString sectorTimeText(qint64 sectors);

} // namespace varnelo::cd
