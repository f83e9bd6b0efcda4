// Writing WAV (PCM and G.726), WMA, MP3 and OGG through AudioFile, checked by
// ffprobe/sox and by measuring the tone in what was written.
#include "Fixtures.h"

#include "platform/audiofile/AudioFile2LameEnc.h"

#include <QFile>
#include <gtest/gtest.h>

#include <cmath>
#include <tuple>

using namespace varnelo;
using namespace varnelo::test;

namespace {

constexpr double Pi = 3.14159265358979323846;

// `seconds` of a sine of `hz` at `amplitude` of full scale in every channel.
SampleBlock tone(int rate, int channels, double seconds, double hz, double amplitude = 0.5) {
    const auto frames = qint64(std::llround(seconds * rate));
    SampleBlock block(std::size_t(frames * channels));
    for (qint64 i = 0; i < frames; ++i) {
        const auto v =
            Sample(std::lround(amplitude * 2147483647.0 * std::sin(2 * Pi * hz * double(i) / rate)));
        for (int c = 0; c < channels; ++c)
            block[std::size_t(i * channels + c)] = v;
    }
    return block;
}

// Writes `block` in pieces of 4410 frames, as the converter and recorder do.
bool writeInPieces(AudioFile &out, const SampleBlock &block, int channels) {
    const std::size_t piece = std::size_t(4410 * channels);
    for (std::size_t at = 0; at < block.size(); at += piece) {
        const SampleBlock part(block.begin() + qsizetype(at),
                               block.begin() + qsizetype(std::min(block.size(), at + piece)));
        if (!out.WriteSamples(part))
            return false;
    }
    return true;
}

double peak(const SampleBlock &block, int channels, int channel) {
    double p = 0;
    for (std::size_t i = std::size_t(channel); i < block.size(); i += std::size_t(channels))
        p = std::max(p, std::abs(double(block[i])) / 2147483648.0);
    return p;
}

class Output : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

struct WavCase {
    int rate;
    int channels;
    int bits;
    const char *codec;
};

TEST_F(Output, PcmWavInEverySizeRateAndChannelCount) {
    const std::vector<WavCase> cases{
        {44100, 2, 16, "pcm_s16le"}, {48000, 2, 32, "pcm_s32le"}, {6000, 1, 8, "pcm_u8"},
        {8000, 2, 8, "pcm_u8"},      {11025, 1, 16, "pcm_s16le"}, {22050, 2, 32, "pcm_s32le"},
        {32000, 1, 16, "pcm_s16le"}, {12000, 2, 16, "pcm_s16le"}, {24000, 2, 24, "pcm_s24le"},
    };
    // The blocks come at 44100 Hz stereo whatever the file's format.
    const SampleBlock input = tone(44100, 2, 1.0, 1000);
    for (const WavCase &c : cases) {
        SCOPED_TRACE(testing::Message() << c.rate << " Hz " << c.channels << " ch " << c.bits << " bits");
        const QString file = path(QStringLiteral("out_%1_%2_%3.wav").arg(c.rate).arg(c.channels).arg(c.bits));
        AudioFile out;
        out.SetWavFormat(c.rate, c.channels, c.bits);
        out.SetFormat(44100, 2);
        ASSERT_TRUE(out.CreateOutputFile(file)) << out.ErrorText().toStdString();
        EXPECT_EQ(out.SampleRate(), 44100);
        EXPECT_EQ(out.Channels(), 2);
        ASSERT_TRUE(writeInPieces(out, input, 2));
        out.CloseFile();
        EXPECT_EQ(out.ErrorCode(), 0) << out.ErrorText().toStdString();
        EXPECT_FALSE(out.GetFileOpen());

        const AudioFacts info = probeAudio(file);
        EXPECT_EQ(info.codec, QString::fromLatin1(c.codec));
        EXPECT_EQ(info.sampleRate, c.rate);
        EXPECT_EQ(info.channels, c.channels);
        EXPECT_NEAR(info.seconds, 1.0, 1.0 / c.rate + 1e-6);
        EXPECT_NEAR(ffmpegFrequency(file, c.channels - 1), 1000, 1);

        AudioFile back;
        ASSERT_TRUE(back.OpenSource(file));
        const SampleBlock got = readAll(back);
        EXPECT_NEAR(toneFrequency(got, c.channels, c.channels - 1, c.rate), 1000, 1);
        EXPECT_NEAR(rms(got, c.channels, 0), 0.5 / std::sqrt(2.0), c.bits == 8 ? 0.01 : 0.002);
    }
}

TEST_F(Output, G726WavIsAdpcmAt8000HzMonoWithItsFormatTag) {
    const SampleBlock input = tone(44100, 2, 1.0, 440);
    for (int bits : {2, 3, 4, 5}) {
        SCOPED_TRACE(bits);
        const QString file = path(QStringLiteral("g726_%1.wav").arg(bits));
        AudioFile out;
        out.SetWavFormat(44100, 2, bits); // rate and channels cannot apply to G.726
        out.SetFormat(44100, 2);
        ASSERT_TRUE(out.CreateOutputFile(file)) << out.ErrorText().toStdString();
        ASSERT_TRUE(writeInPieces(out, input, 2));
        out.CloseFile();
        ASSERT_EQ(out.ErrorCode(), 0) << out.ErrorText().toStdString();

        QFile raw(file);
        ASSERT_TRUE(raw.open(QIODevice::ReadOnly));
        const QByteArray head = raw.read(64);
        const int fmt = head.indexOf("fmt ");
        ASSERT_GE(fmt, 0);
        EXPECT_EQ(quint8(head[fmt + 8]) | quint8(head[fmt + 9]) << 8, 0x0045);

        const AudioFacts info = probeAudio(file);
        EXPECT_EQ(info.codec, QStringLiteral("adpcm_g726"));
        EXPECT_EQ(info.sampleRate, 8000);
        EXPECT_EQ(info.channels, 1);
        EXPECT_EQ(info.bitRate, 8000 * bits);
        EXPECT_NEAR(info.seconds, 1.0, 0.01);

        AudioFile back;
        ASSERT_TRUE(back.OpenSource(file));
        const SampleBlock got = readAll(back);
        EXPECT_NEAR(toneFrequency(got, 1, 0, 8000), 440, 3);
    }
}

TEST_F(Output, TwentyFourBitSourceSurvivesIntoThirtyTwoBitWav) {
    const QString source = path(QStringLiteral("noise24.wav"));
    ASSERT_EQ(runTool(QStringLiteral("ffmpeg"),
                      {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-f"),
                       QStringLiteral("lavfi"), QStringLiteral("-i"),
                       QStringLiteral("anoisesrc=d=0.5:r=48000:a=0.6:c=pink"), QStringLiteral("-ac"),
                       QStringLiteral("2"), QStringLiteral("-c:a"), QStringLiteral("pcm_s24le"), source}),
              0);
    AudioFile in;
    ASSERT_TRUE(in.OpenSource(source));
    EXPECT_EQ(in.SourceBits(), 24);
    AudioFile out;
    out.SetWavFormat(48000, 2, 32);
    out.SetFormat(in.SampleRate(), in.Channels());
    const QString target = path(QStringLiteral("copy32.wav"));
    ASSERT_TRUE(out.CreateOutputFile(target));
    SampleBlock original;
    for (SampleBlock b = in.ReadSamples(in.SampleRate() * in.Channels()); !b.empty();
         b = in.ReadSamples(4800)) {
        original.insert(original.end(), b.begin(), b.end());
        ASSERT_TRUE(out.WriteSamples(b));
    }
    out.CloseFile();
    ASSERT_EQ(out.ErrorCode(), 0);
    // The bits below the 16th are really there, and arrive unchanged.
    EXPECT_TRUE(std::any_of(original.begin(), original.end(), [](Sample s) { return (s & 0xFF00) != 0; }));

    QString a, b;
    runTool(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), source,
             QStringLiteral("-f"), QStringLiteral("s32le"), path(QStringLiteral("a.raw"))});
    runTool(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), target,
             QStringLiteral("-f"), QStringLiteral("s32le"), path(QStringLiteral("b.raw"))});
    QFile ra(path(QStringLiteral("a.raw"))), rb(path(QStringLiteral("b.raw")));
    ASSERT_TRUE(ra.open(QIODevice::ReadOnly) && rb.open(QIODevice::ReadOnly));
    const QByteArray da = ra.readAll(), db = rb.readAll();
    EXPECT_EQ(da.size(), 24000 * 2 * 4);
    EXPECT_TRUE(da == db) << "32-bit copy differs from the 24-bit source";
}

