// Playlists a station address may name (pls, m3u/m3u8, xspf, asx): the kind
// guessed from the body, its type and its address, then the entries.
#include "FuzzSupport.h"
#include "platform/stream/StreamPlaylist.h"

#include <iterator>

using namespace varnelo;

namespace {
const char *const ContentTypes[] = {
    "", "audio/x-scpls", "audio/x-mpegurl", "application/xspf+xml", "video/x-ms-asf", "audio/mpeg"};
const char *const Addresses[] = {"http://127.0.0.1/live", "http://127.0.0.1/a.pls", "http://127.0.0.1/a.m3u8",
                                 "http://127.0.0.1/a.xspf", "https://127.0.0.1:8443/dir/a.asx"};
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    fuzz::Input input(data, size);
    const uint8_t pick = input.byte();
    const QByteArray contentType = ContentTypes[pick % std::size(ContentTypes)];
    const QUrl base(QString::fromLatin1(Addresses[(pick / 8) % std::size(Addresses)]));
    const QByteArray body = input.rest();

    const PlaylistKind guessed = guessPlaylistKind(body.left(1024), contentType, base);
    // Also a kind the input picks: a server may send any body with any type.
    const PlaylistKind kinds[] = {PlaylistKind::Pls, PlaylistKind::M3u, PlaylistKind::Xspf,
                                  PlaylistKind::Asx};
    const PlaylistKind picked = kinds[(pick / 64) % std::size(kinds)];
    for (PlaylistKind kind : {guessed, picked}) {
        const QList<QUrl> entries = parsePlaylist(body, kind, base);
        for (const QUrl &entry : entries) {
            const QString scheme = entry.scheme().toLower();
            FUZZ_CHECK(scheme == QLatin1String("http") || scheme == QLatin1String("https"));
            FUZZ_CHECK(!entry.host().isEmpty());
        }
        if (kind == PlaylistKind::M3u && isHlsPlaylist(body))
            FUZZ_CHECK(entries.isEmpty());
    }
    return 0;
}
