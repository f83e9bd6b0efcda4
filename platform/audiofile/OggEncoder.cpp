#include "platform/audiofile/AudioEncoder.h"

#include <QFile>
#include <QRandomGenerator>

#include <algorithm>
#include <memory>
#include <ogg/ogg.h>
#include <vorbis/codec.h>
#include <vorbis/vorbisenc.h>

namespace varnelo {

namespace {

// libvorbis keeps its state in caller-owned structs with init/clear pairs;
// each lives on the heap behind a deleter that clears it.
template <typename T, void (*Clear)(T *)> struct ClearDeleter {
    void operator()(T *p) const {
        Clear(p);
        delete p;
    }
};
void clearDsp(vorbis_dsp_state *p) {
    vorbis_dsp_clear(p);
}
void clearBlock(vorbis_block *p) {
    vorbis_block_clear(p);
}
void clearStream(ogg_stream_state *p) {
    ogg_stream_clear(p);
}
using InfoPtr = std::unique_ptr<vorbis_info, ClearDeleter<vorbis_info, &vorbis_info_clear>>;
using CommentPtr = std::unique_ptr<vorbis_comment, ClearDeleter<vorbis_comment, &vorbis_comment_clear>>;
using DspPtr = std::unique_ptr<vorbis_dsp_state, ClearDeleter<vorbis_dsp_state, &clearDsp>>;
using BlockPtr = std::unique_ptr<vorbis_block, ClearDeleter<vorbis_block, &clearBlock>>;
using StreamPtr = std::unique_ptr<ogg_stream_state, ClearDeleter<ogg_stream_state, &clearStream>>;

InfoPtr newInfo() {
    InfoPtr info(new vorbis_info);
    vorbis_info_init(info.get());
    return info;
}

// Bit rates in kbps with anything not above 0 unset; libvorbisenc takes bit/s and -1.
long bitsPerSecond(int kbps) {
    return kbps > 0 ? static_cast<long>(kbps) * 1000 : -1;
}

bool qualityMode(const OggFormat &f) {
    return f.quality >= 0;
}

// Sets `info` up for the format, without building the encoder; returns the libvorbisenc code.
int setUp(vorbis_info *info, const OggFormat &f) {
    int rc = 0;
    if (qualityMode(f)) {
        rc = vorbis_encode_setup_vbr(info, f.channels, f.sampleRate, static_cast<float>(f.quality) / 1000.0f);
    } else {
        rc = vorbis_encode_setup_managed(info, f.channels, f.sampleRate, bitsPerSecond(f.maxKbps),
                                         bitsPerSecond(f.kbps), bitsPerSecond(f.minKbps));
    }
    if (rc == 0)
        rc = vorbis_encode_setup_init(info);
    return rc;
}

QString validate(const OggFormat &f) {
    if (f.channels < 1 || f.channels > 255)
        return QStringLiteral("OGG Vorbis takes 1 to 255 channels, not %1.").arg(f.channels);
    if (f.sampleRate <= 0)
        return QStringLiteral("The OGG sample rate must be above 0 Hz.");
    if (f.quality > 1000)
        return QStringLiteral("The OGG quality must be 0 to 1000, not %1.").arg(f.quality);
    if (!qualityMode(f) && f.kbps <= 0 && f.minKbps <= 0 && f.maxKbps <= 0)
        return QStringLiteral("The OGG format needs a bitrate or a quality.");
    return {};
}

QString describe(const OggFormat &f) {
    QString text = QStringLiteral("%1 Hz, %2 channel(s), ").arg(f.sampleRate).arg(f.channels);
    if (qualityMode(f))
        return text + QStringLiteral("quality %1").arg(f.quality);
    text += QStringLiteral("%1 kbps").arg(f.kbps);
    if (f.minKbps > 0 || f.maxKbps > 0)
        text += QStringLiteral(" (%1 to %2 kbps)").arg(f.minKbps).arg(f.maxKbps);
    return text;
}

// Frames handed to the analysis per call, to keep its buffers small.
constexpr std::size_t ChunkFrames = 4096;

class VorbisOggEncoder final : public AudioEncoder {
public:
    explicit VorbisOggEncoder(const OggFormat &format) : m_format(format) {}

    SoundFormat inputFormat() const override { return {m_format.sampleRate, m_format.channels}; }