TEST_F(Output, ChannelMixingKeepsTheLevel) {
    // Mono to stereo copies the channel; stereo to mono averages.
    AudioFile up;
    up.SetWavFormat(44100, 2, 16);
    up.SetFormat(44100, 1);
    ASSERT_TRUE(up.CreateOutputFile(path(QStringLiteral("up.wav"))));
    ASSERT_TRUE(writeInPieces(up, tone(44100, 1, 0.5, 500, 0.5), 1));
    up.CloseFile();
    AudioFile upBack;
    ASSERT_TRUE(upBack.OpenSource(path(QStringLiteral("up.wav"))));
    const SampleBlock stereo = readAll(upBack);
    EXPECT_NEAR(peak(stereo, 2, 0), 0.5, 0.01);
    EXPECT_NEAR(peak(stereo, 2, 1), 0.5, 0.01);

    SampleBlock lr = tone(44100, 2, 0.5, 500, 0.8);
    for (std::size_t i = 1; i < lr.size(); i += 2)
        lr[i] = 0; // right silent: mono gets half of the left
    AudioFile down;
    down.SetWavFormat(22050, 1, 16);
    down.SetFormat(44100, 2);
    ASSERT_TRUE(down.CreateOutputFile(path(QStringLiteral("down.wav"))));
    ASSERT_TRUE(writeInPieces(down, lr, 2));
    down.CloseFile();
    AudioFile downBack;
    ASSERT_TRUE(downBack.OpenSource(path(QStringLiteral("down.wav"))));
    const SampleBlock mono = readAll(downBack);
    EXPECT_EQ(downBack.Channels(), 1);
    EXPECT_NEAR(peak(mono, 1, 0), 0.4, 0.01);
    EXPECT_NEAR(toneFrequency(mono, 1, 0, 22050), 500, 1);
}

