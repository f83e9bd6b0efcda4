// Disc ids against known discs and libdiscid; CDDB, MusicBrainz and the local
// xmcd file through servers the tests start on 127.0.0.1.
#include "platform/cd/CddbProtocol.h"
#include "platform/cd/DiscToc.h"
#include "platform/cd/FreeDBInformation.h"
#include "platform/cd/MusicBrainzJson.h"
#include "support/DiscImage.h"
#include "support/HttpServer.h"
#include "support/Wait.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QUrlQuery>
#include <algorithm>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::cd;
using namespace varnelo::test;

namespace {

// A disc with 12 audio tracks and a data session (an enhanced CD), its ids
// as the CDDB, MusicBrainz and AccurateRip databases know them.
DiscToc enhancedCd() {
    DiscToc toc;
    const int starts[] = {0,      15537,  31691,  50866,  66466,  81202, 99409,
                          115920, 133093, 149847, 161560, 177682, 207106};
    for (int i = 0; i < 13; ++i)
        toc.tracks.push_back({i + 1, starts[i], 0, i < 12});
    toc.leadout = 210385;
    toc.multiSession = true;
    return toc;
}

DiscToc threeTrackToc() {
    DiscToc toc;
    toc.tracks = {{1, 0, 242, true}, {2, 242, 151, true}, {3, 393, 374, true}};
    toc.leadout = 767;
    return toc;
}

// libdiscid (the reference implementation) on the same table.
QStringList libdiscidIds(const DiscToc &toc) {
    QStringList offsets;
    int first = 0, last = 0;
    for (const TocTrack &t : toc.tracks) {
        if (!t.audio)
            continue;
        first = first ? first : t.number;
        last = t.number;
        offsets << QString::number(t.start + 150);
    }
    const QString script =
        QStringLiteral("import libdiscid\nd = libdiscid.put(%1, %2, %3, [%4])\nprint(d.id, d.freedb_id)\n")
            .arg(first)
            .arg(last)
            .arg(toc.audioLeadout() + 150)
            .arg(offsets.join(QLatin1Char(',')));
    QByteArray out;
    runProgram(QStringLiteral("/usr/bin/python3"), {QStringLiteral("-c"), script}, &out);
    return QString::fromUtf8(out).trimmed().split(QLatin1Char(' '));
}

} // namespace

TEST(DiscIds, KnownEnhancedCd) {
    const DiscToc toc = enhancedCd();
    EXPECT_EQ(CddbDiscId(toc), QStringLiteral("c60af50d"));
    EXPECT_EQ(MusicBrainzDiscId(toc), QStringLiteral("KnpGsLhvH.lPrNc1PBL21lb9Bg4-"));
    EXPECT_EQ(accurateRipPath(accurateRipIds(toc)),
              QStringLiteral("a/5/d/dBAR-012-0013bd5a-00b8d489-c60af50d.bin"));
    EXPECT_EQ(
        CddbQueryArguments(toc),
        QStringLiteral("c60af50d 13 150 15687 31841 51016 66616 81352 99559 116070 133243 149997 161710 "
                       "177832 207256 2807"));
}

TEST(DiscIds, AsLibdiscidComputesThem) {
    for (const DiscToc &toc : {threeTrackToc(), enhancedCd()}) {
        const QStringList ids = libdiscidIds(toc);
        ASSERT_EQ(ids.size(), 2);
        EXPECT_EQ(MusicBrainzDiscId(toc), ids[0]);
        if (!toc.multiSession) { // libdiscid's freedb id then counts only the audio tracks
            EXPECT_EQ(CddbDiscId(toc), ids[1]);
        }
    }
}

