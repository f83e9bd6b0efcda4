#include "platform/stream/StreamDecoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/error.h>
#include <libavutil/mem.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace varnelo {
namespace {
constexpr int IoBufferSize = 32 * 1024;
// Enough to recognise any of our formats without holding a live stream back for long.
constexpr int64_t ProbeSize = 64 * 1024;

QString ffmpegError(int code) {
    char text[AV_ERROR_MAX_STRING_SIZE] = {};
    av_strerror(code, text, sizeof text);
    return QString::fromUtf8(text);
}
} // namespace

void StreamDecoder::FormatCloser::operator()(AVFormatContext *p) const {
    avformat_close_input(&p);
}
void StreamDecoder::CodecCloser::operator()(AVCodecContext *p) const {
    avcodec_free_context(&p);
}
void StreamDecoder::IoCloser::operator()(AVIOContext *p) const {
    av_freep(&p->buffer);
    avio_context_free(&p);
}
void StreamDecoder::SwrCloser::operator()(SwrContext *p) const {
    swr_free(&p);
}
void StreamDecoder::PacketCloser::operator()(AVPacket *p) const {
    av_packet_free(&p);
}
void StreamDecoder::FrameCloser::operator()(AVFrame *p) const {
    av_frame_free(&p);
}

StreamDecoder::StreamDecoder(int outRate, int outChannels, InterruptFn interrupted)
    : outRate_(outRate), outChannels_(outChannels), interrupted_(std::move(interrupted)),
      packet_(av_packet_alloc()), frame_(av_frame_alloc()) {}

StreamDecoder::~StreamDecoder() {
    // The format context refers to the I/O context: close it first.
    codec_.reset();
    format_.reset();
    io_.reset();
}

int StreamDecoder::readPacket(void *opaque, unsigned char *buf, int size) {
    auto *self = static_cast<StreamDecoder *>(opaque);
    const int n = self->read_(buf, size);
    if (n == 0)
        return AVERROR_EOF;
    return n < 0 ? AVERROR_EXIT : n;
}

int StreamDecoder::interruptCallback(void *opaque) {
    auto *self = static_cast<StreamDecoder *>(opaque);
    return self->interrupted_() ? 1 : 0;
}

bool StreamDecoder::fail(const QString &text, int code) {
    errorText_ = code ? QStringLiteral("%1 (%2)").arg(text, ffmpegError(code)) : text;
    return false;
}

bool StreamDecoder::openCustom(ReadFn read, const char *formatHint) {
    if (!packet_ || !frame_)
        return fail(QStringLiteral("out of memory"));
    read_ = std::move(read);
    auto *buffer = static_cast<unsigned char *>(av_malloc(IoBufferSize));
    if (!buffer)
        return fail(QStringLiteral("out of memory"));
    io_.reset(
        avio_alloc_context(buffer, IoBufferSize, 0, this, &StreamDecoder::readPacket, nullptr, nullptr));
    if (!io_) {
        av_free(buffer);
        return fail(QStringLiteral("out of memory"));
    }
    io_->seekable = 0;
    return openCommon(nullptr, formatHint);
}

bool StreamDecoder::openUrl(const QString &url) {
    if (!packet_ || !frame_)
        return fail(QStringLiteral("out of memory"));
    return openCommon(url.toUtf8().constData(), nullptr);
}

