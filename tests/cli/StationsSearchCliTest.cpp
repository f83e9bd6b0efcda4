#include "support/Cli.h"
#include "support/DirectoryServer.h"
#include "support/Files.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

namespace test = varnelo::test;
using test::directoryOf;
using test::directoryStation;
using test::HttpReply;
using test::HttpServer;

// A field as the program writes it: length byte, UTF-8 text, zeros.
QByteArray field(const QString &text, int area) {
    const QByteArray bytes = text.toUtf8().left(area);
    return char(bytes.size()) + bytes + QByteArray(area - bytes.size(), '\0');
}

QByteArray record(const QString &home, const QString &stream, const QString &genre, const QString &name) {
    return field(home, 50) + field(stream, 50) + field(genre, 30) + field(name, 100);
}

const QString LongAddress =
    QStringLiteral("https://edge.example-broadcaster.example/radio/8000/jazz-high.mp3");

QJsonArray stations() {
    QJsonObject tab = directoryStation(QStringLiteral("u2"), QStringLiteral("Radio\tJazz Two"),
                                       QStringLiteral("http://s.example/2"), QStringLiteral("jazz"),
                                       QStringLiteral("DE"), 10);
    tab.insert(QStringLiteral("codec"), QStringLiteral("AAC"));
    tab.insert(QStringLiteral("bitrate"), 64);
    return QJsonArray{directoryStation(QStringLiteral("u1"), QStringLiteral("Radio Jazz One"), LongAddress,
                                       QStringLiteral("jazz,bebop"), QStringLiteral("DE"), 90),
                      tab,
                      directoryStation(QStringLiteral("u3"), QStringLiteral("Radio Rock"),
                                       QStringLiteral("http://s.example/3"), QStringLiteral("rock"),
                                       QStringLiteral("DE"), 99)};
}

class StationsSearchCli : public ::testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(server.start()); }
    test::CliResult search(const QStringList &extra, const QString &workingFolder = {}) {
        return test::runCli(QStringList{QStringLiteral("stations"), QStringLiteral("--data-folder"),
                                        dir.path(), QStringLiteral("search")} +
                                extra,
                            workingFolder);
    }
    QString radio() const { return dir.filePath(QStringLiteral("radio.dat")); }

    QTemporaryDir dir;
    HttpServer server{directoryOf(stations())};
};

} // namespace

TEST_F(StationsSearchCli, PrintsOneLinePerStationAndAddsEachAddressOnce) {
    const QStringList args{QStringLiteral("radio"),     QStringLiteral("--tag"),    QStringLiteral("jazz"),
                           QStringLiteral("--country"), QStringLiteral("de"),       QStringLiteral("--limit"),
                           QStringLiteral("5"),         QStringLiteral("--server"), server.base()};
    const test::CliResult found = search(args);
    ASSERT_EQ(found.code, 0) << found.err.toStdString();
    EXPECT_EQ(found.out, QStringLiteral("Radio Jazz One\tjazz,bebop\tDE\tMP3\t128\t%1\n"
                                        "Radio Jazz Two\tjazz\tDE\tAAC\t64\thttp://s.example/2\n")
                             .arg(LongAddress));
    const auto query = server.requests().last().query;
    EXPECT_EQ(query.value(QStringLiteral("name")), QStringLiteral("radio"));
    EXPECT_EQ(query.value(QStringLiteral("tag")), QStringLiteral("jazz"));
    EXPECT_EQ(query.value(QStringLiteral("countrycode")), QStringLiteral("DE"));
    EXPECT_EQ(query.value(QStringLiteral("limit")), QStringLiteral("5"));
    EXPECT_FALSE(QFile::exists(radio())); // searching alone writes nothing

    const test::CliResult added = search(args + QStringList{QStringLiteral("--add")});
    ASSERT_EQ(added.code, 0) << added.err.toStdString();
    EXPECT_TRUE(added.out.endsWith(QStringLiteral("added 2 of 2 stations\n"))) << added.out.toStdString();
    // Name, first tag as genre, resolved address (cut in the record, kept in full beside it), home page.
    const QByteArray expected =
        record(QStringLiteral("https://home.example/u1"), LongAddress, QStringLiteral("jazz"),
               QStringLiteral("Radio Jazz One")) +
        record(QStringLiteral("https://home.example/u2"), QStringLiteral("http://s.example/2"),
               QStringLiteral("jazz"), QStringLiteral("Radio Jazz Two"));
    EXPECT_EQ(test::readBytes(radio()), expected);

    const test::CliResult again = search(args + QStringList{QStringLiteral("--add")});
    EXPECT_EQ(again.code, 0);
    EXPECT_TRUE(again.out.endsWith(QStringLiteral("added 0 of 2 stations (2 already present)\n")));
    EXPECT_EQ(test::readBytes(radio()), expected);

    const test::CliResult listed = test::runCli({QStringLiteral("stations"), QStringLiteral("--data-folder"),
                                                 dir.path(), QStringLiteral("list"), QStringLiteral("Jazz")});
    EXPECT_EQ(listed.out,
              QStringLiteral("Radio Jazz One\tjazz\t%1\thttps://home.example/u1\n"
                             "Radio Jazz Two\tjazz\thttp://s.example/2\thttps://home.example/u2\n")
                  .arg(LongAddress));
}