TEST(CddbParsers, QueryAnswers) {
    struct Case {
        const char *body;
        int code;
        int matches;
    };
    const Case cases[] = {
        {"200 rock 2a09c205 AC/DC / High Voltage\r\n", 200, 1},
        {"211 Found inexact matches, list follows (until terminating `.')\r\nrock 2a09c205 AC/DC / High "
         "Voltage\r\nmisc 2a09c206 AC/DC / Live\r\n.\r\n",
         211, 2},
        {"210 Found exact matches\nrock 2a09c205 A / B\n.\n", 210, 1},
        {"202 No match found\r\n", 202, 0},
        {"403 Database entry is corrupt\r\n", 403, 0},
        {"", 0, 0},
        {"garbage", 0, 0},
        {"200 ../../etc passwd title\r\n", 0, 0}, // a category that is no word is refused
        {"211 list\r\n.\r\n", 202, 0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.body);
        const CddbQueryAnswer a = parseCddbQueryAnswer(QByteArray(c.body));
        EXPECT_EQ(a.code, c.code);
        EXPECT_EQ(int(a.matches.size()), c.matches);
    }
    const CddbQueryAnswer a = parseCddbQueryAnswer("200 rock 2a09c205 AC/DC / High Voltage\r\n");
    EXPECT_EQ(a.matches[0].category, QStringLiteral("rock"));
    EXPECT_EQ(a.matches[0].discId, QStringLiteral("2a09c205"));
    EXPECT_EQ(a.matches[0].title, QStringLiteral("AC/DC / High Voltage"));
}

TEST(CddbParsers, XmcdEntries) {
    const QByteArray entry = "# xmcd\n#\n# Track frame offsets:\n#   150\nDISCID=2a09c205,2a09c206\n"
                             "DTITLE=Various / Best of the Se\nDTITLE=venties\nDYEAR=1976\nDGENRE=Rock\n"
                             "TTITLE0=AC/DC / T.N.T.\nTTITLE1=Plain title with a \\n line\nTTITLE2=\n"
                             "TTITLE9=beyond the disc\nEXTD=\nPLAYORDER=\n";
    const auto info = parseXmcd(entry, 3);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->artist, QStringLiteral("Various"));
    EXPECT_EQ(info->album, QStringLiteral("Best of the Seventies"));
    EXPECT_EQ(info->year, QStringLiteral("1976"));
    EXPECT_EQ(info->genre, QStringLiteral("Rock"));
    ASSERT_EQ(info->tracks.size(), 3u);
    EXPECT_EQ(info->tracks[0].artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(info->tracks[0].title, QStringLiteral("T.N.T."));
    EXPECT_EQ(info->tracks[1].artist, QStringLiteral("Various"));
    EXPECT_EQ(info->tracks[1].title, QStringLiteral("Plain title with a line"));
    EXPECT_TRUE(info->tracks[2].title.isEmpty());
    EXPECT_EQ(xmcdDiscIds(entry), (QStringList{QStringLiteral("2a09c205"), QStringLiteral("2a09c206")}));

    // Without " / " the title is artist and album both; bytes that are not UTF-8 are Windows-1252.
    const auto latin = parseXmcd("DTITLE=Mot\xf6rhead\nTTITLE0=Ace of Spades\n", 1);
    ASSERT_TRUE(latin);
    EXPECT_EQ(latin->artist, QStringLiteral("Mot\u00f6rhead"));
    EXPECT_EQ(latin->album, QStringLiteral("Mot\u00f6rhead"));

    // A value continued without end is cut, not grown.
    QByteArray endless;
    for (int i = 0; i < 5000; ++i)
        endless += "TTITLE0=" + QByteArray(250, 'a') + '\n';
    const auto cut = parseXmcd(endless, 1);
    ASSERT_TRUE(cut);
    EXPECT_LE(cut->tracks[0].title.size(), XmcdValueLimit);
    EXPECT_FALSE(parseXmcd("# only comments\n", 2));
    EXPECT_EQ(splitXmcdEntries("# xmcd\nDTITLE=a\n# xmcd\nDTITLE=b\n").size(), 2u);

    // What the program writes it reads back: escapes, a compilation's track
    // artist, a value longer than one line; control characters are dropped.
    AlbumInfo kept;
    kept.artist = QStringLiteral("Back\\slash");
    kept.album = QStringLiteral("Two\nlines\x01");
    kept.year = QStringLiteral("1999");
    kept.tracks = {{QString(300, QLatin1Char('\\')), kept.artist},
                   {QStringLiteral("T\u00e9"), QStringLiteral("Guest")}};
    const auto back = parseXmcd(writeXmcd(kept, threeTrackToc()), 2);
    ASSERT_TRUE(back);
    EXPECT_EQ(QStringList({back->artist, back->album, back->year, back->tracks[0].title,
                           back->tracks[1].title, back->tracks[1].artist}),
              QStringList({kept.artist, QStringLiteral("Two lines"), kept.year, kept.tracks[0].title,
                           kept.tracks[1].title, QStringLiteral("Guest")}));
}

