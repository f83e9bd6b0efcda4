// Real sound: a sound server of the test's own (PulseAudio with a null sink,
// in a private runtime folder) receives what the program plays through its Qt
// Multimedia output, and the sink's monitor is captured and measured.
#include "platform/sound/AudioPlayer.h"
#include "platform/sound/SoundOutput.h"
#include "support/ChildProcess.h"
#include "support/Tone.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <cmath>
#include <csignal>
#include <numbers>
#include <vector>

namespace varnelo {
namespace {

constexpr int Rate = 44100;
constexpr double ToneHz = 1000;
constexpr double ToneAmplitude = 0.5;

// One sound server for the whole executable: Qt connects to the server once
// per process.
class SoundServer {
public:
    static SoundServer &instance() {
        static SoundServer server;
        return server;
    }
    bool running() const { return running_; }
    QString error() const { return error_; }
    QString address() const { return QStringLiteral("unix:") + dir_.filePath(QStringLiteral("pulse.sock")); }
    QString path(const QString &name) const { return dir_.filePath(name); }

private:
    SoundServer() {
        if (QStandardPaths::findExecutable(QStringLiteral("pulseaudio")).isEmpty()) {
            error_ = QStringLiteral("pulseaudio is not installed (scripts/bootstrap.sh installs it)");
            return;
        }
        // The server, and every client of this process, keep to the test's folder.
        for (const char *name : {"HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME"})
            qputenv(name, dir_.path().toUtf8());
        qputenv("PULSE_SERVER", address().toUtf8());
        server_.start(
            QStringLiteral("pulseaudio"),
            {QStringLiteral("-n"), QStringLiteral("--daemonize=no"), QStringLiteral("--exit-idle-time=-1"),
             QStringLiteral("--use-pid-file=no"), QStringLiteral("--disable-shm=yes"),
             QStringLiteral("--log-target=stderr"), QStringLiteral("-L"),
             QStringLiteral("module-null-sink sink_name=varnelo_test rate=44100"), QStringLiteral("-L"),
             QStringLiteral("module-native-protocol-unix auth-anonymous=1 socket=") +
                 dir_.filePath(QStringLiteral("pulse.sock"))});
        running_ = test::waitUntil(
            [this] {
                server_.poll(0);
                return !server_.finished() &&
                       test::runTool(QStringLiteral("pactl"), {QStringLiteral("info")}, {}, 5000) == 0;
            },
            20000);
        if (!running_)
            error_ = QStringLiteral("the sound server did not start: ") +
                     QString::fromUtf8(server_.standardError());
    }

    QTemporaryDir dir_;
    test::ChildProcess server_;
    bool running_ = false;
    QString error_;
};

// Records the null sink's monitor into a file while it lives.
class MonitorCapture {
public:
    explicit MonitorCapture(const QString &file) : file_(file) {
        capture_.start(QStringLiteral("parec"),
                       {QStringLiteral("-d"), QStringLiteral("varnelo_test.monitor"), QStringLiteral("--raw"),
                        QStringLiteral("--format=s16le"), QStringLiteral("--rate=44100"),
                        QStringLiteral("--channels=2"), QStringLiteral("--latency-msec=20"), file});
        // Recording before anything plays: a capture that starts late misses the
        // beginning. The monitor of an idle sink may send nothing, hence no assert.
        test::waitUntil([&file] { return QFileInfo(file).size() >= 44100 * 4 / 10; }, 5000);
    }
    ~MonitorCapture() { stop(); }
    void stop() {
        if (capture_.finished())
            return;
        capture_.sendSignal(SIGINT);
        capture_.waitForFinished(10000);
    }
    // The left channel, full scale 1.
    std::vector<float> left() const {
        QFile f(file_);
        std::vector<float> samples;
        if (!f.open(QIODevice::ReadOnly))
            return samples;
        const QByteArray bytes = f.readAll();
        const auto *s16 = reinterpret_cast<const qint16 *>(bytes.constData());
        for (qsizetype i = 0; i + 1 < bytes.size() / 2; i += 2)
            samples.push_back(float(s16[i]) / 32768.0f);
        return samples;
    }

private:
    QString file_;
    test::ChildProcess capture_;
};

// Stretches of sound: silences shorter than 5 ms (a sine's zero crossings)
// do not split one.
struct Stretch {
    std::size_t from = 0;
    std::size_t to = 0;
    std::size_t length() const { return to - from; }
};
std::vector<Stretch> soundStretches(const std::vector<float> &s) {
    std::vector<Stretch> out;
    constexpr float Threshold = 0.01f;
    constexpr std::size_t Join = Rate / 200;
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (std::fabs(s[i]) < Threshold)
            continue;
        if (!out.empty() && i - out.back().to <= Join)
            out.back().to = i + 1;
        else
            out.push_back({i, i + 1});
    }
    return out;
}
std::size_t soundFrames(const std::vector<float> &s) {
    std::size_t n = 0;
    for (const Stretch &st : soundStretches(s))
        n += st.length();
    return n;
}
double rms(const std::vector<float> &s, std::size_t from, std::size_t count) {
    double sum = 0;
    for (std::size_t i = from; i < from + count; ++i)
        sum += double(s[i]) * s[i];
    return std::sqrt(sum / double(count));
}

// Waits until the capture has been quiet for half a second after some sound.
bool waitForQuiet(const MonitorCapture &capture) {
    return test::waitUntil(
        [&capture] {
            const std::vector<float> left = capture.left();
            const std::vector<Stretch> stretches = soundStretches(left);
            return !stretches.empty() && left.size() - stretches.back().to > std::size_t(Rate / 2);
        },
        20000);
}

class RealSound : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(SoundServer::instance().running()) << SoundServer::instance().error().toStdString();
    }
    QTemporaryDir dir;
};

