#include "platform/sound/AudioPlayer.h"
#include "SoundTestUtil.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::soundtest;

namespace {

// A source file the way the library feeds it: one array per OnEndArrayPlay
// and per OnRequestOnLoadArray, empty arrays once it is exhausted.
struct Feeder {
    AudioPlayer &player;
    SampleBlock file;
    int channels;
    std::size_t position = 0; // samples
    qint64 arrayFrames = 0;
    int feeds = 0;
    int offGuiThread = 0;

    void feed() {
        if (!onGuiThread())
            ++offGuiThread;
        ++feeds;
        const std::size_t n =
            std::min(file.size() - position, std::size_t(arrayFrames) * std::size_t(channels));
        player.QueueSamples(SampleBlock(file.begin() + std::ptrdiff_t(position),
                                        file.begin() + std::ptrdiff_t(position + n)));
        position += n;
    }
};

struct Events {
    int endArray = 0;
    int request = 0;
    int endPlay = 0;
    int offGuiThread = 0;
    std::vector<qint64> timer;

    void connect(AudioPlayer &player) {
        QObject::connect(&player, &AudioPlayer::OnEndArrayPlay, [this] {
            ++endArray;
            check();
        });
        QObject::connect(&player, &AudioPlayer::OnRequestOnLoadArray, [this] {
            ++request;
            check();
        });
        QObject::connect(&player, &AudioPlayer::OnEndPlay, [this] {
            ++endPlay;
            check();
        });
        QObject::connect(&player, &AudioPlayer::OnTimer, [this](qint64 samples, int, int) {
            timer.push_back(samples);
            check();
        });
    }
    void check() {
        if (!onGuiThread())
            ++offGuiThread;
    }
};

// Stereo ramp with a different value in every sample, exact through float.
SampleBlock ramp(std::int64_t first, std::int64_t frames) {
    SampleBlock block;
    for (std::int64_t i = first; i < first + frames; ++i) {
        block.push_back(std::int32_t((i + 1) * 65536));
        block.push_back(std::int32_t(-(i + 1) * 65536));
    }
    return block;
}

} // namespace

TEST(AudioPlayer, QueuedArraysReachTheMixerGaplessAndBitExact) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    output->setVolume(30); // taps come before the volume
    TapRecorder tap(*output);
    AudioPlayer player(*output);
    Events events;
    events.connect(player);

    player.SetPlayFormat(44100, 2);
    const qint64 array = player.MillisecondsToSamples(100);
    ASSERT_EQ(array, 4410);
    for (int i = 0; i < 3; ++i)
        player.QueueSamples(ramp(i * array, array));
    player.QueueSamples({}); // ignored: no array, no event
    EXPECT_EQ(player.QueuedSamples(), 3 * array);
    player.Start();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.endPlay == 1; }, WaitMs));
    EXPECT_EQ(events.endArray, 3);
    EXPECT_EQ(events.offGuiThread, 0);

    const auto expected = toFloat(ramp(0, 3 * array));
    std::vector<float> mixed;
    std::int64_t start = -1;
    // The end is known a tick after the mixer passed it; the block after it may still be due.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            mixed = tap.data();
            start = firstSound(mixed, 2);
            return start >= 0 && mixed.size() >= std::size_t(start * 2) + expected.size() + 2;
        },
        WaitMs));
    const std::vector<float> got(mixed.begin() + start * 2,
                                 mixed.begin() + start * 2 + std::ptrdiff_t(expected.size()));
    EXPECT_EQ(got, expected);
    EXPECT_EQ(mixed[std::size_t(start * 2) + expected.size()], 0.0f); // and nothing after it

    QTest::qWait(3 * AudioPlayer::TickMs);
    EXPECT_EQ(events.endPlay, 1); // reported once
}

TEST(AudioPlayer, PauseHoldsThePlaceAndCurrentSamplesCountFromEachStart) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioPlayer player(*output);
    Events events;
    events.connect(player);
    player.SetPlayFormat(44100, 2);
    const qint64 total = 44100 * 3;
    player.QueueSamples(toneBlock(440, 44100, 2, 0, total));

    // Each report next to what the player had played in all when it came.
    std::vector<std::pair<qint64, qint64>> reports;
    QObject::connect(&player, &AudioPlayer::OnTimer, [&](qint64 samples, int, int) {
        reports.emplace_back(samples, total - player.QueuedSamples());
    });

    QElapsedTimer clock;
    clock.start();
    player.Start();
    EXPECT_TRUE(player.IsPlaying());
    ASSERT_TRUE(QTest::qWaitFor([&] { return !reports.empty() && reports.back().first >= 8820; }, WaitMs));
    player.Stop();
    const qint64 wall = clock.elapsed();
    EXPECT_FALSE(player.IsPlaying());
    for (const auto &[samples, played] : reports)
        EXPECT_LE(samples, played);
    // Paced by the clock: not ahead of real time (the mixer may have been
    // catching up a stall when Start came).
    EXPECT_LE(reports.back().first, (wall + 250) * 44100 / 1000);

    const qint64 queuedAtPause = player.QueuedSamples();
    const qint64 playedAtPause = total - queuedAtPause;
    const std::size_t reportsAtPause = reports.size();
    QTest::qWait(300);
    EXPECT_EQ(player.QueuedSamples(), queuedAtPause); // nothing plays while stopped
    EXPECT_EQ(reports.size(), reportsAtPause);        // and nothing is reported

    player.Start(); // resume
    ASSERT_TRUE(QTest::qWaitFor([&] { return reports.size() >= reportsAtPause + 2; }, WaitMs));
    player.Stop();
    // Counted again from the resume, not from the first start.
    for (std::size_t i = reportsAtPause; i < reports.size(); ++i) {
        EXPECT_GT(reports[i].first, 0);
        EXPECT_LE(reports[i].first + playedAtPause, reports[i].second);
    }
    EXPECT_LT(player.QueuedSamples(), queuedAtPause);
    EXPECT_EQ(events.offGuiThread, 0);

    // A new stream drops what the old one left.
    player.Stop();
    player.SetPlayFormat(22050, 1);
    EXPECT_EQ(player.QueuedSamples(), 0);
    EXPECT_EQ(player.PlayFormat().sampleRate, 22050);
    EXPECT_EQ(player.MillisecondsToSamples(200), 4410);
    player.SetPlayFormat(0, 2); // refused, kept
    EXPECT_EQ(player.PlayFormat().sampleRate, 22050);
}

