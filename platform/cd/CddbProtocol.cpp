#include "platform/cd/CddbProtocol.h"

#include "common/TextRules.h"

#include <QHash>
#include <QUrlQuery>

namespace varnelo::cd {

namespace {

// A server's lines are short; anything longer is cut rather than kept whole.
constexpr qsizetype LineLimit = 4096;
constexpr std::size_t MatchLimit = 100;

std::vector<QByteArray> lines(const QByteArray &body) {
    std::vector<QByteArray> out;
    qsizetype at = 0;
    while (at < body.size()) {
        qsizetype end = body.indexOf('\n', at);
        if (end < 0)
            end = body.size();
        QByteArray line = body.mid(at, std::min(end - at, LineLimit));
        if (line.endsWith('\r'))
            line.chop(1);
        out.push_back(line);
        at = end + 1;
    }
    return out;
}

int statusCode(const QByteArray &line, QString &message) {
    if (line.size() < 3)
        return 0;
    bool ok = false;
    const int code = line.left(3).toInt(&ok);
    if (!ok || code < 100 || code > 999)
        return 0;
    message = text::decode8Bit(line.mid(4)).trimmed();
    return code;
}

std::optional<CddbMatch> matchLine(const QByteArray &line) {
    const QString s = text::decode8Bit(line).trimmed();
    const qsizetype a = s.indexOf(QLatin1Char(' '));
    if (a <= 0)
        return std::nullopt;
    const qsizetype b = s.indexOf(QLatin1Char(' '), a + 1);
    CddbMatch m;
    m.category = s.left(a);
    m.discId = (b < 0 ? s.mid(a + 1) : s.mid(a + 1, b - a - 1)).trimmed();
    m.title = b < 0 ? QString() : s.mid(b + 1).trimmed();
    // Category and id go back into a command: plain words only.
    const auto plain = [](const QString &w) {
        return !w.isEmpty() && w.size() <= 32 && std::all_of(w.begin(), w.end(), [](QChar c) {
            return c.isLetterOrNumber() && c.unicode() < 128;
        });
    };
    if (!plain(m.category) || !plain(m.discId))
        return std::nullopt;
    return m;
}

QString unescape(const QString &value) {
    QString out;
    out.reserve(value.size());
    for (qsizetype i = 0; i < value.size(); ++i) {
        const QChar c = value[i];
        if (c == QLatin1Char('\\') && i + 1 < value.size()) {
            const QChar n = value[++i];
            out += n == QLatin1Char('n') ? QLatin1Char(' ') : n == QLatin1Char('t') ? QLatin1Char(' ') : n;
        } else {
            out += c;
        }
    }
    return out.simplified();
}

void splitArtist(const QString &text, QString &artist, QString &title) {
    const qsizetype at = text.indexOf(QStringLiteral(" / "));
    if (at < 0) {
        title = text.trimmed();
        return;
    }
    artist = text.left(at).trimmed();
    title = text.mid(at + 3).trimmed();
}

} // namespace

CddbQueryAnswer parseCddbQueryAnswer(const QByteArray &body) {
    CddbQueryAnswer a;
    const std::vector<QByteArray> ls = lines(body);
    if (ls.empty())
        return a;
    a.code = statusCode(ls.front(), a.message);
    if (a.code == 200) {
        if (auto m = matchLine(ls.front().mid(4)))
            a.matches.push_back(*m);
        else
            a.code = 0;
    } else if (a.code == 210 || a.code == 211) {
        for (std::size_t i = 1; i < ls.size() && ls[i] != "." && a.matches.size() < MatchLimit; ++i)
            if (auto m = matchLine(ls[i]))
                a.matches.push_back(*m);
        if (a.matches.empty())
            a.code = 202;
    }
    return a;
}

CddbReadAnswer parseCddbReadAnswer(const QByteArray &body) {
    CddbReadAnswer a;
    const std::vector<QByteArray> ls = lines(body);
    if (ls.empty())
        return a;
    a.code = statusCode(ls.front(), a.message);
    if (a.code != 210)
        return a;
    for (std::size_t i = 1; i < ls.size() && ls[i] != "."; ++i)
        a.entry += ls[i] + '\n';
    return a;
}

std::optional<AlbumInfo> parseXmcd(const QByteArray &entry, int tracks) {
    QHash<QString, QString> values;
    QStringList order;
    for (const QByteArray &raw : lines(entry)) {
        const QString line = text::decode8Bit(raw);
        if (line.startsWith(QLatin1Char('#')))
            continue;
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            continue;
        const QString key = line.left(eq).trimmed().toUpper();
        QString &value = values[key];
        if (value.size() < XmcdValueLimit)
            value += line.mid(eq + 1).left(XmcdValueLimit - value.size());
    }
    AlbumInfo info;
    const QString dtitle = unescape(values.value(QStringLiteral("DTITLE")));
    splitArtist(dtitle, info.artist, info.album);
    if (info.artist.isEmpty())
        info.artist = info.album;
    info.year = unescape(values.value(QStringLiteral("DYEAR")));
    info.genre = unescape(values.value(QStringLiteral("DGENRE")));
    bool anyTitle = false;
    tracks = std::clamp(tracks, 0, 99);
    for (int i = 0; i < tracks; ++i) {
        AlbumInfo::Track t;
        const QString text = unescape(values.value(QStringLiteral("TTITLE%1").arg(i)));
        splitArtist(text, t.artist, t.title);
        if (t.artist.isEmpty())
            t.artist = info.artist;
        anyTitle = anyTitle || !t.title.isEmpty();
        info.tracks.push_back(t);
    }
    if (dtitle.isEmpty() && !anyTitle)
        return std::nullopt;
    return info;
}

namespace {

// One value as xmcd lines of `key`: escaped, cut into pieces a reader's line
// limit keeps whole (never inside an escape), control characters dropped.
void writeXmcdValue(QByteArray &out, const QString &key, const QString &value) {
    QString escaped;
    for (const QChar c : value) {
        if (c == QLatin1Char('\\'))
            escaped += QStringLiteral("\\\\");
        else if (c == QLatin1Char('\n'))
            escaped += QStringLiteral("\\n");
        else if (c == QLatin1Char('\t'))
            escaped += QStringLiteral("\\t");
        else if (!text::isControl(c))
            escaped += c;
    }
    constexpr qsizetype Piece = 200;
    qsizetype at = 0;
    do {
        qsizetype length = std::min(Piece, escaped.size() - at);
        if (length > 0 && escaped[at + length - 1] == QLatin1Char('\\') && at + length < escaped.size())
            ++length; // an escape stays in one piece
        out += (key + QLatin1Char('=') + escaped.mid(at, length)).toUtf8() + '\n';
        at += length;
    } while (at < escaped.size());
}

} // namespace

QByteArray writeXmcd(const AlbumInfo &info, const DiscToc &toc) {
    QByteArray out = "# xmcd\n#\n# Track frame offsets:\n";
    for (int i = 0; i < toc.audioTrackCount(); ++i)
        out += "#\t" + QByteArray::number(toc.audioTrack(i)->start + PregapSectors) + '\n';
    out += "#\n# Disc length: " + QByteArray::number((toc.leadout + PregapSectors) / SectorsPerSecond) +
           " seconds\n#\n";
    if (!info.source.isEmpty())
        out += "# Source: " + text::replaceControls(info.source, QLatin1Char(' ')).toUtf8() + "\n#\n";
    out += "DISCID=" + CddbDiscId(toc).toLatin1() + '\n';
    writeXmcdValue(out, QStringLiteral("DTITLE"), info.artist + QStringLiteral(" / ") + info.album);
    writeXmcdValue(out, QStringLiteral("DYEAR"), info.year);
    writeXmcdValue(out, QStringLiteral("DGENRE"), info.genre);
    for (std::size_t i = 0; i < info.tracks.size(); ++i) {
        const AlbumInfo::Track &t = info.tracks[i];
        const bool ownArtist = !t.artist.isEmpty() && t.artist != info.artist;
        writeXmcdValue(out, QStringLiteral("TTITLE%1").arg(i),
                       ownArtist ? t.artist + QStringLiteral(" / ") + t.title : t.title);
    }
    out += "EXTD=\nPLAYORDER=\n";
    return out;
}

QString xmcdSource(const QByteArray &entry) {
    for (const QByteArray &line : lines(entry))
        if (line.startsWith("# Source: "))
            return text::replaceControls(QString::fromUtf8(line.mid(10)), QLatin1Char(' '));
    return {};
}

QStringList xmcdDiscIds(const QByteArray &entry) {
    QStringList ids;
    for (const QByteArray &raw : lines(entry)) {
        const QString line = text::decode8Bit(raw).trimmed();
        if (!line.startsWith(QStringLiteral("DISCID="), Qt::CaseInsensitive))
            continue;
        for (const QString &id : line.mid(7).split(QLatin1Char(','), Qt::SkipEmptyParts))
            ids << id.trimmed().toLower();
    }
    return ids;
}

std::vector<QByteArray> splitXmcdEntries(const QByteArray &file) {
    std::vector<QByteArray> entries;
    QByteArray current;
    for (const QByteArray &line : lines(file)) {
        if (line.startsWith("# xmcd") && !current.trimmed().isEmpty()) {
            entries.push_back(current);
            current.clear();
        }
        current += line + '\n';
    }
    if (!current.trimmed().isEmpty())
        entries.push_back(current);
    return entries;
}

QUrl cddbCommandUrl(const QUrl &server, const QString &command, const QString &hello) {
    QUrl url = server;
    QUrlQuery query;
    const auto plus = [](const QString &s) {
        return QString::fromLatin1(QUrl::toPercentEncoding(s.simplified(), " ").replace(' ', '+'));
    };
    query.setQuery(QStringLiteral("cmd=%1&hello=%2&proto=6").arg(plus(command), plus(hello)));
    url.setQuery(query);
    return url;
}

} // namespace varnelo::cd