TEST(MusicBrainzParser, TakesTheMediumOfTheDisc) {
    const QByteArray json = R"({"id":"ID1","releases":[
        {"id":"r1","title":"High Voltage","date":"1976-02-17","country":"AU",
         "artist-credit":[{"name":"AC/DC","joinphrase":""}],
         "media":[{"discs":[{"id":"OTHER"}],"tracks":[{"title":"x"}]},
                  {"discs":[{"id":"ID1"}],"tracks":[
                     {"title":"T.N.T.","artist-credit":[{"name":"AC/DC"}]},
                     {"recording":{"title":"From the recording"}},
                     {"title":"With a guest","artist-credit":[{"name":"AC/DC","joinphrase":" feat. "},{"artist":{"name":"Guest"}}]}]}]},
        {"id":"r2","title":"No such disc","media":[{"discs":[{"id":"X"}],"tracks":[]}]}]})";
    const auto releases = parseMusicBrainzDiscAnswer(json, QStringLiteral("ID1"), 3);
    ASSERT_EQ(releases.size(), 1u);
    const AlbumInfo &info = releases[0].info;
    EXPECT_EQ(releases[0].label, QStringLiteral("AC/DC / High Voltage (1976, AU)"));
    EXPECT_EQ(info.year, QStringLiteral("1976"));
    EXPECT_EQ(info.tracks[0].title, QStringLiteral("T.N.T."));
    EXPECT_EQ(info.tracks[1].title, QStringLiteral("From the recording"));
    EXPECT_EQ(info.tracks[1].artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(info.tracks[2].artist, QStringLiteral("AC/DC feat. Guest"));
    for (const char *bad : {"", "[]", "{\"releases\":5}", "{\"releases\":[{\"media\":\"x\"}]}", "\xff\xfe"})
        EXPECT_TRUE(parseMusicBrainzDiscAnswer(QByteArray(bad), QStringLiteral("ID1"), 3).empty()) << bad;
}

// The release id goes into a cover address: only the shape of one is taken,
// from the answer (the archive rip's test) or from the source kept with the album.
TEST(MusicBrainzParser, ReleaseIdHasItsShapeOrIsNone) {
    const QString id = QStringLiteral("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d");
    struct Case {
        QString field, source, want;
    };
    const Case cases[] = {
        {id, {}, id},
        {{}, QStringLiteral("MusicBrainz release ") + id, id},
        {{}, QStringLiteral("CDDB rock/c60af50d"), {}},
        {{}, QStringLiteral("MusicBrainz release ../../admin?x=0a1b2c3d-4e5f-4a6b-8c7d"), {}},
        {id.toUpper(), {}, {}},
    };
    for (const Case &c : cases) {
        AlbumInfo info;
        info.musicBrainzRelease = c.field;
        info.source = c.source;
        EXPECT_EQ(info.releaseId(), c.want) << c.source.toStdString();
    }
}

namespace {

// A CDDB server with one disc in two categories, answering as a test says.
struct CddbServer {
    enum class Mode { Exact, Inexact, None, OverlongLine, NotUtf8, Endless };
    Mode mode = Mode::Exact;
    HttpServer server{[this](const HttpRequest &r) { return answer(r); }};

