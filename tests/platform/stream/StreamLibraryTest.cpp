#include "StreamTestUtil.h"

#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

class StreamLibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        output = SoundOutput::create(SoundOutput::Backend::Null);
        recorder = std::make_unique<TapRecorder>(*output);
        library = std::make_unique<StreamLibrary>(*output, quickOptions());
    }
    void TearDown() override {
        library.reset();
        recorder.reset();
    }

    StreamLibrary::Handle connect(const QString &path) {
        return library->StreamCreateURL(server.url(path), events.statusCallback());
    }

    IcyServer server;
    std::unique_ptr<SoundOutput> output;
    std::unique_ptr<TapRecorder> recorder;
    std::unique_ptr<StreamLibrary> library;
    StreamEvents events;
};

TEST_F(StreamLibraryTest, HeaderLinesComeAsTheServerSentThemAndMetadataIsAskedFor) {
    IcyMount mount = mp3Mount();
    mount.headers = {"icy-name: Radio X", "Icy-Genre:Jazz", "icy-url:http://radio.example/",
                     "icy-description:  two blanks  "};
    mount.metadata = {test::streamTitle(QStringLiteral("First - Song"))};
    server.addMount(QStringLiteral("/live"), mount);

    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Ok);

    const auto tags = library->IcyTags(handle);
    ASSERT_TRUE(tags.has_value());
    EXPECT_TRUE(tags->contains(QStringLiteral("icy-name: Radio X")));
    EXPECT_TRUE(tags->contains(QStringLiteral("Icy-Genre:Jazz")));
    EXPECT_TRUE(tags->contains(QStringLiteral("icy-url:http://radio.example/")));
    EXPECT_TRUE(tags->contains(QStringLiteral("icy-description:  two blanks  ")));
    EXPECT_TRUE(tags->contains(QStringLiteral("icy-metaint:8192")));
    EXPECT_TRUE(server.lastRequest(QStringLiteral("/live")).contains("Icy-MetaData: 1"));

    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return library->MetaTag(handle).has_value(); }));
    EXPECT_EQ(*library->MetaTag(handle), QStringLiteral("StreamTitle='First - Song';StreamUrl='';"));
}

TEST_F(StreamLibraryTest, EachNewTitleReachesTheCallbackOnTheLibrarysThreadInOrder) {
    IcyMount mount = mp3Mount();
    mount.metaint = 4000;
    mount.metadata = {test::streamTitle(QStringLiteral("One")), test::streamTitle(QStringLiteral("Two")),
                      test::streamTitle(QStringLiteral("Three"))};
    mount.metadataIntervalMs = 700;
    server.addMount(QStringLiteral("/live"), mount);

    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    ASSERT_TRUE(library->ChannelSetSync(handle, events.metaCallback()));
    ASSERT_TRUE(library->ChannelPlay(handle));
    ASSERT_TRUE(waitFor([&] {
        const auto seen = events.metadata();
        return !seen.empty() && seen.back() == QString::fromUtf8(test::streamTitle(QStringLiteral("Three")));
    }));
    const auto seen = events.metadata();
    // Each text comes once, in the order served (the first may have come before the callback was set).
    for (std::size_t i = 1; i < seen.size(); ++i)
        EXPECT_NE(seen[i], seen[i - 1]);
    EXPECT_EQ(seen.back(), QString::fromUtf8(test::streamTitle(QStringLiteral("Three"))));
    EXPECT_FALSE(events.metaOnMainThread());
    EXPECT_EQ(*library->MetaTag(handle), seen.back());
}

TEST_F(StreamLibraryTest, TitlesThatAreNotUtf8AreReadAsWindows1252) {
    IcyMount mount = mp3Mount();
    mount.metadata = {QByteArray("StreamTitle='Caf\xe9 \x96 Stra\xdf"
                                 "e \x80';")};
    server.addMount(QStringLiteral("/latin"), mount);
    IcyMount utf8 = mp3Mount();
    utf8.metadata = {test::streamTitle(QStringLiteral("Café – Straße €"))};
    server.addMount(QStringLiteral("/utf8"), utf8);

    for (const QString &path : {QStringLiteral("/latin"), QStringLiteral("/utf8")}) {
        const auto handle = connect(path);
        ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
        library->ChannelPlay(handle);
        ASSERT_TRUE(waitFor([&] { return library->MetaTag(handle).has_value(); }));
        EXPECT_TRUE(library->MetaTag(handle)->startsWith(QStringLiteral("StreamTitle='Café – Straße €';")))
            << path.toStdString() << ": " << library->MetaTag(handle)->toStdString();
        library->StreamFree(handle);
    }
}

