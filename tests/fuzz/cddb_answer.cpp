// A CDDB server's answers and the album information files: the first byte
// picks what the rest is (a query answer, a read answer with its xmcd entry, a
// local xmcd file, a MusicBrainz disc answer) and the disc's track count.
#include "FuzzSupport.h"
#include "platform/cd/CddbProtocol.h"
#include "platform/cd/MusicBrainzJson.h"

using namespace varnelo;
using namespace varnelo::cd;

namespace {

void checkInfo(const AlbumInfo &info, int tracks) {
    FUZZ_CHECK(int(info.tracks.size()) == tracks);
    for (const QString *s : {&info.artist, &info.album, &info.genre, &info.year})
        FUZZ_CHECK(s->size() <= XmcdValueLimit && s->isValidUtf16());
    for (const AlbumInfo::Track &t : info.tracks)
        FUZZ_CHECK(t.title.size() <= XmcdValueLimit && t.artist.size() <= XmcdValueLimit);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input in(data, size);
    const uint8_t pick = in.byte();
    const int tracks = pick >> 2; // 0..63
    const QByteArray body = in.rest();
    switch (pick & 3) {
    case 0: {
        const CddbQueryAnswer a = parseCddbQueryAnswer(body);
        FUZZ_CHECK(a.matches.size() <= 100);
        for (const CddbMatch &m : a.matches)
            FUZZ_CHECK(m.title.size() <= 4096 && m.category.size() <= 4096 &&
                       !m.discId.contains(QLatin1Char('\n')));
        FUZZ_CHECK(a.message.size() <= 4096);
        break;
    }
    case 1: {
        const CddbReadAnswer a = parseCddbReadAnswer(body);
        FUZZ_CHECK(a.entry.size() <= body.size() + 1);
        if (const auto info = parseXmcd(a.entry, tracks))
            checkInfo(*info, tracks);
        break;
    }
    case 2: {
        const std::vector<QByteArray> entries = splitXmcdEntries(body);
        qsizetype total = 0;
        for (const QByteArray &e : entries) {
            total += e.size();
            if (const auto info = parseXmcd(e, tracks))
                checkInfo(*info, tracks);
            for (const QString &id : xmcdDiscIds(e))
                FUZZ_CHECK(!id.contains(QLatin1Char(',')));
        }
        FUZZ_CHECK(total <= body.size() + 1); // the last line gets its newline
        break;
    }
    default:
        for (const MusicBrainzRelease &r :
             parseMusicBrainzDiscAnswer(body, QStringLiteral("disc-id"), tracks))
            FUZZ_CHECK(r.info.tracks.size() <= std::size_t(body.size()));
        break;
    }
    return 0;
}
