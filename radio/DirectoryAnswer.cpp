#include "radio/DirectoryAnswer.h"

#include "common/TextRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringDecoder>
#include <QUrl>

namespace varnelo {
namespace {

constexpr char16_t Replacement = 0xFFFD;
constexpr int MaxAddressBytes = 2048;
constexpr int MaxTagsBytes = 255;
constexpr int MaxCodecCharacters = 16;

bool isControl(char16_t c) {
    return c < 0x20 || c == 0x7F || (c >= 0x80 && c < 0xA0) || c == 0x2028 || c == 0x2029;
}

QString cutBytes(const QString &s, int maxBytes) {
    return QString::fromUtf8(text::encodeCut(s, maxBytes)).trimmed();
}

struct Array {
    QJsonArray entries;
    QString error;
    bool repaired = false; // invalid UTF-8 was replaced: U+FFFD marks it
};

Array readArray(const QByteArray &body, const QString &what) {
    if (body.size() > MaxDirectoryAnswerBytes)
        return {{}, directory::tooLargeText()};
    // The JSON reader refuses a whole document for one bad byte: turn invalid
    // UTF-8 into replacement characters first, so only the entries holding
    // them are left out.
    QByteArray bytes = body;
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString decoded = utf8.decode(body);
    const bool repaired = utf8.hasError();
    if (repaired)
        bytes = decoded.toUtf8();
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return {{},
                QStringLiteral("the answer is not JSON (%1 at byte %2)")
                    .arg(parseError.errorString())
                    .arg(parseError.offset)};
    if (!doc.isArray())
        return {{}, QStringLiteral("the answer is not a list of %1").arg(what)};
    return {doc.array(), {}, repaired};
}

// Reads the fields of one entry; the first problem met is kept.
class Fields {
public:
    // `repaired`: the answer held invalid UTF-8, now U+FFFD; a sound answer may hold U+FFFD itself.
    Fields(const QJsonObject &object, bool repaired) : object_(object), repaired_(repaired) {}

    QString text(const char *key, bool required) {
        const QJsonValue v = object_.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull()) {
            if (required)
                fail(QStringLiteral("\"%1\" is missing").arg(QLatin1String(key)));
            return {};
        }
        if (!v.isString()) {
            fail(QStringLiteral("\"%1\" is not a text").arg(QLatin1String(key)));
            return {};
        }
        const QString s = v.toString();
        if (repaired_ && s.contains(QChar(Replacement)))
            fail(QStringLiteral("\"%1\" is not valid UTF-8").arg(QLatin1String(key)));
        return s;
    }

    double number(const char *key) {
        const QJsonValue v = object_.value(QLatin1String(key));
        if (v.isUndefined() || v.isNull())
            return 0;
        if (!v.isDouble()) {
            fail(QStringLiteral("\"%1\" is not a number").arg(QLatin1String(key)));
            return 0;
        }
        return v.toDouble();
    }

    void fail(const QString &problem) {
        if (problem_.isEmpty())
            problem_ = problem;
    }
    const QString &problem() const { return problem_; }

private:
    QJsonObject object_;
    bool repaired_;
    QString problem_;
};

QString entryLabel(int index, const QJsonValue &entry) {
    QString label = QStringLiteral("entry %1").arg(index + 1);
    const QJsonValue name = entry.toObject().value(QLatin1String("name"));
    if (name.isString()) {
        const QString clean = directory::cleanText(name.toString()).remove(QChar(Replacement));
        if (!clean.isEmpty())
            label += QStringLiteral(" (\"%1\")").arg(cutBytes(clean, 60));
    }
    return label;
}

int countOf(double n) {
    return n >= 0 && n <= 1e9 ? static_cast<int>(n) : 0;
}

} // namespace

namespace directory {

QString tooLargeText() {
    return QStringLiteral("the answer is larger than %1 MiB").arg(MaxDirectoryAnswerBytes >> 20);
}

QString cleanText(const QString &text) {
    QString out;
    out.reserve(text.size());
    bool blank = false;
    for (QChar c : text) {
        const bool space = isControl(c.unicode()) || c.isSpace();
        if (space) {
            blank = !out.isEmpty();
            continue;
        }
        if (blank)
            out.append(QLatin1Char(' '));
        blank = false;
        out.append(c);
    }
    return out;
}

bool isStreamAddress(const QString &address) {
    if (address.isEmpty() || address.toUtf8().size() > MaxAddressBytes)
        return false;
    for (QChar c : address)
        if (isControl(c.unicode()) || c.isSpace())
            return false;
    const QUrl url(address, QUrl::StrictMode);
    if (!url.isValid() || url.host().isEmpty())
        return false;
    return url.scheme() == QLatin1String("http") || url.scheme() == QLatin1String("https");
}

} // namespace directory