TEST_F(Output, BlocksMayChangeFormatWhileWriting) {
    AudioFile out;
    out.SetWavFormat(44100, 2, 16);
    out.SetFormat(44100, 2);
    ASSERT_TRUE(out.CreateOutputFile(path(QStringLiteral("mixed.wav"))));
    ASSERT_TRUE(writeInPieces(out, tone(44100, 2, 0.5, 600), 2));
    out.SetFormat(22050, 1);
    EXPECT_EQ(out.SampleRate(), 22050);
    EXPECT_EQ(out.Channels(), 1);
    const SampleBlock second = tone(22050, 1, 0.5, 600);
    const auto half = qsizetype(second.size() / 2);
    ASSERT_TRUE(out.WriteSamples(SampleBlock(second.begin(), second.begin() + half)));
    ASSERT_TRUE(out.WriteSamples({})); // an empty block changes nothing
    ASSERT_TRUE(out.WriteSamples(SampleBlock(second.begin() + half, second.end())));
    out.CloseFile();
    ASSERT_EQ(out.ErrorCode(), 0);
    const AudioFacts info = probeAudio(path(QStringLiteral("mixed.wav")));
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.seconds, 1.0, 2.0 / 44100);
    AudioFile back;
    ASSERT_TRUE(back.OpenSource(path(QStringLiteral("mixed.wav"))));
    const SampleBlock all = readAll(back);
    EXPECT_NEAR(toneFrequency(SampleBlock(all.begin() + 44100, all.end()), 2, 1, 44100), 600,
                1); // the second half
}