// The whole road of local playback: start sequence, feeding on the events,
// the end reported once, every frame played.
class AudioPlayerFeeding : public ::testing::TestWithParam<SoundFormat> {};

TEST_P(AudioPlayerFeeding, AFileIsPlayedThroughToOneEndPlay) {
    const SoundFormat format = GetParam();
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    TapRecorder tap(*output);
    AudioPlayer player(*output);
    Events events;
    events.connect(player);
    const qint64 fileFrames = format.sampleRate * 7 / 10; // 0.7 s: not a whole number of arrays
    Feeder feeder{player, toneBlock(1000, format.sampleRate, format.channels, 0, fileFrames),
                  format.channels};
    QObject::connect(&player, &AudioPlayer::OnEndArrayPlay, [&] { feeder.feed(); });
    QObject::connect(&player, &AudioPlayer::OnRequestOnLoadArray, [&] { feeder.feed(); });
    qint64 lastTimer = 0;
    QObject::connect(&player, &AudioPlayer::OnTimer, [&](qint64 samples, int left, int right) {
        lastTimer = samples;
        EXPECT_LE(samples, fileFrames);
        EXPECT_GE(left, 0);
        EXPECT_LE(right, 32767);
    });

    player.SetPlayFormat(format.sampleRate, format.channels);
    feeder.arrayFrames = player.MillisecondsToSamples(200);
    player.Start();
    feeder.feed();
    feeder.feed();
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.endPlay > 0; }, WaitMs));
    EXPECT_EQ(feeder.position, feeder.file.size());
    EXPECT_EQ(events.endArray, 4); // three arrays of 200 ms and the last 100 ms
    EXPECT_EQ(feeder.offGuiThread, 0);
    EXPECT_GT(lastTimer, 0);
    EXPECT_EQ(player.QueuedSamples(), 0);
    QTest::qWait(300);
    EXPECT_EQ(events.endPlay, 1);

    // The mixer got the whole file at its pitch.
    ASSERT_TRUE(tap.settle());
    const auto mixed = tap.data();
    const std::int64_t start = firstSound(mixed, 2);
    ASSERT_GE(start, 0);
    std::int64_t last = start;
    for (std::size_t i = std::size_t(start) * 2; i < mixed.size(); ++i)
        if (mixed[i] != 0.0f)
            last = std::int64_t(i / 2);
    EXPECT_NEAR(double(last - start), double(fileFrames) * 44100 / format.sampleRate, 40.0);
    const std::vector<float> sound(mixed.begin() + start * 2, mixed.begin() + last * 2);
    EXPECT_NEAR(measureFrequency(sound, 2, 0, 44100), 1000.0, 5.0);
}

INSTANTIATE_TEST_SUITE_P(Formats, AudioPlayerFeeding,
                         ::testing::Values(SoundFormat{44100, 2}, SoundFormat{48000, 1},
                                           SoundFormat{22050, 2}),
                         [](const auto &info) {
                             return std::to_string(info.param.sampleRate) + "Hz" +
                                    std::to_string(info.param.channels) + "ch";
                         });

TEST(AudioPlayer, AnEmptyFileEndsAtOnceAndAHandlerMayStartTheNextStream) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioPlayer player(*output);
    Events events;
    events.connect(player);
    // Like NextTrack: the end of one stream starts the next from its handler.
    int streams = 0;
    QObject::connect(&player, &AudioPlayer::OnEndPlay, [&] {
        if (++streams < 3) {
            player.Stop();
            player.SetPlayFormat(44100, 2);
            player.Start();
            player.QueueSamples({});
            player.QueueSamples({});
        }
    });
    player.SetPlayFormat(44100, 2);
    player.Start();
    player.QueueSamples({});
    player.QueueSamples({});
    ASSERT_TRUE(QTest::qWaitFor([&] { return events.endPlay == 3; }, WaitMs));
    EXPECT_GE(events.request, 3);
    EXPECT_EQ(events.endArray, 0);
    QTest::qWait(300);
    EXPECT_EQ(events.endPlay, 3);
}

TEST(AudioPlayer, RequestsStopOnceTheQueueIsDeepEnough) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioPlayer player(*output);
    Events events;
    events.connect(player);
    const qint64 array = player.MillisecondsToSamples(200);
    qint64 deepest = 0;
    int fed = 0;
    // A source that only answers requests, and plenty of it.
    QObject::connect(&player, &AudioPlayer::OnRequestOnLoadArray, [&] {
        player.QueueSamples(toneBlock(440, 44100, 2, fed * array, array));
        ++fed;
        deepest = std::max(deepest, player.QueuedSamples());
    });
    player.SetPlayFormat(44100, 2);
    player.Start();
    QTest::qWait(1000);
    player.Stop();
    EXPECT_GE(fed, 3);
    // Asked only while less than a second (the player's low water) was left.
    EXPECT_LE(deepest, player.MillisecondsToSamples(1000) + array);
    EXPECT_EQ(events.endPlay, 0);
}
