// MP3 output through LAME: what reaches the file, checked with ffprobe/ffmpeg
// and by reading the frame headers and the Xing/LAME info frame ourselves.
#include "lame_ogg_support.h"

#include "platform/audiofile/AudioEncoder.h"
#include "platform/audiofile/AudioFile2LameEnc.h"

#include <QDir>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <set>

using namespace varnelo;
using namespace varnelo::test;

namespace {

struct FrameHeader {
    int version = 0; // 1 MPEG-1, 2 MPEG-2, 25 MPEG-2.5
    int bitrate = 0; // kbps
    int sampleRate = 0;
    int channelMode = 0; // 0 stereo, 1 joint, 2 dual, 3 mono
    bool crc = false;
    int emphasis = 0;
    int size = 0;
};

std::optional<FrameHeader> frameAt(const QByteArray &b, qsizetype at) {
    if (at + 4 > b.size())
        return std::nullopt;
    const std::uint32_t h = be32(b, at);
    if ((h & 0xFFE00000u) != 0xFFE00000u || ((h >> 17) & 3) != 1)
        return std::nullopt;
    static const int mpeg1Rates[] = {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, -1};
    static const int mpeg2Rates[] = {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160, -1};
    static const int freqs[3][3] = {{44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};
    FrameHeader f;
    const int v = static_cast<int>((h >> 19) & 3);
    if (v == 1)
        return std::nullopt;
    f.version = v == 3 ? 1 : v == 2 ? 2 : 25;
    const int bi = static_cast<int>((h >> 12) & 15);
    const int si = static_cast<int>((h >> 10) & 3);
    if (si == 3 || bi == 0 || bi == 15)
        return std::nullopt;
    f.bitrate = f.version == 1 ? mpeg1Rates[bi] : mpeg2Rates[bi];
    f.sampleRate = freqs[f.version == 1 ? 0 : f.version == 2 ? 1 : 2][si];
    f.crc = ((h >> 16) & 1) == 0;
    f.channelMode = static_cast<int>((h >> 6) & 3);
    f.emphasis = static_cast<int>(h & 3);
    const int padding = static_cast<int>((h >> 9) & 1);
    f.size = (f.version == 1 ? 144 : 72) * f.bitrate * 1000 / f.sampleRate + padding;
    return f;
}

// Every frame's header, walking from the first byte.
std::vector<FrameHeader> frames(const QByteArray &b) {
    std::vector<FrameHeader> all;
    qsizetype at = 0;
    while (auto f = frameAt(b, at)) {
        all.push_back(*f);
        at += f->size;
    }
    return all;
}

struct InfoFrame {
    bool vbr = false; // "Xing" rather than "Info"
    quint32 frameCount = 0;
    QByteArray encoder;
    int vbrMethod = 0;
    int lowpassHz = 0;
    int athType = 0;
    int bitrate = 0;
    int stereoMode = 0; // 0 mono, 1 stereo, 2 dual, 3 joint, 4 forced
    int preset = 0;
};

std::optional<InfoFrame> infoFrame(const QByteArray &b) {
    const auto first = frameAt(b, 0);
    if (!first)
        return std::nullopt;
    const QByteArray frame = b.left(first->size);
    qsizetype x = frame.indexOf("Xing");
    InfoFrame info;
    info.vbr = x >= 0;
    if (x < 0)
        x = frame.indexOf("Info");
    if (x < 0 || x > 48)
        return std::nullopt;
    x += 4;
    const std::uint32_t flags = be32(frame, x);
    x += 4;
    if (flags & 1) {
        info.frameCount = be32(frame, x);
        x += 4;
    }
    if (flags & 2)
        x += 4;
    if (flags & 4)
        x += 100;
    if (flags & 8)
        x += 4;
    if (x + 36 > frame.size())
        return std::nullopt;
    const auto byte = [&](qsizetype at) {
        return static_cast<int>(static_cast<unsigned char>(frame.at(x + at)));
    };
    info.encoder = frame.mid(x, 9);
    info.vbrMethod = byte(9) & 15;
    info.lowpassHz = byte(10) * 100;
    info.athType = byte(19) & 15;
    info.bitrate = byte(20);
    info.stereoMode = (byte(24) >> 2) & 7;
    info.preset = ((byte(26) << 8) | byte(27)) & 0x7FF;
    return info;
}

class LameEncoderTest : public ::testing::Test {
protected:
    void SetUp() override {
        // scripts/bootstrap.sh installs the oracles: a missing one fails, it does not skip.
        ASSERT_TRUE(haveFfmpeg())
            << "ffprobe, ffmpeg and soxi are needed (scripts/bootstrap.sh installs them)";
        ASSERT_TRUE(dir.isValid());
    }

    // Encodes a 2 s 1 kHz tone and returns the file's bytes.
    QByteArray encode(const AudioFile2LameEnc &settings, SoundFormat input = {44100, 2},
                      const QString &name = QStringLiteral("t.mp3")) {
        path = dir.filePath(name);
        auto encoder = createMp3Encoder(settings, input);
        QString error;
        EXPECT_TRUE(encodeAll(*encoder, path, tone(input.sampleRate, input.channels, seconds), &error))
            << error.toStdString();
        return readFile(path);
    }

    QTemporaryDir dir;
    QString path;
    const double seconds = 2.0;
};

TEST_F(LameEncoderTest, DefaultCbrFileIsPlayableWithExactLengthAndInfoFrame) {
    AudioFile2LameEnc settings;
    const QByteArray bytes = encode(settings);
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, QStringLiteral("mp3"));
    EXPECT_EQ(probe.sampleRate, 44100);
    EXPECT_EQ(probe.channels, 2);
    EXPECT_NEAR(probe.playable(), seconds, 1152.0 / 44100);

    const auto info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_FALSE(info->vbr);
    EXPECT_TRUE(info->encoder.startsWith("LAME"));
    EXPECT_EQ(info->vbrMethod, 1); // CBR
    EXPECT_EQ(info->bitrate, 128);
    // The info frame holds the count of the audio frames that follow it.
    const auto all = frames(bytes);
    ASSERT_GT(all.size(), 10u);
    EXPECT_EQ(info->frameCount, all.size() - 1);
    for (const auto &f : all)
        EXPECT_EQ(f.bitrate, 128);

    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->hz, 1000.0, 10.0);
    EXPECT_NEAR(heard->rms, 0.5 / std::sqrt(2.0), 0.03);
    // The info frame's delay and padding let the decoder give back exactly what went in.
    EXPECT_EQ(heard->frames, static_cast<std::size_t>(seconds * 44100));
}

