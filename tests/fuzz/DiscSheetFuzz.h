#pragma once
// The checks shared by the cue sheet and table of contents targets: the first
// byte of the input sets how long the files the sheet names are (so that
// layouts past their ends are reached too), the rest is the sheet. It is read
// into a consistent table or refused with a message that names the sheet.
#include "FuzzSupport.h"
#include "platform/cd/DiscSheet.h"

namespace varnelo::fuzz {

using SheetParser = cd::SheetResult (*)(const QByteArray &, const QString &, const cd::FileProbe &);

inline int fuzzSheet(const uint8_t *data, size_t size, SheetParser parse, const QString &name) {
    using namespace varnelo::cd;
    quietQt();
    Input in(data, size);
    const uint8_t pick = in.byte();
    const FileProbe probe = [pick](const QString &file, bool, QString &error) -> std::optional<ProbedFile> {
        if (pick == 0) {
            error = QStringLiteral("missing");
            return std::nullopt;
        }
        ProbedFile p;
        p.path = file;
        // Sizes in whole sectors and odd bytes, WAV files with and without PCM.
        p.bytes = qint64(pick) * pick * pick * 64 + (pick & 1 ? pick : 0);
        p.frames = p.bytes / 4;
        p.pcmOffset = pick & 2 ? 44 : -1;
        return p;
    };
    const SheetResult r = parse(in.rest(), name, probe);
    if (!r.sheet) {
        FUZZ_CHECK(r.error.startsWith(name));
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

} // namespace varnelo::fuzz
