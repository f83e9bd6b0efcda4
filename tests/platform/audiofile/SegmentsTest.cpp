// One file encoded in segments on several threads. MP3: decoded by ffmpeg it
// must have the source's length and alignment, and no 50 ms window may be
// worse than two single-pass encodes of the same audio (less 1 dB). FLAC: the
// file is the single pass's, which flac itself verifies.
#include "Fixtures.h"
#include "lame_ogg_support.h"

#include "platform/audiofile/AudioFile2LameEnc.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace varnelo;
using namespace varnelo::test;

namespace {

constexpr int Rate = 44100;

// Chords with vibrato over noise, and a drum hit every 0.37 s for the block switching.
SampleBlock music(double seconds, int channels) {
    const auto frames = static_cast<std::size_t>(seconds * Rate);
    SampleBlock block(frames * std::size_t(channels));
    std::mt19937 random(7);
    std::normal_distribution<double> noise(0.0, 0.03);
    for (std::size_t i = 0; i < frames; ++i) {
        const double t = double(i) / Rate;
        const double hit = std::fmod(t, 0.37);
        for (int c = 0; c < channels; ++c) {
            double v = noise(random) + 0.4 * std::exp(-hit * 30) * noise(random) * 10;
            for (const double hz : {220.0, 277.2, 329.6, 1318.5})
                v += 0.08 * std::sin(2 * std::numbers::pi * hz * (t + 0.002 * std::sin(5 * t + c)));
            block[i * std::size_t(channels) + std::size_t(c)] =
                Sample(std::clamp(v, -1.0, 1.0) * 2147483647.0);
        }
    }
    return block;
}

std::vector<float> decode(const QString &path) {
    QProcess p;
    p.start(QStringLiteral("ffmpeg"),
            {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-i"), path, QStringLiteral("-f"),
             QStringLiteral("f32le"), QStringLiteral("-")});
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    const QByteArray raw = p.readAllStandardOutput();
    std::vector<float> s(std::size_t(raw.size()) / sizeof(float));
    std::memcpy(s.data(), raw.constData(), s.size() * sizeof(float));
    return s;
}

struct Verdict {
    std::size_t frames = 0;
    int lagAtQuarter = 99, lagAtThreeQuarters = 99;
    double worstMargin = -99; // dB below the weaker single-pass encode, in the worst window
    bool passes(std::size_t sourceFrames) const {
        return frames == sourceFrames && lagAtQuarter == 0 && lagAtThreeQuarters == 0 && worstMargin >= -1.0;
    }
};

// The checks every candidate goes through, against the source and the two single-pass references.
Verdict judge(const SampleBlock &source, int channels, const std::vector<float> &out,
              const std::vector<float> &single, const std::vector<float> &shifted) {
    const auto ch = std::size_t(channels);
    const std::size_t n = source.size() / ch;
    const auto src = [&](std::size_t i, std::size_t c) { return double(source[i * ch + c]) / 2147483648.0; };
    Verdict v;
    v.frames = out.size() / ch;
    if (v.frames != n || single.size() != source.size() || shifted.size() != source.size())
        return v;
    const auto lag = [&](std::size_t at) {
        int best = 0;
        double bestSum = -1e300;
        for (int d = -64; d <= 64; ++d) {
            double sum = 0;
            for (std::size_t i = at; i < at + 4096; ++i)
                sum += src(i, 0) * out[std::size_t(std::ptrdiff_t(i) + d) * ch];
            if (sum > bestSum)
                bestSum = sum, best = d;
        }
        return best;
    };
    v.worstMargin = 0;
    v.lagAtQuarter = lag(n / 4);
    v.lagAtThreeQuarters = lag(n * 3 / 4);
    const std::size_t window = Rate / 20;
    const auto ser = [&](const std::vector<float> &d, std::size_t from) {
        double signal = 0, error = 0;
        for (std::size_t i = from * ch; i < (from + window) * ch; ++i) {
            const double s = src(i / ch, i % ch);
            signal += s * s;
            error += (d[i] - s) * (d[i] - s);
        }
        return 10 * std::log10(signal / std::max(error, 1e-20));
    };
    // Half-overlapping windows: a join never splits its damage between two of them.
    for (std::size_t w = 0; w + window <= n; w += window / 2)
        v.worstMargin = std::min(v.worstMargin, ser(out, w) - std::min(ser(single, w), ser(shifted, w)));
    return v;
}

class SegmentsTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    int count = 0;

