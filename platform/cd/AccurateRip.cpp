#include "platform/cd/AccurateRip.h"

#include "platform/cd/DiscToc.h"

#include <QtEndian>

namespace varnelo::cd {

namespace {
// Five sectors of words at each end of the disc are left out: drives cannot
// all reach them with their read offset.
constexpr quint64 EdgeWords = 5 * FramesPerSector;
} // namespace

AccurateRipChecksum::AccurateRipChecksum(bool firstTrack, bool lastTrack)
    : first_(firstTrack), last_(lastTrack) {}

void AccurateRipChecksum::addWord(quint32 word, quint64 position) {
    const quint64 product = quint64(word) * position;
    v1_ += quint32(product);
    v2_ += quint32(product) + quint32(product >> 32);
}

void AccurateRipChecksum::add(const qint16 *interleaved, std::size_t frames) {
    for (std::size_t i = 0; i < frames; ++i) {
        const quint32 word =
            quint32(quint16(interleaved[2 * i])) | (quint32(quint16(interleaved[2 * i + 1])) << 16);
        const quint64 position = ++position_;
        if (first_ && position < EdgeWords)
            continue;
        if (!last_) {
            addWord(word, position);
            continue;
        }
        held_.emplace_back(word, position);
        if (held_.size() > EdgeWords) {
            addWord(held_.front().first, held_.front().second);
            held_.pop_front();
        }
    }
}

void AccurateRipChecksum::finish() {
    // What is still held is the last five sectors: left out.
    held_.clear();
}

std::optional<std::vector<AccurateRipPressing>> parseAccurateRipDatabase(const QByteArray &bytes) {
    std::vector<AccurateRipPressing> pressings;
    const auto *data = reinterpret_cast<const uchar *>(bytes.constData());
    const qsizetype size = bytes.size();
    constexpr qsizetype HeaderBytes = 13;
    constexpr qsizetype TrackBytes = 9;
    qsizetype at = 0;
    while (at < size) {
        if (size - at < HeaderBytes)
            return std::nullopt;
        const int count = data[at];
        if (count == 0)
            return std::nullopt;
        if ((size - at - HeaderBytes) / TrackBytes < count)
            return std::nullopt;
        AccurateRipPressing p;
        p.id1 = qFromLittleEndian<quint32>(data + at + 1);
        p.id2 = qFromLittleEndian<quint32>(data + at + 5);
        p.cddb = qFromLittleEndian<quint32>(data + at + 9);
        at += HeaderBytes;
        p.tracks.reserve(std::size_t(count));
        for (int i = 0; i < count; ++i, at += TrackBytes)
            p.tracks.push_back({data[at], qFromLittleEndian<quint32>(data + at + 1),
                                qFromLittleEndian<quint32>(data + at + 5)});
        pressings.push_back(std::move(p));
    }
    return pressings;
}

QString AccurateRipVerdict::text() const {
    switch (kind) {
    case Kind::Accurate:
        return QStringLiteral("Accurate (confidence %1)").arg(confidence);
    case Kind::NotAccurate:
        return QStringLiteral("Not accurate");
    case Kind::NotInDatabase:
        return QStringLiteral("Not in database");
    case Kind::Unknown:
        break;
    }
    return {};
}

AccurateRipVerdict verifyAccurateRip(const std::vector<AccurateRipPressing> &pressings, int index, quint32 v1,
                                     quint32 v2) {
    AccurateRipVerdict verdict;
    bool known = false;
    for (const AccurateRipPressing &p : pressings) {
        if (index < 0 || std::size_t(index) >= p.tracks.size())
            continue;
        const AccurateRipPressing::Track &t = p.tracks[std::size_t(index)];
        known = true;
        // A v2 match is the stronger statement; either counts.
        const int version = t.crc == v2 ? 2 : t.crc == v1 ? 1 : 0;
        if (version != 0 && t.confidence >= verdict.confidence) {
            verdict.kind = AccurateRipVerdict::Kind::Accurate;
            verdict.confidence = t.confidence;
            verdict.version = version;
        }
    }
    if (verdict.kind != AccurateRipVerdict::Kind::Accurate)
        verdict.kind =
            known ? AccurateRipVerdict::Kind::NotAccurate : AccurateRipVerdict::Kind::NotInDatabase;
    return verdict;
}

} // namespace varnelo::cd
