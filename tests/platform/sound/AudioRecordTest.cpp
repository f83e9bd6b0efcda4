#include "platform/sound/AudioRecord.h"
#include "SoundTestUtil.h"
#include "platform/sound/SoundCapture.h"
#include "support/ChildProcess.h"
#include "support/Wait.h"

#include <QFile>
#include <QFileInfo>
#include <QMediaDevices>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>

using namespace varnelo;
using namespace varnelo::soundtest;

namespace {

// Takes each block as the recording does on OnEndArrayRecord.
struct BlockSink {
    AudioRecord &recorder;
    std::vector<SampleBlock> blocks;
    std::vector<int> numbers;
    int offGuiThread = 0;
    qint64 lastTimer = -1;
    int peakLeft = 0;

    explicit BlockSink(AudioRecord &r) : recorder(r) {
        QObject::connect(&recorder, &AudioRecord::OnEndArrayRecord, [this](int n) {
            if (!onGuiThread())
                ++offGuiThread;
            numbers.push_back(n);
            blocks.push_back(recorder.GetRecordedBlock());
        });
        QObject::connect(&recorder, &AudioRecord::OnTimer, [this](qint64 samples, int left, int) {
            if (!onGuiThread())
                ++offGuiThread;
            EXPECT_GE(samples, lastTimer);
            lastTimer = samples;
            peakLeft = std::max(peakLeft, left);
        });
    }

    SampleBlock joined() const {
        SampleBlock all;
        for (const auto &b : blocks)
            all.insert(all.end(), b.begin(), b.end());
        return all;
    }
};

// Plays `frames` of a tone at the mix format on its own channel.
std::shared_ptr<SoundChannel> play(SoundOutput &output, const SampleBlock &tone) {
    auto channel = output.openChannel({44100, 2}, tone.size() / 2);
    const auto data = toFloat(tone);
    EXPECT_EQ(channel->write(data.data(), data.size() / 2), data.size() / 2);
    return channel;
}

} // namespace

TEST(AudioRecord, ListsProgramOutputFirstWithOneInputPerDevice) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioRecord recorder(*output);
    const int max = recorder.GetMaxDeviceIndex();
    EXPECT_EQ(max, int(QMediaDevices::audioInputs().size() + qsizetype(listMonitorSources().size())));
    for (int i = 0; i <= max; ++i) {
        recorder.SetDevice(i);
        EXPECT_FALSE(recorder.GetDeviceName().isEmpty()) << i;
        EXPECT_EQ(recorder.GetInputCount(), 1);
        recorder.SetInput(1);
        EXPECT_EQ(recorder.GetInputName(), recorder.GetDeviceName());
        EXPECT_TRUE(recorder.GetInputSelected());
        EXPECT_EQ(recorder.GetInputVolume(), AudioRecord::MaxInputVolume);
    }
    recorder.SetDevice(0);
    EXPECT_EQ(recorder.GetDeviceName(), QStringLiteral("Program output"));

    // The level bar runs to 66535: its top is the full level.
    recorder.SetInputVolume(66535);
    EXPECT_EQ(recorder.GetInputVolume(), AudioRecord::MaxInputVolume);
    recorder.SetInputVolume(1000);
    EXPECT_EQ(recorder.GetInputVolume(), 1000);
    recorder.SetInput(2); // no such input
    EXPECT_EQ(recorder.GetInputName(), QString());
    EXPECT_FALSE(recorder.GetInputSelected());
    recorder.SetInput(1);
    EXPECT_EQ(recorder.GetInputVolume(), 1000);

    recorder.SetDevice(max + 1);
    EXPECT_EQ(recorder.GetDeviceName(), QString());
    EXPECT_EQ(recorder.GetInputCount(), 0);
}

TEST(AudioRecord, AFailedStartIsReportedAndDeliversNothing) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioRecord recorder(*output);
    BlockSink sink(recorder);
    recorder.SetDevice(recorder.GetMaxDeviceIndex() + 1);
    recorder.StartRecord();
    EXPECT_EQ(recorder.GetRecordError(), AudioRecord::ErrNoDevice);
    EXPECT_FALSE(recorder.GetRecordErrorText().isEmpty());
    EXPECT_FALSE(recorder.IsRecording());
    recorder.SetDevice(-1);
    recorder.StartRecord();
    EXPECT_EQ(recorder.GetRecordError(), AudioRecord::ErrNoDevice);

    recorder.SetDevice(0);
    recorder.SetRecordFormat(44100, 0);
    recorder.StartRecord();
    EXPECT_EQ(recorder.GetRecordError(), AudioRecord::ErrFormat);

    recorder.StopRecord(); // harmless after a failed start
    QTest::qWait(250);
    EXPECT_TRUE(sink.blocks.empty());
    EXPECT_EQ(sink.lastTimer, -1);
    EXPECT_TRUE(recorder.GetRecordedBlock().empty());

    recorder.SetRecordFormat(44100, 2);
    recorder.StartRecord();
    EXPECT_EQ(recorder.GetRecordError(), AudioRecord::NoError);
    EXPECT_TRUE(recorder.IsRecording());
    recorder.StopRecord();
}