// The program's local-file path end to end: decoder, player, mixer, Qt
// Multimedia, sound server.
TEST_F(RealSound, AFilePlaysAtItsPitchAndLevel) {
    const QString tone = dir.filePath(QStringLiteral("tone.wav"));
    ASSERT_EQ(
        test::runTool(QStringLiteral("sox"),
                      {QStringLiteral("-n"), QStringLiteral("-r"), QStringLiteral("44100"),
                       QStringLiteral("-c"), QStringLiteral("2"), QStringLiteral("-b"), QStringLiteral("16"),
                       tone, QStringLiteral("synth"), QStringLiteral("2"), QStringLiteral("sine"),
                       QString::number(ToneHz), QStringLiteral("vol"), QString::number(ToneAmplitude)}),
        0);
    MonitorCapture capture(dir.filePath(QStringLiteral("capture.raw")));
    test::ChildProcess player;
    ASSERT_TRUE(player.start(QStringLiteral(VARNELO_CLI_PATH), {QStringLiteral("play"), tone}));
    ASSERT_TRUE(player.waitForFinished(60000));
    EXPECT_EQ(player.exitCode(), 0) << player.standardError().toStdString();
    EXPECT_FALSE(player.standardError().contains("no sound device")) << player.standardError().toStdString();
    // The end of the file reaches the sink after the server's buffer.
    ASSERT_TRUE(waitForQuiet(capture));
    capture.stop();

    const std::vector<float> left = capture.left();
    const std::vector<Stretch> stretches = soundStretches(left);
    ASSERT_FALSE(stretches.empty()) << "nothing reached the sound server";
    // All of the file, give or take a moment lost to a busy machine.
    EXPECT_GT(double(soundFrames(left)) / Rate, 1.9);
    const Stretch &longest =
        *std::max_element(stretches.begin(), stretches.end(),
                          [](const Stretch &a, const Stretch &b) { return a.length() < b.length(); });
    ASSERT_GT(longest.length(), std::size_t(Rate / 2));
    const std::size_t from = longest.from + Rate / 20;
    const std::size_t count = longest.length() - Rate / 10;
    EXPECT_NEAR(test::zeroCrossingFrequency(left.data(), from, count, 1, 0, Rate), ToneHz, ToneHz * 0.005);
    // Unity gain at full volume: the sine's RMS, amplitude / sqrt(2), within 0.5 dB.
    const double level = 20 * std::log10(rms(left, from, count) / (ToneAmplitude / std::numbers::sqrt2));
    EXPECT_NEAR(level, 0.0, 0.5);
}

// The server holds about 300 ms; pause and stop must not wait for it. A
// pause keeps what it held and plays it on resume: nothing is lost or heard
// twice. A stop drops it.
TEST_F(RealSound, PauseAndStopSilenceTheServerAtOnce) {
    MonitorCapture capture(dir.filePath(QStringLiteral("capture.raw")));
    auto output = SoundOutput::create(SoundOutput::Backend::System);
    ASSERT_FALSE(output->fellBack()) << output->backendName().toStdString();
    AudioPlayer player(*output);
    player.SetPlayFormat(Rate, 1);
    constexpr int Seconds = 3;
    SampleBlock tone(Rate * Seconds);
    for (std::size_t i = 0; i < tone.size(); ++i)
        tone[i] = Sample(std::lround(ToneAmplitude * 2147483647.0 *
                                     std::sin(2 * std::numbers::pi * ToneHz * double(i) / Rate)));
    // Half a second of silence first: a new server stream starts up on it.
    player.QueueSamples(SampleBlock(Rate / 2, 0));
    player.QueueSamples(tone);
    player.Start();
    const auto heard = [&capture] { return soundFrames(capture.left()); };

    ASSERT_TRUE(test::waitUntil([&] { return heard() > std::size_t(Rate); }, 20000));
    player.Stop();
    const qint64 toneMixedAtPause = qint64(Rate) * Seconds - player.QueuedSamples();
    ASSERT_TRUE(waitForQuiet(capture));
    const std::size_t heardInPause = heard();
    // Mixed but held back: what the server held did not play out.
    EXPECT_LT(qint64(heardInPause), toneMixedAtPause - Rate / 10)
        << "heard " << heardInPause << " of " << toneMixedAtPause << " mixed tone frames";

    player.Start();
    ASSERT_TRUE(test::waitUntil([&] { return player.QueuedSamples() == 0; }, 20000));
    ASSERT_TRUE(waitForQuiet(capture));
    EXPECT_NEAR(double(heard()) / Rate, Seconds, 0.03) << "the held sound is played on resume, once";

    // A stop while playing: what the server held is dropped.
    player.SetPlayFormat(Rate, 1);
    player.QueueSamples(tone);
    player.Start();
    ASSERT_TRUE(test::waitUntil([&] { return heard() > std::size_t(Rate) * (Seconds + 1); }, 20000));
    player.Stop();
    const qint64 mixedAtStop = qint64(Rate) * Seconds - player.QueuedSamples();
    player.SetPlayFormat(Rate, 1);
    ASSERT_TRUE(waitForQuiet(capture));
    EXPECT_LT(qint64(heard()) - qint64(Rate) * Seconds, mixedAtStop - Rate / 10);
}

} // namespace
} // namespace varnelo
