#include "convert/EncoderSetup.h"
#include "Media.h"
#include "common/Error.h"
#include "common/SettingsFile.h"
#include "convert/FileConversion.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"
#include "support/Fakes.h"

#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace varnelo {
namespace {

using Lame = LameSettings;

class EncoderSetupTest : public ::testing::Test {
protected:
    QTemporaryDir dir;
    SettingsFile settings{dir.filePath(QStringLiteral("temp.ini"))};
    AudioFile file;
    AudioFile2LameEnc encoder;

    void set(const char *section, const char *key, int value) {
        settings.writeInteger(QString::fromLatin1(section), QString::fromLatin1(key), value);
    }
    QString configure(int kind, const QString &commandLine = {},
                      EncoderTarget::Role role = EncoderTarget::Role::Converter) {
        FileEncoderSettings source(settings, commandLine);
        EncoderSetup setup(source);
        setup.ConfigureEncoder(kind, EncoderTarget{file, encoder, role});
        return setup.OutputExtension();
    }
    // Encodes a 2-second 1 kHz stereo tone through the configured file and probes it.
    test::AudioFacts encodeTone(const QString &name) {
        const QString source = test::makeTone(dir.filePath(QStringLiteral("src.wav")), 1000, 2, 44100, 2);
        const QString out = dir.filePath(name);
        AudioFile reader;
        const ConversionResult r = ConvertAudioFile(reader, file, source, out);
        EXPECT_TRUE(r.ok) << r.error.toStdString();
        return test::probeAudio(out);
    }
};

TEST_F(EncoderSetupTest, Mp3DefaultsReachTheEncoder) {
    EXPECT_EQ(configure(0), QStringLiteral(".mp3"));
    const Lame &s = encoder.settings();
    EXPECT_TRUE(s.writeVbrHeader);
    EXPECT_FALSE(s.enforceMinBitrate);
    EXPECT_FALSE(s.crc);
    EXPECT_TRUE(s.bitReservoir);
    EXPECT_TRUE(s.shortBlocks);
    EXPECT_FALSE(s.strictIso);
    EXPECT_EQ(s.highpassHz, -1);
    EXPECT_EQ(s.lowpassHz, -1);
    EXPECT_EQ(s.vbrMethod, Lame::VbrMethod::None);
    EXPECT_EQ(s.ath, Lame::Ath::Default);
    EXPECT_EQ(s.channelMode, Lame::ChannelMode::Stereo);
    EXPECT_EQ(s.quality, 5);
    EXPECT_EQ(s.bitrateKbps, 128);
    EXPECT_EQ(s.vbrQuality, 5);
    EXPECT_EQ(s.highpassWidthHz, 5);
    EXPECT_EQ(s.lowpassWidthHz, 750);
    EXPECT_EQ(s.outputSampleRate, 44100);
    EXPECT_TRUE(encoder.commandLine().isEmpty());
    // The file takes the MP3 settings: an output without extension is MP3.
    ASSERT_TRUE(file.CreateOutputFile(dir.filePath(QStringLiteral("plain"))));
    EXPECT_EQ(file.outputKind(), AudioFile::OutputKind::Mp3);
    file.CloseFile();
}

TEST_F(EncoderSetupTest, Mp3StoredChoicesMapOntoTheEncoder) {
    set("MP3Filt", "chHFilt", 1);
    set("MP3Filt", "udHFiltF", 120);
    set("MP3Filt", "chLFilt", 1);
    set("MP3Filt", "udLFiltF", 16000);
    set("MP3Filt", "udLFiltW", 900);
    set("MP3VBR", "Coding Method", 4);
    set("MP3VBR", "vbr quality", 2);
    set("MP3VBR", "semb", 1);
    set("MP3Expert", "ath", 2);
    set("MP3Expert", "de", 2);
    set("MP3Expert", "crc", 1);
    set("MP3Expert", "short", 0);
    set("mp3", "channel", 3);
    set("mp3", "bitrate", 11);
    set("mp3", "frequency", 4);
    set("mp3", "quality", 2);
    configure(0);
    const Lame &s = encoder.settings();
    EXPECT_EQ(s.highpassHz, 120);
    EXPECT_EQ(s.lowpassHz, 16000);
    EXPECT_EQ(s.lowpassWidthHz, 900);
    EXPECT_EQ(s.vbrMethod, Lame::VbrMethod::Mtrh);
    EXPECT_EQ(s.vbrQuality, 2);
    EXPECT_TRUE(s.enforceMinBitrate);
    EXPECT_EQ(s.ath, Lame::Ath::Disabled);
    EXPECT_EQ(s.deEmphasis, Lame::DeEmphasis::CcittJ17);
    EXPECT_TRUE(s.crc);
    EXPECT_FALSE(s.shortBlocks);
    EXPECT_EQ(s.channelMode, Lame::ChannelMode::ForcedJointStereo);
    EXPECT_EQ(s.bitrateKbps, 192);
    EXPECT_EQ(s.outputSampleRate, 22050);
    EXPECT_EQ(s.quality, 2);
}

TEST_F(EncoderSetupTest, Mp3ChannelZeroSendsMonoAndBadIndexesFallBack) {
    set("mp3", "channel", 0);
    set("mp3", "bitrate", 40);
    set("mp3", "frequency", -2);
    configure(0);
    EXPECT_EQ(encoder.settings().channelMode, Lame::ChannelMode::Mono);
    EXPECT_EQ(encoder.settings().bitrateKbps, 128);
    EXPECT_EQ(encoder.settings().outputSampleRate, 44100);
}

TEST_F(EncoderSetupTest, PresetsReplaceTheTwentySettings) {
    set("MP3Prest", "preset", 1);
    set("MP3Prest", "rg_prest", 8);
    set("MP3Expert", "crc", 1);
    set("mp3", "quality", 0);
    set("mp3", "channel", 0);
    configure(0, QStringLiteral("--noshort"));
    AudioFile2LameEnc expected;
    expected.SetPreset(9); // "CD"
    EXPECT_EQ(encoder.settings(), expected.settings());
    EXPECT_EQ(encoder.commandLine(), QStringLiteral("--noshort"));

    set("MP3Prest", "alt", 1);
    set("MP3Prest", "rg_alt", 4);
    AudioFile2LameEnc fresh;
    FileEncoderSettings source(settings);
    EncoderSetup setup(source);
    setup.ConfigureEncoder(0, EncoderTarget{file, fresh});
    AudioFile2LameEnc both;
    both.SetPreset(9);
    both.SetAltPreset(5); // "Insane": the later call decides
    EXPECT_EQ(fresh.settings(), both.settings());
}

TEST_F(EncoderSetupTest, WavModes) {
    EXPECT_EQ(configure(1), QStringLiteral(".wav"));
    test::AudioFacts p = encodeTone(QStringLiteral("cd.wav"));
    EXPECT_EQ(p.codec, QStringLiteral("pcm_s16le"));
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channels, 2);

