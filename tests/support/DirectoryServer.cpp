#include "support/DirectoryServer.h"

#include <QJsonDocument>
#include <algorithm>

namespace varnelo::test {

namespace {

QJsonArray take(const QJsonArray &all, const HttpRequest &r) {
    const int offset = r.query.value(QStringLiteral("offset")).toInt();
    const int limit = r.query.contains(QStringLiteral("limit"))
                          ? r.query.value(QStringLiteral("limit")).toInt()
                          : int(all.size());
    QJsonArray out;
    for (int i = offset; i < all.size() && i < offset + limit; ++i)
        out.append(all.at(i));
    return out;
}

HttpReply json(const QJsonArray &array) {
    return {200, QJsonDocument(array).toJson(QJsonDocument::Compact), "application/json"};
}

} // namespace

QJsonObject directoryStation(const QString &uuid, const QString &name, const QString &url,
                             const QString &tags, const QString &country, int clicks) {
    return QJsonObject{{QStringLiteral("stationuuid"), uuid},
                       {QStringLiteral("name"), name},
                       {QStringLiteral("url"), url},
                       {QStringLiteral("url_resolved"), url},
                       {QStringLiteral("homepage"), QStringLiteral("https://home.example/") + uuid},
                       {QStringLiteral("favicon"), QString()},
                       {QStringLiteral("tags"), tags},
                       {QStringLiteral("countrycode"), country},
                       {QStringLiteral("language"), QString()},
                       {QStringLiteral("codec"), QStringLiteral("MP3")},
                       {QStringLiteral("bitrate"), 128},
                       {QStringLiteral("lastcheckok"), 1},
                       {QStringLiteral("clickcount"), clicks},
                       {QStringLiteral("votes"), 0}};
}

HttpServer::Handler directoryOf(const QJsonArray &stations) {
    return [stations](const HttpRequest &r) -> HttpReply {
        const auto text = [](const QJsonValue &v) { return v.toString().toLower(); };
        if (r.path == QLatin1String("/json/stations/search")) {
            const QString name = r.query.value(QStringLiteral("name")).toLower();
            const QString tag = r.query.value(QStringLiteral("tag")).toLower();
            const QString country = r.query.value(QStringLiteral("countrycode")).toLower();
            QList<QJsonObject> found;
            for (const QJsonValue &v : stations) {
                const QJsonObject s = v.toObject();
                if (text(s.value(QStringLiteral("name"))).contains(name) &&
                    text(s.value(QStringLiteral("tags"))).contains(tag) &&
                    (country.isEmpty() || text(s.value(QStringLiteral("countrycode"))) == country))
                    found.append(s);
            }
            if (r.query.value(QStringLiteral("order")) == QLatin1String("clickcount")) {
                const bool reverse = r.query.value(QStringLiteral("reverse")) == QLatin1String("true");
                std::stable_sort(found.begin(), found.end(),
                                 [reverse](const QJsonObject &a, const QJsonObject &b) {
                                     const int ca = a.value(QStringLiteral("clickcount")).toInt();
                                     const int cb = b.value(QStringLiteral("clickcount")).toInt();
                                     return reverse ? ca > cb : ca < cb;
                                 });
            }
            QJsonArray all;
            for (const QJsonObject &s : found)
                all.append(s);
            return json(take(all, r));
        }
        if (r.path == QLatin1String("/json/tags") || r.path == QLatin1String("/json/countries")) {
            const bool tags = r.path == QLatin1String("/json/tags");
            QMap<QString, int> counts;
            for (const QJsonValue &v : stations) {
                const QJsonObject s = v.toObject();
                if (tags) {
                    for (const QString &t :
                         s.value(QStringLiteral("tags")).toString().split(QLatin1Char(',')))
                        if (!t.trimmed().isEmpty())
                            ++counts[t.trimmed()];
                } else if (!s.value(QStringLiteral("countrycode")).toString().isEmpty()) {
                    ++counts[s.value(QStringLiteral("countrycode")).toString()];
                }
            }
            QJsonArray all;
            for (auto it = counts.begin(); it != counts.end(); ++it)
                all.append(tags ? QJsonObject{{QStringLiteral("name"), it.key()},
                                              {QStringLiteral("stationcount"), it.value()}}
                                : QJsonObject{{QStringLiteral("name"), QStringLiteral("Land ") + it.key()},
                                              {QStringLiteral("iso_3166_1"), it.key()},
                                              {QStringLiteral("stationcount"), it.value()}});
            return json(take(all, r));
        }
        if (r.path.startsWith(QLatin1String("/json/url/"))) {
            const QString uuid = r.path.mid(10);
            for (const QJsonValue &v : stations)
                if (v.toObject().value(QStringLiteral("stationuuid")).toString() == uuid)
                    return {200,
                            QJsonDocument(QJsonObject{{QStringLiteral("ok"), true},
                                                      {QStringLiteral("message"),
                                                       QStringLiteral("retrieved station url")},
                                                      {QStringLiteral("stationuuid"), uuid}})
                                .toJson(QJsonDocument::Compact),
                            "application/json"};
        }
        return {404, "not found", "text/plain"};
    };
}

} // namespace varnelo::test