StationRecord DirectoryStation::record() const {
    StationRecord r;
    r.Name = name;
    r.Genre = genre;
    r.StreamUrl = address;
    r.HomeUrl = homepage;
    return r;
}

DirectoryStations ParseDirectoryStations(const QByteArray &body) {
    DirectoryStations result;
    const Array array = readArray(body, QStringLiteral("stations"));
    if (!array.error.isEmpty()) {
        result.error = array.error;
        return result;
    }
    static const QRegularExpression uuidPattern(QStringLiteral("^[0-9A-Za-z-]{1,64}$"));
    static const QRegularExpression countryPattern(QStringLiteral("^[A-Za-z]{2}$"));
    result.received = static_cast<int>(array.entries.size());
    for (qsizetype i = 0; i < array.entries.size(); ++i) {
        const QJsonValue entry = array.entries.at(i);
        const auto leaveOut = [&](const QString &why) {
            result.problems.append(QStringLiteral("%1: %2").arg(entryLabel(int(i), entry), why));
        };
        if (!entry.isObject()) {
            leaveOut(QStringLiteral("not a station"));
            continue;
        }
        Fields f(entry.toObject(), array.repaired);
        DirectoryStation s;
        s.uuid = f.text("stationuuid", true);
        const QString name = f.text("name", true);
        const QString url = f.text("url", true);
        const QString resolved = f.text("url_resolved", false);
        const QString homepage = f.text("homepage", false);
        const QString tags = f.text("tags", false);
        const QString country = f.text("countrycode", false);
        const QString codec = f.text("codec", false);
        s.bitrate = countOf(f.number("bitrate"));
        if (!f.problem().isEmpty()) {
            leaveOut(f.problem());
            continue;
        }
        if (!uuidPattern.match(s.uuid).hasMatch()) {
            leaveOut(QStringLiteral("\"stationuuid\" is not a station id"));
            continue;
        }
        s.name = cutBytes(directory::cleanText(name), StationRecord::NameField.maxBytes);
        if (s.name.isEmpty()) {
            leaveOut(QStringLiteral("the name is empty"));
            continue;
        }
        if (directory::isStreamAddress(resolved.trimmed()))
            s.address = resolved.trimmed();
        else if (directory::isStreamAddress(url.trimmed()))
            s.address = url.trimmed();
        else {
            leaveOut(QStringLiteral("the stream address is not an http or https address"));
            continue;
        }
        if (directory::isStreamAddress(homepage.trimmed()))
            s.homepage = homepage.trimmed();
        QStringList tagList;
        for (const QString &tag : tags.split(QLatin1Char(','))) {
            const QString clean = directory::cleanText(tag);
            if (!clean.isEmpty())
                tagList.append(clean);
        }
        s.tags = cutBytes(tagList.join(QLatin1Char(',')), MaxTagsBytes);
        s.genre = cutBytes(tagList.value(0), StationRecord::GenreField.maxBytes);
        if (countryPattern.match(country).hasMatch())
            s.countryCode = country.toUpper();
        // Cut at a character, and no blank left at the end of the cut.
        QString shortCodec = directory::cleanText(codec).left(MaxCodecCharacters);
        if (!shortCodec.isEmpty() && shortCodec.back().isHighSurrogate())
            shortCodec.chop(1);
        s.codec = shortCodec.trimmed();
        result.stations.push_back(std::move(s));
    }
    return result;
}

namespace {

DirectoryValues parseValues(const QByteArray &body, const QString &what, bool withCode) {
    DirectoryValues result;
    const Array array = readArray(body, what);
    if (!array.error.isEmpty()) {
        result.error = array.error;
        return result;
    }
    static const QRegularExpression codePattern(QStringLiteral("^[A-Za-z]{2}$"));
    for (const QJsonValue &entry : array.entries) {
        Fields f(entry.toObject(), array.repaired);
        DirectoryValue v;
        v.name = cutBytes(directory::cleanText(f.text("name", true)), 100);
        if (withCode)
            v.code = f.text("iso_3166_1", true).toUpper();
        v.stationCount = countOf(f.number("stationcount"));
        if (!entry.isObject() || !f.problem().isEmpty() || v.name.isEmpty() ||
            (withCode && !codePattern.match(v.code).hasMatch())) {
            ++result.leftOut;
            continue;
        }
        result.values.push_back(std::move(v));
    }
    return result;
}

} // namespace

DirectoryValues ParseDirectoryTags(const QByteArray &body) {
    return parseValues(body, QStringLiteral("tags"), false);
}

DirectoryValues ParseDirectoryCountries(const QByteArray &body) {
    return parseValues(body, QStringLiteral("countries"), true);
}

} // namespace varnelo
