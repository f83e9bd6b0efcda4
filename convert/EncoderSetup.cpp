#include "convert/EncoderSetup.h"

#include "common/Error.h"
#include "common/Seams.h"
#include "common/SettingsFile.h"
#include "common/TextRules.h"
#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFile2LameEnc.h"

namespace varnelo {

int FileEncoderSettings::readInteger(const keys::IntKey &key) const {
    return keys::read(file_, key);
}

bool FileEncoderSettings::readBool(const keys::BoolKey &key) const {
    return keys::read(file_, key);
}

QString extensionForKind(int kind) {
    switch (kind) {
    case 0:
        return QStringLiteral(".mp3");
    case 1:
        return QStringLiteral(".wav");
    case 2:
        return QStringLiteral(".wma");
    case 3:
        return QStringLiteral(".ogg");
    case 4:
        return QStringLiteral(".flac");
    case 5:
        return QStringLiteral(".opus");
    default:
        return {};
    }
}

void EncoderSetup::ConfigureEncoder(int kind, const EncoderTarget &target) {
    switch (static_cast<EncoderKind>(kind)) {
    case EncoderKind::Mp3:
        configureMp3(target);
        break;
    case EncoderKind::Wav:
        configureWav(target);
        break;
    case EncoderKind::Wma:
        configureWma(target);
        break;
    case EncoderKind::Ogg:
        configureOgg(target);
        break;
    case EncoderKind::Flac:
        configureFlac(target);
        break;
    case EncoderKind::Opus:
        configureOpus(target);
        break;
    default:
        return;
    }
    extension_ = extensionForKind(kind);
}

void EncoderSetup::configureWav(const EncoderTarget &target) {
    using namespace keys;
    switch (settings_.readInteger(WavMode)) {
    case 0:
        target.file.SetWavFormat(44100, 2, 16);
        break;
    case 1:
        target.file.SetWavFormat(48000, 2, 32);
        break;
    case 2: {
        const int rate = tableEntry(OutputRateTable, settings_.readInteger(WavFrequency), WavFrequency.def);
        const int bits = tableEntry(SampleBitsTable, settings_.readInteger(WavBit), WavBit.def);
        target.file.SetWavFormat(rate, settings_.readInteger(WavChannel) + 1, bits);
        break;
    }
    default:
        break; // an unknown mode leaves the file's format as it was
    }
}

void EncoderSetup::configureWma(const EncoderTarget &target) {
    if (target.role == EncoderTarget::Role::Ripper)
        target.file.SetFormatOption(-1);
    target.file.SetWmaFormat(settings_.readInteger(keys::WmaFormat) + 1);
}

void EncoderSetup::configureOgg(const EncoderTarget &target) {
    using namespace keys;
    const int rate = tableEntry(OutputRateTable, settings_.readInteger(OggFrequency), OggFrequency.def);
    const int channels = settings_.readInteger(OggChannel) + 1;
    const int kbps = tableEntry(BitrateTable, settings_.readInteger(OggBitrate), OggBitrate.def);
    const bool vbr = settings_.readBool(OggVbr);
    const bool quality = settings_.readBool(OggQualityMode);
    // Both modes set: quality first, then managed VBR, which is what stays.
    if (!vbr && !quality)
        target.file.SetOggFormat(rate, channels, kbps, 0, 0, -1);
    if (quality)
        target.file.SetOggFormat(rate, channels, 0, 0, 0, settings_.readInteger(OggQuality));
    if (vbr) {
        // The bounds go as their stored list indices; the file component maps
        // them through BitrateTable.
        target.file.SetOggFormat(rate, channels, kbps, settings_.readInteger(OggMinBitrate),
                                 settings_.readInteger(OggMaxBitrate), -1);
    }
}

void EncoderSetup::configureFlac(const EncoderTarget &target) {
    using namespace keys;
    // A value outside the lists (a hand-edited file) takes the default.
    static constexpr std::array<int, 3> Bits{0, 16, 24};
    const int bits = tableEntry(Bits, settings_.readInteger(FlacBits), FlacBits.def);
    int level = settings_.readInteger(FlacLevel);
    if (level < 0 || level > 8)
        level = FlacLevel.def;
    target.file.SetFlacFormat(bits, level);
}

void EncoderSetup::configureOpus(const EncoderTarget &target) {
    using namespace keys;
    int kbps = settings_.readInteger(OpusBitrate);
    if (kbps < 6 || kbps > 510)
        kbps = OpusBitrate.def;
    int mode = settings_.readInteger(OpusMode);
    if (mode < 0 || mode > 2)
        mode = OpusMode.def;
    int complexity = settings_.readInteger(OpusComplexity);
    if (complexity < 0 || complexity > 10)
        complexity = OpusComplexity.def;
    target.file.SetOpusFormat(kbps, static_cast<OpusFormat::Mode>(mode), complexity);
}

void EncoderSetup::configureMp3(const EncoderTarget &target) {
    using namespace keys;
    AudioFile2LameEnc &enc = target.encoder;
    const bool preset = settings_.readBool(PresetOn);
    const bool alt = settings_.readBool(AltPresetOn);
    if (!preset && !alt) {
        enc.SetWriteVbrHeader(settings_.readBool(VbrWriteHeader));
        enc.SetEnforceMinBitrate(settings_.readBool(VbrEnforceMin));
        enc.SetCrc(settings_.readBool(ExpertCrc));
        enc.SetAllowMixedBlocks(settings_.readBool(ExpertAllowMixed));
        enc.SetBitReservoir(settings_.readBool(ExpertBitReservoir));
        enc.SetShortBlocks(settings_.readBool(ExpertShortBlocks));
        enc.SetStrictIso(settings_.readBool(ExpertComply));
        enc.SetHighpassFrequency(settings_.readBool(FiltHighOn) ? settings_.readInteger(FiltHighFreq) : -1);
        enc.SetLowpassFrequency(settings_.readBool(FiltLowOn) ? settings_.readInteger(FiltLowFreq) : -1);
        enc.SetVbrMethod(settings_.readInteger(VbrCodingMethod) - 1);
        enc.SetAthControl(settings_.readInteger(ExpertAth));
        if (const int channel = settings_.readInteger(Mp3Channel); channel != 0)
            enc.SetChannelMode(channel);
        else
            enc.SetMono(1);
        enc.SetDeEmphasis(settings_.readInteger(ExpertDeEmphasis));
        enc.SetQuality(settings_.readInteger(Mp3Quality));
        enc.SetBitrate(tableEntry(BitrateTable, settings_.readInteger(Mp3Bitrate), Mp3Bitrate.def));
        enc.SetVbrBitrate(tableEntry(BitrateTable, settings_.readInteger(VbrBitrate), VbrBitrate.def));
        enc.SetHighpassWidth(settings_.readInteger(FiltHighWidth));
        enc.SetLowpassWidth(settings_.readInteger(FiltLowWidth));
        enc.SetVbrQuality(settings_.readInteger(VbrQuality));
        enc.SetSampleRate(tableEntry(FrequencyTable, settings_.readInteger(Mp3Frequency), Mp3Frequency.def));
    } else {
        if (preset)
            enc.SetPreset(settings_.readInteger(PresetIndex) + 1);
        if (alt)
            enc.SetAltPreset(settings_.readInteger(AltPresetIndex) + 1);
    }
    if (const QString commandLine = settings_.mp3CommandLine(); !commandLine.isEmpty())
        enc.SetCommandLine(commandLine);
    target.file.SetMp3Encoder(&enc);
}

bool ApplyRecordingOggFormat(AudioFile &recordingFile, const EncoderSettingsSource &settings,
                             const RecordingOggControls &controls, Prompts &prompts) {
    using namespace keys;
    const int rate = tableEntry(OutputRateTable, settings.readInteger(OggFrequency), OggFrequency.def);
    const int channels = controls.channelIndex + 1;
    const int kbps = tableEntry(BitrateTable, settings.readInteger(OggBitrate), OggBitrate.def);
    if (controls.qualityChecked) {
        bool ok = false;
        const int quality = controls.qualityText.trimmed().toInt(&ok);
        if (!ok)
            throw Error(QStringLiteral("'%1' is not a valid integer value").arg(controls.qualityText));
        recordingFile.SetOggFormat(rate, channels, 0, 0, 0, quality);
        return true;
    }
    // Bounds as stored list indices, as ConfigureEncoder passes them; 0 and 0 is no bound.
    int minimum = 0;
    int maximum = 0;
    if (controls.vbrChecked) {
        minimum = settings.readInteger(OggMinBitrate);
        maximum = settings.readInteger(OggMaxBitrate);
    }
    if (!recordingFile.CheckOggFormat(rate, channels, kbps, minimum, maximum)) {
        prompts.plain(QStringLiteral("Incorrect format"));
        return false;
    }
    recordingFile.SetOggFormat(rate, channels, kbps, minimum, maximum, -1);
    return true;
}

QString CleanFileName(const QString &text) {
    static const QString forbidden = QStringLiteral("*?|:\"/\\<>");
    QString out;
    out.reserve(text.size());
    for (QChar c : text)
        if (!forbidden.contains(c))
            out += c;
    return text::replaceControls(out, u'_');
}

} // namespace varnelo