TEST_F(StreamLibraryTest, PauseHoldsTheSoundAndPlayResumesTheSameConnection) {
    server.addMount(QStringLiteral("/live"), mp3Mount());
    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Paused); // created, not yet played
    EXPECT_EQ(recorder->soundFrames(), 0u);

    ASSERT_TRUE(library->ChannelPlay(handle));
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Playing);
    ASSERT_TRUE(waitFor([&] { return recorder->soundFrames() > 22050; }));

    ASSERT_TRUE(library->ChannelPause(handle));
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Paused);
    ASSERT_TRUE(recorder->settle()); // a block being mixed as the pause came may still arrive
    const std::size_t atPause = recorder->soundFrames();
    ASSERT_TRUE(recorder->mixed(SoundOutput::MixRate * 8 / 10));
    EXPECT_EQ(recorder->soundFrames(), atPause);

    ASSERT_TRUE(library->ChannelPlay(handle));
    ASSERT_TRUE(waitFor([&] { return recorder->soundFrames() > atPause + 22050; }));
    EXPECT_EQ(server.connections(QStringLiteral("/live")), 1);
}

TEST_F(StreamLibraryTest, StopEndsSoundAndConnectionAndOnlyFreeReleasesTheHandle) {
    server.addMount(QStringLiteral("/live"), mp3Mount());
    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return recorder->soundFrames() > 4410; }));

    ASSERT_TRUE(library->ChannelStop(handle));
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Stopped);
    ASSERT_TRUE(waitFor([&] { return server.openConnections() == 0; }));
    ASSERT_TRUE(recorder->settle());
    const std::size_t atStop = recorder->soundFrames();
    ASSERT_TRUE(recorder->mixed(SoundOutput::MixRate / 2));
    EXPECT_EQ(recorder->soundFrames(), atStop);

    EXPECT_FALSE(library->ChannelPlay(handle));
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Start);
    EXPECT_TRUE(library->IcyTags(handle).has_value()); // still allocated

    library->StreamFree(handle);
    EXPECT_FALSE(library->IcyTags(handle).has_value());
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Handle);
    library->StreamFree(0); // harmless
    library->StreamFree(handle);
}

TEST_F(StreamLibraryTest, VolumeIsTheOutputsVolume) {
    library->SetVolume(30);
    EXPECT_EQ(library->GetVolume(), 30);
    EXPECT_EQ(output->volume(), 30);
}

TEST_F(StreamLibraryTest, RedirectsAreFollowedAndLoopsEnd) {
    server.addMount(QStringLiteral("/live"), mp3Mount());
    server.addRedirect(QStringLiteral("/old"), QStringLiteral("/moved"), 301);
    server.addRedirect(QStringLiteral("/moved"), server.url(QStringLiteral("/live")), 302);
    server.addRedirect(QStringLiteral("/a"), QStringLiteral("/b"));
    server.addRedirect(QStringLiteral("/b"), QStringLiteral("/a"));

    const auto handle = connect(QStringLiteral("/old"));
    EXPECT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_EQ(server.connections(QStringLiteral("/live")), 1);

    EXPECT_EQ(connect(QStringLiteral("/a")), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(),
              StreamError::Http); // the server answered, just not with a stream
    EXPECT_EQ(StreamLibrary::ErrorText(), QStringLiteral("too many redirects"));
}

TEST_F(StreamLibraryTest, UnreachableAndMissingAddressesFailWithACode) {
    EXPECT_EQ(connect(QStringLiteral("/nothing-here")), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::Http);
    EXPECT_TRUE(StreamLibrary::ErrorText().contains(QStringLiteral("404")));

    // A port nobody listens on: take one from a server that is gone again.
    QString closedUrl;
    {
        IcyServer gone;
        ASSERT_TRUE(gone.start());
        closedUrl = gone.url(QStringLiteral("/x"));
    }
    EXPECT_EQ(library->StreamCreateURL(closedUrl), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::FileOpen);

    EXPECT_EQ(library->StreamCreateURL(QStringLiteral("ftp://127.0.0.1/x")), 0u);
    EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::FileOpen);
    EXPECT_EQ(library->StreamCreateURL(QString()), 0u);
}

