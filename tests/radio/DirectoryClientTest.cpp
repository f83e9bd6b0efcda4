#include "radio/DirectoryClient.h"
#include "support/DirectoryServer.h"
#include "support/Fakes.h"
#include "support/Wait.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>
#include <optional>

using namespace varnelo;
using test::directoryOf;
using test::directoryStation;
using test::HttpReply;
using test::HttpRequest;
using test::HttpServer;

namespace {

QJsonArray someStations() {
    return QJsonArray{
        directoryStation(QStringLiteral("u1"), QStringLiteral("Radio Jazz Berlin"),
                         QStringLiteral("http://s.example/1"), QStringLiteral("jazz,smooth"),
                         QStringLiteral("DE"), 50),
        directoryStation(QStringLiteral("u2"), QStringLiteral("Rock Radio"),
                         QStringLiteral("http://s.example/2"), QStringLiteral("rock,classic rock"),
                         QStringLiteral("US"), 900),
        directoryStation(QStringLiteral("u3"), QStringLiteral("Jazz Lounge"),
                         QStringLiteral("http://s.example/3"), QStringLiteral("jazz,lounge"),
                         QStringLiteral("US"), 300),
        directoryStation(QStringLiteral("u4"), QStringLiteral("Radio Eins"),
                         QStringLiteral("http://s.example/4"), QStringLiteral("pop"), QStringLiteral("DE"),
                         700),
        directoryStation(QStringLiteral("u5"), QStringLiteral("C++ & Friends Radio"),
                         QStringLiteral("http://s.example/5"), QStringLiteral("talk"), QStringLiteral("GB"),
                         1),
    };
}

class DirectoryClientTest : public ::testing::Test {
protected:
    DirectoryStations search(const DirectoryQuery &query) {
        std::optional<DirectoryStations> result;
        client.searchStations(query, [&](const DirectoryStations &s) { result = s; });
        EXPECT_TRUE(test::waitUntil([&] { return result.has_value(); }, 30000));
        return result.value_or(DirectoryStations{QStringLiteral("no answer"), {}, 0, {}});
    }
    static QStringList names(const DirectoryStations &s) {
        QStringList out;
        for (const DirectoryStation &d : s.stations)
            out << d.name;
        return out;
    }

    test::FakeMirrorLookup mirrors;
    DirectoryClient client{mirrors};
};

} // namespace

TEST_F(DirectoryClientTest, SearchesByNameTagAndCountryMostPlayedFirst) {
    HttpServer server(directoryOf(someStations()));
    ASSERT_TRUE(server.start());
    mirrors.servers = {server.base()};

    EXPECT_EQ(names(search({QStringLiteral("radio")})),
              (QStringList{QStringLiteral("Rock Radio"), QStringLiteral("Radio Eins"),
                           QStringLiteral("Radio Jazz Berlin"), QStringLiteral("C++ & Friends Radio")}));
    EXPECT_EQ(mirrors.namesAsked, QStringList{QStringLiteral("all.api.radio-browser.info")});
    const HttpRequest first = server.requests().first();
    EXPECT_EQ(first.path, QStringLiteral("/json/stations/search"));
    EXPECT_EQ(first.header("User-Agent"), QByteArray("Varnelo/1.00"));
    EXPECT_EQ(first.query.value(QStringLiteral("order")), QStringLiteral("clickcount"));
    EXPECT_EQ(first.query.value(QStringLiteral("reverse")), QStringLiteral("true"));
    EXPECT_EQ(first.query.value(QStringLiteral("hidebroken")), QStringLiteral("true"));
    EXPECT_EQ(first.query.value(QStringLiteral("limit")), QStringLiteral("50"));
    EXPECT_EQ(first.query.value(QStringLiteral("offset")), QStringLiteral("0"));

    EXPECT_EQ(names(search({QString(), QStringLiteral("jazz")})),
              (QStringList{QStringLiteral("Jazz Lounge"), QStringLiteral("Radio Jazz Berlin")}));
    EXPECT_EQ(names(search({QStringLiteral("radio"), QString(), QStringLiteral("DE")})),
              (QStringList{QStringLiteral("Radio Eins"), QStringLiteral("Radio Jazz Berlin")}));
    // Reserved characters reach the server as typed.
    EXPECT_EQ(names(search({QStringLiteral("C++ & Friends")})),
              QStringList{QStringLiteral("C++ & Friends Radio")});
    EXPECT_EQ(server.requests().last().query.value(QStringLiteral("name")), QStringLiteral("C++ & Friends"));
    EXPECT_EQ(mirrors.namesAsked.size(), 1); // the mirrors are looked up once
}

TEST_F(DirectoryClientTest, PagesFollowEachOther) {
    HttpServer server(directoryOf(someStations()));
    ASSERT_TRUE(server.start());
    mirrors.servers = {server.base()};
    QStringList all;
    int pages = 0;
    for (int offset = 0;; offset += 2) {
        const DirectoryStations page = search({QString(), QString(), QString(), QString(), 2, offset});
        ++pages;
        all << names(page);
        if (page.received < 2)
            break;
    }
    EXPECT_EQ(pages, 3);
    EXPECT_EQ(all, (QStringList{QStringLiteral("Rock Radio"), QStringLiteral("Radio Eins"),
                                QStringLiteral("Jazz Lounge"), QStringLiteral("Radio Jazz Berlin"),
                                QStringLiteral("C++ & Friends Radio")}));
}

