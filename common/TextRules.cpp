#include "common/TextRules.h"

#include <QStringDecoder>

#include <algorithm>

namespace varnelo::text {

QString trimControl(const QString &s) {
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s.at(begin).unicode() <= 32)
        ++begin;
    while (end > begin && s.at(end - 1).unicode() <= 32)
        --end;
    return s.mid(begin, end - begin);
}

QString asciiLower(const QString &s) {
    QString r = s;
    for (QChar &c : r)
        if (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
            c = QChar(c.unicode() + 32);
    return r;
}

QString asciiUpper(const QString &s) {
    QString r = s;
    for (QChar &c : r)
        if (c >= QLatin1Char('a') && c <= QLatin1Char('z'))
            c = QChar(c.unicode() - 32);
    return r;
}

bool filterMatches(const QString &field, const QString &search) {
    const QString needle = asciiLower(trimControl(search));
    if (needle.isEmpty())
        return false;
    return asciiLower(field).contains(needle);
}

QString elapsedText(std::int64_t seconds) {
    if (seconds < 0)
        seconds = 0;
    const auto two = [](std::int64_t v) { return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0')); };
    return two(seconds / 3600) + QLatin1Char(':') + two(seconds / 60 % 60) + QLatin1Char(':') +
           two(seconds % 60);
}

QString decode8Bit(QByteArrayView bytes) {
    // Plain ASCII, most text in records and tags, reads the same either way.
    if (std::all_of(bytes.begin(), bytes.end(), [](char c) { return static_cast<unsigned char>(c) < 0x80; }))
        return QString::fromLatin1(bytes);
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString s = utf8.decode(bytes);
    if (!utf8.hasError())
        return s;
    // Windows-1252: Latin-1 except for 0x80..0x9F.
    static const char16_t high[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                      0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                      0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                      0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
    s.clear();
    s.reserve(bytes.size());
    for (char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        s.append(QChar(b >= 0x80 && b < 0xA0 ? high[b - 0x80] : char16_t(b)));
    }
    return s;
}

QByteArray encodeCut(const QString &s, int maxBytes) {
    QByteArray bytes = s.toUtf8();
    if (bytes.size() <= maxBytes)
        return bytes;
    qsizetype cut = maxBytes;
    // Step back over continuation bytes so the cut falls before a lead byte.
    while (cut > 0 && (static_cast<unsigned char>(bytes.at(cut)) & 0xC0) == 0x80)
        --cut;
    bytes.truncate(cut);
    return bytes;
}

bool isControl(QChar c) {
    const char16_t u = c.unicode();
    return u < 0x20 || (u >= 0x7F && u <= 0x9F);
}

QString replaceControls(const QString &s, QChar with) {
    QString out = s;
    for (QChar &c : out)
        if (isControl(c))
            c = with;
    return out;
}

QString escapeControls(const QString &s) {
    const auto hex = [](int value, int digits) {
        return QString::number(value, 16).toUpper().rightJustified(digits, QLatin1Char('0'));
    };
    QString out;
    out.reserve(s.size());
    for (const QChar c : s) {
        const int u = c.unicode();
        if (isControl(c))
            out += QStringLiteral("\\x") + hex(u, 2);
        else if ((u >= 0x202A && u <= 0x202E) || (u >= 0x2066 && u <= 0x2069))
            out += QStringLiteral("\\u") + hex(u, 4);
        else
            out += c;
    }
    return out;
}

} // namespace varnelo::text