// The call sequence of the dialog's MP3 set-up with non-default values.
TEST_F(LameEncoderTest, ExplicitSettingsReachLame) {
    AudioFile2LameEnc s;
    s.SetWriteVbrHeader(true);
    s.SetEnforceMinBitrate(true);
    s.SetCrc(true);
    s.SetAllowMixedBlocks(false);
    s.SetBitReservoir(true);
    s.SetShortBlocks(true);
    s.SetStrictIso(false);
    s.SetHighpassFrequency(-1);
    s.SetLowpassFrequency(12000);
    s.SetVbrMethod(1); // old
    s.SetAthControl(0);
    s.SetChannelMode(1); // stereo
    s.SetDeEmphasis(1);
    s.SetQuality(2);
    s.SetBitrate(96);
    s.SetVbrBitrate(256);
    s.SetHighpassWidth(5);
    s.SetLowpassWidth(750);
    s.SetVbrQuality(3);
    s.SetSampleRate(32000);
    const QByteArray bytes = encode(s);

    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.sampleRate, 32000);
    EXPECT_NEAR(probe.playable(), seconds, 1152.0 / 32000);

    const auto info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->vbr);
    EXPECT_EQ(info->vbrMethod, 3); // vbr_rh
    EXPECT_EQ(info->lowpassHz, 12000);
    EXPECT_EQ(info->stereoMode, 1);
    EXPECT_EQ(info->bitrate, 96); // VBR minimum
    const auto all = frames(bytes);
    ASSERT_GT(all.size(), 10u);
    std::set<int> rates;
    for (std::size_t i = 1; i < all.size(); ++i) {
        EXPECT_TRUE(all[i].crc);
        EXPECT_EQ(all[i].emphasis, 1);
        EXPECT_EQ(all[i].channelMode, 0);
        EXPECT_GE(all[i].bitrate, 96) << "frame " << i; // strictly enforced minimum
        EXPECT_LE(all[i].bitrate, 256) << "frame " << i;
        rates.insert(all[i].bitrate);
    }
    EXPECT_GT(rates.size(), 1u) << "VBR should vary the frame bitrate";
    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->hz, 1000.0, 10.0);
}

