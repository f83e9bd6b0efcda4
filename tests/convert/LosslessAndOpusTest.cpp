// FLAC and Opus outputs of varnelo-cli convert, checked against the reference
// tools of each format (flac, opusdec) and ffprobe.
#include "Media.h"
#include "platform/audiofile/AudioFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

const QString kCli = QStringLiteral(VARNELO_CLI_PATH);

class LosslessAndOpusTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString out = dir.filePath(QStringLiteral("out"));
    QString err;

    // Converts `source` with the settings text; the output's path, empty on failure.
    QString convert(const QString &source, const char *to, const QString &settings = {}) {
        const QString ini = dir.filePath(QStringLiteral("settings.ini"));
        QFile f(ini);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(settings.toUtf8());
        f.close();
        QString printed;
        if (test::run(kCli,
                      {QStringLiteral("convert"), QStringLiteral("--to"), QString::fromLatin1(to),
                       QStringLiteral("--out"), out, QStringLiteral("--settings"), ini, source},
                      &printed, &err) != 0)
            return {};
        return printed.trimmed();
    }
};

// Every frame of a file as our decoder gives it, with its rate.
struct Decoded {
    SampleBlock samples;
    int rate = 0;
    int channels = 0;
};
Decoded decodeAll(const QString &path) {
    AudioFile file;
    Decoded d;
    if (!file.OpenSource(path))
        return d;
    d.rate = file.SampleRate();
    d.channels = file.Channels();
    for (SampleBlock block; !(block = file.ReadSamples(65536)).empty();)
        d.samples.insert(d.samples.end(), block.begin(), block.end());
    return d;
}

TEST_F(LosslessAndOpusTest, FlacDecodesToTheSourceSampleForSample) {
    struct Case {
        const char *name;
        int rate;
        int channels;
        QStringList soxArgs;
        QString settings;
        int bits;
    };
    const Case cases[] = {
        {"cd.wav", 44100, 2, {QStringLiteral("-b"), QStringLiteral("16")}, {}, 16},
        {"hires.wav", 96000, 1, {QStringLiteral("-b"), QStringLiteral("24")}, {}, 24},
        {"widened.wav",
         48000,
         2,
         {QStringLiteral("-b"), QStringLiteral("16")},
         QStringLiteral("[flac]\nbits=2\nlevel=8\n"),
         24},
        {"fast.flac",
         32000,
         2,
         {QStringLiteral("-b"), QStringLiteral("16")},
         QStringLiteral("[flac]\nlevel=0\n"),
         16},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString source = test::makeTone(dir.filePath(QString::fromLatin1(c.name)), 997, 1.7, c.rate,
                                              c.channels, c.soxArgs);
        const QString flac = convert(source, "flac", c.settings);
        ASSERT_FALSE(flac.isEmpty()) << err.toStdString();
        // The reference decoder checks the audio against the MD5 of STREAMINFO.
        QString info;
        ASSERT_EQ(test::run(QStringLiteral("metaflac"),
                            {QStringLiteral("--show-bps"), QStringLiteral("--show-md5sum"), flac}, &info),
                  0);
        const QStringList lines = info.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        ASSERT_EQ(lines.size(), 2);
        EXPECT_EQ(lines[0].toInt(), c.bits);
        EXPECT_NE(lines[1], QString(32, QLatin1Char('0')));
        ASSERT_EQ(test::run(QStringLiteral("flac"), {QStringLiteral("-t"), QStringLiteral("-s"), flac}), 0);
        const QString decoded = dir.filePath(QStringLiteral("decoded.wav"));
        ASSERT_EQ(
            test::run(QStringLiteral("flac"), {QStringLiteral("-d"), QStringLiteral("-s"),
                                               QStringLiteral("-f"), QStringLiteral("-o"), decoded, flac}),
            0);
        const Decoded a = decodeAll(source), b = decodeAll(decoded);
        EXPECT_EQ(b.rate, c.rate);
        EXPECT_EQ(b.channels, c.channels);
        ASSERT_EQ(a.samples.size(), b.samples.size());
        EXPECT_TRUE(a.samples == b.samples) << "the decoded samples differ from the source's";
    }
}

TEST_F(LosslessAndOpusTest, OpusPlaysAsLongAsTheSourceWithinOneMillisecond) {
    struct Case {
        const char *name;
        int rate;
        int channels;
        double seconds;
    };
    const Case cases[] = {
        {"a.wav", 44100, 2, 2.345},
        {"b.flac", 48000, 1, 1.5},
        {"c.ogg", 22050, 2, 2.0},
        {"d.wav", 8000, 1, 0.61},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const QString source =
            test::makeTone(dir.filePath(QString::fromLatin1(c.name)), 440, c.seconds, c.rate, c.channels);
        const QString opus = convert(source, "opus");
        ASSERT_FALSE(opus.isEmpty()) << err.toStdString();
        const test::AudioFacts p = test::probeAudio(opus);
        EXPECT_EQ(p.codec, QStringLiteral("opus"));
        EXPECT_EQ(p.channels, c.channels);
        // The reference decoder applies the pre-skip and trims the end at the last granule position.
        const QString decoded = dir.filePath(QStringLiteral("decoded.wav"));
        ASSERT_EQ(test::run(QStringLiteral("opusdec"), {QStringLiteral("--quiet"), QStringLiteral("--rate"),
                                                        QStringLiteral("48000"), opus, decoded}),
                  0);
        const Decoded src = decodeAll(source), dec = decodeAll(decoded);
        ASSERT_EQ(dec.rate, 48000);
        const double sourceSeconds = double(src.samples.size()) / src.channels / src.rate;
        const double decodedSeconds = double(dec.samples.size()) / dec.channels / dec.rate;
        EXPECT_NEAR(decodedSeconds, sourceSeconds, 0.001);
        EXPECT_NEAR(test::measuredFrequency(decoded), 440, 10);
    }
}

TEST_F(LosslessAndOpusTest, OpusSettingsReachTheEncoder) {
    const QString source = test::makeTone(dir.filePath(QStringLiteral("long.wav")), 440, 8, 48000, 2);
    struct Case {
        QString settings;
        double kbps;
    };
    const Case cases[] = {
        {{}, 128},
        {QStringLiteral("[opus]\nbitrate=48\nmode=2\ncomplexity=3\n"), 48},
        {QStringLiteral("[opus]\nbitrate=256\nmode=1\n"), 256},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.settings.toStdString());
        const QString opus = convert(source, "opus", c.settings);
        ASSERT_FALSE(opus.isEmpty()) << err.toStdString();
        // The whole file over its length: headers and Ogg framing add a little.
        const double kbps = QFileInfo(opus).size() * 8.0 / 8.0 / 1000.0;
        EXPECT_NEAR(kbps, c.kbps, c.kbps * 0.25);
    }
}

} // namespace
} // namespace varnelo