bool StreamDecoder::openCommon(const char *url, const char *formatHint) {
    AVFormatContext *ctx = avformat_alloc_context();
    if (!ctx)
        return fail(QStringLiteral("out of memory"));
    ctx->interrupt_callback.callback = &StreamDecoder::interruptCallback;
    ctx->interrupt_callback.opaque = this;
    ctx->probesize = ProbeSize;
    ctx->max_analyze_duration = AV_TIME_BASE / 2;
    if (io_) {
        ctx->pb = io_.get();
        ctx->flags |= AVFMT_FLAG_CUSTOM_IO;
    }
    const AVInputFormat *hint = formatHint && *formatHint ? av_find_input_format(formatHint) : nullptr;
    AVDictionary *options = nullptr;
    if (!io_) {
        av_dict_set(&options, "user_agent", "Varnelo/1.0", 0);
        // HLS segments are media; a segment that is another playlist would nest without end.
        av_dict_set(&options, "allowed_extensions",
                    "aac,ac3,eac3,flac,m4a,m4s,mp2,mp3,mp4,mpeg,mpegts,oga,ogg,opus,ts", 0);
    }
    int rc = avformat_open_input(&ctx, url, hint, &options);
    av_dict_free(&options);
    if (rc < 0) // avformat_open_input frees ctx on failure
        return fail(QStringLiteral("not an audio stream"), rc);
    format_.reset(ctx);
    rc = avformat_find_stream_info(ctx, nullptr);
    if (rc < 0)
        return fail(QStringLiteral("the stream's format is not recognised"), rc);
    const AVCodec *codec = nullptr;
    streamIndex_ = av_find_best_stream(ctx, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (streamIndex_ < 0 || !codec)
        return fail(QStringLiteral("the stream holds no audio that can be decoded"), streamIndex_);
    for (unsigned i = 0; i < ctx->nb_streams; ++i)
        if (int(i) != streamIndex_)
            ctx->streams[i]->discard = AVDISCARD_ALL;
    codec_.reset(avcodec_alloc_context3(codec));
    if (!codec_)
        return fail(QStringLiteral("out of memory"));
    rc = avcodec_parameters_to_context(codec_.get(), ctx->streams[streamIndex_]->codecpar);
    if (rc >= 0) {
        codec_->thread_count = 1;
        rc = avcodec_open2(codec_.get(), codec, nullptr);
    }
    if (rc < 0)
        return fail(QStringLiteral("the stream's codec cannot be opened"), rc);
    noteMetadata(ctx->streams[streamIndex_]->metadata);
    if (!metadataUpdate_)
        noteMetadata(ctx->metadata);
    return true;
}

void StreamDecoder::noteMetadata(const AVDictionary *dict) {
    const AVDictionaryEntry *title = av_dict_get(dict, "title", nullptr, 0);
    if (!title || !*title->value)
        return;
    const AVDictionaryEntry *artist = av_dict_get(dict, "artist", nullptr, 0);
    QString text = QString::fromUtf8(title->value);
    if (artist && *artist->value)
        text = QString::fromUtf8(artist->value) + QStringLiteral(" - ") + text;
    if (text == lastTitle_)
        return;
    lastTitle_ = text;
    metadataUpdate_ = QStringLiteral("StreamTitle='%1';").arg(text);
}

std::optional<QString> StreamDecoder::takeMetadataUpdate() {
    return std::exchange(metadataUpdate_, std::nullopt);
}

StreamDecoder::Result StreamDecoder::decode(std::vector<float> &out) {
    AVPacket *packet = packet_.get();
    const int rc = av_read_frame(format_.get(), packet);
    if (rc == AVERROR_EOF)
        return Result::End;
    if (rc < 0) {
        fail(QStringLiteral("the stream broke off"), rc);
        return Result::Failed;
    }
    if (packet->stream_index != streamIndex_) {
        av_packet_unref(packet);
        return Result::NoAudio;
    }
    lastPacketPos_ = packet->pos;
    lastPacketEnd_ = packet->pos >= 0 ? packet->pos + packet->size : -1;
    // A chained Ogg stream announces its new comments (the next title) this way.
    size_t sideSize = 0;
    if (const uint8_t *side = av_packet_get_side_data(packet, AV_PKT_DATA_METADATA_UPDATE, &sideSize)) {
        AVDictionary *dict = nullptr;
        if (av_packet_unpack_dictionary(side, sideSize, &dict) >= 0)
            noteMetadata(dict);
        av_dict_free(&dict);
    }
    const std::size_t before = out.size();
    // Damaged packets are skipped: a live stream goes on after them.
    if (avcodec_send_packet(codec_.get(), packet) >= 0) {
        while (avcodec_receive_frame(codec_.get(), frame_.get()) >= 0) {
            const bool ok = convert(frame_.get(), out);
            av_frame_unref(frame_.get());
            if (!ok) {
                av_packet_unref(packet);
                return Result::Failed;
            }
        }
    }
    av_packet_unref(packet);
    return out.size() > before ? Result::Audio : Result::NoAudio;
}

bool StreamDecoder::convert(const AVFrame *frame, std::vector<float> &out) {
    if (!swr_ || frame->sample_rate != swrRate_ || frame->format != swrFormat_ ||
        frame->ch_layout.nb_channels != swrChannels_) {
        AVChannelLayout outLayout;
        av_channel_layout_default(&outLayout, outChannels_);
        AVChannelLayout inLayout;
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&inLayout, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&inLayout, &frame->ch_layout);
        SwrContext *swr = nullptr;
        int rc = swr_alloc_set_opts2(&swr, &outLayout, AV_SAMPLE_FMT_FLT, outRate_, &inLayout,
                                     AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&inLayout);
        av_channel_layout_uninit(&outLayout);
        swr_.reset(swr);
        if (rc >= 0)
            rc = swr_init(swr);
        if (rc < 0) {
            swr_.reset();
            return fail(QStringLiteral("the stream's sample format cannot be converted"), rc);
        }
        swrRate_ = frame->sample_rate;
        swrFormat_ = frame->format;
        swrChannels_ = frame->ch_layout.nb_channels;
    }
    const int capacity = swr_get_out_samples(swr_.get(), frame->nb_samples);
    if (capacity <= 0)
        return true;
    const std::size_t start = out.size();
    out.resize(start + std::size_t(capacity) * std::size_t(outChannels_));
    auto *dest = reinterpret_cast<uint8_t *>(out.data() + start);
    const int converted = swr_convert(swr_.get(), &dest, capacity,
                                      const_cast<const uint8_t **>(frame->extended_data), frame->nb_samples);
    if (converted < 0) {
        out.resize(start);
        return fail(QStringLiteral("the stream's samples cannot be converted"), converted);
    }
    out.resize(start + std::size_t(converted) * std::size_t(outChannels_));
    return true;
}

} // namespace varnelo