    std::vector<float> encoded(const AudioFile2LameEnc &settings, const SampleBlock &block, int channels,
                               EncoderThreads threads = {}) {
        const QString path = dir.filePath(QStringLiteral("%1.mp3").arg(++count));
        auto encoder = createMp3Encoder(settings, {Rate, channels}, threads);
        QString error;
        EXPECT_TRUE(encodeAll(*encoder, path, block, &error)) << error.toStdString();
        lastFile = readFile(path);
        return decode(path);
    }
    QByteArray lastFile;
};

TEST_F(SegmentsTest, JoinsCannotBeHeardAndTheLengthIsTheSources) {
    struct Case {
        const char *name;
        int channels;
        const char *commandLine;
        bool naive; // halves encoded apart and their bytes joined: the control that must fail
    };
    for (const Case c :
         {Case{"CBR 128 q5", 2, "-b 128 -q 5 -m s", false}, Case{"VBR V4 joint", 2, "-V 4 -m j", false},
          Case{"mono CBR 64", 1, "-b 64", false},
          // No larger frame to re-pack into: the reservoir is emptied at the joins.
          Case{"CBR 320", 2, "-b 320", false}, Case{"naive split", 2, "-b 128 -q 5 -m s", true}}) {
        SCOPED_TRACE(c.name);
        AudioFile2LameEnc settings;
        settings.SetCommandLine(QString::fromLatin1(c.commandLine));
        const SampleBlock source = music(7.0, c.channels);
        const std::vector<float> single = encoded(settings, source, c.channels);
        SampleBlock padded(1000 * std::size_t(c.channels), 0);
        padded.insert(padded.end(), source.begin(), source.end());
        std::vector<float> shifted = encoded(settings, padded, c.channels);
        shifted.erase(shifted.begin(),
                      shifted.begin() + std::min<std::ptrdiff_t>(1000 * c.channels, shifted.size()));
        std::vector<float> out;
        if (c.naive) {
            const auto half = source.begin() + std::ptrdiff_t(source.size() / 4 * 2);
            encoded(settings, SampleBlock(source.begin(), half), c.channels);
            const QByteArray first = lastFile;
            encoded(settings, SampleBlock(half, source.end()), c.channels);
            const QString joined = dir.filePath(QStringLiteral("joined.mp3"));
            QFile file(joined);
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write(first + lastFile);
            file.close();
            out = decode(joined);
        } else {
            // Segments of 1.7 s: four joins, on three threads.
            out = encoded(settings, source, c.channels, EncoderThreads{3, 64});
        }
        const Verdict v = judge(source, c.channels, out, single, shifted);
        const std::size_t n = source.size() / std::size_t(c.channels);
        EXPECT_EQ(v.passes(n), !c.naive)
            << v.frames << " of " << n << " frames, lags " << v.lagAtQuarter << " " << v.lagAtThreeQuarters
            << ", worst window " << v.worstMargin << " dB";
        if (!c.naive) {
            // The info frame counts every byte of the joined stream.
            qsizetype at = lastFile.indexOf(QByteArrayLiteral("Xing"));
            at = at < 0 ? lastFile.indexOf(QByteArrayLiteral("Info")) : at;
            ASSERT_GT(at, 0);
            EXPECT_EQ(be32(lastFile, at + 12), quint32(lastFile.size()));
        }
    }
}

// A file shorter than one segment goes through one LAME instance: the info
// frame written again from the stream's own totals must come out as LAME's.
TEST_F(SegmentsTest, OneSegmentIsByteForByteTheSinglePass) {
    for (const char *commandLine : {"-b 128 -q 5", "-V 2", "-b 96 -p"}) {
        AudioFile2LameEnc settings;
        settings.SetCommandLine(QString::fromLatin1(commandLine));
        const SampleBlock source = music(3.0, 2);
        encoded(settings, source, 2);
        const QByteArray single = lastFile;
        encoded(settings, source, 2, EncoderThreads{2, 0});
        EXPECT_EQ(lastFile, single) << commandLine;
    }
}

