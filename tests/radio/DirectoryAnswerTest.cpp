#include "radio/DirectoryAnswer.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <gtest/gtest.h>

using namespace varnelo;

namespace {

QJsonObject good(const QString &uuid = QStringLiteral("0a1b-2c")) {
    return QJsonObject{{QStringLiteral("stationuuid"), uuid},
                       {QStringLiteral("name"), QStringLiteral("Good FM")},
                       {QStringLiteral("url"), QStringLiteral("http://good.example/live")},
                       {QStringLiteral("url_resolved"), QStringLiteral("https://edge.good.example/live.mp3")},
                       {QStringLiteral("homepage"), QStringLiteral("https://good.example/")},
                       {QStringLiteral("tags"), QStringLiteral("jazz,smooth")},
                       {QStringLiteral("countrycode"), QStringLiteral("de")},
                       {QStringLiteral("codec"), QStringLiteral("MP3")},
                       {QStringLiteral("bitrate"), 128},
                       {QStringLiteral("lastcheckok"), 1}};
}

QByteArray answer(const QList<QJsonValue> &entries) {
    QJsonArray a;
    for (const QJsonValue &e : entries)
        a.append(e);
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

QJsonObject with(QJsonObject o, const char *key, const QJsonValue &value) {
    if (value.isUndefined())
        o.remove(QLatin1String(key));
    else
        o.insert(QLatin1String(key), value);
    return o;
}

} // namespace

TEST(DirectoryAnswer, AnswersThatCannotBeUsedAtAllSayWhy) {
    const struct {
        QByteArray body;
        const char *error;
    } cases[] = {
        {"", "the answer is not JSON"},
        {"<html><body>Bad gateway</body></html>", "the answer is not JSON"},
        {"[{\"name\": \"cut", "the answer is not JSON"},
        {"{\"stations\": []}", "the answer is not a list of stations"},
        {QByteArray(MaxDirectoryAnswerBytes + 1, ' '), "the answer is larger than 4 MiB"},
    };
    for (const auto &c : cases) {
        const DirectoryStations s = ParseDirectoryStations(c.body);
        EXPECT_TRUE(s.error.startsWith(QLatin1String(c.error))) << s.error.toStdString();
        EXPECT_TRUE(s.stations.empty());
    }
    EXPECT_EQ(ParseDirectoryStations("[]").error, QString());
}

TEST(DirectoryAnswer, EntriesThatCannotBeUsedAreLeftOutAndTheOthersKept) {
    const struct {
        QJsonValue entry;
        const char *problem;
    } cases[] = {
        {with(good(), "name", QJsonValue::Undefined), "\"name\" is missing"},
        {with(good(), "name", 42), "\"name\" is not a text"},
        {with(good(), "stationuuid", QJsonValue::Null), "\"stationuuid\" is missing"},
        {with(good(), "stationuuid", QStringLiteral("../../json/x")), "\"stationuuid\" is not a station id"},
        {with(good(), "tags", QJsonArray{QStringLiteral("jazz")}), "\"tags\" is not a text"},
        {with(good(), "bitrate", QStringLiteral("128")), "\"bitrate\" is not a number"},
        {with(with(good(), "url_resolved", QStringLiteral("ftp://x/")), "url", QStringLiteral("ftp://x/")),
         "the stream address is not an http or https address"},
        {with(with(good(), "url_resolved", QString()), "url", QStringLiteral("javascript:alert(1)")),
         "the stream address is not an http or https address"},
        {with(with(good(), "url_resolved", QString()), "url", QStringLiteral("http://a b/")),
         "the stream address is not an http or https address"},
        {with(with(good(), "url_resolved", QString()), "url", QStringLiteral("file:///etc/passwd")),
         "the stream address is not an http or https address"},
        {with(good(), "name", QStringLiteral("\u0001\u0002 \t")), "the name is empty"},
        {QJsonValue(7), "not a station"},
    };
    for (const auto &c : cases) {
        const DirectoryStations s = ParseDirectoryStations(answer({good(QStringLiteral("a")), c.entry}));
        ASSERT_TRUE(s.error.isEmpty()) << s.error.toStdString();
        EXPECT_EQ(s.received, 2);
        ASSERT_EQ(s.stations.size(), 1u) << c.problem;
        EXPECT_EQ(s.stations[0].uuid, QStringLiteral("a"));
        ASSERT_EQ(s.problems.size(), 1);
        EXPECT_TRUE(s.problems[0].startsWith(QLatin1String("entry 2"))) << s.problems[0].toStdString();
        EXPECT_TRUE(s.problems[0].endsWith(QLatin1String(c.problem))) << s.problems[0].toStdString();
    }
}

TEST(DirectoryAnswer, InvalidUtf8CostsOnlyTheEntryThatHoldsIt) {
    const auto entry = [](const QByteArray &uuid, const QByteArray &name, const QByteArray &tags) {
        return R"({"stationuuid":")" + uuid + R"(","name":")" + name + R"(","url":"http://s/)" + uuid +
               R"(","tags":")" + tags + R"("})";
    };
    const QByteArray body = "[" + entry("a", "Fine", "jazz") + "," + entry("b", "G\xff\xfe", "jazz") + "," +
                            entry("c", "Fine too", "j\xc3\x28z") + "]";
    const DirectoryStations s = ParseDirectoryStations(body);
    ASSERT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    ASSERT_EQ(s.stations.size(), 1u);
    EXPECT_EQ(s.stations[0].uuid, QStringLiteral("a"));
    ASSERT_EQ(s.problems.size(), 2);
    EXPECT_TRUE(s.problems[0].endsWith(QLatin1String("\"name\" is not valid UTF-8")))
        << s.problems[0].toStdString();
    EXPECT_TRUE(s.problems[1].endsWith(QLatin1String("\"tags\" is not valid UTF-8")))
        << s.problems[1].toStdString();

    // U+FFFD written as such in a sound answer is a character like any other.
    const DirectoryStations sound =
        ParseDirectoryStations("[" + entry("d", "Odd \xef\xbf\xbd", "jazz") + "]");
    ASSERT_EQ(sound.stations.size(), 1u);
    EXPECT_EQ(sound.stations[0].name, QStringLiteral("Odd \uFFFD"));
}

