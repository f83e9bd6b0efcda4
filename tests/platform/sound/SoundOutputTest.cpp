#include "platform/sound/SoundOutput.h"
#include "SoundTestUtil.h"
#include "platform/sound/SoundBackend.h"

#include <QAudio>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <numeric>

using namespace varnelo;
using namespace varnelo::soundtest;

namespace {

std::vector<float> constant(std::size_t frames, float left, float right) {
    std::vector<float> v(frames * 2);
    for (std::size_t i = 0; i < frames; ++i) {
        v[2 * i] = left;
        v[2 * i + 1] = right;
    }
    return v;
}

double sumOf(const std::vector<float> &data, int side) {
    double sum = 0;
    for (std::size_t i = static_cast<std::size_t>(side); i < data.size(); i += 2)
        sum += data[i];
    return sum;
}

} // namespace

// A device that cannot be opened, that the system does not offer, or that is
// lost while playing: the output falls back to the null output, which keeps time.
TEST(SoundOutput, NoDeviceFallsBackToTheNullOutputThatStillKeepsTime) {
    struct FakeDevice final : SoundBackend {
        bool opens = false;
        QString name() const override { return QStringLiteral("Fake device"); }
        bool start() override { return opens; }
        void stop() override {}
    };
    std::function<void()> loseDevice;
    const auto device = [&](bool opens) -> SoundOutput::DeviceFactory {
        return [&loseDevice, opens](MixSource &, std::function<void()> onLost) {
            loseDevice = std::move(onLost);
            auto fake = std::make_unique<FakeDevice>();
            fake->opens = opens;
            return fake;
        };
    };
    std::vector<std::unique_ptr<SoundOutput>> outputs;
    outputs.push_back(SoundOutput::createWithDevice(device(false)));
    outputs.push_back(
        SoundOutput::createWithDevice([](MixSource &, std::function<void()>) { return nullptr; }));
    outputs.push_back(SoundOutput::createWithDevice(device(true)));
    EXPECT_FALSE(outputs.back()->fellBack());
    EXPECT_EQ(outputs.back()->backendName(), QStringLiteral("Fake device"));
    loseDevice(); // the sound server went away while playing
    for (const auto &output : outputs) {
        EXPECT_TRUE(output->fellBack());
        EXPECT_EQ(output->backendName(), QStringLiteral("Null output"));
        auto channel = output->openChannel({44100, 2}, 44100);
        const auto tone = toFloat(toneBlock(440, 44100, 2, 0, 22050));
        ASSERT_EQ(channel->write(tone.data(), 22050), 22050u);
        EXPECT_TRUE(QTest::qWaitFor([&] { return channel->playedFrames() >= 4410; }, WaitMs));
    }

    // Asked for the null output, nothing fell back.
    EXPECT_FALSE(SoundOutput::create(SoundOutput::Backend::Null)->fellBack());
}

TEST(SoundOutput, TwoChannelsAreAddedAndTheVolumeComesAfterTheTaps) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    output->setVolume(50);
    TapRecorder tap(*output);
    auto a = output->openChannel({44100, 2}, 44100);
    auto b = output->openChannel({44100, 2}, 44100);
    const auto da = constant(22050, 0.25f, -0.5f);
    const auto db = constant(22050, 0.125f, 0.25f);
    ASSERT_EQ(a->write(da.data(), 22050), 22050u);
    ASSERT_EQ(b->write(db.data(), 22050), 22050u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return a->queuedFrames() == 0 && b->queuedFrames() == 0; }, WaitMs));
    EXPECT_EQ(a->playedFrames(), 22050u);
    EXPECT_EQ(b->playedFrames(), 22050u);
    ASSERT_TRUE(tap.settle());

    // Whatever the overlap, the mix holds every sample of both, untouched by
    // the volume; written together they overlap for almost all of it.
    const auto mixed = tap.data();
    EXPECT_DOUBLE_EQ(sumOf(mixed, 0), 22050 * (0.25 + 0.125));
    EXPECT_DOUBLE_EQ(sumOf(mixed, 1), 22050 * (-0.5 + 0.25));
    EXPECT_GT(std::count(mixed.begin(), mixed.end(), 0.375f), 20000);

    // The device got the mix at the bar's loudness: peaks of 0.375 and 0.25.
    const float gain = QAudio::convertVolume(0.5f, QAudio::LogarithmicVolumeScale, QAudio::LinearVolumeScale);
    ASSERT_GT(gain, 0.0f);
    ASSERT_LT(gain, 1.0f);
    const SoundLevels peaks = output->takeOutputPeaks();
    EXPECT_FLOAT_EQ(peaks.left, 0.375f * gain);
    EXPECT_FLOAT_EQ(peaks.right, 0.25f * gain);
}

TEST(SoundOutput, VolumeIsClampedAndSilenceAtZero) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    EXPECT_EQ(output->volume(), 100);
    output->setVolume(150);
    EXPECT_EQ(output->volume(), 100);
    output->setVolume(-3);
    EXPECT_EQ(output->volume(), 0);

    auto channel = output->openChannel({44100, 2}, 44100);
    const auto loud = constant(8820, 0.5f, 0.5f);
    channel->write(loud.data(), 8820);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->queuedFrames() == 0; }, WaitMs));
    const SoundLevels muted = output->takeOutputPeaks();
    EXPECT_EQ(muted.left, 0.0f);
    EXPECT_EQ(channel->takePeaks().left, 0.5f); // the channel itself did play

    output->setVolume(100);
    output->takeOutputPeaks();
    channel->write(loud.data(), 8820);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->queuedFrames() == 0; }, WaitMs));
    EXPECT_EQ(output->takeOutputPeaks().left, 0.5f);
}

