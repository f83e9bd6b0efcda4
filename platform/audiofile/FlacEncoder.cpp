#include "platform/audiofile/AudioEncoder.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <limits>
#include <vector>

namespace varnelo {

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("AudioFile", text);
}

struct EncoderDeleter {
    void operator()(FLAC__StreamEncoder *e) const { FLAC__stream_encoder_delete(e); }
};
struct MetadataDeleter {
    void operator()(FLAC__StreamMetadata *m) const { FLAC__metadata_object_delete(m); }
};
using EncoderPtr = std::unique_ptr<FLAC__StreamEncoder, EncoderDeleter>;
using MetadataPtr = std::unique_ptr<FLAC__StreamMetadata, MetadataDeleter>;

// Room for the tags written after the audio, so that adding them rewrites no audio.
constexpr unsigned PaddingBytes = 8192;
constexpr std::size_t ChunkFrames = 4096;

QString validate(const FlacFormat &f) {
    if (f.bits != 16 && f.bits != 24)
        return tr("FLAC files are written with 16 or 24 bits per sample, not %1.").arg(f.bits);
    if (f.channels < 1 || f.channels > 8)
        return tr("FLAC takes 1 to 8 channels, not %1.").arg(f.channels);
    if (f.sampleRate < 1 || f.sampleRate > 1048575)
        return tr("FLAC cannot store a rate of %1 Hz.").arg(f.sampleRate);
    if (f.level < 0 || f.level > 8)
        return tr("The FLAC compression level is 0 to 8, not %1.").arg(f.level);
    return {};
}

class FlacFileEncoder final : public AudioEncoder {
public:
    explicit FlacFileEncoder(const FlacFormat &format) : format_(format) {}
    ~FlacFileEncoder() override {
        if (open_)
            FLAC__stream_encoder_finish(encoder_.get());
    }

    SoundFormat inputFormat() const override { return {format_.sampleRate, format_.channels}; }

    bool open(const QString &path) override {
        error_ = validate(format_);
        if (!error_.isEmpty())
            return false;
        encoder_.reset(FLAC__stream_encoder_new());
        if (!encoder_) {
            error_ = tr("Out of memory");
            return false;
        }
        FLAC__StreamEncoder *e = encoder_.get();
        FLAC__stream_encoder_set_channels(e, unsigned(format_.channels));
        FLAC__stream_encoder_set_bits_per_sample(e, unsigned(format_.bits));
        FLAC__stream_encoder_set_sample_rate(e, unsigned(format_.sampleRate));
        FLAC__stream_encoder_set_compression_level(e, unsigned(format_.level));
        // Vorbis comment and padding blocks, so that tags go in without moving audio.
        comment_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        padding_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!comment_ || !padding_) {
            error_ = tr("Out of memory");
            return false;
        }
        padding_->length = PaddingBytes;
        FLAC__StreamMetadata *blocks[] = {comment_.get(), padding_.get()};
        FLAC__stream_encoder_set_metadata(e, blocks, 2);

        file_.setFileName(path);
        if (!file_.open(QIODevice::ReadWrite | QIODevice::Truncate)) {
            error_ = tr("Cannot create \"%1\": %2").arg(path, file_.errorString());
            return false;
        }
        // With a seek callback libFLAC rewrites STREAMINFO (length, MD5) at the end.
        const auto status = FLAC__stream_encoder_init_stream(e, &FlacFileEncoder::writeCallback,
                                                             &FlacFileEncoder::seekCallback,
                                                             &FlacFileEncoder::tellCallback, nullptr, this);
        if (status != FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            if (error_.isEmpty())
                error_ = tr("The FLAC encoder could not be started: %1")
                             .arg(QString::fromLatin1(FLAC__StreamEncoderInitStatusString[status]));
            file_.close();
            return false;
        }
        open_ = true;
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!open_) {
            if (error_.isEmpty())
                error_ = tr("The FLAC file is not open.");
            return false;
        }
        // Rounded to the stored size; a lossless source has nothing below it.
        const int shift = 32 - format_.bits;
        const FLAC__int32 high = (FLAC__int32(1) << (format_.bits - 1)) - 1;
        const auto channels = std::size_t(format_.channels);
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            buffer_.resize(n * channels);
            for (std::size_t i = 0; i < n * channels; ++i) {
                const std::int64_t rounded =
                    (std::int64_t(interleaved[i]) + (std::int64_t(1) << (shift - 1))) >> shift;
                buffer_[i] = FLAC__int32(std::min<std::int64_t>(rounded, high));
            }
            if (!FLAC__stream_encoder_process_interleaved(encoder_.get(), buffer_.data(), unsigned(n)))
                return failState();
            interleaved += n * channels;
            frames -= n;
        }
        return true;
    }

    bool finish() override {
        if (!open_)
            return error_.isEmpty() && finished_;
        open_ = false;
        finished_ = true;
        const bool ok = FLAC__stream_encoder_finish(encoder_.get());
        if (!ok && error_.isEmpty())
            failState();
        if (ok && !file_.flush())
            error_ = tr("Cannot write the FLAC file: %1").arg(file_.errorString());
        file_.close();
        return ok && error_.isEmpty();
    }

    QString errorText() const override { return error_; }

private:
    bool failState() {
        if (error_.isEmpty())
            error_ =
                tr("The FLAC encoder failed: %1")
                    .arg(QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(encoder_.get())));
        return false;
    }

    static FLAC__StreamEncoderWriteStatus writeCallback(const FLAC__StreamEncoder *,
                                                        const FLAC__byte buffer[], size_t bytes, uint32_t,
                                                        uint32_t, void *client) {
        auto *self = static_cast<FlacFileEncoder *>(client);
        if (self->file_.write(reinterpret_cast<const char *>(buffer), qint64(bytes)) != qint64(bytes)) {
            if (self->error_.isEmpty())
                self->error_ = tr("Cannot write the FLAC file: %1").arg(self->file_.errorString());
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    }
    static FLAC__StreamEncoderSeekStatus seekCallback(const FLAC__StreamEncoder *, FLAC__uint64 offset,
                                                      void *client) {
        auto *self = static_cast<FlacFileEncoder *>(client);
        if (offset > FLAC__uint64(std::numeric_limits<qint64>::max()) || !self->file_.seek(qint64(offset)))
            return FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
        return FLAC__STREAM_ENCODER_SEEK_STATUS_OK;
    }
    static FLAC__StreamEncoderTellStatus tellCallback(const FLAC__StreamEncoder *, FLAC__uint64 *offset,
                                                      void *client) {
        *offset = FLAC__uint64(static_cast<FlacFileEncoder *>(client)->file_.pos());
        return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
    }

    FlacFormat format_;
    EncoderPtr encoder_;
    MetadataPtr comment_, padding_;
    QFile file_;
    std::vector<FLAC__int32> buffer_;
    QString error_;
    bool open_ = false;
    bool finished_ = false;
};

} // namespace

std::unique_ptr<AudioEncoder> createFlacEncoder(const FlacFormat &format) {
    return std::make_unique<FlacFileEncoder>(format);
}

QString flacFormatProblem(const FlacFormat &format) {
    return validate(format);
}

} // namespace varnelo