    set("wav", "mode", 1);
    configure(1);
    p = encodeTone(QStringLiteral("best.wav"));
    EXPECT_EQ(p.codec, QStringLiteral("pcm_s32le"));
    EXPECT_EQ(p.sampleRate, 48000);

    set("wav", "mode", 2);
    set("wav", "frequency", 8);
    set("wav", "bit", 5);
    set("wav", "channel", 0);
    configure(1);
    p = encodeTone(QStringLiteral("custom.wav"));
    EXPECT_EQ(p.codec, QStringLiteral("pcm_s16le"));
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channels, 1);
    EXPECT_NEAR(p.seconds, 2.0, 0.001);
    EXPECT_NEAR(test::measuredFrequency(dir.filePath(QStringLiteral("custom.wav"))), 1000, 15);

    // An absent bit key is the 16 bit the dialog shows (it once made G.726 at 8000 Hz).
    settings.eraseKey(QStringLiteral("wav"), QStringLiteral("bit"));
    configure(1);
    p = encodeTone(QStringLiteral("absent.wav"));
    EXPECT_EQ(p.codec, QStringLiteral("pcm_s16le"));
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.channels, 1);
}

TEST_F(EncoderSetupTest, UnknownWavModeAndKindLeaveTheFileAlone) {
    configure(2);
    set("wav", "mode", 3);
    EXPECT_EQ(configure(1), QStringLiteral(".wav"));
    ASSERT_TRUE(file.CreateOutputFile(dir.filePath(QStringLiteral("plain"))));
    EXPECT_EQ(file.outputKind(), AudioFile::OutputKind::Wma);
    file.CloseFile();
    FileEncoderSettings source(settings);
    EncoderSetup setup(source);
    setup.ConfigureEncoder(3, EncoderTarget{file, encoder});
    setup.ConfigureEncoder(EncoderKindCount, EncoderTarget{file, encoder});
    setup.ConfigureEncoder(-1, EncoderTarget{file, encoder});
    EXPECT_EQ(setup.OutputExtension(), QStringLiteral(".ogg"));
}

TEST_F(EncoderSetupTest, WmaProfileAndTheRipperFormatOption) {
    file.SetFormatOption(0);
    EXPECT_EQ(configure(2), QStringLiteral(".wma"));
    EXPECT_EQ(file.FormatOption(), 0);
    // The default is the dialog's last profile, "44KHz, Stereo, 320Kbps (highest)", the codec's top rate.
    test::AudioFacts p = encodeTone(QStringLiteral("default.wma"));
    EXPECT_EQ(p.codec, QStringLiteral("wmav2"));
    EXPECT_EQ(p.sampleRate, 44100);
    EXPECT_EQ(p.bitRate, 320000);

    set("wma", "format", 0);
    configure(2, {}, EncoderTarget::Role::Ripper);
    EXPECT_EQ(file.FormatOption(), -1);
    p = encodeTone(QStringLiteral("profile1.wma"));
    EXPECT_EQ(p.sampleRate, 48000);
    EXPECT_EQ(p.bitRate, 192000);
}