TEST_F(LameEncoderTest, ChannelModesAndMono) {
    struct Case {
        int mode;
        int headerMode; // frame header, first audio frame (joint may code frames as plain stereo)
        int tagMode;
    };
    for (const Case c : {Case{2, 1, 3}, Case{3, 1, 4}, Case{4, 2, 2}}) {
        AudioFile2LameEnc s;
        s.SetChannelMode(c.mode);
        const QByteArray bytes = encode(s);
        const auto info = infoFrame(bytes);
        ASSERT_TRUE(info);
        EXPECT_EQ(info->stereoMode, c.tagMode) << "mode " << c.mode;
        const auto all = frames(bytes);
        ASSERT_GT(all.size(), 2u);
        EXPECT_EQ(all[1].channelMode, c.headerMode) << "mode " << c.mode;
    }

    // SetMono downmixes stereo input; a later channel mode replaces it.
    AudioFile2LameEnc mono;
    mono.SetChannelMode(2);
    mono.SetMono(1);
    encode(mono);
    AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.channels, 1);
    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->rms, 0.5 / std::sqrt(2.0), 0.03);

    mono.SetChannelMode(1);
    encode(mono);
    probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.channels, 2);
}

TEST_F(LameEncoderTest, MonoInputAndResamplingToMpeg25) {
    AudioFile2LameEnc s;
    s.SetSampleRate(8000);
    s.SetBitrate(24);
    encode(s, {22050, 1});
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.channels, 1);
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_NEAR(probe.playable(), seconds, 576.0 / 8000);
    const auto heard = measureDecoded(path);
    ASSERT_TRUE(heard);
    EXPECT_NEAR(heard->hz, 1000.0, 15.0);
    EXPECT_NEAR(static_cast<double>(heard->frames), seconds * 8000, 576.0);
}

TEST_F(LameEncoderTest, WithoutVbrHeaderTheFirstFrameIsAudio) {
    AudioFile2LameEnc s;
    s.SetVbrMethod(3);
    s.SetWriteVbrHeader(false);
    const QByteArray bytes = encode(s);
    EXPECT_FALSE(infoFrame(bytes));
    ASSERT_TRUE(frameAt(bytes, 0));
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.codec, QStringLiteral("mp3"));
}

TEST_F(LameEncoderTest, ClassicPresets) {
    AudioFile2LameEnc cd;
    cd.SetPreset(AudioFile2LameEnc::CD);
    QByteArray bytes = encode(cd);
    auto info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->vbrMethod, 1);
    EXPECT_EQ(info->bitrate, 192);
    EXPECT_EQ(info->stereoMode, 1);

    AudioFile2LameEnc phone;
    phone.SetPreset(AudioFile2LameEnc::Phone);
    bytes = encode(phone);
    const AudioFacts probe = probeAudio(path);
    ASSERT_TRUE(probe.ok);
    EXPECT_EQ(probe.sampleRate, 8000);
    EXPECT_EQ(probe.channels, 1);
    // A 16 kbps frame at 8 kHz is too small for LAME's info frame, so LAME leaves it out.
    EXPECT_FALSE(infoFrame(bytes));
    auto all = frames(bytes);
    ASSERT_GT(all.size(), 10u);
    for (const auto &f : all) {
        EXPECT_EQ(f.bitrate, 16);
        EXPECT_EQ(f.channelMode, 3);
        EXPECT_EQ(f.version, 25);
    }

    // The VBR method chosen decides whether a preset encodes VBR.
    AudioFile2LameEnc fm;
    fm.SetVbrMethod(3);
    fm.SetPreset(AudioFile2LameEnc::FM);
    bytes = encode(fm);
    info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->vbr);
    EXPECT_EQ(info->vbrMethod, 4); // mtrh
    EXPECT_EQ(info->stereoMode, 3);
    EXPECT_EQ(probeAudio(path).sampleRate, 22050);
    for (const auto &f : frames(bytes))
        EXPECT_LE(f.bitrate, 160);

    AudioFile2LameEnc r3mix;
    r3mix.SetPreset(AudioFile2LameEnc::R3Mix);
    bytes = encode(r3mix);
    info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->vbr);
    EXPECT_EQ(info->vbrMethod, 4);
    EXPECT_EQ(info->preset, 490); // V1
    EXPECT_EQ(info->lowpassHz, 19500);
    EXPECT_EQ(info->stereoMode, 3);
}

