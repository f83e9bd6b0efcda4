#pragma once
#include "platform/cd/AccurateRip.h"
#include "platform/cd/SectorReader.h"

#include <QString>
#include <atomic>
#include <optional>
#include <vector>

namespace varnelo::cd {

// Read offsets searched, in samples each way: drives' offsets lie well inside.
constexpr int OffsetSearchRange = 3000;

// The AccurateRip checksums of one track at every read offset within ±range,
// from one read of the track with `range` frames of margin on each side.
//
// v1 = Σ i·w_i (mod 2^32) over the window: moving the window one frame on is
// exact in O(1) from the plain sum Σ w_i and the words leaving and entering.
// v2 adds Σ hi32(i·w_i), which is not linear in the window: it has no exact
// O(1) update. v2 = v1 + H (mod 2^32) with H = Σ floor(i·w_i / 2^32), and the
// exact Σ i·w_i (kept in 128 bits by the same O(1) update) bounds H to
// [floor(Σ i·w_i / 2^32) − n, floor(Σ i·w_i / 2^32)], n the nonzero words of
// the window. A record's checksum outside that band cannot be the v2 checksum;
// one inside it (a fraction n / 2^32 of all values) is confirmed by a full pass.
class TrackOffsetScan {
public:
    // `samples`: interleaved 16-bit stereo of frames + 2·range frames; the
    // track's frame k at offset o is frame range + o + k of them.
    TrackOffsetScan(std::vector<qint16> samples, qint64 frames, int range, bool firstTrack, bool lastTrack);

    int range() const { return range_; }
    quint32 v1(int offset) const { return sums_[std::size_t(offset + range_)].v1; }
    // False when the v2 checksum at `offset` cannot be `crc`; true leaves it to v2().
    bool mayBeV2(int offset, quint32 crc) const;
    // The v2 checksums at `offsets`, computed in full: one pass over the track.
    // Stops early (the values then mean nothing) when `abort` is set.
    std::vector<quint32> v2(const std::vector<int> &offsets, const std::atomic<bool> *abort = nullptr) const;
    // Gives the samples back (for their memory); the scan is of no use after it.
    std::vector<qint16> takeSamples() { return std::move(samples_); }

private:
    struct Sums {
        quint32 v1 = 0;
        quint32 hLow = 0; // low 32 bits of the least H can be
        quint32 span = 0; // H lies in [hLow, hLow + span] (mod 2^32)
    };
    std::vector<qint16> samples_;
    qint64 frames_;
    int range_;
    bool first_, last_;
    std::vector<Sums> sums_;
};

// For each offset −range..range (index offset + range): the highest confidence
// among the records whose v1 or v2 checksum of track `index` (0-based among
// the audio tracks) matches there, -1 where none does.
std::vector<int> trackMatches(const TrackOffsetScan &scan, int index,
                              const std::vector<AccurateRipPressing> &pressings,
                              const std::atomic<bool> *abort = nullptr);

struct OffsetMatch {
    int offset = 0;
    int tracks = 0;     // tracks that match at it
    int confidence = 0; // the highest among their matching records
};

// The offset where the most tracks match; on a tie the higher confidence,
// then the offset nearer zero. Nullopt when no track matches anywhere.
std::optional<OffsetMatch> bestOffset(const std::vector<std::vector<int>> &matches, int range);

struct OffsetSearch {
    std::optional<OffsetMatch> match;
    int audioTracks = 0;
    int uncorrected = 0; // sectors paranoia could not correct: their checksums are doubtful
    QString error;       // the read failed or was stopped
};

// Reads the audio of the disc in `device` once, from `range` frames before
// its first track to `range` frames after its last (silence beyond the disc's
// ends, as a rip with an offset reads it), and finds the offset at which the
// pressings' checksums match. `mode.offset` is ignored. Stops within a sector
// read when `abort` is set.
OffsetSearch findReadOffset(const QString &device, ReadMode mode,
                            const std::vector<AccurateRipPressing> &pressings, const std::atomic<bool> *abort,
                            int range = OffsetSearchRange);

} // namespace varnelo::cd
