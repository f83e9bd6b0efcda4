#include "platform/audiofile/AudioEncoder.h"
#include "platform/audiofile/SegmentPipeline.h"

#include <FLAC/metadata.h>
#include <FLAC/stream_encoder.h>
#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>

#include <algorithm>
#include <cstring>
#include <limits>
#include <vector>

namespace varnelo {

namespace {

// A sample rounded to the stored size (`bits`); a lossless source has nothing below it.
FLAC__int32 storedSample(Sample sample, int bits) {
    const int shift = 32 - bits;
    const FLAC__int32 high = (FLAC__int32(1) << (bits - 1)) - 1;
    const std::int64_t rounded = (std::int64_t(sample) + (std::int64_t(1) << (shift - 1))) >> shift;
    return FLAC__int32(std::min<std::int64_t>(rounded, high));
}

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

// An encoder for `format` that writes `blocks` (a Vorbis comment and padding) before the audio.
EncoderPtr newEncoder(const FlacFormat &format, FLAC__StreamMetadata **blocks) {
    EncoderPtr encoder(FLAC__stream_encoder_new());
    if (!encoder)
        return nullptr;
    FLAC__StreamEncoder *e = encoder.get();
    FLAC__stream_encoder_set_channels(e, unsigned(format.channels));
    FLAC__stream_encoder_set_bits_per_sample(e, unsigned(format.bits));
    FLAC__stream_encoder_set_sample_rate(e, unsigned(format.sampleRate));
    FLAC__stream_encoder_set_compression_level(e, unsigned(format.level));
    FLAC__stream_encoder_set_metadata(e, blocks, 2);
    return encoder;
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
        // Vorbis comment and padding blocks, so that tags go in without moving audio.
        comment_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
        padding_.reset(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
        if (!comment_ || !padding_) {
            error_ = tr("Out of memory");
            return false;
        }
        padding_->length = PaddingBytes;
        FLAC__StreamMetadata *blocks[] = {comment_.get(), padding_.get()};
        encoder_ = newEncoder(format_, blocks);
        if (!encoder_) {
            error_ = tr("Out of memory");
            return false;
        }
        FLAC__StreamEncoder *e = encoder_.get();

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
        const auto channels = std::size_t(format_.channels);
        while (frames > 0) {
            const std::size_t n = std::min(frames, ChunkFrames);
            buffer_.resize(n * channels);
            for (std::size_t i = 0; i < n * channels; ++i)
                buffer_[i] = storedSample(interleaved[i], format_.bits);
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

// FLAC frames do not depend on each other: segments of whole blocks are
// encoded side by side by encoders of their own and their frames written in
// order. Each encoder numbers its frames from 0, so every frame header gets
// its place in the whole stream (and its checksums) again; STREAMINFO gets
// the totals, frame sizes and MD5 of the whole. The file is byte for byte
// what one encoder writes.
constexpr int DefaultSegmentBlocks = 128;

std::uint8_t crc8(const unsigned char *p, std::size_t n) {
    std::uint8_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= p[i];
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint8_t((crc & 0x80) ? (crc << 1) ^ 0x07 : crc << 1);
    }
    return crc;
}

std::uint16_t crc16(const unsigned char *p, std::size_t n) {
    std::uint16_t crc = 0;
    for (std::size_t i = 0; i < n; ++i) {
        crc ^= std::uint16_t(p[i] << 8);
        for (int bit = 0; bit < 8; ++bit)
            crc = std::uint16_t((crc & 0x8000) ? (crc << 1) ^ 0x8005 : crc << 1);
    }
    return crc;
}

// The frame with its number replaced; empty when it is not a fixed-blocksize frame header.
std::vector<unsigned char> renumbered(const unsigned char *frame, std::size_t size, std::uint64_t number) {
    if (size < 8 || frame[0] != 0xFF || frame[1] != 0xF8 || number >= (std::uint64_t(1) << 31))
        return {};
    std::size_t numberBytes = 1;
    for (unsigned char lead = frame[4]; (lead & 0x80) && numberBytes < 7; lead = std::uint8_t(lead << 1))
        ++numberBytes;
    numberBytes = numberBytes == 1 ? 1 : numberBytes - 1;
    const unsigned blockCode = frame[2] >> 4, rateCode = frame[2] & 15;
    const std::size_t extra = (blockCode == 6   ? 1
                               : blockCode == 7 ? 2
                                                : 0) +
                              (rateCode == 12                       ? 1
                               : (rateCode == 13 || rateCode == 14) ? 2
                                                                    : 0);
    const std::size_t headerEnd = 4 + numberBytes + extra; // the CRC-8 byte
    if (headerEnd + 3 > size)
        return {};
    std::vector<unsigned char> out(frame, frame + 4);
    // The UTF-8 style coding of the frame number.
    if (number < 0x80) {
        out.push_back(std::uint8_t(number));
    } else {
        int continuation = number < 0x800       ? 1
                           : number < 0x10000   ? 2
                           : number < 0x200000  ? 3
                           : number < 0x4000000 ? 4
                                                : 5;
        out.push_back(std::uint8_t((0xFF00 >> (continuation + 1)) | (number >> (6 * continuation))));
        while (continuation-- > 0)
            out.push_back(std::uint8_t(0x80 | ((number >> (6 * continuation)) & 0x3F)));
    }
    out.insert(out.end(), frame + 4 + numberBytes, frame + headerEnd);
    out.push_back(crc8(out.data(), out.size()));
    out.insert(out.end(), frame + headerEnd + 1, frame + size - 2);
    const std::uint16_t crc = crc16(out.data(), out.size());
    out.push_back(std::uint8_t(crc >> 8));
    out.push_back(std::uint8_t(crc & 0xFF));
    return out;
}

struct FlacSegment : SegmentPipeline::Job {
    std::uint64_t firstFrame = 0;
    bool first = false;
    std::vector<FLAC__int32> pcm;
    std::vector<unsigned char> header; // "fLaC" and the metadata blocks (first segment)
    std::vector<unsigned char> frames;
    std::uint32_t minFrame = 0xFFFFFF, maxFrame = 0;
    std::uint64_t frameCount = 0;
    QString error;
};

void encodeFlacSegment(FlacSegment &s, const FlacFormat &format, const std::atomic<bool> &stop) {
    MetadataPtr comment(FLAC__metadata_object_new(FLAC__METADATA_TYPE_VORBIS_COMMENT));
    MetadataPtr padding(FLAC__metadata_object_new(FLAC__METADATA_TYPE_PADDING));
    if (!comment || !padding) {
        s.error = tr("Out of memory");
        return;
    }
    padding->length = PaddingBytes;
    FLAC__StreamMetadata *blocks[] = {comment.get(), padding.get()};
    EncoderPtr encoder = newEncoder(format, blocks);
    const auto write = [](const FLAC__StreamEncoder *, const FLAC__byte buffer[], size_t bytes,
                          uint32_t samples, uint32_t frame, void *client) {
        auto &seg = *static_cast<FlacSegment *>(client);
        if (samples == 0) {
            if (seg.first)
                seg.header.insert(seg.header.end(), buffer, buffer + bytes);
            return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
        }
        const std::vector<unsigned char> out = renumbered(buffer, bytes, seg.firstFrame + frame);
        if (out.empty()) {
            seg.error = tr("The FLAC encoder wrote a frame that could not be numbered.");
            return FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
        }
        seg.minFrame = std::min(seg.minFrame, std::uint32_t(out.size()));
        seg.maxFrame = std::max(seg.maxFrame, std::uint32_t(out.size()));
        ++seg.frameCount;
        seg.frames.insert(seg.frames.end(), out.begin(), out.end());
        return FLAC__STREAM_ENCODER_WRITE_STATUS_OK;
    };
    if (!encoder || FLAC__stream_encoder_init_stream(encoder.get(), write, nullptr, nullptr, nullptr, &s) !=
                        FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
        s.error = tr("The FLAC encoder could not be started.");
        return;
    }
    const auto channels = std::size_t(format.channels);
    bool ok = true;
    for (std::size_t at = 0; ok && at < s.pcm.size(); at += ChunkFrames * channels) {
        if (stop.load(std::memory_order_relaxed)) {
            s.error = tr("The FLAC encoding was stopped.");
            ok = false;
            break;
        }
        const std::size_t n = std::min(ChunkFrames, (s.pcm.size() - at) / channels);
        ok = FLAC__stream_encoder_process_interleaved(encoder.get(), s.pcm.data() + at, unsigned(n));
    }
    ok = FLAC__stream_encoder_finish(encoder.get()) && ok;
    if (!ok && s.error.isEmpty())
        s.error =
            tr("The FLAC encoder failed: %1")
                .arg(QString::fromLatin1(FLAC__stream_encoder_get_resolved_state_string(encoder.get())));
    s.pcm = {};
}

class SegmentedFlacEncoder final : public AudioEncoder {
public:
    SegmentedFlacEncoder(const FlacFormat &format, EncoderThreads threads)
        : format_(format), threads_(threads.threads),
          segmentBlocks_(threads.segmentFrames > 0 ? threads.segmentFrames : DefaultSegmentBlocks) {}
    ~SegmentedFlacEncoder() override { pipeline_.stop(); }

    SoundFormat inputFormat() const override { return {format_.sampleRate, format_.channels}; }

    bool open(const QString &path) override {
        pipeline_.stop();
        file_.close();
        error_ = validate(format_);
        finished_ = false;
        pending_.clear();
        samples_ = 0;
        frames_ = 0;
        minFrame_ = 0xFFFFFF;
        maxFrame_ = 0;
        md5_.reset();
        if (!error_.isEmpty())
            return false;
        // The block size the level stands for: libFLAC settles it when it starts.
        FLAC__StreamMetadata *none[] = {nullptr, nullptr};
        EncoderPtr probe = newEncoder(format_, none);
        const auto discard = [](const FLAC__StreamEncoder *, const FLAC__byte[], size_t, uint32_t, uint32_t,
                                void *) { return FLAC__STREAM_ENCODER_WRITE_STATUS_OK; };
        if (!probe || !FLAC__stream_encoder_set_metadata(probe.get(), nullptr, 0) ||
            FLAC__stream_encoder_init_stream(probe.get(), discard, nullptr, nullptr, nullptr, nullptr) !=
                FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
            error_ = tr("The FLAC encoder could not be started.");
            return false;
        }
        blockSize_ = FLAC__stream_encoder_get_blocksize(probe.get());
        FLAC__stream_encoder_finish(probe.get());
        if (blockSize_ == 0) {
            error_ = tr("The FLAC encoder could not be started.");
            return false;
        }
        file_.setFileName(path);
        if (!file_.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
            error_ = tr("Cannot create \"%1\": %2").arg(path, file_.errorString());
            return false;
        }
        pipeline_.start(threads_, [this](SegmentPipeline::Job &job, const std::atomic<bool> &stop) {
            encodeFlacSegment(static_cast<FlacSegment &>(job), format_, stop);
        });
        return true;
    }

    bool write(const Sample *interleaved, std::size_t frames) override {
        if (!file_.isOpen() || finished_ || !error_.isEmpty()) {
            if (error_.isEmpty())
                error_ = tr("The FLAC file is not open.");
            return false;
        }
        const auto channels = std::size_t(format_.channels);
        const std::size_t bytes = std::size_t(format_.bits / 8);
        std::vector<unsigned char> packed(frames * channels * bytes);
        for (std::size_t i = 0; i < frames * channels; ++i) {
            const FLAC__int32 v = storedSample(interleaved[i], format_.bits);
            pending_.push_back(v);
            for (std::size_t b = 0; b < bytes; ++b)
                packed[i * bytes + b] = std::uint8_t(std::uint32_t(v) >> (8 * b));
        }
        // The MD5 of STREAMINFO: the samples little-endian at their stored size.
        md5_.addData(QByteArrayView(reinterpret_cast<const char *>(packed.data()), qsizetype(packed.size())));
        samples_ += frames;
        const std::size_t segment = std::size_t(segmentBlocks_) * blockSize_ * channels;
        while (pending_.size() >= segment) {
            cut(std::vector<FLAC__int32>(pending_.begin(), pending_.begin() + std::ptrdiff_t(segment)));
            pending_.erase(pending_.begin(), pending_.begin() + std::ptrdiff_t(segment));
        }
        return writeDone(false);
    }

    bool finish() override {
        if (finished_)
            return error_.isEmpty();
        if (!file_.isOpen()) {
            if (error_.isEmpty())
                error_ = tr("The FLAC file is not open.");
            return false;
        }
        finished_ = true;
        bool ok = error_.isEmpty();
        if (ok) {
            if (!pending_.empty() || cutSegments_ == 0)
                cut(std::move(pending_));
            ok = writeDone(true) && writeStreamInfo();
        }
        pipeline_.stop();
        if (!file_.flush() && ok) {
            error_ = tr("Cannot write the FLAC file: %1").arg(file_.errorString());
            ok = false;
        }
        file_.close();
        return ok;
    }

    QString errorText() const override { return error_; }

private:
    void cut(std::vector<FLAC__int32> pcm) {
        auto s = std::make_shared<FlacSegment>();
        s->first = cutSegments_ == 0;
        s->firstFrame = cutSegments_ * std::uint64_t(segmentBlocks_);
        s->pcm = std::move(pcm);
        ++cutSegments_;
        pipeline_.submit(std::move(s));
    }

    bool writeDone(bool all) {
        while (auto job = pipeline_.next(all)) {
            auto &s = static_cast<FlacSegment &>(*job);
            if (!s.error.isEmpty()) {
                error_ = s.error;
                return false;
            }
            if (s.first) {
                // "fLaC", then STREAMINFO's own header: the block is at 8.
                if (s.header.size() < 8 + 34) {
                    error_ = tr("The FLAC encoder wrote no stream header.");
                    return false;
                }
                header_ = s.header;
                if (!put(s.header))
                    return false;
            }
            frames_ += s.frameCount;
            minFrame_ = std::min(minFrame_, s.minFrame);
            maxFrame_ = std::max(maxFrame_, s.maxFrame);
            if (!put(s.frames))
                return false;
        }
        return true;
    }

    bool put(const std::vector<unsigned char> &bytes) {
        if (file_.write(reinterpret_cast<const char *>(bytes.data()), qint64(bytes.size())) !=
            qint64(bytes.size())) {
            error_ = tr("Cannot write the FLAC file: %1").arg(file_.errorString());
            return false;
        }
        return true;
    }

    bool writeStreamInfo() {
        unsigned char *info = header_.data() + 8;
        if (frames_ > 0) {
            for (int i = 0; i < 3; ++i) {
                info[4 + i] = std::uint8_t(minFrame_ >> (16 - 8 * i));
                info[7 + i] = std::uint8_t(maxFrame_ >> (16 - 8 * i));
            }
        }
        info[13] = std::uint8_t((info[13] & 0xF0) | ((samples_ >> 32) & 0x0F));
        for (int i = 0; i < 4; ++i)
            info[14 + i] = std::uint8_t(samples_ >> (24 - 8 * i));
        const QByteArray md5 = md5_.result();
        std::memcpy(info + 18, md5.constData(), 16);
        const qint64 end = file_.pos();
        if (!file_.seek(8) || file_.write(reinterpret_cast<const char *>(info), 34) != 34 ||
            !file_.seek(end)) {
            error_ = tr("Cannot write the FLAC file: %1").arg(file_.errorString());
            return false;
        }
        return true;
    }

    FlacFormat format_;
    int threads_;
    int segmentBlocks_;
    unsigned blockSize_ = 4096;
    SegmentPipeline pipeline_;
    QFile file_;
    QString error_;
    bool finished_ = false;
    std::vector<FLAC__int32> pending_;
    std::uint64_t cutSegments_ = 0;
    std::uint64_t samples_ = 0;
    std::uint64_t frames_ = 0;
    std::uint32_t minFrame_ = 0xFFFFFF, maxFrame_ = 0;
    std::vector<unsigned char> header_;
    QCryptographicHash md5_{QCryptographicHash::Md5};
};

} // namespace

std::unique_ptr<AudioEncoder> createFlacEncoder(const FlacFormat &format, EncoderThreads threads) {
    if (threads.threads > 1)
        return std::make_unique<SegmentedFlacEncoder>(format, threads);
    return std::make_unique<FlacFileEncoder>(format);
}

QString flacFormatProblem(const FlacFormat &format) {
    return validate(format);
}

} // namespace varnelo