    HttpReply answer(const HttpRequest &r) {
        const QString cmd = QUrlQuery(QString::fromLatin1(r.rawQuery))
                                .queryItemValue(QStringLiteral("cmd"), QUrl::FullyDecoded)
                                .replace(QLatin1Char('+'), QLatin1Char(' '));
        HttpReply reply;
        if (r.path != QLatin1String("/~cddb/cddb.cgi"))
            return {404, "no such page"};
        if (mode == Mode::Endless)
            return {200, "210 rock 00000000 entry follows\r\nTTITLE0=", "text/plain",
                    HttpReply::Kind::Endless, false};
        if (cmd.startsWith(QLatin1String("cddb query"))) {
            switch (mode) {
            case Mode::None:
                reply.body = "202 No match found\r\n";
                break;
            case Mode::Inexact:
                reply.body = "211 Found inexact matches, list follows (until terminating `.')\r\n"
                             "rock 2a09c205 AC/DC / High Voltage\r\nmisc 2a09c206 AC/DC / High Voltage "
                             "(live)\r\n.\r\n";
                break;
            default:
                reply.body = "200 rock 2a09c205 AC/DC / High Voltage\r\n";
                break;
            }
            reply.withLength = false; // many cddb.cgi answers have no length
            return reply;
        }
        if (cmd.startsWith(QLatin1String("cddb read"))) {
            const bool live = cmd.contains(QLatin1String("misc"));
            QByteArray entry =
                "210 rock 2a09c205 CD database entry follows (until terminating `.')\r\n# xmcd\r\n"
                "DISCID=2a09c205\r\nDTITLE=AC/DC / High Voltage" +
                QByteArray(live ? " (live)" : "") + "\r\nDYEAR=1976\r\nDGENRE=Hard Rock\r\n";
            if (mode == Mode::OverlongLine)
                entry += "TTITLE0=" + QByteArray(200000, 'T') + "\r\n";
            else if (mode == Mode::NotUtf8)
                entry += "TTITLE0=Caf\xe9 \xff\xfe\r\n";
            else
                entry += "TTITLE0=T.N.T.\r\n";
            entry += "TTITLE1=Rock 'n' Roll Singer\r\nTTITLE2=The Jack\r\n.\r\n";
            reply.body = entry;
            return reply;
        }
        return {200, "500 Command syntax error\r\n"};
    }
};

class LookupTest : public ::testing::Test {
protected:
    FreeDBInformation info;
    std::vector<int> statuses;

    void SetUp() override {
        QObject::connect(&info, &FreeDBInformation::statusChanged, &info,
                         [this](int s) { statuses.push_back(s); });
        info.settings.timeoutMs = 3000;
        info.settings.user = QStringLiteral("tester");
        info.settings.host = QStringLiteral("example.org");
    }
    int query(const DiscToc &toc = threeTrackToc(), int timeoutMs = 20000) {
        statuses.clear();
        info.Query(toc);
        waitUntil([this] { return !statuses.empty() && statuses.back() != 1 && statuses.back() != 2; },
                  timeoutMs);
        return statuses.empty() ? 99 : statuses.back();
    }
};

} // namespace

