#include "platform/audiofile/AudioEncoder.h"

#include <QCoreApplication>
#include <QFile>
#include <opus/opusenc.h>

#include <algorithm>
#include <vector>

namespace varnelo {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("AudioFile", text);
}

constexpr int OpusRate = 48000;
constexpr std::size_t ChunkFrames = 4800;

struct EncDeleter {
    void operator()(OggOpusEnc *e) const { ope_encoder_destroy(e); }
};
struct CommentsDeleter {
    void operator()(OggOpusComments *c) const { ope_comments_destroy(c); }
};

QString validate(const OpusFormat &f) {
    if (f.channels < 1 || f.channels > 8)
        return tr("Opus files are written with 1 to 8 channels, not %1.").arg(f.channels);
    if (f.kbps < 6 || f.kbps > 510)
        return tr("The Opus bit rate is 6 to 510 kbps, not %1.").arg(f.kbps);
    if (f.complexity < 0 || f.complexity > 10)
        return tr("The Opus complexity is 0 to 10, not %1.").arg(f.complexity);
    return {};
}

QString opeError(int code) {
    return QString::fromUtf8(ope_strerror(code));
}

class OggOpusFileEncoder final : public AudioEncoder {
public:
    explicit OggOpusFileEncoder(const OpusFormat &format) : format_(format) {}

    SoundFormat inputFormat() const override { return {OpusRate, format_.channels}; }

    bool open(const QString &path) override {
        error_ = validate(format_);
        if (!error_.isEmpty())
            return false;
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = tr("Cannot create \"%1\": %2").arg(path, file_.errorString());
            return false;
        }
        std::unique_ptr<OggOpusComments, CommentsDeleter> comments(ope_comments_create());
        if (!comments) {
            error_ = tr("Out of memory");
            return false;
        }
        static const OpusEncCallbacks callbacks{&OggOpusFileEncoder::writeCallback,
                                                &OggOpusFileEncoder::closeCallback};
        int rc = OPE_OK;
        // Mapping family 0 is mono or stereo; 1 is the Vorbis order for up to 8 channels.
        const int family = format_.channels > 2 ? 1 : 0;
        encoder_.reset(ope_encoder_create_callbacks(&callbacks, this, comments.get(), OpusRate,
                                                    format_.channels, family, &rc));
        if (!encoder_ || rc != OPE_OK) {
            encoder_.reset();
            error_ = tr("The Opus encoder could not be started: %1").arg(opeError(rc));
            return false;
        }
        const bool vbr = format_.mode != OpusFormat::Mode::Cbr;
        const bool constrained = format_.mode == OpusFormat::Mode::Cvbr;
        for (int r : {ope_encoder_ctl(encoder_.get(), OPUS_SET_BITRATE(format_.kbps * 1000)),
                      ope_encoder_ctl(encoder_.get(), OPUS_SET_VBR(vbr ? 1 : 0)),
                      ope_encoder_ctl(encoder_.get(), OPUS_SET_VBR_CONSTRAINT(constrained ? 1 : 0)),
                      ope_encoder_ctl(encoder_.get(), OPUS_SET_COMPLEXITY(format_.complexity))}) {
            if (r != OPE_OK) {
                error_ = tr("The Opus encoder refused its settings: %1").arg(opeError(r));
                encoder_.reset();
                return false;
            }
        }
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!encoder_) {
            if (error_.isEmpty())
                error_ = tr("The Opus file is not open.");
            return false;
        }
        constexpr float scale = 1.0f / 2147483648.0f;
        const auto channels = std::size_t(format_.channels);
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            buffer_.resize(n * channels);
            std::transform(interleaved, interleaved + n * channels, buffer_.begin(),
                           [](Sample s) { return float(s) * scale; });
            const int rc = ope_encoder_write_float(encoder_.get(), buffer_.data(), int(n));
            if (rc != OPE_OK || !error_.isEmpty()) {
                if (error_.isEmpty())
                    error_ = tr("The Opus encoder failed: %1").arg(opeError(rc));
                return false;
            }
            interleaved += n * channels;
            frames -= n;
        }
        return true;
    }

    bool finish() override {
        if (!encoder_)
            return error_.isEmpty() && finished_;
        finished_ = true;
        // Drain pads the last packet and sets the final granule position to
        // the frames written, which is where a decoder stops.
        const int rc = ope_encoder_drain(encoder_.get());
        if (rc != OPE_OK && error_.isEmpty())
            error_ = tr("The Opus file could not be completed: %1").arg(opeError(rc));
        encoder_.reset();
        if (file_.isOpen()) {
            if (!file_.flush() && error_.isEmpty())
                error_ = tr("Cannot write the Opus file: %1").arg(file_.errorString());
            file_.close();
        }
        return error_.isEmpty();
    }

    QString errorText() const override { return error_; }

private:
    static int writeCallback(void *user, const unsigned char *data, opus_int32 length) {
        auto *self = static_cast<OggOpusFileEncoder *>(user);
        if (self->file_.write(reinterpret_cast<const char *>(data), length) != length) {
            if (self->error_.isEmpty())
                self->error_ = tr("Cannot write the Opus file: %1").arg(self->file_.errorString());
            return 1;
        }
        return 0;
    }
    static int closeCallback(void *) { return 0; }

    OpusFormat format_;
    QFile file_;
    std::unique_ptr<OggOpusEnc, EncDeleter> encoder_;
    std::vector<float> buffer_;
    QString error_;
    bool finished_ = false;
};

} // namespace

std::unique_ptr<AudioEncoder> createOpusEncoder(const OpusFormat &format) {
    return std::make_unique<OggOpusFileEncoder>(format);
}

QString opusFormatProblem(const OpusFormat &format) {
    return validate(format);
}

} // namespace varnelo