TEST_F(LameEncoderTest, AltPresetsAreLamesOwn) {
    AudioFile2LameEnc insane;
    insane.SetAltPreset(AudioFile2LameEnc::Insane);
    QByteArray bytes = encode(insane);
    auto info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->vbrMethod, 1);
    EXPECT_EQ(info->bitrate, 255); // the tag's byte saturates at 255 for 320 kbps
    EXPECT_EQ(info->preset, 320);
    for (const auto &f : frames(bytes))
        EXPECT_EQ(f.bitrate, 320);

    AudioFile2LameEnc standard;
    standard.SetPreset(AudioFile2LameEnc::Phone); // the alt-preset, sent later, decides
    standard.SetAltPreset(AudioFile2LameEnc::Standard);
    bytes = encode(standard);
    info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->vbr);
    EXPECT_EQ(info->vbrMethod, 3);
    EXPECT_EQ(info->preset, 480); // V2
    EXPECT_EQ(probeAudio(path).sampleRate, 44100);
    EXPECT_EQ(probeAudio(path).channels, 2);
}

TEST(LameSettingsOrder, LaterCallsOverrideEarlierOnes) {
    AudioFile2LameEnc a;
    a.SetBitrate(128);
    a.SetPreset(AudioFile2LameEnc::CD);
    EXPECT_EQ(a.settings().bitrateKbps, 192);
    a.SetBitrate(128);
    EXPECT_EQ(a.settings().bitrateKbps, 128);
    EXPECT_EQ(a.settings().lowpassHz, -1); // the rest of the preset stays

    // Out-of-range preset numbers change nothing.
    const LameSettings before = a.settings();
    a.SetPreset(0);
    a.SetPreset(12);
    a.SetAltPreset(6);
    EXPECT_EQ(a.settings(), before);
}

TEST_F(LameEncoderTest, CommandLineIsAppliedLast) {
    AudioFile2LameEnc s;
    s.SetBitrate(96);
    s.SetChannelMode(2);
    s.SetCommandLine(QStringLiteral("-b 192 -m s\n--lowpass 16 -p --athtype 2"));
    const QByteArray bytes = encode(s);
    const auto info = infoFrame(bytes);
    ASSERT_TRUE(info);
    EXPECT_EQ(info->athType, 2);
    EXPECT_EQ(info->bitrate, 192);
    EXPECT_EQ(info->stereoMode, 1);
    EXPECT_EQ(info->lowpassHz, 16000);
    const auto all = frames(bytes);
    ASSERT_GT(all.size(), 2u);
    EXPECT_TRUE(all[1].crc);
}

TEST_F(LameEncoderTest, UnknownCommandLineOptionFailsOpenAndWritesNothing) {
    AudioFile2LameEnc s;
    s.SetCommandLine(QStringLiteral("-b 192 --bogus"));
    auto encoder = createMp3Encoder(s, {44100, 2});
    const QString target = dir.filePath(QStringLiteral("never.mp3"));
    EXPECT_FALSE(encoder->open(target));
    EXPECT_TRUE(encoder->errorText().contains(QStringLiteral("--bogus")))
        << encoder->errorText().toStdString();
    EXPECT_FALSE(QFile::exists(target));
    const SampleBlock block = tone(44100, 2, 0.1);
    EXPECT_FALSE(encoder->write(block.data(), block.size() / 2));
    EXPECT_FALSE(encoder->finish());
}

TEST_F(LameEncoderTest, UnwritableTargetIsReported) {
    AudioFile2LameEnc s;
    auto encoder = createMp3Encoder(s, {44100, 2});
    EXPECT_FALSE(encoder->open(dir.filePath(QStringLiteral("missing/folder/x.mp3"))));
    EXPECT_FALSE(encoder->errorText().isEmpty());
}

