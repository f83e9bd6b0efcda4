// A cdrdao table of contents as a user may hand it over: the first byte sets how long the
// files it names are (so that layouts past their ends are reached too), the
// rest is the sheet. It is read into a table or refused with a message.
#include "FuzzSupport.h"
#include "platform/cd/DiscSheet.h"

using namespace varnelo;
using namespace varnelo::cd;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input in(data, size);
    const uint8_t pick = in.byte();
    const FileProbe probe = [pick](const QString &name, bool, QString &error) -> std::optional<ProbedFile> {
        if (pick == 0) {
            error = QStringLiteral("missing");
            return std::nullopt;
        }
        ProbedFile p;
        p.path = name;
        // Sizes in whole sectors and odd bytes, WAV files with and without PCM.
        p.bytes = qint64(pick) * pick * pick * 64 + (pick & 1 ? pick : 0);
        p.frames = p.bytes / 4;
        p.pcmOffset = pick & 2 ? 44 : -1;
        return p;
    };
    const SheetResult r = parseTocFile(in.rest(), QStringLiteral("disc.toc"), probe);
    if (!r.sheet) {
        FUZZ_CHECK(r.error.startsWith(QLatin1String("disc.toc")));
        return 0;
    }
    const DiscSheet &s = *r.sheet;
    FUZZ_CHECK(!s.toc.tracks.empty() && s.toc.tracks.size() <= 99 && s.info.size() == s.toc.tracks.size());
    qint64 frames = 0;
    for (const SheetPiece &p : s.pieces) {
        FUZZ_CHECK(p.frames > 0 && p.offset >= 0);
        frames += p.frames;
    }
    FUZZ_CHECK(frames == qint64(s.toc.leadout) * FramesPerSector);
    qint32 previous = -1;
    for (const TocTrack &t : s.toc.tracks) {
        FUZZ_CHECK(t.start > previous && t.start < s.toc.leadout && t.sectors >= 0);
        FUZZ_CHECK(t.number >= 1 && t.number <= 99);
        previous = t.start;
    }
    FUZZ_CHECK(CddbDiscId(s.toc).size() == 8);
    FUZZ_CHECK(accurateRipPath(accurateRipIds(s.toc)).endsWith(QLatin1String(".bin")));
    MusicBrainzDiscId(s.toc);
    return 0;
}
