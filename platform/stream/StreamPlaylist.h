#pragma once
#include <QByteArray>
#include <QList>
#include <QUrl>

namespace varnelo {

// Station addresses that name a playlist rather than a stream.
enum class PlaylistKind { None, Pls, M3u, Hls, Xspf, Asx };

// Decides from the first body bytes, then the content type, then the address's
// extension. Hls is only told apart from M3u once the whole body is known.
PlaylistKind guessPlaylistKind(const QByteArray &head, const QByteArray &contentType, const QUrl &url);

// The entries of a playlist body in order, resolved against base. Entries
// that are not http/https addresses are left out. Hls bodies give no entries:
// FFmpeg plays those itself.
QList<QUrl> parsePlaylist(const QByteArray &body, PlaylistKind kind, const QUrl &base);

// True when an M3U body is really an HLS playlist (#EXT-X- tags).
bool isHlsPlaylist(const QByteArray &body);

// The variant streams of an HLS master playlist (the address after each
// #EXT-X-STREAM-INF), resolved against base; empty for a media playlist.
// Masters are followed by the connect itself, bounded like nested playlists:
// handed to FFmpeg, a master that names itself grows without end.
QList<QUrl> hlsVariants(const QByteArray &body, const QUrl &base);

} // namespace varnelo
