#include "platform/audiofile/LameSession.h"

#include <cstdarg>
#include <type_traits>

namespace varnelo {

namespace {

static_assert(std::is_same_v<Sample, int>, "LAME's int API takes our samples as they are");

void silence(const char *, va_list) {}

QString describe(const LameSettings &s) {
    using V = LameSettings::VbrMethod;
    QString text = s.vbrMethod == V::None  ? QStringLiteral("CBR %1 kbps").arg(s.bitrateKbps)
                   : s.vbrMethod == V::Abr ? QStringLiteral("ABR %1 kbps").arg(s.abrKbps)
                                           : QStringLiteral("VBR quality %1").arg(s.vbrQuality);
    if (s.outputSampleRate > 0)
        text += QStringLiteral(", %1 Hz").arg(s.outputSampleRate);
    return text;
}

void apply(lame_global_flags *g, const LameSettings &s, SoundFormat input) {
    using V = LameSettings::VbrMethod;
    lame_set_num_channels(g, input.channels);
    lame_set_in_samplerate(g, input.sampleRate);
    lame_set_out_samplerate(g, s.outputSampleRate > 0 ? s.outputSampleRate : input.sampleRate);
    // The preset goes first so that everything set below refines it.
    if (s.lamePreset != 0)
        lame_set_preset(g, s.lamePreset);

    switch (s.vbrMethod) {
    case V::None:
        lame_set_VBR(g, vbr_off);
        lame_set_brate(g, s.bitrateKbps);
        break;
    case V::Old:
        lame_set_VBR(g, vbr_rh);
        break;
    case V::New:
        lame_set_VBR(g, vbr_mt);
        break;
    case V::Mtrh:
        lame_set_VBR(g, vbr_mtrh);
        break;
    case V::Abr:
        lame_set_VBR(g, vbr_abr);
        lame_set_VBR_mean_bitrate_kbps(g, s.abrKbps > 0 ? s.abrKbps : s.bitrateKbps);
        break;
    }
    if (s.vbrMethod != V::None) {
        if (s.vbrMethod != V::Abr)
            lame_set_VBR_q(g, s.vbrQuality);
        int minimum = s.vbrMinKbps;
        if (s.enforceMinBitrate && minimum <= 0)
            minimum = s.bitrateKbps;
        int maximum = s.vbrMaxKbps;
        // A maximum below the minimum would make LAME refuse the settings.
        if (maximum > 0 && minimum > maximum)
            maximum = minimum;
        if (minimum > 0)
            lame_set_VBR_min_bitrate_kbps(g, minimum);
        if (maximum > 0)
            lame_set_VBR_max_bitrate_kbps(g, maximum);
        lame_set_VBR_hard_min(g, s.enforceMinBitrate ? 1 : 0);
    }

    using M = LameSettings::ChannelMode;
    if (input.channels == 1 || s.channelMode == M::Mono) {
        lame_set_mode(g, MONO);
    } else {
        switch (s.channelMode) {
        case M::Stereo:
            lame_set_mode(g, STEREO);
            break;
        case M::JointStereo:
            lame_set_mode(g, JOINT_STEREO);
            break;
        case M::ForcedJointStereo:
            lame_set_mode(g, JOINT_STEREO);
            lame_set_force_ms(g, 1);
            break;
        case M::DualChannel:
            lame_set_mode(g, DUAL_CHANNEL);
            break;
        case M::Default:
        case M::Mono:
            break;
        }
    }

    if (s.quality >= 0)
        lame_set_quality(g, s.quality);
    lame_set_lowpassfreq(g, s.lowpassHz);
    if (s.lowpassWidthHz >= 0)
        lame_set_lowpasswidth(g, s.lowpassWidthHz);
    lame_set_highpassfreq(g, s.highpassHz);
    if (s.highpassWidthHz >= 0)
        lame_set_highpasswidth(g, s.highpassWidthHz);

    lame_set_bWriteVbrTag(g, s.writeVbrHeader ? 1 : 0);
    lame_set_disable_reservoir(g, s.bitReservoir ? 0 : 1);
    lame_set_allow_diff_short(g, s.allowMixedBlocks ? 1 : 0);
    lame_set_no_short_blocks(g, s.shortBlocks ? 0 : 1);
    using D = LameSettings::DeEmphasis;
    lame_set_emphasis(g, s.deEmphasis == D::Us50_15 ? 1 : s.deEmphasis == D::CcittJ17 ? 3 : 0);
    lame_set_strict_ISO(g, s.strictIso ? MDB_STRICT_ISO : MDB_DEFAULT);
    using A = LameSettings::Ath;
    lame_set_ATHonly(g, s.ath == A::Only ? 1 : 0);
    lame_set_noATH(g, s.ath == A::Disabled ? 1 : 0);
    lame_set_ATHshort(g, s.ath == A::ShortBlocksOnly ? 1 : 0);
    if (s.athType >= 0)
        lame_set_ATHtype(g, s.athType);
    lame_set_error_protection(g, s.crc ? 1 : 0);
    if (s.scale != 1.0f)
        lame_set_scale(g, s.scale);
}

} // namespace

LamePtr startLame(const LameSettings &settings, SoundFormat input, bool infoFrame, QString *error) {
    if (input.channels < 1 || input.channels > 2 || input.sampleRate <= 0) {
        *error = QStringLiteral("MP3 takes one or two channels; the input has %1 at %2 Hz.")
                     .arg(input.channels)
                     .arg(input.sampleRate);
        return nullptr;
    }
    LamePtr lame(lame_init());
    if (!lame) {
        *error = QStringLiteral("The MP3 encoder could not be started.");
        return nullptr;
    }
    lame_set_errorf(lame.get(), &silence);
    lame_set_debugf(lame.get(), &silence);
    lame_set_msgf(lame.get(), &silence);
    apply(lame.get(), settings, input);
    if (!infoFrame)
        lame_set_bWriteVbrTag(lame.get(), 0);
    if (lame_init_params(lame.get()) < 0) {
        *error =
            QStringLiteral("The MP3 encoder does not accept these settings (%1).").arg(describe(settings));
        return nullptr;
    }
    return lame;
}

int lameEncode(lame_global_flags *g, int channels, const Sample *interleaved, std::size_t frames,
               unsigned char *out, std::size_t outSize) {
    if (channels == 2)
        return lame_encode_buffer_interleaved_int(g, interleaved, static_cast<int>(frames), out,
                                                  static_cast<int>(outSize));
    return lame_encode_buffer_int(g, interleaved, interleaved, static_cast<int>(frames), out,
                                  static_cast<int>(outSize));
}

} // namespace varnelo