TEST_F(LookupTest, ExactMatchReadsTheEntry) {
    CddbServer cddb;
    ASSERT_TRUE(cddb.server.start());
    info.settings.cddbServer = cddbServerUrl(cddb.server.url(), QString());
    EXPECT_EQ(query(), 3);
    EXPECT_EQ(statuses, (std::vector<int>{1, 2, 3}));
    ASSERT_TRUE(info.result());
    EXPECT_EQ(info.result()->artist, QStringLiteral("AC/DC"));
    EXPECT_EQ(info.result()->album, QStringLiteral("High Voltage"));
    EXPECT_EQ(info.result()->genre, QStringLiteral("Hard Rock"));
    EXPECT_EQ(info.result()->tracks.at(0).title, QStringLiteral("T.N.T."));
    // On a busy machine Qt's network layer may send the same request twice in a
    // row (seen: the query, once in about 40 runs beside three busy loops); that
    // is still one step of the lookup.
    auto requests = cddb.server.requests();
    std::string seen;
    for (const auto &r : requests)
        seen += r.rawQuery.toStdString() + "\n";
    requests.erase(std::unique(requests.begin(), requests.end(),
                               [](const auto &a, const auto &b) { return a.rawQuery == b.rawQuery; }),
                   requests.end());
    ASSERT_EQ(requests.size(), 2u) << seen;
    const QUrlQuery q(QString::fromLatin1(requests[0].rawQuery));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("hello"), QUrl::FullyDecoded)
                  .replace(QLatin1Char('+'), QLatin1Char(' ')),
              QStringLiteral("tester example.org Varnelo 1.00"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("proto")), QStringLiteral("6"));
    EXPECT_EQ(q.queryItemValue(QStringLiteral("cmd"), QUrl::FullyDecoded)
                  .replace(QLatin1Char('+'), QLatin1Char(' ')),
              QStringLiteral("cddb query ") + CddbQueryArguments(threeTrackToc()));
}

TEST_F(LookupTest, AnAnswerIsKeptPerDiscAndUsedWithoutAServer) {
    QTemporaryDir data;
    info.settings.cacheFolder = data.filePath(QStringLiteral("albums"));
    {
        CddbServer cddb;
        ASSERT_TRUE(cddb.server.start());
        info.settings.cddbServer = cddbServerUrl(cddb.server.url(), QString());
        ASSERT_EQ(query(), 3);
    }
    EXPECT_EQ(query(), 3); // the server is gone
    EXPECT_EQ(statuses, std::vector<int>{3});
    EXPECT_EQ(info.result()->tracks.at(2).title, QStringLiteral("The Jack"));
    EXPECT_EQ(info.result()->source, QStringLiteral("CDDB rock/2a09c205"));
    DiscToc other = threeTrackToc();
    other.leadout += 75;
    EXPECT_EQ(query(other), -1); // another disc is not taken for it
}

TEST_F(LookupTest, SeveralMatchesAreTheUsersChoice) {
    CddbServer cddb;
    cddb.mode = CddbServer::Mode::Inexact;
    ASSERT_TRUE(cddb.server.start());
    info.settings.cddbServer = cddbServerUrl(cddb.server.url(), QString());
    QStringList offered;
    info.chooseMatch = [&offered](const QStringList &m) {
        offered = m;
        return 1;
    };
    EXPECT_EQ(query(), 3);
    ASSERT_EQ(offered.size(), 2);
    EXPECT_TRUE(offered[1].contains(QStringLiteral("(live)")));
    EXPECT_EQ(info.result()->album, QStringLiteral("High Voltage (live)"));

    info.chooseMatch = [](const QStringList &) { return -1; }; // the user takes none
    EXPECT_EQ(query(), 0);
    EXPECT_FALSE(info.result());
}

TEST_F(LookupTest, NoMatchDeadServerAndHostileAnswers) {
    CddbServer cddb;
    ASSERT_TRUE(cddb.server.start());
    info.settings.cddbServer = cddbServerUrl(cddb.server.url(), QString());
    cddb.mode = CddbServer::Mode::None;
    EXPECT_EQ(query(), -2);

    cddb.mode = CddbServer::Mode::OverlongLine;
    EXPECT_EQ(query(), 3);
    EXPECT_LE(info.result()->tracks[0].title.size(), XmcdValueLimit);

    cddb.mode = CddbServer::Mode::NotUtf8;
    EXPECT_EQ(query(), 3);
    EXPECT_EQ(info.result()->tracks[0].title, QStringLiteral("Caf\u00e9 \u00ff\u00fe"));

    cddb.mode = CddbServer::Mode::Endless;
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(query(), -1);
    EXPECT_LT(t.elapsed(), 15000) << "an answer without end is cut off";
    EXPECT_FALSE(info.lastError().isEmpty());

    info.settings.cddbServer =
        QUrl(QStringLiteral("http://127.0.0.1:%1/~cddb/cddb.cgi").arg(HttpServer::closedPort()));
    EXPECT_EQ(query(), -1);
    EXPECT_EQ(statuses, (std::vector<int>{1, -1}));
}

