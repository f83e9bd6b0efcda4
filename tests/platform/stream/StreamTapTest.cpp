#include "StreamTestUtil.h"
#include "support/AudioCheck.h"

#include <QScopeGuard>

#include <gtest/gtest.h>

namespace varnelo::streamtest {
namespace {

// What a tap saw, gathered on the stream's thread.
struct TapLog {
    std::mutex mutex;
    QByteArray bytes; // every frame, in order
    std::vector<StreamFrame> frames;
    std::vector<std::pair<qsizetype, QString>> titles; // (bytes before it, metadata)
    std::vector<std::pair<QString, std::uint64_t>> marks;

    StreamLibrary::Tap tap() {
        StreamLibrary::Tap t;
        t.frame = [this](const StreamFrame &f) {
            std::lock_guard lock(mutex);
            bytes += f.bytes;
            frames.push_back(f);
        };
        t.frameTitle = [this](const QString &m) {
            std::lock_guard lock(mutex);
            titles.emplace_back(bytes.size(), m);
        };
        t.title = [this](const QString &m, std::uint64_t at) {
            std::lock_guard lock(mutex);
            marks.emplace_back(m, at);
        };
        return t;
    }
    template <class F> auto with(F f) {
        std::lock_guard lock(mutex);
        return f();
    }
};

class StreamTapTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(server.start());
        output = SoundOutput::create(SoundOutput::Backend::Null);
        library = std::make_unique<StreamLibrary>(*output, quickOptions());
        a = tone(Tone{ToneFormat::Mp3, 440, 3.0});
        b = tone(Tone{ToneFormat::Mp3, 880, 3.0});
        ASSERT_FALSE(a.isEmpty());
        ASSERT_FALSE(b.isEmpty());
    }
    void TearDown() override { library.reset(); }

    // Two tones in a loop, each named while it plays.
    IcyMount twoTitles() {
        IcyMount mount;
        mount.audio = a + b;
        mount.metaint = 1024;
        mount.metadataAt = {{0, test::streamTitle(QStringLiteral("A"))},
                            {a.size(), test::streamTitle(QStringLiteral("B"))}};
        return mount;
    }

    IcyServer server;
    std::unique_ptr<SoundOutput> output;
    std::unique_ptr<StreamLibrary> library;
    QByteArray a, b;
    TapLog log;
};

TEST_F(StreamTapTest, FramesAreTheServedBytesFromAFrameStartWithTheTitleWhereItWasSent) {
    server.addMount(QStringLiteral("/two"), twoTitles());
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/two")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    const int id = library->AddTap(handle, log.tap());
    ASSERT_NE(id, 0);
    ASSERT_TRUE(library->ChannelPlay(handle));
    const QString titleB = QString::fromUtf8(test::streamTitle(QStringLiteral("B")));
    ASSERT_TRUE(waitFor([&] {
        return log.with([&] { return !log.titles.empty() && log.titles.back().second == titleB; }) &&
               log.with([&] { return log.bytes.size(); }) > a.size() + 8000;
    }));
    library->RemoveTap(handle, id);
    EXPECT_EQ(library->FrameCodec(handle), StreamCodec::Mp3);
    const qsizetype afterRemove = log.with([&] { return log.bytes.size(); });
    QThread::msleep(300);
    EXPECT_EQ(log.with([&] { return log.bytes.size(); }), afterRemove); // a removed tap is never called

    // The frames are the served audio from one of its frame starts on, byte for byte.
    const QByteArray served = a + b + a + b;
    const qsizetype start = served.indexOf(log.bytes.left(64));
    ASSERT_GE(start, 0);
    EXPECT_EQ(served.mid(start, log.bytes.size()), log.bytes);
    qsizetype boundary = 0;
    for (const StreamFrame &f : splitStreamFrames(a + b).frames) {
        if (boundary >= start)
            break;
        boundary += f.bytes.size();
    }
    EXPECT_EQ(boundary, start);

    // "B" came between the frames at the first metadata block after tone B began.
    qsizetype at = -1;
    for (const auto &[before, text] : log.titles)
        if (text == titleB)
            at = start + before;
    EXPECT_GT(at, a.size() - 2 * 418);
    EXPECT_LT(at, a.size() + 1024);
}

// Undecoded, the tap gets the station as fast as it comes, every byte and title;
// decoding would hold the reads to the channel's two seconds ahead of the output.
TEST_F(StreamTapTest, UndecodedTheTapGetsTheStationAsFastAsItComes) {
    IcyMount mount = twoTitles();
    mount.bytesPerSecond = 1'000'000;
    server.addMount(QStringLiteral("/fast"), mount);
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/fast")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->AddTap(handle, log.tap());
    ASSERT_TRUE(library->ChannelSetDecoding(handle, false));
    ASSERT_TRUE(library->ChannelPlay(handle));
    const QByteArray loop = a + b; // six seconds
    ASSERT_TRUE(waitFor([&] { return log.with([&] { return log.bytes.size(); }) > 2 * loop.size(); }, 2500));
    const QByteArray bytes = log.with([&] { return log.bytes.left(2 * loop.size()); });
    const QByteArray served = loop + loop + loop;
    EXPECT_TRUE(served.contains(bytes));
    EXPECT_GE(log.with([&] { return log.titles.size(); }), 3u); // A, B, A...
}