TEST_F(DirectoryClientTest, AFailingMirrorFallsThroughToTheNextWhichIsKept) {
    HttpServer failing([](const HttpRequest &) { return HttpReply{503, {}, "text/plain"}; });
    HttpServer good(directoryOf(someStations()));
    ASSERT_TRUE(failing.start());
    ASSERT_TRUE(good.start());
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort());
    // The first choice refuses the connection, the second answers 503, the third answers.
    mirrors.servers = {refused, failing.base(), good.base()};
    client.setPick([](int count) {
        EXPECT_EQ(count, 3);
        return 0;
    });
    const DirectoryStations s = search({QStringLiteral("Eins")});
    EXPECT_TRUE(s.error.isEmpty()) << s.error.toStdString();
    EXPECT_EQ(names(s), QStringList{QStringLiteral("Radio Eins")});
    EXPECT_EQ(failing.count(QStringLiteral("/json/stations/search")), 1);
    EXPECT_EQ(client.server(), good.base());
    // The next requests go straight to the server that answered.
    search({QStringLiteral("Rock")});
    std::optional<QString> clicked;
    client.countClick(QStringLiteral("u2"), [&](const QString &error) { clicked = error; });
    ASSERT_TRUE(test::waitUntil([&] { return clicked.has_value(); }));
    EXPECT_EQ(*clicked, QString());
    EXPECT_EQ(failing.requests().size(), 1);
    EXPECT_EQ(good.count(QStringLiteral("/json/stations/search")), 2);
    EXPECT_EQ(good.count(QStringLiteral("/json/url/u2")), 1);
}

TEST_F(DirectoryClientTest, EveryFailureEndsWithAClearMessage) {
    const auto serving = [](HttpReply reply) { return [reply](const HttpRequest &) { return reply; }; };
    HttpServer error500(serving({500, "<h1>oops</h1>", "text/html"}));
    HttpServer stall(serving({.kind = HttpReply::Kind::Stall}));
    HttpServer endless(serving({.kind = HttpReply::Kind::Endless}));
    HttpServer object(serving({200, R"({"error":"x"})", "application/json"}));
    HttpServer html(serving({200, "<html>maintenance</html>", "text/html"}));
    HttpServer huge(serving({200, "[" + QByteArray(MaxDirectoryAnswerBytes, ' ') + "]", "application/json"}));
    for (HttpServer *s : {&error500, &stall, &endless, &object, &html, &huge})
        ASSERT_TRUE(s->start());
    const QString refused = QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort());
    const struct {
        QStringList servers;
        QString expected;
    } cases[] = {
        {{},
         QStringLiteral(
             "No station directory server was found: the name all.api.radio-browser.info gave none")},
        {{refused},
         QStringLiteral("The station directory at %1 could not be used: Connection refused").arg(refused)},
        {{error500.base()}, QStringLiteral("could not be used: it answered HTTP 500 Internal Server Error.")},
        {{stall.base()}, QStringLiteral("could not be used: no answer within 0.5 seconds.")},
        {{endless.base()}, QStringLiteral("could not be used: the answer is larger than 4 MiB.")},
        {{huge.base()}, QStringLiteral("could not be used: the answer is larger than 4 MiB.")},
        {{object.base()}, QStringLiteral("could not be used: the answer is not a list of stations.")},
        {{html.base()}, QStringLiteral("could not be used: the answer is not JSON")},
        {{refused, html.base()},
         QStringLiteral("None of the 2 station directory servers could be used; the last one, %1: the answer "
                        "is not JSON")
             .arg(html.base())},
    };
    for (const auto &c : cases) {
        test::FakeMirrorLookup lookup;
        lookup.servers = c.servers;
        DirectoryClient fresh(lookup);
        // Short only where the time-out is the point: a loaded machine may be slow to answer.
        fresh.setTimeout(c.servers.contains(stall.base()) ? 500 : DirectoryClient::DefaultTimeoutMs);
        fresh.setPick([](int) { return 0; });
        std::optional<DirectoryStations> result;
        fresh.searchStations({QStringLiteral("x")}, [&](const DirectoryStations &s) { result = s; });
        ASSERT_TRUE(test::waitUntil([&] { return result.has_value(); }, 30000)) << c.expected.toStdString();
        EXPECT_TRUE(result->error.contains(c.expected)) << result->error.toStdString();
        EXPECT_TRUE(result->stations.empty());
    }
}

TEST_F(DirectoryClientTest, AServerOfOnesOwnReplacesTheLookup) {
    HttpServer server(directoryOf(someStations()));
    ASSERT_TRUE(server.start());
    EXPECT_FALSE(client.setServer(QStringLiteral("ftp://mirror.example/")));
    EXPECT_FALSE(client.setServer(QStringLiteral("not an address")));
    ASSERT_TRUE(client.setServer(server.base() + QStringLiteral("/")));
    EXPECT_EQ(names(search({QStringLiteral("Lounge")})), QStringList{QStringLiteral("Jazz Lounge")});
    EXPECT_TRUE(mirrors.namesAsked.isEmpty());
    std::optional<DirectoryValues> tags;
    client.fetchTags(10, [&](const DirectoryValues &v) { tags = v; });
    ASSERT_TRUE(test::waitUntil([&] { return tags.has_value(); }));
    EXPECT_EQ(tags->values.size(), 7u);
    EXPECT_EQ(server.requests().last().query.value(QStringLiteral("order")), QStringLiteral("stationcount"));
}