TEST_F(LameEncoderTest, ReopenedEncoderStartsAFreshFile) {
    AudioFile2LameEnc s;
    auto encoder = createMp3Encoder(s, {44100, 2});
    const QString first = dir.filePath(QStringLiteral("a.mp3"));
    const QString second = dir.filePath(QStringLiteral("b.mp3"));
    const SampleBlock block = tone(44100, 2, 1.0);
    ASSERT_TRUE(encoder->open(first));
    ASSERT_TRUE(encoder->write(block.data(), block.size() / 2));
    // Left unfinished: the next open must not carry its frames over.
    ASSERT_TRUE(encodeAll(*encoder, second, block));
    const auto heard = measureDecoded(second);
    ASSERT_TRUE(heard);
    EXPECT_EQ(heard->frames, 44100u);

    // No audio at all still completes a file.
    const QString empty = dir.filePath(QStringLiteral("empty.mp3"));
    ASSERT_TRUE(encoder->open(empty));
    EXPECT_TRUE(encoder->finish()) << encoder->errorText().toStdString();
    EXPECT_TRUE(QFile::exists(empty));
}

TEST(LameCommandLine, AppliesOptions) {
    const LameSettings base;
    auto r = parseLameCommandLine(
        QStringLiteral("-V2 --vbr-old -B 256 -F -q 0 -e c --noshort --nores --athonly --resample 22.05"),
        base);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.settings.vbrMethod, LameSettings::VbrMethod::Old);
    EXPECT_EQ(r.settings.vbrQuality, 2);
    EXPECT_EQ(r.settings.vbrMaxKbps, 256);
    EXPECT_TRUE(r.settings.enforceMinBitrate);
    EXPECT_EQ(r.settings.quality, 0);
    EXPECT_EQ(r.settings.deEmphasis, LameSettings::DeEmphasis::CcittJ17);
    EXPECT_FALSE(r.settings.shortBlocks);
    EXPECT_FALSE(r.settings.bitReservoir);
    EXPECT_EQ(r.settings.ath, LameSettings::Ath::Only);
    EXPECT_EQ(r.settings.outputSampleRate, 22050);

    // Flags combine in one token; -h is -q 2; the last of two wins.
    r = parseLameCommandLine(QStringLiteral("-hpt -m m --abr 160 --highpass 0.1 --highpass-width 0.05"),
                             base);
    ASSERT_TRUE(r.ok()) << r.error.toStdString();
    EXPECT_EQ(r.settings.quality, 2);
    EXPECT_TRUE(r.settings.crc);
    EXPECT_FALSE(r.settings.writeVbrHeader);
    EXPECT_EQ(r.settings.channelMode, LameSettings::ChannelMode::Mono);
    EXPECT_EQ(r.settings.vbrMethod, LameSettings::VbrMethod::Abr);
    EXPECT_EQ(r.settings.abrKbps, 160);
    EXPECT_EQ(r.settings.highpassHz, 100);
    EXPECT_EQ(r.settings.highpassWidthHz, 50);

    r = parseLameCommandLine(QStringLiteral("--preset fast standard"), base);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.settings.vbrMethod, LameSettings::VbrMethod::New);
    EXPECT_EQ(r.settings.vbrQuality, 2);
    r = parseLameCommandLine(QStringLiteral("--preset 96"), base);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.settings.vbrMethod, LameSettings::VbrMethod::Abr);
    EXPECT_EQ(r.settings.abrKbps, 96);
    r = parseLameCommandLine(QStringLiteral("   \n "), base);
    ASSERT_TRUE(r.ok());
    EXPECT_EQ(r.settings, base);
}

TEST(LameCommandLine, RejectsWhatItCannotUse) {
    LameSettings base;
    base.bitrateKbps = 64;
    struct Case {
        const char *text;
        const char *mentions;
    };
    for (const Case c :
         {Case{"--bogus", "--bogus"}, Case{"-x", "-x"}, Case{"-b", "-b"}, Case{"-b 100", "100"},
          Case{"-b abc", "abc"}, Case{"-V 10", "10"}, Case{"-m q", "-m"}, Case{"-q 12", "-q"},
          Case{"--resample 37", "37"}, Case{"--preset loud", "loud"}, Case{"--preset fast", "--preset"},
          Case{"in.wav out.mp3", "in.wav"}, Case{"--lowpass", "--lowpass"}, Case{"-e x", "-e"}}) {
        const auto r = parseLameCommandLine(QString::fromLatin1(c.text), base);
        EXPECT_FALSE(r.ok()) << c.text;
        EXPECT_TRUE(r.error.contains(QString::fromLatin1(c.mentions)))
            << c.text << ": " << r.error.toStdString();
        // Nothing of a rejected line is applied.
        EXPECT_EQ(r.settings, base) << c.text;
    }
}

} // namespace
