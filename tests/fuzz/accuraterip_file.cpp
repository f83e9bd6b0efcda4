// An AccurateRip database file (dBAR-...bin) as a server sends it, then each
// track's verdict for checksums taken from the file itself and from the input.
#include "FuzzSupport.h"
#include "platform/cd/AccurateRip.h"

#include <QtEndian>

using namespace varnelo;
using namespace varnelo::cd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    const QByteArray bytes = fuzz::bytesOf(data, size);
    const auto pressings = parseAccurateRipDatabase(bytes);
    if (!pressings)
        return 0;
    // Accepted means read whole: every byte belongs to a record.
    qsizetype used = 0;
    for (const AccurateRipPressing &p : *pressings) {
        FUZZ_CHECK(!p.tracks.empty() && p.tracks.size() <= 255);
        used += 13 + 9 * qsizetype(p.tracks.size());
    }
    FUZZ_CHECK(used == bytes.size());
    if (pressings->empty()) // an empty file: the disc is not in the database
        return 0;
    const quint32 other = size >= 4 ? qFromLittleEndian<quint32>(data + size - 4) : 0;
    for (int index = -1; index <= 256; index += 37) {
        const AccurateRipVerdict v = verifyAccurateRip(*pressings, index, other, other ^ 1u);
        FUZZ_CHECK(index >= 0 || v.kind == AccurateRipVerdict::Kind::NotInDatabase);
        FUZZ_CHECK(v.kind != AccurateRipVerdict::Kind::Unknown);
    }
    // A track's own CRC from the file is accurate, with at least that pressing's confidence.
    const AccurateRipPressing &first = pressings->front();
    for (std::size_t t = 0; t < first.tracks.size(); ++t) {
        const AccurateRipVerdict v = verifyAccurateRip(*pressings, int(t), first.tracks[t].crc, 0);
        FUZZ_CHECK(v.kind == AccurateRipVerdict::Kind::Accurate &&
                   v.confidence >= first.tracks[t].confidence);
        FUZZ_CHECK(!v.text().isEmpty());
    }
    return 0;
}
