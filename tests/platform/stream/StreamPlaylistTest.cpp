#include "StreamTestUtil.h"

#include "platform/stream/StreamPlaylist.h"

#include "support/ChildProcess.h"
#include <QDir>
#include <QFile>
#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

const QUrl Base(QStringLiteral("http://radio.example/lists/station.pls"));

QStringList texts(const QList<QUrl> &urls) {
    QStringList out;
    for (const QUrl &url : urls)
        out.append(url.toString());
    return out;
}

TEST(StreamPlaylist, PlsEntriesComeInTheOrderOfTheirNumbersResolvedAgainstThePlaylist) {
    const QByteArray body =
        "[playlist]\r\nNumberOfEntries=3\r\nFile2=http://b.example:8000/live\r\n"
        "Title2=B\r\nfile1 = relative/one.mp3\r\nFILE10=/abs\r\nFile3=mms://old.example/x\r\n";
    EXPECT_EQ(texts(parsePlaylist(body, PlaylistKind::Pls, Base)),
              (QStringList{QStringLiteral("http://radio.example/lists/relative/one.mp3"),
                           QStringLiteral("http://b.example:8000/live"),
                           QStringLiteral("http://radio.example/abs")}));
}

TEST(StreamPlaylist, M3uSkipsCommentsAndBlankLines) {
    const QByteArray body =
        "#EXTM3U\n#EXTINF:-1,Station\nhttp://a.example/s\n\n  ../up.aac  \r\n# note\nhttps://c.example/x\n";
    EXPECT_EQ(
        texts(parsePlaylist(body, PlaylistKind::M3u, Base)),
        (QStringList{QStringLiteral("http://a.example/s"), QStringLiteral("http://radio.example/up.aac"),
                     QStringLiteral("https://c.example/x")}));
    EXPECT_FALSE(isHlsPlaylist(body));
    const QByteArray hls = "#EXTM3U\n#EXT-X-VERSION:3\n#EXT-X-TARGETDURATION:2\n#EXTINF:2.0,\nseg0.ts\n";
    EXPECT_TRUE(isHlsPlaylist(hls));
    EXPECT_TRUE(parsePlaylist(hls, PlaylistKind::M3u, Base).isEmpty());
}

TEST(StreamPlaylist, XspfAndAsxGiveTheirLocations) {
    const QByteArray xspf = "<?xml version=\"1.0\"?><playlist version=\"1\" xmlns=\"http://xspf.org/ns/0/\">"
                            "<trackList><track><location>http://x.example/1</location></track>"
                            "<track><location>two.ogg</location></track></trackList></playlist>";
    EXPECT_EQ(texts(parsePlaylist(xspf, PlaylistKind::Xspf, Base)),
              (QStringList{QStringLiteral("http://x.example/1"),
                           QStringLiteral("http://radio.example/lists/two.ogg")}));
    const QByteArray asx =
        "<ASX version=\"3.0\"><Entry><REF HREF=\"http://y.example/a?x=1&amp;y=2\" /></Entry>"
        "<entry><ref href='http://y.example/b'/></entry></ASX>";
    EXPECT_EQ(
        texts(parsePlaylist(asx, PlaylistKind::Asx, Base)),
        (QStringList{QStringLiteral("http://y.example/a?x=1&y=2"), QStringLiteral("http://y.example/b")}));
}

TEST(StreamPlaylist, KindIsToldByContentThenTypeThenName) {
    const QUrl plain(QStringLiteral("http://r.example/stream"));
    EXPECT_EQ(guessPlaylistKind("[Playlist]\nFile1=x", "text/html", plain), PlaylistKind::Pls);
    EXPECT_EQ(guessPlaylistKind("\xEF\xBB\xBF#EXTM3U\n", "", plain), PlaylistKind::M3u);
    EXPECT_EQ(guessPlaylistKind("<asx version=\"3\">", "", plain), PlaylistKind::Asx);
    EXPECT_EQ(
        guessPlaylistKind("<?xml version=\"1.0\"?><playlist xmlns=\"http://xspf.org/ns/0/\">", "", plain),
        PlaylistKind::Xspf);
    EXPECT_EQ(guessPlaylistKind("http://a/b\n", "audio/x-mpegurl", plain), PlaylistKind::M3u);
    EXPECT_EQ(guessPlaylistKind("File1=x", "audio/x-scpls", plain), PlaylistKind::Pls);
    EXPECT_EQ(guessPlaylistKind("http://a/b\n", "text/plain", QUrl(QStringLiteral("http://r.example/s.m3u"))),
              PlaylistKind::M3u);
    // Audio stays audio, whatever it is called.
    EXPECT_EQ(guessPlaylistKind("ID3\x03", "audio/x-mpegurl", QUrl(QStringLiteral("http://r.example/s.m3u"))),
              PlaylistKind::None);
    EXPECT_EQ(
        guessPlaylistKind("\xFF\xFB\x90\x00", "audio/mpeg", QUrl(QStringLiteral("http://r.example/s.pls"))),
        PlaylistKind::None);
    EXPECT_EQ(guessPlaylistKind("\xFF\xFB\x90\x00", "audio/mpeg", plain), PlaylistKind::None);
}