// Inaudible, the decoded sound goes to the taps alone and the played count
// follows what they were handed, so title marks still fall where the sound is.
TEST_F(StreamTapTest, InaudibleTheTapsGetTheDecodedSoundAndTheOutputNothing) {
    server.addMount(QStringLiteral("/two"), twoTitles());
    StreamLibrary::Options options = quickOptions();
    options.audible = false;
    library = std::make_unique<StreamLibrary>(*output, options);
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/two")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    TapRecorder heard(*output);
    std::vector<float> left;
    const auto end = qScopeGuard([&] { library.reset(); }); // before the tap's log goes
    StreamLibrary::Tap tap = log.tap();
    tap.sound = [&](const float *frames, std::size_t count) {
        std::lock_guard lock(log.mutex);
        for (std::size_t i = 0; i < count; ++i)
            left.push_back(frames[2 * i]);
    };
    library->AddTap(handle, std::move(tap));
    ASSERT_TRUE(library->ChannelPlay(handle));
    const QString titleB = QString::fromUtf8(test::streamTitle(QStringLiteral("B")));
    ASSERT_TRUE(waitFor(
        [&] { return log.with([&] { return !log.marks.empty() && log.marks.back().first == titleB; }); }));
    ASSERT_TRUE(waitFor([&] { return log.with([&] { return left.size(); }) > 4 * 44100u; }));
    const auto [sound, markB, taken] =
        log.with([&] { return std::tuple(left, double(log.marks.back().second) / 44100, left.size()); });
    // Tone A before B's mark, tone B after it: nothing was lost before the tap came.
    EXPECT_NEAR(test::frequencyAt(sound, markB - 0.4, 0.25), 440.0, 5.0);
    EXPECT_NEAR(test::frequencyAt(sound, markB + 0.15, 0.25), 880.0, 5.0);
    EXPECT_GE(*library->ChannelPlayedFrames(handle), taken);
    EXPECT_EQ(heard.soundFrames(), 0u);
}

TEST_F(StreamTapTest, TitleMarksTellTheChannelFrameTheirAudioPlaysFrom) {
    server.addMount(QStringLiteral("/two"), twoTitles());
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/two")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    library->AddTap(handle, log.tap());
    ASSERT_TRUE(library->ChannelPlay(handle));
    const QString titleB = QString::fromUtf8(test::streamTitle(QStringLiteral("B")));
    std::uint64_t markB = 0;
    ASSERT_TRUE(waitFor([&] {
        return log.with([&] {
            for (const auto &[text, at] : log.marks)
                if (text == titleB)
                    markB = at;
            return markB > 0;
        });
    }));
    // Tone A decodes to 1152 samples per frame; the metadata block comes up to 1024 bytes late.
    const auto framesA = std::uint64_t(splitStreamFrames(a + b.left(8)).frames.size());
    EXPECT_GE(markB, framesA * 1152);
    EXPECT_LE(markB, (framesA + 3) * 1152);
    // The mark lies ahead of what has been played: the channel holds the buffer.
    EXPECT_GT(markB, *library->ChannelPlayedFrames(handle));
    ASSERT_TRUE(waitFor([&] { return *library->ChannelPlayedFrames(handle) > markB; }));
}

TEST_F(StreamTapTest, AnOggTapJoiningPartWayGetsTheHeadersFirstAndEachLinksTitle) {
    // Long enough that the tap joins it part way: the library reads some seconds ahead.
    const QByteArray one = tone(Tone{ToneFormat::OggVorbis, 440, 7.0, QStringLiteral("First"), QString(), 0});
    const QByteArray two =
        tone(Tone{ToneFormat::OggVorbis, 880, 3.0, QStringLiteral("Second"), QString(), 9});
    IcyMount mount;
    mount.audio = one + two;
    mount.contentType = "application/ogg";
    mount.metaint = 0;
    mount.bytesPerSecond = int(one.size() / 7); // at the pace it plays: a tone packs tightly
    server.addMount(QStringLiteral("/ogg"), mount);
    const auto handle = library->StreamCreateURL(server.url(QStringLiteral("/ogg")));
    ASSERT_NE(handle, 0u) << StreamLibrary::ErrorText().toStdString();
    EXPECT_EQ(library->FrameCodec(handle), StreamCodec::OggVorbis);
    library->AddTap(handle, log.tap());
    ASSERT_TRUE(library->ChannelPlay(handle));
    const QString second = QStringLiteral("StreamTitle='Second';");
    ASSERT_TRUE(waitFor(
        [&] { return log.with([&] { return !log.titles.empty() && log.titles.back().second == second; }); }));

    const auto expected = splitStreamFrames(one + two);
    std::vector<StreamFrame> headersOne;
    for (const StreamFrame &f : expected.frames) {
        if (!f.header)
            break;
        headersOne.push_back(f);
    }
    log.with([&] {
        ASSERT_GT(log.frames.size(), headersOne.size());
        for (std::size_t i = 0; i < headersOne.size(); ++i)
            EXPECT_EQ(log.frames[i].bytes, headersOne[i].bytes) << i;
        EXPECT_FALSE(log.frames[headersOne.size()].header);
        // The second link's title comes right before its identification page.
        const qsizetype at = log.titles.back().first;
        EXPECT_TRUE(two.startsWith(log.bytes.mid(at, 58)));
        // Between them, pages of the first link exactly as served.
        qsizetype headerBytes = 0;
        for (const StreamFrame &f : headersOne)
            headerBytes += f.bytes.size();
        const QByteArray middle = log.bytes.mid(headerBytes, at - headerBytes);
        EXPECT_FALSE(middle.isEmpty());
        EXPECT_TRUE(one.contains(middle));
    });
}

} // namespace
} // namespace varnelo::streamtest