TEST(SoundOutput, AChannelInAnotherFormatIsResampledAndSpreadToBothSides) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    TapRecorder tap(*output);
    auto channel = output->openChannel({48000, 1}, 48000);
    ASSERT_TRUE(channel);
    const auto tone = toFloat(toneBlock(1000, 48000, 1, 0, 24000));
    ASSERT_EQ(channel->write(tone.data(), 24000), 24000u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->queuedFrames() == 0; }, WaitMs));
    EXPECT_EQ(channel->playedFrames(), 24000u);
    ASSERT_TRUE(tap.settle());

    const auto mixed = tap.data();
    const std::int64_t start = firstSound(mixed, 2);
    ASSERT_GE(start, 0);
    std::vector<float> sound(mixed.begin() + start * 2, mixed.end());
    EXPECT_NEAR(measureFrequency(sound, 2, 0, 44100), 1000.0, 5.0);
    EXPECT_NEAR(measureFrequency(sound, 2, 1, 44100), 1000.0, 5.0);
    // Mono keeps its level on each side, and the whole half second came out
    // (the resampler's tail included).
    const SoundLevels peaks = channel->takePeaks();
    EXPECT_NEAR(peaks.left, 16000 / 32768.0, 0.01);
    EXPECT_EQ(peaks.left, peaks.right);
    std::int64_t lastSound = 0;
    for (std::size_t i = 0; i < sound.size(); ++i)
        if (sound[i] != 0.0f)
            lastSound = static_cast<std::int64_t>(i / 2);
    EXPECT_NEAR(double(lastSound), 22050.0, 40.0);

    EXPECT_EQ(output->openChannel({0, 2}, 100), nullptr);
}

TEST(SoundOutput, PausedChannelKeepsItsQueueAndAFullOneRefuses) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    auto channel = output->openChannel({44100, 2}, 1000);
    channel->setPaused(true);
    EXPECT_TRUE(channel->paused());
    const auto data = constant(5000, 0.1f, 0.1f);
    EXPECT_EQ(channel->write(data.data(), 5000), 1000u);
    EXPECT_EQ(channel->write(data.data(), 5000), 0u);
    QTest::qWait(100);
    EXPECT_EQ(channel->queuedFrames(), 1000u);
    EXPECT_EQ(channel->playedFrames(), 0u);

    channel->setPaused(false);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->playedFrames() == 1000; }, WaitMs));
    channel->write(data.data(), 500);
    channel->setPaused(true);
    channel->clear();
    EXPECT_EQ(channel->queuedFrames(), 0u);
    EXPECT_EQ(channel->playedFrames(), 0u);
}

TEST(SoundOutput, ADroppedChannelIsNoLongerMixedAndARemovedTapNotCalled) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    auto tap = std::make_unique<TapRecorder>(*output);
    auto channel = output->openChannel({44100, 2}, 441000);
    const auto data = constant(441000, 0.5f, 0.5f);
    channel->write(data.data(), 441000);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->playedFrames() > 2000; }, WaitMs));
    channel.reset();
    const std::size_t before = tap->frames();
    ASSERT_TRUE(QTest::qWaitFor([&] { return tap->frames() > before + 4410; }, WaitMs));
    const auto mixed = tap->data();
    EXPECT_EQ(mixed.back(), 0.0f);

    // removeTap while the mixer runs: once it returns the tap is never called
    // again, while the mixer goes on feeding the taps that remain.
    auto calls = std::make_shared<std::atomic<int>>(0);
    const int counting = output->addTap([calls](const float *, std::size_t) { ++*calls; });
    ASSERT_TRUE(QTest::qWaitFor([&] { return *calls > 0; }, WaitMs));
    output->removeTap(counting);
    const int atRemoval = *calls;
    tap.reset();
    TapRecorder still(*output);
    ASSERT_TRUE(still.settle());
    ASSERT_TRUE(still.settle());
    EXPECT_EQ(*calls, atRemoval);
}

// Nothing to mix: the silent output stops waking; sound written to it, or a
// tap added, wakes it.
TEST(SoundOutput, TheSilentOutputIdlesUntilSoundOrATapComes) {
    struct Source final : MixSource {
        std::atomic<bool> quiet{true};
        std::atomic<int> mixes{0};
        void mix(float *, std::size_t) override { ++mixes; }
        bool idle() override { return quiet; }
    } source;
    auto backend = createNullBackend(source);
    backend->start();
    QTest::qWait(300);
    EXPECT_EQ(source.mixes, 0);
    backend->stop();

    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    auto channel = output->openChannel({44100, 2}, 44100);
    const auto data = constant(4410, 0.5f, 0.5f);
    QTest::qWait(300); // idle by now
    channel->write(data.data(), 4410);
    EXPECT_TRUE(QTest::qWaitFor([&] { return channel->playedFrames() == 4410; }, WaitMs));
    QTest::qWait(300);
    TapRecorder tap(*output);
    EXPECT_TRUE(tap.settle());
}
