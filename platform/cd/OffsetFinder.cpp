#include "platform/cd/OffsetFinder.h"

#include "platform/cd/CdDrive.h"
#include "platform/cd/DiscToc.h"

#include <QCoreApplication>
#include <algorithm>
#include <cstdlib>
#include <limits>

namespace varnelo::cd {

namespace {

using Wide = unsigned __int128;

// As AccurateRipChecksum leaves them out: the first track's first five
// sectors but one frame, the last track's last five sectors.
constexpr qint64 EdgeWords = 5 * FramesPerSector;

QString tr(const char *text) {
    return QCoreApplication::translate("OffsetFinder", text);
}

} // namespace

TrackOffsetScan::TrackOffsetScan(std::vector<qint16> samples, qint64 frames, int range, bool firstTrack,
                                 bool lastTrack)
    : samples_(std::move(samples)), frames_(std::max<qint64>(frames, 0)), range_(std::max(range, 0)),
      first_(firstTrack), last_(lastTrack) {
    sums_.resize(std::size_t(2 * range_ + 1));
    samples_.resize(std::size_t(frames_ + 2 * range_) * 2);
    // Positions counted from 1, as the checksum counts them.
    const qint64 lo = first_ ? EdgeWords : 1;
    const qint64 hi = last_ ? frames_ - EdgeWords : frames_;
    if (hi < lo)
        return; // nothing counts: every checksum is zero
    const auto word = [this](qint64 frame) -> quint64 {
        return quint64(quint16(samples_[std::size_t(2 * frame)])) |
               (quint64(quint16(samples_[std::size_t(2 * frame + 1)])) << 16);
    };
    // The window at offset −range: position i is frame i − 1 of the samples.
    Wide weighted = 0;   // Σ i·w_i, exact
    quint64 plain = 0;   // Σ w_i, exact
    quint32 nonzero = 0; // words that are not silence
    for (qint64 i = lo; i <= hi; ++i) {
        const quint64 w = word(i - 1);
        weighted += Wide(quint64(i)) * w;
        plain += w;
        nonzero += w != 0 ? 1 : 0;
    }
    for (int k = 0;; ++k) {
        const quint64 high = quint64(weighted >> 32);
        sums_[std::size_t(k)] = {quint32(weighted), quint32(high) - nonzero, nonzero};
        if (k == 2 * range_)
            break;
        // One frame on: every word's weight drops by one, the word at lo
        // leaves (its weight was lo), the one after hi enters with weight hi.
        const quint64 out = word(k + lo - 1), in = word(k + hi);
        weighted = weighted - plain - Wide(quint64(lo - 1)) * out + Wide(quint64(hi)) * in;
        plain = plain - out + in;
        nonzero = nonzero - (out != 0 ? 1 : 0) + (in != 0 ? 1 : 0);
    }
}

bool TrackOffsetScan::mayBeV2(int offset, quint32 crc) const {
    const Sums &s = sums_[std::size_t(offset + range_)];
    return quint32(crc - s.v1 - s.hLow) <= s.span;
}

std::vector<quint32> TrackOffsetScan::v2(const std::vector<int> &offsets,
                                         const std::atomic<bool> *abort) const {
    // The checksum's own sum over each window, in one pass over the track:
    // the track goes through the cache once in blocks, and each window takes
    // its share of every block.
    constexpr qint64 BlockFrames = 16384;
    const qint64 lo = first_ ? EdgeWords : 1;
    const qint64 hi = last_ ? frames_ - EdgeWords : frames_;
    std::vector<quint64> sums(offsets.size(), 0); // below 2^33 per word: no overflow
    for (qint64 from = lo; from <= hi && !(abort && abort->load()); from += BlockFrames) {
        const qint64 to = std::min(hi, from + BlockFrames - 1);
        for (std::size_t k = 0; k < offsets.size(); ++k) {
            // Position i is frame i − 1 of the window.
            const qint16 *window = samples_.data() + std::ptrdiff_t(range_ + offsets[k] - 1) * 2;
            quint64 low = 0, high = 0;
            for (qint64 i = from; i <= to; ++i) {
                const quint32 w =
                    quint32(quint16(window[2 * i])) | (quint32(quint16(window[2 * i + 1])) << 16);
                const quint64 product = quint64(i) * w;
                low += quint32(product);
                high += product >> 32;
            }
            sums[k] += low + high;
        }
    }
    return {sums.begin(), sums.end()};
}

std::vector<int> trackMatches(const TrackOffsetScan &scan, int index,
                              const std::vector<AccurateRipPressing> &pressings,
                              const std::atomic<bool> *abort) {
    const int range = scan.range();
    std::vector<int> best(std::size_t(2 * range + 1), -1);
    std::vector<AccurateRipPressing::Track> records;
    for (const AccurateRipPressing &p : pressings)
        if (index >= 0 && std::size_t(index) < p.tracks.size())
            records.push_back(p.tracks[std::size_t(index)]);
    std::vector<int> unsure; // offsets where a record may hold the v2 checksum
    for (int o = -range; o <= range; ++o) {
        bool screened = false;
        for (const AccurateRipPressing::Track &r : records) {
            if (r.crc == scan.v1(o))
                best[std::size_t(o + range)] = std::max(best[std::size_t(o + range)], r.confidence);
            else
                screened = screened || scan.mayBeV2(o, r.crc);
        }
        if (screened)
            unsure.push_back(o);
    }
    const std::vector<quint32> v2 = scan.v2(unsure, abort);
    for (std::size_t k = 0; k < unsure.size(); ++k)
        for (const AccurateRipPressing::Track &r : records)
            if (r.crc == v2[k])
                best[std::size_t(unsure[k] + range)] =
                    std::max(best[std::size_t(unsure[k] + range)], r.confidence);
    return best;
}

std::optional<OffsetMatch> bestOffset(const std::vector<std::vector<int>> &matches, int range) {
    std::optional<OffsetMatch> best;
    for (int o = -range; o <= range; ++o) {
        OffsetMatch m{o, 0, 0};
        for (const std::vector<int> &track : matches) {
            const int confidence = track.at(std::size_t(o + range));
            if (confidence >= 0) {
                ++m.tracks;
                m.confidence = std::max(m.confidence, confidence);
            }
        }
        if (m.tracks == 0)
            continue;
        if (!best || m.tracks > best->tracks ||
            (m.tracks == best->tracks &&
             (m.confidence > best->confidence ||
              (m.confidence == best->confidence && std::abs(o) < std::abs(best->offset)))))
            best = m;
    }
    return best;
}

OffsetSearch findReadOffset(const QString &device, ReadMode mode,
                            const std::vector<AccurateRipPressing> &pressings, const std::atomic<bool> *abort,
                            int range) {
    OffsetSearch result;
    range = std::clamp(range, 0, 50 * FramesPerSector);
    DiscState state;
    QString error;
    const std::unique_ptr<DiscHandle> disc = DiscHandle::open(device, state, error);
    if (!disc) {
        result.error = error.isEmpty() ? tr("There is no disc to read.") : error;
        return result;
    }
    const DiscToc &toc = disc->toc();
    const int count = toc.audioTrackCount();
    result.audioTracks = count;
    if (count == 0) {
        result.error = tr("The disc holds no audio tracks.");
        return result;
    }
    // Each track's frames with their margins, counted from LBA 0.
    std::vector<qint64> from(static_cast<std::size_t>(count)), to(static_cast<std::size_t>(count));
    for (int t = 0; t < count; ++t) {
        const TocTrack &track = *toc.audioTrack(t);
        from[std::size_t(t)] = qint64(track.start) * FramesPerSector - range;
        to[std::size_t(t)] = qint64(track.start + track.sectors) * FramesPerSector + range;
    }
    const qint64 discEnd = qint64(toc.audioLeadout()) * FramesPerSector;
    const qint64 readFrom = std::clamp<qint64>(from.front(), 0, discEnd);
    const qint64 readTo = std::clamp<qint64>(to.back(), readFrom, discEnd);
    const auto firstSector = qint32(readFrom / FramesPerSector);
    const auto endSector = qint32((readTo + FramesPerSector - 1) / FramesPerSector);

    mode.offset = 0;
    SectorReader reader(*disc, mode, nullptr, abort);
    if (!reader.open(error)) {
        result.error = error;
        return result;
    }
    if (endSector > firstSector)
        reader.startRange(firstSector, endSector - firstSector);

    // The samples of the tracks being read: at most the one ending and the
    // one beginning, whatever the disc's length. Silence where nothing is read.
    std::vector<std::vector<qint16>> samples(static_cast<std::size_t>(count));
    std::vector<std::vector<qint16>> spare; // a finished track's memory, already paged in, for the next
    std::vector<std::vector<int>> matches;
    const auto buffer = [&](int t) -> std::vector<qint16> & {
        std::vector<qint16> &b = samples[std::size_t(t)];
        if (b.empty()) {
            if (!spare.empty()) {
                b = std::move(spare.back());
                spare.pop_back();
            }
            b.assign(std::size_t(to[std::size_t(t)] - from[std::size_t(t)]) * 2, 0);
        }
        return b;
    };
    const auto finishUpTo = [&](qint64 frame) {
        while (int(matches.size()) < count && to[matches.size()] <= frame) {
            const int t = int(matches.size());
            const qint64 frames = to[std::size_t(t)] - from[std::size_t(t)] - 2 * qint64(range);
            TrackOffsetScan scan(std::move(buffer(t)), frames, range, t == 0, t == count - 1);
            samples[std::size_t(t)] = {};
            matches.push_back(trackMatches(scan, t, pressings, abort));
            spare.push_back(scan.takeSamples());
        }
    };
    for (qint32 s = firstSector; s < endSector; ++s) {
        if (abort && abort->load()) {
            result.error = tr("Stopped.");
            return result;
        }
        bool uncorrected = false;
        const qint16 *data = reader.readNext(uncorrected);
        if (!data) {
            result.error = abort && abort->load()
                               ? tr("Stopped.")
                               : tr("The sector at %1 could not be read.").arg(sectorTimeText(s));
            return result;
        }
        result.uncorrected += uncorrected ? 1 : 0;
        const qint64 begin = qint64(s) * FramesPerSector, end = begin + FramesPerSector;
        for (int t = int(matches.size()); t < count && from[std::size_t(t)] < end; ++t) {
            const qint64 a = std::max(begin, from[std::size_t(t)]), b = std::min(end, to[std::size_t(t)]);
            if (a >= b)
                continue;
            std::copy(data + (a - begin) * 2, data + (b - begin) * 2,
                      buffer(t).begin() + std::ptrdiff_t(a - from[std::size_t(t)]) * 2);
        }
        finishUpTo(std::min(end, readTo));
    }
    // What lies beyond the disc's end stays silence.
    finishUpTo(std::numeric_limits<qint64>::max());
    if (abort && abort->load()) {
        result.error = tr("Stopped.");
        return result;
    }
    result.match = bestOffset(matches, range);
    return result;
}

} // namespace varnelo::cd