TEST_F(StationsSearchCli, TheServerComesFromTheSettingsFileWhenNotGiven) {
    QTemporaryDir work;
    test::writeBytes(work.filePath(QStringLiteral("temp.ini")),
                     "[directory]\r\nserver=" + server.base().toUtf8() + "\r\n");
    const test::CliResult found = search({QStringLiteral("rock")}, work.path());
    ASSERT_EQ(found.code, 0) << found.err.toStdString();
    EXPECT_EQ(found.out, QStringLiteral("Radio Rock\trock\tDE\tMP3\t128\thttp://s.example/3\n"));
}

TEST_F(StationsSearchCli, BadArgumentsAreNamed) {
    const struct {
        QStringList args;
        const char *named;
    } cases[] = {
        {{QStringLiteral("x"), QStringLiteral("--server"), QStringLiteral("ftp://mirror.example/")},
         "--server needs an http or https address, not \"ftp://mirror.example/\""},
        {{QStringLiteral("x"), QStringLiteral("--limit"), QStringLiteral("0")}, "--limit needs a number"},
        {{QStringLiteral("x"), QStringLiteral("--country"), QStringLiteral("DEU")}, "not \"DEU\""},
        {{QStringLiteral("x"), QStringLiteral("--bogus")}, "Unknown option 'bogus'"},
        {{}, "search needs a TEXT"},
    };
    for (const auto &c : cases) {
        const test::CliResult r = search(c.args);
        EXPECT_EQ(r.code, 2) << c.named;
        EXPECT_TRUE(r.err.contains(QLatin1String(c.named))) << r.err.toStdString();
    }
}

TEST_F(StationsSearchCli, UnusableDirectoriesChangeNothing) {
    test::writeBytes(radio(), record({}, QStringLiteral("http://kept/"), {}, QStringLiteral("Kept")));
    const QByteArray before = test::readBytes(radio());
    HttpServer notAList([](const test::HttpRequest &) {
        return HttpReply{200, R"({"message":"maintenance"})", "application/json"};
    });
    ASSERT_TRUE(notAList.start());
    const struct {
        QString server;
        QString message;
    } cases[] = {
        {QStringLiteral("http://127.0.0.1:%1").arg(HttpServer::closedPort()),
         QStringLiteral("could not be used: Connection refused")},
        {notAList.base(), QStringLiteral("could not be used: the answer is not a list of stations")},
    };
    for (const auto &c : cases) {
        const test::CliResult r =
            search({QStringLiteral("x"), QStringLiteral("--add"), QStringLiteral("--server"), c.server});
        EXPECT_EQ(r.code, 1);
        EXPECT_TRUE(r.err.contains(c.message)) << r.err.toStdString();
        EXPECT_TRUE(r.out.isEmpty());
        EXPECT_EQ(test::readBytes(radio()), before);
    }
}
