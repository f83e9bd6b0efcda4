#include "platform/audiofile/ContainerEncoder.h"

#include "platform/audiofile/AudioFile.h"
#include "platform/audiofile/AudioFileFFmpeg.h"

#include <QCoreApplication>

extern "C" {
#include <libavutil/opt.h>
}

namespace varnelo {

using namespace audiofile_detail;

namespace {

QString tr(const char *text) {
    return QCoreApplication::translate("AudioFile", text);
}

struct EncoderSetup {
    const char *container;
    AVCodecID codec;
    int sampleRate;
    int channels;
    std::int64_t bitRate = 0;
    int codeSize = 0; // G.726 bits per sample
};

// Encodes with an FFmpeg codec into an FFmpeg container. The container writes
// its final sizes only in finish(), so an output cut short (crash, full disk)
// keeps the placeholder sizes of an unfinished file rather than false ones.
class ContainerEncoder final : public AudioEncoder {
public:
    explicit ContainerEncoder(const EncoderSetup &setup) : setup_(setup) {}
    ~ContainerEncoder() override = default;

    SoundFormat inputFormat() const override { return {setup_.sampleRate, setup_.channels}; }
    bool open(const QString &path) override;
    bool write(const Sample *interleaved, std::size_t frames) override;
    bool finish() override;
    QString errorText() const override { return error_; }

private:
    bool fail(const QString &text) {
        if (error_.isEmpty())
            error_ = text;
        failed_ = true;
        return false;
    }
    bool encodeFrame(AVFrame *frame);
    bool encodeFromFifo(int frames);

