// A stream server's whole answer: status line, ICY/HTTP headers, then either
// a playlist body or audio with metadata blocks, read the way the stream
// library reads a connection.
#include "FuzzSupport.h"
#include "platform/stream/IcyConnection.h"
#include "platform/stream/StreamPlaylist.h"
#include "radio/StreamTitle.h"

#include <QStringList>

using namespace varnelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    fuzz::quietQt();
    const IcyConnection::Limits limits;
    IcyConnection connection(limits, [] { return false; });
    QUrl redirect;
    if (!connection.openResponse(fuzz::bytesOf(data, size),
                                 QUrl(QStringLiteral("http://127.0.0.1:8000/live")), &redirect)) {
        // A refused answer always says why, unless it sends us elsewhere.
        FUZZ_CHECK(connection.failure() != IcyConnection::Failure::None || !redirect.isEmpty());
        FUZZ_CHECK(connection.failure() == IcyConnection::Failure::None || !connection.errorText().isEmpty());
        return 0;
    }
    FUZZ_CHECK(connection.metaint() >= 0 && connection.metaint() <= limits.maxMetaint);
    FUZZ_CHECK(connection.headerLines().size() <= limits.maxHeaderLines + 1);
    QStringList lines;
    for (const QByteArray &line : connection.headerLines()) {
        FUZZ_CHECK(line.size() <= limits.maxHeaderLine);
        lines.append(decodeStreamText(line));
    }
    MapIcyHeaders(lines);
    (void)connection.header("icy-name");

    const QByteArray head = connection.peek(1024);
    FUZZ_CHECK(head.size() <= 1024);
    const PlaylistKind kind = guessPlaylistKind(head, connection.contentType(), connection.finalUrl());
    if (kind != PlaylistKind::None) {
        if (const auto body = connection.readBody(256 * 1024)) {
            FUZZ_CHECK(body->size() <= qsizetype(size));
            if (!isHlsPlaylist(*body))
                parsePlaylist(*body, kind, connection.finalUrl());
        }
        return 0;
    }
    connection.setMetadataHandler([](const QByteArray &text) {
        FUZZ_CHECK(text.size() <= 255 * 16);
        ParseStreamTitle(decodeStreamText(text));
    });
    qint64 audio = 0;
    char chunk[4096];
    for (;;) {
        const qint64 n = connection.readAudio(chunk, sizeof chunk);
        if (n <= 0)
            break;
        audio += n;
    }
    FUZZ_CHECK(audio <= qint64(size));
    return 0;
}