// ffmpeg's wmav2 codes 512, 1024 or 2048 samples per frame by rate.
int wmaFrame(int rate) {
    return rate <= 16000 ? 512 : rate <= 22050 ? 1024 : 2048;
}

TEST_F(Output, EveryWmaProfileWritesItsRateChannelsAndBitRate) {
    const auto &profiles = wmaProfiles();
    ASSERT_EQ(profiles.size(), 47u);
    EXPECT_EQ(profiles[9].rate, 44100); // the default profile 10: 44 kHz, 128 kbps, stereo
    EXPECT_EQ(profiles[9].kbps, 128);
    EXPECT_TRUE(profiles[9].note.isEmpty());
    EXPECT_FALSE(profiles[46].note.isEmpty()); // lossless is not available: said so
    EXPECT_FALSE(profiles[37].note.isEmpty()); // 5 kbps is below wmav2's floor: said so
    const SampleBlock input = tone(44100, 2, 0.4, 440, 0.5);
    for (int p = 1; p <= 47; ++p) {
        const WmaProfile &expected = profiles[std::size_t(p - 1)];
        SCOPED_TRACE(testing::Message() << "profile " << p);
        const QString file = path(QStringLiteral("p%1.wma").arg(p));
        AudioFile out;
        out.SetFormat(44100, 2);
        out.SetWmaFormat(p);
        ASSERT_TRUE(out.CreateOutputFile(file)) << out.ErrorText().toStdString();
        ASSERT_TRUE(writeInPieces(out, input, 2)) << out.ErrorText().toStdString();
        out.CloseFile();
        ASSERT_EQ(out.ErrorCode(), 0) << out.ErrorText().toStdString();
        const AudioFacts info = probeAudio(file);
        EXPECT_EQ(info.codec, QStringLiteral("wmav2"));
        EXPECT_EQ(info.sampleRate, expected.rate);
        EXPECT_EQ(info.channels, expected.channels);
        EXPECT_EQ(info.bitRate, expected.kbps * 1000);
        EXPECT_NEAR(info.seconds, 0.4, double(wmaFrame(expected.rate)) / expected.rate);
        if (p == 10 || p == 18 || p == 36) {
            AudioFile back;
            ASSERT_TRUE(back.OpenSource(file));
            const SampleBlock got = readAll(back);
            EXPECT_NEAR(toneFrequency(got, back.Channels(), 0, back.SampleRate()), 440, 3);
        }
    }
}

TEST_F(Output, Mp3AndOggGoThroughTheirEncoders) {
    const SampleBlock input = tone(44100, 2, 1.0, 1000);
    AudioFile2LameEnc lame;
    lame.SetBitrate(96);
    AudioFile mp3;
    mp3.SetFormat(44100, 2);
    mp3.SetMp3Encoder(&lame);
    ASSERT_TRUE(mp3.CreateOutputFile(path(QStringLiteral("x.mp3")))) << mp3.ErrorText().toStdString();
    ASSERT_TRUE(writeInPieces(mp3, input, 2));
    mp3.CloseFile();
    ASSERT_EQ(mp3.ErrorCode(), 0);
    AudioFacts info = probeAudio(path(QStringLiteral("x.mp3")));
    EXPECT_EQ(info.codec, QStringLiteral("mp3"));
    EXPECT_EQ(info.bitRate, 96000);

    // The bounds arrive as the stored list indices: 7 = 96 kbps, 11 = 192 kbps.
    AudioFile ogg;
    EXPECT_TRUE(ogg.CheckOggFormat(44100, 2, 128, 7, 11));
    EXPECT_TRUE(ogg.CheckOggFormat(44100, 2, 128, 0, 0));
    EXPECT_FALSE(ogg.CheckOggFormat(44100, 2, 8, 0, 0)); // 8 kbps stereo at 44.1 kHz
    ogg.SetOggFormat(44100, 2, 128, 7, 11, -1);
    ASSERT_TRUE(ogg.CreateOutputFile(path(QStringLiteral("x.ogg")))) << ogg.ErrorText().toStdString();
    ASSERT_TRUE(writeInPieces(ogg, input, 2));
    ogg.CloseFile();
    ASSERT_EQ(ogg.ErrorCode(), 0) << ogg.ErrorText().toStdString();
    QFile f(path(QStringLiteral("x.ogg")));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.read(4096);
    const int ident = data.indexOf("\x01vorbis");
    ASSERT_GE(ident, 0);
    auto le32 = [&](int at) {
        return qint32(quint8(data[at]) | quint8(data[at + 1]) << 8 | quint8(data[at + 2]) << 16 |
                      quint32(quint8(data[at + 3])) << 24);
    };
    EXPECT_EQ(le32(ident + 16), 192000); // maximum
    EXPECT_EQ(le32(ident + 20), 128000); // nominal
    EXPECT_EQ(le32(ident + 24), 96000);  // minimum
    AudioFile back;
    ASSERT_TRUE(back.OpenSource(path(QStringLiteral("x.ogg"))));
    EXPECT_NEAR(toneFrequency(readAll(back), 2, 1, 44100), 1000, 2);
}

