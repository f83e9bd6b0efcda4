#include "platform/stream/StreamPlaylist.h"

#include "platform/stream/IcyConnection.h"

#include <QRegularExpression>
#include <QXmlStreamReader>
#include <map>

namespace varnelo {
namespace {

QByteArray startOf(const QByteArray &head) {
    QByteArray text = head.left(1024);
    if (text.startsWith("\xEF\xBB\xBF"))
        text.remove(0, 3);
    return text.trimmed().toLower();
}

void addEntry(QList<QUrl> &entries, const QString &text, const QUrl &base) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty())
        return;
    const QUrl url = base.resolved(QUrl(trimmed));
    const QString scheme = url.scheme().toLower();
    if ((scheme == QLatin1String("http") || scheme == QLatin1String("https")) && !url.host().isEmpty())
        entries.append(url);
}

} // namespace

PlaylistKind guessPlaylistKind(const QByteArray &head, const QByteArray &contentType, const QUrl &url) {
    const QByteArray start = startOf(head);
    if (start.startsWith("[playlist]"))
        return PlaylistKind::Pls;
    if (start.startsWith("#extm3u"))
        return PlaylistKind::M3u;
    if (start.startsWith("<asx"))
        return PlaylistKind::Asx;
    if (start.startsWith("<?xml") || start.startsWith("<playlist")) {
        if (start.contains("<asx"))
            return PlaylistKind::Asx;
        if (start.contains("xspf") || start.contains("<playlist"))
            return PlaylistKind::Xspf;
    }
    // Audio that merely comes with a playlist's name or type stays audio.
    const bool binary = head.startsWith("ID3") || head.startsWith("OggS") ||
                        (head.size() >= 2 && uchar(head.at(0)) == 0xFF && (uchar(head.at(1)) & 0xE0) == 0xE0);
    if (binary)
        return PlaylistKind::None;
    if (contentType == "audio/x-scpls" || contentType == "audio/scpls")
        return PlaylistKind::Pls;
    if (contentType == "audio/x-mpegurl" || contentType == "audio/mpegurl" ||
        contentType == "application/x-mpegurl" || contentType == "application/vnd.apple.mpegurl")
        return PlaylistKind::M3u;
    if (contentType == "application/xspf+xml")
        return PlaylistKind::Xspf;
    if ((contentType == "video/x-ms-asf" || contentType == "video/x-ms-asx" ||
         contentType == "audio/x-ms-asx") &&
        start.startsWith('<'))
        return PlaylistKind::Asx;
    const QString path = url.path().toLower();
    if (path.endsWith(QLatin1String(".pls")))
        return PlaylistKind::Pls;
    if (path.endsWith(QLatin1String(".m3u")) || path.endsWith(QLatin1String(".m3u8")))
        return PlaylistKind::M3u;
    if (path.endsWith(QLatin1String(".xspf")))
        return PlaylistKind::Xspf;
    if (path.endsWith(QLatin1String(".asx")))
        return PlaylistKind::Asx;
    return PlaylistKind::None;
}

bool isHlsPlaylist(const QByteArray &body) {
    return body.contains("#EXT-X-");
}

QList<QUrl> hlsVariants(const QByteArray &body, const QUrl &base) {
    QList<QUrl> variants;
    bool announced = false;
    for (const QString &line : decodeStreamText(body).split(QLatin1Char('\n'))) {
        const QString entry = line.trimmed();
        if (entry.startsWith(QLatin1String("#EXT-X-STREAM-INF")))
            announced = true;
        else if (announced && !entry.isEmpty() && !entry.startsWith(QLatin1Char('#'))) {
            addEntry(variants, entry, base);
            announced = false;
        }
    }
    return variants;
}

QList<QUrl> parsePlaylist(const QByteArray &body, PlaylistKind kind, const QUrl &base) {
    QList<QUrl> entries;
    const QString text = decodeStreamText(body);
    switch (kind) {
    case PlaylistKind::None:
    case PlaylistKind::Hls:
        break;
    case PlaylistKind::Pls: {
        // FileN= keys in the order of N, whatever order the lines come in.
        static const QRegularExpression file(QStringLiteral("^\\s*file(\\d+)\\s*=(.*)$"),
                                             QRegularExpression::CaseInsensitiveOption |
                                                 QRegularExpression::MultilineOption);
        std::map<long long, QString> byNumber;
        for (auto it = file.globalMatch(text); it.hasNext();) {
            const auto match = it.next();
            byNumber.emplace(match.captured(1).toLongLong(), match.captured(2));
        }
        for (const auto &[number, entry] : byNumber)
            addEntry(entries, entry, base);
        break;
    }
    case PlaylistKind::M3u:
        if (isHlsPlaylist(body))
            break;
        for (const QString &line : text.split(QLatin1Char('\n'))) {
            const QString entry = line.trimmed();
            if (!entry.isEmpty() && !entry.startsWith(QLatin1Char('#')))
                addEntry(entries, entry, base);
        }
        break;
    case PlaylistKind::Xspf: {
        QXmlStreamReader xml(body);
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement() && xml.name() == QLatin1String("location"))
                addEntry(entries, xml.readElementText(), base);
        }
        break;
    }
    case PlaylistKind::Asx: {
        // ASX is XML in name only (mixed case, bare ampersands): match the refs directly.
        static const QRegularExpression ref(
            QStringLiteral("<\\s*(?:ref|entryref)\\s[^>]*?href\\s*=\\s*(?:\"([^\"]*)\"|'([^']*)')"),
            QRegularExpression::CaseInsensitiveOption);
        for (auto it = ref.globalMatch(text); it.hasNext();) {
            const auto match = it.next();
            QString href = match.captured(1).isEmpty() ? match.captured(2) : match.captured(1);
            href.replace(QLatin1String("&amp;"), QLatin1String("&"));
            addEntry(entries, href, base);
        }
        break;
    }
    }
    return entries;
}

} // namespace varnelo
