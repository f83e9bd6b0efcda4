// Servers that misbehave: every one must end in a clear failure (or, where the
// stream is still usable, in playing), never in a hang or growing memory.
#include "StreamTestUtil.h"
#include "support/SilentListener.h"

#include <QFile>
#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

// Peak resident memory of this process in KiB.
long peakMemoryKiB() {
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return 0;
}

class StreamHostileTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        output = SoundOutput::create(SoundOutput::Backend::Null);
        library = std::make_unique<StreamLibrary>(*output, quickOptions());
    }

    // Connects and, when that works, plays until the stream loses its connection
    // or the bound passes. Returns the error code of the connect, or Unknown
    // with the text of the first drop.
    StreamError endOf(const QString &path, QString *text = nullptr) {
        StreamEvents events;
        const auto handle = library->StreamCreateURL(server.url(path), events.statusCallback());
        if (!handle) {
            if (text)
                *text = StreamLibrary::ErrorText();
            return StreamLibrary::ErrorGetCode();
        }
        library->ChannelPlay(handle);
        const bool dropped = waitFor([&] { return !events.statuses().empty(); });
        library->StreamFree(handle);
        if (text && dropped)
            *text = events.statuses().front().second;
        return dropped ? StreamError::Unknown : StreamError::Ok;
    }

    IcyServer server;
    std::unique_ptr<SoundOutput> output;
    std::unique_ptr<StreamLibrary> library;
};

TEST_F(StreamHostileTest, HeadersThatNeverEndFailAsMalformedWithoutGrowingMemory) {
    IcyMount endlessLine = mp3Mount();
    endlessLine.hostile = test::Hostile::EndlessHeaderLine;
    server.addMount(QStringLiteral("/line"), endlessLine);
    IcyMount endlessHeaders = mp3Mount();
    endlessHeaders.hostile = test::Hostile::EndlessHeaders;
    server.addMount(QStringLiteral("/headers"), endlessHeaders);

    const long before = peakMemoryKiB();
    QString text;
    EXPECT_EQ(endOf(QStringLiteral("/line"), &text), StreamError::Protocol);
    EXPECT_EQ(text, QStringLiteral("a header line of the server does not end"));
    EXPECT_EQ(endOf(QStringLiteral("/headers"), &text), StreamError::Protocol);
    EXPECT_EQ(text, QStringLiteral("the server's headers do not end"));
    EXPECT_LT(peakMemoryKiB() - before, 32 * 1024);
}

TEST_F(StreamHostileTest, ServersThatStallOrTrickleTimeOut) {
    for (const auto hostile :
         {test::Hostile::TrickleHeaders, test::Hostile::StallAfterHeaders, test::Hostile::TrickleAudio}) {
        IcyMount mount = mp3Mount();
        mount.hostile = hostile;
        const QString path = QStringLiteral("/h%1").arg(int(hostile));
        server.addMount(path, mount);
        QString text;
        EXPECT_EQ(endOf(path, &text), StreamError::Timeout) << int(hostile) << ": " << text.toStdString();
    }
}

TEST_F(StreamHostileTest, UnusableMetadataIntervalsAreRefused) {
    const QList<QByteArray> values = {"99999999999", "2147483648", "-1", "0", "abc", "", "8192x", "1048577"};
    for (const QByteArray &value : values) {
        IcyMount mount = mp3Mount();
        mount.announceMetaint = false;
        mount.headers = {"icy-metaint:" + value};
        const QString path = QStringLiteral("/m%1").arg(QString::fromLatin1(value.toHex()));
        server.addMount(path, mount);
        QString text;
        EXPECT_EQ(endOf(path, &text), StreamError::Protocol) << value.constData();
        EXPECT_TRUE(text.contains(QStringLiteral("icy-metaint"))) << text.toStdString();
    }
    // Big but sane intervals are fine.
    IcyMount large = mp3Mount();
    large.metaint = 65536;
    server.addMount(QStringLiteral("/large"), large);
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/large")));
    EXPECT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->StreamFree(handle);
}

TEST_F(StreamHostileTest, AFullMetadataBlockWithoutTerminatorIsBoundedAndPlayGoesOn) {
    IcyMount mount = mp3Mount();
    mount.metaint = 2000;
    mount.hostile = test::Hostile::Meta255NoTerminator;
    server.addMount(QStringLiteral("/m"), mount);
    StreamEvents events;
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/m")), events.statusCallback());
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return library->MetaTag(handle).has_value(); }));
    const QString meta = *library->MetaTag(handle);
    EXPECT_EQ(meta.size(), 4080);
    EXPECT_TRUE(meta.startsWith(QStringLiteral("StreamTitle='xxx")));
    EXPECT_FALSE(meta.contains(QLatin1Char(';'))); // so the title it gives is empty
    QThread::msleep(1500);
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Playing);
    EXPECT_TRUE(events.statuses().empty());
}