// More drops than a give-up time's worth of attempts: each reconnect that
// plays starts the count and the back-off afresh.
TEST_F(StreamLibraryTest, ADroppedStreamReconnectsAndSaysSo) {
    IcyMount mount = mp3Mount();
    mount.dropAfterBytes = 40000;
    mount.dropConnections = 3;
    server.addMount(QStringLiteral("/live"), mount);

    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return server.connections(QStringLiteral("/live")) == 4; }));
    ASSERT_TRUE(waitFor([&] { return events.statuses().size() == 6u; }));
    const auto statuses = events.statuses();
    for (std::size_t i = 0; i < statuses.size(); i += 2) {
        EXPECT_EQ(statuses[i].first, StreamStatus::Reconnecting);
        EXPECT_TRUE(statuses[i].second.startsWith(QStringLiteral("Connection lost: ")));
        EXPECT_TRUE(statuses[i].second.endsWith(QStringLiteral(". Reconnecting in 0.2 s")));
        EXPECT_EQ(statuses[i + 1].first, StreamStatus::Reconnected);
    }
    EXPECT_FALSE(events.has(StreamStatus::Failed));

    // The sound goes on from the new connection.
    const std::size_t before = recorder->soundFrames();
    ASSERT_TRUE(waitFor([&] { return recorder->soundFrames() > before + 44100; }));
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Playing);
}

TEST_F(StreamLibraryTest, AStreamThatStaysDownGivesUpAfterItsAttempts) {
    IcyMount mount = mp3Mount();
    mount.dropAfterBytes = 20000;
    mount.dropConnections = 1;
    mount.refuseAfterDrops = true;
    server.addMount(QStringLiteral("/live"), mount);

    const auto handle = connect(QStringLiteral("/live"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return events.has(StreamStatus::Failed); }));
    const auto statuses = events.statuses();
    ASSERT_EQ(statuses.size(), 3u);
    EXPECT_EQ(statuses[0].first, StreamStatus::Reconnecting);
    EXPECT_EQ(statuses[1].first, StreamStatus::Reconnecting);
    EXPECT_TRUE(statuses[1].second.endsWith(QStringLiteral("Reconnecting in 0.4 s")));
    EXPECT_EQ(statuses[2].first, StreamStatus::Failed);
    EXPECT_TRUE(statuses[2].second.contains(QStringLiteral("answered 503")))
        << statuses[2].second.toStdString();
    EXPECT_EQ(server.connections(QStringLiteral("/live")), 3);
    EXPECT_EQ(library->ChannelIsActive(handle), StreamLibrary::Activity::Stopped);
    library->StreamFree(handle);
}

TEST(StreamLibraryBackOff, DoublesUpToItsCap) {
    const StreamLibrary::Options options;
    const std::pair<int, int> cases[] = {{1, 1000}, {2, 2000}, {5, 16000}, {6, 30000}, {40, 30000}};
    for (const auto &[attempt, ms] : cases)
        EXPECT_EQ(reconnectDelayMs(options, attempt), ms) << attempt;
}

TEST_F(StreamLibraryTest, FreeingWhileReconnectingEndsAtOnce) {
    IcyMount mount = mp3Mount();
    mount.dropAfterBytes = 20000;
    mount.dropConnections = 100;
    server.addMount(QStringLiteral("/live"), mount);
    StreamLibrary::Options slow = quickOptions();
    slow.reconnectDelayMs = 60000;
    StreamLibrary patient(*output, slow);
    StreamEvents mine;
    const auto handle = patient.StreamCreateURL(server.url(QStringLiteral("/live")), mine.statusCallback());
    ASSERT_NE(handle, 0u);
    patient.ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return mine.has(StreamStatus::Reconnecting); }));
    patient.StreamFree(handle); // would wait a minute if the back-off ignored it
    EXPECT_EQ(patient.ChannelIsActive(handle), StreamLibrary::Activity::Stopped);
}