TEST_F(Output, FlacAndOpusWriteTheBlocksOrRefuseWhatTheyCannotDo) {
    // An unknown extension takes the format set last; a null codec is refused.
    using Case = std::tuple<const char *, int, int, int, int, int, const char *, int, int>;
    for (const auto &[name, flacBits, flacLevel, opusKbps, complexity, channels, codec, rate, bits] :
         {Case{"mono.flac", 0, 5, 0, 0, 1, "flac", 22050, 16},
          Case{"deep.flac", 0, 0, 0, 0, 2, "flac", 96000, 24},
          Case{"six.opus", 0, 0, 192, 5, 6, "opus", 48000, 0},
          Case{"take.dat", 0, 0, 24, 0, 1, "opus", 48000, 0},
          Case{"level.flac", 16, 9, 0, 0, 2, nullptr, 44100, 0},
          Case{"thin.opus", 0, 0, 5, 10, 2, nullptr, 48000, 0},
          Case{"odd.flac", 20, 5, 0, 0, 9, nullptr, 44100, 0},
          Case{"busy.opus", 0, 0, 96, 11, 9, nullptr, 48000, 0}}) {
        SCOPED_TRACE(name);
        const int sourceRate = rate == 48000 ? 44100 : rate;
        AudioFile out;
        out.SetFormat(sourceRate, channels);
        out.SetSourceBits(bits);
        if (opusKbps > 0)
            out.SetOpusFormat(opusKbps, OpusFormat::Mode(channels % 3), complexity);
        else
            out.SetFlacFormat(flacBits, flacLevel);
        const QString file = path(QString::fromLatin1(name));
        ASSERT_EQ(out.CreateOutputFile(file), codec != nullptr) << out.ErrorText().toStdString();
        if (!codec) {
            EXPECT_EQ(out.ErrorCode(), AudioFile::ErrBadFormat);
            continue;
        }
        ASSERT_TRUE(writeInPieces(out, tone(sourceRate, channels, 0.5, 800), channels));
        out.CloseFile();
        ASSERT_EQ(out.ErrorCode(), 0) << out.ErrorText().toStdString();
        const AudioFacts info = probeAudio(file);
        EXPECT_EQ(info.codec + QString::number(info.sampleRate) + QString::number(info.channels),
                  QLatin1String(codec) + QString::number(rate) + QString::number(channels));
        AudioFile back;
        ASSERT_TRUE(back.OpenSource(file));
        EXPECT_EQ(back.SourceBits(), bits);
        const SampleBlock decoded = readAll(back);
        EXPECT_NEAR(double(decoded.size()) / channels, rate / 2.0, rate / 1000.0);
        EXPECT_NEAR(toneFrequency(decoded, channels, channels - 1, rate), 800, 2);
    }
}

