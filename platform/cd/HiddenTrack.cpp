#include "platform/cd/HiddenTrack.h"

#include "platform/cd/CdDrive.h"
#include "platform/cd/SectorReader.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

namespace varnelo::cd {

qint32 hiddenTrackSectors(const QString &device, const DiscToc &toc, QString &error,
                          const std::atomic<bool> *abort) {
    // Before a data track there is nothing to play.
    if (toc.tracks.empty() || !toc.tracks.front().audio || toc.tracks.front().start <= 0)
        return 0;
    const qint32 pregap = toc.tracks.front().start;
    DiscState state;
    std::unique_ptr<DiscHandle> disc = DiscHandle::open(device, state, error);
    if (!disc)
        return 0;
    SectorReader reader(*disc, ReadMode{.grabMode = 0}, nullptr, abort);
    if (!reader.open(error))
        return 0;
    constexpr long Chunk = 25;
    std::vector<qint16> buffer(std::size_t(Chunk) * SectorReader::SectorSamples);
    for (qint32 at = 0; at < pregap; at += Chunk) {
        if (abort && abort->load())
            return 0;
        const long count = std::min<long>(Chunk, pregap - at);
        const long read = reader.readPlain(at, count, buffer.data());
        if (read <= 0) {
            error = QStringLiteral("The pregap of track 1 could not be read at sector %1.").arg(at);
            return 0;
        }
        const auto end = buffer.begin() + std::ptrdiff_t(read) * SectorReader::SectorSamples;
        if (std::any_of(buffer.begin(), end,
                        [](qint16 v) { return std::abs(int(v)) > HiddenTrackThreshold; }))
            return pregap;
    }
    return 0;
}

} // namespace varnelo::cd
