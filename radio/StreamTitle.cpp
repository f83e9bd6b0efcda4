#include "radio/StreamTitle.h"

#include "platform/stream/StreamLibrary.h"

namespace varnelo {

std::optional<QString> ParseStreamTitle(const std::optional<QString> &metadata) {
    static const QString key = QStringLiteral("StreamTitle=");
    if (!metadata)
        return std::nullopt;
    const QString &text = *metadata;
    const qsizetype p = text.indexOf(key) + 1; // 1-based, 0 when absent
    if (p == 0)
        return std::nullopt;
    // A quoted value closed by "';" is taken whole when it holds a ";" of its
    // own; every other title keeps the first-";" rule below.
    static const QString open = QStringLiteral("StreamTitle='");
    if (const qsizetype start = text.indexOf(open); start >= 0) {
        const qsizetype from = start + open.size();
        const qsizetype close = text.indexOf(QStringLiteral("';"), from);
        if (close >= 0) {
            const QString value = text.mid(from, close - from);
            if (value.contains(QLatin1Char(';')))
                return value;
        }
    }
    const qsizetype q = text.indexOf(QLatin1Char(';')) + 1;
    const qsizetype count = q - p - 14;
    if (count <= 0)
        return QString();
    // mid() clamps a count past the end, as a substring copy of the rest would.
    return text.mid(p + 12, count);
}

IcyStationInfo MapIcyHeaders(const QStringList &lines) {
    static const QString name = QStringLiteral("icy-name:");
    static const QString genre = QStringLiteral("icy-genre:");
    static const QString url = QStringLiteral("icy-url:");
    IcyStationInfo info;
    for (const QString &line : lines) {
        // "icy-genre: Jazz" is common: the blank after the colon is not part of the value.
        if (line.startsWith(name))
            info.name = line.mid(name.size()).trimmed();
        if (line.startsWith(genre))
            info.genre = line.mid(genre.size()).trimmed();
        if (line.startsWith(url))
            info.url = line.mid(url.size()).trimmed();
    }
    return info;
}

QString StreamFailureText(int errorCode, const QString &reason) {
    // The library's reason names what happened ("connection refused by
    // host:port", "the server answered 404 Not Found"); the kind of failure is
    // only the fallback for a reason it could not give.
    if (!reason.isEmpty())
        return reason.at(0).toUpper() + reason.mid(1);
    switch (StreamError(errorCode)) {
    case StreamError::FileOpen:
        return QStringLiteral("The server cannot be reached");
    case StreamError::Http:
        return QStringLiteral("The server refused the stream");
    case StreamError::FileForm:
        return QStringLiteral("The server answered, but not with audio that can be played");
    case StreamError::Timeout:
        return QStringLiteral("The server sent no audio in time");
    case StreamError::Protocol:
        return QStringLiteral("The server's answer is malformed");
    default:
        return QStringLiteral("The stream cannot be played");
    }
}

} // namespace varnelo