TEST_F(LookupTest, MusicBrainzWhenTheCddbServerHasNothing) {
    CddbServer cddb;
    cddb.mode = CddbServer::Mode::None;
    ASSERT_TRUE(cddb.server.start());
    const DiscToc toc = threeTrackToc();
    const QString id = MusicBrainzDiscId(toc);
    HttpServer mb([&id](const HttpRequest &r) -> HttpReply {
        if (r.path != QStringLiteral("/ws/2/discid/") + id)
            return {404, R"({"error":"Not Found"})"};
        return {
            200,
            R"({"releases":[{"id":"r1","title":"Voltage","artist-credit":[{"name":"Band"}],"media":[{"discs":[{"id":")" +
                id.toLatin1() + R"("}],"tracks":[{"title":"One"},{"title":"Two"},{"title":"Three"}]}]}]})",
            "application/json"};
    });
    ASSERT_TRUE(mb.start());
    info.settings.source = LookupSettings::Source::Any;
    info.settings.cddbServer = cddbServerUrl(cddb.server.url(), QString());
    info.settings.musicBrainzServer = QUrl(mb.url());
    EXPECT_EQ(query(toc), 3);
    EXPECT_EQ(info.result()->tracks[1].title, QStringLiteral("Two"));
    EXPECT_EQ(info.result()->artist, QStringLiteral("Band"));
    auto requests = mb.requests();
    ASSERT_EQ(requests.size(), 1u);
    EXPECT_TRUE(requests[0].header("User-Agent").startsWith("Varnelo/1.00 "))
        << requests[0].header("User-Agent").constData();
    EXPECT_TRUE(requests[0].header("User-Agent").contains("tester@example.org"));
    EXPECT_EQ(requests[0].rawQuery, QByteArray("inc=recordings+artist-credits&fmt=json"));

    // One request a second: a second lookup at once waits for its turn.
    EXPECT_EQ(query(toc), 3);
    requests = mb.requests();
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_GE(requests[1].atMs - requests[0].atMs, FreeDBInformation::MusicBrainzIntervalMs - 20);

    // Not in either: nothing; the CDDB server gone and MusicBrainz without the disc: failed.
    DiscToc other = toc;
    other.leadout += 1;
    EXPECT_EQ(query(other), -2);
    info.settings.cddbServer = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(HttpServer::closedPort()));
    EXPECT_EQ(query(other), -1);
    EXPECT_TRUE(info.lastError().startsWith(QStringLiteral("MusicBrainz does not know this disc; CDDB: ")))
        << info.lastError().toStdString();
}

TEST_F(LookupTest, LocalXmcdFile) {
    QTemporaryDir dir;
    const DiscToc toc = threeTrackToc();
    QFile f(dir.filePath(QStringLiteral("CDFreeDB.ini")));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("# xmcd\nDISCID=00000001\nDTITLE=Wrong / Disc\n# xmcd\nDISCID=" + CddbDiscId(toc).toLatin1() +
            "\nDTITLE=Local / Album\nTTITLE0=First\n");
    f.close();
    info.settings.source = LookupSettings::Source::LocalFile;
    info.settings.localFile = f.fileName();
    EXPECT_EQ(query(toc), 3);
    EXPECT_EQ(info.result()->album, QStringLiteral("Album"));
    EXPECT_EQ(info.result()->tracks[0].title, QStringLiteral("First"));
    DiscToc other = toc;
    other.leadout += 100;
    EXPECT_EQ(query(other), -2);
}
