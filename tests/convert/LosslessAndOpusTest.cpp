// FLAC and Opus outputs of varnelo-cli convert, checked with the formats' reference tools.
#include "Media.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/tags/AudioInformation.h"
#include "support/Files.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <tuple>

namespace varnelo {
namespace {

using L = QLatin1String;

class LosslessAndOpusTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString err;

    // Converts `source` with the settings text; the output's path, empty on failure.
    QString convert(const QString &source, const char *to, const char *settings) {
        const QString ini = dir.filePath(L("settings.ini"));
        test::writeBytes(ini, settings);
        QString printed;
        const QStringList args{L("convert"),           L("--to"),       L(to), L("--out"),
                               dir.filePath(L("out")), L("--settings"), ini,   source};
        return test::run(QStringLiteral(VARNELO_CLI_PATH), args, &printed, &err) == 0 ? printed.trimmed()
                                                                                      : QString();
    }
    // Every sample of a file as our decoder gives it; `rate` and `channels` are its format.
    static SampleBlock decodeAll(const QString &path, int *rate, int *channels) {
        AudioFile file;
        SampleBlock all;
        EXPECT_TRUE(file.OpenSource(path)) << path.toStdString();
        *rate = file.SampleRate();
        *channels = file.Channels();
        for (SampleBlock block; !(block = file.ReadSamples(65536)).empty();)
            all.insert(all.end(), block.begin(), block.end());
        return all;
    }
};

TEST_F(LosslessAndOpusTest, FlacDecodesToTheSourceSampleForSample) {
    // Bits per sample of the source and of the FLAC.
    using Case = std::tuple<const char *, int, int, int, const char *, int>;
    for (const auto &[name, rate, channels, sourceBits, settings, bits] :
         {Case{"cd.wav", 44100, 2, 16, "", 16}, Case{"hires.wav", 96000, 1, 24, "", 24},
          Case{"widened.wav", 48000, 2, 16, "[flac]\nbits=2\nlevel=8\n", 24},
          Case{"fast.flac", 32000, 2, 16, "[flac]\nlevel=0\n", 16}}) {
        SCOPED_TRACE(name);
        const QString source = test::makeTone(dir.filePath(L(name)), 997, 1.7, rate, channels,
                                              {L("-b"), QString::number(sourceBits)});
        const QString flac = convert(source, "flac", settings);
        ASSERT_FALSE(flac.isEmpty()) << err.toStdString();
        // flac -d checks the audio against the MD5 of STREAMINFO, which must be set.
        QString info;
        ASSERT_EQ(test::run(L("metaflac"), {L("--show-bps"), L("--show-md5sum"), flac}, &info), 0);
        EXPECT_EQ(info.split(L("\n")).value(0).toInt(), bits);
        EXPECT_NE(info.split(L("\n")).value(1), QString(32, QLatin1Char('0')));
        const QString decoded = dir.filePath(L("decoded.wav"));
        ASSERT_EQ(test::run(L("flac"), {L("-d"), L("-s"), L("-f"), L("-o"), decoded, flac}), 0);
        int gotRate = 0, gotChannels = 0, sourceRate = 0, sourceChannels = 0;
        const SampleBlock back = decodeAll(decoded, &gotRate, &gotChannels);
        EXPECT_EQ(std::pair(gotRate, gotChannels), std::pair(rate, channels));
        EXPECT_TRUE(back == decodeAll(source, &sourceRate, &sourceChannels)) << "the samples differ";
    }
}

TEST_F(LosslessAndOpusTest, OpusPlaysAsLongAsTheSourceWithinOneMillisecondAtItsBitRate) {
    // kbps of the whole file: Ogg framing, headers and VBR on a short tone add a little.
    using Case = std::tuple<const char *, int, int, double, const char *, double>;
    for (const auto &[name, rate, channels, seconds, settings, kbps] :
         {Case{"a.wav", 44100, 2, 2.345, "", 128},
          Case{"b.flac", 48000, 1, 1.5, "[opus]\nbitrate=48\nmode=2\ncomplexity=3\n", 48},
          Case{"c.ogg", 22050, 2, 2.0, "[opus]\nbitrate=256\nmode=1\n", 256},
          Case{"d.wav", 8000, 1, 0.61, "", 0}}) {
        SCOPED_TRACE(name);
        const QString source = test::makeTone(dir.filePath(L(name)), 440, seconds, rate, channels);
        const QString opus = convert(source, "opus", settings);
        ASSERT_FALSE(opus.isEmpty()) << err.toStdString();
        EXPECT_NEAR(kbps > 0 ? QFileInfo(opus).size() * 8 / seconds / 1000 : 0, kbps, kbps * 0.35);
        // opusdec applies the pre-skip and trims the end at the last granule position.
        const QString decoded = dir.filePath(L("decoded.wav"));
        ASSERT_EQ(test::run(L("opusdec"), {L("--quiet"), L("--rate"), L("48000"), opus, decoded}), 0);
        int gotRate = 0, gotChannels = 0, sourceRate = 0, sourceChannels = 0;
        const double frames = double(decodeAll(decoded, &gotRate, &gotChannels).size()) / gotChannels;
        const double sourceFrames =
            double(decodeAll(source, &sourceRate, &sourceChannels).size()) / sourceChannels;
        EXPECT_EQ(gotChannels, channels);
        EXPECT_NEAR(frames / gotRate, sourceFrames / sourceRate, 0.001);
        EXPECT_NEAR(test::measuredFrequency(decoded), 440, 10);
    }
}

// Integrated loudness as ffmpeg's ebur128 filter measures it (the figure of its summary, printed
// last), of the files played one after the other.
double ffmpegLoudness(const QStringList &files) {
    QStringList args{L("-nostats")};
    for (const QString &file : files)
        args << L("-i") << file;
    args << L("-filter_complex") << QStringLiteral("concat=n=%1:v=0:a=1,ebur128").arg(files.size()) << L("-f")
         << L("null") << L("-");
    QString out, log;
    test::run(L("ffmpeg"), args, &out, &log);
    double lufs = 0;
    for (auto it = QRegularExpression(QStringLiteral("I:\\s+(-?[0-9.]+) LUFS")).globalMatch(log);
         it.hasNext();)
        lufs = it.next().captured(1).toDouble();
    return lufs;
}

// Two files near enough in loudness that neither is gated out of their album.
void makeAlbum(const QString &a, const QString &b) {
    for (const auto &[file, seconds, sound, volume] :
         {std::tuple(a, "5", "pinknoise", "0.3"), std::tuple(b, "4", "sine", "0.1")})
        ASSERT_EQ(test::run(L("sox"), {L("-n"), L("-c"), L("2"), L("-r"), L("44100"), file, L("synth"),
                                       L(seconds), L(sound), L("vol"), L(volume)}),
                  0);
}

TEST_F(LosslessAndOpusTest, ReplayGainMatchesAnIndependentMeasurement) {
    const QString a = dir.filePath(L("a.wav")), b = dir.filePath(L("b.wav"));
    makeAlbum(a, b);
    AudioInformation titled;
    titled.setInfoTitle(L("Alpha"));
    titled.SaveInfo(a);
    const double album = -18 - ffmpegLoudness({a, b});
    test::writeBytes(dir.filePath(L("none.ini")), {});
    for (const char *to : {"flac", "mp3", "opus"}) {
        SCOPED_TRACE(to);
        QString printed;
        ASSERT_EQ(test::run(QStringLiteral(VARNELO_CLI_PATH),
                            {L("convert"), L("--to"), L(to), L("--replaygain"), L("album"), L("--settings"),
                             dir.filePath(L("none.ini")), L("--out"), dir.filePath(L("out")), a, b},
                            &printed, &err),
                  0)
            << err.toStdString();
        for (const QString &source : {a, b}) {
            const QString output = printed.split(L("\n")).value(source == a ? 0 : 1);
            const auto tags = test::probeAudio(output).tags;
            // The source's title comes along in the same write as the gains.
            EXPECT_EQ(tags.value(L("title")), source == a ? L("Alpha") : QString());
            EXPECT_NEAR(tags.value(L("replaygain_track_gain")).section(L(" "), 0, 0).toDouble(),
                        -18 - ffmpegLoudness({source}), 0.1);
            EXPECT_NEAR(tags.value(L("replaygain_album_gain")).section(L(" "), 0, 0).toDouble(), album, 0.1);
            const double r128 = (-23 - ffmpegLoudness({source})) * 256; // Q7.8 dB against -23 LUFS, Opus only
            EXPECT_NEAR(
                tags.value(L("r128_track_gain"), QString::number(L(to) == L("opus") ? 0 : qRound(r128)))
                    .toInt(),
                r128, 26);
        }
    }
}

TEST_F(LosslessAndOpusTest, TagsGainMeasuresExistingFilesAsAnIndependentMeterDoes) {
    const QString a = dir.filePath(L("a.wav")), b = dir.filePath(L("b.wav"));
    makeAlbum(a, b);
    const auto gain = [](const QMap<QString, QString> &tags, const char *key) {
        return tags.value(L(key)).section(L(" "), 0, 0).toDouble();
    };
    for (const QString format : {L("flac"), L("mp3"), L("opus")}) {
        SCOPED_TRACE(format.toStdString());
        const QStringList files{dir.filePath(L("a.") + format), dir.filePath(L("b.") + format)};
        for (int i : {0, 1})
            ASSERT_EQ(test::run(L("ffmpeg"), {L("-loglevel"), L("error"), L("-y"), L("-i"),
                                              QStringList{a, b}[i], files[i]}),
                      0);
        // Alone, a file gets its track's gain; with --album, the album's too.
        const auto gainCommand = [&](const QStringList &args) {
            return test::run(QStringLiteral(VARNELO_CLI_PATH), QStringList{L("tags"), L("gain")} + args,
                             nullptr, &err);
        };
        ASSERT_EQ(gainCommand({files[0]}), 0) << err.toStdString();
        EXPECT_FALSE(test::probeAudio(files[0]).tags.contains(L("replaygain_album_gain")));
        ASSERT_EQ(gainCommand(QStringList{L("--album")} + files), 0) << err.toStdString();
        const double album = ffmpegLoudness(files);
        for (const QString &file : files) {
            const auto tags = test::probeAudio(file).tags;
            const double track = ffmpegLoudness({file});
            EXPECT_NEAR(gain(tags, "replaygain_track_gain"), -18 - track, 0.1);
            EXPECT_NEAR(gain(tags, "replaygain_album_gain"), -18 - album, 0.1);
            // Opus players apply R128 gains instead: Q7.8 dB against -23 LUFS.
            for (const auto &[key, lufs] :
                 {std::pair("r128_track_gain", track), std::pair("r128_album_gain", album)}) {
                EXPECT_EQ(tags.contains(L(key)), format == L("opus")) << key;
                EXPECT_NEAR(tags.value(L(key), QString::number(qRound((-23 - lufs) * 256))).toInt(),
                            (-23 - lufs) * 256, 26);
            }
            // The values go into the ID3v2 tag alone: no ID3v1 tag appears.
            EXPECT_NE(test::readBytes(file).right(128).left(3), "TAG");
        }
    }
}

} // namespace
} // namespace varnelo