TEST(AudioRecord, ProgramOutputRecordsExactlyWhatAChannelPlays) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    output->setVolume(20); // the recording is taken before the volume
    AudioRecord recorder(*output);
    BlockSink sink(recorder);
    recorder.SetDevice(0);
    recorder.SetRecordFormat(44100, 2);
    EXPECT_EQ(recorder.MillisecondsToSamples(200), 8820);
    EXPECT_EQ(recorder.SamplesToMilliseconds(44100), 1000);
    EXPECT_EQ(recorder.SamplesToMilliseconds(44100LL * 3600 * 100), 360'000'000LL); // 100 hours
    const qint64 block = recorder.MillisecondsToSamples(50);
    recorder.SetBlockSamples(block);
    recorder.StartRecord();
    ASSERT_EQ(recorder.GetRecordError(), AudioRecord::NoError);

    const SampleBlock tone = toneBlock(1000, 44100, 2, 1, 22050); // from a sample that is not zero
    auto channel = play(*output, tone);
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->queuedFrames() == 0; }, WaitMs));
    QTest::qWait(100);
    recorder.StopRecord();
    EXPECT_FALSE(recorder.IsRecording());

    ASSERT_GE(sink.blocks.size(), 10u);
    for (std::size_t i = 0; i + 1 < sink.blocks.size(); ++i)
        EXPECT_EQ(sink.blocks[i].size(), std::size_t(block * 2)) << i;
    EXPECT_LE(sink.blocks.back().size(), std::size_t(block * 2));
    EXPECT_FALSE(sink.blocks.back().empty());
    for (std::size_t i = 0; i < sink.numbers.size(); ++i)
        EXPECT_EQ(sink.numbers[i], int(i) + 1);
    EXPECT_EQ(sink.offGuiThread, 0);

    // Everything recorded was handed out by the time StopRecord returned.
    const SampleBlock all = sink.joined();
    EXPECT_EQ(qint64(all.size() / 2), sink.lastTimer);
    EXPECT_GT(sink.peakLeft, 15000);
    const std::int64_t start = firstSound(all, 2);
    ASSERT_GE(start, 0);
    ASSERT_GE(all.size(), std::size_t(start * 2) + tone.size());
    const SampleBlock got(all.begin() + start * 2, all.begin() + start * 2 + std::ptrdiff_t(tone.size()));
    EXPECT_EQ(got, tone);
    EXPECT_NEAR(measureFrequency(got, 2, 1, 44100), 1000.0, 1.0);
    EXPECT_TRUE(recorder.GetRecordedBlock().empty());
}

TEST(AudioRecord, ConvertsToTheRecordFormatAndAppliesTheInputLevel) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioRecord recorder(*output);
    BlockSink sink(recorder);
    recorder.SetDevice(0);
    recorder.SetInputVolume(AudioRecord::MaxInputVolume / 2);
    recorder.SetRecordFormat(22050, 1);
    recorder.SetBlockSamples(2205);
    EXPECT_EQ(recorder.BlockSamples(), 2205);
    recorder.StartRecord();
    ASSERT_EQ(recorder.GetRecordError(), AudioRecord::NoError);
    auto channel = play(*output, toneBlock(1000, 44100, 2, 0, 22050, 20000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return channel->queuedFrames() == 0; }, WaitMs));
    QTest::qWait(100);
    recorder.StopRecord();

    ASSERT_GE(sink.blocks.size(), 5u);
    for (std::size_t i = 0; i + 1 < sink.blocks.size(); ++i)
        EXPECT_EQ(sink.blocks[i].size(), 2205u) << i;
    const SampleBlock all = sink.joined();
    const std::int64_t start = firstSound(all, 1);
    ASSERT_GE(start, 0);
    // Half a second at 22050 Hz; the resampler's ringing at the edges is left out.
    ASSERT_GE(all.size(), std::size_t(start) + 11025);
    const SampleBlock sound(all.begin() + start + 500, all.begin() + start + 10500);
    EXPECT_NEAR(measureFrequency(sound, 1, 0, 22050), 1000.0, 2.0);
    const auto peak = *std::max_element(sound.begin(), sound.end());
    EXPECT_NEAR(double(peak) / 65536.0, 10000.0, 300.0); // half of 20000

    // Silly block sizes are bounded: at most 10 s, and none gives 200 ms.
    recorder.SetBlockSamples(0);
    EXPECT_EQ(recorder.BlockSamples(), 4410);
    recorder.SetBlockSamples(1LL << 40);
    EXPECT_EQ(recorder.BlockSamples(), 220500);
}

