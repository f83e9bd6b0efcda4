#include "platform/audiofile/AudioEncoder.h"
#include "platform/audiofile/AudioFile2LameEnc.h"

#include <QFile>

#include <algorithm>
#include <cstdarg>
#include <lame/lame.h>
#include <memory>
#include <type_traits>
#include <vector>

namespace varnelo {

namespace {

static_assert(std::is_same_v<Sample, int>, "LAME's int API takes our samples as they are");

struct LameDeleter {
    void operator()(lame_global_flags *g) const { lame_close(g); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

// Frames handed to LAME per call: keeps the output buffer small and fixed.
constexpr std::size_t ChunkFrames = 8192;
// LAME's documented worst case: 1.25 × samples + 7200 bytes.
constexpr std::size_t Mp3BufferBytes = ChunkFrames * 5 / 4 + 7200;

class LameMp3Encoder final : public AudioEncoder {
public:
    LameMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input)
        : m_input(input), m_settings(settings.effectiveSettings()), m_buffer(Mp3BufferBytes) {}

    ~LameMp3Encoder() override {
        // An unfinished file keeps what was encoded so far.
        if (m_file.isOpen())
            m_file.close();
    }

    SoundFormat inputFormat() const override { return m_input; }

    bool open(const QString &path) override {
        m_error.clear();
        m_finished = false;
        m_file.close();
        m_lame.reset();
        if (!m_settings.ok()) {
            m_error = m_settings.error;
            return false;
        }
        if (m_input.channels < 1 || m_input.channels > 2 || m_input.sampleRate <= 0) {
            m_error = QStringLiteral("MP3 takes one or two channels; the input has %1 at %2 Hz.")
                          .arg(m_input.channels)
                          .arg(m_input.sampleRate);
            return false;
        }
        m_lame.reset(lame_init());
        if (!m_lame) {
            m_error = QStringLiteral("The MP3 encoder could not be started.");
            return false;
        }
        lame_set_errorf(m_lame.get(), &LameMp3Encoder::silence);
        lame_set_debugf(m_lame.get(), &LameMp3Encoder::silence);
        lame_set_msgf(m_lame.get(), &LameMp3Encoder::silence);
        apply(m_settings.settings);
        if (lame_init_params(m_lame.get()) < 0) {
            m_error = QStringLiteral("The MP3 encoder does not accept these settings (%1).")
                          .arg(describe(m_settings.settings));
            m_lame.reset();
            return false;
        }
        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("Cannot create \"%1\": %2").arg(path, m_file.errorString());
            m_lame.reset();
            return false;
        }
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!m_lame || !m_file.isOpen()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            int bytes = 0;
            if (m_input.channels == 2)
                bytes =
                    lame_encode_buffer_interleaved_int(m_lame.get(), interleaved, static_cast<int>(n),
                                                       m_buffer.data(), static_cast<int>(m_buffer.size()));
            else
                bytes = lame_encode_buffer_int(m_lame.get(), interleaved, interleaved, static_cast<int>(n),
                                               m_buffer.data(), static_cast<int>(m_buffer.size()));
            if (bytes < 0) {
                m_error = QStringLiteral("The MP3 encoder failed (code %1).").arg(bytes);
                return false;
            }
            if (!put(bytes))
                return false;
            interleaved += n * static_cast<std::size_t>(m_input.channels);
            frames -= n;
        }
        return true;
    }

    bool finish() override {
        if (m_finished)
            return m_error.isEmpty();
        if (!m_lame || !m_file.isOpen()) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The MP3 file is not open.");
            return false;
        }
        m_finished = true;
        const int bytes = lame_encode_flush(m_lame.get(), m_buffer.data(), static_cast<int>(m_buffer.size()));
        bool ok = bytes >= 0 && put(bytes);
        if (bytes < 0)
            m_error = QStringLiteral("The MP3 encoder failed to flush (code %1).").arg(bytes);
        // LAME reserved the first frame for the Xing/LAME info frame; it only
        // knows the frame count, sizes and gain once everything is encoded.
        if (ok && m_settings.settings.writeVbrHeader) {
            std::vector<unsigned char> tag(8192);
            const std::size_t size = lame_get_lametag_frame(m_lame.get(), tag.data(), tag.size());
            if (size > tag.size()) {
                m_error = QStringLiteral("The MP3 info frame does not fit its buffer.");
                ok = false;
            } else if (size > 0) {
                const qint64 end = m_file.pos();
                ok = m_file.seek(0) &&
                     m_file.write(reinterpret_cast<const char *>(tag.data()), static_cast<qint64>(size)) ==
                         static_cast<qint64>(size) &&
                     m_file.seek(end);
                if (!ok)
                    m_error = QStringLiteral("Cannot write the MP3 info frame: %1").arg(m_file.errorString());
            }
        }
        if (!m_file.flush() && ok) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            ok = false;
        }
        m_file.close();
        m_lame.reset();
        return ok;
    }

    QString errorText() const override { return m_error; }

private:
    static void silence(const char *, va_list) {}

    bool put(int bytes) {
        if (bytes > 0 && m_file.write(reinterpret_cast<const char *>(m_buffer.data()), bytes) != bytes) {
            m_error = QStringLiteral("Cannot write the MP3 file: %1").arg(m_file.errorString());
            return false;
        }
        return true;
    }

    static QString describe(const LameSettings &s) {
        using V = LameSettings::VbrMethod;
        QString text = s.vbrMethod == V::None  ? QStringLiteral("CBR %1 kbps").arg(s.bitrateKbps)
                       : s.vbrMethod == V::Abr ? QStringLiteral("ABR %1 kbps").arg(s.abrKbps)
                                               : QStringLiteral("VBR quality %1").arg(s.vbrQuality);
        if (s.outputSampleRate > 0)
            text += QStringLiteral(", %1 Hz").arg(s.outputSampleRate);
        return text;
    }

    void apply(const LameSettings &s) {
        using V = LameSettings::VbrMethod;
        lame_global_flags *g = m_lame.get();
        lame_set_num_channels(g, m_input.channels);
        lame_set_in_samplerate(g, m_input.sampleRate);
        lame_set_out_samplerate(g, s.outputSampleRate > 0 ? s.outputSampleRate : m_input.sampleRate);
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
        if (m_input.channels == 1 || s.channelMode == M::Mono) {
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

    SoundFormat m_input;
    LameCommandLineResult m_settings;
    LamePtr m_lame;
    QFile m_file;
    std::vector<unsigned char> m_buffer;
    QString m_error;
    bool m_finished = false;
};

} // namespace

std::unique_ptr<AudioEncoder> createMp3Encoder(const AudioFile2LameEnc &settings, SoundFormat input) {
    return std::make_unique<LameMp3Encoder>(settings, input);
}

} // namespace varnelo