TEST(StreamLibraryTls, HttpsStreamsPlayWhenTrustedAndFailOtherwise) {
    QTemporaryDir folder;
    const test::TlsIdentity identity = test::makeTestIdentity(folder.path());
    ASSERT_FALSE(identity.certificatePem.isEmpty());
    IcyServer server;
    ASSERT_TRUE(server.startTls(identity));
    IcyMount mount = mp3Mount();
    mount.headers = {"icy-name:Secure"};
    server.addMount(QStringLiteral("/live"), mount);
    ASSERT_TRUE(server.url(QStringLiteral("/live")).startsWith(QStringLiteral("https://")));

    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    {
        StreamLibrary untrusting(*output, quickOptions());
        EXPECT_EQ(untrusting.StreamCreateURL(server.url(QStringLiteral("/live"))), 0u);
        EXPECT_EQ(StreamLibrary::ErrorGetCode(), StreamError::FileOpen);
    }
    StreamLibrary::Options options = quickOptions();
    options.caCertificates = {QSslCertificate(identity.certificatePem, QSsl::Pem)};
    StreamLibrary library(*output, options);
    TapRecorder recorder(*output);
    const auto handle = library.StreamCreateURL(server.url(QStringLiteral("/live")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_TRUE(library.IcyTags(handle)->contains(QStringLiteral("icy-name:Secure")));
    library.ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return recorder.soundFrames() > 44100; }));
    EXPECT_NEAR(measureFrequency(recorder.left(), 11025, 22050), 440, 4.4);
}

struct ToneCase {
    ToneFormat format;
    int frequency;
    const char *name;
};

class StreamToneTest : public StreamLibraryTest, public ::testing::WithParamInterface<ToneCase> {};

TEST_P(StreamToneTest, TheOutputCarriesTheServedTone) {
    const ToneCase c = GetParam();
    IcyMount mount;
    mount.audio = tone(Tone{c.format, c.frequency, 8.0});
    ASSERT_FALSE(mount.audio.isEmpty());
    mount.contentType = test::contentTypeOf(c.format);
    mount.metadata = {test::streamTitle(QStringLiteral("Tone"))};
    server.addMount(QStringLiteral("/tone"), mount);

    const auto handle = connect(QStringLiteral("/tone"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return recorder->soundFrames() > 44100; }));
    const std::vector<float> left = recorder->left();
    // Half a second from well inside the sound, clear of the encoder's start.
    const double measured = measureFrequency(left, 11025, 22050);
    EXPECT_NEAR(measured, c.frequency, c.frequency * 0.01) << c.name;
}

INSTANTIATE_TEST_SUITE_P(Formats, StreamToneTest,
                         ::testing::Values(ToneCase{ToneFormat::Mp3, 440, "mp3"},
                                           ToneCase{ToneFormat::Aac, 880, "aac"},
                                           ToneCase{ToneFormat::OggVorbis, 1000, "vorbis"},
                                           ToneCase{ToneFormat::OggOpus, 660, "opus"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST_F(StreamLibraryTest, ChainedOggAnnouncesEachTitle) {
    IcyMount mount;
    mount.audio =
        tone(Tone{ToneFormat::OggVorbis, 500, 10.0, QStringLiteral("One"), QStringLiteral("Band"), 0}) +
        tone(Tone{ToneFormat::OggVorbis, 500, 30.0, QStringLiteral("Two"), QStringLiteral("Band"), 1000});
    mount.contentType = "application/ogg";
    mount.metaint = 0; // Ogg servers send no metadata blocks: titles come in the stream
    // The first part is long enough that probing at connect cannot reach the second.
    mount.bytesPerSecond = 50000;
    server.addMount(QStringLiteral("/ogg"), mount);

    const auto handle = connect(QStringLiteral("/ogg"));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_EQ(library->MetaTag(handle), QStringLiteral("StreamTitle='Band - One';"));
    library->ChannelSetSync(handle, events.metaCallback());
    library->ChannelPlay(handle);
    ASSERT_TRUE(waitFor([&] { return !events.metadata().empty(); }));
    EXPECT_EQ(events.metadata().front(), QStringLiteral("StreamTitle='Band - Two';"));
}

} // namespace
} // namespace varnelo::streamtest