TEST(AudioRecord, RecordsAgainAfterAStopWithFreshNumbers) {
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioRecord recorder(*output);
    BlockSink sink(recorder);
    recorder.SetDevice(0);
    recorder.SetRecordFormat(44100, 2);
    recorder.SetBlockSamples(recorder.MillisecondsToSamples(40));
    for (int round = 0; round < 2; ++round) {
        sink.blocks.clear();
        sink.numbers.clear();
        sink.lastTimer = -1;
        recorder.StartRecord();
        ASSERT_TRUE(QTest::qWaitFor([&] { return sink.numbers.size() >= 3; }, WaitMs));
        recorder.StopRecord();
        EXPECT_EQ(sink.numbers.front(), 1);
        EXPECT_EQ(qint64(sink.joined().size() / 2), sink.lastTimer);
    }
    // A late notice of the old recording announces nothing.
    const std::size_t blocks = sink.blocks.size();
    QTest::qWait(150);
    EXPECT_EQ(sink.blocks.size(), blocks);
}

namespace {

// A sound server of the test's own, on a socket in a temporary folder, with one
// silent output "Bench"; the process talks to it through PULSE_SERVER.
class PrivateSoundServer {
public:
    PrivateSoundServer() {
        const QString socket = m_dir.filePath(QStringLiteral("native"));
        QFile script(m_dir.filePath(QStringLiteral("server.pa")));
        if (!script.open(QIODevice::WriteOnly))
            return;
        script.write("load-module module-null-sink sink_name=bench sink_properties=device.description=Bench\n"
                     "load-module module-native-protocol-unix auth-anonymous=1 socket=" +
                     socket.toUtf8() + "\n");
        script.close();
        const QString home = QStringLiteral("HOME=") + m_dir.path();
        const QString runtime = QStringLiteral("XDG_RUNTIME_DIR=") + m_dir.path();
        m_server.start(QStringLiteral("env"),
                       {home, runtime, QStringLiteral("pulseaudio"), QStringLiteral("-n"),
                        QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
                        QStringLiteral("--use-pid-file=no"), QStringLiteral("-F"), script.fileName()});
        m_previous = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:" + socket.toUtf8());
        m_ready = test::waitUntil(
            [&] { return QFileInfo::exists(socket) && !listMonitorSources(500).empty(); }, soundtest::WaitMs);
    }
    ~PrivateSoundServer() {
        if (m_previous.isEmpty())
            qunsetenv("PULSE_SERVER");
        else
            qputenv("PULSE_SERVER", m_previous);
    }
    bool ready() const { return m_ready; }
    QString log() const { return QString::fromUtf8(m_server.standardError()); }
    QString path(const QString &name) const { return m_dir.filePath(name); }

private:
    QTemporaryDir m_dir;
    test::ChildProcess m_server;
    QByteArray m_previous;
    bool m_ready = false;
};

} // namespace

TEST(AudioRecord, AMonitorSourceRecordsWhatTheSoundServerPlaysOnThatOutput) {
    PrivateSoundServer server;
    ASSERT_TRUE(server.ready()) << "pulseaudio did not start: " << server.log().toStdString();
    auto output = SoundOutput::create(SoundOutput::Backend::Null);
    AudioRecord recorder(*output);
    BlockSink sink(recorder);

    // Monitors come after "Program output" and the capture devices.
    const int max = recorder.GetMaxDeviceIndex();
    int monitor = -1;
    for (int i = 0; i <= max; ++i) {
        recorder.SetDevice(i);
        if (recorder.GetDeviceName() == QStringLiteral("Monitor of Bench"))
            monitor = i;
    }
    ASSERT_GT(monitor, int(QMediaDevices::audioInputs().size()));

    recorder.SetDevice(monitor);
    recorder.SetRecordFormat(48000, 2);
    recorder.StartRecord();
    ASSERT_EQ(recorder.GetRecordError(), AudioRecord::NoError) << recorder.GetRecordErrorText().toStdString();
    const QString tone = server.path(QStringLiteral("tone.wav"));
    ASSERT_EQ(test::runTool(QStringLiteral("sox"),
                            {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                             QStringLiteral("-c"), QStringLiteral("2"), tone, QStringLiteral("synth"),
                             QStringLiteral("1"), QStringLiteral("sine"), QStringLiteral("660"),
                             QStringLiteral("vol"), QStringLiteral("0.5")}),
              0);
    ASSERT_EQ(test::runTool(QStringLiteral("paplay"), {QStringLiteral("--device=bench"), tone}), 0);
    QTest::qWait(200);
    recorder.StopRecord();

    EXPECT_EQ(sink.offGuiThread, 0);
    const SampleBlock all = sink.joined();
    EXPECT_EQ(qint64(all.size() / 2), sink.lastTimer);
    const std::int64_t start = firstSound(all, 2);
    ASSERT_GE(start, 0);
    // Half a second from inside the tone, resampled by the server to 48 kHz.
    ASSERT_GE(all.size(), std::size_t(start + 36000) * 2);
    const SampleBlock sound(all.begin() + (start + 6000) * 2, all.begin() + (start + 30000) * 2);
    EXPECT_NEAR(measureFrequency(sound, 2, 0, 48000), 660.0, 2.0);
    EXPECT_NEAR(measureFrequency(sound, 2, 1, 48000), 660.0, 2.0);
    const auto peak = *std::max_element(sound.begin(), sound.end());
    EXPECT_NEAR(double(peak) / 2147483648.0, 0.5, 0.05);
}