// Stopped part way, the segments under way are dropped, not waited for; the file's
// info frame counts the segments written before, so its length is what decodes.
TEST_F(SegmentsTest, AStopDropsTheSegmentsUnderWayAndTheFileSaysWhatItHolds) {
    AudioFile2LameEnc settings;
    const SampleBlock source = music(40.0, 2);
    const QString path = dir.filePath(QStringLiteral("stopped.mp3"));
    auto encoder = createMp3Encoder(settings, {Rate, 2}, EncoderThreads{2, 64});
    ASSERT_TRUE(encoder->open(path));
    ASSERT_TRUE(encoder->write(source.data(), source.size() / 2));
    encoder->stop();
    EXPECT_TRUE(encoder->write(source.data(), 4096)); // let go
    ASSERT_TRUE(encoder->finish()) << encoder->errorText().toStdString();
    const std::size_t frames = decode(path).size() / 2;
    EXPECT_GT(frames, 0u);
    EXPECT_LT(frames, source.size() / 2 - 32 * 1152); // the last segment at least
    EXPECT_NEAR(probeAudio(path).seconds, double(frames) / Rate, 1152.0 / Rate);
}

// At another output rate the audio is resampled once for all the segments: the file
// is as long as the single pass's and lines up with it near the end, without drift.
TEST_F(SegmentsTest, ResampledSegmentsLineUpWithTheSinglePass) {
    AudioFile2LameEnc settings;
    settings.SetCommandLine(QStringLiteral("-b 96 -q 5 --resample 32"));
    const SampleBlock source = music(20.0, 2);
    const std::vector<float> single = encoded(settings, source, 2);
    const QByteArray singleFile = lastFile;
    const std::vector<float> parallel = encoded(settings, source, 2, EncoderThreads{2, 64});
    EXPECT_NE(lastFile, singleFile); // encoded in segments
    ASSERT_GT(single.size(), 32000u * 2 * 19);
    ASSERT_NEAR(double(parallel.size()), double(single.size()), 4.0);
    const auto error = [&](std::size_t shift) {
        double e = 0;
        for (std::size_t i = single.size() * 7 / 8; i < single.size() * 7 / 8 + 8192; ++i)
            e += std::pow(double(single[i]) - parallel[i + shift], 2);
        return e;
    };
    EXPECT_LT(error(0), error(2) / 4); // one frame apart
}

TEST_F(SegmentsTest, FlacSegmentsMakeTheSinglePassFile) {
    struct Case {
        int bits, channels, level;
    };
    for (const Case c : {Case{16, 2, 5}, Case{24, 1, 8}, Case{16, 2, 0}}) {
        SCOPED_TRACE(c.bits * 100 + c.channels * 10 + c.level);
        const FlacFormat format{Rate, c.channels, c.bits, c.level};
        const SampleBlock source = music(3.3, c.channels);
        QByteArray files[2];
        for (const int threads : {1, 3}) {
            const QString path = dir.filePath(QStringLiteral("%1.flac").arg(threads));
            // Segments of 5 blocks: several per thread, the last one short.
            auto encoder = createFlacEncoder(format, EncoderThreads{threads, 5});
            ASSERT_TRUE(encodeAll(*encoder, path, source)) << encoder->errorText().toStdString();
            files[threads / 3] = readFile(path);
            ASSERT_EQ(runTool(QStringLiteral("flac"), {QStringLiteral("-t"), QStringLiteral("-s"), path}), 0);
        }
        EXPECT_EQ(files[1], files[0]);
        // The decoded samples are the source's, rounded to the stored size.
        const std::vector<float> decoded = decode(dir.filePath(QStringLiteral("3.flac")));
        ASSERT_EQ(decoded.size(), source.size());
        const double step = 1.0 / double(1 << (c.bits - 1));
        std::size_t off = 0;
        for (std::size_t i = 0; i < source.size(); ++i)
            off += std::abs(double(decoded[i]) - double(source[i]) / 2147483648.0) > step ? 1 : 0;
        EXPECT_EQ(off, 0u);
    }
}

} // namespace
