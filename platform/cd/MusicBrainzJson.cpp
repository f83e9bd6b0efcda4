#include "platform/cd/MusicBrainzJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace varnelo::cd {

namespace {

constexpr qsizetype TextLimit = 4096;

QString field(const QJsonObject &o, const char *key) {
    return o.value(QLatin1String(key)).toString().left(TextLimit).simplified();
}

// "Artist A & Artist B": names with their join phrases.
QString credit(const QJsonValue &value) {
    QString out;
    for (const QJsonValue &part : value.toArray()) {
        const QJsonObject o = part.toObject();
        QString name = field(o, "name");
        if (name.isEmpty())
            name = field(o.value(QLatin1String("artist")).toObject(), "name");
        out += name + o.value(QLatin1String("joinphrase")).toString().left(64);
        if (out.size() > TextLimit)
            break;
    }
    return out.left(TextLimit).simplified();
}

bool holdsDisc(const QJsonObject &medium, const QString &discId) {
    for (const QJsonValue &disc : medium.value(QLatin1String("discs")).toArray())
        if (disc.toObject().value(QLatin1String("id")).toString() == discId)
            return true;
    return false;
}

// 8-4-4-4-12 lower-case hex digits.
bool releaseShape(const QString &id) {
    if (id.size() != 36)
        return false;
    for (int i = 0; i < 36; ++i) {
        const QChar c = id[i];
        const bool dash = i == 8 || i == 13 || i == 18 || i == 23;
        if (dash ? c != QLatin1Char('-') : !(c.isDigit() || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))))
            return false;
    }
    return true;
}

} // namespace

QString AlbumInfo::releaseId() const {
    static const QString prefix = QStringLiteral("MusicBrainz release ");
    const QString id = !musicBrainzRelease.isEmpty() ? musicBrainzRelease
                       : source.startsWith(prefix)   ? source.mid(prefix.size()).trimmed()
                                                     : QString();
    return releaseShape(id) ? id : QString();
}

std::vector<MusicBrainzRelease> parseMusicBrainzDiscAnswer(const QByteArray &json, const QString &discId,
                                                           int tracks) {
    std::vector<MusicBrainzRelease> out;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return out;
    const QJsonArray releases = doc.object().value(QLatin1String("releases")).toArray();
    for (const QJsonValue &rv : releases) {
        const QJsonObject release = rv.toObject();
        QJsonObject medium;
        bool found = false;
        const QJsonArray media = release.value(QLatin1String("media")).toArray();
        for (const QJsonValue &mv : media) {
            if (holdsDisc(mv.toObject(), discId)) {
                medium = mv.toObject();
                found = true;
                break;
            }
        }
        if (!found) {
            for (const QJsonValue &mv : media) {
                if (mv.toObject().value(QLatin1String("tracks")).toArray().size() == tracks) {
                    medium = mv.toObject();
                    found = true;
                    break;
                }
            }
        }
        if (!found)
            continue;
        MusicBrainzRelease r;
        r.id = field(release, "id");
        r.info.album = field(release, "title");
        r.info.artist = credit(release.value(QLatin1String("artist-credit")));
        r.info.year = field(release, "date").left(4);
        r.info.source = QStringLiteral("MusicBrainz release %1").arg(r.id);
        r.info.musicBrainzRelease = r.id;
        const QJsonArray trackList = medium.value(QLatin1String("tracks")).toArray();
        for (int i = 0; i < std::clamp(tracks, 0, 99); ++i) {
            AlbumInfo::Track t;
            if (i < trackList.size()) {
                const QJsonObject track = trackList.at(i).toObject();
                const QJsonObject recording = track.value(QLatin1String("recording")).toObject();
                t.title = field(track, "title");
                if (t.title.isEmpty())
                    t.title = field(recording, "title");
                t.artist = credit(track.value(QLatin1String("artist-credit")));
                if (t.artist.isEmpty())
                    t.artist = credit(recording.value(QLatin1String("artist-credit")));
            }
            if (t.artist.isEmpty())
                t.artist = r.info.artist;
            r.info.tracks.push_back(t);
        }
        QString details = r.info.year;
        const QString country = field(release, "country");
        if (!country.isEmpty())
            details += (details.isEmpty() ? QString() : QStringLiteral(", ")) + country;
        r.label = r.info.artist + QStringLiteral(" / ") + r.info.album +
                  (details.isEmpty() ? QString() : QStringLiteral(" (") + details + QLatin1Char(')'));
        out.push_back(std::move(r));
        if (out.size() >= 100)
            break;
    }
    return out;
}

} // namespace varnelo::cd
