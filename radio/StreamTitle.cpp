#include "radio/StreamTitle.h"

namespace varnelo {

std::optional<QString> ParseStreamTitle(const std::optional<QString> &metadata) {
    static const QString key = QStringLiteral("StreamTitle=");
    if (!metadata)
        return std::nullopt;
    const QString &text = *metadata;
    const qsizetype p = text.indexOf(key) + 1; // 1-based, 0 when absent
    if (p == 0)
        return std::nullopt;
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
        if (line.startsWith(name))
            info.name = line.mid(name.size());
        if (line.startsWith(genre))
            info.genre = line.mid(genre.size());
        if (line.startsWith(url))
            info.url = line.mid(url.size());
    }
    return info;
}

} // namespace varnelo