    EncoderSetup setup_;
    OutputPtr output_;
    CodecPtr codec_;
    SwrPtr convert_;
    FifoPtr fifo_;
    FramePtr frame_{av_frame_alloc()};
    PacketPtr packet_{av_packet_alloc()};
    AVStream *stream_ = nullptr;
    int frameSize_ = 0;
    // Frames taken since the output was last pushed to the disk.
    qint64 unflushedFrames_ = 0;
    std::int64_t nextPts_ = 0;
    bool failed_ = false;
    bool finished_ = false;
    QString error_;
};

bool ContainerEncoder::open(const QString &path) {
    if (!frame_ || !packet_)
        return fail(tr("Out of memory"));
    const AVCodec *encoder = avcodec_find_encoder(setup_.codec);
    if (!encoder)
        return fail(
            tr("This FFmpeg has no %1 encoder").arg(QString::fromUtf8(avcodec_get_name(setup_.codec))));
    AVFormatContext *raw = nullptr;
    int r = avformat_alloc_output_context2(&raw, nullptr, setup_.container, nullptr);
    if (r < 0 || !raw)
        return fail(tr("No %1 writer (%2)").arg(QString::fromUtf8(setup_.container), ffmpegError(r)));
    output_.reset(raw);

    codec_.reset(avcodec_alloc_context3(encoder));
    if (!codec_)
        return fail(tr("Out of memory"));
    const AVSampleFormat *formats = encoder->sample_fmts;
    codec_->sample_fmt = formats ? formats[0] : AV_SAMPLE_FMT_S16;
    codec_->sample_rate = setup_.sampleRate;
    av_channel_layout_default(&codec_->ch_layout, setup_.channels);
    codec_->bit_rate = setup_.bitRate;
    codec_->time_base = AVRational{1, setup_.sampleRate};
    if (setup_.codeSize)
        av_opt_set_int(codec_.get(), "code_size", setup_.codeSize, AV_OPT_SEARCH_CHILDREN);
    if (raw->oformat->flags & AVFMT_GLOBALHEADER)
        codec_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if ((r = avcodec_open2(codec_.get(), encoder, nullptr)) < 0)
        return fail(tr("Cannot start the %1 encoder at %2 Hz, %3 channel(s): %4")
                        .arg(QString::fromUtf8(encoder->name))
                        .arg(setup_.sampleRate)
                        .arg(setup_.channels)
                        .arg(ffmpegError(r)));
    frameSize_ = codec_->frame_size > 0 ? codec_->frame_size : 4096;

    stream_ = avformat_new_stream(raw, nullptr);
    if (!stream_ || avcodec_parameters_from_context(stream_->codecpar, codec_.get()) < 0)
        return fail(tr("Out of memory"));
    stream_->time_base = codec_->time_base;

    AVChannelLayout layout{};
    av_channel_layout_default(&layout, setup_.channels);
    QString why;
    convert_ = makeConverter(layout, AV_SAMPLE_FMT_S32, setup_.sampleRate, layout, codec_->sample_fmt,
                             setup_.sampleRate, &why);
    av_channel_layout_uninit(&layout);
    if (!convert_)
        return fail(why);
    fifo_.reset(av_audio_fifo_alloc(codec_->sample_fmt, setup_.channels, frameSize_ * 2));
    if (!fifo_)
        return fail(tr("Out of memory"));

    if ((r = avio_open(&raw->pb, fileUrl(path).constData(), AVIO_FLAG_WRITE)) < 0)
        return fail(tr("Cannot create %1: %2").arg(path, ffmpegError(r)));
    AVDictionary *options = nullptr;
    if (qstrcmp(setup_.container, "wav") == 0)
        av_dict_set(&options, "rf64", "auto", 0); // long 32-bit recordings pass 4 GiB
    r = avformat_write_header(raw, &options);
    av_dict_free(&options);
    if (r < 0)
        return fail(tr("Cannot write to %1: %2").arg(path, ffmpegError(r)));
    return true;
}

bool ContainerEncoder::encodeFrame(AVFrame *frame) {
    int r = avcodec_send_frame(codec_.get(), frame);
    if (r < 0)
        return fail(tr("Encoding failed: %1").arg(ffmpegError(r)));
    for (;;) {
        r = avcodec_receive_packet(codec_.get(), packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return fail(tr("Encoding failed: %1").arg(ffmpegError(r)));
        packet_->stream_index = stream_->index;
        av_packet_rescale_ts(packet_.get(), codec_->time_base, stream_->time_base);
        r = av_interleaved_write_frame(output_.get(), packet_.get());
        if (r >= 0 && output_->pb->error < 0)
            r = output_->pb->error;
        if (r < 0)
            return fail(tr("Writing failed: %1").arg(ffmpegError(r)));
    }
}

bool ContainerEncoder::encodeFromFifo(int frames) {
    AVFrame *f = frame_.get();
    av_frame_unref(f);
    f->nb_samples = frames;
    f->format = codec_->sample_fmt;
    f->sample_rate = codec_->sample_rate;
    av_channel_layout_copy(&f->ch_layout, &codec_->ch_layout);
    if (av_frame_get_buffer(f, 0) < 0)
        return fail(tr("Out of memory"));
    const int got = av_audio_fifo_read(fifo_.get(), reinterpret_cast<void **>(f->data), frames);
    if (got < frames) // the last frame of a fixed-size codec: pad with silence
        av_samples_set_silence(f->data, got, frames - got, setup_.channels, codec_->sample_fmt);
    f->pts = nextPts_;
    nextPts_ += frames;
    return encodeFrame(f);
}

bool ContainerEncoder::write(const Sample *interleaved, std::size_t frames) {
    if (failed_ || finished_)
        return false;
    if (frames == 0)
        return true;
    const int outFrames = swr_get_out_samples(convert_.get(), int(frames));
    if (av_audio_fifo_realloc(fifo_.get(), av_audio_fifo_size(fifo_.get()) + outFrames + frameSize_) < 0)
        return fail(tr("Out of memory"));
    uint8_t **buffer = nullptr;
    int linesize = 0;
    if (av_samples_alloc_array_and_samples(&buffer, &linesize, setup_.channels, outFrames, codec_->sample_fmt,
                                           0) < 0)
        return fail(tr("Out of memory"));
    const auto *in = reinterpret_cast<const std::uint8_t *>(interleaved);
    const int n = swr_convert(convert_.get(), buffer, outFrames, &in, int(frames));
    if (n > 0)
        av_audio_fifo_write(fifo_.get(), reinterpret_cast<void **>(buffer), n);
    av_freep(&buffer[0]);
    av_freep(&buffer);
    if (n < 0)
        return fail(tr("Sample conversion failed: %1").arg(ffmpegError(n)));
    while (av_audio_fifo_size(fifo_.get()) >= frameSize_)
        if (!encodeFromFifo(frameSize_))
            return false;
    // Each second of audio reaches the disk, so a recording killed part way
    // keeps what it had (the muxer would otherwise hold it for a long while).
    unflushedFrames_ += qint64(frames);
    if (unflushedFrames_ >= setup_.sampleRate) {
        unflushedFrames_ = 0;
        avio_flush(output_->pb);
        if (output_->pb->error < 0)
            return fail(tr("Cannot write the file: %1").arg(ffmpegError(output_->pb->error)));
    }
    return true;
}

bool ContainerEncoder::finish() {
    if (finished_)
        return !failed_;
    finished_ = true;
    if (!output_ || !output_->pb)
        return false;
    if (!failed_) {
        const int rest = av_audio_fifo_size(fifo_.get());
        const bool smallLast =
            codec_->frame_size == 0 || (codec_->codec->capabilities &
                                        (AV_CODEC_CAP_SMALL_LAST_FRAME | AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
        if (rest > 0)
            encodeFromFifo(smallLast ? rest : frameSize_);
        if (!failed_)
            encodeFrame(nullptr);
        if (!failed_) {
            // Only a complete file gets its final header.
            const int r = av_write_trailer(output_.get());
            if (r < 0 || output_->pb->error < 0)
                fail(tr("Completing the file failed: %1").arg(ffmpegError(r < 0 ? r : output_->pb->error)));
        }
    }
    const int r = avio_closep(&output_->pb);
    if (r < 0 && !failed_)
        fail(tr("Closing the file failed: %1").arg(ffmpegError(r)));
    return !failed_;
}

} // namespace

std::unique_ptr<AudioEncoder> createWavEncoder(int sampleRate, int channels, int bits) {
    switch (bits) {
    case 2:
    case 3:
    case 4:
    case 5:
        return std::make_unique<ContainerEncoder>(
            EncoderSetup{"wav", AV_CODEC_ID_ADPCM_G726, 8000, 1, 8000LL * bits, bits});
    case 8:
        return std::make_unique<ContainerEncoder>(
            EncoderSetup{"wav", AV_CODEC_ID_PCM_U8, sampleRate, channels});
    case 16:
        return std::make_unique<ContainerEncoder>(
            EncoderSetup{"wav", AV_CODEC_ID_PCM_S16LE, sampleRate, channels});
    case 24:
        return std::make_unique<ContainerEncoder>(
            EncoderSetup{"wav", AV_CODEC_ID_PCM_S24LE, sampleRate, channels});
    case 32:
        return std::make_unique<ContainerEncoder>(
            EncoderSetup{"wav", AV_CODEC_ID_PCM_S32LE, sampleRate, channels});
    default:
        return nullptr;
    }
}

std::unique_ptr<AudioEncoder> createWmaEncoder(const WmaProfile &profile) {
    return std::make_unique<ContainerEncoder>(
        EncoderSetup{"asf", AV_CODEC_ID_WMAV2, profile.rate, profile.channels, profile.kbps * 1000LL});
}

} // namespace varnelo