TEST(DirectoryAnswer, TextsAreCleanedAndCutToTheRecordFieldsAtCharacterBoundaries) {
    const QString e = QString(QChar(0x00E9)); // two bytes in UTF-8
    const QString u = QString(QChar(0x00FC));
    const struct {
        QJsonObject entry;
        QString name, tags, genre, country, address, homepage;
    } cases[] = {
        {with(good(), "name", QStringLiteral("\tRadio\nOne\u0007  FM\u0085\u2028\u001b[2J")),
         QStringLiteral("Radio One FM [2J"), QStringLiteral("jazz,smooth"), QStringLiteral("jazz"),
         QStringLiteral("DE"), QStringLiteral("https://edge.good.example/live.mp3"),
         QStringLiteral("https://good.example/")},
        // 150 two-byte characters: the 100-byte field takes 50 of them.
        {with(good(), "name", e.repeated(150)), e.repeated(50), QStringLiteral("jazz,smooth"),
         QStringLiteral("jazz"), QStringLiteral("DE"), QStringLiteral("https://edge.good.example/live.mp3"),
         QStringLiteral("https://good.example/")},
        // 99 bytes and a two-byte character: cut before it, not inside.
        {with(good(), "name", QString(99, QLatin1Char('a')) + e), QString(99, QLatin1Char('a')),
         QStringLiteral("jazz,smooth"), QStringLiteral("jazz"), QStringLiteral("DE"),
         QStringLiteral("https://edge.good.example/live.mp3"), QStringLiteral("https://good.example/")},
        // The first tag is the genre, cut to 30 bytes; blank and control-filled tags go.
        {with(with(with(good(), "tags", u.repeated(20) + QStringLiteral(" , Smooth\tJazz,,\u0001,x")),
                   "countrycode", QStringLiteral("DEU")),
              "homepage", QStringLiteral("javascript:void(0)")),
         QStringLiteral("Good FM"), u.repeated(20) + QStringLiteral(",Smooth Jazz,x"), u.repeated(15),
         QString(), QStringLiteral("https://edge.good.example/live.mp3"), QString()},
        // Without a resolved address the station's own is used.
        {with(with(good(), "url_resolved", QString()), "countrycode", QJsonValue::Null),
         QStringLiteral("Good FM"), QStringLiteral("jazz,smooth"), QStringLiteral("jazz"), QString(),
         QStringLiteral("http://good.example/live"), QStringLiteral("https://good.example/")},
    };
    for (const auto &c : cases) {
        const DirectoryStations s = ParseDirectoryStations(answer({c.entry}));
        ASSERT_EQ(s.stations.size(), 1u) << s.problems.join(QLatin1Char('|')).toStdString();
        const DirectoryStation &d = s.stations[0];
        EXPECT_EQ(d.name, c.name);
        EXPECT_EQ(d.tags, c.tags);
        EXPECT_EQ(d.genre, c.genre);
        EXPECT_EQ(d.countryCode, c.country);
        EXPECT_EQ(d.address, c.address);
        EXPECT_EQ(d.homepage, c.homepage);
        // What is shown is what the record keeps.
        const StationRecord r = d.record();
        EXPECT_EQ(r.stored().Name, d.name);
        EXPECT_EQ(r.stored().Genre, d.genre);
    }

    // The codec is cut to 16 characters: never with a blank at the end, never inside a character.
    const QString clef = QStringLiteral("\U0001D11E"); // two UTF-16 units
    const struct {
        QString codec, shown;
    } codecs[] = {
        {QStringLiteral("MP4ae97-52543be\u001a\u0000\u0000\u000004co"), QStringLiteral("MP4ae97-52543be")},
        {QString(15, QLatin1Char('a')) + clef, QString(15, QLatin1Char('a'))},
        {QString(14, QLatin1Char('a')) + clef, QString(14, QLatin1Char('a')) + clef},
    };
    for (const auto &c : codecs) {
        const DirectoryStations s = ParseDirectoryStations(answer({with(good(), "codec", c.codec)}));
        ASSERT_EQ(s.stations.size(), 1u);
        EXPECT_EQ(s.stations[0].codec, c.shown);
    }
}

TEST(DirectoryAnswer, TagsAndCountries) {
    const DirectoryValues tags = ParseDirectoryTags(
        R"([{"name":"jazz","stationcount":120},{"name":"\u0007"},{"name":5},{"name":"rock","stationcount":"x"}])");
    ASSERT_EQ(tags.values.size(), 1u);
    EXPECT_EQ(tags.values[0].name, QStringLiteral("jazz"));
    EXPECT_EQ(tags.values[0].stationCount, 120);
    EXPECT_EQ(tags.leftOut, 3);
    const DirectoryValues countries = ParseDirectoryCountries(
        R"([{"name":"Germany","iso_3166_1":"de","stationcount":9},{"name":"Nowhere","iso_3166_1":"XYZ"}])");
    ASSERT_EQ(countries.values.size(), 1u);
    EXPECT_EQ(countries.values[0].code, QStringLiteral("DE"));
    EXPECT_EQ(ParseDirectoryCountries("{}").error, QStringLiteral("the answer is not a list of countries"));
}