    bool open(const QString &path) override {
        close();
        m_error = validate(m_format);
        if (!m_error.isEmpty())
            return false;
        m_info = newInfo();
        if (setUp(m_info.get(), m_format) != 0) {
            m_info.reset();
            m_error = QStringLiteral("OGG Vorbis cannot encode this format: %1.").arg(describe(m_format));
            return false;
        }
        m_comment.reset(new vorbis_comment);
        vorbis_comment_init(m_comment.get());
        // A failed init leaves nothing to clear, so the deleter only takes over after it.
        auto dsp = std::make_unique<vorbis_dsp_state>();
        if (vorbis_analysis_init(dsp.get(), m_info.get()) != 0) {
            m_error = QStringLiteral("The OGG Vorbis encoder could not be started.");
            return false;
        }
        m_dsp.reset(dsp.release());
        m_block.reset(new vorbis_block);
        vorbis_block_init(m_dsp.get(), m_block.get());
        m_stream.reset(new ogg_stream_state);
        ogg_stream_init(m_stream.get(),
                        static_cast<int>(QRandomGenerator::global()->generate() & 0x7fffffff));

        m_file.setFileName(path);
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            m_error = QStringLiteral("Cannot create \"%1\": %2").arg(path, m_file.errorString());
            return false;
        }
        ogg_packet ident;
        ogg_packet comments;
        ogg_packet codebooks;
        vorbis_analysis_headerout(m_dsp.get(), m_comment.get(), &ident, &comments, &codebooks);
        ogg_stream_packetin(m_stream.get(), &ident);
        ogg_stream_packetin(m_stream.get(), &comments);
        ogg_stream_packetin(m_stream.get(), &codebooks);
        // The headers end their own page so that audio starts on a fresh one.
        ogg_page page;
        while (ogg_stream_flush(m_stream.get(), &page) != 0) {
            if (!putPage(page))
                return false;
        }
        m_unflushedFrames = 0;
        m_open = true;
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!m_open) {
            if (m_error.isEmpty())
                m_error = QStringLiteral("The OGG file is not open.");
            return false;
        }
        const auto channels = static_cast<std::size_t>(m_format.channels);
        constexpr float scale = 1.0f / 2147483648.0f;
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            float **buffer = vorbis_analysis_buffer(m_dsp.get(), static_cast<int>(n));
            for (std::size_t c = 0; c < channels; ++c) {
                float *out = buffer[c];
                const Sample *in = interleaved + c;
                for (std::size_t i = 0; i < n; ++i)
                    out[i] = static_cast<float>(in[i * channels]) * scale;
            }
            vorbis_analysis_wrote(m_dsp.get(), static_cast<int>(n));
            if (!drain())
                return false;
            interleaved += n * channels;
            frames -= n;
            m_unflushedFrames += n;
        }
        // Each second of audio ends its page and reaches the disk, so a
        // recording killed part way keeps what it had.
        if (m_unflushedFrames >= std::size_t(m_format.sampleRate)) {
            m_unflushedFrames = 0;
            ogg_page page;
            while (ogg_stream_flush(m_stream.get(), &page) != 0)
                if (!putPage(page))
                    return false;
            if (!m_file.flush()) {
                m_error = QStringLiteral("Cannot write the OGG file: %1").arg(m_file.errorString());
                return false;
            }
        }
        return true;
    }

    bool finish() override {
        if (!m_open)
            return m_error.isEmpty() && m_finished;
        m_open = false;
        m_finished = true;
        vorbis_analysis_wrote(m_dsp.get(), 0);
        bool ok = drain();
        ogg_page page;
        while (ok && ogg_stream_flush(m_stream.get(), &page) != 0)
            ok = putPage(page);
        if (ok && !m_file.flush()) {
            m_error = QStringLiteral("Cannot write the OGG file: %1").arg(m_file.errorString());
            ok = false;
        }
        m_file.close();
        return ok;
    }

    QString errorText() const override { return m_error; }

private:
    // Drops the state of an earlier open, the blocks before the info they refer to.
    void close() {
        m_file.close();
        m_stream.reset();
        m_block.reset();
        m_dsp.reset();
        m_comment.reset();
        m_info.reset();
        m_open = false;
        m_finished = false;
    }

    // Moves every finished block through the bit-rate manager into pages.
    bool drain() {
        while (vorbis_analysis_blockout(m_dsp.get(), m_block.get()) == 1) {
            vorbis_analysis(m_block.get(), nullptr);
            vorbis_bitrate_addblock(m_block.get());
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(m_dsp.get(), &packet) == 1) {
                ogg_stream_packetin(m_stream.get(), &packet);
                ogg_page page;
                while (ogg_stream_pageout(m_stream.get(), &page) != 0) {
                    if (!putPage(page))
                        return false;
                }
            }
        }
        return true;
    }

    bool putPage(const ogg_page &page) {
        if (m_file.write(reinterpret_cast<const char *>(page.header), page.header_len) != page.header_len ||
            m_file.write(reinterpret_cast<const char *>(page.body), page.body_len) != page.body_len) {
            m_error = QStringLiteral("Cannot write the OGG file: %1").arg(m_file.errorString());
            return false;
        }
        return true;
    }

    OggFormat m_format;
    // Declared in the order of creation so that they are cleared in reverse.
    InfoPtr m_info;
    CommentPtr m_comment;
    DspPtr m_dsp;
    BlockPtr m_block;
    StreamPtr m_stream;
    QFile m_file;
    QString m_error;
    bool m_open = false;
    std::size_t m_unflushedFrames = 0;
    bool m_finished = false;
};

} // namespace

std::unique_ptr<AudioEncoder> createOggEncoder(const OggFormat &format) {
    return std::make_unique<VorbisOggEncoder>(format);
}

bool checkOggFormat(const OggFormat &format) {
    if (!validate(format).isEmpty())
        return false;
    InfoPtr info = newInfo();
    return setUp(info.get(), format) == 0;
}

} // namespace varnelo
