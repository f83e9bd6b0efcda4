// OGG Vorbis output: the file as ffprobe/ffmpeg see it, the bit rates the
// identification header declares, and the format check against libvorbisenc.
#include "lame_ogg_support.h"

#include "platform/audiofile/AudioEncoder.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace varnelo;
using namespace varnelo::test;

namespace {

struct IdentHeader {
    int channels = 0;
    int rate = 0;
    int maximum = 0;
    int nominal = 0;
    int minimum = 0;
};

std::optional<IdentHeader> identHeader(const QByteArray &b) {
    const qsizetype at = b.indexOf(QByteArray("\x01vorbis", 7));
    if (at < 0 || at + 7 + 23 > b.size())
        return std::nullopt;
    const qsizetype x = at + 7;
    if (le32(b, x) != 0)
        return std::nullopt;
    IdentHeader h;
    h.channels = static_cast<unsigned char>(b.at(x + 4));
    h.rate = le32(b, x + 5);
    h.maximum = le32(b, x + 9);
    h.nominal = le32(b, x + 13);
    h.minimum = le32(b, x + 17);
    return h;
}

QByteArray vendor(const QByteArray &b) {
    const qsizetype at = b.indexOf(QByteArray("\x03vorbis", 7));
    if (at < 0 || at + 11 > b.size())
        return {};
    const int length = le32(b, at + 7);
    return length > 0 && at + 11 + length <= b.size() ? b.mid(at + 11, length) : QByteArray();
}

OggFormat managed(int rate, int channels, int kbps, int minKbps = -1, int maxKbps = -1) {
    OggFormat f;
    f.sampleRate = rate;
    f.channels = channels;
    f.kbps = kbps;
    f.minKbps = minKbps;
    f.maxKbps = maxKbps;
    return f;
}

OggFormat quality(int rate, int channels, int q) {
    OggFormat f = managed(rate, channels, 0, 0, 0);
    f.quality = q;
    return f;
}

class OggEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // scripts/bootstrap.sh installs the oracles: a missing one fails, it does not skip.
        ASSERT_TRUE(haveFfmpeg())
            << "ffprobe, ffmpeg and soxi are needed (scripts/bootstrap.sh installs them)";
        ASSERT_TRUE(dir.isValid());
    }

    QByteArray encode(const OggFormat &format, double seconds = 2.0) {
        path = dir.filePath(QStringLiteral("t.ogg"));
        auto encoder = createOggEncoder(format);
        EXPECT_EQ(encoder->inputFormat().sampleRate, format.sampleRate);
        EXPECT_EQ(encoder->inputFormat().channels, format.channels);
        QString error;
        EXPECT_TRUE(encodeAll(*encoder, path, tone(format.sampleRate, format.channels, seconds), &error))
            << error.toStdString();
        return readFile(path);
    }

    QTemporaryDir dir;
    QString path;
};

TEST_F(OggEncoderTest, ManagedBitrateStereo) {
    const QByteArray bytes = encode(managed(44100, 2, 128));
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, QStringLiteral("vorbis"));
    EXPECT_EQ(probe.sampleRate, 44100);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_NEAR(probe.playable(), 2.0, 2048.0 / 44100);

    const auto ident = identHeader(bytes);
    ASSERT_TRUE(ident);
    EXPECT_EQ(ident->channels, 2);
    EXPECT_EQ(ident->rate, 44100);
    EXPECT_EQ(ident->nominal, 128000);
    EXPECT_LE(ident->maximum, 0);
    EXPECT_LE(ident->minimum, 0);
    EXPECT_TRUE(vendor(bytes).contains("libVorbis")) << vendor(bytes).toStdString();

    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->hz, 1000.0, 10.0);
    EXPECT_NEAR(heard->rms, 0.5 / std::sqrt(2.0), 0.03);
    // Vorbis granule positions make the decoded length exact.
    EXPECT_EQ(soxFrames(path), 88200);
}

TEST_F(OggEncoderTest, ManagedWithBoundsDeclaresThem) {
    const QByteArray bytes = encode(managed(48000, 2, 160, 112, 224));
    const auto ident = identHeader(bytes);
    ASSERT_TRUE(ident);
    EXPECT_EQ(ident->rate, 48000);
    EXPECT_EQ(ident->nominal, 160000);
    EXPECT_EQ(ident->minimum, 112000);
    EXPECT_EQ(ident->maximum, 224000);
    // Zero bounds, as the plain bitrate set-up sends them, mean unset.
    const QByteArray plain = encode(managed(44100, 2, 96, 0, 0));
    const auto p = identHeader(plain);
    ASSERT_TRUE(p);
    EXPECT_EQ(p->nominal, 96000);
    EXPECT_LE(p->maximum, 0);
    EXPECT_LE(p->minimum, 0);
}