TEST_F(Output, ExtensionChoosesTheFormatAndARecordingNeedsNoSettings) {
    // The recorder only names the file and asks for the format to capture in.
    AudioFile rec;
    rec.SetWmaFormat(10);
    ASSERT_TRUE(rec.CreateOutputFile(path(QStringLiteral("rec.wav"))));
    EXPECT_EQ(rec.outputKind(), AudioFile::OutputKind::Wav);
    EXPECT_EQ(rec.SampleRate(), 44100);
    EXPECT_EQ(rec.Channels(), 2);
    ASSERT_TRUE(writeInPieces(rec, tone(44100, 2, 0.5, 800), 2));
    EXPECT_EQ(rec.Length(), 22050);
    EXPECT_EQ(rec.Duration(), 500);
    rec.CloseFile();
    EXPECT_EQ(probeAudio(path(QStringLiteral("rec.wav"))).codec, QStringLiteral("pcm_s16le"));

    AudioFile rec2;
    ASSERT_TRUE(rec2.CreateOutputFile(path(QStringLiteral("rec.mp3")))) << rec2.ErrorText().toStdString();
    ASSERT_TRUE(writeInPieces(rec2, tone(rec2.SampleRate(), rec2.Channels(), 0.5, 800), rec2.Channels()));
    rec2.CloseFile();
    EXPECT_EQ(rec2.ErrorCode(), 0);
    EXPECT_EQ(probeAudio(path(QStringLiteral("rec.mp3"))).codec, QStringLiteral("mp3"));

    // An unknown extension takes the format set last.
    AudioFile other;
    other.SetWmaFormat(26);
    ASSERT_TRUE(other.CreateOutputFile(path(QStringLiteral("take.dat"))));
    ASSERT_TRUE(writeInPieces(other, tone(44100, 2, 0.3, 800), 2));
    other.CloseFile();
    const AudioFacts info = probeAudio(path(QStringLiteral("take.dat")));
    EXPECT_EQ(info.codec, QStringLiteral("wmav2"));
    EXPECT_EQ(info.sampleRate, 22050);
}

TEST_F(Output, ConvertsAnMp3SourceToWav) {
    // The converter's loop: source format set on the output, chunks of one second.
    const QString wav = makeTone(dir, QStringLiteral("src.wav"), 700, 2.0, 22050, 1,
                                 {QStringLiteral("-c:a"), QStringLiteral("pcm_s16le")});
    const QString mp3 = path(QStringLiteral("src.mp3"));
    ASSERT_EQ(runTool(QStringLiteral("lame"), {QStringLiteral("--quiet"), wav, mp3}), 0);
    AudioFile in, out;
    ASSERT_TRUE(in.OpenSource(mp3));
    out.SetWavFormat(44100, 2, 16);
    out.SetFormat(in.SampleRate(), in.Channels());
    ASSERT_TRUE(out.CreateOutputFile(path(QStringLiteral("N_src.wav"))));
    const qint64 chunk = in.Channels() * in.SampleRate();
    qint64 done = 0;
    for (SampleBlock b = in.ReadSamples(chunk); !b.empty(); b = in.ReadSamples(chunk)) {
        ASSERT_TRUE(out.WriteSamples(b));
        done += qint64(b.size()) / in.BlockAlign();
    }
    EXPECT_EQ(done, in.Length());
    EXPECT_NEAR(double(done), 44100, 1800); // MPEG-2 frames of 576 and LAME's padding
    out.CloseFile();
    in.CloseFile();
    const AudioFacts info = probeAudio(path(QStringLiteral("N_src.wav")));
    EXPECT_EQ(info.sampleRate, 44100);
    EXPECT_EQ(info.channels, 2);
    EXPECT_NEAR(info.seconds, done / 22050.0, 1.0 / 44100 + 1e-6);
    EXPECT_NEAR(ffmpegFrequency(path(QStringLiteral("N_src.wav")), 1), 700, 1);
}

} // namespace
