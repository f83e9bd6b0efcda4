#include "radio/PlaylistImport.h"

#include "common/Error.h"
#include "common/TextRules.h"
#include "radio/StationFile.h"

#include <QFileInfo>
#include <QMap>
#include <QRegularExpression>
#include <QSet>

namespace varnelo {
namespace {

QStringList splitLines(const QByteArray &bytes) {
    return text::decode8Bit(bytes).split(QRegularExpression(QStringLiteral("\r\n|\r|\n")));
}

std::vector<StationRecord> readPls(const QStringList &lines) {
    QMap<int, StationRecord> entries;
    static const QRegularExpression key(QStringLiteral("^(File|Title)(\\d+)=(.*)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    for (const QString &line : lines) {
        const auto m = key.match(line.trimmed());
        if (!m.hasMatch())
            continue;
        StationRecord &r = entries[m.captured(2).toInt()];
        if (m.captured(1).compare(QLatin1String("File"), Qt::CaseInsensitive) == 0)
            r.StreamUrl = m.captured(3).trimmed();
        else
            r.Name = m.captured(3).trimmed();
    }
    std::vector<StationRecord> out;
    for (const StationRecord &r : entries)
        if (!r.StreamUrl.isEmpty())
            out.push_back(r);
    return out;
}

std::vector<StationRecord> readM3u(const QStringList &lines) {
    std::vector<StationRecord> out;
    StationRecord next;
    for (const QString &raw : lines) {
        const QString line = raw.trimmed();
        if (line.isEmpty())
            continue;
        if (line.startsWith(QLatin1String("#EXTINF:"), Qt::CaseInsensitive)) {
            const qsizetype comma = line.indexOf(QLatin1Char(','));
            next.Name = comma >= 0 ? line.mid(comma + 1).trimmed() : QString();
        } else if (line.startsWith(QLatin1String("#EXTGENRE:"), Qt::CaseInsensitive)) {
            next.Genre = line.mid(10).trimmed();
        } else if (!line.startsWith(QLatin1Char('#'))) {
            next.StreamUrl = line;
            out.push_back(next);
            next = StationRecord{};
        }
    }
    return out;
}

} // namespace

std::vector<StationRecord> ReadPlaylistStations(const QByteArray &bytes, const QString &fileName) {
    const QString suffix = text::asciiLower(QFileInfo(fileName).suffix());
    const QStringList lines = splitLines(bytes);
    std::vector<StationRecord> stations;
    if (suffix == QLatin1String("pls") ||
        text::asciiLower(lines.value(0).trimmed()) == QLatin1String("[playlist]"))
        stations = readPls(lines);
    else if (suffix == QLatin1String("m3u") || suffix == QLatin1String("m3u8"))
        stations = readM3u(lines);
    else
        throw Error(QStringLiteral("Not a .pls, .m3u or .m3u8 playlist: %1").arg(fileName));
    for (StationRecord &r : stations)
        if (r.Name.isEmpty())
            r.Name = r.StreamUrl;
    return stations;
}

int ImportStations(const QString &radioPath, const std::vector<StationRecord> &stations) {
    const StationFile file(radioPath);
    QSet<QString> known;
    file.forEach([&](const StationRecord &r) {
        known.insert(r.StreamUrl);
        return true;
    });
    std::vector<StationRecord> added;
    for (const StationRecord &r : stations) {
        if (known.contains(r.StreamUrl))
            continue;
        known.insert(r.StreamUrl);
        added.push_back(r);
    }
    if (!added.empty() && !file.append(added))
        throw Error(QStringLiteral("Cannot open file \"%1\": it does not exist").arg(radioPath));
    return static_cast<int>(added.size());
}

} // namespace varnelo
