#pragma once
#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <deque>
#include <optional>
#include <vector>

namespace varnelo::cd {

// The AccurateRip v1 and v2 checksums of one track, fed with its 16-bit
// stereo frames in order. The first track of the disc leaves out its first
// five sectors but one frame, the last track its last five sectors.
class AccurateRipChecksum {
public:
    AccurateRipChecksum(bool firstTrack, bool lastTrack);
    void add(const qint16 *interleaved, std::size_t frames);
    void finish();
    quint32 v1() const { return v1_; }
    quint32 v2() const { return v2_; }

private:
    void addWord(quint32 word, quint64 position);
    bool first_, last_;
    quint64 position_ = 0; // of the last word added, counted from 1
    quint32 v1_ = 0, v2_ = 0;
    // The last track's newest words wait here until it is clear they are not
    // among the last five sectors.
    std::deque<std::pair<quint32, quint64>> held_;
};

// One pressing of a disc in the database: the confidence and CRC per track.
struct AccurateRipPressing {
    quint32 id1 = 0, id2 = 0, cddb = 0;
    struct Track {
        int confidence = 0;
        quint32 crc = 0;
        quint32 frame450Crc = 0;
    };
    std::vector<Track> tracks;
};

// Parses a database file (dBAR-...bin): one or more pressings. A body that
// breaks off inside a record, or whose record names no track, is refused
// (nullopt) rather than half read.
std::optional<std::vector<AccurateRipPressing>> parseAccurateRipDatabase(const QByteArray &bytes);

// What the database says of one ripped track.
struct AccurateRipVerdict {
    enum class Kind { Accurate, NotAccurate, NotInDatabase, Unknown };
    Kind kind = Kind::Unknown;
    int confidence = 0;
    int version = 0;      // 1 or 2 for Accurate
    QString text() const; // "Accurate (confidence 5)", "Not accurate", "Not in database", ""
};

// Track `index` (0-based among the audio tracks) with checksums v1/v2 against
// the pressings of the disc; an empty list means the disc is not in the database.
AccurateRipVerdict verifyAccurateRip(const std::vector<AccurateRipPressing> &pressings, int index, quint32 v1,
                                     quint32 v2);

} // namespace varnelo::cd