TEST_F(StreamHostileTest, AMetadataBlockCutShortEndsInTimeOut) {
    IcyMount mount = mp3Mount();
    mount.metaint = 2000;
    mount.hostile = test::Hostile::Meta255Stall;
    server.addMount(QStringLiteral("/m"), mount);
    QString text;
    const StreamError end = endOf(QStringLiteral("/m"), &text);
    // Either the connect itself runs into the stall, or playing does.
    if (end == StreamError::Unknown)
        EXPECT_TRUE(text.contains(QStringLiteral("no audio")) || text.contains(QStringLiteral("in time")))
            << text.toStdString();
    else
        EXPECT_EQ(end, StreamError::Timeout) << text.toStdString();
}

TEST_F(StreamHostileTest, BytesThatAreNoAudioFail) {
    IcyMount mount = mp3Mount();
    mount.hostile = test::Hostile::Garbage;
    mount.contentType = "application/octet-stream";
    server.addMount(QStringLiteral("/g"), mount);
    const StreamError end = endOf(QStringLiteral("/g"));
    EXPECT_TRUE(end == StreamError::FileForm || end == StreamError::Timeout) << int(end);
}

} // namespace
} // namespace varnelo::streamtest

namespace varnelo::streamtest {
namespace {

// Servers that take the connection and never answer, listed many times over
// and nested: one deadline covers the whole connect, a cancel ends it at
// once, and an HLS master that names itself is not followed for ever.
TEST(StreamConnectBound, OneDeadlineCoversEveryEntryAndLevelAndACancelEndsIt) {
    IcyServer server;
    ASSERT_TRUE(server.start());
    test::SilentListener silent;
    ASSERT_TRUE(silent.listening());
    QByteArray flat = "[playlist]\n";
    for (int i = 1; i <= 40; ++i)
        flat +=
            "File" + QByteArray::number(i) + "=" + silent.url(QStringLiteral("/e%1").arg(i)).toUtf8() + "\n";
    server.addFile(QStringLiteral("/flat.pls"), "audio/x-scpls", flat);
    QByteArray nested = "#EXTM3U\n";
    for (int i = 1; i <= 4; ++i)
        nested += server.url(QStringLiteral("/flat.pls")).toUtf8() + "\n";
    server.addFile(QStringLiteral("/nested.m3u"), "audio/x-mpegurl", nested);
    server.addFile(QStringLiteral("/nested2.m3u"), "audio/x-mpegurl",
                   "#EXTM3U\n" + server.url(QStringLiteral("/nested.m3u")).toUtf8() + "\n");
    server.addFile(QStringLiteral("/self.m3u8"), "application/vnd.apple.mpegurl",
                   "#EXTM3U\n#EXT-X-STREAM-INF:BANDWIDTH=128000\nself.m3u8\n");

    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    StreamLibrary::Options options = quickOptions();
    options.connectTimeoutMs = 2000;
    StreamLibrary library(*output, options);
    // Each entry on its own deadline took 16 × 2 s for the flat list and far
    // longer nested; one deadline ends every case near its 2 s.
    // The master that names itself is refused as nesting too deeply, at once
    // and without the memory FFmpeg's own following of it took.
    const long before = peakMemoryKiB();
    const std::pair<const char *, StreamError> cases[] = {{"/flat.pls", StreamError::Timeout},
                                                          {"/nested.m3u", StreamError::Timeout},
                                                          {"/nested2.m3u", StreamError::Timeout},
                                                          {"/self.m3u8", StreamError::FileForm}};
    for (const auto &[path, code] : cases) {
        QElapsedTimer clock;
        clock.start();
        EXPECT_EQ(library.StreamCreateURL(server.url(QString::fromUtf8(path))), 0u);
        EXPECT_LT(clock.elapsed(), 8000) << path;
        EXPECT_EQ(StreamLibrary::ErrorGetCode(), code)
            << path << ": " << StreamLibrary::ErrorText().toStdString();
    }
    EXPECT_LT(peakMemoryKiB() - before, 32 * 1024);

    // With a minute to go, a cancel ends the connect within a second.
    options.connectTimeoutMs = 60000;
    StreamLibrary patient(*output, options);
    QElapsedTimer clock;
    clock.start();
    EXPECT_EQ(patient.StreamCreateURL(server.url(QStringLiteral("/nested2.m3u")), {},
                                      [&] { return clock.elapsed() > 300; }),
              0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Cancelled);
    EXPECT_LT(clock.elapsed(), 5000);
}

} // namespace
} // namespace varnelo::streamtest