class StreamPlaylistServed : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        output = SoundOutput::create(SoundOutput::Backend::Null);
        library = std::make_unique<StreamLibrary>(*output, quickOptions());
        IcyMount mount = mp3Mount();
        mount.headers = {"icy-name:Listed"};
        server.addMount(QStringLiteral("/live"), mount);
        IcyMount refusing = mp3Mount();
        refusing.refuseAfterDrops = true; // every connection gets 503
        server.addMount(QStringLiteral("/missing"), refusing);
    }
    QString deadUrl() {
        IcyServer gone;
        return gone.start() ? gone.url(QStringLiteral("/dead")) : QString();
    }

    IcyServer server;
    std::unique_ptr<SoundOutput> output;
    std::unique_ptr<StreamLibrary> library;
};

TEST_F(StreamPlaylistServed, EachKindResolvesToItsFirstEntryThatConnects) {
    const QByteArray dead = deadUrl().toUtf8();
    server.addFile(QStringLiteral("/s.pls"), "audio/x-scpls",
                   "[playlist]\nFile1=" + dead + "\nFile2=/missing\nFile3=live\n");
    server.addFile(QStringLiteral("/s.m3u"), "audio/x-mpegurl",
                   "#EXTM3U\n#EXTINF:-1,x\n" + dead + "\n/live\n");
    server.addFile(QStringLiteral("/s.xspf"), "application/xspf+xml",
                   "<?xml version=\"1.0\"?><playlist xmlns=\"http://xspf.org/ns/0/\"><trackList>"
                   "<track><location>/live</location></track></trackList></playlist>");
    server.addFile(QStringLiteral("/s.asx"), "video/x-ms-asf",
                   "<asx version=\"3.0\"><entry><ref href=\"/live\"/></entry></asx>");
    server.addFile(QStringLiteral("/plain"), "text/plain", "/live\n"); // named like nothing, typed as text

    int expected = 0;
    for (const QString &path : {QStringLiteral("/s.pls"), QStringLiteral("/s.m3u"), QStringLiteral("/s.xspf"),
                                QStringLiteral("/s.asx")}) {
        const auto handle = library->StreamCreateURL(server.url(path));
        ASSERT_NE(handle, 0u) << path.toStdString() << ": " << StreamLibrary::ErrorText().toStdString();
        EXPECT_EQ(server.connections(QStringLiteral("/live")), ++expected) << path.toStdString();
        EXPECT_TRUE(library->IcyTags(handle)->contains(QStringLiteral("icy-name:Listed")));
        library->StreamFree(handle);
    }
    EXPECT_EQ(server.connections(QStringLiteral("/missing")), 1);
    EXPECT_EQ(library->StreamCreateURL(server.url(QStringLiteral("/plain"))),
              0u); // plain text is no playlist
}

TEST_F(StreamPlaylistServed, NestedPlaylistsResolveAndSelfReferenceStops) {
    server.addFile(QStringLiteral("/outer.m3u"), "audio/x-mpegurl", "inner.pls\n");
    server.addFile(QStringLiteral("/inner.pls"), "audio/x-scpls", "[playlist]\nFile1=/live\n");
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/outer.m3u")));
    EXPECT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();

    server.addFile(QStringLiteral("/loop.m3u"), "audio/x-mpegurl", "loop.m3u\n");
    EXPECT_EQ(library->StreamCreateURL(server.url(QStringLiteral("/loop.m3u"))), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::FileForm);
    EXPECT_EQ(StreamLibrary::ErrorText(), QStringLiteral("the playlists nest too deeply"));
    EXPECT_LE(server.connections(QStringLiteral("/loop.m3u")), 4);

    server.addFile(QStringLiteral("/empty.pls"), "audio/x-scpls", "[playlist]\nNumberOfEntries=0\n");
    EXPECT_EQ(library->StreamCreateURL(server.url(QStringLiteral("/empty.pls"))), 0u);
    EXPECT_EQ(StreamLibrary::ErrorText(), QStringLiteral("the playlist names no stream"));

    server.addFile(QStringLiteral("/huge.m3u"), "audio/x-mpegurl", QByteArray(300 * 1024, '#'));
    EXPECT_EQ(library->StreamCreateURL(server.url(QStringLiteral("/huge.m3u"))), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Protocol);
}

TEST_F(StreamPlaylistServed, HlsIsPlayedByFFmpegWithTheServedTone) {
    QTemporaryDir folder;
    ASSERT_EQ(
        test::runTool(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-hide_banner"), QStringLiteral("-loglevel"), QStringLiteral("error"),
                       QStringLiteral("-f"), QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("sine=frequency=750:sample_rate=44100:duration=6"),
                       QStringLiteral("-c:a"), QStringLiteral("aac"), QStringLiteral("-f"),
                       QStringLiteral("hls"), QStringLiteral("-hls_time"), QStringLiteral("2"),
                       QStringLiteral("-hls_list_size"), QStringLiteral("0"), QStringLiteral("index.m3u8")},
                      folder.path()),
        0);
    for (const QString &name : QDir(folder.path()).entryList(QDir::Files)) {
        QFile file(QDir(folder.path()).filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        server.addFile(QStringLiteral("/hls/") + name,
                       name.endsWith(QLatin1String(".m3u8")) ? "application/vnd.apple.mpegurl" : "video/mp2t",
                       file.readAll());
    }
    TapRecorder recorder(*output);
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/hls/index.m3u8")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_FALSE(library->IcyTags(handle).has_value());
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return recorder.soundFrames() > 44100; }));
    EXPECT_NEAR(measureFrequency(recorder.left(), 11025, 22050), 750, 7.5);
}

} // namespace
} // namespace varnelo::streamtest