TEST_F(OggEncoderTest, QualityModeIsUnmanagedVbr) {
    const QByteArray low = encode(quality(44100, 2, 100));
    const auto lowIdent = identHeader(low);
    const qint64 lowSize = low.size();
    const QByteArray high = encode(quality(44100, 2, 900));
    const auto highIdent = identHeader(high);
    ASSERT_TRUE(lowIdent && highIdent);
    // libvorbis declares its estimate as nominal and no bounds.
    EXPECT_LE(lowIdent->maximum, 0);
    EXPECT_LE(lowIdent->minimum, 0);
    EXPECT_GT(lowIdent->nominal, 48000);
    EXPECT_LT(lowIdent->nominal, highIdent->nominal);
    EXPECT_GT(highIdent->nominal, 192000);
    EXPECT_GT(high.size(), lowSize);
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, QStringLiteral("vorbis"));
}

TEST_F(OggEncoderTest, MonoAtLowRate) {
    const QByteArray bytes = encode(managed(8000, 1, 16));
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_EQ(probe.channels, 1);
    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->hz, 1000.0, 15.0);
    EXPECT_EQ(soxFrames(path), 16000);
}

TEST_F(OggEncoderTest, ImpossibleFormatFailsOpenWithReason) {
    auto encoder = createOggEncoder(managed(8000, 2, 320));
    const QString target = dir.filePath(QStringLiteral("never.ogg"));
    EXPECT_FALSE(encoder->open(target));
    EXPECT_TRUE(encoder->errorText().contains(QStringLiteral("8000 Hz")))
        << encoder->errorText().toStdString();
    EXPECT_FALSE(QFile::exists(target));
    const SampleBlock block = tone(8000, 2, 0.1);
    EXPECT_FALSE(encoder->write(block.data(), block.size() / 2));
    EXPECT_FALSE(encoder->finish());

    auto unwritable = createOggEncoder(managed(44100, 2, 128));
    EXPECT_FALSE(unwritable->open(dir.filePath(QStringLiteral("missing/x.ogg"))));
    EXPECT_FALSE(unwritable->errorText().isEmpty());
}

TEST_F(OggEncoderTest, ReopenedEncoderStartsAFreshFile) {
    auto encoder = createOggEncoder(quality(44100, 2, 300));
    const SampleBlock block = tone(44100, 2, 1.0);
    ASSERT_TRUE(encoder->open(dir.filePath(QStringLiteral("a.ogg"))));
    ASSERT_TRUE(encoder->write(block.data(), block.size() / 2));
    const QString second = dir.filePath(QStringLiteral("b.ogg"));
    ASSERT_TRUE(encodeAll(*encoder, second, block));
    EXPECT_EQ(soxFrames(second), 44100);

    const QString empty = dir.filePath(QStringLiteral("empty.ogg"));
    ASSERT_TRUE(encoder->open(empty));
    EXPECT_TRUE(encoder->finish()) << encoder->errorText().toStdString();
    const AudioFacts probe = probeAudio(empty);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, QStringLiteral("vorbis"));
}

TEST(OggFormatCheck, AnswersFromLibvorbisenc) {
    EXPECT_TRUE(checkOggFormat(managed(44100, 2, 128)));
    EXPECT_TRUE(checkOggFormat(managed(44100, 2, 128, 0, 0)));
    EXPECT_TRUE(checkOggFormat(managed(44100, 2, 128, 96, 160)));
    EXPECT_TRUE(checkOggFormat(managed(8000, 1, 16)));
    EXPECT_TRUE(checkOggFormat(managed(22050, 2, 64)));
    EXPECT_TRUE(checkOggFormat(quality(8000, 2, 1000)));
    EXPECT_TRUE(checkOggFormat(quality(48000, 1, 0)));

    EXPECT_FALSE(checkOggFormat(managed(8000, 2, 320))); // far above what 8 kHz can carry
    EXPECT_FALSE(checkOggFormat(managed(44100, 2, 8)));  // below the stereo minimum
    EXPECT_FALSE(checkOggFormat(managed(6000, 1, 16)));  // no managed mode under 8 kHz
    EXPECT_FALSE(checkOggFormat(managed(44100, 2, -1))); // neither bitrate nor quality
    EXPECT_FALSE(checkOggFormat(managed(44100, 0, 128)));
    EXPECT_FALSE(checkOggFormat(managed(0, 2, 128)));
    EXPECT_FALSE(checkOggFormat(quality(44100, 2, 1001)));
}

} // namespace