TEST_F(EncoderSetupTest, OggModes) {
    EXPECT_EQ(configure(3), QStringLiteral(".ogg"));
    encodeTone(QStringLiteral("managed.ogg"));
    test::VorbisIdent v = test::vorbisIdent(dir.filePath(QStringLiteral("managed.ogg")));
    ASSERT_TRUE(v.ok);
    EXPECT_EQ(v.rate, 32000);
    EXPECT_EQ(v.channels, 2);
    EXPECT_EQ(v.nominal, 128000);

    set("ogg", "oggvbr", 1);
    set("ogg", "min bitrate", 5);
    set("ogg", "max bitrate", 11);
    set("ogg", "frequency", 8);
    configure(3);
    encodeTone(QStringLiteral("vbr.ogg"));
    v = test::vorbisIdent(dir.filePath(QStringLiteral("vbr.ogg")));
    EXPECT_EQ(v.rate, 44100);
    EXPECT_EQ(v.minimum, 64000);
    EXPECT_EQ(v.maximum, 192000);

    // Both modes: quality first, then VBR, which stays.
    set("ogg", "oggquality", 1);
    set("ogg", "quality", 800);
    configure(3);
    encodeTone(QStringLiteral("both.ogg"));
    v = test::vorbisIdent(dir.filePath(QStringLiteral("both.ogg")));
    EXPECT_EQ(v.maximum, 192000);

    set("ogg", "oggvbr", 0);
    set("ogg", "channel", 0);
    configure(3);
    encodeTone(QStringLiteral("quality.ogg"));
    v = test::vorbisIdent(dir.filePath(QStringLiteral("quality.ogg")));
    EXPECT_EQ(v.channels, 1);
    EXPECT_LE(v.maximum, 0); // quality mode sets no bounds
    EXPECT_GT(v.nominal, 128000);
}

TEST_F(EncoderSetupTest, RecordingOggFormatChecksFirst) {
    test::FakePrompts prompts;
    FileEncoderSettings source(settings);
    RecordingOggControls controls;
    set("ogg", "frequency", 0); // 6000 Hz: no managed mode
    EXPECT_FALSE(ApplyRecordingOggFormat(file, source, controls, prompts));
    EXPECT_EQ(prompts.plainShown, std::vector<QString>{QStringLiteral("Incorrect format")});
    // Quality mode is applied without a check.
    controls.qualityChecked = true;
    controls.qualityText = QStringLiteral("400");
    EXPECT_TRUE(ApplyRecordingOggFormat(file, source, controls, prompts));
    controls.qualityText = QStringLiteral("4x");
    EXPECT_THROW(ApplyRecordingOggFormat(file, source, controls, prompts), Error);
    set("ogg", "frequency", 8);
    controls = {};
    controls.vbrChecked = true;
    controls.channelIndex = 0;
    EXPECT_TRUE(ApplyRecordingOggFormat(file, source, controls, prompts));
    ASSERT_TRUE(file.CreateOutputFile(dir.filePath(QStringLiteral("rec.ogg"))));
    file.CloseFile();
    const test::VorbisIdent v = test::vorbisIdent(dir.filePath(QStringLiteral("rec.ogg")));
    EXPECT_EQ(v.channels, 1);
    EXPECT_EQ(v.rate, 44100);
    EXPECT_EQ(v.maximum, 128000);
    EXPECT_EQ(prompts.plainShown.size(), 1);
}

TEST(CleanFileName, RemovesTheNineCharactersAndReplacesControls) {
    const std::pair<QString, QString> cases[] = {
        {QStringLiteral("AC/DC: Back?"), QStringLiteral("ACDC Back")},
        {QStringLiteral("a*b?c|d:e\"f/g\\h<i>j"), QStringLiteral("abcdefghij")},
        {QStringLiteral("Été — 1. Satz (live)"), QStringLiteral("Été — 1. Satz (live)")},
        {QStringLiteral("::"), QString()},
        // A NUL would cut the name the encoder opens short of the name checked.
        {QStringLiteral("precious.txt") + QChar(0) + QStringLiteral("junk"),
         QStringLiteral("precious.txt_junk")},
        {QString::fromUtf16(u"\u001B[2Jx\u007F\u009B"), QStringLiteral("_[2Jx__")},
    };
    for (const auto &[in, out] : cases)
        EXPECT_EQ(CleanFileName(in), out) << in.toStdString();
}

TEST(ConvertedFileName, PrefixAndExtension) {
    EXPECT_EQ(ConvertedFileName(QStringLiteral("/m/"), QStringLiteral("/d/song.wav"), QStringLiteral(".mp3")),
              QStringLiteral("/m/N_song.mp3"));
    EXPECT_EQ(ConvertedFileName(QStringLiteral("/m/"), QStringLiteral("/d/a.b.ogg"), QStringLiteral(".wav")),
              QStringLiteral("/m/N_a.b.wav"));
}

} // namespace
} // namespace varnelo
